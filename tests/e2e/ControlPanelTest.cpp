#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "SessionFixture.h"

namespace {

using ControlPanel = SessionFixture;

// Waits until the reader has taken one more command and returns its state.
QString StateAfterCommand(VirtualReader& reader, int from, int commands) {
  EXPECT_TRUE(reader.AwaitCount(from, "cmd ", commands));
  return reader.State();
}

TEST_F(ControlPanel, OutputsAndPulsesFollowTheControls) {
  ConnectToReader({"--no-powerup"}, 1);
  const int out = int(reader->Lines().size());

  Form().CheckBox1->click();
  EXPECT_TRUE(StateAfterCommand(*reader, out, 1).contains("out1=1 out2=0"));
  Form().CheckBox2->click();
  EXPECT_TRUE(StateAfterCommand(*reader, out, 2).contains("out1=1 out2=1"));
  Form().one->click();
  EXPECT_FALSE(reader->Next("pulse - 1000").isEmpty());
  Form().two->click();
  EXPECT_FALSE(reader->Next("pulse - 2000").isEmpty());
  Form().CheckBox1->click();
  EXPECT_TRUE(StateAfterCommand(*reader, out, 5).contains("out1=0 out2=1"));
  EXPECT_EQ(CommandsSince(out), (QStringList{"- L", "- R", "- 1", "- 2", "- l"}));

  // The status reply agrees with the boxes, so nothing is echoed.
  const int log = int(Log().size());
  const int beforeStatus = int(reader->Lines().size());
  Form().status->click();
  ExpectLogFrom(log, {"Orvane series"});
  EXPECT_EQ(CommandsSince(beforeStatus), QStringList{"- ?"});
  EXPECT_FALSE(Form().CheckBox1->isChecked());
  EXPECT_TRUE(Form().CheckBox2->isChecked());
  EXPECT_TRUE(boxes.empty());
}

TEST_F(ControlPanel, StatusReplyThatDisagreesEchoesTheOutputCommands) {
  ConnectToReader({"--no-powerup"});
  Form().CheckBox1->click();
  Form().CheckBox2->click();
  ASSERT_TRUE(reader->AwaitCount(0, "cmd ", 3));
  Settle();
  // A new window starts with both boxes unchecked; the reader's outputs are on.
  DestroyForm();
  const int out = int(reader->Lines().size());
  Form().SetModelIndex(0);
  Connect();
  ASSERT_TRUE(reader->AwaitCount(out, "cmd ", 3));
  Settle();
  EXPECT_EQ(CommandsSince(out), (QStringList{"- ?", "- L", "- R"}));
  EXPECT_TRUE(Form().CheckBox1->isChecked());
  EXPECT_TRUE(Form().CheckBox2->isChecked());
}

TEST_F(ControlPanel, WithoutControlLockACardIsAnsweredWithTheEventResponseAlone) {
  ConnectToReader({"--no-powerup"}, 0, AutoBeep::Off);
  const int log = int(Log().size());
  const int out = int(reader->Lines().size());
  reader->Control("card 258:197637");
  ExpectLogFrom(log, {"Orvane series", "00258:0000197637"});
  EXPECT_EQ(CommandsSince(out), QStringList{"- 0"});
  EXPECT_TRUE(reader->State().contains("acks=1"));
}

TEST_F(ControlPanel, SetOptionsThenGetOptionsChangesTheDecoding) {
  ConnectToReader({"--no-powerup"}, 1);
  ASSERT_TRUE(Form().CheckBox3->isChecked() && Form().CheckBox4->isChecked());
  int out = int(reader->Lines().size());

  // FMT0 off: the window decodes ASCII lines at once, the reader still sends frames.
  Form().CheckBox3->click();
  EXPECT_FALSE(Form().fmt0->isChecked());
  EXPECT_EQ(Form().Panel5->text(), "Mode 2");
  Form().Button5->click();
  ASSERT_TRUE(reader->AwaitCount(out, "cmd ", 1));
  EXPECT_EQ(CommandsSince(out), QStringList{"- oJ"});
  EXPECT_TRUE(reader->State().contains("options=J mode=2"));

  // Get Options: the reply comes as an ASCII line and confirms the boxes.
  Form().CheckBox5->click();
  Form().CheckBox6->click();
  out = int(reader->Lines().size());
  int log = int(Log().size());
  Form().Button3->click();
  ExpectLogFrom(log, {});
  EXPECT_EQ(CommandsSince(out), QStringList{"- O"});
  EXPECT_FALSE(Form().CheckBox3->isChecked());
  EXPECT_TRUE(Form().CheckBox4->isChecked());
  EXPECT_TRUE(Form().CheckBox5->isChecked());
  EXPECT_FALSE(Form().CheckBox6->isChecked());

  log = int(Log().size());
  reader->Control("card 258:197637");
  ExpectLogFrom(log, {"0004328719365"});

  // Back to frames: FMT0 on, set, and a card decodes as a frame again.
  Form().CheckBox3->click();
  EXPECT_EQ(Form().Panel5->text(), "Mode 3");
  out = int(reader->Lines().size());
  Form().Button5->click();
  ASSERT_TRUE(reader->AwaitCount(out, "cmd ", 1));
  EXPECT_EQ(CommandsSince(out), QStringList{"- oI"});
  log = int(Log().size());
  reader->Control("card 258:197637");
  ExpectLogFrom(log, {"Orvane series", "00258:0000197637"});
}

// Get Options discards a reply cut off half-way: no "RESET" follows it,
// only the option reply's own frame.
TEST_F(ControlPanel, GetOptionsDropsAHalfReceivedReply) {
  ConnectToReader({"--no-powerup", "--options", "A"}, 1);
  Form().CheckBox6->setChecked(false);
  const int log = int(Log().size());
  const int out = int(reader->Lines().size());
  reader->Control("fault cut 258:197637");
  ASSERT_TRUE(reader->Await([&] { return Form().Protocol().State().DecoderState != 0; }));
  Form().Button3->click();
  ExpectLogFrom(log, {"Orvane series"});
  EXPECT_EQ(CommandsSince(out), QStringList{"- O"});
  EXPECT_TRUE(Form().CheckBox6->isChecked());
}

}  // namespace
