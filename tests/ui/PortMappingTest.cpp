#include <QComboBox>
#include <QPushButton>

#include "FakeSystemTree.h"
#include "LinuxPortDiscovery.h"
#include "WireFixture.h"

namespace {

// The window on a machine of the test's own, which the automatic mapping of
// COM1..COM8 reads: the console on ttyS0, another UART and USB adapters.
class PortMapping : public WireFixture {
 protected:
  TForm1Setup WindowSetup() override {
    TForm1Setup setup = WireFixture::WindowSetup();
    setup.automaticPorts = [this](const std::string& port) {
      return serialdev::LinuxPortDiscovery(tree.Root()).DevicePathFor(port);
    };
    return setup;
  }

  static FakeSystemTree::Usb Adapter(const std::string& busPort, const std::string& byId) {
    FakeSystemTree::Usb usb;
    usb.busPort = busPort;
    usb.byId = byId;
    return usb;
  }

  FakeSystemTree tree{dir.filePath("root").toStdString()};
};

TEST_F(PortMapping, PortNameAndSpeedAreAppliedAtConnect) {
  tree.AddUart("ttyS0", 4);
  tree.AddUart("ttyS1", 4);
  tree.AddUsb("ttyUSB0", Adapter("1-1", "usb-FTDI_A"));
  tree.SetConsole("ttyS0", "ro console=ttyS0,115200n8");
  // An explicit entry wins over the automatic mapping, even one naming the console.
  WriteSettings("[Ports]\nCOM3=/dev/bench-reader\nCOM4=/dev/ttyS0\n");
  TForm1& f = Form();
  const std::tuple<int, bool, bool, std::string, uint32_t> cases[] = {{0, true, true, "/dev/ttyS1", 115200},
                                                                      {1, false, false, "/dev/ttyUSB0", 1200},
                                                                      {2, true, false, "/dev/bench-reader", 9600},
                                                                      {3, false, true, "/dev/ttyS0", 38400}};
  for (const auto& [index, s0, s1, path, baud] : cases) {
    f.comm1->setCurrentIndex(index);
    f.spd0->setChecked(s0);
    f.spd1->setChecked(s1);
    line->ClearCalls();
    Connect();
    const auto opens = line->CallsOf("Open");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(std::string(opens[0].bytes.begin(), opens[0].bytes.end()), path);
    ASSERT_TRUE(line->State());
    EXPECT_EQ(line->State()->BaudRate, baud);
    EXPECT_EQ(line->State()->ByteSize, 8);
    EXPECT_EQ(line->State()->Parity, 0);
    EXPECT_EQ(line->State()->StopBits, 0);
    EXPECT_EQ(line->State()->fRtsControl, 0);
    EXPECT_EQ(line->State()->fDtrControl, 0);
    f.Button4->click();
  }

  // A COMn beyond the ports found fails as a missing device does.
  f.comm1->setCurrentIndex(4);
  line->ClearCalls();
  f.Button4->click();
  EXPECT_EQ(f.Button4->text(), "Connect");
  EXPECT_TRUE(line->CallsOf("Open").empty());
  ASSERT_EQ(messages.boxes.size(), 1u);
  EXPECT_EQ(messages.boxes[0].text, "Unable to open com port (win error code: 2)");

  // The mapping is read at every Connect: an adapter plugged in now whose
  // stable name sorts first takes COM2.
  tree.AddUsb("ttyUSB1", Adapter("1-2", "usb-FTDI_0"));
  f.comm1->setCurrentIndex(1);
  line->ClearCalls();
  Connect();
  const auto opens = line->CallsOf("Open");
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_EQ(std::string(opens[0].bytes.begin(), opens[0].bytes.end()), "/dev/ttyUSB1");
}

}  // namespace
