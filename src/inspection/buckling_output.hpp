#pragma once
// The front ends' view of a model's stability: from JSON text (a model, or
// a results document) to the critical load factors, modes and buckling
// lengths of every case and combination, as JSON or as a text summary.

#include <string>
#include <string_view>

#include "base/result.hpp"
#include "stability/stability.hpp"

namespace velk {

// The stability of the model of a document: a model is checked for its
// member count and normalised, a results document (whose model is in base
// units already) is taken as it is. Fails with "Bad JSON input: ...", the
// analysis' message of the first case that cannot be solved, or "modes must
// be at least 1, not 0" and "modes must be at most 100, not 101".
Result<StabilityAnalysis> inspect_stability(std::string_view json_text, int modes,
                                            const MemberLimit& limit = {});

// The same as JSON text (stability_to_json).
Result<std::string> buckling_json(std::string_view json_text, int modes, const MemberLimit& limit = {});

// The summary of `velk buckling`: per case the critical factors, the
// verdict, the reversed factor and the five members that take the largest
// part in the first mode with their N_cr and buckling lengths.
std::string buckling_summary(const StabilityAnalysis& analysis);

// The line `velk analyse --buckling` adds to a case:
// "  alpha_cr,1: 12.3 (first order sufficient (α_cr ≥ 10))".
std::string critical_factor_line(const CaseStability& stability);

// The members a summary lists for a mode.
inline constexpr std::size_t summary_members = 5;

}  // namespace velk
