#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "ComError.h"

// The EComPort that `body` raises; a test failure, and an empty error, when
// it raises none.
inline EComPort Raised(const std::function<void()>& body) {
  try {
    body();
  } catch (const EComPort& e) {
    return e;
  }
  ADD_FAILURE() << "no EComPort raised";
  return EComPort(0, 0);
}
