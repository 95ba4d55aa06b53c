"""A 100-member 3D frame in m and kN with 16 load cases and 4 combinations,
written as a model document: columns on a 3 x 3 grid (Y up), beams in both
directions on every floor, truss and tension-only braces in the outer bays,
pinned beam ends on the top floor and rigid stubs to eccentric load points.
Used by the browser tests of the report (and handy by hand:
`python3 frame_model.py > frame.json`); with --unanalysable, a copy whose
support cannot be analysed."""

import json
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))

import model_builder as mb  # noqa: E402

MEMBERS = 100
RIGID_STUBS = 4
GRID = 3


def frame_model():
    nodes = {}

    def node(i, k, level, support=None):
        return (i, k, level, support)

    def place(key):
        # Nodes are numbered as members take them, so the ids have no gaps.
        i, k, level, support = key
        if (i, k, level) not in nodes:
            nodes[(i, k, level)] = mb.node(len(nodes) + 1, 6.0 * i, 3.5 * level, 5.0 * k, support)
        return dict(nodes[(i, k, level)])

    members = []

    def add(start, end, section, kind="Normal", classification="", start_hinge=None, end_hinge=None):
        if len(members) >= MEMBERS - RIGID_STUBS:
            return
        members.append(mb.member(len(members) + 1, place(start), place(end), section, kind,
                                 start_hinge=start_hinge, end_hinge=end_hinge, classification=classification))

    level = 0
    while len(members) < MEMBERS - RIGID_STUBS:
        for i in range(GRID):
            for k in range(GRID):
                base = node(i, k, level, 1 if level == 0 else None)
                add(base, node(i, k, level + 1), 1, classification="column")
        top = level + 1 >= 4
        for i in range(GRID):
            for k in range(GRID):
                hinge = 1 if top else None
                if i + 1 < GRID:
                    add(node(i, k, level + 1), node(i + 1, k, level + 1), 2, classification="beam",
                        start_hinge=hinge)
                if k + 1 < GRID:
                    add(node(i, k, level + 1), node(i, k + 1, level + 1), 2, classification="beam")
        add(node(0, 0, level), node(1, 0, level + 1), 3, "Truss", "brace")
        add(node(0, 0, level), node(0, 1, level + 1), 3, "Tension", "brace")
        level += 1
    stubs = []
    next_node = max(n["id"] for n in nodes.values()) + 1
    for s in range(RIGID_STUBS):
        top = members[-1 - s]["end_node"]
        point = dict(top, id=next_node, X=top["X"] + 0.4, Z=top["Z"] + 0.25, nodal_support=None)
        next_node += 1
        stubs.append(mb.member(MEMBERS - RIGID_STUBS + 1 + s, top, point, member_type="Rigid",
                               classification="stub"))

    beams = [m for m in members if m["classification"] == "beam"]
    columns = [m for m in members if m["classification"] == "column"]
    load_cases = []
    for case_id in range(1, 17):
        case = mb.load_case(case_id, f"LC{case_id:02d}")
        kind = case_id % 4
        if kind == 1:  # gravity on every beam, partial and trapezoidal on some
            for n, beam in enumerate(beams):
                start, end = (0.0, 1.0) if n % 3 else (0.2, 0.8)
                case["distributed_loads"].append(
                    mb.distributed_load(beam["id"], case_id, -5.0 - case_id * 0.5, [0.0, 1.0, 0.0], start, end,
                                        -5.0 - case_id * 0.5 - (2.0 if n % 2 else 0.0)))
        elif kind == 2:  # wind along X on the columns of one face
            for column in columns:
                if column["end_node"]["X"] == 0.0:
                    case["nodal_loads"].append(mb.nodal_load(len(case["nodal_loads"]) + 1, column["end_node"]["id"],
                                                             case_id, 2.0 + 0.1 * case_id, [1.0, 0.0, 0.0], "wind"))
        elif kind == 3:  # wind along Z as a line load on the columns
            for column in columns:
                if column["start_node"]["Z"] == 0.0:
                    case["distributed_loads"].append(
                        mb.distributed_load(column["id"], case_id, 0.8, [0.0, 0.0, 1.0], end_magnitude=1.2))
        else:  # point loads and moments at the stubs
            for stub in stubs:
                node_id = stub["end_node"]["id"]
                case["nodal_loads"].append(mb.nodal_load(len(case["nodal_loads"]) + 1, node_id, case_id,
                                                         -10.0 - case_id, [0.0, 1.0, 0.0], "point"))
                case["nodal_moments"].append(mb.nodal_moment(len(case["nodal_moments"]) + 1, node_id, case_id, 1.5,
                                                             [0.0, 0.0, 1.0], "moment"))
        load_cases.append(case)
    combinations = [
        mb.combination(1, "ULS 1", {1: 1.35, 3: 1.5}, "ULS", "Persistent", "ULS"),
        mb.combination(2, "ULS 2", {1: 1.35, 2: 1.5, 3: 1.05}, "ULS", "Persistent", "ULS"),
        mb.combination(3, "SLS", {1: 1.0, 2: 1.0, 3: 1.0, 4: 1.0}, "SLS", None, "SLS"),
        mb.combination(4, "ULS 3", {5: 1.35, 6: 1.5, 8: 1.5}, "ULS", "Persistent", "ULS"),
    ]
    hinge = mb.hinge(1, "pinned", rotational_release_my=0.0, rotational_release_mz=0.0)
    settings = mb.settings(mb.analysis_options(max_iterations=20),
                           mb.general_info("Frame of 100 members", "velk tests"),
                           mb.unit_settings(system="metric", lengthUnit="m", forceUnit="kN", densityUnit="kg/m3",
                                            pressureUnit="MPa"))
    steel = mb.material(1, 210000.0, 81000.0, "S355", 7850.0, 355.0)
    sections = [mb.section(1, 1, 0.005383, 1.336e-05, 3.692e-05, 2.1e-07, "HEA200", h=0.19, b=0.2),
                mb.section(2, 1, 0.005381, 6.04e-06, 8.356e-05, 2.01e-07, "IPE300", h=0.3, b=0.15),
                mb.section(3, 1, 0.0007, 2.2e-07, 2.2e-07, 4.4e-07, "CHS60", h=0.06, b=0.06)]
    # Optional records left out, as a hand-written document may leave them.
    return mb.document([mb.member_set(1, members, "frame"), mb.member_set(2, stubs, "stubs")], [steel], sections,
                       [mb.support(1, classification="base")], load_cases, combinations, settings, [hinge],
                       results=mb.ABSENT, shape_paths=mb.ABSENT)


def unanalysable_model():
    """The same frame with a spring support that has no stiffness: it reads and
    can be drawn, but not analysed."""
    model = frame_model()
    model["settings"]["general_info"]["project_name"] = "Frame that cannot be analysed"
    model["nodal_supports"][0]["displacement_conditions"]["X"] = {"condition_type": "Spring", "stiffness": None}
    return model


if __name__ == "__main__":
    json.dump(unanalysable_model() if "--unanalysable" in sys.argv[1:] else frame_model(), sys.stdout, indent=1)
    sys.stdout.write("\n")
