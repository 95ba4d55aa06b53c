#include "report/drawing_geometry.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace velk::report {

std::string_view view_name(View view) {
  switch (view) {
    case View::Isometric:
      return "Isometric";
    case View::XY:
      return "X-Y";
    case View::YZ:
      return "Y-Z";
    case View::XZ:
      return "X-Z";
  }
  return "";
}

Point2 project(View view, const Vector3& p) {
  switch (view) {
    case View::Isometric: {
      // Screen right (1, 0, -1)/sqrt(2), screen up (-1, 2, -1)/sqrt(6).
      static constexpr double inv_sqrt2 = 0.70710678118654752440;
      static constexpr double inv_sqrt6 = 0.40824829046386301637;
      return {(p.x() - p.z()) * inv_sqrt2, (2.0 * p.y() - p.x() - p.z()) * inv_sqrt6};
    }
    case View::XY:
      return {p.x(), p.y()};
    case View::YZ:
      return {-p.z(), p.y()};
    case View::XZ:
      return {p.x(), -p.z()};
  }
  return {};
}

Fit fit_to_box(View view, const std::vector<Vector3>& points, double width, double height, double margin) {
  double u_min = std::numeric_limits<double>::infinity();
  double u_max = -u_min;
  double v_min = u_min;
  double v_max = -u_min;
  for (const Vector3& p : points) {
    const Point2 q = project(view, p);
    u_min = std::min(u_min, q.u);
    u_max = std::max(u_max, q.u);
    v_min = std::min(v_min, q.v);
    v_max = std::max(v_max, q.v);
  }
  if (points.empty()) u_min = u_max = v_min = v_max = 0.0;
  const double free_width = std::max(width - 2.0 * margin, 1.0);
  const double free_height = std::max(height - 2.0 * margin, 1.0);
  // A model seen as a point or a line: scale by the other direction, or by
  // the extent of the model itself.
  const double span_u = u_max - u_min;
  const double span_v = v_max - v_min;
  const double extent = model_extent(points);
  double scale = std::numeric_limits<double>::infinity();
  if (span_u > 1e-9 * extent) scale = std::min(scale, free_width / span_u);
  if (span_v > 1e-9 * extent) scale = std::min(scale, free_height / span_v);
  if (!std::isfinite(scale)) scale = extent > 0.0 ? std::min(free_width, free_height) / extent : 1.0;
  Fit fit;
  fit.scale = scale;
  fit.x0 = width / 2.0 - scale * (u_min + u_max) / 2.0;
  fit.y0 = height / 2.0 + scale * (v_min + v_max) / 2.0;
  return fit;
}

double model_extent(const std::vector<Vector3>& points) {
  if (points.empty()) return 0.0;
  Vector3 low = points.front();
  Vector3 high = points.front();
  for (const Vector3& p : points) {
    low = low.cwiseMin(p);
    high = high.cwiseMax(p);
  }
  return (high - low).maxCoeff();
}

double nice_floor(double value) {
  const double decade = std::pow(10.0, std::floor(std::log10(value)));
  for (const double step : {5.0, 2.0, 1.0}) {
    // A small tolerance so that 200 stays 200 after the division by 10^2.
    if (step * decade <= value * (1.0 + 1e-12)) return step * decade;
  }
  return decade / 2.0;  // only when log10 rounded up
}

double deformed_scale(double largest_displacement, double extent, double fraction) {
  if (!(largest_displacement > 0.0) || !(extent > 0.0) || !std::isfinite(largest_displacement)) return 1.0;
  return nice_floor(fraction * extent / largest_displacement);
}

Vector3 diagram_offset(const Matrix3& lambda, MomentPlane plane, double moment, double scale) {
  // Rows of lambda are the local axes in global components.
  if (plane == MomentPlane::Mz) return -moment * scale * lambda.row(1).transpose();
  return moment * scale * lambda.row(2).transpose();
}

}  // namespace velk::report
