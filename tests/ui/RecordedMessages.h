#pragma once

#include <QString>
#include <vector>

#include "OperatorMessages.h"

// Routes the program's message boxes and beeps into lists while it lives.
class RecordedMessages {
 public:
  struct Box {
    QString caption;
    QString text;
    MessageIcon icon;
  };

  RecordedMessages() : saved_(OperatorMessages::Route()) {
    OperatorMessages::Route() = {[this](const QString& caption, const QString& text, MessageIcon icon) {
                                   boxes.push_back({caption, text, icon});
                                 },
                                 [this] { ++beeps; }};
  }
  ~RecordedMessages() { OperatorMessages::Route() = saved_; }
  RecordedMessages(const RecordedMessages&) = delete;
  RecordedMessages& operator=(const RecordedMessages&) = delete;

  std::vector<Box> boxes;
  int beeps = 0;

 private:
  OperatorMessages saved_;
};
