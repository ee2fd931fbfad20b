#include <QCheckBox>
#include <QGroupBox>

#include "MainWindow.h"

void TForm1::CheckBox1Click() {
  protocol_.RefreshReaderId();
  protocol_.SendCommand(CheckBox1->isChecked() ? "L" : "l");
}

void TForm1::CheckBox2Click() {
  protocol_.RefreshReaderId();
  protocol_.SendCommand(CheckBox2->isChecked() ? "R" : "r");
}

void TForm1::oneClick() {
  protocol_.RefreshReaderId();
  protocol_.SendCommand("1");
}

void TForm1::twoClick() {
  protocol_.RefreshReaderId();
  protocol_.SendCommand("2");
}

void TForm1::statusClick() {
  protocol_.RefreshReaderId();
  protocol_.SendCommand("?");
}

void TForm1::Button3Click() {
  protocol_.ResetDecoder();
  protocol_.SendCommand("O");
}

void TForm1::Button5Click() { protocol_.SendCommand("o" + protocol_.OptionLetter()); }

void TForm1::CheckBox3Click() { fmt0->setChecked(CheckBox3->isChecked()); }

void TForm1::CheckBox4Click() { fmt1->setChecked(CheckBox4->isChecked()); }

void TForm1::cbIDmodeClick() {
  if (cbIDmode->isChecked()) {
    spd0->setChecked(true);
    spd1->setChecked(true);
    spd0->setEnabled(false);
    spd1->setEnabled(false);
    spd1Click();
    SetModelIndex(2);
    Model->setEnabled(false);
    options->hide();
  } else {
    spd0->setEnabled(true);
    spd1->setEnabled(true);
    Model->setEnabled(true);
    options->show();
  }
}
