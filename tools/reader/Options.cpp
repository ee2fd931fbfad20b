#include "Options.h"

#include "Failure.h"

#include <algorithm>
#include <charconv>
#include <string_view>

namespace vreader {

namespace {

long long number(std::string_view option, std::string_view text, long long min, long long max, int base = 10) {
  long long value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < min || value > max)
    throw Failure("bad value \"" + std::string(text) + "\" for " + std::string(option));
  return value;
}

std::vector<std::string_view> split(std::string_view text) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    auto comma = text.find(',', start);
    parts.push_back(text.substr(start, comma - start));
    if (comma == std::string_view::npos) return parts;
    start = comma + 1;
  }
}

}  // namespace

Options parseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    std::string_view value;
    bool hasValue = false;
    if (auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
      hasValue = true;
    }
    auto flag = [&] {
      if (hasValue) throw Failure("option " + std::string(arg) + " takes no value");
    };
    auto next = [&]() -> std::string_view {
      if (hasValue) return value;
      if (i + 1 >= argc) throw Failure("option " + std::string(arg) + " needs a value");
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      flag();
      o.help = true;
    } else if (arg == "--device") {
      o.device = next();
      if (o.device.empty()) throw Failure("option --device needs a path");
    } else if (arg == "--link") {
      o.link = next();
    } else if (arg == "--baud") {
      o.baud = int(number(arg, next(), 1, 4000000));
      if (o.baud != 1200 && o.baud != 2400 && o.baud != 4800 && o.baud != 9600 && o.baud != 19200 && o.baud != 38400 &&
          o.baud != 57600 && o.baud != 115200)
        throw Failure("unsupported speed " + std::to_string(o.baud) + " for --baud");
    } else if (arg == "--ids") {
      o.ids.clear();
      for (auto part : split(next())) {
        auto id = std::uint8_t(number(arg, part, 0, 31));
        for (auto known : o.ids)
          if (known == id) throw Failure("ID " + std::to_string(id) + " given twice in --ids");
        o.ids.push_back(id);
      }
    } else if (arg == "--family") {
      auto start = std::uint8_t(number(arg, next(), 0, 255, 16));
      if (!isStartFlag(start)) throw Failure("--family takes one of the start flags 02, D5, E5, F5");
      o.startFlag = start;
    } else if (arg == "--mode") {
      auto mode = number(arg, next(), 0, 3);
      o.optionBits = std::uint8_t((o.optionBits & 12) | (mode & 1 ? 0 : 1) | (mode & 2 ? 0 : 2));
    } else if (arg == "--options") {
      auto letter = next();
      if (letter.size() != 1 || letter[0] < 'A' || letter[0] > 'P')
        throw Failure("--options takes one option letter A..P");
      o.optionBits = std::uint8_t(letter[0] - 'A');
    } else if (arg == "--period") {
      o.periodMs = int(number(arg, next(), 1, 3600000));
    } else if (arg == "--card") {
      try {
        o.card = parseCardCode(next());
      } catch (const std::invalid_argument& e) {
        throw Failure(std::string(e.what()) + " for --card");
      }
    } else if (arg == "--script") {
      o.script = next();
    } else if (arg == "--transcript") {
      o.transcript = next();
    } else if (arg == "--fault-rate") {
      auto text = std::string(next());
      std::size_t used = 0;
      double rate = -1;
      try {
        rate = std::stod(text, &used);
      } catch (const std::exception&) {
      }
      if (used != text.size() || !(rate >= 0 && rate <= 1))
        throw Failure("bad value \"" + text + "\" for --fault-rate (a fraction from 0 to 1)");
      o.faultRate = rate;
    } else if (arg == "--fault-gap") {
      o.faultGapMs = int(number(arg, next(), 0, 3600000));
    } else if (arg == "--command-gap") {
      o.commandGapMs = int(number(arg, next(), 1, 3600000));
    } else if (arg == "--faults") {
      o.faults.clear();
      for (auto part : split(next())) {
        auto kind = faultFromName(part);
        if (!kind) throw Failure("unknown fault \"" + std::string(part) + "\" in --faults");
        o.faults.push_back(*kind);
      }
    } else if (arg == "--seed") {
      o.seed = std::uint64_t(number(arg, next(), 0, INT64_MAX));
    } else if (arg == "--speed-match") {
      flag();
      o.speedMatch = true;
    } else if (arg == "--twin") {
      o.twins.push_back(std::uint8_t(number(arg, next(), 0, 31)));
    } else if (arg == "--reply-delay") {
      o.replyDelayMs = int(number(arg, next(), 0, 3600000));
    } else if (arg == "--reply-fault") {
      auto kind = faultFromName(next());
      if (!kind || *kind == FaultKind::Noise || *kind == FaultKind::Id)
        throw Failure("--reply-fault takes checksum, endflag, length or cut");
      o.replyFault = kind;
    } else if (arg == "--deaf") {
      flag();
      o.deaf = true;
    } else if (arg == "--relay-fault") {
      o.relayFault = next();
      if (o.relayFault != "stuck" && o.relayFault != "dead") throw Failure("--relay-fault takes stuck or dead");
    } else if (arg == "--option-fault") {
      flag();
      o.optionFault = true;
    } else if (arg == "--no-powerup") {
      flag();
      o.powerUp = false;
    } else if (arg == "--quit-on-eof") {
      flag();
      o.quitOnEof = true;
    } else {
      throw Failure("unknown option \"" + std::string(argv[i]) + "\"");
    }
  }
  for (auto twin : o.twins)
    if (std::find(o.ids.begin(), o.ids.end(), twin) == o.ids.end())
      throw Failure("--twin " + std::to_string(twin) + " needs the ID in --ids");
  if (!o.device.empty() && !o.link.empty() && o.device == o.link) throw Failure("--link must differ from --device");
  return o;
}

const char* usageText() {
  return R"(Usage: trellum-reader [OPTION]...
Plays one proximity card reader, or several sharing one line, for trellum.

Line:
  --device PATH       use this serial device (default: a new pseudo-terminal,
                      whose path is printed as "device PATH")
  --link PATH         keep a symbolic link at PATH to the line's device
  --baud N            line speed for --device (default 9600)
Readers:
  --ids 3,7,12        ID mode: one reader per ID (0..31); each answers only
                      commands carrying its ID and sends frames with it
                      (ASCII lines have no room for an ID and go without)
  --family HH         start flag of the binary frames: 02, D5, E5 or F5 (default 02)
  --options L         option letter A..P: bit set = option off; bit 0 FMT0,
                      1 FMT1, 2 NO BEEP, 3 REPEAT (default I)
  --mode N            data format 0..3 (2 x FMT1 + FMT0); 3 sends binary frames,
                      0..2 ASCII lines closed by line feed, carriage return
  --no-powerup        no power-up report at start
  --twin ID           a second reader with this ID of --ids: both answer its commands
Faults of the answers to commands:
  --speed-match       answer only while the line runs at --baud: on a
                      pseudo-terminal, the speed its other end set; bytes at
                      another speed are junk ("junk speed N")
  --reply-delay MS    answer MS milliseconds late
  --reply-fault KIND  answer with broken frames: checksum, endflag, length
                      (binary) or cut (the first half, in both encodings)
  --deaf              answer nothing (commands are still printed, as "deaf")
  --relay-fault F     stuck: a pulse leaves the relay on; dead: a pulse does nothing
  --option-fault      "o" keeps the options with REPEAT flipped, so they do not stick
Card reads:
  --card N:M          first card code (default 258:197637); each read without
                      a number of its own sends it and then advances M by one
  --period MS         a card read every MS milliseconds, the readers in turn;
                      skipped on a pseudo-terminal while the last report is unread
  --script FILE       run the control commands of FILE (one a line, "wait MS" too)
  --fault-rate R      turn each periodic read into a fault with probability R
  --faults LIST       the faults to mix: checksum,endflag,length,cut,noise,id
  --fault-gap MS      after a broken or cut frame of the mix, no read for MS
                      milliseconds, so the line goes quiet before the next frame
  --seed N            seed of the fault mix and of noise and ID bytes (default 1)
Output:
  --transcript FILE   one line per burst: "<monotonic s.us> rx|tx <hex bytes>"
  --quit-on-eof       end when standard input ends
  --command-gap MS    drop a command still unfinished MS milliseconds after its
                      last byte (default 500; longer for links that send
                      byte by byte slowly)
  -h, --help          show this help and end

Card codes in ASCII modes:  mode 0 "00258,0000197637" (decimal, comma)
                            mode 1 "0102030405" (the five bytes in hex)
                            mode 2 "0004328719365" (the 40-bit code in decimal)

Control commands on standard input (and in --script files); "@ID " in front
picks the reader (default the first):
  (empty line)        a card read (a key press)
  N:M | N M | N       a card read with this code (N alone: the 40-bit code)
  card [CODE]         a card read
  switch close|open   a switch event
  powerup             a power-up report
  status | options    an I/O status or option report
  buzzer on|off       the buzzer state the status reports
  fault KIND [CODE]   one fault: checksum, endflag, length, cut, noise, id
  raw HH HH ...       these bytes as they are
  state               print the reader's state
  hangup | reopen     close the line / open it again (a pseudo-terminal gets a new path)
  wait MS             hold the following commands for MS milliseconds
  quit                end

Standard output, one line each:
  device PATH | rx : HEX | cmd ID TEXT | unaddressed ID TEXT | junk REASON : HEX
  tx ID WHAT : HEX | pulse ID MS | pulse ID end | state ID ... | skip ID WHAT
  error MESSAGE | closed | quit           (ID is "-" when ID mode is off)
)";
}

}  // namespace vreader
