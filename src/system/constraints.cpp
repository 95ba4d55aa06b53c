#include "system/constraints.hpp"

#include <algorithm>
#include <unordered_set>

#include "base/fault.hpp"
#include "member/member_dofs.hpp"
#include "system/dof_numbering.hpp"
#include "system/support_utils.hpp"

namespace velk {
namespace {

void check_index(Eigen::Index index, Eigen::Index size) {
  if (index < 0 || index >= size) throw Fault("Matrix index out of bounds.");
}

// row += factor * source, merging entries by column.
void add_scaled_row(std::vector<TransformEntry>& row, const std::vector<TransformEntry>& source,
                    double factor) {
  for (const TransformEntry& entry : source) {
    const auto same = std::find_if(row.begin(), row.end(),
                                   [&](const TransformEntry& e) { return e.column == entry.column; });
    if (same != row.end()) {
      same->weight += factor * entry.weight;
    } else {
      row.push_back({entry.column, factor * entry.weight});
    }
  }
}

ConstraintTransform compress(TransformRows rows, Eigen::Index reduced_size,
                             std::unordered_map<Eigen::Index, Eigen::Index> retained) {
  ConstraintTransform t;
  t.full_size = static_cast<Eigen::Index>(rows.size());
  t.reduced_size = reduced_size;
  t.retained = std::move(retained);
  t.row_begin.reserve(rows.size() + 1);
  t.row_begin.push_back(0);
  for (auto& row : rows) {
    std::sort(row.begin(), row.end(), [](const auto& a, const auto& b) { return a.column < b.column; });
    t.entries.insert(t.entries.end(), row.begin(), row.end());
    t.row_begin.push_back(t.entries.size());
  }
  return t;
}

ConstraintTransform identity_transform(Eigen::Index size) {
  TransformRows rows(static_cast<std::size_t>(size));
  std::unordered_map<Eigen::Index, Eigen::Index> retained;
  retained.reserve(static_cast<std::size_t>(size));
  for (Eigen::Index w = 0; w < size; ++w) {
    rows[static_cast<std::size_t>(w)].push_back({w, 1.0});
    retained.emplace(w, w);
  }
  ConstraintTransform t = compress(std::move(rows), size, std::move(retained));
  t.identity = true;
  return t;
}

}  // namespace

std::span<const TransformEntry> ConstraintTransform::row(Eigen::Index w) const {
  check_index(w, full_size);
  const auto begin = row_begin[static_cast<std::size_t>(w)];
  const auto end = row_begin[static_cast<std::size_t>(w) + 1];
  return std::span<const TransformEntry>(entries).subspan(begin, end - begin);
}

void write_rigid_rows(TransformRows& rows, const std::vector<RigidLink>& links) {
  const auto size = static_cast<Eigen::Index>(rows.size());
  for (const RigidLink& link : links) {
    const auto row_of = [&](std::uint32_t node, int local) -> std::vector<TransformEntry>& {
      return rows[static_cast<std::size_t>(checked_dof(node, local, size))];
    };
    const double rx = link.offset.x();
    const double ry = link.offset.y();
    const double rz = link.offset.z();
    // Copies of the master rows: the slave rows may not alias them.
    std::vector<TransformEntry> master[dof::PER_NODE];
    for (int k = 0; k < dof::PER_NODE; ++k) master[k] = row_of(link.master, k);
    const auto add = [&](int slave_dof, int master_dof, double factor) {
      if (factor != 0.0) add_scaled_row(row_of(link.slave, slave_dof), master[master_dof], factor);
    };
    // u_s = u_m + theta_m x r
    add(dof::UX, dof::UX, 1.0);
    add(dof::UX, dof::RY, rz);
    add(dof::UX, dof::RZ, -ry);
    add(dof::UY, dof::UY, 1.0);
    add(dof::UY, dof::RX, -rz);
    add(dof::UY, dof::RZ, rx);
    add(dof::UZ, dof::UZ, 1.0);
    add(dof::UZ, dof::RX, ry);
    add(dof::UZ, dof::RY, -rx);
    // theta_s = theta_m
    add(dof::RX, dof::RX, 1.0);
    add(dof::RY, dof::RY, 1.0);
    add(dof::RZ, dof::RZ, 1.0);
  }
}

Result<ConstraintTransform> build_constraint_transform(const VELK& model) {
  const Eigen::Index size = dof_count(model.member_sets);
  if (model.settings.analysis_options.rigid_strategy == RigidStrategy::RigidMember) {
    return identity_transform(size);
  }

  auto links = oriented_rigid_links(model);
  if (!links) return std::unexpected(std::move(links.error()));

  std::unordered_set<Eigen::Index> eliminated;
  std::unordered_set<std::uint32_t> masters;
  for (const RigidLink& link : *links) {
    masters.insert(link.master);
    for (int k = 0; k < dof::PER_NODE; ++k) eliminated.insert(global_dof(link.slave, k));
  }
  // Dangling DOFs of masters stay: the slave's stiffness reaches them through the link.
  for (const std::int64_t d : find_dangling_dofs(model)) {
    const auto node_id = static_cast<std::uint32_t>(d / dof::PER_NODE + 1);
    if (!masters.contains(node_id)) eliminated.insert(static_cast<Eigen::Index>(d));
  }

  TransformRows rows(static_cast<std::size_t>(size));
  std::unordered_map<Eigen::Index, Eigen::Index> retained;
  Eigen::Index columns = 0;
  for (const MemberSet& set : model.member_sets) {
    for (const Member& member : set.members) {
      for (const Node* node : {&member.start_node, &member.end_node}) {
        for (int k = 0; k < dof::PER_NODE; ++k) {
          const Eigen::Index w = global_dof(node->id, k);
          if (eliminated.contains(w) || retained.contains(w)) continue;
          retained.emplace(checked_dof(node->id, k, size), columns);
          rows[static_cast<std::size_t>(w)].push_back({columns, 1.0});
          ++columns;
        }
      }
    }
  }
  write_rigid_rows(rows, *links);
  return compress(std::move(rows), columns, std::move(retained));
}

void expand_solution(const ConstraintTransform& t, const Eigen::VectorXd& q, Eigen::VectorXd& u) {
  if (q.size() != t.reduced_size) throw Fault("Matrix index out of bounds.");
  u.resize(t.full_size);
  for (Eigen::Index w = 0; w < t.full_size; ++w) {
    double sum = 0.0;
    for (const TransformEntry& entry : t.row(w)) sum += entry.weight * q(entry.column);
    u(w) = sum;
  }
}

Eigen::VectorXd expand_solution(const ConstraintTransform& t, const Eigen::VectorXd& q) {
  Eigen::VectorXd u;
  expand_solution(t, q, u);
  return u;
}

std::string_view dof_name(int local_dof) {
  static constexpr std::string_view names[] = {"UX", "UY", "UZ", "RX", "RY", "RZ"};
  return local_dof >= 0 && local_dof < dof::PER_NODE ? names[local_dof] : "UNKNOWN";
}

}  // namespace velk
