#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QRadioButton>
#include <QStatusBar>

#include "ClockText.h"
#include "MainWindow.h"

int TForm1::ModelIndex() const { return modelGroup_->checkedId(); }

void TForm1::SetModelIndex(int index) { ModelItems[index]->setChecked(true); }

void TForm1::ModelClick() {
  const bool first = ModelIndex() == 0;
  fmt->setVisible(first);
  options->setVisible(!first);
  CheckBox2->setText(first ? "YELLOW" : "RELAY");
  CheckBox1->setText(first ? "RED" : "GREEN");
}

void TForm1::spd1Click() {
  static const char* const speeds[] = {"1200 bps", "9600 bps", "38 Kbps", "115 Kbps"};
  Panel4->setText(speeds[2 * spd1->isChecked() + spd0->isChecked()]);
}

void TForm1::fmt0Click() { Panel5->setText(QString("Mode %1").arg(2 * fmt1->isChecked() + fmt0->isChecked())); }

// The text changes once a second: of the ten ticks in it, only the first
// takes the local time and formats it; the others read the system clock alone.
void TForm1::Timer2Timer() {
  const QDateTime injected = setup_.now ? setup_.now() : QDateTime();
  const qint64 second = injected.isValid() ? injected.toSecsSinceEpoch() : QDateTime::currentSecsSinceEpoch();
  if (second == clockSecond_) return;
  clockSecond_ = second;
  const QDateTime now = injected.isValid() ? injected : QDateTime::fromSecsSinceEpoch(second);
  StatusBar1->showMessage(ClockText(now, QLocale::system()));
}
