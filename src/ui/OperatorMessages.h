#pragma once

#include <QString>
#include <functional>

enum class MessageIcon { Error, Information };

// The program's message boxes and beep. Whoever owns them hands them to
// everything that shows a box or beeps, so that tests can record them instead
// of waiting on a modal box. A part left empty is the system's: a modal box
// of the toolkit, or the system's beep.
struct OperatorMessages {
  std::function<void(const QString& caption, const QString& text, MessageIcon icon)> show;
  std::function<void()> beep;

  void ShowBox(const QString& caption, const QString& text, MessageIcon icon) const;
  void Beep() const;
};
