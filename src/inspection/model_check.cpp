// The model check of `velk check`: everything that can be found wrong in a
// model without solving it, each finding with where it is.

#include <cmath>
#include <map>
#include <set>

#include "base/fault.hpp"
#include "base/message_format.hpp"
#include "document/document_io.hpp"
#include "document/json_writer.hpp"
#include "document/units.hpp"
#include "inspection/inspection.hpp"
#include "member/lookup_tables.hpp"
#include "member/member_dofs.hpp"
#include "member/member_geometry.hpp"
#include "solvers/mechanism_search.hpp"
#include "system/model_validation.hpp"

namespace velk {
namespace {

constexpr const char* error_severity = "error";

class Findings {
 public:
  template <class... Args>
  void error(std::string where, std::string_view pattern, const Args&... args) {
    list.push_back(Finding{error_severity, format_message(pattern, args...), std::move(where)});
  }
  std::vector<Finding> list;
};

std::string case_where(const LoadCase& c) { return format_message("load case {} \"{}\"", c.id, c.name); }

std::string combination_where(const LoadCombination& c) {
  return format_message("load combination {} \"{}\"", c.id, c.name);
}

std::string point(const Node& n) { return format_message("({}, {}, {})", n.x, n.y, n.z); }

// The reader's message split into its text and its " at line L column C".
Finding reader_finding(const std::string& message) {
  const std::string_view marker = " at line ";
  const std::size_t at = message.rfind(marker);
  if (at == std::string::npos) return Finding{error_severity, message, "document"};
  std::string where = message.substr(at + 4);  // "line L column C"
  const std::size_t column = where.find(" column ");
  if (column != std::string::npos) where.replace(column, 1, ", ");
  return Finding{error_severity, message.substr(0, at), where};
}

void check_nodes(const VELK& model, Findings& findings) {
  // Each node as the first member that uses it gives it.
  std::map<std::uint32_t, std::pair<const Node*, std::uint32_t>> nodes;
  std::set<std::uint32_t> mismatched;
  for (const MemberSet& set : model.member_sets) {
    for (const Member& member : set.members) {
      for (const Node* node : {&member.start_node, &member.end_node}) {
        const auto [it, inserted] = nodes.try_emplace(node->id, node, member.id);
        if (inserted || mismatched.contains(node->id)) continue;
        const Node& first = *it->second.first;
        if (first.x != node->x || first.y != node->y || first.z != node->z) {
          mismatched.insert(node->id);
          findings.error(format_message("node {}", node->id),
                         "Node {} has the coordinates {} in member {} and {} in member {}", node->id,
                         point(first), it->second.second, point(*node), member.id);
        }
      }
    }
  }
  const NodeNumbering numbering = node_numbering(model.member_sets);
  for (const MisnumberedNode& node : numbering.outside) {
    findings.list.push_back(Finding{error_severity, misnumbered_node_message(numbering, node),
                                    format_message("node {} (member {})", node.node, node.member)});
  }
}

void check_members(const VELK& model, const MemberLimit& limit, Findings& findings) {
  const LookupTables tables = build_lookup_tables(model);
  std::set<std::uint32_t> supports;
  for (const NodalSupport& s : model.nodal_supports) supports.insert(s.id);

  std::set<std::uint32_t> support_reported;
  for (const MemberSet& set : model.member_sets) {
    for (const Member& member : set.members) {
      const std::string where = format_message("member {}", member.id);
      const Node& s = member.start_node;
      const Node& e = member.end_node;
      if (!(member_length(member) >= min_member_length)) {
        findings.error(where, "Member {} starts and ends at the same point: node {} at {} and node {} at {}",
                       member.id, s.id, point(s), e.id, point(e));
      }
      if (!member.section) {
        if (member.member_type != MemberType::Rigid)
          findings.error(where, "Member {} ({}) has no section", member.id,
                         member_type_name(member.member_type));
      } else if (const Section* section = find_in(tables.sections, *member.section); section == nullptr) {
        findings.error(where, "Member {} names section {}, which the model does not have", member.id,
                       *member.section);
      } else if (find_in(tables.materials, section->material) == nullptr) {
        findings.error(where, "Member {} uses section {}, whose material {} the model does not have",
                       member.id, *member.section, section->material);
      }
      for (const auto& [hinge, end] :
           {std::pair{&member.start_hinge, "start"}, std::pair{&member.end_hinge, "end"}}) {
        if (*hinge && find_in(tables.hinges, **hinge) == nullptr) {
          findings.error(where, "Member {} names {} hinge {}, which the model does not have", member.id, end,
                         **hinge);
        }
      }
      for (const Node* node : {&s, &e}) {
        if (node->nodal_support && !supports.contains(*node->nodal_support) &&
            support_reported.insert(node->id).second) {
          findings.error(where, "Node {} of member {} names support {}, which the model does not have",
                         node->id, member.id, *node->nodal_support);
        }
      }
    }
  }
  if (auto counted = check_member_count(model, limit); !counted)
    findings.list.push_back(Finding{error_severity, counted.error(), "model"});
}

void check_supports(const VELK& model, Findings& findings) {
  for (const NodalSupport& support : model.nodal_supports) {
    for (const auto& [kind, conditions] : {std::pair{"displacement", &support.displacement_conditions},
                                           std::pair{"rotation", &support.rotation_conditions}}) {
      for (const auto& [axis, condition] : *conditions) {
        if (condition.condition_type != ConditionType::Spring) continue;
        if (condition.stiffness && *condition.stiffness > 0.0 && std::isfinite(*condition.stiffness))
          continue;
        findings.error(format_message("support {}", support.id),
                       "Support {} has a spring on {} {} without a positive stiffness", support.id, kind,
                       axis);
      }
    }
  }
}

void check_loads(const VELK& model, Findings& findings) {
  std::set<std::uint32_t> nodes, members, case_ids;
  for (const MemberSet& set : model.member_sets) {
    for (const Member& member : set.members) {
      nodes.insert(member.start_node.id);
      nodes.insert(member.end_node.id);
      members.insert(member.id);
    }
  }
  std::map<std::string, std::uint32_t> case_names;
  for (const LoadCase& c : model.load_cases) {
    case_ids.insert(c.id);
    const auto [first, inserted] = case_names.try_emplace(c.name, c.id);
    if (!inserted) {
      findings.error(case_where(c), "Load case name \"{}\" is used by load case {} and load case {}", c.name,
                     first->second, c.id);
    }
    for (const NodalLoad& load : c.nodal_loads) {
      if (!nodes.contains(load.node)) {
        findings.error(format_message("{}, nodal load {}", case_where(c), load.id),
                       "Nodal load {} of load case {} acts on node {}, which no member uses", load.id, c.id,
                       load.node);
      }
    }
    for (const NodalMoment& load : c.nodal_moments) {
      if (!nodes.contains(load.node)) {
        findings.error(format_message("{}, nodal moment {}", case_where(c), load.id),
                       "Nodal moment {} of load case {} acts on node {}, which no member uses", load.id, c.id,
                       load.node);
      }
    }
    for (std::size_t i = 0; i < c.distributed_loads.size(); ++i) {
      const DistributedLoad& load = c.distributed_loads[i];
      if (!members.contains(load.member)) {
        findings.error(format_message("{}, distributed load {}", case_where(c), i + 1),
                       "Distributed load {} of load case {} acts on member {}, which the model does not have",
                       i + 1, c.id, load.member);
      }
      // The engine integrates a stretch given backwards with the opposite
      // sign, and one beyond the member ends along shapes that do not hold there.
      if (!(load.start_frac >= 0.0 && load.start_frac <= load.end_frac && load.end_frac <= 1.0)) {
        findings.error(
            format_message("{}, distributed load {}", case_where(c), i + 1),
            "Distributed load {} of load case {} runs from fraction {} to {} of member {}: fractions "
            "must rise within 0..1",
            i + 1, c.id, load.start_frac, load.end_frac, load.member);
      }
    }
  }
  std::map<std::string, std::uint32_t> combination_names;
  for (const LoadCombination& combination : model.load_combinations) {
    const auto [first, inserted] = combination_names.try_emplace(combination.name, combination.id);
    if (!inserted) {
      findings.error(combination_where(combination),
                     "Load combination name \"{}\" is used by load combination {} and load combination {}",
                     combination.name, first->second, combination.id);
    }
    for (const auto& [case_id, factor] : combination.load_cases_factors) {
      if (!case_ids.contains(case_id)) {
        findings.error(combination_where(combination),
                       "Load combination {} names load case {}, which the model does not have",
                       combination.id, case_id);
      }
    }
  }
}

// Mechanisms of the model as the core finds them (first order, every member
// active, base units). Only a model whose members can be formed is tried.
void check_mechanisms(const VELK& model, Findings& findings) {
  const auto mechanisms = find_mechanisms(model);
  if (!mechanisms) {
    findings.list.push_back(Finding{error_severity, mechanisms.error(), "model"});
    return;
  }
  for (const Mechanism& mechanism : *mechanisms) {
    findings.list.push_back(
        Finding{error_severity, mechanism_message(mechanism), format_message("node {}", mechanism.node)});
  }
}

}  // namespace

std::vector<Finding> check_model(std::string_view json_text, const MemberLimit& limit) {
  auto parsed = read_velk(json_text);
  if (!parsed) return {reader_finding(parsed.error())};
  return check_model(*parsed, limit);
}

std::vector<Finding> check_model(const VELK& parsed, const MemberLimit& limit) {
  Findings findings;
  check_nodes(parsed, findings);
  check_members(parsed, limit, findings);
  check_supports(parsed, findings);
  check_loads(parsed, findings);
  if (findings.list.empty()) {
    VELK model = parsed;
    // A document that carries results holds its model in base units already.
    if (!carries_results(model)) normalize_units(model, unit_factors(model.settings.unit_settings));
    try {
      check_mechanisms(model, findings);
    } catch (const Fault& fault) {
      findings.list.push_back(Finding{error_severity, fault.what(), "model"});
    }
  }
  return findings.list;
}

std::string findings_to_json(const std::vector<Finding>& findings) {
  std::string out = "[";
  for (std::size_t i = 0; i < findings.size(); ++i) {
    if (i > 0) out.push_back(',');
    out.append("{\"severity\":");
    json::write_string(out, findings[i].severity);
    out.append(",\"message\":");
    json::write_string(out, findings[i].message);
    out.append(",\"where\":");
    json::write_string(out, findings[i].where);
    out.push_back('}');
  }
  out.push_back(']');
  return out;
}

}  // namespace velk
