#include "system/reduced_system.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "base/fault.hpp"
#include "member/lookup_tables.hpp"
#include "member/member_dofs.hpp"
#include "system/dof_numbering.hpp"
#include "system/global_stiffness.hpp"
#include "system/support_utils.hpp"

namespace velk {
namespace {

// Systems up to this many unknowns look the positions of their entries up
// in a table of n^2 entries (5.8 MB at the limit).
constexpr Eigen::Index position_table_limit = 1200;

// The twelve global DOFs of a member: its start node's six, then its end node's.
std::array<Eigen::Index, dof::PER_MEMBER> member_dofs(const Member& member, Eigen::Index size) {
  std::array<Eigen::Index, dof::PER_MEMBER> dofs{};
  for (int k = 0; k < dof::PER_NODE; ++k) {
    dofs[static_cast<std::size_t>(k)] = checked_dof(member.start_node.id, k, size);
    dofs[static_cast<std::size_t>(dof::END + k)] = checked_dof(member.end_node.id, k, size);
  }
  return dofs;
}

bool contributes(const VELK& model, const Member& member) {
  return member.member_type != MemberType::Rigid ||
         model.settings.analysis_options.rigid_strategy == RigidStrategy::RigidMember;
}

// The rows of T of a member's twelve DOFs.
std::array<std::span<const TransformEntry>, dof::PER_MEMBER> member_rows(
    const ConstraintTransform& t, const std::array<Eigen::Index, dof::PER_MEMBER>& dofs) {
  std::array<std::span<const TransformEntry>, dof::PER_MEMBER> rows;
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = t.row(dofs[i]);
  return rows;
}

}  // namespace

ReducedStiffness::ReducedStiffness(const VELK& model, const ConstraintTransform& t) : model_(model), t_(t) {
  const Eigen::Index n = t.reduced_size;
  // The rows of each column that K_r couples, as they are met (repeated),
  // gathered column by column into one array (counted first, then placed),
  // then sorted and made unique: the pattern takes memory in proportion to
  // the members, not to the square of the unknowns.
  std::vector<std::array<Eigen::Index, dof::PER_MEMBER>> dofs_of;
  for (const MemberSet& set : model.member_sets) {
    for (const Member& member : set.members) dofs_of.push_back(member_dofs(member, t.full_size));
  }
  const auto for_each_coupling = [&](const auto& couple) {
    std::size_t index = 0;
    for (const MemberSet& set : model.member_sets) {
      for (const Member& member : set.members) {
        const auto& dofs = dofs_of[index++];
        if (!contributes(model, member)) continue;
        const auto rows = member_rows(t, dofs);
        for (const auto& row_i : rows) {
          for (const auto& row_j : rows) couple(row_i, row_j);
        }
      }
    }
    // A spring or a penalty couples the columns of one row of T.
    for (Eigen::Index w = 0; w < t.full_size; ++w) couple(t.row(w), t.row(w));
  };
  std::vector<std::int64_t> begin_of(static_cast<std::size_t>(n) + 1, 0);
  for_each_coupling([&](std::span<const TransformEntry> a_row, std::span<const TransformEntry> b_row) {
    for (const TransformEntry& b : b_row)
      begin_of[static_cast<std::size_t>(b.column) + 1] += static_cast<std::int64_t>(a_row.size());
  });
  for (std::size_t col = 0; col < static_cast<std::size_t>(n); ++col) begin_of[col + 1] += begin_of[col];
  std::vector<std::int32_t> met(static_cast<std::size_t>(begin_of.back()));
  std::vector<std::int64_t> next(begin_of.begin(), begin_of.end() - 1);
  for_each_coupling([&](std::span<const TransformEntry> a_row, std::span<const TransformEntry> b_row) {
    for (const TransformEntry& b : b_row) {
      std::int64_t& at = next[static_cast<std::size_t>(b.column)];
      for (const TransformEntry& a : a_row)
        met[static_cast<std::size_t>(at++)] = static_cast<std::int32_t>(a.column);
    }
  });

  // Number the entries column by column, rows ascending.
  std::int64_t nonzeros = 0;
  std::vector<std::int64_t> unique_end(static_cast<std::size_t>(n));
  for (std::size_t col = 0; col < static_cast<std::size_t>(n); ++col) {
    const auto first = met.begin() + begin_of[col];
    const auto last = met.begin() + begin_of[col + 1];
    std::sort(first, last);
    unique_end[col] = std::unique(first, last) - met.begin();
    nonzeros += unique_end[col] - begin_of[col];
  }
  if (nonzeros > std::numeric_limits<std::int32_t>::max()) throw Fault("Matrix index out of bounds.");
  k_reduced_.resize(n, n);
  k_reduced_.resizeNonZeros(static_cast<Eigen::Index>(nonzeros));
  auto* outer = k_reduced_.outerIndexPtr();
  auto* inner = k_reduced_.innerIndexPtr();
  std::int32_t position = 0;
  for (Eigen::Index col = 0; col < n; ++col) {
    const auto c = static_cast<std::size_t>(col);
    outer[col] = position;
    for (std::int64_t k = begin_of[c]; k < unique_end[c]; ++k)
      inner[position++] = met[static_cast<std::size_t>(k)];
  }
  outer[n] = position;
  std::vector<std::int32_t>().swap(met);
  std::fill(k_reduced_.valuePtr(), k_reduced_.valuePtr() + nonzeros, 0.0);
  // The position of an entry of the pattern among the compressed values:
  // found in its column, or for a small system read from a table of every
  // row and column (a few megabytes at most), which is faster.
  std::vector<std::int32_t> slot;
  if (n <= position_table_limit) {
    slot.assign(static_cast<std::size_t>(n * n), -1);
    for (Eigen::Index col = 0; col < n; ++col) {
      for (auto k = outer[col]; k < outer[col + 1]; ++k)
        slot[static_cast<std::size_t>(col * n + inner[k])] = k;
    }
  }
  const auto at = [&](Eigen::Index row, Eigen::Index col) -> std::int32_t {
    if (!slot.empty()) return slot[static_cast<std::size_t>(col * n + row)];
    const int* begin = inner + outer[col];
    const int* end = inner + outer[col + 1];
    return static_cast<std::int32_t>(std::lower_bound(begin, end, static_cast<int>(row)) - inner);
  };

  diagonal_.resize(static_cast<std::size_t>(n));
  for (Eigen::Index p = 0; p < n; ++p) diagonal_[static_cast<std::size_t>(p)] = at(p, p);
  // The pattern is symmetric: every entry's mirror, for clearing a row
  // through its column.
  mirror_.resize(static_cast<std::size_t>(nonzeros));
  for (Eigen::Index col = 0; col < n; ++col) {
    for (auto k = outer[col]; k < outer[col + 1]; ++k)
      mirror_[static_cast<std::size_t>(k)] = at(col, inner[k]);
  }

  contributions_.reserve(dofs_of.size() * dof::PER_MEMBER * dof::PER_MEMBER);
  member_begin_.reserve(dofs_of.size() + 1);
  member_begin_.push_back(0);
  std::size_t index = 0;
  for (const MemberSet& set : model.member_sets) {
    for (const Member& member : set.members) {
      const auto& dofs = dofs_of[index++];
      if (contributes(model, member)) {
        const auto rows = member_rows(t, dofs);
        for (std::uint8_t i = 0; i < dof::PER_MEMBER; ++i) {
          for (std::uint8_t j = 0; j < dof::PER_MEMBER; ++j) {
            for (const TransformEntry& a : rows[i]) {
              for (const TransformEntry& b : rows[j]) {
                contributions_.push_back({at(a.column, b.column), i, j, a.weight * b.weight});
              }
            }
          }
        }
      }
      member_begin_.push_back(contributions_.size());
    }
  }
  restraints_ = plan_restraints(model, t);
}

double& ReducedStiffness::value_at(Eigen::Index row, Eigen::Index col) {
  if (row < 0 || col < 0 || row >= k_reduced_.rows() || col >= k_reduced_.cols()) {
    throw Fault("Matrix index out of bounds.");
  }
  const auto* outer = k_reduced_.outerIndexPtr();
  const auto* inner = k_reduced_.innerIndexPtr();
  const auto* begin = inner + outer[col];
  const auto* end = inner + outer[col + 1];
  const auto* found = std::lower_bound(begin, end, row);
  if (found == end || *found != row) throw Fault("Matrix index out of bounds.");
  return k_reduced_.valuePtr()[found - inner];
}

Result<void> ReducedStiffness::assemble(const ActiveMap& active, const Eigen::VectorXd* u) {
  // The model cannot change during a solve, so the lookup tables and the
  // elastic member matrices are the same at every assembly: they are made
  // at the first one and kept, and the iterations allocate nothing here.
  // The node numbering is the caller's to check, before anything is sized
  // by it.
  ++assemblies_;
  double* values = k_reduced_.valuePtr();
  std::fill(values, values + k_reduced_.nonZeros(), 0.0);
  if (!tables_) tables_ = build_lookup_tables(model_);
  if (!supports_) supports_ = build_support_table(model_.nodal_supports);
  const LookupTables& tables = *tables_;
  if (elastic_.empty()) {
    // The elastic member matrices with every member active, kept for the
    // later assemblies of this solve; a switched-off tension or compression
    // member is scaled below exactly as its own assembly would scale it.
    const ActiveMap all_active;
    std::vector<std::optional<Matrix12>> elastic;
    for (const MemberSet& set : model_.member_sets) {
      for (const Member& member : set.members) {
        auto m = member_global_stiffness(model_, member, tables, all_active);
        if (!m) return std::unexpected(std::move(m.error()));
        elastic.push_back(std::move(*m));
      }
    }
    elastic_ = std::move(elastic);
    axial_bases_.resize(elastic_.size());
  }
  std::size_t index = 0;
  for (const MemberSet& set : model_.member_sets) {
    for (const Member& member : set.members) {
      const std::size_t begin = member_begin_[index];
      const std::size_t end = member_begin_[index + 1];
      std::optional<AxialForceBasis>& axial_basis = axial_bases_[index];
      const std::optional<Matrix12>& elastic = elastic_[index++];
      if (!elastic) continue;
      Matrix12 k_member = *elastic;
      if (is_switched_off(member, active)) k_member *= inactive_stiffness_factor;
      if (u != nullptr) {
        auto kg = member_geometric_stiffness(model_, member, tables, active, *u, axial_basis);
        if (!kg) return std::unexpected(std::move(kg.error()));
        if (*kg) k_member += **kg;
      }
      for (std::size_t c = begin; c < end; ++c) {
        const Contribution& term = contributions_[c];
        values[term.position] += term.weight * k_member(term.i, term.j);
      }
    }
  }

  // Support springs on the diagonal of K, carried through T; which DOFs
  // have springs, and how stiff, is found once.
  if (!springs_) {
    std::vector<std::pair<std::int64_t, double>> springs;
    auto walked = for_each_support_spring(
        model_.member_sets, *supports_, t_.full_size,
        [&](std::int64_t d, double stiffness) { springs.emplace_back(d, stiffness); });
    if (!walked) return std::unexpected(std::move(walked.error()));
    springs_ = std::move(springs);
  }
  for (const auto& [d, stiffness] : *springs_) {
    const auto row = t_.row(d);
    for (const TransformEntry& a : row) {
      for (const TransformEntry& b : row) value_at(a.column, b.column) += a.weight * stiffness * b.weight;
    }
  }
  return {};
}

Result<Eigen::SparseMatrix<double>> ReducedStiffness::assemble_companion(
    const MemberMatrix& member_matrix,
    std::span<const std::pair<Eigen::Index, double>> diagonal_terms) const {
  Eigen::SparseMatrix<double> a = k_reduced_;
  double* values = a.valuePtr();
  std::fill(values, values + a.nonZeros(), 0.0);
  std::size_t index = 0;
  for (const MemberSet& set : model_.member_sets) {
    for (const Member& member : set.members) {
      const std::size_t begin = member_begin_[index];
      const std::size_t end = member_begin_[index + 1];
      auto m = member_matrix(index++, member);
      if (!m) return std::unexpected(std::move(m.error()));
      if (!*m) continue;
      for (std::size_t c = begin; c < end; ++c) {
        const Contribution& term = contributions_[c];
        values[term.position] += term.weight * (**m)(term.i, term.j);
      }
    }
  }
  if (diagonal_terms.empty()) return a;
  // A nodal term may couple columns no member couples (a slave node that
  // carries only a mass): those go in by triplets.
  std::vector<Eigen::Triplet<double>> terms;
  for (const auto& [d, value] : diagonal_terms) {
    if (d < 0 || d >= t_.full_size) throw Fault("Matrix index out of bounds.");
    const auto row = t_.row(d);
    for (const TransformEntry& l : row) {
      for (const TransformEntry& c : row) terms.emplace_back(l.column, c.column, l.weight * value * c.weight);
    }
  }
  Eigen::SparseMatrix<double> nodal(a.rows(), a.cols());
  nodal.setFromTriplets(terms.begin(), terms.end());
  Eigen::SparseMatrix<double> sum = a + nodal;
  sum.makeCompressed();
  return sum;
}

void ReducedStiffness::restrain_companion(Eigen::SparseMatrix<double>& a) const {
  std::vector<char> fixed(static_cast<std::size_t>(a.cols()), 0);
  for (const Restraint& r : restraints_) {
    if (r.method != Restraint::Method::Penalty) fixed[static_cast<std::size_t>(r.column)] = 1;
  }
  a.prune([&](Eigen::Index row, Eigen::Index col, double) {
    return !fixed[static_cast<std::size_t>(row)] && !fixed[static_cast<std::size_t>(col)];
  });
}

void ReducedStiffness::reduce_load(const Eigen::VectorXd& f, Eigen::VectorXd& f_reduced) const {
  if (f.size() != t_.full_size) throw Fault("Matrix index out of bounds.");
  f_reduced.setZero(t_.reduced_size);
  for (Eigen::Index w = 0; w < t_.full_size; ++w) {
    for (const TransformEntry& entry : t_.row(w)) f_reduced(entry.column) += entry.weight * f(w);
  }
}

std::vector<double> ReducedStiffness::apply_restraints(Eigen::VectorXd& f_reduced) {
  std::vector<double> alphas;
  apply_restraints(f_reduced, alphas);
  return alphas;
}

void ReducedStiffness::apply_restraints(Eigen::VectorXd& f_reduced, std::vector<double>& alphas) {
  apply_restraint_plan(restraints_, t_, *this, f_reduced, alphas);
}

void ReducedStiffness::restrain_load(Eigen::VectorXd& f_reduced) const {
  for (const Restraint& r : restraints_) {
    if (r.method != Restraint::Method::Penalty) f_reduced(r.column) = 0.0;
  }
}

void ReducedStiffness::replay_restraint_events(const std::vector<double>& alphas) const {
  for (std::size_t i = 0; i < restraints_.size() && i < alphas.size(); ++i)
    emit_restraint_event(restraints_[i], alphas[i]);
}

double ReducedStiffness::largest_diagonal() const {
  double largest = 0.0;
  for (const std::int32_t position : diagonal_) {
    const double d = std::fabs(k_reduced_.valuePtr()[position]);
    if (!std::isnan(d)) largest = std::max(largest, d);
  }
  return largest;
}

void ReducedStiffness::add(Eigen::Index row, Eigen::Index col, double value) { value_at(row, col) += value; }

void ReducedStiffness::fix(Eigen::Index p) {
  // The pattern is symmetric: clear column p and, through it, row p.
  const auto* outer = k_reduced_.outerIndexPtr();
  double* values = k_reduced_.valuePtr();
  if (p < 0 || p >= k_reduced_.cols()) throw Fault("Matrix index out of bounds.");
  for (auto k = outer[p]; k < outer[p + 1]; ++k) {
    values[k] = 0.0;
    values[mirror_[static_cast<std::size_t>(k)]] = 0.0;
  }
  values[diagonal_[static_cast<std::size_t>(p)]] = 1.0;
}

}  // namespace velk
