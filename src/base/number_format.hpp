#pragma once
// Text layouts of numbers shared by the JSON writer, reader messages and log
// lines.

#include <charconv>
#include <cstdint>
#include <string>

#include "base/message_format.hpp"

namespace velk {

// Header-only, so that every layer can write numbers without a library of its own.

inline void append_integer(std::string& out, std::uint64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

inline void append_integer(std::string& out, std::int64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

// append_json_number (the writer's spelling of doubles) is declared in
// base/message_format.hpp, beside the digit search it shares.

}  // namespace velk
