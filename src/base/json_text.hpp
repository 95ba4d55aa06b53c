#pragma once
// JSON text: strings escaped, object keys, and the scalar values (integers,
// doubles in their shortest round-trip spelling, booleans, strings).

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "base/number_format.hpp"

namespace velk::json {

// A JSON string with `"`, `\` and control characters escaped; everything else
// as the UTF-8 it is.
inline void write_string(std::string& out, std::string_view text) {
  static constexpr char hex[] = "0123456789abcdef";
  out.push_back('"');
  std::size_t plain_from = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(text.substr(plain_from, i - plain_from));
    plain_from = i + 1;
    switch (c) {
      case '"':
        out.append("\\\"");
        break;
      case '\\':
        out.append("\\\\");
        break;
      case '\b':
        out.append("\\b");
        break;
      case '\f':
        out.append("\\f");
        break;
      case '\n':
        out.append("\\n");
        break;
      case '\r':
        out.append("\\r");
        break;
      case '\t':
        out.append("\\t");
        break;
      default:
        out.append("\\u00");
        out.push_back(hex[c >> 4]);
        out.push_back(hex[c & 0xf]);
    }
  }
  out.append(text.substr(plain_from));
  out.push_back('"');
}

// Appends `"key":`, after a comma unless it is the first key of its object,
// in one step: records are written key by key, so this is the writer's
// second most frequent operation after numbers.
inline void write_key(std::string& out, std::string_view key, bool first) {
  const std::size_t size = out.size();
  const std::size_t length = key.size() + (first ? 3 : 4);
  if (out.capacity() < size + length) out.reserve(2 * (size + length));
  out.resize_and_overwrite(size + length, [&](char* buffer, std::size_t new_size) {
    char* p = buffer + size;
    if (!first) *p++ = ',';
    *p++ = '"';
    std::memcpy(p, key.data(), key.size());
    p += key.size();
    *p++ = '"';
    *p = ':';
    return new_size;
  });
}

inline void write_value(std::string& out, std::uint32_t value) { append_integer(out, std::uint64_t{value}); }
inline void write_value(std::string& out, std::uint64_t value) { append_integer(out, value); }
inline void write_value(std::string& out, double value) { append_json_number(out, value); }
inline void write_value(std::string& out, bool value) { out.append(value ? "true" : "false"); }
inline void write_value(std::string& out, std::string_view value) { write_string(out, value); }
inline void write_value(std::string& out, const std::string& value) { write_string(out, value); }

}  // namespace velk::json
