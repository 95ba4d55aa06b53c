// Member diagrams of whole models against the closed forms of beam theory,
// through the front end: JSON text in, analysed, diagrams in document units.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "inspection/inspection.hpp"
#include "member/member_geometry.hpp"
#include "support/frame_builder.hpp"

namespace velk {
namespace {

using test_support::FrameBuilder;
using test_support::steel_e;

constexpr double kLength = 6.0;
constexpr double kLoad = 12e3;  // N/m, downwards
constexpr double kIz = 8e-5;
constexpr double kEI = steel_e * kIz;

const MemberDiagram& only_diagram(const InspectedModel& inspected, std::size_t member = 1) {
  return inspected.loadcases.at(0).diagrams.at(static_cast<std::uint32_t>(member));
}

InspectedModel inspect(const FrameBuilder& b) {
  auto inspected = inspect_model(b.text());
  EXPECT_TRUE(inspected.has_value()) << (inspected ? "" : inspected.error());
  if (!inspected) return {};
  EXPECT_FALSE(inspected->analysis_error) << *inspected->analysis_error;
  return std::move(*inspected);
}

// A beam along +X from node 1 to node 2 with the given supports (1: pinned
// and held against twist, 2: roller, 3: clamped) and a uniform downward load.
FrameBuilder beam(int start_support, int end_support) {
  FrameBuilder b;
  const auto s = b.section(0.01, 5e-5, kIz, 2e-5);
  NodalSupport& pin = b.support(1, ConditionType::Fixed, "XYZ", ConditionType::Free, "YZ");
  pin.rotation_conditions["X"] = {ConditionType::Fixed, {}};
  b.support(2, ConditionType::Fixed, "YZ", ConditionType::Free, "XYZ");
  b.support(3, ConditionType::Fixed, "XYZ", ConditionType::Fixed, "XYZ");
  b.node(1, 0, 0, 0, static_cast<std::uint32_t>(start_support));
  b.node(2, kLength, 0, 0, static_cast<std::uint32_t>(end_support));
  b.member(1, 1, 2, s);
  LoadCase& c = b.load_case(1, "uniform");
  FrameBuilder::line_load(c, 1, kLoad, kLoad, {0, -1, 0});
  return b;
}

void expect_near_relative(double actual, double expected, double relative, const char* what) {
  EXPECT_NEAR(actual, expected, relative * std::abs(expected)) << what;
}

TEST(ClosedForms, SimplySupportedBeamUnderUniformLoad) {
  const InspectedModel inspected = inspect(beam(1, 2));
  const MemberDiagram& d = only_diagram(inspected);
  const double w = kLoad, l = kLength;
  const SpanExtreme mz = d.extreme(DiagramComponent::Mz);
  expect_near_relative(mz.max, w * l * l / 8, 1e-12, "wL^2/8");
  EXPECT_NEAR(mz.max_at, l / 2, 1e-9);
  EXPECT_NEAR(d.value(DiagramComponent::Mz, 0.0), 0.0, 1e-9 * w * l * l);
  EXPECT_NEAR(d.value(DiagramComponent::Mz, l), 0.0, 1e-9 * w * l * l);
  EXPECT_NEAR(d.value(DiagramComponent::Vy, 0.0), -w * l / 2,
              1e-9 * w * l);  // beyond pulls the left part down
  const SpanExtreme uy = d.extreme(DiagramComponent::uy);
  expect_near_relative(uy.min, -5 * w * std::pow(l, 4) / (384 * kEI), 1e-9, "5wL^4/384EI");
  EXPECT_NEAR(uy.min_at, l / 2, 1e-6);
  EXPECT_NEAR(d.extreme(DiagramComponent::N).max, 0.0, 1e-9 * w * l);
}

TEST(ClosedForms, FixedFixedBeamUnderUniformLoad) {
  const InspectedModel inspected = inspect(beam(3, 3));
  const MemberDiagram& d = only_diagram(inspected);
  const double w = kLoad, l = kLength;
  expect_near_relative(d.value(DiagramComponent::Mz, 0.0), -w * l * l / 12, 1e-9, "-wL^2/12 at the start");
  expect_near_relative(d.value(DiagramComponent::Mz, l), -w * l * l / 12, 1e-9, "-wL^2/12 at the end");
  const SpanExtreme mz = d.extreme(DiagramComponent::Mz);
  expect_near_relative(mz.max, w * l * l / 24, 1e-9, "wL^2/24");
  EXPECT_NEAR(mz.max_at, l / 2, 1e-9);
  EXPECT_EQ(mz.min_at, 0.0);
  expect_near_relative(d.extreme(DiagramComponent::uy).min, -w * std::pow(l, 4) / (384 * kEI), 1e-9,
                       "wL^4/384EI");
  // Both ends held: no displacement and no slope at the ends.
  EXPECT_NEAR(d.value(DiagramComponent::uy, 0.0), 0.0, 1e-15);
  EXPECT_NEAR(d.value(DiagramComponent::uy, l), 0.0, 1e-12);
}

TEST(ClosedForms, ProppedCantileverSpanMomentAtThreeEighths) {
  // Prop at the start, clamped at the end.
  const InspectedModel inspected = inspect(beam(1, 3));
  const MemberDiagram& d = only_diagram(inspected);
  const double w = kLoad, l = kLength;
  const SpanExtreme mz = d.extreme(DiagramComponent::Mz);
  expect_near_relative(mz.max, 9 * w * l * l / 128, 1e-9, "9wL^2/128");
  EXPECT_NEAR(mz.max_at, 3 * l / 8, 1e-9);
  expect_near_relative(mz.min, -w * l * l / 8, 1e-9, "-wL^2/8 at the clamp");
  EXPECT_EQ(mz.min_at, l);
  // Largest deflection wL^4/185EI at 0.4215 L from the prop.
  const SpanExtreme uy = d.extreme(DiagramComponent::uy);
  expect_near_relative(uy.min, -w * std::pow(l, 4) / (185 * kEI), 2e-3, "wL^4/185EI");
  EXPECT_NEAR(uy.min_at, (1.0 + std::sqrt(33.0)) / 16.0 * l, 1e-6);
}

// Gauss-Legendre with three points: exact for polynomials up to degree 5.
template <class F>
double gauss3(F f, double a, double b) {
  const double h = (b - a) / 2, m = (a + b) / 2, r = std::sqrt(0.6);
  return h * (5.0 / 9 * f(m - h * r) + 8.0 / 9 * f(m) + 5.0 / 9 * f(m + h * r));
}

TEST(ClosedForms, CantileverUnderPartialTrapezoidalLoad) {
  FrameBuilder b = beam(3, 1);
  b.model.member_sets[0].members[0].end_node.nodal_support.reset();
  b.model.load_cases[0].distributed_loads.clear();
  const double a = 0.25, c = 0.75, w1 = 4e3, w2 = 10e3, l = kLength;
  FrameBuilder::line_load(b.model.load_cases[0], 1, w1, w2, {0, -1, 0}, a, c);
  const InspectedModel inspected = inspect(b);
  const MemberDiagram& d = only_diagram(inspected);

  // q(s) downward between a L and c L; Mz(x) = -int_x^{cL} q(s) (s - x) ds.
  const auto q = [&](double s) {
    return s < a * l || s > c * l ? 0.0 : w1 + (w2 - w1) * (s / l - a) / (c - a);
  };
  const auto moment = [&](double x) {
    const double from = std::max(x, a * l);
    if (from >= c * l) return 0.0;
    return -gauss3([&](double s) { return q(s) * (s - x); }, from, c * l);
  };
  for (const double x : {0.0, 0.1 * l, a * l, 0.4 * l, 0.6 * l, c * l, 0.9 * l, l}) {
    EXPECT_NEAR(d.value(DiagramComponent::Mz, x), moment(x), 1e-9 * w2 * l * l) << "x = " << x;
  }
  const double total = (w1 + w2) / 2 * (c - a) * l;
  EXPECT_NEAR(d.value(DiagramComponent::Vy, 0.0), -total, 1e-9 * total);  // the clamp holds it up
  // Tip deflection: v(L) = int_0^L Mz(s) (L - s) / EI ds, exact piece by piece.
  double tip = 0.0;
  for (const auto& [from, to] : {std::pair{0.0, a * l}, std::pair{a * l, c * l}, std::pair{c * l, l}})
    tip += gauss3([&](double s) { return moment(s) * (l - s) / kEI; }, from, to);
  expect_near_relative(d.value(DiagramComponent::uy, l), tip, 1e-9, "tip deflection");
  EXPECT_EQ(d.extreme(DiagramComponent::uy).min_at, l);
}

TEST(ClosedForms, PinEndedMemberInAFrameCarriesNoMomentAtThePin) {
  // A portal: two clamped columns, a beam pinned (mz released) to the top
  // of the right column, loaded uniformly.
  FrameBuilder b;
  const auto s = b.section(0.01, 5e-5, kIz, 2e-5);
  b.support(1, ConditionType::Fixed, "XYZ", ConditionType::Fixed, "XYZ");
  b.node(1, 0, 0, 0, 1);
  b.node(2, 0, 4, 0);
  b.node(3, kLength, 4, 0);
  b.node(4, kLength, 0, 0, 1);
  b.member(1, 1, 2, s);
  b.member(2, 2, 3, s);
  b.member(3, 4, 3, s);
  b.model.memberhinges =
      std::vector<MemberHinge>{MemberHinge{1, "pin", {}, {}, {}, {}, {}, 0.0, {}, {}, {}, {}, {}, {}}};
  b.model.member_sets[0].members[1].end_hinge = 1;
  FrameBuilder::line_load(b.load_case(1, "roof"), 2, kLoad, kLoad, {0, -1, 0});
  const InspectedModel inspected = inspect(b);
  const MemberDiagram& beam_diagram = only_diagram(inspected, 2);
  const double scale = kLoad * kLength * kLength;
  EXPECT_NEAR(beam_diagram.value(DiagramComponent::Mz, kLength), 0.0, 1e-9 * scale);
  EXPECT_GT(std::abs(beam_diagram.value(DiagramComponent::Mz, 0.0)), 0.01 * scale);
  // The column top moves with the beam end, but turns on its own.
  const MemberDiagram& column = only_diagram(inspected, 3);
  // Column along +Y: local z = X, local y = Z.
  EXPECT_NEAR(column.value(DiagramComponent::uz, 4.0), beam_diagram.value(DiagramComponent::ux, kLength),
              1e-12);
  EXPECT_NEAR(column.value(DiagramComponent::ux, 4.0), beam_diagram.value(DiagramComponent::uy, kLength),
              1e-12);
}

TEST(ClosedForms, InclinedBeamIn3DUnderGlobalVerticalLoad) {
  FrameBuilder b;
  const auto s = b.section(0.01, 5e-5, kIz, 2e-5);
  b.support(1, ConditionType::Fixed, "XYZ", ConditionType::Fixed, "XYZ");
  b.node(1, 0, 0, 0, 1);
  b.node(2, 3, 2, 4, 1);
  Member& m = b.member(1, 1, 2, s);
  FrameBuilder::line_load(b.load_case(1, "gravity"), 1, kLoad, kLoad, {0, -1, 0});
  const double l = member_length(m);
  const Matrix3 lambda = rotation_matrix(m);
  const InspectedModel inspected = inspect(b);
  const MemberDiagram& d = only_diagram(inspected);

  // Local y is up in the vertical plane through the member, local z level.
  const double q_y = -kLoad * lambda(1, 1);  // transverse share
  const double q_x = -kLoad * lambda(0, 1);  // axial share
  ASSERT_NEAR(lambda(2, 1), 0.0, 1e-15);
  const double scale = kLoad * l * l;
  EXPECT_NEAR(d.value(DiagramComponent::Mz, 0.0), q_y * l * l / 12, 1e-9 * scale);
  EXPECT_NEAR(d.value(DiagramComponent::Mz, l / 2), -q_y * l * l / 24, 1e-9 * scale);
  EXPECT_NEAR(d.extreme(DiagramComponent::My).max, 0.0, 1e-9 * scale);
  EXPECT_NEAR(d.extreme(DiagramComponent::My).min, 0.0, 1e-9 * scale);
  // Held at both ends, the axial load splits evenly: N(0) = q_x L / 2 (compression below).
  EXPECT_NEAR(d.value(DiagramComponent::N, 0.0), q_x * l / 2, 1e-9 * kLoad * l);
  EXPECT_NEAR(d.value(DiagramComponent::N, l / 2), 0.0, 1e-9 * kLoad * l);
  EXPECT_LT(d.value(DiagramComponent::N, 0.0), 0.0);
  EXPECT_NEAR(d.value(DiagramComponent::uy, l / 2), q_y * std::pow(l, 4) / (384 * kEI),
              1e-9 * std::abs(q_y) * std::pow(l, 4) / kEI);
}

TEST(ClosedForms, MillimetreKilonewtonCopyGivesTheSameDiagramsInItsUnits) {
  const InspectedModel metric = inspect(beam(1, 3));
  FrameBuilder b = beam(1, 3);
  // The same model in mm and kN (E in MPa).
  b.model.settings.unit_settings.length_unit = LengthUnit::Mm;
  b.model.settings.unit_settings.force_unit = ForceUnit::KN;
  b.model.settings.unit_settings.pressure_unit = PressureUnit::MPa;
  for (Material& material : b.model.materials) {
    material.e_mod /= 1e6;
    material.g_mod /= 1e6;
  }
  for (Section& section : b.model.sections) {
    section.area *= 1e6;
    section.i_y *= 1e12;
    section.i_z *= 1e12;
    section.j *= 1e12;
  }
  for (Member& member : b.model.member_sets[0].members) {
    for (Node* node : {&member.start_node, &member.end_node}) {
      node->x *= 1e3;
      node->y *= 1e3;
      node->z *= 1e3;
    }
  }
  b.model.load_cases[0].distributed_loads[0].magnitude = kLoad / 1e6;  // kN/mm
  b.model.load_cases[0].distributed_loads[0].end_magnitude = kLoad / 1e6;
  const InspectedModel mm = inspect(b);
  EXPECT_EQ(mm.length_unit, "mm");
  EXPECT_EQ(mm.force_unit, "kN");

  const MemberDiagram& m = only_diagram(metric);
  const MemberDiagram& k = only_diagram(mm);
  EXPECT_NEAR(k.length, 1e3 * m.length, 1e-9);
  const double per_unit[] = {1e-3, 1e-3, 1e-3, 1.0, 1.0,
                             1.0,  1e3,  1e3,  1e3, 1.0};  // N->kN, N m->kN mm, m->mm
  for (int c = 0; c < diagram_component_count; ++c) {
    const auto component = static_cast<DiagramComponent>(c);
    const SpanExtreme range = m.extreme(component);
    const double tolerance = 1e-9 * per_unit[c] * std::max(std::abs(range.max), std::abs(range.min)) + 1e-300;
    for (const double f : {0.0, 0.2, 0.375, 0.5, 1.0}) {
      const double expected = per_unit[c] * m.value(component, f * m.length);
      EXPECT_NEAR(k.value(component, f * k.length), expected, tolerance)
          << diagram_component_names[static_cast<std::size_t>(c)] << " at " << f;
    }
    const SpanExtreme em = m.extreme(component);
    const SpanExtreme ek = k.extreme(component);
    EXPECT_NEAR(ek.max, per_unit[c] * em.max, 1e-9 * std::abs(per_unit[c] * em.max) + 1e-15);
  }
  // Read back from the document that the analysis returned, the results come
  // in as they were stored: same diagrams, nothing analysed again.
  const auto document = calculate_from_json(b.text());
  ASSERT_TRUE(document.has_value());
  auto carried = inspect_model(*document);
  ASSERT_TRUE(carried.has_value());
  EXPECT_TRUE(carried->results_carried_in);
  const MemberDiagram& again = only_diagram(*carried);
  for (int c = 0; c < diagram_component_count; ++c) {
    const auto component = static_cast<DiagramComponent>(c);
    const SpanExtreme a = again.extreme(component), e = k.extreme(component);
    EXPECT_NEAR(a.max, e.max, 1e-12 * std::abs(e.max) + 1e-18);
    EXPECT_NEAR(a.min, e.min, 1e-12 * std::abs(e.min) + 1e-18);
  }
}

TEST(ClosedForms, SecondOrderCantileverColumnAgainstTheAmplifiedMoment) {
  // A column clamped at its foot, axial compression P and a lateral H at the
  // top, in eight members: M_base = H tan(kL) / k with k = sqrt(P / EI).
  constexpr int kParts = 8;
  const double height = 5.0, p = 400e3, h = 10e3;
  FrameBuilder b;
  b.model.settings.analysis_options.order = AnalysisOrder::Nonlinear;
  b.model.settings.analysis_options.tolerance = 1e-10;
  b.model.settings.analysis_options.max_iterations = 50;
  const auto s = b.section(0.01, kIz, kIz, 2e-5);
  b.support(1, ConditionType::Fixed, "XYZ", ConditionType::Fixed, "XYZ");
  for (int i = 0; i <= kParts; ++i)
    b.node(static_cast<std::uint32_t>(i + 1), 0, height * i / kParts, 0,
           i == 0 ? std::optional<std::uint32_t>(1) : std::nullopt);
  for (int i = 1; i <= kParts; ++i)
    b.member(static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(i + 1),
             s);
  LoadCase& c = b.load_case(1, "sway");
  FrameBuilder::force(c, kParts + 1, p, {0, -1, 0});
  FrameBuilder::force(c, kParts + 1, h, {1, 0, 0});
  const InspectedModel inspected = inspect(b);
  ASSERT_EQ(inspected.loadcases.size(), 1u);
  const auto& diagrams = inspected.loadcases[0].diagrams;

  const double k = std::sqrt(p / kEI);
  const double base = h * std::tan(k * height) / k;
  double largest = 0.0;
  for (const auto& [id, d] : diagrams) {
    largest = std::max({largest, std::abs(d.extreme(DiagramComponent::My).max),
                        std::abs(d.extreme(DiagramComponent::My).min),
                        std::abs(d.extreme(DiagramComponent::Mz).max),
                        std::abs(d.extreme(DiagramComponent::Mz).min)});
  }
  expect_near_relative(largest, base, 2e-3, "H tan(kL) / k");
  EXPECT_GT(largest, 1.05 * h * height);  // well above the first-order moment

  // The P-delta moment along each member closes on its end moments.
  for (const auto& [id, d] : diagrams) {
    const MemberResult& r = inspected.loadcases[0].results.member_results.at(id);
    const double end_moment = std::hypot(r.end_node_forces.mx, r.end_node_forces.mz);
    const double diagram_end =
        std::hypot(d.value(DiagramComponent::My, d.length), d.value(DiagramComponent::Mz, d.length));
    EXPECT_NEAR(diagram_end, end_moment, 1e-6 * base) << "member " << id;
  }
}

}  // namespace
}  // namespace velk
