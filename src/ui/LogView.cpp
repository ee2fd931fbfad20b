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
#include <cstring>
#include <limits>
#include <memory>

#include "LogScrollBar.h"

namespace {

constexpr int kMargin = 4;  // between the frame and the text, as a plain text field leaves
constexpr qsizetype kBlockLines = 64;
constexpr qsizetype kChunkBytes = 64 * 1024;
// New lines reach the screen this long after the first of them: one paint
// for a burst of lines, and none in the message processing right after the
// lines came, where an event response is about to raise RTS.
constexpr int kShowNewRowsMs = 16;

bool IsLineBreak(QChar c) { return c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator; }

// Control characters would upset the fixed character grid; they show as spaces.
QString Printable(QString text) {
  for (QChar& c : text)
    if (c.unicode() < 0x20) c = u' ';
  return text;
}

// UTF-16 units of UTF-8 text: one per sequence, two for those of four bytes.
qsizetype Utf16Length(QByteArrayView bytes) {
  qsizetype length = 0;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    length += ((b & 0xC0) != 0x80) + (b >= 0xF0);
  }
  return length;
}

}  // namespace

LogView::LogView(QWidget* parent) : QAbstractScrollArea(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  bar_ = new LogScrollBar(this);
  setVerticalScrollBar(bar_);
  // The style paints every pixel of the bar, its groove included: the
  // widgets behind it need no painting when it changes. (Set once the area
  // has taken the bar, which resets its attributes.)
  verticalScrollBar()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setCursor(Qt::ArrowCursor);
  verticalScrollBar()->setSingleStep(1);
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
    if (!adjusting_) following_ = value >= verticalScrollBar()->maximum();
  });
  showNewRows_.setSingleShot(true);
  showNewRows_.setInterval(kShowNewRowsMs);
  connect(&showNewRows_, &QTimer::timeout, this, &LogView::ShowNewRows);
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
  if (pending_) return;
  pending_ = true;
  pendingFor_.start();
  if (!paced_) showNewRows_.start();
}

void LogView::showNewRowsOn(const QTimer& ticks) {
  paced_ = true;
  connect(&ticks, &QTimer::timeout, this, [this] {
    if (pending_ && pendingFor_.elapsed() >= kShowNewRowsMs) ShowNewRows();
  });
}

// The rows added since the view last took them: the scroll range grows, the
// view follows the end while it is there, and the new rows in sight are painted.
void LogView::ShowNewRows() {
  pending_ = false;
  const qint64 before = shownRows_;
  {
    const LogScrollBar::Batch batch(*bar_);
    UpdateScrollRange();
    if (following_) Follow();
  }
  UpdateRows(before, rowCount_);
}

// Scrolls to the end; the rows scrolled out of view move with the pixels.
void LogView::Follow() {
  adjusting_ = true;
  verticalScrollBar()->setValue(verticalScrollBar()->maximum());
  adjusting_ = false;
}

// Marks the rows from one to another for painting, as far as they are in sight.
void LogView::UpdateRows(qint64 from, qint64 to) {
  const qint64 top = firstVisibleRow();
  from = std::max(from, top);
  to = std::min<qint64>(to, top + VisibleRows() + 1);
  if (from >= to) return;
  const int y = kMargin + int(from - top) * rowHeight_;
  viewport()->update(QRect(0, y, viewport()->width(), int(to - from) * rowHeight_));
}

// The rows' part of the viewport, below the top margin.
QRect LogView::TextRect() const { return QRect(0, kMargin, viewport()->width(), viewport()->height() - kMargin); }

void LogView::AppendLine(QStringView text) {
  const QByteArray bytes = text.toUtf8();
  const auto size = std::size_t(bytes.size()) + 1;
  if (chunks_.empty() || chunks_.back().capacity() - chunks_.back().size() < size)
    chunks_.emplace_back().reserve(std::max<std::size_t>(kChunkBytes, size));
  std::vector<char>& chunk = chunks_.back();
  if (lineCount_ % kBlockLines == 0)
    blocks_.push_back({{qsizetype(chunks_.size()) - 1, qsizetype(chunk.size())}, rowCount_});
  chunk.insert(chunk.end(), bytes.begin(), bytes.end());
  chunk.push_back('\n');
  ++lineCount_;
  rowCount_ += RowsOf(text.size());
  emit lineAppended(text.toString());
}

void LogView::clear() {
  std::vector<std::vector<char>>().swap(chunks_);
  std::vector<Block>().swap(blocks_);
  lineCount_ = 0;
  rowCount_ = 0;
  anchor_ = cursor_ = {};
  selecting_ = false;
  following_ = true;
  UpdateScrollRange();
  viewport()->update();
}

QByteArrayView LogView::Bytes(Spot spot) const {
  const std::vector<char>& chunk = chunks_[spot.chunk];
  const char* begin = chunk.data() + spot.offset;
  return {begin, static_cast<const char*>(std::memchr(begin, '\n', chunk.size() - spot.offset))};
}

// The start of the line after the one at spot.
LogView::Spot LogView::Next(Spot spot) const {
  const qsizetype offset = spot.offset + Bytes(spot).size() + 1;
  if (offset == qsizetype(chunks_[spot.chunk].size()) && spot.chunk + 1 < qsizetype(chunks_.size()))
    return {spot.chunk + 1, 0};
  return {spot.chunk, offset};
}

LogView::Spot LogView::SpotOf(qsizetype index) const {
  Spot spot = blocks_[index / kBlockLines].start;
  for (qsizetype i = index % kBlockLines; i > 0; --i) spot = Next(spot);
  return spot;
}

// The text from one spot up to another, across chunks.
QString LogView::Text(Spot from, Spot to) const {
  QString text;
  for (qsizetype c = from.chunk; c <= to.chunk; ++c) {
    const std::vector<char>& chunk = chunks_[c];
    const qsizetype begin = c == from.chunk ? from.offset : 0;
    const qsizetype end = c == to.chunk ? to.offset : qsizetype(chunk.size());
    text += QString::fromUtf8(chunk.data() + begin, end - begin);
  }
  return text;
}

QString LogView::toPlainText() const {
  if (lineCount_ == 0) return {};
  QString text = Text({}, {qsizetype(chunks_.size()) - 1, qsizetype(chunks_.back().size())});
  text.chop(1);
  return text;
}

QString LogView::line(qsizetype index) const {
  if (index < 0 || index >= lineCount_) return {};
  return QString::fromUtf8(Bytes(SpotOf(index)));
}

qsizetype LogView::LineLength(qsizetype index) const { return Utf16Length(Bytes(SpotOf(index))); }

qint64 LogView::RowsOf(qsizetype length) const { return length == 0 ? 1 : (length + columns_ - 1) / columns_; }

// The line that holds a row: the block by binary search, then the line within it.
LogView::Found LogView::LineAtRow(qint64 row) const {
  const auto block =
      std::upper_bound(blocks_.begin(), blocks_.end(), row, [](qint64 r, const Block& b) { return r < b.row; }) - 1;
  Found found{(block - blocks_.begin()) * kBlockLines, block->start, block->row};
  for (;;) {
    const qint64 rows = RowsOf(Utf16Length(Bytes(found.start)));
    if (row < found.row + rows || found.index + 1 == lineCount_) return found;
    found.row += rows;
    found.start = Next(found.start);
    ++found.index;
  }
}

qint64 LogView::RowOf(qsizetype index) const {
  const Block& block = blocks_[index / kBlockLines];
  qint64 row = block.row;
  Spot spot = block.start;
  for (qsizetype i = index % kBlockLines; i > 0; --i, spot = Next(spot)) row += RowsOf(Utf16Length(Bytes(spot)));
  return row;
}

int LogView::firstVisibleRow() const { return verticalScrollBar()->value(); }

int LogView::VisibleRows() const { return std::max(1, (viewport()->height() - kMargin) / rowHeight_); }

void LogView::UpdateScrollRange() {
  QScrollBar* bar = verticalScrollBar();
  const qint64 maximum = std::max<qint64>(0, rowCount() - VisibleRows());
  shownRows_ = rowCount_;
  adjusting_ = true;
  bar->setRange(0, int(std::min<qint64>(maximum, std::numeric_limits<int>::max())));
  bar->setPageStep(VisibleRows());
  adjusting_ = false;
}

// Every character stands in its own column: the rows are drawn without
// shaping or kerning, which would move characters off their columns and cost
// a shaping pass for every row painted.
void LogView::MeasureFont() {
  rowFont_ = font();
  rowFont_.setStyleStrategy(QFont::StyleStrategy(rowFont_.styleStrategy() | QFont::PreferNoShaping));
  rowFont_.setKerning(false);
  const QFontMetricsF metrics(rowFont_);
  charWidth_ = std::max<qreal>(1, metrics.horizontalAdvance(u'M'));
  rowHeight_ = std::max(1, int(std::ceil(metrics.lineSpacing())));
  ascent_ = int(std::ceil(metrics.ascent()));
}

// Lays the lines out again when the characters per row change, or always
// after a change of font, keeping the line at the top in view, or the end
// while the view follows it.
void LogView::Rewrap(bool always) {
  const int columns = std::max(1, int((viewport()->width() - 2 * kMargin) / charWidth_));
  if (columns == columns_ && !always) {
    UpdateScrollRange();
    return;
  }
  const LogScrollBar::Batch batch(*bar_);
  const qsizetype top = lineCount_ > 0 ? LineAtRow(bar_->value()).index : 0;
  columns_ = columns;
  rowCount_ = 0;
  Spot spot;
  for (qsizetype i = 0; i < lineCount_; ++i, spot = Next(spot)) {
    if (i % kBlockLines == 0) blocks_[i / kBlockLines].row = rowCount_;
    rowCount_ += RowsOf(Utf16Length(Bytes(spot)));
  }
  UpdateScrollRange();
  adjusting_ = true;
  bar_->setValue(following_ || lineCount_ == 0 ? bar_->maximum() : int(std::min<qint64>(RowOf(top), bar_->maximum())));
  adjusting_ = false;
  viewport()->update();
}

void LogView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  Rewrap(false);
}

void LogView::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    MeasureFont();
    Rewrap(true);
  }
}

// The pixels of the rows still in sight move; only the rows scrolled into
// sight are painted. The top margin stays blank.
void LogView::scrollContentsBy(int, int dy) {
  if (std::abs(dy) <= VisibleRows())
    viewport()->scroll(0, dy * rowHeight_, TextRect());
  else
    viewport()->update();
}

// Paints the rows that meet the region to be painted.
void LogView::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  painter.setFont(rowFont_);
  const QRect area = event->rect();
  const int skipped = std::max(0, (area.top() - kMargin) / rowHeight_);
  const qint64 first = qint64(firstVisibleRow()) + skipped;
  if (first >= rowCount_) return;
  const int bottom = std::min(viewport()->height(), area.bottom() + 1);
  Found at = LineAtRow(first);
  int y = kMargin + skipped * rowHeight_;
  for (qint64 r = first - at.row; y < bottom; r = 0) {
    const QString text = QString::fromUtf8(Bytes(at.start));
    for (const qint64 rows = RowsOf(text.size()); r < rows && y < bottom; ++r, y += rowHeight_)
      PaintRow(painter, text, at.index, r * columns_, y);
    if (++at.index == lineCount_) break;
    at.start = Next(at.start);
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
  const Found at = LineAtRow(row);
  const qsizetype from = (row - at.row) * columns_;
  const qsizetype column = from + qRound((point.x() - kMargin) / charWidth_);
  const qsizetype length = Utf16Length(Bytes(at.start));
  return {at.index, std::clamp<qsizetype>(column, from, std::min<qsizetype>(from + columns_, length))};
}

QString LogView::selectedText() const {
  const Position start = std::min(anchor_, cursor_);
  const Position end = std::max(anchor_, cursor_);
  if (start == end) return {};
  if (start.line == end.line) return line(start.line).mid(start.column, end.column - start.column);
  const Spot first = SpotOf(start.line);
  const Spot last = SpotOf(end.line);
  return QString::fromUtf8(Bytes(first)).mid(start.column) + u'\n' + Text(Next(first), last) +
         QString::fromUtf8(Bytes(last)).left(end.column);
}

void LogView::selectAll() {
  if (lineCount() == 0) return;
  anchor_ = {};
  cursor_ = {lineCount() - 1, LineLength(lineCount() - 1)};
  SelectionChanged();
  ShareSelection();
  viewport()->update();
}

// A selection holds the view where it is; without one, the view follows the
// end again when it is there.
void LogView::SelectionChanged() {
  QScrollBar* bar = verticalScrollBar();
  following_ = !hasSelection() && bar->value() >= bar->maximum();
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
  else if (event->key() == Qt::Key_Home)
    bar->triggerAction(QAbstractSlider::SliderToMinimum);
  else if (event->key() == Qt::Key_End) {
    // The end resumes following, also when the view is already there.
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    following_ = true;
  } else if (event->key() == Qt::Key_PageUp)
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
  else if (event->key() == Qt::Key_PageDown)
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
  else
    QAbstractScrollArea::keyPressEvent(event);
}

void LogView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(event);
  cursor_ = PositionAt(event->position().toPoint());
  if (!(event->modifiers() & Qt::ShiftModifier)) anchor_ = cursor_;
  selecting_ = true;
  SelectionChanged();
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
  SelectionChanged();
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
  SelectionChanged();
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
