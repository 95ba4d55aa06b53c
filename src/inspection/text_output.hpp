#pragma once
// The pieces of the front ends' text that the diagrams, the envelopes and
// the summaries share: lists of numbers in JSON, CSV fields, and numbers as
// an engineer reads them in a summary.

#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "base/json_text.hpp"

namespace velk::text_output {

// [v1,v2,...], each in its shortest round-trip spelling (null when not finite).
inline void write_numbers(std::string& out, const std::vector<double>& values) {
  out.push_back('[');
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) out.push_back(',');
    json::write_value(out, values[i]);
  }
  out.push_back(']');
}

// A CSV field: quoted when it holds a comma, a quote or a line break.
inline void write_csv_text(std::string& out, std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    out.append(text);
    return;
  }
  out.push_back('"');
  for (const char c : text) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}

// A number as a CSV field; empty when it is not finite.
inline void write_csv_number(std::string& out, double value) {
  if (std::isfinite(value)) json::write_value(out, value);
}

// Six significant digits, as an engineer reads a summary.
inline std::string short_number(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.6g", value);
  return buffer;
}

}  // namespace velk::text_output
