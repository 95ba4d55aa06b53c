"""Runs each example model through velk_calculations and prints a summary."""

import json
import os
import sys

import velk_calculations


def summarise(path):
    text = velk_calculations.load_velk_from_file(path)
    model = json.loads(text)
    member_sets = model["member_sets"]
    members = sum(len(member_set["members"]) for member_set in member_sets)
    print(
        f"{os.path.basename(path)}: {len(member_sets)} member sets, {members} members, "
        f"{len(model['load_cases'])} load cases, {len(model['load_combinations'])} load combinations; "
        f"{os.path.getsize(path)} bytes read, {len(text.encode('utf-8'))} bytes written"
    )


def main(paths):
    for path in paths:
        summarise(path)


if __name__ == "__main__":
    main(sys.argv[1:])
