#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "FakeLine.h"
#include "FakeSerialDevice.h"
#include "WindowFixture.h"

// The main window on the component's test double: the test holds the far
// side of the line.
class WireFixture : public WindowFixture {
 protected:
  TForm1Setup WindowSetup() override {
    TForm1Setup setup = WindowFixture::WindowSetup();
    setup.makeDevice = FakeSerialDevice::Factory(line);
    // Every port name stands for a device of the double, whatever ports the
    // machine has; no name stands for none.
    setup.automaticPorts = [](const std::string& port) -> std::optional<std::string> {
      if (port.empty()) return std::nullopt;
      return "/dev/fake-" + port;
    };
    return setup;
  }

  void Connect() {
    Form().Button4->click();
    ASSERT_EQ(Form().Button4->text(), "Disconnect");
  }

  // The line's RTS changes and writes since the last ClearCalls: "[" RTS on,
  // "]" RTS off, each write as its bytes in hexadecimal.
  std::string Wire() const {
    std::string out;
    for (const FakeLine::Call& call : line->Calls()) {
      if (call.operation == "SetRts") {
        out += call.value ? "[" : "]";
      } else if (call.operation == "Write") {
        std::string hex;
        for (uint8_t b : call.bytes)
          hex += (hex.empty() ? "" : " ") + QByteArray(1, char(b)).toHex().toUpper().toStdString();
        if (!out.empty() && out.back() != '[' && out.back() != ']') out += ' ';
        out += hex;
      }
    }
    return out;
  }

  QStringList Log() const { return Form().Memo1->toPlainText().split('\n', Qt::SkipEmptyParts); }
  TForm1& Form() const { return const_cast<WireFixture*>(this)->WindowFixture::Form(); }

  // Runs the event loop until the condition holds (or a generous limit passes).
  template <typename Condition>
  bool Await(Condition condition, int limitMs = 3000) {
    return QTest::qWaitFor(condition, limitMs);
  }

  // Bytes arrive and the window has handled them and everything they caused.
  void Deliver(const std::string& bytes) {
    line->Receive(bytes);
    ASSERT_TRUE(Await([&] { return line->Queued() == 0; }));
    QTest::qWait(10);
  }

  std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
};
