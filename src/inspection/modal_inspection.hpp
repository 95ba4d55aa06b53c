#pragma once
// The front ends' view of a modal analysis: from a model document to its
// modes as JSON or as a table, in the document's length unit and in
// kilograms. The command `velk modes`, the function
// velk_tools.modal_analysis and the report share it.

#include <optional>
#include <string>
#include <string_view>

#include "base/result.hpp"
#include "document/velk.hpp"
#include "dynamics/modal_analysis.hpp"

namespace velk {

// The modes of a model as its document gives it (a model, or a results
// document whose records are in base units already), with the name of the
// document's length unit.
struct InspectedModes {
  ModalAnalysis analysis;
  std::string length_unit;     // "mm", "cm" or "m"
  double length_factor = 1.0;  // metres per length unit
};
Result<InspectedModes> inspect_modes(const VELK& model, const ModalOptions& options);

// Reads the text ("Bad JSON input: ...") and analyses its modes.
Result<InspectedModes> inspect_modes(std::string_view json_text, const ModalOptions& options);

// {"length_unit", "mass_unit": "kg", "mass", "total_mass": {"X", "Y", "Z"},
//  "modes": [{"number", "omega", "frequency", "period",
//             "shape": {NODE: {"dx", "dy", "dz", "rx", "ry", "rz"}},
//             "participation", "effective_mass", "effective_mass_ratio",
//             "cumulative_mass_ratio"}]}
// Shapes: translations as ratios to the largest (+1), rotations in radians
// per length unit of that translation (a mode without translations has its
// largest rotation +1 instead); a ratio to a zero total mass is null.
std::string modes_to_json(const InspectedModes& modes);

// The table of `velk modes`: per mode f, T, the effective mass ratios and
// their cumulative sums, then the total mass.
std::string modes_table(const InspectedModes& modes);

// velk_tools.modal_analysis: the JSON text of the modes, `modes` from 1 to
// max_mode_count and `mass` "consistent" or "lumped" (messages otherwise).
Result<std::string> modal_analysis_json(std::string_view json_text, long modes, std::string_view mass,
                                        const std::optional<std::string>& mass_case,
                                        const MemberLimit& limit = {});

}  // namespace velk
