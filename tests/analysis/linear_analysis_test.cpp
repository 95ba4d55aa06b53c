// Whole models through the driver against closed-form results, each also
// checked for global equilibrium.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "support/frame_builder.hpp"

namespace velk {
namespace {

using test_support::braced_bay;
using test_support::expect_equilibrium;
using test_support::FrameBuilder;
using test_support::steel_e;
using test_support::steel_g;

constexpr double area = 0.01, i_y = 2e-5, i_z = 3e-5, torsion_j = 1e-5;

ConditionType F = ConditionType::Fixed;
ConditionType Free = ConditionType::Free;

const Results& load_case(const VELK& analysed, const std::string& name) {
  return analysed.results->loadcases.at(name);
}

void expect_relative(double actual, double expected, double relative, const std::string& what) {
  EXPECT_NEAR(actual, expected, relative * std::abs(expected)) << what;
}

// A cantilever along X of length 2 m, fixed at node 1.
FrameBuilder cantilever() {
  FrameBuilder b;
  const auto s = b.section(area, i_y, i_z, torsion_j);
  b.support(1, F, "XYZ", F, "XYZ");
  b.node(1, 0, 0, 0, 1);
  b.node(2, 2, 0, 0);
  b.member(1, 1, 2, s);
  return b;
}

TEST(LinearAnalysis, CantileverTipForcesAndMomentsInBothPlanes) {
  FrameBuilder b = cantilever();
  const double l = 2.0;
  FrameBuilder::force(b.load_case(1, "Py"), 2, 1000.0, {0, -1, 0});
  FrameBuilder::force(b.load_case(2, "Pz"), 2, 500.0, {0, 0, -1});
  FrameBuilder::moment(b.load_case(3, "Mz"), 2, 300.0, {0, 0, 1});
  FrameBuilder::moment(b.load_case(4, "My"), 2, 400.0, {0, 1, 0});
  FrameBuilder::moment(b.load_case(5, "T"), 2, 250.0, {1, 0, 0});
  const VELK out = b.analyse();
  expect_equilibrium(out);

  const auto tip = [&](const char* name) { return load_case(out, name).displacement_nodes.at(2); };
  const auto base = [&](const char* name) { return load_case(out, name).reaction_nodes.at(1).nodal_forces; };
  constexpr double r = 1e-9;
  // Bending in the local x-y plane uses i_z, in the x-z plane i_y.
  expect_relative(tip("Py").dy, -1000.0 * l * l * l / (3 * steel_e * i_z), r, "PL^3/3EIz");
  expect_relative(tip("Py").rz, -1000.0 * l * l / (2 * steel_e * i_z), r, "PL^2/2EIz");
  expect_relative(base("Py").fy, 1000.0, r, "base shear");
  expect_relative(base("Py").mz, 2000.0, r, "base moment P L");
  expect_relative(tip("Pz").dz, -500.0 * l * l * l / (3 * steel_e * i_y), r, "PL^3/3EIy");
  expect_relative(tip("Pz").ry, 500.0 * l * l / (2 * steel_e * i_y), r, "PL^2/2EIy");
  expect_relative(base("Pz").my, -1000.0, r, "base moment about Y");
  expect_relative(tip("Mz").rz, 300.0 * l / (steel_e * i_z), r, "ML/EIz");
  expect_relative(tip("Mz").dy, 300.0 * l * l / (2 * steel_e * i_z), r, "ML^2/2EIz");
  expect_relative(base("Mz").mz, -300.0, r, "base moment against the applied one");
  expect_relative(tip("My").dz, -400.0 * l * l / (2 * steel_e * i_y), r, "ML^2/2EIy");
  expect_relative(tip("T").rx, 250.0 * l / (steel_g * torsion_j), r, "TL/GJ");
  expect_relative(base("T").mx, -250.0, r, "base torque");

  // End forces are what the nodes exert on the member.
  const MemberResult& m = load_case(out, "Py").member_results.at(1);
  expect_relative(m.start_node_forces.fy, 1000.0, r, "start shear");
  expect_relative(m.end_node_forces.fy, -1000.0, r, "end shear");
  expect_relative(m.start_node_forces.mz, 2000.0, r, "start moment");
  EXPECT_NEAR(m.end_node_forces.mz, 0.0, 1e-9);
  EXPECT_EQ(m.maximums.fy, m.start_node_forces.fy);
  EXPECT_EQ(m.minimums.fy, m.end_node_forces.fy);
}

// Fixed-end beam of span 6 m on two members with the mid node at 3 m.
FrameBuilder fixed_fixed_beam() {
  FrameBuilder b;
  const auto s = b.section(area, i_y, i_z, torsion_j);
  b.support(1, F, "XYZ", F, "XYZ");
  b.node(1, 0, 0, 0, 1);
  b.node(2, 3, 0, 0);
  b.node(3, 6, 0, 0, 1);
  b.member(1, 1, 2, s);
  b.member(2, 2, 3, s);
  return b;
}

// Integrates f over [a, b] by Simpson's rule.
template <class Function>
double integrate(Function f, double a, double b, int intervals = 2000) {
  const double h = (b - a) / intervals;
  double sum = f(a) + f(b);
  for (int i = 1; i < intervals; ++i) sum += f(a + i * h) * (i % 2 == 1 ? 4.0 : 2.0);
  return sum * h / 3.0;
}

TEST(LinearAnalysis, FixedEndBeamUnderUniformAndPartialTrapezoidalLoads) {
  FrameBuilder b = fixed_fixed_beam();
  const double q = 10e3, l = 6.0;
  LoadCase& uniform = b.load_case(1, "uniform");
  FrameBuilder::line_load(uniform, 1, q, q, {0, -1, 0});
  FrameBuilder::line_load(uniform, 2, q, q, {0, -1, 0});
  // 4 kN/m rising to 9 kN/m from 3.6 m to 5.7 m (fractions 0.2 to 0.9 of member 2).
  FrameBuilder::line_load(b.load_case(2, "partial"), 2, 4e3, 9e3, {0, -1, 0}, 0.2, 0.9);
  const VELK out = b.analyse();
  expect_equilibrium(out);

  const Results& u = load_case(out, "uniform");
  constexpr double r = 1e-9;
  expect_relative(u.reaction_nodes.at(1).nodal_forces.fy, q * l / 2, r, "qL/2");
  expect_relative(u.reaction_nodes.at(1).nodal_forces.mz, q * l * l / 12, r, "qL^2/12 at the left");
  expect_relative(u.reaction_nodes.at(3).nodal_forces.mz, -q * l * l / 12, r, "qL^2/12 at the right");
  expect_relative(u.displacement_nodes.at(2).dy, -q * l * l * l * l / (384 * steel_e * i_z), r, "qL^4/384EI");
  EXPECT_NEAR(u.displacement_nodes.at(2).rz, 0.0, 1e-15);

  // The partial load against the integrals of the fixed-end beam's influence lines.
  const auto w = [](double x) { return x < 3.6 || x > 5.7 ? 0.0 : 4e3 + (9e3 - 4e3) * (x - 3.6) / 2.1; };
  const double m_left = integrate([&](double x) { return w(x) * x * (l - x) * (l - x) / (l * l); }, 3.6, 5.7);
  const double m_right = integrate([&](double x) { return w(x) * x * x * (l - x) / (l * l); }, 3.6, 5.7);
  const double r_left =
      integrate([&](double x) { return w(x) * (l - x) * (l - x) * (l + 2 * x) / (l * l * l); }, 3.6, 5.7);
  // Deflection at mid-span of a point load at x > l/2: P b^2 m^2 (3 x l - (3 x + b) m) / (6 EI l^3), m = l/2.
  const double mid = l / 2;
  const double deflection = integrate(
      [&](double x) {
        const double b_ = l - x;
        return w(x) * b_ * b_ * mid * mid * (3 * x * l - (3 * x + b_) * mid) /
               (6 * steel_e * i_z * l * l * l);
      },
      3.6, 5.7);
  const Results& p = load_case(out, "partial");
  constexpr double quadrature = 1e-7;
  expect_relative(p.reaction_nodes.at(1).nodal_forces.mz, m_left, quadrature, "fixed-end moment left");
  expect_relative(p.reaction_nodes.at(3).nodal_forces.mz, -m_right, quadrature, "fixed-end moment right");
  expect_relative(p.reaction_nodes.at(1).nodal_forces.fy, r_left, quadrature, "left reaction");
  expect_relative(p.displacement_nodes.at(2).dy, -deflection, quadrature, "mid-span deflection");
}

TEST(LinearAnalysis, ProppedCantileverUnderUniformLoad) {
  FrameBuilder b;
  const auto s = b.section(area, i_y, i_z, torsion_j);
  b.support(1, F, "XYZ", F, "XYZ");
  NodalSupport& roller = b.support(2, Free, "XZ", Free, "XYZ");
  roller.displacement_conditions["Y"] = {F, {}};
  b.node(1, 0, 0, 0, 1);
  b.node(2, 5, 0, 0, 2);
  b.member(1, 1, 2, s);
  const double q = 8e3, l = 5.0;
  FrameBuilder::line_load(b.load_case(1, "q"), 1, q, q, {0, -1, 0});
  const VELK out = b.analyse();
  expect_equilibrium(out);
  const Results& res = load_case(out, "q");
  expect_relative(res.reaction_nodes.at(1).nodal_forces.fy, 5 * q * l / 8, 1e-9, "5qL/8");
  expect_relative(res.reaction_nodes.at(2).nodal_forces.fy, 3 * q * l / 8, 1e-9, "3qL/8");
  expect_relative(res.reaction_nodes.at(1).nodal_forces.mz, q * l * l / 8, 1e-9, "qL^2/8");
  EXPECT_EQ(res.reaction_nodes.at(2).nodal_forces.mz, 0.0);  // a Free axis reports nothing
}

TEST(LinearAnalysis, TwoBayPortalWithStiffBeamsSharesTheSwayLoad) {
  FrameBuilder b;
  const auto column = b.section(area, i_y, i_z, torsion_j);
  const auto beam = b.section(1.0, 10.0, 10.0, 10.0);  // a million times the columns' bending stiffness
  b.support(1, F, "XYZ", F, "XYZ");
  const double h = 4.0, load = 30e3;
  for (std::uint32_t i = 0; i < 3; ++i) {
    b.node(1 + i, 5.0 * i, 0, 0, 1);
    b.node(4 + i, 5.0 * i, h, 0);
    b.member(1 + i, 1 + i, 4 + i, column);
  }
  b.member(4, 4, 5, beam);
  b.member(5, 5, 6, beam);
  FrameBuilder::force(b.load_case(1, "sway"), 4, load, {1, 0, 0});
  const VELK out = b.analyse();
  expect_equilibrium(out, 1e-8);  // the stiff beams make the system ill-conditioned
  const Results& res = load_case(out, "sway");
  for (std::uint32_t base = 1; base <= 3; ++base) {
    // Equal shears and moments, up to the columns' own axial shortening.
    const NodeForces& f = res.reaction_nodes.at(base).nodal_forces;
    expect_relative(f.fx, -load / 3, 1e-3, "equal column shears");
    expect_relative(f.mz, load / 3 * h / 2, 1e-3, "fixed-fixed column moments");
  }
  // The storey sways as one.
  EXPECT_NEAR(res.displacement_nodes.at(4).dx, res.displacement_nodes.at(6).dx,
              1e-4 * res.displacement_nodes.at(4).dx);
}

TEST(LinearAnalysis, PinJointedTrussByTheMethodOfJoints) {
  FrameBuilder b;
  const auto s = b.section(area, i_y, i_z, torsion_j);
  b.support(1, F, "XYZ", Free, "");  // pinned: rotations unmentioned, but trusses hold none
  NodalSupport& roller = b.support(2, Free, "X", Free, "XYZ");
  roller.displacement_conditions["Y"] = {F, {}};
  roller.displacement_conditions["Z"] = {F, {}};
  NodalSupport& in_plane = b.support(3, Free, "XY", Free, "XYZ");
  in_plane.displacement_conditions["Z"] = {F, {}};
  b.node(1, 0, 0, 0, 1);
  b.node(2, 4, 0, 0, 2);
  b.node(3, 2, 3, 0, 3);
  b.member(1, 1, 3, s, MemberType::Truss);
  b.member(2, 2, 3, s, MemberType::Truss);
  b.member(3, 1, 2, s, MemberType::Truss);
  const double p = 12e3;
  FrameBuilder::force(b.load_case(1, "apex"), 3, p, {0, -1, 0});
  const VELK out = b.analyse();
  expect_equilibrium(out);
  const Results& res = load_case(out, "apex");
  const double sin_theta = 3 / std::sqrt(13.0), cos_theta = 2 / std::sqrt(13.0);
  const double diagonal = -p / (2 * sin_theta);  // compression
  const double tie = -diagonal * cos_theta;      // tension
  // A truss member's end force at its start is -N e.
  const MemberResult& left = res.member_results.at(1);
  expect_relative(-(left.start_node_forces.fx * cos_theta + left.start_node_forces.fy * sin_theta), diagonal,
                  1e-9, "diagonal force");
  expect_relative(-res.member_results.at(3).start_node_forces.fx, tie, 1e-9, "tie force");
  EXPECT_EQ(left.maximums.mz, 0.0);
  expect_relative(res.reaction_nodes.at(1).nodal_forces.fy, p / 2, 1e-9, "left reaction");
  expect_relative(res.reaction_nodes.at(2).nodal_forces.fy, p / 2, 1e-9, "right reaction");
  EXPECT_NEAR(res.reaction_nodes.at(1).nodal_forces.fx, 0.0, 1e-6);
}

TEST(LinearAnalysis, SpringSupportTakesItsShareAndReportsMinusKu) {
  FrameBuilder b = cantilever();
  const double k = 1e6, l = 2.0, p = 1000.0;
  NodalSupport& spring = b.support(2, Free, "XZ", Free, "XYZ");
  spring.displacement_conditions["Y"] = {ConditionType::Spring, k};
  b.nodes[2].nodal_support = 2;
  b.model.member_sets[0].members[0].end_node.nodal_support = 2;
  FrameBuilder::force(b.load_case(1, "tip"), 2, p, {0, -1, 0});
  const VELK out = b.analyse();
  expect_equilibrium(out);
  const Results& res = load_case(out, "tip");
  const double beam = 3 * steel_e * i_z / (l * l * l);
  const double tip = -p / (k + beam);
  expect_relative(res.displacement_nodes.at(2).dy, tip, 1e-9, "P / (k + 3EI/L^3)");
  expect_relative(res.reaction_nodes.at(2).nodal_forces.fy, -k * tip, 1e-9, "spring pushes back");
  expect_relative(res.reaction_nodes.at(1).nodal_forces.fy, p + k * tip, 1e-9, "the rest at the base");
}

TEST(LinearAnalysis, RigidLinkCarriesAnEccentricLoadToTheBeamAndSupport) {
  for (const RigidStrategy strategy : {RigidStrategy::LinearMpc, RigidStrategy::RigidMember}) {
    FrameBuilder b = cantilever();
    b.model.settings.analysis_options.rigid_strategy = strategy;
    b.node(3, 2, 0, 1);
    b.member(2, 2, 3, 0, MemberType::Rigid);
    const double p = 5e3, l = 2.0;
    FrameBuilder::force(b.load_case(1, "eccentric"), 3, p, {0, -1, 0});
    const VELK out = b.analyse();
    expect_equilibrium(out);
    const Results& res = load_case(out, "eccentric");
    const double relative = strategy == RigidStrategy::LinearMpc ? 1e-9 : 1e-5;
    // The load acts on the beam tip with the torque r x F = (P, 0, 0).
    const double expected = -p * l * l * l / (3 * steel_e * i_z) - p * l / (steel_g * torsion_j);
    expect_relative(res.displacement_nodes.at(3).dy, expected, relative, "bending plus twist");
    const NodeForces& base = res.reaction_nodes.at(1).nodal_forces;
    expect_relative(base.fy, p, relative, "shear");
    expect_relative(base.mx, -p, relative, "torque");
    expect_relative(base.mz, 2 * p, relative, "bending moment");
    EXPECT_FALSE(res.member_results.contains(2));  // rigid members report nothing
  }
}

TEST(LinearAnalysis, RigidMemberEndingAtTheSupportDeliversItsLoadThere) {
  // The rigid member runs from a free load point to the supported node: the
  // support still reports the load, with its moment.
  for (const RigidStrategy strategy : {RigidStrategy::LinearMpc, RigidStrategy::RigidMember}) {
    FrameBuilder b;
    const auto s = b.section(area, i_y, i_z, torsion_j);
    b.model.settings.analysis_options.rigid_strategy = strategy;
    b.support(1, F, "XYZ", F, "XYZ");
    b.node(1, 0, 0, 0, 1);
    b.node(2, 0, 3, 0);
    b.node(3, 1, 0, 0);
    b.member(1, 1, 2, s);
    b.member(2, 3, 1, 0, MemberType::Rigid);
    const double p = 2e3;
    FrameBuilder::force(b.load_case(1, "point"), 3, p, {0, 0, -1});
    const VELK out = b.analyse();
    expect_equilibrium(out, 1e-7);
    const NodeForces& base = load_case(out, "point").reaction_nodes.at(1).nodal_forces;
    expect_relative(base.fz, p, 1e-7, "vertical reaction");
    expect_relative(base.my, -p, 1e-7, "moment of the offset load");
  }
}

TEST(LinearAnalysis, TensionOnlyBracingCarriesTheWholeStoreyShear) {
  FrameBuilder b = braced_bay();
  const double h = 10e3;
  FrameBuilder::force(b.load_case(1, "sway"), 3, h, {1, 0, 0});
  const VELK out = b.analyse();
  const Results& res = load_case(out, "sway");
  // The working diagonal: N = H / cos(theta) = H / 0.8, start force -N e.
  const MemberResult& tie = res.member_results.at(4);
  expect_relative(-(tie.start_node_forces.fx * 0.8 + tie.start_node_forces.fy * 0.6), h / 0.8, 1e-6,
                  "tie force");
  const MemberResult& slack = res.member_results.at(5);
  for (const double v : {slack.start_node_forces.fx, slack.start_node_forces.fy, slack.end_node_forces.fx,
                         slack.maximums.fx, slack.minimums.fy}) {
    EXPECT_EQ(v, 0.0);
  }
  double shear = 0.0;
  for (const auto& [node, reaction] : res.reaction_nodes) shear += reaction.nodal_forces.fx;
  expect_relative(shear, -h, 1e-6, "storey shear");
}

TEST(LinearAnalysis, CombinationIsTheFactoredSumOfItsCases) {
  FrameBuilder b = fixed_fixed_beam();
  FrameBuilder::line_load(b.load_case(1, "dead"), 1, 5e3, 5e3, {0, -1, 0});
  LoadCase& wind = b.load_case(2, "wind");
  FrameBuilder::force(wind, 2, 2e3, {0, 0, 1});
  FrameBuilder::moment(wind, 2, 700.0, {1, 0, 0});
  b.model.load_combinations.push_back(LoadCombination{7, "ULS", {{1, 1.35}, {2, 1.5}}, {}, "ULS", {}});
  const VELK out = b.analyse();
  expect_equilibrium(out);
  const Results& combination = out.results->loadcombinations.at("ULS");
  const auto& dead = load_case(out, "dead").displacement_nodes;
  const auto& w = load_case(out, "wind").displacement_nodes;
  for (const auto& [node, d] : combination.displacement_nodes) {
    const double expected[] = {1.35 * dead.at(node).dy + 1.5 * w.at(node).dy,
                               1.35 * dead.at(node).dz + 1.5 * w.at(node).dz,
                               1.35 * dead.at(node).rx + 1.5 * w.at(node).rx};
    EXPECT_NEAR(d.dy, expected[0], 1e-12 + 1e-9 * std::abs(expected[0]));
    EXPECT_NEAR(d.dz, expected[1], 1e-12 + 1e-9 * std::abs(expected[1]));
    EXPECT_NEAR(d.rx, expected[2], 1e-12 + 1e-9 * std::abs(expected[2]));
  }
  expect_relative(combination.reaction_nodes.at(1).nodal_forces.mz,
                  1.35 * load_case(out, "dead").reaction_nodes.at(1).nodal_forces.mz +
                      1.5 * load_case(out, "wind").reaction_nodes.at(1).nodal_forces.mz,
                  1e-9, "combined base moment");
}

TEST(LinearAnalysis, MillimetreKilonewtonDocumentGivesTheSamePhysics) {
  // The propped cantilever with an end moment, once in m/N/Pa and once in mm/kN/MPa.
  const auto build = [](double length, double force, double pressure) {
    FrameBuilder b;
    b.model.materials[0].e_mod = steel_e / pressure;
    b.model.materials[0].g_mod = steel_g / pressure;
    const double l2 = length * length;
    const auto s = b.section(area / l2, i_y / (l2 * l2), i_z / (l2 * l2), torsion_j / (l2 * l2));
    b.support(1, F, "XYZ", F, "XYZ");
    b.node(1, 0, 0, 0, 1);
    b.node(2, 3.0 / length, 0, 0);
    b.node(3, 3.0 / length, 2.0 / length, 0);
    b.member(1, 1, 2, s);
    b.member(2, 2, 3, s);
    LoadCase& c = b.load_case(1, "mixed");
    FrameBuilder::force(c, 3, 4e3 / force, {1, 0, 0});
    FrameBuilder::moment(c, 2, 900.0 / (force * length), {0, 1, 0});
    FrameBuilder::line_load(c, 1, 2e3 / force * length, 3e3 / force * length, {0, -1, 0}, 0.25, 0.75);
    return b;
  };
  FrameBuilder si = build(1.0, 1.0, 1.0);
  FrameBuilder mm = build(0.001, 1000.0, 1e6);
  mm.model.settings.unit_settings.length_unit = LengthUnit::Mm;
  mm.model.settings.unit_settings.force_unit = ForceUnit::KN;
  mm.model.settings.unit_settings.pressure_unit = PressureUnit::MPa;
  const VELK a = si.analyse();
  const VELK b = mm.analyse();
  expect_equilibrium(a);
  expect_equilibrium(b);
  const Results& ra = load_case(a, "mixed");
  const Results& rb = load_case(b, "mixed");
  for (const auto& [node, d] : ra.displacement_nodes) {
    const NodeDisplacement& e = rb.displacement_nodes.at(node);
    EXPECT_NEAR(e.dx * 0.001, d.dx, 1e-9 * std::abs(d.dx) + 1e-15);
    EXPECT_NEAR(e.dy * 0.001, d.dy, 1e-9 * std::abs(d.dy) + 1e-15);
    EXPECT_NEAR(e.ry, d.ry, 1e-9 * std::abs(d.ry) + 1e-15);
  }
  const NodeForces& fa = ra.reaction_nodes.at(1).nodal_forces;
  const NodeForces& fb = rb.reaction_nodes.at(1).nodal_forces;
  expect_relative(fb.fx * 1000.0, fa.fx, 1e-9, "kN");
  expect_relative(fb.fy * 1000.0, fa.fy, 1e-9, "kN");
  expect_relative(fb.mz * 1000.0 * 0.001, fa.mz, 1e-9, "kN mm");
  expect_relative(fb.my * 1000.0 * 0.001, fa.my, 1e-9, "kN mm");
}

}  // namespace
}  // namespace velk
