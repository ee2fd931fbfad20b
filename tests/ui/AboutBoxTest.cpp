#include "AboutBox.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

class AboutBoxTest : public ::testing::Test {
 protected:
  void Open() {
    box_.open();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&box_));
  }

  Taboutbox box_;
};

TEST_F(AboutBoxTest, NoticeIsReadOnlyWithTheFixedClosingLines) {
  const QStringList lines = box_.RichEdit1->toPlainText().split(u'\n');
  ASSERT_EQ(lines.size(), 9);
  for (int empty : {1, 3, 5}) {
    EXPECT_TRUE(lines[empty].isEmpty()) << empty;
  }
  EXPECT_TRUE(lines[2].contains(QStringLiteral("example.com")));
  EXPECT_TRUE(lines[4].contains(QStringLiteral("Corvan")));
  EXPECT_EQ(lines[6], QStringLiteral("It is recommended to have the following settings:"));
  EXPECT_EQ(lines[7], QStringLiteral("- BEEP=OFF, i.e. disable local beep"));
  EXPECT_EQ(lines[8], QStringLiteral("- MODE=ON, i.e. enable send code once"));

  Open();
  const QString before = box_.RichEdit1->toPlainText();
  QTest::keyClicks(box_.RichEdit1, QStringLiteral("typed"));
  QTest::keyClick(box_.RichEdit1, Qt::Key_Backspace);
  QTest::keyClick(box_.RichEdit1, Qt::Key_Delete);
  EXPECT_EQ(box_.RichEdit1->toPlainText(), before);
}

TEST_F(AboutBoxTest, NoticeCanBeSelectedAndCopied) {
  Open();
  QTest::keyClick(box_.RichEdit1, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(box_.RichEdit1, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), box_.RichEdit1->toPlainText());
}

TEST_F(AboutBoxTest, IsFixedInSizeAndHasNoDefaultButton) {
  EXPECT_EQ(box_.objectName(), QStringLiteral("aboutbox"));
  EXPECT_EQ(box_.windowTitle(), QStringLiteral("About this software"));
  EXPECT_EQ(box_.minimumSize(), box_.maximumSize());
  EXPECT_FALSE(box_.Button1->isDefault());
  EXPECT_FALSE(box_.Button1->autoDefault());
  EXPECT_EQ(box_.Button1->text(), QStringLiteral("Cl&ose"));
  EXPECT_EQ(box_.Button1->toolTip(), QStringLiteral("Close this dialog"));
  EXPECT_EQ(box_.Button1->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(box_.Image3->pixmap().size(), QSize(32, 32));
  EXPECT_EQ(box_.Image1->pixmap().size(), QSize(80, 28));
  EXPECT_FALSE(box_.isVisible());
}

TEST_F(AboutBoxTest, OpensCentredWithTheFocusOnTheNotice) {
  Open();
  EXPECT_TRUE(box_.RichEdit1->hasFocus());
  const QPoint centre = box_.screen()->geometry().center();
  EXPECT_LE((box_.frameGeometry().center() - centre).manhattanLength(), 1);
}

TEST_F(AboutBoxTest, TabMovesBetweenNoticeAndClose) {
  Open();
  QTest::keyClick(box_.RichEdit1, Qt::Key_Tab);
  EXPECT_TRUE(box_.Button1->hasFocus());
  QTest::keyClick(box_.Button1, Qt::Key_Tab);
  EXPECT_TRUE(box_.RichEdit1->hasFocus());
  QTest::keyClick(box_.RichEdit1, Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_TRUE(box_.Button1->hasFocus());
}

TEST_F(AboutBoxTest, EscapeAndEnterOnTheNoticeLeaveItOpen) {
  Open();
  QTest::keyClick(box_.RichEdit1, Qt::Key_Escape);
  QTest::keyClick(box_.RichEdit1, Qt::Key_Return);
  QTest::keyClick(box_.RichEdit1, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_TRUE(box_.isVisible());

  box_.Button1->setFocus();
  QTest::keyClick(box_.Button1, Qt::Key_Escape);
  EXPECT_TRUE(box_.isVisible()) << "Escape with the focus on Close";
}

// Every way of closing hides the box with the cancel result, and it opens
// again with the same content and the focus back on the notice.
TEST_F(AboutBoxTest, EveryWayOfClosingHidesItForTheNextShowing) {
  const QString notice = box_.RichEdit1->toPlainText();
  const std::vector<std::pair<const char*, std::function<void()>>> ways = {
      {"Alt+O", [&] { QTest::keyClick(box_.RichEdit1, Qt::Key_O, Qt::AltModifier); }},
      {"Enter on Close",
       [&] {
         box_.Button1->setFocus();
         QTest::keyClick(box_.Button1, Qt::Key_Return);
       }},
      {"keypad Enter on Close",
       [&] {
         box_.Button1->setFocus();
         QTest::keyClick(box_.Button1, Qt::Key_Enter, Qt::KeypadModifier);
       }},
      {"Space on Close",
       [&] {
         box_.Button1->setFocus();
         QTest::keyClick(box_.Button1, Qt::Key_Space);
       }},
      {"mouse on Close", [&] { QTest::mouseClick(box_.Button1, Qt::LeftButton); }},
      {"close box", [&] { box_.windowHandle()->close(); }},
  };
  for (const auto& [name, closeIt] : ways) {
    SCOPED_TRACE(name);
    Open();
    EXPECT_TRUE(box_.RichEdit1->hasFocus());
    closeIt();
    // A mnemonic presses its button with a short animation.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !box_.isVisible(); }, 2000));
    EXPECT_EQ(box_.result(), QDialog::Rejected);
    EXPECT_EQ(box_.RichEdit1->toPlainText(), notice);
  }
}

TEST_F(AboutBoxTest, ShowModalWrapsTheNoticeAndReturnsWhenClosed) {
  EXPECT_EQ(box_.RichEdit1->lineWrapMode(), QTextEdit::NoWrap);
  for (int showing = 1; showing <= 2; ++showing) {
    bool sawWrapped = false;
    bool sawModal = false;
    QTimer::singleShot(0, &box_, [&] {
      sawWrapped = box_.RichEdit1->lineWrapMode() == QTextEdit::WidgetWidth;
      sawModal = box_.isVisible() && QApplication::activeModalWidget() == &box_;
      box_.Button1->click();
    });
    box_.ShowModal();
    EXPECT_TRUE(sawWrapped) << showing;
    EXPECT_TRUE(sawModal) << showing;
    EXPECT_FALSE(box_.isVisible());
  }
}

}  // namespace
