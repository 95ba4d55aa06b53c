"""`velk buckling`, `velk analyse --buckling` and velk_tools.buckling_analysis:
a cantilever column against Euler through both, the exact keys of the JSON,
the summary, exit statuses and hostile option values."""

import json
import math
import os
import subprocess
import tempfile
import unittest

import model_builder as mb
import velk_tools

VELK = os.environ["VELK_BIN"]
EXAMPLES = os.environ["VELK_EXAMPLES_DIR"]

E_MPA = 210000.0
I_Y = 2.0e-05  # m^4, the weak axis
I_Z = 3.0e-05
HEIGHT = 4.0  # m
LOAD = 50.0  # kN: alpha_cr about 13
MEMBERS = 8
CASE_KEYS = ["critical_factors", "reversed_factor", "verdict", "message", "modes"]
MEMBER_KEYS = ["N", "N_cr", "L_cr_y", "L_cr_z", "k_y", "k_z", "bending_axis", "energy_share"]


def run(*args):
    return subprocess.run([VELK, *args], capture_output=True, text=True, timeout=120)


def cantilever(load=LOAD, factors=None):
    """A column of MEMBERS members standing on a fixed base, load kN down at
    its top in load case 1, in m and kN; combinations by their factors."""
    nodes = [mb.node(i + 1, 0.0, 0.0, HEIGHT * i / MEMBERS, nodal_support=1 if i == 0 else None)
             for i in range(MEMBERS + 1)]
    members = [mb.member(i + 1, nodes[i], nodes[i + 1], 1) for i in range(MEMBERS)]
    combinations = [mb.combination(i + 1, name, f) for i, (name, f) in enumerate((factors or {}).items())]
    return mb.document(
        [mb.member_set(1, members)], [mb.material(1, E_MPA, 81000.0, "S355", 7850.0, 355.0)],
        [mb.section(1, 1, 0.005, I_Y, I_Z, 1e-5, "column")], [mb.support(1)],
        [mb.load_case(1, "Axial", nodal_loads=[mb.nodal_load(1, MEMBERS + 1, 1, load, [0.0, 0.0, -1.0])])],
        combinations,
        settings=mb.settings(mb.analysis_options(), mb.general_info("Cantilever column"),
                             mb.unit_settings(lengthUnit="m", forceUnit="kN", pressureUnit="MPa")))


def euler_factor(i):
    """pi^2 E I / (2 L)^2 over the load, E in kN/m^2."""
    return math.pi ** 2 * E_MPA * 1e3 * i / (2.0 * HEIGHT) ** 2 / LOAD


class Folder(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)

    def write(self, document, name="model.json"):
        path = os.path.join(self.folder.name, name)
        with open(path, "w", encoding="utf-8") as f:
            f.write(document if isinstance(document, str) else json.dumps(document))
        return path


class BucklingJson(Folder):
    def test_cantilever_against_euler_with_exact_keys(self):
        path = self.write(cantilever(factors={"uplift": {"1": -1.0}, "ULS": {"1": 1.5}}))
        done = run("buckling", path, "--json", "--modes", "3")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stderr, "")
        result = json.loads(done.stdout)
        self.assertEqual(list(result), ["length_unit", "force_unit", "loadcases", "loadcombinations"])
        self.assertEqual((result["length_unit"], result["force_unit"]), ("m", "kN"))
        self.assertEqual(list(result["loadcombinations"]), ["uplift", "ULS"])
        case = result["loadcases"]["Axial"]
        self.assertEqual(list(case), CASE_KEYS)
        self.assertEqual(len(case["critical_factors"]), 3)
        self.assertAlmostEqual(case["critical_factors"][0] / euler_factor(I_Y), 1.0, delta=1e-4)
        self.assertAlmostEqual(case["critical_factors"][1] / euler_factor(I_Z), 1.0, delta=1e-4)
        self.assertIsNone(case["reversed_factor"])
        self.assertIsNone(case["message"])
        self.assertEqual(case["verdict"], "first order sufficient (α_cr ≥ 10)")
        mode = case["modes"][0]
        self.assertEqual(list(mode), ["factor", "shape", "members"])
        self.assertEqual(mode["factor"], case["critical_factors"][0])
        self.assertEqual(list(mode["shape"]), [str(i) for i in range(1, MEMBERS + 2)])
        self.assertEqual(list(mode["shape"]["1"]), ["dx", "dy", "dz", "rx", "ry", "rz"])
        top = mode["shape"][str(MEMBERS + 1)]
        self.assertEqual(max(top["dx"], top["dy"]), 1.0)
        self.assertEqual(list(mode["members"]), [str(i) for i in range(1, MEMBERS + 1)])
        for member in mode["members"].values():
            self.assertEqual(list(member), MEMBER_KEYS)
            self.assertAlmostEqual(member["N"], -LOAD, delta=1e-9 * LOAD)
            self.assertAlmostEqual(member["N_cr"] / (LOAD * case["critical_factors"][0]), 1.0, delta=1e-12)
            self.assertAlmostEqual(member["L_cr_y"] / (2 * HEIGHT), 1.0, delta=1e-4)
            self.assertAlmostEqual(member["k_y"] / (2 * MEMBERS), 1.0, delta=1e-4)
            self.assertEqual(member["bending_axis"], "y")
        self.assertAlmostEqual(sum(m["energy_share"] for m in mode["members"].values()), 1.0, delta=1e-12)

        uplift = result["loadcombinations"]["uplift"]
        self.assertEqual(uplift["critical_factors"], [])
        self.assertEqual(uplift["modes"], [])
        self.assertEqual(uplift["message"], "no member is in compression")
        self.assertAlmostEqual(uplift["reversed_factor"] / case["critical_factors"][0], 1.0, delta=1e-9)
        uls = result["loadcombinations"]["ULS"]
        self.assertAlmostEqual(uls["critical_factors"][0] * 1.5 / case["critical_factors"][0], 1.0, delta=1e-9)

    def test_velk_tools_gives_the_same_json(self):
        document = cantilever()
        path = self.write(document)
        done = run("buckling", path, "--json", "--modes", "2")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(velk_tools.buckling_analysis(json.dumps(document), modes=2) + "\n", done.stdout)
        default = json.loads(velk_tools.buckling_analysis(json.dumps(document)))
        self.assertEqual(len(default["loadcases"]["Axial"]["critical_factors"]), 4)

    def test_verdicts_follow_the_first_factor(self):
        for load, verdict in ((euler_factor(I_Y) * LOAD / 5.0, "second order needed (3 ≤ α_cr < 10)"),
                              (euler_factor(I_Y) * LOAD / 2.0,
                               "second order needed, amplification not allowed (α_cr < 3)")):
            result = json.loads(velk_tools.buckling_analysis(json.dumps(cantilever(load=load)), modes=1))
            self.assertEqual(result["loadcases"]["Axial"]["verdict"], verdict)

    def test_every_example(self):
        for name in sorted(os.listdir(EXAMPLES)):
            if not name.endswith(".json"):
                continue
            done = run("buckling", os.path.join(EXAMPLES, name), "--json", "--modes", "2")
            self.assertEqual(done.returncode, 0, name + ": " + done.stderr)
            result = json.loads(done.stdout)
            for group in ("loadcases", "loadcombinations"):
                for case in result[group].values():
                    self.assertTrue(all(f > 0 for f in case["critical_factors"]), name)
                    self.assertEqual(len(case["modes"]), len(case["critical_factors"]), name)


class BucklingSummary(Folder):
    def test_summary_and_analyse_with_buckling(self):
        path = self.write(cantilever(factors={"ULS": {"1": 1.5}}))
        done = run("buckling", path)
        self.assertEqual(done.returncode, 0, done.stderr)
        lines = done.stdout.splitlines()
        self.assertEqual(lines[0], "Units: length m, force kN")
        self.assertEqual(lines[1], 'Load case "Axial" (id 1)')
        self.assertTrue(lines[2].startswith("  critical load factors: α_cr,1 = "), lines[2])
        self.assertIn("  verdict: first order sufficient (α_cr ≥ 10)", lines)
        self.assertEqual(sum(line.startswith("    member ") for line in lines), 10)  # five per case

        analysed = run("analyse", path, "--buckling")
        self.assertEqual(analysed.returncode, 0, analysed.stderr)
        notes = [line for line in analysed.stdout.splitlines() if line.startswith("  α_cr,1: ")]
        self.assertEqual(len(notes), 2)
        self.assertTrue(notes[0].endswith("(first order sufficient (α_cr ≥ 10))"), notes[0])
        plain = run("analyse", path)
        self.assertNotIn("α_cr", plain.stdout)

    def test_a_results_document_is_taken_as_it_is(self):
        path = self.write(cantilever())
        out = os.path.join(self.folder.name, "out.json")
        self.assertEqual(run("analyse", path, "-o", out).returncode, 0)
        self.assertEqual(run("buckling", out, "--json").stdout, run("buckling", path, "--json").stdout)


class BucklingFailures(Folder):
    def assert_one_line(self, done, text):
        self.assertEqual(done.returncode, 2)
        self.assertEqual(done.stdout, "")
        self.assertEqual(done.stderr, "velk: " + text + "\n")

    def test_hostile_mode_counts(self):
        path = self.write(cantilever())
        for value in ("0", "-1", "101", "99999999999999999999", "x", ""):
            self.assert_one_line(run("buckling", path, "--modes", value),
                                 "--modes must be a whole number from 1 to 100, not '%s'" % value)
        self.assert_one_line(run("buckling", path, "--modes", "2", "--modes", "3"),
                             "option '--modes' of 'velk buckling' is given twice")
        self.assertEqual(run("buckling", path, "--modes").returncode, 2)
        for modes in (0, -1, 101):
            with self.assertRaises(RuntimeError):
                velk_tools.buckling_analysis(json.dumps(cantilever()), modes=modes)
        with self.assertRaises(OverflowError):
            velk_tools.buckling_analysis(json.dumps(cantilever()), modes=2 ** 40)
        with self.assertRaises(TypeError):
            velk_tools.buckling_analysis(json.dumps(cantilever()), modes="4")

    def test_mechanism_bad_json_and_missing_file(self):
        free = cantilever()
        free["nodal_supports"] = [mb.support(1, rotation="Free")]
        done = run("buckling", self.write(free))
        self.assertEqual(done.returncode, 2)
        self.assertTrue(done.stderr.startswith(
            "velk: LC 1 linear error: Reduced stiffness matrix is singular or near-singular; Mechanism: node "),
            done.stderr)
        self.assertEqual(len(done.stderr.splitlines()), 1)
        bad = run("buckling", self.write("{"))
        self.assertEqual(bad.returncode, 2)
        self.assertTrue(bad.stderr.startswith("velk: Bad JSON input: "), bad.stderr)
        missing = run("buckling", os.path.join(self.folder.name, "none.json"))
        self.assertEqual(missing.returncode, 2)
        self.assertTrue(missing.stderr.startswith("velk: Cannot read '"), missing.stderr)
        with self.assertRaises(RuntimeError):
            velk_tools.buckling_analysis("{")


if __name__ == "__main__":
    unittest.main()
