"""Writes the record tables of docs/model-format.md from the JSON Schema.

The tables sit between the markers `<!-- records:begin -->` and
`<!-- records:end -->`; everything else in the file is left alone. With
--check nothing is written and the exit status says whether the tables are
current. Run by `make schema`; `make docs-check` runs it with --check.
"""

import json
import sys

BEGIN, END = "<!-- records:begin -->", "<!-- records:end -->"

# Records in reading order, grouped as the document holds them.
GROUPS = [
    ("Structure records", ["VELK", "MemberSet", "Member", "Node", "Section", "Material", "MemberHinge", "NodalSupport",
                   "SupportCondition", "ShapePath", "ShapeCommand"]),
    ("Load records", ["LoadCase", "NodalLoad", "NodalMoment", "DistributedLoad", "LoadCombination", "ImperfectionCase",
               "RotationImperfection", "TranslationImperfection"]),
    ("Settings records", ["Settings", "AnalysisOptions", "GeneralInfo", "UnitSettings"]),
    ("Result records", ["ResultsBundle", "Results", "ResultType", "NodeDisplacement", "ReactionNodeResult", "NodeForces",
                 "NodeLocation", "MemberResult", "ResultsSummary", "UnityCheckOverview", "UnityCheck",
                 "GoverningKey"]),
]
SHARED = {"u32": "u32", "u64": "u64", "f64": "f64", "Vec3": "3-vector"}


def type_of(schema):
    if "$ref" in schema:
        name = schema["$ref"].rsplit("/", 1)[1]
        return SHARED.get(name, f"[`{name}`](#{name.lower()})")
    if "anyOf" in schema:
        return type_of(schema["anyOf"][0])
    kind = schema.get("type")
    if kind == "array":
        return "list of " + type_of(schema["items"])
    if kind == "object":
        key = "u32 keys" if "propertyNames" in schema else "string keys"
        return f"map ({key}) of " + type_of(schema["additionalProperties"])
    if kind in ("boolean", "string"):
        return kind
    return "any JSON value"


def tables(schema):
    defs = schema["$defs"]
    lines = []
    for group, names in GROUPS:
        lines += [f"### {group}", ""]
        for name in names:
            definition = defs[name]
            lines += [f"#### {name}", "", definition["description"], ""]
            if name == "ResultType":
                continue
            form = definition["anyOf"][0]
            required = set(form["required"])
            lines += ["| Key | Type | Presence | Meaning |", "|---|---|---|---|"]
            for key, field in form["properties"].items():
                if key in required:
                    presence = "required"
                elif "default" in field:
                    presence = f"default \"{field['default']}\""
                else:
                    presence = "optional"
                lines.append(f"| `{key}` | {type_of(field)} | {presence} | {field['description']} |")
            lines.append("")
    lines += ["### Enumerations", "", "| Enumeration | Accepted spellings | Written as |", "|---|---|---|"]
    for name, definition in defs.items():
        if "examples" not in definition:
            continue
        accepted = ", ".join(f"`{s}`" for s in definition["anyOf"][0]["enum"])
        written = ", ".join(f"`{s}`" for s in definition["examples"])
        lines.append(f"| {name} | {accepted} | {written} |")
    return "\n".join(lines) + "\n"


def main(argv):
    check = "--check" in argv
    paths = [a for a in argv if a != "--check"]
    schema_path, document_path = paths if paths else ("schema/velk-model.schema.json", "docs/model-format.md")
    with open(schema_path, encoding="utf-8") as text:
        schema = json.load(text)
    with open(document_path, encoding="utf-8") as text:
        document = text.read()
    head, rest = document.split(BEGIN, 1)
    _, tail = rest.split(END, 1)
    updated = head + BEGIN + "\n" + tables(schema) + END + tail
    if check:
        if updated != document:
            print(f"{document_path}: the record tables differ from {schema_path}: run make schema", file=sys.stderr)
            return 1
        return 0
    with open(document_path, "w", encoding="utf-8") as out:
        out.write(updated)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
