#include "FakeSystemTree.h"
#include "PortList.h"

#include <gtest/gtest.h>
#include <grp.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

namespace {

// One line a port, eleven fields; "-" where a field is empty, and the
// device's own texts cannot break a line.
TEST(ListPorts, PrintsOneLineOfElevenFieldsAPortInComOrder) {
  const std::string folder = testing::TempDir() + "list-ports-" + std::to_string(getpid());
  std::filesystem::remove_all(folder);
  {
    FakeSystemTree tree(folder);
    tree.AddUart("ttyS0", 4);
    tree.AddUart("ttyS1", 4);
    FakeSystemTree::Usb usb;
    usb.maker = "Acme\tWorks";
    usb.byId = "usb-Acme_Works_A10KXYZ-if00-port0";
    tree.AddUsb("ttyUSB0", usb);
    tree.SetNode("ttyS1", 0, getgid());
    tree.SetConsole("ttyS0", "console=ttyS0");
    std::ostringstream out;
    ListPorts(out, tree.Root());
    const bool root = geteuid() == 0;
    EXPECT_EQ(out.str(), std::string("/dev/ttyS1\tuart\tCOM1\t") + (root ? "yes\t-" : "no\t") +
                             (root ? "" : std::string(getgrgid(getgid())->gr_name)) +
                             "\t-\t-\t-\t-\t-\t-\n"
                             "/dev/ttyUSB0\tusb\tCOM2\tyes\t-\t-\t0403:6001\tAcme Works\tFT232R USB UART\tA10KXYZ\t"
                             "/dev/serial/by-id/usb-Acme_Works_A10KXYZ-if00-port0\n"
                             "/dev/ttyS0\tuart\t-\tyes\t-\tconsole\t-\t-\t-\t-\t-\n");
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
