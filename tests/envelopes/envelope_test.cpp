// The envelope of hand-made diagrams and results: station curves with their
// governing cases, exact extremes between stations, ties, nodes and
// reactions; and the choice of the set with its exact messages.

#include "envelopes/envelope.hpp"

#include <gtest/gtest.h>

namespace velk {
namespace {

constexpr double kSpan = 3.0;

// A member whose only non-zero component is `component` = p(x) on one piece.
MemberDiagram diagram_of(std::uint32_t id, DiagramComponent component, Polynomial p, double length = kSpan) {
  MemberDiagram d;
  d.member_id = id;
  d.length = length;
  DiagramPiece piece;
  piece.start = 0.0;
  piece.end = length;
  piece.components[static_cast<std::size_t>(component_index(component))] = p;
  d.pieces.push_back(piece);
  return d;
}

Polynomial poly(std::initializer_list<double> c) {
  Polynomial p;
  std::size_t k = 0;
  for (const double v : c) p.c[k++] = v;
  return p;
}

std::vector<EnvelopeCaseKey> keys(std::initializer_list<const char*> names) {
  std::vector<EnvelopeCaseKey> out;
  std::uint32_t id = 1;
  for (const char* n : names) out.push_back({ResultType::combination(id++), n});
  return out;
}

constexpr auto kMz = static_cast<std::size_t>(component_index(DiagramComponent::Mz));

TEST(Envelope, GoverningCaseChangesAlongTheSpanAndExactPeakBeatsTheStations) {
  // "sag": x (L - x), peak L^2/4 at L/2; "ramp": x - 1. They cross where
  // x (3 - x) = x - 1, i.e. x^2 - 2x - 1 = 0, x = 1 + sqrt 2 = 2.414.
  MemberDiagrams sag{{1, diagram_of(1, DiagramComponent::Mz, poly({0.0, kSpan, -1.0}))}};
  MemberDiagrams ramp{{1, diagram_of(1, DiagramComponent::Mz, poly({-1.0, 1.0}))}};
  const EnvelopeInput inputs[] = {{nullptr, &sag}, {nullptr, &ramp}};
  const Envelope e = build_envelope(keys({"sag", "ramp"}), inputs, 4);  // x = 0, 1, 2, 3

  const MemberEnvelope& m = e.members.at(1);
  ASSERT_EQ(m.x, (std::vector<double>{0.0, 1.0, 2.0, 3.0}));
  EXPECT_EQ(m.max[kMz], (std::vector<double>{0.0, 2.0, 2.0, 2.0}));
  EXPECT_EQ(m.max_case[kMz], (std::vector<std::size_t>{0, 0, 0, 1}));
  EXPECT_EQ(m.min[kMz], (std::vector<double>{-1.0, 0.0, 1.0, 0.0}));
  EXPECT_EQ(m.min_case[kMz], (std::vector<std::size_t>{1, 1, 1, 0}));

  // Between the stations: the peak of "sag", not the best station (2.0).
  const EnvelopeExtreme& x = m.extremes[kMz];
  EXPECT_DOUBLE_EQ(x.max, kSpan * kSpan / 4);
  EXPECT_DOUBLE_EQ(x.max_at, kSpan / 2);
  EXPECT_EQ(x.max_case, 0u);
  EXPECT_EQ(x.min, -1.0);
  EXPECT_EQ(x.min_at, 0.0);
  EXPECT_EQ(x.min_case, 1u);
}

TEST(Envelope, TiesGoToTheFirstCaseOfTheSet) {
  MemberDiagrams same{{4, diagram_of(4, DiagramComponent::N, poly({5.0, -1.0}))}};
  Results results;
  results.displacement_nodes[2] = NodeDisplacement{0.1, -0.2, 0.0, 0.0, 0.0, 0.3};
  results.reaction_nodes[1].nodal_forces = NodeForces{1.0, 2.0, 3.0, 4.0, 5.0, 6.0};
  const EnvelopeInput inputs[] = {{&results, &same}, {&results, &same}, {&results, &same}};
  for (const auto& names : {keys({"A", "B", "C"}), keys({"C", "B", "A"})}) {
    const Envelope e = build_envelope(names, inputs, 5);
    const MemberEnvelope& m = e.members.at(4);
    for (std::size_t c = 0; c < diagram_component_count; ++c) {
      EXPECT_EQ(m.max_case[c], std::vector<std::size_t>(5, 0));
      EXPECT_EQ(m.min_case[c], std::vector<std::size_t>(5, 0));
      EXPECT_EQ(m.extremes[c].max_case, 0u);
      EXPECT_EQ(m.extremes[c].min_case, 0u);
    }
    for (const EnvelopeBound& b : e.nodes.at(2)) EXPECT_EQ(b.max_case + b.min_case, 0u);
    for (const EnvelopeBound& b : e.reactions.at(1)) EXPECT_EQ(b.max_case + b.min_case, 0u);
    EXPECT_EQ(e.set.front().name, names.front().name);
  }
}

TEST(Envelope, NodesAndReactionsTakeEachComponentFromItsOwnCase) {
  Results a, b;
  a.displacement_nodes[1] = NodeDisplacement{1.0, -1.0, 0.0, 0.0, 0.0, 0.0};
  b.displacement_nodes[1] = NodeDisplacement{-2.0, 3.0, 0.0, 0.0, 0.0, 0.0};
  b.displacement_nodes[7] = NodeDisplacement{0.5, 0.0, 0.0, 0.0, 0.0, 0.0};  // only in b
  a.reaction_nodes[1].nodal_forces = NodeForces{0.0, 10.0, 0.0, 0.0, 0.0, -4.0};
  b.reaction_nodes[1].nodal_forces = NodeForces{0.0, 12.0, 0.0, 0.0, 0.0, -3.0};
  const EnvelopeInput inputs[] = {{&a, nullptr}, {&b, nullptr}};
  const Envelope e = build_envelope(keys({"a", "b"}), inputs, 2);
  EXPECT_TRUE(e.members.empty());
  const NodeEnvelope& n1 = e.nodes.at(1);
  EXPECT_EQ(n1[0].max, 1.0);
  EXPECT_EQ(n1[0].max_case, 0u);
  EXPECT_EQ(n1[0].min, -2.0);
  EXPECT_EQ(n1[0].min_case, 1u);
  EXPECT_EQ(n1[1].max, 3.0);
  EXPECT_EQ(n1[1].max_case, 1u);
  EXPECT_EQ(n1[1].min, -1.0);
  EXPECT_EQ(n1[1].min_case, 0u);
  EXPECT_EQ(e.nodes.at(7)[0].max, 0.5);
  EXPECT_EQ(e.nodes.at(7)[0].max_case, 1u);
  const NodeEnvelope& r1 = e.reactions.at(1);
  EXPECT_EQ(r1[1].max, 12.0);
  EXPECT_EQ(r1[1].max_case, 1u);
  EXPECT_EQ(r1[1].min, 10.0);
  EXPECT_EQ(r1[1].min_case, 0u);
  EXPECT_EQ(r1[5].max, -3.0);
  EXPECT_EQ(r1[5].min, -4.0);
}

TEST(Envelope, OneCaseIsItsOwnDiagram) {
  MemberDiagrams only{{2, diagram_of(2, DiagramComponent::uy, poly({0.0, 0.0, -1.0, 0.25}), 5.0)}};
  const EnvelopeInput inputs[] = {{nullptr, &only}};
  const Envelope e = build_envelope(keys({"one"}), inputs, 7);
  const SampledDiagram sampled = sample_diagram(only.at(2), 7);
  const MemberEnvelope& m = e.members.at(2);
  EXPECT_EQ(m.length, 5.0);
  EXPECT_EQ(m.x, sampled.x);
  for (std::size_t c = 0; c < diagram_component_count; ++c) {
    EXPECT_EQ(m.max[c], sampled.values[c]);
    EXPECT_EQ(m.min[c], sampled.values[c]);
    EXPECT_EQ(m.extremes[c].max, sampled.extremes[c].max);
    EXPECT_EQ(m.extremes[c].max_at, sampled.extremes[c].max_at);
    EXPECT_EQ(m.extremes[c].min, sampled.extremes[c].min);
    EXPECT_EQ(m.extremes[c].min_at, sampled.extremes[c].min_at);
  }
}

// ---- the set ----

VELK model_with_combinations() {
  VELK model;
  model.load_cases.push_back(LoadCase{1, "G", {}, {}, {}, {}, {}});
  model.load_cases.push_back(LoadCase{2, "Q", {}, {}, {}, {}, {}});
  model.load_combinations.push_back(LoadCombination{1, "ULS 1", {{1, 1.35}}, {}, "c", LimitState::ULS});
  model.load_combinations.push_back(LoadCombination{2, "SLS 1", {{1, 1.0}}, {}, "c", LimitState::SLS});
  model.load_combinations.push_back(LoadCombination{3, "ULS 2", {{2, 1.5}}, {}, "c", LimitState::ULS});
  model.load_combinations.push_back(LoadCombination{4, "none", {{2, 1.0}}, {}, "c", {}});
  return model;
}

std::vector<std::string> names_of(const Result<std::vector<EnvelopeCaseKey>>& set) {
  std::vector<std::string> out;
  if (set) {
    for (const EnvelopeCaseKey& k : *set) out.push_back(k.name);
  }
  return out;
}

using Names = std::vector<std::string>;

// A selection as a table row: its limit state, its names (`named` false: no
// names given), whether the load cases join; the set it gives, or its message.
struct SelectionRow {
  const char* label;
  std::optional<LimitState> limit_state;
  bool named;
  Names names;
  bool with_cases;
  Names set;
  const char* message;
};

class EnvelopeSelectionTable : public ::testing::TestWithParam<SelectionRow> {};

TEST_P(EnvelopeSelectionTable, SetOrMessage) {
  const SelectionRow& row = GetParam();
  EnvelopeSelection selection;
  selection.limit_state = row.limit_state;
  if (row.named) selection.combinations = row.names;
  selection.with_cases = row.with_cases;
  const auto set = select_envelope_set(model_with_combinations(), selection);
  if (row.message != nullptr) {
    ASSERT_FALSE(set.has_value());
    EXPECT_EQ(set.error(), row.message);
  } else {
    ASSERT_TRUE(set.has_value()) << set.error();
    EXPECT_EQ(names_of(set), row.set);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, EnvelopeSelectionTable,
    ::testing::Values(
        SelectionRow{"every_combination", {}, false, {}, false, {"ULS 1", "SLS 1", "ULS 2", "none"}, nullptr},
        SelectionRow{"uls", LimitState::ULS, false, {}, false, {"ULS 1", "ULS 2"}, nullptr},
        SelectionRow{"sls_with_cases", LimitState::SLS, false, {}, true, {"G", "Q", "SLS 1"}, nullptr},
        SelectionRow{
            "named_in_document_order", {}, true, {"none", "ULS 1"}, false, {"ULS 1", "none"}, nullptr},
        SelectionRow{
            "named_and_limit_state", LimitState::ULS, true, {"ULS 2", "SLS 1"}, false, {"ULS 2"}, nullptr},
        SelectionRow{"cases_and_named", {}, true, {"SLS 1"}, true, {"G", "Q", "SLS 1"}, nullptr},
        SelectionRow{"no_fatigue",
                     LimitState::FLS,
                     false,
                     {},
                     true,
                     {},
                     "No load combination has the limit state FLS"},
        SelectionRow{
            "unknown_name", {}, true, {"ULS 1", "ULS 3"}, false, {}, "No load combination is named 'ULS 3'"},
        SelectionRow{"case_is_no_combination", {}, true, {"G"}, true, {}, "No load combination is named 'G'"},
        SelectionRow{"named_twice",
                     {},
                     true,
                     {"ULS 1", "ULS 1"},
                     false,
                     {},
                     "Load combination 'ULS 1' is named twice"},
        SelectionRow{
            "no_names", {}, true, {}, false, {}, "The envelope set is empty: no load combination is named"},
        SelectionRow{"named_of_other_limit_state",
                     LimitState::SLS,
                     true,
                     {"ULS 1"},
                     false,
                     {},
                     "None of the named load combinations has the limit state SLS"}),
    [](const ::testing::TestParamInfo<SelectionRow>& info) { return std::string(info.param.label); });

TEST(EnvelopeSelection, NoCombinationsIsAnEmptySetUnlessTheCasesJoin) {
  VELK model = model_with_combinations();
  model.load_combinations.clear();
  const auto empty = select_envelope_set(model, {});
  ASSERT_FALSE(empty.has_value());
  EXPECT_EQ(empty.error(), "The envelope set is empty: the document has no load combinations");
  EXPECT_EQ(names_of(select_envelope_set(model, {{}, {}, true})), (Names{"G", "Q"}));
}

TEST(EnvelopeSelection, ANameTheDocumentRepeatsCountsOnce) {
  VELK model = model_with_combinations();
  model.load_combinations.push_back(LoadCombination{9, "ULS 1", {{2, 9.0}}, {}, "c", LimitState::ULS});
  const auto set = select_envelope_set(model, {LimitState::ULS, {}, false});
  ASSERT_TRUE(set.has_value());
  ASSERT_EQ(set->size(), 2u);
  EXPECT_EQ(set->front().identity.id, 1u);
}

TEST(EnvelopeSelection, LimitStateSpellings) {
  EXPECT_EQ(parse_limit_state("--limit-state", "ULS"), LimitState::ULS);
  EXPECT_EQ(parse_limit_state("--limit-state", "ALS"), LimitState::ALS);
  const auto lower = parse_limit_state("--limit-state", "uls");
  ASSERT_FALSE(lower.has_value());
  EXPECT_EQ(lower.error(), "--limit-state must be ULS, SLS, FLS or ALS, not 'uls'");
  EXPECT_EQ(parse_limit_state("limit_state", "").error(), "limit_state must be ULS, SLS, FLS or ALS, not ''");
}

}  // namespace
}  // namespace velk
