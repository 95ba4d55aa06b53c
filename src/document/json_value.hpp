#pragma once
// A free-form JSON value, kept exactly as read (for unity check details).

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace velk {

struct JsonValue {
  using Array = std::vector<JsonValue>;
  // Members in ascending byte order of the key; a repeated key keeps its
  // last value.
  using Object = std::vector<std::pair<std::string, JsonValue>>;

  // Non-negative integers are held as unsigned, negative ones as signed,
  // everything else (fractions, exponents, -0, integers beyond 64 bits) as
  // double.
  std::variant<std::nullptr_t, bool, std::uint64_t, std::int64_t, double, std::string, Array, Object> value =
      nullptr;

  friend bool operator==(const JsonValue&, const JsonValue&) = default;
};

}  // namespace velk
