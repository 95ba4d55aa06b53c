// NodeForces and NodeDisplacement to and from 6-vectors.
#include "results/node_vectors.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace velk {
namespace {

// Each component keeps its place and its bits both ways, signed zero and
// NaN included: a swapped or dropped entry would move a reaction or a
// displacement to the wrong axis.
TEST(NodeVectors, RoundTripKeepsEveryComponentInItsPlace) {
  const NodeForces forces{1.5, -2.25, -0.0, 4e-300, std::numeric_limits<double>::quiet_NaN(), 6e300};
  const Vector6 f = force_vector(forces);
  EXPECT_EQ(f(dof::UX), 1.5);
  EXPECT_EQ(f(dof::UY), -2.25);
  EXPECT_TRUE(std::signbit(f(dof::UZ)));
  EXPECT_EQ(f(dof::RX), 4e-300);
  EXPECT_TRUE(std::isnan(f(dof::RY)));
  EXPECT_EQ(f(dof::RZ), 6e300);
  const NodeForces back = node_forces(f);
  EXPECT_EQ(back.fx, forces.fx);
  EXPECT_EQ(back.fy, forces.fy);
  EXPECT_TRUE(back.fz == 0.0 && std::signbit(back.fz));
  EXPECT_EQ(back.mx, forces.mx);
  EXPECT_TRUE(std::isnan(back.my));
  EXPECT_EQ(back.mz, forces.mz);

  const NodeDisplacement displacement{0.1, 0.2, 0.3, -0.4, -0.5, -0.6};
  const Vector6 u = displacement_vector(displacement);
  EXPECT_EQ(u, (Vector6() << 0.1, 0.2, 0.3, -0.4, -0.5, -0.6).finished());
  const NodeDisplacement d = node_displacement(u);
  EXPECT_EQ(d.dx, 0.1);
  EXPECT_EQ(d.dy, 0.2);
  EXPECT_EQ(d.dz, 0.3);
  EXPECT_EQ(d.rx, -0.4);
  EXPECT_EQ(d.ry, -0.5);
  EXPECT_EQ(d.rz, -0.6);
}

}  // namespace
}  // namespace velk
