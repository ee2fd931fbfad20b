// The reader protocol with a plain panel over a real TComPort on a line whose
// far end the test holds, through ComPortLink, without any window: the test
// plays the reader there and watches the link through its observer.
#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "QtHandOff.h"
#include "ComPort.h"
#include "ComPortLink.h"
#include "FakeEventLoop.h"
#include "HostLine.h"
#include "LinkObserver.h"
#include "PlainPanel.h"
#include "ReaderProtocol.h"

namespace {

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

// What crossed the link, in order: "[" RTS on, "]" RTS off, each write as
// its bytes in hexadecimal; received bytes gathered apart. The first RTS
// cycle starts a short timer whose firing is written into the wire as "*".
// Inside the cycle only its waits run the event loop, so a "*" before the
// cycle's "]" shows that they handled the timer; where in the cycle depends
// on how long the lead and the write took.
class WireObserver : public LinkObserver {
 public:
  void Received(const std::string& bytes) override { received += bytes; }
  void Sent(const std::string& bytes) override { wire.push_back(Hex(bytes)); }
  void RtsChanged(bool on) override {
    wire.push_back(on ? "[" : "]");
    if (on && !timerStarted_) {
      timerStarted_ = true;
      QTimer::singleShot(5, [this] { wire.push_back("*"); });
    }
  }

  std::string received;
  std::vector<std::string> wire;

 private:
  bool timerStarted_ = false;
};

struct EventCase {
  bool controlLock;
  std::string response;  // what the reader receives
  // What the observer saw: the answer's RTS cycles, then the decoder's
  // reset after the frame letting go of the line once more.
  std::vector<std::string> wire;
};

TEST(ComPortLink, CardFrameIsDecodedAndAnsweredOverARealPortWithoutAWindow) {
  const std::string frame("\x02\x06\x01\x02\x03\x04\x05\x0F\x03", 9);
  const EventCase cases[] = {
      {false, "~0", {"[", "7E", "30", "]", "]"}},
      {true,
       "~0~L~1~l",
       {"[", "7E", "30", "]", "[", "7E", "4C", "]", "[", "7E", "31", "]", "[", "7E", "6C", "]", "]"}},
  };
  for (const EventCase& c : cases) {
    SCOPED_TRACE(c.response);
    std::unique_ptr<HostLine> host = MakeHostLine();
    TComPort port{std::make_shared<QtHandOff>()};
    WireObserver observer;
    ComPortLink link(port, &observer);
    FakeEventLoop timers;  // Timer1 of the plain panel
    PlainPanel panel(timers);
    panel.controlLock = c.controlLock;
    ReaderProtocol protocol(panel, link);
    panel.Attach(protocol);
    std::vector<std::exception_ptr> reported;
    port.SetPort(host->PortName());
    port.SetErrorReporter([&](std::exception_ptr error) { reported.push_back(error); });
    port.OnBeforeOpen = [&](TCustomComPort*) { protocol.ResetDecoder(); };
    port.OnRxChar = [&](TCustomComPort*, int count) { protocol.ComPort1RxChar(count); };
    port.OpenPort();
    ASSERT_TRUE(link.Connected());

    host->Write(frame);
    ASSERT_TRUE(QTest::qWaitFor([&] { return observer.wire.size() >= c.wire.size() + 1; }, 10000));
    QTest::qWait(50);

    EXPECT_EQ(panel.log, (std::vector<std::string>{"Orvane series", "00258:0000197637"}));
    EXPECT_EQ(Hex(observer.received), Hex(frame));
    std::vector<std::string> wire = observer.wire;
    const auto fired = std::find(wire.begin(), wire.end(), "*");
    ASSERT_NE(fired, wire.end());
    EXPECT_LT(fired - wire.begin(), std::find(wire.begin(), wire.end(), "]") - wire.begin())
        << "the timer ran after the first RTS cycle, not in its waits";
    wire.erase(fired);
    EXPECT_EQ(wire, c.wire);
    EXPECT_EQ(host->Read(c.response.size() + 1, 300), c.response);
    EXPECT_TRUE(reported.empty());
    port.ClosePort();
  }
}

// A frame's answer waits inside the wait that delivered the frame, and a
// message box runs its own event loop there; the outer wait's timer may fire
// in either. The outer wait must still end once they are done, not sleep on
// with nothing left to wake it, and must not keep the inner loop from
// sleeping. A watchdog wakes the loop after 5 s so that a fault fails the test
// instead of hanging.
TEST(ComPortLink, AWaitWhoseTimerFiredInANestedLoopEndsWithIt) {
  struct Nested {
    const char* name;
    std::function<void(ComPortLink&)> run;  // for about 100 ms
  };
  const Nested cases[] = {
      {"wait",
       [](ComPortLink& link) {
         QElapsedTimer answer;
         answer.start();
         while (answer.elapsed() < 100) link.AwaitMessages(static_cast<int>(100 - answer.elapsed()));
       }},
      {"event loop",
       [](ComPortLink&) {
         QEventLoop box;
         QTimer::singleShot(100, &box, &QEventLoop::quit);
         box.exec();
       }},
  };
  QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
  for (const Nested& c : cases) {
    SCOPED_TRACE(c.name);
    TComPort port{std::make_shared<QtHandOff>()};
    ComPortLink link(port);
    QObject frame;
    bool ran = false;
    int nestedWakes = 0;
    QMetaObject::invokeMethod(
        &frame,
        [&] {
          const QMetaObject::Connection counting =
              QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, [&] { ++nestedWakes; });
          c.run(link);
          QObject::disconnect(counting);
          ran = true;
        },
        Qt::QueuedConnection);

    std::mutex mutex;
    std::condition_variable ended;
    bool returned = false;
    bool rescued = false;
    std::thread watchdog([&] {
      std::unique_lock lock(mutex);
      if (!ended.wait_for(lock, std::chrono::seconds(5), [&] { return returned; })) {
        rescued = true;
        dispatcher->wakeUp();
      }
    });
    link.AwaitMessages(20);
    {
      std::lock_guard lock(mutex);
      returned = true;
    }
    ended.notify_one();
    watchdog.join();
    EXPECT_TRUE(ran);
    EXPECT_FALSE(rescued) << "the outer wait slept on after the nested loop took its timer";
    EXPECT_LT(nestedWakes, 50) << "the nested loop was kept from sleeping";
  }
}

}  // namespace
