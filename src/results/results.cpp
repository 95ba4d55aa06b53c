#include "results/results.hpp"

#include <algorithm>
#include <cmath>
#include <set>

#include "base/log.hpp"
#include "member/distributed_load.hpp"
#include "member/geometric_stiffness.hpp"
#include "member/hinge_and_release_operations.hpp"
#include "member/lookup_tables.hpp"
#include "member/member_geometry.hpp"
#include "member/member_stiffness.hpp"
#include "results/node_vectors.hpp"
#include "results/reactions.hpp"
#include "system/global_stiffness.hpp"
#include "system/model_validation.hpp"

namespace velk {
namespace {

// The larger (or smaller) of two values, where a NaN yields the other one.
double extreme(double a, double b, bool larger) {
  if (std::isnan(a)) return b;
  if (std::isnan(b)) return a;
  return larger ? std::max(a, b) : std::min(a, b);
}

MemberResult member_result_of(const Vector12& f) {
  MemberResult result;
  result.start_node_forces = node_forces(f.head<6>());
  result.end_node_forces = node_forces(f.tail<6>());
  Vector6 larger;
  Vector6 smaller;
  for (int c = 0; c < dof::PER_NODE; ++c) {
    larger(c) = extreme(f(c), f(dof::END + c), true);
    smaller(c) = extreme(f(c), f(dof::END + c), false);
  }
  result.maximums = node_forces(larger);
  result.minimums = node_forces(smaller);
  return result;
}

// End forces of a beam whose released entries hang on springs (or nothing):
// the member-side displacements r of the released entries follow from their
// equilibrium, (K x - p)[R_i] = k_i (u[R_i] - r_i), and f = K x - p with x
// the local displacements where the released entries are replaced by r.
// Returns f and sets x.
Vector12 semi_rigid_end_forces(const Matrix12& k, const Vector12& u_local, const Vector12& p,
                               const ReleasePattern& pattern, Vector12& x) {
  std::vector<int> released;
  for (int i = 0; i < dof::PER_MEMBER; ++i) {
    if (pattern[static_cast<std::size_t>(i)].released()) released.push_back(i);
  }
  x = u_local;
  for (const int i : released) x(i) = 0.0;
  const auto count = static_cast<Eigen::Index>(released.size());
  Eigen::MatrixXd a(count, count);
  Eigen::VectorXd b(count);
  for (Eigen::Index i = 0; i < count; ++i) {
    const int ri = released[static_cast<std::size_t>(i)];
    const double spring = pattern[static_cast<std::size_t>(ri)].stiffness;
    for (Eigen::Index j = 0; j < count; ++j) a(i, j) = k(ri, released[static_cast<std::size_t>(j)]);
    a(i, i) += spring;
    b(i) = spring * u_local(ri) - k.row(ri).dot(x) + p(ri);
  }
  const Eigen::PartialPivLU<Eigen::MatrixXd> lu(a);
  const Eigen::VectorXd diagonal = lu.matrixLU().diagonal();
  if ((diagonal.array() == 0.0).any()) {
    log::warning(log::results_target,
                 "Semi-rigid recovery: (K_rr + diag(k)) is singular. Falling back to r = 0.");
  } else {
    const Eigen::VectorXd r = lu.solve(b);
    for (Eigen::Index i = 0; i < count; ++i) x(released[static_cast<std::size_t>(i)]) = r(i);
  }
  return k * x - p;
}

}  // namespace

CaseRecovery case_recovery(const VELK& model, ResultType identity, const RecoveryOptions& options) {
  CaseRecovery recovery{build_lookup_tables(model),
                        factored_load_cases(model, identity),
                        options,
                        geometric_threshold(model.settings.analysis_options),
                        {}};
  for (std::size_t c = 0; c < recovery.cases.size(); ++c) {
    const LoadCase* load_case = recovery.cases[c].first;
    for (const DistributedLoad& load : load_case->distributed_loads) {
      if (load.load_case == load_case->id) recovery.member_loads[load.member].emplace_back(c, &load);
    }
  }
  return recovery;
}

Vector12 member_load_vector(const Member& member, const CaseRecovery& recovery) {
  // Summed case by case in document order, then factored, whichever
  // members the loads of a case are on.
  const auto found = recovery.member_loads.find(member.id);
  const auto* loads = found == recovery.member_loads.end() ? nullptr : &found->second;
  std::size_t next = 0;
  Vector12 p = Vector12::Zero();
  for (std::size_t c = 0; c < recovery.cases.size(); ++c) {
    Vector12 sum = Vector12::Zero();
    for (; loads != nullptr && next < loads->size() && (*loads)[next].first == c; ++next)
      sum += equivalent_load_vector(member, *(*loads)[next].second);
    p += recovery.cases[c].second * sum;
  }
  return p;
}

std::optional<MemberEndState> member_end_state(const Member& member, const CaseRecovery& recovery,
                                               const Eigen::VectorXd& u, const ActiveMap& active) {
  if (member.member_type == MemberType::Rigid) return std::nullopt;
  const Vector12 u_global = member_displacements(member, u);
  const bool second_order = recovery.options.second_order;

  if (member.member_type == MemberType::Normal) {
    std::optional<Matrix12> k = local_stiffness_matrix(member, recovery.tables);
    if (!k) return std::nullopt;  // section or material not found
    MemberEndState state;
    state.lambda = rotation_matrix(member);
    const Vector12 u_local = global_to_local(u_global, state.lambda);
    if (second_order) {
      const double n = member_axial_force(member, u, recovery.tables);
      if (std::abs(n) >= recovery.geometric_force_threshold) {
        *k += geometric_stiffness_matrix(member, n);
        state.geometric_force = n;
      }
    }
    state.loads = member_load_vector(member, recovery);
    const ReleasePattern pattern = member_release_pattern(member, recovery.tables.hinges);
    state.displacements = u_local;
    const Vector12 f_local =
        has_releases(pattern) ? semi_rigid_end_forces(*k, u_local, state.loads, pattern, state.displacements)
                              : Vector12(*k * u_local - state.loads);
    state.forces = local_to_global(f_local, state.lambda);
    return state;
  }

  // Truss, Tension, Compression: the axial force along the chord, minus
  // the shares of the member's own loads that its ends hand to the nodes.
  MemberEndState state;
  state.lambda = rotation_matrix(member);
  state.loads = member_load_vector(member, recovery);
  state.displacements = global_to_local(u_global, state.lambda);
  state.forces = -local_to_global(state.loads, state.lambda);
  state.switched_off = is_switched_off(member, active);
  if (!state.switched_off) {
    const double n = member_axial_force(member, u, recovery.tables);
    const Vector3 e = state.lambda.row(0).transpose();
    state.forces.segment<3>(dof::UX) -= n * e;
    state.forces.segment<3>(dof::END + dof::UX) += n * e;
    if (second_order && std::abs(n) >= recovery.geometric_force_threshold) {
      // The string stiffness of the deformed chord.
      state.forces += local_to_global(Vector12(geometric_stiffness_matrix(member, n) * state.displacements),
                                      state.lambda);
      state.geometric_force = n;
    }
  }
  return state;
}

MemberResults build_member_results(const VELK& model, ResultType identity, const Eigen::VectorXd& u,
                                   const ActiveMap& active, const RecoveryOptions& options) {
  const CaseRecovery recovery = case_recovery(model, identity, options);
  MemberResults results;
  for_each_member_end_state(model, recovery, u, active,
                            [&](const Member& member, const MemberEndState& state) {
                              results.insert_or_assign(member.id, member_result_of(state.forces));
                            });
  return results;
}

std::map<std::uint32_t, NodeDisplacement> build_node_displacements(const VELK& model,
                                                                   const Eigen::VectorXd& u) {
  std::map<std::uint32_t, NodeDisplacement> displacements;
  for (const MemberSet& set : model.member_sets) {
    for (const Member& member : set.members) {
      const Vector12 u_member = member_displacements(member, u);
      for (const auto& [node, offset] :
           {std::pair{&member.start_node, 0}, std::pair{&member.end_node, dof::END}}) {
        displacements.try_emplace(node->id, node_displacement(u_member.segment<6>(offset)));
      }
    }
  }
  return displacements;
}

Result<Results> store_results(VELK& model, const std::string& name, ResultType identity,
                              const Eigen::VectorXd& u, const ActiveMap& active,
                              const RecoveryOptions& options) {
  Results results;
  results.name = name;
  results.result_type = identity;
  results.member_results = build_member_results(model, identity, u, active, options);

  auto springs = compute_spring_forces(model, u);
  if (!springs) return std::unexpected(std::move(springs.error()));
  auto balance = compute_nodal_balance(model, results.member_results, active, identity);
  if (!balance) return std::unexpected(std::move(balance.error()));
  const Eigen::VectorXd reactions = compute_reactions(model, *balance, *springs);
  results.reaction_nodes = collect_reaction_nodes(model, reactions);
  results.displacement_nodes = build_node_displacements(model, u);

  const std::uint64_t members = member_count(model);
  results.summary = ResultsSummary{members, model.nodal_supports.size(), members};
  results.computed_in_base_units = true;

  if (!model.results) model.results.emplace();
  auto& target = identity.is_combination() ? model.results->loadcombinations : model.results->loadcases;
  if (target.contains(name)) {
    return std::unexpected(format_message(
        identity.is_combination() ? "Duplicate load combination name `{}`" : "Duplicate load case name `{}`",
        name));
  }
  return target.emplace(name, std::move(results)).first->second;
}

}  // namespace velk
