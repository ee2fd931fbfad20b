#pragma once

#include <QRect>
#include <QScrollBar>

// The log's scroll bar. It repaints only where the ends of its slider were
// and are: a new line changes the range, and most often the slider moves by
// a pixel or not at all. Changes made in one batch repaint once, for where
// the slider ends up: a new line first grows the range, which moves the
// slider up, and then the view follows the end, which moves it back.
class LogScrollBar : public QScrollBar {
 public:
  explicit LogScrollBar(QWidget* parent);

  // Holds the repaint back while it lives.
  class Batch {
   public:
    explicit Batch(LogScrollBar& bar) : bar_(bar) { ++bar_.batches_; }
    ~Batch() {
      if (--bar_.batches_ == 0) bar_.RepaintSlider();
    }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

   private:
    LogScrollBar& bar_;
  };

 protected:
  void sliderChange(SliderChange change) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  QRect SliderRect() const;
  void RepaintSlider();

  // Rows at each end of the slider that its outline and corners reach.
  static constexpr int kEnd = 3;

  QRect painted_;
  int batches_ = 0;
};
