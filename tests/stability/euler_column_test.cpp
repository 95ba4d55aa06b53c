// Euler columns against pi^2 E I / (k L)^2: every end condition, standing
// and lying along each axis, inclined, turned about their axis, in metres
// and kilonewtons and in millimetres and newtons, buckling about the weak
// axis first and the strong axis second.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "stability/stability_models.hpp"

namespace velk {
namespace {

using namespace test_support;

struct ColumnCase {
  const char* name;
  Eigen::Vector3d axis;
  ColumnEnds ends;
  double rotation_angle;
  LengthUnit length_unit;
  ForceUnit force_unit;
  PressureUnit pressure_unit;
};

std::ostream& operator<<(std::ostream& out, const ColumnCase& c) { return out << c.name; }

constexpr int column_members = 16;
constexpr double column_length = 4.0;
// Sixteen cubic elements are within 1e-4 of the closed form, the fixed-fixed
// column (whose mode has two waves) too.
constexpr double discretisation_tolerance = 1e-4;

class EulerColumn : public ::testing::TestWithParam<ColumnCase> {};

TEST_P(EulerColumn, CriticalForcesBucklingLengthsAndModeShape) {
  const ColumnCase& c = GetParam();
  ColumnModel column =
      euler_column(c.axis.normalized(), column_members, column_length, c.ends, c.rotation_angle);
  VELK model = column.builder.model;
  to_document_units(model, c.length_unit, c.force_unit, c.pressure_unit);
  const UnitFactors f = unit_factors(model.settings.unit_settings);
  const StabilityAnalysis analysis = stability_of(model);
  ASSERT_EQ(analysis.loadcases.size(), 1u);
  const CaseStability& result = analysis.loadcases.front();
  ASSERT_GE(result.critical_factors.size(), 2u);
  EXPECT_FALSE(result.message.has_value());
  EXPECT_FALSE(result.reversed_factor.has_value());  // nothing in tension

  const double k = effective_length_factor(c.ends);
  const double kl = k * column_length;
  const double weak = std::pow(std::numbers::pi / kl, 2) * steel_e * column_i_y;    // pi^2 E I_y / (k L)^2
  const double strong = std::pow(std::numbers::pi / kl, 2) * steel_e * column_i_z;  // pi^2 E I_z / (k L)^2
  EXPECT_NEAR(result.critical_factors[0] * column_load / weak, 1.0, discretisation_tolerance);
  EXPECT_NEAR(result.critical_factors[1] * column_load / strong, 1.0, discretisation_tolerance);
  EXPECT_EQ(result.verdict, stability_verdict(result.critical_factors[0]));

  for (int m = 0; m < 2; ++m) {
    const BucklingMode& mode = result.modes[static_cast<std::size_t>(m)];
    const char* axis = m == 0 ? "y" : "z";
    const double closed = m == 0 ? weak : strong;
    ASSERT_EQ(mode.members.size(), static_cast<std::size_t>(column_members));
    double shares = 0.0;
    for (const MemberBuckling& member : mode.members) {
      EXPECT_NEAR(member.axial_force * f.force / -column_load, 1.0, 1e-9) << member.member;
      ASSERT_TRUE(member.critical_force && member.length_y && member.bending_axis) << member.member;
      EXPECT_NEAR(*member.critical_force * f.force / closed, 1.0, discretisation_tolerance);
      // Only the length about the axis the mode bends about is its buckling length.
      EXPECT_EQ(*member.bending_axis, axis) << member.member;
      const double buckling_length = (m == 0 ? *member.length_y : *member.length_z) * f.length;
      EXPECT_NEAR(buckling_length / kl, 1.0, discretisation_tolerance);
      const double member_length = column_length / column_members;
      EXPECT_NEAR((m == 0 ? *member.factor_y : *member.factor_z) * member_length / kl, 1.0,
                  discretisation_tolerance);
      shares += member.energy_share;
    }
    EXPECT_NEAR(shares, 1.0, 1e-12);

    // The largest translation is +1; the bottom does not move.
    double largest = 0.0;
    double signed_largest = 0.0;
    for (const auto& [id, d] : mode.shape) {
      for (const double v : {d.dx, d.dy, d.dz}) {
        if (std::abs(v) > largest) {
          largest = std::abs(v);
          signed_largest = v;
        }
      }
    }
    EXPECT_NEAR(signed_largest, 1.0, 1e-9);
    EXPECT_EQ(mode.shape.size(), static_cast<std::size_t>(column_members + 1));
    const NodeDisplacement& bottom = mode.shape.at(1);
    EXPECT_NEAR(std::abs(bottom.dx) + std::abs(bottom.dy) + std::abs(bottom.dz), 0.0, 1e-12);
  }
}

const Eigen::Vector3d along_x{1, 0, 0};
const Eigen::Vector3d along_y{0, 1, 0};
const Eigen::Vector3d along_z{0, 0, 1};
const Eigen::Vector3d inclined{1, 2, 2};
constexpr double turned = 0.6;

INSTANTIATE_TEST_SUITE_P(
    Stability, EulerColumn,
    ::testing::Values(ColumnCase{"standing_pinned_pinned", along_z, ColumnEnds::PinnedPinned, 0.0,
                                 LengthUnit::M, ForceUnit::KN, PressureUnit::KPa},
                      ColumnCase{"standing_fixed_free", along_z, ColumnEnds::FixedFree, 0.0, LengthUnit::M,
                                 ForceUnit::KN, PressureUnit::KPa},
                      ColumnCase{"standing_fixed_pinned", along_z, ColumnEnds::FixedPinned, 0.0,
                                 LengthUnit::M, ForceUnit::KN, PressureUnit::KPa},
                      ColumnCase{"standing_fixed_fixed", along_z, ColumnEnds::FixedFixed, 0.0, LengthUnit::M,
                                 ForceUnit::KN, PressureUnit::KPa},
                      ColumnCase{"along_x_pinned_pinned_mm_n", along_x, ColumnEnds::PinnedPinned, 0.0,
                                 LengthUnit::Mm, ForceUnit::N, PressureUnit::MPa},
                      ColumnCase{"along_x_fixed_pinned_turned", along_x, ColumnEnds::FixedPinned, turned,
                                 LengthUnit::M, ForceUnit::N, PressureUnit::Pa},
                      ColumnCase{"along_y_fixed_fixed_mm_n", along_y, ColumnEnds::FixedFixed, 0.0,
                                 LengthUnit::Mm, ForceUnit::N, PressureUnit::MPa},
                      ColumnCase{"along_z_pinned_pinned_turned_cm", along_z, ColumnEnds::PinnedPinned, turned,
                                 LengthUnit::Cm, ForceUnit::KN, PressureUnit::GPa},
                      ColumnCase{"inclined_fixed_free", inclined, ColumnEnds::FixedFree, 0.0, LengthUnit::M,
                                 ForceUnit::KN, PressureUnit::KPa},
                      ColumnCase{"inclined_fixed_free_turned_mm_n", inclined, ColumnEnds::FixedFree, turned,
                                 LengthUnit::Mm, ForceUnit::N, PressureUnit::MPa},
                      ColumnCase{"downward_fixed_free", -along_z, ColumnEnds::FixedFree, -turned,
                                 LengthUnit::M, ForceUnit::KN, PressureUnit::KPa}),
    [](const ::testing::TestParamInfo<ColumnCase>& info) { return std::string(info.param.name); });

// The first factor approaches the closed form from above as the column is
// divided more finely, the error falling by about 2^4 per halving.
class ColumnConvergence : public ::testing::TestWithParam<ColumnEnds> {};

TEST_P(ColumnConvergence, ErrorFallsWithDivision) {
  const ColumnEnds ends = GetParam();
  const double kl = effective_length_factor(ends) * column_length;
  const double closed = std::pow(std::numbers::pi / kl, 2) * steel_e * column_i_y;
  double previous_error = std::numeric_limits<double>::infinity();
  for (const int members : {4, 8, 16, 32}) {
    const ColumnModel column = euler_column(along_z, members, column_length, ends);
    const StabilityAnalysis analysis = stability_of(column.builder.model, 1);
    ASSERT_EQ(analysis.loadcases.size(), 1u);
    ASSERT_FALSE(analysis.loadcases[0].critical_factors.empty());
    const double error = analysis.loadcases[0].critical_factors[0] * column_load / closed - 1.0;
    EXPECT_GT(error, -1e-12) << members << " members";
    EXPECT_LT(error, previous_error / 8.0) << members << " members";
    previous_error = std::max(error, 1e-13);
  }
  EXPECT_LT(previous_error, 1e-5);
}

INSTANTIATE_TEST_SUITE_P(Stability, ColumnConvergence,
                         ::testing::Values(ColumnEnds::PinnedPinned, ColumnEnds::FixedFree,
                                           ColumnEnds::FixedPinned, ColumnEnds::FixedFixed),
                         [](const ::testing::TestParamInfo<ColumnEnds>& info) {
                           return ends_name(info.param);
                         });

}  // namespace
}  // namespace velk
