#include "inspection/modal_inspection.hpp"

#include <cmath>
#include <cstdio>

#include "base/json_text.hpp"
#include "base/message_format.hpp"
#include "base/record_schema.hpp"
#include "document/document_io.hpp"
#include "document/record_schema.hpp"
#include "document/units.hpp"
#include "inspection/inspection.hpp"
#include "member/member_dofs.hpp"
#include "system/model_validation.hpp"

namespace velk {
namespace {

constexpr const char* direction_keys[] = {"X", "Y", "Z"};
constexpr const char* shape_keys[] = {"dx", "dy", "dz", "rx", "ry", "rz"};

void write_directions(std::string& out, std::string_view key, const Directions& values) {
  json::write_key(out, key, false);
  out.push_back('{');
  for (int d = 0; d < 3; ++d) {
    json::write_key(out, direction_keys[d], d == 0);
    json::write_value(out, values[static_cast<std::size_t>(d)]);
  }
  out.push_back('}');
}

// A ratio as the table shows it; "-" where there is no mass to share.
std::string ratio_cell(double ratio) {
  if (!std::isfinite(ratio)) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.4f", ratio);
  return text;
}

std::string number_cell(const char* format, double value) {
  char text[48];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

Result<InspectedModes> inspect_modes(const VELK& model, const ModalOptions& options) {
  InspectedModes inspected;
  const UnitSettings& units = model.settings.unit_settings;
  inspected.length_unit = std::string(json::canonical_spelling(units.length_unit));
  inspected.length_factor = unit_factors(units).length;
  // A results document holds its records in base units already.
  Result<ModalAnalysis> analysis = std::unexpected(std::string());
  if (carries_results(model)) {
    if (auto counted = check_member_count(model, options.member_limit); !counted)
      return std::unexpected(std::move(counted.error()));
    analysis = modal_analysis(model, options);
  } else {
    analysis = modal_analysis_of_document(model, options);
  }
  if (!analysis) return std::unexpected(std::move(analysis.error()));
  inspected.analysis = std::move(*analysis);
  return inspected;
}

Result<InspectedModes> inspect_modes(std::string_view json_text, const ModalOptions& options) {
  auto parsed = read_velk(json_text);
  if (!parsed) return std::unexpected(format_message("Bad JSON input: {}", parsed.error()));
  return inspect_modes(*parsed, options);
}

std::string modes_to_json(const InspectedModes& inspected) {
  const ModalAnalysis& analysis = inspected.analysis;
  std::string out = "{";
  json::write_key(out, "length_unit", true);
  json::write_value(out, inspected.length_unit);
  json::write_key(out, "mass_unit", false);
  json::write_value(out, std::string_view("kg"));
  json::write_key(out, "mass", false);
  json::write_value(out, mass_kind_name(analysis.mass));
  write_directions(out, "total_mass", analysis.total_mass);
  json::write_key(out, "modes", false);
  out.push_back('[');
  for (std::size_t i = 0; i < analysis.modes.size(); ++i) {
    const Mode& mode = analysis.modes[i];
    if (i > 0) out.push_back(',');
    out.push_back('{');
    json::write_key(out, "number", true);
    json::write_value(out, static_cast<std::uint64_t>(i + 1));
    json::write_key(out, "omega", false);
    json::write_value(out, mode.omega);
    json::write_key(out, "frequency", false);
    json::write_value(out, mode.frequency);
    json::write_key(out, "period", false);
    json::write_value(out, mode.period);
    json::write_key(out, "shape", false);
    out.push_back('{');
    const Eigen::Index nodes = mode.shape.size() / dof::PER_NODE;
    for (Eigen::Index n = 0; n < nodes; ++n) {
      json::write_key(out, std::to_string(n + 1), n == 0);
      out.push_back('{');
      for (int k = 0; k < dof::PER_NODE; ++k) {
        // Rotations per length unit of the largest translation.
        double value = mode.shape[dof::PER_NODE * n + k];
        if (k >= dof::RX && !mode.twist) value *= inspected.length_factor;
        json::write_key(out, shape_keys[k], k == 0);
        json::write_value(out, value);
      }
      out.push_back('}');
    }
    out.push_back('}');
    write_directions(out, "participation", mode.participation);
    write_directions(out, "effective_mass", mode.effective_mass);
    write_directions(out, "effective_mass_ratio", mode.effective_mass_ratio);
    write_directions(out, "cumulative_mass_ratio", mode.cumulative_mass_ratio);
    out.push_back('}');
  }
  out.append("]}");
  return out;
}

std::string modes_table(const InspectedModes& inspected) {
  const ModalAnalysis& analysis = inspected.analysis;
  std::string out = format_message("Natural modes ({} mass), {} found:\n", mass_kind_name(analysis.mass),
                                   static_cast<std::uint64_t>(analysis.modes.size()));
  out += "  mode      f (Hz)       T (s)  mass X  mass Y  mass Z   sum X   sum Y   sum Z\n";
  for (std::size_t i = 0; i < analysis.modes.size(); ++i) {
    const Mode& mode = analysis.modes[i];
    char line[64];
    std::snprintf(line, sizeof line, "  %4zu %11s %11s", i + 1, number_cell("%.5g", mode.frequency).c_str(),
                  number_cell("%.5g", mode.period).c_str());
    out += line;
    for (const Directions* ratios : {&mode.effective_mass_ratio, &mode.cumulative_mass_ratio}) {
      for (const double ratio : *ratios) {
        char cell[16];
        std::snprintf(cell, sizeof cell, " %7s", ratio_cell(ratio).c_str());
        out += cell;
      }
    }
    out += "\n";
  }
  out +=
      format_message("Total mass (kg, not held by the supports): X {}, Y {}, Z {}\n",
                     number_cell("%.6g", analysis.total_mass[0]), number_cell("%.6g", analysis.total_mass[1]),
                     number_cell("%.6g", analysis.total_mass[2]));
  return out;
}

Result<std::string> modal_analysis_json(std::string_view json_text, long modes, std::string_view mass,
                                        const std::optional<std::string>& mass_case,
                                        const MemberLimit& limit) {
  if (modes < 1 || modes > max_mode_count) {
    return std::unexpected(format_message("modes must be a whole number from 1 to {}, not {}",
                                          static_cast<std::int64_t>(max_mode_count),
                                          static_cast<std::int64_t>(modes)));
  }
  const std::optional<MassKind> kind = parse_mass_kind(mass);
  if (!kind) return std::unexpected(format_message("mass must be 'consistent' or 'lumped', not '{}'", mass));
  ModalOptions options;
  options.modes = static_cast<int>(modes);
  options.mass = *kind;
  options.mass_case = mass_case;
  options.member_limit = limit;
  auto inspected = inspect_modes(json_text, options);
  if (!inspected) return std::unexpected(std::move(inspected.error()));
  return modes_to_json(*inspected);
}

}  // namespace velk
