#include "report/pictures.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <span>
#include <string_view>

#include "member/member_dofs.hpp"
#include "report/svg_canvas.hpp"
#include "results/node_vectors.hpp"

namespace velk::report {
namespace {

// Size of the pictures of a load case (two to a row on the page).
constexpr double case_width = 440.0;
constexpr double case_height = 330.0;
// Deformed shape and diagrams are drawn at this share of the model's extent.
constexpr double drawn_share = 0.1;
constexpr int stations_per_member = 13;

std::string type_class(MemberType type) {
  std::string name(member_type_name(type));
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  return "t-" + name;
}

std::string member_attribute(std::uint32_t id) { return " data-member=\"" + std::to_string(id) + "\""; }

// A picture of the model in one view: its canvas and the fit of the view.
class Picture {
 public:
  Picture(const Scene& scene, View view, double width, double height, std::string_view css_class,
          std::string_view caption)
      : scene_(scene),
        view_(view),
        fit_(fit_to_box(view, scene.points, width, height, std::max(30.0, 0.1 * std::min(width, height)))),
        canvas_(width, height, css_class,
                " data-view=\"" + std::string(view_name(view)) + "\" data-members=\"" +
                    std::to_string(scene.members.size()) + "\"") {
    canvas_.text(8.0, 16.0, caption, "caption");
  }

  double x(const Vector3& p) const { return fit_.x(project(view_, p)); }
  double y(const Vector3& p) const { return fit_.y(project(view_, p)); }
  // The on-picture direction of a global direction, as a unit vector (zero
  // when the direction points at the viewer).
  std::pair<double, double> screen_direction(const Vector3& direction) const {
    const Point2 q = project(view_, direction);
    const double length = std::hypot(q.u, q.v);
    if (!(length > 1e-9 * direction.norm())) return {0.0, 0.0};
    return {q.u / length, -q.v / length};
  }

  // Every member once, as a path of class "member" with its type.
  void members(std::string_view extra_class) {
    for (const SceneMember& m : scene_.members) {
      PathData d;
      d.move_to(x(m.start), y(m.start));
      d.line_to(x(m.end), y(m.end));
      member_path(d, "member " + type_class(m.type) + " " + std::string(extra_class), m.id);
    }
    flush_members();
  }

  // The undeformed members under a case's drawing. A large model's pictures
  // leave them out: the drawing over them already shows every member.
  void base_members() {
    if (drawn_member_by_member(scene_)) members("base");
  }

  void polyline(const std::vector<Vector3>& points, std::string_view css_class, std::uint32_t member) {
    PathData d;
    for (std::size_t i = 0; i < points.size(); ++i) {
      if (i == 0)
        d.move_to(x(points[i]), y(points[i]));
      else
        d.line_to(x(points[i]), y(points[i]));
    }
    member_path(d, std::string(css_class), member);
  }

  // One member's path, carrying data-member="ID"; on a large model gathered
  // instead with the others of its class (and attributes) into one path that
  // carries data-member-count="N", drawn at flush_members(), so that the
  // picture stays small enough for the page to open at once.
  void member_path(const PathData& d, const std::string& css_class, std::uint32_t member,
                   const std::string& attributes = {}) {
    if (drawn_member_by_member(scene_)) {
      canvas_.path(d, css_class, member_attribute(member) + attributes);
      return;
    }
    MemberGroup& group = groups_[{css_class, attributes}];
    group.d.append(d);
    ++group.count;
  }
  void flush_members() {
    for (const auto& [key, group] : groups_)
      canvas_.path(group.d, key.first,
                   " data-member-count=\"" + std::to_string(group.count) + "\"" + key.second);
    groups_.clear();
  }

  // An arrow ending at (tip_x, tip_y) along the unit on-picture direction.
  void arrow(double tip_x, double tip_y, std::pair<double, double> dir, double length, std::string_view cls) {
    const auto [dx, dy] = dir;
    PathData d;
    d.move_to(tip_x - dx * length, tip_y - dy * length);
    d.line_to(tip_x, tip_y);
    const double head = std::min(6.0, 0.5 * length);
    d.move_to(tip_x - dx * head - dy * head * 0.45, tip_y - dy * head + dx * head * 0.45);
    d.line_to(tip_x, tip_y);
    d.line_to(tip_x - dx * head + dy * head * 0.45, tip_y - dy * head - dx * head * 0.45);
    canvas_.path(d, cls);
  }

  void axes() {
    const double ox = 26.0;
    const double oy = canvas_.height() - 22.0;
    const char* names[] = {"X", "Y", "Z"};
    for (int k = 0; k < 3; ++k) {
      const Vector3 axis = Vector3::Unit(k);
      const Point2 q = project(view_, axis);
      if (std::hypot(q.u, q.v) < 0.2) {
        // Seen end on: towards the viewer in every view of this report.
        canvas_.circle(ox, oy, 3.0, "axis-dot");
        canvas_.text(ox + 5.0, oy + 12.0, names[k], "axis-name");
        continue;
      }
      const double ex = ox + 18.0 * q.u;
      const double ey = oy - 18.0 * q.v;
      arrow(ex, ey, {q.u / std::hypot(q.u, q.v), -q.v / std::hypot(q.u, q.v)}, 18.0 * std::hypot(q.u, q.v),
            "axis");
      canvas_.text(ex + 4.0 * q.u, ey - 4.0 * q.v + 3.0, names[k], "axis-name", "middle");
    }
  }

  SvgCanvas& canvas() { return canvas_; }
  const Scene& scene() const { return scene_; }
  std::string finish() { return canvas_.finish(); }

 private:
  struct MemberGroup {
    PathData d;
    std::size_t count = 0;
  };

  const Scene& scene_;
  View view_;
  Fit fit_;
  SvgCanvas canvas_;
  std::map<std::pair<std::string, std::string>, MemberGroup> groups_;  // by class and attributes
};

void support_symbol(SvgCanvas& canvas, double x, double y, SupportKind kind) {
  PathData d;
  const double h = 10.0;
  const auto triangle = [&] {
    d.move_to(x, y);
    d.line_to(x - 6.5, y + h);
    d.line_to(x + 6.5, y + h);
    d.close();
  };
  const auto ground = [&](double at) {
    d.move_to(x - 10.0, at);
    d.line_to(x + 10.0, at);
    for (double s = -8.0; s <= 10.0; s += 6.0) {
      d.move_to(x + s, at);
      d.line_to(x + s - 4.0, at + 4.0);
    }
  };
  switch (kind) {
    case SupportKind::Fixed:
      d.move_to(x - 10.0, y + 2.0);
      d.line_to(x + 10.0, y + 2.0);
      d.line_to(x + 10.0, y + 8.0);
      d.line_to(x - 10.0, y + 8.0);
      d.close();
      ground(y + 8.0);
      break;
    case SupportKind::Pinned:
      triangle();
      ground(y + h);
      break;
    case SupportKind::Roller:
      triangle();
      d.move_to(x - 9.0, y + h + 3.0);
      d.line_to(x + 9.0, y + h + 3.0);
      ground(y + h + 3.0);
      break;
    case SupportKind::Spring:
      d.move_to(x, y);
      d.line_to(x, y + 3.0);
      for (int k = 0; k < 4; ++k) d.line_to(x + (k % 2 == 0 ? 5.0 : -5.0), y + 4.5 + 2.5 * k);
      d.line_to(x, y + 15.0);
      d.line_to(x, y + 17.0);
      ground(y + 17.0);
      break;
    case SupportKind::OneSided:
      triangle();
      d.move_to(x - 9.0, y + h + 3.5);
      d.line_to(x + 9.0, y + h + 3.5);
      break;
  }
  canvas.path(d, "sup " + std::string(support_kind_name(kind)));
}

// A member's diagram read at the drawing stations for one component.
double value_at(const MemberDiagram& diagram, DiagramComponent component, double x) {
  return diagram.value(component, x);
}

}  // namespace

std::vector<double> drawing_stations(const MemberDiagram& diagram, int stations) {
  std::vector<double> x;
  const double length = diagram.length;
  for (int k = 0; k < stations; ++k) x.push_back(length * k / (stations - 1));
  for (const DiagramPiece& piece : diagram.pieces) {
    x.push_back(std::clamp(piece.start, 0.0, length));
    x.push_back(std::clamp(piece.end, 0.0, length));
  }
  std::sort(x.begin(), x.end());
  x.erase(std::unique(x.begin(), x.end(), [&](double a, double b) { return b - a <= 1e-9 * length; }),
          x.end());
  return x;
}

std::vector<Vector3> deformed_shape(const SceneMember& member, const std::vector<double>& x,
                                    const std::array<std::vector<double>, 3>& u, double scale) {
  std::vector<Vector3> points;
  points.reserve(x.size());
  const Vector3 axis = member.lambda.row(0).transpose();
  for (std::size_t i = 0; i < x.size(); ++i) {
    const Vector3 u_local(u[0][i], u[1][i], u[2][i]);
    // Local components back to global: lambda^T u_local.
    points.push_back(member.start + x[i] * axis + scale * (member.lambda.transpose() * u_local));
  }
  return points;
}

MemberShape cubic_member_shape(const SceneMember& member, const Vector3& u1, const Vector3& r1,
                               const Vector3& u2, const Vector3& r2, double length, int stations) {
  const Vector3 a1 = member.lambda * u1, a2 = member.lambda * u2;
  const Vector3 t1 = member.lambda * r1, t2 = member.lambda * r2;
  const double l = length;
  MemberShape shape;
  for (auto* values : {&shape.x, &shape.u[0], &shape.u[1], &shape.u[2]}) values->reserve(stations);
  for (int i = 0; i < stations; ++i) {
    const double xi = static_cast<double>(i) / (stations - 1);
    const double xi2 = xi * xi, xi3 = xi2 * xi;
    // Hermite shapes: v = N1 v1 + N2 rz1 + N3 v2 + N4 rz2, w = N1 w1 - N2 ry1 + N3 w2 - N4 ry2
    const double n1 = 1.0 - 3.0 * xi2 + 2.0 * xi3, n3 = 3.0 * xi2 - 2.0 * xi3;
    const double n2 = l * (xi - 2.0 * xi2 + xi3), n4 = l * (xi3 - xi2);
    shape.x.push_back(xi * member.length);
    shape.u[0].push_back((1.0 - xi) * a1.x() + xi * a2.x());
    shape.u[1].push_back(n1 * a1.y() + n2 * t1.z() + n3 * a2.y() + n4 * t2.z());
    shape.u[2].push_back(n1 * a1.z() - n2 * t1.y() + n3 * a2.z() - n4 * t2.y());
  }
  return shape;
}

std::string structure_picture(const Scene& scene, View view, double width, double height) {
  Picture picture(scene, view, width, height, "view structure", std::string(view_name(view)));
  picture.members("");
  SvgCanvas& canvas = picture.canvas();
  const bool numbered = drawn_member_by_member(scene);
  for (const SceneMember& m : scene.members) {
    const double xs = picture.x(m.start), ys = picture.y(m.start);
    const double xe = picture.x(m.end), ye = picture.y(m.end);
    const double length = std::hypot(xe - xs, ye - ys);
    if (length > 1e-6) {
      const double ux = (xe - xs) / length, uy = (ye - ys) / length;
      const double gap = std::min(9.0, 0.3 * length);
      if (m.start_released) canvas.circle(xs + ux * gap, ys + uy * gap, 3.2, "release");
      if (m.end_released) canvas.circle(xe - ux * gap, ye - uy * gap, 3.2, "release");
    }
    if (numbered) canvas.text((xs + xe) / 2.0, (ys + ye) / 2.0 - 3.0, std::to_string(m.id), "mid", "middle");
  }
  for (const auto& [id, node] : scene.nodes) {
    const double x = picture.x(node.position), y = picture.y(node.position);
    if (node.support) support_symbol(canvas, x, y, *node.support);
    if (!numbered) continue;
    canvas.circle(x, y, 2.2, "node");
    canvas.text(x + 4.0, y - 4.0, std::to_string(id), "nid");
  }
  picture.axes();
  return picture.finish();
}

namespace {

// Where the arrows of a nodal force or moment go, along its direction on the
// picture from the node: a force points onto the node, a moment vector is
// double-headed and points away from it.
struct ArrowPlacement {
  double tip_offset;
  double length;
};
constexpr ArrowPlacement force_arrows[] = {{-3.0, 38.0}};
constexpr ArrowPlacement moment_arrows[] = {{34.0, 30.0}, {28.0, 6.0}};

// How a kind of nodal load is drawn: its arrows, the circle of one seen end
// on, and where its value is written along its direction.
struct NodalVectorStyle {
  std::span<const ArrowPlacement> arrows;
  std::string_view arrow_class;
  double end_on_radius;
  std::string_view end_on_class;
  double label_offset;
  std::string_view label_class;
};
constexpr NodalVectorStyle force_style{force_arrows, "load", 5.0, "load-end", -44.0, "load-text"};
constexpr NodalVectorStyle moment_style{moment_arrows, "moment", 7.0, "moment-end", 40.0, "moment-text"};

}  // namespace

std::string loads_picture(const Scene& scene, const VELK& model, ResultType identity, const Units& units) {
  Picture picture(scene, View::Isometric, case_width, case_height, "view loads", "Loads");
  picture.base_members();
  SvgCanvas& canvas = picture.canvas();
  const double force_factor = units.factors.force;
  const double line_factor = units.factors.force / units.factors.length;  // N/m per document unit
  const double moment_factor = units.factors.force * units.factors.length;
  const auto factored = factored_load_cases(model, identity);

  double largest_line_load = 0.0;
  for (const auto& [load_case, factor] : factored) {
    for (const DistributedLoad& load : load_case->distributed_loads) {
      if (load.load_case != load_case->id) continue;
      const double size = Vector3(load.direction[0], load.direction[1], load.direction[2]).norm();
      largest_line_load = std::max({largest_line_load, std::fabs(factor * load.magnitude * size),
                                    std::fabs(factor * load.end_magnitude * size)});
    }
  }
  // Values are written beside the loads while they can be read; a crowded
  // picture shows the arrows alone (the loads are in the model file).
  std::size_t load_count = 0;
  for (const auto& [load_case, factor] : factored)
    load_count +=
        load_case->nodal_loads.size() + load_case->nodal_moments.size() + load_case->distributed_loads.size();
  const bool label_loads = load_count <= 24;
  int drawn = 0;
  // A nodal force or moment at its node, drawn in its style, with its value
  // in `unit` (of `unit_factor` base units) beside it.
  const auto nodal_vector = [&](const auto& load, double factor, const NodalVectorStyle& style,
                                double unit_factor, const std::string& unit) {
    const auto node = scene.nodes.find(load.node);
    if (node == scene.nodes.end()) return;
    const Vector3 vector =
        factor * load.magnitude * Vector3(load.direction[0], load.direction[1], load.direction[2]);
    const double x = picture.x(node->second.position), y = picture.y(node->second.position);
    const auto dir = picture.screen_direction(vector);
    if (dir.first == 0.0 && dir.second == 0.0) {
      canvas.circle(x, y, style.end_on_radius, style.end_on_class);
    } else {
      for (const ArrowPlacement& arrow : style.arrows)
        picture.arrow(x + dir.first * arrow.tip_offset, y + dir.second * arrow.tip_offset, dir, arrow.length,
                      style.arrow_class);
    }
    if (label_loads)
      canvas.text(x + dir.first * style.label_offset, y + dir.second * style.label_offset + 3.0,
                  format_value(vector.norm() / unit_factor) + " " + unit, style.label_class, "middle");
    ++drawn;
  };
  const std::string moment_unit = units.force + units.length;
  for (const auto& [load_case, factor] : factored) {
    for (const NodalLoad& load : load_case->nodal_loads)
      nodal_vector(load, factor, force_style, force_factor, units.force);
    for (const NodalMoment& load : load_case->nodal_moments)
      nodal_vector(load, factor, moment_style, moment_factor, moment_unit);
    for (const DistributedLoad& load : load_case->distributed_loads) {
      if (load.load_case != load_case->id) continue;
      const SceneMember* member = scene.member(load.member);
      if (member == nullptr || std::fabs(load.end_frac - load.start_frac) < 1e-14) continue;
      const Vector3 direction(load.direction[0], load.direction[1], load.direction[2]);
      const auto dir = picture.screen_direction(direction);
      const int arrows =
          std::max(3, static_cast<int>(std::ceil(9.0 * std::fabs(load.end_frac - load.start_frac))));
      PathData tails;
      for (int k = 0; k < arrows; ++k) {
        const double share = static_cast<double>(k) / (arrows - 1);
        const double xi = load.start_frac + share * (load.end_frac - load.start_frac);
        const double q = factor * (load.magnitude + share * (load.end_magnitude - load.magnitude));
        const Vector3 at = member->start + xi * (member->end - member->start);
        const double x = picture.x(at), y = picture.y(at);
        const double size =
            largest_line_load > 0.0 ? std::fabs(q) * direction.norm() / largest_line_load : 0.0;
        const double sign = q < 0.0 ? -1.0 : 1.0;
        const std::pair<double, double> d{sign * dir.first, sign * dir.second};
        const double length = 6.0 + 24.0 * size;
        if (size > 0.0 && (d.first != 0.0 || d.second != 0.0)) picture.arrow(x, y, d, length, "line-load");
        if (k == 0)
          tails.move_to(x - d.first * length, y - d.second * length);
        else
          tails.line_to(x - d.first * length, y - d.second * length);
      }
      canvas.path(tails, "line-load", member_attribute(member->id));
      const double w1 = factor * load.magnitude * direction.norm() / line_factor;
      const double w2 = factor * load.end_magnitude * direction.norm() / line_factor;
      const Vector3 middle =
          member->start + 0.5 * (load.start_frac + load.end_frac) * (member->end - member->start);
      const std::string text = w1 == w2 ? format_value(w1) : format_value(w1) + " to " + format_value(w2);
      if (label_loads)
        canvas.text(picture.x(middle) - dir.first * 38.0, picture.y(middle) - dir.second * 38.0,
                    text + " " + units.force + "/" + units.length, "load-text", "middle");
      ++drawn;
    }
  }
  if (drawn == 0) canvas.text(case_width / 2.0, case_height - 10.0, "no loads", "note", "middle");
  picture.axes();
  return picture.finish();
}

std::string deformed_picture(const Scene& scene, const Results& results, const MemberDiagrams& diagrams,
                             const Units& units) {
  const auto node_displacement = [&](std::uint32_t id) {
    const auto it = results.displacement_nodes.find(id);
    return it == results.displacement_nodes.end() ? Vector3(Vector3::Zero())
                                                  : Vector3(it->second.dx, it->second.dy, it->second.dz);
  };
  // Displacements along the members, read once.
  struct Shape {
    std::vector<double> x;
    std::array<std::vector<double>, 3> u;
  };
  std::vector<Shape> shapes(scene.members.size());
  double largest = 0.0;
  std::uint32_t largest_node = 0;
  for (const auto& [id, d] : results.displacement_nodes) {
    const double size = translation_norm(d);
    if (size > largest) {
      largest = size;
      largest_node = id;
    }
  }
  const double largest_at_nodes = largest;
  for (std::size_t i = 0; i < scene.members.size(); ++i) {
    const SceneMember& m = scene.members[i];
    const auto diagram = diagrams.find(m.id);
    if (diagram == diagrams.end() || !m.has_direction || !drawn_member_by_member(scene)) continue;
    Shape& shape = shapes[i];
    shape.x = drawing_stations(diagram->second, stations_per_member);
    for (const double x : shape.x) {
      const Vector3 u(value_at(diagram->second, DiagramComponent::ux, x),
                      value_at(diagram->second, DiagramComponent::uy, x),
                      value_at(diagram->second, DiagramComponent::uz, x));
      for (int k = 0; k < 3; ++k) shape.u[static_cast<std::size_t>(k)].push_back(u[k]);
      largest = std::max(largest, u.norm());
    }
  }
  const double scale = deformed_scale(largest, scene.extent, drawn_share);

  Picture picture(scene, View::Isometric, case_width, case_height, "view deformed",
                  "Deformed shape, displacements \u00d7 " + format_value(scale));
  picture.base_members();
  for (std::size_t i = 0; i < scene.members.size(); ++i) {
    const SceneMember& m = scene.members[i];
    std::vector<Vector3> points;
    if (!shapes[i].x.empty()) {
      points = deformed_shape(m, shapes[i].x, shapes[i].u, scale);
    } else {
      points = {m.start + scale * node_displacement(m.start_id), m.end + scale * node_displacement(m.end_id)};
    }
    picture.polyline(points, "deformed " + type_class(m.type), m.id);
  }
  picture.flush_members();
  SvgCanvas& canvas = picture.canvas();
  canvas.text(8.0, 32.0,
              "scale \u00d7 " + format_value(scale) + "; largest node displacement " +
                  format_value(largest_at_nodes) + " " + units.length +
                  (largest_node != 0 ? " at node " + std::to_string(largest_node) : std::string()),
              "note");
  picture.axes();
  return picture.finish();
}

std::string buckling_mode_picture(const Scene& scene, const BucklingMode& mode) {
  const auto translation = [&](std::uint32_t id) {
    const auto it = mode.shape.find(id);
    return it == mode.shape.end() ? Vector3(Vector3::Zero())
                                  : Vector3(it->second.dx, it->second.dy, it->second.dz);
  };
  const auto rotation = [&](std::uint32_t id) {
    const auto it = mode.shape.find(id);
    return it == mode.shape.end() ? Vector3(Vector3::Zero())
                                  : Vector3(it->second.rx, it->second.ry, it->second.rz);
  };
  // The mode is scaled to a largest translation of 1.
  const double scale = deformed_scale(1.0, scene.extent, drawn_share);
  Picture picture(scene, View::Isometric, case_width, case_height, "view buckling",
                  "First buckling mode, \u03b1_cr = " + format_value(mode.factor));
  picture.base_members();
  for (const SceneMember& m : scene.members) {
    const bool bent = m.type == MemberType::Normal && m.has_direction && !m.start_released && !m.end_released;
    if (!bent) {
      picture.polyline({m.start + scale * translation(m.start_id), m.end + scale * translation(m.end_id)},
                       "mode " + type_class(m.type), m.id);
      continue;
    }
    // The cubic between the end translations and rotations.
    const MemberShape shape =
        cubic_member_shape(m, translation(m.start_id), rotation(m.start_id), translation(m.end_id),
                           rotation(m.end_id), m.length, stations_per_member);
    picture.polyline(deformed_shape(m, shape.x, shape.u, scale), "mode " + type_class(m.type), m.id);
  }
  picture.flush_members();
  picture.canvas().text(8.0, 32.0, "largest translation drawn \u00d7 " + format_value(scale), "note");
  picture.axes();
  return picture.finish();
}

namespace {

// The values written on a picture of values along the members: each
// member's largest and smallest value where it occurs, unless it is small
// beside the picture's largest (every member's on a small model, the larger
// ones on a big one) or repeats the other.
class ExtremeLabels {
 public:
  ExtremeLabels(const Scene& scene, MomentPlane plane, double scale, double largest)
      : plane_(plane),
        scale_(scale),
        floor_((scene.members.size() <= 30 ? 0.05 : 0.5) * largest),
        largest_(largest) {}

  void add(const SceneMember& m, double max, double max_at, double min, double min_at) {
    const Vector3 axis = m.lambda.row(0).transpose();
    const std::pair<double, double> ends[] = {{max, max_at}, {min, min_at}};
    for (int k = 0; k < 2; ++k) {
      const auto [value, at] = ends[k];
      if (largest_ == 0.0 || !(std::fabs(value) >= floor_)) continue;
      if (k == 1 && min == max) continue;
      labels_.emplace_back(m.start + at * axis + diagram_offset(m.lambda, plane_, value, scale_), value);
    }
  }

  void draw(Picture& picture) const {
    for (const auto& [at, value] : labels_)
      picture.canvas().text(picture.x(at), picture.y(at) - 2.0, format_value(value), "value", "middle");
  }

 private:
  MomentPlane plane_;
  double scale_;
  double floor_;
  double largest_;
  std::vector<std::pair<Vector3, double>> labels_;
};

}  // namespace

std::string moment_picture(const Scene& scene, const MemberDiagrams& diagrams, MomentPlane plane,
                           const Units& units) {
  const DiagramComponent component = plane == MomentPlane::Mz ? DiagramComponent::Mz : DiagramComponent::My;
  const std::string name = plane == MomentPlane::Mz ? "Mz" : "My";
  double largest = 0.0;
  for (const auto& [id, diagram] : diagrams) {
    const SpanExtreme extreme = diagram.extreme(component);
    largest = std::max({largest, std::fabs(extreme.max), std::fabs(extreme.min)});
  }
  const double scale = largest > 0.0 ? drawn_share * scene.extent / largest : 0.0;
  const std::string caption = name +
                              (plane == MomentPlane::Mz ? " (local x-y plane)" : " (local x-z plane)") +
                              ", drawn on the tension side, " + units.force + units.length;
  Picture picture(scene, View::Isometric, case_width, case_height,
                  plane == MomentPlane::Mz ? "view diagram-mz" : "view diagram-my", caption);
  picture.base_members();
  SvgCanvas& canvas = picture.canvas();
  ExtremeLabels labels(scene, plane, scale, largest);
  for (const SceneMember& m : scene.members) {
    const auto it = diagrams.find(m.id);
    if (it == diagrams.end() || !m.has_direction) continue;
    const MemberDiagram& diagram = it->second;
    const Vector3 axis = m.lambda.row(0).transpose();
    std::vector<Vector3> outline{m.start};
    for (const double x : drawing_stations(diagram, stations_per_member))
      outline.push_back(m.start + x * axis +
                        diagram_offset(m.lambda, plane, value_at(diagram, component, x), scale));
    outline.push_back(m.end);
    PathData d;
    for (std::size_t i = 0; i < outline.size(); ++i) {
      if (i == 0)
        d.move_to(picture.x(outline[i]), picture.y(outline[i]));
      else
        d.line_to(picture.x(outline[i]), picture.y(outline[i]));
    }
    d.close();
    canvas.path(d, "diagram", member_attribute(m.id));
    const SpanExtreme extreme = diagram.extreme(component);
    labels.add(m, extreme.max, extreme.max_at, extreme.min, extreme.min_at);
  }
  labels.draw(picture);
  if (largest == 0.0)
    canvas.text(case_width / 2.0, case_height - 10.0, "no " + name + " moment", "note", "middle");
  picture.axes();
  return picture.finish();
}

std::string axial_picture(const Scene& scene, const MemberDiagrams& diagrams, const Units& units) {
  double largest = 0.0;
  for (const auto& [id, diagram] : diagrams) {
    const SpanExtreme extreme = diagram.extreme(DiagramComponent::N);
    largest = std::max({largest, std::fabs(extreme.max), std::fabs(extreme.min)});
  }
  Picture picture(scene, View::Isometric, case_width, case_height, "view axial",
                  "Axial force N, " + units.force);
  SvgCanvas& canvas = picture.canvas();
  picture.base_members();
  const bool label = scene.members.size() <= 40;
  const bool grouped = !drawn_member_by_member(scene);
  for (const SceneMember& m : scene.members) {
    const auto it = diagrams.find(m.id);
    std::string kind = "n-none";
    double n = 0.0;
    if (it != diagrams.end()) {
      const SpanExtreme extreme = it->second.extreme(DiagramComponent::N);
      n = it->second.value(DiagramComponent::N, it->second.length / 2.0);
      const bool one_way = is_one_way(m.type);
      if (one_way && extreme.max == 0.0 && extreme.min == 0.0)
        kind = "n-off";
      else
        kind = n > 0.0 ? "n-tension" : (n < 0.0 ? "n-compression" : "n-zero");
    }
    // A large model's widths come in eight steps, one path for each.
    const double share = largest > 0.0 ? std::fabs(n) / largest : 0.0;
    const double width = 1.2 + 3.5 * (grouped ? std::round(8.0 * share) / 8.0 : share);
    PathData d;
    d.move_to(picture.x(m.start), picture.y(m.start));
    d.line_to(picture.x(m.end), picture.y(m.end));
    std::string attributes = " stroke-width=\"";
    append_coordinate(attributes, width);
    attributes += '"';
    picture.member_path(d, "axial " + kind, m.id, attributes);
    if (label && kind != "n-none" && kind != "n-off") {
      const Vector3 middle = (m.start + m.end) / 2.0;
      canvas.text(picture.x(middle), picture.y(middle) - 3.0, format_value(n), "value", "middle");
    }
  }
  picture.flush_members();
  // Legend.
  const double y = case_height - 10.0;
  const std::pair<const char*, const char*> entries[] = {
      {"n-tension", "tension"}, {"n-compression", "compression"}, {"n-off", "switched off"}};
  double x = case_width - 250.0;
  for (const auto& [css, text] : entries) {
    PathData d;
    d.move_to(x, y - 4.0);
    d.line_to(x + 18.0, y - 4.0);
    canvas.path(d, std::string("axial legend ") + css, " stroke-width=\"3\"");
    canvas.text(x + 22.0, y, text, "legend-text");
    x += 84.0;
  }
  picture.axes();
  return picture.finish();
}

std::string envelope_picture(const Scene& scene, const Envelope& envelope, DiagramComponent component,
                             MomentPlane plane, const Units& units) {
  const auto c = static_cast<std::size_t>(component_index(component));
  const std::string name(diagram_component_names[c]);
  double largest = 0.0;
  for (const auto& [id, e] : envelope.members)
    largest = std::max({largest, std::fabs(e.extremes[c].max), std::fabs(e.extremes[c].min)});
  const double scale = largest > 0.0 ? drawn_share * scene.extent / largest : 0.0;
  const bool axial = component == DiagramComponent::N;
  const std::string caption =
      "Envelope of " + name +
      (axial ? " (drawn in the local x-y plane), " + units.force
             : std::string(plane == MomentPlane::Mz ? " (local x-y plane)" : " (local x-z plane)") +
                   ", drawn on the tension side, " + units.force + units.length);
  const std::string css =
      axial ? "view envelope-n" : (plane == MomentPlane::Mz ? "view envelope-mz" : "view envelope-my");
  Picture picture(scene, View::Isometric, case_width, case_height, css, caption);
  picture.base_members();
  SvgCanvas& canvas = picture.canvas();
  ExtremeLabels labels(scene, plane, scale, largest);
  for (const SceneMember& m : scene.members) {
    const auto it = envelope.members.find(m.id);
    if (it == envelope.members.end() || !m.has_direction) continue;
    const MemberEnvelope& e = it->second;
    const Vector3 axis = m.lambda.row(0).transpose();
    // Each curve closed along the member axis, as a case diagram is.
    for (const auto* curve : {&e.max[c], &e.min[c]}) {
      std::vector<Vector3> outline{m.start};
      for (std::size_t s = 0; s < e.x.size(); ++s)
        outline.push_back(m.start + e.x[s] * axis + diagram_offset(m.lambda, plane, (*curve)[s], scale));
      outline.push_back(m.end);
      PathData d;
      for (std::size_t i = 0; i < outline.size(); ++i) {
        if (i == 0)
          d.move_to(picture.x(outline[i]), picture.y(outline[i]));
        else
          d.line_to(picture.x(outline[i]), picture.y(outline[i]));
      }
      d.close();
      canvas.path(d, curve == &e.max[c] ? "envelope max" : "envelope min", member_attribute(m.id));
    }
    const EnvelopeExtreme& x = e.extremes[c];
    labels.add(m, x.max, x.max_at, x.min, x.min_at);
  }
  labels.draw(picture);
  if (largest == 0.0) canvas.text(case_width / 2.0, case_height - 10.0, "no " + name, "note", "middle");
  picture.axes();
  return picture.finish();
}

}  // namespace velk::report
