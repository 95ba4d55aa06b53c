#pragma once
// Support reactions: the forces and moments the supports exert on the
// structure, in global axes, from the balance of member end forces and
// applied loads at each supported node.

#include <Eigen/Dense>
#include <array>
#include <cstdint>
#include <expected>
#include <map>
#include <string>
#include <unordered_map>

#include "base/result.hpp"
#include "document/velk.hpp"
#include "member/member_dofs.hpp"
#include "system/active_set.hpp"

namespace velk {

// Per node: fx, fy, fz, mx, my, mz.
using NodalBalance = std::unordered_map<std::uint32_t, Vector6>;

// k u of every Spring axis of a supported node, at the node's global DOF.
// Fails with the spring messages of the support assembly.
Result<Eigen::VectorXd> compute_spring_forces(const VELK& model, const Eigen::VectorXd& u);

// Per node, the sum of the end forces of the members in the final structure
// minus the factored nodal loads and moments applied there; the balance of
// every rigid-link slave is then carried to its master with the moment of
// its forces about the master.
Result<NodalBalance> compute_nodal_balance(const VELK& model, const MemberResults& members,
                                           const ActiveMap& active, ResultType identity);

// The reaction vector (6 N): per supported axis the balance, 0 for a Free
// axis, -k u for a Spring axis, and the balance clipped to its sign for
// PositiveOnly and NegativeOnly axes.
Eigen::VectorXd compute_reactions(const VELK& model, const NodalBalance& balance,
                                  const Eigen::VectorXd& springs);

// One record per supported node that a member uses.
std::map<std::uint32_t, ReactionNodeResult> collect_reaction_nodes(const VELK& model,
                                                                   const Eigen::VectorXd& r);

}  // namespace velk
