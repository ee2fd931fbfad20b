#include "SessionRecord.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <stdexcept>
#include <vector>

namespace {

using Clock = std::chrono::system_clock;

QString Contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString("(unreadable)");
}

TEST(RecordTimestamp, WritesTheLocalTimeWithItsOffset) {
  struct Case {
    long offset;
    int millisecond;
    const char* text;
  };
  const Case cases[] = {{3600, 127, "2026-12-08T11:52:03.127+01:00"},
                        {0, 0, "2026-12-08T11:52:03.000+00:00"},
                        {-12600, 999, "2026-12-08T11:52:03.999-03:30"},
                        {19800, 5, "2026-12-08T11:52:03.005+05:30"},
                        {-36000, 40, "2026-12-08T11:52:03.040-10:00"}};
  for (const Case& c : cases) {
    std::tm local{};
    local.tm_year = 126;
    local.tm_mon = 11;
    local.tm_mday = 8;
    local.tm_hour = 11;
    local.tm_min = 52;
    local.tm_sec = 3;
    EXPECT_EQ(FormatRecordTimestamp(local, c.millisecond, c.offset), c.text);
  }
  // A real time comes back to the same millisecond when read as ISO 8601.
  for (const qint64 ms : {qint64(1796730723127), qint64(1796730723999), qint64(1780000000000)}) {
    const std::string text = RecordTimestamp(Clock::time_point(std::chrono::milliseconds(ms)));
    EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d$")
                    .match(QString::fromStdString(text))
                    .hasMatch())
        << text;
    EXPECT_EQ(QDateTime::fromString(QString::fromStdString(text), Qt::ISODateWithMs).toMSecsSinceEpoch(), ms) << text;
  }
}

class SessionRecordTest : public ::testing::Test {
 protected:
  QString Path(const char* name) const { return dir.filePath(name); }
  SessionRecord::Report Reporter() {
    return [this](const std::exception& error) { reports.push_back(error.what()); };
  }
  // A clock that moves a millisecond at every reading.
  SessionRecord::Clock Ticking() {
    return [this] { return Clock::time_point(std::chrono::milliseconds(1796730723000 + ticks++)); };
  }

  QTemporaryDir dir;
  std::vector<std::string> reports;
  int ticks = 0;
};

// Each line is in the file as soon as it is made, after what was there.
TEST_F(SessionRecordTest, AppendsEveryKindOfLineAtOnce) {
  const QString path = Path("session.txt");
  {
    QFile before(path);
    ASSERT_TRUE(before.open(QIODevice::WriteOnly));
    before.write("earlier session\n");
  }
  SessionRecord record(path.toStdString(), Reporter(), Ticking());
  ASSERT_TRUE(record.Recording());
  const auto stamp = [](int tick) {
    return QString::fromStdString(RecordTimestamp(Clock::time_point(std::chrono::milliseconds(1796730723000 + tick))));
  };
  struct Step {
    std::function<void()> write;
    QString text;
  };
  const Step steps[] = {
      {[&] { record.Connected("COM1", 9600); }, "connect COM1 9600"},
      {[&] { record.RtsChanged(true); }, "rts on"},
      {[&] { record.RtsChanged(true); }, ""},
      {[&] { record.Sent("~"); }, "tx 7E"},
      {[&] { record.Received(std::string("\x02\x0A\xF5\x00\xff", 5)); }, "rx 02 0A F5 00 FF"},
      {[&] { record.RtsChanged(false); }, "rts off"},
      {[&] { record.RtsChanged(false); }, ""},
      {[&] { record.Log("00258:0000197637"); }, "log 00258:0000197637"},
      {[&] { record.Log(""); }, "log"},
      {[&] { record.Log("\xc3\xa9t\xc3\xa9"); }, QString::fromUtf8("log \u00e9t\u00e9")},
      {[&] { record.LineErrors("ceFrame ceOverrun"); }, "line-error ceFrame ceOverrun"},
      {[&] { record.Error("Unable to write to /x/trellum.INI."); }, "error Unable to write to /x/trellum.INI."},
      {[&] { record.Removed("The device is gone"); }, "removed The device is gone"},
      {[&] { record.Lost("COM1", "The device is gone"); }, "lost COM1 The device is gone"},
      {[&] { record.Returned("COM1", 7); }, "returned COM1 0.007"},
      {[&] { record.Returned("COM1", 12345); }, "returned COM1 12.345"},
      {[&] { record.Disconnected("COM1"); }, "disconnect COM1"},
      {[&] { record.RtsChanged(false); }, ""},
      {[&] { record.Connected("COM2", 1200); }, "connect COM2 1200"},
      {[&] { record.RtsChanged(false); }, ""},
      {[&] { record.RtsChanged(true); }, "rts on"},
  };
  QString expected = "earlier session\n";
  int tick = 0;
  for (int i = 0; i < int(std::size(steps)); ++i) {
    steps[i].write();
    if (!steps[i].text.isEmpty()) expected += stamp(tick++) + ' ' + steps[i].text + '\n';
    ASSERT_EQ(Contents(path), expected) << i;
  }
  EXPECT_TRUE(reports.empty());
}

// A record that cannot be opened, or stops taking lines, is reported once
// with the runtime library's text and the record's path, and then ends.
TEST_F(SessionRecordTest, AFailingRecordIsReportedOnceAndEnds) {
  struct Case {
    const char* what;
    std::string path;
    bool opens;
  };
  const Case cases[] = {
      {"a missing folder", Path("missing/session.txt").toStdString(), false},
      {"a folder", dir.path().toStdString(), false},
      {"a full device", "/dev/full", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    reports.clear();
    SessionRecord record(c.path, Reporter(), Ticking());
    EXPECT_EQ(reports.size(), c.opens ? 0u : 1u);
    for (int i = 0; i < 3; ++i) {
      record.Log("a line");
      record.Sent("~0");
    }
    EXPECT_FALSE(record.Recording());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], "Unable to write to " + c.path);
  }
}

}  // namespace
