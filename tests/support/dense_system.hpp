#pragma once
// The dense path through the system, kept to check the sparse production
// path against and to time it: K of the whole structure as a 6 N x 6 N
// matrix, its reduction K_r = T^T K T, the support restraints imposed on the
// dense K_r, and solving K u = f with the restrained DOFs held at zero.

#include <Eigen/Dense>
#include <algorithm>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

#include "document/velk.hpp"
#include "member/member_stiffness.hpp"
#include "system/constraints.hpp"
#include "system/global_stiffness.hpp"

namespace velk::test_support {

// Adds the four 6x6 blocks of the global member matrix m at the DOFs of
// nodes s (start) and e (end). Throws Fault when a block lies beyond K.
void add_member_matrix(Eigen::MatrixXd& k, const Matrix12& m, std::uint32_t s, std::uint32_t e);

// Adds the Spring stiffnesses of the supports of member nodes to the
// diagonal of K, each node once, in global axes. Fails with "Support {} {} {}
// is Spring but stiffness is missing." or "Support {} {} {} Spring stiffness
// must be positive.".
std::expected<void, std::string> add_support_springs(const std::vector<MemberSet>& member_sets,
                                                     const std::vector<NodalSupport>& nodal_supports,
                                                     Eigen::MatrixXd& k);

// The restrained global DOFs in node-walk order (displacements X, Y, Z, then
// rotations X, Y, Z of each supported node).
std::vector<std::int64_t> restrained_dofs(const std::vector<MemberSet>& member_sets,
                                          const std::vector<NodalSupport>& nodal_supports);

// The geometric stiffness of the displacement state u (6 N entries), of every
// member but Rigid and inactive Tension/Compression members. Axial forces
// below max(axial_slack / 2, 1e-6) count as zero.
std::expected<Eigen::MatrixXd, std::string> geometric_global_stiffness(const VELK& model,
                                                                       const ActiveMap& active,
                                                                       const Eigen::VectorXd& u);

// K of the unconstrained structure, 6 N x 6 N, with support springs.
std::expected<Eigen::MatrixXd, std::string> assemble_global_stiffness(const VELK& model,
                                                                      const ActiveMap& active);

// The same plus the geometric stiffness of the displacement state u.
std::expected<Eigen::MatrixXd, std::string> assemble_global_stiffness(const VELK& model,
                                                                      const ActiveMap& active,
                                                                      const Eigen::VectorXd& u);

// T as a dense matrix.
Eigen::MatrixXd dense_transform(const ConstraintTransform& t);

// K_r = T^T K T and F_r = T^T F, reading K once. The outputs are resized only
// when their size changes.
void reduce_system(const Eigen::MatrixXd& k, const Eigen::VectorXd& f, const ConstraintTransform& t,
                   Eigen::MatrixXd& k_reduced, Eigen::VectorXd& f_reduced);

// Imposes every Fixed (or unspecified) support axis on the reduced system,
// with the restraint plan and events of the sparse path.
void apply_restraints(const VELK& model, const ConstraintTransform& t, Eigen::MatrixXd& k_reduced,
                      Eigen::VectorXd& f_reduced);

// Adds alpha v^ v^T (v^ = v / |v|) to K_r with alpha = 1000 times its largest
// diagonal magnitude (1000 when it has none) and returns alpha.
double penalty_constraint(Eigen::MatrixXd& k_reduced, std::span<const TransformEntry> v);

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
