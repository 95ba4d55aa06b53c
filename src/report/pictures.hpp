#pragma once
// The report's pictures as inline SVG. Every picture draws each member of the
// model as one path of class "member" carrying data-member="ID", so a reader
// (or a test) can tell that nothing was left out; the pictures of a case lay
// their deformed shape, diagrams or colours over it.

#include <array>
#include <string>
#include <vector>

#include "diagrams/member_diagrams.hpp"
#include "document/units.hpp"
#include "envelopes/envelope.hpp"
#include "report/drawing_geometry.hpp"
#include "report/scene.hpp"
#include "results/results.hpp"
#include "stability/stability.hpp"

namespace velk::report {

struct Units {
  std::string length;  // "m"
  std::string force;   // "kN"
  UnitFactors factors;
};

// Pictures of a model of more members than this carry no node or member
// numbers and draw each member's deformed shape straight between its nodes:
// the numbers would cover the drawing, and the page would not open quickly.
inline constexpr std::size_t numbered_picture_members = 200;

// Whether the report draws and lists the scene member by member (a model of
// up to numbered_picture_members), or as a large model.
inline bool drawn_member_by_member(const Scene& scene) {
  return scene.members.size() <= numbered_picture_members;
}

// The structure: members by type, node and member numbers, supports by kind,
// released member ends, the axes of the view.
std::string structure_picture(const Scene& scene, View view, double width, double height);

// The loads of a case (a combination's loads with their factors): nodal
// forces and moments as arrows, distributed loads along their stretch, with
// their values while there are at most 24 loads.
std::string loads_picture(const Scene& scene, const VELK& model, ResultType identity, const Units& units);

// The deformed shape over the undeformed one, from the displacements along
// each member (Rigid members and members without a diagram straight between
// their displaced nodes), with the scale written on the picture.
std::string deformed_picture(const Scene& scene, const Results& results, const MemberDiagrams& diagrams,
                             const Units& units);

// My or Mz along every member in its plane, on the tension side, with the
// extreme values written where they occur (on a model of more than 30
// members only those of at least half the picture's largest).
std::string moment_picture(const Scene& scene, const MemberDiagrams& diagrams, MomentPlane plane,
                           const Units& units);

// The axial force by colour: tension, compression, switched off.
std::string axial_picture(const Scene& scene, const MemberDiagrams& diagrams, const Units& units);

// The envelope of one component along every member: its largest and its
// smallest curve over the set, drawn in the plane given (for My and Mz their
// own, on the tension side as the case diagrams are; N in the local x-y
// plane), with the span extremes written where they occur.
std::string envelope_picture(const Scene& scene, const Envelope& envelope, DiagramComponent component,
                             MomentPlane plane, const Units& units);

// A buckling mode over the undeformed structure: each Normal member without
// releases bent as the cubic its end translations and rotations give, the
// others straight between their displaced nodes; the largest translation
// drawn as a tenth of the model's size.
std::string buckling_mode_picture(const Scene& scene, const BucklingMode& mode);

// Positions at which a member's diagram is read for drawing: `stations`
// equally spaced ones and the ends of its pieces (the load breakpoints,
// where the curves have kinks), ascending, without repeats.
std::vector<double> drawing_stations(const MemberDiagram& diagram, int stations);

// Global positions of the deformed member at positions x along it, for
// local displacements u (ux, uy, uz at each x) drawn `scale` times enlarged.
std::vector<Vector3> deformed_shape(const SceneMember& member, const std::vector<double>& x,
                                    const std::array<std::vector<double>, 3>& u, double scale);

// A member's shape in a mode: its local displacements at `stations` equally
// spaced positions x (scene length), the axial one linear and the transverse
// ones the Hermite cubics of its end translations u1, u2 and rotations r1, r2
// (global components; rotations per unit of `length`, the member's length
// in the unit of the translations).
struct MemberShape {
  std::vector<double> x;
  std::array<std::vector<double>, 3> u;
};
MemberShape cubic_member_shape(const SceneMember& member, const Vector3& u1, const Vector3& r1,
                               const Vector3& u2, const Vector3& r2, double length, int stations);

}  // namespace velk::report
