"""`velk envelope` and `velk_tools.envelopes`: pattern loading of a two-span
beam against its closed forms, the exact JSON keys, the set by limit state,
names and load cases, CSV and summary, and hostile options and files."""

import csv
import io
import json
import os
import shutil
import subprocess
import tempfile
import unittest

import model_builder as mb
import velk_calculations
import velk_tools

VELK = os.environ["VELK_BIN"]
EXAMPLE = os.path.join(os.environ["VELK_EXAMPLES_DIR"], "braced_steel_frame.json")
COMPONENTS = ["N", "Vy", "Vz", "T", "My", "Mz", "ux", "uy", "uz", "rx"]
SPAN = 6.0
DEAD, IMPOSED = 10.0, 15.0  # kN/m
PG, PQ = 1.35 * DEAD, 1.5 * IMPOSED


def run(*args):
    return subprocess.run([VELK, *args], capture_output=True, text=True, timeout=120)


def held(sid, displacement, rotation):
    def conditions(axes):
        return {a: {"condition_type": "Fixed" if a in axes else "Free", "stiffness": None} for a in "XYZ"}
    return {"id": sid, "classification": None, "displacement_conditions": conditions(displacement),
            "rotation_conditions": conditions(rotation)}


def two_span_beam():
    """Two spans of 6 m along X, members 10 (span 1) and 2 (span 2), on a pin
    and two rollers; dead load on both spans, imposed load per span, the three
    ULS patterns and an SLS combination; m and kN."""
    n1, n2, n3 = mb.node(1, 0.0, nodal_support=1), mb.node(2, SPAN, nodal_support=2), mb.node(3, 2 * SPAN,
                                                                                               nodal_support=2)
    members = [mb.member(10, n1, n2, 1), mb.member(2, n2, n3, 1)]
    down = [0.0, -1.0, 0.0]
    cases = [
        mb.load_case(1, "G", distributed_loads=[mb.distributed_load(10, 1, DEAD, down),
                                                mb.distributed_load(2, 1, DEAD, down)]),
        mb.load_case(2, "Q span 1", distributed_loads=[mb.distributed_load(10, 2, IMPOSED, down)]),
        mb.load_case(3, "Q span 2", distributed_loads=[mb.distributed_load(2, 3, IMPOSED, down)]),
    ]
    combinations = [
        mb.combination(1, "both spans", {1: 1.35, 2: 1.5, 3: 1.5}, limit_state="ULS"),
        mb.combination(2, "span 1 only", {1: 1.35, 2: 1.5}, limit_state="ULS"),
        mb.combination(3, "span 2 only", {1: 1.35, 3: 1.5}, limit_state="ULS"),
        mb.combination(4, "characteristic", {1: 1.0, 2: 1.0, 3: 1.0}, limit_state="SLS"),
    ]
    return mb.document(
        [mb.member_set(1, members)], [mb.material(1, 210000.0, 81000.0, "S355", 7850.0, 355.0)],
        [mb.section(1, 1, 0.005383, 1.336e-05, 3.692e-05, 2.1e-07, "HEA200")],
        [held(1, "XYZ", "X"), held(2, "YZ", "")], cases, combinations,
        settings=mb.settings(mb.analysis_options(), mb.general_info("Two spans"),
                             mb.unit_settings(lengthUnit="m", forceUnit="kN", pressureUnit="MPa")))


class Workspace(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp()
        os.chmod(self.dir, 0o755)

    def tearDown(self):
        shutil.rmtree(self.dir)

    def write(self, name, content, mode="w"):
        path = os.path.join(self.dir, name)
        with open(path, mode) as f:
            f.write(content)
        return path


class PatternLoading(Workspace):
    def check(self, envelope):
        self.assertEqual(list(envelope), ["length_unit", "force_unit", "set", "members", "nodes", "reactions"])
        self.assertEqual((envelope["length_unit"], envelope["force_unit"]), ("m", "kN"))
        self.assertEqual(envelope["set"], ["both spans", "span 1 only", "span 2 only"])
        self.assertEqual(list(envelope["members"]), ["2", "10"])
        span1 = envelope["members"]["10"]
        self.assertEqual(list(span1), ["length", "x", "max", "max_case", "min", "min_case", "extremes"])
        for key in ("max", "max_case", "min", "min_case", "extremes"):
            self.assertEqual(list(span1[key]), COMPONENTS, key)
        self.assertEqual(list(span1["extremes"]["Mz"]), ["max", "max_at", "max_case", "min", "min_at", "min_case"])
        self.assertEqual(len(span1["x"]), 11)
        self.assertEqual(span1["x"][0], 0.0)
        self.assertEqual(span1["x"][-1], SPAN)

        mz = span1["extremes"]["Mz"]
        self.assertAlmostEqual(mz["min"], -(PG + PQ) * SPAN ** 2 / 8, delta=1e-9)
        self.assertEqual((mz["min_at"], mz["min_case"]), (SPAN, "both spans"))
        p = PG + PQ
        r_a = p * SPAN / 2 - (2 * PG + PQ) * SPAN / 16
        self.assertAlmostEqual(mz["max"], r_a ** 2 / (2 * p), delta=1e-9)
        self.assertAlmostEqual(mz["max_at"], r_a / p, delta=1e-9)
        self.assertEqual(mz["max_case"], "span 1 only")
        self.assertEqual(envelope["members"]["2"]["extremes"]["Mz"]["max_case"], "span 2 only")
        # The governing case of the smallest moment changes at 7L/8.
        self.assertEqual(span1["min_case"]["Mz"][1:], ["span 2 only"] * 8 + ["both spans"] * 2)

        middle = envelope["reactions"]["2"]["fy"]
        self.assertEqual(list(envelope["reactions"]["2"]), ["fx", "fy", "fz", "mx", "my", "mz"])
        self.assertEqual(list(middle), ["max", "max_case", "min", "min_case"])
        self.assertAlmostEqual(middle["max"], 5 * 2 * p * SPAN / 8, delta=1e-9)
        self.assertEqual(middle["max_case"], "both spans")
        self.assertEqual(list(envelope["reactions"]), ["1", "2", "3"])
        self.assertEqual(list(envelope["nodes"]), ["1", "2", "3"])
        self.assertEqual(list(envelope["nodes"]["1"]), ["dx", "dy", "dz", "rx", "ry", "rz"])

    def test_command_line_and_module(self):
        text = json.dumps(two_span_beam())
        path = self.write("beam.json", text)
        result = run("envelope", path, "--limit-state", "ULS", "--json")
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        self.check(json.loads(result.stdout))
        self.assertEqual(result.stdout, velk_tools.envelopes(text, limit_state="ULS") + "\n")

    def test_results_document_carried_in(self):
        text = json.dumps(two_span_beam())
        document = velk_calculations.calculate_from_json(text)
        self.assertEqual(velk_tools.envelopes(document, limit_state="ULS"),
                         velk_tools.envelopes(text, limit_state="ULS"))
        self.check(json.loads(velk_tools.envelopes(document, combinations=["span 2 only", "both spans",
                                                                           "span 1 only"])))


class TheSet(Workspace):
    def setUp(self):
        super().setUp()
        self.text = json.dumps(two_span_beam())
        self.path = self.write("beam.json", self.text)

    def set_of(self, *args):
        result = run("envelope", self.path, "--json", *args)
        self.assertEqual(result.returncode, 0, result.stderr)
        return json.loads(result.stdout)["set"]

    def test_selections(self):
        every = ["both spans", "span 1 only", "span 2 only", "characteristic"]
        self.assertEqual(self.set_of(), every)
        self.assertEqual(self.set_of("--limit-state", "SLS"), ["characteristic"])
        self.assertEqual(self.set_of("--combinations", "characteristic,span 1 only"),
                         ["span 1 only", "characteristic"])
        self.assertEqual(self.set_of("--with-cases"), ["G", "Q span 1", "Q span 2"] + every)
        self.assertEqual(self.set_of("--with-cases", "--limit-state=SLS"), ["G", "Q span 1", "Q span 2",
                                                                             "characteristic"])
        self.assertEqual(json.loads(velk_tools.envelopes(self.text, with_cases=True, limit_state="SLS"))["set"],
                         ["G", "Q span 1", "Q span 2", "characteristic"])

    def test_one_combination_is_its_own_diagram(self):
        envelope = json.loads(velk_tools.envelopes(self.text, combinations=("characteristic",), stations=5))
        diagram = json.loads(velk_tools.member_diagrams(self.text, stations=5))["loadcombinations"]["characteristic"]
        for member in ("2", "10"):
            for c in COMPONENTS:
                self.assertEqual(envelope["members"][member]["max"][c], diagram[member][c])
                self.assertEqual(envelope["members"][member]["min"][c], diagram[member][c])
                self.assertEqual(envelope["members"][member]["max_case"][c], ["characteristic"] * 5)
                extremes = diagram[member]["extremes"][c]
                self.assertEqual(envelope["members"][member]["extremes"][c],
                                 dict(extremes, max_case="characteristic", min_case="characteristic"))

    def test_csv_and_summary(self):
        result = run("envelope", self.path, "--csv", "--stations", "3")
        self.assertEqual(result.returncode, 0, result.stderr)
        rows = list(csv.reader(io.StringIO(result.stdout)))
        self.assertEqual(rows[0], ["member", "component", "station", "x", "max", "max_case", "min", "min_case"])
        self.assertEqual(len(rows), 1 + 2 * 10 * 3)
        self.assertEqual(rows[1][:4], ["2", "N", "0", "0.0"])
        envelope = json.loads(velk_tools.envelopes(self.text, stations=3))
        mz = [r for r in rows if r[0] == "10" and r[1] == "Mz"]
        self.assertEqual([float(r[6]) for r in mz], envelope["members"]["10"]["min"]["Mz"])
        self.assertEqual([r[7] for r in mz], envelope["members"]["10"]["min_case"]["Mz"])

        summary = run("envelope", self.path, "--limit-state", "ULS")
        self.assertEqual(summary.returncode, 0, summary.stderr)
        self.assertTrue(summary.stdout.startswith("Units: length m, force kN, moment kN·m\n"
                                                  'Envelope of: "both spans", "span 1 only", "span 2 only"\n'))
        self.assertIn("Member 10 (length 6 m)\n", summary.stdout)
        self.assertIn('min -162 kN·m at x = 6 m ("both spans")', summary.stdout)
        for c in ("N", "Vy", "Vz", "T", "My", "Mz", "uy", "uz"):
            self.assertIn(f"\n  {c}: max ", summary.stdout)
        self.assertIn("Reactions (kN, kN·m), min .. max:", summary.stdout)

    def test_examples(self):
        for name in ("portal_frame.json", "braced_steel_frame.json", "tension_braced_hall.json",
                     "second_order_sway_frame.json"):
            path = os.path.join(os.environ["VELK_EXAMPLES_DIR"], name)
            result = run("envelope", path, "--with-cases", "--json")
            self.assertEqual(result.returncode, 0, (name, result.stderr))
            envelope = json.loads(result.stdout)
            self.assertTrue(envelope["members"], name)
            self.assertTrue(envelope["reactions"], name)


class BadOptions(Workspace):
    def setUp(self):
        super().setUp()
        self.text = json.dumps(two_span_beam())
        self.path = self.write("beam.json", self.text)

    def fails(self, args, message):
        result = run("envelope", self.path, *args)
        self.assertEqual(result.returncode, 2, (args, result.stderr))
        self.assertEqual(result.stdout, "", args)
        self.assertEqual(result.stderr, f"velk: {message}\n", args)

    def test_hostile_stations(self):
        for value in ("1", "0", "-3", "abc", "2.5", "", "1002", "99999999999999999999999", "1e3", "5\n6"):
            shown = value.replace("\n", " ")
            self.fails(["--stations", value], f"--stations must be a whole number from 2 to 1001, not '{shown}'")
        with self.assertRaisesRegex(RuntimeError, "^stations must be at most 1001, not 1002$"):
            velk_tools.envelopes(self.text, stations=1002)
        with self.assertRaisesRegex(RuntimeError, "^stations must be at least 2, not -1$"):
            velk_tools.envelopes(self.text, stations=-1)

    def test_hostile_limit_states(self):
        for value in ("uls", "", "ULS,SLS", "ULS ", "EQU", "ULS\nSLS"):
            shown = value.replace("\n", " ")
            self.fails(["--limit-state", value], f"--limit-state must be ULS, SLS, FLS or ALS, not '{shown}'")
        self.fails(["--limit-state", "FLS"], "No load combination has the limit state FLS")
        self.fails(["--limit-state", "ALS", "--with-cases"], "No load combination has the limit state ALS")
        with self.assertRaisesRegex(RuntimeError, "^limit_state must be ULS, SLS, FLS or ALS, not 'sls'$"):
            velk_tools.envelopes(self.text, limit_state="sls")
        with self.assertRaisesRegex(TypeError, "^limit_state must be a str or None$"):
            velk_tools.envelopes(self.text, limit_state=1)

    def test_hostile_combination_names(self):
        for value in ("", ",", "both spans,", "both spans,,span 1 only", ",both spans"):
            shown = value.replace("\n", " ")
            self.fails(["--combinations", value],
                       f"--combinations must be combination names separated by commas, not '{shown}'")
        self.fails(["--combinations", "both spans,nope"], "No load combination is named 'nope'")
        self.fails(["--combinations", "both\nspans"], "No load combination is named 'both spans'")
        self.fails(["--combinations", "G", "--with-cases"], "No load combination is named 'G'")
        self.fails(["--combinations", "both spans,both spans"], "Load combination 'both spans' is named twice")
        self.fails(["--combinations", "characteristic", "--limit-state", "ULS"],
                   "None of the named load combinations has the limit state ULS")
        with self.assertRaisesRegex(RuntimeError, "^The envelope set is empty: no load combination is named$"):
            velk_tools.envelopes(self.text, combinations=[])
        with self.assertRaisesRegex(RuntimeError, "^No load combination is named 'x'$"):
            velk_tools.envelopes(self.text, combinations=["x"])
        for bad in ("both spans", ["both spans", 3], {"both spans": 1}):
            with self.assertRaisesRegex(TypeError, "^combinations must be a list or tuple of str, or None$"):
                velk_tools.envelopes(self.text, combinations=bad)

    def test_other_usage_errors(self):
        self.fails(["--json", "--csv"], "'velk envelope' takes --json or --csv, not both")
        self.fails(["--with-cases", "--with-cases"], "option '--with-cases' of 'velk envelope' is given twice")
        self.fails(["--stations"], "option '--stations' of 'velk envelope' needs a value")
        self.fails(["--fast"], "unknown option '--fast' for 'velk envelope' (see 'velk envelope --help')")
        help_text = run("envelope", "--help")
        self.assertEqual(help_text.returncode, 0)
        self.assertTrue(help_text.stdout.startswith("Usage: velk envelope FILE.json"))

    def test_empty_set(self):
        model = two_span_beam()
        model["load_combinations"] = []
        path = self.write("no_combinations.json", json.dumps(model))
        result = run("envelope", path)
        self.assertEqual((result.returncode, result.stdout), (2, ""))
        self.assertEqual(result.stderr, "velk: The envelope set is empty: the document has no load combinations\n")
        self.assertEqual(json.loads(run("envelope", path, "--with-cases", "--json").stdout)["set"],
                         ["G", "Q span 1", "Q span 2"])

    def test_load_cases_not_solved(self):
        model = two_span_beam()
        model["settings"]["analysis_options"]["solve_loadcases"] = False
        path = self.write("cases_unsolved.json", json.dumps(model))
        result = run("envelope", path, "--with-cases")
        self.assertEqual((result.returncode, result.stderr), (2, "velk: Load case 'G' has no results\n"))

    def test_hostile_files(self):
        with open(EXAMPLE, encoding="utf-8") as f:
            text = f.read()
        for name, content, mode, pattern in (
                ("truncated.json", text[: len(text) // 2], "w", r"line \d+"),
                ("binary.json", b"\xff\xfe\x00\x01", "wb", "not contain valid UTF-8"),
                ("empty.json", "", "w", "^velk: "),
                ("array.json", "[]", "w", "^velk: ")):
            result = run("envelope", self.write(name, content, mode))
            self.assertEqual(result.returncode, 2, name)
            self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)
            self.assertRegex(result.stderr, pattern)
        result = run("envelope", self.dir)
        self.assertEqual(result.returncode, 2)
        self.assertEqual(result.stderr, f"velk: Cannot read '{self.dir}': it is a directory\n")
        model = two_span_beam()
        model["nodal_supports"] = [held(1, "", ""), held(2, "", "")]
        result = run("envelope", self.write("mechanism.json", json.dumps(model)))
        self.assertEqual(result.returncode, 2)
        self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)


if __name__ == "__main__":
    unittest.main()
