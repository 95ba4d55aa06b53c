// The diagrams of an inspected model as JSON and as CSV.

#include <cmath>

#include "document/json_writer.hpp"
#include "inspection/inspection.hpp"
#include "inspection/text_output.hpp"

namespace velk {
namespace {

using text_output::write_csv_number;
using text_output::write_csv_text;
using text_output::write_numbers;

void write_extreme(std::string& out, const SpanExtreme& e) {
  out.append("{\"max\":");
  json::write_value(out, e.max);
  out.append(",\"max_at\":");
  json::write_value(out, e.max_at);
  out.append(",\"min\":");
  json::write_value(out, e.min);
  out.append(",\"min_at\":");
  json::write_value(out, e.min_at);
  out.push_back('}');
}

void write_member(std::string& out, const SampledDiagram& sampled) {
  out.append("{\"length\":");
  json::write_value(out, sampled.length);
  out.append(",\"x\":");
  write_numbers(out, sampled.x);
  for (int c = 0; c < diagram_component_count; ++c) {
    json::write_key(out, diagram_component_names[static_cast<std::size_t>(c)], false);
    write_numbers(out, sampled.values[static_cast<std::size_t>(c)]);
  }
  out.append(",\"extremes\":{");
  for (int c = 0; c < diagram_component_count; ++c) {
    json::write_key(out, diagram_component_names[static_cast<std::size_t>(c)], c == 0);
    write_extreme(out, sampled.extremes[static_cast<std::size_t>(c)]);
  }
  out.append("}}");
}

void write_cases(std::string& out, const std::vector<CaseInspection>& cases, int stations) {
  out.push_back('{');
  for (std::size_t i = 0; i < cases.size(); ++i) {
    if (i > 0) out.push_back(',');
    json::write_string(out, cases[i].name);  // escaped: names are the user's text
    out.push_back(':');
    out.push_back('{');
    bool first = true;
    for (const auto& [id, diagram] : cases[i].diagrams) {
      json::write_key(out, std::to_string(id), first);
      first = false;
      write_member(out, sample_diagram(diagram, stations));
    }
    out.push_back('}');
  }
  out.push_back('}');
}

void write_csv_cases(std::string& out, std::string_view kind, const std::vector<CaseInspection>& cases,
                     int stations) {
  for (const CaseInspection& c : cases) {
    for (const auto& [id, diagram] : c.diagrams) {
      const SampledDiagram sampled = sample_diagram(diagram, stations);
      for (std::size_t s = 0; s < sampled.x.size(); ++s) {
        out.append(kind);
        out.push_back(',');
        write_csv_text(out, c.name);
        out.push_back(',');
        out.append(std::to_string(id));
        out.push_back(',');
        out.append(std::to_string(s));
        out.push_back(',');
        write_csv_number(out, sampled.x[s]);
        for (const auto& values : sampled.values) {
          out.push_back(',');
          write_csv_number(out, values[s]);
        }
        out.push_back('\n');
      }
    }
  }
}

}  // namespace

std::string diagrams_to_json(const InspectedModel& inspected, int stations) {
  std::string out = "{\"length_unit\":";
  json::write_string(out, inspected.length_unit);
  out.append(",\"force_unit\":");
  json::write_string(out, inspected.force_unit);
  out.append(",\"loadcases\":");
  write_cases(out, inspected.loadcases, stations);
  out.append(",\"loadcombinations\":");
  write_cases(out, inspected.loadcombinations, stations);
  out.push_back('}');
  return out;
}

std::string diagrams_to_csv(const InspectedModel& inspected, int stations) {
  std::string out = "kind,case,member,station,x";
  for (const std::string_view name : diagram_component_names) {
    out.push_back(',');
    out.append(name);
  }
  out.push_back('\n');
  write_csv_cases(out, "loadcase", inspected.loadcases, stations);
  write_csv_cases(out, "loadcombination", inspected.loadcombinations, stations);
  return out;
}

}  // namespace velk
