#pragma once

#include <QIcon>
#include <QPixmap>

// The pictures of the program, drawn in code.
QPixmap LogoPicture();    // 80 x 28, shown on the main window and the about box
QIcon MainWindowIcon();   // title bar of the main window, 16 x 16 and 32 x 32
QIcon ApplicationIcon();  // taskbar and about box, 16 x 16 and 32 x 32
