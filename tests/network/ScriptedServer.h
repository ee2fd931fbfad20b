#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ScriptedSockets.h"

// A device server on 127.0.0.1 that a test scripts: it serves one client at
// a time, answers RFC 2217 requests as told, records what the client sends,
// and sends what the test gives it. For what ser2net cannot be made to do.
class ScriptedServer {
 public:
  struct Behaviour {
    bool acceptComPort = true;
    bool answerControl = true;  // SET-CONTROL
    bool answerPurge = true;    // PURGE-DATA
    std::optional<uint32_t> baudAnswer = std::nullopt;  // answered instead of the speed asked
  };

  explicit ScriptedServer(Behaviour behaviour);
  ScriptedServer() : ScriptedServer(Behaviour{}) {}
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  std::string Name(const char* scheme = "rfc2217") const;
  // Sends raw bytes to the client, once there is one (false after 5 s without).
  bool Send(const std::string& bytes);
  // Ends the client's connection; the next client is accepted.
  void Drop();
  // Stops listening: connections are refused from now on.
  void StopListening();
  // Stops taking the client's bytes: requests go unanswered, the client's
  // writes pile up in the system's buffers.
  void Stall();

  // The client's data bytes, unescaped, and its COM-PORT-OPTION requests as
  // "code:value" with the value in hex ("1:00002580").
  std::string Data();
  std::vector<std::string> Requests();
  int Clients();
  // Waits until the condition holds (asked with the records locked).
  bool Await(const std::function<bool(const std::string& data, const std::vector<std::string>& requests)>& done,
             int timeoutMs = 5000);

 private:
  void Run();
  void Take(const uint8_t* bytes, size_t size);
  void Answer(uint8_t code, const std::string& value);
  void SendLocked(const std::string& bytes);
  // Sets the flag for the server thread and waits until it has done the work.
  void AskThread(bool& asked);
  // Ends the server thread's wait, to look at the sockets anew.
  void Wake();

  Behaviour behaviour_;
  scripted::Socket listen_ = scripted::kNoSocket;
  scripted::Socket wake_ = scripted::kNoSocket;
  uint16_t port_ = 0;
  std::thread thread_;

  std::mutex mutex_;
  std::condition_variable changed_;
  scripted::Socket client_ = scripted::kNoSocket;
  int clients_ = 0;
  bool stopping_ = false;
  bool stalled_ = false;
  bool dropAsked_ = false;
  bool stopListeningAsked_ = false;
  std::string data_;
  std::vector<std::string> requests_;
  // The client parser's state.
  int state_ = 0;
  uint8_t verb_ = 0;
  std::string value_;
};
