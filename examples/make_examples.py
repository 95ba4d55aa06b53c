"""Writes the example models of this folder (all but portal_frame.json).

Each model is built here from a few lines of geometry so that it stays
consistent (node ids 1..N, every node written the same in every member);
the JSON it writes is what `make run` analyses. Run it from the repository
root: python3 examples/make_examples.py
"""

import json
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tools"))

import model_builder as mb  # noqa: E402


class Model:
    """A model that numbers its records as they are added and its nodes by
    their coordinates."""

    def __init__(self, project, units, order="LINEAR", tolerance=1e-6, axial_slack=0.0, max_iterations=None):
        self.nodes = {}  # (x, y, z) -> node record
        self.member_sets = []
        self.load_cases = []
        self.load_combinations = []
        self.materials = []
        self.sections = []
        self.supports = []
        self.hinges = []
        self.settings = mb.settings(
            mb.analysis_options(order=order, tolerance=tolerance, max_iterations=max_iterations,
                                axial_slack=axial_slack),
            mb.general_info(project, "velk examples"), mb.unit_settings(**units, system="metric"))

    def node(self, x, y, z, support=None):
        key = (float(x), float(y), float(z))
        if key not in self.nodes:
            self.nodes[key] = mb.node(len(self.nodes) + 1, *key, nodal_support=support)
        elif support is not None:
            self.nodes[key]["nodal_support"] = support
        return self.nodes[key]["id"]

    def member_set(self, name):
        self.member_sets.append(mb.member_set(len(self.member_sets) + 1, [], classification=name))
        return self.member_sets[-1]

    def member(self, member_set, start, end, section, member_type="Normal", start_hinge=None, end_hinge=None,
               classification="", rotation_angle=0.0):
        """A member between node ids; the nodes' records are put in by document()."""
        member_id = sum(len(s["members"]) for s in self.member_sets) + 1
        member_set["members"].append(mb.member(
            member_id, start, end, section, member_type, rotation_angle, start_hinge, end_hinge,
            classification or member_set["classification"]))
        return member_id

    def material(self, name, e_mod, g_mod, density, yield_stress):
        self.materials.append(mb.material(len(self.materials) + 1, e_mod, g_mod, name, density, yield_stress))
        return self.materials[-1]["id"]

    def section(self, name, material, area, i_y, i_z, j, h=None, b=None):
        self.sections.append(mb.section(len(self.sections) + 1, material, area, i_y, i_z, j, name, h, b))
        return self.sections[-1]["id"]

    def support(self, name, displacement, rotation):
        self.supports.append(mb.support(len(self.supports) + 1, displacement, rotation, name))
        return self.supports[-1]["id"]

    def hinge(self, name, **releases):
        self.hinges.append(mb.hinge(len(self.hinges) + 1, name, **releases))
        return self.hinges[-1]["id"]

    def load_case(self, name):
        self.load_cases.append(mb.load_case(len(self.load_cases) + 1, name))
        return self.load_cases[-1]

    def nodal_load(self, case, node, magnitude, direction, load_type="point"):
        loads = case["nodal_loads"]
        loads.append(mb.nodal_load(len(loads) + 1, node, case["id"], magnitude, direction, load_type))

    def line_load(self, case, member, magnitude, direction, end_magnitude=None, start_frac=0.0, end_frac=1.0):
        case["distributed_loads"].append(
            mb.distributed_load(member, case["id"], magnitude, direction, start_frac, end_frac, end_magnitude))

    def combination(self, name, factors, limit_state, situation="persistent"):
        self.load_combinations.append(mb.combination(
            len(self.load_combinations) + 1, name, {case["id"]: factor for case, factor in factors},
            "strength" if limit_state == "ULS" else "deflection", situation, limit_state))

    def document(self):
        by_id = {record["id"]: record for record in self.nodes.values()}
        for member_set in self.member_sets:
            for member in member_set["members"]:
                member["start_node"] = dict(by_id[member["start_node"]])
                member["end_node"] = dict(by_id[member["end_node"]])
        return mb.document(self.member_sets, self.materials, self.sections, self.supports, self.load_cases,
                           self.load_combinations, self.settings, self.hinges or None)


def dumps(value, indent=0, width=110):
    """JSON with small objects and arrays kept on one line."""
    compact = json.dumps(value, ensure_ascii=False, separators=(", ", ": "))
    if len(compact) + indent <= width or not isinstance(value, (dict, list)) or not value:
        return compact
    pad = " " * (indent + 2)
    if isinstance(value, dict):
        items = [f"{pad}{json.dumps(key)}: {dumps(item, indent + 2, width)}" for key, item in value.items()]
        return "{\n" + ",\n".join(items) + "\n" + " " * indent + "}"
    items = [pad + dumps(item, indent + 2, width) for item in value]
    return "[\n" + ",\n".join(items) + "\n" + " " * indent + "]"


def write(name, model):
    document = model.document()
    members = sum(len(s["members"]) for s in document["member_sets"])
    assert members <= 100, name
    with open(os.path.join(HERE, name), "w", encoding="utf-8") as out:
        out.write(dumps(document) + "\n")
    print(f"{name}: {members} members, {len(model.nodes)} nodes")


def braced_steel_frame():
    """Three storeys, two bays of 6 m by one bay of 5 m; simply connected steel
    beams, continuous columns on pinned bases, diagonal bracing in the end bays."""
    m = Model("Braced steel frame", {"lengthUnit": "mm", "forceUnit": "kN", "densityUnit": "kg/mm3",
                                     "pressureUnit": "MPa"})
    steel = m.material("S355", 210000.0, 81000.0, 7.85e-6, 355.0)
    # Strong axis of a column about local y (bending in the frame plane X-Y),
    # of a horizontal beam about local z (bending in the vertical plane).
    hea = m.section("HEB 200 column", steel, 7808.0, 5.696e7, 2.003e7, 5.93e5, h=200.0, b=200.0)
    ipe = m.section("IPE 300 beam", steel, 5381.0, 6.04e6, 8.356e7, 2.01e5, h=300.0, b=150.0)
    brace = m.section("L 80x8 brace", steel, 1230.0, 7.2e5, 7.2e5, 2.6e4)
    base = m.support("pinned base", {"X": "Fixed", "Y": "Fixed", "Z": "Fixed"},
                     {"X": "Free", "Y": "Fixed", "Z": "Free"})
    pinned = m.hinge("simple beam connection", rotational_release_my=0.0, rotational_release_mz=0.0)
    xs, zs, storey = [0.0, 6000.0, 12000.0], [0.0, 5000.0], 3500.0
    columns, beams, bracing = m.member_set("Columns"), m.member_set("Beams"), m.member_set("Bracing")
    for x in xs:
        for z in zs:
            m.node(x, 0.0, z, base)
    beams_x = []
    for level in range(1, 4):
        y0, y1 = storey * (level - 1), storey * level
        for x in xs:
            for z in zs:
                m.member(columns, m.node(x, y0, z), m.node(x, y1, z), hea)
        for z in zs:
            for x0, x1 in zip(xs, xs[1:]):
                beams_x.append(m.member(beams, m.node(x0, y1, z), m.node(x1, y1, z), ipe, start_hinge=pinned,
                                        end_hinge=pinned))
            # Frame bracing in the first bay.
            m.member(bracing, m.node(xs[0], y0, z), m.node(xs[1], y1, z), brace, "Truss")
        for x in xs:
            m.member(beams, m.node(x, y1, zs[0]), m.node(x, y1, zs[1]), ipe, start_hinge=pinned, end_hinge=pinned)
        for x in (xs[0], xs[-1]):
            m.member(bracing, m.node(x, y0, zs[0]), m.node(x, y1, zs[1]), brace, "Truss")
    down = [0.0, -1.0, 0.0]
    dead, imposed, wind = m.load_case("Dead load G"), m.load_case("Imposed load Q"), m.load_case("Wind +X W")
    for member in beams_x:
        m.line_load(dead, member, 0.0125, down)  # 12.5 kN/m
        m.line_load(imposed, member, 0.0075, down)  # 7.5 kN/m
    for level in range(1, 4):
        for z in zs:
            m.nodal_load(wind, m.node(0.0, storey * level, z), 8.0 if level < 3 else 4.0, [1.0, 0.0, 0.0], "wind")
    m.combination("ULS 1.35G + 1.5Q + 0.9W", [(dead, 1.35), (imposed, 1.5), (wind, 0.9)], "ULS")
    m.combination("ULS 1.0G + 1.5W", [(dead, 1.0), (wind, 1.5)], "ULS")
    m.combination("SLS G + Q", [(dead, 1.0), (imposed, 1.0)], "SLS", "characteristic")
    return m


def truss_bridge():
    """A Pratt truss footbridge, 24 m span in six panels, 3 m deep, two trusses
    4 m apart joined by cross girders, top struts and plan bracing."""
    m = Model("Truss bridge", {"lengthUnit": "m", "forceUnit": "kN", "pressureUnit": "GPa"})
    steel = m.material("S355", 210.0, 81.0, 7850.0, 0.355)
    chord = m.section("SHS 200x10 chord", steel, 7.4e-3, 4.5e-5, 4.5e-5, 7.2e-5)
    web = m.section("SHS 120x8 web", steel, 3.5e-3, 7.1e-6, 7.1e-6, 1.2e-5)
    bracing_section = m.section("CHS 76x4 bracing", steel, 9.0e-4, 5.9e-7, 5.9e-7, 1.2e-6)
    pin = m.support("pin", {"X": "Fixed", "Y": "Fixed", "Z": "Fixed"}, {})
    guided = m.support("guided", {"X": "Fixed", "Y": "Fixed", "Z": "Free"}, {})
    roller = m.support("roller along X", {"X": "Free", "Y": "Fixed", "Z": "Fixed"}, {})
    free_roller = m.support("free bearing", {"X": "Free", "Y": "Fixed", "Z": "Free"}, {})
    panel, depth, width, panels = 4.0, 3.0, 4.0, 6
    m.node(0.0, 0.0, 0.0, pin)
    m.node(0.0, 0.0, width, guided)
    m.node(panel * panels, 0.0, 0.0, roller)
    m.node(panel * panels, 0.0, width, free_roller)
    chords, webs, deck, plan = (m.member_set("Chords"), m.member_set("Web members"), m.member_set("Cross girders"),
                                m.member_set("Plan bracing"))
    bottom = lambda i, z: m.node(panel * i, 0.0, z)
    top = lambda i, z: m.node(panel * i, depth, z)
    for z in (0.0, width):
        for i in range(panels):
            m.member(chords, bottom(i, z), bottom(i + 1, z), chord, "Truss", classification="bottom chord")
        for i in range(1, panels - 1):
            m.member(chords, top(i, z), top(i + 1, z), chord, "Truss", classification="top chord")
        m.member(webs, bottom(0, z), top(1, z), chord, "Truss", classification="end post")
        m.member(webs, top(panels - 1, z), bottom(panels, z), chord, "Truss", classification="end post")
        for i in range(1, panels):
            m.member(webs, bottom(i, z), top(i, z), web, "Truss", classification="vertical")
        # Pratt diagonals fall towards mid-span, in tension under gravity.
        for i in range(1, panels // 2):
            m.member(webs, top(i, z), bottom(i + 1, z), web, "Truss", classification="diagonal")
        for i in range(panels // 2, panels - 1):
            m.member(webs, bottom(i, z), top(i + 1, z), web, "Truss", classification="diagonal")
    for i in range(panels + 1):
        m.member(deck, bottom(i, 0.0), bottom(i, width), chord, "Truss", classification="cross girder")
    for i in range(1, panels):
        m.member(plan, top(i, 0.0), top(i, width), bracing_section, "Truss", classification="top strut")
    for i in range(panels):
        m.member(plan, bottom(i, 0.0), bottom(i + 1, width), bracing_section, "Truss",
                 classification="bottom plan brace")
    for i in range(1, panels - 1):
        m.member(plan, top(i, 0.0), top(i + 1, width), bracing_section, "Truss", classification="top plan brace")
    # Portal bracing in the inclined end frames.
    m.member(plan, bottom(0, 0.0), top(1, width), bracing_section, "Truss", classification="portal brace")
    m.member(plan, bottom(panels, 0.0), top(panels - 1, width), bracing_section, "Truss",
             classification="portal brace")
    deck_load, crowd, wind = m.load_case("Deck self-weight"), m.load_case("Crowd"), m.load_case("Wind +Z")
    for i in range(panels + 1):
        share = 0.5 if i in (0, panels) else 1.0
        for z in (0.0, width):
            m.nodal_load(deck_load, bottom(i, z), 12.0 * share, [0.0, -1.0, 0.0], "dead")
            m.nodal_load(crowd, bottom(i, z), 20.0 * share, [0.0, -1.0, 0.0], "crowd")
        m.nodal_load(wind, bottom(i, 0.0), 3.0 * share, [0.0, 0.0, 1.0], "wind")
    m.combination("ULS 1.35 deck + 1.5 crowd", [(deck_load, 1.35), (crowd, 1.5)], "ULS")
    m.combination("ULS 1.35 deck + 1.5 crowd + 0.9 wind", [(deck_load, 1.35), (crowd, 1.5), (wind, 0.9)], "ULS")
    return m


def tension_braced_hall():
    """A single-storey hall: three pinned-base portal frames of 15 m span, 6 m
    apart, with tension-only cross bracing in the side walls and the roof of
    the first bay; under wind along the hall one diagonal of each cross
    slackens and is switched off."""
    m = Model("Tension-braced hall", {"lengthUnit": "m", "forceUnit": "kN", "pressureUnit": "MPa"},
              axial_slack=10.0)
    steel = m.material("S235", 210000.0, 81000.0, 7850.0, 235.0)
    column = m.section("IPE 360 column", steel, 7.27e-3, 1.627e-4, 1.04e-5, 3.7e-7)
    rafter = m.section("IPE 400 rafter", steel, 8.45e-3, 1.32e-5, 2.313e-4, 5.1e-7)
    strut = m.section("CHS 114x5 eaves strut", steel, 1.71e-3, 2.5e-6, 2.5e-6, 5.0e-6)
    rod = m.section("M20 rod", steel, 2.45e-4, 4.8e-9, 4.8e-9, 9.6e-9)
    base = m.support("pinned base", {"X": "Fixed", "Y": "Fixed", "Z": "Fixed"},
                     {"X": "Free", "Y": "Fixed", "Z": "Free"})
    span, eaves, spacing = 15.0, 5.0, 6.0
    frames, struts, walls, roof = (m.member_set("Portal frames"), m.member_set("Eaves struts"),
                                   m.member_set("Wall bracing"), m.member_set("Roof bracing"))
    rafters = []
    for k in range(3):
        z = spacing * k
        m.member(frames, m.node(0.0, 0.0, z, base), m.node(0.0, eaves, z), column, classification="column")
        m.member(frames, m.node(span, 0.0, z, base), m.node(span, eaves, z), column, classification="column")
        rafters.append(m.member(frames, m.node(0.0, eaves, z), m.node(span, eaves, z), rafter,
                                classification="rafter"))
    for x in (0.0, span):
        for k in range(2):
            m.member(struts, m.node(x, eaves, spacing * k), m.node(x, eaves, spacing * (k + 1)), strut, "Truss")
        m.member(walls, m.node(x, 0.0, 0.0), m.node(x, eaves, spacing), rod, "Tension")
        m.member(walls, m.node(x, eaves, 0.0), m.node(x, 0.0, spacing), rod, "Tension")
    m.member(roof, m.node(0.0, eaves, 0.0), m.node(span, eaves, spacing), rod, "Tension")
    m.member(roof, m.node(span, eaves, 0.0), m.node(0.0, eaves, spacing), rod, "Tension")
    dead, wind_plus, wind_minus = m.load_case("Roof dead load"), m.load_case("Wind +Z"), m.load_case("Wind -Z")
    for member in rafters:
        m.line_load(dead, member, 3.0 if member != rafters[0] and member != rafters[-1] else 1.5, [0.0, -1.0, 0.0])
    # More wind on one side of the gable than on the other, so that the roof
    # bracing carries the difference across to the far wall.
    for x, share in ((0.0, 20.0), (span, 10.0)):
        m.nodal_load(wind_plus, m.node(x, eaves, 0.0), share, [0.0, 0.0, 1.0], "wind on gable")
        m.nodal_load(wind_minus, m.node(x, eaves, 2 * spacing), share, [0.0, 0.0, -1.0], "wind on gable")
    m.combination("ULS 1.35 dead + 1.5 wind +Z", [(dead, 1.35), (wind_plus, 1.5)], "ULS")
    m.combination("ULS 1.0 dead + 1.5 wind -Z", [(dead, 1.0), (wind_minus, 1.5)], "ULS")
    return m


def second_order_sway_frame():
    """A two-storey, one-bay sway frame on fixed bases, analysed to second order;
    columns and beams split in two so that the bending between the joints
    (P-small-delta) is followed as well as the sway (P-big-delta)."""
    m = Model("Second-order sway frame", {"lengthUnit": "m", "forceUnit": "kN", "pressureUnit": "GPa"},
              order="NONLINEAR", tolerance=1e-8, max_iterations=30)
    steel = m.material("S355", 210.0, 81.0, 7850.0, 0.355)
    column = m.section("HEB 240 column", steel, 1.06e-2, 1.126e-4, 3.923e-5, 1.03e-6)
    beam = m.section("IPE 400 beam", steel, 8.45e-3, 1.32e-5, 2.313e-4, 5.1e-7)
    fixed = m.support("fixed base", {"X": "Fixed", "Y": "Fixed", "Z": "Fixed"},
                      {"X": "Fixed", "Y": "Fixed", "Z": "Fixed"})
    span, storey = 6.0, 4.0
    columns, beams = m.member_set("Columns"), m.member_set("Beams")
    for x in (0.0, span):
        m.node(x, 0.0, 0.0, fixed)
        for level in range(2):
            y0 = storey * level
            mid = m.node(x, y0 + storey / 2, 0.0)
            m.member(columns, m.node(x, y0, 0.0), mid, column)
            m.member(columns, mid, m.node(x, y0 + storey, 0.0), column)
    for level in (1, 2):
        y = storey * level
        mid = m.node(span / 2, y, 0.0)
        m.member(beams, m.node(0.0, y, 0.0), mid, beam)
        m.member(beams, mid, m.node(span, y, 0.0), beam)
    gravity, wind = m.load_case("Gravity"), m.load_case("Wind +X")
    for level in (1, 2):
        for x in (0.0, span):
            m.nodal_load(gravity, m.node(x, storey * level, 0.0), 600.0, [0.0, -1.0, 0.0], "column load")
        m.nodal_load(wind, m.node(0.0, storey * level, 0.0), 20.0 if level == 1 else 10.0, [1.0, 0.0, 0.0], "wind")
    m.combination("ULS 1.35 gravity + 1.5 wind", [(gravity, 1.35), (wind, 1.5)], "ULS")
    return m


def semi_rigid_frame():
    """A two-bay single-storey frame whose beams are joined to the columns by
    semi-rigid end plates (rotational springs), on foundations with rotational
    and vertical springs."""
    m = Model("Semi-rigid frame", {"lengthUnit": "m", "forceUnit": "kN", "pressureUnit": "GPa"})
    steel = m.material("S275", 210.0, 81.0, 7850.0, 0.275)
    column = m.section("HEB 200 column", steel, 7.81e-3, 5.696e-5, 2.003e-5, 5.93e-7)
    beam = m.section("IPE 330 beam", steel, 6.26e-3, 7.88e-6, 1.177e-4, 2.8e-7)
    footing = m.support("spring footing", {"X": "Fixed", "Y": 50000.0, "Z": "Fixed"},
                        {"X": "Fixed", "Y": "Fixed", "Z": 8000.0})
    joint = m.hinge("end plate, 12 MNm/rad", rotational_release_mz=12000.0)
    columns, beams = m.member_set("Columns"), m.member_set("Beams")
    height, span = 4.5, 7.5
    tops = []
    for k in range(3):
        x = span * k
        m.member(columns, m.node(x, 0.0, 0.0, footing), m.node(x, height, 0.0), column)
        tops.append(m.node(x, height, 0.0))
    beam_ids = [m.member(beams, tops[k], tops[k + 1], beam, start_hinge=joint, end_hinge=joint) for k in range(2)]
    dead, wind = m.load_case("Dead and imposed"), m.load_case("Wind +X")
    for member in beam_ids:
        m.line_load(dead, member, 18.0, [0.0, -1.0, 0.0])
    m.nodal_load(wind, tops[0], 12.0, [1.0, 0.0, 0.0], "wind")
    m.combination("ULS 1.35 gravity + 1.5 wind", [(dead, 1.35), (wind, 1.5)], "ULS")
    m.combination("SLS gravity", [(dead, 1.0)], "SLS", "characteristic")
    return m


if __name__ == "__main__":
    write("braced_steel_frame.json", braced_steel_frame())
    write("truss_bridge.json", truss_bridge())
    write("tension_braced_hall.json", tension_braced_hall())
    write("second_order_sway_frame.json", second_order_sway_frame())
    write("semi_rigid_frame.json", semi_rigid_frame())
