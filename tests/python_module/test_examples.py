"""The example models: each analyses, balances its loads in every load case
and combination, and shows what it was written to show."""

import glob
import json
import math
import os
import unittest

import velk_calculations

EXAMPLES = os.environ.get(
    "VELK_EXAMPLES_DIR",
    os.path.join(os.path.dirname(__file__), "..", "..", "examples"),
)
LENGTH = {"mm": 0.001, "cm": 0.01, "m": 1.0}
FORCE = {"N": 1.0, "kN": 1000.0}


def analyse(name):
    return json.loads(velk_calculations.calculate_from_file(os.path.join(EXAMPLES, name)))


def members_of(model):
    return [member for member_set in model["member_sets"] for member in member_set["members"]]


def imbalance(model, results, factors):
    """Sum of the applied loads and the reported reactions, in N and N m about
    the origin (the written model is in base units, the results in the
    document's units), and the sum of the sizes of the applied forces."""
    units = model["settings"]["unit_settings"]
    length, force = LENGTH[units["lengthUnit"]], FORCE[units["forceUnit"]]
    members = {member["id"]: member for member in members_of(model)}
    position = {}
    for member in members.values():
        for end in ("start_node", "end_node"):
            position[member[end]["id"]] = (member[end]["X"], member[end]["Y"], member[end]["Z"])
    total = [0.0] * 6
    scale = [0.0]  # the sum of the sizes of the applied loads

    def add(point, f, m=(0.0, 0.0, 0.0), applied=True):
        x, y, z = point
        if applied:
            scale[0] += math.sqrt(sum(c * c for c in f))
        for i in range(3):
            total[i] += f[i]
        total[3] += m[0] + y * f[2] - z * f[1]
        total[4] += m[1] + z * f[0] - x * f[2]
        total[5] += m[2] + x * f[1] - y * f[0]

    for case in model["load_cases"]:
        factor = factors.get(case["id"], 0.0)
        if not factor:
            continue
        for load in case["nodal_loads"]:
            add(position[load["node"]], [factor * load["magnitude"] * c for c in load["direction"]])
        for load in case["nodal_moments"]:
            add(position[load["node"]], (0, 0, 0), [factor * load["magnitude"] * c for c in load["direction"]])
        for load in case["distributed_loads"]:
            if load["load_case"] != case["id"]:
                continue
            member = members[load["member"]]
            a = position[member["start_node"]["id"]]
            b = position[member["end_node"]["id"]]
            span = math.dist(a, b)
            s, e, w1, w2 = load["start_frac"], load["end_frac"], load["magnitude"], load["end_magnitude"]
            resultant = factor * (w1 + w2) / 2 * (e - s) * span
            centroid = s + (e - s) * ((w1 + 2 * w2) / (3 * (w1 + w2)) if w1 + w2 else 0.5)
            point = [a[i] + (b[i] - a[i]) * centroid for i in range(3)]
            add(point, [resultant * c for c in load["direction"]])
    for node, reaction in results["reaction_nodes"].items():
        r = reaction["nodal_forces"]
        add(position[int(node)], [r["fx"] * force, r["fy"] * force, r["fz"] * force],
            [r["mx"] * force * length, r["my"] * force * length, r["mz"] * force * length], applied=False)
    return total, scale[0]


class ExamplesTest(unittest.TestCase):
    def test_every_example_balances_its_loads(self):
        paths = sorted(glob.glob(os.path.join(EXAMPLES, "*.json")))
        self.assertGreaterEqual(len(paths), 6)
        for path in paths:
            model = analyse(os.path.basename(path))
            self.assertLessEqual(len(members_of(model)), 100, path)
            second_order = model["settings"]["analysis_options"]["order"] == "NONLINEAR"
            bundle = model["results"]
            combinations = {c["name"]: c for c in model["load_combinations"]}
            records = [(name, {case["id"]: 1.0 for case in model["load_cases"] if case["name"] == name}, record)
                       for name, record in bundle["loadcases"].items()]
            records += [(name, {int(k): v for k, v in combinations[name]["load_cases_factors"].items()}, record)
                        for name, record in bundle["loadcombinations"].items()]
            self.assertEqual(len(records), len(model["load_cases"]) + len(model["load_combinations"]), path)
            for name, factors, record in records:
                with self.subTest(example=os.path.basename(path), case=name):
                    total, scale = imbalance(model, record, factors)
                    # First order balances to round-off (a switched-off member
                    # keeps 1e-10 of its stiffness but reports no force); second
                    # order balances the forces to its convergence bound, and its
                    # moments about the undeformed origin hold the P-Delta terms.
                    self.assertLess(max(abs(c) for c in total[:3]), (1e-5 if second_order else 1e-9) * scale)
                    if not second_order:
                        self.assertLess(max(abs(c) for c in total[3:]), 1e-9 * scale * 100.0)

    def test_tension_only_bracing_follows_the_wind(self):
        model = analyse("tension_braced_hall.json")
        rods = [m["id"] for m in members_of(model) if m["member_type"] == "Tension"]
        self.assertEqual(len(rods), 6)

        def axial(record, member_id):
            forces = record["member_results"][str(member_id)]["end_node_forces"]
            member = next(m for m in members_of(model) if m["id"] == member_id)
            a, b = member["start_node"], member["end_node"]
            axis = [b[k] - a[k] for k in ("X", "Y", "Z")]
            size = math.sqrt(sum(c * c for c in axis))
            return sum(forces[f] * c / size for f, c in zip(("fx", "fy", "fz"), axis))

        plus = model["results"]["loadcases"]["Wind +Z"]
        minus = model["results"]["loadcases"]["Wind -Z"]
        # In each wall and in the roof one diagonal of the cross carries the
        # wind in tension and the other is switched off (zero); reversing the
        # wind swaps them.
        for first, second in zip(rods[0::2], rods[1::2]):
            forces_plus = sorted([axial(plus, first), axial(plus, second)])
            forces_minus = sorted([axial(minus, first), axial(minus, second)])
            self.assertEqual(forces_plus[0], 0.0)
            self.assertGreater(forces_plus[1], 0.1)  # kN
            self.assertEqual(forces_minus[0], 0.0)
            self.assertGreater(forces_minus[1], 0.1)
            self.assertNotEqual(axial(plus, first) == 0.0, axial(minus, first) == 0.0)

    def test_second_order_amplifies_the_sway(self):
        model = json.loads(open(os.path.join(EXAMPLES, "second_order_sway_frame.json"), encoding="utf-8").read())
        second = analyse("second_order_sway_frame.json")
        model["settings"]["analysis_options"]["order"] = "LINEAR"
        first = json.loads(velk_calculations.calculate_from_json(json.dumps(model)))
        name = "ULS 1.35 gravity + 1.5 wind"
        top = str(max(int(n) for n in first["results"]["loadcombinations"][name]["displacement_nodes"]))
        sway_first = first["results"]["loadcombinations"][name]["displacement_nodes"][top]["dx"]
        sway_second = second["results"]["loadcombinations"][name]["displacement_nodes"][top]["dx"]
        # A sway frame under gravity near a fifth of its buckling load sways
        # noticeably more to second order, and in the same direction.
        self.assertGreater(sway_first, 0.0)
        self.assertGreater(sway_second / sway_first, 1.05)
        self.assertLess(sway_second / sway_first, 2.0)


if __name__ == "__main__":
    unittest.main()
