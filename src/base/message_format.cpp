#include "base/message_format.hpp"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

// The shortest-digits search only: header-only, so nothing links against fmt.
#define FMT_HEADER_ONLY
#include <fmt/format.h>

namespace velk {

namespace {

// 10^k for k = 0..19.
constexpr std::uint64_t powers_of_ten[20] = {1ULL,
                                             10ULL,
                                             100ULL,
                                             1000ULL,
                                             10000ULL,
                                             100000ULL,
                                             1000000ULL,
                                             10000000ULL,
                                             100000000ULL,
                                             1000000000ULL,
                                             10000000000ULL,
                                             100000000000ULL,
                                             1000000000000ULL,
                                             10000000000000ULL,
                                             100000000000000ULL,
                                             1000000000000000ULL,
                                             10000000000000000ULL,
                                             100000000000000000ULL,
                                             1000000000000000000ULL,
                                             10000000000000000000ULL};

// The number of decimal digits of v > 0: log10 estimated from the bit
// length (1233 / 4096 ~ log10(2)) and corrected by one comparison.
int decimal_length(std::uint64_t v) {
  const int estimate = (std::bit_width(v) * 1233) >> 12;
  return estimate + 1 - (v < powers_of_ten[estimate] ? 1 : 0);
}

// Writes v < 10^8 as exactly eight digits: four independent pairs.
[[gnu::always_inline]] inline void write_eight_digits(char* out, std::uint32_t v) {
  static constexpr char pairs[] =
      "0001020304050607080910111213141516171819202122232425262728293031323334353637383940414243444546474849"
      "5051525354555657585960616263646566676869707172737475767778798081828384858687888990919293949596979899";
  const std::uint32_t high = v / 10000;
  const std::uint32_t low = v % 10000;
  std::memcpy(out + 0, pairs + 2 * (high / 100), 2);
  std::memcpy(out + 2, pairs + 2 * (high % 100), 2);
  std::memcpy(out + 4, pairs + 2 * (low / 100), 2);
  std::memcpy(out + 6, pairs + 2 * (low % 100), 2);
}

}  // namespace

// The digit search, inlined into both of its users below.
[[gnu::always_inline]] inline ShortestDigits find_shortest_digits(double value) {
  // Dragonbox gives the shortest significand s and exponent q with
  // |value| = s x 10^q that reads back to |value|; trailing zeros of s (if
  // any) are dropped and its digits laid out in eight-digit blocks.
  ShortestDigits out{};
  const auto decimal = fmt::detail::dragonbox::to_decimal(std::fabs(value));
  std::uint64_t significand = decimal.significand;
  int exponent10 = decimal.exponent;
  while (significand != 0 && significand % 10 == 0) {  // zero stays one digit "0"
    significand /= 10;
    ++exponent10;
  }
  const int count = significand == 0 ? 1 : decimal_length(significand);
  // A double's shortest significand has at most 17 digits: three blocks.
  // 24 digits and the slack that a fixed-size copy of sizeof digits from
  // the first of even a single digit reads past them.
  char blocks[24 + sizeof out.digits] = {};
  write_eight_digits(blocks + 16, static_cast<std::uint32_t>(significand % 100000000));
  significand /= 100000000;
  write_eight_digits(blocks + 8, static_cast<std::uint32_t>(significand % 100000000));
  write_eight_digits(blocks, static_cast<std::uint32_t>(significand / 100000000 % 100000000));
  std::memcpy(out.digits, blocks + 24 - count, sizeof out.digits);
  out.count = count;
  out.exponent = exponent10 + count;
  return out;
}

ShortestDigits shortest_digits(double value) { return find_shortest_digits(value); }

void append_json_number(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out.append("null");
    return;
  }
  // Laid out in a local buffer with fixed-size copies (digits are 20 bytes
  // with whatever follows the last one) and appended once; the longest
  // spelling is a sign, 17 digits, 15 zeros and ".0", or an exponent form.
  char text[64];
  char* p = text;
  if (std::signbit(value)) *p++ = '-';
  if (value == 0.0) {
    out.append(p == text ? "0.0" : "-0.0");
    return;
  }
  // value = 0.d1...dn x 10^e
  const ShortestDigits d = find_shortest_digits(value);
  const int e = d.exponent;
  if (e > -5 && e <= 16) {
    if (e <= 0) {  // 0.000ddd
      *p++ = '0';
      *p++ = '.';
      std::memset(p, '0', 4);
      p += -e;
      std::memcpy(p, d.digits, sizeof d.digits);
      p += d.count;
    } else if (e >= d.count) {  // ddd000.0
      std::memcpy(p, d.digits, sizeof d.digits);
      std::memset(p + d.count, '0', 16);
      p += e;
      *p++ = '.';
      *p++ = '0';
    } else {  // dd.ddd
      std::memcpy(p, d.digits, sizeof d.digits);
      std::memmove(p + e + 1, p + e, sizeof d.digits);
      p[e] = '.';
      p += d.count + 1;
    }
  } else {  // d.ddde-7, or de16 for a single digit
    *p++ = d.digits[0];
    if (d.count > 1) {
      *p++ = '.';
      std::memcpy(p, d.digits + 1, sizeof d.digits - 1);
      p += d.count - 1;
    }
    *p++ = 'e';
    p = std::to_chars(p, text + sizeof text, e - 1).ptr;
  }
  const auto length = static_cast<std::size_t>(p - text);
  const std::size_t size = out.size();
  if (out.capacity() < size + sizeof text) out.reserve(2 * (size + sizeof text));
  out.resize_and_overwrite(size + sizeof text, [&](char* buffer, std::size_t) {
    std::memcpy(buffer + size, text, sizeof text);
    return size + length;
  });
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
