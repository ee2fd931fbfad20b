#pragma once

#include <QAbstractScrollArea>
#include <QString>
#include <vector>

class QMenu;

// A read-only, append-only log of text lines that stays small however long it
// grows: the lines live in one UTF-8 buffer, each followed by a line feed, and
// only the rows in sight are laid out and painted. The font is taken to be
// monospaced, so a line wraps at the view's width after a fixed number of
// characters. The text can be selected with the mouse or the keyboard and
// copied; it cannot be edited.
class LogView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit LogView(QWidget* parent = nullptr);

  // Adds text as new lines at the end and scrolls to it; a line feed, a
  // carriage return or a paragraph separator inside the text starts a new line.
  void appendPlainText(const QString& text);
  void clear();

  QString toPlainText() const;  // the lines joined by line feeds
  qsizetype lineCount() const { return qsizetype(lineEnd_.size()); }
  QString line(qsizetype index) const;
  bool isReadOnly() const { return true; }

  // Characters per row at the current width, and rows of all lines wrapped.
  int columns() const { return columns_; }
  qint64 rowCount() const { return rowEnd_.empty() ? 0 : rowEnd_.back(); }
  int firstVisibleRow() const;

  bool hasSelection() const { return anchor_ != cursor_; }
  QString selectedText() const;
  void selectAll();
  void copy() const;

  // The context menu: Copy and Select All. The caller owns it.
  QMenu* createContextMenu();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  // A place between two characters: the line and the UTF-16 offset in it.
  struct Position {
    qsizetype line = 0;
    qsizetype column = 0;
    auto operator<=>(const Position&) const = default;
  };

  qsizetype LineStart(qsizetype index) const { return index == 0 ? 0 : qsizetype(lineEnd_[index - 1]); }
  qsizetype LineBytes(qsizetype index) const { return qsizetype(lineEnd_[index]) - LineStart(index) - 1; }
  qsizetype LineLength(qsizetype index) const;
  qint64 RowStart(qsizetype index) const { return index == 0 ? 0 : rowEnd_[index - 1]; }
  qint64 RowsOf(qsizetype length) const;
  qsizetype LineAtRow(qint64 row) const;
  void AppendLine(QStringView text);
  void MeasureFont();
  void Rewrap();
  void UpdateScrollRange();
  int VisibleRows() const;
  Position PositionAt(const QPoint& point) const;
  void PaintRow(QPainter& painter, const QString& text, qsizetype line, qsizetype from, int y) const;
  void ShareSelection() const;

  std::vector<char> text_;          // every line in UTF-8, each ended by '\n'
  std::vector<quint64> lineEnd_;    // offset just past each line's '\n'
  std::vector<qint64> rowEnd_;      // rows of the lines up to and including each
  int columns_ = 1;
  qreal charWidth_ = 1;
  int rowHeight_ = 1;
  int ascent_ = 0;
  Position anchor_;
  Position cursor_;
  bool selecting_ = false;
};
