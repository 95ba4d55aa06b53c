#pragma once
// Member end releases: the release pattern of a member's two hinges, static
// condensation of released entries out of a local matrix and out of a local
// load vector, and the axial end springs of truss members.

#include <Eigen/Dense>
#include <array>
#include <expected>
#include <string>

#include "base/result.hpp"
#include "document/structure_records.hpp"
#include "member/lookup_tables.hpp"
#include "member/member_dofs.hpp"

namespace velk {

enum class ReleaseKind {
  Rigid,   // the member end follows the node
  Free,    // full release: nothing is transmitted
  Spring,  // semi-rigid connection between node and member end
};

struct ReleaseEntry {
  ReleaseKind kind = ReleaseKind::Rigid;
  // Spring stiffness used by the condensation: the hinge value when it is
  // finite and positive, otherwise 0.
  double stiffness = 0.0;

  bool released() const { return kind != ReleaseKind::Rigid; }
};

// One entry per member degree of freedom: start hinge -> 0..5, end hinge -> 6..11.
using ReleasePattern = std::array<ReleaseEntry, 12>;

// The pattern of a start and an end hinge; nullptr counts as no hinge.
ReleasePattern hinge_release_pattern(const MemberHinge* start_hinge, const MemberHinge* end_hinge);

// The pattern of the member's start_hinge and end_hinge; an id that is not
// in the table counts as no hinge.
ReleasePattern member_release_pattern(const Member& member, const HingeTable& hinges);

bool has_releases(const ReleasePattern& pattern);

// Condenses the released entries out of the local 12x12 matrix k_local: each
// released entry gets an internal degree of freedom that the member attaches
// to, joined to the node by its spring (or by nothing when free), and the
// internal ones are eliminated.
Result<Matrix12> apply_end_releases_to_local_beam_k(Eigen::Ref<const Eigen::MatrixXd> k_local,
                                                    const ReleasePattern& pattern);

// A companion matrix of k_local (a geometric stiffness, a mass) of a member
// with released ends, condensed with the static shapes of k_local: each
// released entry moves with the internal degree of freedom that the
// condensed stiffness gives it for the node's displacements
// (u_I = -A_II^-1 A_IE u_E), the part of the condensed k_local + t c_local
// that is linear in t. It is symmetric when c_local is.
Result<Matrix12> condense_companion_matrix(const Matrix12& k_local, const ReleasePattern& pattern,
                                           const Matrix12& c_local);

// The nodal load vector of a member with released ends: the local load
// vector p_local of the fully fixed member, condensed with the same
// augmented system as k_local, so a released end receives only what its
// spring transmits.
Result<Vector12> condense_end_load_vector(const Matrix12& k_local, const ReleasePattern& pattern,
                                          const Vector12& p_local);

// lambda12^T * k' * lambda12 with k' the member's released k_local.
Result<Matrix12> release_and_transform(const Member& member, const Matrix12& k_local,
                                       const HingeTable& hinges);

// Axial flexibility of a Truss member's end springs: the sum of 1 / k over
// the ends whose translational_release_vx is a spring. The springs act in
// series with the member's E A / L; transverse springs and free entries
// change nothing, since a truss carries no transverse force. 0 when there
// are none.
double truss_end_flexibility(const Member& member, const HingeTable& hinges);

}  // namespace velk
