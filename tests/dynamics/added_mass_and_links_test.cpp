// Masses taken from a load case, rigid links under both strategies, end
// releases, support springs and one-way members in a modal analysis; and
// the messages of models that cannot be analysed.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "dynamics/modal_analysis.hpp"
#include "modal_test_models.hpp"

namespace velk {
namespace {

using namespace test_support;

constexpr double tip_mass = 500.0;  // kg

ModalOptions with_case(const char* name, int modes = 6, MassKind mass = MassKind::Consistent) {
  ModalOptions options;
  options.modes = modes;
  options.mass = mass;
  options.mass_case = name;
  return options;
}

LoadCase& add_case(VELK& model, std::uint32_t id, const char* name) {
  model.load_cases.push_back(LoadCase{id, name, {}, {}, {}, {}, {}});
  return model.load_cases.back();
}

void weight(LoadCase& c, std::uint32_t node, double mass, Vec3 direction = {0.0, 0.0, -1.0}) {
  c.nodal_loads.push_back(NodalLoad{static_cast<std::uint32_t>(c.nodal_loads.size() + 1), node, c.id,
                                    mass * standard_gravity, direction, "point"});
}

// A massless cantilever along X of `parts` members, fixed at node 1.
VELK massless_cantilever(int parts, const DocumentUnits& units = base_units) {
  VELK model = empty_model(units, 0.0);
  model.nodal_supports = {support_of(1, "FFFFFF")};
  add_line(model, units, 1, 1, {0, 0, 0}, {1, 0, 0}, beam_length, parts, {1, {}, {}});
  return model;
}

class TipMass : public ::testing::TestWithParam<const DocumentUnits*> {};

TEST_P(TipMass, OnAMasslessCantileverGivesThreeEIOverMLCubed) {
  const DocumentUnits& units = *GetParam();
  VELK model = massless_cantilever(3, units);
  // The load in the document's force unit.
  LoadCase& tip = add_case(model, 1, "Tip");
  weight(tip, 4, tip_mass / (units.force == ForceUnit::KN ? 1000.0 : 1.0));
  for (const MassKind kind : {MassKind::Consistent, MassKind::Lumped}) {
    const auto modes = modal_analysis_of_document(model, with_case("Tip", 6, kind));
    ASSERT_TRUE(modes) << modes.error();
    // Only the tip's three translations carry mass: three modes.
    ASSERT_EQ(modes->modes.size(), 3u);
    const double l3 = std::pow(beam_length, 3);
    EXPECT_LT(
        relative_difference(modes->modes[0].omega, std::sqrt(3 * beam_e * beam_i_weak / (tip_mass * l3))),
        1e-9);
    EXPECT_LT(
        relative_difference(modes->modes[1].omega, std::sqrt(3 * beam_e * beam_i_strong / (tip_mass * l3))),
        1e-9);
    EXPECT_LT(
        relative_difference(modes->modes[2].omega, std::sqrt(beam_e * beam_area / (tip_mass * beam_length))),
        1e-9);
    for (int d = 0; d < 3; ++d) EXPECT_NEAR(modes->total_mass[d], tip_mass, 1e-9 * tip_mass);
    // Each mode moves the tip mass alone along one axis: all of it.
    EXPECT_NEAR(modes->modes[2].effective_mass[0], tip_mass, 1e-9 * tip_mass);
    EXPECT_NEAR(modes->modes[2].participation[0], 1.0, 1e-9);
    EXPECT_NEAR(modes->modes[2].shape[6 * 3 + 0], 1.0, 1e-12);
  }
}

INSTANTIATE_TEST_SUITE_P(Units, TipMass, ::testing::Values(&base_units, &m_kn, &mm_n),
                         [](const auto& info) { return std::string(info.param->name); });

// A simply supported beam along X whose mass is either its density or a
// line load of the same mass per length in a load case.
VELK simple_beam(double density, int parts = 8) {
  VELK model = empty_model(base_units, density);
  model.nodal_supports = {support_of(1, "FFFF.."), support_of(2, "FFF...")};
  add_line(model, base_units, 1, 1, {0, 0, 0}, {1, 0, 0}, beam_length, parts, {1, {}, 2});
  return model;
}

TEST(AddedMasses, ALineLoadWeighsAsMuchAsTheDensityItStandsFor) {
  const int parts = 8;
  VELK loaded = simple_beam(0.0, parts);
  const double mu = beam_density * beam_area;  // kg/m
  LoadCase& dead = add_case(loaded, 1, "Dead");
  for (std::uint32_t m = 1; m <= parts; ++m) {
    // |direction| = 2: the mass is the force per length, direction included.
    dead.distributed_loads.push_back(DistributedLoad{
        m, 1, -0.5 * mu * standard_gravity, {0.0, 2.0, 0.0}, 0.0, 1.0, -0.5 * mu * standard_gravity});
  }
  const VELK dense = simple_beam(beam_density, parts);
  for (const MassKind kind : {MassKind::Consistent, MassKind::Lumped}) {
    ModalOptions plain;
    plain.mass = kind;
    const auto expected = modal_analysis(dense, plain);
    const auto found = modal_analysis(loaded, with_case("Dead", 6, kind));
    ASSERT_TRUE(expected) << expected.error();
    ASSERT_TRUE(found) << found.error();
    ASSERT_EQ(found->modes.size(), expected->modes.size());
    // The load carries no polar inertia: compare the bending modes only.
    for (std::size_t i = 0; i < 3; ++i)
      EXPECT_LT(relative_difference(found->modes[i].omega, expected->modes[i].omega), 1e-10) << i;
    for (int d = 0; d < 3; ++d)
      EXPECT_LT(relative_difference(found->total_mass[d], expected->total_mass[d]), 1e-12);
  }
}

TEST(AddedMasses, APartialLoadThatChangesSignWeighsItsMagnitude) {
  // On a free-floating beam held by springs alone nothing is held by a
  // support, so the total mass is all of |q| / g: from -1000 N/m at 0.2 to
  // 3000 N/m at 0.8 of 10 m, 10 (0.15 * 1000 + 0.45 * 3000) / 2 = 7500 N.
  VELK model = empty_model(base_units, 0.0);
  NodalSupport springs = support_of(1, "......");
  for (auto* conditions : {&springs.displacement_conditions, &springs.rotation_conditions}) {
    for (auto& [axis, condition] : *conditions) condition = {ConditionType::Spring, 1e6};
  }
  model.nodal_supports = {springs};
  add_line(model, base_units, 1, 1, {0, 0, 0}, {0, 0.6, 0.8}, beam_length, 1, {1, {}, 1});
  LoadCase& c = add_case(model, 3, "Partial");
  c.distributed_loads.push_back(DistributedLoad{1, 3, -1000.0, {1.0, 0.0, 0.0}, 0.2, 0.8, 3000.0});
  for (const MassKind kind : {MassKind::Consistent, MassKind::Lumped}) {
    const auto modes = modal_analysis(model, with_case("Partial", max_mode_count, kind));
    ASSERT_TRUE(modes) << modes.error();
    for (int d = 0; d < 3; ++d) EXPECT_NEAR(modes->total_mass[d], 7500.0 / standard_gravity, 1e-9) << d;
  }
}

TEST(AddedMasses, OnlyTheStretchOfALoadOnItsMemberIsMass) {
  // From 0.5 to 3 of the member: 1000 N/m over the half on the member.
  const DistributedLoad load{1, 1, 1000.0, {0.0, 0.0, -1.0}, 0.5, 3.0, 1000.0};
  const std::vector<LineMass> pieces = line_masses_of(load);
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_DOUBLE_EQ(pieces[0].a, 0.5);
  EXPECT_DOUBLE_EQ(pieces[0].b, 1.0);
  const Matrix12 lumped = lumped_line_mass(4.0, pieces);
  // 2000 N / g, a quarter at the start and three quarters at the end.
  EXPECT_NEAR(lumped(0, 0), 0.25 * 2000.0 / standard_gravity, 1e-12);
  EXPECT_NEAR(lumped(6, 6), 0.75 * 2000.0 / standard_gravity, 1e-12);
  const Matrix12 consistent = consistent_line_mass(4.0, pieces, 0.0, true);
  EXPECT_NEAR(consistent(0, 0) + 2 * consistent(0, 6) + consistent(6, 6), 2000.0 / standard_gravity, 1e-12);
  EXPECT_GE(consistent.selfadjointView<Eigen::Lower>().eigenvalues().minCoeff(), -1e-12);
  // Wholly beyond the member: nothing.
  EXPECT_TRUE(line_masses_of(DistributedLoad{1, 1, 1000.0, {0.0, 0.0, -1.0}, 1.5, 3.0, 1000.0}).empty());
}

// A massless cantilever of length L along X whose tip carries a rigid arm of
// length e along X with the tip mass at its end:
// omega^2 = E I / (m (L^3 / 3 + e L^2 + e^2 L)).
class RigidArm : public ::testing::TestWithParam<RigidStrategy> {};

TEST_P(RigidArm, CarriesItsTipMassAsTheBeamTheory) {
  const double e = 2.5;
  VELK model = massless_cantilever(4);
  model.settings.analysis_options.rigid_strategy = GetParam();
  Member arm;
  arm.id = 5;
  arm.start_node = model.member_sets[0].members.back().end_node;
  arm.end_node = Node{6, beam_length + e, 0.0, 0.0, {}};
  arm.member_type = MemberType::Rigid;
  model.member_sets[0].members.push_back(arm);
  weight(add_case(model, 1, "Tip"), 6, tip_mass);
  const auto modes = modal_analysis(model, with_case("Tip"));
  ASSERT_TRUE(modes) << modes.error();
  const double l = beam_length;
  const double expected =
      std::sqrt(beam_e * beam_i_weak / (tip_mass * (l * l * l / 3.0 + e * l * l + e * e * l)));
  // A stiff member instead of the link leaves its own flexibility.
  const double tolerance = GetParam() == RigidStrategy::LinearMpc ? 1e-9 : 1e-4;
  EXPECT_LT(relative_difference(modes->modes[0].omega, expected), tolerance);
  for (int d = 0; d < 3; ++d) EXPECT_NEAR(modes->total_mass[d], tip_mass, 1e-9 * tip_mass);
}

INSTANTIATE_TEST_SUITE_P(Strategies, RigidArm,
                         ::testing::Values(RigidStrategy::LinearMpc, RigidStrategy::RigidMember),
                         [](const auto& info) {
                           return std::string(info.param == RigidStrategy::LinearMpc ? "linear_mpc"
                                                                                     : "rigid_member");
                         });

TEST(EndReleases, MomentReleasesAtFixedEndsGiveTheSimplySupportedBeam) {
  const int parts = 20;
  // Fixed ends with both bending moments released at the beam's two ends.
  VELK released = empty_model(base_units);
  released.nodal_supports = {support_of(1, "FFFFFF")};
  add_line(released, base_units, 1, 1, {0, 0, 0}, {1, 0, 0}, beam_length, parts, {1, {}, 1});
  MemberHinge pin;
  pin.id = 1;
  pin.rotational_release_my = 0.0;
  pin.rotational_release_mz = 0.0;
  released.memberhinges = std::vector<MemberHinge>{pin};
  released.member_sets[0].members.front().start_hinge = 1;
  released.member_sets[0].members.back().end_hinge = 1;
  // The same beam on pins.
  VELK pinned = empty_model(base_units);
  pinned.nodal_supports = {support_of(1, "FFFF.."), support_of(2, "FFF...")};
  add_line(pinned, base_units, 1, 1, {0, 0, 0}, {1, 0, 0}, beam_length, parts, {1, {}, 2});

  const double bending =
      std::sqrt(beam_e * beam_i_weak / (beam_density * beam_area)) / (beam_length * beam_length);
  for (const MassKind kind : {MassKind::Consistent, MassKind::Lumped}) {
    ModalOptions options;
    options.mass = kind;
    options.modes = 3;
    const auto r = modal_analysis(released, options);
    const auto p = modal_analysis(pinned, options);
    ASSERT_TRUE(r) << r.error();
    ASSERT_TRUE(p) << p.error();
    for (std::size_t n = 0; n < 3; ++n) {
      const double beta_l = (n + 1) * std::numbers::pi;
      EXPECT_LT(relative_difference(r->modes[n].omega, beta_l * beta_l * bending), 2e-3) << n;
      if (kind == MassKind::Lumped) {
        // Massless end rotations: condensing them is what the release does.
        EXPECT_LT(relative_difference(r->modes[n].omega, p->modes[n].omega), 1e-9) << n;
      } else {
        // The released end turns as the condensed stiffness says: a
        // constraint on the pinned beam's motion, never below it.
        EXPECT_GE(r->modes[n].omega, p->modes[n].omega * (1.0 - 1e-12)) << n;
        EXPECT_LT(relative_difference(r->modes[n].omega, p->modes[n].omega), 1e-4) << n;
      }
    }
  }
}

TEST(Springs, ASupportSpringStiffensTheBarItHolds) {
  // A massless bar along X, its far node on a spring along X and held
  // across: omega^2 = (E A / L + k) / m.
  const double k = 3e7;
  VELK model = empty_model(base_units, 0.0);
  NodalSupport spring = support_of(2, "FFFFFF");
  spring.displacement_conditions["X"] = {ConditionType::Spring, k};
  model.nodal_supports = {support_of(1, "FFFFFF"), spring};
  add_line(model, base_units, 1, 1, {0, 0, 0}, {1, 0, 0}, beam_length, 1, {1, {}, 2}, MemberType::Truss);
  weight(add_case(model, 1, "Tip"), 2, tip_mass);
  const auto modes = modal_analysis(model, with_case("Tip"));
  ASSERT_TRUE(modes) << modes.error();
  ASSERT_EQ(modes->modes.size(), 1u);
  EXPECT_LT(relative_difference(modes->modes[0].omega,
                                std::sqrt((beam_e * beam_area / beam_length + k) / tip_mass)),
            1e-12);
}

TEST(OneWayMembers, CountAsActiveTrussMembers) {
  // A portal braced by two diagonals: tension-only and compression-only
  // diagonals vibrate as the truss ones do.
  const auto bay = [](MemberType diagonal) {
    VELK model = empty_model(base_units);
    model.nodal_supports = {support_of(1, "FFFFFF")};
    add_line(model, base_units, 1, 1, {0, 0, 0}, {0, 0, 1}, 3.0, 1, {1, {}, {}});
    add_line(model, base_units, 3, 2, {4, 0, 0}, {0, 0, 1}, 3.0, 1, {1, {}, {}});
    add_line(model, base_units, 2, 3, {0, 0, 3}, {1, 0, 0}, 4.0, 1, {{}, {}, {}});
    auto& members = model.member_sets[0].members;
    members[2].end_node = members[1].end_node;  // the beam ends on the second column's top
    Member a = members[0], b = members[0];
    a.id = 4, a.start_node = members[0].start_node, a.end_node = members[1].end_node,
    a.member_type = diagonal;
    b.id = 5, b.start_node = members[1].start_node, b.end_node = members[0].end_node;
    b.member_type = diagonal == MemberType::Truss ? MemberType::Truss : MemberType::Compression;
    members.push_back(a);
    members.push_back(b);
    return model;
  };
  const auto truss = modal_analysis(bay(MemberType::Truss), ModalOptions{});
  const auto one_way = modal_analysis(bay(MemberType::Tension), ModalOptions{});
  ASSERT_TRUE(truss) << truss.error();
  ASSERT_TRUE(one_way) << one_way.error();
  ASSERT_EQ(one_way->modes.size(), truss->modes.size());
  for (std::size_t i = 0; i < truss->modes.size(); ++i)
    EXPECT_LT(relative_difference(one_way->modes[i].omega, truss->modes[i].omega), 1e-12) << i;
}

struct MessageCase {
  const char* name;
  void (*change)(VELK&, ModalOptions&);
  const char* message;
};

class Messages : public ::testing::TestWithParam<MessageCase> {};

TEST_P(Messages, NameWhatIsWrong) {
  VELK model = simple_beam(beam_density, 2);
  add_case(model, 1, "Dead");
  ModalOptions options;
  GetParam().change(model, options);
  const auto modes = modal_analysis_of_document(model, options);
  ASSERT_FALSE(modes);
  EXPECT_EQ(modes.error(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Models, Messages,
    ::testing::Values(
        MessageCase{
            "negative_density", [](VELK& m, ModalOptions&) { m.materials[0].density = -7850.0; },
            "Material 1 \"steel\" has a density of -7850 kg/m3: a density must be finite and not negative."},
        MessageCase{
            "nan_density", [](VELK& m, ModalOptions&) { m.materials[0].density = std::nan(""); },
            "Material 1 \"steel\" has a density of NaN kg/m3: a density must be finite and not negative."},
        MessageCase{
            "infinite_density", [](VELK& m, ModalOptions&) { m.materials[0].density = HUGE_VAL; },
            "Material 1 \"steel\" has a density of inf kg/m3: a density must be finite and not negative."},
        MessageCase{
            "no_mass", [](VELK& m, ModalOptions&) { m.materials[0].density = 0.0; },
            "The model has no mass: its materials have no density, no load case is taken as masses, or "
            "the supports hold all of it."},
        MessageCase{
            "empty_mass_case",
            [](VELK& m, ModalOptions& o) {
              m.materials[0].density = 0.0;
              o.mass_case = "Dead";
            },
            "The model has no mass: its materials have no density, no load case is taken as masses, or "
            "the supports hold all of it."},
        MessageCase{"unknown_mass_case", [](VELK&, ModalOptions& o) { o.mass_case = "Snow"; },
                    "The mass case \"Snow\" names no load case of the model."},
        MessageCase{"infinite_load_mass",
                    [](VELK& m, ModalOptions& o) {
                      o.mass_case = "Dead";
                      weight(m.load_cases[0], 2, HUGE_VAL);
                    },
                    "Load case \"Dead\": the load on node 2 gives a mass that is not finite."},
        MessageCase{
            "mechanism", [](VELK& m, ModalOptions&) { m.nodal_supports[0] = support_of(1, "FFF..."); },
            "Reduced stiffness matrix is singular or near-singular. Mechanism: node 1 turns about (1.000, "
            "0.000, 0.000) without resistance"},
        MessageCase{"node_gap", [](VELK& m, ModalOptions&) { m.member_sets[0].members[1].end_node.id = 7; },
                    "Node ID 3 is missing. Node IDs must be consecutive starting from 1."}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velk
