#pragma once

#include <stdexcept>

namespace vreader {

// A failure the program reports with its message and ends on (or, for a
// control command, reports and carries on).
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace vreader
