"""Analyses each example model with velk_calculations and prints a summary:
per load case and combination the largest displacement, the reaction at every
support and the member with the largest end moment."""

import json
import math
import sys

import velk_calculations


def largest_displacement(results):
    node, d = max(results["displacement_nodes"].items(),
                  key=lambda item: math.hypot(item[1]["dx"], item[1]["dy"], item[1]["dz"]))
    return node, math.hypot(d["dx"], d["dy"], d["dz"]), d


def governing_member(results):
    def largest_moment(item):
        forces = item[1]
        return max(abs(forces[end][m]) for end in ("start_node_forces", "end_node_forces")
                   for m in ("mx", "my", "mz"))
    member, forces = max(results["member_results"].items(), key=largest_moment)
    return member, largest_moment((member, forces)), forces


def summarise(path):
    model = json.loads(velk_calculations.calculate_from_file(path))
    units = model["settings"]["unit_settings"]
    length, force = units["lengthUnit"], units["forceUnit"]
    members = sum(len(member_set["members"]) for member_set in model["member_sets"])
    print(f"{path}: {members} members, {len(model['load_cases'])} load cases, "
          f"{len(model['load_combinations'])} combinations, results in {length} and {force}")
    bundle = model["results"]
    for kind, group in (("load case", bundle["loadcases"]), ("combination", bundle["loadcombinations"])):
        for name, results in group.items():
            print(f"  {kind} {name!r}")
            node, size, d = largest_displacement(results)
            print(f"    largest displacement {size:.4g} {length} at node {node} "
                  f"(dx {d['dx']:.4g}, dy {d['dy']:.4g}, dz {d['dz']:.4g})")
            for node, reaction in results["reaction_nodes"].items():
                f = reaction["nodal_forces"]
                print(f"    reaction at node {node:>2}: F = ({f['fx']:8.3f}, {f['fy']:8.3f}, {f['fz']:8.3f}) {force}"
                      f"  M = ({f['mx']:8.3f}, {f['my']:8.3f}, {f['mz']:8.3f}) {force}{length}")
            member, moment, forces = governing_member(results)
            start, end = forces["start_node_forces"], forces["end_node_forces"]
            print(f"    governing member {member}: |M| = {moment:.3f} {force}{length}; global fx/fy/mz "
                  f"at start ({start['fx']:.3f}, {start['fy']:.3f}, {start['mz']:.3f}), "
                  f"at end ({end['fx']:.3f}, {end['fy']:.3f}, {end['mz']:.3f})")


def main(paths):
    for path in paths:
        summarise(path)


if __name__ == "__main__":
    main(sys.argv[1:])
