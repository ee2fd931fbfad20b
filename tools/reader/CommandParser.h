#pragma once

#include "Wire.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vreader {

// What the parser makes of the bytes from the line: a complete command
// ("~" [ID] command [option letter]) or bytes that form none.
struct ParsedCommand {
  std::optional<std::uint8_t> id;
  std::string text;  // "?", "O", "oI", "L", ... empty for junk
  Bytes junk;
  std::string reason;
};

class CommandParser {
 public:
  explicit CommandParser(bool idMode) : idMode_(idMode) {}

  std::vector<ParsedCommand> feed(std::span<const std::uint8_t> bytes);
  bool partial() const { return stage_ != Stage::LeadIn; }
  // A command left unfinished (the line went quiet) is reported as junk.
  std::optional<ParsedCommand> abandon();

 private:
  enum class Stage { LeadIn, Id, Command, OptionLetter };
  void junk(std::vector<ParsedCommand>& out, std::string reason);

  bool idMode_;
  Stage stage_ = Stage::LeadIn;
  Bytes pending_;
  std::optional<std::uint8_t> id_;
};

}  // namespace vreader
