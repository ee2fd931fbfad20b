#include "TelnetSession.h"

#include <gtest/gtest.h>

#include <string>

using serialdev::TelnetSession;

namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string text;
  for (int v : values) text.push_back(static_cast<char>(v));
  return text;
}

constexpr int IAC = 255, SB = 250, SE = 240, WILL = 251, WONT = 252, DO = 253, DONT = 254;

struct Fed {
  std::string data;
  std::string replies;
};

Fed Feed(TelnetSession& session, const std::string& bytes, size_t piece = 0) {
  Fed fed;
  const size_t step = piece == 0 ? bytes.size() : piece;
  for (size_t at = 0; at < bytes.size(); at += step) {
    const size_t n = std::min(step, bytes.size() - at);
    session.Receive(reinterpret_cast<const uint8_t*>(bytes.data()) + at, n, fed.data, fed.replies);
  }
  return fed;
}

std::string Repeat(const std::string& part, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += part;
  return out;
}

struct Case {
  const char* name;
  std::string input;
  std::string data;     // data bytes expected
  std::string replies;  // negotiation replies expected
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class TelnetInput : public ::testing::TestWithParam<Case> {};

// Each input fed whole and byte by byte gives the same data and replies.
TEST_P(TelnetInput, GivesTheDataAndRepliesWholeAndInPieces) {
  const Case& c = GetParam();
  for (size_t piece : {size_t{0}, size_t{1}}) {
    TelnetSession session;
    session.Opening();
    const Fed fed = Feed(session, c.input, piece);
    EXPECT_EQ(fed.data, c.data) << "piece " << piece;
    EXPECT_EQ(fed.replies, c.replies) << "piece " << piece;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TelnetInput,
    ::testing::Values(
        Case{"EscapedIacIsOneDataByte", "a" + Bytes({IAC, IAC}) + "b" + Bytes({0, 13}), "a\xff" "b" + Bytes({0, 13}), ""},
        // ser2net's greeting: DO COM-PORT-OPTION answers our WILL (no reply),
        // WILL ECHO is refused.
        Case{"EchoRefusedAnsweredOptionsQuiet", Bytes({IAC, DO, 44, IAC, WILL, 1, IAC, WILL, 0, IAC, DO, 3}), "",
             Bytes({IAC, DONT, 1})},
        Case{"RefusalOncePerOption", Repeat(Bytes({IAC, WILL, 1, IAC, DO, 24}), 1000), "",
             Bytes({IAC, DONT, 1, IAC, WONT, 24})},
        Case{"EnableDisableLoopIsBounded", Repeat(Bytes({IAC, DONT, 0, IAC, DO, 0}), 5000), "",
             Repeat(Bytes({IAC, WILL, 0, IAC, WONT, 0}), TelnetSession::kReplyLimit / 2)},
        Case{"OverlongSubnegotiationIsDroppedWhole",
             Bytes({IAC, SB, 44, 101}) + std::string(100000, 'x') + Bytes({IAC, SE}) + "ok", "ok", ""},
        Case{"CommandInsideSubnegotiationEndsIt", Bytes({IAC, SB, 44, 101, 0, IAC, WILL, 1}) + "z", "z",
             Bytes({IAC, DONT, 1})},
        Case{"OtherOptionsSubnegotiationSkipped", Bytes({IAC, SB, 24, 1, IAC, IAC, IAC, SE}) + "q", "q", ""},
        Case{"OneByteCommandsVanish", Bytes({IAC, 241, 'a', IAC, 249, 'b'}), "ab", ""}));

TEST(TelnetSession, AnswersAreCountedWithTheirValuesAndNotificationsKeptApart) {
  TelnetSession session;
  session.Opening();
  EXPECT_EQ(session.ComPort(), TelnetSession::ComPortState::Pending);
  Feed(session, Bytes({IAC, DO, 44, IAC, SB, 44, 101, 0, 0, 0x25, 0x80, IAC, SE}), 1);
  EXPECT_EQ(session.ComPort(), TelnetSession::ComPortState::Accepted);
  EXPECT_EQ(session.Answers(TelnetSession::kSetBaudRate), 1u);
  EXPECT_EQ(session.LastAnswer(TelnetSession::kSetBaudRate), Bytes({0, 0, 0x25, 0x80}));
  // An escaped 0xFF inside a value.
  Feed(session, Bytes({IAC, SB, 44, 101, 0, 0, IAC, IAC, 0, IAC, SE}));
  EXPECT_EQ(session.LastAnswer(TelnetSession::kSetBaudRate), Bytes({0, 0, 0xFF, 0}));

  // Two line-state reports between takes are or-ed; modem changes add up,
  // RI counts when it rises.
  Feed(session, Bytes({IAC, SB, 44, 106, 0x08, IAC, SE, IAC, SB, 44, 106, 0x02, IAC, SE}));
  EXPECT_EQ(session.TakeLineState(), 0x0A);
  EXPECT_EQ(session.TakeLineState(), 0);
  Feed(session, Bytes({IAC, SB, 44, 107, 0x11, IAC, SE, IAC, SB, 44, 107, 0x30 | 0x02, IAC, SE}));
  auto modem = session.TakeModemReport();
  EXPECT_TRUE(modem.reported);
  EXPECT_EQ(modem.state, 0x30);
  EXPECT_EQ(modem.changed, 0x30);
  Feed(session, Bytes({IAC, SB, 44, 107, 0x70, IAC, SE, IAC, SB, 44, 107, 0x30, IAC, SE}));
  modem = session.TakeModemReport();
  EXPECT_EQ(modem.changed, 0x40);
  EXPECT_EQ(session.Answers(TelnetSession::kSetControl), 0u);

  TelnetSession refused;
  refused.Opening();
  Feed(refused, Bytes({IAC, DONT, 44}));
  EXPECT_EQ(refused.ComPort(), TelnetSession::ComPortState::Refused);
}

TEST(TelnetSession, RequestsEscapeTheirValues) {
  EXPECT_EQ(TelnetSession::Request(TelnetSession::kSetBaudRate, Bytes({0, 0, 0xFF, 0})),
            Bytes({IAC, SB, 44, 1, 0, 0, IAC, IAC, 0, IAC, SE}));
  const std::string data = Bytes({1, 0xFF, 0xFF, 2});
  EXPECT_EQ(TelnetSession::Escape(reinterpret_cast<const uint8_t*>(data.data()), data.size()),
            Bytes({1, IAC, IAC, IAC, IAC, 2}));
}

}  // namespace
