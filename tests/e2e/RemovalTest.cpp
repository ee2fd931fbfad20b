#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QGroupBox>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "SessionFixture.h"
#include "SessionRecord.h"
#include "SessionTaps.h"

namespace {

using Removal = SessionFixture;

// The reader's line goes away in the middle of a session: the operator hears
// of it once, Disconnect leaves quietly, and once the line is back Connect
// works again.
TEST_F(Removal, LineClosedMidSessionThenReopened) {
  ConnectToReader({"--no-powerup"}, 0, AutoBeep::Off);
  reader->Control("card 258:197637");
  ASSERT_TRUE(AwaitLogSize(3));

  reader->Control("hangup");
  ASSERT_FALSE(reader->Next("closed").isEmpty());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.empty(); }, 10000)) << "the removal was not reported";
  Settle(500);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Velmora");
  EXPECT_FALSE(boxes[0].text.isEmpty());

  Disconnect();
  EXPECT_EQ(boxes.size(), 1u) << boxes.back().text.toStdString();
  EXPECT_TRUE(Form().comm1->isEnabled());

  reader->Control("reopen");
  const QString device = reader->Next("device ").mid(7);
  ASSERT_FALSE(device.isEmpty());
  PointCom1At(device);
  const int out = int(reader->Lines().size());
  Connect();
  ASSERT_TRUE(reader->AwaitCount(out, "cmd ", 1));
  reader->Control("card 1:2");
  ExpectLogFrom(0, {"Orvane series", "Orvane series", "00001:0000000002"});
  EXPECT_EQ(CommandsSince(out), (QStringList{"- ?", "- 0"}));
  EXPECT_EQ(boxes.size(), 1u);
}

// The line goes while the event response is being sent: the operator hears
// of it once, nothing hangs, and Disconnect still returns to "Connect".
TEST_F(Removal, LineClosedDuringTheEventResponse) {
  ConnectToReader({"--no-powerup"});
  const int out = int(reader->Lines().size());
  reader->Control("card 258:197637");
  ASSERT_TRUE(reader->AwaitCount(out, "cmd - 0", 1));
  reader->Control("hangup");
  ASSERT_FALSE(reader->Next("closed").isEmpty());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.empty(); }, 10000)) << "the removal was not reported";
  Settle(500);
  EXPECT_EQ(boxes.size(), 1u);
  Disconnect();
  EXPECT_TRUE(Form().Model->isEnabled());
}

// With reconnect on, the line closed and opened again under the same name:
// no box, one log line for the loss and one for the return, Connect's
// request on the new line, and the next card answered there; the record
// has the loss and the return.
TEST_F(Removal, ReconnectFollowsTheLineBackAndAnswersTheNextCard) {
  const QTemporaryDir folder;
  const LastingLine line = LastingLineAt(folder.filePath("line"));
  SessionRecord record(folder.filePath("record.txt").toStdString(), {});
  reconnect = true;
  StartReader(line.arguments + QStringList{"--no-powerup"});
  PointCom1At(line.device);
  RecordWindow(Form(), record);
  Form().SetModelIndex(0);
  Form().cbAutoBeep->setChecked(false);
  Connect();
  reader->Control("card 258:197637");
  ASSERT_TRUE(AwaitLogSize(3));
  reader->Control("hangup");
  ASSERT_TRUE(AwaitLogSize(4));
  EXPECT_TRUE(Log()[3].startsWith("COM1 lost: ")) << Log()[3].toStdString();
  const int out = int(reader->Lines().size());
  reader->Control("reopen");
  ASSERT_TRUE(reader->AwaitCount(out, "cmd - ?", 1));
  reader->Control("card 1:2");
  ASSERT_TRUE(AwaitLogSize(8));
  Settle();
  EXPECT_TRUE(Log()[4].startsWith("COM1 reconnected after ")) << Log()[4].toStdString();
  EXPECT_EQ(Log().mid(5), (QStringList{"Orvane series", "Orvane series", "00001:0000000002"}));
  EXPECT_EQ(CommandsSince(out), (QStringList{"- ?", "- 0"}));
  EXPECT_TRUE(boxes.empty());
  DestroyForm();
  QFile file(folder.filePath("record.txt"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(file.readAll());
  EXPECT_EQ(text.count(QRegularExpression(" lost COM1 \\S")), 1) << text.toStdString();
  EXPECT_EQ(text.count(QRegularExpression(" returned COM1 \\d+\\.\\d{3}\n")), 1) << text.toStdString();
}

}  // namespace
