#pragma once

namespace vreader {

// The speed a terminal runs at, in bits per second, as its last settings
// (by whichever end) made it; 0 when it cannot be read.
unsigned lineSpeed(int fd);

}  // namespace vreader
