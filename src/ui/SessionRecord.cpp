#include "SessionRecord.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
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
    : path_(std::move(path)), report_(std::move(report)), now_(std::move(now)) {
  fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd_ < 0) Fail();
}

SessionRecord::~SessionRecord() {
  if (fd_ >= 0) ::close(fd_);
}

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

// One line, one write: appended whole by the system, also beside other writers.
void SessionRecord::Write(std::string_view kind, std::string_view text) {
  if (fd_ < 0) return;
  std::string line = RecordTimestamp(now_());
  line += ' ';
  line += kind;
  if (!text.empty()) {
    line += ' ';
    line += text;
  }
  line += '\n';
  std::string_view rest = line;
  while (!rest.empty()) {
    const ssize_t written = ::write(fd_, rest.data(), rest.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return Fail();
    rest.remove_prefix(std::size_t(written));
  }
}

// The record ends before the report, so that the report's own line is not
// attempted on the file that failed.
void SessionRecord::Fail() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  const Report report = std::exchange(report_, nullptr);
  if (report) report(SessionRecordError(FormatRuntimeMessage("Unable to write to %s", path_)));
}

std::string RecordTimestamp(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const auto ms = floor<milliseconds>(time).time_since_epoch().count();
  const auto millisecond = int(((ms % 1000) + 1000) % 1000);
  const std::time_t seconds = std::time_t((ms - millisecond) / 1000);
  std::tm local{};
  localtime_r(&seconds, &local);
  return FormatRecordTimestamp(local, millisecond);
}

std::string FormatRecordTimestamp(const std::tm& local, int millisecond) {
  const long offset = std::labs(local.tm_gmtoff) / 60;
  char text[128];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, millisecond,
                local.tm_gmtoff < 0 ? '-' : '+', offset / 60, offset % 60);
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
