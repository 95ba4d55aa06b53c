"""The module boundary of velk_calculations: arguments, results and errors."""

import inspect
import json
import os
import subprocess
import sys
import tempfile
import textwrap
import unittest

import model_builder as mb
import velk_calculations

EXAMPLES = os.environ.get(
    "VELK_EXAMPLES_DIR",
    os.path.join(os.path.dirname(__file__), "..", "..", "examples"),
)
FUNCTIONS = {
    "calculate_from_json": "json_data",
    "calculate_from_file": "path",
    "load_velk_from_file": "path",
}


def node(node_id, x, support=None):
    return mb.node(node_id, x, nodal_support=support)


def model(members, **extra):
    """A small model document as a dict: a row of members along X, in base
    units, without the optional records."""
    doc = mb.document([mb.member_set(1, members)], [mb.material(1, 2.1e11, 8.1e10, "S355", 7850.0, 3.55e8)],
                      [mb.section(1, 1, 1e-3, 1e-5, 1e-5, 1e-6, "S")],
                      settings=mb.settings(general_info=mb.general_info("p", "a")),
                      results=mb.ABSENT, memberhinges=mb.ABSENT, shape_paths=mb.ABSENT)
    doc.update(extra)
    return doc


def member(member_id, start, end, member_type="Normal"):
    return mb.member(member_id, start, end, 1, member_type, classification="beam")


class TempDir(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)

    def write(self, name, data):
        path = os.path.join(self.folder.name, name)
        with open(path, "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode("utf-8"))
        return path


class ModuleSurfaceTest(unittest.TestCase):
    def test_exports_exactly_the_three_functions(self):
        public = [name for name in dir(velk_calculations) if not name.startswith("__")]
        self.assertEqual(sorted(public), sorted(FUNCTIONS))
        self.assertFalse(hasattr(velk_calculations, "EngineFault"))

    def test_one_stable_abi_build_for_every_interpreter(self):
        self.assertEqual(os.path.basename(velk_calculations.__file__), "velk_calculations.abi3.so")

    def test_signatures_are_the_doc_texts(self):
        for name, parameter in FUNCTIONS.items():
            function = getattr(velk_calculations, name)
            self.assertEqual(str(inspect.signature(function)), f"({parameter})")
            self.assertEqual(function.__text_signature__, f"({parameter})")
            self.assertIsNone(function.__doc__)

    def test_arguments_that_are_not_str_raise_type_error_naming_the_parameter(self):
        for name, parameter in FUNCTIONS.items():
            function = getattr(velk_calculations, name)
            for value, type_name in ((5, "int"), (None, "NoneType"), (b"{}", "bytes")):
                with self.assertRaises(TypeError) as raised:
                    function(value)
                self.assertEqual(
                    str(raised.exception),
                    f"argument '{parameter}': '{type_name}' object cannot be converted to 'PyString'",
                )
                with self.assertRaises(TypeError):
                    function(**{parameter: value})

    def test_wrong_arity_and_keywords(self):
        f = velk_calculations.calculate_from_json
        cases = [
            ((), {}, "calculate_from_json() missing 1 required positional argument: 'json_data'"),
            (("{}", "{}"), {}, "calculate_from_json() takes 1 positional arguments but 2 were given"),
            ((), {"path": "{}"}, "calculate_from_json() got an unexpected keyword argument 'path'"),
            (("{}",), {"json_data": "{}"}, "calculate_from_json() got multiple values for argument 'json_data'"),
        ]
        for args, kwargs, message in cases:
            with self.assertRaises(TypeError) as raised:
                f(*args, **kwargs)
            self.assertEqual(str(raised.exception), message)

        with self.assertRaises(TypeError) as raised:
            velk_calculations.load_velk_from_file()
        self.assertEqual(str(raised.exception), "load_velk_from_file() missing 1 required positional argument: 'path'")


class MessagesTest(TempDir):
    def test_bad_json_input(self):
        with self.assertRaises(RuntimeError) as raised:
            velk_calculations.calculate_from_json(json_data="{}")
        self.assertEqual(raised.exception.args, ("Bad JSON input: missing field `member_sets` at line 1 column 2",))

        # Nesting is limited to 128 levels, even inside a skipped key.
        with self.assertRaises(RuntimeError) as raised:
            velk_calculations.calculate_from_json('{"x":' + "[" * 100_000)
        self.assertEqual(str(raised.exception), "Bad JSON input: recursion limit exceeded at line 1 column 133")
        with self.assertRaises(RuntimeError) as raised:
            velk_calculations.calculate_from_json('{"x":' + "[" * 127 + "]" * 127 + "}")
        self.assertEqual(str(raised.exception), "Bad JSON input: missing field `member_sets` at line 1 column 260")

    def test_missing_files(self):
        missing = os.path.join(self.folder.name, "missing.json")
        with self.assertRaises(RuntimeError) as raised:
            velk_calculations.load_velk_from_file(missing)
        self.assertEqual(raised.exception.args, ("No such file or directory",))

        with self.assertRaises(RuntimeError) as raised:
            velk_calculations.calculate_from_file(path=missing)
        self.assertEqual(
            raised.exception.args, (f"Failed to read JSON file '{missing}': No such file or directory",)
        )

    def test_unreadable_contents(self):
        latin1 = self.write("latin1.json", b'{"name": "Tr\xe4ger"}')
        with self.assertRaises(RuntimeError) as raised:
            velk_calculations.calculate_from_file(latin1)
        self.assertEqual(str(raised.exception), f"Failed to read JSON file '{latin1}': stream did not contain valid UTF-8")
        with self.assertRaises(RuntimeError) as raised:
            velk_calculations.load_velk_from_file(latin1)
        self.assertEqual(str(raised.exception), "stream did not contain valid UTF-8")

        empty_object = self.write("empty.json", "{}")
        with self.assertRaises(RuntimeError) as raised:
            velk_calculations.load_velk_from_file(empty_object)
        self.assertEqual(str(raised.exception), "missing field `member_sets` at line 1 column 2")

    def test_member_limit(self):
        members = [member(i, node(i, float(i - 1)), node(i + 1, float(i))) for i in range(1, 102)]
        with self.assertRaises(RuntimeError) as raised:
            velk_calculations.calculate_from_json(json.dumps(model(members)))
        self.assertEqual(str(raised.exception), "Number of members (101) exceeds allowed maximum of 100")

        answer = json.loads(velk_calculations.calculate_from_json(json.dumps(model(members[:100]))))
        self.assertIsNone(answer["results"])
        self.assertEqual(len(answer["member_sets"][0]["members"]), 100)

    def test_internal_fault_is_not_an_exception(self):
        # A member whose ends coincide has no direction: the analysis stops
        # with a fault that ordinary `except Exception` handlers do not catch.
        doc = model(
            [member(1, node(1, 0.0, 1), node(2, 0.0))],
            nodal_supports=[mb.support(1, {}, {})],
            load_cases=[mb.load_case(1, "LC1")],
        )
        with self.assertRaises(BaseException) as raised:
            velk_calculations.calculate_from_json(json.dumps(doc))
        fault = raised.exception
        self.assertNotIsInstance(fault, Exception)
        self.assertEqual(type(fault).__name__, "EngineFault")
        self.assertEqual(type(fault).__module__, "velk_calculations")
        self.assertEqual(fault.args, ("Start and end nodes are the same or too close to define a direction.",))
        # The module goes on working after a fault.
        with self.assertRaises(RuntimeError):
            velk_calculations.calculate_from_json("{}")


class DocumentTest(TempDir):
    def test_example_round_trips_after_one_pass(self):
        example = os.path.join(EXAMPLES, "portal_frame.json")
        first = velk_calculations.load_velk_from_file(path=example)
        second = velk_calculations.load_velk_from_file(self.write("once.json", first))
        self.assertEqual(second, first)

        with open(example, encoding="utf-8") as f:
            original = json.load(f)
        written = json.loads(first)
        self.assertIsNone(written.pop("results"))
        self.assertIsNone(written.pop("shape_paths"))
        self.assertEqual(written, original)

    def test_extra_keys_are_dropped_and_absent_optionals_written_as_null(self):
        start = node(1, 0.0)
        start["comment"] = [1, {"deep": [None]}]
        del start["nodal_support"]
        doc = model([member(1, start, node(2, 2.0))], remark="kept nowhere")
        path = self.write("model.json", json.dumps(doc, indent=1))

        written = json.loads(velk_calculations.load_velk_from_file(path))
        self.assertNotIn("remark", written)
        written_start = written["member_sets"][0]["members"][0]["start_node"]
        self.assertEqual(written_start, {"id": 1, "X": 0.0, "Y": 0.0, "Z": 0.0, "nodal_support": None})
        for key in ("results", "memberhinges", "shape_paths"):
            self.assertIn(key, written)
            self.assertIsNone(written[key])
        self.assertEqual(
            written["settings"]["unit_settings"],
            {"system": "metric", "lengthUnit": "m", "forceUnit": "N", "densityUnit": "kg/m3", "pressureUnit": "Pa"},
        )

    def test_analysis_normalises_units_and_keeps_them_named(self):
        doc = model([member(1, node(1, 0.0), node(2, 2500.0))])
        doc["settings"]["unit_settings"] = {"lengthUnit": "mm", "forceUnit": "kN"}
        text = json.dumps(doc)
        analysed = json.loads(velk_calculations.calculate_from_json(text))
        self.assertEqual(analysed["member_sets"][0]["members"][0]["end_node"]["X"], 2.5)
        self.assertEqual(analysed["settings"]["unit_settings"]["lengthUnit"], "mm")
        self.assertEqual(velk_calculations.calculate_from_file(self.write("mm.json", text)),
                         velk_calculations.calculate_from_json(text))


class SecondOrderTest(unittest.TestCase):
    def test_nonlinear_order_amplifies_the_sway_of_the_example(self):
        with open(os.path.join(EXAMPLES, "portal_frame.json"), encoding="utf-8") as f:
            doc = json.load(f)
        linear = json.loads(velk_calculations.calculate_from_json(json.dumps(doc)))
        doc["settings"]["analysis_options"]["order"] = "NONLINEAR"
        second = json.loads(velk_calculations.calculate_from_json(json.dumps(doc)))
        for group in ("loadcases", "loadcombinations"):
            self.assertEqual(second["results"][group].keys(), linear["results"][group].keys())
        # Gravity on the swayed columns adds to the sway of the combination.
        sway = [r["results"]["loadcombinations"]["ULS dead + wind"]["displacement_nodes"]["2"]["dx"]
                for r in (linear, second)]
        self.assertGreater(sway[1], 1.01 * sway[0])
        self.assertLess(sway[1], 1.2 * sway[0])

        doc["settings"]["analysis_options"]["max_iterations"] = 1
        with self.assertRaises(RuntimeError) as raised:
            velk_calculations.calculate_from_json(json.dumps(doc))
        self.assertEqual(raised.exception.args,
                         ("LC 1 second-order error: First-order predictor did not converge within 1 iterations",))


class InitialisationTest(unittest.TestCase):
    def test_second_initialisation_fails(self):
        script = textwrap.dedent(
            """
            import sys
            import velk_calculations
            del sys.modules["velk_calculations"]
            try:
                import velk_calculations
            except ImportError as error:
                print(type(error).__name__, error)
            else:
                print("imported twice")
            """
        )
        run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, env=os.environ.copy())
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(
            run.stdout.strip(), "ImportError velk_calculations may only be initialized once per interpreter process"
        )


if __name__ == "__main__":
    unittest.main()
