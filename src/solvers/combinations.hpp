#pragma once
// What is particular to load combinations: the factored sum of load vectors,
// the warm start from stored load-case displacements, and the initial
// activity of tension-only and compression-only members derived from it.

#include <Eigen/Dense>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>

#include "base/result.hpp"
#include "document/velk.hpp"
#include "system/active_set.hpp"
#include "system/load_assembler.hpp"

namespace velk {

// Sum of factor times load vector over the combination's load cases; a case
// id that matches no load case adds nothing. Fails with "LoadCombination {}
// not found.".
Result<Eigen::VectorXd> combined_load_vector(const VELK& model, std::uint32_t combination_id);

// The factored sum of the stored displacements of the combination's load
// cases, in metres, or nothing when a case or its stored results are missing.
std::optional<Eigen::VectorXd> warm_start(const VELK& model, std::uint32_t combination_id);

// Tension members active at N >= -axial_slack / 2, Compression members at
// N <= axial_slack / 2 (a NaN force makes a member inactive).
ActiveMap initial_activity(const VELK& model, const Eigen::VectorXd& u);

}  // namespace velk
