#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct ProtocolState;

// What must hold after any chunk of received bytes, whatever they were:
// the state is a known one, the line within its bound, and every log line
// written for the chunk is one line within its bound. Returns what is
// broken, or an empty text.
std::string BrokenInvariant(const ProtocolState& state, const std::vector<std::string>& linesOfChunk,
                            std::size_t chunkSize);
