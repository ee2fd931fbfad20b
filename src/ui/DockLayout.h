#pragma once

#include <QBoxLayout>
#include <QMargins>

// Stacks docked controls in the parent's whole rectangle less fixed margins.
// A group box's own contents margins (its title and frame, as the style
// measures them) are not added, so the layout's pixel sizes hold exactly.
// Hidden controls take no room.
class DockLayout : public QBoxLayout {
 public:
  DockLayout(Direction direction, QWidget* parent, QMargins margins);

  void setGeometry(const QRect& rect) override;

 private:
  QMargins margins_;
};
