#include "diagnostics/diagnostics.hpp"

#include "base/json_text.hpp"
#include "base/log.hpp"

namespace velk {
namespace {

// An event field: its value, or null when it has none.
template <class T>
void write_field_value(std::string& out, const T& value) {
  if constexpr (json::IsOptional<T>::value) {
    if (value) {
      json::write_value(out, *value);
    } else {
      out.append("null");
    }
  } else {
    json::write_value(out, value);
  }
}

}  // namespace

std::string serialize_event(const DiagnosticEvent& event) {
  std::string out;
  out.reserve(128);
  std::visit(
      [&out](const auto& record) {
        using Record = std::remove_cvref_t<decltype(record)>;
        out.append("{\"type\":\"");
        out.append(json::Schema<Record>::name);
        out.push_back('"');
        std::apply(
            [&](const auto&... field) {
              ((out.append(",\""), out.append(field.key), out.append("\":"),
                write_field_value(out, record.*(field.member))),
               ...);
            },
            json::Schema<Record>::fields);
        out.push_back('}');
      },
      event);
  return out;
}

void emit_event(const DiagnosticEvent& event) {
  // The level check comes first: with debug off, nothing is serialised.
  if (!log::enabled(log::Level::Debug)) return;
  const std::string text = serialize_event(event);
  log::emit(log::Level::Debug, log::diagnostics_target, text);
}

}  // namespace velk
