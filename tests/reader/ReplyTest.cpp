#include <array>

#include "ProtocolFixture.h"

namespace {

const Lines kEventResponse{"7E 30", "7E 4C", "7E 31", "7E 6C"};

// What a reply leaves on the panel. Options are FMT0, FMT1, NO BEEP, REPEAT.
struct PanelView {
  std::string switchLabel = "OPEN";
  std::string buzzerLabel = "OFF";
  bool output1 = false;
  bool output2 = false;
  std::array<bool, 4> options{true, true, true, false};
  bool fmt0 = true;
  bool fmt1 = true;
  int beeps = 0;

  bool operator==(const PanelView&) const = default;
};

std::ostream& operator<<(std::ostream& out, const PanelView& v) {
  out << v.switchLabel << ' ' << v.buzzerLabel << " out " << v.output1 << v.output2 << " options " << v.options[0]
      << v.options[1] << v.options[2] << v.options[3] << " fmt " << v.fmt0 << v.fmt1 << " beeps " << v.beeps;
  return out;
}

struct ReplyCase {
  std::string name;
  bool framed;  // a binary frame in hex, else an ASCII line without its line end
  std::string reply;
  bool outputsBefore;  // both output boxes checked before the reply
  PanelView after;
  Lines log;  // trace on, without the decoder's own trace lines
  Lines commands;
};

std::ostream& operator<<(std::ostream& out, const ReplyCase& c) { return out << c.name; }

PanelView View(std::string switchLabel, std::string buzzerLabel, bool output1, bool output2) {
  PanelView v;
  v.switchLabel = std::move(switchLabel);
  v.buzzerLabel = std::move(buzzerLabel);
  v.output1 = output1;
  v.output2 = output2;
  return v;
}

PanelView Options(std::array<bool, 4> options) {
  PanelView v;
  v.options = options;
  v.fmt0 = options[0];
  v.fmt1 = options[1];
  return v;
}

// Lines arrive in mode 0; only an option reply changes fmt0 and fmt1.
PanelView InModeZero(PanelView v) {
  v.fmt0 = v.fmt1 = false;
  return v;
}

PanelView Beeped(PanelView v) {
  ++v.beeps;
  return v;
}

bool IsDecoderTrace(const std::string& line) {
  return line.starts_with("Framed <") || line.starts_with("ASCII [") || line.starts_with("[") ||
         line.starts_with("{") || line == "good code" || line == "reset";
}

class ReplyTest : public ProtocolTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(ReplyTest, SetsPanelWritesLogAndAnswers) {
  const ReplyCase& c = GetParam();
  panel.SetFmt0(c.framed);
  panel.SetFmt1(c.framed);
  if (c.outputsBefore) panel.output1 = panel.output2 = true;
  protocol.SetTraceEnabled(true);
  if (c.framed) {
    Receive(c.reply);
  } else {
    ReceiveText(c.reply + "\n\r");
  }
  PanelView after{panel.switchLabel, panel.buzzerLabel, panel.output1, panel.output2,
                  panel.options,     panel.fmt0,        panel.fmt1,    panel.beeps};
  EXPECT_EQ(after, c.after);
  Lines log;
  std::copy_if(panel.log.begin(), panel.log.end(), std::back_inserter(log),
               [](const std::string& line) { return !IsDecoderTrace(line); });
  EXPECT_EQ(log, c.log);
  EXPECT_EQ(Commands(), c.commands);
  EXPECT_EQ(panel.modeCaption, "Mode " + std::to_string(2 * panel.fmt1 + panel.fmt0));
}

const PanelView kUnchanged{};
const PanelView kUnchangedText = InModeZero(kUnchanged);

INSTANTIATE_TEST_SUITE_P(
    Framed, ReplyTest,
    ::testing::Values(
        ReplyCase{"StatusF5",
                  true,
                  "02 02 F5 F5 03",
                  false,
                  View("CLOSE", "OFF", true, false),
                  {"Orvane series", "STATE=F5"},
                  {"7E 4C"}},
        ReplyCase{"StatusF5OutputsOn",
                  true,
                  "02 02 F5 F5 03",
                  true,
                  View("CLOSE", "OFF", true, false),
                  {"Orvane series", "STATE=F5"},
                  {"7E 72"}},
        ReplyCase{"StatusFF",
                  true,
                  "02 02 FF FF 03",
                  false,
                  View("CLOSE", "ON", true, true),
                  {"Orvane series", "STATE=FF"},
                  {"7E 4C", "7E 52"}},
        ReplyCase{"StatusF0",
                  true,
                  "02 02 F0 F0 03",
                  true,
                  View("OPEN", "OFF", false, false),
                  {"Orvane series", "STATE=F0"},
                  {"7E 6C", "7E 72"}},
        ReplyCase{"StatusFA",
                  true,
                  "D5 02 FA FA DA",
                  false,
                  View("OPEN", "ON", false, true),
                  {"Wimsel series", "STATE=FA"},
                  {"7E 52"}},
        ReplyCase{"OptionsE8",
                  true,
                  "02 02 E8 E8 03",
                  false,
                  Options({true, true, true, false}),
                  {"Orvane series", "STATE=E8"},
                  {}},
        ReplyCase{"OptionsEB",
                  true,
                  "02 02 EB EB 03",
                  false,
                  Options({false, false, true, false}),
                  {"Orvane series", "STATE=EB"},
                  {}},
        ReplyCase{"OptionsE0",
                  true,
                  "02 02 E0 E0 03",
                  false,
                  Options({true, true, true, true}),
                  {"Orvane series", "STATE=E0"},
                  {}},
        ReplyCase{"OptionsEF",
                  true,
                  "02 02 EF EF 03",
                  false,
                  Options({false, false, false, false}),
                  {"Orvane series", "STATE=EF"},
                  {}},
        ReplyCase{"SwitchClosed",
                  true,
                  "02 02 50 50 03",
                  false,
                  Beeped(View("CLOSE", "OFF", false, false)),
                  {"Orvane series", "CLOSE"},
                  kEventResponse},
        ReplyCase{"SwitchOpened", true, "02 02 70 70 03", false, kUnchanged, {"Orvane series", "OPEN"}, {}},
        ReplyCase{"PowerUp", true, "02 02 52 52 03", false, kUnchanged, {"Orvane series", "POWER UP"}, {"7E 3F"}},
        ReplyCase{"Unknown41", true, "02 02 41 41 03", false, kUnchanged, {"Orvane series"}, {}},
        ReplyCase{"UnknownDF", true, "02 02 DF DF 03", false, kUnchanged, {"Orvane series"}, {}}),
    [](const auto& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Ascii, ReplyTest,
    ::testing::Values(
        ReplyCase{"StatusSHLHL", false, "SHLHL", false, InModeZero(View("CLOSE", "OFF", false, true)), {}, {"7E 52"}},
        ReplyCase{"StatusSLHLH", false, "SLHLH", true, InModeZero(View("OPEN", "ON", true, false)), {}, {"7E 72"}},
        ReplyCase{"StatusLongLine",
                  false,
                  "SHHHHLLLL",
                  false,
                  InModeZero(View("CLOSE", "ON", true, true)),
                  {},
                  {"7E 4C", "7E 52"}},
        ReplyCase{"StatusS", false, "S", true, InModeZero(View("OPEN", "OFF", false, false)), {}, {"7E 6C", "7E 72"}},
        ReplyCase{"StatusSHH", false, "SHH", false, InModeZero(View("CLOSE", "OFF", true, false)), {}, {"7E 4C"}},
        ReplyCase{"OptionsSI", false, "sI", false, Options({true, true, true, false}), {}, {}},
        ReplyCase{"OptionsSA", false, "sA", false, Options({true, true, true, true}), {}, {}},
        ReplyCase{"OptionsSP", false, "sP", false, Options({false, false, false, false}), {}, {}},
        ReplyCase{"OptionsExtraCharacters", false, "sE12", false, Options({true, true, false, true}), {}, {}},
        ReplyCase{"OptionsS0", false, "s0", false, kUnchangedText, {}, {}},
        ReplyCase{"OptionsSQ", false, "sQ", false, kUnchangedText, {}, {}},
        ReplyCase{"OptionsShort", false, "s", false, kUnchangedText, {}, {}},
        ReplyCase{"SwitchOpened", false, "PF", false, kUnchangedText, {"OPEN"}, kEventResponse},
        ReplyCase{
            "SwitchClosed", false, "PO", false, Beeped(InModeZero(View("CLOSE", "OFF", false, false))), {"CLOSE"}, {}},
        ReplyCase{"PowerUp", false, "RST", false, kUnchangedText, {"POWER UP"}, {"7E 3F"}},
        ReplyCase{"NotQuiteSwitch", false, "POX", false, kUnchangedText, {"POX"}, kEventResponse},
        ReplyCase{"NotQuitePowerUp", false, "RS", false, kUnchangedText, {"RS"}, kEventResponse}),
    [](const auto& info) { return info.param.name; });

using ReplyOrderTest = ProtocolTest;

TEST_F(ReplyOrderTest, SwitchEventsAnswerBeforeTheirLine) {
  Receive("02 02 50 50 03");
  EXPECT_EQ(panel.log, (Lines{"Orvane series", "CLOSE"}));
  EXPECT_EQ(panel.wireAtLine[1], link.wire.size() - 1) << "CLOSE after the response, before the reset's RTS drop";
  panel.fmt0 = false;
  panel.log.clear();
  link.wire.clear();
  ReceiveText("PF\n\r");
  EXPECT_EQ(panel.log, Lines{"OPEN"});
  EXPECT_EQ(panel.wireAtLine[1], link.wire.size());
}

TEST_F(ReplyOrderTest, StateLineOnlyWhileTracing) {
  Receive("02 02 FF FF 03 02 02 E0 E0 03");
  EXPECT_EQ(panel.log, (Lines{"Orvane series", "Orvane series"}));
}

TEST_F(ReplyOrderTest, StatusEchoInIdModeAddressesTheChosenReader) {
  panel.idMode = true;
  panel.myId = 9;
  Receive("02 04 02 F4 F4 03");
  EXPECT_EQ(panel.log, (Lines{"Orvane series", "ID=4"}));
  EXPECT_EQ(Commands(), Lines{"7E 09 4C"}) << "the box's click handler refreshes the ID";
  EXPECT_EQ(protocol.State().ReaderId, 9);
}

TEST_F(ReplyOrderTest, PowerUpInIdModeAnswersTheReaderThatSpoke) {
  panel.idMode = true;
  panel.myId = 9;
  Receive("02 03 02 52 52 03");
  EXPECT_EQ(panel.log, (Lines{"Orvane series", "ID=3", "POWER UP"}));
  EXPECT_EQ(Commands(), Lines{"7E 03 3F"});
}

}  // namespace
