// Feeds a server's bytes to the network device's Telnet/RFC 2217 parser in
// pieces whose sizes the input chooses, and checks what no server may cause:
// more data than it sent, replies beyond the session's bound, values beyond
// the sub-negotiation's bound; and that escaped data comes back whole.
//
// Input: the first byte chooses the piece size (1 to 256), the rest is what
// the server sends.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "TelnetSession.h"

namespace {

void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "broken: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using serialdev::TelnetSession;
  if (size == 0) return 0;
  const std::size_t piece = std::size_t{data[0]} + 1;
  TelnetSession session;
  std::string greeting = session.Opening();
  std::string received, replies;
  for (std::size_t at = 1; at < size; at += piece) {
    session.Receive(data + at, std::min(piece, size - at), received, replies);
    Check(received.size() <= at + piece, "more data than was sent");
  }
  Check(replies.size() <= 3u * TelnetSession::kReplyLimit, "replies beyond the session's bound");
  for (int c = 0; c <= TelnetSession::kPurgeData; ++c) {
    Check(session.LastAnswer(static_cast<TelnetSession::Command>(c)).size() <= TelnetSession::kValueLimit,
          "an answer beyond the value bound");
  }
  session.TakeModemReport();
  session.TakeLineState();

  // What the client escapes, a session reads back unchanged.
  const std::string escaped = TelnetSession::Escape(data, size);
  TelnetSession reader;
  std::string back, none;
  reader.Receive(reinterpret_cast<const std::uint8_t*>(escaped.data()), escaped.size(), back, none);
  Check(back == std::string(reinterpret_cast<const char*>(data), size), "escaped data changed");
  Check(none.empty(), "escaped data read as commands");
  return 0;
}
