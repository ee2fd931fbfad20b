// Feeds random chunks to the decoder, switching data format, ID mode, Control
// Lock and trace between chunks and letting fake time pass, so that the
// timeout and the waits run nested as they do in the window.
//
// Input: one byte of setup (bit 0 port connected, bit 1 trace), then records
// of an operation byte and its argument. Operation bits 0..3 set fmt0, fmt1,
// ID mode and Control Lock; bits 4..5 choose: 0 or 1 a chunk (a length byte,
// then the bytes), 2 idle (a byte of milliseconds), 3 a decoder reset; bit 6
// toggles the trace.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FakeEventLoop.h"
#include "PlainPanel.h"
#include "ProtocolInvariants.h"
#include "ReaderProtocol.h"
#include "RecordingLink.h"

namespace {

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool Empty() const { return position_ >= size_; }
  std::uint8_t Byte() { return Empty() ? 0 : data_[position_++]; }
  std::string Bytes(std::size_t count) {
    const std::size_t n = std::min(count, size_ - std::min(position_, size_));
    std::string bytes(reinterpret_cast<const char*>(data_ + position_), n);
    position_ += n;
    return bytes;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

void Check(const ProtocolState& state, const std::vector<std::string>& log, std::size_t from, std::size_t chunkSize) {
  const std::vector<std::string> written(log.begin() + static_cast<long>(from), log.end());
  const std::string broken = BrokenInvariant(state, written, chunkSize);
  if (broken.empty()) return;
  std::fprintf(stderr, "broken invariant: %s\n", broken.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input input(data, size);
  FakeEventLoop loop;
  PlainPanel panel(loop);
  RecordingLink link(loop);
  ReaderProtocol protocol(panel, link, loop.Clock());
  panel.Attach(protocol);
  const std::uint8_t setup = input.Byte();
  link.connected = setup & 1;
  protocol.SetTraceEnabled(setup & 2);
  while (!input.Empty()) {
    const std::uint8_t op = input.Byte();
    panel.fmt0 = op & 1;
    panel.fmt1 = op & 2;
    panel.idMode = op & 4;
    panel.controlLock = op & 8;
    if (op & 64) protocol.SetTraceEnabled(!protocol.State().TraceEnabled);
    const std::size_t before = panel.log.size();
    std::size_t chunkSize = 0;
    switch ((op >> 4) & 3) {
      case 2: loop.Idle(input.Byte()); break;
      case 3: protocol.ResetDecoder(); break;
      default: {
        const std::string chunk = input.Bytes(input.Byte());
        chunkSize = chunk.size();
        link.Deliver(protocol, chunk);
      }
    }
    Check(protocol.State(), panel.log, before, chunkSize);
    link.wire.clear();
  }
  return 0;
}
