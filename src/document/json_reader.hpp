#pragma once
// The typed reader: walks the tokens of a document and fills records, with
// the JSON reader's messages for every value that does not fit its field.
// Read functions return false once an error is recorded; the first error
// stays.

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "base/message_format.hpp"
#include "document/json_tokens.hpp"
#include "document/json_value.hpp"
#include "document/load_records.hpp"
#include "document/record_schema.hpp"
#include "document/results_records.hpp"

namespace velk::json {

// A JSON number as the reader classifies it: integers without sign that fit
// 64 bits, negative integers that fit 64 bits, and everything else (a
// fraction, an exponent, -0, integers beyond 64 bits) as a double.
struct Number {
  enum class Kind { Unsigned, Negative, Float } kind = Kind::Unsigned;
  std::uint64_t unsigned_value = 0;
  std::int64_t negative_value = 0;
  double float_value = 0.0;
};

// Classifies a number spelled as JSON writes it; false when it is too large
// for a double.
bool parse_number(std::string_view spelling, Number& out);

class Reader {
 public:
  Reader(std::string_view document, const TokenStream& stream) : document_(document), stream_(stream) {}

  // The next token, or nullptr when the tokens ran out (the syntax error is
  // then the reader's error).
  const Token* next();
  const Token* peek();
  std::string_view text_of(const Token& token) const { return stream_.text_of(token); }

  // Records `message` at `token` unless an error is already recorded; false.
  bool fail(const Token& token, std::string message);
  // Records "invalid type: {found}, expected {wanted}".
  bool fail_type(const Token& token, std::string_view wanted);
  // Skips one whole value, whatever it holds.
  bool skip_value();
  // True when every token was used and the document has no syntax error.
  bool finish();

  // The recorded message with its " at line L column C".
  std::string error_message() const;

 private:
  std::string_view document_;
  const TokenStream& stream_;
  std::size_t position_ = 0;
  std::optional<SyntaxError> error_;
};

// "integer `5`", "floating point `1.5`", "string \"abc\"", "map", ...
std::string describe_token(const Reader& reader, const Token& token);
// "unknown variant `x`, expected one of `a`, `b`"
std::string unknown_variant_message(std::string_view spelling, const std::string_view* accepted,
                                    std::size_t count);

bool read_value(Reader& reader, std::uint32_t& out);
bool read_value(Reader& reader, std::uint64_t& out);
bool read_value(Reader& reader, double& out);
bool read_value(Reader& reader, bool& out);
bool read_value(Reader& reader, std::string& out);
bool read_value(Reader& reader, Vec3& out);
bool read_value(Reader& reader, JsonValue& out);
bool read_value(Reader& reader, ResultType& out);
// A map key holding a decimal u32.
bool read_map_key(Reader& reader, const Token& key, std::uint32_t& out);

template <class T>
bool read_value(Reader& reader, std::optional<T>& out);
template <class T>
bool read_value(Reader& reader, std::vector<T>& out);
template <class K, class T>
bool read_value(Reader& reader, std::map<K, T>& out);
template <SpelledEnum E>
bool read_value(Reader& reader, E& out);
template <Record R>
bool read_value(Reader& reader, R& out);

template <class T>
bool read_value(Reader& reader, std::optional<T>& out) {
  const Token* token = reader.peek();
  if (token == nullptr) return reader.next() != nullptr;
  if (token->kind == TokenKind::Null) {
    reader.next();
    out.reset();
    return true;
  }
  return read_value(reader, out.emplace());
}

template <class T>
bool read_value(Reader& reader, std::vector<T>& out) {
  const Token* token = reader.next();
  if (token == nullptr) return false;
  if (token->kind != TokenKind::StartArray) return reader.fail_type(*token, "a sequence");
  out.clear();
  for (;;) {
    const Token* element = reader.peek();
    if (element == nullptr) return reader.next() != nullptr;
    if (element->kind == TokenKind::EndArray) {
      reader.next();
      return true;
    }
    if (!read_value(reader, out.emplace_back())) return false;
  }
}

template <class K, class T>
bool read_value(Reader& reader, std::map<K, T>& out) {
  const Token* token = reader.next();
  if (token == nullptr) return false;
  if (token->kind != TokenKind::StartObject) return reader.fail_type(*token, "a map");
  out.clear();
  for (;;) {
    const Token* key_token = reader.next();
    if (key_token == nullptr) return false;
    if (key_token->kind == TokenKind::EndObject) return true;
    K key{};
    if constexpr (std::is_same_v<K, std::string>) {
      key = std::string(reader.text_of(*key_token));
    } else {
      if (!read_map_key(reader, *key_token, key)) return false;
    }
    // A repeated key keeps its last value.
    T value{};
    if (!read_value(reader, value)) return false;
    out.insert_or_assign(std::move(key), std::move(value));
  }
}

template <SpelledEnum E>
bool read_value(Reader& reader, E& out) {
  using Spellings = EnumSpellings<E>;
  const auto match = [&](const Token& token) {
    const std::string_view spelling = reader.text_of(token);
    for (std::size_t i = 0; i < Spellings::accepted.size(); ++i) {
      if (Spellings::accepted[i] == spelling) {
        out = Spellings::values[i];
        return true;
      }
    }
    return reader.fail(
        token, unknown_variant_message(spelling, Spellings::accepted.data(), Spellings::accepted.size()));
  };
  const Token* token = reader.next();
  if (token == nullptr) return false;
  if (token->kind == TokenKind::String) return match(*token);
  if (token->kind != TokenKind::StartObject) return reader.fail(*token, "expected value");
  // Object form: the spelling as the only key, with null as its value.
  const Token* key = reader.next();
  if (key == nullptr) return false;
  if (key->kind != TokenKind::Key) return reader.fail(*key, "expected value");
  if (!match(*key)) return false;
  const Token* unit = reader.next();
  if (unit == nullptr) return false;
  if (unit->kind != TokenKind::Null) return reader.fail_type(*unit, "unit");
  const Token* end = reader.next();
  if (end == nullptr) return false;
  if (end->kind != TokenKind::EndObject) return reader.fail(*end, "expected value");
  return true;
}

namespace detail {

template <class R>
inline constexpr std::size_t field_count =
    std::tuple_size_v<std::remove_cvref_t<decltype(Schema<R>::fields)>>;

// Calls `visit(field, value)` for the field with `index`.
template <class R, class Visit>
bool visit_field(R& record, std::size_t index, Visit&& visit) {
  bool ok = true;
  std::size_t i = 0;
  std::apply(
      [&](const auto&... field) {
        ((i++ == index ? (ok = visit(field, record.*(field.member))) : true), ...);
      },
      Schema<R>::fields);
  return ok;
}

template <class R>
constexpr std::array<std::string_view, field_count<R>> field_keys() {
  return std::apply(
      [](const auto&... field) { return std::array<std::string_view, field_count<R>>{field.key...}; },
      Schema<R>::fields);
}

// Whether the field may be left out: optional values and defaulted fields.
template <class R>
constexpr std::array<bool, field_count<R>> field_may_be_absent() {
  return std::apply(
      [](const auto&... field) {
        return std::array<bool, field_count<R>>{
            (field.defaulted || std::remove_cvref_t<decltype(field)>::is_optional)...};
      },
      Schema<R>::fields);
}

template <class R>
constexpr std::array<bool, field_count<R>> field_defaulted() {
  return std::apply([](const auto&... field) { return std::array<bool, field_count<R>>{field.defaulted...}; },
                    Schema<R>::fields);
}

}  // namespace detail

template <Record R>
bool read_value(Reader& reader, R& out) {
  constexpr std::size_t count = detail::field_count<R>;
  constexpr auto keys = detail::field_keys<R>();
  constexpr auto may_be_absent = detail::field_may_be_absent<R>();
  constexpr auto defaulted = detail::field_defaulted<R>();
  const auto read_field = [&reader](const auto&, auto& value) { return read_value(reader, value); };

  const Token* token = reader.next();
  if (token == nullptr) return false;

  if (token->kind == TokenKind::StartArray) {
    // Array form: every field's value in record order.
    for (std::size_t index = 0; index < count; ++index) {
      const Token* element = reader.peek();
      if (element == nullptr) return reader.next() != nullptr;
      if (element->kind == TokenKind::EndArray) {
        if (defaulted[index]) continue;  // a defaulted field may be left off the end
        return reader.fail(*element, format_message("invalid length {}, expected struct {} with {} elements",
                                                    index, Schema<R>::name, count));
      }
      if (!detail::visit_field(out, index, read_field)) return false;
    }
    const Token* end = reader.next();
    if (end == nullptr) return false;
    if (end->kind != TokenKind::EndArray) return reader.fail(*end, "trailing characters");
    return true;
  }

  if (token->kind != TokenKind::StartObject) {
    return reader.fail_type(*token, format_message("struct {}", Schema<R>::name));
  }
  std::array<bool, count> seen{};
  for (;;) {
    const Token* key = reader.next();
    if (key == nullptr) return false;
    if (key->kind == TokenKind::EndObject) {
      for (std::size_t index = 0; index < count; ++index) {
        if (!seen[index] && !may_be_absent[index]) {
          return reader.fail(*key, format_message("missing field `{}`", keys[index]));
        }
      }
      return true;
    }
    const std::string_view name = reader.text_of(*key);
    std::size_t index = 0;
    while (index < count && keys[index] != name) ++index;
    if (index == count) {
      if (!reader.skip_value()) return false;  // unknown keys are skipped, whatever they hold
      continue;
    }
    if (seen[index]) return reader.fail(*key, format_message("duplicate field `{}`", name));
    seen[index] = true;
    if (!detail::visit_field(out, index, read_field)) return false;
  }
}

}  // namespace velk::json
