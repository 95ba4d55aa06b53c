#pragma once
// The writer: every record as a compact JSON object with all of its fields in
// record order, absent optional values as null, maps in key order.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "base/json_text.hpp"
#include "base/record_schema.hpp"
#include "document/json_value.hpp"
#include "document/load_records.hpp"
#include "document/record_schema.hpp"
#include "document/results_records.hpp"

namespace velk::json {

void write_value(std::string& out, const Vec3& value);
void write_value(std::string& out, const JsonValue& value);
void write_value(std::string& out, const ResultType& value);

template <class T>
void write_value(std::string& out, const std::optional<T>& value);
template <class T>
void write_value(std::string& out, const std::vector<T>& values);
template <class K, class T>
void write_value(std::string& out, const std::map<K, T>& values);
template <SpelledEnum E>
void write_value(std::string& out, E value);
template <Record R>
void write_value(std::string& out, const R& record);

template <class T>
void write_value(std::string& out, const std::optional<T>& value) {
  if (value) {
    write_value(out, *value);
  } else {
    out.append("null");
  }
}

template <class T>
void write_value(std::string& out, const std::vector<T>& values) {
  out.push_back('[');
  bool first = true;
  for (const T& value : values) {
    if (!first) out.push_back(',');
    first = false;
    write_value(out, value);
  }
  out.push_back(']');
}

// Maps keyed by string come out in ascending byte order, maps keyed by id in
// ascending numeric order, each key as a JSON string.
template <class K, class T>
void write_value(std::string& out, const std::map<K, T>& values) {
  out.push_back('{');
  bool first = true;
  for (const auto& [key, value] : values) {
    if (!first) out.push_back(',');
    first = false;
    if constexpr (std::is_same_v<K, std::string>) {
      write_string(out, key);
    } else {
      out.push_back('"');
      append_integer(out, std::uint64_t{key});
      out.push_back('"');
    }
    out.push_back(':');
    write_value(out, value);
  }
  out.push_back('}');
}

template <SpelledEnum E>
void write_value(std::string& out, E value) {
  out.push_back('"');
  out.append(canonical_spelling(value));
  out.push_back('"');
}

template <Record R>
void write_value(std::string& out, const R& record) {
  out.push_back('{');
  bool first = true;
  std::apply(
      [&](const auto&... field) {
        (([&] {
           write_key(out, field.key, first);
           first = false;
           write_value(out, record.*(field.member));
         }()),
         ...);
      },
      Schema<R>::fields);
  out.push_back('}');
}

}  // namespace velk::json
