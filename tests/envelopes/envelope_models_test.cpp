// Envelopes of whole models through the front ends' view of them: pattern
// loading of a two-span continuous beam against its closed forms (in m and N
// and in mm and kN), random frames against every case's own diagrams, a
// switched-off brace, a second-order combination, and results carried in.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "document/document_io.hpp"
#include "inspection/inspection.hpp"
#include "support/frame_builder.hpp"
#include "support/random_frames.hpp"

namespace velk {
namespace {

using test_support::FrameBuilder;

constexpr double kSpan = 6.0;
constexpr double kDead = 10e3;     // N/m
constexpr double kImposed = 15e3;  // N/m
constexpr double kGammaG = 1.35;
constexpr double kGammaQ = 1.5;
constexpr double kPg = kGammaG * kDead;
constexpr double kPq = kGammaQ * kImposed;

constexpr auto kMz = static_cast<std::size_t>(component_index(DiagramComponent::Mz));
constexpr auto kN = static_cast<std::size_t>(component_index(DiagramComponent::N));
constexpr std::size_t kFy = 1;

InspectedModel inspect(const std::string& text) {
  auto inspected = inspect_model(text);
  EXPECT_TRUE(inspected.has_value()) << (inspected ? "" : inspected.error());
  if (!inspected) return {};
  EXPECT_FALSE(inspected->analysis_error) << *inspected->analysis_error;
  return std::move(*inspected);
}

Envelope envelope_of(const InspectedModel& inspected, const EnvelopeSelection& selection, int stations) {
  auto envelope = inspected_envelope(inspected, selection, stations);
  EXPECT_TRUE(envelope.has_value()) << (envelope ? "" : envelope.error());
  return envelope ? std::move(*envelope) : Envelope{};
}

std::string_view governing(const Envelope& e, std::size_t index) { return e.set.at(index).name; }

// Two equal spans along X on a pin (node 1) and two rollers (nodes 2, 3):
// dead load on both spans, imposed load on each span as a case of its own,
// and the three ULS patterns and one SLS combination.
FrameBuilder two_span_beam() {
  FrameBuilder b;
  const auto s = b.section(0.01, 5e-5, 8e-5, 2e-5);
  NodalSupport& pin = b.support(1, ConditionType::Fixed, "XYZ", ConditionType::Free, "YZ");
  pin.rotation_conditions["X"] = {ConditionType::Fixed, {}};
  b.support(2, ConditionType::Fixed, "YZ", ConditionType::Free, "XYZ");
  b.node(1, 0, 0, 0, 1);
  b.node(2, kSpan, 0, 0, 2);
  b.node(3, 2 * kSpan, 0, 0, 2);
  b.member(1, 1, 2, s);
  b.member(2, 2, 3, s);
  LoadCase& g = b.load_case(1, "G");
  FrameBuilder::line_load(g, 1, kDead, kDead, {0, -1, 0});
  FrameBuilder::line_load(g, 2, kDead, kDead, {0, -1, 0});
  FrameBuilder::line_load(b.load_case(2, "Q span 1"), 1, kImposed, kImposed, {0, -1, 0});
  FrameBuilder::line_load(b.load_case(3, "Q span 2"), 2, kImposed, kImposed, {0, -1, 0});
  auto& combinations = b.model.load_combinations;
  combinations.push_back(
      {1, "both spans", {{1, kGammaG}, {2, kGammaQ}, {3, kGammaQ}}, {}, "ULS", LimitState::ULS});
  combinations.push_back({2, "span 1 only", {{1, kGammaG}, {2, kGammaQ}}, {}, "ULS", LimitState::ULS});
  combinations.push_back({3, "span 2 only", {{1, kGammaG}, {3, kGammaQ}}, {}, "ULS", LimitState::ULS});
  combinations.push_back({4, "characteristic", {{1, 1.0}, {2, 1.0}, {3, 1.0}}, {}, "SLS", LimitState::SLS});
  return b;
}

// The same beam as a document in mm and kN.
std::string in_millimetres_and_kilonewtons(VELK model) {
  model.settings.unit_settings.length_unit = LengthUnit::Mm;
  model.settings.unit_settings.force_unit = ForceUnit::KN;
  for (MemberSet& set : model.member_sets) {
    for (Member& m : set.members) {
      for (Node* n : {&m.start_node, &m.end_node}) {
        n->x *= 1e3;
        n->y *= 1e3;
        n->z *= 1e3;
      }
    }
  }
  for (Section& s : model.sections) {
    s.area *= 1e6;
    s.i_y *= 1e12;
    s.i_z *= 1e12;
    s.j *= 1e12;
  }
  for (LoadCase& c : model.load_cases) {
    for (DistributedLoad& d : c.distributed_loads) {
      d.magnitude *= 1e-6;  // N/m to kN/mm
      d.end_magnitude *= 1e-6;
    }
  }
  return write_velk(model);
}

struct UnitsRow {
  const char* label;
  bool millimetres;
  double length;  // document units per metre
  double force;   // per newton
};

class PatternLoading : public ::testing::TestWithParam<UnitsRow> {};

TEST_P(PatternLoading, HoggingFromBothSpansSaggingFromEachSpanAlone) {
  const UnitsRow& units = GetParam();
  const FrameBuilder b = two_span_beam();
  const InspectedModel inspected =
      inspect(units.millimetres ? in_millimetres_and_kilonewtons(b.model) : b.text());
  const Envelope e = envelope_of(inspected, {LimitState::ULS, {}, false}, 11);
  ASSERT_EQ(e.set.size(), 3u);
  const double l = kSpan, moment = units.force * units.length, force = units.force;
  const auto near = [](double actual, double expected) {
    EXPECT_NEAR(actual, expected, 1e-9 * std::abs(expected) + 1e-12);
  };

  // Over the middle support: M_B = -(pg + pq) L^2 / 8, with both spans loaded.
  const MemberEnvelope& span1 = e.members.at(1);
  const MemberEnvelope& span2 = e.members.at(2);
  near(span1.extremes[kMz].min, -(kPg + kPq) * l * l / 8 * moment);
  near(span1.extremes[kMz].min_at, l * units.length);
  EXPECT_EQ(governing(e, span1.extremes[kMz].min_case), "both spans");
  near(span2.extremes[kMz].min, -(kPg + kPq) * l * l / 8 * moment);
  EXPECT_EQ(governing(e, span2.extremes[kMz].min_case), "both spans");

  // Largest sagging with the imposed load on that span only: M_B =
  // -(2 pg + pq) L^2 / 16, R_A = p L / 2 + M_B / L, M = R_A^2 / (2 p) at R_A / p.
  const double p = kPg + kPq;
  const double m_b = -(2 * kPg + kPq) * l * l / 16;
  const double r_a = p * l / 2 + m_b / l;
  near(span1.extremes[kMz].max, r_a * r_a / (2 * p) * moment);
  near(span1.extremes[kMz].max_at, r_a / p * units.length);
  EXPECT_EQ(governing(e, span1.extremes[kMz].max_case), "span 1 only");
  near(span2.extremes[kMz].max, r_a * r_a / (2 * p) * moment);
  near(span2.extremes[kMz].max_at, (l - r_a / p) * units.length);
  EXPECT_EQ(governing(e, span2.extremes[kMz].max_case), "span 2 only");

  // The smallest moment along span 1: the difference of "both spans" and
  // "span 2 only" is pq x (7L/8 - x) / 2, so "span 2 only" governs up to
  // 7L/8 and "both spans" beyond; the stations are at L/10.
  for (std::size_t s = 1; s < span1.x.size(); ++s) {
    const double x = l * static_cast<double>(s) / 10;
    EXPECT_EQ(governing(e, span1.min_case[kMz][s]), x < 7 * l / 8 ? "span 2 only" : "both spans") << s;
    const bool both = x > 7 * l / 8;
    const double p1 = both ? p : kPg;
    const double mb = both ? -p * l * l / 8 : m_b;
    near(span1.min[kMz][s], (p1 * x * (l - x) / 2 + mb * x / l) * moment);
    // Over the middle support both single-span patterns give M_B.
    if (s < 10) {
      EXPECT_EQ(governing(e, span1.max_case[kMz][s]), "span 1 only") << s;
    }
  }

  // Reactions: the middle support 5 (p1 + p2) L / 8, the end support
  // (7 p1 - p2) L / 16, each extreme from its pattern.
  const NodeEnvelope& middle = e.reactions.at(2);
  near(middle[kFy].max, 5 * (2 * p) * l / 8 * force);
  EXPECT_EQ(governing(e, middle[kFy].max_case), "both spans");
  near(middle[kFy].min, 5 * (2 * kPg + kPq) * l / 8 * force);
  EXPECT_NE(governing(e, middle[kFy].min_case), "both spans");
  const NodeEnvelope& end = e.reactions.at(1);
  near(end[kFy].max, (7 * p - kPg) * l / 16 * force);
  EXPECT_EQ(governing(e, end[kFy].max_case), "span 1 only");
  near(end[kFy].min, (7 * kPg - p) * l / 16 * force);
  EXPECT_EQ(governing(e, end[kFy].min_case), "span 2 only");

  // The largest deflection of span 1 is downwards, from "span 1 only".
  const auto uy = static_cast<std::size_t>(component_index(DiagramComponent::uy));
  EXPECT_EQ(governing(e, span1.extremes[uy].min_case), "span 1 only");
  EXPECT_LT(span1.extremes[uy].min, 0.0);
  // The end rotation at the pin (clockwise, rz < 0) is largest with span 1
  // loaded alone: the load on span 2 turns it back.
  EXPECT_LT(e.nodes.at(1)[5].min, 0.0);
  EXPECT_EQ(governing(e, e.nodes.at(1)[5].min_case), "span 1 only");
}

INSTANTIATE_TEST_SUITE_P(Units, PatternLoading,
                         ::testing::Values(UnitsRow{"m_N", false, 1.0, 1.0},
                                           UnitsRow{"mm_kN", true, 1e3, 1e-3}),
                         [](const ::testing::TestParamInfo<UnitsRow>& info) {
                           return std::string(info.param.label);
                         });

TEST(EnvelopeModels, LimitStateAndCasesChooseTheSet) {
  const InspectedModel inspected = inspect(two_span_beam().text());
  const Envelope sls = envelope_of(inspected, {LimitState::SLS, {}, false}, 5);
  ASSERT_EQ(sls.set.size(), 1u);
  // One combination: its own diagram.
  const MemberDiagram& own = inspected.loadcombinations.at(3).diagrams.at(1);
  EXPECT_EQ(sls.members.at(1).extremes[kMz].max, own.extreme(DiagramComponent::Mz).max);
  EXPECT_EQ(sls.members.at(1).max[kMz], sample_diagram(own, 5).values[kMz]);

  const Envelope all = envelope_of(inspected, {{}, {}, true}, 5);
  std::vector<std::string> names;
  for (const auto& k : all.set) names.push_back(k.name);
  EXPECT_EQ(names, (std::vector<std::string>{"G", "Q span 1", "Q span 2", "both spans", "span 1 only",
                                             "span 2 only", "characteristic"}));
  // An imposed load alone never governs the hogging moment, and the uplift-free
  // minimum of span 2's reaction at node 3 comes from "Q span 1" (a load on the
  // other span lifts it).
  EXPECT_EQ(governing(all, all.members.at(1).extremes[kMz].min_case), "both spans");
  EXPECT_EQ(governing(all, all.reactions.at(3)[kFy].min_case), "Q span 1");
  EXPECT_LT(all.reactions.at(3)[kFy].min, 0.0);
}

TEST(EnvelopeModels, MessagesOfTheSet) {
  FrameBuilder b = two_span_beam();
  b.model.settings.analysis_options.solve_loadcases = false;
  const InspectedModel inspected = inspect(b.text());
  const auto with_cases = inspected_envelope(inspected, {{}, {}, true}, 5);
  ASSERT_FALSE(with_cases.has_value());
  EXPECT_EQ(with_cases.error(), "Load case 'G' has no results");
  const auto fatigue = inspected_envelope(inspected, {LimitState::FLS, {}, false}, 5);
  ASSERT_FALSE(fatigue.has_value());
  EXPECT_EQ(fatigue.error(), "No load combination has the limit state FLS");
  EXPECT_EQ(envelope_json(b.text(), {}, 1).error(), "stations must be at least 2, not 1");
  EXPECT_EQ(envelope_json(b.text(), {}, 1002).error(), "stations must be at most 1001, not 1002");
  EXPECT_EQ(envelope_json("{", {}, 5).error().rfind("Bad JSON input: ", 0), 0u);
}

TEST(EnvelopeModels, ResultsCarriedInGiveTheSameEnvelope) {
  const FrameBuilder b = two_span_beam();
  const auto written = calculate_from_json(in_millimetres_and_kilonewtons(b.model));
  ASSERT_TRUE(written.has_value()) << written.error();
  const auto analysed = envelope_json(in_millimetres_and_kilonewtons(b.model), {}, 7);
  const auto carried = envelope_json(*written, {}, 7);
  ASSERT_TRUE(analysed.has_value()) << analysed.error();
  ASSERT_TRUE(carried.has_value()) << carried.error();
  EXPECT_EQ(*carried, *analysed);
}

TEST(EnvelopeModels, ASwitchedOffBraceCountsWithZeros) {
  FrameBuilder b = test_support::braced_bay();
  FrameBuilder::force(b.load_case(1, "wind right"), 3, 10e3, {1, 0, 0});
  FrameBuilder::force(b.load_case(2, "wind left"), 3, 10e3, {-1, 0, 0});
  b.model.load_combinations.push_back({1, "right", {{1, 1.0}}, {}, "c", {}});
  b.model.load_combinations.push_back({2, "left", {{2, 1.0}}, {}, "c", {}});
  const InspectedModel inspected = inspect(b.text());
  const Envelope e = envelope_of(inspected, {}, 3);
  // Member 4 (1 -> 4) pulls under the wind to the right, member 5 to the left;
  // each is off (no force at all) in the other combination.
  const EnvelopeExtreme& n4 = e.members.at(4).extremes[kN];
  const EnvelopeExtreme& n5 = e.members.at(5).extremes[kN];
  EXPECT_GT(n4.max, 0.0);
  EXPECT_EQ(governing(e, n4.max_case), "right");
  EXPECT_EQ(n4.min, 0.0);
  EXPECT_EQ(governing(e, n4.min_case), "left");
  EXPECT_GT(n5.max, 0.0);
  EXPECT_EQ(governing(e, n5.max_case), "left");
  EXPECT_EQ(n5.min, 0.0);
  EXPECT_EQ(governing(e, n5.min_case), "right");
  // The brace's tension: the 10 kN shear over its slope, 5/4 of it.
  EXPECT_NEAR(n4.max, 10e3 * 5.0 / 4.0, 1e-9 * 10e3);
}

TEST(EnvelopeModels, SecondOrderCombinationsAreTakenAsSolvedNotScaled) {
  // A clamped column 4 m high with a lateral load and a heavy axial load.
  FrameBuilder b;
  b.model.settings.analysis_options.order = AnalysisOrder::Nonlinear;
  const auto s = b.section(0.01, 5e-6, 5e-6, 2e-6);
  b.support(1, ConditionType::Fixed, "XYZ", ConditionType::Fixed, "XYZ");
  b.node(1, 0, 0, 0, 1);
  b.node(2, 0, 2, 0);
  b.node(3, 0, 4, 0);
  b.member(1, 1, 2, s);
  b.member(2, 2, 3, s);
  LoadCase& c = b.load_case(1, "P and H");
  FrameBuilder::force(c, 3, 100e3, {0, -1, 0});
  FrameBuilder::force(c, 3, 1e3, {1, 0, 0});
  b.model.load_combinations.push_back({1, "once", {{1, 1.0}}, {}, "c", LimitState::ULS});
  b.model.load_combinations.push_back({2, "twice", {{1, 2.0}}, {}, "c", LimitState::ULS});
  const InspectedModel inspected = inspect(b.text());
  const Envelope e = envelope_of(inspected, {}, 5);
  // The column bends about one local axis; its base moment is the largest.
  const auto bending = [](const MemberDiagram& d) {
    double largest = 0.0;
    for (const DiagramComponent c : {DiagramComponent::My, DiagramComponent::Mz}) {
      const SpanExtreme x = d.extreme(c);
      largest = std::max({largest, std::abs(x.max), std::abs(x.min)});
    }
    return largest;
  };
  const double once = bending(inspected.loadcombinations.at(0).diagrams.at(1));
  const double twice = bending(inspected.loadcombinations.at(1).diagrams.at(1));
  double enveloped = 0.0;
  for (const DiagramComponent c : {DiagramComponent::My, DiagramComponent::Mz}) {
    const EnvelopeExtreme& x = e.members.at(1).extremes[static_cast<std::size_t>(component_index(c))];
    enveloped = std::max({enveloped, std::abs(x.max), std::abs(x.min)});
  }
  EXPECT_EQ(enveloped, twice);
  // P-Delta: twice the load gives more than twice the first-order base moment.
  EXPECT_GT(once, 1e3 * 4.0 * 1.05);
  EXPECT_GT(twice, 2.0 * once * 1.05);
}

// ---- random frames ----

const CaseInspection& case_of(const InspectedModel& inspected, const Envelope& e, std::size_t index) {
  const EnvelopeCaseKey& key = e.set.at(index);
  const auto& group = key.identity.is_combination() ? inspected.loadcombinations : inspected.loadcases;
  for (const CaseInspection& c : group) {
    if (c.name == key.name) return c;
  }
  throw std::logic_error("no such case");
}

class RandomFrameEnvelopes : public ::testing::TestWithParam<std::uint64_t> {};

TEST_P(RandomFrameEnvelopes, BoundsEveryCaseAndEqualsOne) {
  constexpr int stations = 9;
  const VELK model = test_support::random_frame(GetParam(), {.members = 12});
  const InspectedModel inspected = inspect(write_velk(model));
  const Envelope e = envelope_of(inspected, {{}, {}, true}, stations);
  ASSERT_EQ(e.set.size(), 5u);
  ASSERT_FALSE(e.members.empty());
  for (const auto& [id, m] : e.members) {
    for (std::size_t c = 0; c < diagram_component_count; ++c) {
      for (std::size_t i = 0; i < e.set.size(); ++i) {
        const MemberDiagram& d = case_of(inspected, e, i).diagrams.at(id);
        const SampledDiagram sampled = sample_diagram(d, stations);
        for (std::size_t s = 0; s < m.x.size(); ++s) {
          EXPECT_LE(sampled.values[c][s], m.max[c][s]);
          EXPECT_GE(sampled.values[c][s], m.min[c][s]);
        }
        EXPECT_LE(sampled.extremes[c].max, m.extremes[c].max);
        EXPECT_GE(sampled.extremes[c].min, m.extremes[c].min);
      }
      for (std::size_t s = 0; s < m.x.size(); ++s) {
        const double slack = 1e-12 * (std::abs(m.extremes[c].max) + std::abs(m.extremes[c].min));
        EXPECT_EQ(
            sample_diagram(case_of(inspected, e, m.max_case[c][s]).diagrams.at(id), stations).values[c][s],
            m.max[c][s]);
        EXPECT_EQ(
            sample_diagram(case_of(inspected, e, m.min_case[c][s]).diagrams.at(id), stations).values[c][s],
            m.min[c][s]);
        EXPECT_LE(m.max[c][s], m.extremes[c].max + slack);
        EXPECT_GE(m.min[c][s], m.extremes[c].min - slack);
      }
      const SpanExtreme at_max = case_of(inspected, e, m.extremes[c].max_case)
                                     .diagrams.at(id)
                                     .extreme(static_cast<DiagramComponent>(c));
      const SpanExtreme at_min = case_of(inspected, e, m.extremes[c].min_case)
                                     .diagrams.at(id)
                                     .extreme(static_cast<DiagramComponent>(c));
      EXPECT_EQ(at_max.max, m.extremes[c].max);
      EXPECT_EQ(at_max.max_at, m.extremes[c].max_at);
      EXPECT_EQ(at_min.min, m.extremes[c].min);
      EXPECT_EQ(at_min.min_at, m.extremes[c].min_at);
    }
  }
  // Rigid members have no envelope, like they have no diagram.
  for (const MemberSet& set : inspected.model.member_sets) {
    for (const Member& member : set.members) {
      if (member.member_type == MemberType::Rigid) {
        EXPECT_FALSE(e.members.contains(member.id));
      }
    }
  }
  // Every node of a case and every reaction is enveloped.
  EXPECT_EQ(e.nodes.size(), inspected.loadcases.front().results.displacement_nodes.size());
  EXPECT_EQ(e.reactions.size(), inspected.loadcases.front().results.reaction_nodes.size());
}

TEST_P(RandomFrameEnvelopes, TheOrderOfTheCombinationsChangesOnlyTies) {
  VELK model = test_support::random_frame(GetParam(), {.members = 10});
  // A copy of the first combination ties with it everywhere.
  LoadCombination copy = model.load_combinations.front();
  copy.id = 3;
  copy.name = "copy";
  model.load_combinations.push_back(copy);
  const InspectedModel forward = inspect(write_velk(model));
  std::reverse(model.load_combinations.begin(), model.load_combinations.end());
  const InspectedModel backward = inspect(write_velk(model));
  const Envelope a = envelope_of(forward, {}, 6);
  const Envelope b = envelope_of(backward, {}, 6);
  ASSERT_EQ(a.members.size(), b.members.size());
  const auto tied = [](std::string_view x, std::string_view y) {
    return x == y || (x == "copy" && y == "ULS") || (x == "ULS" && y == "copy");
  };
  for (const auto& [id, ma] : a.members) {
    const MemberEnvelope& mb = b.members.at(id);
    for (std::size_t c = 0; c < diagram_component_count; ++c) {
      EXPECT_EQ(ma.max[c], mb.max[c]);
      EXPECT_EQ(ma.min[c], mb.min[c]);
      EXPECT_EQ(ma.extremes[c].max, mb.extremes[c].max);
      EXPECT_EQ(ma.extremes[c].min, mb.extremes[c].min);
      for (std::size_t s = 0; s < ma.x.size(); ++s) {
        std::string_view ga = governing(a, ma.max_case[c][s]), gb = governing(b, mb.max_case[c][s]);
        if (!tied(ga, gb)) {
          // Two different combinations give the same value there.
          const std::size_t same_in_b = b.set.size() - 1 - ma.max_case[c][s];
          EXPECT_EQ(sample_diagram(case_of(backward, b, same_in_b).diagrams.at(id), 6).values[c][s],
                    mb.max[c][s])
              << ga << " / " << gb;
        }
      }
      const std::size_t same_in_b = b.set.size() - 1 - ma.extremes[c].max_case;
      EXPECT_EQ(case_of(backward, b, same_in_b).diagrams.at(id).extreme(static_cast<DiagramComponent>(c)).max,
                mb.extremes[c].max);
    }
  }
  // The copy never governs in the forward order, where it comes after "ULS".
  for (const auto& [id, ma] : a.members) {
    for (std::size_t c = 0; c < diagram_component_count; ++c) {
      for (const std::size_t g : ma.max_case[c]) EXPECT_NE(governing(a, g), "copy");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomFrameEnvelopes, ::testing::Values(1u, 2u, 3u, 5u, 8u, 13u));

}  // namespace
}  // namespace velk
