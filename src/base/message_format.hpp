#pragma once
// Building message and log texts: "{}" placeholders filled in order, and the
// shortest round-trip spelling of doubles that messages and the JSON writer
// share.

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace velk {

// The shortest decimal digits that read back to |value|, with the exponent e
// such that |value| = 0.d1d2...dn x 10^e. Only for finite, non-zero values.
struct ShortestDigits {
  char digits[20];
  int count;
  int exponent;
};
ShortestDigits shortest_digits(double value);

// Appends a double as the JSON writer spells it: shortest round-trip digits,
// plain decimal for values 1e-5 <= |v| < 1e16 (with ".0" when integral),
// exponent form otherwise ("1e16", "1.5e-7", "-0.0"); non-finite values as
// null.
void append_json_number(std::string& out, double value);

// Shortest round-trip digits in plain decimal notation, never an exponent,
// and no ".0" for integral values: "1", "0.0000001", "-0", "1.5",
// "100000000000000000000". Non-finite values as "inf", "-inf", "NaN".
std::string plain_decimal(double value);

namespace detail {
void append_text(std::string& out, std::string_view text);
void append_text(std::string& out, bool value);
void append_text(std::string& out, double value);
void append_text(std::string& out, std::uint64_t value);
void append_text(std::string& out, std::int64_t value);

template <class T>
void append_arg(std::string& out, const T& value) {
  if constexpr (std::is_same_v<T, bool>) {
    append_text(out, value);
  } else if constexpr (std::is_floating_point_v<T>) {
    append_text(out, static_cast<double>(value));
  } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
    append_text(out, static_cast<std::int64_t>(value));
  } else if constexpr (std::is_integral_v<T>) {
    append_text(out, static_cast<std::uint64_t>(value));
  } else {
    append_text(out, std::string_view(value));
  }
}

// Appends the pattern up to its next "{}" and returns the rest after it.
std::string_view append_until_placeholder(std::string& out, std::string_view pattern);
}  // namespace detail

// Fills each "{}" of `pattern` with the next argument: strings as they are,
// integers in decimal, booleans as true/false, doubles by plain_decimal.
template <class... Args>
std::string format_message(std::string_view pattern, const Args&... args) {
  std::string out;
  out.reserve(pattern.size() + 16 * sizeof...(Args));
  ((pattern = detail::append_until_placeholder(out, pattern), detail::append_arg(out, args)), ...);
  out.append(pattern);
  return out;
}

}  // namespace velk
