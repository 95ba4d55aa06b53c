"""The command line `velk` and the module `velk_tools`: closed forms through
both, the shapes of their outputs, exit statuses, and hostile files."""

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
EXAMPLE = os.path.join(os.environ["VELK_EXAMPLES_DIR"], "portal_frame.json")
COMPONENTS = ["N", "Vy", "Vz", "T", "My", "Mz", "ux", "uy", "uz", "rx"]

E_KN_PER_M2 = 210000.0e3  # 210000 MPa
I_Z = 3.692e-05


def run(*args, user=None, program=None):
    kwargs = {}
    if user is not None:
        kwargs["user"] = user
    return subprocess.run([program or VELK, *args], capture_output=True, text=True, timeout=120, **kwargs)


def example():
    with open(EXAMPLE, encoding="utf-8") as f:
        return json.load(f)


def support(sid, held, turning):
    def conditions(axes):
        return {a: {"condition_type": "Fixed" if a in axes else "Free", "stiffness": None} for a in "XYZ"}
    return {"id": sid, "classification": None, "displacement_conditions": conditions(held),
            "rotation_conditions": conditions(turning)}


def beam_model(length=6.0, w=12.0):
    """A simply supported beam along X (pinned and held against twist at the
    start, a roller at the end) under a uniform downward load, in m and kN:
    an HEA 200 (I_Z) of steel (E_KN_PER_M2)."""
    beam = mb.member(1, mb.node(1, 0.0, nodal_support=1), mb.node(2, length, nodal_support=2), 1,
                     classification="beam")
    return mb.document(
        [mb.member_set(1, [beam])], [mb.material(1, E_KN_PER_M2 / 1e3, 81000.0, "S355", 7850.0, 355.0)],
        [mb.section(1, 1, 0.005383, 1.336e-05, I_Z, 2.1e-07, "HEA200", h=0.19, b=0.2)],
        [support(1, "XYZ", "X"), support(2, "YZ", "")],
        [mb.load_case(1, "Uniform", distributed_loads=[mb.distributed_load(1, 1, w, [0.0, -1.0, 0.0])])],
        settings=mb.settings(mb.analysis_options(max_iterations=20), mb.general_info("Simply supported beam"),
                             mb.unit_settings(lengthUnit="m", forceUnit="kN", pressureUnit="MPa")))


def beam_model_in_millimetres():
    """The beam of beam_model() as a document in mm and kN: 6000 mm, 0.012 kN/mm."""
    model = beam_model()
    model["settings"]["unit_settings"]["lengthUnit"] = "mm"
    for member in model["member_sets"][0]["members"]:
        member["end_node"]["X"] = 6000.0
    model["load_cases"][0]["distributed_loads"][0].update(magnitude=0.012, end_magnitude=0.012)
    model["sections"] = [dict(s, area=s["area"] * 1e6, i_y=s["i_y"] * 1e12, i_z=s["i_z"] * 1e12,
                              j=s["j"] * 1e12) for s in model["sections"]]
    return model


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


class ClosedForms(Workspace):
    """wL^2/8 at L/2 and 5wL^4/384EI, through the command line and the module."""

    def check(self, diagrams, length_unit="m", scale_length=1.0):
        self.assertEqual(diagrams["length_unit"], length_unit)
        self.assertEqual(diagrams["force_unit"], "kN")
        self.assertEqual(diagrams["loadcombinations"], {})
        m = diagrams["loadcases"]["Uniform"]["1"]
        length, w = 6.0, 12.0
        self.assertAlmostEqual(m["length"], length * scale_length, places=9)
        mz = m["extremes"]["Mz"]
        self.assertAlmostEqual(mz["max"] / scale_length, w * length ** 2 / 8, delta=1e-9)
        self.assertAlmostEqual(mz["max_at"] / scale_length, length / 2, delta=1e-9)
        uy = m["extremes"]["uy"]
        self.assertAlmostEqual(uy["min"] / scale_length, -5 * w * length ** 4 / (384 * E_KN_PER_M2 * I_Z),
                               delta=1e-12)
        self.assertEqual(m["x"][5] / scale_length, length / 2)
        self.assertAlmostEqual(m["Mz"][5], mz["max"], delta=1e-9 * scale_length)
        self.assertEqual(sorted(m["extremes"]), sorted(COMPONENTS))
        for component in COMPONENTS:
            self.assertEqual(len(m[component]), 11)

    def test_command_line(self):
        path = self.write("beam.json", json.dumps(beam_model()))
        result = run("diagrams", path)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.check(json.loads(result.stdout))

    def test_module(self):
        self.check(json.loads(velk_tools.member_diagrams(json.dumps(beam_model()))))

    def test_fixed_fixed_and_propped_through_both(self):
        w, length, ei = 12.0, 6.0, E_KN_PER_M2 * I_Z
        clamp = support(3, "XYZ", "XYZ")
        for start, end, checks in (
                (3, 3, [("Mz", "min", -w * length ** 2 / 12, 0.0), ("Mz", "max", w * length ** 2 / 24, 3.0),
                        ("uy", "min", -w * length ** 4 / (384 * ei), 3.0)]),
                (1, 3, [("Mz", "max", 9 * w * length ** 2 / 128, 3 * length / 8),
                        ("Mz", "min", -w * length ** 2 / 8, length)])):
            model = beam_model()
            model["nodal_supports"].append(clamp)
            member = model["member_sets"][0]["members"][0]
            member["start_node"]["nodal_support"] = start
            member["end_node"]["nodal_support"] = end
            text = json.dumps(model)
            path = self.write("beam.json", text)
            result = run("diagrams", path)
            self.assertEqual(result.returncode, 0, result.stderr)
            for diagrams in (json.loads(result.stdout), json.loads(velk_tools.member_diagrams(text))):
                extremes = diagrams["loadcases"]["Uniform"]["1"]["extremes"]
                for component, kind, value, at in checks:
                    self.assertAlmostEqual(extremes[component][kind], value, delta=1e-9 * abs(value))
                    self.assertAlmostEqual(extremes[component][kind + "_at"], at, delta=1e-9)

    def test_results_document_in_millimetres(self):
        # The analysed document of a mm model keeps its geometry in metres
        # and its results in mm: the diagrams come out in mm.
        model = beam_model_in_millimetres()
        document = velk_calculations.calculate_from_json(json.dumps(model))
        for text in (json.dumps(model), document):
            diagrams = json.loads(velk_tools.member_diagrams(text))
            self.assertEqual(diagrams["length_unit"], "mm")
            m = diagrams["loadcases"]["Uniform"]["1"]
            self.assertAlmostEqual(m["extremes"]["Mz"]["max"], 12.0 * 36 / 8 * 1e3, delta=1e-6)
            self.assertAlmostEqual(m["extremes"]["Mz"]["max_at"], 3000.0, delta=1e-6)
            self.assertAlmostEqual(m["extremes"]["uy"]["min"],
                                   -5 * 12.0 * 6.0 ** 4 / (384 * E_KN_PER_M2 * I_Z) * 1e3, delta=1e-9)


class Analyse(Workspace):
    def test_summary_and_document(self):
        out = self.write("out.json", "")
        result = run("analyse", EXAMPLE, "-o", out)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, "")
        text = result.stdout
        self.assertTrue(text.startswith("Units: length m, force kN, moment kN·m\n"))
        for header in ('Load case "Dead load" (id 1)', 'Load case "Wind X" (id 2)',
                       'Load combination "ULS dead + wind" (id 1)'):
            self.assertIn(header, text)
        self.assertEqual(text.count("equilibrium residual: force "), 3)
        for line in text.splitlines():
            if "equilibrium residual" in line:
                force = float(line.split("force ")[1].split(" ")[0])
                self.assertLess(force, 1e-9)
        self.assertIn("governing member by span moment: member 5, Mz 31.0008 kN·m at x = 3.94593 m", text)
        with open(out, encoding="utf-8") as f:
            self.assertEqual(f.read(), velk_calculations.calculate_from_file(EXAMPLE))

    def test_summary_only_without_output(self):
        result = run("analyse", EXAMPLE)
        self.assertEqual(result.returncode, 0)
        self.assertNotIn('"member_sets"', result.stdout)

    def test_unwritable_output(self):
        result = run("analyse", EXAMPLE, "-o", self.dir)
        self.assertEqual(result.returncode, 2)
        self.assertEqual(result.stderr, f"velk: cannot write '{self.dir}': Is a directory\n")


class Check(Workspace):
    def test_sound_model(self):
        result = run("check", EXAMPLE)
        self.assertEqual((result.returncode, result.stdout), (0, "No problems found.\n"))

    def test_findings_text_and_json(self):
        model = example()
        model["member_sets"][0]["members"][0]["section"] = 9
        model["load_combinations"][0]["load_cases_factors"]["7"] = 1.0
        path = self.write("broken.json", json.dumps(model))
        result = run("check", path)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stdout,
                         "error: member 1: Member 1 names section 9, which the model does not have\n"
                         'error: load combination 1 "ULS dead + wind": Load combination 1 names load case 7, '
                         "which the model does not have\n")
        result = run("check", "--json", path)
        self.assertEqual(result.returncode, 1)
        findings = json.loads(result.stdout)
        self.assertEqual(findings, json.loads(velk_tools.check_model(json.dumps(model))))
        self.assertEqual(findings[0], {"severity": "error", "where": "member 1",
                                       "message": "Member 1 names section 9, which the model does not have"})

    def test_mechanisms_of_an_unsupported_frame(self):
        # Nothing holds the frame: its six rigid-body motions are mechanisms.
        model = example()
        for s in model["nodal_supports"]:
            for conditions in (s["displacement_conditions"], s["rotation_conditions"]):
                for condition in conditions.values():
                    condition["condition_type"] = "Free"
        result = run("check", self.write("free.json", json.dumps(model)))
        self.assertEqual(result.returncode, 1)
        lines = result.stdout.splitlines()
        self.assertEqual(len(lines), 6)
        for line in lines:
            self.assertRegex(line, r"^error: node (\d+): Mechanism: node \1 (moves along|turns about) "
                                   r"\(-?\d\.\d{3}, -?\d\.\d{3}, -?\d\.\d{3}\) without resistance$")

    def test_reader_error_has_line_and_column(self):
        path = self.write("bad.json", '{\n  "member_sets": [1,\n')
        result = run("check", "--json", path)
        self.assertEqual(result.returncode, 2)
        findings = json.loads(result.stdout)
        self.assertEqual(len(findings), 1)
        self.assertRegex(findings[0]["where"], r"^line 2, column \d+$")
        self.assertEqual(len(result.stderr.splitlines()), 1)


class Diagrams(Workspace):
    def test_member_order_and_csv(self):
        result = run("diagrams", EXAMPLE, "--stations", "3")
        self.assertEqual(result.returncode, 0, result.stderr)
        diagrams = json.loads(result.stdout)
        self.assertEqual(list(diagrams["loadcases"]), ["Dead load", "Wind X"])
        self.assertEqual(list(diagrams["loadcombinations"]), ["ULS dead + wind"])
        self.assertEqual(list(diagrams["loadcases"]["Dead load"]), [str(i) for i in range(1, 11)])
        self.assertEqual(len(diagrams["loadcases"]["Dead load"]["3"]["x"]), 3)

        result = run("diagrams", EXAMPLE, "--stations=4", "--csv")
        self.assertEqual(result.returncode, 0, result.stderr)
        rows = list(csv.reader(io.StringIO(result.stdout)))
        self.assertEqual(rows[0], ["kind", "case", "member", "station", "x"] + COMPONENTS)
        self.assertEqual(len(rows), 1 + 3 * 10 * 4)
        first = diagrams["loadcases"]["Dead load"]["1"]
        self.assertEqual(rows[1][:4], ["loadcase", "Dead load", "1", "0"])
        self.assertEqual(float(rows[1][5 + COMPONENTS.index("N")]), first["N"][0])

    def test_module_matches_command_line(self):
        result = run("diagrams", EXAMPLE, "--stations", "5")
        with open(EXAMPLE, encoding="utf-8") as f:
            self.assertEqual(json.loads(result.stdout),
                             json.loads(velk_tools.member_diagrams(f.read(), stations=5)))

    def test_bad_stations(self):
        for value in ("1", "0", "-3", "abc", "2.5", ""):
            result = run("diagrams", EXAMPLE, "--stations", value)
            self.assertEqual(result.returncode, 2, value)
            self.assertEqual(result.stderr,
                             f"velk: --stations must be a whole number from 2 to 100000, not '{value}'\n")
        with self.assertRaisesRegex(RuntimeError, "^stations must be at least 2, not 1$"):
            velk_tools.member_diagrams(json.dumps(beam_model()), stations=1)
        with self.assertRaisesRegex(RuntimeError, "^stations must be at most 100000, not 100001$"):
            velk_tools.member_diagrams(json.dumps(beam_model()), stations=100001)

    def test_module_errors(self):
        with self.assertRaisesRegex(RuntimeError, "^Bad JSON input: "):
            velk_tools.member_diagrams("{")
        # Every function takes the document as str, as velk_calculations does:
        # bytes are refused alike, whatever they hold.
        for function in (velk_tools.member_diagrams, velk_tools.check_model, velk_tools.report_html):
            with self.assertRaises(TypeError) as raised:
                function(json.dumps(beam_model()).encode())
            self.assertEqual(str(raised.exception), f"{function.__name__}() argument 1 must be str, not bytes")
        model = beam_model()
        model["nodal_supports"] = [support(1, "", ""), support(2, "", "")]
        with self.assertRaises(RuntimeError):
            velk_tools.member_diagrams(json.dumps(model))


class Usage(Workspace):
    def test_help(self):
        for args in (["--help"], ["analyse", "--help"], ["check", "-h"], ["diagrams", "--help"]):
            result = run(*args)
            self.assertEqual(result.returncode, 0, args)
            self.assertTrue(result.stdout.startswith("Usage: velk"), args)

    def test_usage_errors(self):
        cases = [
            ([], None),
            (["frobnicate", EXAMPLE], "velk: unknown command 'frobnicate' (see 'velk --help')\n"),
            (["analyse", "--fast", EXAMPLE],
             "velk: unknown option '--fast' for 'velk analyse' (see 'velk analyse --help')\n"),
            (["check"], "velk: 'velk check' needs a file (see 'velk check --help')\n"),
            (["diagrams", EXAMPLE, EXAMPLE], f"velk: 'velk diagrams' takes one file, not also '{EXAMPLE}'\n"),
            (["analyse", EXAMPLE, "-o"], "velk: option '-o' of 'velk analyse' needs a value\n"),
        ]
        for args, message in cases:
            result = run(*args)
            self.assertEqual(result.returncode, 2, args)
            if message is not None:
                self.assertEqual(result.stderr, message)


class HostileFiles(Workspace):
    """Every command ends with status 2 and one line on standard error."""

    COMMANDS = (["analyse"], ["check"], ["diagrams"])

    def expect_failure(self, path, reason_pattern, user=None, program=None):
        for command in self.COMMANDS:
            result = run(*command, path, user=user, program=program)
            self.assertEqual(result.returncode, 2, (command, result.stderr))
            self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)
            self.assertTrue(result.stderr.startswith("velk: "), result.stderr)
            self.assertRegex(result.stderr, reason_pattern)
            self.assertNotIn("Traceback", result.stderr)

    def test_truncated(self):
        with open(EXAMPLE, encoding="utf-8") as f:
            text = f.read()
        self.expect_failure(self.write("truncated.json", text[: len(text) // 2]), r"line \d+")

    def test_not_json(self):
        self.expect_failure(self.write("text.json", "this is not a model\n"), r"line 1")
        self.expect_failure(self.write("binary.json", b"\xff\xfe\x00\x01", "wb"), "not contain valid UTF-8")
        self.expect_failure(self.write("array.json", "[1, 2, 3]"), r"line 1")

    def test_huge(self):
        path = os.path.join(self.dir, "huge.json")
        with open(path, "wb") as f:
            f.truncate((64 << 20) + 1)  # sparse: takes no room on the disk
        self.expect_failure(path, r"^velk: Cannot read '.*huge\.json': the file has 67108865 bytes, more than "
                                  r"the 67108864 a model may have\n$")

    def test_directory_and_missing(self):
        self.expect_failure(self.dir, r"^velk: Cannot read '.*': it is a directory\n$")
        self.expect_failure(os.path.join(self.dir, "absent.json"),
                            r"^velk: Cannot read '.*absent\.json': No such file or directory\n$")
        self.expect_failure("/dev/zero", r"it is not a regular file")

    def test_no_permission(self):
        with open(EXAMPLE, encoding="utf-8") as f:
            path = self.write("secret.json", f.read())
        os.chmod(path, 0)
        user = program = None
        if os.geteuid() == 0:
            # Root reads every file whatever its mode: run velk as an
            # unprivileged user instead. That user may not reach the build
            # tree (a clone under /root, or in a folder of mode 700), so it
            # runs a copy of velk from the workspace, which it can reach.
            import pwd
            try:
                user = pwd.getpwnam("nobody").pw_uid
            except KeyError:
                self.skipTest("running as root and there is no user 'nobody' to drop to")
            program = os.path.join(self.dir, "velk")
            shutil.copy(VELK, program)
            os.chmod(program, 0o755)
            try:
                probe = subprocess.run([program, "--help"], capture_output=True, user=user, cwd=self.dir,
                                       timeout=120)
            except OSError as error:  # e.g. a temporary folder mounted noexec
                self.skipTest(f"velk cannot be run as 'nobody' from {self.dir}: {error}")
            self.assertEqual(probe.returncode, 0, probe.stderr)
        self.expect_failure(path, r"^velk: Cannot read '.*secret\.json': Permission denied\n$", user=user,
                            program=program)


if __name__ == "__main__":
    unittest.main()
