#pragma once
// The mechanisms of a whole model, as the model check reports them.

#include <expected>
#include <vector>

#include "base/result.hpp"
#include "document/velk.hpp"
#include "solvers/mechanism.hpp"

namespace velk {

// The independent mechanisms of a model in base units, under its first-order
// stiffness with every member active; empty when the structure is stable.
// Errors are the messages of the model validation, the assembly and the
// rigid links.
Result<std::vector<Mechanism>> find_mechanisms(const VELK& model);

}  // namespace velk
