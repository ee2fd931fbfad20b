#include "CheckOptions.h"

#include <algorithm>
#include <cctype>
#include <utility>
#include <string_view>

#include "OptionParser.h"

namespace {

using cmdline::Number;
using cmdline::UsageError;

constexpr unsigned kSpeeds[] = {1200, 9600, 38400, 115200};

unsigned Speed(std::string_view option, std::string_view text) {
  const auto value = static_cast<unsigned>(Number(option, text, 0, 1 << 30));
  if (std::find(std::begin(kSpeeds), std::end(kSpeeds), value) == std::end(kSpeeds)) {
    throw UsageError(std::string(option) + ": " + std::string(text) + " is not one of 1200, 9600, 38400, 115200");
  }
  return value;
}

int Model(std::string_view text) {
  for (int i = 0; i < 3; ++i) {
    const std::string_view name = kModelNames[i];
    const bool same = name.size() == text.size() &&
                      std::equal(name.begin(), name.end(), text.begin(),
                                 [](char a, char b) { return std::tolower(a) == std::tolower(b); });
    if (same || text == std::to_string(i)) return i;
  }
  throw UsageError("--model: \"" + std::string(text) + "\" is not Alvex, Brenta or Corvan (0, 1, 2)");
}

int Int(std::string_view option, std::string_view text, int min, int max) {
  return static_cast<int>(Number(option, text, min, max));
}

}  // namespace

CheckOptions CheckOptions::Parse(int argc, const char* const* argv) {
  CheckOptions o;
  bool speedGiven = false, modelGiven = false;
  // Options of one command only: the first one given is named when the other command runs.
  std::vector<std::string> scanOnly, testOnly;
  cmdline::OptionParser parser;
  parser.Flag({"--help", "-h"}, [&] { o.help = true; })
      .Value("--settings", [&](std::string_view v) { o.settings = v; })
      .Value(
          "--record",
          [&](std::string_view v) {
            if (v.empty()) throw UsageError("--record needs a file");
            o.record = v;
          },
          "a file")
      .Value("--speeds",
             [&](std::string_view v) {
               o.scan.speeds.clear();
               for (const auto part : cmdline::Split(v)) o.scan.speeds.push_back(Speed("--speeds", part));
               scanOnly.push_back("--speeds");
             })
      .Value("--ids", [&](std::string_view v) { o.ids = cmdline::IdList("--ids", v); })
      .Flag({"--options"},
            [&] {
              o.scan.options = true;
              scanOnly.push_back("--options");
            })
      .Flag({"--json"},
            [&] {
              o.json = true;
              scanOnly.push_back("--json");
            })
      .Value("--model",
             [&](std::string_view v) {
               o.test.model = Model(v);
               modelGiven = true;
               testOnly.push_back("--model");
             })
      .Value("--speed",
             [&](std::string_view v) {
               o.test.speed = Speed("--speed", v);
               speedGiven = true;
               testOnly.push_back("--speed");
             })
      .Value("--format",
             [&](std::string_view v) {
               o.test.format = Int("--format", v, 0, 3);
               testOnly.push_back("--format");
             })
      .Value("--id",
             [&](std::string_view v) {
               o.test.id = Int("--id", v, 0, 31);
               testOnly.push_back("--id");
             })
      .Value(
          "--report",
          [&](std::string_view v) {
            if (v.empty()) throw UsageError("--report needs a file");
            o.report = v;
            testOnly.push_back("--report");
          },
          "a file")
      .Value("--cards",
             [&](std::string_view v) {
               o.test.cards = Int("--cards", v, 0, 1000);
               testOnly.push_back("--cards");
             })
      .Value("--card-timeout",
             [&](std::string_view v) {
               o.test.cardTimeout = Int("--card-timeout", v, 1, 3600);
               testOnly.push_back("--card-timeout");
             })
      .Flag({"--lock"},
            [&] {
              o.test.lock = true;
              testOnly.push_back("--lock");
            })
      .Flag({"--switch"},
            [&] {
              o.test.switchStep = true;
              testOnly.push_back("--switch");
            })
      .Value(
          "--junit",
          [&](std::string_view v) {
            if (v.empty()) throw UsageError("--junit needs a file");
            o.junit = v;
            testOnly.push_back("--junit");
          },
          "a file")
      .Flag({"--repeat"},
            [&] {
              o.repeat = true;
              testOnly.push_back("--repeat");
            })
      .Arguments([&](std::string_view arg) {
        if (o.command == None) {
          if (arg == "scan") {
            o.command = ScanCommand;
          } else if (arg == "test") {
            o.command = TestCommand;
          } else {
            throw UsageError("unknown command \"" + std::string(arg) + "\" (scan or test)");
          }
        } else {
          if (arg.empty()) throw UsageError("a port name is empty");
          if (std::find(o.ports.begin(), o.ports.end(), arg) != o.ports.end()) {
            throw UsageError("the port " + std::string(arg) + " is given twice");
          }
          o.ports.emplace_back(arg);
        }
      });
  try {
    parser.Parse(argc, argv);
    if (o.help) return o;
    if (o.command == None) throw UsageError("no command given (scan or test)");
    if (o.ports.empty()) throw UsageError("no port given");
    if (o.command == ScanCommand && !testOnly.empty()) throw UsageError(testOnly[0] + " belongs to test");
    if (o.command == TestCommand && !scanOnly.empty()) throw UsageError(scanOnly[0] + " belongs to scan");
    if (o.command == TestCommand && !modelGiven) throw UsageError("test needs --model");
    if (o.command == TestCommand && !speedGiven) throw UsageError("test needs --speed");
    if (o.test.id && !o.ids.empty()) throw UsageError("--id and --ids exclude each other");
    if (o.command == ScanCommand) o.scan.ids = std::exchange(o.ids, {});
  } catch (const UsageError& invalid) {
    o.error = invalid.what();
  }
  return o;
}

const char* CheckOptions::Usage() {
  return R"usage(Usage: trellum-check scan PORT [PORT...] [--speeds LIST] [--ids LIST] [--options] [--json]
       trellum-check test PORT [PORT...] --model M --speed S [--format F] [--id N | --ids LIST]
                     [--cards N] [--card-timeout S] [--lock] [--switch] [--junit FILE]
                     [--report FILE] [--repeat]
       trellum-check --help
Finds the card readers on serial lines, or tests readers step by step,
without a window. Progress goes to standard error, results to standard output.
Several PORTs are served at the same time, each line on its own: a line that
cannot be opened or goes away ends its own run, and the others go on.

PORT is named as in trellum's window: a device path (/dev/ttyUSB0), a reader
behind a device server (rfc2217://HOST:PORT, or socket://HOST:PORT for data
only), or COM1..COM8, which stand for what the [Ports] section of the settings
file names, else for the machine's serial ports in their automatic order (on
Windows, COMn is the system's own port).

scan: for each speed and both encodings (binary frames of "Mode 3", ASCII lines
of modes 0 to 2), asks for the I/O status and lists every reader that answers:
speed, ID, format, family, switch, outputs, buzzer (and options); with several
PORTs, the table of each line under its name.
  --speeds LIST       speeds to try (default 1200,9600,38400,115200)
  --ids LIST          ID mode: ask each ID of LIST, e.g. 0-31 or 1,4-6 (default:
                      ID mode off, one status request per speed and encoding)
  --options           ask each reader found for its options as well
  --json              one JSON object a line per reader, then per line problem
                      ({"problem": ...}), each with its "port", instead of the table
Each request waits 30 ms plus two 10-byte replies at the speed after the
command's RTS cycle (196 ms at 1200 bit/s, 50 ms at 9600, 35 ms at 38400,
31 ms at 115200), and the line is listened to for 300 ms after each pass: a
reply that comes later is still listed, with its ID and "late reply". Replies
from an ID not asked, two answers to one request and broken frames (checksum,
end flag, length) are listed as problems with the bytes seen. The time the
scan took is printed.

test: an acceptance run of each reader, each step PASS, FAIL or SKIP with its
reason (and the bytes seen when it fails):
  1 status        a status request answered within 500 ms
  2 options       second and third model: read, write the same back, read back equal
  3 outputs       output 1 on, status shows it on; off, status shows it off; output 2 the same
  4 relay pulses  second and third model: after "1" the relay is on, and off again
                  between 0.8 s and 1.5 s after it; the same for "2" (1.8 s to 2.5 s)
  5 cards         card codes within the time-out, answered with the event response
  6 switch        with --switch: the switch closes and opens within the time-out
The reader's outputs and options are put back as they were found at the end,
also after a failure or Ctrl+C. With several readers (several PORTs, or --ids)
progress names the line and the ID, and the output ends with one line per
reader (port, ID, PASS or FAIL, the failed step, seconds) and the total.
  --model M       Alvex, Brenta or Corvan (or 0, 1, 2)
  --speed S       1200, 9600, 38400 or 115200
  --format F      the reader's data format, 0 to 3 ("Mode 3", binary frames, by default)
  --id N          ID mode: test the reader with ID N (0 to 31)
  --ids LIST      ID mode, a bus: test each ID of LIST (0-31, 1,4-6) on each
                  PORT, one after the other; an ID that does not answer fails
                  its status step ("no answer") and its other steps are not tried
  --cards N       card codes to read (default 1; 0 skips the step); on several
                  lines each waits for its own cards
  --card-timeout S  seconds to wait for the cards, and for the switch (default 10)
  --lock          answer card codes with "Control Lock" ("0", "L", "1", "l")
  --switch        add the switch step
  --junit FILE    write the result as JUnit XML (a testsuite per reader run,
                  a testcase per step; a line that could not be opened or
                  went away a testsuite with an error), after every run
  --report FILE   write a report for the customer as one HTML page (date,
                  machine, version, model, speed, a row per reader and each
                  reader's steps), after every run
  --repeat        after each run, wait for the port's device to go away and come
                  back (the next reader on a USB adapter) and test again, runs
                  numbered, until Ctrl+C; each line on its own

Both:
  --settings FILE  the settings file whose [Ports] name the COMn (default:
                   the window's own, trellum.INI beside this program; from
                   the Debian package, ~/.config/trellum/trellum.INI)
  --record FILE    append the session record (the window's format: connect,
                   rts, tx, rx, log, line-error, error, removed) to FILE; with
                   several PORTs, one file a line: FILE-1, FILE-2, ... in the
                   order of the PORTs (before FILE's extension)
  --help           show this help

Exit status: 0 every reader passed / readers were found on every line; 1 a
reader failed, did not answer or lost its line / a line without readers; 2 a
usage error, or a port could not be opened (after the other lines have run;
its error is printed, e.g. "Unable to open com port (win error code: 2)").
)usage";
}
