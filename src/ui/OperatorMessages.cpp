#include "OperatorMessages.h"

#include <QApplication>
#include <QMessageBox>

namespace {

void ToolkitBox(const QString& caption, const QString& text, MessageIcon icon) {
  QMessageBox box(icon == MessageIcon::Error ? QMessageBox::Critical : QMessageBox::Information, caption, text,
                  QMessageBox::Ok);
  box.exec();
}

}  // namespace

OperatorMessages& OperatorMessages::Route() {
  static OperatorMessages route{ToolkitBox, [] { QApplication::beep(); }};
  return route;
}

void OperatorMessages::ShowBox(const QString& caption, const QString& text, MessageIcon icon) {
  Route().show(caption, text, icon);
}

void OperatorMessages::Beep() { Route().beep(); }
