// Properties every modal analysis must have: the effective masses of all
// modes add up to the total mass, the modes are orthogonal in the mass, the
// Lanczos answer is the dense one and a missed mode is caught; added
// masses, rigid links, releases, springs and one-way members; the messages.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "dynamics/modal_analysis.hpp"
#include "member/member_dofs.hpp"
#include "modal_test_models.hpp"

namespace velk {
namespace {

using namespace test_support;

// A three-dimensional frame of base units: four columns of `parts` members
// each, fixed at their feet, joined at the top by four beams and braced by
// one truss diagonal.
VELK portal_frame(int parts, MassKind = MassKind::Consistent) {
  VELK model = empty_model(base_units);
  model.sections.push_back(Section{2, "column", 1, {}, {}, 2e-5, 4e-5, 1e-5, 0.008, {}});
  model.nodal_supports = {support_of(1, "FFFFFF")};
  const double h = 4.0;
  const std::array<std::array<double, 2>, 4> feet{{{0, 0}, {6, 0}, {6, 5}, {0, 5}}};
  std::uint32_t node = 1, member = 1;
  std::array<std::uint32_t, 4> tops{};
  for (std::size_t c = 0; c < feet.size(); ++c) {
    add_line(model, base_units, node, member, {feet[c][0], feet[c][1], 0.0}, {0.0, 0.0, 1.0}, h, parts,
             {1, {}, {}});
    for (auto& m : model.member_sets[0].members) {
      if (m.id >= member) m.section = 2;
    }
    node += static_cast<std::uint32_t>(parts) + 1;
    member += static_cast<std::uint32_t>(parts);
    tops[c] = node - 1;
  }
  const auto node_at = [&](std::uint32_t id) {
    for (const Member& m : model.member_sets[0].members) {
      if (m.start_node.id == id) return m.start_node;
      if (m.end_node.id == id) return m.end_node;
    }
    return Node{};
  };
  for (std::size_t c = 0; c < tops.size(); ++c) {
    Member beam;
    beam.id = member++;
    beam.start_node = node_at(tops[c]);
    beam.end_node = node_at(tops[(c + 1) % tops.size()]);
    beam.section = 1;
    model.member_sets[0].members.push_back(beam);
  }
  Member diagonal;
  diagonal.id = member++;
  diagonal.start_node = node_at(1);
  diagonal.end_node = node_at(tops[1]);
  diagonal.section = 2;
  diagonal.member_type = MemberType::Truss;
  model.member_sets[0].members.push_back(diagonal);
  return model;
}

// The full 6 N x 6 N mass matrix of the analysis' member and nodal terms.
Eigen::MatrixXd full_mass(const VELK& model, const ModalOptions& options) {
  const auto masses = model_masses(model, options);
  EXPECT_TRUE(masses) << (masses ? "" : masses.error());
  std::uint32_t nodes = 0;
  for (const Member& m : model.member_sets[0].members)
    nodes = std::max({nodes, m.start_node.id, m.end_node.id});
  Eigen::MatrixXd full = Eigen::MatrixXd::Zero(6 * nodes, 6 * nodes);
  if (!masses) return full;
  std::size_t index = 0;
  for (const Member& m : model.member_sets[0].members) {
    const auto& matrix = masses->members[index++];
    if (!matrix) continue;
    const std::array<Eigen::Index, 2> at{6 * (m.start_node.id - 1), 6 * (m.end_node.id - 1)};
    for (int a = 0; a < 2; ++a) {
      for (int b = 0; b < 2; ++b) full.block<6, 6>(at[a], at[b]) += matrix->block<6, 6>(6 * a, 6 * b);
    }
  }
  for (const auto& [d, value] : masses->nodal) full(d, d) += value;
  return full;
}

Result<ModalAnalysis> analyse(const VELK& model, int modes, MassKind mass = MassKind::Consistent) {
  ModalOptions options;
  options.modes = modes;
  options.mass = mass;
  return modal_analysis(model, options);
}

class EveryMode : public ::testing::TestWithParam<MassKind> {};

TEST_P(EveryMode, EffectiveMassesAddUpToTheTotalAndModesAreMassOrthogonal) {
  const VELK model = portal_frame(2);
  ModalOptions options;
  options.modes = max_mode_count;
  options.mass = GetParam();
  const auto modes = modal_analysis(model, options);
  ASSERT_TRUE(modes) << modes.error();
  ASSERT_GT(modes->modes.size(), 20u);
  const Eigen::MatrixXd m = full_mass(model, options);
  for (int d = 0; d < 3; ++d) {
    double sum = 0.0;
    for (const Mode& mode : modes->modes) sum += mode.effective_mass[d];
    EXPECT_NEAR(sum, modes->total_mass[d], 1e-9 * modes->total_mass[d]) << "direction " << d;
    EXPECT_NEAR(modes->modes.back().cumulative_mass_ratio[d], 1.0, 1e-9);
  }
  for (std::size_t i = 0; i < modes->modes.size(); ++i) {
    const Eigen::VectorXd& ui = modes->modes[i].shape;
    const double mi = ui.dot(m * ui);
    for (std::size_t j = 0; j < i; ++j) {
      const Eigen::VectorXd& uj = modes->modes[j].shape;
      EXPECT_LT(std::abs(ui.dot(m * uj)), 1e-8 * std::sqrt(mi * uj.dot(m * uj))) << i << ", " << j;
    }
    // Largest translation +1; frequency and period agree.
    double largest = 0.0;
    for (Eigen::Index w = 0; w < ui.size(); ++w) {
      if (w % 6 < 3) largest = std::max(largest, std::abs(ui[w]));
    }
    EXPECT_DOUBLE_EQ(largest, 1.0);
    EXPECT_DOUBLE_EQ(modes->modes[i].period * modes->modes[i].frequency, 1.0);
    if (i > 0) {
      EXPECT_LE(modes->modes[i - 1].omega, modes->modes[i].omega);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Masses, EveryMode, ::testing::Values(MassKind::Consistent, MassKind::Lumped),
                         [](const auto& info) { return mass_kind_name(info.param); });

TEST(ModalAnalysis, TotalMassIsWhatTheSupportsDoNotHold) {
  // A lumped cantilever of n parts: its fixed node holds half of the first
  // part's mass in every direction.
  const int parts = 5;
  VELK model = empty_model(base_units);
  model.nodal_supports = {support_of(1, "FFFFFF")};
  add_line(model, base_units, 1, 1, {0, 0, 0}, {0.6, 0.8, 0.0}, beam_length, parts, {1, {}, {}});
  const double mass = beam_density * beam_area * beam_length;
  const auto lumped = analyse(model, 6, MassKind::Lumped);
  ASSERT_TRUE(lumped) << lumped.error();
  for (int d = 0; d < 3; ++d) EXPECT_NEAR(lumped->total_mass[d], mass * (1.0 - 0.5 / parts), 1e-9 * mass);
  // Consistent: along Z, across the member, the first part's cubic mass
  // keeps (156 + 2 * 54) / 420 of its mass on the fixed node's row.
  const auto consistent = analyse(model, 6);
  ASSERT_TRUE(consistent) << consistent.error();
  EXPECT_NEAR(consistent->total_mass[2], mass * (1.0 - 264.0 / 420.0 / parts), 1e-9 * mass);
}

TEST(ModalAnalysis, LanczosAgreesWithTheDenseSolve) {
  for (const MassKind kind : {MassKind::Consistent, MassKind::Lumped}) {
    const VELK model = portal_frame(4);
    ModalOptions options;
    options.modes = 12;
    options.mass = kind;
    options.solver.dense_limit = 0;
    const auto lanczos = modal_analysis(model, options);
    ASSERT_TRUE(lanczos) << lanczos.error();
    EXPECT_GE(lanczos->solver_attempts, 1);
    options.solver.dense_limit = 100000;
    const auto dense = modal_analysis(model, options);
    ASSERT_TRUE(dense) << dense.error();
    EXPECT_EQ(dense->solver_attempts, 0);
    ASSERT_EQ(lanczos->modes.size(), 12u);
    ASSERT_EQ(dense->modes.size(), 12u);
    for (std::size_t i = 0; i < 12; ++i) {
      EXPECT_LT(relative_difference(lanczos->modes[i].omega, dense->modes[i].omega), 1e-8) << i;
      for (int d = 0; d < 3; ++d) {
        EXPECT_NEAR(lanczos->modes[i].effective_mass[d], dense->modes[i].effective_mass[d],
                    1e-7 * dense->total_mass[d])
            << i;
      }
    }
  }
}

TEST(ModalAnalysis, TheSturmCountCatchesAModeTheLanczosStartCannotSee) {
  // Two cantilevers side by side, joined by nothing: the second one's modes
  // are out of reach of a start that is zero on its unknowns.
  VELK model = empty_model(base_units);
  model.nodal_supports = {support_of(1, "FFFFFF")};
  const int parts = 10;
  add_line(model, base_units, 1, 1, {0, 0, 0}, {1, 0, 0}, beam_length, parts, {1, {}, {}});
  add_line(model, base_units, parts + 2, parts + 1, {0, 3, 0}, {1, 0, 0}, 0.8 * beam_length, parts,
           {1, {}, {}});
  const Eigen::Index unknowns = 2 * 6 * (parts + 1);
  Eigen::VectorXd blind = Eigen::VectorXd::Zero(unknowns);
  blind.head(6 * (parts + 1)).setOnes();
  ModalOptions options;
  options.modes = 4;
  options.solver.dense_limit = 0;
  options.solver.first_start = &blind;
  options.solver.attempts = 1;
  options.solver.dense_fallback_limit = 0;
  const auto missed = modal_analysis(model, options);
  ASSERT_FALSE(missed);
  EXPECT_EQ(
      missed.error(),
      "The eigensolver did not converge: 4 eigenvalues were asked for and no attempt found them all with "
      "none missed below.");
  // The next start finds them: the dense answer.
  options.solver.attempts = 4;
  const auto found = modal_analysis(model, options);
  ASSERT_TRUE(found) << found.error();
  EXPECT_GE(found->solver_attempts, 2);
  options.solver.dense_limit = 100000;
  const auto dense = modal_analysis(model, options);
  ASSERT_TRUE(dense) << dense.error();
  ASSERT_EQ(found->modes.size(), dense->modes.size());
  for (std::size_t i = 0; i < dense->modes.size(); ++i)
    EXPECT_LT(relative_difference(found->modes[i].omega, dense->modes[i].omega), 1e-8) << i;
}

}  // namespace
}  // namespace velk
