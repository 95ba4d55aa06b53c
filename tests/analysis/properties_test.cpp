// Properties every first-order analysis must have, checked over random
// stable frames of 1 to 100 members from fixed seeds: global equilibrium,
// indifference to a rigid motion of the whole model, to the units of the
// document and to the order of members and member sets, and superposition of
// load cases in combinations.

#include <gtest/gtest.h>

#include <Eigen/Geometry>
#include <cmath>
#include <string>

#include "support/frame_builder.hpp"
#include "support/random_frames.hpp"

namespace velk {
namespace {

using test_support::Draw;
using test_support::expect_equilibrium;
using test_support::random_frame;
using test_support::RandomFrameOptions;

// The instrumented build runs the same properties over fewer models.
#if defined(__SANITIZE_ADDRESS__)
constexpr int model_count_divisor = 6;
#else
constexpr int model_count_divisor = 1;
#endif

constexpr int models(int count) { return std::max(2, count / model_count_divisor); }

// Sizes spread over 1 to 100 members, most of them small, the largest always
// among them.
int members_of(int index, int count) {
  if (index == count - 1) return 100;
  Draw draw(0x5eed + static_cast<std::uint64_t>(index));
  const double u = draw.uniform(0.0, 1.0);
  return 1 + static_cast<int>(99.0 * u * u * u);
}

std::string context(std::uint64_t seed, const VELK& model) {
  std::size_t count = 0;
  for (const MemberSet& set : model.member_sets) count += set.members.size();
  return "seed " + std::to_string(seed) + ", " + std::to_string(count) + " members";
}

// Whether the model has rigid members built as very stiff beams, which bring
// the rounding of their own stiffness into every result.
bool has_stiff_rigid_members(const VELK& model) {
  if (model.settings.analysis_options.rigid_strategy != RigidStrategy::RigidMember) return false;
  for (const MemberSet& set : model.member_sets) {
    for (const Member& m : set.members) {
      if (m.member_type == MemberType::Rigid) return true;
    }
  }
  return false;
}

// How closely the reactions balance the loads. A switched-off tension or
// compression member keeps a trace of its stiffness in the solve but hands no
// force to the reactions (in a flexible frame that trace is felt).
double equilibrium_tolerance(const VELK& model) {
  double tolerance = has_stiff_rigid_members(model) ? 1e-5 : 1e-9;
  for (const MemberSet& set : model.member_sets) {
    for (const Member& m : set.members) {
      if (m.member_type == MemberType::Tension || m.member_type == MemberType::Compression)
        tolerance = std::max(tolerance, 1e-3);
    }
  }
  return tolerance;
}

VELK analysed(const VELK& model) {
  const auto written = calculate_from_json(write_velk(model));
  EXPECT_TRUE(written.has_value()) << (written ? "" : written.error());
  if (!written) return {};
  auto reread = read_velk(*written);
  EXPECT_TRUE(reread.has_value()) << reread.error();
  return reread ? std::move(*reread) : VELK{};
}

using Vector = Eigen::Vector3d;
Vector translation(const NodeDisplacement& d) { return {d.dx, d.dy, d.dz}; }
Vector rotation(const NodeDisplacement& d) { return {d.rx, d.ry, d.rz}; }
Vector force(const NodeForces& f) { return {f.fx, f.fy, f.fz}; }
Vector moment(const NodeForces& f) { return {f.mx, f.my, f.mz}; }
NodeDisplacement displacement(const Vector& t, const Vector& r) {
  return {t.x(), t.y(), t.z(), r.x(), r.y(), r.z()};
}
NodeForces forces(const Vector& f, const Vector& m) { return {f.x(), f.y(), f.z(), m.x(), m.y(), m.z()}; }

// The largest magnitude of each kind of value in a results record, to judge
// rounding against.
struct Scale {
  double translation = 0, rotation = 0, force = 0, moment = 0;
  void add_forces(const NodeForces& f) {
    this->force = std::max(this->force, velk::force(f).cwiseAbs().maxCoeff());
    this->moment = std::max(this->moment, velk::moment(f).cwiseAbs().maxCoeff());
  }
};

Scale scale_of(const Results& r) {
  Scale s;
  for (const auto& [id, d] : r.displacement_nodes) {
    s.translation = std::max(s.translation, translation(d).cwiseAbs().maxCoeff());
    s.rotation = std::max(s.rotation, rotation(d).cwiseAbs().maxCoeff());
  }
  for (const auto& [id, reaction] : r.reaction_nodes) s.add_forces(reaction.nodal_forces);
  for (const auto& [id, m] : r.member_results) {
    s.add_forces(m.start_node_forces);
    s.add_forces(m.end_node_forces);
  }
  return s;
}

void expect_near(const Vector& actual, const Vector& expected, double bound, const std::string& what) {
  EXPECT_LE((actual - expected).cwiseAbs().maxCoeff(), bound)
      << what << ": " << actual.transpose() << " against " << expected.transpose();
}

// Displacements, reactions and member end forces equal node by node and
// member by member, each kind to within `relative` of its largest value.
void expect_same_results(const Results& actual, const Results& expected, double relative,
                         const std::string& where) {
  const Scale s = scale_of(expected);
  const double t = relative * std::max(s.translation, 1e-12), r = relative * std::max(s.rotation, 1e-12);
  const double f = relative * std::max(s.force, 1e-6), m = relative * std::max(s.moment, 1e-6);
  ASSERT_EQ(actual.displacement_nodes.size(), expected.displacement_nodes.size()) << where;
  for (const auto& [id, d] : expected.displacement_nodes) {
    const auto it = actual.displacement_nodes.find(id);
    ASSERT_NE(it, actual.displacement_nodes.end()) << where << " node " << id;
    expect_near(translation(it->second), translation(d), t,
                where + " translation of node " + std::to_string(id));
    expect_near(rotation(it->second), rotation(d), r, where + " rotation of node " + std::to_string(id));
  }
  ASSERT_EQ(actual.reaction_nodes.size(), expected.reaction_nodes.size()) << where;
  for (const auto& [id, reaction] : expected.reaction_nodes) {
    const auto it = actual.reaction_nodes.find(id);
    ASSERT_NE(it, actual.reaction_nodes.end()) << where << " reaction " << id;
    EXPECT_EQ(it->second.support_id, reaction.support_id);
    expect_near(force(it->second.nodal_forces), force(reaction.nodal_forces), f,
                where + " reaction force at " + std::to_string(id));
    expect_near(moment(it->second.nodal_forces), moment(reaction.nodal_forces), m,
                where + " reaction moment at " + std::to_string(id));
  }
  ASSERT_EQ(actual.member_results.size(), expected.member_results.size()) << where;
  for (const auto& [id, member] : expected.member_results) {
    const auto it = actual.member_results.find(id);
    ASSERT_NE(it, actual.member_results.end()) << where << " member " << id;
    const std::string name = where + " member " + std::to_string(id);
    for (const auto& [a, e] : {std::pair{&it->second.start_node_forces, &member.start_node_forces},
                               std::pair{&it->second.end_node_forces, &member.end_node_forces}}) {
      expect_near(force(*a), force(*e), f, name + " end force");
      expect_near(moment(*a), moment(*e), m, name + " end moment");
    }
  }
}

// Every results record of one analysed model against the other's.
void expect_same_bundles(const VELK& actual, const VELK& expected, double relative,
                         const std::string& where) {
  ASSERT_TRUE(actual.results.has_value() && expected.results.has_value()) << where;
  for (const auto group : {&ResultsBundle::loadcases, &ResultsBundle::loadcombinations}) {
    const auto& expected_group = (*expected.results).*group;
    const auto& actual_group = (*actual.results).*group;
    ASSERT_EQ(actual_group.size(), expected_group.size()) << where;
    for (const auto& [name, results] : expected_group) {
      ASSERT_TRUE(actual_group.contains(name)) << where << " " << name;
      expect_same_results(actual_group.at(name), results, relative, where + " " + name);
    }
  }
}

TEST(Properties, EveryCaseAndCombinationIsInEquilibrium) {
  const int count = models(200);
  for (int i = 0; i < count; ++i) {
    const std::uint64_t seed = 1000 + static_cast<std::uint64_t>(i);
    const VELK model = random_frame(seed, {.members = members_of(i, count), .one_sided = i % 3 == 0});
    SCOPED_TRACE(context(seed, model));
    const VELK result = analysed(model);
    ASSERT_TRUE(result.results.has_value());
    EXPECT_EQ(result.results->loadcases.size(), 3u);
    EXPECT_EQ(result.results->loadcombinations.size(), 2u);
    expect_equilibrium(result, equilibrium_tolerance(model));
  }
}

// Rotates and shifts a whole model: node positions, load and moment
// directions. Supports, sections and hinges are alike on every axis.
VELK moved(VELK model, const Eigen::Matrix3d& rotation, const Vector& shift) {
  const auto place = [&](Node& n) {
    const Vector p = rotation * Vector(n.x, n.y, n.z) + shift;
    n.x = p.x(), n.y = p.y(), n.z = p.z();
  };
  const auto turn = [&](Vec3& d) {
    const Vector v = rotation * Vector(d[0], d[1], d[2]);
    d = {v.x(), v.y(), v.z()};
  };
  for (MemberSet& set : model.member_sets) {
    for (Member& m : set.members) {
      place(m.start_node);
      place(m.end_node);
    }
  }
  for (LoadCase& c : model.load_cases) {
    for (NodalLoad& l : c.nodal_loads) turn(l.direction);
    for (NodalMoment& l : c.nodal_moments) turn(l.direction);
    for (DistributedLoad& l : c.distributed_loads) turn(l.direction);
  }
  return model;
}

// Results turned with the model; member end forces are in global axes too.
Results rotated(Results r, const Eigen::Matrix3d& rotation) {
  const auto turn = [&](NodeForces& f) { f = forces(rotation * force(f), rotation * moment(f)); };
  for (auto& [id, d] : r.displacement_nodes)
    d = displacement(rotation * translation(d), rotation * velk::rotation(d));
  for (auto& [id, reaction] : r.reaction_nodes) turn(reaction.nodal_forces);
  for (auto& [id, m] : r.member_results) {
    turn(m.start_node_forces);
    turn(m.end_node_forces);
  }
  return r;
}

TEST(Properties, RigidMotionOfTheModelMovesItsResultsAlong) {
  const int count = models(60);
  for (int i = 0; i < count; ++i) {
    const std::uint64_t seed = 2000 + static_cast<std::uint64_t>(i);
    VELK model = random_frame(seed, {.members = members_of(i, count), .one_sided = false, .isotropic = true});
    // A line load enters the member's end forces with its global components
    // in the member's own axes, which a rotation does not carry along.
    for (LoadCase& c : model.load_cases) c.distributed_loads.clear();
    SCOPED_TRACE(context(seed, model));
    Draw draw(seed);
    const Vec3 axis = draw.direction();
    const Eigen::Matrix3d turn =
        Eigen::AngleAxisd(draw.uniform(0.1, 3.0), Vector(axis[0], axis[1], axis[2])).toRotationMatrix();
    const Vector shift(draw.uniform(-50, 50), draw.uniform(-50, 50), draw.uniform(-50, 50));

    const VELK original = analysed(model);
    const VELK turned = analysed(moved(model, turn, shift));
    ASSERT_TRUE(original.results && turned.results);
    for (const auto group : {&ResultsBundle::loadcases, &ResultsBundle::loadcombinations}) {
      for (const auto& [name, results] : (*original.results).*group) {
        expect_same_results(((*turned.results).*group).at(name), rotated(results, turn),
                            has_stiff_rigid_members(model) ? 1e-5 : 1e-7, name);
      }
    }
  }
}

// The same model in millimetres, kilonewtons and megapascals.
VELK in_millimetres_and_kilonewtons(VELK model) {
  constexpr double mm = 1e3, kn = 1e-3, mpa = 1e-6;
  model.settings.unit_settings.length_unit = LengthUnit::Mm;
  model.settings.unit_settings.force_unit = ForceUnit::KN;
  model.settings.unit_settings.pressure_unit = PressureUnit::MPa;
  for (MemberSet& set : model.member_sets) {
    for (Member& m : set.members) {
      for (Node* n : {&m.start_node, &m.end_node}) n->x *= mm, n->y *= mm, n->z *= mm;
    }
  }
  for (Section& s : model.sections) {
    s.area *= mm * mm;
    s.i_y *= mm * mm * mm * mm, s.i_z *= mm * mm * mm * mm, s.j *= mm * mm * mm * mm;
  }
  for (Material& m : model.materials) m.e_mod *= mpa, m.g_mod *= mpa, m.yield_stress *= mpa;
  for (NodalSupport& s : model.nodal_supports) {
    for (auto& [axis, c] : s.displacement_conditions)
      if (c.stiffness) *c.stiffness *= kn / mm;
    for (auto& [axis, c] : s.rotation_conditions)
      if (c.stiffness) *c.stiffness *= kn * mm;
  }
  for (MemberHinge& h : *model.memberhinges) {
    for (auto* k : {&h.translational_release_vx, &h.translational_release_vy, &h.translational_release_vz})
      if (*k) **k *= kn / mm;
    for (auto* k : {&h.rotational_release_mx, &h.rotational_release_my, &h.rotational_release_mz})
      if (*k) **k *= kn * mm;
  }
  for (LoadCase& c : model.load_cases) {
    for (NodalLoad& l : c.nodal_loads) l.magnitude *= kn;
    for (NodalMoment& l : c.nodal_moments) l.magnitude *= kn * mm;
    for (DistributedLoad& l : c.distributed_loads) l.magnitude *= kn / mm, l.end_magnitude *= kn / mm;
  }
  return model;
}

// Results of the metre-newton model as the millimetre-kilonewton document
// writes them.
Results in_millimetres_and_kilonewtons(Results r) {
  constexpr double mm = 1e3, kn = 1e-3;
  for (auto& [id, d] : r.displacement_nodes) d.dx *= mm, d.dy *= mm, d.dz *= mm;
  const auto convert = [&](NodeForces& f) { f = forces(force(f) * kn, moment(f) * kn * mm); };
  for (auto& [id, reaction] : r.reaction_nodes) convert(reaction.nodal_forces);
  for (auto& [id, m] : r.member_results) {
    for (NodeForces* f : {&m.start_node_forces, &m.end_node_forces, &m.maximums, &m.minimums}) convert(*f);
  }
  return r;
}

TEST(Properties, MillimetresAndKilonewtonsGiveTheSamePhysics) {
  const int count = models(60);
  for (int i = 0; i < count; ++i) {
    const std::uint64_t seed = 3000 + static_cast<std::uint64_t>(i);
    const VELK model = random_frame(seed, {.members = members_of(i, count)});
    SCOPED_TRACE(context(seed, model));
    const VELK metric = analysed(model);
    const VELK scaled = analysed(in_millimetres_and_kilonewtons(model));
    ASSERT_TRUE(metric.results && scaled.results);
    for (const auto group : {&ResultsBundle::loadcases, &ResultsBundle::loadcombinations}) {
      for (const auto& [name, results] : (*metric.results).*group) {
        expect_same_results(((*scaled.results).*group).at(name), in_millimetres_and_kilonewtons(results),
                            has_stiff_rigid_members(model) ? 1e-5 : 1e-6, name);
      }
    }
  }
}

TEST(Properties, CombinationIsTheFactoredSumOfItsCases) {
  const int count = models(60);
  for (int i = 0; i < count; ++i) {
    const std::uint64_t seed = 4000 + static_cast<std::uint64_t>(i);
    const VELK model = random_frame(seed, {.members = members_of(i, count), .one_sided = false});
    SCOPED_TRACE(context(seed, model));
    const VELK result = analysed(model);
    ASSERT_TRUE(result.results.has_value());
    for (const LoadCombination& combination : model.load_combinations) {
      Results sum = result.results->loadcases.at("LC1");
      for (auto& [id, d] : sum.displacement_nodes) d = {};
      for (auto& [id, reaction] : sum.reaction_nodes) reaction.nodal_forces = {};
      for (auto& [id, m] : sum.member_results) m = {};
      for (const auto& [case_id, factor] : combination.load_cases_factors) {
        const Results& part = result.results->loadcases.at("LC" + std::to_string(case_id));
        for (auto& [id, d] : sum.displacement_nodes) {
          const NodeDisplacement& p = part.displacement_nodes.at(id);
          d = displacement(translation(d) + factor * translation(p), rotation(d) + factor * rotation(p));
        }
        const auto add = [&](NodeForces& to, const NodeForces& p) {
          to = forces(force(to) + factor * force(p), moment(to) + factor * moment(p));
        };
        for (auto& [id, reaction] : sum.reaction_nodes)
          add(reaction.nodal_forces, part.reaction_nodes.at(id).nodal_forces);
        for (auto& [id, m] : sum.member_results) {
          add(m.start_node_forces, part.member_results.at(id).start_node_forces);
          add(m.end_node_forces, part.member_results.at(id).end_node_forces);
        }
      }
      expect_same_results(result.results->loadcombinations.at(combination.name), sum, 1e-8, combination.name);
    }
  }
}

TEST(Properties, OrderOfMembersAndMemberSetsChangesNoResult) {
  const int count = models(60);
  for (int i = 0; i < count; ++i) {
    const std::uint64_t seed = 5000 + static_cast<std::uint64_t>(i);
    VELK model = random_frame(seed, {.members = members_of(i, count), .one_sided = false});
    // A rigid member built as a stiff beam borrows the section of the first
    // member at its nodes in document order; as exact links it borrows none.
    model.settings.analysis_options.rigid_strategy = RigidStrategy::LinearMpc;
    SCOPED_TRACE(context(seed, model));
    VELK reordered = model;
    Draw draw(seed);
    draw.shuffle(reordered.member_sets);
    for (MemberSet& set : reordered.member_sets) draw.shuffle(set.members);
    // Members may also move to another set.
    if (reordered.member_sets.size() > 1 && reordered.member_sets[0].members.size() > 1) {
      reordered.member_sets[1].members.push_back(reordered.member_sets[0].members.back());
      reordered.member_sets[0].members.pop_back();
    }
    expect_same_bundles(analysed(reordered), analysed(model), 1e-8, context(seed, model));
  }
}

}  // namespace
}  // namespace velk
