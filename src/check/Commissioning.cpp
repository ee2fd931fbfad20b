#include "Commissioning.h"

#include <QDateTime>

#include <algorithm>
#include <chrono>
#include <iomanip>
#include <memory>
#include <sstream>

#include "CheckLine.h"
#include "ComError.h"
#include "HtmlReport.h"
#include "JUnitReport.h"
#include "LineRecord.h"
#include "SessionRecord.h"
#include "SharedOutput.h"
#include "Station.h"

namespace {

constexpr int kPresenceCheck = 500;  // ms between looks for the next reader

// The next reader of a batch: the port's device goes away, then comes back.
void AwaitNextReader(CheckLine& line, unsigned baud, std::ostream& progress) {
  progress << "test: waiting for the next reader: unplug this one and plug in the next (Ctrl+C ends)" << std::endl;
  while (line.Opens(baud)) line.Pause(kPresenceCheck);
  progress << "test: the port's device is gone; waiting for it to come back" << std::endl;
  while (!line.Opens(baud)) line.Pause(kPresenceCheck);
}

std::string IdText(const std::optional<int>& id) { return id ? std::to_string(*id) : "-"; }

}  // namespace

Commissioning::Commissioning(const CheckOptions& options, serialdev::PortResolver resolve, SharedOutput& out,
                             SharedOutput& err)
    : options_(options), resolve_(std::move(resolve)), out_(out), err_(err) {}

int Commissioning::Run(Station& station) {
  started_ = QDateTime::currentDateTime().toString(Qt::ISODate).toStdString();
  const auto start = std::chrono::steady_clock::now();
  station.Run([this](std::size_t line, const std::atomic<bool>& stop) { TestLine(line, stop); });
  std::lock_guard lock(mutex_);
  if (options_.Several()) PrintSummary(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  if (!result_.errors.empty() || unwritable_) return 2;
  const bool passed = std::all_of(result_.runs.begin(), result_.runs.end(), [](const RunResult& r) { return r.Passed(); });
  return passed ? 0 : 1;
}

void Commissioning::TestLine(std::size_t index, const std::atomic<bool>& stop) {
  const std::string& port = options_.ports[index];
  LineWriter progress(err_);
  const std::unique_ptr<SessionRecord> record =
      OpenLineRecord(options_.record, index, options_.ports.size(), progress);
  CheckLine line(port, resolve_, record.get(), stop);
  std::vector<std::optional<int>> readers;
  for (const int id : options_.ids) readers.emplace_back(id);
  if (readers.empty()) readers.push_back(options_.test.id);
  bool opened = false;
  for (int round = 1;; ++round) {
    for (const std::optional<int>& id : readers) {
      if (options_.Several()) progress.SetPrefix(port + (id ? " ID " + std::to_string(*id) : "") + ": ");
      if (options_.repeat) progress << "test: run " << round << std::endl;
      TestSettings settings = options_.test;
      settings.id = id;
      settings.bus = !options_.ids.empty();
      RunResult run;
      try {
        run = RunAcceptance(line, settings, progress);
      } catch (const EComPort& error) {
        if (record) record->Error(error.what());
        // A device that came back and went again at once (a plug not quite
        // in, a link replaced) is waited for again with --repeat.
        if (options_.repeat && opened) {
          progress << "test: the port's device did not stay: " << error.what() << std::endl;
          break;
        }
        Fail({port, id, error.what(), opened});
        return;
      }
      opened = true;
      const bool lost = !run.lost.empty();
      const bool stopped = run.stopped;
      Publish(std::move(run), round);
      if (stopped) return;
      if (lost) break;
    }
    if (!options_.repeat) return;
    if (options_.Several()) progress.SetPrefix(port + ": ");
    try {
      AwaitNextReader(line, options_.test.speed, progress);
    } catch (const Stopped&) {
      return;
    }
  }
}

void Commissioning::Publish(RunResult run, int round) {
  std::ostringstream block;
  std::lock_guard lock(mutex_);
  if (!options_.Several()) {
    // One reader on one line: its runs numbered as they always were.
    const int number = static_cast<int>(result_.runs.size()) + 1;
    if (options_.repeat) block << "run " << number << '\n';
    run.title = "run " + std::to_string(number) + ": " + run.reader;
  } else {
    run.title = run.port + (run.id ? " ID " + std::to_string(*run.id) : "") +
                (options_.repeat ? " run " + std::to_string(round) : "");
    if (options_.repeat) block << "run " << round << '\n';
  }
  PrintRun(block, run);
  out_.Write(block.str());
  result_.runs.push_back(std::move(run));
  WriteFiles();
}

void Commissioning::Fail(LineError error) {
  err_.Write("trellum-check: " + (options_.Several() ? error.port + ": " : std::string()) + error.what + "\n");
  std::lock_guard lock(mutex_);
  result_.errors.push_back(std::move(error));
  WriteFiles();
}

// Called with the mutex held.
StationResult Commissioning::Ordered() const {
  StationResult ordered = result_;
  const auto line = [this](const std::string& port) {
    return std::find(options_.ports.begin(), options_.ports.end(), port) - options_.ports.begin();
  };
  std::stable_sort(ordered.runs.begin(), ordered.runs.end(),
                   [&](const RunResult& a, const RunResult& b) { return line(a.port) < line(b.port); });
  std::stable_sort(ordered.errors.begin(), ordered.errors.end(),
                   [&](const LineError& a, const LineError& b) { return line(a.port) < line(b.port); });
  return ordered;
}

// Called with the mutex held.
void Commissioning::WriteFiles() {
  auto unwritable = [this](const std::string& path) {
    if (!unwritable_) err_.Write("trellum-check: cannot write " + path + "\n");
    unwritable_ = true;
  };
  const StationResult ordered = Ordered();
  if (!options_.junit.empty() && !WriteJUnit(options_.junit, ordered)) unwritable(options_.junit);
  if (!options_.report.empty() && !WriteHtmlReport(options_.report, options_, started_, ordered)) {
    unwritable(options_.report);
  }
}

// Called with the mutex held.
void Commissioning::PrintSummary(double seconds) {
  std::size_t width = 4;
  for (const std::string& port : options_.ports) width = std::max(width, port.size());
  std::ostringstream out;
  out << std::left << std::setw(static_cast<int>(width) + 2) << "PORT" << std::setw(4) << "ID" << std::setw(8)
      << "RESULT" << std::setw(9) << "SECONDS" << "FAILED STEP" << '\n';
  const StationResult ordered = Ordered();
  std::size_t passed = 0;
  for (const RunResult& run : ordered.runs) {
    passed += run.Passed();
    const StepResult* failed = run.FailedStep();
    std::string why = failed ? failed->name + ": " + failed->reason : (run.stopped ? "stopped" : "");
    if (!run.lost.empty()) why += (why.empty() ? "" : "; ") + std::string("line lost: ") + run.lost;
    std::ostringstream time;
    time << std::fixed << std::setprecision(1) << run.seconds;
    out << std::setw(static_cast<int>(width) + 2) << run.port << std::setw(4) << IdText(run.id) << std::setw(8)
        << (run.Passed() ? "PASS" : "FAIL") << std::setw(9) << time.str() << why << '\n';
  }
  for (const LineError& error : ordered.errors) {
    out << std::setw(static_cast<int>(width) + 2) << error.port << std::setw(4) << IdText(error.id) << std::setw(8)
        << "ERROR" << std::setw(9) << "-" << LineErrorText(error) << '\n';
  }
  const std::size_t readers = result_.runs.size();
  out << "total: " << readers << (readers == 1 ? " reader" : " readers") << ", " << passed << " passed, "
      << readers - passed << " failed";
  if (!result_.errors.empty()) {
    out << ", " << result_.errors.size() << (result_.errors.size() == 1 ? " line" : " lines") << " not opened";
  }
  out << ", in " << std::fixed << std::setprecision(1) << seconds << " s\n";
  out_.Write(out.str());
}
