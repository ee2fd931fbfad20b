#include "Options.h"

#include "OptionParser.h"
#include "Wire.h"

#include <algorithm>
#include <iterator>
#include <string_view>

namespace vreader {

using cmdline::Number;
using cmdline::UsageError;

Options parseOptions(int argc, char** argv) {
  Options o;
  // The reader the options of one reader set: every reader until --for picks one.
  ReaderSetup* reader = &o.readers;
  cmdline::OptionParser parser;
  parser.Flag({"--help", "-h"}, [&] { o.help = true; })
      .Value(
          "--device",
          [&](std::string_view v) {
            if (v.empty()) throw UsageError("--device needs a path");
            o.device = v;
          },
          "a path")
      .Value("--link", [&](std::string_view v) { o.link = v; }, "a path")
      .Value("--baud",
             [&](std::string_view v) {
               o.baud = int(Number("--baud", v, 1, 4000000));
               constexpr int speeds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
               if (std::find(std::begin(speeds), std::end(speeds), o.baud) == std::end(speeds))
                 throw UsageError("unsupported speed " + std::to_string(o.baud) + " for --baud");
             })
      .Value("--ids",
             [&](std::string_view v) {
               o.ids.clear();
               for (const int id : cmdline::IdList("--ids", v)) o.ids.push_back(std::uint8_t(id));
             })
      .Value("--family",
             [&](std::string_view v) {
               auto start = std::uint8_t(Number("--family", v, 0, 255, 16));
               if (!isStartFlag(start)) throw UsageError("--family takes one of the start flags 02, D5, E5, F5");
               o.startFlag = start;
             })
      .Value("--mode",
             [&](std::string_view v) {
               auto mode = Number("--mode", v, 0, 3);
               reader->optionBits = std::uint8_t((reader->optionBits & 12) | (mode & 1 ? 0 : 1) | (mode & 2 ? 0 : 2));
             })
      .Value("--options",
             [&](std::string_view letter) {
               if (letter.size() != 1 || letter[0] < 'A' || letter[0] > 'P')
                 throw UsageError("--options takes one option letter A..P");
               reader->optionBits = std::uint8_t(letter[0] - 'A');
             })
      .Value("--period", [&](std::string_view v) { o.periodMs = int(Number("--period", v, 1, 3600000)); })
      .Value("--card",
             [&](std::string_view v) {
               try {
                 o.card = parseCardCode(v);
               } catch (const std::invalid_argument& e) {
                 throw UsageError(std::string(e.what()) + " for --card");
               }
             })
      .Value("--script", [&](std::string_view v) { o.script = v; }, "a file")
      .Value("--transcript", [&](std::string_view v) { o.transcript = v; }, "a file")
      .Value("--fault-rate",
             [&](std::string_view v) {
               auto text = std::string(v);
               std::size_t used = 0;
               double rate = -1;
               try {
                 rate = std::stod(text, &used);
               } catch (const std::exception&) {
               }
               if (used != text.size() || !(rate >= 0 && rate <= 1))
                 throw UsageError("--fault-rate: \"" + text + "\" is not a fraction from 0 to 1");
               o.faultRate = rate;
             })
      .Value("--fault-gap", [&](std::string_view v) { o.faultGapMs = int(Number("--fault-gap", v, 0, 3600000)); })
      .Value("--command-gap",
             [&](std::string_view v) { o.commandGapMs = int(Number("--command-gap", v, 1, 3600000)); })
      .Value("--faults",
             [&](std::string_view v) {
               o.faults.clear();
               for (auto part : cmdline::Split(v)) {
                 auto kind = faultFromName(part);
                 if (!kind) throw UsageError("unknown fault \"" + std::string(part) + "\" in --faults");
                 o.faults.push_back(*kind);
               }
             })
      .Value("--seed", [&](std::string_view v) { o.seed = std::uint64_t(Number("--seed", v, 0, INT64_MAX)); })
      .Flag({"--speed-match"}, [&] { o.speedMatch = true; })
      .Value("--twin", [&](std::string_view v) { o.twins.push_back(std::uint8_t(Number("--twin", v, 0, 31))); })
      .Value("--for",
             [&](std::string_view v) {
               const auto id = std::uint8_t(Number("--for", v, 0, 31));
               reader = &(o.readerOf[id] = o.readers);
             })
      .Value("--reply-delay",
             [&](std::string_view v) { reader->replyDelayMs = int(Number("--reply-delay", v, 0, 3600000)); })
      .Value("--reply-fault",
             [&](std::string_view v) {
               auto kind = faultFromName(v);
               if (!kind || *kind == FaultKind::Noise || *kind == FaultKind::Id)
                 throw UsageError("--reply-fault takes checksum, endflag, length or cut");
               reader->replyFault = kind;
             })
      .Flag({"--deaf"}, [&] { reader->deaf = true; })
      .Value("--relay-fault",
             [&](std::string_view v) {
               if (v != "stuck" && v != "dead") throw UsageError("--relay-fault takes stuck or dead");
               reader->relayFault = v;
             })
      .Flag({"--option-fault"}, [&] { reader->optionFault = true; })
      .Flag({"--no-powerup"}, [&] { o.powerUp = false; })
      .Flag({"--quit-on-eof"}, [&] { o.quitOnEof = true; });
  parser.Parse(argc, argv);
  for (auto twin : o.twins)
    if (std::find(o.ids.begin(), o.ids.end(), twin) == o.ids.end())
      throw UsageError("--twin " + std::to_string(twin) + " needs the ID in --ids");
  for (const auto& [id, setup] : o.readerOf)
    if (std::find(o.ids.begin(), o.ids.end(), id) == o.ids.end())
      throw UsageError("--for " + std::to_string(id) + " needs the ID in --ids");
  if (!o.device.empty() && !o.link.empty() && o.device == o.link) throw UsageError("--link must differ from --device");
  return o;
}

const char* usageText() {
  return R"(Usage: trellum-reader [OPTION]...
Plays one proximity card reader, or several sharing one line, for trellum.

Line:
  --device PATH       use this serial device (default: a new pseudo-terminal,
                      whose path is printed as "device PATH")
  --link PATH         keep a symbolic link at PATH to the line's device while
                      the line is open
  --baud N            line speed for --device (default 9600)
Readers:
  --ids LIST          ID mode: one reader per ID of LIST (0..31: 3,7,12 or
                      0-31 or 1,4-6); each answers only commands carrying its
                      ID and sends frames with it (ASCII lines have no room
                      for an ID and go without)
  --family HH         start flag of the binary frames: 02, D5, E5 or F5 (default 02)
  --options L         option letter A..P: bit set = option off; bit 0 FMT0,
                      1 FMT1, 2 NO BEEP, 3 REPEAT (default I)
  --mode N            data format 0..3 (2 x FMT1 + FMT0); 3 sends binary frames,
                      0..2 ASCII lines closed by line feed, carriage return
  --no-powerup        no power-up report at start
  --twin ID           a second reader with this ID of --ids: both answer its commands
  --for ID            the options and faults that follow are the reader ID's own
                      (an ID of --ids; it starts from those given before): a bus
                      of readers, e.g. --ids 1-4 --for 3 --relay-fault stuck
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
