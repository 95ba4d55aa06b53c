#include "diagnostics/diagnostics.hpp"

#include "diagnostics/log.hpp"
#include "document/json_writer.hpp"

namespace velk {

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
                json::write_value(out, record.*(field.member))),
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
