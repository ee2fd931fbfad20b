#include "Scan.h"

#include <algorithm>
#include <chrono>
#include <iomanip>
#include <sstream>

#include "CheckLine.h"
#include "ProtocolText.h"

namespace {

using Address = std::optional<int>;  // the ID asked; none with ID mode off

std::string AddressText(const Address& id) { return id ? std::to_string(*id) : "-"; }

std::string FormatText(const FoundReader& reader) {
  if (reader.binary) return "Mode 3";
  if (!reader.optionBits) return "ASCII";
  const int bits = *reader.optionBits;
  return "Mode " + std::to_string(2 * !(bits & 2) + !(bits & 1));
}

std::string OptionText(const FoundReader& reader) {
  return reader.optionBits ? std::string(1, static_cast<char>('A' + *reader.optionBits)) : "-";
}

std::string EncodingText(bool binary) { return binary ? "binary frames" : "ASCII lines"; }

// A string as a JSON string literal.
std::string Json(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      out += "\\u00" + HexByte(static_cast<std::uint8_t>(c));
    } else {
      out += c;
    }
  }
  return out + '"';
}

class Scanner {
 public:
  Scanner(CheckLine& line, const ScanSettings& settings, std::ostream& progress, ScanResult& result)
      : line_(line), settings_(settings), progress_(progress), result_(result) {}

  void RunSpeed(unsigned speed) {
    speed_ = speed;
    line_.Open(speed);
    // What the line held before answers no request: a power-up report, say,
    // and the reply to the status request with which the protocol answers it.
    line_.Pause(kLateListen);
    Take();
    pending_.clear();
    for (const bool binary : {true, false}) RunPass(binary);
    // Problems of an address where no reader answered in either encoding are the line's.
    for (LineProblem& problem : pending_) {
      if (!Find(problem.asked)) result_.problems.push_back(std::move(problem));
    }
    if (settings_.options) AskOptions();
  }

 private:
  void RunPass(bool binary) {
    binary_ = binary;
    CheckPanel& panel = line_.Panel();
    panel.SetFormat(binary ? 3 : 0);
    panel.SetIdMode(!settings_.ids.empty());
    std::vector<Address> addresses;
    if (settings_.ids.empty()) addresses.push_back(std::nullopt);
    for (const int id : settings_.ids) addresses.emplace_back(id);
    std::erase_if(addresses, [this](const Address& a) { return Find(a) != nullptr; });
    progress_ << "scan: " << speed_ << " bit/s, " << EncodingText(binary) << ", "
              << (settings_.ids.empty() ? std::string("ID mode off") : std::to_string(addresses.size()) + " IDs")
              << std::endl;
    asked_.clear();
    Take();
    for (const Address& address : addresses) {
      panel.SetMyId(address.value_or(0));
      line_.Protocol().RefreshReaderId();
      line_.Protocol().SendCommand("?", address);
      asked_.push_back(address);
      line_.Pause(ReplyWait(speed_));
      Collect(address);
    }
    line_.Pause(kLateListen);
    Collect(std::nullopt, true);
  }

  // Forgets what arrived before a pass began.
  void Take() {
    line_.Panel().TakeHeard();
    line_.Panel().TakeProblems();
    line_.TakeBytes();
    received_ = line_.ReceivedCount();
  }

  // What arrived since the last request, put down to the reader it names.
  void Collect(const Address& asked, bool afterPass = false) {
    const std::vector<Heard> heard = line_.Panel().TakeHeard();
    std::vector<std::string> problems = line_.Panel().TakeProblems();
    const std::string bytes = line_.TakeBytes();
    const bool received = line_.ReceivedCount() != received_;
    received_ = line_.ReceivedCount();
    int answers = 0;
    // The protocol answers a power-up report with a status request of its own.
    const bool askedAgain = std::any_of(heard.begin(), heard.end(), [](const Heard& h) { return h.kind == Heard::PowerUp; });
    for (const Heard& h : heard) {
      if (h.kind != Heard::Status) continue;
      const bool idFrame = binary_ && !settings_.ids.empty();
      const Address from = idFrame ? h.id : asked;
      if (afterPass || (idFrame && from != asked)) {
        AnswerFromOther(from, asked, h, bytes, afterPass);
        continue;
      }
      ++answers;
      if (answers == 1 || askedAgain) {
        Record(from, h, {});
      } else {
        const std::string what = std::to_string(answers) + " answers to one request";
        Record(from, h, "collision: " + what);
        problems.push_back("collision: " + what);
      }
    }
    // An incomplete reply is only known 100 ms after its last byte; without
    // new bytes it is the end of bytes that an earlier request already showed.
    if (!received) std::erase(problems, std::string("incomplete reply (RESET)"));
    const bool replied = std::any_of(heard.begin(), heard.end(), [](const Heard& h) { return h.kind == Heard::Status; });
    if (received && !replied && problems.empty() && !afterPass) problems.push_back("bytes that make no reply");
    for (const std::string& what : problems) {
      LineProblem problem{speed_, binary_, afterPass ? std::nullopt : asked, what, bytes};
      progress_ << "scan: " << speed_ << " bit/s, ID " << AddressText(problem.asked) << ": " << what << " (" << bytes
                << ")" << std::endl;
      // Bytes of the other encoding, before its pass, or broken frames of a
      // reader that also answered: the line's, when no reader answers there.
      if (answers == 0 && !afterPass) {
        pending_.push_back(std::move(problem));
      } else {
        result_.problems.push_back(std::move(problem));
      }
    }
  }

  // A reply with another ID than the one asked, or after its pass's last wait:
  // late when its ID was asked before and gave no answer, else a collision.
  void AnswerFromOther(const Address& from, const Address& asked, const Heard& h, const std::string& bytes,
                       bool afterPass) {
    const bool askedBefore = std::find(asked_.begin(), asked_.end(), from) != asked_.end();
    if (askedBefore && !Find(from)) {
      Record(from, h, "late reply (after its wait)");
      return;
    }
    const std::string what = afterPass ? "ID " + AddressText(from) + " answered again after the last request"
                                       : "collision: ID " + AddressText(from) + " answered a request to ID " +
                                             AddressText(asked);
    Record(from, h, what);
    result_.problems.push_back({speed_, binary_, asked, what, bytes});
    progress_ << "scan: " << speed_ << " bit/s: " << what << " (" << bytes << ")" << std::endl;
  }

  void Record(const Address& id, const Heard& h, const std::string& note) {
    FoundReader* reader = Find(id);
    if (!reader) {
      FoundReader found;
      found.speed = speed_;
      found.id = id;
      found.binary = binary_;
      found.family = h.family;
      found.status = h.value;
      result_.readers.push_back(found);
      reader = &result_.readers.back();
      progress_ << "scan: found a reader at " << speed_ << " bit/s, ID " << AddressText(id) << ", "
                << EncodingText(binary_) << std::endl;
    }
    if (!note.empty()) reader->notes.push_back(note);
  }

  void AskOptions() {
    CheckPanel& panel = line_.Panel();
    for (FoundReader& reader : result_.readers) {
      if (reader.speed != speed_) continue;
      binary_ = reader.binary;
      panel.SetFormat(reader.binary ? 3 : 0);
      panel.SetIdMode(reader.id.has_value());
      panel.SetMyId(reader.id.value_or(0));
      line_.Protocol().RefreshReaderId();
      line_.Protocol().ResetDecoder();
      Take();
      line_.Protocol().SendCommand("O", reader.id);
      line_.WaitFor([&] { return line_.Panel().HeardCount() > 0; }, ReplyWait(speed_));
      for (const Heard& h : line_.Panel().TakeHeard()) {
        if (h.kind == Heard::Options) reader.optionBits = h.value;
      }
      if (!reader.optionBits) reader.notes.push_back("no option reply");
    }
  }

  FoundReader* Find(const Address& id) {
    for (FoundReader& reader : result_.readers) {
      if (reader.speed == speed_ && reader.id == id) return &reader;
    }
    return nullptr;
  }

  CheckLine& line_;
  const ScanSettings& settings_;
  std::ostream& progress_;
  ScanResult& result_;
  unsigned speed_ = 0;
  bool binary_ = true;
  std::vector<Address> asked_;
  std::vector<LineProblem> pending_;
  std::size_t received_ = 0;
};

}  // namespace

int ReplyWait(unsigned baud) { return 30 + static_cast<int>(2 * 10 * 10 * 1000 / baud); }

ScanResult Scan(CheckLine& line, const ScanSettings& settings, std::ostream& progress) {
  const auto start = std::chrono::steady_clock::now();
  ScanResult result;
  result.port = line.Port();
  Scanner scanner(line, settings, progress, result);
  for (const unsigned speed : settings.speeds) scanner.RunSpeed(speed);
  line.Close();
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return result;
}

void PrintScanTable(std::ostream& out, const ScanResult& result) {
  out << std::left << std::setw(8) << "SPEED" << std::setw(4) << "ID" << std::setw(8) << "FORMAT" << std::setw(15)
      << "FAMILY" << std::setw(7) << "SWITCH" << std::setw(5) << "OUT1" << std::setw(5) << "OUT2" << std::setw(7)
      << "BUZZER" << std::setw(8) << "OPTIONS" << "NOTES" << '\n';
  auto onOff = [](bool on) { return on ? "on" : "off"; };
  for (const FoundReader& r : result.readers) {
    std::string notes;
    for (const std::string& note : r.notes) notes += (notes.empty() ? "" : "; ") + note;
    out << std::setw(8) << r.speed << std::setw(4) << AddressText(r.id) << std::setw(8) << FormatText(r)
        << std::setw(15) << (r.family.empty() ? "-" : r.family) << std::setw(7)
        << (SwitchClosed(r.status) ? "CLOSE" : "OPEN") << std::setw(5) << onOff(Output1On(r.status)) << std::setw(5)
        << onOff(Output2On(r.status)) << std::setw(7) << onOff(BuzzerOn(r.status)) << std::setw(8) << OptionText(r)
        << notes << '\n';
  }
  out << std::right;
  for (const LineProblem& p : result.problems) {
    out << "problem: " << p.speed << " bit/s, " << EncodingText(p.binary) << ", ID " << AddressText(p.asked) << ": "
        << p.what << " (" << p.bytes << ")\n";
  }
  out << result.readers.size() << (result.readers.size() == 1 ? " reader" : " readers") << " found in " << std::fixed
      << std::setprecision(1) << result.seconds << " s\n";
}

void PrintScanJson(std::ostream& out, const ScanResult& result) {
  for (const FoundReader& r : result.readers) {
    std::ostringstream notes;
    for (std::size_t i = 0; i < r.notes.size(); ++i) notes << (i ? "," : "") << Json(r.notes[i]);
    out << "{\"port\":" << Json(result.port) << ",\"speed\":" << r.speed << ",\"id\":" << (r.id ? std::to_string(*r.id) : "null")
        << ",\"format\":" << Json(FormatText(r)) << ",\"family\":" << (r.family.empty() ? "null" : Json(r.family))
        << ",\"status\":" << Json(HexByte(r.status)) << ",\"switch\":" << Json(SwitchClosed(r.status) ? "CLOSE" : "OPEN")
        << ",\"output1\":" << (Output1On(r.status) ? "true" : "false")
        << ",\"output2\":" << (Output2On(r.status) ? "true" : "false")
        << ",\"buzzer\":" << (BuzzerOn(r.status) ? "true" : "false")
        << ",\"options\":" << (r.optionBits ? Json(OptionText(r)) : "null") << ",\"notes\":[" << notes.str() << "]}\n";
  }
  for (const LineProblem& p : result.problems) {
    out << "{\"problem\":" << Json(p.what) << ",\"port\":" << Json(result.port) << ",\"speed\":" << p.speed
        << ",\"encoding\":" << Json(p.binary ? "binary" : "ascii")
        << ",\"id\":" << (p.asked ? std::to_string(*p.asked) : "null") << ",\"bytes\":" << Json(p.bytes) << "}\n";
  }
}
