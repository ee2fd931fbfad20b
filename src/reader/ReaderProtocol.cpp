#include "ReaderProtocol.h"

#include <utility>

#include "ProtocolText.h"
#include "ReaderFamily.h"
#include "ReaderLink.h"
#include "ReaderPanel.h"

namespace {

constexpr std::uint8_t kLineFeed = 0x0A;
constexpr std::uint8_t kCarriageReturn = 0x0D;
constexpr std::uint8_t kFirstInvalidId = 0x20;

bool IsLineCharacter(std::uint8_t b) {
  return b == ',' || (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || b == 's';
}

}  // namespace

ReaderProtocol::ReaderProtocol(ReaderPanel& panel, ReaderLink& link, Clock clock)
    : panel_(panel), link_(link), clock_(std::move(clock)) {}

void ReaderProtocol::ComPort1RxChar(int Count) {
  const std::string received = Count > 0 ? link_.ReceiveText(Count) : std::string();
  // The data format is read once per chunk: a reply that changes it takes
  // effect with the next chunk.
  const bool framed = panel_.Fmt0() && panel_.Fmt1();
  const std::string count = std::to_string(Count);
  if (framed) {
    Trace("Framed <" + count + ">");
  } else {
    Trace("ASCII [" + count + "]" + TraceText(received) + "<" + count + ">");
  }
  for (const char c : received) {
    const auto b = static_cast<std::uint8_t>(c);
    panel_.StartInterByteTimer(InterByteTimeout);
    Trace("[" + std::to_string(state_.DecoderState) + "]" + HexByte(b));
    if (framed) {
      DecodeFramed(b);
    } else {
      DecodeAscii(b);
    }
  }
}

void ReaderProtocol::DecodeFramed(std::uint8_t b) {
  switch (state_.DecoderState) {
    case 0:
      if (const ReaderFamily* family = FamilyForStartFlag(b)) {
        state_.FrameStartFlag = family->StartFlag;
        state_.FrameEndFlag = family->EndFlag;
        state_.DecoderState = panel_.IdMode() ? 6 : 1;
      }
      break;
    case 6:
      if (b < kFirstInvalidId) {
        state_.ReaderId = b;
        state_.DecoderState = 1;
      } else {
        state_.DecoderState = 0;
      }
      break;
    case 1:
      if (b == 0x06 || b == 0x02) {
        state_.FrameRemaining = b - 1;
        state_.FrameLength = 0;
        state_.FrameChecksum = 0;
        state_.DecoderState = 2;
      } else {
        Trace("wrong length");
        ResetDecoder();
      }
      break;
    case 2:
      // Handlers nested in a wait share this state; the bound keeps a frame
      // inside FrameData whatever they did to it.
      if (state_.FrameRemaining > 0) --state_.FrameRemaining;
      if (state_.FrameLength < state_.FrameData.size()) state_.FrameData[state_.FrameLength++] = b;
      state_.FrameChecksum = static_cast<std::uint8_t>(state_.FrameChecksum + b);
      if (state_.FrameRemaining == 0) state_.DecoderState = 3;
      break;
    case 3:
      Trace("{" + HexByte(state_.FrameChecksum) + "}");
      if (b == state_.FrameChecksum) {
        state_.DecoderState = 4;
      } else {
        Trace("chksum error");
        ResetDecoder();
      }
      break;
    case 4:
      if (b == state_.FrameEndFlag) {
        Trace("good code");
        panel_.StopInterByteTimer();
        if (const ReaderFamily* family = FamilyForStartFlag(state_.FrameStartFlag)) panel_.AppendLog(family->Name);
        InterpretFrame();
      } else {
        Trace("end flag error");
      }
      ResetDecoder();
      break;
    default: break;
  }
}

void ReaderProtocol::DecodeAscii(std::uint8_t b) {
  switch (state_.DecoderState) {
    case 0:
      if (b == kLineFeed) {
        state_.DecoderState = 5;
      } else if (IsLineCharacter(b)) {
        if (state_.AsciiLine.size() < AsciiLineLimit) state_.AsciiLine += static_cast<char>(b);
      } else {
        ResetDecoder();
      }
      break;
    case 5:
      if (b == kCarriageReturn) {
        panel_.StopInterByteTimer();
        InterpretAsciiLine();
      }
      break;
    default: break;
  }
}

void ReaderProtocol::ResetDecoder() {
  DropTransmitLine();
  state_.DecoderState = 0;
  state_.AsciiLine.clear();
  state_.FrameRemaining = 0;
  panel_.StopInterByteTimer();
  Trace("reset");
}

void ReaderProtocol::Timer1Timer() {
  ResetDecoder();
  panel_.StopInterByteTimer();
  panel_.AppendLog("RESET");
}

void ReaderProtocol::Trace(const std::string& line) {
  if (state_.TraceEnabled) panel_.AppendLog(line);
}
