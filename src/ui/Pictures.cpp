#include "Pictures.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

// A card with radio waves coming off its corner, on the given background;
// drawn without antialiasing so that it keeps to the 16 standard colours.
QPixmap CardImage(int size, QColor background, QColor card) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  const qreal u = size / 16.0;
  p.setPen(Qt::NoPen);
  p.setBrush(background);
  p.drawRoundedRect(QRectF(0, 0, size, size), 3 * u, 3 * u);
  p.setBrush(card);
  p.drawRoundedRect(QRectF(2 * u, 6 * u, 9 * u, 7 * u), u, u);
  p.setBrush(Qt::black);
  p.drawRect(QRectF(3 * u, 8 * u, 3 * u, 2 * u));
  p.setPen(QPen(card, qMax<qreal>(1.0, u), Qt::SolidLine, Qt::FlatCap));
  p.setBrush(Qt::NoBrush);
  for (int i = 1; i <= 2; ++i) {
    const qreal r = (2.5 + 2.5 * i) * u;
    p.drawArc(QRectF(11 * u - r, 5 * u - r, 2 * r, 2 * r), 0 * 16, 90 * 16);
  }
  return pixmap;
}

QIcon IconOf(QColor background, QColor card) {
  QIcon icon;
  icon.addPixmap(CardImage(16, background, card));
  icon.addPixmap(CardImage(32, background, card));
  return icon;
}

}  // namespace

QPixmap LogoPicture() {
  QPixmap pixmap(80, 28);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, 28);
  sky.setColorAt(0, QColor(24, 54, 120));
  sky.setColorAt(1, QColor(10, 26, 70));
  p.fillRect(pixmap.rect(), sky);
  p.setPen(QPen(QColor(250, 190, 40), 2));
  p.drawArc(QRectF(-10, 6, 24, 24), 0, 90 * 16);
  p.drawArc(QRectF(-4, 12, 12, 12), 0, 90 * 16);
  QFont font;
  font.setFamilies({"DejaVu Sans", "Liberation Sans"});
  font.setPixelSize(13);
  font.setBold(true);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRect(17, 0, 62, 28), Qt::AlignCenter, "Velmora");
  return pixmap;
}

QIcon MainWindowIcon() { return IconOf(QColor(0, 0, 128), QColor(255, 255, 0)); }

QIcon ApplicationIcon() { return IconOf(QColor(0, 128, 128), QColor(255, 255, 255)); }
