#pragma once
// Internal forces and displacements along every member of a solved case, as
// piecewise polynomials in x (the distance from the start node) between the
// breakpoints of the member's distributed loads.
//
// Convention: the forces are those that the part beyond x exerts on the part
// before x, in the member's local axes. So N > 0 is tension, and a beam along
// +X (local y up), simply supported and loaded downwards, has Mz = +wL^2/8 at
// mid-span. With this convention dMz/dx = -Vy and dMy/dx = +Vz; at x = 0 the
// forces are minus the start end force, at x = L the end force (both the
// forces the nodes exert on the member, turned into local axes).
//
// Displacements (local axes): the cubic field of the member-side end
// displacements (at a released end those of the semi-rigid recovery, so the
// shape jumps only at the hinge) plus the exact deflection of the member's
// distributed loads with both ends held.
//
// A second-order solution adds to the statics of the end forces the moment
// of the axial force on the member's own deflected shape, N (v(x) - v(0)),
// consistent with the geometric stiffness in the end forces. A member bent
// between two nodes has only its cubic shape, so an exact P-small-delta
// needs interior nodes along the member, as in every frame program.

#include <Eigen/Dense>
#include <array>
#include <cstdint>
#include <map>
#include <string_view>
#include <vector>

#include "document/units.hpp"
#include "document/velk.hpp"
#include "results/results.hpp"
#include "system/active_set.hpp"

namespace velk {

// The ten components of a member diagram, in the order they are written.
enum class DiagramComponent : int { N, Vy, Vz, T, My, Mz, ux, uy, uz, rx };
inline constexpr int diagram_component_count = 10;
inline constexpr std::array<std::string_view, diagram_component_count> diagram_component_names{
    "N", "Vy", "Vz", "T", "My", "Mz", "ux", "uy", "uz", "rx"};

inline constexpr int component_index(DiagramComponent component) { return static_cast<int>(component); }

// c[0] + c[1] t + ... + c[7] t^7.
struct Polynomial {
  static constexpr int capacity = 8;
  std::array<double, capacity> c{};

  double operator()(double t) const;
  Polynomial derivative() const;
};

// One stretch of a member between two load breakpoints; each component is a
// polynomial in t = x - start.
struct DiagramPiece {
  double start = 0.0;
  double end = 0.0;
  std::array<Polynomial, diagram_component_count> components{};
};

// The largest and smallest value of a component over the member, with the
// first position where each occurs.
struct SpanExtreme {
  double max = 0.0;
  double max_at = 0.0;
  double min = 0.0;
  double min_at = 0.0;
};

struct MemberDiagram {
  std::uint32_t member_id = 0;
  MemberType member_type = MemberType::Normal;
  double length = 0.0;
  std::vector<DiagramPiece> pieces;  // consecutive, covering [0, length]

  // The value at x (clamped to [0, length]).
  double value(DiagramComponent component, double x) const;
  // Exact extremes over the span: piece ends and roots of the derivative.
  SpanExtreme extreme(DiagramComponent component) const;
};

// By member id, ascending.
using MemberDiagrams = std::map<std::uint32_t, MemberDiagram>;

// The diagrams of every member but Rigid ones for one solved case: model in
// base units, u the displacement vector in base units, the active map of the
// solution, and the recovery of the results (second order or not). Members
// that get no end forces (section or material missing) get no diagram;
// switched-off Tension and Compression members carry no forces.
MemberDiagrams build_member_diagrams(const VELK& model, ResultType identity, const Eigen::VectorXd& u,
                                     const ActiveMap& active, const RecoveryOptions& options = {});

// Converts a diagram built in base units to the document's units: x and
// lengths divided by the length factor, forces by the force factor, moments
// by both; rotations stay in radians.
void diagram_to_document_units(MemberDiagram& diagram, const UnitFactors& factors);

// A diagram read at equally spaced stations, with its span extremes.
struct SampledDiagram {
  double length = 0.0;
  std::vector<double> x;
  std::array<std::vector<double>, diagram_component_count> values;
  std::array<SpanExtreme, diagram_component_count> extremes{};
};

// `stations` >= 2 positions from 0 to length, both included.
SampledDiagram sample_diagram(const MemberDiagram& diagram, int stations);

}  // namespace velk
