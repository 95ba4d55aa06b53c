#include "diagrams/member_diagrams.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "member/distributed_load.hpp"
#include "member/member_geometry.hpp"

namespace velk {

namespace {

using namespace dof;
constexpr std::size_t capacity = Polynomial::capacity;

Polynomial constant(double value) {
  Polynomial p;
  p.c[0] = value;
  return p;
}

Polynomial operator+(Polynomial a, const Polynomial& b) {
  for (std::size_t k = 0; k < capacity; ++k) a.c[k] += b.c[k];
  return a;
}

Polynomial operator-(Polynomial a, const Polynomial& b) {
  for (std::size_t k = 0; k < capacity; ++k) a.c[k] -= b.c[k];
  return a;
}

Polynomial operator*(double factor, Polynomial a) {
  for (double& c : a.c) c *= factor;
  return a;
}

// The antiderivative that is `at_zero` at t = 0.
Polynomial integral(const Polynomial& p, double at_zero) {
  Polynomial r;
  r.c[0] = at_zero;
  for (std::size_t k = 0; k + 1 < capacity; ++k) r.c[k + 1] = p.c[k] / static_cast<double>(k + 1);
  return r;
}

// p(x0 + t) as a polynomial in t (Taylor shift by repeated synthetic division).
Polynomial shifted(Polynomial p, double x0) {
  for (std::size_t i = 0; i < capacity; ++i) {
    for (std::size_t k = capacity - 1; k > i; --k) p.c[k - 1] += x0 * p.c[k];
  }
  return p;
}

int degree_of(const Polynomial& p) {
  for (int k = Polynomial::capacity - 1; k > 0; --k) {
    if (p.c[static_cast<std::size_t>(k)] != 0.0) return k;
  }
  return 0;
}

// The root of a polynomial that is monotone on [lo, hi] and changes sign
// there, to the last bits: Newton steps kept inside a shrinking bracket,
// halving it whenever a step would leave it or gain too little.
double monotone_root(const Polynomial& p, double lo, double hi) {
  double p_lo = p(lo);
  if (p_lo == 0.0) return lo;
  if (p(hi) == 0.0) return hi;
  const Polynomial dp = p.derivative();
  const bool rising = p_lo < 0.0;
  double x = 0.5 * (lo + hi);
  double previous_width = hi - lo;
  for (int i = 0; i < 200; ++i) {
    const double px = p(x);
    if (px == 0.0) return x;
    if ((px < 0.0) == rising) {
      lo = x;
    } else {
      hi = x;
    }
    const double width = hi - lo;
    const double resolution =
        4.0 * std::numeric_limits<double>::epsilon() * std::max(std::abs(lo), std::abs(hi));
    if (!(width > resolution)) break;
    const double slope = dp(x);
    double next = slope != 0.0 ? x - px / slope : lo;
    if (next > lo && next < hi && std::abs(next - x) <= resolution) return next;
    if (!(next > lo && next < hi) || width > 0.5 * previous_width) next = 0.5 * (lo + hi);
    previous_width = width;
    if (next == x) break;
    x = next;
  }
  return x;
}

// Up to capacity - 1 roots, ascending, kept on the stack.
struct Roots {
  std::array<double, capacity> at{};
  int count = 0;

  void add(double x) {
    if (count == 0 || at[static_cast<std::size_t>(count - 1)] != x) at[static_cast<std::size_t>(count++)] = x;
  }
};

// Every real root of p in [lo, hi], ascending: between consecutive roots of
// p' the polynomial is monotone, so each stretch holds at most one root.
Roots roots_in(const Polynomial& p, double lo, double hi) {
  Roots roots;
  const int degree = degree_of(p);
  if (degree == 0) return roots;
  if (degree == 1) {
    const double root = -p.c[0] / p.c[1];
    if (root >= lo && root <= hi) roots.add(root);
    return roots;
  }
  if (degree == 2) {
    // c2 t^2 + c1 t + c0, without the cancellation of the textbook form.
    const double a = p.c[2], b = p.c[1], c = p.c[0];
    const double discriminant = b * b - 4.0 * a * c;
    if (discriminant < 0.0) return roots;
    const double q = -0.5 * (b + std::copysign(std::sqrt(discriminant), b));
    double r1 = q / a;
    double r2 = q != 0.0 ? c / q : r1;
    if (r2 < r1) std::swap(r1, r2);
    for (const double r : {r1, r2}) {
      if (r >= lo && r <= hi) roots.add(r);
    }
    return roots;
  }
  const Roots turning = roots_in(p.derivative(), lo, hi);
  double a = lo;
  double pa = p(a);
  for (int i = 0; i <= turning.count; ++i) {
    const double b = i < turning.count ? turning.at[static_cast<std::size_t>(i)] : hi;
    if (!(b > a)) continue;
    const double pb = p(b);
    if (pa == 0.0 || pb == 0.0 || (pa < 0.0) != (pb < 0.0)) roots.add(monotone_root(p, a, b));
    a = b;
    pa = pb;
  }
  return roots;
}

// A stretch of a distributed load in local components: the load per length
// at x is (w0 + w1 (x - start)) * direction over [start, end].
struct LoadStretch {
  double start = 0.0;
  double end = 0.0;
  double w0 = 0.0;  // at `start`
  double w1 = 0.0;  // slope per length
  Vector3 direction = Vector3::Zero();
};

// The case's loads on the member, as the equivalent load vectors of the
// results take them: a stretch given from a higher to a lower fraction acts
// with the opposite sign.
std::vector<LoadStretch> load_stretches(const Member& member, const CaseRecovery& recovery,
                                        const Matrix3& lambda, double length) {
  std::vector<LoadStretch> stretches;
  const auto found = recovery.member_loads.find(member.id);
  if (found == recovery.member_loads.end()) return stretches;
  // In case order, then document order.
  for (const auto& [c, on_member] : found->second) {
    const double factor = recovery.cases[c].second;
    const DistributedLoad& load = *on_member;
    const double a = load.start_frac;
    const double b = load.end_frac;
    if (!(std::abs(b - a) >= min_loaded_fraction) || !std::isfinite(a) || !std::isfinite(b)) continue;
    const double slope = (load.end_magnitude - load.magnitude) / (b - a);  // per unit fraction
    const double lo = std::min(a, b);
    const double sign = b > a ? 1.0 : -1.0;
    LoadStretch stretch;
    stretch.start = std::clamp(lo * length, 0.0, length);
    stretch.end = std::clamp(std::max(a, b) * length, 0.0, length);
    stretch.w0 = sign * factor * (load.magnitude + slope * (stretch.start / length - a));
    stretch.w1 = sign * factor * slope / length;
    stretch.direction = lambda * Vector3(load.direction[0], load.direction[1], load.direction[2]);
    stretches.push_back(stretch);
  }
  return stretches;
}

std::vector<double> breakpoints_of(const std::vector<LoadStretch>& stretches, double length) {
  std::vector<double> points{0.0, length};
  for (const LoadStretch& stretch : stretches) {
    points.push_back(stretch.start);
    points.push_back(stretch.end);
  }
  std::sort(points.begin(), points.end());
  const double merge = 1e-12 * length;
  std::vector<double> unique;
  for (const double x : points) {
    if (unique.empty() || x - unique.back() > merge) unique.push_back(x);
  }
  unique.back() = length;
  if (unique.size() < 2) unique.push_back(length);
  return unique;
}

// The load per length on one piece, in local components, as polynomials in t.
std::array<Polynomial, 3> piece_load(const std::vector<LoadStretch>& stretches, double start, double end) {
  std::array<Polynomial, 3> q{};
  const double mid = 0.5 * (start + end);
  for (const LoadStretch& stretch : stretches) {
    if (mid < stretch.start || mid > stretch.end) continue;
    const double w_start = stretch.w0 + stretch.w1 * (start - stretch.start);
    for (int axis = 0; axis < 3; ++axis) {
      q[static_cast<std::size_t>(axis)].c[0] += w_start * stretch.direction(axis);
      q[static_cast<std::size_t>(axis)].c[1] += stretch.w1 * stretch.direction(axis);
    }
  }
  return q;
}

// Internal forces along the pieces from the forces the start node exerts on
// the member (local): F(x) = -f_start - int_0^x q, and with it
// dMz/dx = -Vy, dMy/dx = Vz, T constant.
void add_statics(std::vector<DiagramPiece>& pieces, const std::vector<std::array<Polynomial, 3>>& loads,
                 const Vector12& f_local) {
  constexpr int force_of[3] = {component_index(DiagramComponent::N), component_index(DiagramComponent::Vy),
                               component_index(DiagramComponent::Vz)};
  std::array<double, 6> at_start{-f_local(UX), -f_local(UY), -f_local(UZ),
                                 -f_local(RX), -f_local(RY), -f_local(RZ)};
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    DiagramPiece& piece = pieces[i];
    auto& c = piece.components;
    for (std::size_t axis = 0; axis < 3; ++axis) {
      c[force_of[axis]] = constant(at_start[axis]) - integral(loads[i][axis], 0.0);
    }
    c[component_index(DiagramComponent::T)] = constant(at_start[3]);
    c[component_index(DiagramComponent::My)] =
        integral(c[component_index(DiagramComponent::Vz)], at_start[4]);
    c[component_index(DiagramComponent::Mz)] =
        -1.0 * integral(c[component_index(DiagramComponent::Vy)], -at_start[5]);
    const double h = piece.end - piece.start;
    for (std::size_t k = 0; k < 6; ++k) at_start[k] = c[k](h);
  }
}

// The exact displacements of the loads with both ends held: from the
// internal forces of the fully fixed member, E A u' = N, E Iz v'' = Mz,
// E Iy w'' = -My, each starting at zero with zero slope.
void add_held_deflection(std::vector<DiagramPiece>& pieces, const std::vector<DiagramPiece>& held,
                         const Section& section, const Material& material) {
  const double ea = material.e_mod * section.area;
  const double ei_z = material.e_mod * section.i_z;
  const double ei_y = material.e_mod * section.i_y;
  double u = 0.0, v = 0.0, v_slope = 0.0, w = 0.0, w_slope = 0.0;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const auto& f = held[i].components;
    auto& c = pieces[i].components;
    const double h = pieces[i].end - pieces[i].start;
    if (ea != 0.0) {
      const Polynomial ux = integral((1.0 / ea) * f[component_index(DiagramComponent::N)], u);
      c[component_index(DiagramComponent::ux)] = c[component_index(DiagramComponent::ux)] + ux;
      u = ux(h);
    }
    if (ei_z != 0.0) {
      const Polynomial slope = integral((1.0 / ei_z) * f[component_index(DiagramComponent::Mz)], v_slope);
      const Polynomial uy = integral(slope, v);
      c[component_index(DiagramComponent::uy)] = c[component_index(DiagramComponent::uy)] + uy;
      v_slope = slope(h);
      v = uy(h);
    }
    if (ei_y != 0.0) {
      const Polynomial slope = integral((-1.0 / ei_y) * f[component_index(DiagramComponent::My)], w_slope);
      const Polynomial uz = integral(slope, w);
      c[component_index(DiagramComponent::uz)] = c[component_index(DiagramComponent::uz)] + uz;
      w_slope = slope(h);
      w = uz(h);
    }
  }
}

// The cubic (Hermite) field in x of end values d1, d2 and end slopes s1, s2.
Polynomial hermite(double d1, double s1, double d2, double s2, double length) {
  Polynomial p;
  const double l = length;
  p.c[0] = d1;
  p.c[1] = s1;
  p.c[2] = (-3.0 * d1 - 2.0 * s1 * l + 3.0 * d2 - s2 * l) / (l * l);
  p.c[3] = (2.0 * d1 + s1 * l - 2.0 * d2 + s2 * l) / (l * l * l);
  return p;
}

Polynomial linear(double d1, double d2, double length) {
  Polynomial p;
  p.c[0] = d1;
  p.c[1] = (d2 - d1) / length;
  return p;
}

// The fields of the member-side end displacements, added piece by piece.
void add_end_fields(std::vector<DiagramPiece>& pieces, const Vector12& u, double length, bool beam) {
  std::array<Polynomial, 4> fields;
  fields[0] = linear(u(UX), u(END + UX), length);
  if (beam) {
    fields[1] = hermite(u(UY), u(RZ), u(END + UY), u(END + RZ), length);
    fields[2] = hermite(u(UZ), -u(RY), u(END + UZ), -u(END + RY), length);
    fields[3] = linear(u(RX), u(END + RX), length);
  } else {
    // A chord: no bending and no twist.
    fields[1] = linear(u(UY), u(END + UY), length);
    fields[2] = linear(u(UZ), u(END + UZ), length);
  }
  const int first = component_index(DiagramComponent::ux);
  for (DiagramPiece& piece : pieces) {
    for (int k = 0; k < 4; ++k) {
      Polynomial& target = piece.components[static_cast<std::size_t>(first + k)];
      target = target + shifted(fields[static_cast<std::size_t>(k)], piece.start);
    }
  }
}

// The moment of the axial force on the deflected member, measured from the
// start: Mz += N (v(x) - v(0)), My -= N (w(x) - w(0)).
void add_axial_force_moments(std::vector<DiagramPiece>& pieces, double n) {
  const double v0 = pieces.front().components[component_index(DiagramComponent::uy)].c[0];
  const double w0 = pieces.front().components[component_index(DiagramComponent::uz)].c[0];
  for (DiagramPiece& piece : pieces) {
    auto& c = piece.components;
    c[component_index(DiagramComponent::Mz)] = c[component_index(DiagramComponent::Mz)] +
                                               n * (c[component_index(DiagramComponent::uy)] - constant(v0));
    c[component_index(DiagramComponent::My)] = c[component_index(DiagramComponent::My)] -
                                               n * (c[component_index(DiagramComponent::uz)] - constant(w0));
  }
}

std::vector<DiagramPiece> empty_pieces(const std::vector<double>& points) {
  std::vector<DiagramPiece> pieces(points.size() - 1);
  for (std::size_t i = 0; i + 1 < points.size(); ++i) {
    pieces[i].start = points[i];
    pieces[i].end = points[i + 1];
  }
  return pieces;
}

MemberDiagram member_diagram(const Member& member, const MemberEndState& state,
                             const CaseRecovery& recovery) {
  MemberDiagram diagram;
  diagram.member_id = member.id;
  diagram.member_type = member.member_type;
  diagram.length = member_length(member);
  const double length = diagram.length;
  if (!(std::isfinite(length) && length > 0.0)) return diagram;  // no span to draw along
  const bool beam = member.member_type == MemberType::Normal;

  const std::vector<LoadStretch> stretches = load_stretches(member, recovery, state.lambda, length);
  const std::vector<double> points = breakpoints_of(stretches, length);
  diagram.pieces = empty_pieces(points);
  std::vector<std::array<Polynomial, 3>> loads;
  loads.reserve(diagram.pieces.size());
  for (const DiagramPiece& piece : diagram.pieces)
    loads.push_back(piece_load(stretches, piece.start, piece.end));

  if (!state.switched_off) {
    add_statics(diagram.pieces, loads, global_to_local(state.forces, state.lambda));
  }
  add_end_fields(diagram.pieces, state.displacements, length, beam);
  if (beam && !stretches.empty()) {
    const Section* section = member.section ? find_in(recovery.tables.sections, *member.section) : nullptr;
    const Material* material = section ? find_in(recovery.tables.materials, section->material) : nullptr;
    if (section != nullptr && material != nullptr) {
      std::vector<DiagramPiece> held = empty_pieces(points);
      add_statics(held, loads, -state.loads);
      add_held_deflection(diagram.pieces, held, *section, *material);
    }
  }
  if (state.geometric_force != 0.0 && !state.switched_off)
    add_axial_force_moments(diagram.pieces, state.geometric_force);
  return diagram;
}

}  // namespace

double Polynomial::operator()(double t) const {
  int top = capacity - 1;
  while (top > 0 && c[static_cast<std::size_t>(top)] == 0.0) --top;
  double value = c[static_cast<std::size_t>(top)];
  for (int k = top - 1; k >= 0; --k) value = value * t + c[static_cast<std::size_t>(k)];
  return value;
}

Polynomial Polynomial::derivative() const {
  Polynomial d;
  for (int k = 1; k < capacity; ++k)
    d.c[static_cast<std::size_t>(k - 1)] = k * c[static_cast<std::size_t>(k)];
  return d;
}

double MemberDiagram::value(DiagramComponent component, double x) const {
  if (pieces.empty()) return 0.0;
  x = std::clamp(x, 0.0, length);
  auto piece = std::upper_bound(pieces.begin(), pieces.end(), x,
                                [](double position, const DiagramPiece& p) { return position < p.start; });
  if (piece != pieces.begin()) --piece;
  return piece->components[static_cast<std::size_t>(component_index(component))](x - piece->start);
}

SpanExtreme MemberDiagram::extreme(DiagramComponent component) const {
  SpanExtreme result{-std::numeric_limits<double>::infinity(), 0.0, std::numeric_limits<double>::infinity(),
                     0.0};
  for (const DiagramPiece& piece : pieces) {
    const Polynomial& p = piece.components[static_cast<std::size_t>(component_index(component))];
    const double h = piece.end - piece.start;
    const Roots turning = roots_in(p.derivative(), 0.0, h);
    std::array<double, capacity + 2> candidates{};
    int count = 0;
    candidates[static_cast<std::size_t>(count++)] = 0.0;
    for (int i = 0; i < turning.count; ++i)
      candidates[static_cast<std::size_t>(count++)] = turning.at[static_cast<std::size_t>(i)];
    candidates[static_cast<std::size_t>(count++)] = h;
    for (int i = 0; i < count; ++i) {
      const double t = candidates[static_cast<std::size_t>(i)];
      const double value = p(t);
      if (value > result.max) {
        result.max = value;
        result.max_at = piece.start + t;
      }
      if (value < result.min) {
        result.min = value;
        result.min_at = piece.start + t;
      }
    }
  }
  if (pieces.empty() || std::isinf(result.max)) result = SpanExtreme{};
  return result;
}

MemberDiagrams build_member_diagrams(const VELK& model, ResultType identity, const Eigen::VectorXd& u,
                                     const ActiveMap& active, const RecoveryOptions& options) {
  const CaseRecovery recovery = case_recovery(model, identity, options);
  MemberDiagrams diagrams;
  for_each_member_end_state(model, recovery, u, active,
                            [&](const Member& member, const MemberEndState& state) {
                              diagrams.insert_or_assign(member.id, member_diagram(member, state, recovery));
                            });
  return diagrams;
}

void diagram_to_document_units(MemberDiagram& diagram, const UnitFactors& factors) {
  const double l = factors.length;
  const double f = factors.force;
  std::array<double, diagram_component_count> per_unit{f, f, f, f * l, f * l, f * l, l, l, l, 1.0};
  diagram.length /= l;
  for (DiagramPiece& piece : diagram.pieces) {
    piece.start /= l;
    piece.end /= l;
    for (std::size_t i = 0; i < piece.components.size(); ++i) {
      // t in base units is l times t in the document's.
      double scale = 1.0 / per_unit[i];
      for (double& c : piece.components[i].c) {
        c *= scale;
        scale *= l;
      }
    }
  }
  if (!diagram.pieces.empty()) diagram.pieces.back().end = diagram.length;
}

SampledDiagram sample_diagram(const MemberDiagram& diagram, int stations) {
  SampledDiagram sampled;
  sampled.length = diagram.length;
  const int count = std::max(stations, 2);
  sampled.x.resize(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    sampled.x[static_cast<std::size_t>(i)] =
        i == count - 1 ? diagram.length : diagram.length * static_cast<double>(i) / (count - 1);
  }
  for (auto& values : sampled.values) values.resize(sampled.x.size(), 0.0);
  // The stations ascend: one walk along the pieces serves every component.
  std::size_t piece = 0;
  for (std::size_t i = 0; i < sampled.x.size() && !diagram.pieces.empty(); ++i) {
    const double x = sampled.x[i];
    while (piece + 1 < diagram.pieces.size() && diagram.pieces[piece + 1].start <= x) ++piece;
    const DiagramPiece& p = diagram.pieces[piece];
    for (std::size_t c = 0; c < p.components.size(); ++c) sampled.values[c][i] = p.components[c](x - p.start);
  }
  for (int c = 0; c < diagram_component_count; ++c) {
    sampled.extremes[static_cast<std::size_t>(c)] = diagram.extreme(static_cast<DiagramComponent>(c));
  }
  return sampled;
}

}  // namespace velk
