// The stability of a model as JSON text.

#include "base/json_text.hpp"
#include "stability/stability.hpp"

namespace velk {
namespace {

void write_optional(std::string& out, const std::optional<double>& value) {
  if (value) {
    json::write_value(out, *value);
  } else {
    out.append("null");
  }
}

void write_optional(std::string& out, const std::optional<std::string>& value) {
  if (value) {
    json::write_string(out, *value);
  } else {
    out.append("null");
  }
}

void write_shape(std::string& out, const std::map<std::uint32_t, NodeDisplacement>& shape) {
  out.push_back('{');
  bool first = true;
  for (const auto& [id, d] : shape) {
    json::write_key(out, std::to_string(id), first);
    first = false;
    const std::pair<const char*, double> components[] = {{"dx", d.dx}, {"dy", d.dy}, {"dz", d.dz},
                                                         {"rx", d.rx}, {"ry", d.ry}, {"rz", d.rz}};
    out.push_back('{');
    bool first_component = true;
    for (const auto& [key, value] : components) {
      json::write_key(out, key, first_component);
      first_component = false;
      json::write_value(out, value);
    }
    out.push_back('}');
  }
  out.push_back('}');
}

void write_member(std::string& out, const MemberBuckling& m) {
  out.push_back('{');
  json::write_key(out, "N", true);
  json::write_value(out, m.axial_force);
  json::write_key(out, "N_cr", false);
  write_optional(out, m.critical_force);
  json::write_key(out, "L_cr_y", false);
  write_optional(out, m.length_y);
  json::write_key(out, "L_cr_z", false);
  write_optional(out, m.length_z);
  json::write_key(out, "k_y", false);
  write_optional(out, m.factor_y);
  json::write_key(out, "k_z", false);
  write_optional(out, m.factor_z);
  json::write_key(out, "bending_axis", false);
  write_optional(out, m.bending_axis);
  json::write_key(out, "energy_share", false);
  json::write_value(out, m.energy_share);
  out.push_back('}');
}

void write_case(std::string& out, const CaseStability& c) {
  out.push_back('{');
  json::write_key(out, "critical_factors", true);
  out.push_back('[');
  for (std::size_t i = 0; i < c.critical_factors.size(); ++i) {
    if (i > 0) out.push_back(',');
    json::write_value(out, c.critical_factors[i]);
  }
  out.push_back(']');
  json::write_key(out, "reversed_factor", false);
  write_optional(out, c.reversed_factor);
  json::write_key(out, "verdict", false);
  json::write_string(out, c.verdict);
  json::write_key(out, "message", false);
  write_optional(out, c.message);
  json::write_key(out, "modes", false);
  out.push_back('[');
  for (std::size_t i = 0; i < c.modes.size(); ++i) {
    if (i > 0) out.push_back(',');
    const BucklingMode& mode = c.modes[i];
    out.push_back('{');
    json::write_key(out, "factor", true);
    json::write_value(out, mode.factor);
    json::write_key(out, "shape", false);
    write_shape(out, mode.shape);
    json::write_key(out, "members", false);
    out.push_back('{');
    for (std::size_t j = 0; j < mode.members.size(); ++j) {
      json::write_key(out, std::to_string(mode.members[j].member), j == 0);
      write_member(out, mode.members[j]);
    }
    out.push_back('}');
    out.push_back('}');
  }
  out.push_back(']');
  out.push_back('}');
}

void write_cases(std::string& out, const std::vector<CaseStability>& cases) {
  out.push_back('{');
  for (std::size_t i = 0; i < cases.size(); ++i) {
    if (i > 0) out.push_back(',');
    json::write_string(out, cases[i].name);  // escaped: names are the user's text
    out.push_back(':');
    write_case(out, cases[i]);
  }
  out.push_back('}');
}

}  // namespace

std::string stability_to_json(const StabilityAnalysis& analysis) {
  std::string out = "{";
  json::write_key(out, "length_unit", true);
  json::write_string(out, analysis.length_unit);
  json::write_key(out, "force_unit", false);
  json::write_string(out, analysis.force_unit);
  json::write_key(out, "loadcases", false);
  write_cases(out, analysis.loadcases);
  json::write_key(out, "loadcombinations", false);
  write_cases(out, analysis.loadcombinations);
  out.push_back('}');
  return out;
}

}  // namespace velk
