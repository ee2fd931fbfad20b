#include "CommandParser.h"

#include <string_view>

namespace vreader {

namespace {
constexpr std::string_view Commands = "?OoLlRr120";
}

void CommandParser::junk(std::vector<ParsedCommand>& out, std::string reason) {
  if (!out.empty() && out.back().text.empty() && out.back().reason == reason)
    out.back().junk.insert(out.back().junk.end(), pending_.begin(), pending_.end());
  else
    out.push_back({std::nullopt, {}, pending_, std::move(reason)});
  pending_.clear();
  id_.reset();
  stage_ = Stage::LeadIn;
}

std::vector<ParsedCommand> CommandParser::feed(std::span<const std::uint8_t> bytes) {
  std::vector<ParsedCommand> out;
  for (auto b : bytes) {
    // A lead-in inside an unfinished command starts a new one; an ID byte may take any value.
    if (b == '~' && stage_ != Stage::LeadIn && stage_ != Stage::Id) junk(out, "unfinished");
    pending_.push_back(b);
    switch (stage_) {
      case Stage::LeadIn:
        if (b == '~')
          stage_ = idMode_ ? Stage::Id : Stage::Command;
        else
          junk(out, "outside");
        break;
      case Stage::Id:
        id_ = b;
        stage_ = Stage::Command;
        break;
      case Stage::Command:
        if (Commands.find(char(b)) == std::string_view::npos) {
          junk(out, "unknown");
        } else if (b == 'o') {
          stage_ = Stage::OptionLetter;
        } else {
          out.push_back({id_, std::string(1, char(b)), {}, {}});
          pending_.clear();
          id_.reset();
          stage_ = Stage::LeadIn;
        }
        break;
      case Stage::OptionLetter:
        if (b < 'A' || b > 'P') {
          junk(out, "bad-option-letter");
        } else {
          out.push_back({id_, std::string{'o', char(b)}, {}, {}});
          pending_.clear();
          id_.reset();
          stage_ = Stage::LeadIn;
        }
        break;
    }
  }
  return out;
}

std::optional<ParsedCommand> CommandParser::abandon() {
  if (!partial()) return std::nullopt;
  std::vector<ParsedCommand> out;
  junk(out, "unfinished");
  return out.front();
}

}  // namespace vreader
