#include "Session.h"

#include <cctype>
#include <cerrno>
#include <sstream>
#include <unistd.h>
#include <utility>

// The control channel: text commands from standard input and the script.
namespace vreader {

namespace {

using std::chrono::milliseconds;

std::vector<std::string> words(std::string_view text) {
  std::vector<std::string> out;
  std::istringstream in{std::string(text)};
  for (std::string word; in >> word;) out.push_back(word);
  return out;
}

std::optional<CardCode> codeFrom(const std::vector<std::string>& args, std::size_t first) {
  try {
    if (args.size() == first) return std::nullopt;
    if (args.size() == first + 1) return parseCardCode(args[first]);
    if (args.size() == first + 2) return parseCardCode(args[first] + ":" + args[first + 1]);
  } catch (const std::invalid_argument& e) {
    throw Failure(e.what());
  }
  throw Failure("too many words after \"" + args[first - 1] + "\"");
}

bool isCode(std::string_view word) { return !word.empty() && std::isdigit(static_cast<unsigned char>(word[0])); }

long parseMilliseconds(const std::string& text) {
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end || errno || value < 0) throw Failure("bad milliseconds \"" + text + "\"");
  return value;
}

}  // namespace

void Session::readInput() {
  char buffer[4096];
  ssize_t n = ::read(inputFd_, buffer, sizeof buffer);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
  if (n <= 0) {
    inputFd_ = -1;
    if (!input_.empty()) queue_.push_back(std::exchange(input_, {}));
    if (options_.quitOnEof) queue_.push_back("quit");
    return;
  }
  input_.append(buffer, std::size_t(n));
  for (std::size_t end; (end = input_.find('\n')) != std::string::npos;) {
    queue_.push_back(input_.substr(0, end));
    input_.erase(0, end + 1);
  }
}

void Session::runQueue(Clock::time_point now) {
  while (!quit_ && !queue_.empty()) {
    if (holdUntil_ && now < *holdUntil_) return;
    holdUntil_.reset();
    std::string text = queue_.front();
    queue_.pop_front();
    try {
      execute(text, now);
    } catch (const Failure& e) {
      say(std::string("error ") + e.what());
    }
  }
}

void Session::execute(std::string_view text, Clock::time_point now) {
  auto args = words(text);
  Reader* reader = &readers_.front();
  if (!args.empty() && args[0].starts_with("@")) {
    char* end = nullptr;
    long id = std::strtol(args[0].c_str() + 1, &end, 10);
    // "@ID" names the first reader with the ID, never its twin.
    std::vector<Reader*> named;
    if (args[0].size() > 1 && !*end && id >= 0 && id < 256) named = readersWithId(std::uint8_t(id));
    if (named.empty()) throw Failure("no reader " + args[0]);
    reader = named.front();
    args.erase(args.begin());
  }
  if (args.empty()) {
    cardRead(*reader, std::nullopt);
    return;
  }
  const std::string& verb = args[0];
  auto expect = [&](std::size_t count) {
    if (args.size() != count) throw Failure("\"" + verb + "\" takes " + std::to_string(count - 1) + " argument(s)");
  };
  auto onOff = [&](std::string_view on, std::string_view off) {
    expect(2);
    if (args[1] != on && args[1] != off)
      throw Failure("\"" + verb + "\" takes " + std::string(on) + " or " + std::string(off));
    return args[1] == on;
  };
  if (isCode(verb)) {
    args.insert(args.begin(), "card");
    cardRead(*reader, codeFrom(args, 1));
  } else if (verb == "card") {
    cardRead(*reader, codeFrom(args, 1));
  } else if (verb == "switch") {
    bool closed = onOff("close", "open");
    reader->setSwitch(closed);
    send(*reader, closed ? "switch close" : "switch open", reader->switchReport(closed));
  } else if (verb == "powerup") {
    expect(1);
    send(*reader, "powerup", reader->powerUpReport());
  } else if (verb == "status") {
    expect(1);
    send(*reader, "status", reader->statusReport());
  } else if (verb == "options") {
    expect(1);
    send(*reader, "options", reader->optionReport());
  } else if (verb == "buzzer") {
    reader->setBuzzer(onOff("on", "off"));
  } else if (verb == "fault") {
    if (args.size() < 2) throw Failure("\"fault\" takes a kind: checksum, endflag, length, cut, noise or id");
    auto kind = faultFromName(args[1]);
    if (!kind) throw Failure("unknown fault \"" + args[1] + "\"");
    auto code = codeFrom(args, 2);
    sendFault(*reader, *kind, code ? *code : takeCard());
  } else if (verb == "raw") {
    Bytes bytes;
    for (std::size_t i = 1; i < args.size(); ++i) {
      char* end = nullptr;
      long value = std::strtol(args[i].c_str(), &end, 16);
      if (args[i].empty() || args[i].size() > 2 || *end || value < 0)
        throw Failure("bad byte \"" + args[i] + "\" (two hexadecimal digits)");
      bytes.push_back(std::uint8_t(value));
    }
    if (bytes.empty()) throw Failure("\"raw\" takes bytes");
    send(*reader, "raw", bytes);
  } else if (verb == "state") {
    expect(1);
    say("state " + reader->name() + " " + reader->describe());
  } else if (verb == "hangup") {
    expect(1);
    line_.close();
    say("closed");
  } else if (verb == "reopen") {
    expect(1);
    line_.open();
    parser_ = CommandParser(!options_.ids.empty());
    say("device " + line_.path());
  } else if (verb == "wait") {
    expect(2);
    holdUntil_ = now + milliseconds(parseMilliseconds(args[1]));
  } else if (verb == "quit") {
    expect(1);
    quit_ = true;
  } else {
    throw Failure("unknown command \"" + verb + "\"");
  }
}

}  // namespace vreader
