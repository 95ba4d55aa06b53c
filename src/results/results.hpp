#pragma once
// From a solved displacement vector to the results record of a load case or
// combination: member end forces and their extremes, node displacements,
// support reactions, and the record stored in the model's results bundle.

#include <Eigen/Dense>
#include <cstdint>
#include <expected>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/result.hpp"
#include "document/velk.hpp"
#include "member/lookup_tables.hpp"
#include "member/member_dofs.hpp"
#include "system/active_set.hpp"
#include "system/load_assembler.hpp"

namespace velk {

// How member end forces are recovered from the displacements.
struct RecoveryOptions {
  // A second-order solution: each member's stiffness includes its geometric
  // stiffness at its final axial force, so the end forces carry the P-Delta
  // moments and balance the loads in the deformed state.
  bool second_order = false;
};

// What the recovery of one case needs besides the displacements, found once.
struct CaseRecovery {
  LookupTables tables;
  std::vector<std::pair<const LoadCase*, double>> cases;  // factored_load_cases
  RecoveryOptions options;
  // The axial force below which a member carries no geometric stiffness, as
  // in the assembly.
  double geometric_force_threshold = 0.0;
  // Per member id the distributed loads of the cases on it, each with the
  // index of its case in `cases`, in case order and then document order.
  std::unordered_map<std::uint32_t, std::vector<std::pair<std::size_t, const DistributedLoad*>>> member_loads;
};

CaseRecovery case_recovery(const VELK& model, ResultType identity, const RecoveryOptions& options = {});

// The member's local equivalent load vector p of the case's distributed loads.
Vector12 member_load_vector(const Member& member, const CaseRecovery& recovery);

// The state of one member's ends in a solution.
struct MemberEndState {
  Matrix3 lambda;                // local axes as rows
  Vector12 forces;               // what the nodes exert on the member, global axes
  Vector12 displacements;        // member-side end displacements, local axes: at a
                                 // released entry the one the recovery solved for
  Vector12 loads;                // p, local axes
  double geometric_force = 0.0;  // N of the geometric stiffness in `forces`, 0 when none
  bool switched_off = false;     // a Tension or Compression member the active set turned off
};

// The end state of a member but a Rigid one; nothing when its section or
// material is missing or when it is Rigid.
std::optional<MemberEndState> member_end_state(const Member& member, const CaseRecovery& recovery,
                                               const Eigen::VectorXd& u, const ActiveMap& active);

// Calls visit(member, state) with the end state of every member that has
// one, member sets in model order and members in set order.
template <class Visit>
void for_each_member_end_state(const VELK& model, const CaseRecovery& recovery, const Eigen::VectorXd& u,
                               const ActiveMap& active, Visit&& visit) {
  for (const MemberSet& set : model.member_sets) {
    for (const Member& member : set.members) {
      if (const auto state = member_end_state(member, recovery, u, active)) visit(member, *state);
    }
  }
}

// End forces (the forces the nodes exert on each member, global axes) and
// their extremes for every member but Rigid ones.
MemberResults build_member_results(const VELK& model, ResultType identity, const Eigen::VectorXd& u,
                                   const ActiveMap& active, const RecoveryOptions& options = {});

// The displacement of every node a member uses.
std::map<std::uint32_t, NodeDisplacement> build_node_displacements(const VELK& model,
                                                                   const Eigen::VectorXd& u);

// Builds the record of a solved case (reactions, member results,
// displacements, summary), stores it in the model's results bundle under
// `name` and returns a copy. Fails on a name already stored for the same
// kind of case, and with the messages of the reaction step.
Result<Results> store_results(VELK& model, const std::string& name, ResultType identity,
                              const Eigen::VectorXd& u, const ActiveMap& active,
                              const RecoveryOptions& options = {});

}  // namespace velk
