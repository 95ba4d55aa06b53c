// Properties every member diagram of a solved frame must have: it starts
// and ends on the member end forces of the results, its moments are the
// integrals of its shears, and its extremes bound every station.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "document/document_io.hpp"
#include "inspection/inspection.hpp"
#include "member/member_geometry.hpp"
#include "support/random_frames.hpp"

namespace velk {
namespace {

const Member* find_member(const VELK& model, std::uint32_t id) {
  for (const MemberSet& set : model.member_sets) {
    for (const Member& m : set.members) {
      if (m.id == id) return &m;
    }
  }
  return nullptr;
}

class RandomFrameDiagrams : public ::testing::TestWithParam<std::uint64_t> {};

TEST_P(RandomFrameDiagrams, EndValuesSlopesAndExtremes) {
  const VELK model = test_support::random_frame(GetParam(), {.members = 14});
  const auto inspected = inspect_model(write_velk(model));
  ASSERT_TRUE(inspected.has_value()) << inspected.error();
  ASSERT_FALSE(inspected->analysis_error) << *inspected->analysis_error;
  ASSERT_FALSE(inspected->loadcases.empty());

  int checked = 0;
  for (const auto* group : {&inspected->loadcases, &inspected->loadcombinations}) {
    for (const CaseInspection& c : *group) {
      for (const auto& [id, d] : c.diagrams) {
        const Member& member = *find_member(inspected->model, id);
        const MemberResult& r = c.results.member_results.at(id);
        const Matrix3 lambda = rotation_matrix(member);
        Vector12 f;
        f << r.start_node_forces.fx, r.start_node_forces.fy, r.start_node_forces.fz, r.start_node_forces.mx,
            r.start_node_forces.my, r.start_node_forces.mz, r.end_node_forces.fx, r.end_node_forces.fy,
            r.end_node_forces.fz, r.end_node_forces.mx, r.end_node_forces.my, r.end_node_forces.mz;
        const Vector12 f_local = global_to_local(f, lambda);
        const bool switched_off =
            (member.member_type == MemberType::Tension || member.member_type == MemberType::Compression) &&
            d.extreme(DiagramComponent::N).max == 0.0 && d.extreme(DiagramComponent::N).min == 0.0;
        if (switched_off) continue;
        const double scale = 1.0 + f_local.cwiseAbs().maxCoeff() * (1.0 + d.length);
        const double tolerance = 1e-9 * scale;

        // At x = 0 the part beyond is the member, pulled by the start node:
        // minus the start force; at x = L the end force itself.
        for (int k = 0; k < 6; ++k) {
          const auto component = static_cast<DiagramComponent>(k);
          EXPECT_NEAR(d.value(component, 0.0), -f_local(k), tolerance)
              << c.name << " member " << id << " " << k;
          EXPECT_NEAR(d.value(component, d.length), f_local(6 + k), tolerance)
              << c.name << " member " << id << " " << k;
        }
        // dMz/dx = -Vy and dMy/dx = Vz inside every piece.
        for (const DiagramPiece& piece : d.pieces) {
          const Polynomial dmz = piece.components[component_index(DiagramComponent::Mz)].derivative();
          const Polynomial dmy = piece.components[component_index(DiagramComponent::My)].derivative();
          for (const double s : {0.0, 0.3, 0.7, 1.0}) {
            const double t = s * (piece.end - piece.start);
            EXPECT_NEAR(dmz(t), -piece.components[component_index(DiagramComponent::Vy)](t), tolerance);
            EXPECT_NEAR(dmy(t), piece.components[component_index(DiagramComponent::Vz)](t), tolerance);
          }
        }
        // Extremes: reached where they are said to be, never beaten at a station.
        for (int k = 0; k < diagram_component_count; ++k) {
          const auto component = static_cast<DiagramComponent>(k);
          const SpanExtreme e = d.extreme(component);
          const double slack = 1e-12 * (std::abs(e.max) + std::abs(e.min)) + 1e-300;
          EXPECT_NEAR(d.value(component, e.max_at), e.max, slack);
          EXPECT_NEAR(d.value(component, e.min_at), e.min, slack);
          for (int i = 0; i <= 200; ++i) {
            const double v = d.value(component, d.length * i / 200.0);
            EXPECT_LE(v, e.max + slack) << "member " << id << " component " << k;
            EXPECT_GE(v, e.min - slack) << "member " << id << " component " << k;
          }
        }
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 20);
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomFrameDiagrams, ::testing::Values(1u, 2u, 3u, 5u, 8u, 13u, 21u, 34u));

}  // namespace
}  // namespace velk
