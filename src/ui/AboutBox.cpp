#include "AboutBox.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>

#include "Pictures.h"

namespace {

// The layout is drawn for a 120 dpi screen and scaled to the actual one.
constexpr double kDesignDpi = 120.0;

const QString kNotice = QStringLiteral(
    "This software is meant only for testing our proximity card readers.\n"
    "\n"
    "For further information, please visit our web site at https://www.example.com/readers.\n"
    "\n"
    "The Corvan reader has to be connected through an RS-485 to RS-232 converter.\n"
    "\n"
    "It is recommended to have the following settings:\n"
    "- BEEP=OFF, i.e. disable local beep\n"
    "- MODE=ON, i.e. enable send code once");

QFrame* RaisedPanel(QWidget* parent, const QRect& place) {
  auto* panel = new QFrame(parent);
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel->setGeometry(place);
  return panel;
}

const QStringList kArial = {"Arial", "Liberation Sans"};

// Font heights are given in pixels at the design resolution, like the layout.
QFont ScaledFont(const QStringList& families, int pixels, double scale, bool bold = false) {
  QFont font;
  font.setFamilies(families);
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(qMax(1, qRound(pixels * scale)));
  font.setBold(bold);
  return font;
}

}  // namespace

Taboutbox::Taboutbox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
  const double scale = logicalDpiX() / kDesignDpi;
  const auto s = [scale](int pixels) { return qRound(pixels * scale); };
  const auto place = [&s](int left, int top, int width, int height) {
    return QRect(s(left), s(top), s(width), s(height));
  };

  setObjectName(QStringLiteral("aboutbox"));
  setWindowTitle(QStringLiteral("About this software"));
  setWindowIcon(ApplicationIcon());
  setFont(ScaledFont({"MS Sans Serif", "Liberation Sans", "DejaVu Sans"}, 14, scale));
  setFixedSize(s(514), s(352));

  Panel1 = RaisedPanel(this, place(0, 0, 514, 309));
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel2 = RaisedPanel(this, QRect(0, s(309), s(514), height() - s(309)));
  Panel2->setObjectName(QStringLiteral("Panel2"));

  Image3 = new QLabel(Panel1);
  Image3->setObjectName(QStringLiteral("Image3"));
  Image3->setPixmap(ApplicationIcon().pixmap(32, 32));
  Image3->setGeometry(s(10), s(10), 32, 32);

  Label2 = new QLabel(QStringLiteral("Velmora"), Panel1);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setGeometry(place(69, 10, 280, 24));
  Label2->setFont(ScaledFont(kArial, 20, scale, true));
  QPalette navy = Label2->palette();
  navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
  Label2->setPalette(navy);

  Label3 = new QLabel(QStringLiteral("Version 2.10"), Panel1);
  Label3->setObjectName(QStringLiteral("Label3"));
  Label3->setGeometry(place(69, 34, 100, 21));
  Label3->setFont(ScaledFont(kArial, 18, scale));

  Image1 = new QLabel(Panel1);
  Image1->setObjectName(QStringLiteral("Image1"));
  const QPixmap logo = LogoPicture();
  Image1->setPixmap(logo);
  Image1->setGeometry(QRect(QPoint(s(404), s(10)), logo.size()));

  RichEdit1 = new QTextEdit(Panel1);
  RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
  RichEdit1->setGeometry(place(68, 59, 435, 238));
  RichEdit1->setFont(ScaledFont(kArial, 18, scale));
  RichEdit1->setAcceptRichText(false);
  RichEdit1->setPlainText(kNotice);
  RichEdit1->setReadOnly(true);
  RichEdit1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  RichEdit1->setTabChangesFocus(true);
  RichEdit1->setLineWrapMode(QTextEdit::NoWrap);
  RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  RichEdit1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

  Button1 = new QPushButton(QStringLiteral("Cl&ose"), Panel2);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(place(414, 6, 87, 31));
  Button1->setCursor(Qt::PointingHandCursor);
  Button1->setToolTip(QStringLiteral("Close this dialog"));
  Button1->setAutoDefault(false);
  Button1->setDefault(false);
  connect(Button1, &QPushButton::clicked, this, &Taboutbox::Button1Click);

  setTabOrder(RichEdit1, Button1);
}

void Taboutbox::ShowModal() {
  RichEdit1->setLineWrapMode(QTextEdit::WidgetWidth);
  exec();
}

void Taboutbox::Button1Click() { close(); }

void Taboutbox::showEvent(QShowEvent* event) {
  if (const QScreen* shown = screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(shown->geometry().center());
    move(frame.topLeft());
  }
  RichEdit1->setFocus(Qt::OtherFocusReason);
  QDialog::showEvent(event);
}

// Escape must not close the box, and Enter presses Close only while Close has
// the focus: the dialog has neither a default nor a cancel button.
void Taboutbox::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape: event->accept(); return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (Button1->hasFocus()) {
        Button1->click();
      }
      event->accept();
      return;
    default: QDialog::keyPressEvent(event);
  }
}
