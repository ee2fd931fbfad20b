#include "CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Parsed {
  CommandLine options;
  std::vector<std::string> rest;
};

Parsed Parse(std::vector<std::string> words) {
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  int argc = int(words.size());
  Parsed parsed{CommandLine::Parse(argc, argv.data()), {}};
  for (int i = 0; i < argc; ++i) parsed.rest.emplace_back(argv[i]);
  EXPECT_EQ(argv[argc], nullptr);
  return parsed;
}

TEST(CommandLine, TakesItsOwnOptionsAndLeavesTheToolkitsInOrder) {
  const Parsed plain = Parse({"trellum", "-platform", "offscreen"});
  EXPECT_EQ(plain.rest, (std::vector<std::string>{"trellum", "-platform", "offscreen"}));
  EXPECT_FALSE(plain.options.listPorts);
  EXPECT_FALSE(plain.options.selectedPort);
  EXPECT_TRUE(plain.options.error.empty());

  const Parsed ports = Parse({"trellum", "--port", "COM1=/dev/pts/3", "-style", "fusion", "--port=COM8=/dev/ttyUSB0"});
  EXPECT_EQ(ports.rest, (std::vector<std::string>{"trellum", "-style", "fusion"}));
  EXPECT_EQ(ports.options.ports,
            (std::map<std::string, std::string>{{"COM1", "/dev/pts/3"}, {"COM8", "/dev/ttyUSB0"}}));
  EXPECT_EQ(ports.options.selectedPort, 7) << "the last one given is selected";
  EXPECT_TRUE(ports.options.error.empty());
  TForm1Setup setup;
  setup.runPorts["COM2"] = "/dev/kept";
  const TForm1Setup applied = ports.options.Apply(setup);
  EXPECT_EQ(applied.runPorts.size(), 3u);
  EXPECT_EQ(applied.runPorts.at("COM2"), "/dev/kept");
  EXPECT_EQ(applied.startPort, 7);
  EXPECT_FALSE(plain.options.Apply(setup).startPort) << "without --port the stored port is read";

  EXPECT_TRUE(Parse({"trellum", "--list-ports"}).options.listPorts);
  EXPECT_TRUE(Parse({"trellum", "--help"}).options.help);
  EXPECT_TRUE(Parse({"trellum", "--reconnect"}).options.Apply(setup).reconnect);
  EXPECT_FALSE(plain.options.Apply(setup).reconnect) << "the settings file may still turn it on";
  const Parsed network = Parse({"trellum", "--port", "COM2=rfc2217://[::1]:2001", "--port", "COM3=socket://box:7"});
  EXPECT_EQ(network.options.ports, (std::map<std::string, std::string>{{"COM2", "rfc2217://[::1]:2001"},
                                                                      {"COM3", "socket://box:7"}}));
  EXPECT_TRUE(network.options.error.empty());
  for (const char* bad : {"COM0=/dev/x", "COM9=/dev/x", "COM1", "COM1=", "=/dev/x", "com1=/dev/x", "COM10=/dev/x",
                          "COM1=rfc2217://host", "COM1=socket://::1:20", "COM1=rfc2217://h:70000", "COM1=socket://:5"}) {
    const Parsed parsed = Parse({"trellum", "--port", bad});
    EXPECT_FALSE(parsed.options.error.empty()) << bad;
    EXPECT_FALSE(parsed.options.selectedPort) << bad;
  }
  EXPECT_EQ(Parse({"trellum", "--port"}).options.error, "--port needs COMn=DEVICE");
}

TEST(CommandLine, RecordTakesItsFileAndLeavesTheRest) {
  struct Case {
    std::vector<std::string> arguments;
    bool ok;
    std::string path;
    std::vector<std::string> rest;
  };
  const Case cases[] = {
      {{"trellum"}, true, "", {"trellum"}},
      {{"trellum", "--record", "s.txt"}, true, "s.txt", {"trellum"}},
      {{"trellum", "-style", "fusion", "--record", "/tmp/a b", "x"},
       true,
       "/tmp/a b",
       {"trellum", "-style", "fusion", "x"}},
      {{"trellum", "--record=s.txt", "-platform", "offscreen"}, true, "s.txt", {"trellum", "-platform", "offscreen"}},
      {{"trellum", "--record", "--record"}, true, "--record", {"trellum"}},
      {{"trellum", "--recorder"}, true, "", {"trellum", "--recorder"}},
      {{"trellum", "--record"}, false, "", {}},
      {{"trellum", "--record", ""}, false, "", {}},
      {{"trellum", "--record="}, false, "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    const Parsed parsed = Parse(c.arguments);
    if (!c.ok) {
      EXPECT_EQ(parsed.options.error, "--record needs a file");
      continue;
    }
    EXPECT_EQ(parsed.options.error, "");
    EXPECT_EQ(parsed.options.record, c.path);
    EXPECT_EQ(parsed.rest, c.rest);
  }
}

}  // namespace
