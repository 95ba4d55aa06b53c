#pragma once
// Text layouts of numbers shared by the JSON writer, reader messages and log
// lines.

#include <charconv>
#include <cmath>
#include <cstdint>
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

// Appends a double as the JSON writer spells it: shortest round-trip digits,
// plain decimal for values 1e-5 <= |v| < 1e16 (with ".0" when integral),
// exponent form otherwise ("1e16", "1.5e-7"); non-finite values as null.
inline void append_json_number(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out.append("null");
    return;
  }
  if (std::signbit(value)) out.push_back('-');
  if (value == 0.0) {
    out.append("0.0");
    return;
  }
  // value = 0.d1...dn x 10^e
  const ShortestDigits d = shortest_digits(value);
  const auto digits = [&](int from, int to) {
    out.append(d.digits + from, static_cast<std::size_t>(to - from));
  };
  if (d.exponent > -5 && d.exponent <= 16) {
    if (d.exponent <= 0) {  // 0.000ddd
      out.append("0.");
      out.append(static_cast<std::size_t>(-d.exponent), '0');
      digits(0, d.count);
    } else if (d.exponent >= d.count) {  // ddd000.0
      digits(0, d.count);
      out.append(static_cast<std::size_t>(d.exponent - d.count), '0');
      out.append(".0");
    } else {  // dd.ddd
      digits(0, d.exponent);
      out.push_back('.');
      digits(d.exponent, d.count);
    }
    return;
  }
  // d.ddde-7, or de16 for a single digit
  digits(0, 1);
  if (d.count > 1) {
    out.push_back('.');
    digits(1, d.count);
  }
  out.push_back('e');
  append_integer(out, std::int64_t{d.exponent - 1});
}

}  // namespace velk
