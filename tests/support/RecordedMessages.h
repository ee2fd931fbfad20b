#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "OperatorMessages.h"

// Message boxes and beeps recorded into lists; Messages() is what the code
// under test is given to show and beep with. It must outlive that code.
class RecordedMessages {
 public:
  struct Box {
    QString caption;
    QString text;
    MessageIcon icon;
  };

  RecordedMessages() = default;
  RecordedMessages(const RecordedMessages&) = delete;
  RecordedMessages& operator=(const RecordedMessages&) = delete;

  OperatorMessages Messages() {
    return {[this](const QString& caption, const QString& text, MessageIcon icon) {
              if (whileShown) whileShown();
              boxes.push_back({caption, text, icon});
            },
            [this] { ++beeps; }};
  }

  std::vector<Box> boxes;
  int beeps = 0;
  // Runs as each box is shown, before it is recorded.
  std::function<void()> whileShown;
};
