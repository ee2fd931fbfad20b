#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "SessionFixture.h"
#include "SessionRecord.h"
#include "SessionTaps.h"
#include "Transcript.h"

namespace {

struct RecordLine {
  QDateTime time;
  QString kind;
  QString text;
};

std::vector<RecordLine> ReadRecord(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  static const QRegularExpression form("^(\\S+) ([a-z-]+)(?: (.*))?$");
  std::vector<RecordLine> lines;
  for (const QByteArray& raw : file.readAll().split('\n')) {
    if (raw.isEmpty()) continue;
    const QRegularExpressionMatch match = form.match(QString::fromUtf8(raw));
    EXPECT_TRUE(match.hasMatch()) << raw.toStdString();
    lines.push_back(
        {QDateTime::fromString(match.captured(1), Qt::ISODateWithMs), match.captured(2), match.captured(3)});
    EXPECT_TRUE(lines.back().time.isValid()) << raw.toStdString();
  }
  return lines;
}

using Recorded = SessionFixture;

// A whole session against the virtual reader, recorded: the record's log
// lines are the window's, its received and sent bytes are what crossed the
// pseudo-terminal, every write lies inside an RTS cycle, and the connection,
// the removal of the line and its report each have their line.
TEST_F(Recorded, TheRecordHoldsWhatWentOverTheLine) {
  StartReader({"--no-powerup"});
  QTemporaryDir dir;
  const QString path = dir.filePath("session.txt");
  std::vector<std::string> failures;
  SessionRecord record(path.toStdString(), [&](const std::exception& e) { failures.push_back(e.what()); });
  TForm1Setup setup = WindowSetup();
  setup.messages = RecordedMessages(setup.messages, record);
  setup.linkObserver = &record;
  auto form = std::make_unique<TForm1>(setup);
  RecordWindow(*form, record);
  form->SetModelIndex(0);
  ASSERT_TRUE(form->cbAutoBeep->isChecked());
  form->Button4->click();
  ASSERT_EQ(form->Button4->text(), "Disconnect");
  ASSERT_TRUE(reader->AwaitCount(0, "cmd - ?", 1));
  reader->Control("card 258:197637");
  ASSERT_TRUE(reader->AwaitCount(0, "cmd - l", 1));
  reader->Control("fault cut");
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->Memo1->toPlainText().contains("RESET"); }, 10000));
  reader->Control("card 1:2");
  ASSERT_TRUE(reader->AwaitCount(0, "cmd - l", 2));
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->Memo1->toPlainText().contains("00001:0000000002"); }, 10000));
  QTest::qWait(300);
  reader->Control("hangup");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.empty(); }, 10000)) << "the removal was not reported";
  form->Button4->click();
  ASSERT_EQ(form->Button4->text(), "Connect");
  EXPECT_TRUE(failures.empty());

  const std::vector<RecordLine> lines = ReadRecord(path);
  ASSERT_FALSE(lines.empty());
  QStringList log;
  QByteArray received;
  QByteArray sent;
  QStringList writes;
  QStringList kinds;
  bool rts = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const RecordLine& line = lines[i];
    SCOPED_TRACE(i);
    if (i > 0) {
      EXPECT_LE(lines[i - 1].time, line.time);
    }
    if (kinds.isEmpty() || kinds.back() != line.kind) kinds += line.kind;
    if (line.kind == "log") log += line.text;
    if (line.kind == "rx") received += BytesOfHex(line.text);
    if (line.kind == "tx") {
      EXPECT_TRUE(rts) << "a write outside an RTS cycle";
      sent += BytesOfHex(line.text);
      writes += line.text;
    }
    if (line.kind == "rts") {
      EXPECT_EQ(line.text, rts ? "off" : "on");
      rts = line.text == "on";
    }
  }
  EXPECT_FALSE(rts);

  EXPECT_EQ(log, form->Memo1->toPlainText().split('\n'));
  EXPECT_TRUE(log.contains("RESET"));
  QByteArray readerSent;
  QByteArray readerReceived;
  for (const Burst& burst : ReadTranscript(TranscriptPath())) (burst.sent ? readerSent : readerReceived) += burst.bytes;
  EXPECT_EQ(HexOf(received), HexOf(readerSent));
  EXPECT_EQ(HexOf(sent), HexOf(readerReceived));
  // One write for the lead-in, one for the command.
  QStringList expectedWrites;
  for (const QString& command : CommandsSince(0)) expectedWrites << "7E" << HexOf(command.mid(2).toLatin1());
  EXPECT_EQ(writes, expectedWrites);

  EXPECT_EQ(lines.front().kind, "connect");
  EXPECT_EQ(lines.front().text, "COM1 1200");
  EXPECT_EQ(lines.back().kind, "disconnect");
  EXPECT_EQ(lines.back().text, "COM1");
  const auto find = [&](const char* kind) {
    return std::find_if(lines.begin(), lines.end(), [&](const RecordLine& l) { return l.kind == kind; });
  };
  ASSERT_NE(find("removed"), lines.end());
  ASSERT_NE(find("error"), lines.end());
  EXPECT_LT(find("removed"), find("error"));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(find("error")->text, boxes[0].text);
  EXPECT_FALSE(find("removed")->text.isEmpty());
  for (const QString& kind : kinds)
    EXPECT_TRUE(QStringList({"connect", "rts", "tx", "rx", "log", "removed", "error", "disconnect"}).contains(kind))
        << kind.toStdString();
}

}  // namespace
