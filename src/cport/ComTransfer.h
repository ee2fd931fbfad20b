#pragma once

#include <cstdint>
#include <memory>
#include <vector>

enum TTransferKind : uint8_t { xkWrite = 0, xkRead = 1 };

// The record of one transfer on the port. A record may carry several
// transfers one after another, at most one at a time. On this platform a
// transfer completes inside the call that starts it (as an overlapped
// transfer that finishes at once does); AwaitTransfer then reports its count.
struct TComTransfer {
  TTransferKind TransferKind = xkWrite;
  // Private copy of the bytes of the last write started on this record.
  std::vector<uint8_t> SentData;
  int32_t SentSize = 0;
  // Outcome of the last transfer: bytes moved and the system error code (0 = none).
  int32_t Moved = 0;
  int Status = 0;
};

std::unique_ptr<TComTransfer> CreateTransfer();
void FreeTransfer(std::unique_ptr<TComTransfer>& transfer);
