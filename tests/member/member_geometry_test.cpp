// Member local axes and transformation: the vertical-member rule, coincident ends, random orientations.
#include "member/member_geometry.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "base/fault.hpp"
#include "support/expect_fault.hpp"
#include "support/model_parts.hpp"

namespace velk {
namespace {

using test_support::make_member;
using test_support::make_node;

struct AxesCase {
  const char* name;
  Vector3 end;
  double rotation_angle;
  Vector3 x, y, z;
};

class LocalAxes : public ::testing::TestWithParam<AxesCase> {};

TEST_P(LocalAxes, RowsAreTheLocalAxes) {
  const AxesCase& c = GetParam();
  Member member = make_member(1, make_node(1, 0, 0, 0), make_node(2, c.end.x(), c.end.y(), c.end.z()));
  member.rotation_angle = c.rotation_angle;
  const Matrix3 lambda = rotation_matrix(member);
  EXPECT_TRUE(lambda.row(0).transpose().isApprox(c.x, 1e-15)) << lambda;
  EXPECT_LT((lambda.row(1).transpose() - c.y).norm(), 1e-15) << lambda;
  EXPECT_LT((lambda.row(2).transpose() - c.z).norm(), 1e-15) << lambda;
}

INSTANTIATE_TEST_SUITE_P(
    Orientations, LocalAxes,
    ::testing::Values(
        AxesCase{"AlongX", {5, 0, 0}, 0.0, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        AxesCase{"UpY", {0, 3, 0}, 0.0, {0, 1, 0}, {0, 0, 1}, {1, 0, 0}},
        AxesCase{"DownY", {0, -3, 0}, 0.0, {0, -1, 0}, {0, 0, 1}, {-1, 0, 0}},
        AxesCase{"AlongZ", {0, 0, 2}, 0.0, {0, 0, 1}, {0, 1, 0}, {-1, 0, 0}},
        AxesCase{"AlongXTurnedQuarter", {5, 0, 0}, std::numbers::pi / 2, {1, 0, 0}, {0, 0, 1}, {0, -1, 0}},
        AxesCase{"NanAngleIsZero", {5, 0, 0}, std::nan(""), {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LocalAxes, VerticalReferenceSwitchesJustAboveTheThreshold) {
  // |x_Y| above 0.999999 takes global Z as reference: z = x cross Z has an X part.
  const auto z_axis = [](double x_y) {
    const double x_x = std::sqrt(1.0 - x_y * x_y);
    return rotation_matrix(make_member(1, make_node(1, 0, 0, 0), make_node(2, x_x, x_y, 0))).row(2).eval();
  };
  EXPECT_GT(z_axis(0.9999995).x(), 0.99);
  EXPECT_NEAR(z_axis(0.9999985).z(), 1.0, 1e-15);
}

TEST(LocalAxes, CoincidentEndsAreFatal) {
  const Member member = make_member(7, make_node(1, 1, 2, 3), make_node(2, 1, 2, 3 + 1e-13));
  EXPECT_FAULT(rotation_matrix(member),
               "Start and end nodes are the same or too close to define a direction.");
  EXPECT_THROW(transformation_matrix(member), Fault);
  EXPECT_DOUBLE_EQ(member_length(make_member(1, make_node(1, 1, 2, 3), make_node(2, 4, 6, 3))), 5.0);
}

// For random orientations and angles: lambda is a proper rotation, lambda12
// is block-diagonal and orthonormal, and the blockwise transformations agree
// with the dense products lambda12^T k lambda12 and lambda12^T f.
TEST(Transformation, OrthonormalForRandomOrientations) {
  std::mt19937 rng(12345);
  std::uniform_real_distribution<double> coordinate(-10.0, 10.0);
  std::uniform_real_distribution<double> angle(-4.0, 4.0);
  for (int trial = 0; trial < 200; ++trial) {
    Member member = make_member(1, make_node(1, coordinate(rng), coordinate(rng), coordinate(rng)),
                                make_node(2, coordinate(rng), coordinate(rng), coordinate(rng)));
    member.rotation_angle = trial % 5 == 0 ? 0.0 : angle(rng);
    const Matrix3 lambda = rotation_matrix(member);
    const Matrix12 lambda12 = transformation_matrix(member);
    EXPECT_TRUE((lambda12 * lambda12.transpose()).isApprox(Matrix12::Identity(), 1e-14));
    EXPECT_NEAR(lambda.determinant(), 1.0, 1e-14);
    for (int i = 0; i < 4; ++i) {
      for (int j = 0; j < 4; ++j) {
        const Matrix3 block = lambda12.block<3, 3>(3 * i, 3 * j);
        if (i == j) {
          EXPECT_EQ(block, lambda);
        } else {
          EXPECT_TRUE(block.isZero(0.0));
        }
      }
    }
    const Matrix12 k = Matrix12::Random();
    const Vector12 f = Vector12::Random();
    EXPECT_TRUE(local_to_global(k, lambda).isApprox(lambda12.transpose() * k * lambda12, 1e-14));
    EXPECT_TRUE(local_to_global(f, lambda).isApprox(lambda12.transpose() * f, 1e-14));
    EXPECT_TRUE(global_to_local(f, lambda).isApprox(lambda12 * f, 1e-14));
  }
}

}  // namespace
}  // namespace velk
