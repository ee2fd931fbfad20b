#pragma once

#include <QDateTime>
#include <QWidget>
#include <chrono>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "ComPortLink.h"
#include "LogView.h"
#include "OperatorMessages.h"
#include "ReaderPanel.h"
#include "ReaderProtocol.h"
#include "SerialDevice.h"
#include "SettingsFile.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStatusBar;
class QTimer;
class TComPort;

// What the main window takes from its creator; tests replace the parts that
// touch the machine.
struct TForm1Setup {
  QString settingsPath;  // the settings file; the executable's (SettingsLocation.h) by default
  // Makes the serial device of ComPort1 for what a port name resolved to;
  // serialdev::CreateDevice when empty.
  serialdev::DeviceFactory makeDevice;
  // The time the status-bar clock shows; the system clock when empty.
  std::function<QDateTime()> now;
  // The message boxes and the beep; the toolkit's where a part is empty.
  OperatorMessages messages;
  // Sees what crosses the protocol's link, when given; outlives the window.
  LinkObserver* linkObserver = nullptr;
  // Devices of port names given for this run only; they win over "Ports".
  std::map<std::string, std::string> runPorts;
  // The device of a port name that neither maps; serialdev::DefaultDevicePath
  // when empty (the last layer of serialdev::PortNames).
  std::function<std::optional<std::string>(const std::string&)> automaticPorts;
  // The entry of comm1 selected at start for this run only: the stored index
  // is then neither read nor written.
  std::optional<int> startPort;
  // Waits for a port whose device went away and connects again, for this
  // run (the settings file's "Options" can turn it on too).
  bool reconnect = false;

  static TForm1Setup Default();
};

// The main window "Velmora": the log on the left, the control panel on the
// right, the clock below. It owns the serial port ComPort1 and runs the reader
// protocol over it; it is the protocol's panel, and hands it a link over
// ComPort1.
class TForm1 : public QWidget, private ReaderPanel {
  Q_OBJECT

 public:
  explicit TForm1(TForm1Setup setup = TForm1Setup::Default(), QWidget* parent = nullptr);
  ~TForm1() override;

  // Controls, by their layout names.
  QStatusBar* StatusBar1;
  QGroupBox* GroupBox2;
  QFrame* Panel1;
  QGroupBox* Model;
  QRadioButton* ModelItems[3];
  QGroupBox* GroupBox4;
  QFrame* Panel3;
  QComboBox* comm1;
  QGroupBox* spd;
  QCheckBox* spd0;
  QCheckBox* spd1;
  QGroupBox* options;
  QCheckBox* CheckBox3;
  QCheckBox* CheckBox4;
  QCheckBox* CheckBox5;
  QCheckBox* CheckBox6;
  QPushButton* Button3;
  QPushButton* Button5;
  QGroupBox* fmt;
  QCheckBox* fmt0;
  QCheckBox* fmt1;
  QFrame* Panel2;
  QLabel* Image1;
  QGroupBox* control;
  QCheckBox* CheckBox2;
  QCheckBox* CheckBox1;
  QLabel* Label2;
  QLabel* Label1;
  QLabel* Label3;
  QLabel* Label4;
  QPushButton* status;
  QPushButton* one;
  QPushButton* two;
  QLabel* Panel4;
  QLabel* Panel5;
  QGroupBox* GroupBox1;
  QCheckBox* cbAutoBeep;
  QCheckBox* cbIDmode;
  QLabel* Label5;
  QSpinBox* seMyID;
  QGroupBox* GroupBox5;
  QPushButton* Button4;
  QPushButton* Button1;
  QPushButton* Button2;
  LogView* Memo1;
  QTimer* Timer1;
  QTimer* Timer2;
  std::unique_ptr<TComPort> ComPort1;

  // The selected index of the Model radio group; selecting another item runs ModelClick.
  int ModelIndex() const;
  void SetModelIndex(int index);
  const ReaderProtocol& Protocol() const { return protocol_; }
  const SettingsFile& Settings() const { return settings_; }

  // Handlers.
  void FormCreate();
  void FormDestroy();
  void Image1MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift);
  void ModelClick();
  void spd1Click();
  void fmt0Click();
  void Timer2Timer();
  void Button4Click();
  void ApplyPortSettings();
  void ComPort1BeforeOpen();
  void ComPort1RxChar(int Count);
  void ComPort1Error();
  void Button2Click();
  void Button1Click();
  void CheckBox1Click();
  void CheckBox2Click();
  void oneClick();
  void twoClick();
  void statusClick();
  void Button3Click();
  void Button5Click();
  void CheckBox3Click();
  void CheckBox4Click();
  void cbIDmodeClick();

  // Shows the about box; set by whoever creates it.
  std::function<void()> showAboutBox;

 signals:
  // Reconnecting: the port's device went away and the window waits for it;
  // it is open again after being away this long.
  void portLost(const QString& port, const QString& reason);
  void portReturned(const QString& port, qint64 awayMs);

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildLayout();
  void BuildControlColumn();
  void BuildSettingsGroup();
  void BuildDisplayColumn();
  void SetTabOrder();
  void ConnectHandlers();
  void CreatePort();
  void PortRemoved(const std::exception& reason);
  void StartReaderSession();
  void SetConnectedControls(bool connected);
  void SetCommandControls(bool enabled);
  bool TakeAsLoss(const std::exception& error);
  // Runs a handler: what it throws is the port's loss (TakeAsLoss), or goes
  // to the top-level error report.
  void RunHandler(const std::function<void()>& handler) noexcept;
  void PortLost(const std::exception& reason);
  void RetryPort();
  void PortRetried(std::exception_ptr failure);
  void RetryLater(std::exception_ptr failure);
  void PortReturned();
  void StopWaiting();
  int S(int pixels) const;
  QMargins GroupMargins() const;

  // ReaderPanel
  bool Fmt0() const override;
  bool Fmt1() const override;
  bool IdMode() const override;
  bool ControlLock() const override;
  int MyId() const override;
  void AppendLog(const std::string& line) override;
  void SetSwitchLabel(const std::string& text) override;
  void SetBuzzerLabel(const std::string& text) override;
  void SetOutput1(bool checked) override;
  void SetOutput2(bool checked) override;
  void SetOption(int bit, bool checked) override;
  bool Option(int bit) const override;
  void SetFmt0(bool checked) override;
  void SetFmt1(bool checked) override;
  void Beep() override;
  void StartInterByteTimer(int milliseconds) override;
  void StopInterByteTimer() override;

  QCheckBox* OptionBox(int bit) const;

  TForm1Setup setup_;
  SettingsFile settings_;
  ComPortLink link_;
  ReaderProtocol protocol_;
  QButtonGroup* modelGroup_ = nullptr;
  double scale_ = 1.0;
  bool shownOnce_ = false;
  qint64 clockSecond_ = -1;  // the second the status bar shows, in seconds since the epoch
  bool reconnect_ = false;
  // While waiting for a lost port: since when, the next try, and the status
  // bar's word on it beside the clock. Made at the first loss.
  std::optional<std::chrono::steady_clock::time_point> lostAt_;
  QTimer* retryTimer_ = nullptr;
  QLabel* waitingLabel_ = nullptr;
};
