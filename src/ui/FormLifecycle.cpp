#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>
#include <QTimer>

#include "ComPort.h"
#include "PortResolution.h"
#include "QtHandOff.h"
#include "ErrorReport.h"
#include "MainWindow.h"
#include "ReaderLine.h"
#include "SettingsLocation.h"

TForm1Setup TForm1Setup::Default() {
  TForm1Setup setup;
  setup.settingsPath = SettingsFilePath(QCoreApplication::applicationFilePath());
  return setup;
}

TForm1::TForm1(TForm1Setup setup, QWidget* parent)
    : QWidget(parent),
      ComPort1(std::make_unique<TComPort>(std::make_shared<QtHandOff>())),
      setup_(std::move(setup)),
      settings_(setup_.settingsPath),
      link_(*ComPort1, setup_.linkObserver),
      protocol_(*this, link_) {
  BuildLayout();
  CreatePort();
  ConnectHandlers();
  RunReported(setup_.messages, [this] { FormCreate(); });
  Timer2->start();
}

TForm1::~TForm1() {
  Timer1->stop();
  StopWaiting();
  RunReported(setup_.messages, [this] { FormDestroy(); });
  ComPort1.reset();
}

void TForm1::CreatePort() {
  ComPort1->SetName("ComPort1");
  ComPort1->SetPort("COM1");
  ComPort1->SetBaudRate(br9600);
  SetReaderLine(*ComPort1);
  if (setup_.makeDevice) ComPort1->SetDeviceFactory(setup_.makeDevice);
  ComPort1->SetPortResolver(ResolvePorts(settings_, setup_.runPorts, setup_.automaticPorts));
  ComPort1->SetErrorReporter([this](std::exception_ptr error) { RunHandler([&] { std::rethrow_exception(error); }); });
  ComPort1->OnBeforeOpen = [this](TCustomComPort*) { ComPort1BeforeOpen(); };
  // Exceptions from these two take the component's own path: it ends the
  // event thread and hands them to the error reporter.
  ComPort1->OnRxChar = [this](TCustomComPort*, int Count) { ComPort1RxChar(Count); };
  ComPort1->OnError = [this](TCustomComPort*, TComErrors) { ComPort1Error(); };
  ComPort1->OnDeviceRemoved = [this](TCustomComPort*, const EComPort& reason) { PortRemoved(reason); };
}

void TForm1::ConnectHandlers() {
  auto wire = [this](auto* sender, auto signal, void (TForm1::*handler)()) {
    connect(sender, signal, this, [this, handler] { RunHandler([&] { (this->*handler)(); }); });
  };
  connect(modelGroup_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
    if (checked) RunHandler([this] { ModelClick(); });
  });
  wire(spd0, &QCheckBox::toggled, &TForm1::spd1Click);
  wire(spd1, &QCheckBox::toggled, &TForm1::spd1Click);
  wire(fmt0, &QCheckBox::toggled, &TForm1::fmt0Click);
  wire(fmt1, &QCheckBox::toggled, &TForm1::fmt0Click);
  wire(CheckBox1, &QCheckBox::toggled, &TForm1::CheckBox1Click);
  wire(CheckBox2, &QCheckBox::toggled, &TForm1::CheckBox2Click);
  wire(CheckBox3, &QCheckBox::toggled, &TForm1::CheckBox3Click);
  wire(CheckBox4, &QCheckBox::toggled, &TForm1::CheckBox4Click);
  wire(cbIDmode, &QCheckBox::toggled, &TForm1::cbIDmodeClick);
  wire(one, &QPushButton::clicked, &TForm1::oneClick);
  wire(two, &QPushButton::clicked, &TForm1::twoClick);
  wire(status, &QPushButton::clicked, &TForm1::statusClick);
  wire(Button3, &QPushButton::clicked, &TForm1::Button3Click);
  wire(Button5, &QPushButton::clicked, &TForm1::Button5Click);
  wire(Button4, &QPushButton::clicked, &TForm1::Button4Click);
  wire(Button1, &QPushButton::clicked, &TForm1::Button1Click);
  wire(Button2, &QPushButton::clicked, &TForm1::Button2Click);
  connect(Timer1, &QTimer::timeout, this, [this] { RunHandler([this] { protocol_.Timer1Timer(); }); });
  wire(Timer2, &QTimer::timeout, &TForm1::Timer2Timer);
  // The clock wakes the window ten times a second; the log's new lines wait
  // for it rather than waking the window once more for every burst.
  Memo1->showNewRowsOn(*Timer2);
}

void TForm1::FormCreate() {
  ModelClick();
  fmt0Click();
  spd1Click();
  protocol_.SetTraceEnabled(false);
  protocol_.ResetDecoder();
  reconnect_ = setup_.reconnect || settings_.ReadReconnect();
  const int stored = setup_.startPort ? *setup_.startPort : settings_.ReadPortIndex();
  comm1->setCurrentIndex(stored >= 0 && stored < comm1->count() ? stored : -1);
}

void TForm1::FormDestroy() {
  // The port is closed even when the settings file cannot be written; the
  // write's error is reported first.
  if (!setup_.startPort) RunReported(setup_.messages, [this] { settings_.WritePortIndex(comm1->currentIndex()); });
  if (ComPort1->Connected()) ComPort1->ClosePort();
}

void TForm1::Image1MouseDown(Qt::MouseButton, Qt::KeyboardModifiers shift) {
  if (shift.testFlag(Qt::AltModifier)) protocol_.SetTraceEnabled(true);
}
