#include "LogScrollBar.h"

#include <QStyle>
#include <QStyleOptionSlider>

LogScrollBar::LogScrollBar(QWidget* parent) : QScrollBar(Qt::Vertical, parent) {}

void LogScrollBar::sliderChange(SliderChange) {
  if (batches_ == 0) RepaintSlider();
}

void LogScrollBar::paintEvent(QPaintEvent* event) {
  painted_ = SliderRect();
  QScrollBar::paintEvent(event);
}

QRect LogScrollBar::SliderRect() const {
  QStyleOptionSlider option;
  initStyleOption(&option);
  return style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
}

void LogScrollBar::RepaintSlider() {
  const QRect slider = SliderRect();
  if (slider == painted_) return;
  // The style's outline and rounded corners reach a pixel past the rect.
  update(slider.united(painted_).adjusted(-2, -2, 2, 2));
  painted_ = slider;
}
