#include "support/dense_system.hpp"

#include <cmath>

#include "base/fault.hpp"
#include "member/lookup_tables.hpp"
#include "member/member_dofs.hpp"
#include "system/dof_numbering.hpp"
#include "system/model_validation.hpp"
#include "system/restraints.hpp"
#include "system/support_utils.hpp"

namespace velk::test_support {
namespace {

using MemberMatrix = Result<std::optional<Matrix12>>;

void check_index(Eigen::Index index, Eigen::Index size) {
  if (index < 0 || index >= size) throw Fault("Matrix index out of bounds.");
}

// Adds the geometric stiffness of the displacement state u into k.
Result<void> add_geometric_stiffness(const VELK& model, const ActiveMap& active, const Eigen::VectorXd& u,
                                     Eigen::MatrixXd& k) {
  const LookupTables tables = build_lookup_tables(model);
  for (const MemberSet& set : model.member_sets) {
    for (const Member& member : set.members) {
      const MemberMatrix kg = member_geometric_stiffness(model, member, tables, active, u);
      if (!kg) return std::unexpected(kg.error());
      if (*kg) add_member_matrix(k, **kg, member.start_node.id, member.end_node.id);
    }
  }
  return {};
}

std::expected<Eigen::MatrixXd, std::string> assemble(const VELK& model, const ActiveMap& active,
                                                     const Eigen::VectorXd* u) {
  if (Result<void> ids = check_node_ids(model.member_sets); !ids) {
    return std::unexpected(ids.error());
  }
  const std::int64_t ndof = dof_count(model.member_sets);
  Eigen::MatrixXd k = Eigen::MatrixXd::Zero(ndof, ndof);
  const LookupTables tables = build_lookup_tables(model);

  for (const MemberSet& set : model.member_sets) {
    for (const Member& member : set.members) {
      const MemberMatrix m = member_global_stiffness(model, member, tables, active);
      if (!m) return std::unexpected(m.error());
      if (*m) add_member_matrix(k, **m, member.start_node.id, member.end_node.id);
    }
  }
  if (u != nullptr) {
    if (Result<void> added = add_geometric_stiffness(model, active, *u, k); !added) {
      return std::unexpected(added.error());
    }
  }
  if (Result<void> springs = add_support_springs(model.member_sets, model.nodal_supports, k); !springs) {
    return std::unexpected(springs.error());
  }
  return k;
}

// The dense reduced matrix as the restraint steps see it.
class DenseRestraintTarget {
 public:
  explicit DenseRestraintTarget(Eigen::MatrixXd& k) : k_(k) {}
  Eigen::Index size() const { return k_.rows(); }
  double largest_diagonal() const {
    double largest = 0.0;
    for (Eigen::Index j = 0; j < k_.rows(); ++j) {
      const double d = std::fabs(k_(j, j));
      if (!std::isnan(d)) largest = std::max(largest, d);
    }
    return largest;
  }
  void add(Eigen::Index row, Eigen::Index col, double value) {
    check_index(row, size());
    check_index(col, size());
    k_(row, col) += value;
  }
  void fix(Eigen::Index p) {
    check_index(p, size());
    k_.row(p).setZero();
    k_.col(p).setZero();
    k_(p, p) = 1.0;
  }

 private:
  Eigen::MatrixXd& k_;
};

}  // namespace

void add_member_matrix(Eigen::MatrixXd& k, const Matrix12& m, std::uint32_t s, std::uint32_t e) {
  const std::int64_t a = checked_node_dofs(s, k.rows());
  const std::int64_t b = checked_node_dofs(e, k.rows());
  if (k.cols() != k.rows()) throw Fault("Matrix index out of bounds.");
  k.block<6, 6>(a, a) += m.block<6, 6>(0, 0);
  k.block<6, 6>(a, b) += m.block<6, 6>(0, dof::END);
  k.block<6, 6>(b, a) += m.block<6, 6>(dof::END, 0);
  k.block<6, 6>(b, b) += m.block<6, 6>(dof::END, dof::END);
}

Result<void> add_support_springs(const std::vector<MemberSet>& member_sets,
                                 const std::vector<NodalSupport>& nodal_supports, Eigen::MatrixXd& k) {
  return for_each_support_spring(member_sets, build_support_table(nodal_supports), k.rows(),
                                 [&](std::int64_t d, double stiffness) { k(d, d) += stiffness; });
}

std::vector<std::int64_t> restrained_dofs(const std::vector<MemberSet>& member_sets,
                                          const std::vector<NodalSupport>& nodal_supports) {
  const SupportTable supports = build_support_table(nodal_supports);
  std::vector<std::int64_t> restrained;
  for_each_node_once(member_sets, [&](const Node& node) {
    const NodalSupport* support = find_support(node, supports);
    if (support == nullptr) return;
    for (int local = 0; local < dof::PER_NODE; ++local) {
      if (is_restrained(*support, local)) restrained.push_back(global_dof(node.id, local));
    }
  });
  return restrained;
}

std::expected<Eigen::MatrixXd, std::string> geometric_global_stiffness(const VELK& model,
                                                                       const ActiveMap& active,
                                                                       const Eigen::VectorXd& u) {
  const std::int64_t ndof = dof_count(model.member_sets);
  Eigen::MatrixXd kg = Eigen::MatrixXd::Zero(ndof, ndof);
  if (Result<void> added = add_geometric_stiffness(model, active, u, kg); !added) {
    return std::unexpected(added.error());
  }
  return kg;
}

std::expected<Eigen::MatrixXd, std::string> assemble_global_stiffness(const VELK& model,
                                                                      const ActiveMap& active) {
  return assemble(model, active, nullptr);
}

std::expected<Eigen::MatrixXd, std::string> assemble_global_stiffness(const VELK& model,
                                                                      const ActiveMap& active,
                                                                      const Eigen::VectorXd& u) {
  return assemble(model, active, &u);
}

Eigen::MatrixXd dense_transform(const ConstraintTransform& t) {
  Eigen::MatrixXd dense = Eigen::MatrixXd::Zero(t.full_size, t.reduced_size);
  for (Eigen::Index w = 0; w < t.full_size; ++w) {
    for (const TransformEntry& entry : t.row(w)) dense(w, entry.column) = entry.weight;
  }
  return dense;
}

void reduce_system(const Eigen::MatrixXd& k, const Eigen::VectorXd& f, const ConstraintTransform& t,
                   Eigen::MatrixXd& k_reduced, Eigen::VectorXd& f_reduced) {
  if (k.rows() != t.full_size || k.cols() != t.full_size || f.size() != t.full_size) {
    throw Fault("Matrix index out of bounds.");
  }
  if (t.identity) {
    k_reduced = k;
    f_reduced = f;
    return;
  }
  const Eigen::Index n = t.reduced_size;
  k_reduced.setZero(n, n);
  f_reduced.setZero(n);
  const TransformEntry* entries = t.entries.data();
  const std::size_t* begin = t.row_begin.data();
  // K_r[a, b] = sum over i, j of T[i, a] K[i, j] T[j, b], column by column of K.
  for (Eigen::Index j = 0; j < t.full_size; ++j) {
    const TransformEntry* row_j = entries + begin[j];
    const TransformEntry* row_j_end = entries + begin[j + 1];
    if (row_j == row_j_end) continue;
    const double* k_column = k.data() + j * k.rows();
    for (Eigen::Index i = 0; i < t.full_size; ++i) {
      const double k_ij = k_column[i];
      if (k_ij == 0.0) continue;
      for (const TransformEntry* a = entries + begin[i]; a != entries + begin[i + 1]; ++a) {
        const double t_k = a->weight * k_ij;
        for (const TransformEntry* b = row_j; b != row_j_end; ++b)
          k_reduced(a->column, b->column) += t_k * b->weight;
      }
    }
    // F_r = T^T F
    for (const TransformEntry* b = row_j; b != row_j_end; ++b) f_reduced(b->column) += b->weight * f(j);
  }
}

double penalty_constraint(Eigen::MatrixXd& k_reduced, std::span<const TransformEntry> v) {
  DenseRestraintTarget target(k_reduced);
  return add_penalty(target, v);
}

void apply_restraints(const VELK& model, const ConstraintTransform& t, Eigen::MatrixXd& k_reduced,
                      Eigen::VectorXd& f_reduced) {
  DenseRestraintTarget target(k_reduced);
  std::vector<double> alphas;
  apply_restraint_plan(plan_restraints(model, t), t, target, f_reduced, alphas);
}

}  // namespace velk::test_support
