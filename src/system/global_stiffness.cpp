#include "system/global_stiffness.hpp"

#include <cmath>

#include "base/message_format.hpp"
#include "member/geometric_stiffness.hpp"
#include "member/hinge_and_release_operations.hpp"
#include "member/member_geometry.hpp"
#include "member/member_stiffness.hpp"
#include "member/rigid_member.hpp"

namespace velk {

using MemberMatrix = Result<std::optional<Matrix12>>;

namespace {

// Axial forces below this magnitude carry no geometric stiffness.
constexpr double min_axial_force_threshold = 1e-6;

MemberMatrix beam_global_stiffness(const Member& member, const Matrix12& k_local,
                                   const LookupTables& tables) {
  Result<Matrix12> k_global = release_and_transform(member, k_local, tables.hinges);
  if (!k_global) return std::unexpected(k_global.error());
  return *k_global;
}

}  // namespace

double geometric_threshold(const AnalysisOptions& options) {
  const double half_slack = options.switching_tolerance();
  return half_slack > min_axial_force_threshold ? half_slack : min_axial_force_threshold;
}

MemberMatrix member_global_stiffness(const VELK& model, const Member& member, const LookupTables& tables,
                                     const ActiveMap& active) {
  switch (member.member_type) {
    case MemberType::Rigid: {
      if (model.settings.analysis_options.rigid_strategy == RigidStrategy::LinearMpc) return std::nullopt;
      const Result<Matrix12> k_local = rigid_member_local_stiffness(model, member, tables);
      if (!k_local) return std::unexpected(k_local.error());
      return beam_global_stiffness(member, *k_local, tables);
    }
    case MemberType::Tension:
    case MemberType::Compression: {
      std::optional<Matrix12> k_global = truss_global_stiffness(member, tables);
      if (k_global && !is_active(active, member.id)) *k_global *= inactive_stiffness_factor;
      return k_global;
    }
    case MemberType::Normal: {
      if (!member.section)
        return std::unexpected(format_message("Member {} (Normal) is missing a section id.", member.id));
      const std::optional<Matrix12> k_local = local_stiffness_matrix(member, tables);
      if (!k_local)
        return std::unexpected(format_message("Member {} failed to build local stiffness.", member.id));
      return beam_global_stiffness(member, *k_local, tables);
    }
    case MemberType::Truss: {
      // The axial end springs of its hinges are in series with E A / L.
      std::optional<Matrix12> k_global = truss_global_stiffness(member, tables);
      if (!k_global) {
        return std::unexpected(
            format_message("Member {} (Truss) failed to build truss stiffness.", member.id));
      }
      return k_global;
    }
  }
  return std::nullopt;
}

MemberMatrix member_geometric_stiffness(const VELK& model, const Member& member, const LookupTables& tables,
                                        const ActiveMap& active, const Eigen::VectorXd& u) {
  std::optional<AxialForceBasis> basis;
  return member_geometric_stiffness(model, member, tables, active, u, basis);
}

MemberMatrix member_geometric_stiffness(const VELK& model, const Member& member, const LookupTables& tables,
                                        const ActiveMap& active, const Eigen::VectorXd& u,
                                        std::optional<AxialForceBasis>& basis) {
  const double threshold = geometric_threshold(model.settings.analysis_options);
  if (member.member_type == MemberType::Rigid) return std::nullopt;
  if (is_switched_off(member, active)) return std::nullopt;
  if (!basis) basis = axial_force_basis(member, tables);
  const double n = member_axial_force(member, u, *basis);
  // Below the threshold the force counts as zero, and a zero matrix adds
  // nothing (nor could it be condensed at a free release).
  if (std::abs(n) < threshold) return std::nullopt;
  Matrix12 kg_global;
  if (is_axial_only(member.member_type)) {
    // The string matrix is P / L times the identity on the translations of
    // each end, the same in every axes: no rotation to apply. It carries
    // nothing on the rotations, so hinges have nothing to release.
    kg_global = geometric_stiffness_matrix(member, n);
  } else if (const ReleasePattern pattern = member_release_pattern(member, tables.hinges);
             !has_releases(pattern)) {
    kg_global = beam_geometric_stiffness_global(member_length(member), n, basis->lambda);
  } else {
    const Matrix12 kg_local = geometric_stiffness_matrix(member, n);
    // Released ends condense the member's whole tangent K + K_G: the
    // geometric part alone has no torsion and would leave a released
    // twist with nothing to condense against. What the elastic assembly
    // already added is taken back out.
    const std::optional<Matrix12> k_local = local_stiffness_matrix(member, tables);
    if (!k_local) return std::nullopt;
    Result<Matrix12> tangent = release_and_transform(member, Matrix12(*k_local + kg_local), tables.hinges);
    if (!tangent) return std::unexpected(tangent.error());
    Result<Matrix12> elastic = release_and_transform(member, *k_local, tables.hinges);
    if (!elastic) return std::unexpected(elastic.error());
    kg_global = *tangent - *elastic;
  }
  return kg_global;
}

}  // namespace velk
