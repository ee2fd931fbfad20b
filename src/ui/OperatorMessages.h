#pragma once

#include <QString>
#include <functional>

// Every message box and beep of the program goes through here, so that tests
// can record them instead of waiting on a modal box.
enum class MessageIcon { Error, Information };

struct OperatorMessages {
  std::function<void(const QString& caption, const QString& text, MessageIcon icon)> show;
  std::function<void()> beep;

  // The current route; the toolkit's modal box and QApplication::beep() until replaced.
  static OperatorMessages& Route();
  static void ShowBox(const QString& caption, const QString& text, MessageIcon icon);
  static void Beep();
};
