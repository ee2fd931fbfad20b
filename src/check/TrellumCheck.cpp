#include "TrellumCheck.h"

#include <QCoreApplication>
#include <QString>

#include "CheckOptions.h"
#include "ComError.h"
#include "Commissioning.h"
#include "MessageCatalogue.h"
#include "PortResolution.h"
#include "ProgramLocation.h"
#include "ScanLines.h"
#include "SettingsFile.h"
#include "SharedOutput.h"
#include "Station.h"
#include "SettingsLocation.h"
#include "TerminationSignals.h"
#include "UserLanguage.h"

int RunTrellumCheck(int argc, char** argv, std::ostream& out, std::ostream& err) {
  const CheckOptions options = CheckOptions::Parse(argc, argv);
  if (!options.error.empty()) {
    err << "trellum-check: " << options.error << "\nTry 'trellum-check --help'.\n";
    return 2;
  }
  if (options.help) {
    out << CheckOptions::Usage();
    return 0;
  }
  QCoreApplication app(argc, argv);
  LoadMessageCatalogues(ExecutableFolder(), UserLanguage());
  TranslatePortErrorTexts();

  const QString settings = options.settings.empty()
                               ? SettingsFilePath(QString::fromStdString(ExecutableFolder()) + QStringLiteral("/trellum"))
                               : QString::fromLocal8Bit(options.settings.c_str());
  const serialdev::PortResolver resolve = ResolvePorts(SettingsFile(settings));
  SharedOutput sharedOut(out);
  SharedOutput sharedErr(err);
  Station station(options.ports.size());
  const TerminationSignals stop([&station] { station.RequestStop(); });
  if (options.command == CheckOptions::ScanCommand) return ScanLines(options, resolve, sharedOut, sharedErr, station);
  Commissioning commissioning(options, resolve, sharedOut, sharedErr);
  return commissioning.Run(station);
}
