// Any bytes as a model, and a mode count from the last byte, through the
// stability analysis: the analysis or a message or the engine's fault, and
// never a crash, undefined behaviour, a hang or a number that is not one:
// every critical factor positive and finite, ascending, every mode shape
// finite with its largest translation +1 or none, every energy share in
// [0, 1].

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "base/fault.hpp"
#include "document/document_io.hpp"
#include "stability/stability.hpp"

namespace {

// Mode counts from -2 to 13, beyond both ends of what the front ends allow.
constexpr int mode_count_span = 16;
constexpr int lowest_mode_count = -2;

void fail(const std::string& what) {
  std::fprintf(stderr, "buckling: %s\n", what.c_str());
  std::abort();
}

void check_case(const velk::CaseStability& c) {
  double previous = 0.0;
  for (const double alpha : c.critical_factors) {
    if (!(alpha > 0.0) || !std::isfinite(alpha) || alpha < previous)
      fail("critical factor " + std::to_string(alpha));
    previous = alpha;
  }
  if (c.reversed_factor && !(*c.reversed_factor > 0.0 && std::isfinite(*c.reversed_factor)))
    fail("reversed factor " + std::to_string(*c.reversed_factor));
  if (c.modes.size() != c.critical_factors.size()) fail("modes and factors differ in number");
  if (c.verdict != velk::stability_verdict(c.critical_factors.empty()
                                               ? std::numeric_limits<double>::infinity()
                                               : c.critical_factors.front()))
    fail("verdict " + c.verdict);
  for (const velk::BucklingMode& mode : c.modes) {
    double largest = 0.0;
    for (const auto& [id, d] : mode.shape) {
      for (const double v : {d.dx, d.dy, d.dz, d.rx, d.ry, d.rz}) {
        if (!std::isfinite(v)) fail("mode shape of node " + std::to_string(id));
      }
      largest = std::max({largest, std::abs(d.dx), std::abs(d.dy), std::abs(d.dz)});
    }
    if (largest > 1.0 + 1e-9) fail("largest translation " + std::to_string(largest));
    for (const velk::MemberBuckling& m : mode.members) {
      if (!(m.energy_share >= 0.0 && m.energy_share <= 1.0 + 1e-9))
        fail("energy share of member " + std::to_string(m.member));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The whole input is the model (the examples are seeds as they are), its
  // last byte also the mode count.
  const int modes = lowest_mode_count + data[size - 1] % mode_count_span;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const auto model = velk::read_velk(text);
    if (!model) return 0;
    const auto analysis = velk::analyse_document_stability(*model, {.modes = modes, .dense_limit = {}});
    if (!analysis) {
      if (analysis.error().empty()) fail("an empty message");
      return 0;
    }
    for (const auto* cases : {&analysis->loadcases, &analysis->loadcombinations}) {
      for (const velk::CaseStability& c : *cases) check_case(c);
    }
    if (velk::stability_to_json(*analysis).empty()) fail("empty JSON");
  } catch (const velk::Fault&) {
  }
  return 0;
}
