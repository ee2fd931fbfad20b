#include "Session.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/signalfd.h>
#include <unistd.h>
#include <utility>

namespace vreader {

namespace {

using std::chrono::milliseconds;

constexpr milliseconds UnfinishedCommand{500};

std::vector<std::string> words(std::string_view text)
{
    std::vector<std::string> out;
    std::istringstream in{std::string(text)};
    for (std::string word; in >> word;)
        out.push_back(word);
    return out;
}

std::optional<CardCode> codeFrom(const std::vector<std::string>& args, std::size_t first)
{
    try {
        if (args.size() == first)
            return std::nullopt;
        if (args.size() == first + 1)
            return parseCardCode(args[first]);
        if (args.size() == first + 2)
            return parseCardCode(args[first] + ":" + args[first + 1]);
    } catch (const std::invalid_argument& e) {
        throw Failure(e.what());
    }
    throw Failure("too many words after \"" + args[first - 1] + "\"");
}

bool isCode(std::string_view word)
{
    return !word.empty() && std::isdigit(static_cast<unsigned char>(word[0]));
}

long parseMilliseconds(const std::string& text)
{
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || errno || value < 0)
        throw Failure("bad milliseconds \"" + text + "\"");
    return value;
}

}

Session::Session(const Options& options)
    : options_(options),
      parser_(!options.ids.empty()),
      line_(options.device, options.baud, options.link),
      transcript_(options.transcript),
      random_(options.seed),
      nextCard_(options.card)
{
    if (options_.ids.empty())
        readers_.emplace_back(std::nullopt, options_.startFlag, options_.optionBits);
    for (auto id : options_.ids)
        readers_.emplace_back(id, options_.startFlag, options_.optionBits);
    if (!options_.script.empty()) {
        std::ifstream script(options_.script);
        if (!script)
            throw Failure("cannot read the script " + options_.script + ": " + std::strerror(errno));
        for (std::string text; std::getline(script, text);) {
            auto hash = text.find('#');
            if (hash != std::string::npos)
                text.erase(hash);
            if (!words(text).empty())
                queue_.push_back(text);
        }
    }
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    signalFd_ = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signalFd_ < 0)
        throw Failure(std::string("cannot watch signals: ") + std::strerror(errno));
}

Session::~Session()
{
    if (signalFd_ >= 0)
        close(signalFd_);
}

void Session::say(const std::string& line)
{
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void Session::send(const Reader& reader, const std::string& what, const Bytes& bytes)
{
    if (!line_.isOpen()) {
        say("error the line is closed: " + what + " from reader " + reader.name() + " not sent");
        return;
    }
    say("tx " + reader.name() + " " + what + " : " + hex(bytes));
    line_.queue(bytes);
    flushLine();
}

void Session::flushLine()
{
    try {
        while (line_.isOpen() && line_.wantsWrite()) {
            Bytes burst = line_.flush();
            if (burst.empty())
                return;
            transcript_.record("tx", burst);
        }
    } catch (const Failure& e) {
        line_.close();
        say(std::string("error ") + e.what());
        say("closed");
    }
}

void Session::readLine(Clock::time_point now)
{
    Bytes burst;
    try {
        burst = line_.read();
    } catch (const Failure& e) {
        say(std::string("error ") + e.what());
        say("closed");
        return;
    }
    if (burst.empty())
        return;
    lastReceived_ = now;
    transcript_.record("rx", burst);
    say("rx : " + hex(burst));
    for (const auto& command : parser_.feed(burst))
        answer(command, now);
}

void Session::answer(const ParsedCommand& command, Clock::time_point now)
{
    if (command.text.empty()) {
        say("junk " + command.reason + " : " + hex(command.junk));
        return;
    }
    Reader* reader = command.id ? readerWithId(*command.id) : &readers_.front();
    if (!reader) {
        say("unaddressed " + std::to_string(*command.id) + " " + command.text);
        return;
    }
    say("cmd " + reader->name() + " " + command.text);
    switch (command.text[0]) {
    case '?': send(*reader, "status", reader->statusReport()); break;
    case 'O': send(*reader, "options", reader->optionReport()); break;
    case 'o': reader->setOptionBits(std::uint8_t(command.text[1] - 'A')); break;
    case 'L': reader->setOutput1(true); break;
    case 'l': reader->setOutput1(false); break;
    case 'R': reader->setOutput2(true); break;
    case 'r': reader->setOutput2(false); break;
    case '1':
    case '2': {
        milliseconds length{command.text[0] == '1' ? 1000 : 2000};
        reader->startPulse(now, length);
        say("pulse " + reader->name() + " " + std::to_string(length.count()));
        break;
    }
    case '0': reader->countAcknowledgement(); break;
    }
}

Reader* Session::readerWithId(std::uint8_t id)
{
    auto found = std::ranges::find_if(readers_, [id](const Reader& r) { return r.id() == id; });
    return found == readers_.end() ? nullptr : &*found;
}

CardCode Session::takeCard()
{
    CardCode code = nextCard_;
    nextCard_ = nextCard_.next();
    return code;
}

void Session::cardRead(Reader& reader, const std::optional<CardCode>& code)
{
    CardCode card = code ? *code : takeCard();
    send(reader, "card " + card.label(), reader.cardReport(card));
}

void Session::sendFault(Reader& reader, FaultKind kind, const CardCode& code)
{
    if (needsBinary(kind) && !reader.binary())
        throw Failure("fault " + std::string(faultName(kind)) + " needs binary frames; reader "
                      + reader.name() + " sends ASCII lines");
    std::string what = "fault " + std::string(faultName(kind));
    if (kind != FaultKind::Noise)
        what += " " + code.label();
    send(reader, what, faultBytes(kind, reader, code, random_));
}

void Session::periodicRead(Clock::time_point now)
{
    if (!nextPeriod_ || now < *nextPeriod_)
        return;
    milliseconds period{options_.periodMs};
    while (*nextPeriod_ <= now)
        *nextPeriod_ += period;
    Reader& reader = readers_[turn_ % readers_.size()];
    if (!line_.isOpen() || (line_.isPty() && line_.unread() > 0)) {
        say("skip " + reader.name() + " card: the line is closed or the last report is unread");
        return;
    }
    ++turn_;
    if (options_.faultRate > 0 && random_.unit() < options_.faultRate) {
        std::vector<FaultKind> usable;
        for (auto kind : options_.faults)
            if (reader.binary() || !needsBinary(kind))
                usable.push_back(kind);
        if (!usable.empty()) {
            FaultKind kind = usable[random_.below(unsigned(usable.size()))];
            sendFault(reader, kind, takeCard());
            if (kind != FaultKind::Noise)
                nextPeriod_ = std::max(*nextPeriod_, now + milliseconds(options_.faultGapMs));
            return;
        }
    }
    cardRead(reader, std::nullopt);
}

void Session::readInput()
{
    char buffer[4096];
    ssize_t n = ::read(inputFd_, buffer, sizeof buffer);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0) {
        inputFd_ = -1;
        if (!input_.empty())
            queue_.push_back(std::exchange(input_, {}));
        if (options_.quitOnEof)
            queue_.push_back("quit");
        return;
    }
    input_.append(buffer, std::size_t(n));
    for (std::size_t end; (end = input_.find('\n')) != std::string::npos;) {
        queue_.push_back(input_.substr(0, end));
        input_.erase(0, end + 1);
    }
}

void Session::runQueue(Clock::time_point now)
{
    while (!quit_ && !queue_.empty()) {
        if (holdUntil_ && now < *holdUntil_)
            return;
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

void Session::execute(std::string_view text, Clock::time_point now)
{
    auto args = words(text);
    Reader* reader = &readers_.front();
    if (!args.empty() && args[0].starts_with("@")) {
        char* end = nullptr;
        long id = std::strtol(args[0].c_str() + 1, &end, 10);
        reader = (args[0].size() > 1 && !*end && id >= 0 && id < 256) ? readerWithId(std::uint8_t(id)) : nullptr;
        if (!reader)
            throw Failure("no reader " + args[0]);
        args.erase(args.begin());
    }
    if (args.empty()) {
        cardRead(*reader, std::nullopt);
        return;
    }
    const std::string& verb = args[0];
    auto expect = [&](std::size_t count) {
        if (args.size() != count)
            throw Failure("\"" + verb + "\" takes " + std::to_string(count - 1) + " argument(s)");
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
        if (args.size() < 2)
            throw Failure("\"fault\" takes a kind: checksum, endflag, length, cut, noise or id");
        auto kind = faultFromName(args[1]);
        if (!kind)
            throw Failure("unknown fault \"" + args[1] + "\"");
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
        if (bytes.empty())
            throw Failure("\"raw\" takes bytes");
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

std::optional<Clock::time_point> Session::nextDeadline() const
{
    std::optional<Clock::time_point> next;
    auto consider = [&next](std::optional<Clock::time_point> t) {
        if (t && (!next || *t < *next))
            next = t;
    };
    for (const auto& reader : readers_)
        consider(reader.pulseEnd());
    consider(nextPeriod_);
    if (!queue_.empty())
        consider(holdUntil_);
    if (parser_.partial())
        consider(lastReceived_ + UnfinishedCommand);
    return next;
}

int Session::run()
{
    line_.open();
    say("device " + line_.path());
    if (options_.powerUp)
        for (const auto& reader : readers_)
            send(reader, "powerup", reader.powerUpReport());
    if (options_.periodMs > 0)
        nextPeriod_ = Clock::now() + milliseconds(options_.periodMs);
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
        if (poll(fds, 3, timeout) < 0 && errno != EINTR)
            throw Failure(std::string("poll failed: ") + std::strerror(errno));
        auto now = Clock::now();
        if (fds[0].revents & POLLIN)
            break;
        if (line_.isOpen() && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
            readLine(now);
        if (line_.isOpen() && (fds[1].revents & POLLOUT))
            flushLine();
        if (inputFd_ >= 0 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR)))
            readInput();
        for (auto& reader : readers_)
            if (reader.endPulseIfDue(now))
                say("pulse " + reader.name() + " end");
        if (parser_.partial() && now - lastReceived_ >= UnfinishedCommand)
            answer(*parser_.abandon(), now);
        periodicRead(now);
        runQueue(now);
    }
    say("quit");
    return 0;
}

}
