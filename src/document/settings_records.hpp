#pragma once
// Analysis options, descriptive information and the units of the document.

#include <cstdint>
#include <optional>
#include <string>

namespace velk {

enum class AnalysisOrder { Linear, Nonlinear };
enum class RigidStrategy { LinearMpc, RigidMember };
enum class Dimensionality { TwoD, ThreeD };
enum class LengthUnit { Mm, Cm, M };
enum class ForceUnit { N, KN };
enum class DensityUnit { KgPerM3, KgPerMm3 };
enum class PressureUnit { Pa, KPa, MPa, GPa };

// Iteration limit used when the document gives no `max_iterations`.
inline constexpr std::uint32_t default_max_iterations = 20;

struct AnalysisOptions {
  std::uint32_t id = 0;
  bool solve_loadcases = true;
  std::string solver;
  double tolerance = 0.0;
  std::optional<std::uint32_t> max_iterations;
  Dimensionality dimensionality = Dimensionality::ThreeD;
  AnalysisOrder order = AnalysisOrder::Linear;
  RigidStrategy rigid_strategy = RigidStrategy::LinearMpc;
  double axial_slack = 0.0;

  std::uint32_t iteration_limit() const { return max_iterations.value_or(default_max_iterations); }
  // The axial force beyond which the active set switches a tension-only or
  // compression-only member: half the slack.
  double switching_tolerance() const { return 0.5 * axial_slack; }
};

struct GeneralInfo {
  std::string project_name;
  std::string author;
  std::string version;
};

// Every field has a default, used when the key is absent.
struct UnitSettings {
  std::string system = "metric";
  LengthUnit length_unit = LengthUnit::M;
  ForceUnit force_unit = ForceUnit::N;
  DensityUnit density_unit = DensityUnit::KgPerM3;
  PressureUnit pressure_unit = PressureUnit::Pa;
};

struct Settings {
  std::uint32_t id = 0;
  AnalysisOptions analysis_options;
  GeneralInfo general_info;
  UnitSettings unit_settings;
};

}  // namespace velk
