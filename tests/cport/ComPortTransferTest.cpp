#include <cerrno>
#include <thread>

#include "PortFixture.h"

class ComPortTransferTest : public PortFixture {
 protected:
  void SetUp() override {
    port->SetEvents({});
    port->OpenPort();
    line->ClearCalls();
  }
};

TEST_F(ComPortTransferTest, SendTextWritesEveryByte) {
  const std::string bytes(
      "~\x00\xff\x7f"
      "A",
      5);
  EXPECT_EQ(port->SendText(bytes), 5);
  EXPECT_EQ(line->Written(), bytes);
  EXPECT_EQ(port->SendText(""), 0);
  EXPECT_EQ(line->CallsOf("Write").size(), 1u);
}

TEST_F(ComPortTransferTest, WriteThatEndsShortReturnsItsCount) {
  line->LimitWrites(3);
  EXPECT_EQ(port->SendText("ABCDEFG"), 3);
  EXPECT_EQ(line->Written(), "ABC");
}

TEST_F(ComPortTransferTest, ReceiveTextReturnsWhatHasArrived) {
  std::string text = "old";
  EXPECT_EQ(port->ReceiveText(text, 0), 0);
  EXPECT_EQ(text, "");
  EXPECT_TRUE(line->CallsOf("Read").empty());

  EXPECT_EQ(port->ReceiveText(text, -4), 0);
  EXPECT_EQ(text, "");

  line->Receive(std::string("\x00\x80\xff", 3));
  EXPECT_EQ(port->ReceiveText(text, 5), 3);
  EXPECT_EQ(text, std::string("\x00\x80\xff", 3));

  line->Receive("0123456789");
  EXPECT_EQ(port->ReceiveText(text, 4), 4);
  EXPECT_EQ(text, "0123");
  EXPECT_EQ(port->QueuedInputCount(), 6);
  EXPECT_EQ(port->ReceiveText(text, 100), 6);
  EXPECT_EQ(text, "456789");
  EXPECT_EQ(port->ReceiveText(text, 100), 0);
  EXPECT_EQ(text, "");
}

TEST_F(ComPortTransferTest, TransfersOnOneRecordInTurn) {
  auto transfer = CreateTransfer();
  EXPECT_EQ(port->SendTextAsync("abc", transfer.get()), 3);
  EXPECT_EQ(transfer->TransferKind, xkWrite);
  EXPECT_EQ(transfer->SentSize, 3);
  EXPECT_EQ(std::string(transfer->SentData.begin(), transfer->SentData.end()), "abc");
  EXPECT_EQ(port->AwaitTransfer(transfer.get()), 3);

  line->Receive("xy");
  char buffer[8] = {};
  EXPECT_EQ(port->ReceiveBufferAsync(buffer, 8, transfer.get()), 2);
  EXPECT_EQ(transfer->TransferKind, xkRead);
  EXPECT_EQ(port->AwaitTransfer(transfer.get()), 2);
  EXPECT_EQ(std::string(buffer, 2), "xy");

  EXPECT_EQ(port->SendTextAsync("", transfer.get()), 0);
  EXPECT_EQ(port->AwaitTransfer(transfer.get()), 0);

  FreeTransfer(transfer);
  EXPECT_EQ(transfer, nullptr);

  line->Receive("q");
  EXPECT_EQ(port->ReceiveBuffer(buffer, 1), 1);
  EXPECT_EQ(buffer[0], 'q');
}

TEST_F(ComPortTransferTest, MissingTransferIsReasonFourBeforeAnythingElse) {
  char buffer[4];
  std::string text = "keep";
  for (const auto& call : std::vector<std::function<void()>>{
           [&] { port->SendBufferAsync("a", 1, nullptr); }, [&] { port->SendTextAsync("a", nullptr); },
           [&] { port->ReceiveBufferAsync(buffer, 4, nullptr); }, [&] { port->ReceiveTextAsync(text, 4, nullptr); },
           [&] { port->AwaitTransfer(nullptr); }}) {
    const EComPort e = Raised(call);
    EXPECT_EQ(e.ReasonCode(), 4);
    EXPECT_EQ(e.SystemCode(), -1);
    EXPECT_STREQ(e.what(), "Invalid Async parameter");
  }
  EXPECT_EQ(text, "keep");
  EXPECT_TRUE(line->Calls().empty());
}

struct OperationFailure {
  const char* name;
  const char* deviceOperation;
  int reason;
  std::function<void(TCustomComPort&)> call;
};

void PrintTo(const OperationFailure& f, std::ostream* os) { *os << f.name; }

class ComPortOperationFailure : public ComPortTransferTest, public ::testing::WithParamInterface<OperationFailure> {};

TEST_P(ComPortOperationFailure, RaisesItsReasonWithTheSystemCode) {
  line->Fail(GetParam().deviceOperation, EIO);
  const EComPort e = Raised([&] { GetParam().call(*port); });
  EXPECT_EQ(e.ReasonCode(), GetParam().reason);
  EXPECT_EQ(e.SystemCode(), EIO);
  EXPECT_EQ(std::string(e.what()), PortErrorTexts(GetParam().reason) + " (win error code: 5)");
}

INSTANTIATE_TEST_SUITE_P(
    Table, ComPortOperationFailure,
    ::testing::Values(
        OperationFailure{"SendText", "Write", 2, [](TCustomComPort& p) { p.SendText("x"); }},
        OperationFailure{"ReceiveText", "Read", 3,
                         [](TCustomComPort& p) {
                           std::string t;
                           p.ReceiveText(t, 1);
                         }},
        OperationFailure{"CancelTransfers", "Purge", 5, [](TCustomComPort& p) { p.CancelTransfers(); }},
        OperationFailure{"QueuedInputCount", "ClearErrors", 10, [](TCustomComPort& p) { p.QueuedInputCount(); }},
        OperationFailure{"CollectLineErrors", "ClearErrors", 10, [](TCustomComPort& p) { p.CollectLineErrors(); }},
        OperationFailure{"ReadLineSignals", "GetModemStatus", 11, [](TCustomComPort& p) { p.ReadLineSignals(); }},
        OperationFailure{"DriveRTS", "SetRts", 12, [](TCustomComPort& p) { p.DriveRTS(true); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ComPortTransferTest, OperationsOnAClosedPortFailWithTheirReason) {
  port->ClosePort();
  EXPECT_EQ(Raised([&] { port->DriveRTS(true); }).SystemCode(), EBADF);
  EXPECT_EQ(Raised([&] { port->DriveRTS(true); }).ReasonCode(), 12);
  EXPECT_EQ(Raised([&] { port->SendText("x"); }).ReasonCode(), 2);
  std::string text;
  EXPECT_EQ(Raised([&] { port->ReceiveText(text, 1); }).ReasonCode(), 3);
  EXPECT_EQ(Raised([&] { port->QueuedInputCount(); }).ReasonCode(), 10);

  TComPort fresh(handOff);
  EXPECT_EQ(Raised([&] { fresh.DriveRTS(false); }).SystemCode(), EBADF);
  EXPECT_EQ(Raised([&] { fresh.CancelTransfers(); }).ReasonCode(), 5);
}

TEST_F(ComPortTransferTest, RtsFollowsDriveRTS) {
  port->DriveRTS(true);
  port->DriveRTS(true);
  EXPECT_TRUE(line->Rts());
  port->DriveRTS(false);
  EXPECT_FALSE(line->Rts());
  // Every call reaches the device, a repeated one too, in the order made.
  std::vector<uint32_t> levels;
  for (const FakeLine::Call& call : line->CallsOf("SetRts")) levels.push_back(call.value);
  EXPECT_EQ(levels, (std::vector<uint32_t>{1, 1, 0}));
}

TEST_F(ComPortTransferTest, LineErrorsAndSignalsAreMapped) {
  line->RaiseErrors(serialdev::CE_RXPARITY);
  EXPECT_TRUE(port->CollectLineErrors().Empty());

  line->RaiseErrors(serialdev::CE_FRAME | serialdev::CE_RXPARITY | 0x20);
  EXPECT_EQ(port->CollectLineErrors(), TComErrors{ceFrame});
  // Collecting clears them.
  EXPECT_TRUE(port->CollectLineErrors().Empty());

  port->Parity().SetCheck(true);
  line->RaiseErrors(serialdev::CE_RXPARITY | serialdev::CE_OVERRUN | serialdev::CE_RXOVER | serialdev::CE_TXFULL |
                    serialdev::CE_BREAK | serialdev::CE_IOE | serialdev::CE_MODE);
  EXPECT_EQ(port->CollectLineErrors(), (TComErrors{ceRxParity, ceOverrun, ceRxOver, ceTxFull, ceBreak, ceIO, ceMode}));

  line->SetModemStatus(serialdev::MS_CTS_ON | serialdev::MS_RING_ON | serialdev::MS_RLSD_ON);
  EXPECT_EQ(port->ReadLineSignals(), (TLineSignals{lsCTS, lsRing, lsRLSD}));
  line->SetModemStatus(serialdev::MS_DSR_ON);
  EXPECT_EQ(port->ReadLineSignals(), TLineSignals{lsDSR});
}

TEST_F(ComPortTransferTest, CancelEndsAWriteWaitingOnAnotherThread) {
  line->HoldWrites(true);
  int reason = 0;
  int code = 0;
  std::thread writer([&] {
    try {
      port->SendText("never sent");
    } catch (const EComPort& e) {
      reason = e.ReasonCode();
      code = e.SystemCode();
    }
  });
  ASSERT_TRUE(line->AwaitHeldWriter(std::chrono::seconds(5)));
  port->CancelTransfers();
  writer.join();
  EXPECT_EQ(reason, 2);
  EXPECT_EQ(code, ECANCELED);
  EXPECT_EQ(line->Written(), "");
}
