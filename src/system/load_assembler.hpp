#pragma once
// The global load vector of one load case: nodal forces, nodal moments and
// the equivalent nodal loads of distributed member loads.

#include <Eigen/Dense>
#include <cstdint>
#include <utility>
#include <vector>

#include "document/velk.hpp"
#include "member/lookup_tables.hpp"
#include "member/member_dofs.hpp"

namespace velk {

// The first load case with the id, or nullptr.
const LoadCase* find_load_case(const VELK& model, std::uint32_t load_case_id);

// The first combination with the id, or nullptr.
const LoadCombination* find_combination(const VELK& model, std::uint32_t combination_id);

// The load cases whose loads act in a case, with their factors: the case
// itself with 1.0, or the factored cases of a combination. Ids that match no
// load case are left out.
std::vector<std::pair<const LoadCase*, double>> factored_load_cases(const VELK& model, ResultType identity);

// The global 12-vector that a distributed load puts on the member's two
// nodes. For a Normal member (and a Rigid member under RigidMember) with
// released ends the local vector is condensed like the member's stiffness,
// so a released end takes only what its spring transmits.
Vector12 distributed_load_nodal_vector(const VELK& model, const Member& member, const DistributedLoad& load,
                                       const LookupTables& tables);

// f of length 6 N. A load case id that matches no case gives zeros. Throws
// Fault for a nodal load or moment on a node outside the numbering.
Eigen::VectorXd assemble_load_vector(const VELK& model, std::uint32_t load_case_id);

}  // namespace velk
