// EXPECT_FAULT(statement, message): the statement throws velk::Fault, the
// engine's one exception type, with exactly that message.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "base/fault.hpp"

namespace velk::test_support {

// The message of the Fault that `f` throws; "no fault" when it returns.
template <class F>
std::string fault_message(F&& f) {
  try {
    f();
  } catch (const Fault& fault) {
    return fault.what();
  }
  return "no fault";
}

}  // namespace velk::test_support

#define EXPECT_FAULT(statement, message) \
  EXPECT_EQ(::velk::test_support::fault_message([&] { statement; }), std::string(message))
