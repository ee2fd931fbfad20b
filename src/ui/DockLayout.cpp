#include "DockLayout.h"

#include <QWidget>

DockLayout::DockLayout(Direction direction, QWidget* parent, QMargins margins)
    : QBoxLayout(direction, parent), margins_(margins) {
  setContentsMargins(0, 0, 0, 0);
  setSpacing(0);
}

void DockLayout::setGeometry(const QRect& rect) {
  QWidget* parent = parentWidget();
  QBoxLayout::setGeometry(parent ? parent->rect().marginsRemoved(margins_) : rect);
}
