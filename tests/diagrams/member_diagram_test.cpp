// Span extremes of hand-made diagrams, and the conversion to document units.

#include <gtest/gtest.h>

#include <cmath>

#include "diagrams/member_diagrams.hpp"

namespace velk {
namespace {

// One component given piece by piece as polynomials in t.
MemberDiagram diagram_of(DiagramComponent component, const std::vector<std::pair<double, Polynomial>>& pieces,
                         double length) {
  MemberDiagram d;
  d.length = length;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    DiagramPiece piece;
    piece.start = pieces[i].first;
    piece.end = i + 1 < pieces.size() ? pieces[i + 1].first : length;
    piece.components[static_cast<std::size_t>(component_index(component))] = pieces[i].second;
    d.pieces.push_back(piece);
  }
  return d;
}

Polynomial poly(std::initializer_list<double> c) {
  Polynomial p;
  std::size_t k = 0;
  for (const double v : c) p.c[k++] = v;
  return p;
}

TEST(SpanExtremes, QuarticWithTwoInteriorPeaksFoundToTheLastBits) {
  // p(x) = -(x - 1)^2 (x - 3)^2 + 0.5 x on [0, 4]: two humps near 1 and 3,
  // the right one higher; a trough near 2.
  const Polynomial p = poly({-9.0, 24.0 + 0.5, -22.0, 8.0, -1.0});
  const MemberDiagram d = diagram_of(DiagramComponent::Mz, {{0.0, p}}, 4.0);
  const SpanExtreme e = d.extreme(DiagramComponent::Mz);
  // p'(x) = 0 <=> -4 (x-1)(x-2)(x-3) + 0.5 = 0; refine the root near 3 by Newton.
  double x = 3.0;
  for (int i = 0; i < 50; ++i) {
    const double f = -4 * (x - 1) * (x - 2) * (x - 3) + 0.5;
    const double df = -4 * ((x - 2) * (x - 3) + (x - 1) * (x - 3) + (x - 1) * (x - 2));
    x -= f / df;
  }
  EXPECT_NEAR(e.max_at, x, 1e-7);
  EXPECT_NEAR(e.max, p(x), 1e-13);  // the rounding of evaluating p, no more
  // The minimum is at an end: p(0) = -9 against p(4) = -9 + 2 = -7.
  EXPECT_EQ(e.min_at, 0.0);
  EXPECT_EQ(e.min, -9.0);
}

TEST(SpanExtremes, AcrossPiecesAndAtBreakpoints) {
  // A rising line then a falling one: the peak sits on the breakpoint.
  const MemberDiagram d =
      diagram_of(DiagramComponent::Vy, {{0.0, poly({0.0, 2.0})}, {1.5, poly({3.0, -1.0})}}, 5.0);
  const SpanExtreme e = d.extreme(DiagramComponent::Vy);
  EXPECT_EQ(e.max, 3.0);
  EXPECT_EQ(e.max_at, 1.5);
  EXPECT_EQ(e.min, -0.5);
  EXPECT_EQ(e.min_at, 5.0);
  EXPECT_EQ(d.value(DiagramComponent::Vy, 1.5), 3.0);
  EXPECT_EQ(d.value(DiagramComponent::Vy, 9.0), -0.5);  // clamped to the end
}

TEST(SpanExtremes, ConstantGivesTheFirstPosition) {
  const MemberDiagram d = diagram_of(DiagramComponent::N, {{0.0, poly({-4.0})}, {2.0, poly({-4.0})}}, 3.0);
  const SpanExtreme e = d.extreme(DiagramComponent::N);
  EXPECT_EQ(e.max, -4.0);
  EXPECT_EQ(e.min, -4.0);
  EXPECT_EQ(e.max_at, 0.0);
  EXPECT_EQ(e.min_at, 0.0);
}

TEST(DocumentUnits, LengthsForcesAndMomentsScaleAndRotationsStay) {
  // In base units: Mz = 1000 x (N m), uy = 0.001 x^2 (m), rx = 0.01 x (rad), over 2 m.
  MemberDiagram d;
  d.length = 2.0;
  DiagramPiece piece;
  piece.start = 0.0;
  piece.end = 2.0;
  piece.components[component_index(DiagramComponent::Mz)] = poly({0.0, 1000.0});
  piece.components[component_index(DiagramComponent::uy)] = poly({0.0, 0.0, 0.001});
  piece.components[component_index(DiagramComponent::rx)] = poly({0.0, 0.01});
  piece.components[component_index(DiagramComponent::N)] = poly({500.0});
  d.pieces.push_back(piece);
  // To mm and kN.
  diagram_to_document_units(d, UnitFactors{0.001, 1000.0, 1.0, 1.0});
  EXPECT_DOUBLE_EQ(d.length, 2000.0);
  EXPECT_DOUBLE_EQ(d.value(DiagramComponent::Mz, 2000.0), 2000.0);  // 2000 N m = 2000 kN mm
  EXPECT_DOUBLE_EQ(d.value(DiagramComponent::uy, 1000.0), 1.0);     // 0.001 m = 1 mm
  EXPECT_DOUBLE_EQ(d.value(DiagramComponent::rx, 2000.0), 0.02);
  EXPECT_DOUBLE_EQ(d.value(DiagramComponent::N, 700.0), 0.5);

  const SampledDiagram s = sample_diagram(d, 3);
  EXPECT_EQ(s.x, (std::vector<double>{0.0, 1000.0, 2000.0}));
  EXPECT_DOUBLE_EQ(s.values[component_index(DiagramComponent::Mz)][1], 1000.0);
  EXPECT_DOUBLE_EQ(s.extremes[component_index(DiagramComponent::uy)].max, 4.0);
  EXPECT_EQ(s.extremes[component_index(DiagramComponent::uy)].max_at, 2000.0);
}

}  // namespace
}  // namespace velk
