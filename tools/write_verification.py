"""Writes docs/verification.md from the engine's own answers.

Every problem is built here as a model document, analysed with
velk_calculations.calculate_from_json, and compared with a reference value
computed from its closed form (the source of the formula is cited). Each
problem also shows the engine's equilibrium residual: the sum of the applied
loads and the reported reactions, forces and moments about the origin.

The buckling problems are solved by velk_tools.buckling_analysis on the same
documents; their equilibrium residual is that of the first-order state.

Run with the Python the module is built for and the module on PYTHONPATH:
    PYTHONPATH=build/python python3.12 tools/write_verification.py docs/verification.md
"""

import copy
import json
import math
import sys

import model_builder as mb
import velk_calculations
import velk_tools

DIGITS = 5  # significant digits printed; keeps the document stable across builds

# ---- model building ----


class Frame:
    """A model in base units (m, N, Pa) built node by node."""

    def __init__(self, order="LINEAR"):
        self.coordinates = {}
        self.supports_of = {}
        self.members = []
        self.supports = []
        self.hinges = []
        self.sections = []
        self.nodal_loads = []
        self.nodal_moments = []
        self.line_loads = []
        self.order = order

    def node(self, x, y, z, support=None):
        key = (float(x), float(y), float(z))
        if key not in self.coordinates:
            self.coordinates[key] = len(self.coordinates) + 1
        node_id = self.coordinates[key]
        if support is not None:
            self.supports_of[node_id] = support
        return node_id

    def support(self, displacement, rotation):
        self.supports.append(mb.support(len(self.supports) + 1, displacement, rotation))
        return self.supports[-1]["id"]

    def fixed(self):
        return self.support("Fixed", "Fixed")

    def section(self, area, i_y, i_z, j, e_mod=200e9, g_mod=80e9):
        """A section of its own material."""
        section_id = len(self.sections) + 1
        self.sections.append((mb.section(section_id, section_id, area, i_y, i_z, j, f"S{section_id}"),
                              mb.material(section_id, e_mod, g_mod, f"M{section_id}")))
        return section_id

    def hinge(self, **releases):
        self.hinges.append(mb.hinge(len(self.hinges) + 1, "joint", **releases))
        return self.hinges[-1]["id"]

    def member(self, start, end, section, member_type="Normal", rotation_angle=0.0, start_hinge=None,
               end_hinge=None):
        self.members.append((len(self.members) + 1, start, end, section, member_type, rotation_angle, start_hinge,
                             end_hinge))
        return len(self.members)

    def chain(self, points, pieces, section, **options):
        """Members from point to point, each stretch split into `pieces`; returns the node ids."""
        nodes = [self.node(*points[0])]
        for a, b in zip(points, points[1:]):
            for k in range(1, pieces + 1):
                t = k / pieces
                nodes.append(self.node(*(a[i] + (b[i] - a[i]) * t for i in range(3))))
                self.member(nodes[-2], nodes[-1], section, **options)
        return nodes

    def load(self, node, force=(0.0, 0.0, 0.0), moment=(0.0, 0.0, 0.0)):
        if any(force):
            self.nodal_loads.append((node, force))
        if any(moment):
            self.nodal_moments.append((node, moment))

    def line_load(self, member, w, direction):
        self.line_loads.append((member, w, direction))

    def document(self):
        position = {node_id: key for key, node_id in self.coordinates.items()}

        def node_record(node_id):
            return mb.node(node_id, *position[node_id], self.supports_of.get(node_id))

        members = [mb.member(m_id, node_record(s), node_record(e), sec, kind, angle, sh, eh)
                   for m_id, s, e, sec, kind, angle, sh, eh in self.members]

        def unit(vector):
            size = math.sqrt(sum(c * c for c in vector))
            return size, [c / size for c in vector]

        nodal_loads = [mb.nodal_load(k, node_id, 1, *unit(force)) for k, (node_id, force)
                       in enumerate(self.nodal_loads, 1)]
        nodal_moments = [mb.nodal_moment(k, node_id, 1, *unit(moment)) for k, (node_id, moment)
                         in enumerate(self.nodal_moments, 1)]
        distributed = [mb.distributed_load(m, 1, w, d) for m, w, d in self.line_loads]
        options = mb.analysis_options(order=self.order, tolerance=1e-10, max_iterations=50)
        return mb.document([mb.member_set(1, members)], [material for _, material in self.sections],
                           [section for section, _ in self.sections], self.supports,
                           [mb.load_case(1, "LC", nodal_loads, nodal_moments, distributed)],
                           settings=mb.settings(options, mb.general_info("verification")),
                           memberhinges=self.hinges or None)

    def solve(self):
        self.model = self.document()
        answer = json.loads(velk_calculations.calculate_from_json(json.dumps(self.model)))
        self.results = answer["results"]["loadcases"]["LC"]
        return self

    def convergence(self):
        """How far the answer moves when the same load is stepped as a combination of factor 1 (eight
        load steps from a warm start instead of four) and when the tolerance is tightened to 1e-12: the
        largest change of a displacement component over the largest component."""
        def displacements(model, kind, name):
            answer = json.loads(velk_calculations.calculate_from_json(json.dumps(model)))
            nodes = answer["results"][kind][name]["displacement_nodes"]
            return [value for node in nodes.values() for value in node.values()]

        base = displacements(self.model, "loadcases", "LC")
        combined = copy.deepcopy(self.model)
        combined["load_combinations"] = [mb.combination(1, "LC as combination", {1: 1.0})]
        tight = copy.deepcopy(self.model)
        tight["settings"]["analysis_options"]["tolerance"] = 1e-12
        scale = max(abs(v) for v in base)

        def moved(other):
            return max(abs(a - b) for a, b in zip(base, other)) / scale

        return (moved(displacements(combined, "loadcombinations", "LC as combination")),
                moved(displacements(tight, "loadcases", "LC")))

    # ---- reading the results ----

    def displacement(self, node_id):
        d = self.results["displacement_nodes"][str(node_id)]
        return [d["dx"], d["dy"], d["dz"], d["rx"], d["ry"], d["rz"]]

    def reaction(self, node_id):
        f = self.results["reaction_nodes"][str(node_id)]["nodal_forces"]
        return [f["fx"], f["fy"], f["fz"], f["mx"], f["my"], f["mz"]]

    def end_forces(self, member_id, end):
        f = self.results["member_results"][str(member_id)][f"{end}_node_forces"]
        return [f["fx"], f["fy"], f["fz"], f["mx"], f["my"], f["mz"]]

    def axial_force(self, member_id):
        """Tension positive: the end force along the member axis at its end node."""
        _, start, end, *_ = self.members[member_id - 1]
        position = {node_id: key for key, node_id in self.coordinates.items()}
        a, b = position[start], position[end]
        length = math.dist(a, b)
        f = self.end_forces(member_id, "end")
        return sum(f[i] * (b[i] - a[i]) / length for i in range(3))

    def residual(self, deformed=False):
        """Largest |sum| of applied loads and reactions: forces [N], moments about the origin [N m];
        with `deformed`, loads and reactions act at the displaced nodes."""
        position = {node_id: list(key) for key, node_id in self.coordinates.items()}
        if deformed:
            for node_id, p in position.items():
                d = self.displacement(node_id)
                position[node_id] = [p[i] + d[i] for i in range(3)]
        total = [0.0] * 6

        def add(point, force, moment=(0.0, 0.0, 0.0)):
            for i in range(3):
                total[i] += force[i]
            x, y, z = point
            total[3] += moment[0] + y * force[2] - z * force[1]
            total[4] += moment[1] + z * force[0] - x * force[2]
            total[5] += moment[2] + x * force[1] - y * force[0]

        for node_id, force in self.nodal_loads:
            add(position[node_id], force)
        for node_id, moment in self.nodal_moments:
            add(position[node_id], (0.0, 0.0, 0.0), moment)
        for member_id, w, direction in self.line_loads:
            _, start, end, *_ = self.members[member_id - 1]
            a, b = position[start], position[end]
            length = math.dist(a, b)
            middle = [(a[i] + b[i]) / 2 for i in range(3)]
            add(middle, [w * length * c for c in direction])
        for node_id in self.supports_of:
            r = self.reaction(node_id)
            add(position[node_id], r[:3], r[3:])
        return max(abs(c) for c in total[:3]), max(abs(c) for c in total[3:])


# ---- the document ----

def number(value):
    if value == 0:
        return "0"
    return f"{value:.{DIGITS}g}"


def residual(value):
    """Round-off residuals are shown by their bound, which does not change from build to build."""
    return "< 1e-6" if value < 1e-6 else f"{value:.1e}"


def relative(value):
    return "< 1e-8" if value < 1e-8 else f"{value:.1e}"


def difference(engine, reference):
    if reference == 0:
        return f"{abs(engine):.1e} (abs.)"
    relative = (engine - reference) / abs(reference)
    if abs(relative) < 5e-7:
        return "< 1e-6"
    return f"{relative * 100:+.4f} %"


class Report:
    def __init__(self):
        self.lines = []
        self.count = 0
        self.worst = 0.0
        self.modal_worst = 0.0  # discrete against continuous members: kept apart

    def problem(self, title, description, source, frame, rows, deformed=False):
        self.count += 1
        self.lines += [f"### {self.count}. {title}", "", description, "", f"Reference: {source}", "",
                       "| Quantity | Reference | Engine | Difference |", "|---|---|---|---|"]
        for name, reference, engine in rows:
            self.lines.append(f"| {name} | {number(reference)} | {number(engine)} | {difference(engine, reference)} |")
            if reference != 0:
                self.worst = max(self.worst, abs(engine - reference) / abs(reference))
        force, moment = frame.residual(deformed)
        where = "at the displaced nodes" if deformed else "about the origin"
        self.lines += ["", f"Equilibrium residual (loads + reactions, moments {where}): "
                       f"forces {residual(force)} N, moments {residual(moment)} N m.", ""]
        if deformed:
            as_combination, tightened = frame.convergence()
            self.lines += [f"Convergence: the same load as a combination of factor 1 (stepped differently) "
                           f"moves the displacements by {relative(as_combination)} of the largest, a "
                           f"`tolerance` of 1e-12 by {relative(tightened)}.", ""]

    def modal_problem(self, title, description, source, rows):
        """A problem of natural modes: no loads, so no equilibrium residual."""
        self.count += 1
        self.lines += [f"### {self.count}. {title}", "", description, "", f"Reference: {source}", "",
                       "| Quantity | Reference | Engine | Difference |", "|---|---|---|---|"]
        for name, reference, engine in rows:
            self.lines.append(f"| {name} | {number(reference)} | {number(engine)} | {difference(engine, reference)} |")
            if reference != 0:
                self.modal_worst = max(self.modal_worst, abs(engine - reference) / abs(reference))
        self.lines.append("")


# ---- the problems ----

E, G = 200e9, 80e9
A, IY, IZ, J = 4.0e-3, 2.0e-5, 6.0e-5, 1.0e-6  # i_y and i_z differ so that the bending axis shows
GERE = "Gere & Timoshenko, *Mechanics of Materials*, table of deflections and slopes of beams"
ROARK = "Roark's *Formulas for Stress and Strain* (Young & Budynas), table of formulas for straight beams"


def cantilevers(report):
    length, p = 3.0, 10e3
    cases = [
        ("along +X, load -Y", (length, 0, 0), (0, -p, 0), 0.0, IZ, 1),
        ("along +Z, load -Y", (0, 0, length), (0, -p, 0), 0.0, IZ, 1),
        ("along -X, load +Z", (-length, 0, 0), (0, 0, p), 0.0, IY, 2),
        ("vertical along +Y, load +X", (0, length, 0), (p, 0, 0), 0.0, IY, 0),
        ("vertical along -Y, load +Z", (0, -length, 0), (0, 0, p), 0.0, IZ, 2),
        ("skew along (1, 1, 1), load -Y", tuple(length / math.sqrt(3) for _ in range(3)), (0, -p, 0), 0.0,
         None, 1),
        ("along +X rolled by 90 degrees, load -Y", (length, 0, 0), (0, -p, 0), math.pi / 2, IY, 1),
    ]
    for title, end, load, angle, inertia, component in cases:
        frame = Frame()
        base = frame.node(0, 0, 0, frame.fixed())
        tip = frame.node(*end)
        frame.member(base, tip, frame.section(A, IY, IZ, J), rotation_angle=angle)
        frame.load(tip, load)
        frame.solve()
        if inertia is None:
            # Skew member: the load splits into a part along the axis and a
            # part across it, bending about the axis that local z carries (z
            # is horizontal, so the transverse part bends about local z).
            axis = [c / length for c in end]
            along = sum(load[i] * axis[i] for i in range(3))
            across = [load[i] - along * axis[i] for i in range(3)]
            delta = [across[i] * length ** 3 / (3 * E * IZ) + along * axis[i] * length / (E * A) for i in range(3)]
            reference = delta[component]
        else:
            reference = load[component] * length ** 3 / (3 * E * inertia)
        # The fixed-end moment is |r x P|, r from the base to the tip.
        arm = [end[1] * load[2] - end[2] * load[1], end[2] * load[0] - end[0] * load[2],
               end[0] * load[1] - end[1] * load[0]]
        moment = math.sqrt(sum(c * c for c in arm))
        base_moment = math.sqrt(sum(c * c for c in frame.reaction(base)[3:]))
        report.problem(
            f"Cantilever {title}",
            f"L = {length} m, P = {p / 1e3} kN at the tip, E = 200 GPa, i_y = {IY}, i_z = {IZ} m^4; "
            "tip deflection P L^3 / (3 E I) with the second moment of area that the local axes select, "
            "fixed-end moment |r x P|.",
            f"{GERE}; {ROARK} (cantilever, end load).", frame,
            [("tip deflection along the load [m]", reference, frame.displacement(tip)[component]),
             ("fixed-end moment [N m]", moment, base_moment)])


def axial_and_torsion(report):
    length, p, torque = 4.0, 50e3, 2e3
    frame = Frame()
    base = frame.node(0, 0, 0, frame.fixed())
    tip = frame.node(length, 0, 0)
    frame.member(base, tip, frame.section(A, IY, IZ, J))
    frame.load(tip, (p, 0, 0), (torque, 0, 0))
    frame.solve()
    report.problem(
        "Bar in tension and twist",
        f"A bar along X, L = {length} m, fixed at one end, with an axial force P = {p / 1e3} kN and a torque "
        f"T = {torque / 1e3} kN m at the other: elongation P L / (E A), twist T L / (G J).",
        "Gere & Timoshenko, *Mechanics of Materials*, axially loaded members and torsion of bars.", frame,
        [("elongation [m]", p * length / (E * A), frame.displacement(tip)[0]),
         ("angle of twist [rad]", torque * length / (G * J), frame.displacement(tip)[3]),
         ("axial force [N]", p, frame.axial_force(1))])


def simple_fixed_propped(report):
    length, w = 6.0, 12e3
    down = (0.0, -1.0, 0.0)
    pin = lambda f: f.support({"X": "Fixed", "Y": "Fixed", "Z": "Fixed"}, {"X": "Fixed", "Y": "Free", "Z": "Free"})
    roller = lambda f: f.support({"X": "Free", "Y": "Fixed", "Z": "Fixed"}, {"X": "Fixed", "Y": "Free", "Z": "Free"})

    def beam_in_two_members(left_support, right_support):
        """A beam of two equal members under w, solved: the frame and its end and middle nodes."""
        frame = Frame()
        left = frame.node(0, 0, 0, left_support(frame))
        right = frame.node(length, 0, 0, right_support(frame))
        section = frame.section(A, IY, IZ, J)
        middle = frame.node(length / 2, 0, 0)
        frame.member(left, middle, section)
        frame.member(middle, right, section)
        frame.line_load(1, w, down)
        frame.line_load(2, w, down)
        frame.solve()
        return frame, left, middle, right

    frame, left, middle, right = beam_in_two_members(pin, roller)
    report.problem(
        "Simply supported beam, uniform load",
        f"L = {length} m in two members, w = {w / 1e3} kN/m downwards, local y up: mid-span deflection "
        "5 w L^4 / (384 E I_z), mid-span moment M_z = w L^2 / 8 (sagging positive, the end moment of the "
        "first member at its end node), reactions w L / 2.",
        f"{GERE}; {ROARK} (simply supported, uniform load).", frame,
        [("mid-span deflection [m]", -5 * w * length ** 4 / (384 * E * IZ), frame.displacement(middle)[1]),
         ("mid-span moment M_z [N m]", w * length ** 2 / 8, frame.end_forces(1, "end")[5]),
         ("reaction [N]", w * length / 2, frame.reaction(left)[1])])

    frame, left, middle, right = beam_in_two_members(Frame.fixed, Frame.fixed)
    report.problem(
        "Fixed-end beam, uniform load",
        f"L = {length} m, w = {w / 1e3} kN/m: end moments w L^2 / 12 (hogging), mid-span moment w L^2 / 24, "
        "mid-span deflection w L^4 / (384 E I_z).",
        f"{GERE}; {ROARK} (both ends fixed, uniform load).", frame,
        [("mid-span deflection [m]", -w * length ** 4 / (384 * E * IZ), frame.displacement(middle)[1]),
         ("support moment [N m]", w * length ** 2 / 12, frame.reaction(left)[5]),
         ("mid-span moment M_z [N m]", w * length ** 2 / 24, frame.end_forces(1, "end")[5])])

    frame = Frame()
    left = frame.node(0, 0, 0, frame.fixed())
    right = frame.node(length, 0, 0, roller(frame))
    frame.member(left, right, frame.section(A, IY, IZ, J))
    frame.line_load(1, w, down)
    frame.solve()
    report.problem(
        "Propped cantilever, uniform load",
        f"L = {length} m, fixed at x = 0, on a roller at x = L, w = {w / 1e3} kN/m: fixed-end moment "
        "w L^2 / 8, reactions 5 w L / 8 and 3 w L / 8.",
        f"{GERE}; {ROARK} (one end fixed, the other simply supported, uniform load).", frame,
        [("fixed-end moment [N m]", w * length ** 2 / 8, frame.reaction(left)[5]),
         ("fixed-end reaction [N]", 5 * w * length / 8, frame.reaction(left)[1]),
         ("prop reaction [N]", 3 * w * length / 8, frame.reaction(right)[1])])

    frame = Frame()
    a = frame.node(0, 0, 0, pin(frame))
    b = frame.node(length, 0, 0, roller(frame))
    c = frame.node(2 * length, 0, 0, roller(frame))
    section = frame.section(A, IY, IZ, J)
    frame.member(a, b, section)
    frame.member(b, c, section)
    frame.line_load(1, w, down)
    frame.line_load(2, w, down)
    frame.solve()
    report.problem(
        "Continuous beam over two equal spans, uniform load",
        f"Two spans of {length} m, w = {w / 1e3} kN/m on both: end reactions 3 w L / 8, middle reaction "
        "10 w L / 8, moment over the middle support w L^2 / 8 (hogging, so M_z = -w L^2 / 8).",
        "Three-moment equation (Clapeyron); e.g. Hibbeler, *Structural Analysis*, continuous beams.", frame,
        [("end reaction [N]", 3 * w * length / 8, frame.reaction(a)[1]),
         ("middle reaction [N]", 10 * w * length / 8, frame.reaction(b)[1]),
         ("moment over the middle support M_z [N m]", -w * length ** 2 / 8, frame.end_forces(1, "end")[5])])


def semi_rigid_and_springs(report):
    length, w = 6.0, 12e3
    for k in (2e6, 2e7):
        frame = Frame()
        left = frame.node(0, 0, 0, frame.fixed())
        right = frame.node(length, 0, 0, frame.fixed())
        joint = frame.hinge(rotational_release_mz=k)
        frame.member(left, right, frame.section(A, IY, IZ, J), start_hinge=joint, end_hinge=joint)
        frame.line_load(1, w, (0.0, -1.0, 0.0))
        frame.solve()
        ei = E * IZ
        moment = (w * length ** 2 / 12) / (1 + 2 * ei / (k * length))
        report.problem(
            f"Beam with semi-rigid end joints, k = {number(k)} N m/rad",
            f"L = {length} m between fixed supports, joined at both ends by rotational springs k "
            f"(`rotational_release_mz`), w = {w / 1e3} kN/m: end moment M = (w L^2 / 12) / (1 + 2 E I / (k L)), "
            "the member end turning M / k against its node.",
            "Slope-deflection method with end springs in series; e.g. Chen & Lui, *Stability Design of Steel "
            "Frames*, semi-rigid connections.", frame,
            [("end moment [N m]", moment, frame.reaction(left)[5]),
             ("member end moment at the start (node on member) [N m]", moment, frame.end_forces(1, "start")[5]),
             ("support reaction w L / 2 [N]", w * length / 2, frame.reaction(left)[1])])

    height, p, k_rotation = 4.0, 5e3, 3e6
    frame = Frame()
    base = frame.node(0, 0, 0, frame.support({"X": "Fixed", "Y": "Fixed", "Z": "Fixed"},
                                               {"X": "Fixed", "Y": "Fixed", "Z": k_rotation}))
    top = frame.node(0, height, 0)
    frame.member(base, top, frame.section(A, IY, IZ, J))
    frame.load(top, (p, 0, 0))
    frame.solve()
    report.problem(
        "Column on a rotational spring support",
        f"A vertical cantilever, H = {height} m, on a base whose rotation about Z is a spring "
        f"k = {number(k_rotation)} N m/rad, P = {p / 1e3} kN across the top: top deflection "
        "P H^3 / (3 E I_y) + P H^2 / k; the spring reaction is k times the base rotation, P H.",
        f"{GERE} with the rigid-body rotation of the spring added.", frame,
        [("top deflection [m]", p * height ** 3 / (3 * E * IY) + p * height ** 2 / k_rotation,
          frame.displacement(top)[0]),
         ("base rotation [rad]", -p * height / k_rotation, frame.displacement(base)[5]),
         ("spring moment [N m]", p * height, frame.reaction(base)[5])])

    length, p, k = 8.0, 20e3, 4e6
    frame = Frame()
    left = frame.node(0, 0, 0, frame.support({"X": "Fixed", "Y": "Fixed", "Z": "Fixed"},
                                               {"X": "Fixed", "Y": "Free", "Z": "Free"}))
    right = frame.node(length, 0, 0, frame.support({"X": "Free", "Y": k, "Z": "Fixed"},
                                                   {"X": "Fixed", "Y": "Free", "Z": "Free"}))
    middle = frame.node(length / 2, 0, 0)
    section = frame.section(A, IY, IZ, J)
    frame.member(left, middle, section)
    frame.member(middle, right, section)
    frame.load(middle, (0, -p, 0))
    frame.solve()
    report.problem(
        "Beam on a pin and a vertical spring",
        f"L = {length} m, P = {p / 1e3} kN at mid-span, the right support a spring k = {number(k)} N/m: "
        "reactions P / 2, spring settlement P / (2 k), mid-span deflection P L^3 / (48 E I_z) + P / (4 k).",
        f"{GERE}; superposition of the rigid-body settlement.", frame,
        [("spring settlement [m]", -p / (2 * k), frame.displacement(right)[1]),
         ("mid-span deflection [m]", -(p * length ** 3 / (48 * E * IZ) + p / (4 * k)),
          frame.displacement(middle)[1]),
         ("spring reaction [N]", p / 2, frame.reaction(right)[1])])


def trusses(report):
    span, rise, p = 8.0, 3.0, 40e3
    frame = Frame()
    pin = frame.support({"X": "Fixed", "Y": "Fixed", "Z": "Fixed"}, {})
    roller = frame.support({"X": "Free", "Y": "Fixed", "Z": "Fixed"}, {})
    out_of_plane = frame.support({"X": "Free", "Y": "Free", "Z": "Fixed"}, {})
    left = frame.node(0, 0, 0, pin)
    right = frame.node(span, 0, 0, roller)
    apex = frame.node(span / 2, rise, 0, out_of_plane)
    section = frame.section(A, IY, IZ, J)
    frame.member(left, apex, section, "Truss")
    frame.member(apex, right, section, "Truss")
    frame.member(left, right, section, "Truss")
    frame.load(apex, (0, -p, 0))
    frame.solve()
    rafter = math.hypot(span / 2, rise)
    sin, tan = rise / rafter, rise / (span / 2)
    report.problem(
        "Triangular truss (method of joints)",
        f"Span {span} m, rise {rise} m, P = {p / 1e3} kN at the apex; rafters -P / (2 sin a), tie "
        "P / (2 tan a); tension positive.",
        "Method of joints; e.g. Hibbeler, *Engineering Mechanics: Statics*, analysis of trusses.", frame,
        [("rafter force [N]", -p / (2 * sin), frame.axial_force(1)),
         ("tie force [N]", p / (2 * tan), frame.axial_force(3)),
         ("apex deflection [m]",
          -(2 * (p / (2 * sin)) ** 2 * rafter / (E * A) + (p / (2 * tan)) ** 2 * span / (E * A)) / p,
          frame.displacement(apex)[1])])

    # A space truss: a tripod with legs at 120 degrees carrying a vertical load.
    radius, height, p = 2.0, 4.0, 90e3
    frame = Frame()
    pin = frame.support({"X": "Fixed", "Y": "Fixed", "Z": "Fixed"}, {})
    top = frame.node(0, height, 0)
    section = frame.section(A, IY, IZ, J)
    for k in range(3):
        angle = 2 * math.pi * k / 3
        foot = frame.node(radius * math.cos(angle), 0, radius * math.sin(angle), pin)
        frame.member(foot, top, section, "Truss")
    frame.load(top, (0, -p, 0))
    frame.solve()
    leg = math.hypot(radius, height)
    force = -p * leg / (3 * height)
    report.problem(
        "Tripod (space truss, method of joints)",
        f"Three legs from feet on a circle of radius {radius} m to an apex {height} m above its centre, "
        f"P = {p / 1e3} kN down at the apex: each leg -P l / (3 h), apex settlement from the leg shortening.",
        "Method of joints in three dimensions; e.g. Hibbeler, *Engineering Mechanics: Statics*, space trusses.",
        frame,
        [("leg force [N]", force, frame.axial_force(1)),
         ("leg force, third leg [N]", force, frame.axial_force(3)),
         ("apex deflection [m]", force * leg / (E * A) * leg / height, frame.displacement(top)[1])])


def second_order(report):
    # The W14x48 beam-column of the benchmark problems, in SI units.
    inch, kip, foot = 0.0254, 4448.2216152605, 0.3048
    e_mod = 29000 * kip / inch ** 2
    inertia = 484 * inch ** 4
    area = 14.1 * inch ** 2
    length = 28 * foot
    w = 0.200 * kip / foot
    ei = e_mod * inertia
    source = ("Beam, length and load levels of the AISC 360-16 Commentary, section C2, benchmark problems "
              "(W14x48, L = 28 ft, E = 29,000 ksi), converted to SI; reference values computed here from the "
              "exact beam-column solutions of Timoshenko & Gere, *Theory of Elastic Stability*, ch. 1, not "
              "copied from the commentary's table.")
    pieces = 8
    for p_kips in (0, 150, 300, 450):
        p = p_kips * kip
        frame = Frame("NONLINEAR")
        pin = frame.support({"X": "Fixed", "Y": "Fixed", "Z": "Fixed"}, {"X": "Fixed", "Y": "Free", "Z": "Free"})
        roller = frame.support({"X": "Free", "Y": "Fixed", "Z": "Fixed"}, {"X": "Fixed", "Y": "Free", "Z": "Free"})
        section = frame.section(area, inertia, inertia, inertia, e_mod=e_mod, g_mod=e_mod / 2.6)
        nodes = frame.chain([(0, 0, 0), (length, 0, 0)], pieces, section)
        frame.supports_of[nodes[0]] = pin
        frame.supports_of[nodes[-1]] = roller
        for member in range(1, pieces + 1):
            frame.line_load(member, w, (0.0, -1.0, 0.0))
        if p:
            frame.load(nodes[-1], (-p, 0, 0))
        frame.solve()
        if p:
            k = math.sqrt(p / ei)
            u = k * length / 2
            moment = w / k ** 2 * (1 / math.cos(u) - 1)
            deflection = w / (2 * ei * k ** 4) * (2 / math.cos(u) - 2 - u * u)
        else:
            moment, deflection = w * length ** 2 / 8, 5 * w * length ** 4 / (384 * ei)
        middle = nodes[pieces // 2]
        report.problem(
            f"Beam-column, uniform load and axial compression P = {p_kips} kips",
            f"Simply supported, {pieces} members, w = 0.2 kip/ft, second order (NONLINEAR): mid-span "
            "moment (w / k^2)(sec u - 1) and deflection w (2 sec u - 2 - u^2) / (2 E I k^4) with "
            "k = sqrt(P / E I), u = k L / 2 (for P = 0 the first-order values).",
            source, frame,
            [("mid-span deflection [m]", -deflection, frame.displacement(middle)[1]),
             ("mid-span moment [N m]", moment, frame.end_forces(pieces // 2, "end")[5])],
            deformed=True)

    h = 1.0 * kip
    for p_kips in (0, 100, 150, 200):
        p = p_kips * kip
        frame = Frame("NONLINEAR")
        section = frame.section(area, inertia, inertia, inertia, e_mod=e_mod, g_mod=e_mod / 2.6)
        nodes = frame.chain([(0, 0, 0), (0, length, 0)], pieces, section)
        frame.supports_of[nodes[0]] = frame.fixed()
        frame.load(nodes[-1], (h, -p, 0))
        frame.solve()
        if p:
            k = math.sqrt(p / ei)
            deflection = h / (k * p) * (math.tan(k * length) - k * length)
            moment = h / k * math.tan(k * length)
        else:
            deflection, moment = h * length ** 3 / (3 * ei), h * length
        report.problem(
            f"Flagpole column, lateral tip load and axial compression P = {p_kips} kips",
            f"Fixed base, free top, {pieces} members, H = 1 kip across the top, second order: tip "
            "deflection (H / (k P))(tan kL - kL) and base moment (H / k) tan kL, k = sqrt(P / E I).",
            source, frame,
            [("tip deflection [m]", deflection, frame.displacement(nodes[-1])[0]),
             ("base moment [N m]", moment, abs(frame.reaction(nodes[0])[5]))],
            deformed=True)


HEADER = """# Verification

This document is written by `tools/write_verification.py` (`make verification`) from the answers of the
engine itself: every problem below is built as a model document, analysed by
`velk_calculations.calculate_from_json`, and its results are compared with a reference value computed
from the closed form quoted with the problem. CI (`make docs-check`) fails when this file differs from
what the script writes, so the numbers here are the numbers of the engine as built.

Conventions: SI base units (N, m, Pa, rad); local axes, signs of end forces and of the moment
diagrams as in [conventions.md](conventions.md). Numbers are printed with {digits} significant digits;
the difference column is (engine - reference) / |reference|. The equilibrium residual is the largest
component of the sum of all applied loads and all reported reactions (forces, and moments about the
origin; for the second-order problems, about the displaced nodes). A first-order solution balances to
round-off. A second-order solution stops when the relative equilibrium residual of its Newton
iteration is below `tolerance` (1e-6 when that is larger), so its force residual is of that order
relative to the loads; its moment residual about the displaced nodes also holds the
terms that the linearised geometric stiffness leaves out (axial shortening, rotations squared). Unless stated otherwise E = 200 GPa, G = 80 GPa, A = {area} m^2,
i_y = {iy} m^4, i_z = {iz} m^4, J = {j} m^4.

"""


def first_buckling_mode(frame):
    """The first critical factor of the frame's load case and the members of its mode."""
    answer = json.loads(velk_tools.buckling_analysis(json.dumps(frame.model), modes=1))
    case = answer["loadcases"]["LC"]
    return case["critical_factors"][0], case["modes"][0]["members"]


def bisect(g, a, b):
    """The root of g between a and b, where g changes sign."""
    for _ in range(200):
        m = (a + b) / 2
        if (g(a) < 0) == (g(m) < 0):
            a = m
        else:
            b = m
    return (a + b) / 2


def buckling(report):
    timoshenko = "Timoshenko & Gere, *Theory of Elastic Stability*, ch. 2"
    length, p, pieces = 5.0, 1.0e5, 8
    held = {"X": "Fixed", "Y": "Fixed", "Z": "Fixed"}
    # End conditions: bottom rotations, top support (None: free), effective length factor.
    cases = [("pinned-pinned", {"X": "Free", "Y": "Free", "Z": "Fixed"}, "Free", 1.0),
             ("fixed-free", "Fixed", None, 2.0),
             ("fixed-pinned", "Fixed", "Free", math.pi / 4.493409457909064),
             ("fixed-fixed", "Fixed", "Fixed", 0.5)]
    for name, bottom, top, k in cases:
        frame = Frame()
        base = frame.support(held, bottom)
        section = frame.section(A, IY, IZ, J)
        nodes = frame.chain([(0, 0, 0), (0, 0, length)], pieces, section)
        frame.supports_of[nodes[0]] = base
        if top is not None:
            frame.supports_of[nodes[-1]] = frame.support({"X": "Fixed", "Y": "Fixed", "Z": "Free"}, top)
        frame.load(nodes[-1], (0, 0, -p))
        frame.solve()
        alpha, members = first_buckling_mode(frame)
        first = members["1"]
        reference = math.pi ** 2 * E * IY / (k * length) ** 2
        report.problem(
            f"Euler column, {name}",
            f"Column of {length:g} m along Z in {pieces} members, P = {p:g} N at the top; elastic critical "
            f"load factor of `velk buckling` times P against pi^2 E I_y / (k L)^2 with k = {k:.5g} (weak axis "
            f"I_y), and the buckling length L_cr,y of its members against k L.",
            timoshenko, frame,
            [("alpha_cr P [N]", reference, alpha * p), ("N_cr of member 1 [N]", reference, first["N_cr"]),
             ("L_cr,y of member 1 [m]", k * length, first["L_cr_y"])])

    height, span, column_i, beam_i = 4.0, 6.0, 8.0e-5, 1.2e-4
    for fixed in (False, True):
        frame = Frame()
        base = frame.support(held, "Fixed" if fixed else {"X": "Fixed", "Y": "Free", "Z": "Fixed"})
        in_plane = frame.support({"X": "Free", "Y": "Fixed", "Z": "Free"}, {"X": "Fixed", "Y": "Free", "Z": "Fixed"})
        column = frame.section(5.0, column_i, column_i, J)
        beam = frame.section(5.0, beam_i, beam_i, J)
        left = frame.chain([(0, 0, 0), (0, 0, height)], pieces, column)
        right = frame.chain([(span, 0, 0), (span, 0, height)], pieces, column)
        frame.chain([(0, 0, height), (span, 0, height)], pieces, beam)
        for node_id in list(frame.coordinates.values()):
            frame.supports_of[node_id] = in_plane
        frame.supports_of[left[0]] = base
        frame.supports_of[right[0]] = base
        frame.load(left[-1], (0, 0, -p))
        frame.load(right[-1], (0, 0, -p))
        frame.solve()
        alpha, _ = first_buckling_mode(frame)
        if fixed:
            c = column_i * span / (6 * beam_i * height)
            u = bisect(lambda x: math.sin(x) + c * x * math.cos(x), math.pi / 2, math.pi)
            equation = "tan u = -u (I_c b) / (6 I_b h), pi/2 < u < pi"
        else:
            rho = 6 * beam_i * height / (column_i * span)
            u = bisect(lambda x: x * math.sin(x) - rho * math.cos(x), 0.0, math.pi / 2)
            equation = "u tan u = 6 I_b h / (I_c b), 0 < u < pi/2"
        reference = u * u * E * column_i / height ** 2
        report.problem(
            f"Sway portal frame, {'fixed' if fixed else 'pinned'} bases",
            f"Columns h = {height:g} m (I_c = {column_i:g} m^4), beam b = {span:g} m (I_b = {beam_i:g} m^4), "
            f"{pieces} members each, held in the X-Z plane, P = {p:g} N on each column top; the slope-deflection "
            f"characteristic equation of the sway mode, {equation}, gives P_cr = u^2 E I_c / h^2 "
            "(members practically inextensible: A = 5 m^2).",
            "Timoshenko & Gere, *Theory of Elastic Stability*, ch. 2, frames (slope-deflection method)", frame,
            [("alpha_cr P [N]", reference, alpha * p)])

    frame = Frame()
    base = frame.fixed()
    section = frame.section(A, IY, IZ, J)
    tall, q, many = 8.0, 2.0e3, 40
    nodes = frame.chain([(0, 0, 0), (0, 0, tall)], many, section)
    frame.supports_of[nodes[0]] = base
    for member in range(1, many + 1):
        frame.line_load(member, q, (0.0, 0.0, -1.0))
    frame.solve()
    alpha, _ = first_buckling_mode(frame)
    report.problem(
        "Column under its own weight (Greenhill)",
        f"Cantilever of {tall:g} m along Z in {many} members under a uniform axial load q = {q:g} N/m; "
        "q_cr L^3 = 7.8373 E I_y.",
        "Timoshenko & Gere, *Theory of Elastic Stability*, ch. 2, buckling of a bar under its own weight", frame,
        [("alpha_cr q [N/m]", 7.8373 * E * IY / tall ** 3, alpha * q)])


# ---- natural modes ----

STEEL_DENSITY = 7850.0
BLEVINS = "Blevins, *Formulas for Natural Frequency and Mode Shape*, tables of beams and of bars"
CLOUGH = "Clough & Penzien, *Dynamics of Structures*, single degree of freedom and generalized coordinates"


def modal_line(parts, length, start_support, end_support, inner_support=None, density=STEEL_DENSITY,
               tip_load=None):
    """A straight member along X of `parts` elements (A, IY, IZ, J of steel), in base units, with
    a support id (or None) at its start, inner and end nodes; `tip_load` (N, downwards) at its
    end node as load case "Tip"."""
    # "plane" keeps a node in the X-Z plane without twist: bending about local y (global Y) only.
    plane = {"X": "Fixed", "Y": "Free", "Z": "Fixed"}
    supports = {"fixed": mb.support(1), "pin": mb.support(2, "Fixed", plane),
                "roller": mb.support(3, {"X": "Free", "Y": "Fixed", "Z": "Fixed"}, plane),
                "plane": mb.support(6, {"X": "Free", "Y": "Fixed", "Z": "Free"}, plane),
                "axial": mb.support(4, {"X": "Free", "Y": "Fixed", "Z": "Fixed"}, "Fixed"),
                "twist": mb.support(5, "Fixed", {"X": "Free", "Y": "Fixed", "Z": "Fixed"})}
    ids = {name: record["id"] for name, record in supports.items()}

    def support_at(i):
        name = start_support if i == 0 else end_support if i == parts else inner_support
        return None if name is None else ids[name]

    nodes = [mb.node(i + 1, length * i / parts, nodal_support=support_at(i)) for i in range(parts + 1)]
    members = [mb.member(i + 1, nodes[i], nodes[i + 1], 1) for i in range(parts)]
    cases = []
    if tip_load is not None:
        cases = [mb.load_case(1, "Tip", nodal_loads=[mb.nodal_load(1, parts + 1, 1, tip_load, [0.0, 0.0, -1.0])])]
    return mb.document([mb.member_set(1, members)], [mb.material(1, E, G, "steel", density)],
                       [mb.section(1, 1, A, IY, IZ, J, "S1")], list(supports.values()), cases,
                       settings=mb.settings(mb.analysis_options(), mb.general_info("verification")))


def modes_of(model, **options):
    return json.loads(velk_tools.modal_analysis(json.dumps(model), **options))["modes"]


def natural_modes(report):
    length, parts = 6.0, 20
    mass = STEEL_DENSITY * A
    # Bending in the weak plane (i_y < i_z: about local y) comes first.
    bending = math.sqrt(E * IY / mass) / length ** 2
    beams = [("Cantilever", "fixed", "plane", [1.875104, 4.694091, 7.854757]),
             ("Simply supported beam", "pin", "roller", [math.pi, 2 * math.pi, 3 * math.pi]),
             ("Beam fixed at both ends", "fixed", "fixed", [4.730041, 7.853205, 10.995608])]
    for title, start, end, beta_l in beams:
        for kind in ("consistent", "lumped"):
            modes = modes_of(modal_line(parts, length, start, end, "plane"), modes=3, mass=kind)
            report.modal_problem(
                f"{title} in bending, {kind} mass",
                f"L = {length} m in {parts} elements, rho = {STEEL_DENSITY:g} kg/m^3, A = {A} m^2, bending about "
                f"the weaker axis (i_y = {IY} m^4), every node held in the X-Z plane: f_n = (beta_n L)^2 / (2 pi L^2) sqrt(E I / (rho A)). "
                + ("Consistent mass approaches it from above." if kind == "consistent"
                   else "Lumped mass (translations only) approaches it from below."),
                f"{BLEVINS}.",
                [(f"f_{n + 1} [Hz]", b * b * bending / (2 * math.pi), modes[n]["frequency"])
                 for n, b in enumerate(beta_l)])
    rods = [("Bar in axial vibration", "axial", math.sqrt(E / STEEL_DENSITY), "sqrt(E / rho)"),
            ("Bar in torsional vibration", "twist", math.sqrt(G * J / (STEEL_DENSITY * (IY + IZ))),
             "sqrt(G J / (rho (i_y + i_z)))")]
    for title, held, speed, formula in rods:
        modes = modes_of(modal_line(2 * parts, length, "fixed", held, held), modes=2)
        report.modal_problem(
            f"{title}, fixed and free",
            f"L = {length} m in {2 * parts} elements, every node held but along the vibration: "
            f"f_n = (2 n - 1) / (4 L) {formula} (consistent mass).",
            f"{BLEVINS}.",
            [(f"f_{n} [Hz]", (2 * n - 1) / (4 * length) * speed, modes[n - 1]["frequency"]) for n in (1, 2)])
    tip_mass = 500.0
    tip = modal_line(3, length, "fixed", None, density=0.0, tip_load=tip_mass * 9.80665)
    modes = modes_of(tip, modes=6, mass_case="Tip")
    report.modal_problem(
        "Tip mass on a massless cantilever",
        f"L = {length} m in 3 elements without density; the nodal load of load case \"Tip\", "
        f"{tip_mass * 9.80665:g} N, is taken as a mass of {tip_mass:g} kg (divided by g = 9.80665 m/s^2) in all "
        "three directions: omega^2 = 3 E I / (m L^3) across the member, E A / (m L) along it.",
        f"{CLOUGH}.",
        [("f_1 [Hz]", math.sqrt(3 * E * IY / (tip_mass * length ** 3)) / (2 * math.pi), modes[0]["frequency"]),
         ("f_2 [Hz]", math.sqrt(3 * E * IZ / (tip_mass * length ** 3)) / (2 * math.pi), modes[1]["frequency"]),
         ("f_3 [Hz]", math.sqrt(E * A / (tip_mass * length)) / (2 * math.pi), modes[2]["frequency"]),
         ("effective mass of mode 3 along X [kg]", tip_mass, modes[2]["effective_mass"]["X"])])
    frame = modal_line(8, length, "fixed", None)
    answer = json.loads(velk_tools.modal_analysis(json.dumps(frame), modes=1000))
    report.modal_problem(
        "Effective masses of every mode of a cantilever",
        "The cantilever above in 8 elements with every one of its modes: the effective masses add up to the "
        "total mass that the support does not hold, in each direction (a property of the discrete model).",
        "Chopra, *Dynamics of Structures*, modal expansion of the influence vector.",
        [(f"sum of effective masses along {d} [kg]", answer["total_mass"][d],
          sum(mode["effective_mass"][d] for mode in answer["modes"])) for d in "XYZ"])


def main(path):
    report = Report()
    report.lines.append("## First-order closed forms\n")
    cantilevers(report)
    axial_and_torsion(report)
    simple_fixed_propped(report)
    semi_rigid_and_springs(report)
    trusses(report)
    report.lines.append("## Second-order benchmarks\n")
    report.lines.append("The members are divided into 8 elements each; the small differences that remain come from the "
                        "cubic deflected shape of each element, which grow with P / P_e (P_e the Euler load) "
                        "and shrink with finer division.\n")
    second_order(report)
    report.lines.append("## Elastic stability\n")
    report.lines.append("The critical load factors of `velk buckling` (`velk_tools.buckling_analysis`) on the "
                        "first-order axial forces; the columns are divided into members whose cubic deflected "
                        "shapes leave differences that shrink with the fourth power of the division.\n")
    buckling(report)

    report.lines.append("## Natural frequencies\n")
    report.lines.append("Modal analysis (`velk modes`, `velk_tools.modal_analysis`) of members divided into "
                        "equal elements, against the frequencies of the continuous member; the differences are "
                        "those of the discrete model and shrink with finer division.\n")
    natural_modes(report)
    summary = (f"{report.count} problems; the largest relative difference from a reference value is "
               f"{report.worst * 100:.2g} %, and of a natural frequency from that of the continuous member "
               f"{report.modal_worst * 100:.2g} %.\n\n")
    text = HEADER.format(digits=DIGITS, area=A, iy=IY, iz=IZ, j=J) + summary + "\n".join(report.lines)
    with open(path, "w", encoding="utf-8") as out:
        out.write(text.rstrip("\n") + "\n")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "docs/verification.md")
