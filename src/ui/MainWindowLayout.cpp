#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "DockLayout.h"
#include "MainWindow.h"
#include "Pictures.h"

// Places and sizes are in pixels of a 120 dpi screen; S() scales them to the
// screen the window is created on.

namespace {

// A font whose lines are at most the given height, as the layout measures
// fonts; the stand-in families run larger than the originals at one size.
QFont FontOfHeight(QFont font, int pixels) {
  int size = pixels;
  do {
    font.setPixelSize(size);
  } while (size-- > 6 && QFontMetrics(font).height() > pixels);
  return font;
}

QFont WindowFont(int pixels) {
  QFont font;
  font.setFamilies({"MS Sans Serif", "Liberation Sans", "DejaVu Sans"});
  font.setStyleHint(QFont::SansSerif);
  return FontOfHeight(font, pixels);
}

QFont LogFont(int pixels) {
  QFont font;
  font.setFamilies({"Lucida Console", "Liberation Mono", "DejaVu Sans Mono"});
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  return FontOfHeight(font, pixels);
}

template <typename W>
W* Named(W* widget, const char* name, const QString& hint = {}) {
  widget->setObjectName(name);
  if constexpr (std::is_base_of_v<QWidget, W>) widget->setToolTip(hint);
  return widget;
}

}  // namespace

int TForm1::S(int pixels) const { return qRound(pixels * scale_); }

// The client area of a group box: below its caption, inside its frame.
QMargins TForm1::GroupMargins() const { return {S(2), S(16), S(2), S(2)}; }

void TForm1::BuildLayout() {
  QScreen* screen = QGuiApplication::primaryScreen();
  scale_ = (screen ? screen->logicalDotsPerInchY() : 96.0) / 120.0;

  setObjectName("Form1");
  setWindowTitle("Velmora");
  setWindowIcon(MainWindowIcon());
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
  setFont(WindowFont(S(14)));
  setFixedSize(S(474), S(535));

  auto* outer = new DockLayout(QBoxLayout::TopToBottom, this, {});
  auto* body = new QHBoxLayout;
  body->setContentsMargins(0, 0, 0, 0);
  body->setSpacing(0);
  outer->addLayout(body, 1);

  Memo1 = Named(new LogView(this), "Memo1", "Code from the reader.");
  Memo1->setFont(LogFont(S(15)));
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  body->addWidget(Memo1, 1);

  GroupBox2 = Named(new QGroupBox("Control Panel", this), "GroupBox2");
  GroupBox2->setFixedWidth(S(235));
  body->addWidget(GroupBox2);
  auto* columns = new DockLayout(QBoxLayout::LeftToRight, GroupBox2, GroupMargins());
  Panel1 = Named(new QFrame(GroupBox2), "Panel1");
  Panel1->setFixedWidth(S(115));
  Panel2 = Named(new QFrame(GroupBox2), "Panel2");
  columns->addWidget(Panel1);
  columns->addWidget(Panel2, 1);
  BuildControlColumn();
  BuildDisplayColumn();

  StatusBar1 = Named(new QStatusBar(this), "StatusBar1");
  StatusBar1->setSizeGripEnabled(false);
  // Its own background, the window's colour: the clock's change every second
  // then repaints the bar alone, not the window behind it.
  StatusBar1->setAutoFillBackground(true);
  StatusBar1->setFixedHeight(S(19));
  outer->addWidget(StatusBar1);

  Timer1 = Named(new QTimer(this), "Timer1");
  Timer1->setInterval(50);
  // A coarse timer may fire up to 5 % early; the inter-byte time-out must not.
  Timer1->setTimerType(Qt::PreciseTimer);
  Timer2 = Named(new QTimer(this), "Timer2");
  Timer2->setInterval(100);

  for (QPushButton* button : findChildren<QPushButton*>()) button->setAutoDefault(true);
  SetTabOrder();
  Image1->installEventFilter(this);
}

void TForm1::BuildControlColumn() {
  auto* column = new DockLayout(QBoxLayout::TopToBottom, Panel1, {});

  Model = Named(new QGroupBox("Model", Panel1), "Model", "Select the model of the proximity reader.");
  Model->setFixedHeight(S(80));
  Model->setCursor(Qt::PointingHandCursor);
  modelGroup_ = new QButtonGroup(this);
  const char* items[] = {"Alvex", "Brenta", "Corvan"};
  for (int i = 0; i < 3; ++i) {
    ModelItems[i] = new QRadioButton(items[i], Model);
    ModelItems[i]->setObjectName(QString("Model%1").arg(i));
    ModelItems[i]->setToolTip(Model->toolTip());
    ModelItems[i]->setGeometry(S(8), S(17 + 20 * i), S(100), S(20));
    ModelItems[i]->setFocusPolicy(Qt::ClickFocus);
    modelGroup_->addButton(ModelItems[i], i);
  }
  // The group is one stop of the Tab order: the selected item takes the focus.
  connect(modelGroup_, &QButtonGroup::idToggled, this,
          [this](int id, bool checked) { ModelItems[id]->setFocusPolicy(checked ? Qt::StrongFocus : Qt::ClickFocus); });
  ModelItems[1]->setChecked(true);
  column->addWidget(Model);

  GroupBox4 = Named(new QGroupBox("Settings", Panel1), "GroupBox4", "Settings for the card reader.");
  column->addWidget(GroupBox4, 1);
  BuildSettingsGroup();
}

void TForm1::BuildSettingsGroup() {
  auto* stack = new DockLayout(QBoxLayout::TopToBottom, GroupBox4, GroupMargins());

  Panel3 = Named(new QFrame(GroupBox4), "Panel3");
  Panel3->setFixedHeight(S(35));
  comm1 = Named(new QComboBox(Panel3), "comm1", "Communication port attaches to the reader.");
  comm1->setGeometry(S(2), S(2), S(106), S(24));
  comm1->setEditable(true);
  comm1->setInsertPolicy(QComboBox::NoInsert);
  for (int i = 1; i <= 8; ++i) comm1->addItem(QString("COM%1").arg(i));
  comm1->setCurrentIndex(0);
  comm1->setCursor(Qt::PointingHandCursor);
  stack->addWidget(Panel3);

  auto box = [this](QWidget* parent, const char* name, const char* caption, const QString& hint, int x, int y, int w,
                    int h) {
    auto* check = Named(new QCheckBox(caption, parent), name, hint);
    check->setGeometry(S(x), S(y), S(w), S(h));
    return check;
  };
  auto button = [this](QWidget* parent, const char* name, const char* caption, const QString& hint, int x, int y, int w,
                       int h) {
    auto* push = Named(new QPushButton(caption, parent), name, hint);
    push->setGeometry(S(x), S(y), S(w), S(h));
    push->setCursor(Qt::PointingHandCursor);
    return push;
  };

  spd = Named(new QGroupBox("Speed", GroupBox4), "spd");
  spd->setFixedHeight(S(66));
  spd0 = box(spd, "spd0", "SPD0", "Communication speed.", 10, 20, 74, 21);
  spd1 = box(spd, "spd1", "SPD1", "Communication speed.", 10, 39, 74, 21);
  stack->addWidget(spd);

  options = Named(new QGroupBox("Options", GroupBox4), "options", "Software options of the reader.");
  options->setFixedHeight(S(175));
  const QString format = "Data communication format.";
  CheckBox3 = box(options, "CheckBox3", "FMT0", format, 10, 20, 90, 21);
  CheckBox4 = box(options, "CheckBox4", "FMT1", format, 10, 39, 90, 21);
  CheckBox5 = box(options, "CheckBox5", "NO BEEP", "Disable local beep sound.", 10, 59, 86, 21);
  CheckBox6 = box(options, "CheckBox6", "REPEAT", "Repeat code output until card removed.", 10, 79, 90, 21);
  for (QCheckBox* check : {CheckBox3, CheckBox4, CheckBox5, CheckBox6}) {
    check->setChecked(check != CheckBox6);
    check->setEnabled(false);
    check->setCursor(Qt::PointingHandCursor);
  }
  Button3 = button(options, "Button3", "Get Options", "Get the software options.", 7, 103, 96, 31);
  Button5 = button(options, "Button5", "Set Options", "Set the software options according to the checkboxes.", 7, 135,
                   96, 31);
  Button3->setEnabled(false);
  Button5->setEnabled(false);
  options->hide();
  stack->addWidget(options);

  fmt = Named(new QGroupBox("Data Format", GroupBox4), "fmt");
  fmt->setFixedHeight(S(67));
  fmt0 = box(fmt, "fmt0", "FMT0", format, 10, 20, 74, 21);
  fmt1 = box(fmt, "fmt1", "FMT1", format, 10, 39, 74, 21);
  fmt0->setChecked(true);
  fmt1->setChecked(true);
  stack->addWidget(fmt);
  stack->addStretch(1);
}

void TForm1::BuildDisplayColumn() {
  auto* column = new DockLayout(QBoxLayout::TopToBottom, Panel2, {});

  Image1 = Named(new QLabel(Panel2), "Image1");
  Image1->setPixmap(LogoPicture());
  Image1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  Image1->setFixedHeight(28);
  column->addWidget(Image1);

  control = Named(new QGroupBox("Control", Panel2), "control", "Control the I/Os of the reader.");
  control->setFixedHeight(S(179));
  auto place = [this](QWidget* w, int x, int y, int width, int height) {
    w->setGeometry(S(x), S(y), S(width), S(height));
  };
  CheckBox2 = Named(new QCheckBox("YELLOW", control), "CheckBox2", "Check to turn on the Yellow LED or the Relay.");
  place(CheckBox2, 10, 20, 80, 21);
  CheckBox1 = Named(new QCheckBox("RED", control), "CheckBox1", "Check to turn on the RED LED.");
  place(CheckBox1, 10, 39, 95, 21);
  for (QCheckBox* check : {CheckBox1, CheckBox2}) {
    check->setEnabled(false);
    check->setCursor(Qt::PointingHandCursor);
  }
  QFont bold = WindowFont(S(15));
  bold.setBold(true);
  QPalette navy = palette();
  navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
  Label2 = Named(new QLabel("SW=", control), "Label2", "Status of the OPEN SWITCH.");
  place(Label2, 10, 64, 29, 16);
  Label1 = Named(new QLabel("OPEN", control), "Label1", "Status of the OPEN SWITCH.");
  place(Label1, 54, 64, 43, 16);
  Label3 = Named(new QLabel("Buzzer=", control), "Label3");
  place(Label3, 10, 81, 47, 16);
  Label4 = Named(new QLabel("OFF", control), "Label4");
  place(Label4, 68, 81, 30, 16);
  for (QLabel* shown : {Label1, Label4}) {
    shown->setFont(bold);
    shown->setPalette(navy);
    shown->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  }
  auto button = [&](const char* name, const char* caption, const char* hint, int x, int y, int w, int h) {
    auto* push = Named(new QPushButton(caption, control), name, hint);
    place(push, x, y, w, h);
    push->setEnabled(false);
    push->setCursor(Qt::PointingHandCursor);
    return push;
  };
  status = button("status", "Get Status", "Update the I/O status from reader.", 7, 101, 103, 31);
  status->setCursor(Qt::ArrowCursor);
  one = button("one", "1S", "Pulse relay for one second.", 7, 138, 43, 31);
  two = button("two", "2S", "Pulse relay for two seconds.", 64, 138, 44, 31);
  column->addWidget(control);

  auto display = [&](const char* name, const char* caption, int height) {
    auto* panel = Named(new QLabel(caption, Panel2), name);
    panel->setFixedHeight(S(height));
    panel->setAlignment(Qt::AlignCenter);
    panel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    panel->setLineWidth(1);
    column->addWidget(panel);
    return panel;
  };
  Panel4 = display("Panel4", "1200 bps", 26);
  Panel5 = display("Panel5", "Mode 3", 23);

  GroupBox1 = Named(new QGroupBox("Advance Control", Panel2), "GroupBox1");
  GroupBox1->setFixedHeight(S(110));
  cbAutoBeep = Named(new QCheckBox("Control Lock", GroupBox1), "cbAutoBeep", "Pulse lock on valid card reading.");
  place(cbAutoBeep, 10, 20, 100, 21);
  cbAutoBeep->setChecked(true);
  cbIDmode = Named(new QCheckBox("ID Mode", GroupBox1), "cbIDmode", "Enable ID mode reader testing.");
  place(cbIDmode, 10, 44, 90, 21);
  Label5 = Named(new QLabel("ID", GroupBox1), "Label5");
  place(Label5, 30, 79, 13, 16);
  seMyID = Named(new QSpinBox(GroupBox1), "seMyID", "Reader's ID to be controlled.");
  place(seMyID, 49, 73, 51, 26);
  seMyID->setRange(0, 31);
  seMyID->setValue(0);
  seMyID->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
  column->addWidget(GroupBox1);
  column->addStretch(1);

  GroupBox5 = Named(new QGroupBox("Action", Panel2), "GroupBox5");
  GroupBox5->setFixedHeight(S(119));
  auto action = [&](const char* name, const char* caption, const char* hint, int y) {
    auto* push = Named(new QPushButton(caption, GroupBox5), name, hint);
    place(push, 7, y, 96, 31);
    push->setCursor(Qt::PointingHandCursor);
    return push;
  };
  Button4 = action("Button4", "Connect", "Establish connection to the card reader.", 18);
  Button1 = action("Button1", "&About", "About this software.", 50);
  Button2 = action("Button2", "E&xit", "Exit this software", 82);
  column->addWidget(GroupBox5);
}

void TForm1::SetTabOrder() {
  QWidget* order[] = {Button4,   Button1,       Button2,       CheckBox1,     CheckBox2, one,       two,
                      status,    seMyID,        cbIDmode,      cbAutoBeep,    Button3,   CheckBox3, CheckBox4,
                      CheckBox5, CheckBox6,     Button5,       comm1,         fmt0,      fmt1,      spd0,
                      spd1,      ModelItems[0], ModelItems[1], ModelItems[2], Memo1};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (shownOnce_) return;
  shownOnce_ = true;
  if (QScreen* screen = this->screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  Button4->setFocus(Qt::ActiveWindowFocusReason);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Image1 && event->type() == QEvent::MouseButtonPress) {
    auto* press = static_cast<QMouseEvent*>(event);
    Image1MouseDown(press->button(), press->modifiers());
  }
  return QWidget::eventFilter(watched, event);
}
