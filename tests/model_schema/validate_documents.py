"""Checks the JSON Schema of the model document with a real validator.

Runs under Debian's /usr/bin/python3 with python3-jsonschema; the engine is
reached through the Python 3.12 interpreter it is built for (--python, with
the module on PYTHONPATH). Checks, in order:

1. schema/velk-model.schema.json is what the schema tool writes now;
2. the schema is a valid draft 2020-12 schema;
3. every example, every JSON model under tests/ that the reader accepts and
   the documents the C++ tests build are valid, and so are the documents the
   engine writes from them (read and written back, and analysed);
4. each broken document is rejected by the schema and by the reader, with
   the reader's exact message.
"""

import argparse
import copy
import glob
import json
import os
import subprocess
import sys
import tempfile

import jsonschema

# Runs under the engine's interpreter: reads the list of jobs on stdin and
# answers, per job, the written text or the reader's message.
ENGINE_SCRIPT = r"""
import json, sys
import velk_calculations as velk
answers = []
for path, analyse in json.load(sys.stdin):
    try:
        text = velk.calculate_from_file(path) if analyse else velk.load_velk_from_file(path)
        answers.append({"text": text})
    except RuntimeError as error:
        answers.append({"error": str(error)})
    except BaseException as fault:  # the engine's fault type derives from BaseException
        answers.append({"error": type(fault).__name__ + ": " + str(fault)})
json.dump(answers, sys.stdout)
"""


def run_engine(python, jobs):
    done = subprocess.run([python, "-c", ENGINE_SCRIPT], input=json.dumps(jobs), capture_output=True,
                          text=True, check=False)
    if done.returncode != 0:
        sys.exit(f"the engine's interpreter failed:\n{done.stderr}")
    return json.loads(done.stdout)


def check_schema_is_current(source, tool):
    generated = subprocess.run([tool], capture_output=True, check=True).stdout
    with open(os.path.join(source, "schema", "velk-model.schema.json"), "rb") as committed:
        if committed.read() != generated:
            return ["schema/velk-model.schema.json differs from the generated schema: run `make schema`"]
    return []


def errors_of(validator, document):
    return sorted(validator.iter_errors(document), key=lambda error: list(error.absolute_path))


def describe(error):
    where = "/".join(str(part) for part in error.absolute_path) or "(root)"
    return f"at {where}: {error.message[:200]}"


# ---- broken documents ----
# Each is a change to a valid model, the reader's message (without its line
# and column) and what the change does; the schema must reject the result too.

def member(model):
    return model["member_sets"][0]["members"][0]


def set_path(path, value):
    def change(model):
        target = model
        for key in path[:-1]:
            target = target[key]
        target[path[-1]] = value
    return change


def delete_path(path):
    def change(model):
        target = model
        for key in path[:-1]:
            target = target[key]
        del target[path[-1]]
    return change


MEMBER = ["member_sets", 0, "members", 0]
OPTIONS = ["settings", "analysis_options"]
UNITS = ["settings", "unit_settings"]
LOAD = ["load_cases", 0, "distributed_loads", 0]
COMBINATION = ["load_combinations", 0]

BROKEN = [
    ("root without materials", delete_path(["materials"]), "missing field `materials`"),
    ("member without member_type", delete_path(MEMBER + ["member_type"]), "missing field `member_type`"),
    ("node id negative", set_path(MEMBER + ["start_node", "id"], -1),
     "invalid value: integer `-1`, expected u32"),
    ("node id beyond u32", set_path(MEMBER + ["start_node", "id"], 4294967296),
     "invalid value: integer `4294967296`, expected u32"),
    ("coordinate as text", set_path(MEMBER + ["start_node", "X"], "0"),
     "invalid type: string \"0\", expected f64"),
    ("required coordinate null", set_path(MEMBER + ["end_node", "Y"], None), "invalid type: null, expected f64"),
    ("member type in small letters", set_path(MEMBER + ["member_type"], "truss"),
     "unknown variant `truss`, expected one of `Normal`, `Truss`, `Tension`, `Compression`, `Rigid`"),
    ("member type object with a value", set_path(MEMBER + ["member_type"], {"Truss": 1}),
     "invalid type: integer `1`, expected unit"),
    ("node as an array of four", set_path(MEMBER + ["start_node"], [1, 0.0, 0.0, 0.0]),
     "invalid length 4, expected struct Node with 5 elements"),
    ("node as an array of six", set_path(MEMBER + ["start_node"], [1, 0.0, 0.0, 0.0, None, 5]),
     "trailing characters"),
    ("direction of two numbers", set_path(LOAD + ["direction"], [0.0, -1.0]),
     "invalid length 2, expected a tuple of size 3"),
    ("direction of four numbers", set_path(LOAD + ["direction"], [0.0, -1.0, 0.0, 0.0]), "trailing characters"),
    ("distributed load without end_magnitude", delete_path(LOAD + ["end_magnitude"]),
     "missing field `end_magnitude`"),
    ("factor key not a number", set_path(COMBINATION + ["load_cases_factors"], {"one": 1.0}),
     "invalid value: expected key to be a number in quotes"),
    ("factor key with a leading zero", set_path(COMBINATION + ["load_cases_factors"], {"01": 1.0}),
     "invalid number"),
    ("factor key beyond u32", set_path(COMBINATION + ["load_cases_factors"], {"4294967296": 1.0}),
     "invalid value: integer `4294967296`, expected u32"),
    ("limit state in small letters", set_path(COMBINATION + ["limit_state"], "uls"),
     "unknown variant `uls`, expected one of `SLS`, `ULS`, `FLS`, `ALS`"),
    ("length unit in capitals", set_path(UNITS + ["lengthUnit"], "MM"),
     "unknown variant `MM`, expected one of `mm`, `cm`, `m`"),
    ("order misspelt", set_path(OPTIONS + ["order"], "SECOND"),
     "unknown variant `SECOND`, expected one of `LINEAR`, `Linear`, `linear`, `NONLINEAR`, `Nonlinear`, "
     "`nonlinear`"),
    ("solve_loadcases as a number", set_path(OPTIONS + ["solve_loadcases"], 1),
     "invalid type: integer `1`, expected a boolean"),
    ("max_iterations negative", set_path(OPTIONS + ["max_iterations"], -5),
     "invalid value: integer `-5`, expected u32"),
    ("support condition misspelt",
     set_path(["nodal_supports", 0, "displacement_conditions", "X"], {"condition_type": "Pinned"}),
     "unknown variant `Pinned`, expected one of `Fixed`, `Free`, `Spring`, `PositiveOnly`, `NegativeOnly`"),
    ("support conditions as a list", set_path(["nodal_supports", 0, "rotation_conditions"], []),
     "invalid type: sequence, expected a map"),
    ("load cases as an object", set_path(["load_cases"], {}), "invalid type: map, expected a sequence"),
    ("result type as a bare string",
     set_path(["results"], {"loadcases": {"A": {"name": "A", "result_type": "Loadcase", "displacement_nodes": {},
                                                "reaction_nodes": {}, "member_results": {},
                                                "summary": {"total_displacements": 0,
                                                            "total_reaction_forces": 0,
                                                            "total_member_forces": 0}}},
                            "loadcombinations": {}}),
     "invalid type: unit variant, expected newtype variant"),
    ("displacement key not a number",
     set_path(["results"], {"loadcases": {"A": {"name": "A", "result_type": {"Loadcase": 1},
                                                "displacement_nodes": {"n1": {}}, "reaction_nodes": {},
                                                "member_results": {},
                                                "summary": {"total_displacements": 0,
                                                            "total_reaction_forces": 0,
                                                            "total_member_forces": 0}}},
                            "loadcombinations": {}}),
     "invalid value: expected key to be a number in quotes"),
    ("aggregated_ok as text",
     set_path(["results"], {"loadcases": {}, "loadcombinations": {}, "unity_checks_overview": {
         "c": {"check_id": "c", "aggregated_ok": "yes", "children": []}}}),
     "invalid type: string \"yes\", expected a boolean"),
]


def check_broken(validator, python, base, folder):
    failures = []
    jobs = []
    for index, (name, change, _) in enumerate(BROKEN):
        model = copy.deepcopy(base)
        change(model)
        path = os.path.join(folder, f"broken_{index:02d}.json")
        with open(path, "w", encoding="utf-8") as out:
            json.dump(model, out, indent=1)
        if not errors_of(validator, model):
            failures.append(f"broken document '{name}' is valid against the schema")
        jobs.append([path, False])
    for (name, _, message), answer in zip(BROKEN, run_engine(python, jobs)):
        error = answer.get("error", "")
        if error.split(" at line ")[0] != message:
            failures.append(f"broken document '{name}': the reader answered {answer.get('error', 'success')!r}, "
                            f"expected {message!r} at line and column")
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source", required=True, help="the source tree")
    parser.add_argument("--schema-tool", required=True, help="the velk_schema executable")
    parser.add_argument("--test-documents-tool", required=True, help="the write_test_documents executable")
    parser.add_argument("--python", required=True, help="the Python 3.12 the module is built for")
    args = parser.parse_args()

    failures = check_schema_is_current(args.source, args.schema_tool)
    with open(os.path.join(args.source, "schema", "velk-model.schema.json"), encoding="utf-8") as text:
        schema = json.load(text)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)

    with tempfile.TemporaryDirectory() as folder:
        built = os.path.join(folder, "test_documents")
        subprocess.run([args.test_documents_tool, built], check=True)
        inputs = sorted(glob.glob(os.path.join(args.source, "examples", "*.json")))
        inputs += sorted(glob.glob(os.path.join(args.source, "tests", "**", "*.json"), recursive=True))
        inputs += sorted(glob.glob(os.path.join(built, "*.json")))

        read_back = run_engine(args.python, [[path, False] for path in inputs])
        accepted = [path for path, answer in zip(inputs, read_back) if "text" in answer]
        analysed = run_engine(args.python, [[path, True] for path in accepted])
        checked = 0
        for path, answer in zip(inputs, read_back):
            shown = os.path.relpath(path, args.source) if path.startswith(args.source) else os.path.basename(path)
            if "error" in answer:
                print(f"  skipped {shown}: the reader rejects it ({answer['error'][:80]})")
                continue
            with open(path, encoding="utf-8") as text:
                documents = [("input", json.load(text)), ("written back", json.loads(answer["text"]))]
            result = analysed[accepted.index(path)]
            if "text" in result:
                documents.append(("analysed", json.loads(result["text"])))
            for kind, document in documents:
                checked += 1
                for error in errors_of(validator, document)[:3]:
                    failures.append(f"{shown} ({kind}) {describe(error)}")
            print(f"  valid: {shown} ({', '.join(kind for kind, _ in documents)})")

        base_path = os.path.join(args.source, "examples", "braced_steel_frame.json")
        if not os.path.exists(base_path):
            base_path = sorted(glob.glob(os.path.join(args.source, "examples", "*.json")))[0]
        with open(base_path, encoding="utf-8") as text:
            base = json.load(text)
        failures += check_broken(validator, args.python, base, folder)

    print(f"{checked} documents checked against the schema, {len(BROKEN)} broken documents")
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
