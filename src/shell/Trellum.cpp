#include "Trellum.h"

#include <QApplication>
#include <QSessionManager>

#include <iostream>
#include <memory>

#include "AboutBox.h"
#include "ComError.h"
#include "CommandLine.h"
#include "ErrorReport.h"
#include "MessageCatalogue.h"
#include "Pictures.h"
#include "PortList.h"
#include "ProgramLocation.h"
#include "SessionRecord.h"
#include "SessionTaps.h"
#include "SettingsLocation.h"
#include "SingleInstance.h"
#include "TerminationSignals.h"
#include "ToolkitChoices.h"
#include "UserLanguage.h"

TForm1Setup EntryFormSetup() {
  TForm1Setup setup = TForm1Setup::Default();
  setup.settingsPath = SettingsFilePath(QString::fromStdString(ExecutablePath()));
  return setup;
}

int RunTrellum(int& argc, char** argv, const TrellumSetup& setup) {
  // Options that end the run at once need no display, no guard and no
  // settings file.
  const CommandLine options = CommandLine::Parse(argc, argv);
  if (!options.error.empty()) {
    std::cerr << "trellum: " << options.error << '\n' << CommandLine::Usage();
    return 2;
  }
  if (options.help || options.listPorts) {
    if (options.help) std::cout << CommandLine::Usage();
    if (options.listPorts) ListPorts(std::cout);
    return 0;
  }

  MakeToolkitChoices();
  QApplication app(argc, argv);
  QApplication::setWindowIcon(ApplicationIcon());
  LoadMessageCatalogues(ExecutableFolder(), UserLanguage());
  TranslatePortErrorTexts();

  // The end of the session or a termination signal closes the windows as
  // the close box does, the refused copy's message box included.
  TerminationSignals terminate([] { QApplication::closeAllWindows(); });
  // Windows tells a window program of the end of the session with
  // WM_QUERYENDSESSION, which the toolkit reports as commitDataRequest: the
  // windows close there, before the system ends the process.
  QObject::connect(&app, &QGuiApplication::commitDataRequest,
                   [](QSessionManager&) { QApplication::closeAllWindows(); });

  const std::unique_ptr<InstanceGuard> guard = ClaimSingleInstance(PlatformInformationBox(setup.messages));
  if (!guard) {
    return 0;
  }

  QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
  // The record outlives the window, whose destruction may still close the
  // port. One that cannot be opened is reported, and the run goes on without.
  std::unique_ptr<SessionRecord> record;
  OperatorMessages messages = setup.messages;
  if (!options.record.empty()) {
    record = std::make_unique<SessionRecord>(
        options.record, [&setup](const std::exception& error) { ReportError(setup.messages, error); });
    messages = RecordedMessages(setup.messages, *record);
  }
  TForm1Setup formSetup = options.Apply(setup.formSetup());
  formSetup.messages = messages;
  if (record) formSetup.linkObserver = record.get();
  auto form = std::make_unique<TForm1>(std::move(formSetup));
  if (record) RecordWindow(*form, *record);
  // Owned by the main window so that window managers keep it above it.
  auto about = std::make_unique<Taboutbox>(form.get());
  form->showAboutBox = [box = about.get()] { box->ShowModal(); };

  form->show();
  if (setup.running) {
    setup.running(*form, *about);
  }
  QApplication::exec();
  guard->Release();

  // The windows go in the reverse order of their creation; the main
  // window's destruction writes the settings file and closes the port.
  about.reset();
  form.reset();
  return 0;
}
