#pragma once

#include <QByteArray>
#include <QStringList>

// What the log must show for bytes received in binary framed mode with the
// trace off: a family line (and "ID=" line in ID mode) per good frame, the
// code line of a card frame, and "RESET" when the line goes quiet with the
// decoder inside a frame or after a stray byte. One-byte replies are
// counted but their own effects are not modelled.
class DecoderModel {
 public:
  explicit DecoderModel(bool idMode) : idMode_(idMode) {}

  void Feed(const QByteArray& bytes);
  // The line stays quiet for longer than the inter-byte timeout.
  void Silence();

  QStringList lines;
  int cards = 0;  // good card frames, each owed one event response
  int oneByteFrames = 0;
  int readerId = 0;

 private:
  void Reset();
  void Take(unsigned char b);

  bool idMode_;
  int state_ = 0;
  bool timerRunning_ = false;
  unsigned char startFlag_ = 0;
  unsigned char endFlag_ = 0;
  int remaining_ = 0;
  unsigned char checksum_ = 0;
  QByteArray data_;
};

// The family line of a start flag; empty for other bytes.
QString FamilyOf(unsigned char startFlag);
// The log line of a card code from its five data bytes.
QString CardLine(const QByteArray& data);
