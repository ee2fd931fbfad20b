#pragma once

#include "CommandParser.h"
#include "Line.h"
#include "Options.h"
#include "Random.h"
#include "Reader.h"
#include "Transcript.h"

#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vreader {

// The readers on one line: answers commands from the line, runs control
// commands from standard input and the script, sends periodic reads, and
// reports everything it receives and sends on standard output.
class Session {
 public:
  explicit Session(const Options& options);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  int run();

 private:
  void say(const std::string& line);
  void send(const Reader& reader, const std::string& what, const Bytes& bytes);
  void flushLine();
  void readLine(Clock::time_point now);
  void readInput();
  void answer(const ParsedCommand& command, Clock::time_point now);
  void obey(Reader& reader, const std::string& text, Clock::time_point now);
  // An answer to a command, with the faults of the options: late, broken.
  void reply(const Reader& reader, const std::string& what, Bytes bytes, Clock::time_point now);
  void sendDueReplies(Clock::time_point now);
  void runQueue(Clock::time_point now);
  void execute(std::string_view text, Clock::time_point now);
  void cardRead(Reader& reader, const std::optional<CardCode>& code);
  void sendFault(Reader& reader, FaultKind kind, const CardCode& code);
  void periodicRead(Clock::time_point now);
  std::vector<Reader*> readersWithId(std::uint8_t id);
  CardCode takeCard();
  std::optional<Clock::time_point> nextDeadline() const;

  Options options_;
  std::vector<Reader> readers_;
  CommandParser parser_;
  Line line_;
  Transcript transcript_;
  Random random_;
  CardCode nextCard_;
  std::deque<std::string> queue_;
  struct LateReply {
    Clock::time_point due;
    std::size_t reader;
    std::string what;
    Bytes bytes;
  };
  std::deque<LateReply> lateReplies_;
  std::optional<Clock::time_point> holdUntil_;
  std::optional<Clock::time_point> nextPeriod_;
  std::size_t turn_ = 0;
  Clock::time_point lastReceived_{};
  int inputFd_ = 0;
  std::string input_;
  int signalFd_ = -1;
  bool quit_ = false;
};

}  // namespace vreader
