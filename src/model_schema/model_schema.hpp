#pragma once
// The JSON Schema (draft 2020-12) of the model document, generated from the
// record tables that drive the reader and the writer.

#include <string>

namespace velk {

// The schema as indented JSON text ending in a newline; the same text on
// every call.
std::string model_json_schema();

// The pattern a map key holding a decimal u32 must match: the digits of an
// integer from 0 to 4294967295 without sign, leading zeros or exponent.
inline constexpr const char* u32_key_pattern =
    "^(0|[1-9][0-9]{0,8}|[1-3][0-9]{9}|4[01][0-9]{8}|42[0-8][0-9]{7}|429[0-3][0-9]{6}|4294[0-8][0-9]{5}"
    "|42949[0-5][0-9]{4}|429496[0-6][0-9]{3}|4294967[01][0-9]{2}|42949672[0-8][0-9]|429496729[0-5])$";

}  // namespace velk
