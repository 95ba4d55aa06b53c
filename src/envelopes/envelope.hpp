#pragma once
// Envelopes: the design values over a set of solved load combinations (and,
// when asked, load cases), along every member and at every node, each with
// the case that gives it. An envelope never superposes: it takes maxima and
// minima of the results as the analysis solved them, first or second order.
//
// Along a member, for each of the ten diagram components, the envelope
// curves are read at equally spaced stations (the largest and the smallest
// value over the set at each station, with the case that gives it), and the
// span extremes are the largest maximum and the smallest minimum of every
// case's exact span extremes, so they are exact between stations too. Ties
// go to the case that comes first in the set, which lists load cases before
// combinations, each in document order.

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.hpp"
#include "diagrams/member_diagrams.hpp"
#include "document/velk.hpp"

namespace velk {

// Which solved cases an envelope takes: every combination by default, or
// those of one limit state, or those named (both: the named ones of that
// limit state), with the load cases too when `with_cases` is set.
struct EnvelopeSelection {
  std::optional<LimitState> limit_state;
  std::optional<std::vector<std::string>> combinations;
  bool with_cases = false;
};

// The stations an envelope is read at unless the caller asks for others, and
// the most it is read at (every member holds four curves per component).
inline constexpr int default_envelope_stations = 11;
inline constexpr int max_envelope_stations = 1001;

// "ULS", "SLS", "FLS" or "ALS", exactly; otherwise
// "<what> must be ULS, SLS, FLS or ALS, not '<text>'".
Result<LimitState> parse_limit_state(std::string_view what, std::string_view text);

// One member of the set, as the document names it.
struct EnvelopeCaseKey {
  ResultType identity;
  std::string name;
};

// The cases of the selection in set order: load cases (when asked) in
// document order, then combinations in document order; a name that occurs
// twice in the document counts once, as its first record. Fails on a name
// that names no combination, a name given twice, a limit state that no
// combination has, and an empty set.
Result<std::vector<EnvelopeCaseKey>> select_envelope_set(const VELK& model,
                                                         const EnvelopeSelection& selection);

// The solved results of one member of the set: its results record and its
// member diagrams, both in the same units (the envelope keeps them).
struct EnvelopeInput {
  const Results* results = nullptr;
  const MemberDiagrams* diagrams = nullptr;
};

// A largest and a smallest value with the index in the set of the case that
// gives each.
struct EnvelopeBound {
  double max = 0.0;
  std::size_t max_case = 0;
  double min = 0.0;
  std::size_t min_case = 0;
};

// The span extremes of one component over the set, with their positions.
struct EnvelopeExtreme {
  double max = 0.0;
  double max_at = 0.0;
  std::size_t max_case = 0;
  double min = 0.0;
  double min_at = 0.0;
  std::size_t min_case = 0;
};

struct MemberEnvelope {
  std::uint32_t member_id = 0;
  MemberType member_type = MemberType::Normal;
  double length = 0.0;
  std::vector<double> x;  // the stations, from 0 to length
  // Per component (DiagramComponent order), per station.
  std::array<std::vector<double>, diagram_component_count> max;
  std::array<std::vector<std::size_t>, diagram_component_count> max_case;
  std::array<std::vector<double>, diagram_component_count> min;
  std::array<std::vector<std::size_t>, diagram_component_count> min_case;
  std::array<EnvelopeExtreme, diagram_component_count> extremes{};
};

// The six components of a node: dx, dy, dz, rx, ry, rz for displacements
// (global axes), fx, fy, fz, mx, my, mz for reactions.
using NodeEnvelope = std::array<EnvelopeBound, 6>;
inline constexpr std::array<std::string_view, 6> displacement_component_names{"dx", "dy", "dz",
                                                                              "rx", "ry", "rz"};
inline constexpr std::array<std::string_view, 6> reaction_component_names{"fx", "fy", "fz", "mx", "my", "mz"};

struct Envelope {
  // Indices of the cases in the bounds below refer to this list.
  std::vector<EnvelopeCaseKey> set;
  // Members with a diagram in at least one case (never Rigid members); a
  // case without the member's diagram takes no part in its envelope.
  std::map<std::uint32_t, MemberEnvelope> members;
  // Every node with displacements in at least one case.
  std::map<std::uint32_t, NodeEnvelope> nodes;
  // Every supported node with a reaction in at least one case.
  std::map<std::uint32_t, NodeEnvelope> reactions;
};

// The envelope of the given cases (`inputs[i]` the results of `set[i]`, not
// empty) at `stations` >= 2 stations per member (fewer are read as 2).
Envelope build_envelope(std::vector<EnvelopeCaseKey> set, std::span<const EnvelopeInput> inputs,
                        int stations);

}  // namespace velk
