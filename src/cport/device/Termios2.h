#pragma once

#include <cstdint>

// Any-speed line rate through termios2/BOTHER. Kept apart from <termios.h>,
// whose definitions clash with the kernel's <asm/termbits.h>.
namespace serialdev::termios2 {

// Sets input and output speed of the open terminal fd to baud. Returns errno or 0.
int SetSpeed(int fd, uint32_t baud);
// Reads the output speed back. Returns errno or 0.
int GetSpeed(int fd, uint32_t& baud);

}  // namespace serialdev::termios2
