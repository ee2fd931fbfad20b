#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "SessionFixture.h"

namespace {

class ConnectWithModel : public SessionFixture, public ::testing::WithParamInterface<int> {};

// The status request goes out for every model, Get Options only for the
// second and third; the replies reach the panel over the line.
TEST_P(ConnectWithModel, AsksForStatusAndOptionsAndShowsTheReplies) {
  const int model = GetParam();
  StartReader({"--no-powerup", "--options", "A"});
  reader->Control("buzzer on");
  Form().SetModelIndex(model);
  ASSERT_FALSE(Form().CheckBox6->isChecked());
  Connect();
  const QStringList expected = model == 0 ? QStringList{"- ?"} : QStringList{"- ?", "- O"};
  ASSERT_TRUE(reader->AwaitCount(0, "cmd ", int(expected.size())));
  Settle();
  EXPECT_EQ(CommandsSince(0), expected);
  EXPECT_EQ(Form().Label4->text(), "ON");
  EXPECT_EQ(Form().Label1->text(), "OPEN");
  // Only an option reply can check REPEAT: the reader has every option on.
  EXPECT_EQ(Form().CheckBox6->isChecked(), model != 0);
  EXPECT_EQ(Form().one->isEnabled(), model != 0);
  // Each reply is a good one-byte frame: its family line and nothing else.
  EXPECT_EQ(Log(), QStringList(model == 0 ? 1 : 2, "Orvane series"));
  EXPECT_TRUE(boxes.empty());

  Disconnect();
  EXPECT_TRUE(Form().Model->isEnabled());
  EXPECT_FALSE(Form().status->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Models, ConnectWithModel, ::testing::Values(0, 1, 2));

struct Encoding {
  const char* name;
  QStringList readerArguments;
  int model;
  bool fmt0, fmt1;  // the data format the window is told before connecting
  QString family;   // empty for ASCII lines
  QString cardLine;
};

void PrintTo(const Encoding& e, std::ostream* out) { *out << e.name; }

class CardsAndSwitches : public SessionFixture, public ::testing::WithParamInterface<Encoding> {};

// A card code and both switch events, as the reader sends them in one encoding.
TEST_P(CardsAndSwitches, ReachTheLogWithTheirEventResponses) {
  const Encoding& e = GetParam();
  StartReader(QStringList{"--no-powerup"} + e.readerArguments);
  Form().SetModelIndex(e.model);
  Form().fmt0->setChecked(e.fmt0);
  Form().fmt1->setChecked(e.fmt1);
  Connect();
  Settle();
  const bool binary = !e.family.isEmpty();
  // The option reply of the second and third model confirms the format.
  EXPECT_EQ(Form().fmt0->isChecked(), e.fmt0);
  EXPECT_EQ(Form().fmt1->isChecked(), e.fmt1);
  const auto framed = [&](QStringList lines) { return binary ? QStringList{e.family} + lines : lines; };

  int log = int(Log().size());
  int out = int(reader->Lines().size());
  reader->Control("card 258:197637");
  ExpectLogFrom(log, framed({e.cardLine}));
  EXPECT_EQ(CommandsSince(out), EventResponse());

  log = int(Log().size());
  out = int(reader->Lines().size());
  const int beepsBefore = beeps;
  reader->Control("switch close");
  ExpectLogFrom(log, framed({"CLOSE"}));
  EXPECT_EQ(Form().Label1->text(), "CLOSE");
  EXPECT_EQ(beeps, beepsBefore + 1);
  // Binary answers the closing, ASCII the opening.
  EXPECT_EQ(CommandsSince(out), binary ? EventResponse() : QStringList{});

  log = int(Log().size());
  out = int(reader->Lines().size());
  reader->Control("switch open");
  ExpectLogFrom(log, framed({"OPEN"}));
  EXPECT_EQ(Form().Label1->text(), "OPEN");
  EXPECT_EQ(beeps, beepsBefore + 1);
  EXPECT_EQ(CommandsSince(out), binary ? QStringList{} : EventResponse());
  EXPECT_TRUE(boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, CardsAndSwitches,
    ::testing::Values(Encoding{"BinaryOrvane", {}, 0, true, true, "Orvane series", "00258:0000197637"},
                      Encoding{"BinaryYorvel", {"--family", "F5"}, 1, true, true, "Yorvel series", "00258:0000197637"},
                      Encoding{"BinaryWimsel", {"--family", "D5"}, 2, true, true, "Wimsel series", "00258:0000197637"},
                      Encoding{"AsciiMode0", {"--mode", "0"}, 0, false, false, "", "00258,0000197637"},
                      Encoding{"AsciiMode1", {"--mode", "1"}, 2, true, false, "", "0102030405"},
                      Encoding{"AsciiMode2", {"--mode", "2"}, 1, false, true, "", "0004328719365"}),
    [](const auto& info) { return std::string(info.param.name); });

using Cards = SessionFixture;

TEST_F(Cards, ExtremeCodesAndBackToBackFramesAreAllDecoded) {
  ConnectToReader({"--no-powerup", "--family", "E5"}, 0, AutoBeep::Off);
  const int log = int(Log().size());
  const int out = int(reader->Lines().size());
  // Three frames queued at once: each is decoded and answered in turn.
  reader->Control("card 65535:16777215");
  reader->Control("card 0:0");
  reader->Control("card 1:1");
  ExpectLogFrom(log, {"Pallox series", "65535:0016777215", "Pallox series", "00000:0000000000", "Pallox series",
                      "00001:0000000001"});
  EXPECT_EQ(CommandsSince(out), (QStringList{"- 0", "- 0", "- 0"}));
}

TEST_F(Cards, AsciiLinesAreBoundedAndEndWithLineFeedThenCarriageReturn) {
  StartReader({"--no-powerup", "--mode", "0"});
  Form().SetModelIndex(0);
  Form().fmt0->setChecked(false);
  Form().fmt1->setChecked(false);
  Form().cbAutoBeep->setChecked(false);
  Connect();
  Settle();
  const int log = int(Log().size());
  const int out = int(reader->Lines().size());
  reader->Control("raw" + QString(" 41").repeated(300) + " 0A 0D");
  ExpectLogFrom(log, {QString(255, 'A')});
  // Carriage return first: the line is dropped, and the line feed after it
  // leaves the decoder waiting until the time-out.
  reader->Control("raw 31 32 0D 0A");
  ExpectLogFrom(log, {QString(255, 'A'), "RESET"});
  // Anything between line feed and carriage return is ignored.
  reader->Control("raw 31 32 0A 78 0D");
  ExpectLogFrom(log, {QString(255, 'A'), "RESET", "12"});
  EXPECT_EQ(CommandsSince(out), (QStringList{"- 0", "- 0"}));
}

// Alt and a press on the logo turn the trace on: every byte of a frame shows
// with the decoder's state, however the line split the frame into reads.
TEST_F(Cards, TraceShowsEveryByteOfAFrame) {
  ConnectToReader({"--no-powerup"}, 0, AutoBeep::Off);
  QTest::mousePress(Form().Image1, Qt::LeftButton, Qt::AltModifier);
  const int log = int(Log().size());
  reader->Control("card 258:197637");
  const QStringList expected{"[0]02",
                             "[1]06",
                             "[2]01",
                             "[2]02",
                             "[2]03",
                             "[2]04",
                             "[2]05",
                             "[3]0F",
                             "{0F}",
                             "[4]03",
                             "good code",
                             "Orvane series",
                             "00258:0000197637",
                             "reset"};
  ASSERT_TRUE(QTest::qWaitFor([&] { return Log().endsWith("reset"); }, 10000)) << Log().join('|').toStdString();
  Settle();
  QStringList bytes;
  int announced = 0;
  for (const QString& line : Log().mid(log)) {
    if (line.startsWith("Framed <") && line.endsWith('>'))
      announced += line.mid(8).chopped(1).toInt();
    else
      bytes.append(line);
  }
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(announced, 9);
}

TEST_F(Cards, PowerUpReportBringsAStatusRequest) {
  StartReader({"--no-powerup"});
  reader->Control("buzzer on");
  Form().SetModelIndex(0);
  Connect();
  Settle();
  ASSERT_EQ(Form().Label4->text(), "ON");
  reader->Control("buzzer off");
  const int log = int(Log().size());
  const int out = int(reader->Lines().size());
  reader->Control("powerup");
  ExpectLogFrom(log, {"Orvane series", "POWER UP", "Orvane series"});
  EXPECT_EQ(CommandsSince(out), QStringList{"- ?"});
  // The status reply to that request reached the panel.
  EXPECT_EQ(Form().Label4->text(), "OFF");
}

}  // namespace
