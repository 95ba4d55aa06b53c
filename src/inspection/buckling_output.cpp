#include "inspection/buckling_output.hpp"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "base/message_format.hpp"
#include "document/document_io.hpp"
#include "inspection/inspection.hpp"

namespace velk {
namespace {

// Six significant digits, as an engineer reads a summary.
std::string num(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.6g", value);
  return buffer;
}

std::string num(const std::optional<double>& value) { return value ? num(*value) : std::string("-"); }

void summarise_case(std::string& out, const StabilityAnalysis& analysis, const CaseStability& c) {
  const std::string& lu = analysis.length_unit;
  const std::string& fu = analysis.force_unit;
  out += format_message("{} \"{}\" (id {})\n", c.identity.is_combination() ? "Load combination" : "Load case",
                        c.name, c.identity.id);
  if (c.message) out += format_message("  {}\n", *c.message);
  if (!c.critical_factors.empty()) {
    std::string factors;
    for (std::size_t i = 0; i < c.critical_factors.size(); ++i) {
      if (i > 0) factors += ", ";
      factors += format_message("α_cr,{} = {}", i + 1, num(c.critical_factors[i]));
    }
    out += format_message("  critical load factors: {}\n", factors);
  }
  out += format_message("  verdict: {}\n", c.verdict);
  out += format_message("  reversed load buckles at: {}\n",
                        c.reversed_factor ? num(*c.reversed_factor) : std::string("never"));
  if (c.modes.empty()) return;
  std::vector<const MemberBuckling*> members;
  for (const MemberBuckling& m : c.modes.front().members) {
    if (m.critical_force) members.push_back(&m);
  }
  // N_cr / |N| is the mode's factor for every member in compression: the
  // members that take the largest part in the mode come first.
  std::ranges::stable_sort(members, [](const MemberBuckling* a, const MemberBuckling* b) {
    if (a->energy_share != b->energy_share) return a->energy_share > b->energy_share;
    return std::abs(a->axial_force) > std::abs(b->axial_force);
  });
  if (members.size() > summary_members) members.resize(summary_members);
  out += "  members in compression taking the largest part in mode 1:\n";
  for (const MemberBuckling* m : members) {
    out += format_message(
        "    member {}: N {} {}, N_cr {} {}, L_cr,y {} {}, L_cr,z {} {}, bends about {}, energy share {}\n",
        m->member, num(m->axial_force), fu, num(m->critical_force), fu, num(m->length_y), lu,
        num(m->length_z), lu, m->bending_axis ? *m->bending_axis : std::string("-"), num(m->energy_share));
  }
}

}  // namespace

Result<StabilityAnalysis> inspect_stability(std::string_view json_text, int modes, const MemberLimit& limit) {
  if (modes < 1) return std::unexpected(format_message("modes must be at least 1, not {}", modes));
  if (modes > max_buckling_modes)
    return std::unexpected(format_message("modes must be at most {}, not {}", max_buckling_modes, modes));
  auto parsed = read_velk(json_text);
  if (!parsed) return std::unexpected(format_message("Bad JSON input: {}", parsed.error()));
  const StabilityOptions options{.modes = modes, .dense_limit = std::nullopt};
  // A results document holds its model in base units already.
  if (carries_results(*parsed))
    return analyse_stability(*parsed, unit_factors(parsed->settings.unit_settings), options);
  return analyse_document_stability(*parsed, options, limit);
}

Result<std::string> buckling_json(std::string_view json_text, int modes, const MemberLimit& limit) {
  Result<StabilityAnalysis> analysis = inspect_stability(json_text, modes, limit);
  if (!analysis) return std::unexpected(std::move(analysis.error()));
  return stability_to_json(*analysis);
}

std::string buckling_summary(const StabilityAnalysis& analysis) {
  std::string out = format_message("Units: length {}, force {}\n", analysis.length_unit, analysis.force_unit);
  for (const CaseStability& c : analysis.loadcases) summarise_case(out, analysis, c);
  for (const CaseStability& c : analysis.loadcombinations) summarise_case(out, analysis, c);
  return out;
}

std::string critical_factor_line(const CaseStability& stability) {
  if (stability.critical_factors.empty()) {
    return format_message("  α_cr,1: none, {} ({})\n", stability.message.value_or("no buckling mode"),
                          stability.verdict);
  }
  return format_message("  α_cr,1: {} ({})\n", num(stability.critical_factors.front()), stability.verdict);
}

}  // namespace velk
