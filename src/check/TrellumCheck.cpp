#include "TrellumCheck.h"

#include <QCoreApplication>
#include <QString>

#include <memory>

#include "AcceptanceRun.h"
#include "CheckLine.h"
#include "CheckOptions.h"
#include "ComError.h"
#include "JUnitReport.h"
#include "MessageCatalogue.h"
#include "PortResolution.h"
#include "ProgramLocation.h"
#include "Scan.h"
#include "SessionRecord.h"
#include "SettingsFile.h"
#include "SettingsLocation.h"
#include "TerminationSignals.h"
#include "UserLanguage.h"

namespace {

constexpr int kPassed = 0;
constexpr int kFailed = 1;
constexpr int kUsageOrPort = 2;
constexpr int kPresenceCheck = 500;  // ms between looks for the next reader

// The next reader of a batch: the port's device goes away, then comes back.
void AwaitNextReader(CheckLine& line, unsigned baud, std::ostream& err) {
  err << "test: waiting for the next reader: unplug this one and plug in the next (Ctrl+C ends)" << std::endl;
  while (line.Opens(baud)) line.Pause(kPresenceCheck);
  err << "test: the port's device is gone; waiting for it to come back" << std::endl;
  while (!line.Opens(baud)) line.Pause(kPresenceCheck);
}

int RunTests(CheckLine& line, const CheckOptions& options, std::ostream& out, std::ostream& err) {
  std::vector<RunResult> runs;
  bool passed = true;
  for (int number = 1;; ++number) {
    if (options.repeat) err << "test: run " << number << std::endl;
    RunResult run = RunAcceptance(line, options.test, err);
    if (options.repeat) out << "run " << number << '\n';
    PrintRun(out, run);
    out.flush();
    passed = passed && run.Passed();
    runs.push_back(std::move(run));
    if (!options.junit.empty() && !WriteJUnit(options.junit, runs)) {
      err << "trellum-check: cannot write " << options.junit << std::endl;
      return kUsageOrPort;
    }
    if (!options.repeat || runs.back().stopped) break;
    try {
      AwaitNextReader(line, options.test.speed, err);
    } catch (const Stopped&) {
      break;
    }
  }
  return passed ? kPassed : kFailed;
}

}  // namespace

int RunTrellumCheck(int argc, char** argv, std::ostream& out, std::ostream& err) {
  const CheckOptions options = CheckOptions::Parse(argc, argv);
  if (!options.error.empty()) {
    err << "trellum-check: " << options.error << "\nTry 'trellum-check --help'.\n";
    return kUsageOrPort;
  }
  if (options.help) {
    out << CheckOptions::Usage();
    return kPassed;
  }
  QCoreApplication app(argc, argv);
  LoadMessageCatalogues(ExecutableFolder(), UserLanguage());
  TranslatePortErrorTexts();

  std::unique_ptr<SessionRecord> record;
  if (!options.record.empty()) {
    record = std::make_unique<SessionRecord>(
        options.record, [&err](const std::exception& e) { err << "trellum-check: " << e.what() << std::endl; });
  }
  // By default the window's own file: its program lies beside this one.
  const QString settings =
      options.settings.empty()
          ? SettingsFilePath(QString::fromStdString(ExecutableFolder()) + QStringLiteral("/trellum"))
          : QString::fromLocal8Bit(options.settings.c_str());
  CheckLine line(options.port, ResolvePorts(SettingsFile(settings)), record.get());
  const TerminationSignals stop([&line] { line.RequestStop(); });
  try {
    if (options.command == CheckOptions::ScanCommand) {
      const ScanResult result = Scan(line, options.scan, err);
      if (options.json) {
        PrintScanJson(out, result);
        err << "scan: " << result.readers.size() << " found in " << result.seconds << " s" << std::endl;
      } else {
        PrintScanTable(out, result);
      }
      return result.readers.empty() ? kFailed : kPassed;
    }
    return RunTests(line, options, out, err);
  } catch (const EComPort& error) {
    err << "trellum-check: " << error.what() << std::endl;
    if (record) record->Error(error.what());
    return kUsageOrPort;
  } catch (const Stopped&) {
    err << "trellum-check: stopped" << std::endl;
    return kFailed;
  }
}
