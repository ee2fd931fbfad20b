#include "ReaderProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

pid_t spawn(const std::vector<std::string>& args, int in, int out, int err) {
  std::vector<char*> argv;
  std::string program = READER_PATH;
  argv.push_back(program.data());
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in, 0);
    dup2(out, 1);
    if (err >= 0) dup2(err, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  if (pid < 0) throw std::runtime_error("fork failed");
  return pid;
}

int waitFor(pid_t pid) {
  int status = 0;
  for (int i = 0; i < 100; ++i) {
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    usleep(50000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

std::string drain(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, std::size_t(n));
  return text;
}

}  // namespace

Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

std::string hexOf(const Bytes& bytes) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string text;
  for (auto b : bytes) {
    if (!text.empty()) text += ' ';
    text += digits[b >> 4];
    text += digits[b & 15];
  }
  return text;
}

ReaderProcess::ReaderProcess(std::vector<std::string> args) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  args.insert(args.begin(), "--quit-on-eof");
  pid_ = spawn(args, in[0], out[1], -1);
  close(in[0]);
  close(out[1]);
  in_ = in[1];
  out_ = out[0];
  auto first = expectLine("device ");
  if (first.empty()) throw std::runtime_error("trellum-reader printed no device");
  device_ = first.substr(7);
}

ReaderProcess::~ReaderProcess() {
  closeDevice();
  if (pid_ > 0) finish();
  if (out_ >= 0) close(out_);
}

std::optional<std::string> ReaderProcess::nextLine(std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    if (auto end = buffer_.find('\n'); end != std::string::npos) {
      std::string line = buffer_.substr(0, end);
      buffer_.erase(0, end + 1);
      lines_.push_back(line);
      return line;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{out_, POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, int(left.count())) <= 0) return std::nullopt;
    char chunk[4096];
    ssize_t n = read(out_, chunk, sizeof chunk);
    if (n <= 0) return std::nullopt;
    buffer_.append(chunk, std::size_t(n));
  }
}

std::string ReaderProcess::expectLine(std::string_view prefix, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (auto line = nextLine(deadline))
    if (line->starts_with(prefix)) return *line;
  return {};
}

void ReaderProcess::control(std::string_view line) {
  std::string text(line);
  text += '\n';
  if (::write(in_, text.data(), text.size()) != ssize_t(text.size()))
    throw std::runtime_error("control channel closed");
}

void ReaderProcess::openDevice() {
  device_fd_ = open(device_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (device_fd_ < 0) throw std::runtime_error("cannot open " + device_);
  termios t{};
  tcgetattr(device_fd_, &t);
  cfmakeraw(&t);
  tcsetattr(device_fd_, TCSANOW, &t);
}

void ReaderProcess::closeDevice() {
  if (device_fd_ >= 0) close(device_fd_);
  device_fd_ = -1;
}

void ReaderProcess::write(std::string_view bytes) { write(bytesOf(bytes)); }

void ReaderProcess::write(const Bytes& bytes) {
  if (::write(device_fd_, bytes.data(), bytes.size()) != ssize_t(bytes.size()))
    throw std::runtime_error("write to the device failed");
}

Bytes ReaderProcess::readBytes(std::size_t count, std::chrono::milliseconds timeout) {
  Bytes got;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (got.size() < count) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{device_fd_, POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, int(left.count())) <= 0) break;
    std::uint8_t chunk[256];
    ssize_t n = read(device_fd_, chunk, std::min(sizeof chunk, count - got.size()));
    if (n <= 0) break;
    got.insert(got.end(), chunk, chunk + n);
  }
  return got;
}

bool ReaderProcess::silent(std::chrono::milliseconds time) {
  pollfd p{device_fd_, POLLIN, 0};
  return poll(&p, 1, int(time.count())) == 0;
}

void ReaderProcess::signal(int number) { kill(pid_, number); }

int ReaderProcess::finish() {
  if (in_ >= 0) close(in_);
  in_ = -1;
  int status = waitFor(pid_);
  pid_ = -1;
  buffer_ += drain(out_);
  for (std::size_t end; (end = buffer_.find('\n')) != std::string::npos; buffer_.erase(0, end + 1))
    lines_.push_back(buffer_.substr(0, end));
  return status;
}

ReaderProcess::Result ReaderProcess::runToEnd(std::vector<std::string> args) {
  int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  args.insert(args.begin(), "--quit-on-eof");
  pid_t pid = spawn(args, in, out[1], err[1]);
  close(in);
  close(out[1]);
  close(err[1]);
  int status = waitFor(pid);
  Result result{status, drain(out[0]), drain(err[0])};
  close(out[0]);
  close(err[0]);
  return result;
}
