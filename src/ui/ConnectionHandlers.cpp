#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include "ComPort.h"
#include "ErrorReport.h"
#include "MainWindow.h"

void TForm1::Button4Click() {
  if (Button4->text() == "Connect") {
    ApplyPortSettings();
    ComPort1->OpenPort();
    if (!ComPort1->Connected()) return;
    Memo1->clear();
    StartReaderSession();
    return;
  }
  StopWaiting();
  // Failures while letting go of the line are of no interest to the operator.
  // The port is closed even when dropping RTS failed, so that "Connect" never
  // stands beside a port that is still held open.
  try {
    protocol_.DropTransmitLine();
  } catch (const std::exception&) {
  }
  try {
    ComPort1->ClosePort();
  } catch (const std::exception&) {
  }
  Button4->setText("Connect");
  SetConnectedControls(false);
}

// What Connect does once the port is open, and a reconnect once it is back.
void TForm1::StartReaderSession() {
  protocol_.RaiseTransmitLine();
  if (!cbIDmode->isChecked()) protocol_.SendCommand("?");
  // Lost again while the request went out: the wait for the port goes on.
  if (lostAt_) return;
  Button4->setText("Disconnect");
  SetConnectedControls(true);
  if (ModelIndex() != 0) Button3Click();
}

void TForm1::SetConnectedControls(bool connected) {
  for (QWidget* w : std::initializer_list<QWidget*>{Model, comm1, spd0, spd1, fmt0, fmt1, cbIDmode})
    w->setEnabled(!connected);
  SetCommandControls(connected);
}

// What talks to the reader; the relay pulses only for the models with a relay.
void TForm1::SetCommandControls(bool enabled) {
  for (QWidget* w : std::initializer_list<QWidget*>{CheckBox1, CheckBox2, Button3, Button5, CheckBox3, CheckBox4,
                                                    CheckBox5, CheckBox6, status})
    w->setEnabled(enabled);
  one->setEnabled(enabled && ModelIndex() > 0);
  two->setEnabled(enabled && ModelIndex() > 0);
}

void TForm1::ApplyPortSettings() {
  const int index = comm1->currentIndex();
  ComPort1->SetPort(index >= 0 ? comm1->itemText(index).toStdString() : std::string());
  static const TBaudRate rates[] = {br1200, br9600, br38400, br115200};
  ComPort1->SetBaudRate(rates[2 * spd1->isChecked() + spd0->isChecked()]);
}

void TForm1::ComPort1BeforeOpen() { protocol_.ResetDecoder(); }

void TForm1::ComPort1RxChar(int Count) { protocol_.ComPort1RxChar(Count); }

void TForm1::ComPort1Error() {
  AppendLog("Comm Error");
  protocol_.ResetDecoder();
}

void TForm1::PortRemoved(const std::exception& reason) {
  if (reconnect_) {
    PortLost(reason);
  } else {
    ReportError(setup_.messages, reason);
  }
}

void TForm1::Button2Click() {
  StopWaiting();
  if (ComPort1->Connected()) ComPort1->ClosePort();
  close();
}

void TForm1::Button1Click() {
  if (showAboutBox) showAboutBox();
}
