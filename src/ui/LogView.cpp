#include "LogView.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace {

constexpr int kMargin = 4;  // between the frame and the text, as a plain text field leaves

bool IsLineBreak(QChar c) { return c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator; }

// Control characters would upset the fixed character grid; they show as spaces.
QString Printable(QString text) {
  for (QChar& c : text)
    if (c.unicode() < 0x20) c = u' ';
  return text;
}

}  // namespace

LogView::LogView(QWidget* parent) : QAbstractScrollArea(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewport()->setCursor(Qt::ArrowCursor);
  verticalScrollBar()->setSingleStep(1);
  MeasureFont();
  UpdateScrollRange();
}

void LogView::appendPlainText(const QString& text) {
  qsizetype from = 0;
  for (qsizetype i = 0; i <= text.size(); ++i) {
    if (i < text.size() && !IsLineBreak(text[i])) continue;
    AppendLine(QStringView(text).mid(from, i - from));
    from = i + 1;
  }
  UpdateScrollRange();
  verticalScrollBar()->setValue(verticalScrollBar()->maximum());
  viewport()->update();
}

void LogView::AppendLine(QStringView text) {
  const QByteArray bytes = text.toUtf8();
  text_.insert(text_.end(), bytes.begin(), bytes.end());
  text_.push_back('\n');
  lineEnd_.push_back(text_.size());
  rowEnd_.push_back(rowCount() + RowsOf(text.size()));
}

void LogView::clear() {
  std::vector<char>().swap(text_);
  std::vector<quint64>().swap(lineEnd_);
  std::vector<qint64>().swap(rowEnd_);
  anchor_ = cursor_ = {};
  selecting_ = false;
  UpdateScrollRange();
  viewport()->update();
}

QString LogView::toPlainText() const {
  return text_.empty() ? QString() : QString::fromUtf8(text_.data(), qsizetype(text_.size()) - 1);
}

QString LogView::line(qsizetype index) const {
  if (index < 0 || index >= lineCount()) return {};
  return QString::fromUtf8(text_.data() + LineStart(index), LineBytes(index));
}

// UTF-16 units of a line: one per UTF-8 sequence, two for those of four bytes.
qsizetype LogView::LineLength(qsizetype index) const {
  const auto* p = reinterpret_cast<const unsigned char*>(text_.data() + LineStart(index));
  const auto* end = p + LineBytes(index);
  qsizetype length = 0;
  for (; p != end; ++p) length += ((*p & 0xC0) != 0x80) + (*p >= 0xF0);
  return length;
}

qint64 LogView::RowsOf(qsizetype length) const { return length == 0 ? 1 : (length + columns_ - 1) / columns_; }

qsizetype LogView::LineAtRow(qint64 row) const {
  return std::upper_bound(rowEnd_.begin(), rowEnd_.end(), row) - rowEnd_.begin();
}

int LogView::firstVisibleRow() const { return verticalScrollBar()->value(); }

int LogView::VisibleRows() const { return std::max(1, (viewport()->height() - kMargin) / rowHeight_); }

void LogView::UpdateScrollRange() {
  QScrollBar* bar = verticalScrollBar();
  const qint64 maximum = std::max<qint64>(0, rowCount() - VisibleRows());
  bar->setRange(0, int(std::min<qint64>(maximum, std::numeric_limits<int>::max())));
  bar->setPageStep(VisibleRows());
}

void LogView::MeasureFont() {
  const QFontMetricsF metrics(font());
  charWidth_ = std::max<qreal>(1, metrics.horizontalAdvance(u'M'));
  rowHeight_ = std::max(1, int(std::ceil(metrics.lineSpacing())));
  ascent_ = int(std::ceil(metrics.ascent()));
}

// Lays the lines out again when the characters per row change, keeping the
// line at the top in view, or the end when the view was following it.
void LogView::Rewrap() {
  const int columns = std::max(1, int((viewport()->width() - 2 * kMargin) / charWidth_));
  if (columns == columns_) {
    UpdateScrollRange();
    return;
  }
  QScrollBar* bar = verticalScrollBar();
  const bool following = bar->value() >= bar->maximum();
  const qsizetype top = LineAtRow(bar->value());
  columns_ = columns;
  qint64 rows = 0;
  for (qsizetype i = 0; i < lineCount(); ++i) rowEnd_[i] = rows += RowsOf(LineLength(i));
  UpdateScrollRange();
  bar->setValue(following ? bar->maximum() : int(std::min<qint64>(RowStart(top), bar->maximum())));
  viewport()->update();
}

void LogView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  Rewrap();
}

void LogView::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    MeasureFont();
    columns_ = 0;
    Rewrap();
  }
}

void LogView::scrollContentsBy(int, int) { viewport()->update(); }

void LogView::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  painter.setFont(font());
  const int height = viewport()->height();
  qint64 row = firstVisibleRow();
  int y = kMargin;
  for (qsizetype index = LineAtRow(row); index < lineCount() && y < height; row = RowStart(++index)) {
    const QString text = line(index);
    const qint64 rows = RowsOf(text.size());
    for (qint64 r = row - RowStart(index); r < rows && y < height; ++r, y += rowHeight_)
      PaintRow(painter, text, index, r * columns_, y);
  }
}

// One row of a line, from the given column; the selected part in the
// highlight colours, and a selected line break as one highlighted cell.
void LogView::PaintRow(QPainter& painter, const QString& text, qsizetype line, qsizetype from, int y) const {
  const qsizetype to = std::min<qsizetype>(from + columns_, text.size());
  const auto x = [&](qsizetype column) { return kMargin + (column - from) * charWidth_; };
  painter.setPen(palette().color(QPalette::Text));
  painter.drawText(QPointF(kMargin, y + ascent_), Printable(text.mid(from, to - from)));

  const Position start = std::min(anchor_, cursor_);
  const Position end = std::max(anchor_, cursor_);
  if (start == end || line < start.line || line > end.line) return;
  const qsizetype first = std::clamp<qsizetype>(line == start.line ? start.column : 0, from, to);
  const qsizetype last = std::clamp<qsizetype>(line == end.line ? end.column : to, from, to);
  const bool breakSelected = line < end.line && to == text.size();
  if (first == last && !breakSelected) return;
  const qreal right = x(last) + (breakSelected && last == to ? charWidth_ : 0);
  painter.fillRect(QRectF(x(first), y, right - x(first), rowHeight_), palette().brush(QPalette::Highlight));
  painter.setPen(palette().color(QPalette::HighlightedText));
  painter.drawText(QPointF(x(first), y + ascent_), Printable(text.mid(first, last - first)));
}

LogView::Position LogView::PositionAt(const QPoint& point) const {
  if (lineCount() == 0) return {};
  const qint64 row = firstVisibleRow() + qint64(std::floor(double(point.y() - kMargin) / rowHeight_));
  if (row < 0) return {};
  if (row >= rowCount()) return {lineCount() - 1, LineLength(lineCount() - 1)};
  const qsizetype index = LineAtRow(row);
  const qsizetype from = (row - RowStart(index)) * columns_;
  const qsizetype column = from + qRound((point.x() - kMargin) / charWidth_);
  return {index, std::clamp<qsizetype>(column, from, std::min<qsizetype>(from + columns_, LineLength(index)))};
}

QString LogView::selectedText() const {
  const Position start = std::min(anchor_, cursor_);
  const Position end = std::max(anchor_, cursor_);
  if (start == end) return {};
  if (start.line == end.line) return line(start.line).mid(start.column, end.column - start.column);
  const qsizetype middle = LineStart(start.line + 1);
  return line(start.line).mid(start.column) + u'\n' +
         QString::fromUtf8(text_.data() + middle, LineStart(end.line) - middle) + line(end.line).left(end.column);
}

void LogView::selectAll() {
  if (lineCount() == 0) return;
  anchor_ = {};
  cursor_ = {lineCount() - 1, LineLength(lineCount() - 1)};
  ShareSelection();
  viewport()->update();
}

void LogView::copy() const {
  if (hasSelection()) QApplication::clipboard()->setText(selectedText());
}

// On systems with a selection clipboard, what is selected can be pasted with the middle button.
void LogView::ShareSelection() const {
  QClipboard* clipboard = QApplication::clipboard();
  if (clipboard->supportsSelection() && hasSelection()) clipboard->setText(selectedText(), QClipboard::Selection);
}

void LogView::keyPressEvent(QKeyEvent* event) {
  QScrollBar* bar = verticalScrollBar();
  if (event == QKeySequence::Copy)
    copy();
  else if (event == QKeySequence::SelectAll)
    selectAll();
  else if (event == QKeySequence::MoveToStartOfDocument)
    bar->triggerAction(QAbstractSlider::SliderToMinimum);
  else if (event == QKeySequence::MoveToEndOfDocument)
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
  else
    QAbstractScrollArea::keyPressEvent(event);
}

void LogView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(event);
  cursor_ = PositionAt(event->position().toPoint());
  if (!(event->modifiers() & Qt::ShiftModifier)) anchor_ = cursor_;
  selecting_ = true;
  viewport()->update();
}

// Dragging past the top or bottom edge scrolls a row at a time.
void LogView::mouseMoveEvent(QMouseEvent* event) {
  if (!selecting_) return QAbstractScrollArea::mouseMoveEvent(event);
  const QPoint point = event->position().toPoint();
  QScrollBar* bar = verticalScrollBar();
  if (point.y() < 0) bar->setValue(bar->value() - 1);
  if (point.y() >= viewport()->height()) bar->setValue(bar->value() + 1);
  cursor_ = PositionAt(point);
  viewport()->update();
}

void LogView::mouseReleaseEvent(QMouseEvent* event) {
  if (!selecting_ || event->button() != Qt::LeftButton) return QAbstractScrollArea::mouseReleaseEvent(event);
  selecting_ = false;
  ShareSelection();
}

// A double click selects the word under the pointer: a run of characters other than spaces.
void LogView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || lineCount() == 0) return QAbstractScrollArea::mouseDoubleClickEvent(event);
  const Position at = PositionAt(event->position().toPoint());
  const QString text = line(at.line);
  qsizetype first = at.column;
  qsizetype last = at.column;
  while (first > 0 && !text[first - 1].isSpace()) --first;
  while (last < text.size() && !text[last].isSpace()) ++last;
  anchor_ = {at.line, first};
  cursor_ = {at.line, last};
  selecting_ = false;
  ShareSelection();
  viewport()->update();
}

QMenu* LogView::createContextMenu() {
  auto* menu = new QMenu(this);
  QAction* copyAction = menu->addAction(tr("&Copy"), this, [this] { copy(); });
  copyAction->setShortcut(QKeySequence::Copy);
  copyAction->setEnabled(hasSelection());
  menu->addSeparator();
  QAction* selectAllAction = menu->addAction(tr("Select All"), this, [this] { selectAll(); });
  selectAllAction->setShortcut(QKeySequence::SelectAll);
  selectAllAction->setEnabled(lineCount() > 0);
  return menu;
}

void LogView::contextMenuEvent(QContextMenuEvent* event) {
  const std::unique_ptr<QMenu> menu(createContextMenu());
  menu->exec(event->globalPos());
}
