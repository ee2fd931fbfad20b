#pragma once

#include <QAbstractScrollArea>
#include <QByteArrayView>
#include <QElapsedTimer>
#include <QFont>
#include <QString>
#include <QTimer>
#include <vector>

class QMenu;
class LogScrollBar;

// A read-only, append-only log of text lines that stays small however long it
// grows: the lines are kept as UTF-8 text, each followed by a line feed, with
// an index entry for every block of lines, and only the rows in sight are laid
// out and painted. The font is taken to be monospaced, so a line wraps at the
// view's width after a fixed number of characters. The text can be selected
// with the mouse or the keyboard and copied; it cannot be edited.
//
// The view follows the end while it is scrolled to the end: new lines then
// scroll it by their rows, and only those rows are painted, once for all the
// lines of a burst, a display frame (16 ms) after the first, or on the first
// tick of a given timer after that. Once the operator scrolls back or selects
// text, new lines leave the view and the selection where they are, until the
// view is scrolled to the end again.
class LogView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit LogView(QWidget* parent = nullptr);

  // Adds text as new lines at the end, and soon scrolls to it while following
  // the end; a line feed, a carriage return or a paragraph separator inside the
  // text starts a new line.
  void appendPlainText(const QString& text);
  void clear();

  QString toPlainText() const;  // the lines joined by line feeds
  qsizetype lineCount() const { return lineCount_; }
  QString line(qsizetype index) const;
  bool isReadOnly() const { return true; }

  // Characters per row at the current width, and rows of all lines wrapped.
  int columns() const { return columns_; }
  qint64 rowCount() const { return rowCount_; }
  int firstVisibleRow() const;
  bool followsEnd() const { return following_; }
  // Lines have come that the scroll range and the view do not show yet.
  bool newRowsPending() const { return pending_; }
  // New lines wait for a tick of the given timer instead of a timer of their
  // own: a window whose clock ticks anyway is not woken once more for them.
  void showNewRowsOn(const QTimer& ticks);

  bool hasSelection() const { return anchor_ != cursor_; }
  QString selectedText() const;
  void selectAll();
  void copy() const;

  // The context menu: Copy and Select All. The caller owns it.
  QMenu* createContextMenu();

 signals:
  // Every line as it is added, once, in order.
  void lineAppended(const QString& line);

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
  // Where a line's bytes start: the chunk and the offset in it.
  struct Spot {
    qsizetype chunk = 0;
    qsizetype offset = 0;
  };
  // The first line of every block of lines, with the row it starts on.
  struct Block {
    Spot start;
    qint64 row = 0;
  };
  // A line found by its row: its index, where it starts, and its first row.
  struct Found {
    qsizetype index = 0;
    Spot start;
    qint64 row = 0;
  };

  QByteArrayView Bytes(Spot spot) const;  // a line's bytes without its '\n'
  Spot Next(Spot spot) const;
  Spot SpotOf(qsizetype index) const;
  qsizetype LineLength(qsizetype index) const;
  qint64 RowsOf(qsizetype length) const;
  Found LineAtRow(qint64 row) const;
  qint64 RowOf(qsizetype index) const;
  QString Text(Spot from, Spot to) const;
  void AppendLine(QStringView text);
  void MeasureFont();
  void Rewrap(bool always);
  void UpdateScrollRange();
  int VisibleRows() const;
  Position PositionAt(const QPoint& point) const;
  void PaintRow(QPainter& painter, const QString& text, qsizetype line, qsizetype from, int y) const;
  void ShareSelection() const;
  void SelectionChanged();
  void ShowNewRows();
  void Follow();
  void UpdateRows(qint64 from, qint64 to);
  QRect TextRect() const;

  // Every line in UTF-8, each ended by '\n', in chunks that never move once
  // filled; a line never straddles two chunks.
  std::vector<std::vector<char>> chunks_;
  std::vector<Block> blocks_;
  qsizetype lineCount_ = 0;
  qint64 rowCount_ = 0;
  int columns_ = 1;
  QFont rowFont_;  // the font without shaping or kerning
  qreal charWidth_ = 1;
  int rowHeight_ = 1;
  int ascent_ = 0;
  Position anchor_;
  Position cursor_;
  bool selecting_ = false;
  bool following_ = true;
  bool adjusting_ = false;  // the view moves its own scroll bar, not the operator
  qint64 shownRows_ = 0;    // rows the scroll range holds; those after it are pending
  bool pending_ = false;
  QElapsedTimer pendingFor_;  // since the first of the pending lines came
  bool paced_ = false;        // pending lines wait for the ticks of showNewRowsOn
  QTimer showNewRows_;
  LogScrollBar* bar_ = nullptr;  // the vertical scroll bar, owned by the area
};
