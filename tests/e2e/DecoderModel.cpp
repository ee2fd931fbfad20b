#include "DecoderModel.h"

QString FamilyOf(unsigned char startFlag) {
  switch (startFlag) {
    case 0x02: return "Orvane series";
    case 0xD5: return "Wimsel series";
    case 0xE5: return "Pallox series";
    case 0xF5: return "Yorvel series";
    default: return {};
  }
}

QString CardLine(const QByteArray& data) {
  const auto byte = [&](int i) { return unsigned(static_cast<unsigned char>(data[i])); };
  const unsigned first = byte(0) << 8 | byte(1);
  const unsigned second = byte(2) << 16 | byte(3) << 8 | byte(4);
  return QString::asprintf("%5.5u:%10.10u", first, second);
}

void DecoderModel::Feed(const QByteArray& bytes) {
  for (char c : bytes) {
    timerRunning_ = true;
    Take(static_cast<unsigned char>(c));
  }
}

void DecoderModel::Silence() {
  if (!timerRunning_) return;
  Reset();
  lines.append("RESET");
}

void DecoderModel::Reset() {
  state_ = 0;
  remaining_ = 0;
  timerRunning_ = false;
}

void DecoderModel::Take(unsigned char b) {
  switch (state_) {
    case 0:
      if (!FamilyOf(b).isEmpty()) {
        startFlag_ = b;
        endFlag_ = b == 0x02 ? 0x03 : b + 5;
        state_ = idMode_ ? 6 : 1;
      }
      return;
    case 6:
      if (b < 0x20) {
        readerId = b;
        state_ = 1;
      } else {
        state_ = 0;
      }
      return;
    case 1:
      if (b == 0x06 || b == 0x02) {
        remaining_ = b - 1;
        checksum_ = 0;
        data_.clear();
        state_ = 2;
      } else {
        Reset();
      }
      return;
    case 2:
      data_.append(char(b));
      checksum_ = static_cast<unsigned char>(checksum_ + b);
      if (--remaining_ == 0) state_ = 3;
      return;
    case 3:
      if (b == checksum_)
        state_ = 4;
      else
        Reset();
      return;
    case 4:
      if (b == endFlag_) {
        lines.append(FamilyOf(startFlag_));
        if (idMode_) lines.append(QString("ID=%1").arg(readerId));
        if (data_.size() == 1) {
          ++oneByteFrames;
        } else {
          lines.append(CardLine(data_));
          ++cards;
        }
      }
      Reset();
      return;
    default: return;
  }
}
