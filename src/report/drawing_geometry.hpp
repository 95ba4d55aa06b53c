#pragma once
// The geometry of the report's pictures: projections of the model onto the
// drawing plane, the fit of a projected model into a picture, the scale of
// the deformed shape and where a diagram is drawn beside its member.
//
// Drawing coordinates (u, v) have v upwards; the fit turns them into picture
// coordinates with y downwards, as SVG has them.

#include <array>
#include <string_view>
#include <vector>

#include "member/member_dofs.hpp"

namespace velk::report {

// The isometric view looks from (+1, +1, +1) with global Y up; each plane
// view looks along the positive third axis: X-Y from +Z (X right, Y up), Y-Z
// from +X (-Z right, Y up), X-Z from +Y, a plan (X right, -Z up).
enum class View { Isometric, XY, YZ, XZ };
inline constexpr std::array<View, 4> all_views{View::Isometric, View::XY, View::YZ, View::XZ};
std::string_view view_name(View view);

struct Point2 {
  double u = 0.0;
  double v = 0.0;
};

// Orthographic projection of a point or a direction (the projection is
// linear, so a direction projects like a point).
Point2 project(View view, const Vector3& p);

// Picture coordinates of the projected model: a uniform scale (pixels per
// model length unit) and the picture position of the drawing origin.
struct Fit {
  double scale = 1.0;
  double x0 = 0.0;
  double y0 = 0.0;

  double x(const Point2& p) const { return x0 + scale * p.u; }
  double y(const Point2& p) const { return y0 - scale * p.v; }
};

// Fits the projected points into a width x height picture with `margin`
// pixels left free on every side, centred, keeping the aspect ratio. A
// model that projects to a point or a line keeps a finite scale.
Fit fit_to_box(View view, const std::vector<Vector3>& points, double width, double height, double margin);

// The largest distance between two of the points along any global axis: the
// size the deformed shape and the diagrams are drawn against.
double model_extent(const std::vector<Vector3>& points);

// The largest 1, 2 or 5 times a power of ten that is not above `value`
// (value > 0).
double nice_floor(double value);

// The factor the displacements are drawn at: the largest round number for
// which the largest displacement appears at most `fraction` of the model's
// extent. 1 when nothing moves.
double deformed_scale(double largest_displacement, double extent, double fraction = 0.1);

// The bending moments drawn beside the members: Mz in the local x-y plane,
// My in the local x-z plane, each on the side of the member that it puts in
// tension. With the diagrams' convention (the part beyond x acting on the
// part before x) the stress is N/A + My z / Iy - Mz y / Iz, so a positive Mz
// stretches the -y fibre and a positive My the +z fibre: a sagging beam has
// its Mz diagram below it.
enum class MomentPlane { My, Mz };

// The global offset at which a moment value is drawn, for `lambda` the
// member's rotation (local axes as rows) and `scale` model length units per
// moment unit.
Vector3 diagram_offset(const Matrix3& lambda, MomentPlane plane, double moment, double scale);

}  // namespace velk::report
