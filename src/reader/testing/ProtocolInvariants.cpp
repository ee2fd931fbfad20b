#include "ProtocolInvariants.h"

#include <algorithm>

#include "ProtocolState.h"
#include "ReaderProtocol.h"

namespace {

// An "ASCII [n]" trace line shows each byte in at most four characters.
std::size_t TraceLineBound(std::size_t chunkSize) {
  const std::size_t digits = std::to_string(chunkSize).size();
  return std::string("ASCII []<>").size() + 2 * digits + 4 * chunkSize;
}

}  // namespace

std::string BrokenInvariant(const ProtocolState& state, const std::vector<std::string>& linesOfChunk,
                            std::size_t chunkSize) {
  if (state.DecoderState > 6) return "decoder state " + std::to_string(state.DecoderState);
  if (state.AsciiLine.size() > ReaderProtocol::AsciiLineLimit)
    return "line buffer of " + std::to_string(state.AsciiLine.size()) + " characters";
  if (state.FrameLength > state.FrameData.size()) return "frame length " + std::to_string(state.FrameLength);
  for (const std::string& line : linesOfChunk) {
    const bool trace = line.starts_with("ASCII [");
    const std::size_t bound = trace ? TraceLineBound(chunkSize) : ReaderProtocol::AsciiLineLimit;
    if (line.size() > bound) return "log line of " + std::to_string(line.size()) + " characters: " + line.substr(0, 40);
    if (std::any_of(line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
      return "control character in log line: " + line.substr(0, 40);
  }
  return {};
}
