#!/usr/bin/env python3
"""Checks the layering of the tree from its #include lines.

- A file in src/<subsystem>/ may include headers of its own subsystem and of
  the subsystems its library links, directly or through others, as
  CMakeLists.txt declares them; an include of any other subsystem runs up the
  layers (or sideways) and is reported.
- No two units include each other, directly or round a longer cycle. A unit
  is a header and its source taken together (src/solvers/mechanism.hpp and
  .cpp): a source that includes what includes its own header closes a
  circle as surely as two headers do.
- Tests, benchmarks and fuzzers share their helpers through the test-support
  library only: a file under tests/<a>/ includes no header of tests/<b>/, and
  bench/ and fuzz/ include none of tests/ but the support folder.

Prints one line per fault as path:line: text and exits 1 when there are any.
"""

import re
import sys
from pathlib import Path

REPOSITORY = Path(__file__).resolve().parent.parent
SUPPORT = "tests/support"
# Front ends are built from a folder of src/ as a target of another name.
FRONT_END_TARGETS = {"cli": "velk", "python_module": "velk_calculations", "python_tools": "velk_tools"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def cmake_links(text):
    """Target -> the targets it links, from the velk_* functions and target_link_libraries."""
    text = re.sub(r"#[^\n]*", "", text)
    links = {}

    def add(target, libraries):
        links.setdefault(target, set()).update(lib for lib in libraries if not lib.startswith(("$", "-")))

    for name, rest in re.findall(r"velk_subsystem\(\s*(\w+)([^)]*)\)", text):
        if name != "name":
            add("velk_" + name, rest.split())
    for name, rest in re.findall(r"velk_python_module\(\s*(\w+)([^)]*)\)", text):
        if name == "name":
            continue
        words = rest.split()
        libraries = words[words.index("LIBRARIES") + 1:] if "LIBRARIES" in words else ["velk_core"]
        add(name, libraries)
    for target, rest in re.findall(r"target_link_libraries\(\s*([\w-]+)([^)]*)\)", text):
        add(target, [w for w in rest.split() if w not in ("PRIVATE", "PUBLIC", "INTERFACE")])
    return links


def closure(target, links):
    seen, stack = set(), [target]
    while stack:
        for dep in links.get(stack.pop(), ()):
            if dep not in seen:
                seen.add(dep)
                stack.append(dep)
    return seen


def resolve(root, including, name):
    """The repository path an include names, or None for a library header."""
    for base in (including.parent, root / "src", root / "tests", root / "bench", root / "fuzz"):
        candidate = (base / name).resolve()
        if candidate.is_file():
            return candidate.relative_to(root).as_posix()
    return None


def unit(path):
    """The unit of a file: its path without the .hpp or .cpp."""
    return path.rsplit(".", 1)[0]


def check(root):
    """The faults of the tree under root, and the number of files read."""
    root = root.resolve()
    links = cmake_links((root / "CMakeLists.txt").read_text())
    sources = sorted(
        p for top in ("src", "tests", "bench", "fuzz", "tools") for p in (root / top).rglob("*")
        if p.suffix in (".cpp", ".hpp") and p.is_file())
    faults = []
    graph = {}
    for path in sources:
        rel = path.relative_to(root).as_posix()
        parts = rel.split("/")
        graph.setdefault(unit(rel), [])
        for number, line in enumerate(path.read_text().splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            target = resolve(root, path, match.group(1))
            if target is None:
                continue
            if unit(target) != unit(rel):
                graph[unit(rel)].append(unit(target))
            where = f"{rel}:{number}: "
            tparts = target.split("/")
            if parts[0] == "src" and len(parts) > 2:
                if tparts[0] != "src":
                    faults.append(where + f"a production file includes {target}")
                    continue
                own, other = parts[1], tparts[1]
                if own == other:
                    continue
                me = FRONT_END_TARGETS.get(own, "velk_" + own)
                if me not in links:
                    faults.append(where + f"src/{own} is not a library of CMakeLists.txt")
                elif "velk_" + other not in closure(me, links):
                    faults.append(where + f"{own} includes {target}, which is not below it")
            elif parts[0] in ("tests", "bench", "fuzz") and tparts[0] in ("tests", "bench", "fuzz"):
                if target.startswith(SUPPORT + "/"):
                    continue
                if parts[0] == "tests" and len(parts) > 2 and tparts[:2] == parts[:2]:
                    continue
                if parts[0] in ("bench", "fuzz") and tparts[0] == parts[0]:
                    continue
                faults.append(where + f"includes {target}; shared test code belongs in {SUPPORT}")

    # Cycles between units, by depth-first search over the resolved includes.
    state = {}
    for start in graph:
        if state.get(start):
            continue
        stack = [(start, iter(graph[start]))]
        state[start] = 1
        path = [start]
        while stack:
            node, children = stack[-1]
            child = next(children, None)
            if child is None:
                state[node] = 2
                stack.pop()
                path.pop()
            elif state.get(child) == 1:
                cycle = path[path.index(child):] + [child]
                faults.append(f"{node}: include cycle of units " + " -> ".join(cycle))
            elif not state.get(child):
                state[child] = 1
                stack.append((child, iter(graph.get(child, []))))
                path.append(child)

    return faults, len(sources)


def main():
    faults, files = check(REPOSITORY)
    for fault in faults:
        print(fault)
    if faults:
        print(f"include check: {len(faults)} fault(s)", file=sys.stderr)
        return 1
    print(f"include check: {files} files, layers and cycles of units clean")
    return 0


if __name__ == "__main__":
    sys.exit(main())
