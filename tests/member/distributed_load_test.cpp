// Distributed member loads: closed-form integrals and equivalent end loads by member type.
#include "member/distributed_load.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "member/member_geometry.hpp"
#include "support/model_parts.hpp"

namespace velk {
namespace {

using namespace dof;

DistributedLoad load(double w1, double w2, double a, double b, Vec3 direction = {0, -1, 0}) {
  return DistributedLoad{1, 1, w1, direction, a, b, w2};
}

// Simpson integration of L^k * int_a^b q(xi) shape(xi) dxi.
template <class Shape>
double integrate(const DistributedLoad& l, double length, int power, Shape shape) {
  const int n = 2000;
  const double a = l.start_frac;
  const double h = (l.end_frac - a) / n;
  const auto q = [&](double xi) {
    return l.magnitude + (l.end_magnitude - l.magnitude) * (xi - a) / (l.end_frac - a);
  };
  double sum = 0.0;
  for (int i = 0; i <= n; ++i) {
    const double xi = a + i * h;
    const double weight = (i == 0 || i == n) ? 1.0 : (i % 2 == 1 ? 4.0 : 2.0);
    sum += weight * q(xi) * shape(xi);
  }
  return std::pow(length, power) * sum * h / 3.0;
}

TEST(LoadIntegrals, ClosedFormsOfUniformAndTriangularLoads) {
  const double q = 2.0;
  const double l = 4.0;
  const LoadIntegrals uniform = load_integrals(load(q, q, 0, 1), l);
  EXPECT_DOUBLE_EQ(uniform.f1, q * l / 2);
  EXPECT_DOUBLE_EQ(uniform.f2, q * l / 2);
  EXPECT_DOUBLE_EQ(uniform.m1, q * l * l / 12);
  EXPECT_DOUBLE_EQ(uniform.m2, -q * l * l / 12);
  EXPECT_DOUBLE_EQ(uniform.a1, q * l / 2);
  EXPECT_DOUBLE_EQ(uniform.a2, q * l / 2);

  const LoadIntegrals triangle = load_integrals(load(0, q, 0, 1), l);
  EXPECT_DOUBLE_EQ(triangle.f1, 3 * q * l / 20);
  EXPECT_DOUBLE_EQ(triangle.f2, 7 * q * l / 20);
  EXPECT_DOUBLE_EQ(triangle.m1, q * l * l / 30);
  EXPECT_DOUBLE_EQ(triangle.m2, -q * l * l / 20);
  EXPECT_DOUBLE_EQ(triangle.a1, q * l / 6);
  EXPECT_DOUBLE_EQ(triangle.a2, q * l / 3);
}

TEST(LoadIntegrals, PartialTrapezoidMatchesNumericIntegration) {
  const double l = 3.5;
  for (const DistributedLoad& l_case :
       {load(1.5, -4.0, 0.2, 0.7), load(3.0, 1.0, 0.55, 0.95), load(2, 2, 0, 0.3)}) {
    const LoadIntegrals r = load_integrals(l_case, l);
    EXPECT_NEAR(r.f1, integrate(l_case, l, 1, [](double x) { return 1 - 3 * x * x + 2 * x * x * x; }), 1e-12);
    EXPECT_NEAR(r.m1, integrate(l_case, l, 2, [](double x) { return x - 2 * x * x + x * x * x; }), 1e-12);
    EXPECT_NEAR(r.f2, integrate(l_case, l, 1, [](double x) { return 3 * x * x - 2 * x * x * x; }), 1e-12);
    EXPECT_NEAR(r.m2, integrate(l_case, l, 2, [](double x) { return -x * x + x * x * x; }), 1e-12);
    EXPECT_NEAR(r.a1, integrate(l_case, l, 1, [](double x) { return 1 - x; }), 1e-12);
    EXPECT_NEAR(r.a2, integrate(l_case, l, 1, [](double x) { return x; }), 1e-12);
  }
}

TEST(EquivalentLoadVector, LocalComponentsByMemberType) {
  const double q = 2.0;
  const double l = 4.0;
  Member beam =
      test_support::make_member(1, test_support::make_node(1, 0, 0, 0), test_support::make_node(2, l, 0, 0));
  // Along the axis: the linear split, no moments.
  Vector12 p = equivalent_load_vector(beam, load(0, q, 0, 1, {1, 0, 0}));
  EXPECT_DOUBLE_EQ(p(UX), q * l / 6);
  EXPECT_DOUBLE_EQ(p(END + UX), q * l / 3);
  EXPECT_EQ((p.array() != 0.0).count(), 2);

  // A truss takes the simply supported split crosswise too.
  beam.member_type = MemberType::Truss;
  p = equivalent_load_vector(beam, load(0, q, 0, 1, {0, 1, 1}));
  EXPECT_DOUBLE_EQ(p(UY), q * l / 6);
  EXPECT_DOUBLE_EQ(p(UZ), q * l / 6);
  EXPECT_DOUBLE_EQ(p(END + UY), q * l / 3);
  EXPECT_DOUBLE_EQ(p(END + UZ), q * l / 3);
  EXPECT_EQ((p.array() != 0.0).count(), 4);

  // An empty stretch carries nothing, whatever its magnitudes.
  EXPECT_TRUE(equivalent_load_vector(beam, load(1e9, 1e9, 0.4, 0.4)).isZero(0.0));
}

}  // namespace
}  // namespace velk
