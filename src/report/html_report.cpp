#include "report/html_report.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <optional>
#include <vector>

#include "document/record_schema.hpp"
#include "envelopes/envelope.hpp"
#include "member/member_dofs.hpp"
#include "report/pictures.hpp"
#include "report/scene.hpp"
#include "report/svg_canvas.hpp"
#include "results/equilibrium.hpp"
#include "results/node_vectors.hpp"
#include "stability/stability.hpp"

namespace velk::report {
namespace {

constexpr std::string_view page_style = R"css(
@page { size: A4; margin: 12mm; }
* { box-sizing: border-box; }
body { font: 10.5pt/1.35 "DejaVu Sans", Arial, Helvetica, sans-serif; color: #1b1b1b; margin: 0 auto;
  max-width: 190mm; padding: 6mm 0; }
h1 { font-size: 17pt; margin: 0 0 2mm; }
h2 { font-size: 13.5pt; margin: 0 0 3mm; border-bottom: 1.5px solid #444; padding-bottom: 1mm; }
h3 { font-size: 11pt; margin: 4mm 0 1.5mm; }
.meta { color: #555; margin: 0 0 4mm; }
section.case, section.model-pictures, section.envelope { break-before: page; page-break-before: always; }
.findings { border: 1.5px solid #b3261e; background: #fdf0ef; padding: 2mm 4mm; margin: 0 0 4mm; }
.findings li.warning { color: #7a4a00; }
.findings li.error { color: #b3261e; }
.error-box { border: 1.5px solid #b3261e; background: #fdf0ef; padding: 3mm 4mm; margin: 0 0 4mm; font-weight: bold; }
table { border-collapse: collapse; width: 100%; margin: 0 0 3mm; font-size: 8.5pt; break-inside: auto; }
th, td { border: 0.5px solid #bbb; padding: 0.6mm 1.4mm; text-align: right; vertical-align: top; }
th { background: #eef0f3; }
td.l, th.l { text-align: left; }
tr { break-inside: avoid; }
tr.sum td { font-weight: bold; background: #f6f6f6; }
table.facts { width: auto; min-width: 55%; }
table.extremes td, table.envelope-extremes td, table.envelope-reactions td { white-space: pre-line; }
table.facts td { text-align: left; }
.figures { display: grid; grid-template-columns: 1fr 1fr; gap: 2mm; }
.figures.wide { grid-template-columns: 1fr; }
.figures.planes { grid-template-columns: 1fr 1fr 1fr; }
figure { margin: 0; border: 0.5px solid #ccc; break-inside: avoid; }
svg { display: block; width: 100%; height: auto; background: #fff; }
svg text { font-family: "DejaVu Sans", Arial, sans-serif; }
.caption { font-size: 11px; font-weight: bold; fill: #222; }
.note { font-size: 9px; fill: #444; }
path.member { fill: none; stroke-linecap: round; }
path.t-normal { stroke: #222; stroke-width: 2; }
path.t-truss { stroke: #1f6fb2; stroke-width: 1.3; }
path.t-tension { stroke: #1f6fb2; stroke-width: 1.3; stroke-dasharray: 7 3; }
path.t-compression { stroke: #9a5b00; stroke-width: 1.3; stroke-dasharray: 2 2.5; }
path.t-rigid { stroke: #777; stroke-width: 4; stroke-linecap: butt; }
path.member.base { stroke: #bbb; stroke-width: 1; stroke-dasharray: none; }
path.deformed { fill: none; stroke: #c2185b; stroke-width: 1.8; stroke-dasharray: none; }
path.deformed.t-rigid { stroke-width: 3; }
path.diagram { fill: rgba(25, 118, 210, 0.22); stroke: #1565c0; stroke-width: 1; }
.view.diagram-my path.diagram { fill: rgba(46, 125, 50, 0.22); stroke: #2e7d32; }
path.envelope.max { fill: rgba(211, 47, 47, 0.16); stroke: #c62828; stroke-width: 1; }
path.envelope.min { fill: rgba(21, 101, 192, 0.16); stroke: #1565c0; stroke-width: 1; }
path.axial { fill: none; stroke-linecap: round; }
path.n-tension { stroke: #d32f2f; }
path.mode { fill: none; stroke: #6a1b9a; stroke-width: 1.5; }
.stability h3 { margin: 2mm 0 1mm; font-size: 10.5pt; }
.alpha-cr .verdict { font-weight: 600; }
path.n-compression { stroke: #1565c0; }
path.n-off { stroke: #9e9e9e; stroke-dasharray: 4 3; }
path.n-zero, path.n-none { stroke: #444; }
.node { fill: #222; }
.nid { font-size: 8px; fill: #0b5394; }
.mid { font-size: 8px; fill: #7a3e00; paint-order: stroke; stroke: #fff; stroke-width: 2.5px; }
.value { font-size: 8.5px; fill: #111; paint-order: stroke; stroke: #fff; stroke-width: 2.5px; }
.release { fill: #fff; stroke: #222; stroke-width: 1.1; }
.sup { fill: #fff; stroke: #2e7d32; stroke-width: 1.2; }
.sup.fixed { fill: #2e7d32; }
.sup.one-sided { stroke-dasharray: 2 1.5; }
path.load { fill: none; stroke: #d84315; stroke-width: 1.6; }
path.moment { fill: none; stroke: #6a1b9a; stroke-width: 1.6; }
path.line-load { fill: none; stroke: #ef6c00; stroke-width: 1; }
circle.load-end, circle.moment-end { fill: none; stroke: #d84315; stroke-width: 1.4; }
.load-text, .moment-text { font-size: 8.5px; fill: #bf360c; paint-order: stroke; stroke: #fff; stroke-width: 2.5px; }
path.axis { fill: none; stroke: #555; stroke-width: 1; }
.axis-dot { fill: #555; }
.axis-name { font-size: 8px; fill: #555; }
.legend-text { font-size: 9px; fill: #333; }
.legend { display: flex; flex-wrap: wrap; gap: 1mm 5mm; font-size: 8.5pt; color: #333; margin: 1mm 0 3mm; }
@media print { body { padding: 0; } }
)css";

std::string lowercase(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
  return out;
}

class Html {
 public:
  Html& operator<<(std::string_view text) {
    out_ += text;
    return *this;
  }
  // Escaped text.
  Html& text(std::string_view text) {
    append_escaped(out_, text);
    return *this;
  }
  void fact(std::string_view name, std::string_view value) {
    out_ += "<tr><th class=\"l\">";
    append_escaped(out_, name);
    out_ += "</th><td>";
    append_escaped(out_, value);
    out_ += "</td></tr>";
  }
  void header_row(const std::vector<std::string>& cells) {
    out_ += "<tr>";
    for (std::size_t i = 0; i < cells.size(); ++i) {
      out_ += i == 0 ? "<th class=\"l\">" : "<th>";
      append_escaped(out_, cells[i]);
      out_ += "</th>";
    }
    out_ += "</tr>";
  }
  // Cells are escaped; `row_class` goes on the <tr>.
  void row(const std::vector<std::string>& cells, std::string_view row_class = {}) {
    out_ += row_class.empty() ? "<tr>" : "<tr class=\"" + std::string(row_class) + "\">";
    for (std::size_t i = 0; i < cells.size(); ++i) {
      out_ += i == 0 ? "<td class=\"l\">" : "<td>";
      append_escaped(out_, cells[i]);
      out_ += "</td>";
    }
    out_ += "</tr>";
  }
  std::string take() { return std::move(out_); }

 private:
  std::string out_;
};

std::string order_name(AnalysisOrder order) {
  return order == AnalysisOrder::Linear ? "first order (linear)" : "second order (P-Delta, Newton-Raphson)";
}

void write_findings(Html& html, const std::vector<Finding>& findings) {
  if (findings.empty()) return;
  html << "<div class=\"findings\"><h3>Findings of the model check (" << std::to_string(findings.size())
       << ")</h3><ul>";
  for (const Finding& finding : findings) {
    html << "<li class=\"" << (finding.severity == "error" ? "error" : "warning") << "\">";
    html.text(finding.severity).text(": ").text(finding.message);
    if (!finding.where.empty()) html.text(" (").text(finding.where).text(")");
    html << "</li>";
  }
  html << "</ul></div>";
}

void write_model_facts(Html& html, const InspectedModel& inspected, const Scene& scene) {
  const VELK& model = inspected.model;
  const Settings& settings = model.settings;
  std::map<MemberType, int> by_type;
  for (const SceneMember& m : scene.members) ++by_type[m.type];
  std::string members = std::to_string(scene.members.size());
  std::string types;
  for (const auto& [type, count] : by_type)
    types += (types.empty() ? "" : ", ") + std::to_string(count) + " " + lowercase(member_type_name(type));
  if (!types.empty()) members += " (" + types + ")";
  std::map<SupportKind, int> by_kind;
  for (const auto& [id, node] : scene.nodes)
    if (node.support) ++by_kind[*node.support];
  int supported = 0;
  std::string kinds;
  for (const auto& [kind, count] : by_kind) {
    supported += count;
    kinds += (kinds.empty() ? "" : ", ") + std::to_string(count) + " " + std::string(support_kind_name(kind));
  }
  std::string supports = std::to_string(supported) + " supported nodes";
  if (!kinds.empty()) supports += " (" + kinds + ")";

  html << "<h2>Model</h2><table class=\"facts\">";
  html.fact("Units", "length " + inspected.length_unit + ", force " + inspected.force_unit + ", moments " +
                         inspected.force_unit + inspected.length_unit + ", rotations rad");
  html.fact("Nodes", std::to_string(scene.nodes.size()));
  html.fact("Members", members);
  html.fact("Supports", supports);
  html.fact("Member hinges", std::to_string(model.memberhinges ? model.memberhinges->size() : 0));
  html.fact("Sections, materials",
            std::to_string(model.sections.size()) + ", " + std::to_string(model.materials.size()));
  html.fact("Load cases", std::to_string(model.load_cases.size()));
  html.fact("Load combinations", std::to_string(model.load_combinations.size()));
  const AnalysisOptions& options = settings.analysis_options;
  html.fact("Analysis", order_name(options.order));
  html.fact("Solver", options.solver.empty() ? "-" : options.solver);
  html.fact("Tolerance, iteration limit",
            format_value(options.tolerance) + ", " + std::to_string(options.iteration_limit()));
  html.fact("Dimensionality", options.dimensionality == Dimensionality::TwoD ? "2D" : "3D");
  html.fact("Rigid members", options.rigid_strategy == RigidStrategy::LinearMpc ? "rigid links (constraints)"
                                                                                : "stiff members");
  html.fact("Axial slack", format_value(options.axial_slack));
  html.fact("Load cases solved", options.solve_loadcases ? "yes" : "no (combinations only)");
  if (!inspected.analysis_error)
    html.fact("Results",
              inspected.results_carried_in ? "carried in with the document" : "computed for this report");
  html << "</table>";
}

void write_structure_pictures(Html& html, const Scene& scene) {
  html << "<section class=\"model-pictures\"><h2>Structure</h2><div class=\"figures wide\"><figure>"
       << structure_picture(scene, View::Isometric, 720.0, 440.0)
       << "</figure></div><div class=\"figures planes\">";
  for (const View view : {View::XY, View::YZ, View::XZ})
    html << "<figure>" << structure_picture(scene, view, 300.0, 240.0) << "</figure>";
  html << "</div><div class=\"legend\"><span>Members: solid black normal, blue truss, blue dashed "
          "tension-only, "
          "brown dotted compression-only, thick grey rigid</span><span>Supports: filled block fixed, "
          "triangle pinned, triangle on a line roller, zigzag spring, dashed one-sided</span><span>Open "
          "circle "
          "near a member end: released end (hinge or spring)</span>";
  if (drawn_member_by_member(scene))
    html << "<span>Blue numbers: nodes; brown: members</span>";
  else
    html << "<span>Node and member numbers are left out above " << std::to_string(numbered_picture_members)
         << " members</span>";
  html << "</div></section>";
}

std::string case_title(const VELK& model, const CaseInspection& inspection) {
  if (!inspection.identity.is_combination()) return "Load case \u201c" + inspection.name + "\u201d";
  std::string title = "Combination \u201c" + inspection.name + "\u201d";
  std::string terms;
  for (const auto& [load_case, factor] : factored_load_cases(model, inspection.identity))
    terms += (terms.empty() ? "" : " + ") + format_value(factor) + " \u00d7 " + load_case->name;
  return terms.empty() ? title : title + " = " + terms;
}

std::vector<std::string> force_cells(const Vector6& v) {
  std::vector<std::string> cells;
  for (int k = 0; k < 6; ++k) cells.push_back(format_value(v[k]));
  return cells;
}

void write_reactions(Html& html, const VELK& model, const CaseInspection& inspection,
                     const InspectedModel& inspected) {
  const std::string& f = inspected.force_unit;
  const std::string m = inspected.force_unit + inspected.length_unit;
  html << "<h3>Reactions (global axes)</h3><table class=\"reactions\">";
  html.header_row({"Node", "Support", "Fx " + f, "Fy " + f, "Fz " + f, "Mx " + m, "My " + m, "Mz " + m});
  for (const auto& [id, reaction] : inspection.results.reaction_nodes) {
    const NodeForces& r = reaction.nodal_forces;
    html.row({std::to_string(id), std::to_string(reaction.support_id), format_value(r.fx), format_value(r.fy),
              format_value(r.fz), format_value(r.mx), format_value(r.my), format_value(r.mz)});
  }
  const EquilibriumBalance balance = equilibrium_balance(model, inspection.identity, inspection.results,
                                                         inspected.factors, BalanceUnits::Document);
  const auto sum_row = [&](std::string name, const Vector6& v) {
    std::vector<std::string> cells{std::move(name), ""};
    for (std::string& cell : force_cells(v)) cells.push_back(std::move(cell));
    html.row(cells, "sum");
  };
  sum_row("Sum of reactions", balance.reactions);
  sum_row("Applied loads", balance.loads);
  sum_row("Residual", balance.residual);
  html << "</table>";
  if (inspected.model.settings.analysis_options.order == AnalysisOrder::Nonlinear)
    html << "<p class=\"meta\">Moments about the origin, on the undeformed geometry: a second-order solution "
            "balances in the deformed state, so the moment residual holds the P-Delta moments.</p>";
  else
    html << "<p class=\"meta\">Moments about the origin. The residual is the sum of the reactions and the "
            "applied "
            "loads.</p>";
}

void write_displacements(Html& html, const CaseInspection& inspection, const InspectedModel& inspected) {
  struct Entry {
    std::uint32_t node;
    double size;
    NodeDisplacement d;
  };
  std::vector<Entry> entries;
  for (const auto& [id, d] : inspection.results.displacement_nodes)
    entries.push_back({id, translation_norm(d), d});
  std::stable_sort(entries.begin(), entries.end(),
                   [](const Entry& a, const Entry& b) { return a.size > b.size; });
  if (entries.size() > 10) entries.resize(10);
  const std::string& l = inspected.length_unit;
  html << "<h3>Largest displacements (global axes)</h3><table class=\"displacements\">";
  html.header_row({"Node", "|d| " + l, "dx " + l, "dy " + l, "dz " + l, "rx rad", "ry rad", "rz rad"});
  for (const Entry& e : entries)
    html.row({std::to_string(e.node), format_value(e.size), format_value(e.d.dx), format_value(e.d.dy),
              format_value(e.d.dz), format_value(e.d.rx), format_value(e.d.ry), format_value(e.d.rz)});
  html << "</table>";
}

std::string extreme_cell(const SpanExtreme& e) {
  return "max " + format_value(e.max) + " @ " + format_value(e.max_at) + "\nmin " + format_value(e.min) +
         " @ " + format_value(e.min_at);
}

constexpr std::array<DiagramComponent, 8> table_components{
    DiagramComponent::N,  DiagramComponent::Vy, DiagramComponent::Vz, DiagramComponent::T,
    DiagramComponent::My, DiagramComponent::Mz, DiagramComponent::uy, DiagramComponent::uz};

// The members of the table, in the scene's order: every one of a model of
// up to the listed size, else those that hold the largest or the smallest
// value of a component. `extreme(member, c)` gives a member's max and min of
// component c as a pair, or nothing for a member without values.
template <typename Extreme>
std::vector<const SceneMember*> table_members(const Scene& scene, Extreme extreme) {
  std::vector<const SceneMember*> rows;
  if (drawn_member_by_member(scene)) {
    for (const SceneMember& member : scene.members) rows.push_back(&member);
    return rows;
  }
  constexpr std::size_t count = table_components.size();
  std::array<std::pair<double, std::size_t>, count> largest, smallest;
  largest.fill({0.0, scene.members.size()});
  smallest.fill({0.0, scene.members.size()});
  for (std::size_t i = 0; i < scene.members.size(); ++i) {
    for (std::size_t k = 0; k < count; ++k) {
      const std::optional<std::pair<double, double>> e = extreme(scene.members[i], table_components[k]);
      if (!e) continue;
      if (largest[k].second == scene.members.size() || e->first > largest[k].first)
        largest[k] = {e->first, i};
      if (smallest[k].second == scene.members.size() || e->second < smallest[k].first)
        smallest[k] = {e->second, i};
    }
  }
  std::vector<std::size_t> governing;
  for (std::size_t k = 0; k < count; ++k) {
    for (const std::size_t i : {largest[k].second, smallest[k].second})
      if (i < scene.members.size()) governing.push_back(i);
  }
  std::sort(governing.begin(), governing.end());
  governing.erase(std::unique(governing.begin(), governing.end()), governing.end());
  for (const std::size_t i : governing) rows.push_back(&scene.members[i]);
  return rows;
}

void governing_note(Html& html, const Scene& scene, std::size_t rows, std::string_view where) {
  if (drawn_member_by_member(scene)) return;
  html << "<p class=\"meta governing\">" << std::to_string(scene.members.size())
       << " members: the tables list the " << std::to_string(rows)
       << " that hold the largest or the smallest value of a component " << where
       << "; the results document has every member.</p>";
}

void write_member_tables(Html& html, const Scene& scene, const CaseInspection& inspection,
                         const InspectedModel& inspected) {
  const std::string& f = inspected.force_unit;
  const std::string& l = inspected.length_unit;
  const std::string m = f + l;
  const std::vector<const SceneMember*> rows = table_members(
      scene, [&](const SceneMember& member, DiagramComponent c) -> std::optional<std::pair<double, double>> {
        const auto it = inspection.diagrams.find(member.id);
        if (it == inspection.diagrams.end()) return std::nullopt;
        const SpanExtreme e = it->second.extreme(c);
        return std::pair{e.max, e.min};
      });
  governing_note(html, scene, rows.size(), "in this case");
  html << "<h3>Span extremes (local axes, value @ x from the start node in " << escaped(l)
       << ")</h3><table class=\"extremes\">";
  html.header_row({"Member", "L " + l, "N " + f, "Vy " + f, "Vz " + f, "T " + m, "My " + m, "Mz " + m,
                   "uy " + l, "uz " + l});
  for (const SceneMember* row : rows) {
    const SceneMember& member = *row;
    const auto it = inspection.diagrams.find(member.id);
    if (it == inspection.diagrams.end()) continue;
    const MemberDiagram& d = it->second;
    std::vector<std::string> cells{std::to_string(member.id), format_value(d.length)};
    for (const DiagramComponent c : table_components) cells.push_back(extreme_cell(d.extreme(c)));
    html.row(cells);
  }
  html << "</table>";

  html << "<h3>Member end forces (local axes; the part beyond acting on the part before: N &gt; 0 "
          "tension)</h3>"
          "<table class=\"end-forces\">";
  html.header_row({"Member", "End", "N " + f, "Vy " + f, "Vz " + f, "T " + m, "My " + m, "Mz " + m});
  for (const SceneMember* row : rows) {
    const SceneMember& member = *row;
    const auto it = inspection.diagrams.find(member.id);
    if (it == inspection.diagrams.end()) continue;
    const MemberDiagram& d = it->second;
    for (const auto& [end, x] : {std::pair{"start", 0.0}, std::pair{"end", d.length}}) {
      std::vector<std::string> cells{std::to_string(member.id), end};
      for (const DiagramComponent c : {DiagramComponent::N, DiagramComponent::Vy, DiagramComponent::Vz,
                                       DiagramComponent::T, DiagramComponent::My, DiagramComponent::Mz})
        cells.push_back(format_value(d.value(c, x)));
      html.row(cells);
    }
  }
  html << "</table>";
}

// The elastic critical load factor of the case with its verdict, and its
// first buckling mode; or why there is none.
void write_stability(Html& html, const Scene& scene, const Result<StabilityAnalysis>* stability,
                     const CaseInspection& inspection) {
  if (stability == nullptr) return;
  html << "<div class=\"stability\"><h3>Elastic stability</h3>";
  if (!*stability) {
    html << "<p class=\"stability-error\">The buckling analysis failed: ";
    html.text(stability->error());
    html << "</p></div>";
    return;
  }
  const CaseStability* found = nullptr;
  for (const auto* cases : {&(*stability)->loadcases, &(*stability)->loadcombinations}) {
    for (const CaseStability& c : *cases) {
      if (c.identity.kind == inspection.identity.kind && c.identity.id == inspection.identity.id) found = &c;
    }
  }
  if (found == nullptr) {
    html << "</div>";
    return;
  }
  html << "<p class=\"alpha-cr\">";
  if (found->critical_factors.empty()) {
    html.text(found->message ? "No critical load factor: " + *found->message + "."
                             : "No critical load factor.");
  } else {
    html.text("\u03b1_cr = " + format_value(found->critical_factors.front()));
  }
  html << " <span class=\"verdict\">";
  html.text(found->verdict);
  html << "</span>";
  if (found->reversed_factor) html.text("; under reversed loads at " + format_value(*found->reversed_factor));
  html << "</p>";
  if (!found->modes.empty())
    html << "<div class=\"figures\"><figure>" << buckling_mode_picture(scene, found->modes.front())
         << "</figure></div>";
  html << "</div>";
}

void write_case(Html& html, const InspectedModel& inspected, const Scene& scene, const Units& units,
                const CaseInspection& inspection, const Result<StabilityAnalysis>* stability) {
  const VELK& model = inspected.model;
  html << "<section class=\"case\" data-case=\"" << escaped(inspection.name) << "\" data-kind=\""
       << (inspection.identity.is_combination() ? "combination" : "loadcase") << "\"><h2>";
  html.text(case_title(model, inspection));
  html << "</h2><div class=\"figures\">";
  // A large model's loads and moment diagrams, member by member, are more
  // than a picture can show: its tables give the governing members.
  if (drawn_member_by_member(scene))
    html << "<figure>" << loads_picture(scene, model, inspection.identity, units) << "</figure>";
  html << "<figure>" << deformed_picture(scene, inspection.results, inspection.diagrams, units)
       << "</figure>";
  if (drawn_member_by_member(scene))
    html << "<figure>" << moment_picture(scene, inspection.diagrams, MomentPlane::Mz, units)
         << "</figure><figure>" << moment_picture(scene, inspection.diagrams, MomentPlane::My, units)
         << "</figure>";
  html << "<figure>" << axial_picture(scene, inspection.diagrams, units) << "</figure></div>";
  write_stability(html, scene, stability, inspection);
  write_reactions(html, model, inspection, inspected);
  write_displacements(html, inspection, inspected);
  write_member_tables(html, scene, inspection, inspected);
  html << "</section>";
}

// The stations the envelope curves of the report are read at.
constexpr int report_envelope_stations = 21;

// A combination of the set by its number in the list above the tables.
std::string case_mark(std::size_t index) {
  std::string mark = "[";  // appended, not "[" + ...: GCC 12 warns wrongly on that (-Wrestrict)
  mark += std::to_string(index + 1);
  mark += ']';
  return mark;
}

std::string envelope_cell(double max, double max_at, std::size_t max_case, double min, double min_at,
                          std::size_t min_case) {
  return "max " + format_value(max) + " @ " + format_value(max_at) + " " + case_mark(max_case) + "\nmin " +
         format_value(min) + " @ " + format_value(min_at) + " " + case_mark(min_case);
}

// The envelope of one limit state's combinations (or of every combination):
// the My, Mz and N envelopes and the tables of the governing values per
// member and of the reactions, each with the combination that gives it.
void write_envelope(Html& html, const InspectedModel& inspected, const Scene& scene, const Units& units,
                    std::optional<LimitState> limit_state) {
  EnvelopeSelection selection;
  selection.limit_state = limit_state;
  const std::string title = limit_state ? std::string(json::canonical_spelling(*limit_state)) : "all";
  html << "<section class=\"envelope\" data-limit-state=\"" << escaped(title) << "\"><h2>Envelope of the "
       << (limit_state ? escaped(title) + " combinations" : std::string("combinations")) << "</h2>";
  const Result<Envelope> envelope = inspected_envelope(inspected, selection, report_envelope_stations);
  if (!envelope) {
    html << "<div class=\"error-box\">";
    html.text(envelope.error());
    html << "</div></section>";
    return;
  }
  html << "<p class=\"meta\">The largest and the smallest value over ";
  for (std::size_t i = 0; i < envelope->set.size(); ++i) {
    html << (i == 0 ? "" : ", ") << case_mark(i) << " \u201c";
    html.text(envelope->set[i].name);
    html << "\u201d";
  }
  html << ", each as solved (never superposed); the number after a value is the combination that gives it, "
          "the first listed when two give the same.</p>";
  if (drawn_member_by_member(scene))
    html << "<div class=\"figures\"><figure>"
         << envelope_picture(scene, *envelope, DiagramComponent::Mz, MomentPlane::Mz, units)
         << "</figure><figure>"
         << envelope_picture(scene, *envelope, DiagramComponent::My, MomentPlane::My, units)
         << "</figure><figure>"
         << envelope_picture(scene, *envelope, DiagramComponent::N, MomentPlane::Mz, units)
         << "</figure></div>";

  const std::string& f = inspected.force_unit;
  const std::string& l = inspected.length_unit;
  const std::string m = f + l;
  const std::vector<const SceneMember*> rows = table_members(
      scene, [&](const SceneMember& member, DiagramComponent c) -> std::optional<std::pair<double, double>> {
        const auto it = envelope->members.find(member.id);
        if (it == envelope->members.end()) return std::nullopt;
        const EnvelopeExtreme& x = it->second.extremes[static_cast<std::size_t>(component_index(c))];
        return std::pair{x.max, x.min};
      });
  governing_note(html, scene, rows.size(), "over the combinations");
  html << "<h3>Governing values per member (local axes, value @ x from the start node in " << escaped(l)
       << ", [combination])</h3><table class=\"envelope-extremes\">";
  html.header_row({"Member", "L " + l, "N " + f, "Vy " + f, "Vz " + f, "T " + m, "My " + m, "Mz " + m,
                   "uy " + l, "uz " + l});
  for (const SceneMember* row : rows) {
    const auto it = envelope->members.find(row->id);
    if (it == envelope->members.end()) continue;
    const MemberEnvelope& e = it->second;
    std::vector<std::string> cells{std::to_string(row->id), format_value(e.length)};
    for (const DiagramComponent c : table_components) {
      const EnvelopeExtreme& x = e.extremes[static_cast<std::size_t>(component_index(c))];
      cells.push_back(envelope_cell(x.max, x.max_at, x.max_case, x.min, x.min_at, x.min_case));
    }
    html.row(cells);
  }
  html << "</table><h3>Reaction envelope (global axes, [combination])</h3>"
          "<table class=\"envelope-reactions\">";
  html.header_row({"Node", "Fx " + f, "Fy " + f, "Fz " + f, "Mx " + m, "My " + m, "Mz " + m});
  for (const auto& [node, bounds] : envelope->reactions) {
    std::vector<std::string> cells{std::to_string(node)};
    for (const EnvelopeBound& b : bounds) {
      cells.push_back("max " + format_value(b.max) + " " + case_mark(b.max_case) + "\nmin " +
                      format_value(b.min) + " " + case_mark(b.min_case));
    }
    html.row(cells);
  }
  html << "</table></section>";
}

// One envelope per limit state that a combination has, in the order ULS,
// SLS, FLS, ALS; combinations without one go into none of them, and a model
// whose combinations name no limit state gets one envelope of them all.
void write_envelopes(Html& html, const InspectedModel& inspected, const Scene& scene, const Units& units) {
  if (inspected.analysis_error || inspected.model.load_combinations.empty()) return;
  bool any = false;
  for (const LimitState state : {LimitState::ULS, LimitState::SLS, LimitState::FLS, LimitState::ALS}) {
    const auto& combinations = inspected.model.load_combinations;
    if (std::none_of(combinations.begin(), combinations.end(),
                     [&](const LoadCombination& c) { return c.limit_state == state; }))
      continue;
    write_envelope(html, inspected, scene, units, state);
    any = true;
  }
  if (!any) write_envelope(html, inspected, scene, units, std::nullopt);
}

}  // namespace

std::string report_html(const InspectedModel& inspected) { return report_html(inspected, {}); }

std::string report_html(const InspectedModel& inspected, std::string_view further_sections) {
  const VELK& model = inspected.model;
  const Scene scene = build_scene(model, inspected.factors.length);
  const Units units{inspected.length_unit, inspected.force_unit, inspected.factors};
  const GeneralInfo& info = model.settings.general_info;
  const std::string title = info.project_name.empty() ? "Structural analysis report" : info.project_name;
  const std::size_t cases = inspected.loadcases.size() + inspected.loadcombinations.size();

  Html html;
  html << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
          "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src "
          "'unsafe-inline'\">"
          "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"><title>";
  html.text(title);
  html << "</title><style>" << page_style << "</style></head><body data-members=\""
       << std::to_string(scene.members.size()) << "\" data-cases=\"" << std::to_string(cases)
       << "\"><header><h1>";
  html.text(title);
  html << "</h1><p class=\"meta\">";
  html.text(info.author.empty() ? "Author not given" : "Author: " + info.author);
  if (!info.version.empty()) html.text(" \u00b7 version ").text(info.version);
  html << " \u00b7 velk analysis report</p></header>";
  write_findings(html, inspected.findings);
  if (inspected.analysis_error) {
    html << "<div class=\"error-box analysis-error\">The model could not be analysed: ";
    html.text(*inspected.analysis_error);
    html << "</div>";
  }
  write_model_facts(html, inspected, scene);
  write_structure_pictures(html, scene);
  // The stability of every case, from the same first-order states.
  std::optional<Result<StabilityAnalysis>> stability;
  if (!inspected.analysis_error && cases > 0)
    stability = analyse_stability(model, inspected.factors, StabilityOptions{.modes = 1, .dense_limit = {}});
  for (const auto* group : {&inspected.loadcases, &inspected.loadcombinations})
    for (const CaseInspection& inspection : *group)
      write_case(html, inspected, scene, units, inspection, stability ? &*stability : nullptr);
  write_envelopes(html, inspected, scene, units);
  html << further_sections;
  html << "</body></html>\n";
  return html.take();
}

Result<std::string> report_html_from_json(std::string_view json_text, const MemberLimit& limit) {
  const Result<InspectedModel> inspected = inspect_model(json_text, limit);
  if (!inspected) return std::unexpected(inspected.error());
  return report_html(*inspected);
}

}  // namespace velk::report
