#include "HostRequest.h"

#include <cstdio>

void HostRequest(const std::string& what) {
  std::fflush(stdout);
  std::printf("@host %s\n", what.c_str());
  std::fflush(stdout);
}
