#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QImage>
#include <QMenu>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <functional>
#include <memory>

#include "LogView.h"

namespace {

class LogViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QFont font;
    font.setFamilies({"DejaVu Sans Mono", "Liberation Mono"});
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(13);
    view.setFont(font);
    view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    view.resize(240, 200);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  }

  qreal CharWidth() const { return QFontMetricsF(view.font()).horizontalAdvance(u'M'); }
  int RowHeight() const { return int(std::ceil(QFontMetricsF(view.font()).lineSpacing())); }

  // The middle of the left edge of a character cell, counted in rows from the top of the view.
  QPoint Cell(int row, int column) const {
    return QPoint(int(4 + column * CharWidth() + 1), 4 + row * RowHeight() + RowHeight() / 2);
  }

  QScrollBar* Bar() const { return view.verticalScrollBar(); }
  int VisibleRows() const { return (view.viewport()->height() - 4) / RowHeight(); }

  void AppendNumbered(int count) {
    for (int i = 0; i < count; ++i) view.appendPlainText(QString("line %1").arg(i));
    AwaitShown();
  }

  // New lines reach the scroll range and the screen a moment after they came.
  void AwaitShown() {
    EXPECT_TRUE(view.newRowsPending());
    if (!QTest::qWaitFor([&] { return !view.newRowsPending(); }, 5000)) ADD_FAILURE() << "new lines never shown";
    QApplication::processEvents();
  }

  template <typename Match>
  int CountPixels(Match match) {
    const QImage image = view.viewport()->grab().toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) count += match(image.pixelColor(x, y));
    return count;
  }

  LogView view;
};

TEST_F(LogViewTest, KeepsTheLinesExactly) {
  EXPECT_EQ(view.toPlainText(), "");
  EXPECT_EQ(view.lineCount(), 0);
  view.appendPlainText("00258:0000197637");
  view.appendPlainText("");
  view.appendPlainText("RESET");
  EXPECT_EQ(view.toPlainText(), "00258:0000197637\n\nRESET");
  EXPECT_EQ(view.lineCount(), 3);
  EXPECT_EQ(view.line(1), "");
  EXPECT_EQ(view.line(2), "RESET");
  EXPECT_EQ(view.line(3), "");
  EXPECT_EQ(view.line(-1), "");
  // Breaks inside the text start new lines, as they did in a plain text field.
  view.appendPlainText("a\nb\rc");
  EXPECT_EQ(view.lineCount(), 6);
  EXPECT_EQ(view.line(4), "b");
  // Latin-1 bytes from the wire, and wider characters, come back unchanged.
  const QString wide = QString::fromLatin1("\xe9\xff\x01\x7f") + QString::fromUtf8("\u03a9\U0001F600");
  view.appendPlainText(wide);
  EXPECT_EQ(view.line(6), wide);
  EXPECT_TRUE(view.toPlainText().endsWith("\nc\n" + wide));
}

TEST_F(LogViewTest, ClearEmptiesTheLogAndItsSelection) {
  AppendNumbered(100);
  view.selectAll();
  ASSERT_GT(Bar()->maximum(), 0);
  view.clear();
  EXPECT_EQ(view.toPlainText(), "");
  EXPECT_EQ(view.lineCount(), 0);
  EXPECT_EQ(view.rowCount(), 0);
  EXPECT_EQ(Bar()->maximum(), 0);
  EXPECT_FALSE(view.hasSelection());
  EXPECT_EQ(view.selectedText(), "");
  view.appendPlainText("after");
  EXPECT_EQ(view.toPlainText(), "after");
  EXPECT_EQ(view.rowCount(), 1);
  AwaitShown();
}

TEST_F(LogViewTest, LongLinesWrapAtTheWidth) {
  const int columns = view.columns();
  const int width = view.viewport()->width();
  ASSERT_GT(columns, 5);
  EXPECT_LE(columns * CharWidth(), width);
  EXPECT_GT((columns + 1) * CharWidth() + 8, width);

  view.appendPlainText(QString(300, u'x'));
  EXPECT_EQ(view.rowCount(), (300 + columns - 1) / columns);
  view.appendPlainText("");
  view.appendPlainText(QString(columns, u'y'));
  view.appendPlainText(QString(columns + 1, u'z'));
  const qint64 rows = (300 + columns - 1) / columns + 1 + 1 + 2;
  EXPECT_EQ(view.rowCount(), rows);
  AwaitShown();
  EXPECT_EQ(Bar()->maximum(), rows - VisibleRows());
  EXPECT_EQ(Bar()->pageStep(), VisibleRows());

  // A wider view holds more characters to a row; the rows and the range follow.
  view.resize(480, 200);
  QApplication::processEvents();
  EXPECT_GT(view.columns(), columns);
  const int wide = view.columns();
  EXPECT_EQ(view.rowCount(), (300 + wide - 1) / wide + 1 + 1 + (columns + 1 + wide - 1) / wide);
  EXPECT_EQ(Bar()->maximum(), std::max<qint64>(0, view.rowCount() - VisibleRows()));

  // So does a larger font.
  QFont larger = view.font();
  larger.setPixelSize(26);
  view.setFont(larger);
  EXPECT_LT(view.columns(), wide);
  const auto rowsOf = [&](int length) { return (length + view.columns() - 1) / view.columns(); };
  EXPECT_EQ(view.rowCount(), rowsOf(300) + 1 + rowsOf(columns) + rowsOf(columns + 1));
  EXPECT_EQ(view.toPlainText().size(), 300 + 1 + 1 + columns + 1 + columns + 1);
}

TEST_F(LogViewTest, KeysMoveTheViewWithTheFocusInTheLog) {
  AppendNumbered(200);
  ASSERT_GT(Bar()->maximum(), 0);
  EXPECT_EQ(Bar()->value(), Bar()->maximum());
  EXPECT_EQ(view.firstVisibleRow() + VisibleRows(), 200);

  // The focus comes from a click into the text, as the operator gives it.
  QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, Cell(0, 0));
  QWidget* focus = QApplication::focusWidget();
  ASSERT_EQ(focus, &view);
  struct Key {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int value;
  };
  const int page = VisibleRows();
  const int end = Bar()->maximum();
  const Key keys[] = {{Qt::Key_Home, {}, 0},
                      {Qt::Key_PageDown, {}, page},
                      {Qt::Key_PageDown, {}, 2 * page},
                      {Qt::Key_PageUp, {}, page},
                      {Qt::Key_End, {}, end},
                      {Qt::Key_PageUp, {}, end - page},
                      {Qt::Key_Home, Qt::ControlModifier, 0},
                      {Qt::Key_PageUp, {}, 0},
                      {Qt::Key_End, Qt::ControlModifier, end},
                      {Qt::Key_PageDown, {}, end}};
  for (const Key& key : keys) {
    QTest::keyClick(focus, key.key, key.modifiers);
    EXPECT_EQ(Bar()->value(), key.value) << QKeySequence(key.key | key.modifiers).toString().toStdString();
  }
}

// What the operator did before new lines arrive, and whether the view then
// follows them to the end; a selection always survives them unchanged.
TEST_F(LogViewTest, FollowsTheEndOnlyWhileThere) {
  const auto key = [&](Qt::Key k) { QTest::keyClick(&view, k); };
  const auto wheel = [&](int delta) {
    QWheelEvent event(QPointF(20, 20), view.viewport()->mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view.viewport(), &event);
  };
  const auto drag = [&](int fromRow, int toRow) {
    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, Cell(fromRow, 0));
    QMouseEvent move(QEvent::MouseMove, Cell(toRow, 3), view.viewport()->mapToGlobal(Cell(toRow, 3)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &move);
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, Cell(toRow, 3));
  };
  struct Case {
    const char* what;
    std::function<void()> act;
    bool follows;
  };
  const Case cases[] = {
      {"nothing", [] {}, true},
      {"a click", [&] { QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, Cell(1, 1)); }, true},
      {"the wheel back", [&] { wheel(120); }, false},
      {"the wheel back and forth", [&] { wheel(120), wheel(-120); }, true},
      {"Page Up", [&] { key(Qt::Key_PageUp); }, false},
      {"Page Up, Page Down", [&] { key(Qt::Key_PageUp), key(Qt::Key_PageDown); }, true},
      {"Home", [&] { key(Qt::Key_Home); }, false},
      {"Home, End", [&] { key(Qt::Key_Home), key(Qt::Key_End); }, true},
      {"the scroll bar back", [&] { Bar()->setValue(3); }, false},
      {"the scroll bar back and to the end", [&] { Bar()->setValue(3), Bar()->setValue(Bar()->maximum()); }, true},
      {"a selection at the end", [&] { drag(1, 2); }, false},
      {"a selection, then End", [&] { drag(1, 2), key(Qt::Key_End); }, true},
      {"a selection, then a click", [&] { drag(1, 2), QTest::mouseClick(view.viewport(), Qt::LeftButton); }, true},
      {"a word selected", [&] { QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, Cell(2, 1)); }, false},
      {"all selected", [&] { view.selectAll(); }, false},
      {"scrolled back, a selection", [&] { key(Qt::Key_Home), drag(0, 1); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    view.clear();
    AppendNumbered(200);
    view.setFocus();
    c.act();
    const int value = Bar()->value();
    const QString selected = view.selectedText();
    for (int i = 0; i < 5; ++i) view.appendPlainText(QString("new %1").arg(i));
    AwaitShown();
    EXPECT_EQ(view.followsEnd(), c.follows);
    if (c.follows)
      EXPECT_EQ(view.firstVisibleRow() + VisibleRows(), 205);
    else
      EXPECT_EQ(Bar()->value(), value);
    EXPECT_EQ(view.selectedText(), selected);
  }
}

// However new lines at the end are painted, what shows is what a painting
// of the whole view gives: the log and its scroll bar, line after line, while
// the slider moves and while it stays, out of sight and with a selection.
TEST_F(LogViewTest, NewLinesShowAsAWholePaintingWould) {
  const auto grab = [&](QWidget* part) {
    return view.screen()
        ->grabWindow(view.winId())
        .toImage()
        .copy(QRect(part->mapTo(&view, QPoint()), part->size()))
        .convertToFormat(QImage::Format_RGB32);
  };
  const auto whole = [](QWidget* part) { return part->grab().toImage().convertToFormat(QImage::Format_RGB32); };
  const auto expectShownWhole = [&] {
    if (view.newRowsPending()) AwaitShown();
    QApplication::processEvents();
    EXPECT_TRUE(grab(view.viewport()) == whole(view.viewport())) << "the log shows stale pixels";
    EXPECT_TRUE(grab(Bar()) == whole(Bar())) << "the scroll bar shows stale pixels";
  };
  for (int i = 0; i < VisibleRows() - 1; ++i) view.appendPlainText(QString("first %1").arg(i));
  expectShownWhole();
  // Two lines of a frame fill the view and scroll it by one row, then by two.
  for (const int k : {1, 2, 3}) {
    SCOPED_TRACE(k);
    view.appendPlainText(QString("frame %1").arg(k));
    view.appendPlainText(QString(view.columns() + 3, QChar(u'0' + k)));
    expectShownWhole();
  }
  // Long enough for the slider to reach its least length and mostly stay.
  AppendNumbered(200);
  for (int k = 0; k < 20; ++k) {
    SCOPED_TRACE(k);
    view.appendPlainText("frame");
    view.appendPlainText("code");
    expectShownWhole();
  }
  Bar()->setValue(0);
  view.appendPlainText("below");
  expectShownWhole();
  view.selectAll();
  expectShownWhole();
  view.clear();
  expectShownWhole();
}

// Paced by another timer, new lines wake nothing of their own: they wait for
// its ticks, and for the first one at least a display frame after they came.
TEST_F(LogViewTest, PacedNewLinesWaitForATickADisplayFrameOld) {
  QTimer ticks;
  ticks.setTimerType(Qt::PreciseTimer);
  ticks.setInterval(5);
  view.showNewRowsOn(ticks);
  view.appendPlainText("first");
  QTest::qWait(100);
  EXPECT_TRUE(view.newRowsPending()) << "shown without a tick";
  EXPECT_EQ(Bar()->maximum(), 0);

  ticks.start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !view.newRowsPending(); }, 5000));
  QElapsedTimer since;
  since.start();
  view.appendPlainText("second");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !view.newRowsPending(); }, 5000));
  EXPECT_GE(since.elapsed(), 16) << "shown on a tick before the line was a display frame old";
  EXPECT_EQ(view.lineCount(), 2);
}

TEST_F(LogViewTest, PaintsTheVisibleRowsAndTheSelection) {
  const auto ink = [](const QColor& c) { return c.lightness() < 96; };
  const auto highlight = [&](const QColor& c) { return c == view.palette().color(QPalette::Highlight); };
  EXPECT_EQ(CountPixels(ink), 0);
  for (int i = 0; i < 50; ++i) view.appendPlainText(QString(40, u'#'));
  AwaitShown();
  EXPECT_GT(CountPixels(ink), 100);
  EXPECT_EQ(CountPixels(highlight), 0);
  view.selectAll();
  EXPECT_GT(CountPixels(highlight), view.viewport()->width() * RowHeight());
}

TEST_F(LogViewTest, MouseSelectsAndCopies) {
  view.appendPlainText("alpha beta");
  view.appendPlainText("gamma");
  QTest::mousePress(view.viewport(), Qt::LeftButton, {}, Cell(0, 6));
  QTest::mouseMove(view.viewport(), Cell(1, 3));
  QMouseEvent move(QEvent::MouseMove, Cell(1, 3), view.viewport()->mapToGlobal(Cell(1, 3)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(view.viewport(), &move);
  QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, Cell(1, 3));
  EXPECT_EQ(view.selectedText(), "beta\ngam");

  QApplication::clipboard()->clear();
  view.setFocus();
  QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), "beta\ngam");

  // Shift and a click move the end of the selection; the start stays.
  QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, Cell(0, 0));
  EXPECT_FALSE(view.hasSelection());
  QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ShiftModifier, Cell(0, 5));
  EXPECT_EQ(view.selectedText(), "alpha");
  // Below the last line is the end of the text.
  QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ShiftModifier, Cell(8, 0));
  EXPECT_EQ(view.selectedText(), "alpha beta\ngamma");

  QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, Cell(0, 7));
  EXPECT_EQ(view.selectedText(), "beta");
}

TEST_F(LogViewTest, MouseSelectsWithinWrappedRows) {
  QString digits;
  for (int i = 0; i < 300; ++i) digits += QChar(u'0' + i % 10);
  view.appendPlainText(digits);
  const int columns = view.columns();
  QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
  QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, Cell(1, 0));
  QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ShiftModifier, Cell(2, 2));
  EXPECT_EQ(view.selectedText(), digits.mid(columns, columns + 2));
}

TEST_F(LogViewTest, SelectAllAndTheContextMenu) {
  view.appendPlainText("one");
  view.appendPlainText("two");
  std::unique_ptr<QMenu> menu(view.createContextMenu());
  const QList<QAction*> actions = menu->actions();
  ASSERT_EQ(actions.size(), 3);
  QAction* copy = actions.front();
  QAction* selectAll = actions.back();
  EXPECT_EQ(copy->text(), "&Copy");
  EXPECT_EQ(selectAll->text(), "Select All");
  EXPECT_FALSE(copy->isEnabled());
  EXPECT_TRUE(selectAll->isEnabled());
  selectAll->trigger();
  EXPECT_EQ(view.selectedText(), "one\ntwo");

  menu.reset(view.createContextMenu());
  ASSERT_TRUE(menu->actions().front()->isEnabled());
  QApplication::clipboard()->clear();
  menu->actions().front()->trigger();
  EXPECT_EQ(QApplication::clipboard()->text(), "one\ntwo");

  view.clear();
  menu.reset(view.createContextMenu());
  EXPECT_FALSE(menu->actions().front()->isEnabled());
  EXPECT_FALSE(menu->actions().back()->isEnabled());
  view.setFocus();
  QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
  EXPECT_FALSE(view.hasSelection());
}

TEST_F(LogViewTest, TypingChangesNothing) {
  view.appendPlainText("kept");
  view.setFocus();
  QApplication::clipboard()->setText("pasted");
  QTest::keyClicks(&view, "xyz");
  QTest::keyClick(&view, Qt::Key_Backspace);
  QTest::keyClick(&view, Qt::Key_Delete);
  QTest::keyClick(&view, Qt::Key_Return);
  QTest::keyClick(&view, Qt::Key_V, Qt::ControlModifier);
  QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(&view, Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(view.toPlainText(), "kept");
  EXPECT_EQ(view.selectedText(), "kept");
}

TEST_F(LogViewTest, RowsLeadToTheirLines) {
  // Lines of many lengths, each naming itself, wrapped over one to several rows.
  std::vector<qint64> firstRow;
  QStringList texts;
  qint64 rows = 0;
  const int columns = view.columns();
  for (int i = 0; i < 1000; ++i) {
    const QString text = QString::number(i).leftJustified(i % 97 + 4, u'.');
    firstRow.push_back(rows);
    texts += text;
    rows += (text.size() + columns - 1) / columns;
    view.appendPlainText(text);
  }
  ASSERT_EQ(view.rowCount(), rows);
  AwaitShown();
  for (int k : {0, 1, 63, 64, 65, 127, 128, 500, 777, 900}) {
    SCOPED_TRACE(k);
    Bar()->setValue(int(firstRow[k]));
    ASSERT_EQ(view.firstVisibleRow(), firstRow[k]);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, Cell(0, 0));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ShiftModifier, Cell(0, columns));
    EXPECT_EQ(view.selectedText(), texts[k].left(columns));
  }
}

TEST_F(LogViewTest, AVeryLongLineIsKeptWhole) {
  QString longLine;
  for (int i = 0; i < 100000; ++i) longLine += QChar(u'a' + i % 26);
  view.appendPlainText("before");
  view.appendPlainText(longLine);
  view.appendPlainText("after");
  EXPECT_EQ(view.line(1), longLine);
  EXPECT_EQ(view.line(2), "after");
  EXPECT_EQ(view.toPlainText(), "before\n" + longLine + "\nafter");
  EXPECT_EQ(view.rowCount(), 1 + (100000 + view.columns() - 1) / view.columns() + 1);
  view.selectAll();
  EXPECT_EQ(view.selectedText(), view.toPlainText());
}

TEST_F(LogViewTest, AMillionLinesAreKept) {
  constexpr int kLines = 1000000;
  QString expected;
  for (int i = 0; i < kLines; ++i) {
    const QString text = QString("%1:%2").arg(i % 65536, 5, 10, QChar('0')).arg(i, 10, 10, QChar('0'));
    if (i > 0) expected += u'\n';
    expected += text;
    view.appendPlainText(text);
  }
  EXPECT_EQ(view.lineCount(), kLines);
  EXPECT_EQ(view.line(0), "00000:0000000000");
  EXPECT_EQ(view.line(kLines - 1), "16959:0000999999");
  EXPECT_EQ(view.line(500000), "41248:0000500000");
  EXPECT_EQ(view.rowCount(), kLines);
  EXPECT_TRUE(view.toPlainText() == expected);
  AwaitShown();
  EXPECT_EQ(Bar()->value(), Bar()->maximum());

  // From the fourth character of the first line to the third of the last.
  QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
  QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, Cell(0, 3));
  QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);
  QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ShiftModifier, Cell(VisibleRows() - 1, 2));
  EXPECT_TRUE(view.selectedText() == expected.mid(3, expected.size() - 3 - 14));
}

}  // namespace
