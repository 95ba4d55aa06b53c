#pragma once
// What must hold for any input of a modal analysis, shared by its fuzz
// target and the test that replays the inputs it once failed on.
//
// The options come from the input itself: a first line "#MODES,MASS,CASE"
// (MASS 0 consistent, 1 lumped; CASE 0 none, 1 the first load case, 2 a
// name no case has) before the document, or, for a plain document, from its
// size, so that the examples seed every option.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>

#include "base/fault.hpp"
#include "document/document_io.hpp"
#include "dynamics/modal_analysis.hpp"

namespace velk::test_support {

struct ModalInput {
  std::string_view document;
  int modes = default_mode_count;
  int mass = 0;
  int mass_case = 0;
};

inline ModalInput modal_input(std::string_view bytes) {
  ModalInput input{bytes, 1 + static_cast<int>(bytes.size() % 8), static_cast<int>(bytes.size() / 8 % 2),
                   static_cast<int>(bytes.size() / 16 % 3)};
  if (bytes.starts_with('#')) {
    const auto end = bytes.find('\n');
    const std::string_view header =
        bytes.substr(1, end == std::string_view::npos ? bytes.size() - 1 : end - 1);
    int values[3] = {default_mode_count, 0, 0};
    std::size_t at = 0;
    for (int& value : values) {
      const auto comma = header.find(',', at);
      const std::string_view field =
          header.substr(at, comma == std::string_view::npos ? header.npos : comma - at);
      std::from_chars(field.data(), field.data() + field.size(), value);
      if (comma == std::string_view::npos) break;
      at = comma + 1;
    }
    // Within what the front ends accept.
    input.modes = values[0] < 1 ? 1 : values[0] > 40 ? 40 : values[0];
    input.mass = values[1] == 1 ? 1 : 0;
    input.mass_case = values[2] >= 0 && values[2] <= 2 ? values[2] : 0;
    input.document = end == std::string_view::npos ? std::string_view() : bytes.substr(end + 1);
  }
  return input;
}

// A message, the engine's fault, or modes whose frequencies are finite,
// positive and ascending, whose shapes are finite with their largest
// translation +1, and whose cumulative mass ratios do not pass 1.
inline std::optional<std::string> modal_failure(std::string_view bytes) {
  const ModalInput input = modal_input(bytes);
  ModalOptions options;
  options.modes = input.modes;
  options.mass = input.mass == 1 ? MassKind::Lumped : MassKind::Consistent;
  try {
    const auto model = read_velk(input.document);
    if (!model) return std::nullopt;
    if (input.mass_case == 1 && !model->load_cases.empty())
      options.mass_case = model->load_cases.front().name;
    if (input.mass_case == 2) options.mass_case = "\x01no such case";
    const auto modes = modal_analysis_of_document(*model, options);
    if (!modes) return modes.error().empty() ? std::optional<std::string>("an empty message") : std::nullopt;
    if (static_cast<int>(modes->modes.size()) > options.modes) return "more modes than asked";
    double previous = 0.0;
    for (const Mode& mode : modes->modes) {
      if (!(std::isfinite(mode.omega) && mode.omega > 0.0))
        return "a frequency that is not finite and positive";
      if (mode.omega < previous * (1.0 - 1e-6)) return "frequencies out of order";
      previous = mode.omega;
      if (!mode.shape.allFinite()) return "a shape that is not finite";
      // The largest translation (of a twist: rotation) is +1; of translations
      // equally large within 1e-9, the first in node order.
      double largest = 0.0;
      bool one = false;
      for (Eigen::Index w = 0; w < mode.shape.size(); ++w) {
        if ((w % 6 < 3) == mode.twist) continue;
        largest = std::max(largest, std::abs(mode.shape[w]));
        one = one || mode.shape[w] == 1.0;
      }
      if (mode.shape.size() > 0 && (largest > 1.0 + 1e-8 || !one))
        return "a shape whose largest translation is not +1";
      for (const double ratio : mode.cumulative_mass_ratio) {
        if (ratio > 1.0 + 1e-6) return "a cumulative mass ratio above 1";
      }
    }
  } catch (const Fault&) {
    return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace velk::test_support
