#include "model_schema/model_schema.hpp"

#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "document/record_schema.hpp"
#include "document/velk.hpp"

namespace velk {
namespace {

using json::EnumSpellings;
using json::Record;
using json::Schema;
using json::SpelledEnum;
using Value = rapidjson::Value;
using Allocator = rapidjson::Document::AllocatorType;

template <class T>
struct IsVector : std::false_type {};
template <class T>
struct IsVector<std::vector<T>> : std::true_type {};

template <class T>
struct IsMap : std::false_type {};
template <class K, class T>
struct IsMap<std::map<K, T>> : std::true_type {};

// Every record and every field says what it holds: checked when the schema
// is compiled.
template <Record R>
consteval bool fully_described() {
  if (Schema<R>::description.empty()) return false;
  return std::apply([](const auto&... field) { return (!field.description.empty() && ...); },
                    Schema<R>::fields);
}

class SchemaBuilder {
 public:
  explicit SchemaBuilder(Allocator& allocator) : allocator_(allocator) {}

  // The schema of a value of type T, a reference into $defs for records,
  // enumerations and the shared number types.
  template <class T>
  Value of() {
    if constexpr (json::IsOptional<T>::value) {
      Value any(rapidjson::kArrayType);
      any.PushBack(of<typename T::value_type>(), allocator_);
      any.PushBack(object("type", text("null")), allocator_);
      return object("anyOf", std::move(any));
    } else if constexpr (std::is_same_v<T, std::uint32_t>) {
      return reference("u32");
    } else if constexpr (std::is_same_v<T, std::uint64_t>) {
      return reference("u64");
    } else if constexpr (std::is_same_v<T, double>) {
      return reference("f64");
    } else if constexpr (std::is_same_v<T, bool>) {
      return object("type", text("boolean"));
    } else if constexpr (std::is_same_v<T, std::string>) {
      return object("type", text("string"));
    } else if constexpr (std::is_same_v<T, Vec3>) {
      return reference("Vec3");
    } else if constexpr (std::is_same_v<T, JsonValue>) {
      return Value(rapidjson::kObjectType);  // any JSON value
    } else if constexpr (std::is_same_v<T, ResultType>) {
      define_result_type();
      return reference("ResultType");
    } else if constexpr (IsVector<T>::value) {
      return object("type", text("array"), "items", of<typename T::value_type>());
    } else if constexpr (IsMap<T>::value) {
      Value map = object("type", text("object"));
      if constexpr (std::is_same_v<typename T::key_type, std::uint32_t>) {
        map.AddMember("propertyNames", reference("u32_key"), allocator_);
      } else {
        static_assert(std::is_same_v<typename T::key_type, std::string>);
      }
      map.AddMember("additionalProperties", of<typename T::mapped_type>(), allocator_);
      return map;
    } else if constexpr (SpelledEnum<T>) {
      define_enum<T>();
      return reference(EnumSpellings<T>::name);
    } else {
      static_assert(Record<T>, "a field type the schema does not know");
      define_record<T>();
      return reference(Schema<T>::name);
    }
  }

  // The $defs object, sorted by name.
  Value definitions() {
    define_shared();
    Value defs(rapidjson::kObjectType);
    for (auto& [name, schema] : defs_) defs.AddMember(text(name), std::move(schema), allocator_);
    defs_.clear();
    return defs;
  }

  Value text(std::string_view value) {
    return Value(value.data(), static_cast<rapidjson::SizeType>(value.size()), allocator_);
  }

  // An object of key and value pairs: object("type", text("array"), "minItems", Value(3)).
  template <class... Members>
  Value object(Members&&... members) {
    Value out(rapidjson::kObjectType);
    if constexpr (sizeof...(members) > 0) add_members(out, std::forward<Members>(members)...);
    return out;
  }

 private:
  template <class... Rest>
  void add_members(Value& out, const char* key, Value&& value, Rest&&... rest) {
    out.AddMember(rapidjson::StringRef(key), value, allocator_);
    if constexpr (sizeof...(rest) > 0) add_members(out, std::forward<Rest>(rest)...);
  }

  Value reference(std::string_view name) {
    return object("$ref", text(std::string("#/$defs/").append(name)));
  }

  Value strings(const auto& values) {
    Value out(rapidjson::kArrayType);
    for (const std::string_view value : values) out.PushBack(text(value), allocator_);
    return out;
  }

  bool claim(std::string_view name) { return defined_.insert(std::string(name)).second; }

  void define_shared() {
    if (!claim("u32")) return;
    defs_.emplace("u32", object("description",
                                text("Unsigned 32-bit integer, written without fraction or "
                                     "exponent."),
                                "type", text("integer"), "minimum", Value(0), "maximum",
                                Value(std::numeric_limits<std::uint32_t>::max())));
    defs_.emplace("u64", object("description",
                                text("Unsigned 64-bit integer, written without fraction or "
                                     "exponent."),
                                "type", text("integer"), "minimum", Value(0), "maximum",
                                Value(std::numeric_limits<std::uint64_t>::max())));
    defs_.emplace("f64", object("description",
                                text("Number, read as a 64-bit double; integers are "
                                     "accepted. Written with a fraction or an exponent; a "
                                     "value that is not finite is written as null."),
                                "type", text("number")));
    defs_.emplace(
        "Vec3", object("description", text("Three numbers: the X, Y and Z components."), "type",
                       text("array"), "items", reference("f64"), "minItems", Value(3), "maxItems", Value(3)));
    defs_.emplace("u32_key", object("description",
                                    text("A map key holding a u32 in decimal digits, for "
                                         "example \"12\"."),
                                    "type", text("string"), "pattern", text(u32_key_pattern)));
  }

  void define_result_type() {
    if (!claim("ResultType")) return;
    Value properties(rapidjson::kObjectType);
    for (const std::string_view variant : json::result_type_variants) {
      properties.AddMember(text(variant), reference("u32"), allocator_);
    }
    defs_.emplace("ResultType",
                  object("description",
                         text("Load case or load combination with its id: an object with "
                              "the one key \"Loadcase\" or \"Loadcombination\" holding the "
                              "id, for example {\"Loadcase\": 3}."),
                         "type", text("object"), "minProperties", Value(1), "maxProperties", Value(1),
                         "properties", std::move(properties), "additionalProperties", Value(false)));
  }

  template <SpelledEnum E>
  void define_enum() {
    using Spellings = EnumSpellings<E>;
    if (!claim(Spellings::name)) return;
    std::string description(Spellings::description);
    description.append(" Accepted spellings: ");
    for (std::size_t i = 0; i < Spellings::accepted.size(); ++i) {
      description.append(i > 0 ? ", " : "").append("\"").append(Spellings::accepted[i]).append("\"");
    }
    description.append("; written as ");
    for (std::size_t i = 0; i < Spellings::canonical.size(); ++i) {
      description.append(i > 0 ? ", " : "").append("\"").append(Spellings::canonical[i]).append("\"");
    }
    description.append(
        ". The object form with the spelling as its only key and null as its value is "
        "accepted too.");
    Value any(rapidjson::kArrayType);
    any.PushBack(object("type", text("string"), "enum", strings(Spellings::accepted)), allocator_);
    any.PushBack(object("type", text("object"), "minProperties", Value(1), "maxProperties", Value(1),
                        "propertyNames", object("enum", strings(Spellings::accepted)), "additionalProperties",
                        object("type", text("null"))),
                 allocator_);
    defs_.emplace(std::string(Spellings::name),
                  object("description", text(description), "anyOf", std::move(any), "examples",
                         strings(Spellings::canonical)));
  }

  // The default of a defaulted field: the value a record starts with, as it
  // is written. Only strings and enumerations are defaulted.
  template <class V>
  Value default_of(const V& value) {
    if constexpr (SpelledEnum<V>) {
      return text(json::canonical_spelling(value));
    } else if constexpr (std::is_same_v<V, std::string>) {
      return text(value);
    } else {
      return Value();
    }
  }

  template <Record R>
  void define_record() {
    static_assert(fully_described<R>(), "every record and field of the document needs a description");
    if (!claim(Schema<R>::name)) return;
    const R defaults{};
    Value properties(rapidjson::kObjectType);
    Value required(rapidjson::kArrayType);
    Value items(rapidjson::kArrayType);
    std::size_t count = 0;
    std::size_t least_items = 0;  // trailing defaulted fields may be left off the array form
    std::apply(
        [&](const auto&... field) {
          (([&] {
             using V = std::remove_cvref_t<decltype(defaults.*(field.member))>;
             Value schema = of<V>();
             schema.AddMember("description", text(field.description), allocator_);
             if (field.defaulted)
               schema.AddMember("default", default_of(defaults.*(field.member)), allocator_);
             ++count;
             if (!field.defaulted) least_items = count;
             if (!field.defaulted && !json::IsOptional<V>::value)
               required.PushBack(text(field.key), allocator_);
             items.PushBack(Value(schema, allocator_), allocator_);
             properties.AddMember(text(field.key), std::move(schema), allocator_);
           }()),
           ...);
        },
        Schema<R>::fields);

    Value object_form = object("type", text("object"));
    object_form.AddMember("properties", std::move(properties), allocator_);
    object_form.AddMember("required", std::move(required), allocator_);
    Value array_form = object("description", text("The array form: the field values in this order."), "type",
                              text("array"), "minItems", Value(static_cast<std::uint64_t>(least_items)),
                              "maxItems", Value(static_cast<std::uint64_t>(count)));
    array_form.AddMember("prefixItems", std::move(items), allocator_);
    Value any(rapidjson::kArrayType);
    any.PushBack(std::move(object_form), allocator_);
    any.PushBack(std::move(array_form), allocator_);
    Value definition = object("description", text(Schema<R>::description));
    definition.AddMember("anyOf", std::move(any), allocator_);
    defs_.emplace(std::string(Schema<R>::name), std::move(definition));
  }

  Allocator& allocator_;
  std::set<std::string> defined_;
  std::map<std::string, Value> defs_;
};

}  // namespace

std::string model_json_schema() {
  rapidjson::Document schema(rapidjson::kObjectType);
  auto& allocator = schema.GetAllocator();
  SchemaBuilder builder(allocator);
  Value root = builder.of<VELK>();
  schema.AddMember("$schema", "https://json-schema.org/draft/2020-12/schema", allocator);
  schema.AddMember("title", "velk model document", allocator);
  schema.AddMember("description",
                   builder.text("A structural model for the velk engine: member sets with their members "
                                "and nodes, sections, materials, supports, hinges, load cases, load "
                                "combinations, settings and, once analysed, results. Keys a record does not "
                                "know are skipped by the reader. Generated from the engine's record tables "
                                "(make schema)."),
                   allocator);
  schema.AddMember("$ref", root["$ref"], allocator);
  schema.AddMember("$defs", builder.definitions(), allocator);

  rapidjson::StringBuffer buffer;
  rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
  writer.SetIndent(' ', 2);
  schema.Accept(writer);
  std::string out(buffer.GetString(), buffer.GetSize());
  out.push_back('\n');
  return out;
}

}  // namespace velk
