#include "diagnostics/message_format.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace velk {

ShortestDigits shortest_digits(double value) {
  // Scientific form of the shortest round trip: "d[.ddd]e[+-]xx".
  char buffer[40];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific);
  ShortestDigits out{};
  const char* p = buffer;
  out.digits[out.count++] = *p++;
  if (*p == '.') {
    for (++p; *p != 'e'; ++p) out.digits[out.count++] = *p;
  }
  ++p;  // 'e'
  if (*p == '+') ++p;
  int exponent10 = 0;
  std::from_chars(p, result.ptr, exponent10);
  out.exponent = exponent10 + 1;
  return out;
}

std::string plain_decimal(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  std::string out;
  if (std::signbit(value)) out.push_back('-');
  if (value == 0.0) {
    out.push_back('0');
    return out;
  }
  const ShortestDigits d = shortest_digits(value);
  if (d.exponent <= 0) {
    out.append("0.");
    out.append(static_cast<std::size_t>(-d.exponent), '0');
    out.append(d.digits, static_cast<std::size_t>(d.count));
  } else if (d.exponent >= d.count) {
    out.append(d.digits, static_cast<std::size_t>(d.count));
    out.append(static_cast<std::size_t>(d.exponent - d.count), '0');
  } else {
    out.append(d.digits, static_cast<std::size_t>(d.exponent));
    out.push_back('.');
    out.append(d.digits + d.exponent, static_cast<std::size_t>(d.count - d.exponent));
  }
  return out;
}

namespace detail {

void append_text(std::string& out, std::string_view text) { out.append(text); }

void append_text(std::string& out, bool value) { out.append(value ? "true" : "false"); }

void append_text(std::string& out, double value) { out.append(plain_decimal(value)); }

void append_text(std::string& out, std::uint64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

void append_text(std::string& out, std::int64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

std::string_view append_until_placeholder(std::string& out, std::string_view pattern) {
  const std::size_t at = pattern.find("{}");
  if (at == std::string_view::npos) {
    out.append(pattern);
    return {};
  }
  out.append(pattern.substr(0, at));
  return pattern.substr(at + 2);
}

}  // namespace detail
}  // namespace velk
