#pragma once
// How each record of the model document appears in JSON: its name, its keys
// in record order, and the spellings of every enumeration. The reader and the
// writer are both driven by these tables, so the two can never disagree.

#include <array>
#include <optional>
#include <string_view>
#include <tuple>
#include <type_traits>

#include "document/velk.hpp"

namespace velk::json {

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};

template <class R, class V>
struct Field {
  std::string_view key;
  V R::*member;
  bool defaulted;  // absent means the record's default value
  static constexpr bool is_optional = IsOptional<V>::value;
};

template <class R, class V>
constexpr Field<R, V> field(std::string_view key, V R::*member) {
  return {key, member, false};
}

template <class R, class V>
constexpr Field<R, V> defaulted_field(std::string_view key, V R::*member) {
  return {key, member, true};
}

template <class R>
struct Schema;

template <class R>
concept Record = requires {
  Schema<R>::fields;
};

// Accepted spellings in order with their values; `canonical` is indexed by the
// enumeration's value and is what the writer uses.
template <class E>
struct EnumSpellings;

template <class E>
concept SpelledEnum = std::is_enum_v<E> && requires {
  EnumSpellings<E>::accepted;
};

template <SpelledEnum E>
constexpr std::string_view canonical_spelling(E value) {
  return EnumSpellings<E>::canonical[static_cast<std::size_t>(value)];
}

// ---- enumerations ----

template <>
struct EnumSpellings<MemberType> {
  static constexpr std::array<std::string_view, 5> accepted{"Normal", "Truss", "Tension", "Compression",
                                                            "Rigid"};
  static constexpr std::array<MemberType, 5> values{
      MemberType::Normal, MemberType::Truss, MemberType::Tension, MemberType::Compression, MemberType::Rigid};
  static constexpr std::array<std::string_view, 5> canonical = accepted;
};

template <>
struct EnumSpellings<ConditionType> {
  static constexpr std::array<std::string_view, 5> accepted{"Fixed", "Free", "Spring", "PositiveOnly",
                                                            "NegativeOnly"};
  static constexpr std::array<ConditionType, 5> values{ConditionType::Fixed, ConditionType::Free,
                                                       ConditionType::Spring, ConditionType::PositiveOnly,
                                                       ConditionType::NegativeOnly};
  static constexpr std::array<std::string_view, 5> canonical = accepted;
};

template <>
struct EnumSpellings<LimitState> {
  static constexpr std::array<std::string_view, 4> accepted{"SLS", "ULS", "FLS", "ALS"};
  static constexpr std::array<LimitState, 4> values{LimitState::SLS, LimitState::ULS, LimitState::FLS,
                                                    LimitState::ALS};
  static constexpr std::array<std::string_view, 4> canonical = accepted;
};

template <>
struct EnumSpellings<AnalysisOrder> {
  static constexpr std::array<std::string_view, 6> accepted{"LINEAR",    "Linear",    "linear",
                                                            "NONLINEAR", "Nonlinear", "nonlinear"};
  static constexpr std::array<AnalysisOrder, 6> values{AnalysisOrder::Linear,    AnalysisOrder::Linear,
                                                       AnalysisOrder::Linear,    AnalysisOrder::Nonlinear,
                                                       AnalysisOrder::Nonlinear, AnalysisOrder::Nonlinear};
  static constexpr std::array<std::string_view, 2> canonical{"LINEAR", "NONLINEAR"};
};

template <>
struct EnumSpellings<RigidStrategy> {
  static constexpr std::array<std::string_view, 6> accepted{"LinearMpc",   "Linear_MPC",   "linear_mpc",
                                                            "RigidMember", "Rigid_Member", "rigid_member"};
  static constexpr std::array<RigidStrategy, 6> values{
      RigidStrategy::LinearMpc,   RigidStrategy::LinearMpc,   RigidStrategy::LinearMpc,
      RigidStrategy::RigidMember, RigidStrategy::RigidMember, RigidStrategy::RigidMember};
  static constexpr std::array<std::string_view, 2> canonical{"LinearMpc", "RigidMember"};
};

template <>
struct EnumSpellings<Dimensionality> {
  static constexpr std::array<std::string_view, 4> accepted{"2D", "2d", "3D", "3d"};
  static constexpr std::array<Dimensionality, 4> values{Dimensionality::TwoD, Dimensionality::TwoD,
                                                        Dimensionality::ThreeD, Dimensionality::ThreeD};
  static constexpr std::array<std::string_view, 2> canonical{"2D", "3D"};
};

template <>
struct EnumSpellings<LengthUnit> {
  static constexpr std::array<std::string_view, 3> accepted{"mm", "cm", "m"};
  static constexpr std::array<LengthUnit, 3> values{LengthUnit::Mm, LengthUnit::Cm, LengthUnit::M};
  static constexpr std::array<std::string_view, 3> canonical = accepted;
};

template <>
struct EnumSpellings<ForceUnit> {
  static constexpr std::array<std::string_view, 4> accepted{"N", "n", "kN", "kn"};
  static constexpr std::array<ForceUnit, 4> values{ForceUnit::N, ForceUnit::N, ForceUnit::KN, ForceUnit::KN};
  static constexpr std::array<std::string_view, 2> canonical{"N", "kN"};
};

template <>
struct EnumSpellings<DensityUnit> {
  static constexpr std::array<std::string_view, 2> accepted{"kg/m3", "kg/mm3"};
  static constexpr std::array<DensityUnit, 2> values{DensityUnit::KgPerM3, DensityUnit::KgPerMm3};
  static constexpr std::array<std::string_view, 2> canonical = accepted;
};

template <>
struct EnumSpellings<PressureUnit> {
  static constexpr std::array<std::string_view, 8> accepted{"Pa",  "pa",  "kPa", "kpa",
                                                            "MPa", "mpa", "GPa", "gpa"};
  static constexpr std::array<PressureUnit, 8> values{PressureUnit::Pa,  PressureUnit::Pa,  PressureUnit::KPa,
                                                      PressureUnit::KPa, PressureUnit::MPa, PressureUnit::MPa,
                                                      PressureUnit::GPa, PressureUnit::GPa};
  static constexpr std::array<std::string_view, 4> canonical{"Pa", "kPa", "MPa", "GPa"};
};

// ---- structure records ----

template <>
struct Schema<Node> {
  static constexpr std::string_view name = "Node";
  static constexpr auto fields =
      std::make_tuple(field("id", &Node::id), field("X", &Node::x), field("Y", &Node::y),
                      field("Z", &Node::z), field("nodal_support", &Node::nodal_support));
};

template <>
struct Schema<Member> {
  static constexpr std::string_view name = "Member";
  static constexpr auto fields = std::make_tuple(
      field("id", &Member::id), field("start_node", &Member::start_node),
      field("end_node", &Member::end_node), field("section", &Member::section),
      field("rotation_angle", &Member::rotation_angle), field("start_hinge", &Member::start_hinge),
      field("end_hinge", &Member::end_hinge), field("classification", &Member::classification),
      field("weight", &Member::weight), field("chi", &Member::chi),
      field("reference_member", &Member::reference_member), field("reference_node", &Member::reference_node),
      field("member_type", &Member::member_type));
};

template <>
struct Schema<MemberSet> {
  static constexpr std::string_view name = "MemberSet";
  static constexpr auto fields = std::make_tuple(
      field("id", &MemberSet::id), field("l_y", &MemberSet::l_y), field("l_z", &MemberSet::l_z),
      field("classification", &MemberSet::classification), field("members", &MemberSet::members));
};

template <>
struct Schema<Section> {
  static constexpr std::string_view name = "Section";
  static constexpr auto fields =
      std::make_tuple(field("id", &Section::id), field("name", &Section::name),
                      field("material", &Section::material), field("h", &Section::h), field("b", &Section::b),
                      field("i_y", &Section::i_y), field("i_z", &Section::i_z), field("j", &Section::j),
                      field("area", &Section::area), field("shape_path", &Section::shape_path));
};

template <>
struct Schema<Material> {
  static constexpr std::string_view name = "Material";
  static constexpr auto fields =
      std::make_tuple(field("id", &Material::id), field("name", &Material::name),
                      field("e_mod", &Material::e_mod), field("g_mod", &Material::g_mod),
                      field("density", &Material::density), field("yield_stress", &Material::yield_stress));
};

template <>
struct Schema<ShapeCommand> {
  static constexpr std::string_view name = "ShapeCommand";
  static constexpr auto fields = std::make_tuple(
      field("command", &ShapeCommand::command), field("y", &ShapeCommand::y), field("z", &ShapeCommand::z),
      field("r", &ShapeCommand::r), field("control_y1", &ShapeCommand::control_y1),
      field("control_z1", &ShapeCommand::control_z1), field("control_y2", &ShapeCommand::control_y2),
      field("control_z2", &ShapeCommand::control_z2));
};

template <>
struct Schema<ShapePath> {
  static constexpr std::string_view name = "ShapePath";
  static constexpr auto fields = std::make_tuple(field("id", &ShapePath::id), field("name", &ShapePath::name),
                                                 field("shape_commands", &ShapePath::shape_commands));
};

template <>
struct Schema<MemberHinge> {
  static constexpr std::string_view name = "MemberHinge";
  static constexpr auto fields =
      std::make_tuple(field("id", &MemberHinge::id), field("hinge_type", &MemberHinge::hinge_type),
                      field("translational_release_vx", &MemberHinge::translational_release_vx),
                      field("translational_release_vy", &MemberHinge::translational_release_vy),
                      field("translational_release_vz", &MemberHinge::translational_release_vz),
                      field("rotational_release_mx", &MemberHinge::rotational_release_mx),
                      field("rotational_release_my", &MemberHinge::rotational_release_my),
                      field("rotational_release_mz", &MemberHinge::rotational_release_mz),
                      field("max_tension_vx", &MemberHinge::max_tension_vx),
                      field("max_tension_vy", &MemberHinge::max_tension_vy),
                      field("max_tension_vz", &MemberHinge::max_tension_vz),
                      field("max_moment_mx", &MemberHinge::max_moment_mx),
                      field("max_moment_my", &MemberHinge::max_moment_my),
                      field("max_moment_mz", &MemberHinge::max_moment_mz));
};

template <>
struct Schema<SupportCondition> {
  static constexpr std::string_view name = "SupportCondition";
  static constexpr auto fields = std::make_tuple(field("condition_type", &SupportCondition::condition_type),
                                                 field("stiffness", &SupportCondition::stiffness));
};

template <>
struct Schema<NodalSupport> {
  static constexpr std::string_view name = "NodalSupport";
  static constexpr auto fields =
      std::make_tuple(field("id", &NodalSupport::id), field("classification", &NodalSupport::classification),
                      field("displacement_conditions", &NodalSupport::displacement_conditions),
                      field("rotation_conditions", &NodalSupport::rotation_conditions));
};

// ---- load records ----

template <>
struct Schema<NodalLoad> {
  static constexpr std::string_view name = "NodalLoad";
  static constexpr auto fields =
      std::make_tuple(field("id", &NodalLoad::id), field("node", &NodalLoad::node),
                      field("load_case", &NodalLoad::load_case), field("magnitude", &NodalLoad::magnitude),
                      field("direction", &NodalLoad::direction), field("load_type", &NodalLoad::load_type));
};

template <>
struct Schema<NodalMoment> {
  static constexpr std::string_view name = "NodalMoment";
  static constexpr auto fields = std::make_tuple(
      field("id", &NodalMoment::id), field("node", &NodalMoment::node),
      field("load_case", &NodalMoment::load_case), field("magnitude", &NodalMoment::magnitude),
      field("direction", &NodalMoment::direction), field("load_type", &NodalMoment::load_type));
};

template <>
struct Schema<DistributedLoad> {
  static constexpr std::string_view name = "DistributedLoad";
  static constexpr auto fields = std::make_tuple(
      field("member", &DistributedLoad::member), field("load_case", &DistributedLoad::load_case),
      field("magnitude", &DistributedLoad::magnitude), field("direction", &DistributedLoad::direction),
      field("start_frac", &DistributedLoad::start_frac), field("end_frac", &DistributedLoad::end_frac),
      field("end_magnitude", &DistributedLoad::end_magnitude));
};

template <>
struct Schema<RotationImperfection> {
  static constexpr std::string_view name = "RotationImperfection";
  static constexpr auto fields = std::make_tuple(field("memberset_ids", &RotationImperfection::memberset_ids),
                                                 field("magnitude", &RotationImperfection::magnitude),
                                                 field("axis", &RotationImperfection::axis));
};

template <>
struct Schema<TranslationImperfection> {
  static constexpr std::string_view name = "TranslationImperfection";
  static constexpr auto fields = std::make_tuple(
      field("memberset_ids", &TranslationImperfection::memberset_ids),
      field("magnitude", &TranslationImperfection::magnitude), field("axis", &TranslationImperfection::axis));
};

template <>
struct Schema<LoadCase> {
  static constexpr std::string_view name = "LoadCase";
  static constexpr auto fields = std::make_tuple(
      field("id", &LoadCase::id), field("name", &LoadCase::name),
      field("nodal_loads", &LoadCase::nodal_loads), field("nodal_moments", &LoadCase::nodal_moments),
      field("distributed_loads", &LoadCase::distributed_loads),
      field("rotation_imperfections", &LoadCase::rotation_imperfections),
      field("translation_imperfections", &LoadCase::translation_imperfections));
};

template <>
struct Schema<LoadCombination> {
  static constexpr std::string_view name = "LoadCombination";
  static constexpr auto fields = std::make_tuple(
      field("id", &LoadCombination::id), field("name", &LoadCombination::name),
      field("load_cases_factors", &LoadCombination::load_cases_factors),
      field("situation", &LoadCombination::situation), field("check", &LoadCombination::check),
      field("limit_state", &LoadCombination::limit_state));
};

template <>
struct Schema<ImperfectionCase> {
  static constexpr std::string_view name = "ImperfectionCase";
  static constexpr auto fields =
      std::make_tuple(field("imperfection_case_id", &ImperfectionCase::imperfection_case_id),
                      field("load_combinations", &ImperfectionCase::load_combinations),
                      field("rotation_imperfections", &ImperfectionCase::rotation_imperfections),
                      field("translation_imperfections", &ImperfectionCase::translation_imperfections));
};

// ---- settings ----

template <>
struct Schema<AnalysisOptions> {
  static constexpr std::string_view name = "AnalysisOptions";
  static constexpr auto fields = std::make_tuple(
      field("id", &AnalysisOptions::id), field("solve_loadcases", &AnalysisOptions::solve_loadcases),
      field("solver", &AnalysisOptions::solver), field("tolerance", &AnalysisOptions::tolerance),
      field("max_iterations", &AnalysisOptions::max_iterations),
      field("dimensionality", &AnalysisOptions::dimensionality), field("order", &AnalysisOptions::order),
      field("rigid_strategy", &AnalysisOptions::rigid_strategy),
      field("axial_slack", &AnalysisOptions::axial_slack));
};

template <>
struct Schema<GeneralInfo> {
  static constexpr std::string_view name = "GeneralInfo";
  static constexpr auto fields =
      std::make_tuple(field("project_name", &GeneralInfo::project_name),
                      field("author", &GeneralInfo::author), field("version", &GeneralInfo::version));
};

template <>
struct Schema<UnitSettings> {
  static constexpr std::string_view name = "UnitSettings";
  static constexpr auto fields =
      std::make_tuple(defaulted_field("system", &UnitSettings::system),
                      defaulted_field("lengthUnit", &UnitSettings::length_unit),
                      defaulted_field("forceUnit", &UnitSettings::force_unit),
                      defaulted_field("densityUnit", &UnitSettings::density_unit),
                      defaulted_field("pressureUnit", &UnitSettings::pressure_unit));
};

template <>
struct Schema<Settings> {
  static constexpr std::string_view name = "Settings";
  static constexpr auto fields = std::make_tuple(
      field("id", &Settings::id), field("analysis_options", &Settings::analysis_options),
      field("general_info", &Settings::general_info), field("unit_settings", &Settings::unit_settings));
};

// ---- results ----

template <>
struct Schema<NodeDisplacement> {
  static constexpr std::string_view name = "NodeDisplacement";
  static constexpr auto fields =
      std::make_tuple(field("dx", &NodeDisplacement::dx), field("dy", &NodeDisplacement::dy),
                      field("dz", &NodeDisplacement::dz), field("rx", &NodeDisplacement::rx),
                      field("ry", &NodeDisplacement::ry), field("rz", &NodeDisplacement::rz));
};

template <>
struct Schema<NodeForces> {
  static constexpr std::string_view name = "NodeForces";
  static constexpr auto fields = std::make_tuple(field("fx", &NodeForces::fx), field("fy", &NodeForces::fy),
                                                 field("fz", &NodeForces::fz), field("mx", &NodeForces::mx),
                                                 field("my", &NodeForces::my), field("mz", &NodeForces::mz));
};

template <>
struct Schema<NodeLocation> {
  static constexpr std::string_view name = "NodeLocation";
  static constexpr auto fields = std::make_tuple(field("X", &NodeLocation::x), field("Y", &NodeLocation::y),
                                                 field("Z", &NodeLocation::z));
};

template <>
struct Schema<ReactionNodeResult> {
  static constexpr std::string_view name = "ReactionNodeResult";
  static constexpr auto fields = std::make_tuple(field("nodal_forces", &ReactionNodeResult::nodal_forces),
                                                 field("location", &ReactionNodeResult::location),
                                                 field("support_id", &ReactionNodeResult::support_id));
};

template <>
struct Schema<MemberResult> {
  static constexpr std::string_view name = "MemberResult";
  static constexpr auto fields =
      std::make_tuple(field("start_node_forces", &MemberResult::start_node_forces),
                      field("end_node_forces", &MemberResult::end_node_forces),
                      field("maximums", &MemberResult::maximums), field("minimums", &MemberResult::minimums));
};

template <>
struct Schema<ResultsSummary> {
  static constexpr std::string_view name = "ResultsSummary";
  static constexpr auto fields =
      std::make_tuple(field("total_displacements", &ResultsSummary::total_displacements),
                      field("total_reaction_forces", &ResultsSummary::total_reaction_forces),
                      field("total_member_forces", &ResultsSummary::total_member_forces));
};

template <>
struct Schema<GoverningKey> {
  static constexpr std::string_view name = "GoverningKey";
  static constexpr auto fields =
      std::make_tuple(field("member_id", &GoverningKey::member_id),
                      field("load_combination_id", &GoverningKey::load_combination_id),
                      field("load_case_id", &GoverningKey::load_case_id));
};

template <>
struct Schema<UnityCheck> {
  static constexpr std::string_view name = "UnityCheck";
  static constexpr auto fields =
      std::make_tuple(field("check_id", &UnityCheck::check_id), field("ok", &UnityCheck::ok),
                      field("value", &UnityCheck::value), field("limit", &UnityCheck::limit),
                      field("message", &UnityCheck::message), field("governing", &UnityCheck::governing),
                      field("details", &UnityCheck::details));
};

template <>
struct Schema<UnityCheckOverview> {
  static constexpr std::string_view name = "UnityCheckOverview";
  static constexpr auto fields = std::make_tuple(
      field("check_id", &UnityCheckOverview::check_id),
      field("aggregated_ok", &UnityCheckOverview::aggregated_ok),
      field("aggregated_value", &UnityCheckOverview::aggregated_value),
      field("governing", &UnityCheckOverview::governing), field("children", &UnityCheckOverview::children));
};

template <>
struct Schema<Results> {
  static constexpr std::string_view name = "Results";
  static constexpr auto fields = std::make_tuple(
      field("name", &Results::name), field("result_type", &Results::result_type),
      field("displacement_nodes", &Results::displacement_nodes),
      field("reaction_nodes", &Results::reaction_nodes), field("member_results", &Results::member_results),
      field("summary", &Results::summary), field("unity_checks", &Results::unity_checks));
};

template <>
struct Schema<ResultsBundle> {
  static constexpr std::string_view name = "ResultsBundle";
  static constexpr auto fields =
      std::make_tuple(field("loadcases", &ResultsBundle::loadcases),
                      field("loadcombinations", &ResultsBundle::loadcombinations),
                      field("unity_checks_overview", &ResultsBundle::unity_checks_overview));
};

// ---- root ----

template <>
struct Schema<VELK> {
  static constexpr std::string_view name = "VELK";
  static constexpr auto fields = std::make_tuple(
      field("member_sets", &VELK::member_sets), field("load_cases", &VELK::load_cases),
      field("load_combinations", &VELK::load_combinations),
      field("imperfection_cases", &VELK::imperfection_cases), field("settings", &VELK::settings),
      field("results", &VELK::results), field("memberhinges", &VELK::memberhinges),
      field("materials", &VELK::materials), field("sections", &VELK::sections),
      field("nodal_supports", &VELK::nodal_supports), field("shape_paths", &VELK::shape_paths));
};

}  // namespace velk::json
