#include "CheckOptions.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>

namespace {

constexpr unsigned kSpeeds[] = {1200, 9600, 38400, 115200};
constexpr const char* kModels[] = {"Alvex", "Brenta", "Corvan"};

struct Invalid {
  std::string message;
};

int Number(std::string_view option, std::string_view text, int min, int max) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < min || value > max) {
    throw Invalid{std::string(option) + ": \"" + std::string(text) + "\" is not a number from " +
                  std::to_string(min) + " to " + std::to_string(max)};
  }
  return value;
}

unsigned Speed(std::string_view option, std::string_view text) {
  const int value = Number(option, text, 0, 1 << 30);
  if (std::find(std::begin(kSpeeds), std::end(kSpeeds), unsigned(value)) == std::end(kSpeeds)) {
    throw Invalid{std::string(option) + ": " + std::string(text) + " is not one of 1200, 9600, 38400, 115200"};
  }
  return unsigned(value);
}

std::vector<std::string_view> Split(std::string_view text) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const auto comma = text.find(',', start);
    parts.push_back(text.substr(start, comma - start));
    if (comma == std::string_view::npos) return parts;
    start = comma + 1;
  }
}

// "0-31", "3,7,12" or both mixed: "1,4-6".
std::vector<int> Ids(std::string_view option, std::string_view text) {
  std::vector<int> ids;
  for (const std::string_view part : Split(text)) {
    const auto dash = part.find('-');
    const int first = Number(option, part.substr(0, dash), 0, 31);
    const int last = dash == std::string_view::npos ? first : Number(option, part.substr(dash + 1), 0, 31);
    if (last < first) throw Invalid{std::string(option) + ": the range " + std::string(part) + " runs backwards"};
    for (int id = first; id <= last; ++id) {
      if (std::find(ids.begin(), ids.end(), id) != ids.end()) {
        throw Invalid{std::string(option) + ": ID " + std::to_string(id) + " given twice"};
      }
      ids.push_back(id);
    }
  }
  return ids;
}

int Model(std::string_view text) {
  for (int i = 0; i < 3; ++i) {
    const std::string_view name = kModels[i];
    const bool same = name.size() == text.size() &&
                      std::equal(name.begin(), name.end(), text.begin(),
                                 [](char a, char b) { return std::tolower(a) == std::tolower(b); });
    if (same || text == std::to_string(i)) return i;
  }
  throw Invalid{"--model: \"" + std::string(text) + "\" is not Alvex, Brenta or Corvan (0, 1, 2)"};
}

}  // namespace

CheckOptions CheckOptions::Parse(int argc, const char* const* argv) {
  CheckOptions o;
  bool speedGiven = false, modelGiven = false;
  std::vector<std::string_view> scanOnly, testOnly;
  try {
    for (int i = 1; i < argc; ++i) {
      std::string_view arg = argv[i];
      std::string_view value;
      bool inlineValue = false;
      if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
        value = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
        inlineValue = true;
      }
      auto next = [&]() -> std::string_view {
        if (inlineValue) return value;
        if (i + 1 >= argc) throw Invalid{std::string(arg) + " needs a value"};
        return argv[++i];
      };
      auto flag = [&] {
        if (inlineValue) throw Invalid{std::string(arg) + " takes no value"};
      };
      if (arg == "--help" || arg == "-h") {
        flag();
        o.help = true;
      } else if (arg == "--settings") {
        o.settings = next();
      } else if (arg == "--record") {
        o.record = next();
        if (o.record.empty()) throw Invalid{"--record needs a file"};
      } else if (arg == "--speeds") {
        o.scan.speeds.clear();
        for (const auto part : Split(next())) o.scan.speeds.push_back(Speed(arg, part));
        scanOnly.push_back(arg);
      } else if (arg == "--ids") {
        o.scan.ids = Ids(arg, next());
        scanOnly.push_back(arg);
      } else if (arg == "--options") {
        flag();
        o.scan.options = true;
        scanOnly.push_back(arg);
      } else if (arg == "--json") {
        flag();
        o.json = true;
        scanOnly.push_back(arg);
      } else if (arg == "--model") {
        o.test.model = Model(next());
        modelGiven = true;
        testOnly.push_back(arg);
      } else if (arg == "--speed") {
        o.test.speed = Speed(arg, next());
        speedGiven = true;
        testOnly.push_back(arg);
      } else if (arg == "--format") {
        o.test.format = Number(arg, next(), 0, 3);
        testOnly.push_back(arg);
      } else if (arg == "--id") {
        o.test.id = Number(arg, next(), 0, 31);
        testOnly.push_back(arg);
      } else if (arg == "--cards") {
        o.test.cards = Number(arg, next(), 0, 1000);
        testOnly.push_back(arg);
      } else if (arg == "--card-timeout") {
        o.test.cardTimeout = Number(arg, next(), 1, 3600);
        testOnly.push_back(arg);
      } else if (arg == "--lock") {
        flag();
        o.test.lock = true;
        testOnly.push_back(arg);
      } else if (arg == "--switch") {
        flag();
        o.test.switchStep = true;
        testOnly.push_back(arg);
      } else if (arg == "--junit") {
        o.junit = next();
        if (o.junit.empty()) throw Invalid{"--junit needs a file"};
        testOnly.push_back(arg);
      } else if (arg == "--repeat") {
        flag();
        o.repeat = true;
        testOnly.push_back(arg);
      } else if (arg.starts_with("-") && arg.size() > 1) {
        throw Invalid{"unknown option " + std::string(argv[i])};
      } else if (o.command == None) {
        if (arg == "scan") {
          o.command = ScanCommand;
        } else if (arg == "test") {
          o.command = TestCommand;
        } else {
          throw Invalid{"unknown command \"" + std::string(arg) + "\" (scan or test)"};
        }
      } else if (o.port.empty()) {
        o.port = arg;
        if (o.port.empty()) throw Invalid{"the port name is empty"};
      } else {
        throw Invalid{"unexpected argument \"" + std::string(arg) + "\""};
      }
    }
    if (o.help) return o;
    if (o.command == None) throw Invalid{"no command given (scan or test)"};
    if (o.port.empty()) throw Invalid{"no port given"};
    if (o.command == ScanCommand && !testOnly.empty()) throw Invalid{std::string(testOnly[0]) + " belongs to test"};
    if (o.command == TestCommand && !scanOnly.empty()) throw Invalid{std::string(scanOnly[0]) + " belongs to scan"};
    if (o.command == TestCommand && !modelGiven) throw Invalid{"test needs --model"};
    if (o.command == TestCommand && !speedGiven) throw Invalid{"test needs --speed"};
  } catch (const Invalid& invalid) {
    o.error = invalid.message;
  }
  return o;
}

const char* CheckOptions::Usage() {
  return R"usage(Usage: trellum-check scan PORT [--speeds LIST] [--ids LIST] [--options] [--json]
       trellum-check test PORT --model M --speed S [--format F] [--id N] [--cards N]
                     [--card-timeout S] [--lock] [--switch] [--junit FILE] [--repeat]
       trellum-check --help
Finds the card readers on a serial line, or tests one reader step by step,
without a window. Progress goes to standard error, results to standard output.

PORT is named as in trellum's window: a device path (/dev/ttyUSB0), a reader
behind a device server (rfc2217://HOST:PORT, or socket://HOST:PORT for data
only), or COM1..COM8, which stand for what the [Ports] section of the settings
file names, else for the machine's serial ports in their automatic order (on
Windows, COMn is the system's own port).

scan: for each speed and both encodings (binary frames of "Mode 3", ASCII lines
of modes 0 to 2), asks for the I/O status and lists every reader that answers:
speed, ID, format, family, switch, outputs, buzzer (and options).
  --speeds LIST       speeds to try (default 1200,9600,38400,115200)
  --ids LIST          ID mode: ask each ID of LIST, e.g. 0-31 or 1,4-6 (default:
                      ID mode off, one status request per speed and encoding)
  --options           ask each reader found for its options as well
  --json              one JSON object a line per reader, then per line problem
                      ({"problem": ...}) instead of the table
Each request waits 30 ms plus two 10-byte replies at the speed after the
command's RTS cycle (197 ms at 1200 bit/s, 51 ms at 9600, 35 ms at 38400,
31 ms at 115200), and the line is listened to for 300 ms after each pass: a
reply that comes later is still listed, with its ID and "late reply". Replies
from an ID not asked, two answers to one request and broken frames (checksum,
end flag, length) are listed as problems with the bytes seen. The time the
scan took is printed.

test: an acceptance run of one reader, each step PASS, FAIL or SKIP with its
reason (and the bytes seen when it fails):
  1 status        a status request answered within 500 ms
  2 options       second and third model: read, write the same back, read back equal
  3 outputs       output 1 on, status shows it on; off, status shows it off; output 2 the same
  4 relay pulses  second and third model: after "1" the relay is on, and off again
                  between 0.8 s and 1.5 s after it; the same for "2" (1.8 s to 2.5 s)
  5 cards         card codes within the time-out, answered with the event response
  6 switch        with --switch: the switch closes and opens within the time-out
The reader's outputs and options are put back as they were found at the end,
also after a failure or Ctrl+C.
  --model M       Alvex, Brenta or Corvan (or 0, 1, 2)
  --speed S       1200, 9600, 38400 or 115200
  --format F      the reader's data format, 0 to 3 ("Mode 3", binary frames, by default)
  --id N          ID mode: test the reader with ID N (0 to 31)
  --cards N       card codes to read (default 1; 0 skips the step)
  --card-timeout S  seconds to wait for the cards, and for the switch (default 10)
  --lock          answer card codes with "Control Lock" ("0", "L", "1", "l")
  --switch        add the switch step
  --junit FILE    write the result as JUnit XML (a testsuite per reader run,
                  a testcase per step), after every run
  --repeat        after each run, wait for the port's device to go away and come
                  back (the next reader on a USB adapter) and test again, runs
                  numbered, until Ctrl+C

Both:
  --settings FILE  the settings file whose [Ports] name the COMn (default:
                   trellum.INI beside this program, the window's own)
  --record FILE    append the session record (the window's format: connect,
                   rts, tx, rx, log, line-error, error, removed) to FILE
  --help           show this help

Exit status: 0 every step passed / a reader was found; 1 a step failed / no
reader was found; 2 a usage error, or the port could not be opened (its error
is printed, e.g. "Unable to open com port (win error code: 2)").
)usage";
}
