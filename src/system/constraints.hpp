#pragma once
// Constraint elimination: the transformation T from the retained degrees of
// freedom q to all of them, u = T q, with which the solvers reduce the
// assembled system (K_r = T^T K T, F_r = T^T F), impose the support
// restraints on the reduced system, and expand its solution.
//
// T is built once per solve. Under `LinearMpc` slave nodes of rigid links
// follow their masters and dangling degrees of freedom are dropped; under
// `RigidMember` T is the identity. T is mostly a selection matrix, so it is
// kept as compressed rows: a retained DOF has one entry of 1, a slave DOF at
// most the six of its root master, an eliminated dangling DOF none.

#include <Eigen/Dense>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/result.hpp"
#include "document/velk.hpp"
#include "system/rigid_links.hpp"

namespace velk {

struct TransformEntry {
  Eigen::Index column = 0;
  double weight = 0.0;
};

struct ConstraintTransform {
  Eigen::Index full_size = 0;     // 6 N rows
  Eigen::Index reduced_size = 0;  // n columns
  bool identity = false;          // T = I: nothing eliminated, nothing coupled
  // Row w of T is entries[row_begin[w] .. row_begin[w + 1]), by ascending column.
  std::vector<std::size_t> row_begin;
  std::vector<TransformEntry> entries;
  // Global DOF -> its column, for every retained DOF.
  std::unordered_map<Eigen::Index, Eigen::Index> retained;

  std::span<const TransformEntry> row(Eigen::Index w) const;
};

// Builds T for the model's rigid strategy; fails with the rigid links' messages.
Result<ConstraintTransform> build_constraint_transform(const VELK& model);

// Rows of T as lists while they are being built; a slave row is a combination
// of its master's rows.
using TransformRows = std::vector<std::vector<TransformEntry>>;

// Adds the rigid-body rows of every slave, in link order:
// u_s = u_m + theta_m x r, theta_s = theta_m.
void write_rigid_rows(TransformRows& rows, const std::vector<RigidLink>& links);

// u = T q; the second form into u's storage.
Eigen::VectorXd expand_solution(const ConstraintTransform& t, const Eigen::VectorXd& q);
void expand_solution(const ConstraintTransform& t, const Eigen::VectorXd& q, Eigen::VectorXd& u);

// "UX" ... "RZ" for local DOFs 0 ... 5, "UNKNOWN" otherwise.
std::string_view dof_name(int local_dof);

}  // namespace velk
