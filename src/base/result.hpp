#pragma once
// The value of an operation that can fail on what the user gave it: the value,
// or the exact message that says what is wrong and where.

#include <expected>
#include <string>

namespace velk {

template <class T>
using Result = std::expected<T, std::string>;

}  // namespace velk
