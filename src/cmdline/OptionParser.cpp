#include "OptionParser.h"

#include <algorithm>
#include <charconv>

namespace cmdline {

OptionParser& OptionParser::Flag(std::vector<std::string> names, std::function<void()> seen) {
  options_.push_back({std::move(names), false, [seen = std::move(seen)](std::string_view) { seen(); }, {}});
  return *this;
}

OptionParser& OptionParser::Value(std::string name, Handler handler, std::string what) {
  options_.push_back({{std::move(name)}, true, std::move(handler), std::move(what)});
  return *this;
}

OptionParser& OptionParser::Arguments(Handler handler) {
  arguments_ = std::move(handler);
  return *this;
}

const OptionParser::Option* OptionParser::Find(std::string_view name) const {
  for (const Option& option : options_) {
    if (std::find(option.names.begin(), option.names.end(), name) != option.names.end()) return &option;
  }
  return nullptr;
}

bool OptionParser::Handle(int argc, const char* const* argv, int& i, bool unknownIsError) const {
  std::string_view arg = argv[i];
  std::string_view value;
  bool inlineValue = false;
  if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
    value = arg.substr(eq + 1);
    arg = arg.substr(0, eq);
    inlineValue = true;
  }
  const Option* option = Find(arg);
  if (!option) {
    const bool isOption = arg.size() > 1 && arg.starts_with('-');
    if (!unknownIsError) return false;
    if (isOption) throw UsageError("unknown option " + std::string(argv[i]));
    if (!arguments_) throw UsageError("unexpected argument \"" + std::string(arg) + "\"");
    arguments_(arg);
    return true;
  }
  const std::string name(arg);
  if (!option->takesValue) {
    if (inlineValue) throw UsageError(name + " takes no value");
    option->handler({});
    return true;
  }
  if (!inlineValue) {
    if (i + 1 >= argc) throw UsageError(name + " needs " + option->what);
    value = argv[++i];
  }
  option->handler(value);
  return true;
}

void OptionParser::Parse(int argc, const char* const* argv) const {
  for (int i = 1; i < argc; ++i) Handle(argc, argv, i, true);
}

void OptionParser::Take(int& argc, char** argv) const {
  int kept = argc > 0 ? 1 : 0;
  for (int i = kept; i < argc; ++i) {
    if (!Handle(argc, argv, i, false)) argv[kept++] = argv[i];
  }
  argc = kept;
  argv[kept] = nullptr;
}

long long Number(std::string_view option, std::string_view text, long long min, long long max, int base) {
  long long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < min || value > max) {
    throw UsageError(std::string(option) + ": \"" + std::string(text) + "\" is not a number from " +
                     std::to_string(min) + " to " + std::to_string(max));
  }
  return value;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const auto end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

std::vector<int> IdList(std::string_view option, std::string_view text) {
  std::vector<int> ids;
  for (const std::string_view part : Split(text)) {
    const auto dash = part.find('-');
    const int first = static_cast<int>(Number(option, part.substr(0, dash), 0, 31));
    const int last =
        dash == std::string_view::npos ? first : static_cast<int>(Number(option, part.substr(dash + 1), 0, 31));
    if (last < first) throw UsageError(std::string(option) + ": the range " + std::string(part) + " runs backwards");
    for (int id = first; id <= last; ++id) {
      if (std::find(ids.begin(), ids.end(), id) != ids.end()) {
        throw UsageError(std::string(option) + ": ID " + std::to_string(id) + " given twice");
      }
      ids.push_back(id);
    }
  }
  return ids;
}

}  // namespace cmdline
