#include "document/json_writer.hpp"

namespace velk::json {

void write_value(std::string& out, const Vec3& value) {
  out.push_back('[');
  write_value(out, value[0]);
  out.push_back(',');
  write_value(out, value[1]);
  out.push_back(',');
  write_value(out, value[2]);
  out.push_back(']');
}

void write_value(std::string& out, const JsonValue& value) {
  struct Visitor {
    std::string& out;
    void operator()(std::nullptr_t) const { out.append("null"); }
    void operator()(bool b) const { write_value(out, b); }
    void operator()(std::uint64_t u) const { append_integer(out, u); }
    void operator()(std::int64_t i) const { append_integer(out, i); }
    void operator()(double d) const { append_json_number(out, d); }
    void operator()(const std::string& s) const { write_string(out, s); }
    void operator()(const JsonValue::Array& array) const { write_value(out, array); }
    void operator()(const JsonValue::Object& object) const {
      out.push_back('{');
      bool first = true;
      for (const auto& [key, member] : object) {
        if (!first) out.push_back(',');
        first = false;
        write_string(out, key);
        out.push_back(':');
        write_value(out, member);
      }
      out.push_back('}');
    }
  };
  std::visit(Visitor{out}, value.value);
}

void write_value(std::string& out, const ResultType& value) {
  out.append(value.kind == ResultType::Kind::Loadcase ? "{\"Loadcase\":" : "{\"Loadcombination\":");
  append_integer(out, std::uint64_t{value.id});
  out.push_back('}');
}

}  // namespace velk::json
