#include "Session.h"

#include "Fault.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace vreader {

namespace {

using std::chrono::milliseconds;

}  // namespace

Session::Session(const Options& options)
    : options_(options),
      parser_(!options.ids.empty()),
      line_(options.device, options.baud, options.link),
      transcript_(options.transcript),
      random_(options.seed),
      nextCard_(options.card) {
  if (options_.ids.empty()) readers_.emplace_back(std::nullopt, options_.startFlag, options_.readers);
  for (auto id : options_.ids) readers_.emplace_back(id, options_.startFlag, options_.setupOf(id));
  for (auto id : options_.twins) readers_.emplace_back(id, options_.startFlag, options_.setupOf(id));
  if (!options_.script.empty()) {
    std::ifstream script(options_.script);
    if (!script) throw Failure("cannot read the script " + options_.script + ": " + std::strerror(errno));
    for (std::string text; std::getline(script, text);) {
      auto hash = text.find('#');
      if (hash != std::string::npos) text.erase(hash);
      if (text.find_first_not_of(" \t\r") != std::string::npos) queue_.push_back(text);
    }
  }
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  sigprocmask(SIG_BLOCK, &signals, nullptr);
  signalFd_ = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
  if (signalFd_ < 0) throw Failure(std::string("cannot watch signals: ") + std::strerror(errno));
}

Session::~Session() {
  if (signalFd_ >= 0) close(signalFd_);
}

void Session::say(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void Session::send(const Reader& reader, const std::string& what, const Bytes& bytes) {
  if (!line_.isOpen()) {
    say("error the line is closed: " + what + " from reader " + reader.name() + " not sent");
    return;
  }
  say("tx " + reader.name() + " " + what + " : " + hex(bytes));
  line_.queue(bytes);
  flushLine();
}

void Session::flushLine() {
  try {
    while (line_.isOpen() && line_.wantsWrite()) {
      Bytes burst = line_.flush();
      if (burst.empty()) return;
      transcript_.record("tx", burst);
    }
  } catch (const Failure& e) {
    line_.close();
    say(std::string("error ") + e.what());
    say("closed");
  }
}

void Session::readLine(Clock::time_point now) {
  Bytes burst;
  try {
    burst = line_.read();
  } catch (const Failure& e) {
    say(std::string("error ") + e.what());
    say("closed");
    return;
  }
  if (burst.empty()) return;
  lastReceived_ = now;
  transcript_.record("rx", burst);
  say("rx : " + hex(burst));
  // At another speed than the reader's, a UART would see only garbled bytes.
  if (options_.speedMatch && line_.speed() != unsigned(options_.baud)) {
    say("junk speed " + std::to_string(line_.speed()) + " : " + hex(burst));
    return;
  }
  for (const auto& command : parser_.feed(burst)) answer(command, now);
}

void Session::answer(const ParsedCommand& command, Clock::time_point now) {
  if (command.text.empty()) {
    say("junk " + command.reason + " : " + hex(command.junk));
    return;
  }
  std::vector<Reader*> readers = command.id ? readersWithId(*command.id) : std::vector<Reader*>{&readers_.front()};
  if (readers.empty()) {
    say("unaddressed " + std::to_string(*command.id) + " " + command.text);
    return;
  }
  for (Reader* reader : readers) {
    if (reader->setup().deaf) {
      say("deaf " + reader->name() + " " + command.text);
      continue;
    }
    say("cmd " + reader->name() + " " + command.text);
    obey(*reader, command.text, now);
  }
}

void Session::obey(Reader& reader, const std::string& text, Clock::time_point now) {
  switch (text[0]) {
    case '?': reply(reader, "status", reader.statusReport(), now); break;
    case 'O': reply(reader, "options", reader.optionReport(), now); break;
    case 'o': reader.setOptionBits(std::uint8_t((text[1] - 'A') ^ (reader.setup().optionFault ? 8 : 0))); break;
    case 'L': reader.setOutput1(true); break;
    case 'l': reader.setOutput1(false); break;
    case 'R': reader.setOutput2(true); break;
    case 'r': reader.setOutput2(false); break;
    case '1':
    case '2': {
      milliseconds length{text[0] == '1' ? 1000 : 2000};
      if (reader.setup().relayFault == "dead") break;
      if (reader.setup().relayFault == "stuck") {
        reader.setOutput2(true);
      } else {
        reader.startPulse(now, length);
      }
      say("pulse " + reader.name() + " " + std::to_string(length.count()));
      break;
    }
    case '0': reader.countAcknowledgement(); break;
  }
}

void Session::reply(const Reader& reader, const std::string& what, Bytes bytes, Clock::time_point now) {
  const ReaderSetup& setup = reader.setup();
  if (setup.replyFault) {
    Bytes broken = breakReport(*setup.replyFault, reader, bytes);
    bytes.swap(broken);
  }
  if (setup.replyDelayMs == 0) {
    send(reader, what, bytes);
    return;
  }
  const auto index = std::size_t(&reader - readers_.data());
  lateReplies_.push_back({now + milliseconds(setup.replyDelayMs), index, what, std::move(bytes)});
}

void Session::sendDueReplies(Clock::time_point now) {
  while (!lateReplies_.empty() && lateReplies_.front().due <= now) {
    LateReply late = std::move(lateReplies_.front());
    lateReplies_.pop_front();
    send(readers_[late.reader], late.what, late.bytes);
  }
}

std::vector<Reader*> Session::readersWithId(std::uint8_t id) {
  std::vector<Reader*> found;
  for (Reader& reader : readers_)
    if (reader.id() == id) found.push_back(&reader);
  return found;
}

CardCode Session::takeCard() {
  CardCode code = nextCard_;
  nextCard_ = nextCard_.next();
  return code;
}

void Session::cardRead(Reader& reader, const std::optional<CardCode>& code) {
  CardCode card = code ? *code : takeCard();
  send(reader, "card " + card.label(), reader.cardReport(card));
}

void Session::sendFault(Reader& reader, FaultKind kind, const CardCode& code) {
  if (needsBinary(kind) && !reader.binary())
    throw Failure("fault " + std::string(faultName(kind)) + " needs binary frames; reader " + reader.name() +
                  " sends ASCII lines");
  std::string what = "fault " + std::string(faultName(kind));
  if (kind != FaultKind::Noise) what += " " + code.label();
  send(reader, what, faultBytes(kind, reader, code, random_));
}

void Session::periodicRead(Clock::time_point now) {
  if (!nextPeriod_ || now < *nextPeriod_) return;
  milliseconds period{options_.periodMs};
  while (*nextPeriod_ <= now) *nextPeriod_ += period;
  Reader& reader = readers_[turn_ % readers_.size()];
  if (!line_.isOpen() || (line_.isPty() && line_.unread() > 0)) {
    say("skip " + reader.name() + " card: the line is closed or the last report is unread");
    return;
  }
  ++turn_;
  if (options_.faultRate > 0 && random_.unit() < options_.faultRate) {
    std::vector<FaultKind> usable;
    for (auto kind : options_.faults)
      if (reader.binary() || !needsBinary(kind)) usable.push_back(kind);
    if (!usable.empty()) {
      FaultKind kind = usable[random_.below(unsigned(usable.size()))];
      sendFault(reader, kind, takeCard());
      if (kind != FaultKind::Noise) nextPeriod_ = std::max(*nextPeriod_, now + milliseconds(options_.faultGapMs));
      return;
    }
  }
  cardRead(reader, std::nullopt);
}

std::optional<Clock::time_point> Session::nextDeadline() const {
  std::optional<Clock::time_point> next;
  auto consider = [&next](std::optional<Clock::time_point> t) {
    if (t && (!next || *t < *next)) next = t;
  };
  for (const auto& reader : readers_) consider(reader.pulseEnd());
  consider(nextPeriod_);
  if (!lateReplies_.empty()) consider(lateReplies_.front().due);
  if (!queue_.empty()) consider(holdUntil_);
  if (parser_.partial()) consider(lastReceived_ + milliseconds(options_.commandGapMs));
  return next;
}

int Session::run() {
  line_.open();
  say("device " + line_.path());
  if (options_.powerUp)
    for (const auto& reader : readers_) send(reader, "powerup", reader.powerUpReport());
  if (options_.periodMs > 0) nextPeriod_ = Clock::now() + milliseconds(options_.periodMs);
  runQueue(Clock::now());
  while (!quit_) {
    pollfd fds[3] = {{signalFd_, POLLIN, 0},
                     {line_.fd(), short(POLLIN | (line_.wantsWrite() ? POLLOUT : 0)), 0},
                     {inputFd_, POLLIN, 0}};
    int timeout = -1;
    if (auto deadline = nextDeadline()) {
      auto wait = std::chrono::ceil<milliseconds>(*deadline - Clock::now()).count();
      timeout = int(std::clamp<long long>(wait, 0, 60000));
    }
    if (poll(fds, 3, timeout) < 0 && errno != EINTR) throw Failure(std::string("poll failed: ") + std::strerror(errno));
    auto now = Clock::now();
    if (fds[0].revents & POLLIN) break;
    if (line_.isOpen() && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) readLine(now);
    if (line_.isOpen() && (fds[1].revents & POLLOUT)) flushLine();
    if (inputFd_ >= 0 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) readInput();
    for (auto& reader : readers_)
      if (reader.endPulseIfDue(now)) say("pulse " + reader.name() + " end");
    if (parser_.partial() && now - lastReceived_ >= milliseconds(options_.commandGapMs))
      answer(*parser_.abandon(), now);
    sendDueReplies(now);
    periodicRead(now);
    runQueue(now);
  }
  say("quit");
  return 0;
}

}  // namespace vreader
