#pragma once
// Counts the heap allocations of the benchmark process (operator new is
// replaced in allocation_counter.cpp), so a benchmark can report how many
// one call makes.

#include <cstddef>

namespace velk::bench {

std::size_t allocations();

}  // namespace velk::bench
