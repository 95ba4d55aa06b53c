// Unit factors and normalisation: models in mm and kN to base units and results back to document units.
#include "document/units.hpp"

#include <gtest/gtest.h>

namespace velk {
namespace {

UnitSettings units(LengthUnit length, ForceUnit force, DensityUnit density = DensityUnit::KgPerM3,
                   PressureUnit pressure = PressureUnit::Pa) {
  UnitSettings settings;
  settings.length_unit = length;
  settings.force_unit = force;
  settings.density_unit = density;
  settings.pressure_unit = pressure;
  return settings;
}

SupportCondition spring(double stiffness) { return SupportCondition{ConditionType::Spring, stiffness}; }

// A one-member model in millimetres and kilonewtons with one of every
// dimensioned value.
VELK mm_kn_model() {
  VELK model;
  model.settings.unit_settings =
      units(LengthUnit::Mm, ForceUnit::KN, DensityUnit::KgPerMm3, PressureUnit::MPa);

  Member member;
  member.id = 1;
  member.start_node = Node{1, 0.0, 0.0, 0.0, 1};
  member.end_node = Node{2, 1000.0, 2500.0, -300.0, std::nullopt};
  member.section = 1;
  member.rotation_angle = 0.5;
  member.weight = 7.0;
  member.start_hinge = 1;
  model.member_sets.push_back(MemberSet{1, 3000.0, 4000.0, std::nullopt, {member}});

  model.sections.push_back(Section{1, "S", 1, 200.0, 100.0, 2.0e6, 3.0e6, 4.0e6, 100.0, 1});
  model.materials.push_back(Material{1, "Steel", 210000.0, 81000.0, 7.85e-6, 355.0});

  NodalSupport support;
  support.id = 1;
  support.displacement_conditions = {{"X", spring(5.0)}, {"Y", SupportCondition{ConditionType::Fixed, {}}}};
  support.rotation_conditions = {{"Z", spring(2.0)}};
  model.nodal_supports.push_back(support);

  MemberHinge hinge;
  hinge.id = 1;
  hinge.translational_release_vy = 3.0;
  hinge.rotational_release_mz = 4.0;
  hinge.max_tension_vx = 6.0;
  hinge.max_moment_my = 8.0;
  model.memberhinges = std::vector<MemberHinge>{hinge};

  ShapeCommand move;
  move.command = "MoveTo";
  move.y = 50.0;
  move.z = -100.0;
  ShapeCommand arc;
  arc.command = "ArcTo";
  arc.r = 10.0;
  arc.control_y1 = 1.0;
  arc.control_z1 = 2.0;
  arc.control_y2 = 3.0;
  arc.control_z2 = 4.0;
  model.shape_paths = std::vector<ShapePath>{ShapePath{1, "I", {move, arc}}};

  LoadCase load_case;
  load_case.id = 1;
  load_case.name = "LC1";
  load_case.nodal_loads.push_back(NodalLoad{1, 2, 1, 10.0, {0.0, -1.0, 0.0}, "point"});
  load_case.nodal_moments.push_back(NodalMoment{2, 2, 1, 5.0, {0.0, 0.0, 1.0}, "moment"});
  load_case.distributed_loads.push_back(DistributedLoad{1, 1, 2.0, {0.0, -1.0, 0.0}, 0.25, 0.75, 3.0});
  model.load_cases.push_back(load_case);
  return model;
}

TEST(UnitFactors, EachUnitHasItsFactorToBase) {
  const UnitFactors base = unit_factors(UnitSettings{});
  EXPECT_EQ(base.length, 1.0);
  EXPECT_EQ(base.force, 1.0);
  EXPECT_EQ(base.density, 1.0);
  EXPECT_EQ(base.pressure, 1.0);

  EXPECT_EQ(unit_factors(units(LengthUnit::Mm, ForceUnit::N)).length, 0.001);
  EXPECT_EQ(unit_factors(units(LengthUnit::Cm, ForceUnit::N)).length, 0.01);
  EXPECT_EQ(unit_factors(units(LengthUnit::M, ForceUnit::KN)).force, 1000.0);
  EXPECT_EQ(unit_factors(units(LengthUnit::M, ForceUnit::N, DensityUnit::KgPerMm3)).density, 1.0e9);
  EXPECT_EQ(
      unit_factors(units(LengthUnit::M, ForceUnit::N, DensityUnit::KgPerM3, PressureUnit::KPa)).pressure,
      1.0e3);
  EXPECT_EQ(
      unit_factors(units(LengthUnit::M, ForceUnit::N, DensityUnit::KgPerM3, PressureUnit::MPa)).pressure,
      1.0e6);
  EXPECT_EQ(
      unit_factors(units(LengthUnit::M, ForceUnit::N, DensityUnit::KgPerM3, PressureUnit::GPa)).pressure,
      1.0e9);
}

TEST(NormalizeUnits, MillimetreKilonewtonModelReachesBaseUnits) {
  VELK model = mm_kn_model();
  normalize_units(model, unit_factors(model.settings.unit_settings));

  const Member& member = model.member_sets[0].members[0];
  EXPECT_DOUBLE_EQ(member.end_node.x, 1.0);
  EXPECT_DOUBLE_EQ(member.end_node.y, 2.5);
  EXPECT_DOUBLE_EQ(member.end_node.z, -0.3);
  EXPECT_EQ(member.start_node.x, 0.0);
  // Angles and carried values stay as given.
  EXPECT_EQ(member.rotation_angle, 0.5);
  EXPECT_EQ(member.weight, 7.0);
  EXPECT_EQ(model.member_sets[0].l_y, 3000.0);

  const Section& section = model.sections[0];
  EXPECT_DOUBLE_EQ(section.area, 1.0e-4);
  EXPECT_DOUBLE_EQ(section.i_y, 2.0e-6);
  EXPECT_DOUBLE_EQ(section.i_z, 3.0e-6);
  EXPECT_DOUBLE_EQ(section.j, 4.0e-6);
  EXPECT_EQ(section.h, 200.0);
  EXPECT_EQ(section.b, 100.0);

  const Material& material = model.materials[0];
  EXPECT_DOUBLE_EQ(material.e_mod, 2.1e11);
  EXPECT_DOUBLE_EQ(material.g_mod, 8.1e10);
  EXPECT_DOUBLE_EQ(material.yield_stress, 3.55e8);
  EXPECT_DOUBLE_EQ(material.density, 7850.0);

  // Springs: kN/mm -> N/m is 1e6, kN*mm -> N*m is 1.
  const NodalSupport& support = model.nodal_supports[0];
  EXPECT_DOUBLE_EQ(*support.displacement_conditions.at("X").stiffness, 5.0e6);
  EXPECT_FALSE(support.displacement_conditions.at("Y").stiffness.has_value());
  EXPECT_DOUBLE_EQ(*support.rotation_conditions.at("Z").stiffness, 2.0);

  const LoadCase& load_case = model.load_cases[0];
  EXPECT_DOUBLE_EQ(load_case.nodal_loads[0].magnitude, 10000.0);
  EXPECT_DOUBLE_EQ(load_case.nodal_moments[0].magnitude, 5.0);
  EXPECT_DOUBLE_EQ(load_case.distributed_loads[0].magnitude, 2.0e6);
  EXPECT_DOUBLE_EQ(load_case.distributed_loads[0].end_magnitude, 3.0e6);
  EXPECT_EQ(load_case.distributed_loads[0].start_frac, 0.25);
  EXPECT_EQ(load_case.distributed_loads[0].end_frac, 0.75);
  EXPECT_EQ(load_case.nodal_loads[0].direction[1], -1.0);

  const MemberHinge& hinge = (*model.memberhinges)[0];
  EXPECT_DOUBLE_EQ(*hinge.translational_release_vy, 3.0e6);
  EXPECT_DOUBLE_EQ(*hinge.rotational_release_mz, 4.0);
  EXPECT_DOUBLE_EQ(*hinge.max_tension_vx, 6000.0);
  EXPECT_DOUBLE_EQ(*hinge.max_moment_my, 8.0);
  EXPECT_FALSE(hinge.translational_release_vx.has_value());
  EXPECT_FALSE(hinge.max_moment_mx.has_value());

  const ShapePath& path = (*model.shape_paths)[0];
  EXPECT_DOUBLE_EQ(*path.shape_commands[0].y, 0.05);
  EXPECT_DOUBLE_EQ(*path.shape_commands[0].z, -0.1);
  EXPECT_FALSE(path.shape_commands[0].r.has_value());
  EXPECT_DOUBLE_EQ(*path.shape_commands[1].r, 0.01);
  EXPECT_DOUBLE_EQ(*path.shape_commands[1].control_y1, 0.001);
  EXPECT_DOUBLE_EQ(*path.shape_commands[1].control_z1, 0.002);
  EXPECT_DOUBLE_EQ(*path.shape_commands[1].control_y2, 0.003);
  EXPECT_DOUBLE_EQ(*path.shape_commands[1].control_z2, 0.004);

  // The units themselves are still those of the document.
  EXPECT_EQ(model.settings.unit_settings.length_unit, LengthUnit::Mm);
  EXPECT_EQ(model.settings.unit_settings.force_unit, ForceUnit::KN);
}

TEST(NormalizeUnits, ForceOnlyFactorScalesLoadsAndSpringsButNotGeometry) {
  VELK model = mm_kn_model();
  model.settings.unit_settings = units(LengthUnit::M, ForceUnit::KN);
  normalize_units(model, unit_factors(model.settings.unit_settings));

  EXPECT_EQ(model.member_sets[0].members[0].end_node.x, 1000.0);
  EXPECT_EQ(model.sections[0].area, 100.0);
  EXPECT_EQ(*(*model.shape_paths)[0].shape_commands[0].y, 50.0);
  EXPECT_EQ(model.materials[0].e_mod, 210000.0);
  EXPECT_EQ(model.materials[0].density, 7.85e-6);
  EXPECT_EQ(model.load_cases[0].nodal_loads[0].magnitude, 10000.0);
  // A nodal moment of 5 kN*m is solved as 5000 N*m.
  EXPECT_EQ(model.load_cases[0].nodal_moments[0].magnitude, 5000.0);
  EXPECT_EQ(model.load_cases[0].distributed_loads[0].magnitude, 2000.0);
  EXPECT_EQ(*model.nodal_supports[0].displacement_conditions.at("X").stiffness, 5000.0);
  EXPECT_EQ(*model.nodal_supports[0].rotation_conditions.at("Z").stiffness, 2000.0);
}

TEST(NormalizeUnits, FactorsWithinToleranceOfOneLeaveValuesUntouched) {
  VELK model = mm_kn_model();
  const VELK original = model;
  // Within 1e-12 of 1 counts as 1 for every step guarded by the factors.
  normalize_units(model, UnitFactors{1.0 + 5e-13, 1.0 - 5e-13, 1.0 + 9e-13, 1.0 - 9e-13});
  EXPECT_EQ(model.member_sets[0].members[0].end_node.x, 1000.0);
  EXPECT_EQ(model.sections[0].i_y, original.sections[0].i_y);
  EXPECT_EQ(model.materials[0].e_mod, original.materials[0].e_mod);
  EXPECT_EQ(model.materials[0].density, original.materials[0].density);
  EXPECT_EQ(model.load_cases[0].nodal_loads[0].magnitude, 10.0);
  EXPECT_EQ(*model.nodal_supports[0].displacement_conditions.at("X").stiffness, 5.0);
  EXPECT_EQ(*(*model.shape_paths)[0].shape_commands[0].y, 50.0);
  // Hinges are scaled whatever the factors: the product F*L is applied as is.
  EXPECT_EQ(*(*model.memberhinges)[0].max_tension_vx, 6.0 * (1.0 - 5e-13));

  // Just beyond the tolerance the values are scaled.
  VELK scaled = mm_kn_model();
  normalize_units(scaled, UnitFactors{1.0 + 3e-12, 1.0, 1.0, 1.0});
  EXPECT_EQ(scaled.member_sets[0].members[0].end_node.x, 1000.0 * (1.0 + 3e-12));
}

TEST(NormalizeUnits, CarriedResultsAndAbsentOptionalListsAreLeftAlone) {
  VELK model = mm_kn_model();
  model.memberhinges.reset();
  model.shape_paths.reset();
  Results carried;
  carried.name = "old";
  carried.displacement_nodes[2] = NodeDisplacement{2.0, 0.0, 0.0, 0.1, 0.0, 0.0};
  model.results = ResultsBundle{{{"old", carried}}, {}, std::nullopt};

  normalize_units(model, unit_factors(model.settings.unit_settings));
  EXPECT_EQ(model.results->loadcases.at("old").displacement_nodes.at(2).dx, 2.0);
  EXPECT_FALSE(model.memberhinges.has_value());
  EXPECT_FALSE(model.shape_paths.has_value());
}

TEST(ResultsToDocumentUnits, DisplacementsForcesAndMomentsReturnToDocumentUnits) {
  Results results;
  results.displacement_nodes[1] = NodeDisplacement{0.002, -0.004, 0.001, 0.01, 0.02, 0.03};
  ReactionNodeResult reaction;
  reaction.nodal_forces = NodeForces{1000.0, 2000.0, -3000.0, 4000.0, 5000.0, 6000.0};
  reaction.location = NodeLocation{1.5, 0.0, 2.0};
  reaction.support_id = 7;
  results.reaction_nodes[1] = reaction;
  const NodeForces start{1000.0, 0.0, 0.0, 0.0, 0.0, 12000.0};
  const NodeForces end{-1000.0, 0.0, 0.0, 0.0, 0.0, -6000.0};
  results.member_results[1] = MemberResult{start, end, NodeForces{1000.0, 0, 0, 0, 0, 12000.0},
                                           NodeForces{-1000.0, 0, 0, 0, 0, -6000.0}};
  results.summary = ResultsSummary{1, 1, 1};

  // kN and mm: forces /1000, moments /1 (kN*mm is 1 N*m), displacements *1000.
  Results in_mm = results;
  results_to_document_units(in_mm, UnitFactors{0.001, 1000.0, 1.0, 1.0});
  const NodeDisplacement& d = in_mm.displacement_nodes.at(1);
  EXPECT_DOUBLE_EQ(d.dx, 2.0);
  EXPECT_DOUBLE_EQ(d.dy, -4.0);
  EXPECT_DOUBLE_EQ(d.dz, 1.0);
  EXPECT_EQ(d.rx, 0.01);
  EXPECT_EQ(d.ry, 0.02);
  EXPECT_EQ(d.rz, 0.03);
  const ReactionNodeResult& r = in_mm.reaction_nodes.at(1);
  EXPECT_DOUBLE_EQ(r.nodal_forces.fx, 1.0);
  EXPECT_DOUBLE_EQ(r.nodal_forces.fz, -3.0);
  EXPECT_DOUBLE_EQ(r.nodal_forces.mx, 4000.0);
  EXPECT_DOUBLE_EQ(r.nodal_forces.mz, 6000.0);
  EXPECT_EQ(r.location.x, 1.5);
  EXPECT_EQ(r.location.z, 2.0);
  EXPECT_EQ(r.support_id, 7u);

  // kN and m: moments in kN*m.
  Results in_m = results;
  results_to_document_units(in_m, UnitFactors{1.0, 1000.0, 1.0, 1.0});
  const MemberResult& m = in_m.member_results.at(1);
  EXPECT_DOUBLE_EQ(m.start_node_forces.fx, 1.0);
  EXPECT_DOUBLE_EQ(m.start_node_forces.mz, 12.0);
  EXPECT_DOUBLE_EQ(m.end_node_forces.fx, -1.0);
  EXPECT_DOUBLE_EQ(m.end_node_forces.mz, -6.0);
  EXPECT_DOUBLE_EQ(m.maximums.mz, 12.0);
  EXPECT_DOUBLE_EQ(m.minimums.mz, -6.0);
  EXPECT_DOUBLE_EQ(in_m.displacement_nodes.at(1).dx, 0.002);
  EXPECT_EQ(in_m.summary.total_displacements, 1u);
}

}  // namespace
}  // namespace velk
