#include "LogScrollBar.h"

#include <QRegion>
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
  QRegion changed(slider.united(painted_).adjusted(-2, -2, 2, 2));
  // Fusion, the style on Linux, draws the slider alike row by row away from
  // its ends: rows that both the old and the new slider cover stay as they
  // are, and a slider that moves by a pixel repaints a few rows at each end.
  // Other styles may draw a grip in its middle.
  const QRect common = slider.intersected(painted_);
  if (style()->name().compare(u"fusion", Qt::CaseInsensitive) == 0 && common.height() > 2 * kEnd)
    changed -= QRect(0, common.top() + kEnd, width(), common.height() - 2 * kEnd);
  update(changed);
  painted_ = slider;
}
