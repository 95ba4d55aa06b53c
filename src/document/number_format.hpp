#pragma once
// Text layouts of numbers shared by the JSON writer, reader messages and log
// lines.

#include <cstdint>
#include <string>

namespace velk {

// Appends a double as the JSON writer spells it: shortest round-trip digits,
// plain decimal for values 1e-5 <= |v| < 1e16 (with ".0" when integral),
// exponent form otherwise ("1e16", "1.5e-7"); non-finite values as null.
void append_json_number(std::string& out, double value);


void append_integer(std::string& out, std::uint64_t value);
void append_integer(std::string& out, std::int64_t value);

}  // namespace velk
