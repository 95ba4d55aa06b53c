// Shortest round-trip number text, JSON number layouts, message placeholders, the log facade.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "base/log.hpp"
#include "base/message_format.hpp"
#include "support/log_capture.hpp"

namespace velk {
namespace {

TEST(PlainDecimal, ShortestDigitsWithoutExponent) {
  const struct {
    double value;
    const char* text;
  } table[] = {
      {1.0, "1"},
      {0.1, "0.1"},
      {1.5, "1.5"},
      {0.001, "0.001"},
      {1e-7, "0.0000001"},
      {-1.25e-5, "-0.0000125"},
      {123.456, "123.456"},
      {1e20, "100000000000000000000"},
      {1e16, "10000000000000000"},
      {0.0, "0"},
      {-0.0, "-0"},
      {1.0 / 3.0, "0.3333333333333333"},
      {std::numeric_limits<double>::infinity(), "inf"},
  };
  for (const auto& row : table) EXPECT_EQ(plain_decimal(row.value), row.text) << row.text;
}

// The standard library's shortest round-trip digits of v > 0 and the
// exponent e with v = 0.d1d2...dn x 10^e, read from its scientific form.
std::pair<std::string, int> standard_shortest(double value) {
  char buffer[40];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific).ptr;
  std::string digits;
  const char* p = buffer;
  for (; *p != 'e'; ++p)
    if (*p != '.') digits.push_back(*p);
  int exponent = 0;
  std::from_chars(p + (p[1] == '+' ? 2 : 1), end, exponent);
  return {digits, exponent + 1};
}

// The digit search must agree with the standard library's shortest
// round-trip form on every double: random bit patterns over the whole range,
// random magnitudes typical of results, and the boundaries of the format.
TEST(ShortestDigits, AgreeWithTheStandardLibraryShortestForm) {
  std::vector<double> values = {
      std::numeric_limits<double>::denorm_min(),
      std::numeric_limits<double>::min(),
      std::numeric_limits<double>::max(),
      std::nextafter(std::numeric_limits<double>::min(), 0.0),
      1.0,
      0.1,
      0.3,
      2.0 / 3.0,
      1e23,
      5e-324,
      9007199254740993.0,
      1e16,
      1e15,
      123456789012345678.0,
  };
  for (int e = -1074; e <= 1023; ++e) {
    const double power = std::ldexp(1.0, e);
    values.insert(values.end(), {power, std::nextafter(power, 0.0), std::nextafter(power, 2 * power)});
  }
  for (int e = -323; e <= 308; ++e) {
    const std::string text = "1e" + std::to_string(e);
    double power = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), power);
    values.push_back(power);
  }
  std::mt19937_64 random(20261208);
  std::uniform_real_distribution<double> magnitude(-12.0, 12.0);
  for (int k = 0; k < 200000; ++k) {
    const double bits = std::bit_cast<double>(random() & 0x7fffffffffffffffULL);
    if (std::isfinite(bits) && bits != 0.0) values.push_back(bits);
    values.push_back(std::pow(10.0, magnitude(random)) * (k % 2 ? 1.0 : -1.0));
  }
  int mismatches = 0;
  for (const double value : values) {
    if (value == 0.0) continue;  // the writer spells zeros itself
    const ShortestDigits d = shortest_digits(value);
    const auto [digits, exponent] = standard_shortest(std::fabs(value));
    if (std::string(d.digits, d.count) != digits || d.exponent != exponent) {
      if (++mismatches <= 5)
        ADD_FAILURE() << value << ": " << std::string(d.digits, d.count) << "e" << d.exponent;
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// The JSON spelling over every layout: plain decimal for 1e-5 <= |v| < 1e16
// (".0" when integral), exponent form outside, built here from the standard
// library's shortest form with plain string operations.
TEST(JsonNumber, LayoutsAgreeWithTheShortestForm) {
  const auto reference = [](double value) -> std::string {
    if (!std::isfinite(value)) return "null";
    const std::string sign = std::signbit(value) ? "-" : "";
    if (value == 0.0) return std::signbit(value) ? "-0.0" : "0.0";
    const auto [digits, e] = standard_shortest(std::fabs(value));  // value = 0.digits x 10^e
    const auto n = static_cast<int>(digits.size());
    std::string text = sign;
    if (e > -5 && e <= 16) {
      if (e <= 0) {
        text.append("0.").append(static_cast<std::size_t>(-e), '0').append(digits);
      } else if (e >= n) {
        text.append(digits).append(static_cast<std::size_t>(e - n), '0').append(".0");
      } else {
        text.append(digits, 0, static_cast<std::size_t>(e))
            .append(".")
            .append(digits, static_cast<std::size_t>(e));
      }
      return text;
    }
    text.append(digits, 0, 1);
    if (n > 1) text.append(".").append(digits, 1);
    return text.append("e").append(std::to_string(e - 1));
  };
  std::vector<double> values = {0.0,
                                -0.0,
                                1.0,
                                -1.0,
                                0.1,
                                1e16,
                                9999999999999998.0,
                                1e15,
                                123456789012345.6,
                                1e-5,
                                9.99999e-6,
                                1.5e-7,
                                0.0001,
                                12.5,
                                100.0,
                                1e300,
                                -2.5e-300,
                                std::numeric_limits<double>::denorm_min(),
                                std::numeric_limits<double>::max(),
                                std::numeric_limits<double>::infinity(),
                                std::nan("")};
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> magnitude(-8.0, 20.0);
  for (int k = 0; k < 100000; ++k) {
    const double v = std::pow(10.0, magnitude(random));
    values.push_back(k % 3 == 0 ? -v : v);
    values.push_back(std::round(v));
  }
  int mismatches = 0;
  for (const double value : values) {
    std::string text = "[";
    append_json_number(text, value);
    if (text.substr(1) != reference(value) && ++mismatches <= 5) {
      ADD_FAILURE() << text.substr(1) << " != " << reference(value);
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(FormatMessage, FillsPlaceholdersInOrder) {
  EXPECT_EQ(format_message("LC {} linear error: {}", 3u, "Matrix is singular"),
            "LC 3 linear error: Matrix is singular");
  EXPECT_EQ(format_message("{}, {}, {}, {}", -7, true, 0.5, std::string("s")), "-7, true, 0.5, s");
  EXPECT_EQ(format_message("Number of members ({}) exceeds allowed maximum of {}", std::size_t{101}, 100),
            "Number of members (101) exceeds allowed maximum of 100");
  EXPECT_EQ(format_message("no placeholders"), "no placeholders");
  EXPECT_EQ(format_message("tolerance={}", 1e-6), "tolerance=0.000001");
}

// Counts how often a log argument is turned into text.
struct CountingText {
  int* conversions;
  operator std::string_view() const {
    ++*conversions;
    return "text";
  }
};

class LogFacade : public ::testing::Test {
 protected:
  test_support::LogCapture records{log::Level::Off};
};

TEST_F(LogFacade, StartsOffAndBuildsNothingUntilAdmitted) {
  EXPECT_EQ(log::max_level(), log::Level::Off);
  int conversions = 0;
  log::info(log::analysis_target, "value {}", CountingText{&conversions});
  log::warning(log::analysis_target, "value {}", CountingText{&conversions});
  EXPECT_EQ(conversions, 0);
  EXPECT_TRUE(records.lines.empty());

  log::set_max_level(log::Level::Info);
  log::debug(log::diagnostics_target, "value {}", CountingText{&conversions});
  EXPECT_EQ(conversions, 0);
  log::info(log::analysis_target, "value {}", CountingText{&conversions});
  EXPECT_EQ(conversions, 1);
  ASSERT_EQ(records.lines.size(), 1u);
  EXPECT_EQ(records.levels[0], log::Level::Info);
  EXPECT_EQ(records.targets[0], "velk_calculations::analysis");
  EXPECT_EQ(records.lines[0], "value text");
}

TEST_F(LogFacade, LevelsAdmitEverythingMoreSevere) {
  log::set_max_level(log::Level::Warning);
  log::warning(log::results_target, "w");
  log::info(log::results_target, "i");
  log::write(log::Level::Error, log::model_target, "e {}", 1);
  ASSERT_EQ(records.lines.size(), 2u);
  EXPECT_EQ(records.lines[0], "w");
  EXPECT_EQ(records.targets[0], "velk_calculations::functions::results");
  EXPECT_EQ(records.levels[1], log::Level::Error);
  EXPECT_EQ(records.targets[1], "velk_calculations::models::velk::velk");

  log::set_max_level(log::Level::Debug);
  log::debug(log::diagnostics_target, "d");
  EXPECT_EQ(records.targets.back(), "velk::diagnostics");
  log::set_sink({});
  log::debug(log::diagnostics_target, "no sink, no record");
  EXPECT_EQ(records.lines.size(), 3u);
}

}  // namespace
}  // namespace velk
