// End releases and hinges: kinds from the fields, condensation of released and spring ends, messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "member/hinge_and_release_operations.hpp"
#include "member/member_geometry.hpp"
#include "member/member_stiffness.hpp"
#include "support/model_parts.hpp"

namespace velk {
namespace {

using namespace dof;
using test_support::kE;
using test_support::kIy;
using test_support::kIz;

constexpr double kL = 4.0;

Matrix12 beam_k_local() {
  const VELK model = test_support::model_with({test_support::make_member(
      1, test_support::make_node(1, 0, 0, 0), test_support::make_node(2, kL, 0, 0))});
  return *local_stiffness_matrix(model.member_sets[0].members[0], build_lookup_tables(model));
}

// A pattern with the given entries fully released.
ReleasePattern free_at(std::initializer_list<int> entries) {
  ReleasePattern pattern{};
  for (const int d : entries) pattern[d] = {ReleaseKind::Free, 0.0};
  return pattern;
}

TEST(ReleaseKinds, FieldValuesGiveTheKind) {
  MemberHinge start = test_support::hinge(1);
  start.translational_release_vy = 0.0;
  start.rotational_release_mx = -5.0;
  start.rotational_release_my = std::nan("");
  start.rotational_release_mz = 250.0;
  MemberHinge end = test_support::hinge(2);
  end.translational_release_vx = std::numeric_limits<double>::infinity();
  const ReleasePattern pattern = hinge_release_pattern(&start, &end);
  EXPECT_EQ(pattern[UX].kind, ReleaseKind::Rigid);
  EXPECT_EQ(pattern[UY].kind, ReleaseKind::Free);
  EXPECT_EQ(pattern[RX].kind, ReleaseKind::Free);
  EXPECT_EQ(pattern[RY].kind, ReleaseKind::Free);
  EXPECT_EQ(pattern[RZ].kind, ReleaseKind::Spring);
  EXPECT_EQ(pattern[RZ].stiffness, 250.0);
  EXPECT_EQ(pattern[END + UX].kind, ReleaseKind::Spring);
  EXPECT_EQ(pattern[END + UX].stiffness, 0.0);
  EXPECT_FALSE(has_releases(hinge_release_pattern(nullptr, nullptr)));

  // A hinge id that is not in the table counts as no hinge.
  Member member =
      test_support::make_member(1, test_support::make_node(1, 0, 0, 0), test_support::make_node(2, 1, 0, 0));
  member.start_hinge = 1;
  member.end_hinge = 99;
  const HingeTable hinges{{1, &start}};
  const ReleasePattern from_member = member_release_pattern(member, hinges);
  EXPECT_EQ(from_member[UY].kind, ReleaseKind::Free);
  EXPECT_EQ(from_member[END + UX].kind, ReleaseKind::Rigid);
}

// Classical released beams: the condensed matrix keeps zero rows at free
// entries and the textbook stiffness of the remaining ones.
struct PatternCase {
  const char* name;
  std::vector<int> free_entries;
  std::vector<std::pair<std::pair<int, int>, double>> expected;  // (row, col) -> value
};

class Condensation : public ::testing::TestWithParam<PatternCase> {};

TEST_P(Condensation, ReleasedBeamEntries) {
  const PatternCase& c = GetParam();
  ReleasePattern pattern{};
  for (const int d : c.free_entries) pattern[d] = {ReleaseKind::Free, 0.0};
  const Matrix12 k = *apply_end_releases_to_local_beam_k(beam_k_local(), pattern);
  const double scale = kE * kIz / kL;
  for (const int d : c.free_entries) {
    EXPECT_LT(k.row(d).norm(), 1e-9 * scale) << d;
    EXPECT_LT(k.col(d).norm(), 1e-9 * scale) << d;
  }
  for (const auto& [index, value] : c.expected) {
    EXPECT_NEAR(k(index.first, index.second), value, 1e-9 * std::max(std::abs(value), scale))
        << index.first << "," << index.second;
  }
  EXPECT_LT((k - k.transpose()).norm(), 1e-9 * scale);
  // A released beam still moves rigidly without end forces.
  Vector12 lift = Vector12::Zero();
  lift(UY) = lift(END + UY) = 1.0;
  EXPECT_LT((k * lift).norm(), 1e-6 * scale);
}

const double l3 = kL * kL * kL;
INSTANTIATE_TEST_SUITE_P(
    Patterns, Condensation,
    ::testing::Values(
        PatternCase{
            "PinMzStart", {RZ}, {{{UY, UY}, 3 * kE* kIz / l3}, {{END + RZ, END + RZ}, 3 * kE* kIz / kL}}},
        PatternCase{"PinMzEnd", {END + RZ}, {{{UY, UY}, 3 * kE* kIz / l3}, {{RZ, RZ}, 3 * kE* kIz / kL}}},
        PatternCase{"PinMyStart",
                    {RY},
                    {{{UZ, UZ}, 3 * kE* kIy / l3},
                     {{END + RY, END + RY}, 3 * kE* kIy / kL},
                     {{UY, UY}, 12 * kE* kIz / l3}}},
        PatternCase{"PinnedBothEnds",
                    {RY, RZ, END + RY, END + RZ},
                    {{{UY, UY}, 0.0},
                     {{UZ, UZ}, 0.0},
                     {{UX, UX}, kE* test_support::kA / kL},
                     {{RX, RX}, test_support::kG* test_support::kJ / kL}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Condensation, SpringTendsToRigid) {
  const Matrix12 k_local = beam_k_local();
  const double rigid = 4 * kE * kIz / kL;
  double previous = 0.0;
  for (const double spring : {1e3, 1e5, 1e7, 1e9, 1e11, 1e13}) {
    ReleasePattern pattern{};
    pattern[RZ] = {ReleaseKind::Spring, spring};
    const double k55 = (*apply_end_releases_to_local_beam_k(k_local, pattern))(RZ, RZ);
    EXPECT_GT(k55, previous);
    EXPECT_LT(k55, rigid);
    previous = k55;
  }
  EXPECT_NEAR(previous, rigid, 1e-6 * rigid);
  // Two springs in series: the rotational end stiffness with the far end fixed.
  ReleasePattern pattern{};
  pattern[RZ] = {ReleaseKind::Spring, rigid};
  EXPECT_NEAR((*apply_end_releases_to_local_beam_k(k_local, pattern))(RZ, RZ), rigid / 2, 1e-9 * rigid);
}

TEST(Condensation, Messages) {
  const Matrix12 k_local = beam_k_local();
  const std::string singular =
      "apply_end_releases_to_local_beam_k: interface block is singular (check release pattern)";
  EXPECT_EQ(apply_end_releases_to_local_beam_k(k_local, free_at({RX, END + RX})).error(), singular);
  EXPECT_EQ(apply_end_releases_to_local_beam_k(k_local, free_at({UX, END + UX})).error(), singular);
  EXPECT_EQ(condense_end_load_vector(k_local, free_at({RX, END + RX}), Vector12::Ones()).error(), singular);
  EXPECT_EQ(apply_end_releases_to_local_beam_k(Eigen::MatrixXd::Identity(6, 6), free_at({RZ})).error(),
            "apply_end_releases_to_local_beam_k: matrix must be 12x12");
  EXPECT_EQ(*apply_end_releases_to_local_beam_k(k_local, ReleasePattern{}), k_local);
}

TEST(ReleaseAndTransform, UnreleasedMemberIsTheRotatedMatrix) {
  Member member =
      test_support::make_member(1, test_support::make_node(1, 0, 0, 0), test_support::make_node(2, 1, 2, 3));
  member.rotation_angle = 0.3;
  member.start_hinge = 4;  // not in the table
  const Matrix12 k_local = beam_k_local();
  const Matrix12 lambda12 = transformation_matrix(member);
  EXPECT_TRUE(
      release_and_transform(member, k_local, {})->isApprox(lambda12.transpose() * k_local * lambda12, 1e-14));
  MemberHinge mx_free = test_support::hinge(4);
  mx_free.rotational_release_mx = 0.0;
  member.end_hinge = 4;
  EXPECT_FALSE(release_and_transform(member, k_local, {{4, &mx_free}}));
}

}  // namespace
}  // namespace velk
