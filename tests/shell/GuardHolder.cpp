// Holds the single-instance guard in a process of its own until its standard
// input closes, so tests can end the holder normally or kill it.
#include "InstanceGuard.h"

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <guard name>\n", argv[0]);
    return 2;
  }
  InstanceGuard guard(QString::fromLocal8Bit(argv[1]));
  std::printf("%s\n", guard.Held() ? "held" : "refused");
  std::fflush(stdout);
  char byte;
  while (read(STDIN_FILENO, &byte, 1) > 0) {
  }
  return 0;
}
