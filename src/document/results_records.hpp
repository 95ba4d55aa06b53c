#pragma once
// Results of an analysis: per load case and per combination, node
// displacements, support reactions, member end forces and a summary, plus the
// unity check records carried from the input.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "document/json_value.hpp"

namespace velk {

// Which load case or combination a solution belongs to.
struct ResultType {
  enum class Kind { Loadcase, Loadcombination };
  Kind kind = Kind::Loadcase;
  std::uint32_t id = 0;  // id of the load case or combination

  static constexpr ResultType load_case(std::uint32_t id) { return {Kind::Loadcase, id}; }
  static constexpr ResultType combination(std::uint32_t id) { return {Kind::Loadcombination, id}; }
  constexpr bool is_combination() const { return kind == Kind::Loadcombination; }
};

struct NodeDisplacement {
  double dx = 0.0;
  double dy = 0.0;
  double dz = 0.0;
  double rx = 0.0;
  double ry = 0.0;
  double rz = 0.0;
};

struct NodeForces {
  double fx = 0.0;
  double fy = 0.0;
  double fz = 0.0;
  double mx = 0.0;
  double my = 0.0;
  double mz = 0.0;
};

struct NodeLocation {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

struct ReactionNodeResult {
  NodeForces nodal_forces;  // global axes
  NodeLocation location;    // metres
  std::uint32_t support_id = 0;
};

struct MemberResult {
  NodeForces start_node_forces;
  NodeForces end_node_forces;
  NodeForces maximums;
  NodeForces minimums;
};

// Per member id.
using MemberResults = std::map<std::uint32_t, MemberResult>;

struct ResultsSummary {
  std::uint64_t total_displacements = 0;
  std::uint64_t total_reaction_forces = 0;
  std::uint64_t total_member_forces = 0;
};

struct GoverningKey {
  std::optional<std::uint32_t> member_id;
  std::optional<std::uint32_t> load_combination_id;
  std::optional<std::uint32_t> load_case_id;
};

struct UnityCheck {
  std::string check_id;
  bool ok = false;
  std::optional<double> value;
  std::optional<double> limit;
  std::optional<std::string> message;
  std::optional<GoverningKey> governing;
  JsonValue details;
};

struct UnityCheckOverview {
  std::string check_id;
  bool aggregated_ok = false;
  std::optional<double> aggregated_value;
  std::optional<GoverningKey> governing;
  std::vector<UnityCheck> children;
};

struct Results {
  std::string name;
  ResultType result_type;
  std::map<std::uint32_t, NodeDisplacement> displacement_nodes;
  std::map<std::uint32_t, ReactionNodeResult> reaction_nodes;
  MemberResults member_results;
  ResultsSummary summary;
  std::optional<std::map<std::string, UnityCheck>> unity_checks;

  // Not part of the document: true for a record computed by the current
  // analysis, whose values are in base units until they are converted back;
  // a record read from a document is in the document's units.
  bool computed_in_base_units = false;
};

struct ResultsBundle {
  std::map<std::string, Results> loadcases;
  std::map<std::string, Results> loadcombinations;
  std::optional<std::map<std::string, UnityCheckOverview>> unity_checks_overview;
};

}  // namespace velk
