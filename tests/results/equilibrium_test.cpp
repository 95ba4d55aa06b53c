// The equilibrium balance of loads and reactions about the origin, in document and base units.
#include "results/equilibrium.hpp"

#include <gtest/gtest.h>

#include "support/frame_builder.hpp"

namespace velk {
namespace {

using test_support::FrameBuilder;

// A beam 4 m along X fixed at node 1 with a partial trapezoidal line load
// (case 1) and a force and a moment at its tip (case 2), combined as
// 1.5 x case 1 + 2 x case 2.
FrameBuilder loaded_beam() {
  FrameBuilder b;
  const auto s = b.section(0.01, 1e-5, 1e-5, 1e-5);
  b.support(1, ConditionType::Fixed, "XYZ", ConditionType::Fixed, "XYZ");
  b.node(1, 0, 0, 0, 1);
  b.node(2, 4, 0, 0);
  b.member(1, 1, 2, s);
  LoadCase& dead = b.load_case(1, "Dead");
  FrameBuilder::line_load(dead, 1, -2e3, -6e3, {0, 1, 0}, 0.25, 0.75);
  LoadCase& point = b.load_case(2, "Point");
  FrameBuilder::force(point, 2, 5e3, {0, 0, 1});
  FrameBuilder::moment(point, 2, 3e3, {1, 0, 0});
  b.model.load_combinations.push_back(LoadCombination{1, "ULS", {{1, 1.5}, {2, 2.0}}, {}, "ULS", {}});
  return b;
}

// A beam 4 m along X fixed at node 1; reactions made up to balance the loads
// exactly, so the residual is zero only if every load is taken right.
TEST(Balance, LoadsAndReactionsAboutTheOriginInDocumentUnits) {
  // Case 1: q from -2 to -6 kN/m over [1 m, 3 m] along Y: F = -8 kN,
  // int s q ds = int_1^3 s (-2 - 2 (s - 1)) ds = -52/3 kNm.
  // Case 2: 5 kN along Z at x = 4: My = -20 kNm; 3 kNm about X.
  const FrameBuilder b = loaded_beam();

  for (const double length_unit : {1.0, 0.001}) {  // the document in m and in mm, force in kN
    const UnitFactors factors{length_unit, 1000.0, 1.0, 1.0};
    const double m = 1.0 / length_unit;  // metres in the document's unit
    Results results;
    // Loads of the combination: Fy = -12, Fz = 10 kN; Mx = 6, My = -40, Mz = -26 kNm.
    results.reaction_nodes[1].nodal_forces = NodeForces{0, 12, -10, -6 * m, 40 * m, 26 * m};
    const EquilibriumBalance balance =
        equilibrium_balance(b.model, ResultType::combination(1), results, factors, BalanceUnits::Document);
    const Vector6 loads = (Vector6() << 0, -12, 10, 6 * m, -40 * m, -26 * m).finished();
    EXPECT_TRUE(balance.loads.isApprox(loads, 1e-12)) << balance.loads.transpose();
    EXPECT_LT(balance.residual.norm(), 1e-9 * m) << balance.residual.transpose();

    const EquilibriumBalance dead_only =
        equilibrium_balance(b.model, ResultType::load_case(1), results, factors, BalanceUnits::Document);
    EXPECT_NEAR(dead_only.loads[1], -8.0, 1e-12);
    EXPECT_NEAR(dead_only.loads[5], -52.0 / 3.0 * m, 1e-9 * m);
  }
}

// The same balance in newtons and metres, whatever the document's units:
// the reactions (document units) are converted, the loads are already base.
TEST(Balance, LoadsAndReactionsAboutTheOriginInBaseUnits) {
  const FrameBuilder b = loaded_beam();
  for (const double length_unit : {1.0, 0.001}) {
    const UnitFactors factors{length_unit, 1000.0, 1.0, 1.0};
    const double m = 1.0 / length_unit;
    Results results;
    results.reaction_nodes[1].nodal_forces = NodeForces{0, 12, -10, -6 * m, 40 * m, 26 * m};
    const EquilibriumBalance balance =
        equilibrium_balance(b.model, ResultType::combination(1), results, factors, BalanceUnits::Base);
    const Vector6 loads = (Vector6() << 0, -12e3, 10e3, 6e3, -40e3, -26e3).finished();
    EXPECT_TRUE(balance.loads.isApprox(loads, 1e-12)) << balance.loads.transpose();
    EXPECT_TRUE(balance.reactions.isApprox(-loads, 1e-12)) << balance.reactions.transpose();
    EXPECT_LT(balance.residual.norm(), 1e-9 * loads.norm()) << balance.residual.transpose();
    // The largest single term is the reaction moment |(-6, 40, 26)| kNm.
    EXPECT_NEAR(balance.scale, std::sqrt(36.0 + 1600.0 + 676.0) * 1e3, 1e-6);

    // Case 2 alone, a tip force: F = 5 kN along Z at x = 4 m, My = -20 kNm.
    const EquilibriumBalance point =
        equilibrium_balance(b.model, ResultType::load_case(2), Results{}, factors, BalanceUnits::Base);
    EXPECT_TRUE(point.loads.isApprox((Vector6() << 0, 0, 5e3, 3e3, -20e3, 0).finished(), 1e-12))
        << point.loads.transpose();
    EXPECT_EQ(point.reactions, Vector6::Zero());
    EXPECT_EQ(point.residual, point.loads);
  }
}

// A load at a node that no member reaches acts on nothing and is left out;
// an unknown case has no loads.
TEST(Balance, LoadsOffTheStructureAndUnknownCasesAddNothing) {
  FrameBuilder b = loaded_beam();
  FrameBuilder::force(b.model.load_cases[1], 99, 1e6, {1, 0, 0});
  const UnitFactors factors{};
  const EquilibriumBalance point =
      equilibrium_balance(b.model, ResultType::load_case(2), Results{}, factors, BalanceUnits::Base);
  EXPECT_TRUE(point.loads.isApprox((Vector6() << 0, 0, 5e3, 3e3, -20e3, 0).finished(), 1e-12))
      << point.loads.transpose();
  for (const ResultType unknown : {ResultType::load_case(7), ResultType::combination(7)}) {
    EXPECT_EQ(equilibrium_balance(b.model, unknown, Results{}, factors, BalanceUnits::Document).loads,
              Vector6::Zero());
  }
}

}  // namespace
}  // namespace velk
