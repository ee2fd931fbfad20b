#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include "WindowFixture.h"

namespace {

using WindowLayout = WindowFixture;

struct Expected {
  const char* name;
  const char* caption;  // text of a button, box, label or group; nullptr when it has none
  const char* hint;
  bool enabled;
  int checked;  // 1 checked, 0 unchecked, -1 not a check box
};

TEST_F(WindowLayout, EveryControlStartsAsLaidOut) {
  const Expected controls[] = {
      {"Model", "Model", "Select the model of the proximity reader.", true, -1},
      {"GroupBox4", "Settings", "Settings for the card reader.", true, -1},
      {"spd", "Speed", "", true, -1},
      {"spd0", "SPD0", "Communication speed.", true, 0},
      {"spd1", "SPD1", "Communication speed.", true, 0},
      {"options", "Options", "Software options of the reader.", true, -1},
      {"CheckBox3", "FMT0", "Data communication format.", false, 1},
      {"CheckBox4", "FMT1", "Data communication format.", false, 1},
      {"CheckBox5", "NO BEEP", "Disable local beep sound.", false, 1},
      {"CheckBox6", "REPEAT", "Repeat code output until card removed.", false, 0},
      {"Button3", "Get Options", "Get the software options.", false, -1},
      {"Button5", "Set Options", "Set the software options according to the checkboxes.", false, -1},
      {"fmt", "Data Format", "", true, -1},
      {"fmt0", "FMT0", "Data communication format.", true, 1},
      {"fmt1", "FMT1", "Data communication format.", true, 1},
      {"control", "Control", "Control the I/Os of the reader.", true, -1},
      {"CheckBox2", "RELAY", "Check to turn on the Yellow LED or the Relay.", false, 0},
      {"CheckBox1", "GREEN", "Check to turn on the RED LED.", false, 0},
      {"Label2", "SW=", "Status of the OPEN SWITCH.", true, -1},
      {"Label1", "OPEN", "Status of the OPEN SWITCH.", true, -1},
      {"Label3", "Buzzer=", "", true, -1},
      {"Label4", "OFF", "", true, -1},
      {"status", "Get Status", "Update the I/O status from reader.", false, -1},
      {"one", "1S", "Pulse relay for one second.", false, -1},
      {"two", "2S", "Pulse relay for two seconds.", false, -1},
      {"Panel4", "1200 bps", "", true, -1},
      {"Panel5", "Mode 3", "", true, -1},
      {"GroupBox1", "Advance Control", "", true, -1},
      {"cbAutoBeep", "Control Lock", "Pulse lock on valid card reading.", true, 1},
      {"cbIDmode", "ID Mode", "Enable ID mode reader testing.", true, 0},
      {"Label5", "ID", "", true, -1},
      {"GroupBox5", "Action", "", true, -1},
      {"Button4", "Connect", "Establish connection to the card reader.", true, -1},
      {"Button1", "&About", "About this software.", true, -1},
      {"Button2", "E&xit", "Exit this software", true, -1},
      {"GroupBox2", "Control Panel", "", true, -1},
  };
  TForm1& f = Form();
  for (const Expected& e : controls) {
    SCOPED_TRACE(e.name);
    auto* w = f.findChild<QWidget*>(e.name);
    ASSERT_NE(w, nullptr);
    QString caption;
    if (auto* b = qobject_cast<QAbstractButton*>(w)) caption = b->text();
    if (auto* g = qobject_cast<QGroupBox*>(w)) caption = g->title();
    if (auto* l = qobject_cast<QLabel*>(w)) caption = l->text();
    EXPECT_EQ(caption, e.caption);
    EXPECT_EQ(w->toolTip(), e.hint);
    EXPECT_EQ(w->isEnabled(), e.enabled);
    if (e.checked >= 0) {
      EXPECT_EQ(qobject_cast<QAbstractButton*>(w)->isChecked(), e.checked == 1);
    }
  }
  EXPECT_EQ(f.windowTitle(), "Velmora");
  EXPECT_EQ(f.ModelIndex(), 1);
  EXPECT_EQ(f.ModelItems[0]->text(), "Alvex");
  EXPECT_EQ(f.ModelItems[1]->text(), "Brenta");
  EXPECT_EQ(f.ModelItems[2]->text(), "Corvan");
  EXPECT_EQ(f.comm1->count(), 8);
  EXPECT_EQ(f.comm1->itemText(7), "COM8");
  EXPECT_EQ(f.comm1->currentIndex(), 0);
  EXPECT_EQ(f.comm1->currentText(), "COM1");
  EXPECT_EQ(f.comm1->insertPolicy(), QComboBox::NoInsert);
  EXPECT_EQ(f.comm1->toolTip(), "Communication port attaches to the reader.");
  EXPECT_EQ(f.seMyID->value(), 0);
  EXPECT_EQ(f.seMyID->minimum(), 0);
  EXPECT_EQ(f.seMyID->maximum(), 31);
  EXPECT_EQ(f.seMyID->toolTip(), "Reader's ID to be controlled.");
  EXPECT_TRUE(f.Memo1->toPlainText().isEmpty());
  EXPECT_EQ(f.Memo1->toolTip(), "Code from the reader.");
  EXPECT_EQ(f.Memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_EQ(f.Memo1->viewport()->cursor().shape(), Qt::ArrowCursor);
  EXPECT_TRUE(QFontInfo(f.Memo1->font()).fixedPitch());
  EXPECT_TRUE(f.Label1->font().bold());
  EXPECT_FALSE(f.Timer1->isActive());
  EXPECT_EQ(f.Timer1->interval(), 50);
  EXPECT_TRUE(f.Timer2->isActive());
  EXPECT_EQ(f.Timer2->interval(), 100);
  EXPECT_TRUE(f.StatusBar1->currentMessage().isEmpty());
  EXPECT_FALSE(f.Protocol().State().TraceEnabled);
  EXPECT_EQ(f.Button4->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(f.status->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(WindowLayout, SizesFollowTheScreenResolution) {
  TForm1& f = Form();
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  const double scale = QGuiApplication::primaryScreen()->logicalDotsPerInchY() / 120.0;
  auto px = [scale](int v) { return qRound(v * scale); };
  EXPECT_EQ(f.size(), QSize(px(474), px(535)));
  EXPECT_EQ(f.minimumSize(), f.maximumSize());
  EXPECT_EQ(f.StatusBar1->geometry(), QRect(0, px(535) - px(19), px(474), px(19)));
  EXPECT_EQ(f.GroupBox2->geometry(), QRect(px(474) - px(235), 0, px(235), px(535) - px(19)));
  EXPECT_EQ(f.Memo1->geometry(), QRect(0, 0, px(474) - px(235), px(535) - px(19)));
  // The log wraps long lines at its width: some twenty characters or more to a row.
  f.Memo1->appendPlainText(QString(300, u'7'));
  EXPECT_GE(f.Memo1->columns(), 20);
  EXPECT_GT(f.Memo1->rowCount(), 1);
  EXPECT_EQ(f.Memo1->rowCount(), (300 + f.Memo1->columns() - 1) / f.Memo1->columns());
  EXPECT_EQ(f.Model->height(), px(80));
  EXPECT_EQ(f.spd0->geometry(), QRect(px(10), px(20), px(74), px(21)));
  EXPECT_EQ(f.seMyID->geometry(), QRect(px(49), px(73), px(51), px(26)));
  EXPECT_EQ(f.Button2->geometry(), QRect(px(7), px(82), px(96), px(31)));
  EXPECT_EQ(f.Image1->height(), 28);
  EXPECT_EQ(f.Image1->pixmap().size(), QSize(80, 28));
  // Docked to the top in order, each under the one before.
  EXPECT_EQ(f.control->y(), f.Image1->geometry().bottom() + 1);
  EXPECT_EQ(f.Panel4->y(), f.control->geometry().bottom() + 1);
  EXPECT_EQ(f.Panel5->y(), f.Panel4->geometry().bottom() + 1);
  EXPECT_EQ(f.GroupBox1->y(), f.Panel5->geometry().bottom() + 1);
  EXPECT_EQ(f.GroupBox5->geometry().bottom(), f.Panel2->height() - 1);
  // A hidden group takes no room: Data Format moves up into the place of Options.
  const int optionsTop = f.options->y();
  EXPECT_EQ(optionsTop, f.spd->geometry().bottom() + 1);
  f.SetModelIndex(0);
  QApplication::processEvents();
  EXPECT_FALSE(f.options->isVisible());
  EXPECT_EQ(f.fmt->y(), optionsTop);
  // Centred on the screen.
  const QPoint centre = f.screen()->availableGeometry().center();
  EXPECT_LE((f.frameGeometry().center() - centre).manhattanLength(), 2);
}

TEST_F(WindowLayout, FocusStartsOnConnectAndTabFollowsTheOrder) {
  TForm1& f = Form();
  f.show();
  QApplication::setActiveWindow(&f);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  EXPECT_EQ(QApplication::focusWidget(), f.Button4);
  // Disabled controls are skipped while disconnected; the model group is
  // one stop, at its selected item.
  auto tabsTo = [](std::initializer_list<QWidget*> expected) {
    for (QWidget* next : expected) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString() << " expected, got "
                                                   << QApplication::focusWidget()->objectName().toStdString();
    }
  };
  tabsTo({f.Button1, f.Button2, f.seMyID, f.cbIDmode, f.cbAutoBeep, f.comm1, f.spd0, f.spd1, f.ModelItems[1], f.Memo1});
  // Arrow keys move the selection inside the group; Tab then leaves it.
  f.ModelItems[1]->setFocus(Qt::TabFocusReason);
  QTest::keyClick(f.ModelItems[1], Qt::Key_Down);
  EXPECT_EQ(f.ModelIndex(), 2);
  EXPECT_EQ(QApplication::focusWidget(), f.ModelItems[2]);
  tabsTo({f.Memo1, f.Button4});
  f.spd1->setFocus(Qt::TabFocusReason);
  tabsTo({f.ModelItems[2], f.Memo1});
}

TEST_F(WindowLayout, EnterSpaceAndMnemonicsPressButtons) {
  TForm1& f = Form();
  int shown = 0;
  f.showAboutBox = [&] { ++shown; };
  f.show();
  QApplication::setActiveWindow(&f);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  f.Button1->setFocus();
  QTest::keyClick(f.Button1, Qt::Key_Return);
  EXPECT_EQ(shown, 1);
  QTest::keyClick(f.Button1, Qt::Key_Space);
  EXPECT_EQ(shown, 2);
  // A mnemonic presses its button with a short animation.
  QTest::keyClick(&f, Qt::Key_A, Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return shown == 3; }, 2000));
  QTest::keyClick(&f, Qt::Key_X, Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !f.isVisible(); }, 2000));
}

TEST_F(WindowLayout, AltPressOnTheLogoTurnsTracingOnForGood) {
  TForm1& f = Form();
  QTest::mousePress(f.Image1, Qt::LeftButton);
  QTest::mousePress(f.Image1, Qt::RightButton, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_FALSE(f.Protocol().State().TraceEnabled);
  QTest::mousePress(f.Image1, Qt::MiddleButton, Qt::AltModifier);
  EXPECT_TRUE(f.Protocol().State().TraceEnabled);
  QTest::mousePress(f.Image1, Qt::LeftButton);
  EXPECT_TRUE(f.Protocol().State().TraceEnabled);
}

TEST_F(WindowLayout, ModelChoiceReshapesThePanel) {
  TForm1& f = Form();
  auto shape = [&] {
    return std::make_tuple(f.fmt->isVisibleTo(&f), f.options->isVisibleTo(&f), f.CheckBox1->text(),
                           f.CheckBox2->text());
  };
  EXPECT_EQ(shape(), std::make_tuple(false, true, QString("GREEN"), QString("RELAY")));
  f.SetModelIndex(0);
  EXPECT_EQ(shape(), std::make_tuple(true, false, QString("RED"), QString("YELLOW")));
  EXPECT_EQ(f.CheckBox1->toolTip(), "Check to turn on the RED LED.");
  f.SetModelIndex(2);
  EXPECT_EQ(shape(), std::make_tuple(false, true, QString("GREEN"), QString("RELAY")));
  // Selecting the item already selected runs nothing.
  f.options->hide();
  f.SetModelIndex(2);
  EXPECT_FALSE(f.options->isVisibleTo(&f));
  QTest::mouseClick(f.ModelItems[2], Qt::LeftButton);
  EXPECT_FALSE(f.options->isVisibleTo(&f));
}

TEST_F(WindowLayout, SpeedAndFormatPanelsFollowTheirBoxes) {
  TForm1& f = Form();
  f.spd0->setChecked(true);
  EXPECT_EQ(f.Panel4->text(), "9600 bps");
  f.spd1->setChecked(true);
  EXPECT_EQ(f.Panel4->text(), "115 Kbps");
  f.spd0->setChecked(false);
  EXPECT_EQ(f.Panel4->text(), "38 Kbps");
  QTest::mouseClick(f.spd1, Qt::LeftButton);
  EXPECT_EQ(f.Panel4->text(), "1200 bps");
  f.fmt1->setChecked(false);
  EXPECT_EQ(f.Panel5->text(), "Mode 1");
  f.fmt0->setChecked(false);
  EXPECT_EQ(f.Panel5->text(), "Mode 0");
  f.fmt1->setChecked(true);
  EXPECT_EQ(f.Panel5->text(), "Mode 2");
  // Option boxes drive the format boxes, and through them the panel.
  f.CheckBox3->setChecked(false);
  f.CheckBox3->setChecked(true);
  EXPECT_TRUE(f.fmt0->isChecked());
  EXPECT_EQ(f.Panel5->text(), "Mode 3");
  f.CheckBox4->setChecked(false);
  EXPECT_FALSE(f.fmt1->isChecked());
  EXPECT_EQ(f.Panel5->text(), "Mode 1");
}

TEST_F(WindowLayout, SwitchingModelKeepsTheFormatBoxes) {
  TForm1& f = Form();
  f.SetModelIndex(0);
  f.fmt1->setChecked(false);
  f.SetModelIndex(1);
  EXPECT_TRUE(f.fmt0->isChecked());
  EXPECT_FALSE(f.fmt1->isChecked());
  EXPECT_EQ(f.Panel5->text(), "Mode 1");
  EXPECT_TRUE(f.CheckBox3->isChecked());
  EXPECT_TRUE(f.CheckBox4->isChecked());
}

TEST_F(WindowLayout, IdModeLocksSpeedAndModelAndHidesOptions) {
  TForm1& f = Form();
  f.SetModelIndex(0);
  QTest::mouseClick(f.cbIDmode, Qt::LeftButton);
  EXPECT_TRUE(f.spd0->isChecked());
  EXPECT_TRUE(f.spd1->isChecked());
  EXPECT_FALSE(f.spd0->isEnabled());
  EXPECT_FALSE(f.spd1->isEnabled());
  EXPECT_EQ(f.Panel4->text(), "115 Kbps");
  EXPECT_EQ(f.ModelIndex(), 2);
  EXPECT_FALSE(f.Model->isEnabled());
  EXPECT_FALSE(f.fmt->isVisibleTo(&f));
  EXPECT_FALSE(f.options->isVisibleTo(&f));
  EXPECT_EQ(f.CheckBox1->text(), "GREEN");
  EXPECT_EQ(f.CheckBox2->text(), "RELAY");
  QTest::mouseClick(f.cbIDmode, Qt::LeftButton);
  EXPECT_TRUE(f.spd0->isEnabled());
  EXPECT_TRUE(f.spd1->isEnabled());
  EXPECT_TRUE(f.Model->isEnabled());
  EXPECT_TRUE(f.options->isVisibleTo(&f));
  EXPECT_EQ(f.ModelIndex(), 2);
  EXPECT_EQ(f.Panel4->text(), "115 Kbps");
}

TEST_F(WindowLayout, ClockShowsTheInjectedTime) {
  const QLocale locale = QLocale::system();
  const QString date = locale.toString(QDate(2026, 3, 7), QLocale::LongFormat);
  TForm1& f = Form();
  struct Case {
    QTime time;
    QString designator, clock;
  } cases[] = {{QTime(0, 0, 0), locale.amText(), "12:00:00"},
               {QTime(12, 0, 0), locale.pmText(), "12:00:00"},
               {QTime(23, 59, 59), locale.pmText(), "11:59:59"}};
  for (const Case& c : cases) {
    now = QDateTime(QDate(2026, 3, 7), c.time);
    auto shown = [&] {
      const QString text = f.StatusBar1->currentMessage();
      QString digits = text.right(8);
      if (digits.size() == 8) digits[2] = digits[5] = ':';
      return text.startsWith(date + "  " + c.designator + " ") &&
             text.size() == date.size() + 3 + c.designator.size() + 8 && digits == c.clock;
    };
    EXPECT_TRUE(QTest::qWaitFor(shown, 2000)) << f.StatusBar1->currentMessage().toStdString();
  }
}

TEST_F(WindowLayout, IconsAndLogoHaveTheirSizes) {
  TForm1& f = Form();
  const QIcon icon = f.windowIcon();
  EXPECT_TRUE(icon.availableSizes().contains(QSize(16, 16)));
  EXPECT_TRUE(icon.availableSizes().contains(QSize(32, 32)));
}

}  // namespace
