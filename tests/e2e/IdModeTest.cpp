#include <QCheckBox>
#include <QPushButton>
#include <QSpinBox>

#include "SessionFixture.h"

namespace {

using IdMode = SessionFixture;

// Three readers share the line; each command reaches only the reader whose
// ID it carries, and each answer comes back with the ID of the reader that spoke.
TEST_F(IdMode, ThreeReadersOnOneLine) {
  StartReader({"--no-powerup", "--ids", "3,7,12"});
  Form().cbIDmode->click();
  Form().seMyID->setValue(7);
  Connect();
  // No status request; Get Options goes to ID 0, which no reader has.
  EXPECT_FALSE(reader->Next("unaddressed 0 O").isEmpty());
  Settle();
  EXPECT_TRUE(CommandsSince(0).isEmpty());
  EXPECT_TRUE(Log().isEmpty());

  int log = int(Log().size());
  int out = int(reader->Lines().size());
  reader->Control("@3 card 258:197637");
  ExpectLogFrom(log, {"Orvane series", "ID=3", "00258:0000197637"});
  EXPECT_EQ(CommandsSince(out), EventResponse("3"));

  // Get Status refreshes the ID from the spin box first.
  log = int(Log().size());
  out = int(reader->Lines().size());
  Form().status->click();
  ExpectLogFrom(log, {"Orvane series", "ID=7"});
  EXPECT_EQ(CommandsSince(out), QStringList{"7 ?"});

  // A power-up report is answered to the reader that sent it.
  log = int(Log().size());
  out = int(reader->Lines().size());
  reader->Control("@12 powerup");
  ExpectLogFrom(log, {"Orvane series", "ID=12", "POWER UP", "Orvane series", "ID=12"});
  EXPECT_EQ(CommandsSince(out), QStringList{"12 ?"});

  out = int(reader->Lines().size());
  Form().CheckBox2->click();
  ASSERT_TRUE(reader->AwaitCount(out, "cmd ", 1));
  EXPECT_EQ(CommandsSince(out), QStringList{"7 R"});
  EXPECT_TRUE(reader->State("7").contains("out2=1"));
  EXPECT_TRUE(reader->State("3").contains("out2=0"));
  EXPECT_TRUE(reader->State("12").contains("out2=0"));

  log = int(Log().size());
  out = int(reader->Lines().size());
  reader->Control("@12 switch close");
  ExpectLogFrom(log, {"Orvane series", "ID=12", "CLOSE"});
  EXPECT_EQ(CommandsSince(out), EventResponse("12"));
  EXPECT_TRUE(reader->Since(0, "unaddressed ").size() == 1);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(IdMode, AnIdByteOfThirtyTwoOrMoreDropsTheFrame) {
  StartReader({"--no-powerup", "--ids", "4", "--family", "F5"});
  Form().cbIDmode->click();
  Connect();
  Settle();
  const int log = int(Log().size());
  const int out = int(reader->Lines().size());
  reader->Control("@4 fault id 258:197637");
  const QString sent = reader->Next("tx 4 fault id");
  ASSERT_FALSE(sent.isEmpty());
  ExpectLogFrom(log, {"RESET"});
  EXPECT_TRUE(reader->Since(out, "rx ").isEmpty());
  reader->Control("@4 card 258:197637");
  ExpectLogFrom(log, {"RESET", "Yorvel series", "ID=4", "00258:0000197637"});
  EXPECT_EQ(CommandsSince(out), EventResponse("4"));
}

}  // namespace
