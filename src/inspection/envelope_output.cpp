// Envelopes of an inspected model: the set matched to its results, and the
// envelope as JSON, as CSV and as the summary of `velk envelope`.

#include "base/message_format.hpp"
#include "document/json_writer.hpp"
#include "inspection/inspection.hpp"
#include "inspection/text_output.hpp"

namespace velk {
namespace {

using text_output::write_csv_number;
using text_output::write_csv_text;
using text_output::write_numbers;
constexpr auto num = text_output::short_number;

const CaseInspection* find_inspected(const std::vector<CaseInspection>& cases, std::string_view name) {
  for (const CaseInspection& c : cases) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

std::string_view case_name(const Envelope& envelope, std::size_t index) { return envelope.set[index].name; }

void write_names(std::string& out, const Envelope& envelope, const std::vector<std::size_t>& cases) {
  out.push_back('[');
  for (std::size_t i = 0; i < cases.size(); ++i) {
    if (i > 0) out.push_back(',');
    json::write_string(out, case_name(envelope, cases[i]));
  }
  out.push_back(']');
}

template <class Write>
void write_per_component(std::string& out, std::string_view key, Write write) {
  json::write_key(out, key, false);
  out.push_back('{');
  for (std::size_t c = 0; c < diagram_component_count; ++c) {
    json::write_key(out, diagram_component_names[c], c == 0);
    write(c);
  }
  out.push_back('}');
}

void write_member(std::string& out, const Envelope& envelope, const MemberEnvelope& m) {
  out.append("{\"length\":");
  json::write_value(out, m.length);
  out.append(",\"x\":");
  write_numbers(out, m.x);
  write_per_component(out, "max", [&](std::size_t c) { write_numbers(out, m.max[c]); });
  write_per_component(out, "max_case", [&](std::size_t c) { write_names(out, envelope, m.max_case[c]); });
  write_per_component(out, "min", [&](std::size_t c) { write_numbers(out, m.min[c]); });
  write_per_component(out, "min_case", [&](std::size_t c) { write_names(out, envelope, m.min_case[c]); });
  write_per_component(out, "extremes", [&](std::size_t c) {
    const EnvelopeExtreme& e = m.extremes[c];
    out.append("{\"max\":");
    json::write_value(out, e.max);
    out.append(",\"max_at\":");
    json::write_value(out, e.max_at);
    out.append(",\"max_case\":");
    json::write_string(out, case_name(envelope, e.max_case));
    out.append(",\"min\":");
    json::write_value(out, e.min);
    out.append(",\"min_at\":");
    json::write_value(out, e.min_at);
    out.append(",\"min_case\":");
    json::write_string(out, case_name(envelope, e.min_case));
    out.push_back('}');
  });
  out.push_back('}');
}

void write_nodes(std::string& out, const Envelope& envelope,
                 const std::map<std::uint32_t, NodeEnvelope>& nodes,
                 const std::array<std::string_view, 6>& names) {
  out.push_back('{');
  bool first = true;
  for (const auto& [node, bounds] : nodes) {
    json::write_key(out, std::to_string(node), first);
    first = false;
    out.push_back('{');
    for (std::size_t k = 0; k < bounds.size(); ++k) {
      json::write_key(out, names[k], k == 0);
      out.append("{\"max\":");
      json::write_value(out, bounds[k].max);
      out.append(",\"max_case\":");
      json::write_string(out, case_name(envelope, bounds[k].max_case));
      out.append(",\"min\":");
      json::write_value(out, bounds[k].min);
      out.append(",\"min_case\":");
      json::write_string(out, case_name(envelope, bounds[k].min_case));
      out.push_back('}');
    }
    out.push_back('}');
  }
  out.push_back('}');
}

std::string unit_of(const InspectedModel& inspected, DiagramComponent component) {
  switch (component) {
    case DiagramComponent::N:
    case DiagramComponent::Vy:
    case DiagramComponent::Vz:
      return inspected.force_unit;
    case DiagramComponent::T:
    case DiagramComponent::My:
    case DiagramComponent::Mz:
      return inspected.force_unit + "·" + inspected.length_unit;
    case DiagramComponent::rx:
      return "rad";
    default:
      return inspected.length_unit;
  }
}

}  // namespace

Result<Envelope> inspected_envelope(const InspectedModel& inspected, const EnvelopeSelection& selection,
                                    int stations) {
  if (inspected.analysis_error) return std::unexpected(*inspected.analysis_error);
  auto set = select_envelope_set(inspected.model, selection);
  if (!set) return std::unexpected(std::move(set.error()));
  std::vector<EnvelopeInput> inputs;
  inputs.reserve(set->size());
  for (const EnvelopeCaseKey& key : *set) {
    const bool combination = key.identity.is_combination();
    const CaseInspection* found =
        find_inspected(combination ? inspected.loadcombinations : inspected.loadcases, key.name);
    if (found == nullptr) {
      return std::unexpected(
          format_message("{} '{}' has no results", combination ? "Load combination" : "Load case", key.name));
    }
    inputs.push_back({&found->results, &found->diagrams});
  }
  return build_envelope(std::move(*set), inputs, stations);
}

std::string envelope_to_json(const InspectedModel& inspected, const Envelope& envelope) {
  std::string out = "{\"length_unit\":";
  json::write_string(out, inspected.length_unit);
  out.append(",\"force_unit\":");
  json::write_string(out, inspected.force_unit);
  out.append(",\"set\":[");
  for (std::size_t i = 0; i < envelope.set.size(); ++i) {
    if (i > 0) out.push_back(',');
    json::write_string(out, envelope.set[i].name);
  }
  out.append("],\"members\":{");
  bool first = true;
  for (const auto& [id, member] : envelope.members) {
    json::write_key(out, std::to_string(id), first);
    first = false;
    write_member(out, envelope, member);
  }
  out.append("},\"nodes\":");
  write_nodes(out, envelope, envelope.nodes, displacement_component_names);
  out.append(",\"reactions\":");
  write_nodes(out, envelope, envelope.reactions, reaction_component_names);
  out.push_back('}');
  return out;
}

std::string envelope_to_csv(const Envelope& envelope) {
  std::string out = "member,component,station,x,max,max_case,min,min_case\n";
  for (const auto& [id, m] : envelope.members) {
    for (std::size_t c = 0; c < diagram_component_count; ++c) {
      for (std::size_t s = 0; s < m.x.size(); ++s) {
        out.append(std::to_string(id));
        out.push_back(',');
        out.append(diagram_component_names[c]);
        out.push_back(',');
        out.append(std::to_string(s));
        out.push_back(',');
        write_csv_number(out, m.x[s]);
        out.push_back(',');
        write_csv_number(out, m.max[c][s]);
        out.push_back(',');
        write_csv_text(out, case_name(envelope, m.max_case[c][s]));
        out.push_back(',');
        write_csv_number(out, m.min[c][s]);
        out.push_back(',');
        write_csv_text(out, case_name(envelope, m.min_case[c][s]));
        out.push_back('\n');
      }
    }
  }
  return out;
}

std::string envelope_summary(const InspectedModel& inspected, const Envelope& envelope) {
  const std::string& lu = inspected.length_unit;
  std::string out = format_message("Units: length {}, force {}, moment {}·{}\n", lu, inspected.force_unit,
                                   inspected.force_unit, lu);
  out += "Envelope of:";
  for (std::size_t i = 0; i < envelope.set.size(); ++i)
    out += format_message("{} \"{}\"", i == 0 ? "" : ",", envelope.set[i].name);
  out += "\n";
  constexpr DiagramComponent summarised[] = {DiagramComponent::N,  DiagramComponent::Vy, DiagramComponent::Vz,
                                             DiagramComponent::T,  DiagramComponent::My, DiagramComponent::Mz,
                                             DiagramComponent::uy, DiagramComponent::uz};
  for (const auto& [id, m] : envelope.members) {
    out += format_message("Member {} (length {} {})\n", id, num(m.length), lu);
    for (const DiagramComponent component : summarised) {
      const auto c = static_cast<std::size_t>(component_index(component));
      const EnvelopeExtreme& e = m.extremes[c];
      const std::string unit = unit_of(inspected, component);
      out += format_message("  {}: max {} {} at x = {} {} (\"{}\"), min {} {} at x = {} {} (\"{}\")\n",
                            diagram_component_names[c], num(e.max), unit, num(e.max_at), lu,
                            case_name(envelope, e.max_case), num(e.min), unit, num(e.min_at), lu,
                            case_name(envelope, e.min_case));
    }
  }
  const auto summarise_nodes = [&](std::string_view title, const std::map<std::uint32_t, NodeEnvelope>& nodes,
                                   const std::array<std::string_view, 6>& names) {
    if (nodes.empty()) return;
    out += format_message("{}\n", title);
    for (const auto& [node, bounds] : nodes) {
      out += format_message("  node {}:", node);
      for (std::size_t k = 0; k < bounds.size(); ++k) {
        out += format_message("{} {} {} (\"{}\") .. {} (\"{}\")", k == 0 ? "" : ";", names[k],
                              num(bounds[k].min), case_name(envelope, bounds[k].min_case), num(bounds[k].max),
                              case_name(envelope, bounds[k].max_case));
      }
      out += "\n";
    }
  };
  summarise_nodes(format_message("Displacements ({}, rad), min .. max:", lu), envelope.nodes,
                  displacement_component_names);
  summarise_nodes(
      format_message("Reactions ({}, {}·{}), min .. max:", inspected.force_unit, inspected.force_unit, lu),
      envelope.reactions, reaction_component_names);
  return out;
}

Result<std::string> envelope_json(std::string_view json_text, const EnvelopeSelection& selection,
                                  int stations, const MemberLimit& limit) {
  if (stations < 2) return std::unexpected(format_message("stations must be at least 2, not {}", stations));
  if (stations > max_envelope_stations) {
    return std::unexpected(
        format_message("stations must be at most {}, not {}", max_envelope_stations, stations));
  }
  auto inspected = inspect_model(json_text, limit, ModelCheck::Skip);
  if (!inspected) return std::unexpected(std::move(inspected.error()));
  const auto envelope = inspected_envelope(*inspected, selection, stations);
  if (!envelope) return std::unexpected(envelope.error());
  return envelope_to_json(*inspected, *envelope);
}

}  // namespace velk
