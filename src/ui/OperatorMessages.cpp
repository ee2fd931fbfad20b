#include "OperatorMessages.h"

#include <QMessageBox>

#include "SystemBeep.h"

void OperatorMessages::ShowBox(const QString& caption, const QString& text, MessageIcon icon) const {
  if (show) return show(caption, text, icon);
  QMessageBox box(icon == MessageIcon::Error ? QMessageBox::Critical : QMessageBox::Information, caption, text,
                  QMessageBox::Ok);
  box.exec();
}

void OperatorMessages::Beep() const {
  if (beep) return beep();
  SystemBeep();
}
