#pragma once
// How each record of the model document appears in JSON: its name, its keys
// in record order, and the spellings of every enumeration. The reader and the
// writer are both driven by these tables, so the two can never disagree; the
// JSON Schema of the document is generated from them too, with the
// descriptions (and units) kept here beside each key.

#include <array>
#include <string_view>
#include <tuple>

#include "base/record_schema.hpp"
#include "document/velk.hpp"

namespace velk::json {

// ---- enumerations ----

template <>
struct EnumSpellings<MemberType> {
  static constexpr std::string_view name = "MemberType";
  static constexpr std::string_view description =
      "How a member carries load: Normal (beam, six degrees of freedom per end), Truss (axial only), Tension "
      "(axial, tension only), Compression (axial, compression only), Rigid (rigid connection).";
  static constexpr std::array<std::string_view, 5> accepted{"Normal", "Truss", "Tension", "Compression",
                                                            "Rigid"};
  static constexpr std::array<MemberType, 5> values{
      MemberType::Normal, MemberType::Truss, MemberType::Tension, MemberType::Compression, MemberType::Rigid};
  static constexpr std::array<std::string_view, 5> canonical = accepted;
};

template <>
struct EnumSpellings<ConditionType> {
  static constexpr std::string_view name = "ConditionType";
  static constexpr std::string_view description =
      "How a support holds one axis: Fixed (held), Free (not held), Spring (elastic, needs stiffness), "
      "PositiveOnly and NegativeOnly (free in the solve; only the sign of the reported reaction is clipped).";
  static constexpr std::array<std::string_view, 5> accepted{"Fixed", "Free", "Spring", "PositiveOnly",
                                                            "NegativeOnly"};
  static constexpr std::array<ConditionType, 5> values{ConditionType::Fixed, ConditionType::Free,
                                                       ConditionType::Spring, ConditionType::PositiveOnly,
                                                       ConditionType::NegativeOnly};
  static constexpr std::array<std::string_view, 5> canonical = accepted;
};

template <>
struct EnumSpellings<LimitState> {
  static constexpr std::string_view name = "LimitState";
  static constexpr std::string_view description =
      "Limit state of a combination: serviceability, ultimate, fatigue, accidental; carried.";
  static constexpr std::array<std::string_view, 4> accepted{"SLS", "ULS", "FLS", "ALS"};
  static constexpr std::array<LimitState, 4> values{LimitState::SLS, LimitState::ULS, LimitState::FLS,
                                                    LimitState::ALS};
  static constexpr std::array<std::string_view, 4> canonical = accepted;
};

template <>
struct EnumSpellings<AnalysisOrder> {
  static constexpr std::string_view name = "AnalysisOrder";
  static constexpr std::string_view description =
      "First-order (linear) or second-order (nonlinear, with geometric stiffness) analysis.";
  static constexpr std::array<std::string_view, 6> accepted{"LINEAR",    "Linear",    "linear",
                                                            "NONLINEAR", "Nonlinear", "nonlinear"};
  static constexpr std::array<AnalysisOrder, 6> values{AnalysisOrder::Linear,    AnalysisOrder::Linear,
                                                       AnalysisOrder::Linear,    AnalysisOrder::Nonlinear,
                                                       AnalysisOrder::Nonlinear, AnalysisOrder::Nonlinear};
  static constexpr std::array<std::string_view, 2> canonical{"LINEAR", "NONLINEAR"};
};

template <>
struct EnumSpellings<RigidStrategy> {
  static constexpr std::string_view name = "RigidStrategy";
  static constexpr std::string_view description =
      "Rigid members as exact multi-point constraints (LinearMpc) or as very stiff beams (RigidMember).";
  static constexpr std::array<std::string_view, 6> accepted{"LinearMpc",   "Linear_MPC",   "linear_mpc",
                                                            "RigidMember", "Rigid_Member", "rigid_member"};
  static constexpr std::array<RigidStrategy, 6> values{
      RigidStrategy::LinearMpc,   RigidStrategy::LinearMpc,   RigidStrategy::LinearMpc,
      RigidStrategy::RigidMember, RigidStrategy::RigidMember, RigidStrategy::RigidMember};
  static constexpr std::array<std::string_view, 2> canonical{"LinearMpc", "RigidMember"};
};

template <>
struct EnumSpellings<Dimensionality> {
  static constexpr std::string_view name = "Dimensionality";
  static constexpr std::string_view description =
      "Carried; every node keeps six degrees of freedom either way.";
  static constexpr std::array<std::string_view, 4> accepted{"2D", "2d", "3D", "3d"};
  static constexpr std::array<Dimensionality, 4> values{Dimensionality::TwoD, Dimensionality::TwoD,
                                                        Dimensionality::ThreeD, Dimensionality::ThreeD};
  static constexpr std::array<std::string_view, 2> canonical{"2D", "3D"};
};

template <>
struct EnumSpellings<LengthUnit> {
  static constexpr std::string_view name = "LengthUnit";
  static constexpr std::string_view description = "Length unit: factor to metres 0.001, 0.01, 1.";
  static constexpr std::array<std::string_view, 3> accepted{"mm", "cm", "m"};
  static constexpr std::array<LengthUnit, 3> values{LengthUnit::Mm, LengthUnit::Cm, LengthUnit::M};
  static constexpr std::array<std::string_view, 3> canonical = accepted;
};

template <>
struct EnumSpellings<ForceUnit> {
  static constexpr std::string_view name = "ForceUnit";
  static constexpr std::string_view description = "Force unit: factor to newtons 1, 1000.";
  static constexpr std::array<std::string_view, 4> accepted{"N", "n", "kN", "kn"};
  static constexpr std::array<ForceUnit, 4> values{ForceUnit::N, ForceUnit::N, ForceUnit::KN, ForceUnit::KN};
  static constexpr std::array<std::string_view, 2> canonical{"N", "kN"};
};

template <>
struct EnumSpellings<DensityUnit> {
  static constexpr std::string_view name = "DensityUnit";
  static constexpr std::string_view description = "Density unit: factor to kg/m3 1, 1e9.";
  static constexpr std::array<std::string_view, 2> accepted{"kg/m3", "kg/mm3"};
  static constexpr std::array<DensityUnit, 2> values{DensityUnit::KgPerM3, DensityUnit::KgPerMm3};
  static constexpr std::array<std::string_view, 2> canonical = accepted;
};

template <>
struct EnumSpellings<PressureUnit> {
  static constexpr std::string_view name = "PressureUnit";
  static constexpr std::string_view description = "Pressure unit: factor to pascals 1, 1e3, 1e6, 1e9.";
  static constexpr std::array<std::string_view, 8> accepted{"Pa",  "pa",  "kPa", "kpa",
                                                            "MPa", "mpa", "GPa", "gpa"};
  static constexpr std::array<PressureUnit, 8> values{PressureUnit::Pa,  PressureUnit::Pa,  PressureUnit::KPa,
                                                      PressureUnit::KPa, PressureUnit::MPa, PressureUnit::MPa,
                                                      PressureUnit::GPa, PressureUnit::GPa};
  static constexpr std::array<std::string_view, 4> canonical{"Pa", "kPa", "MPa", "GPa"};
};

// The result type is an enumeration whose variants carry the id of the load
// case or combination: an object with the variant name as its only key.
inline constexpr std::array<std::string_view, 2> result_type_variants{"Loadcase", "Loadcombination"};

// ---- structure records ----

template <>
struct Schema<Node> {
  static constexpr std::string_view name = "Node";
  static constexpr std::string_view description =
      "A node, written out in full inside every member that uses it.";
  static constexpr auto fields =
      std::make_tuple(field("id", &Node::id, "Node number; node ids run from 1 without gaps."),
                      field("X", &Node::x, "Global X coordinate [length unit]."),
                      field("Y", &Node::y, "Global Y coordinate (the vertical axis) [length unit]."),
                      field("Z", &Node::z, "Global Z coordinate [length unit]."),
                      field("nodal_support", &Node::nodal_support,
                            "Id of the NodalSupport holding this node; absent or null for a free node."));
};

template <>
struct Schema<Member> {
  static constexpr std::string_view name = "Member";
  static constexpr std::string_view description = "A straight two-node member.";
  static constexpr auto fields = std::make_tuple(
      field("id", &Member::id, "Member number."),
      field("start_node", &Member::start_node,
            "Start node; local x runs from the start node to the end node."),
      field("end_node", &Member::end_node, "End node."),
      field("section", &Member::section, "Id of the member's Section."),
      field("rotation_angle", &Member::rotation_angle,
            "Rotation of the local y and z axes about local x, right hand rule [rad]."),
      field("start_hinge", &Member::start_hinge,
            "Id of the MemberHinge at the start node; absent means a rigid connection."),
      field("end_hinge", &Member::end_hinge,
            "Id of the MemberHinge at the end node; absent means a rigid connection."),
      field("classification", &Member::classification,
            "Free classification text; carried, not used by the analysis."),
      field("weight", &Member::weight, "Weight value of the member; carried, not used by the analysis."),
      field("chi", &Member::chi, "Factor value of the member; carried, not used by the analysis."),
      field("reference_member", &Member::reference_member,
            "Id of another member; carried, not used for the local axes."),
      field("reference_node", &Member::reference_node, "Id of a node; carried, not used for the local axes."),
      field("member_type", &Member::member_type, "How the member carries load."));
};

template <>
struct Schema<MemberSet> {
  static constexpr std::string_view name = "MemberSet";
  static constexpr std::string_view description = "A group of members, in the order they are analysed.";
  static constexpr auto fields = std::make_tuple(
      field("id", &MemberSet::id, "Set number, named by imperfections."),
      field("l_y", &MemberSet::l_y, "Length value about local y [length unit]; carried, not used."),
      field("l_z", &MemberSet::l_z, "Length value about local z [length unit]; carried, not used."),
      field("classification", &MemberSet::classification, "Free classification text; carried, not used."),
      field("members", &MemberSet::members, "The members of the set."));
};

template <>
struct Schema<Section> {
  static constexpr std::string_view name = "Section";
  static constexpr std::string_view description = "Cross-section properties of members.";
  static constexpr auto fields = std::make_tuple(
      field("id", &Section::id, "Section number."), field("name", &Section::name, "Section name; carried."),
      field("material", &Section::material, "Id of the section's Material."),
      field("h", &Section::h, "Section height [length unit]; carried, not converted, not used."),
      field("b", &Section::b, "Section width [length unit]; carried, not converted, not used."),
      field("i_y", &Section::i_y,
            "Second moment of area about local y, bending in the local x-z plane [length^4]."),
      field("i_z", &Section::i_z,
            "Second moment of area about local z, bending in the local x-y plane [length^4]."),
      field("j", &Section::j, "Torsion constant [length^4]."),
      field("area", &Section::area, "Cross-section area [length^2]."),
      field("shape_path", &Section::shape_path, "Id of a ShapePath outlining the section; carried."));
};

template <>
struct Schema<Material> {
  static constexpr std::string_view name = "Material";
  static constexpr std::string_view description = "An isotropic linear elastic material.";
  static constexpr auto fields = std::make_tuple(
      field("id", &Material::id, "Material number."),
      field("name", &Material::name, "Material name; carried."),
      field("e_mod", &Material::e_mod, "Modulus of elasticity E [pressure unit]."),
      field("g_mod", &Material::g_mod, "Shear modulus G [pressure unit]."),
      field("density", &Material::density, "Density [density unit]; carried, not used (no self-weight)."),
      field("yield_stress", &Material::yield_stress, "Yield stress [pressure unit]; carried, not used."));
};

template <>
struct Schema<ShapeCommand> {
  static constexpr std::string_view name = "ShapeCommand";
  static constexpr std::string_view description =
      "One drawing command of a section outline; carried, not used by the analysis.";
  static constexpr auto fields = std::make_tuple(
      field("command", &ShapeCommand::command, "The drawing command, free text."),
      field("y", &ShapeCommand::y, "Target point, local y [length unit]."),
      field("z", &ShapeCommand::z, "Target point, local z [length unit]."),
      field("r", &ShapeCommand::r, "Radius [length unit]."),
      field("control_y1", &ShapeCommand::control_y1, "First control point, local y [length unit]."),
      field("control_z1", &ShapeCommand::control_z1, "First control point, local z [length unit]."),
      field("control_y2", &ShapeCommand::control_y2, "Second control point, local y [length unit]."),
      field("control_z2", &ShapeCommand::control_z2, "Second control point, local z [length unit]."));
};

template <>
struct Schema<ShapePath> {
  static constexpr std::string_view name = "ShapePath";
  static constexpr std::string_view description =
      "The outline of a section; carried, not used by the analysis.";
  static constexpr auto fields = std::make_tuple(
      field("id", &ShapePath::id, "Path number."), field("name", &ShapePath::name, "Path name."),
      field("shape_commands", &ShapePath::shape_commands, "The drawing commands, in order."));
};

template <>
struct Schema<MemberHinge> {
  static constexpr std::string_view name = "MemberHinge";
  static constexpr std::string_view description =
      "End releases of a member end, per local degree of freedom: absent = rigid, a value <= 0 = fully "
      "released, a value > 0 = spring of that stiffness.";
  static constexpr auto fields = std::make_tuple(
      field("id", &MemberHinge::id, "Hinge number."),
      field("hinge_type", &MemberHinge::hinge_type, "Free type text; carried."),
      field("translational_release_vx", &MemberHinge::translational_release_vx,
            "Release along local x: spring stiffness [force/length], <= 0 for a full release."),
      field("translational_release_vy", &MemberHinge::translational_release_vy,
            "Release along local y: spring stiffness [force/length], <= 0 for a full release."),
      field("translational_release_vz", &MemberHinge::translational_release_vz,
            "Release along local z: spring stiffness [force/length], <= 0 for a full release."),
      field("rotational_release_mx", &MemberHinge::rotational_release_mx,
            "Release about local x (torsion): spring stiffness [force*length/rad], <= 0 for a full release."),
      field("rotational_release_my", &MemberHinge::rotational_release_my,
            "Release about local y: spring stiffness [force*length/rad], <= 0 for a full release."),
      field("rotational_release_mz", &MemberHinge::rotational_release_mz,
            "Release about local z: spring stiffness [force*length/rad], <= 0 for a full release."),
      field("max_tension_vx", &MemberHinge::max_tension_vx,
            "Force capacity along local x [force]; carried, not used."),
      field("max_tension_vy", &MemberHinge::max_tension_vy,
            "Force capacity along local y [force]; carried, not used."),
      field("max_tension_vz", &MemberHinge::max_tension_vz,
            "Force capacity along local z [force]; carried, not used."),
      field("max_moment_mx", &MemberHinge::max_moment_mx,
            "Moment capacity about local x [force*length]; carried, not used."),
      field("max_moment_my", &MemberHinge::max_moment_my,
            "Moment capacity about local y [force*length]; carried, not used."),
      field("max_moment_mz", &MemberHinge::max_moment_mz,
            "Moment capacity about local z [force*length]; carried, not used."));
};

template <>
struct Schema<SupportCondition> {
  static constexpr std::string_view name = "SupportCondition";
  static constexpr std::string_view description = "How one global axis of a supported node is held.";
  static constexpr auto fields =
      std::make_tuple(field("condition_type", &SupportCondition::condition_type, "The kind of condition."),
                      field("stiffness", &SupportCondition::stiffness,
                            "Spring stiffness for Spring: [force/length] for a displacement condition, "
                            "[force*length/rad] for a rotation condition; must be > 0."));
};

template <>
struct Schema<NodalSupport> {
  static constexpr std::string_view name = "NodalSupport";
  static constexpr std::string_view description =
      "Support conditions of a node, per global axis. An axis that is not mentioned is held fixed.";
  static constexpr auto fields = std::make_tuple(
      field("id", &NodalSupport::id, "Support number, named by Node.nodal_support."),
      field("classification", &NodalSupport::classification, "Free classification text; carried."),
      field("displacement_conditions", &NodalSupport::displacement_conditions,
            "Translational condition per global axis, keyed \"X\", \"Y\", \"Z\" (small letters accepted); "
            "other keys are carried, not used."),
      field("rotation_conditions", &NodalSupport::rotation_conditions,
            "Rotational condition per global axis, keyed \"X\", \"Y\", \"Z\" (small letters accepted); other "
            "keys are carried, not used."));
};

// ---- load records ----

template <>
struct Schema<NodalLoad> {
  static constexpr std::string_view name = "NodalLoad";
  static constexpr std::string_view description = "A force at a node.";
  static constexpr auto fields = std::make_tuple(
      field("id", &NodalLoad::id, "Load number; carried."),
      field("node", &NodalLoad::node, "Id of the loaded node."),
      field("load_case", &NodalLoad::load_case,
            "Id of the load case; carried (the list the load is in decides)."),
      field("magnitude", &NodalLoad::magnitude, "Force magnitude [force]."),
      field("direction", &NodalLoad::direction,
            "Global direction (X, Y, Z); multiplied by the magnitude as given, not normalised."),
      field("load_type", &NodalLoad::load_type, "Free text; carried."));
};

template <>
struct Schema<NodalMoment> {
  static constexpr std::string_view name = "NodalMoment";
  static constexpr std::string_view description = "A moment at a node.";
  static constexpr auto fields =
      std::make_tuple(field("id", &NodalMoment::id, "Load number; carried."),
                      field("node", &NodalMoment::node, "Id of the loaded node."),
                      field("load_case", &NodalMoment::load_case,
                            "Id of the load case; carried (the list the load is in decides)."),
                      field("magnitude", &NodalMoment::magnitude, "Moment magnitude [force*length]."),
                      field("direction", &NodalMoment::direction,
                            "Global axis of the moment (X, Y, Z), right hand rule; multiplied by the "
                            "magnitude as given, not normalised."),
                      field("load_type", &NodalMoment::load_type, "Free text; carried."));
};

template <>
struct Schema<DistributedLoad> {
  static constexpr std::string_view name = "DistributedLoad";
  static constexpr std::string_view description = "A linearly varying load along a stretch of a member.";
  static constexpr auto fields = std::make_tuple(
      field("member", &DistributedLoad::member, "Id of the loaded member."),
      field(
          "load_case", &DistributedLoad::load_case,
          "Id of the load case; the load counts only when it equals the id of the case whose list holds it."),
      field("magnitude", &DistributedLoad::magnitude, "Intensity at start_frac [force/length]."),
      field("direction", &DistributedLoad::direction,
            "Global direction (X, Y, Z); multiplied by the intensity as given, not normalised."),
      field("start_frac", &DistributedLoad::start_frac,
            "Start of the loaded stretch as a fraction of the member length from the start node (0 to 1)."),
      field("end_frac", &DistributedLoad::end_frac,
            "End of the loaded stretch as a fraction of the member length from the start node (0 to 1)."),
      field("end_magnitude", &DistributedLoad::end_magnitude,
            "Intensity at end_frac [force/length]; a uniform load repeats the magnitude."));
};

template <>
struct Schema<RotationImperfection> {
  static constexpr std::string_view name = "RotationImperfection";
  static constexpr std::string_view description =
      "A rotational imperfection of member sets; carried, not used by the analysis.";
  static constexpr auto fields = std::make_tuple(
      field("memberset_ids", &RotationImperfection::memberset_ids, "Ids of the member sets (u64)."),
      field("magnitude", &RotationImperfection::magnitude, "Size of the rotation."),
      field("axis", &RotationImperfection::axis, "Global axis of the rotation."));
};

template <>
struct Schema<TranslationImperfection> {
  static constexpr std::string_view name = "TranslationImperfection";
  static constexpr std::string_view description =
      "A translational imperfection of member sets; carried, not used by the analysis.";
  static constexpr auto fields = std::make_tuple(
      field("memberset_ids", &TranslationImperfection::memberset_ids, "Ids of the member sets (u64)."),
      field("magnitude", &TranslationImperfection::magnitude, "Size of the offset."),
      field("axis", &TranslationImperfection::axis, "Global direction of the offset."));
};

template <>
struct Schema<LoadCase> {
  static constexpr std::string_view name = "LoadCase";
  static constexpr std::string_view description = "A load case: the loads applied together.";
  static constexpr auto fields = std::make_tuple(
      field("id", &LoadCase::id, "Load case number, named by loads and combinations."),
      field("name", &LoadCase::name, "Load case name; also the key of its results."),
      field("nodal_loads", &LoadCase::nodal_loads, "Forces at nodes."),
      field("nodal_moments", &LoadCase::nodal_moments, "Moments at nodes."),
      field("distributed_loads", &LoadCase::distributed_loads, "Loads along members."),
      field("rotation_imperfections", &LoadCase::rotation_imperfections, "Carried, not used."),
      field("translation_imperfections", &LoadCase::translation_imperfections, "Carried, not used."));
};

template <>
struct Schema<LoadCombination> {
  static constexpr std::string_view name = "LoadCombination";
  static constexpr std::string_view description = "A factored sum of load cases, solved as one load.";
  static constexpr auto fields =
      std::make_tuple(field("id", &LoadCombination::id, "Combination number."),
                      field("name", &LoadCombination::name, "Combination name; also the key of its results."),
                      field("load_cases_factors", &LoadCombination::load_cases_factors,
                            "Factor per load case, keyed by the load case id as a decimal string."),
                      field("situation", &LoadCombination::situation, "Design situation text; carried."),
                      field("check", &LoadCombination::check, "Check text; carried."),
                      field("limit_state", &LoadCombination::limit_state, "Limit state; carried."));
};

template <>
struct Schema<ImperfectionCase> {
  static constexpr std::string_view name = "ImperfectionCase";
  static constexpr std::string_view description =
      "Imperfections for load combinations; carried, not used by the analysis.";
  static constexpr auto fields = std::make_tuple(
      field("imperfection_case_id", &ImperfectionCase::imperfection_case_id, "Imperfection case number."),
      field("load_combinations", &ImperfectionCase::load_combinations, "Ids of the load combinations."),
      field("rotation_imperfections", &ImperfectionCase::rotation_imperfections, "Rotational imperfections."),
      field("translation_imperfections", &ImperfectionCase::translation_imperfections,
            "Translational imperfections."));
};

// ---- settings ----

template <>
struct Schema<AnalysisOptions> {
  static constexpr std::string_view name = "AnalysisOptions";
  static constexpr std::string_view description = "How the model is analysed.";
  static constexpr auto fields = std::make_tuple(
      field("id", &AnalysisOptions::id, "Options number."),
      field("solve_loadcases", &AnalysisOptions::solve_loadcases,
            "true: every load case is solved and gets results; false: only the combinations are solved."),
      field("solver", &AnalysisOptions::solver, "Free text naming the solver; carried, not interpreted."),
      field("tolerance", &AnalysisOptions::tolerance,
            "First order: absolute convergence bound on the change of the displacement vector between "
            "active-set iterations [m and rad, base units]. Second order: bound on the relative equilibrium "
            "residual |K(u) q - F| / max(|F|, 1) of every load step, 1e-6 when larger or not positive."),
      field("max_iterations", &AnalysisOptions::max_iterations,
            "Iteration limit of the active-set and Newton iterations; 20 when absent."),
      field("dimensionality", &AnalysisOptions::dimensionality,
            "Carried; every node keeps all six degrees of freedom either way."),
      field("order", &AnalysisOptions::order, "First-order (LINEAR) or second-order (NONLINEAR) analysis."),
      field("rigid_strategy", &AnalysisOptions::rigid_strategy, "How Rigid members are modelled."),
      field("axial_slack", &AnalysisOptions::axial_slack,
            "Axial force slack of the tension-only and compression-only decisions [N, base units]."));
};

template <>
struct Schema<GeneralInfo> {
  static constexpr std::string_view name = "GeneralInfo";
  static constexpr std::string_view description = "Descriptive information; carried, not interpreted.";
  static constexpr auto fields =
      std::make_tuple(field("project_name", &GeneralInfo::project_name, "Project name."),
                      field("author", &GeneralInfo::author, "Author."),
                      field("version", &GeneralInfo::version, "Version text."));
};

template <>
struct Schema<UnitSettings> {
  static constexpr std::string_view name = "UnitSettings";
  static constexpr std::string_view description =
      "Units of the document. Every key may be left out (its default is used); the keys are written back "
      "with their values.";
  static constexpr auto fields = std::make_tuple(
      defaulted_field("system", &UnitSettings::system, "Name of the unit system; carried, not interpreted."),
      defaulted_field("lengthUnit", &UnitSettings::length_unit, "Unit of lengths and coordinates."),
      defaulted_field("forceUnit", &UnitSettings::force_unit, "Unit of forces."),
      defaulted_field("densityUnit", &UnitSettings::density_unit, "Unit of densities."),
      defaulted_field("pressureUnit", &UnitSettings::pressure_unit, "Unit of moduli and stresses."));
};

template <>
struct Schema<Settings> {
  static constexpr std::string_view name = "Settings";
  static constexpr std::string_view description = "Analysis options, descriptive information and units.";
  static constexpr auto fields =
      std::make_tuple(field("id", &Settings::id, "Settings number."),
                      field("analysis_options", &Settings::analysis_options, "How to analyse."),
                      field("general_info", &Settings::general_info, "Descriptive information."),
                      field("unit_settings", &Settings::unit_settings, "Units of the document."));
};

// ---- results ----

template <>
struct Schema<NodeDisplacement> {
  static constexpr std::string_view name = "NodeDisplacement";
  static constexpr std::string_view description = "Displacement of a node, global axes.";
  static constexpr auto fields =
      std::make_tuple(field("dx", &NodeDisplacement::dx, "Translation along global X [length unit]."),
                      field("dy", &NodeDisplacement::dy, "Translation along global Y [length unit]."),
                      field("dz", &NodeDisplacement::dz, "Translation along global Z [length unit]."),
                      field("rx", &NodeDisplacement::rx, "Rotation about global X [rad]."),
                      field("ry", &NodeDisplacement::ry, "Rotation about global Y [rad]."),
                      field("rz", &NodeDisplacement::rz, "Rotation about global Z [rad]."));
};

template <>
struct Schema<NodeForces> {
  static constexpr std::string_view name = "NodeForces";
  static constexpr std::string_view description =
      "Three forces and three moments: global axes for reactions and member end forces.";
  static constexpr auto fields =
      std::make_tuple(field("fx", &NodeForces::fx, "Force along X [force unit]."),
                      field("fy", &NodeForces::fy, "Force along Y [force unit]."),
                      field("fz", &NodeForces::fz, "Force along Z [force unit]."),
                      field("mx", &NodeForces::mx, "Moment about X [force unit * length unit]."),
                      field("my", &NodeForces::my, "Moment about Y [force unit * length unit]."),
                      field("mz", &NodeForces::mz, "Moment about Z [force unit * length unit]."));
};

template <>
struct Schema<NodeLocation> {
  static constexpr std::string_view name = "NodeLocation";
  static constexpr std::string_view description = "Coordinates of a node as analysed.";
  static constexpr auto fields = std::make_tuple(field("X", &NodeLocation::x, "Global X [m]."),
                                                 field("Y", &NodeLocation::y, "Global Y [m]."),
                                                 field("Z", &NodeLocation::z, "Global Z [m]."));
};

template <>
struct Schema<ReactionNodeResult> {
  static constexpr std::string_view name = "ReactionNodeResult";
  static constexpr std::string_view description = "The reaction at a supported node.";
  static constexpr auto fields =
      std::make_tuple(field("nodal_forces", &ReactionNodeResult::nodal_forces,
                            "What the support exerts on the structure, global axes."),
                      field("location", &ReactionNodeResult::location, "Where the node is [m]."),
                      field("support_id", &ReactionNodeResult::support_id, "Id of the node's NodalSupport."));
};

template <>
struct Schema<MemberResult> {
  static constexpr std::string_view name = "MemberResult";
  static constexpr std::string_view description =
      "End forces of a member, global axes: what the nodes exert on the member.";
  static constexpr auto fields = std::make_tuple(
      field("start_node_forces", &MemberResult::start_node_forces, "At the start node."),
      field("end_node_forces", &MemberResult::end_node_forces, "At the end node."),
      field("maximums", &MemberResult::maximums, "Per component the larger of the two end values."),
      field("minimums", &MemberResult::minimums, "Per component the smaller of the two end values."));
};

template <>
struct Schema<ResultsSummary> {
  static constexpr std::string_view name = "ResultsSummary";
  static constexpr std::string_view description = "Counts of the model: members (twice) and supports.";
  static constexpr auto fields = std::make_tuple(
      field("total_displacements", &ResultsSummary::total_displacements, "Number of members."),
      field("total_reaction_forces", &ResultsSummary::total_reaction_forces,
            "Number of NodalSupport records."),
      field("total_member_forces", &ResultsSummary::total_member_forces, "Number of members."));
};

template <>
struct Schema<GoverningKey> {
  static constexpr std::string_view name = "GoverningKey";
  static constexpr std::string_view description = "What governs a unity check.";
  static constexpr auto fields = std::make_tuple(
      field("member_id", &GoverningKey::member_id, "Member id."),
      field("load_combination_id", &GoverningKey::load_combination_id, "Load combination id."),
      field("load_case_id", &GoverningKey::load_case_id, "Load case id."));
};

template <>
struct Schema<UnityCheck> {
  static constexpr std::string_view name = "UnityCheck";
  static constexpr std::string_view description = "A unity check; carried from input to output.";
  static constexpr auto fields =
      std::make_tuple(field("check_id", &UnityCheck::check_id, "Name of the check."),
                      field("ok", &UnityCheck::ok, "Whether the check passes."),
                      field("value", &UnityCheck::value, "Utilisation."),
                      field("limit", &UnityCheck::limit, "Limit of the utilisation."),
                      field("message", &UnityCheck::message, "Text of the check."),
                      field("governing", &UnityCheck::governing, "What governs."),
                      field("details", &UnityCheck::details, "Free details, any JSON value, kept as read."));
};

template <>
struct Schema<UnityCheckOverview> {
  static constexpr std::string_view name = "UnityCheckOverview";
  static constexpr std::string_view description = "Overview of a unity check; carried from input to output.";
  static constexpr auto fields = std::make_tuple(
      field("check_id", &UnityCheckOverview::check_id, "Name of the check."),
      field("aggregated_ok", &UnityCheckOverview::aggregated_ok, "Whether all children pass."),
      field("aggregated_value", &UnityCheckOverview::aggregated_value, "Aggregated utilisation."),
      field("governing", &UnityCheckOverview::governing, "What governs."),
      field("children", &UnityCheckOverview::children, "The individual checks."));
};

template <>
struct Schema<Results> {
  static constexpr std::string_view name = "Results";
  static constexpr std::string_view description = "Results of one load case or load combination.";
  static constexpr auto fields = std::make_tuple(
      field("name", &Results::name, "Name of the load case or combination."),
      field("result_type", &Results::result_type, "Load case or combination, with its id."),
      field("displacement_nodes", &Results::displacement_nodes,
            "Displacement of every node a member uses, keyed by node id."),
      field("reaction_nodes", &Results::reaction_nodes,
            "Reaction at every supported node a member uses, keyed by node id."),
      field("member_results", &Results::member_results,
            "End forces of every member but Rigid ones, keyed by member id."),
      field("summary", &Results::summary, "Counts of members and supports."),
      field("unity_checks", &Results::unity_checks, "Unity checks; the analysis writes null."));
};

template <>
struct Schema<ResultsBundle> {
  static constexpr std::string_view name = "ResultsBundle";
  static constexpr std::string_view description = "Results of every solved load case and combination.";
  static constexpr auto fields = std::make_tuple(
      field("loadcases", &ResultsBundle::loadcases, "Results of load cases, keyed by load case name."),
      field("loadcombinations", &ResultsBundle::loadcombinations,
            "Results of load combinations, keyed by combination name."),
      field("unity_checks_overview", &ResultsBundle::unity_checks_overview,
            "Overview of unity checks, keyed by check name; carried."));
};

// ---- root ----

template <>
struct Schema<VELK> {
  static constexpr std::string_view name = "VELK";
  static constexpr std::string_view description =
      "A velk model document: the structure, its loads, the settings and, once analysed, the results.";
  static constexpr auto fields = std::make_tuple(
      field("member_sets", &VELK::member_sets, "All members, grouped in sets."),
      field("load_cases", &VELK::load_cases, "Load cases."),
      field("load_combinations", &VELK::load_combinations, "Load combinations."),
      field("imperfection_cases", &VELK::imperfection_cases, "Imperfection cases; carried, not used."),
      field("settings", &VELK::settings, "Analysis options, information and units."),
      field("results", &VELK::results,
            "Results; the analysis adds one record per solved load case and combination."),
      field("memberhinges", &VELK::memberhinges, "Hinges named by members."),
      field("materials", &VELK::materials, "Materials named by sections."),
      field("sections", &VELK::sections, "Sections named by members."),
      field("nodal_supports", &VELK::nodal_supports, "Supports named by nodes."),
      field("shape_paths", &VELK::shape_paths, "Section outlines; carried."));
};

}  // namespace velk::json
