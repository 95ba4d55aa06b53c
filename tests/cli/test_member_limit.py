"""The member limit of the front ends: every `velk` command refuses a model
of 101 members with the message that names --max-members and takes it with
--max-members 101; every velk_tools function does the same with its keyword
max_members; velk_calculations keeps its own limit and message."""

import json
import os
import subprocess
import tempfile
import unittest

import model_builder as mb
import velk_calculations
import velk_tools

VELK = os.environ["VELK_BIN"]

OVER = "Number of members (101) exceeds allowed maximum of 100; raise the limit with --max-members"
OVER_TOOLS = "Number of members (101) exceeds allowed maximum of 100; raise the limit with max_members"
MODULE = "Number of members (101) exceeds allowed maximum of 100"


def cantilever(members=101, length=10.0):
    """A cantilever along X in `members` members, fixed at node 1, with a
    tip load down and its own combination."""
    step = length / members
    nodes = [mb.node(1, 0.0, nodal_support=1)] + [mb.node(i + 1, i * step) for i in range(1, members + 1)]
    chain = [mb.member(i, nodes[i - 1], nodes[i], 1) for i in range(1, members + 1)]
    return mb.document(
        [mb.member_set(1, chain)], [mb.material(1, 2.1e11, 8.1e10, "S355", 7850.0, 3.55e8)],
        [mb.section(1, 1, 5.383e-3, 1.336e-5, 3.692e-5, 2.1e-7, "HEA200", h=0.19, b=0.2)],
        [mb.support(1)],
        [mb.load_case(1, "Tip", nodal_loads=[mb.nodal_load(1, members + 1, 1, -1000.0, [0.0, 0.0, 1.0])])],
        [mb.combination(1, "ULS", {1: 1.5}, limit_state="ULS")],
        settings=mb.settings(mb.analysis_options(), unit_settings=mb.unit_settings(lengthUnit="m", forceUnit="N")))


def run(*args):
    return subprocess.run([VELK, *args], capture_output=True, text=True, timeout=300)


class MemberLimitTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        cls.text = json.dumps(cantilever())
        cls.path = os.path.join(cls.folder.name, "cantilever.json")
        with open(cls.path, "w", encoding="utf-8") as f:
            f.write(cls.text)

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def test_every_command_names_the_option_and_takes_the_model_when_raised(self):
        out = os.path.join(self.folder.name, "out.html")
        refused = {
            "analyse": (2, "", f"velk: {OVER}\n"),
            "diagrams": (2, "", f"velk: {OVER}\n"),
            "envelope": (2, "", f"velk: {OVER}\n"),
            "buckling": (2, "", f"velk: {OVER}\n"),
            "modes": (2, "", f"velk: {OVER}\n"),
            "check": (1, f"error: model: {OVER}\n", ""),
            "report": (1, "", f"velk: the model could not be analysed: {OVER}\n"),
        }
        for command, expected in refused.items():
            extra = ["--output", out] if command == "report" else []
            with self.subTest(command=command):
                result = run(command, self.path, *extra)
                self.assertEqual((result.returncode, result.stdout, result.stderr), expected)
                # Exactly at the model's size it is taken.
                taken = run(command, self.path, "--max-members", "101", *extra)
                self.assertEqual((taken.returncode, taken.stderr), (0, ""), command)
                # One below, the message has the limit given.
                below = run(command, self.path, "--max-members=100", *extra)
                self.assertEqual(below.returncode, expected[0])
        with open(out, encoding="utf-8") as f:
            self.assertIn(OVER, f.read())

    def test_the_results_document_is_the_modules_and_the_modules_limit_stands(self):
        document = os.path.join(self.folder.name, "results.json")
        analysed = run("analyse", self.path, "--max-members", "1000", "-o", document)
        self.assertEqual(analysed.returncode, 0, analysed.stderr)
        with open(document, encoding="utf-8") as f:
            written = f.read()
        self.assertEqual(written, velk_tools.analyse(self.text, max_members=101))
        # The same engine: a model within the module's limit gives the same document.
        small = json.dumps(cantilever(100))
        self.assertEqual(velk_tools.analyse(small), velk_calculations.calculate_from_json(small))
        # The tip deflection of the cantilever, P L^3 / (3 E I) with I = i_z
        # of the section about its bending axis (bending in the X-Z plane
        # engages i_y or i_z by the local axes; either way a closed form).
        tip = json.loads(written)["results"]["loadcases"]["Tip"]["displacement_nodes"]["102"]["dz"]
        candidates = [-1000.0 * 10.0**3 / (3 * 2.1e11 * i) for i in (1.336e-5, 3.692e-5)]
        self.assertTrue(any(abs(tip - c) <= 1e-6 * abs(c) for c in candidates), (tip, candidates))
        with self.assertRaises(RuntimeError) as raised:
            velk_calculations.calculate_from_json(self.text)
        self.assertEqual(str(raised.exception), MODULE)

    def test_every_velk_tools_function_takes_max_members(self):
        calls = {
            "analyse": lambda **k: velk_tools.analyse(self.text, **k),
            "member_diagrams": lambda **k: velk_tools.member_diagrams(self.text, 3, **k),
            "envelopes": lambda **k: velk_tools.envelopes(self.text, stations=3, **k),
            "buckling_analysis": lambda **k: velk_tools.buckling_analysis(self.text, 1, **k),
            "modal_analysis": lambda **k: velk_tools.modal_analysis(self.text, 2, **k),
        }
        for name, call in calls.items():
            with self.subTest(function=name):
                with self.assertRaises(RuntimeError) as raised:
                    call()
                self.assertEqual(str(raised.exception), OVER_TOOLS)
                self.assertIsInstance(call(max_members=101), str)
                for value in (0, -1, 1000001, 2**62):
                    with self.assertRaises(RuntimeError) as raised:
                        call(max_members=value)
                    self.assertEqual(str(raised.exception),
                                     f"max_members must be a whole number from 1 to 1000000, not {value}")
                with self.assertRaises(TypeError):
                    call(max_members="101")
                with self.assertRaises(OverflowError):
                    call(max_members=2**80)
        findings = json.loads(velk_tools.check_model(self.text))
        self.assertEqual(findings, [{"severity": "error", "message": OVER_TOOLS, "where": "model"}])
        self.assertEqual(json.loads(velk_tools.check_model(self.text, max_members=101)), [])
        self.assertIn(OVER_TOOLS, velk_tools.report_html(self.text))
        self.assertNotIn(OVER_TOOLS, velk_tools.report_html(self.text, max_members=101))
        # The keyword is a keyword only.
        with self.assertRaises(TypeError):
            velk_tools.check_model(self.text, 101)


if __name__ == "__main__":
    unittest.main()
