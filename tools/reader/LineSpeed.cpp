#include "LineSpeed.h"

// termios2 gives the speed as a number, also one set as BOTHER; it cannot
// share a file with <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace vreader {

unsigned lineSpeed(int fd) {
  struct termios2 settings {};
  if (ioctl(fd, TCGETS2, &settings) != 0) return 0;
  return settings.c_ospeed;
}

}  // namespace vreader
