#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace cmdline {

// A command line that cannot be used; the message names the option at fault.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The options of one program's command line: flags ("--json"), options with
// a value ("--speed 9600" or "--speed=9600") and the other arguments in their
// order. A value is taken as it stands, even when it looks like an option.
class OptionParser {
 public:
  using Handler = std::function<void(std::string_view value)>;

  // A flag under `name` and its other spellings ("-h"); a value given with
  // "=" is an error.
  OptionParser& Flag(std::vector<std::string> names, std::function<void()> seen);
  // An option that takes a value; `what` names the value in the message for
  // a missing one ("--record needs a file").
  OptionParser& Value(std::string name, Handler handler, std::string what = "a value");
  // What takes the arguments that are not options; without it, each is an error.
  OptionParser& Arguments(Handler handler);

  // Runs the handlers for argv[1..argc-1] in order; an unknown option, a
  // missing or unwanted value, or a handler's UsageError is raised.
  void Parse(int argc, const char* const* argv) const;
  // The same for a program that shares its command line with another reader
  // (the toolkit's -platform, -style): what is not this parser's stays in
  // argv in its order, argc counts it, argv[argc] is null.
  void Take(int& argc, char** argv) const;

 private:
  struct Option {
    std::vector<std::string> names;
    bool takesValue;
    Handler handler;
    std::string what;
  };
  const Option* Find(std::string_view name) const;
  // Handles argv[i] (and its value); false when it is none of this parser's.
  bool Handle(int argc, const char* const* argv, int& i, bool unknownIsError) const;

  std::vector<Option> options_;
  Handler arguments_;
};

// A whole number from `min` to `max` in `base`, else a UsageError naming the
// option: --cards: "x" is not a number from 0 to 1000.
long long Number(std::string_view option, std::string_view text, long long min, long long max, int base = 10);
// "a,b,c" into its parts, empty ones included.
std::vector<std::string_view> Split(std::string_view text, char separator = ',');
// Reader IDs: "0-31", "3,7,12" or both mixed, "1,4-6"; each once.
std::vector<int> IdList(std::string_view option, std::string_view text);

}  // namespace cmdline
