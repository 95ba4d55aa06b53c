// The text summary of `velk analyse`.

#include <cmath>

#include "base/message_format.hpp"
#include "inspection/inspection.hpp"
#include "inspection/text_output.hpp"
#include "results/equilibrium.hpp"
#include "results/node_vectors.hpp"

namespace velk {
namespace {

constexpr auto num = text_output::short_number;

void summarise_case(std::string& out, const InspectedModel& inspected, const CaseInspection& c) {
  const std::string& lu = inspected.length_unit;
  const std::string& fu = inspected.force_unit;
  out += format_message("{} \"{}\" (id {})\n", c.identity.is_combination() ? "Load combination" : "Load case",
                        c.name, c.identity.id);

  const NodeDisplacement* largest = nullptr;
  std::uint32_t largest_node = 0;
  double largest_norm = -1.0;
  for (const auto& [node, d] : c.results.displacement_nodes) {
    const double norm = translation_norm(d);
    if (norm > largest_norm) {
      largest_norm = norm;
      largest = &d;
      largest_node = node;
    }
  }
  if (largest != nullptr) {
    out += format_message(
        "  largest displacement: node {}, {} {} (dx {}, dy {}, dz {}; rx {}, ry {}, rz {} rad)\n",
        largest_node, num(largest_norm), lu, num(largest->dx), num(largest->dy), num(largest->dz),
        num(largest->rx), num(largest->ry), num(largest->rz));
  }

  out += format_message("  reactions ({}, {}·{}):\n", fu, fu, lu);
  for (const auto& [node, reaction] : c.results.reaction_nodes) {
    const NodeForces& f = reaction.nodal_forces;
    out += format_message("    node {}: fx {}, fy {}, fz {}, mx {}, my {}, mz {}\n", node, num(f.fx),
                          num(f.fy), num(f.fz), num(f.mx), num(f.my), num(f.mz));
  }
  const EquilibriumBalance balance =
      equilibrium_balance(inspected.model, c.identity, c.results, inspected.factors, BalanceUnits::Document);
  out += format_message("  equilibrium residual: force {} {}, moment {} {}·{}\n",
                        num(balance.residual.head<3>().norm()), fu, num(balance.residual.tail<3>().norm()),
                        fu, lu);

  const MemberDiagram* governing = nullptr;
  SpanExtreme governing_extreme;
  DiagramComponent governing_component = DiagramComponent::Mz;
  double governing_value = -1.0;
  for (const auto& [id, diagram] : c.diagrams) {
    for (const DiagramComponent component : {DiagramComponent::My, DiagramComponent::Mz}) {
      const SpanExtreme e = diagram.extreme(component);
      for (const double value : {e.max, e.min}) {
        if (std::abs(value) > governing_value) {
          governing_value = std::abs(value);
          governing = &diagram;
          governing_extreme = e;
          governing_component = component;
        }
      }
    }
  }
  if (governing != nullptr) {
    const bool at_max = std::abs(governing_extreme.max) >= std::abs(governing_extreme.min);
    out += format_message(
        "  governing member by span moment: member {}, {} {} {}·{} at x = {} {} (length {} {})\n",
        governing->member_id,
        diagram_component_names[static_cast<std::size_t>(component_index(governing_component))],
        num(at_max ? governing_extreme.max : governing_extreme.min), fu, lu,
        num(at_max ? governing_extreme.max_at : governing_extreme.min_at), lu, num(governing->length), lu);
  }

  std::string switched_off;
  for (const MemberSet& set : inspected.model.member_sets) {
    for (const Member& member : set.members) {
      if (!is_one_way(member.member_type)) continue;
      const auto found = c.results.member_results.find(member.id);
      if (found == c.results.member_results.end()) continue;
      const NodeForces& s = found->second.start_node_forces;
      const NodeForces& e = found->second.end_node_forces;
      if (s.fx == 0.0 && s.fy == 0.0 && s.fz == 0.0 && e.fx == 0.0 && e.fy == 0.0 && e.fz == 0.0)
        switched_off += format_message("{}{}", switched_off.empty() ? "" : ", ", member.id);
    }
  }
  out += format_message("  switched-off tension/compression members: {}\n",
                        switched_off.empty() ? std::string("none") : switched_off);
}

}  // namespace

std::string analysis_summary(const InspectedModel& inspected) { return analysis_summary(inspected, {}); }

std::string analysis_summary(const InspectedModel& inspected, const CaseNotes& notes) {
  std::string out = format_message("Units: length {}, force {}, moment {}·{}\n", inspected.length_unit,
                                   inspected.force_unit, inspected.force_unit, inspected.length_unit);
  if (inspected.analysis_error) {
    out += format_message("Analysis failed: {}\n", *inspected.analysis_error);
    return out;
  }
  for (const auto* cases : {&inspected.loadcases, &inspected.loadcombinations}) {
    for (const CaseInspection& c : *cases) {
      summarise_case(out, inspected, c);
      if (notes) out += notes(c);
    }
  }
  return out;
}

}  // namespace velk
