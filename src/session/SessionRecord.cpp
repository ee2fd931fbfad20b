#include "SessionRecord.h"

#include <QDateTime>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <utility>

#include "RuntimeMessages.h"

namespace {

class SessionRecordError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace

SessionRecord::SessionRecord(std::string path, Report report, Clock now)
    : path_(std::move(path)),
      report_(std::move(report)),
      now_(std::move(now)),
      file_(QFile::decodeName(path_.c_str())) {
  if (!file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) Fail();
}

SessionRecord::~SessionRecord() = default;

void SessionRecord::Log(std::string_view line) { Write("log", line); }
void SessionRecord::Received(const std::string& bytes) { Write("rx", RecordHex(bytes)); }
void SessionRecord::Sent(const std::string& bytes) { Write("tx", RecordHex(bytes)); }

// The protocol drives RTS once more at the start and end of a command that
// nests inside another's cycle; only changes of the line are recorded.
void SessionRecord::RtsChanged(bool on) {
  if (on == rts_) return;
  rts_ = on;
  Write("rts", on ? "on" : "off");
}

void SessionRecord::Connected(std::string_view port, unsigned baud) {
  rts_ = false;
  Write("connect", std::string(port) + ' ' + std::to_string(baud));
}

void SessionRecord::Disconnected(std::string_view port) { Write("disconnect", port); }
void SessionRecord::LineErrors(std::string_view names) { Write("line-error", names); }
void SessionRecord::Error(std::string_view text) { Write("error", text); }
void SessionRecord::Removed(std::string_view reason) { Write("removed", reason); }

void SessionRecord::Lost(std::string_view port, std::string_view reason) {
  Write("lost", std::string(port) + ' ' + std::string(reason));
}

void SessionRecord::Returned(std::string_view port, long long awayMs) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, " %lld.%03lld", awayMs / 1000, awayMs % 1000);
  Write("returned", std::string(port) + seconds);
}

// One line, one write: appended whole by the system, also beside other writers.
void SessionRecord::Write(std::string_view kind, std::string_view text) {
  if (!file_.isOpen()) return;
  std::string line = RecordTimestamp(now_());
  line += ' ';
  line += kind;
  if (!text.empty()) {
    line += ' ';
    line += text;
  }
  line += '\n';
  if (file_.write(line.data(), qint64(line.size())) != qint64(line.size())) Fail();
}

// The record ends before the report, so that the report's own line is not
// attempted on the file that failed.
void SessionRecord::Fail() {
  file_.close();
  const Report report = std::exchange(report_, nullptr);
  if (report) report(SessionRecordError(FormatRuntimeMessage("Unable to write to %s", path_)));
}

std::string RecordTimestamp(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const QDateTime local = QDateTime::fromMSecsSinceEpoch(floor<milliseconds>(time).time_since_epoch().count());
  std::tm fields{};
  fields.tm_year = local.date().year() - 1900;
  fields.tm_mon = local.date().month() - 1;
  fields.tm_mday = local.date().day();
  fields.tm_hour = local.time().hour();
  fields.tm_min = local.time().minute();
  fields.tm_sec = local.time().second();
  return FormatRecordTimestamp(fields, local.time().msec(), local.offsetFromUtc());
}

std::string FormatRecordTimestamp(const std::tm& local, int millisecond, long utcOffsetSeconds) {
  const long offset = std::labs(utcOffsetSeconds) / 60;
  char text[128];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, millisecond,
                utcOffsetSeconds < 0 ? '-' : '+', offset / 60, offset % 60);
  return text;
}

std::string RecordHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(bytes.size() * 3);
  for (const char c : bytes) {
    if (!hex.empty()) hex += ' ';
    hex += kDigits[static_cast<unsigned char>(c) >> 4];
    hex += kDigits[static_cast<unsigned char>(c) & 15];
  }
  return hex;
}
