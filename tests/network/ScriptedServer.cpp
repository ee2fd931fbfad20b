#include "ScriptedServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>

namespace {

constexpr uint8_t kIac = 255, kSb = 250, kSe = 240, kWill = 251, kDo = 253, kDont = 254, kComPort = 44;
enum State { kData, kCommand, kVerb, kSubOption, kValue, kValueIac };

std::string Hex(const std::string& bytes) {
  std::string out;
  char two[3];
  for (unsigned char c : bytes) {
    std::snprintf(two, sizeof two, "%02x", c);
    out += two;
  }
  return out;
}

}  // namespace

ScriptedServer::ScriptedServer(Behaviour behaviour) : behaviour_(behaviour) {
  listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listen_ < 0 || ::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listen_, 4) != 0 || ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      ::pipe2(wake_, O_CLOEXEC) != 0)
    throw std::runtime_error("scripted server: no socket on 127.0.0.1");
  port_ = ntohs(address.sin_port);
  thread_ = std::thread(&ScriptedServer::Run, this);
}

ScriptedServer::~ScriptedServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  [[maybe_unused]] const ssize_t n = ::write(wake_[1], "x", 1);
  thread_.join();
  if (client_ >= 0) ::close(client_);
  if (listen_ >= 0) ::close(listen_);
  ::close(wake_[0]);
  ::close(wake_[1]);
}

std::string ScriptedServer::Name(const char* scheme) const {
  return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_);
}

void ScriptedServer::Run() {
  while (true) {
    pollfd fds[3] = {{wake_[0], POLLIN, 0}, {-1, POLLIN, 0}, {-1, POLLIN, 0}};
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
      fds[1].fd = listen_;
      fds[2].fd = client_;
    }
    if (::poll(fds, 3, -1) < 0) continue;
    if (fds[0].revents) {
      char drain[16];
      [[maybe_unused]] const ssize_t n = ::read(wake_[0], drain, sizeof drain);
      continue;
    }
    if (fds[1].revents & POLLIN) {
      const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
      std::lock_guard lock(mutex_);
      if (fd >= 0) {
        if (client_ >= 0) ::close(client_);
        client_ = fd;
        ++clients_;
        state_ = kData;
        changed_.notify_all();
      }
    }
    if (fds[2].revents) {
      uint8_t buffer[4096];
      const ssize_t n = ::recv(fds[2].fd, buffer, sizeof buffer, 0);
      std::lock_guard lock(mutex_);
      if (fds[2].fd != client_) continue;
      if (n <= 0) {
        ::close(client_);
        client_ = -1;
      } else {
        Take(buffer, static_cast<size_t>(n));
      }
      changed_.notify_all();
    }
  }
}

void ScriptedServer::SendLocked(const std::string& bytes) {
  if (client_ >= 0) [[maybe_unused]] const ssize_t n = ::send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

void ScriptedServer::Answer(uint8_t code, const std::string& value) {
  requests_.push_back(std::to_string(code) + ":" + Hex(value));
  std::string answer = value;
  if (code == 1 && behaviour_.baudAnswer) {
    const uint32_t b = *behaviour_.baudAnswer;
    answer = {static_cast<char>(b >> 24), static_cast<char>(b >> 16), static_cast<char>(b >> 8), static_cast<char>(b)};
  }
  if ((code == 5 && !behaviour_.answerControl) || (code == 12 && !behaviour_.answerPurge) || code == 10 || code == 11)
    return;
  std::string out{static_cast<char>(kIac), static_cast<char>(kSb), static_cast<char>(kComPort),
                  static_cast<char>(code + 100)};
  for (char c : answer) {
    out += c;
    if (static_cast<uint8_t>(c) == kIac) out += c;
  }
  out += {static_cast<char>(kIac), static_cast<char>(kSe)};
  SendLocked(out);
}

void ScriptedServer::Take(const uint8_t* bytes, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    const uint8_t b = bytes[i];
    switch (state_) {
      case kData:
        if (b == kIac) {
          state_ = kCommand;
        } else {
          data_ += static_cast<char>(b);
        }
        break;
      case kCommand:
        if (b == kIac) {
          data_ += static_cast<char>(b);
          state_ = kData;
        } else if (b == kSb) {
          state_ = kSubOption;
        } else if (b >= kWill && b <= kDont) {
          verb_ = b;
          state_ = kVerb;
        } else {
          state_ = kData;
        }
        break;
      case kVerb:
        if (verb_ == kWill && b == kComPort) {
          SendLocked({static_cast<char>(kIac), static_cast<char>(behaviour_.acceptComPort ? kDo : kDont),
                      static_cast<char>(kComPort)});
        }
        state_ = kData;
        break;
      case kSubOption:
        value_.clear();
        state_ = kValue;
        break;
      case kValue:
        if (b == kIac) {
          state_ = kValueIac;
        } else {
          value_ += static_cast<char>(b);
        }
        break;
      case kValueIac:
        if (b == kSe) {
          if (!value_.empty()) Answer(static_cast<uint8_t>(value_[0]), value_.substr(1));
          state_ = kData;
        } else {
          value_ += static_cast<char>(b);
          state_ = kValue;
        }
        break;
    }
  }
}

bool ScriptedServer::Send(const std::string& bytes) {
  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, std::chrono::seconds(5), [this] { return client_ >= 0; })) return false;
  SendLocked(bytes);
  return true;
}

void ScriptedServer::Drop() {
  std::lock_guard lock(mutex_);
  if (client_ >= 0) ::close(client_);
  client_ = -1;
  [[maybe_unused]] const ssize_t n = ::write(wake_[1], "x", 1);
}

void ScriptedServer::StopListening() {
  std::lock_guard lock(mutex_);
  ::close(listen_);
  listen_ = -1;
  [[maybe_unused]] const ssize_t n = ::write(wake_[1], "x", 1);
}

std::string ScriptedServer::Data() {
  std::lock_guard lock(mutex_);
  return data_;
}

std::vector<std::string> ScriptedServer::Requests() {
  std::lock_guard lock(mutex_);
  return requests_;
}

int ScriptedServer::Clients() {
  std::lock_guard lock(mutex_);
  return clients_;
}

bool ScriptedServer::Await(
    const std::function<bool(const std::string& data, const std::vector<std::string>& requests)>& done,
    int timeoutMs) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return done(data_, requests_); });
}
