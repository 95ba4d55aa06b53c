#pragma once
// The machinery of record tables: how a record appears in JSON (its name, its
// keys in record order, a description of each) and how an enumeration is
// spelled. The model document, the structured log events and the JSON Schema
// are all written from such tables, so what is read, written and described
// can never disagree.

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <tuple>
#include <type_traits>

namespace velk::json {

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};

template <class R, class V>
struct Field {
  std::string_view key;
  V R::*member;
  bool defaulted;                // absent means the record's default value
  std::string_view description;  // meaning and unit, for the schema and the format reference
  static constexpr bool is_optional = IsOptional<V>::value;
};

template <class R, class V>
constexpr Field<R, V> field(std::string_view key, V R::*member, std::string_view description = {}) {
  return {key, member, false, description};
}

template <class R, class V>
constexpr Field<R, V> defaulted_field(std::string_view key, V R::*member, std::string_view description = {}) {
  return {key, member, true, description};
}

template <class R>
struct Schema;

template <class R>
concept Record = requires {
  Schema<R>::fields;
};

// Accepted spellings in order with their values; `canonical` is indexed by the
// enumeration's value and is what the writer uses.
template <class E>
struct EnumSpellings;

template <class E>
concept SpelledEnum = std::is_enum_v<E> && requires {
  EnumSpellings<E>::accepted;
};

template <SpelledEnum E>
constexpr std::string_view canonical_spelling(E value) {
  return EnumSpellings<E>::canonical[static_cast<std::size_t>(value)];
}

}  // namespace velk::json
