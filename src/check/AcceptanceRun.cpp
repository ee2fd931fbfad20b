#include "AcceptanceRun.h"

#include <QDateTime>

#include <chrono>
#include <iomanip>
#include <sstream>

#include "CheckLine.h"
#include "ComError.h"
#include "ProtocolText.h"

namespace {

using Clock = std::chrono::steady_clock;

const char* OnOff(bool on) { return on ? "on" : "off"; }

std::string StatusText(std::uint8_t status) {
  return "status " + HexByte(status) + " (switch " + (SwitchClosed(status) ? "closed" : "open") + ", output 1 " +
         OnOff(Output1On(status)) + ", output 2 " + OnOff(Output2On(status)) + ", buzzer " + OnOff(BuzzerOn(status)) +
         ")";
}

std::string Letter(int bits) { return std::string(1, static_cast<char>('A' + bits)); }

// A step failed: the reason, thrown out of the step's body.
struct StepFailure {
  std::string reason;
};

class Acceptance {
 public:
  Acceptance(CheckLine& line, const TestSettings& settings, std::ostream& progress, RunResult& run)
      : line_(line), settings_(settings), progress_(progress), run_(run) {}

  void Run() {
    Step("status", [this] { return StatusStep(); });
    Step("options", [this] { return OptionsStep(); });
    Step("outputs", [this] { return OutputsStep(); });
    Step("relay pulses", [this] { return PulsesStep(); });
    Step("cards", [this] { return CardsStep(); });
    Step("switch", [this] { return SwitchStep(); });
  }

  // The reader's outputs and options as they were found; off when never read.
  void Restore() {
    if (!run_.lost.empty()) {
      run_.restored = "nothing: the line was lost";
      return;
    }
    if (settings_.bus && !initialStatus_) {
      run_.restored = "nothing: the reader never answered";
      return;
    }
    std::ostringstream restored;
    try {
      const bool out1 = initialStatus_ && Output1On(*initialStatus_);
      const bool out2 = initialStatus_ && Output2On(*initialStatus_);
      Send(out1 ? "L" : "l");
      Send(out2 ? "R" : "r");
      restored << "output 1 " << OnOff(out1) << ", output 2 " << OnOff(out2);
      if (initialOptions_) {
        Send("o" + Letter(*initialOptions_));
        restored << ", options " << Letter(*initialOptions_);
      }
    } catch (const std::exception& e) {
      restored << (restored.tellp() > 0 ? "; " : "") << "not restored: " << e.what();
    }
    run_.restored = restored.str();
  }

 private:
  template <typename Body>
  void Step(const std::string& name, Body body) {
    StepResult step;
    step.name = std::to_string(run_.steps.size() + 1) + " " + name;
    const auto start = Clock::now();
    progress_ << "test: " << step.name << " ..." << std::endl;
    line_.TakeBytes();
    if (run_.stopped) {
      step.verdict = StepResult::Skip;
      step.reason = "the run was stopped";
    } else if (!notTried_.empty()) {
      step.verdict = StepResult::Skip;
      step.reason = notTried_;
    } else {
      try {
        std::optional<std::string> passed = body();
        step.verdict = passed ? StepResult::Pass : StepResult::Skip;
        step.reason = passed ? *passed : skipReason_;
      } catch (const StepFailure& failure) {
        step.verdict = StepResult::Fail;
        step.reason = failure.reason;
      } catch (const EComPort& error) {
        step.verdict = StepResult::Fail;
        step.reason = error.what();
      } catch (const Stopped&) {
        step.verdict = StepResult::Fail;
        step.reason = "stopped (Ctrl+C) during the step";
        run_.stopped = true;
      }
      if (line_.Removed()) {
        run_.lost = line_.RemovalReason();
        notTried_ = "not tried: the line was lost";
      }
    }
    step.bytes = line_.TakeBytes();
    step.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    progress_ << "test: " << VerdictText(step.verdict) << " " << step.name << ": " << step.reason << std::endl;
    run_.steps.push_back(std::move(step));
  }

  std::optional<std::string> Skip(std::string reason) {
    skipReason_ = std::move(reason);
    return std::nullopt;
  }

  // One command to the reader (in ID mode to its ID, even when another
  // reader's card arrives while it goes out); the protocol's RTS cycle.
  void Send(const std::string& command) {
    line_.Protocol().RefreshReaderId();
    line_.Protocol().SendCommand(command, settings_.id);
  }

  // The next reply of a kind, from the reader tested, within the time.
  std::optional<Heard> Await(Heard::Kind kind, int milliseconds) {
    std::optional<Heard> found;
    line_.WaitFor(
        [&] {
          for (const Heard& h : line_.Panel().TakeHeard()) {
            // On a bus the other readers' cards are theirs.
            if (h.id && h.id != settings_.id) continue;
            if (h.kind == Heard::Card) run_.cards.push_back(h.text);
            if (!found && h.kind == kind) found = h;
          }
          return found.has_value();
        },
        milliseconds);
    if (line_.Removed()) throw StepFailure{"the port's device went away: " + line_.RemovalReason()};
    return found;
  }

  std::uint8_t AskStatus(const std::string& when) {
    line_.Panel().TakeHeard();
    Send("?");
    const auto reply = Await(Heard::Status, kReplyTime);
    if (!reply) throw StepFailure{"no status reply " + when + " within " + std::to_string(kReplyTime) + " ms"};
    return reply->value;
  }

  int AskOptions(const std::string& when) {
    line_.Panel().TakeHeard();
    line_.Protocol().ResetDecoder();
    Send("O");
    const auto reply = Await(Heard::Options, kReplyTime);
    if (!reply) throw StepFailure{"no option reply " + when + " within " + std::to_string(kReplyTime) + " ms"};
    return reply->value;
  }

  std::optional<std::string> StatusStep() {
    std::uint8_t status = 0;
    try {
      status = AskStatus("to \"?\"");
    } catch (const StepFailure& failure) {
      // On a bus an ID that does not answer is most likely no reader at all:
      // it is tried no further and left alone.
      if (!settings_.bus || line_.Removed()) throw;
      notTried_ = "not tried: no answer to the status request";
      throw StepFailure{"no answer (" + failure.reason + ")"};
    }
    initialStatus_ = status;
    return StatusText(status);
  }

  std::optional<std::string> OptionsStep() {
    if (settings_.model == 0) return Skip("the first model has no options");
    const int bits = AskOptions("to \"O\"");
    initialOptions_ = bits;
    line_.Panel().SetOptions(bits);
    const std::string letter = line_.Protocol().OptionLetter();
    Send("o" + letter);
    const int back = AskOptions("after \"o" + letter + "\"");
    if (back != bits) throw StepFailure{"wrote options " + letter + ", read back " + Letter(back)};
    return "options " + letter + " read, written and read back";
  }

  std::optional<std::string> OutputsStep() {
    struct Output {
      int number;
      const char* on;
      const char* off;
      bool (*level)(std::uint8_t);
    };
    for (const Output& o : {Output{1, "L", "l", &Output1On}, Output{2, "R", "r", &Output2On}}) {
      for (const char* command : {o.on, o.off}) {
        const bool wanted = command == o.on;
        Send(command);
        const std::string sent = std::string("after \"") + command + "\"";
        const std::uint8_t status = AskStatus(sent);
        if (o.level(status) != wanted) {
          throw StepFailure{"output " + std::to_string(o.number) + " is " + OnOff(!wanted) + " " + sent + ": " +
                            StatusText(status)};
        }
      }
    }
    return "outputs 1 and 2 went on and off";
  }

  std::optional<std::string> PulsesStep() {
    if (settings_.model == 0) return Skip("the first model has no relay");
    std::ostringstream seen;
    for (const int seconds : {1, 2}) {
      const std::string command = std::to_string(seconds);
      // The pulse began between these two: a slow line or a busy machine
      // makes the polls late, never the bounds wrong.
      const auto sending = Clock::now();
      Send(command);
      const auto sent = Clock::now();
      if (!Output2On(AskStatus("after \"" + command + "\""))) {
        throw StepFailure{"the relay is not on after \"" + command + "\""};
      }
      const int earliest = seconds * 1000 - kPulseEarly;
      const int latest = seconds * 1000 + kPulseLate;
      auto since = [](Clock::time_point from) {
        return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - from).count());
      };
      while (true) {
        // A request that leaves after `latest` and still finds the relay on
        // proves the pulse too long.
        const int asked = since(sent);
        if (!Output2On(AskStatus("during the pulse \"" + command + "\""))) break;
        if (asked > latest) {
          throw StepFailure{"the relay is still on " + std::to_string(asked) + " ms after \"" + command +
                            "\" (at most " + std::to_string(latest) + " ms)"};
        }
        line_.Pause(50);
      }
      const int off = since(sending);
      if (off < earliest) {
        throw StepFailure{"the relay went off " + std::to_string(off) + " ms after \"" + command + "\" (at least " +
                          std::to_string(earliest) + " ms)"};
      }
      seen << (seconds == 1 ? "" : ", ") << "\"" << command << "\" off after " << off << " ms";
    }
    return seen.str();
  }

  std::optional<std::string> CardsStep() {
    if (settings_.cards == 0) return Skip("no cards asked for (--cards 0)");
    const std::size_t before = run_.cards.size();
    const auto wanted = static_cast<std::size_t>(settings_.cards);
    progress_ << "test: present " << settings_.cards << (settings_.cards == 1 ? " card" : " cards")
              << " to the reader within " << settings_.cardTimeout << " s" << std::endl;
    line_.Panel().TakeHeard();
    // "Control Lock" pulses the relay: only the cards of this step get it,
    // so that a card shown during another step leaves the outputs alone.
    line_.Panel().SetControlLock(settings_.lock);
    struct Unlock {
      CheckPanel& panel;
      ~Unlock() { panel.SetControlLock(false); }
    } unlock{line_.Panel()};
    const auto deadline = Clock::now() + std::chrono::seconds(settings_.cardTimeout);
    while (run_.cards.size() - before < wanted) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) break;
      const std::size_t had = run_.cards.size();
      Await(Heard::Card, static_cast<int>(left));
      for (std::size_t i = had; i < run_.cards.size(); ++i) progress_ << "test: card " << run_.cards[i] << std::endl;
    }
    const std::size_t got = run_.cards.size() - before;
    if (got < wanted) {
      throw StepFailure{std::to_string(got) + " of " + std::to_string(wanted) + " card codes within " +
                        std::to_string(settings_.cardTimeout) + " s"};
    }
    std::string codes;
    for (std::size_t i = before; i < run_.cards.size(); ++i) codes += (codes.empty() ? "" : ", ") + run_.cards[i];
    return "card codes " + codes + (settings_.lock ? " answered with Control Lock" : " answered");
  }

  std::optional<std::string> SwitchStep() {
    if (!settings_.switchStep) return Skip("not asked for (--switch)");
    progress_ << "test: close and open the reader's switch within " << settings_.cardTimeout << " s" << std::endl;
    const int limit = settings_.cardTimeout * 1000;
    const auto start = Clock::now();
    if (!Await(Heard::SwitchClosed, limit)) throw StepFailure{"no switch close within the time-out"};
    const auto left = limit - std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    if (!Await(Heard::SwitchOpened, static_cast<int>(std::max<long long>(left, 0)))) {
      throw StepFailure{"the switch closed but did not open within the time-out"};
    }
    return "switch closed and opened";
  }

  CheckLine& line_;
  const TestSettings& settings_;
  std::ostream& progress_;
  RunResult& run_;
  std::string skipReason_;
  std::string notTried_;  // why the steps from here on are not tried; empty while they are
  std::optional<std::uint8_t> initialStatus_;
  std::optional<int> initialOptions_;
};

}  // namespace

bool RunResult::Passed() const { return !stopped && lost.empty() && !FailedStep() && !steps.empty(); }

const StepResult* RunResult::FailedStep() const {
  for (const StepResult& step : steps) {
    if (step.verdict == StepResult::Fail) return &step;
  }
  return nullptr;
}

const char* VerdictText(StepResult::Verdict verdict) {
  switch (verdict) {
    case StepResult::Pass: return "PASS";
    case StepResult::Fail: return "FAIL";
    case StepResult::Skip: return "SKIP";
  }
  return "";
}

RunResult RunAcceptance(CheckLine& line, const TestSettings& settings, std::ostream& progress) {
  RunResult run;
  run.port = line.Port();
  run.id = settings.id;
  std::ostringstream reader;
  reader << line.Port() << ' ' << settings.speed << " Mode " << settings.format;
  if (settings.id) reader << " ID " << *settings.id;
  run.reader = reader.str();
  run.started = QDateTime::currentDateTime().toString(Qt::ISODate).toStdString();
  const auto start = Clock::now();
  CheckPanel& panel = line.Panel();
  panel.SetFormat(settings.format);
  panel.SetIdMode(settings.id.has_value());
  panel.SetMyId(settings.id.value_or(0));
  panel.SetControlLock(false);
  line.Open(settings.speed);
  Acceptance acceptance(line, settings, progress, run);
  acceptance.Run();
  acceptance.Restore();
  line.Close();
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return run;
}

void PrintRun(std::ostream& out, const RunResult& run) {
  out << "reader " << run.reader << '\n';
  for (const StepResult& step : run.steps) {
    out << VerdictText(step.verdict) << ' ' << step.name << ": " << step.reason << '\n';
    if (!step.bytes.empty() && step.verdict == StepResult::Fail) out << "     bytes: " << step.bytes << '\n';
  }
  for (const std::string& card : run.cards) out << "card " << card << '\n';
  out << "restored " << run.restored << '\n';
  out << (run.Passed() ? "PASSED" : "FAILED") << " in " << std::fixed << std::setprecision(1) << run.seconds << " s\n";
  out.unsetf(std::ios::fixed);
}
