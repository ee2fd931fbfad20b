#include <QCheckBox>
#include <QLabel>
#include <QSpinBox>
#include <QTimer>

#include "MainWindow.h"

bool TForm1::Fmt0() const { return fmt0->isChecked(); }
bool TForm1::Fmt1() const { return fmt1->isChecked(); }
bool TForm1::IdMode() const { return cbIDmode->isChecked(); }
bool TForm1::ControlLock() const { return cbAutoBeep->isChecked(); }

// The text as it stands, not the spin box's last valid value.
int TForm1::MyId() const {
  bool ok = false;
  const int value = seMyID->cleanText().trimmed().toInt(&ok, 10);
  return ok ? std::clamp(value, seMyID->minimum(), seMyID->maximum()) : seMyID->minimum();
}

void TForm1::AppendLog(const std::string& line) { Memo1->appendPlainText(QString::fromLatin1(line)); }
void TForm1::SetSwitchLabel(const std::string& text) { Label1->setText(QString::fromLatin1(text)); }
void TForm1::SetBuzzerLabel(const std::string& text) { Label4->setText(QString::fromLatin1(text)); }
void TForm1::SetOutput1(bool checked) { CheckBox1->setChecked(checked); }
void TForm1::SetOutput2(bool checked) { CheckBox2->setChecked(checked); }

QCheckBox* TForm1::OptionBox(int bit) const {
  QCheckBox* const boxes[] = {CheckBox3, CheckBox4, CheckBox5, CheckBox6};
  return boxes[bit & 3];
}

void TForm1::SetOption(int bit, bool checked) { OptionBox(bit)->setChecked(checked); }
bool TForm1::Option(int bit) const { return OptionBox(bit)->isChecked(); }
void TForm1::SetFmt0(bool checked) { fmt0->setChecked(checked); }
void TForm1::SetFmt1(bool checked) { fmt1->setChecked(checked); }
void TForm1::Beep() { setup_.messages.Beep(); }
void TForm1::StartInterByteTimer(int milliseconds) { Timer1->start(milliseconds); }
void TForm1::StopInterByteTimer() { Timer1->stop(); }
