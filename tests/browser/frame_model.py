"""A 100-member 3D frame in m and kN with 16 load cases and 4 combinations,
written as a model document: columns on a 3 x 3 grid (Y up), beams in both
directions on every floor, truss and tension-only braces in the outer bays,
pinned beam ends on the top floor and rigid stubs to eccentric load points.
Used by the browser tests of the report (and handy by hand:
`python3 frame_model.py > frame.json`); with --unanalysable, a copy whose
support cannot be analysed."""

import json
import sys

MEMBERS = 100
RIGID_STUBS = 4
GRID = 3


def fixed_support(support_id, rotations="Fixed"):
    def conditions(kind):
        return {axis: {"condition_type": kind, "stiffness": None} for axis in "XYZ"}
    return {"id": support_id, "classification": "base", "displacement_conditions": conditions("Fixed"),
            "rotation_conditions": conditions(rotations)}


def frame_model():
    nodes = {}

    def node(i, k, level, support=None):
        return (i, k, level, support)

    def place(key):
        # Nodes are numbered as members take them, so the ids have no gaps.
        i, k, level, support = key
        if (i, k, level) not in nodes:
            nodes[(i, k, level)] = {"id": len(nodes) + 1, "X": 6.0 * i, "Y": 3.5 * level, "Z": 5.0 * k,
                                    "nodal_support": support}
        return dict(nodes[(i, k, level)])

    members = []

    def add(start, end, section, kind="Normal", classification="", start_hinge=None, end_hinge=None):
        if len(members) >= MEMBERS - RIGID_STUBS:
            return
        members.append({"id": len(members) + 1, "start_node": place(start), "end_node": place(end),
                        "section": section,
                        "rotation_angle": 0.0, "start_hinge": start_hinge, "end_hinge": end_hinge,
                        "classification": classification, "weight": 0.0, "chi": None, "reference_member": None,
                        "reference_node": None, "member_type": kind})

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
        stubs.append({"id": MEMBERS - RIGID_STUBS + 1 + s, "start_node": top, "end_node": point, "section": None,
                      "rotation_angle": 0.0, "start_hinge": None, "end_hinge": None, "classification": "stub",
                      "weight": 0.0, "chi": None, "reference_member": None, "reference_node": None,
                      "member_type": "Rigid"})

    beams = [m for m in members if m["classification"] == "beam"]
    columns = [m for m in members if m["classification"] == "column"]
    load_cases = []
    for case_id in range(1, 17):
        case = {"id": case_id, "name": f"LC{case_id:02d}", "nodal_loads": [], "nodal_moments": [],
                "distributed_loads": [], "rotation_imperfections": [], "translation_imperfections": []}
        kind = case_id % 4
        if kind == 1:  # gravity on every beam, partial and trapezoidal on some
            for n, beam in enumerate(beams):
                start, end = (0.0, 1.0) if n % 3 else (0.2, 0.8)
                case["distributed_loads"].append(
                    {"member": beam["id"], "load_case": case_id, "magnitude": -5.0 - case_id * 0.5,
                     "direction": [0.0, 1.0, 0.0], "start_frac": start, "end_frac": end,
                     "end_magnitude": -5.0 - case_id * 0.5 - (2.0 if n % 2 else 0.0)})
        elif kind == 2:  # wind along X on the columns of one face
            for column in columns:
                if column["end_node"]["X"] == 0.0:
                    case["nodal_loads"].append({"id": len(case["nodal_loads"]) + 1, "node": column["end_node"]["id"],
                                                "load_case": case_id, "magnitude": 2.0 + 0.1 * case_id,
                                                "direction": [1.0, 0.0, 0.0], "load_type": "wind"})
        elif kind == 3:  # wind along Z as a line load on the columns
            for column in columns:
                if column["start_node"]["Z"] == 0.0:
                    case["distributed_loads"].append(
                        {"member": column["id"], "load_case": case_id, "magnitude": 0.8, "direction": [0.0, 0.0, 1.0],
                         "start_frac": 0.0, "end_frac": 1.0, "end_magnitude": 1.2})
        else:  # point loads and moments at the stubs
            for stub in stubs:
                node_id = stub["end_node"]["id"]
                case["nodal_loads"].append({"id": len(case["nodal_loads"]) + 1, "node": node_id, "load_case": case_id,
                                            "magnitude": -10.0 - case_id, "direction": [0.0, 1.0, 0.0],
                                            "load_type": "point"})
                case["nodal_moments"].append({"id": len(case["nodal_moments"]) + 1, "node": node_id,
                                              "load_case": case_id, "magnitude": 1.5, "direction": [0.0, 0.0, 1.0],
                                              "load_type": "moment"})
        load_cases.append(case)
    combinations = [
        {"id": 1, "name": "ULS 1", "load_cases_factors": {"1": 1.35, "3": 1.5}, "situation": "Persistent",
         "check": "ULS", "limit_state": "ULS"},
        {"id": 2, "name": "ULS 2", "load_cases_factors": {"1": 1.35, "2": 1.5, "3": 1.05}, "situation": "Persistent",
         "check": "ULS", "limit_state": "ULS"},
        {"id": 3, "name": "SLS", "load_cases_factors": {"1": 1.0, "2": 1.0, "3": 1.0, "4": 1.0},
         "situation": None, "check": "SLS", "limit_state": "SLS"},
        {"id": 4, "name": "ULS 3", "load_cases_factors": {"5": 1.35, "6": 1.5, "8": 1.5}, "situation": "Persistent",
         "check": "ULS", "limit_state": "ULS"},
    ]
    hinge = {"id": 1, "hinge_type": "pinned", "translational_release_vx": None, "translational_release_vy": None,
             "translational_release_vz": None, "rotational_release_mx": None, "rotational_release_my": 0.0,
             "rotational_release_mz": 0.0, "max_tension_vx": None, "max_tension_vy": None, "max_tension_vz": None,
             "max_moment_mx": None, "max_moment_my": None, "max_moment_mz": None}
    return {
        "member_sets": [{"id": 1, "l_y": None, "l_z": None, "classification": "frame", "members": members},
                        {"id": 2, "l_y": None, "l_z": None, "classification": "stubs", "members": stubs}],
        "load_cases": load_cases,
        "load_combinations": combinations,
        "imperfection_cases": [],
        "settings": {"id": 1, "analysis_options": {"id": 1, "solve_loadcases": True, "solver": "direct",
                                                   "tolerance": 1e-06, "max_iterations": 20, "dimensionality": "3D",
                                                   "order": "LINEAR", "rigid_strategy": "LinearMpc",
                                                   "axial_slack": 0.0},
                     "general_info": {"project_name": "Frame of 100 members", "author": "velk tests",
                                      "version": "1"},
                     "unit_settings": {"system": "metric", "lengthUnit": "m", "forceUnit": "kN",
                                       "densityUnit": "kg/m3", "pressureUnit": "MPa"}},
        "memberhinges": [hinge],
        "materials": [{"id": 1, "name": "S355", "e_mod": 210000.0, "g_mod": 81000.0, "density": 7850.0,
                       "yield_stress": 355.0}],
        "sections": [
            {"id": 1, "name": "HEA200", "material": 1, "h": 0.19, "b": 0.2, "i_y": 1.336e-05, "i_z": 3.692e-05,
             "j": 2.1e-07, "area": 0.005383, "shape_path": None},
            {"id": 2, "name": "IPE300", "material": 1, "h": 0.3, "b": 0.15, "i_y": 6.04e-06, "i_z": 8.356e-05,
             "j": 2.01e-07, "area": 0.005381, "shape_path": None},
            {"id": 3, "name": "CHS60", "material": 1, "h": 0.06, "b": 0.06, "i_y": 2.2e-07, "i_z": 2.2e-07,
             "j": 4.4e-07, "area": 0.0007, "shape_path": None}],
        "nodal_supports": [fixed_support(1)],
    }


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
