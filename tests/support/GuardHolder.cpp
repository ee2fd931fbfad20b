// Holds the single-instance guard in a process of its own until its standard
// input closes, so tests can end the holder normally or kill it.
#include <cstdio>

#include "InstanceGuard.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <guard name>\n", argv[0]);
    return 2;
  }
  InstanceGuard guard(argv[1]);
  std::printf("%s\n", guard.Held() ? "held" : "refused");
  std::fflush(stdout);
  while (std::getchar() != EOF) {
  }
  return 0;
}
