#pragma once

#include <QFile>

#include <chrono>
#include <ctime>
#include <exception>
#include <functional>
#include <string>
#include <string_view>

#include "LinkObserver.h"

// The session record: a text file to which every log line, every burst of
// received and sent bytes, every RTS level and every connection event is
// appended as it happens, one line each:
//   <local time with milliseconds and UTC offset> <kind> <text>
// Each line is handed to the system with one write (the file is unbuffered)
// as it is made, so a crash of the program loses nothing already recorded. A record that cannot
// be opened or written is reported once ("Unable to write to <path>") and
// then ends; the session goes on without it.
class SessionRecord : public LinkObserver {
 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;
  using Report = std::function<void(const std::exception& error)>;

  SessionRecord(std::string path, Report report, Clock now = &std::chrono::system_clock::now);
  ~SessionRecord() override;
  SessionRecord(const SessionRecord&) = delete;
  SessionRecord& operator=(const SessionRecord&) = delete;

  bool Recording() const { return file_.isOpen(); }
  const std::string& Path() const { return path_; }

  void Log(std::string_view line);                            // "log"
  void Received(const std::string& bytes) override;           // "rx", the bytes in hexadecimal
  void Sent(const std::string& bytes) override;               // "tx"
  void RtsChanged(bool on) override;                          // "rts on" or "rts off"
  void Connected(std::string_view port, unsigned baud);       // "connect COM1 9600"
  void Disconnected(std::string_view port);                   // "disconnect COM1"
  void LineErrors(std::string_view names);                    // "line-error frame overrun"
  void Error(std::string_view text);                          // "error" and the reported text
  void Removed(std::string_view reason);                      // "removed" and the reason
  void Lost(std::string_view port, std::string_view reason);  // "lost COM1" and the reason
  void Returned(std::string_view port, long long awayMs);     // "returned COM1 12.345", seconds away

 private:
  void Write(std::string_view kind, std::string_view text);
  void Fail();

  std::string path_;
  Report report_;
  Clock now_;
  QFile file_;
  bool rts_ = false;
};

// The time as the record writes it, e.g. 2026-12-08T11:52:03.127+01:00.
std::string RecordTimestamp(std::chrono::system_clock::time_point time);
// The same from the fields of a local time and its offset from UTC.
std::string FormatRecordTimestamp(const std::tm& local, int millisecond, long utcOffsetSeconds);
// Bytes as upper-case hexadecimal pairs separated by spaces.
std::string RecordHex(std::string_view bytes);
