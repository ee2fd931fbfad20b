#include <atomic>
#include <cerrno>
#include <stdexcept>
#include <thread>

#include "PortFixture.h"

using Strings = std::vector<std::string>;
using namespace std::chrono_literals;

class ComThreadTest : public PortFixture {
 protected:
  bool LogHas(const std::string& entry) const { return std::find(Log.begin(), Log.end(), entry) != Log.end(); }
  bool AwaitLog(const std::string& entry) {
    return PumpUntil([&] { return LogHas(entry); });
  }
  size_t WaitCount() const { return line->CallsOf("WaitEvent").size(); }
};

TEST_F(ComThreadTest, ErrorsComeBeforeReceivedBytesOfTheSameBatch) {
  port->Parity().SetCheck(true);
  // Both are waiting when the thread starts: one batch.
  line->Receive("abc");
  line->RaiseErrors(serialdev::CE_FRAME | serialdev::CE_RXPARITY);
  port->OpenPort();
  RecordEvents();
  port->OnRxChar = [this](TCustomComPort* sender, int count) {
    std::string text;
    Log.push_back("RxChar:" + std::to_string(sender->ReceiveText(text, count)));
  };
  ASSERT_TRUE(AwaitLog("RxChar:3"));
  const TComErrors expected{ceFrame, ceRxParity};
  EXPECT_EQ(Log, (Strings{"Error:" + std::to_string(expected.Bits()), "RxChar:3"}));
}

TEST_F(ComThreadTest, EmptyErrorSetAndEmptyQueueFireNothing) {
  port->OpenPort();
  RecordEvents();
  // A parity error while parity checking is off gives an empty set.
  line->RaiseErrors(serialdev::CE_RXPARITY);
  // Received bytes read before the dispatch runs give a count of 0.
  std::string text;
  line->Receive("xy");
  port->ReceiveText(text, 10);
  line->RaiseEvents(serialdev::EV_BREAK);
  ASSERT_TRUE(AwaitLog("Break"));
  EXPECT_EQ(Log, (Strings{"Break"}));
}

TEST_F(ComThreadTest, BurstGivesOneEventWithTheQueuedCount) {
  port->OpenPort();
  RecordEvents();
  port->OnRxChar = [this](TCustomComPort* sender, int count) {
    std::string text;
    sender->ReceiveText(text, count);
    Log.push_back("RxChar:" + std::to_string(count) + ":" + text);
  };
  line->Receive("0123456789");
  ASSERT_TRUE(AwaitLog("RxChar:10:0123456789"));
  PumpFor(50);
  EXPECT_EQ(Log, (Strings{"RxChar:10:0123456789"}));
}

TEST_F(ComThreadTest, EveryEventReachesItsHandlerInOrder) {
  // All waiting when the thread starts: one batch.
  line->SetModemStatus(serialdev::MS_CTS_ON | serialdev::MS_DSR_ON | serialdev::MS_RLSD_ON);
  line->RaiseEvents(serialdev::EV_TXEMPTY | serialdev::EV_BREAK | serialdev::EV_RING | serialdev::EV_RX80FULL |
                    serialdev::EV_RXFLAG);
  line->Receive("hi!");
  port->OpenPort();
  RecordEvents();
  port->OnRxChar = [this](TCustomComPort* sender, int count) {
    std::string text;
    sender->ReceiveText(text, count);
    Log.push_back("RxChar:" + std::to_string(count));
  };
  ASSERT_TRUE(AwaitLog("Rx80Full"));
  EXPECT_EQ(Log, (Strings{"RxChar:3", "TxEmpty", "Break", "Ring", "CTS:1", "DSR:1", "RxFlag", "RLSD:1", "Rx80Full"}));
}

TEST_F(ComThreadTest, OnlyEventsOfTheSetAtOpenAreWatched) {
  port->SetEvents({evRxChar});
  port->OpenPort();
  EXPECT_EQ(line->CallsOf("SetEventMask").at(0).value, 0x1u);
  RecordEvents();
  port->SetEvents(kAllComEvents);  // takes effect at the next open only
  line->RaiseEvents(serialdev::EV_BREAK);
  line->Receive("z");
  ASSERT_TRUE(AwaitLog("RxChar:1"));
  PumpFor(30);
  EXPECT_FALSE(LogHas("Break"));
}

TEST_F(ComThreadTest, NoEventsMeansNoThread) {
  port->SetEvents({});
  port->OpenPort();
  RecordEvents();
  line->Receive("abc");
  PumpFor(50);
  EXPECT_TRUE(Log.empty());
  EXPECT_EQ(WaitCount(), 0u);
}

TEST_F(ComThreadTest, CloseCompletesAPendingDispatchAndNothingFiresAfterAfterClose) {
  port->OpenPort();
  RecordEvents();
  line->Receive("abcd");
  // Without running the owner's event loop: the thread has taken the batch
  // and waits for the owner to run it.
  ASSERT_TRUE(line->AwaitBatches(1, 5s));
  port->ClosePort();
  EXPECT_EQ(Log, (Strings{"CTS:0", "DSR:0", "RLSD:0", "BeforeClose", "RxChar:4", "AfterClose"}));
  line->Receive("more");
  PumpFor(50);
  EXPECT_EQ(Log.back(), "AfterClose");
  EXPECT_TRUE(Reported.empty());
}

TEST_F(ComThreadTest, HandlerThatClosesThePortEndsTheDispatch) {
  // One batch with both: the error dispatch comes first and closes.
  line->Receive("abc");
  line->RaiseErrors(serialdev::CE_FRAME);
  port->OpenPort();
  RecordEvents();
  port->OnError = [this](TCustomComPort* sender, TComErrors) {
    Log.push_back("Error");
    sender->ClosePort();
  };
  ASSERT_TRUE(AwaitLog("AfterClose"));
  PumpFor(50);
  EXPECT_EQ(Log.back(), "AfterClose");
  EXPECT_FALSE(LogHas("RxChar:3"));
  EXPECT_FALSE(port->Connected());
  EXPECT_FALSE(line->IsOpen());

  // The port opens again and delivers as before.
  Log.clear();
  port->OnError = nullptr;
  port->OpenPort();
  line->Receive("d");
  ASSERT_TRUE(AwaitLog("RxChar:4"));
}

TEST_F(ComThreadTest, NestedCloseAndReopenInsideADispatchAreHarmless) {
  port->OpenPort();
  RecordEvents();
  int dispatches = 0;
  port->OnRxChar = [&](TCustomComPort* sender, int count) {
    ++dispatches;
    std::string text;
    sender->ReceiveText(text, count);
    Log.push_back("RxChar:" + text);
    if (text == "reopen") {
      sender->ClosePort();
      sender->OpenPort();
      // The new thread's events arrive while this handler still runs.
      line->Receive("inner");
      PumpUntil([&] { return LogHas("RxChar:inner"); });
    }
  };
  line->Receive("reopen");
  ASSERT_TRUE(AwaitLog("RxChar:inner"));
  EXPECT_TRUE(port->Connected());
  line->Receive("after");
  ASSERT_TRUE(AwaitLog("RxChar:after"));
  EXPECT_EQ(dispatches, 3);
  port->ClosePort();
  EXPECT_EQ(Log.back(), "AfterClose");
}

TEST_F(ComThreadTest, HandlersRunInsideClosePortMayCallOpenAndClose) {
  port->OpenPort();
  RecordEvents();
  port->OnRxChar = [this](TCustomComPort* sender, int) {
    Log.push_back("RxChar");
    sender->ClosePort();
    sender->OpenPort();
    sender->SetPort("COM7");
  };
  line->Receive("x");
  ASSERT_TRUE(line->AwaitBatches(1, 5s));
  port->ClosePort();
  EXPECT_TRUE(LogHas("RxChar"));
  EXPECT_FALSE(port->Connected());
  EXPECT_FALSE(line->IsOpen());
  EXPECT_EQ(Log.back(), "AfterClose");
  EXPECT_EQ(std::count(Log.begin(), Log.end(), "AfterClose"), 1);
  EXPECT_EQ(port->Port(), "COM7");
}

TEST_F(ComThreadTest, HandlerExceptionIsReportedOnceAndEndsTheThread) {
  port->OpenPort();
  RecordEvents();
  int handled = 0;
  port->OnRxChar = [&](TCustomComPort* sender, int count) {
    ++handled;
    std::string text;
    sender->ReceiveText(text, count);
    throw std::runtime_error("handler failed");
  };
  line->Receive("a");
  ASSERT_TRUE(PumpUntil([&] { return !Reported.empty(); }));
  line->Receive("b");
  PumpFor(60);
  EXPECT_EQ(handled, 1);
  ASSERT_EQ(Reported.size(), 1u);
  try {
    std::rethrow_exception(Reported[0]);
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "handler failed");
  }
  // The port stays open until closed; closing works.
  EXPECT_TRUE(port->Connected());
  port->ClosePort();
  EXPECT_FALSE(line->IsOpen());
  EXPECT_EQ(Reported.size(), 1u);
}

TEST_F(ComThreadTest, ComponentErrorInsideTheDispatchIsReported) {
  port->OpenPort();
  RecordEvents();
  line->Fail("ClearErrors", EIO);
  line->Receive("a");
  ASSERT_TRUE(PumpUntil([&] { return !Reported.empty(); }));
  try {
    std::rethrow_exception(Reported[0]);
  } catch (const EComPort& e) {
    EXPECT_EQ(e.ReasonCode(), 10);
    EXPECT_EQ(e.SystemCode(), EIO);
  }
  EXPECT_FALSE(LogHas("RxChar:1"));
}

TEST_F(ComThreadTest, WindowSyncReportsAndCarriesOn) {
  port->SetSyncMethod(smWindowSync);
  port->OpenPort();
  int handled = 0;
  port->OnRxChar = [&](TCustomComPort* sender, int count) {
    ++handled;
    std::string text;
    sender->ReceiveText(text, count);
    throw std::runtime_error("again");
  };
  line->Receive("a");
  ASSERT_TRUE(PumpUntil([&] { return handled == 1; }));
  line->Receive("b");
  ASSERT_TRUE(PumpUntil([&] { return handled == 2; }));
  EXPECT_EQ(Reported.size(), 2u);
}

TEST_F(ComThreadTest, SmNoneRunsHandlersOnTheEventThread) {
  port->SetSyncMethod(smNone);
  port->OpenPort();
  std::atomic<bool> elsewhere = false;
  std::atomic<int> received = 0;
  const auto owner = std::this_thread::get_id();
  port->OnRxChar = [&](TCustomComPort* sender, int count) {
    elsewhere = std::this_thread::get_id() != owner;
    std::string text;
    received += sender->ReceiveText(text, count);
  };
  line->Receive("abc");
  ASSERT_TRUE(line->AwaitWaits(2, 5s));
  EXPECT_EQ(received, 3);
  EXPECT_TRUE(elsewhere);
  port->ClosePort();
}

TEST_F(ComThreadTest, SmNoneExceptionReachesTheOwnerThread) {
  port->SetSyncMethod(smNone);
  port->OpenPort();
  port->OnRxChar = [](TCustomComPort*, int) { throw std::runtime_error("on the event thread"); };
  line->Receive("a");
  ASSERT_TRUE(PumpUntil([&] { return !Reported.empty(); }));
  EXPECT_EQ(Reported.size(), 1u);
  port->ClosePort();
}

TEST_F(ComThreadTest, RemovalIsToldOnceAndTheThreadStopsWaiting) {
  port->OpenPort();
  RecordEvents();
  std::vector<std::pair<int, int>> removals;
  port->OnDeviceRemoved = [&](TCustomComPort* sender, const EComPort& e) {
    EXPECT_EQ(sender, port.get());
    // The device has already let go of the line, before ClosePort.
    EXPECT_TRUE(line->Released());
    EXPECT_TRUE(line->CallsOf("Close").empty());
    removals.emplace_back(e.ReasonCode(), e.SystemCode());
  };
  line->ClearCalls();
  line->Remove(EIO);
  ASSERT_TRUE(PumpUntil([&] { return !removals.empty(); }));
  const size_t waits = WaitCount();
  PumpFor(100);
  EXPECT_EQ(WaitCount(), waits);
  EXPECT_EQ(removals, (std::vector<std::pair<int, int>>{{3, EIO}}));
  EXPECT_TRUE(Reported.empty());

  // Reading the dead device fails with the removal's code.
  std::string text;
  const EComPort e = Raised([&] { port->ReceiveText(text, 1); });
  EXPECT_EQ(e.ReasonCode(), 3);
  EXPECT_EQ(e.SystemCode(), EIO);

  // Dropping RTS and closing succeed; a later open starts anew.
  EXPECT_NO_THROW(port->DriveRTS(false));
  EXPECT_NO_THROW(port->CancelTransfers());
  EXPECT_TRUE(port->Connected());
  EXPECT_NO_THROW(port->ClosePort());
  EXPECT_FALSE(port->Connected());
  EXPECT_EQ(line->CallsOf("ReleaseRemoved").size(), 1u);
  EXPECT_EQ(line->CallsOf("Close").size(), 1u);
  port->OpenPort();
  EXPECT_FALSE(line->Released());
  line->Receive("again");
  ASSERT_TRUE(AwaitLog("RxChar:5"));
  EXPECT_EQ(removals.size(), 1u);
}

TEST_F(ComThreadTest, UnhandledRemovalGoesToTheReporter) {
  port->OpenPort();
  line->Remove(ENXIO);
  ASSERT_TRUE(PumpUntil([&] { return !Reported.empty(); }));
  try {
    std::rethrow_exception(Reported[0]);
  } catch (const EComPort& e) {
    EXPECT_EQ(e.ReasonCode(), 3);
    EXPECT_EQ(e.SystemCode(), ENXIO);
  }
}

TEST_F(ComThreadTest, RemovalAfterCloseIsNotReported) {
  port->OpenPort();
  int removals = 0;
  port->OnDeviceRemoved = [&](TCustomComPort*, const EComPort&) { ++removals; };
  line->Remove(EIO);
  // The thread's notice is still queued when the operator disconnects.
  ASSERT_TRUE(line->AwaitBatches(1, 5s));
  port->ClosePort();
  PumpFor(50);
  EXPECT_EQ(removals, 0);
  EXPECT_TRUE(line->CallsOf("ReleaseRemoved").empty());
  EXPECT_TRUE(Reported.empty());
}
