#pragma once
// Stiffness of a Rigid member modelled as a very stiff beam: the beam matrix
// of an effective section, scaled by the rigid factor.

#include <cstdint>
#include <expected>
#include <string>

#include "base/result.hpp"
#include "document/velk.hpp"
#include "member/lookup_tables.hpp"
#include "member/member_dofs.hpp"

namespace velk {

// The member's own section; else the section of the first non-rigid member
// with a section that shares a node with it; else the model's first section.
Result<std::uint32_t> rigid_effective_section(const VELK& model, const Member& member);

// min(1e8, max(1, target / max(E_mat, 1))), target = 1e4 times the largest
// finite modulus of the model (2.1e15 when there is none), E_mat the modulus
// of the effective section's material (2.1e11 when it cannot be found).
double rigid_factor(const VELK& model, std::uint32_t effective_section_id);

// Local beam matrix of the effective section times the rigid factor.
Result<Matrix12> rigid_member_local_stiffness(const VELK& model, const Member& member,
                                              const LookupTables& tables);

}  // namespace velk
