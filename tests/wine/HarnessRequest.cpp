#include "HarnessRequest.h"

#include <cstdio>
#include <iostream>
#include <stdexcept>

std::string HarnessRequest(const std::string& command) {
  std::fflush(stdout);
  std::printf("@host %s\n", command.c_str());
  std::fflush(stdout);
  std::string reply;
  if (!std::getline(std::cin, reply)) throw std::runtime_error("the harness did not answer " + command);
  if (!reply.empty() && reply.back() == '\r') reply.pop_back();
  return reply;
}

std::string HarnessField(const std::string& reply, const std::string& name) {
  if (reply.rfind(name, 0) != 0) throw std::runtime_error("the harness answered " + reply);
  return reply.size() > name.size() ? reply.substr(name.size() + 1) : std::string();
}

void HarnessExpect(const std::string& command, const std::string& wanted) {
  const std::string reply = HarnessRequest(command);
  if (reply != wanted) throw std::runtime_error("the harness answered " + reply + " to " + command);
}
