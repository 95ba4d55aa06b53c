#include "report/modal_report.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "member/member_dofs.hpp"
#include "report/drawing_geometry.hpp"
#include "report/pictures.hpp"
#include "report/svg_canvas.hpp"

namespace velk::report {
namespace {

// Size of a mode shape picture (two to a row, as the pictures of a case).
constexpr double mode_width = 440.0;
constexpr double mode_height = 330.0;
constexpr double mode_margin = 33.0;
// The largest translation is drawn at this share of the model's extent.
constexpr double drawn_share = 0.12;
constexpr int stations_per_member = 13;

std::string cell(double value) { return std::isfinite(value) ? format_value(value) : "-"; }

// A node's translation and rotation in the mode (base units).
Vector3 node_part(const Eigen::VectorXd& shape, std::uint32_t node, int first) {
  const Eigen::Index at = dof::PER_NODE * (static_cast<Eigen::Index>(node) - 1) + first;
  if (node == 0 || at + 3 > shape.size()) return Vector3::Zero();
  return shape.segment<3>(at);
}

}  // namespace

std::string mode_shape_picture(const Scene& scene, const InspectedModes& modes, std::size_t index) {
  const Mode& mode = modes.analysis.modes[index];
  const Fit fit = fit_to_box(View::Isometric, scene.points, mode_width, mode_height, mode_margin);
  const auto x = [&](const Vector3& p) { return fit.x(project(View::Isometric, p)); };
  const auto y = [&](const Vector3& p) { return fit.y(project(View::Isometric, p)); };
  SvgCanvas canvas(mode_width, mode_height, "view mode",
                   " data-view=\"" + std::string(view_name(View::Isometric)) + "\" data-members=\"" +
                       std::to_string(scene.members.size()) + "\" data-mode=\"" + std::to_string(index + 1) +
                       "\"");
  canvas.text(8.0, 16.0,
              "Mode " + std::to_string(index + 1) + ", f = " + format_value(mode.frequency) + " Hz",
              "caption");
  // A large model's mode is drawn without the members at rest, each member
  // straight between its displaced nodes, all in one path.
  const bool large = !drawn_member_by_member(scene);
  for (const SceneMember& m : scene.members) {
    if (large) break;
    PathData d;
    d.move_to(x(m.start), y(m.start));
    d.line_to(x(m.end), y(m.end));
    canvas.path(d, "member base", " data-member=\"" + std::to_string(m.id) + "\"");
  }
  // The shape of every member (unscaled, local components) at its stations.
  std::vector<MemberShape> shapes(scene.members.size());
  double largest = 0.0;
  for (std::size_t k = 0; k < scene.members.size(); ++k) {
    const SceneMember& m = scene.members[k];
    const Vector3 u1 = node_part(mode.shape, m.start_id, dof::UX),
                  u2 = node_part(mode.shape, m.end_id, dof::UX);
    largest = std::max({largest, u1.norm(), u2.norm()});
    const bool bent = m.type == MemberType::Normal && m.has_direction && !m.start_released && !m.end_released;
    if (!bent || large) continue;
    // The rotations are per metre of the largest translation: the member's
    // length in metres.
    shapes[k] = cubic_member_shape(m, u1, node_part(mode.shape, m.start_id, dof::RX), u2,
                                   node_part(mode.shape, m.end_id, dof::RX), m.length * modes.length_factor,
                                   stations_per_member);
    const MemberShape& shape = shapes[k];
    for (std::size_t i = 0; i < shape.x.size(); ++i)
      largest = std::max(largest, Vector3(shape.u[0][i], shape.u[1][i], shape.u[2][i]).norm());
  }
  // The largest displacement along the members appears as a share of the
  // model's extent.
  const double scale = drawn_share * std::max(scene.extent, 1e-9) / (largest > 0.0 ? largest : 1.0);
  PathData gathered;
  for (std::size_t k = 0; k < scene.members.size(); ++k) {
    const SceneMember& m = scene.members[k];
    std::vector<Vector3> points;
    if (shapes[k].x.empty()) {
      points = {m.start + scale * node_part(mode.shape, m.start_id, dof::UX),
                m.end + scale * node_part(mode.shape, m.end_id, dof::UX)};
    } else {
      points = deformed_shape(m, shapes[k].x, shapes[k].u, scale);
    }
    PathData d;
    for (std::size_t i = 0; i < points.size(); ++i) {
      if (i == 0) {
        d.move_to(x(points[i]), y(points[i]));
      } else {
        d.line_to(x(points[i]), y(points[i]));
      }
    }
    if (large)
      gathered.append(d);
    else
      canvas.path(d, "deformed mode-shape", " data-member=\"" + std::to_string(m.id) + "\"");
  }
  if (large)
    canvas.path(gathered, "deformed mode-shape",
                " data-member-count=\"" + std::to_string(scene.members.size()) + "\"");
  canvas.text(8.0, 32.0,
              "largest displacement drawn at " + format_value(100.0 * drawn_share) + " % of the model's size",
              "note");
  return canvas.finish();
}

std::string modes_section(const Scene& scene, const InspectedModes& modes) {
  const ModalAnalysis& analysis = modes.analysis;
  std::string html = "<section class=\"modes\" data-modes=\"" + std::to_string(analysis.modes.size()) +
                     "\"><h2>Natural modes (" + mass_kind_name(analysis.mass) + " mass)</h2>";
  html += "<p class=\"meta\">Total mass not held by the supports: X ";
  html += format_value(analysis.total_mass[0]) + " kg, Y " + format_value(analysis.total_mass[1]) +
          " kg, Z " + format_value(analysis.total_mass[2]) + " kg</p>";
  html +=
      "<table class=\"modes\"><tr><th class=\"l\">Mode</th><th>f (Hz)</th><th>T (s)</th><th>&#969; "
      "(rad/s)</th><th>mass X</th><th>mass Y</th><th>mass Z</th><th>sum X</th><th>sum Y</th><th>sum "
      "Z</th></tr>";
  for (std::size_t i = 0; i < analysis.modes.size(); ++i) {
    const Mode& mode = analysis.modes[i];
    html += "<tr><td class=\"l\">" + std::to_string(i + 1) + "</td><td>" + cell(mode.frequency) +
            "</td><td>" + cell(mode.period) + "</td><td>" + cell(mode.omega) + "</td>";
    for (const Directions* ratios : {&mode.effective_mass_ratio, &mode.cumulative_mass_ratio}) {
      for (const double ratio : *ratios) html += "<td>" + cell(ratio) + "</td>";
    }
    html += "</tr>";
  }
  html += "</table><div class=\"figures\">";
  const std::size_t drawn = std::min(drawn_mode_shapes, analysis.modes.size());
  for (std::size_t i = 0; i < drawn; ++i)
    html += "<figure>" + mode_shape_picture(scene, modes, i) + "</figure>";
  html += "</div></section>";
  return html;
}

std::string modes_failure_section(const std::string& message) {
  return "<section class=\"modes\" data-modes=\"0\"><h2>Natural modes</h2><div class=\"error-box\">The modes "
         "could not be found: " +
         escaped(message) + "</div></section>";
}

}  // namespace velk::report
