"""`velk modes` and `velk_tools.modal_analysis`: a tip mass on a massless
cantilever and a finely divided beam against their closed forms, the keys of
the JSON, the table, exit statuses and hostile options."""

import json
import math
import os
import re
import subprocess
import tempfile
import unittest

import model_builder as mb
import velk_calculations
import velk_tools

VELK = os.environ["VELK_BIN"]
EXAMPLES = os.environ["VELK_EXAMPLES_DIR"]

E = 210000.0  # MPa
I_WEAK = 1.0e-5  # m4, about local z
I_STRONG = 4.0e-5  # m4, about local y
AREA = 0.01  # m2
G = 9.80665


def cantilever(parts=10, length=5.0, density=7850.0, tip_mass=None):
    """A cantilever along X in m and kN, fixed at node 1, divided into `parts`
    members; with `tip_mass` (kg) as the weight of load case "Tip" at its end."""
    nodes = [mb.node(i + 1, length * i / parts, nodal_support=1 if i == 0 else None) for i in range(parts + 1)]
    members = [mb.member(i + 1, nodes[i], nodes[i + 1], 1) for i in range(parts)]
    cases = []
    if tip_mass is not None:
        cases = [mb.load_case(1, "Tip", nodal_loads=[mb.nodal_load(1, parts + 1, 1, tip_mass * G / 1000.0,
                                                                   [0.0, 0.0, -1.0])])]
    return mb.document(
        [mb.member_set(1, members)], [mb.material(1, E, 81000.0, "steel", density, 355.0)],
        [mb.section(1, 1, AREA, I_STRONG, I_WEAK, 2e-5, "box")], [mb.support(1)], cases,
        settings=mb.settings(unit_settings=mb.unit_settings(lengthUnit="m", forceUnit="kN", pressureUnit="MPa")))


def velk(*args):
    return subprocess.run([VELK, *args], capture_output=True, text=True, timeout=120)


class ModesCommand(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp()

    def tearDown(self):
        for name in os.listdir(self.dir):
            os.remove(os.path.join(self.dir, name))
        os.rmdir(self.dir)

    def model_file(self, model, name="model.json"):
        path = os.path.join(self.dir, name)
        with open(path, "w", encoding="utf-8") as f:
            json.dump(model, f)
        return path

    def test_tip_mass_through_both_front_ends(self):
        m, length = 800.0, 5.0
        model = cantilever(parts=3, length=length, density=0.0, tip_mass=m)
        expected = math.sqrt(3 * E * 1e6 * I_WEAK / (m * length ** 3))
        done = velk("modes", self.model_file(model), "--mass-case", "Tip", "--json")
        self.assertEqual(done.returncode, 0, done.stderr)
        from_cli = json.loads(done.stdout)
        from_tools = json.loads(velk_tools.modal_analysis(json.dumps(model), mass_case="Tip"))
        self.assertEqual(from_cli, from_tools)
        self.assertEqual(list(from_cli), ["length_unit", "mass_unit", "mass", "total_mass", "modes"])
        self.assertEqual((from_cli["length_unit"], from_cli["mass_unit"], from_cli["mass"]), ("m", "kg", "consistent"))
        self.assertEqual(list(from_cli["total_mass"]), ["X", "Y", "Z"])
        for d in "XYZ":
            self.assertAlmostEqual(from_cli["total_mass"][d], m, delta=1e-9 * m)
        # Only the tip's translations carry mass: three modes, not six.
        modes = from_cli["modes"]
        self.assertEqual(len(modes), 3)
        first = modes[0]
        self.assertEqual(list(first), ["number", "omega", "frequency", "period", "shape", "participation",
                                       "effective_mass", "effective_mass_ratio", "cumulative_mass_ratio"])
        self.assertEqual(first["number"], 1)
        self.assertAlmostEqual(first["omega"] / expected, 1.0, delta=1e-9)
        self.assertAlmostEqual(first["frequency"], expected / (2 * math.pi), delta=1e-9 * expected)
        self.assertAlmostEqual(first["period"] * first["frequency"], 1.0, delta=1e-12)
        self.assertEqual(list(first["shape"]), ["1", "2", "3", "4"])
        self.assertEqual(list(first["shape"]["4"]), ["dx", "dy", "dz", "rx", "ry", "rz"])
        tip = first["shape"]["4"]
        self.assertAlmostEqual(max(abs(tip[k]) for k in ("dx", "dy", "dz")), 1.0, delta=1e-12)
        self.assertEqual(max((tip[k] for k in ("dx", "dy", "dz")), key=abs), 1.0)
        for key in ("participation", "effective_mass", "effective_mass_ratio", "cumulative_mass_ratio"):
            self.assertEqual(list(first[key]), ["X", "Y", "Z"])
        self.assertAlmostEqual(sum(first["effective_mass_ratio"].values()), 1.0, delta=1e-9)
        self.assertAlmostEqual(modes[-1]["cumulative_mass_ratio"]["X"], 1.0, delta=1e-9)

    def test_divided_cantilever_and_the_table(self):
        model = cantilever(parts=20)
        path = self.model_file(model)
        out = json.loads(velk("modes", path, "--json", "--modes", "3").stdout)
        wave = math.sqrt(E * 1e6 * I_WEAK / (7850.0 * AREA)) / 25.0
        self.assertAlmostEqual(out["modes"][0]["omega"] / (1.875104 ** 2 * wave), 1.0, delta=1e-5)
        lumped = json.loads(velk("modes", path, "--json", "--mass", "lumped").stdout)
        self.assertEqual(lumped["mass"], "lumped")
        self.assertEqual(len(lumped["modes"]), 6)
        self.assertLess(lumped["modes"][0]["omega"], out["modes"][0]["omega"])
        table = velk("modes", path)
        self.assertEqual(table.returncode, 0, table.stderr)
        self.assertIn("Natural modes (consistent mass), 6 found:", table.stdout)
        self.assertIn("Total mass (kg, not held by the supports):", table.stdout)
        self.assertEqual(len(table.stdout.splitlines()), 9)

    def test_every_example_gives_its_modes(self):
        for name in sorted(os.listdir(EXAMPLES)):
            if not name.endswith(".json"):
                continue
            done = velk("modes", os.path.join(EXAMPLES, name), "--json")
            self.assertEqual(done.returncode, 0, name + ": " + done.stderr)
            modes = json.loads(done.stdout)["modes"]
            self.assertEqual(len(modes), 6, name)
            omegas = [mode["omega"] for mode in modes]
            self.assertEqual(omegas, sorted(omegas), name)

    def test_a_results_document_gives_the_modes_of_its_model(self):
        # (It carries results only when it has a case to solve: the load case "Tip".)
        for units in ("m", "mm"):
            model = cantilever(parts=4, tip_mass=100.0)
            if units == "mm":
                model["settings"]["unit_settings"]["lengthUnit"] = "mm"
                for member in model["member_sets"][0]["members"]:
                    for end in ("start_node", "end_node"):
                        member[end]["X"] *= 1000.0
                model["sections"] = [dict(s, area=s["area"] * 1e6, i_y=s["i_y"] * 1e12, i_z=s["i_z"] * 1e12,
                                          j=s["j"] * 1e12) for s in model["sections"]]
            text = json.dumps(model)
            analysed = velk_calculations.calculate_from_json(text)
            first = json.loads(velk_tools.modal_analysis(text))
            again = json.loads(velk_tools.modal_analysis(analysed))
            self.assertEqual(first["length_unit"], units)
            for a, b in zip(first["modes"], again["modes"]):
                self.assertAlmostEqual(a["omega"] / b["omega"], 1.0, delta=1e-9)

    def test_hostile_options_are_one_line_and_exit_2(self):
        path = self.model_file(cantilever(parts=2))
        cases = [
            (["--modes", "0"], "velk: --modes must be a whole number from 1 to 1000, not '0'"),
            (["--modes", "1001"], "velk: --modes must be a whole number from 1 to 1000, not '1001'"),
            (["--modes", "99999999999999999999999"], None),
            (["--modes", "-3"], None),
            (["--modes", "2.5"], None),
            (["--modes", "six"], None),
            (["--mass", "heavy"], "velk: --mass must be consistent or lumped, not 'heavy'"),
            (["--mass", "lumped\nconsistent"], None),
            (["--mass", ""], None),
            (["--mass-case", "Snow"], 'velk: The mass case "Snow" names no load case of the model.'),
            (["--modes", "2", "--modes", "3"], None),
            (["--modes"], None),
            (["--unknown"], None),
        ]
        for args, message in cases:
            done = velk("modes", path, *args)
            self.assertEqual(done.returncode, 2, args)
            self.assertEqual(done.stdout, "", args)
            self.assertEqual(len(done.stderr.splitlines()), 1, (args, done.stderr))
            if message is not None:
                self.assertEqual(done.stderr.rstrip("\n"), message, args)

    def test_bad_models_and_files(self):
        massless = self.model_file(cantilever(parts=2, density=0.0), "massless.json")
        done = velk("modes", massless)
        self.assertEqual((done.returncode, done.stderr),
                         (2, "velk: The model has no mass: its materials have no density, no load case is taken "
                             "as masses, or the supports hold all of it.\n"))
        negative = cantilever(parts=2, density=-1.0)
        done = velk("modes", self.model_file(negative, "negative.json"))
        self.assertEqual((done.returncode, done.stderr),
                         (2, 'velk: Material 1 "steel" has a density of -1 kg/m3: a density must be finite and not '
                             'negative.\n'))
        loose = cantilever(parts=2)
        loose["nodal_supports"] = [mb.support(1, rotation="Free")]
        done = velk("modes", self.model_file(loose, "loose.json"))
        self.assertEqual(done.returncode, 2)
        self.assertTrue(done.stderr.startswith(
            "velk: Reduced stiffness matrix is singular or near-singular. Mechanism: node "), done.stderr)
        done = velk("modes", os.path.join(self.dir, "missing.json"))
        self.assertEqual(done.returncode, 2)
        self.assertTrue(done.stderr.startswith("velk: Cannot read"), done.stderr)
        broken = os.path.join(self.dir, "broken.json")
        with open(broken, "w", encoding="utf-8") as f:
            f.write("{")
        done = velk("modes", broken)
        self.assertEqual(done.returncode, 2)
        self.assertTrue(done.stderr.startswith("velk: Bad JSON input: "), done.stderr)

    def test_report_ends_with_the_modes(self):
        model = cantilever(parts=6)
        path = self.model_file(model)
        page_path = os.path.join(self.dir, "report.html")
        done = velk("report", path, "--modes", "5", "-o", page_path)
        self.assertEqual(done.returncode, 0, done.stderr)
        with open(page_path, encoding="utf-8") as f:
            page = f.read()
        section = page[page.index('<section class="modes" data-modes="5">'):]
        self.assertEqual(section.count("<tr>"), 6)
        pictures = re.findall(r'<svg[^>]*class="view mode"[^>]*>.*?</svg>', section, re.S)
        self.assertEqual(len(pictures), 4)
        for picture in pictures:
            self.assertEqual(len(re.findall(r'class="member base" d="[^"]*" data-member="\d+"', picture)), 6)
            self.assertEqual(len(re.findall(r'class="deformed mode-shape" d="[^"]*" data-member="\d+"', picture)), 6)
        # Without --modes the page is the one it always was.
        plain = velk("report", path)
        self.assertNotIn('class="modes"', plain.stdout)
        self.assertEqual(plain.stdout, velk("report", path).stdout)
        # A modal analysis that fails leaves its message on the page and exit status 1.
        massless = self.model_file(cantilever(parts=2, density=0.0), "massless.json")
        done = velk("report", massless, "--modes", "2", "-o", page_path)
        self.assertEqual(done.returncode, 1)
        with open(page_path, encoding="utf-8") as f:
            self.assertIn("The modes could not be found: The model has no mass", f.read())
        for bad in ("0", "x", "1001"):
            done = velk("report", path, "--modes", bad)
            self.assertEqual((done.returncode, done.stdout, len(done.stderr.splitlines())), (2, "", 1), bad)

    def test_velk_tools_arguments(self):
        text = json.dumps(cantilever(parts=2))
        self.assertEqual(len(json.loads(velk_tools.modal_analysis(text, modes=2))["modes"]), 2)
        self.assertEqual(json.loads(velk_tools.modal_analysis(json_data=text, mass="lumped"))["mass"], "lumped")
        for kwargs, message in [({"modes": 0}, "modes must be a whole number from 1 to 1000, not 0"),
                                ({"mass": "heavy"}, "mass must be 'consistent' or 'lumped', not 'heavy'"),
                                ({"mass_case": "Snow"}, 'The mass case "Snow" names no load case of the model.')]:
            with self.assertRaises(RuntimeError) as raised:
                velk_tools.modal_analysis(text, **kwargs)
            self.assertEqual(str(raised.exception), message)
        with self.assertRaises(TypeError):
            velk_tools.modal_analysis(text, modes="six")


if __name__ == "__main__":
    unittest.main()
