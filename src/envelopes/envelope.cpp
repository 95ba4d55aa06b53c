#include "envelopes/envelope.hpp"

#include <algorithm>
#include <cmath>
#include <set>

#include "base/message_format.hpp"
#include "document/record_schema.hpp"
#include "results/node_vectors.hpp"

namespace velk {
namespace {

// A value governs the maximum when it is larger, or when the maximum so far
// is not a number; equal values leave the earlier case governing.
bool beats_max(double value, double current) {
  return value > current || (std::isnan(current) && !std::isnan(value));
}
bool beats_min(double value, double current) {
  return value < current || (std::isnan(current) && !std::isnan(value));
}

void start_bounds(NodeEnvelope& bounds, const Vector6& values, std::size_t index) {
  for (int k = 0; k < 6; ++k) bounds[static_cast<std::size_t>(k)] = {values(k), index, values(k), index};
}

void fold_bounds(NodeEnvelope& bounds, const Vector6& values, std::size_t index) {
  for (int k = 0; k < 6; ++k) {
    EnvelopeBound& b = bounds[static_cast<std::size_t>(k)];
    if (beats_max(values(k), b.max)) {
      b.max = values(k);
      b.max_case = index;
    }
    if (beats_min(values(k), b.min)) {
      b.min = values(k);
      b.min_case = index;
    }
  }
}

void add_node_values(std::map<std::uint32_t, NodeEnvelope>& out, std::uint32_t node, const Vector6& values,
                     std::size_t index) {
  const auto [entry, fresh] = out.try_emplace(node);
  if (fresh) {
    start_bounds(entry->second, values, index);
  } else {
    fold_bounds(entry->second, values, index);
  }
}

void start_member(MemberEnvelope& e, const MemberDiagram& diagram, SampledDiagram&& sampled,
                  std::size_t index) {
  e.member_id = diagram.member_id;
  e.member_type = diagram.member_type;
  e.length = sampled.length;
  e.x = std::move(sampled.x);
  for (std::size_t c = 0; c < diagram_component_count; ++c) {
    e.max[c] = sampled.values[c];
    e.min[c] = std::move(sampled.values[c]);
    e.max_case[c].assign(e.x.size(), index);
    e.min_case[c].assign(e.x.size(), index);
    const SpanExtreme& s = sampled.extremes[c];
    e.extremes[c] = {s.max, s.max_at, index, s.min, s.min_at, index};
  }
}

void fold_member(MemberEnvelope& e, const SampledDiagram& sampled, std::size_t index) {
  const std::size_t stations = std::min(e.x.size(), sampled.x.size());
  for (std::size_t c = 0; c < diagram_component_count; ++c) {
    const std::vector<double>& values = sampled.values[c];
    for (std::size_t s = 0; s < stations; ++s) {
      if (beats_max(values[s], e.max[c][s])) {
        e.max[c][s] = values[s];
        e.max_case[c][s] = index;
      }
      if (beats_min(values[s], e.min[c][s])) {
        e.min[c][s] = values[s];
        e.min_case[c][s] = index;
      }
    }
    const SpanExtreme& s = sampled.extremes[c];
    EnvelopeExtreme& x = e.extremes[c];
    if (beats_max(s.max, x.max)) {
      x.max = s.max;
      x.max_at = s.max_at;
      x.max_case = index;
    }
    if (beats_min(s.min, x.min)) {
      x.min = s.min;
      x.min_at = s.min_at;
      x.min_case = index;
    }
  }
}

bool has_limit_state(const LoadCombination& combination, LimitState state) {
  return combination.limit_state && *combination.limit_state == state;
}

}  // namespace

Result<LimitState> parse_limit_state(std::string_view what, std::string_view text) {
  using Spellings = json::EnumSpellings<LimitState>;
  for (std::size_t i = 0; i < Spellings::accepted.size(); ++i) {
    if (Spellings::accepted[i] == text) return Spellings::values[i];
  }
  return std::unexpected(format_message("{} must be ULS, SLS, FLS or ALS, not '{}'", what, text));
}

Result<std::vector<EnvelopeCaseKey>> select_envelope_set(const VELK& model,
                                                         const EnvelopeSelection& selection) {
  std::set<std::string, std::less<>> named;
  if (selection.combinations) {
    if (selection.combinations->empty())
      return std::unexpected(std::string("The envelope set is empty: no load combination is named"));
    for (const std::string& name : *selection.combinations) {
      if (!named.insert(name).second)
        return std::unexpected(format_message("Load combination '{}' is named twice", name));
      const bool exists = std::any_of(model.load_combinations.begin(), model.load_combinations.end(),
                                      [&](const LoadCombination& c) { return c.name == name; });
      if (!exists) return std::unexpected(format_message("No load combination is named '{}'", name));
    }
  }
  if (selection.limit_state) {
    const LimitState state = *selection.limit_state;
    const bool any = std::any_of(model.load_combinations.begin(), model.load_combinations.end(),
                                 [&](const LoadCombination& c) { return has_limit_state(c, state); });
    if (!any) {
      return std::unexpected(
          format_message("No load combination has the limit state {}", json::canonical_spelling(state)));
    }
  }

  std::vector<EnvelopeCaseKey> set;
  if (selection.with_cases) {
    std::set<std::string, std::less<>> seen;
    for (const LoadCase& c : model.load_cases) {
      if (seen.insert(c.name).second) set.push_back({ResultType::load_case(c.id), c.name});
    }
  }
  std::set<std::string, std::less<>> seen;
  bool any_combination = false;
  for (const LoadCombination& c : model.load_combinations) {
    if (!seen.insert(c.name).second) continue;
    if (selection.combinations && !named.contains(c.name)) continue;
    if (selection.limit_state && !has_limit_state(c, *selection.limit_state)) continue;
    set.push_back({ResultType::combination(c.id), c.name});
    any_combination = true;
  }
  if (!any_combination && selection.combinations && selection.limit_state) {
    return std::unexpected(format_message("None of the named load combinations has the limit state {}",
                                          json::canonical_spelling(*selection.limit_state)));
  }
  if (set.empty()) {
    return std::unexpected(std::string("The envelope set is empty: the document has no load combinations"));
  }
  return set;
}

Envelope build_envelope(std::vector<EnvelopeCaseKey> set, std::span<const EnvelopeInput> inputs,
                        int stations) {
  Envelope envelope;
  envelope.set = std::move(set);
  for (std::size_t index = 0; index < inputs.size(); ++index) {
    const EnvelopeInput& input = inputs[index];
    if (input.diagrams != nullptr) {
      for (const auto& [id, diagram] : *input.diagrams) {
        SampledDiagram sampled = sample_diagram(diagram, stations);
        const auto [entry, fresh] = envelope.members.try_emplace(id);
        if (fresh) {
          start_member(entry->second, diagram, std::move(sampled), index);
        } else {
          fold_member(entry->second, sampled, index);
        }
      }
    }
    if (input.results != nullptr) {
      for (const auto& [node, d] : input.results->displacement_nodes)
        add_node_values(envelope.nodes, node, displacement_vector(d), index);
      for (const auto& [node, r] : input.results->reaction_nodes)
        add_node_values(envelope.reactions, node, force_vector(r.nodal_forces), index);
    }
  }
  return envelope;
}

}  // namespace velk
