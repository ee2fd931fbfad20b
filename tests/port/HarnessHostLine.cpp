#include <windows.h>

#include <sstream>

#include "HarnessRequest.h"
#include "HostLine.h"

namespace {

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  return hex;
}

std::string Unhex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

// The pseudo-terminal that the Wine harness holds and maps to COM1.
class HarnessHostLine final : public HostLine {
 public:
  std::string PortName() const override { return "COM1"; }
  std::string MissingPortName() const override { return "COM9"; }
  void Write(const std::string& bytes) override { HarnessExpect("write " + Hex(bytes), "ok"); }
  std::string Read(size_t count, int limitMs) override {
    const std::string reply = HarnessRequest("read " + std::to_string(count) + " " + std::to_string(limitMs));
    return Unhex(HarnessField(reply, "data"));
  }
  uint32_t LineSpeed() override { return uint32_t(std::stoul(HarnessField(HarnessRequest("speed"), "speed"))); }
  void HangUp() override { HarnessExpect("hangup", "ok"); }
  std::optional<std::vector<std::string>> RtsChanges() override {
    std::vector<std::string> changes;
    std::istringstream entries(HarnessField(HarnessRequest("rtslog"), "log"));
    for (std::string entry; std::getline(entries, entry, ',');) changes.push_back(entry);
    return changes;
  }
  bool SharesOpenPorts() const override { return true; }
};

int64_t Milliseconds(const FILETIME& t) {
  return static_cast<int64_t>((uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime) / 10000);
}

}  // namespace

std::unique_ptr<HostLine> MakeHostLine() { return std::make_unique<HarnessHostLine>(); }

int64_t ProcessCpuMilliseconds() {
  FILETIME created, ended, kernel, user;
  ::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernel, &user);
  return Milliseconds(kernel) + Milliseconds(user);
}
