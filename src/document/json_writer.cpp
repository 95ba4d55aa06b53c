#include "document/json_writer.hpp"

namespace velk::json {

void write_string(std::string& out, std::string_view text) {
  static constexpr char hex[] = "0123456789abcdef";
  out.push_back('"');
  std::size_t plain_from = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(text.substr(plain_from, i - plain_from));
    plain_from = i + 1;
    switch (c) {
      case '"': out.append("\\\""); break;
      case '\\': out.append("\\\\"); break;
      case '\b': out.append("\\b"); break;
      case '\f': out.append("\\f"); break;
      case '\n': out.append("\\n"); break;
      case '\r': out.append("\\r"); break;
      case '\t': out.append("\\t"); break;
      default:
        out.append("\\u00");
        out.push_back(hex[c >> 4]);
        out.push_back(hex[c & 0xf]);
    }
  }
  out.append(text.substr(plain_from));
  out.push_back('"');
}

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
