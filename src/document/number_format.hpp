#pragma once
// Text layouts of numbers shared by the JSON writer, reader messages and log
// lines.

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "diagnostics/message_format.hpp"

namespace velk {

// Header-only, so that diagnostics can write JSON without the document library.

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

// Appends up to 48 bytes from `text` (a 48-byte buffer) with one fixed-size
// copy instead of a call per number.
inline void append_short(std::string& out, const char (&text)[48], std::size_t length) {
  const std::size_t size = out.size();
  if (out.capacity() < size + sizeof text) out.reserve(2 * (size + sizeof text));
  out.resize_and_overwrite(size + sizeof text, [&](char* buffer, std::size_t) {
    std::memcpy(buffer + size, text, sizeof text);
    return size + length;
  });
}

// Appends a double as the JSON writer spells it: shortest round-trip digits,
// plain decimal for values 1e-5 <= |v| < 1e16 (with ".0" when integral),
// exponent form otherwise ("1e16", "1.5e-7"); non-finite values as null.
inline void append_json_number(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out.append("null");
    return;
  }
  // Laid out in a local buffer and appended once: the longest spelling is a
  // sign, 17 digits, 15 zeros and ".0", or an exponent form.
  char text[48];
  char* p = text;
  if (std::signbit(value)) *p++ = '-';
  if (value == 0.0) {
    out.append(p == text ? "0.0" : "-0.0");
    return;
  }
  // value = 0.d1...dn x 10^e
  const ShortestDigits d = shortest_digits(value);
  const auto copy_digits = [&](int from, int to) {
    for (int k = from; k < to; ++k) *p++ = d.digits[k];
  };
  if (d.exponent > -5 && d.exponent <= 16) {
    if (d.exponent <= 0) {  // 0.000ddd
      *p++ = '0';
      *p++ = '.';
      for (int k = 0; k < -d.exponent; ++k) *p++ = '0';
      copy_digits(0, d.count);
    } else if (d.exponent >= d.count) {  // ddd000.0
      copy_digits(0, d.count);
      for (int k = d.count; k < d.exponent; ++k) *p++ = '0';
      *p++ = '.';
      *p++ = '0';
    } else {  // dd.ddd
      copy_digits(0, d.exponent);
      *p++ = '.';
      copy_digits(d.exponent, d.count);
    }
  } else {  // d.ddde-7, or de16 for a single digit
    copy_digits(0, 1);
    if (d.count > 1) {
      *p++ = '.';
      copy_digits(1, d.count);
    }
    *p++ = 'e';
    p = std::to_chars(p, text + sizeof text, d.exponent - 1).ptr;
  }
  append_short(out, text, static_cast<std::size_t>(p - text));
}

}  // namespace velk
