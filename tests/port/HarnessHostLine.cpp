#include <windows.h>

#include <cstdio>
#include <iostream>
#include <sstream>
#include <stdexcept>

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

// The pseudo-terminal that the Wine harness holds and maps to COM1: each
// request is a line "@host ..." on standard output, answered by a line on
// standard input.
class HarnessHostLine final : public HostLine {
 public:
  std::string PortName() const override { return "COM1"; }
  std::string MissingPortName() const override { return "COM9"; }
  void Write(const std::string& bytes) override { Expect(Request("write " + Hex(bytes)), "ok"); }
  std::string Read(size_t count, int limitMs) override {
    const std::string reply = Request("read " + std::to_string(count) + " " + std::to_string(limitMs));
    return Unhex(Field(reply, "data"));
  }
  uint32_t LineSpeed() override { return uint32_t(std::stoul(Field(Request("speed"), "speed"))); }
  void HangUp() override { Expect(Request("hangup"), "ok"); }
  std::optional<std::vector<std::string>> RtsChanges() override {
    std::vector<std::string> changes;
    std::istringstream entries(Field(Request("rtslog"), "log"));
    for (std::string entry; std::getline(entries, entry, ',');) changes.push_back(entry);
    return changes;
  }
  bool SharesOpenPorts() const override { return true; }

 private:
  static std::string Request(const std::string& command) {
    std::fflush(stdout);
    std::printf("@host %s\n", command.c_str());
    std::fflush(stdout);
    std::string reply;
    if (!std::getline(std::cin, reply)) throw std::runtime_error("the harness did not answer " + command);
    if (!reply.empty() && reply.back() == '\r') reply.pop_back();
    return reply;
  }
  static void Expect(const std::string& reply, const std::string& wanted) {
    if (reply != wanted) throw std::runtime_error("the harness answered " + reply);
  }
  static std::string Field(const std::string& reply, const std::string& name) {
    if (reply.rfind(name, 0) != 0) throw std::runtime_error("the harness answered " + reply);
    return reply.size() > name.size() ? reply.substr(name.size() + 1) : std::string();
  }
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
