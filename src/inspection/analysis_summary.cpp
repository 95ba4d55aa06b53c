// The text summary of `velk analyse`.

#include <Eigen/Dense>
#include <cmath>
#include <cstdio>
#include <map>

#include "base/message_format.hpp"
#include "inspection/inspection.hpp"

namespace velk {
namespace {

// Six significant digits, as an engineer reads a summary.
std::string num(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.6g", value);
  return buffer;
}

struct Residual {
  Eigen::Vector3d force = Eigen::Vector3d::Zero();
  Eigen::Vector3d moment = Eigen::Vector3d::Zero();
};

// Sum of the reactions and of every applied load of the case, force and
// moment about the origin, in base units (the model's loads and geometry
// are in base units, the results in the document's).
Residual equilibrium_residual(const VELK& model, const CaseInspection& c, const UnitFactors& factors) {
  Residual sum;
  std::map<std::uint32_t, Eigen::Vector3d> positions;
  std::map<std::uint32_t, const Member*> members;
  for (const MemberSet& set : model.member_sets) {
    for (const Member& m : set.members) {
      positions.try_emplace(m.start_node.id, m.start_node.x, m.start_node.y, m.start_node.z);
      positions.try_emplace(m.end_node.id, m.end_node.x, m.end_node.y, m.end_node.z);
      members.try_emplace(m.id, &m);
    }
  }
  const auto at = [&](std::uint32_t node) {
    const auto found = positions.find(node);
    return found == positions.end() ? Eigen::Vector3d::Zero().eval() : found->second;
  };
  const auto add = [&](const Eigen::Vector3d& where, const Eigen::Vector3d& force,
                       const Eigen::Vector3d& moment) {
    sum.force += force;
    sum.moment += where.cross(force) + moment;
  };
  for (const auto& [node, reaction] : c.results.reaction_nodes) {
    const NodeForces& f = reaction.nodal_forces;
    add(at(node), Eigen::Vector3d(f.fx, f.fy, f.fz) * factors.force,
        Eigen::Vector3d(f.mx, f.my, f.mz) * (factors.force * factors.length));
  }
  for (const auto& [load_case, factor] : factored_load_cases(model, c.identity)) {
    for (const NodalLoad& load : load_case->nodal_loads) {
      const Eigen::Vector3d d(load.direction[0], load.direction[1], load.direction[2]);
      add(at(load.node), factor * load.magnitude * d, Eigen::Vector3d::Zero());
    }
    for (const NodalMoment& load : load_case->nodal_moments) {
      const Eigen::Vector3d d(load.direction[0], load.direction[1], load.direction[2]);
      add(Eigen::Vector3d::Zero(), Eigen::Vector3d::Zero(), factor * load.magnitude * d);
    }
    for (const DistributedLoad& load : load_case->distributed_loads) {
      const auto member = members.find(load.member);
      if (load.load_case != load_case->id || member == members.end()) continue;
      const double a = load.start_frac, b = load.end_frac, q1 = load.magnitude, q2 = load.end_magnitude;
      if (!(std::abs(b - a) >= 1e-14)) continue;
      const Eigen::Vector3d start = at(member->second->start_node.id);
      const Eigen::Vector3d delta = at(member->second->end_node.id) - start;
      const double length = delta.norm();
      // L int q and L int q xi over [a, b]
      const double total = length * (b - a) * (q1 + q2) / 2.0;
      const double first = length * (b - a) / 6.0 * (q1 * (2 * a + b) + q2 * (a + 2 * b));
      const Eigen::Vector3d d(load.direction[0], load.direction[1], load.direction[2]);
      sum.force += factor * total * d;
      sum.moment += factor * (start * total + delta * first).cross(d);
    }
  }
  return sum;
}

void summarise_case(std::string& out, const InspectedModel& inspected, const CaseInspection& c) {
  const std::string& lu = inspected.length_unit;
  const std::string& fu = inspected.force_unit;
  out += format_message("{} \"{}\" (id {})\n", c.identity.is_combination() ? "Load combination" : "Load case",
                        c.name, c.identity.id);

  const NodeDisplacement* largest = nullptr;
  std::uint32_t largest_node = 0;
  double largest_norm = -1.0;
  for (const auto& [node, d] : c.results.displacement_nodes) {
    const double norm = std::sqrt(d.dx * d.dx + d.dy * d.dy + d.dz * d.dz);
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
  const Residual r = equilibrium_residual(inspected.model, c, inspected.factors);
  out += format_message("  equilibrium residual: force {} {}, moment {} {}·{}\n",
                        num(r.force.norm() / inspected.factors.force), fu,
                        num(r.moment.norm() / (inspected.factors.force * inspected.factors.length)), fu, lu);

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

std::string analysis_summary(const InspectedModel& inspected) {
  std::string out = format_message("Units: length {}, force {}, moment {}·{}\n", inspected.length_unit,
                                   inspected.force_unit, inspected.force_unit, inspected.length_unit);
  if (inspected.analysis_error) {
    out += format_message("Analysis failed: {}\n", *inspected.analysis_error);
    return out;
  }
  for (const CaseInspection& c : inspected.loadcases) summarise_case(out, inspected, c);
  for (const CaseInspection& c : inspected.loadcombinations) summarise_case(out, inspected, c);
  return out;
}

}  // namespace velk
