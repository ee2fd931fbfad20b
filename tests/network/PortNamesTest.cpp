#include "PortNames.h"

#include <gtest/gtest.h>

using serialdev::ParseNetworkName;
using serialdev::PortNames;

namespace {

TEST(PortNames, NetworkNamesParseOnlyWhenWellFormed) {
  const auto v6 = ParseNetworkName("rfc2217://[fe80::1]:2217");
  ASSERT_TRUE(v6);
  EXPECT_TRUE(v6->rfc2217);
  EXPECT_EQ(v6->host, "fe80::1");
  EXPECT_EQ(v6->port, 2217);
  const auto named = ParseNetworkName("SOCKET://nport-5.site:4001");
  ASSERT_TRUE(named);
  EXPECT_FALSE(named->rfc2217);
  EXPECT_EQ(named->host, "nport-5.site");
  for (const char* bad : {"rfc2217://", "rfc2217://h:", "rfc2217://h:0", "rfc2217://h:65536", "socket://h:12a",
                          "socket://[::1]", "socket://[]:5", "socket://[x]:5", "socket://a b:5", "socket://h/x:5",
                          "telnet://h:5", "/dev/ttyUSB0"})
    EXPECT_FALSE(ParseNetworkName(bad)) << bad;
}

// The run's mapping wins over the configured one, which wins over the
// automatic one; a network name stands for itself.
TEST(PortNames, LayersAreAskedInOrder) {
  const PortNames names(
      {{"COM1", "socket://run:1"}},
      [](const std::string& port) -> std::optional<std::string> {
        if (port == "COM1" || port == "COM2") return "rfc2217://configured:2";
        return std::nullopt;
      },
      [](const std::string& port) -> std::optional<std::string> {
        if (port == "COM3") return "/dev/ttyS0";
        return std::nullopt;
      });
  EXPECT_EQ(names.Resolve("COM1"), "socket://run:1");
  EXPECT_EQ(names.Resolve("COM2"), "rfc2217://configured:2");
  EXPECT_EQ(names.Resolve("COM3"), "/dev/ttyS0");
  EXPECT_EQ(names.Resolve("COM4"), std::nullopt);
  EXPECT_EQ(names.Resolve("rfc2217://direct:3"), "rfc2217://direct:3");
}

}  // namespace
