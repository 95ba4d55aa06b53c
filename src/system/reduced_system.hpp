#pragma once
// The reduced stiffness K_r = T^T K T assembled straight from the member
// matrices into compressed-column storage, without the full 6 N x 6 N
// matrix. Its sparsity pattern depends only on the model and T, so it is
// built once per solve and every assembly only adds values.

#include <Eigen/Dense>
#include <Eigen/Sparse>
#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "base/result.hpp"
#include "document/velk.hpp"
#include "member/lookup_tables.hpp"
#include "member/member_stiffness.hpp"
#include "system/active_set.hpp"
#include "system/constraints.hpp"
#include "system/restraints.hpp"
#include "system/support_utils.hpp"

namespace velk {

class ReducedStiffness {
 public:
  // The pattern couples every pair of columns that a member, a support
  // spring or a penalty restraint can couple. The model and T must outlive
  // this object.
  ReducedStiffness(const VELK& model, const ConstraintTransform& t);

  // K_r with the members of the active map, plus the geometric stiffness of
  // the displacement state u when it is given, plus the support springs.
  // Fails with the assembly's messages.
  Result<void> assemble(const ActiveMap& active, const Eigen::VectorXd* u = nullptr);

  // F_r = T^T F.
  void reduce_load(const Eigen::VectorXd& f, Eigen::VectorXd& f_reduced) const;

  // Imposes the support restraints on K_r and F_r (with their Constraint
  // events) and returns the penalty factor of each restraint.
  std::vector<double> apply_restraints(Eigen::VectorXd& f_reduced);
  void apply_restraints(Eigen::VectorXd& f_reduced, std::vector<double>& alphas);

  // For a further load on the same restrained matrix: the restraints' part
  // of F_r, and their events again with the factors they had.
  void restrain_load(Eigen::VectorXd& f_reduced) const;
  void replay_restraint_events(const std::vector<double>& alphas) const;

  const Eigen::SparseMatrix<double>& matrix() const { return k_reduced_; }

  // A companion of K_r for an eigenproblem on the same unknowns, a mass or a
  // geometric stiffness: T^T A T of the global member matrices that
  // member_matrix gives (members in walk order, their index counted over
  // every member set; nullopt adds nothing), plus terms on the diagonal of
  // global DOFs (nodal masses), without springs. restrain_companion then
  // clears the rows and columns of the unknowns a support fixes exactly, as
  // apply_restraints does on K_r; a penalty restraint leaves it as it is.
  using MemberMatrix =
      std::function<Result<std::optional<Matrix12>>(std::size_t index, const Member& member)>;
  Result<Eigen::SparseMatrix<double>> assemble_companion(
      const MemberMatrix& member_matrix,
      std::span<const std::pair<Eigen::Index, double>> diagonal_terms = {}) const;
  void restrain_companion(Eigen::SparseMatrix<double>& a) const;

  // How many assemblies have refilled the values so far: the values belong
  // to whoever holds the latest count, so a user that remembers the count of
  // its own assembly can tell whether someone else has assembled since.
  std::uint64_t assemblies() const { return assemblies_; }
  Eigen::Index size() const { return k_reduced_.rows(); }

  // Used by the restraint steps.
  double largest_diagonal() const;
  void add(Eigen::Index row, Eigen::Index col, double value);
  void fix(Eigen::Index p);

 private:
  // One term of K_r[a, b] += T[g_i, a] * m(i, j) * T[g_j, b] of a member matrix m.
  struct Contribution {
    std::int32_t position;  // into the values of K_r
    std::uint8_t i;
    std::uint8_t j;
    double weight;
  };

  double& value_at(Eigen::Index row, Eigen::Index col);

  const VELK& model_;
  const ConstraintTransform& t_;
  Eigen::SparseMatrix<double> k_reduced_;
  std::uint64_t assemblies_ = 0;
  std::vector<Contribution> contributions_;
  std::vector<std::size_t> member_begin_;  // per member in walk order, into contributions_
  std::vector<std::int32_t> diagonal_;     // position of K_r[p, p]
  std::vector<std::int32_t> mirror_;       // position of K_r[j, i] for the entry K_r[i, j]
  std::vector<Restraint> restraints_;
  // Made at the first assembly and kept for the solve.
  std::optional<LookupTables> tables_;
  std::optional<SupportTable> supports_;
  std::optional<std::vector<std::pair<std::int64_t, double>>> springs_;  // global DOF, stiffness
  std::vector<std::optional<Matrix12>> elastic_;                         // per member in walk order
  std::vector<std::optional<AxialForceBasis>> axial_bases_;              // made at first need
};

}  // namespace velk
