#pragma once
// The global load vector of one load case: nodal forces, nodal moments and
// the equivalent nodal loads of distributed member loads.

#include <Eigen/Dense>
#include <cstdint>

#include "document/velk.hpp"
#include "member/lookup_tables.hpp"
#include "member/member_dofs.hpp"

namespace velk {

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
