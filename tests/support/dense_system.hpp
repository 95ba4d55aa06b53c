#pragma once
// Solving an assembled system densely: K u = f with the restrained DOFs held
// at zero, and the reactions K u - f.

#include <Eigen/Dense>
#include <algorithm>
#include <cstdint>
#include <vector>

namespace velk::test_support {

struct Solution {
  Eigen::VectorXd u;
  Eigen::VectorXd reactions;  // K u - f: the support forces at restrained DOFs
};

inline std::vector<Eigen::Index> free_dofs(Eigen::Index ndof, const std::vector<std::int64_t>& restrained) {
  std::vector<Eigen::Index> free;
  for (Eigen::Index i = 0; i < ndof; ++i) {
    if (std::find(restrained.begin(), restrained.end(), i) == restrained.end()) free.push_back(i);
  }
  return free;
}

inline Solution solve_restrained(const Eigen::MatrixXd& k, const Eigen::VectorXd& f,
                                 const std::vector<std::int64_t>& restrained) {
  const std::vector<Eigen::Index> free = free_dofs(k.rows(), restrained);
  const Eigen::Index n = static_cast<Eigen::Index>(free.size());
  Eigen::MatrixXd k_ff(n, n);
  Eigen::VectorXd f_f(n);
  for (Eigen::Index i = 0; i < n; ++i) {
    f_f(i) = f(free[i]);
    for (Eigen::Index j = 0; j < n; ++j) k_ff(i, j) = k(free[i], free[j]);
  }
  const Eigen::VectorXd u_free = k_ff.partialPivLu().solve(f_f);
  Solution solution;
  solution.u = Eigen::VectorXd::Zero(k.rows());
  for (Eigen::Index i = 0; i < n; ++i) solution.u(free[i]) = u_free(i);
  solution.reactions = k * solution.u - f;
  return solution;
}

// Flexibility of the free DOF `dof`: the entry of K_ff^-1 that belongs to it.
inline double flexibility(const Eigen::MatrixXd& k, const std::vector<std::int64_t>& restrained,
                          Eigen::Index dof) {
  Eigen::VectorXd unit = Eigen::VectorXd::Zero(k.rows());
  unit(dof) = 1.0;
  return solve_restrained(k, unit, restrained).u(dof);
}

}  // namespace velk::test_support
