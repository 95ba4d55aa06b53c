"""The summary of a batch: one row per model and load case or combination,
with the governing numbers of each result, in a fixed order."""

import collections
import csv
import json
import math

COLUMNS = (
    "model",
    "kind",
    "case",
    "status",
    "max_displacement",
    "max_displacement_node",
    "max_reaction",
    "max_reaction_node",
    "max_member_moment",
    "max_moment_member",
    "max_member_force",
    "max_force_member",
    "length_unit",
    "force_unit",
    "message",
)

SummaryRow = collections.namedtuple("SummaryRow", COLUMNS, defaults=(None,) * (len(COLUMNS) - 4) + ("",))

# Result groups of the bundle, the document list that orders them, the kind.
_GROUPS = (
    ("loadcases", "load_cases", "loadcase"),
    ("loadcombinations", "load_combinations", "loadcombination"),
)


def _largest(items, size):
    """The (key, size) of the item of largest size; the first in map order on
    a tie. (None, None) for no items."""
    best_key, best = None, None
    for key, value in items:
        s = size(value)
        if best is None or s > best:
            best_key, best = key, s
    return best_key, best


def _end_forces(member):
    return (member["start_node_forces"], member["end_node_forces"])


def _case_row(model, kind, name, results, units):
    node, displacement = _largest(results["displacement_nodes"].items(), lambda d: math.hypot(d["dx"], d["dy"], d["dz"]))
    support, reaction = _largest(
        results["reaction_nodes"].items(),
        lambda r: math.hypot(r["nodal_forces"]["fx"], r["nodal_forces"]["fy"], r["nodal_forces"]["fz"]),
    )
    members = results["member_results"].items()
    moment_member, moment = _largest(
        members, lambda m: max(abs(f[c]) for f in _end_forces(m) for c in ("mx", "my", "mz"))
    )
    force_member, force = _largest(members, lambda m: max(abs(f[c]) for f in _end_forces(m) for c in ("fx", "fy", "fz")))
    return SummaryRow(
        model, kind, name, "ok", displacement, node, reaction, support, moment, moment_member, force, force_member,
        units.get("lengthUnit"), units.get("forceUnit"),
    )


def document_rows(model, document):
    """The rows of an analysed model document (text): load cases, then
    combinations, each in the order the document lists them; results carried
    in under other names follow in the bundle's order. A model without any
    case gives one row."""
    doc = json.loads(document)
    units = (doc.get("settings") or {}).get("unit_settings") or {}
    bundle = doc.get("results") or {}
    rows = []
    for group_key, list_key, kind in _GROUPS:
        group = bundle.get(group_key) or {}
        listed = [record.get("name") for record in doc.get(list_key) or []]
        names = list(dict.fromkeys([n for n in listed if n in group] + list(group)))
        rows.extend(_case_row(model, kind, name, group[name], units) for name in names)
    if not rows:
        rows.append(SummaryRow(model, "", "", "ok", length_unit=units.get("lengthUnit"),
                               force_unit=units.get("forceUnit")))
    return rows


def failure_row(model, message):
    return SummaryRow(model, "", "", "failed", message=message)


def _cell(value):
    if value is None:
        return ""
    if isinstance(value, float):
        return repr(value)  # shortest text that reads back as the same double
    return str(value)


def write_csv(stream, rows):
    writer = csv.writer(stream, lineterminator="\n")
    writer.writerow(COLUMNS)
    for row in rows:
        writer.writerow(_cell(value) for value in row)
