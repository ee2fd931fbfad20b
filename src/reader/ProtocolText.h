#pragma once

#include <cstdint>
#include <string>

// The texts the protocol writes into the log.

// Two upper-case hexadecimal digits: 0x0F gives "0F".
std::string HexByte(std::uint8_t value);

// A card code as "%5.5d:%10.10d": 258 and 197637 give "00258:0000197637".
std::string CardCodeLine(std::uint32_t first, std::uint32_t second);

// Received bytes shown on one trace line: line feed as <LF>, carriage return
// as <CR>, any other byte below 0x20 as <hh>; all others as they are.
std::string TraceText(const std::string& bytes);
