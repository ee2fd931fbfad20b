// Writes the application icon as a PNG file, the picture of the desktop entry.
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>

#include <cstdio>

#include "Pictures.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FILE.png\n", argv[0]);
    return 2;
  }
  // Drawing needs the toolkit's GUI part, but no display.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (!ApplicationIcon().pixmap(32, 32).save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
    return 1;
  }
  return 0;
}
