#include "ScriptedServer.h"

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
  listen_ = scripted::Listen(port_);
  wake_ = scripted::Waker();
  if (listen_ == scripted::kNoSocket || wake_ == scripted::kNoSocket) {
    scripted::Close(listen_);
    scripted::Close(wake_);
    throw std::runtime_error("scripted server: no socket on 127.0.0.1");
  }
  thread_ = std::thread(&ScriptedServer::Run, this);
}

ScriptedServer::~ScriptedServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  Wake();
  thread_.join();
  scripted::Close(client_);
  scripted::Close(listen_);
  scripted::Close(wake_);
}

void ScriptedServer::Wake() { scripted::Send(wake_, "x", 1); }

std::string ScriptedServer::Name(const char* scheme) const {
  return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_);
}

void ScriptedServer::Run() {
  std::vector<bool> ready;
  while (true) {
    std::vector<scripted::Socket> sockets{wake_, scripted::kNoSocket, scripted::kNoSocket};
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
      if (dropAsked_) {
        scripted::Close(client_);
        client_ = scripted::kNoSocket;
      }
      if (stopListeningAsked_) {
        scripted::Close(listen_);
        listen_ = scripted::kNoSocket;
      }
      if (dropAsked_ || stopListeningAsked_) {
        dropAsked_ = stopListeningAsked_ = false;
        changed_.notify_all();
      }
      sockets[1] = listen_;
      sockets[2] = stalled_ ? scripted::kNoSocket : client_;
    }
    scripted::Wait(sockets, ready);
    if (ready[0]) {
      char drain[16];
      scripted::Receive(wake_, drain, sizeof drain);
      continue;
    }
    if (ready[1]) {
      const scripted::Socket s = scripted::Accept(sockets[1]);
      std::lock_guard lock(mutex_);
      if (s != scripted::kNoSocket) {
        scripted::Close(client_);
        client_ = s;
        ++clients_;
        state_ = kData;
        changed_.notify_all();
      }
    }
    if (ready[2]) {
      char buffer[4096];
      const long n = scripted::Receive(sockets[2], buffer, sizeof buffer);
      std::lock_guard lock(mutex_);
      if (sockets[2] != client_) continue;
      if (n <= 0) {
        scripted::Close(client_);
        client_ = scripted::kNoSocket;
      } else {
        Take(reinterpret_cast<const uint8_t*>(buffer), static_cast<size_t>(n));
      }
      changed_.notify_all();
    }
  }
}

void ScriptedServer::SendLocked(const std::string& bytes) {
  if (client_ != scripted::kNoSocket) scripted::Send(client_, bytes.data(), bytes.size());
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
  if (!changed_.wait_for(lock, std::chrono::seconds(5), [this] { return client_ != scripted::kNoSocket; }))
    return false;
  SendLocked(bytes);
  return true;
}

// A socket closed while the server thread waits on it lives on until that
// wait ends: a listener would still take a connection and then reset it. So
// the thread closes its sockets itself, between two waits.
void ScriptedServer::AskThread(bool& asked) {
  std::unique_lock lock(mutex_);
  asked = true;
  Wake();
  changed_.wait(lock, [&] { return !asked; });
}

void ScriptedServer::Drop() { AskThread(dropAsked_); }

void ScriptedServer::StopListening() { AskThread(stopListeningAsked_); }

void ScriptedServer::Stall() {
  std::lock_guard lock(mutex_);
  stalled_ = true;
  Wake();
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
