#include "member/hinge_and_release_operations.hpp"

#include <cmath>
#include <optional>

#include "member/member_geometry.hpp"

namespace velk {

namespace {

using namespace dof;

// Up to twelve internal degrees of freedom beside the twelve of the member.
using AugmentedMatrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, 0, 24, 24>;
using InternalMatrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, 0, 12, 12>;
using CouplingMatrix = Eigen::Matrix<double, 12, Eigen::Dynamic, 0, 12, 12>;
using InternalVector = Eigen::Matrix<double, Eigen::Dynamic, 1, 0, 12, 1>;

constexpr const char* singular_block_message =
    "apply_end_releases_to_local_beam_k: interface block is singular (check release pattern)";

ReleaseEntry release_entry(const std::optional<double>& field) {
  if (!field) return {};
  const double k = *field;
  if (!(k > 0.0)) return {ReleaseKind::Free, 0.0};
  return {ReleaseKind::Spring, std::isfinite(k) ? k : 0.0};
}

void fill_end(ReleasePattern& pattern, int offset, const MemberHinge* hinge) {
  if (hinge == nullptr) return;
  pattern[offset + UX] = release_entry(hinge->translational_release_vx);
  pattern[offset + UY] = release_entry(hinge->translational_release_vy);
  pattern[offset + UZ] = release_entry(hinge->translational_release_vz);
  pattern[offset + RX] = release_entry(hinge->rotational_release_mx);
  pattern[offset + RY] = release_entry(hinge->rotational_release_my);
  pattern[offset + RZ] = release_entry(hinge->rotational_release_mz);
}

const MemberHinge* find_hinge(const std::optional<std::uint32_t>& id, const HingeTable& hinges) {
  return id ? find_in(hinges, *id) : nullptr;
}

// The member attached to internal degrees of freedom at its released entries,
// A = [A_EE A_EI; A_IE A_II], with A_II factorised.
class AugmentedSystem {
 public:
  AugmentedSystem(const Eigen::Ref<const Eigen::MatrixXd>& k_local, const ReleasePattern& pattern) {
    std::array<int, 12> augmented_index{};
    for (int d = 0; d < PER_MEMBER; ++d) {
      augmented_index[d] = d;
      if (pattern[d].released()) {
        augmented_index[d] = PER_MEMBER + q_;
        released_[q_++] = d;
      }
    }
    const int g = PER_MEMBER + q_;
    AugmentedMatrix a = AugmentedMatrix::Zero(g, g);
    for (int c = 0; c < PER_MEMBER; ++c) {
      for (int r = 0; r < PER_MEMBER; ++r) {
        const double value = k_local(r, c);
        if (value != 0.0 || std::isnan(value)) a(augmented_index[r], augmented_index[c]) += value;
      }
    }
    for (int i = 0; i < q_; ++i) {
      const int d = released_[i];
      const int m = PER_MEMBER + i;
      const double k = pattern[d].stiffness;
      if (k > 0.0) {
        a(d, d) += k;
        a(m, m) += k;
        a(d, m) -= k;
        a(m, d) -= k;
      }
    }
    a_ee_ = a.topLeftCorner<12, 12>();
    a_ei_ = a.topRightCorner(PER_MEMBER, q_);
    a_ie_ = a.bottomLeftCorner(q_, PER_MEMBER);
    lu_ii_.compute(a.bottomRightCorner(q_, q_));
    // Partial pivoting does not report a zero pivot: look for one in U.
    singular_ = (lu_ii_.matrixLU().diagonal().array() == 0.0).any();
  }

  bool singular() const { return singular_; }

  // A_EE - A_EI * A_II^-1 * A_IE
  Matrix12 condensed_matrix() const {
    const InternalMatrix x = lu_ii_.solve(a_ie_);
    Matrix12 k_condensed = a_ee_;
    k_condensed.noalias() -= a_ei_ * x;
    return k_condensed;
  }

  // p_E - A_EI * A_II^-1 * p_I, where p_E is p with the released entries
  // moved to their internal degrees of freedom (p_I).
  Vector12 condensed_load(const Vector12& p) const {
    Vector12 p_external = p;
    InternalVector p_internal(q_);
    for (int i = 0; i < q_; ++i) {
      p_internal(i) = p(released_[i]);
      p_external(released_[i]) = 0.0;
    }
    const InternalVector y = lu_ii_.solve(p_internal);
    p_external.noalias() -= a_ei_ * y;
    return p_external;
  }

  // S^T c S, where S takes the member's own twelve displacements from the
  // node's: a rigid entry follows its node, a released one its internal
  // degree of freedom, u_I = -A_II^-1 * A_IE * u_E. It is the derivative of
  // the condensed matrix of k + t c at t = 0, so it stays linear in c.
  Matrix12 condensed_companion(const Matrix12& c) const {
    const InternalMatrix x = lu_ii_.solve(a_ie_);
    Matrix12 s = Matrix12::Identity();
    for (int i = 0; i < q_; ++i) s.row(released_[i]) = -x.row(i);
    return s.transpose() * c * s;
  }

 private:
  int q_ = 0;
  std::array<int, 12> released_{};
  Matrix12 a_ee_;
  CouplingMatrix a_ei_;
  InternalMatrix a_ie_;
  Eigen::PartialPivLU<InternalMatrix> lu_ii_;
  bool singular_ = false;
};

}  // namespace

ReleasePattern hinge_release_pattern(const MemberHinge* start_hinge, const MemberHinge* end_hinge) {
  ReleasePattern pattern{};
  fill_end(pattern, 0, start_hinge);
  fill_end(pattern, END, end_hinge);
  return pattern;
}

ReleasePattern member_release_pattern(const Member& member, const HingeTable& hinges) {
  return hinge_release_pattern(find_hinge(member.start_hinge, hinges), find_hinge(member.end_hinge, hinges));
}

bool has_releases(const ReleasePattern& pattern) {
  for (const ReleaseEntry& entry : pattern) {
    if (entry.released()) return true;
  }
  return false;
}

Result<Matrix12> apply_end_releases_to_local_beam_k(Eigen::Ref<const Eigen::MatrixXd> k_local,
                                                    const ReleasePattern& pattern) {
  if (k_local.rows() != PER_MEMBER || k_local.cols() != PER_MEMBER) {
    return std::unexpected(std::string("apply_end_releases_to_local_beam_k: matrix must be 12x12"));
  }
  if (!has_releases(pattern)) return Matrix12(k_local);
  const AugmentedSystem system(k_local, pattern);
  if (system.singular()) return std::unexpected(std::string(singular_block_message));
  return system.condensed_matrix();
}

Result<Matrix12> condense_companion_matrix(const Matrix12& k_local, const ReleasePattern& pattern,
                                           const Matrix12& c_local) {
  if (!has_releases(pattern)) return c_local;
  const AugmentedSystem system(k_local, pattern);
  if (system.singular()) return std::unexpected(std::string(singular_block_message));
  return system.condensed_companion(c_local);
}

Result<Vector12> condense_end_load_vector(const Matrix12& k_local, const ReleasePattern& pattern,
                                          const Vector12& p_local) {
  if (!has_releases(pattern)) return p_local;
  const AugmentedSystem system(k_local, pattern);
  if (system.singular()) return std::unexpected(std::string(singular_block_message));
  return system.condensed_load(p_local);
}

Result<Matrix12> release_and_transform(const Member& member, const Matrix12& k_local,
                                       const HingeTable& hinges) {
  const ReleasePattern pattern = member_release_pattern(member, hinges);
  if (!has_releases(pattern)) return local_to_global(k_local, rotation_matrix(member));
  const Result<Matrix12> k_released = apply_end_releases_to_local_beam_k(k_local, pattern);
  if (!k_released) return std::unexpected(k_released.error());
  return local_to_global(*k_released, rotation_matrix(member));
}

double truss_end_flexibility(const Member& member, const HingeTable& hinges) {
  const ReleasePattern pattern = member_release_pattern(member, hinges);
  double flexibility = 0.0;
  for (const int axial : {UX, END + UX}) {
    const ReleaseEntry& entry = pattern[axial];
    if (entry.kind == ReleaseKind::Spring && entry.stiffness > 0.0) flexibility += 1.0 / entry.stiffness;
  }
  return flexibility;
}

}  // namespace velk
