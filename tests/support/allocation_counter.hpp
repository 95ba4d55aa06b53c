#pragma once
// Counts the heap allocations of the process (operator new is replaced in
// allocation_counter.cpp), so a benchmark can report how many one call makes
// and a test can check that a loop makes none.

#include <cstddef>

namespace velk::test_support {

std::size_t allocations();

// False in builds whose sanitizer owns operator new: nothing is counted.
bool allocations_counted();

}  // namespace velk::test_support
