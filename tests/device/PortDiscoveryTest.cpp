#include "FakeSystemTree.h"
#include "LinuxPortDiscovery.h"

#include <gtest/gtest.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>

using namespace serialdev;

namespace {

class PortDiscovery : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/port-discovery-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    folder_ = name;
    // Readable by all, so that a child of lower rights can read it too.
    ASSERT_EQ(chmod(folder_.c_str(), 0755), 0);
    tree_ = std::make_unique<FakeSystemTree>(folder_ + "/root");
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  // The COMn of every port found, by kernel name (0 for none).
  std::map<std::string, int> ComNumbers() const {
    std::map<std::string, int> numbers;
    for (const DiscoveredPort& port : LinuxPortDiscovery(tree_->Root()).Ports()) numbers[port.name] = port.comNumber;
    return numbers;
  }

  FakeSystemTree& Tree() { return *tree_; }

  std::string folder_;
  std::unique_ptr<FakeSystemTree> tree_;
};

FakeSystemTree::Usb Adapter(std::string busPort, std::string serial, std::string byId, std::string byPath) {
  FakeSystemTree::Usb usb;
  usb.busPort = std::move(busPort);
  usb.serial = serial;
  usb.byId = std::move(byId);
  usb.byPath = std::move(byPath);
  return usb;
}

TEST_F(PortDiscovery, FindsKindsUsbFieldsAndStableNamesAndNumbersThemInOrder) {
  FakeSystemTree& tree = Tree();
  tree.AddUart("ttyS0", 4);
  tree.AddUart("ttyS10", 4);
  tree.AddUart("ttyS2", 0);  // no chip: not a port
  tree.AddUart("ttyS3", 4);
  tree.AddUsb("ttyUSB0", Adapter("1-2", "B", "usb-FTDI_FT232R_USB_UART_B-if00-port0", "pci-0000:00:14.0-usb-0:2:1.0"));
  tree.AddUsb("ttyUSB1", Adapter("1-1", "A", "usb-FTDI_FT232R_USB_UART_A-if00-port0", ""));
  FakeSystemTree::Usb acm = Adapter("1-3", "", "", "pci-0000:00:14.0-usb-0:3:1.0");
  acm.vendor = "2341";
  acm.product = "0043";
  acm.maker = "";
  acm.productName = "Uno";
  tree.AddUsb("ttyACM0", acm);
  tree.AddOther("ttyAMA0");
  tree.AddVirtual("tty1");
  tree.SetConsole("tty0", "BOOT_IMAGE=/vmlinuz root=/dev/vda1 ro");

  const std::vector<DiscoveredPort> ports = LinuxPortDiscovery(tree.Root()).Ports();
  std::vector<std::string> names;
  for (const DiscoveredPort& port : ports) names.push_back(port.name);
  EXPECT_EQ(names, (std::vector<std::string>{"ttyS0", "ttyS3", "ttyS10", "ttyUSB1", "ttyUSB0", "ttyACM0", "ttyAMA0"}));
  for (std::size_t i = 0; i < 6 && i < ports.size(); ++i) EXPECT_EQ(ports[i].comNumber, int(i) + 1) << names[i];
  ASSERT_EQ(ports.size(), 7u);
  EXPECT_EQ(ports[6].comNumber, 0);

  EXPECT_EQ(ports[0].kind, PortKind::Uart);
  EXPECT_EQ(ports[0].device, "/dev/ttyS0");
  EXPECT_EQ(ports[0].usbId, "");
  EXPECT_EQ(ports[0].stableName, "");
  EXPECT_EQ(ports[6].kind, PortKind::Other);

  const DiscoveredPort& ftdi = ports[3];
  EXPECT_EQ(ftdi.kind, PortKind::Usb);
  EXPECT_EQ(ftdi.device, "/dev/ttyUSB1");
  EXPECT_EQ(ftdi.usbId, "0403:6001");
  EXPECT_EQ(ftdi.maker, "FTDI");
  EXPECT_EQ(ftdi.product, "FT232R USB UART");
  EXPECT_EQ(ftdi.serial, "A");
  EXPECT_EQ(ftdi.stableName, "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A-if00-port0");
  EXPECT_EQ(ports[4].stableName, "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_B-if00-port0") << "by-id before by-path";
  EXPECT_EQ(ports[4].serial, "B");
  const DiscoveredPort& uno = ports[5];
  EXPECT_EQ(uno.kind, PortKind::Usb);
  EXPECT_EQ(uno.usbId, "2341:0043");
  EXPECT_EQ(uno.maker, "");
  EXPECT_EQ(uno.product, "Uno");
  EXPECT_EQ(uno.stableName, "/dev/serial/by-path/pci-0000:00:14.0-usb-0:3:1.0");
  for (const DiscoveredPort& port : ports) EXPECT_FALSE(port.console) << port.name;

  const LinuxPortDiscovery discovery(tree.Root());
  const std::pair<const char*, std::optional<std::string>> names_and_devices[] = {
      {"COM1", "/dev/ttyS0"}, {"COM3", "/dev/ttyS10"}, {"COM4", "/dev/ttyUSB1"},     {"COM6", "/dev/ttyACM0"},
      {"COM7", std::nullopt}, {"COM8", std::nullopt},  {"/dev/ttyS2", "/dev/ttyS2"}, {"/", "/"},
      {"", std::nullopt},     {"COM0", std::nullopt},  {"COM9", std::nullopt},       {"COM10", std::nullopt},
      {"com1", std::nullopt}, {"COM1 ", std::nullopt}, {"ttyS0", std::nullopt},      {"dev/ttyS0", std::nullopt}};
  for (const auto& [name, device] : names_and_devices) EXPECT_EQ(discovery.DevicePathFor(name), device) << name;
}

TEST_F(PortDiscovery, TheConsoleGetsNoComNumberWhereverTheKernelNamesIt) {
  struct Case {
    const char* active;
    const char* cmdline;
    std::map<std::string, int> numbers;
  };
  const Case cases[] = {
      {"tty0", "ro quiet", {{"ttyS0", 1}, {"ttyS1", 2}, {"ttyUSB0", 3}}},
      {"tty0 ttyS0", "ro", {{"ttyS0", 0}, {"ttyS1", 1}, {"ttyUSB0", 2}}},
      {"", "ro console=ttyS0,115200n8", {{"ttyS0", 0}, {"ttyS1", 1}, {"ttyUSB0", 2}}},
      {"tty0", "console=tty0 console=/dev/ttyS1", {{"ttyS0", 1}, {"ttyS1", 0}, {"ttyUSB0", 2}}},
      {"ttyUSB0", "console=ttyS1", {{"ttyS0", 1}, {"ttyS1", 0}, {"ttyUSB0", 0}}},
      {"tty0", "console=ttyS1 -- console=ttyS0", {{"ttyS0", 1}, {"ttyS1", 0}, {"ttyUSB0", 2}}},
  };
  FakeSystemTree& tree = Tree();
  tree.AddUart("ttyS0", 4);
  tree.AddUart("ttyS1", 4);
  tree.AddUsb("ttyUSB0", Adapter("1-1", "A", "usb-x", ""));
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.active) + " | " + c.cmdline);
    tree.SetConsole(c.active, c.cmdline);
    EXPECT_EQ(ComNumbers(), c.numbers);
    for (const DiscoveredPort& port : LinuxPortDiscovery(tree.Root()).Ports())
      EXPECT_EQ(port.console, c.numbers.at(port.name) == 0) << port.name;
  }
  tree.SetConsole("ttyS0", "console=ttyS0");
  EXPECT_EQ(LinuxPortDiscovery(tree.Root()).DevicePathFor("COM1"), "/dev/ttyS1");
  EXPECT_EQ(LinuxPortDiscovery(tree.Root()).DevicePathFor("COM3"), std::nullopt);
}

TEST_F(PortDiscovery, OnlyEightPortsGetComNumbersAndAPluggedAdapterIsFoundAtTheNextLook) {
  FakeSystemTree& tree = Tree();
  const LinuxPortDiscovery discovery(tree.Root());
  EXPECT_TRUE(discovery.Ports().empty());
  EXPECT_EQ(discovery.DevicePathFor("COM1"), std::nullopt);
  for (int i = 0; i < 9; ++i) {
    tree.AddUsb("ttyUSB" + std::to_string(i),
                Adapter("1-" + std::to_string(i + 1), "S" + std::to_string(i), "usb-" + std::to_string(i), ""));
    if (i < 8) {
      EXPECT_EQ(discovery.DevicePathFor("COM" + std::to_string(i + 1)), "/dev/ttyUSB" + std::to_string(i));
    }
  }
  const std::map<std::string, int> numbers = ComNumbers();
  EXPECT_EQ(numbers.size(), 9u);
  EXPECT_EQ(numbers.at("ttyUSB7"), 8);
  EXPECT_EQ(numbers.at("ttyUSB8"), 0);
  // A port whose node is missing cannot be opened and is not counted.
  std::filesystem::remove(tree.Root() + "/dev/ttyUSB0");
  EXPECT_EQ(discovery.DevicePathFor("COM1"), "/dev/ttyUSB1");
  EXPECT_EQ(discovery.DevicePathFor("COM8"), "/dev/ttyUSB8");
}

// access(2) decides for the user who runs the program; as root the child
// drops to nobody first, since root may open anything.
TEST_F(PortDiscovery, TellsWhetherTheUserMayOpenAPortAndWhichGroupMay) {
  FakeSystemTree& tree = Tree();
  tree.AddUart("ttyS0", 4);
  tree.AddUsb("ttyUSB0", Adapter("1-1", "A", "", ""));
  const bool root = geteuid() == 0;
  const group* dialout = getgrnam("dialout");
  const gid_t portGroup = root && dialout ? dialout->gr_gid : getgid();
  const std::string groupName = root && dialout ? "dialout" : getgrgid(getgid())->gr_name;
  tree.SetNode("ttyS0", 0666, portGroup);
  tree.SetNode("ttyUSB0", 0060, portGroup);

  int results[2];
  ASSERT_EQ(pipe(results), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(results[0]);
    if (root && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    std::string text;
    for (const DiscoveredPort& port : LinuxPortDiscovery(tree.Root()).Ports())
      text += port.name + ' ' + (port.accessible ? "yes" : "no") + ' ' + port.group + '\n';
    _exit(write(results[1], text.data(), text.size()) == ssize_t(text.size()) ? 0 : 4);
  }
  close(results[1]);
  std::string text;
  char buffer[256];
  for (ssize_t n; (n = read(results[0], buffer, sizeof buffer)) > 0;) text.append(buffer, std::size_t(n));
  close(results[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(text, "ttyS0 yes " + groupName + "\nttyUSB0 no " + groupName + "\n");
}

}  // namespace
