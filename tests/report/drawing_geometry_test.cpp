// The report's drawing geometry: projections, fitting a picture, deformed-shape scale, diagram offsets.
#include "report/drawing_geometry.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "member/member_geometry.hpp"
#include "report/pictures.hpp"
#include "report/scene.hpp"

namespace velk::report {
namespace {

struct ProjectionCase {
  View view;
  Vector3 point;
  double u;
  double v;
};

class ProjectionTest : public ::testing::TestWithParam<ProjectionCase> {};

TEST_P(ProjectionTest, PointLandsWhereTheViewShowsIt) {
  const ProjectionCase& c = GetParam();
  const Point2 p = project(c.view, c.point);
  EXPECT_NEAR(p.u, c.u, 1e-12);
  EXPECT_NEAR(p.v, c.v, 1e-12);
}

const double r2 = 1.0 / std::sqrt(2.0);
const double r6 = 1.0 / std::sqrt(6.0);

INSTANTIATE_TEST_SUITE_P(Views, ProjectionTest,
                         ::testing::Values(
                             // Isometric from (1, 1, 1), Y up: X to the lower right, Z to the lower left.
                             ProjectionCase{View::Isometric, {1, 0, 0}, r2, -r6},
                             ProjectionCase{View::Isometric, {0, 1, 0}, 0, 2 * r6},
                             ProjectionCase{View::Isometric, {0, 0, 1}, -r2, -r6},
                             // The viewing direction itself projects onto the origin.
                             ProjectionCase{View::Isometric, {3, 3, 3}, 0, 0},
                             // Plane views: X-Y from +Z, Y-Z from +X, X-Z (plan) from +Y.
                             ProjectionCase{View::XY, {1, 2, 3}, 1, 2},
                             ProjectionCase{View::YZ, {1, 2, 3}, -3, 2},
                             ProjectionCase{View::XZ, {1, 2, 3}, 1, -3}));

TEST(Projection, EveryViewIsAnOrthographicProjectionKeepingLengthsInItsPlane) {
  // Unit vectors of each view's plane keep their length; the isometric view
  // shortens every axis alike to sqrt(2/3).
  for (const View view : all_views) {
    for (int k = 0; k < 3; ++k) {
      const Point2 p = project(view, Vector3::Unit(k));
      const double length = std::hypot(p.u, p.v);
      if (view == View::Isometric)
        EXPECT_NEAR(length, std::sqrt(2.0 / 3.0), 1e-12);
      else
        EXPECT_TRUE(std::fabs(length - 1.0) < 1e-12 || length < 1e-12) << view_name(view) << " axis " << k;
    }
  }
}

TEST(Fit, ModelFillsTheFreeBoxCentredWithYDownwards) {
  const std::vector<Vector3> points{{0, 0, 0}, {10, 0, 0}, {10, 5, 0}};
  const Fit fit = fit_to_box(View::XY, points, 200.0, 100.0, 10.0);
  // min(180 / 10, 80 / 5): the height governs.
  EXPECT_DOUBLE_EQ(fit.scale, 16.0);
  EXPECT_DOUBLE_EQ(fit.x(project(View::XY, {5, 2.5, 0})), 100.0);
  EXPECT_DOUBLE_EQ(fit.y(project(View::XY, {5, 2.5, 0})), 50.0);
  EXPECT_DOUBLE_EQ(fit.x(project(View::XY, {0, 0, 0})), 20.0);
  EXPECT_DOUBLE_EQ(fit.y(project(View::XY, {0, 0, 0})), 90.0);  // lower edge of the free box
  EXPECT_DOUBLE_EQ(fit.y(project(View::XY, {10, 5, 0})), 10.0);
}

TEST(Fit, ModelSeenEndOnKeepsAFiniteScaleAndSitsInTheMiddle) {
  // A column seen from above is a point; a beam along X seen from +X too.
  for (const auto& [view, points] : {std::pair{View::XZ, std::vector<Vector3>{{0, 0, 0}, {0, 4, 0}}},
                                     std::pair{View::YZ, std::vector<Vector3>{{0, 0, 0}, {6, 0, 0}}}}) {
    const Fit fit = fit_to_box(view, points, 300.0, 200.0, 20.0);
    EXPECT_TRUE(std::isfinite(fit.scale));
    EXPECT_GT(fit.scale, 0.0);
    EXPECT_DOUBLE_EQ(fit.x(project(view, points[0])), 150.0);
    EXPECT_DOUBLE_EQ(fit.y(project(view, points[0])), 100.0);
  }
  const Fit empty = fit_to_box(View::Isometric, {}, 300.0, 200.0, 20.0);
  EXPECT_DOUBLE_EQ(empty.scale, 1.0);
}

TEST(DeformedScale, RoundFactorThatDrawsTheLargestDisplacementAtMostATenthOfTheModel) {
  EXPECT_DOUBLE_EQ(nice_floor(0.0037), 0.002);
  EXPECT_DOUBLE_EQ(nice_floor(7.0), 5.0);
  EXPECT_DOUBLE_EQ(nice_floor(10.0), 10.0);
  EXPECT_DOUBLE_EQ(nice_floor(199.9), 100.0);
  EXPECT_DOUBLE_EQ(nice_floor(200.0), 200.0);
  EXPECT_DOUBLE_EQ(nice_floor(1000.0), 1000.0);
  EXPECT_DOUBLE_EQ(nice_floor(0.5), 0.5);

  EXPECT_DOUBLE_EQ(deformed_scale(0.02, 10.0), 50.0);  // 0.1 * 10 / 0.02 exactly
  EXPECT_DOUBLE_EQ(deformed_scale(0.03, 10.0), 20.0);  // 33.3 rounds down
  EXPECT_DOUBLE_EQ(deformed_scale(0.0, 10.0), 1.0);
  EXPECT_DOUBLE_EQ(deformed_scale(0.01, 0.0), 1.0);
  EXPECT_DOUBLE_EQ(deformed_scale(std::nan(""), 10.0), 1.0);
  // Large displacements are drawn shrunk.
  EXPECT_DOUBLE_EQ(deformed_scale(40.0, 10.0), 0.02);
  std::mt19937 random(7);
  std::uniform_real_distribution<double> exponent(-6.0, 2.0);
  for (int k = 0; k < 200; ++k) {
    const double largest = std::pow(10.0, exponent(random));
    const double drawn = deformed_scale(largest, 10.0) * largest;
    EXPECT_LE(drawn, 1.0 * (1 + 1e-12));
    EXPECT_GT(drawn, 0.4);  // never less than 2/5 of the share: 1, 2, 5 steps
  }
}

Member member_between(Vector3 a, Vector3 b, double rotation_angle = 0.0) {
  Member m;
  m.id = 1;
  m.start_node = Node{1, a.x(), a.y(), a.z(), {}};
  m.end_node = Node{2, b.x(), b.y(), b.z(), {}};
  m.rotation_angle = rotation_angle;
  return m;
}

struct OffsetCase {
  const char* name;
  Vector3 end;
  double rotation_angle;
  MomentPlane plane;
  Vector3 offset;  // of a moment of +10 at 0.1 length per moment unit
};

class DiagramOffsetTest : public ::testing::TestWithParam<OffsetCase> {};

TEST_P(DiagramOffsetTest, PositiveMomentIsDrawnOnTheSideItStretches) {
  const OffsetCase& c = GetParam();
  const Matrix3 lambda = rotation_matrix(member_between(Vector3::Zero(), c.end, c.rotation_angle));
  const Vector3 offset = diagram_offset(lambda, c.plane, 10.0, 0.1);
  EXPECT_TRUE(offset.isApprox(c.offset, 1e-12)) << c.name << ": " << offset.transpose();
  // A negative moment goes to the other side.
  EXPECT_TRUE(diagram_offset(lambda, c.plane, -10.0, 0.1).isApprox(-c.offset, 1e-12)) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Members, DiagramOffsetTest,
    ::testing::Values(
        // A sagging beam along +X (Mz > 0) has its diagram below it; My > 0
        // stretches the +z fibre, global +Z for this beam.
        OffsetCase{"beam along X, Mz", {5, 0, 0}, 0.0, MomentPlane::Mz, {0, -1, 0}},
        OffsetCase{"beam along X, My", {5, 0, 0}, 0.0, MomentPlane::My, {0, 0, 1}},
        // Column along +Y: local y = +Z, local z = +X.
        OffsetCase{"column, Mz", {0, 3, 0}, 0.0, MomentPlane::Mz, {0, 0, -1}},
        OffsetCase{"column, My", {0, 3, 0}, 0.0, MomentPlane::My, {1, 0, 0}},
        // Beam along +Z: local y = +Y, local z = -X.
        OffsetCase{"beam along Z, Mz", {0, 0, 2}, 0.0, MomentPlane::Mz, {0, -1, 0}},
        OffsetCase{"beam along Z, My", {0, 0, 2}, 0.0, MomentPlane::My, {-1, 0, 0}},
        // Turned by 90 degrees: local y = +Z, local z = -Y.
        OffsetCase{"turned beam, Mz", {5, 0, 0}, std::numbers::pi / 2, MomentPlane::Mz, {0, 0, -1}},
        OffsetCase{"turned beam, My", {5, 0, 0}, std::numbers::pi / 2, MomentPlane::My, {0, -1, 0}}));

TEST(DiagramOffset, LiesInTheBendingPlanePerpendicularToTheMember) {
  std::mt19937 random(3);
  std::uniform_real_distribution<double> coordinate(-5.0, 5.0);
  for (int k = 0; k < 100; ++k) {
    const Vector3 end(coordinate(random), coordinate(random), coordinate(random));
    const Matrix3 lambda = rotation_matrix(member_between(Vector3::Zero(), end, coordinate(random)));
    const Vector3 mz = diagram_offset(lambda, MomentPlane::Mz, 3.0, 1.0);
    const Vector3 my = diagram_offset(lambda, MomentPlane::My, 3.0, 1.0);
    const Vector3 axis = end.normalized();
    EXPECT_NEAR(mz.dot(axis), 0.0, 1e-12);
    EXPECT_NEAR(my.dot(axis), 0.0, 1e-12);
    EXPECT_NEAR(mz.dot(lambda.row(2)), 0.0, 1e-12);  // Mz stays in the x-y plane
    EXPECT_NEAR(my.dot(lambda.row(1)), 0.0, 1e-12);  // My in the x-z plane
    EXPECT_NEAR(mz.norm(), 3.0, 1e-12);
  }
}

TEST(DeformedShape, LocalDisplacementsTurnIntoGlobalOnesAlongTheMember) {
  // A column along +Y: local y is global +Z, local z global +X.
  VELK model;
  Member column = member_between({1, 0, 2}, {1, 4, 2});
  model.member_sets.push_back(MemberSet{1, {}, {}, {}, {column}});
  const Scene scene = build_scene(model, 1.0);
  ASSERT_EQ(scene.members.size(), 1u);
  const std::vector<double> x{0.0, 2.0, 4.0};
  // ux shortens, uy and uz bend it.
  const std::array<std::vector<double>, 3> u{std::vector<double>{0.0, -0.001, -0.002},
                                             std::vector<double>{0.0, 0.01, 0.0},
                                             std::vector<double>{0.0, 0.0, 0.02}};
  const std::vector<Vector3> points = deformed_shape(scene.members[0], x, u, 100.0);
  ASSERT_EQ(points.size(), 3u);
  EXPECT_TRUE(points[0].isApprox(Vector3(1, 0, 2), 1e-12));
  EXPECT_TRUE(points[1].isApprox(Vector3(1, 2 - 0.1, 2 + 1.0), 1e-12)) << points[1].transpose();
  EXPECT_TRUE(points[2].isApprox(Vector3(1 + 2.0, 4 - 0.2, 2), 1e-12)) << points[2].transpose();
}

TEST(DrawingStations, EquallySpacedWithTheLoadBreakpointsAndNoRepeats) {
  MemberDiagram diagram;
  diagram.length = 4.0;
  diagram.pieces.resize(3);
  diagram.pieces[0].start = 0.0;
  diagram.pieces[0].end = 1.3;
  diagram.pieces[1].start = 1.3;
  diagram.pieces[1].end = 2.0;
  diagram.pieces[2].start = 2.0;
  diagram.pieces[2].end = 4.0;
  const std::vector<double> x = drawing_stations(diagram, 5);
  EXPECT_EQ(x, (std::vector<double>{0.0, 1.0, 1.3, 2.0, 3.0, 4.0}));
}

}  // namespace
}  // namespace velk::report
