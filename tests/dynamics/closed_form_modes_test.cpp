// Natural frequencies of straight members against their closed forms: beams
// in bending (cantilever, simply supported, fixed at both ends), rods in
// axial and in torsional vibration, in several directions and document
// units; and how consistent and lumped mass converge as members are divided.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "dynamics/modal_analysis.hpp"
#include "modal_test_models.hpp"

namespace velk {
namespace {

using namespace test_support;

enum class Family { Cantilever, Simple, Fixed, Axial, Torsion };

// The first three circular frequencies of a family (rad/s).
std::vector<double> closed_form(Family family) {
  const double l = beam_length;
  const double bending = std::sqrt(beam_e * beam_i_weak / (beam_density * beam_area)) / (l * l);
  const auto beam = [&](std::vector<double> beta_l) {
    for (double& b : beta_l) b = b * b * bending;  // (beta_n L)^2 sqrt(E I / (rho A)) / L^2
    return beta_l;
  };
  const auto rod = [&](double wave_speed) {
    std::vector<double> omega;
    for (int n = 1; n <= 3; ++n) omega.push_back((2 * n - 1) * std::numbers::pi / (2.0 * l) * wave_speed);
    return omega;
  };
  switch (family) {
    case Family::Cantilever:
      return beam({1.875104, 4.694091, 7.854757});
    case Family::Simple:
      return beam({std::numbers::pi, 2.0 * std::numbers::pi, 3.0 * std::numbers::pi});
    case Family::Fixed:
      return beam({4.730041, 7.853205, 10.995608});
    case Family::Axial:
      return rod(std::sqrt(beam_e / beam_density));
    case Family::Torsion:
      return rod(std::sqrt(beam_g * beam_torsion / (beam_density * (beam_i_weak + beam_i_strong))));
  }
  return {};
}

// The closed forms' beta_n L to six decimals leave this much.
constexpr double closed_form_digits = 2e-6;

struct LineCase {
  const char* name;
  Family family;
  std::array<double, 3> direction;
  double rotation_angle;
  const DocumentUnits* units;
  MassKind mass;
  int parts;
  double tolerance;  // relative, against the closed form
};

// The supports of a family on a member along the global axis `axis` (any
// axis for a cantilever): start, inner nodes, end.
VELK line_model(const LineCase& c) {
  VELK model = empty_model(*c.units);
  int axis = 0;
  for (int k = 0; k < 3; ++k) {
    if (std::abs(c.direction[k]) > std::abs(c.direction[axis])) axis = k;
  }
  std::string all_fixed = "FFFFFF";
  std::string simple_start = "FFF...", simple_end = "FFF...";
  simple_start[3 + axis] = 'F';
  std::string axial = all_fixed, torsion = all_fixed;
  axial[axis] = '.';
  torsion[3 + axis] = '.';
  model.nodal_supports = {support_of(1, all_fixed), support_of(2, simple_start), support_of(3, simple_end),
                          support_of(4, axial), support_of(5, torsion)};
  LineSupports supports;
  switch (c.family) {
    case Family::Cantilever:
      supports = {1, {}, {}};
      break;
    case Family::Simple:
      supports = {2, {}, 3};
      break;
    case Family::Fixed:
      supports = {1, {}, 1};
      break;
    case Family::Axial:
      supports = {1, 4, 4};
      break;
    case Family::Torsion:
      supports = {1, 5, 5};
      break;
  }
  add_line(model, *c.units, 1, 1, {1.0, -2.0, 0.5}, c.direction, beam_length, c.parts, supports,
           MemberType::Normal, c.rotation_angle);
  return model;
}

std::vector<double> omegas(const VELK& model, MassKind mass, int count = 3) {
  ModalOptions options;
  options.modes = count;
  options.mass = mass;
  const auto modes = modal_analysis_of_document(model, options);
  EXPECT_TRUE(modes) << (modes ? "" : modes.error());
  std::vector<double> omega;
  if (!modes) return omega;
  for (const Mode& mode : modes->modes) omega.push_back(mode.omega);
  return omega;
}

class ClosedFormModes : public ::testing::TestWithParam<LineCase> {};

TEST_P(ClosedFormModes, FirstThreeFrequencies) {
  const LineCase& c = GetParam();
  const std::vector<double> expected = closed_form(c.family);
  const std::vector<double> found = omegas(line_model(c), c.mass);
  ASSERT_EQ(found.size(), 3u);
  for (std::size_t n = 0; n < 3; ++n) {
    EXPECT_LT(relative_difference(found[n], expected[n]), c.tolerance + closed_form_digits)
        << "mode " << n + 1 << ": " << found[n] << " against " << expected[n];
    // Consistent mass bounds the frequencies from above, lumped from below.
    if (c.mass == MassKind::Consistent) {
      EXPECT_GT(found[n], expected[n] * (1.0 - closed_form_digits)) << "mode " << n + 1;
    } else {
      EXPECT_LT(found[n], expected[n] * (1.0 + closed_form_digits)) << "mode " << n + 1;
    }
  }
}

constexpr std::array<double, 3> along_x{1.0, 0.0, 0.0};
constexpr std::array<double, 3> along_y{0.0, 1.0, 0.0};
constexpr std::array<double, 3> along_z{0.0, 0.0, 1.0};
constexpr std::array<double, 3> skew{1.0 / 3.0, -2.0 / 3.0, 2.0 / 3.0};
constexpr std::array<double, 3> downwards{0.0, 0.0, -1.0};

INSTANTIATE_TEST_SUITE_P(
    Members, ClosedFormModes,
    ::testing::Values(
        LineCase{"cantilever_x", Family::Cantilever, along_x, 0.0, &base_units, MassKind::Consistent, 20,
                 5e-5},
        LineCase{"cantilever_y_kn", Family::Cantilever, along_y, 0.0, &m_kn, MassKind::Consistent, 20, 5e-5},
        LineCase{"cantilever_vertical_mm", Family::Cantilever, along_z, 0.0, &mm_n, MassKind::Consistent, 20,
                 5e-5},
        LineCase{"cantilever_hanging", Family::Cantilever, downwards, 0.0, &base_units, MassKind::Consistent,
                 20, 5e-5},
        LineCase{"cantilever_skew_turned_mm", Family::Cantilever, skew, 0.7, &mm_n, MassKind::Consistent, 20,
                 5e-5},
        LineCase{"cantilever_skew_lumped", Family::Cantilever, skew, 0.0, &m_kn, MassKind::Lumped, 40, 2e-3},
        LineCase{"simple_x", Family::Simple, along_x, 0.0, &base_units, MassKind::Consistent, 20, 5e-5},
        LineCase{"simple_z_mm", Family::Simple, along_z, 0.0, &mm_n, MassKind::Consistent, 20, 5e-5},
        LineCase{"simple_y_lumped", Family::Simple, along_y, 0.0, &m_kn, MassKind::Lumped, 40, 2e-3},
        LineCase{"fixed_y", Family::Fixed, along_y, 0.0, &base_units, MassKind::Consistent, 20, 1e-4},
        LineCase{"fixed_x_kn", Family::Fixed, along_x, 0.0, &m_kn, MassKind::Consistent, 20, 1e-4},
        LineCase{"fixed_z_lumped_mm", Family::Fixed, along_z, 0.0, &mm_n, MassKind::Lumped, 40, 3e-3},
        LineCase{"axial_x", Family::Axial, along_x, 0.0, &base_units, MassKind::Consistent, 40, 2e-3},
        LineCase{"axial_z_lumped_mm", Family::Axial, along_z, 0.0, &mm_n, MassKind::Lumped, 40, 2e-3},
        LineCase{"torsion_y", Family::Torsion, along_y, 0.0, &base_units, MassKind::Consistent, 40, 2e-3},
        LineCase{"torsion_x_kn", Family::Torsion, along_x, 0.0, &m_kn, MassKind::Consistent, 40, 2e-3}),
    [](const auto& info) { return std::string(info.param.name); });

struct ConvergenceCase {
  const char* name;
  Family family;
  MassKind mass;
};

class Convergence : public ::testing::TestWithParam<ConvergenceCase> {};

TEST_P(Convergence, FinerMembersApproachTheClosedFormFromOneSide) {
  const ConvergenceCase& c = GetParam();
  const std::vector<double> expected = closed_form(c.family);
  std::vector<double> previous_error(3, 0.0);
  bool first = true;
  for (const int parts : {4, 8, 16, 32}) {
    const LineCase line{c.name, c.family, skew, 0.3, &base_units, c.mass, parts, 0.0};
    LineCase on_axis = line;
    on_axis.direction = along_x;
    const std::vector<double> found =
        omegas(line_model(c.family == Family::Cantilever ? line : on_axis), c.mass);
    ASSERT_EQ(found.size(), 3u);
    for (std::size_t n = 0; n < 3; ++n) {
      // Positive above the closed form for consistent mass, below for lumped.
      const double sign = c.mass == MassKind::Consistent ? 1.0 : -1.0;
      const double error = sign * (found[n] - expected[n]) / expected[n];
      EXPECT_GT(error, -closed_form_digits) << parts << " parts, mode " << n + 1;
      if (!first) {
        EXPECT_LT(error, previous_error[n]) << parts << " parts, mode " << n + 1;
      }
      previous_error[n] = error;
    }
    first = false;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Members, Convergence,
    ::testing::Values(ConvergenceCase{"cantilever_consistent", Family::Cantilever, MassKind::Consistent},
                      ConvergenceCase{"cantilever_lumped", Family::Cantilever, MassKind::Lumped},
                      ConvergenceCase{"fixed_consistent", Family::Fixed, MassKind::Consistent},
                      ConvergenceCase{"fixed_lumped", Family::Fixed, MassKind::Lumped},
                      ConvergenceCase{"axial_consistent", Family::Axial, MassKind::Consistent},
                      ConvergenceCase{"axial_lumped", Family::Axial, MassKind::Lumped}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ClosedFormModes, TheUnitsOfTheDocumentChangeNothing) {
  LineCase c{"cantilever", Family::Cantilever, skew, 0.4, &base_units, MassKind::Consistent, 12, 0.0};
  ModalOptions options;
  options.modes = 8;
  options.solver.dense_limit = 100000;
  const auto base = modal_analysis_of_document(line_model(c), options);
  ASSERT_TRUE(base) << base.error();
  for (const DocumentUnits* units : {&m_kn, &mm_n}) {
    c.units = units;
    const auto other = modal_analysis_of_document(line_model(c), options);
    ASSERT_TRUE(other) << other.error();
    ASSERT_EQ(other->modes.size(), base->modes.size());
    for (int d = 0; d < 3; ++d)
      EXPECT_LT(relative_difference(other->total_mass[d], base->total_mass[d]), 1e-10) << units->name;
    for (std::size_t i = 0; i < base->modes.size(); ++i) {
      EXPECT_LT(relative_difference(other->modes[i].omega, base->modes[i].omega), 1e-9) << units->name;
      for (int d = 0; d < 3; ++d) {
        EXPECT_NEAR(other->modes[i].effective_mass[d], base->modes[i].effective_mass[d],
                    1e-9 * base->total_mass[0])
            << units->name;
      }
    }
  }
}

}  // namespace
}  // namespace velk
