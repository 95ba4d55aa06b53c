#include "solvers/mechanism_search.hpp"

#include <Eigen/Dense>

#include "solvers/solve_context.hpp"

namespace velk {

Result<std::vector<Mechanism>> find_mechanisms(const VELK& model) {
  SolveContext context(model);
  auto t = context.transform();
  if (!t) return std::unexpected(std::move(t.error()));
  auto stiffness = context.reduced_stiffness();
  if (!stiffness) return std::unexpected(std::move(stiffness.error()));
  if (auto assembled = (*stiffness)->assemble(ActiveMap{}); !assembled)
    return std::unexpected(std::move(assembled.error()));
  Eigen::VectorXd f_reduced = Eigen::VectorXd::Zero((*stiffness)->size());
  (*stiffness)->apply_restraints(f_reduced);
  return mechanisms_of((*stiffness)->matrix(), **t);
}

}  // namespace velk
