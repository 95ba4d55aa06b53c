// A model document with the options of an envelope through the whole of
// `velk envelope`: a message, or an envelope whose curves and extremes hang
// together; never a crash, a leak, undefined behaviour or a hang.
//
// The input is an optional first line "LIMIT STATE|NAME,NAME,...|STATIONS|
// WITH CASES" (fields may be empty; names split at commas, empty ones
// kept; "1" joins the load cases) and then the document. An input that
// starts with '{' is a document with the default options, so the examples
// seed it as they are.

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "base/fault.hpp"
#include "inspection/inspection.hpp"

namespace {

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "envelope: %s\n", what.c_str());
  std::abort();
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

struct Options {
  velk::EnvelopeSelection selection;
  int stations = velk::default_envelope_stations;
  std::string limit_state_error;
};

Options read_options(std::string_view line) {
  Options options;
  const std::vector<std::string_view> fields = split(line, '|');
  if (!fields[0].empty()) {
    const auto state = velk::parse_limit_state("limit state", fields[0]);
    if (state) {
      options.selection.limit_state = *state;
    } else {
      if (state.error().empty()) fail("an empty limit state message");
      options.limit_state_error = state.error();
    }
  }
  if (fields.size() > 1 && !fields[1].empty()) {
    std::vector<std::string> names;
    for (const std::string_view name : split(fields[1], ',')) names.emplace_back(name);
    options.selection.combinations = std::move(names);
  }
  if (fields.size() > 2) {
    int stations = 0;
    const auto [end, error] =
        std::from_chars(fields[2].data(), fields[2].data() + fields[2].size(), stations);
    if (error == std::errc{} && end == fields[2].data() + fields[2].size()) options.stations = stations;
  }
  options.selection.with_cases = fields.size() > 3 && fields[3] == "1";
  return options;
}

// The envelope's own consistency: one curve value per station and side, the
// cases within the set, max over min, the span extremes at least every
// station (the curves are read from the same pieces the extremes come from).
void check(const velk::Envelope& e, int stations) {
  const std::size_t cases = e.set.size();
  if (cases == 0) fail("an envelope of an empty set");
  for (const auto& [id, m] : e.members) {
    if (m.x.size() != static_cast<std::size_t>(stations)) fail("member " + std::to_string(id) + ": stations");
    for (std::size_t c = 0; c < velk::diagram_component_count; ++c) {
      const velk::EnvelopeExtreme& x = m.extremes[c];
      if (x.max_case >= cases || x.min_case >= cases) fail("an extreme's case outside the set");
      const double slack = 1e-9 * (std::abs(x.max) + std::abs(x.min)) + 1e-300;
      for (std::size_t s = 0; s < m.x.size(); ++s) {
        if (m.max_case[c][s] >= cases || m.min_case[c][s] >= cases) fail("a station's case outside the set");
        const double hi = m.max[c][s], lo = m.min[c][s];
        if (!std::isfinite(hi) || !std::isfinite(lo) || !std::isfinite(x.max) || !std::isfinite(x.min))
          continue;
        if (hi < lo) fail("member " + std::to_string(id) + ": max below min at a station");
        if (hi > x.max + slack || lo < x.min - slack)
          fail("member " + std::to_string(id) + ": a station beyond the span extremes");
      }
    }
  }
  for (const auto* group : {&e.nodes, &e.reactions}) {
    for (const auto& [node, bounds] : *group) {
      for (const velk::EnvelopeBound& b : bounds) {
        if (b.max_case >= cases || b.min_case >= cases) fail("a node's case outside the set");
        if (b.max < b.min) fail("node " + std::to_string(node) + ": max below min");
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  Options options;
  if (!input.empty() && input.front() != '{') {
    const std::size_t line_end = input.find('\n');
    options = read_options(input.substr(0, line_end));
    input = line_end == std::string_view::npos ? std::string_view{} : input.substr(line_end + 1);
  }
  try {
    const auto json = velk::envelope_json(input, options.selection, options.stations);
    if (!json) {
      if (json.error().empty()) fail("an empty message");
      return 0;
    }
    if (json->empty() || json->front() != '{' || json->back() != '}') fail("the JSON is no object");
    const auto inspected = velk::inspect_model(input);
    if (!inspected) fail("the document read once but not twice");
    const auto envelope = velk::inspected_envelope(*inspected, options.selection, options.stations);
    if (!envelope) fail("the envelope came once but not twice: " + envelope.error());
    check(*envelope, options.stations);
    if (velk::envelope_to_json(*inspected, *envelope) != *json) fail("two envelopes of one document differ");
  } catch (const velk::Fault&) {
    // An internal fault is the engine's answer to some models, as for the analysis.
  }
  return 0;
}
