#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

Bytes bytesOf(std::string_view text);
std::string hexOf(const Bytes& bytes);

// trellum-reader run as a child: its standard input is the control channel,
// its standard output is read line by line, and the test opens the device it prints.
class ReaderProcess {
 public:
  explicit ReaderProcess(std::vector<std::string> args);
  ~ReaderProcess();
  ReaderProcess(const ReaderProcess&) = delete;
  ReaderProcess& operator=(const ReaderProcess&) = delete;

  const std::string& device() const { return device_; }
  // Reads output lines until one starts with the prefix; empty on time-out.
  std::string expectLine(std::string_view prefix, std::chrono::milliseconds timeout = 5s);
  const std::vector<std::string>& lines() const { return lines_; }
  void control(std::string_view line);

  void openDevice();
  void closeDevice();
  void write(std::string_view bytes);
  void write(const Bytes& bytes);
  Bytes readBytes(std::size_t count, std::chrono::milliseconds timeout = 3s);
  // True when nothing arrives on the device within the time.
  bool silent(std::chrono::milliseconds time = 150ms);
  void signal(int number);
  // Ends the control channel and returns the exit status.
  int finish();

  struct Result {
    int status;
    std::string out;
    std::string err;
  };
  static Result runToEnd(std::vector<std::string> args);

 private:
  std::optional<std::string> nextLine(std::chrono::steady_clock::time_point deadline);

  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  int device_fd_ = -1;
  std::string buffer_;
  std::string device_;
  std::vector<std::string> lines_;
};
