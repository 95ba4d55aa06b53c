"""The include check on small trees: a circle of units, one of headers, an
include up the layers, and a clean tree."""

import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
import check_includes  # noqa: E402

CMAKE = "velk_subsystem(low)\nvelk_subsystem(high velk_low)\n"


def tree(files):
    """A temporary tree with CMakeLists.txt and the given files."""
    folder = tempfile.TemporaryDirectory()
    root = Path(folder.name)
    (root / "CMakeLists.txt").write_text(CMAKE)
    for path, text in files.items():
        (root / path).parent.mkdir(parents=True, exist_ok=True)
        (root / path).write_text(text)
    return folder, root


class IncludeCheck(unittest.TestCase):
    def faults(self, files):
        folder, root = tree(files)
        with folder:
            return check_includes.check(root)[0]

    def test_clean_tree(self):
        self.assertEqual(self.faults({
            "src/low/a.hpp": "#pragma once\n",
            "src/low/a.cpp": '#include "low/a.hpp"\n',
            "src/high/b.hpp": '#include "low/a.hpp"\n',
            "src/high/b.cpp": '#include "high/b.hpp"\n',
        }), [])

    def test_sources_that_include_each_others_headers_are_a_circle(self):
        faults = self.faults({
            "src/low/a.hpp": "#pragma once\n",
            "src/low/a.cpp": '#include "low/a.hpp"\n#include "low/b.hpp"\n',
            "src/low/b.hpp": "#pragma once\n",
            "src/low/b.cpp": '#include "low/b.hpp"\n#include "low/a.hpp"\n',
        })
        self.assertEqual(len(faults), 1)
        self.assertIn("include cycle of units src/low/a -> src/low/b -> src/low/a", faults[0])

    def test_headers_that_include_each_other_are_a_circle(self):
        faults = self.faults({
            "src/low/a.hpp": '#include "low/b.hpp"\n',
            "src/low/b.hpp": '#include "low/a.hpp"\n',
        })
        self.assertEqual(len(faults), 1)
        self.assertIn("include cycle of units", faults[0])

    def test_an_include_up_the_layers(self):
        faults = self.faults({
            "src/high/b.hpp": "#pragma once\n",
            "src/low/a.cpp": '#include "high/b.hpp"\n',
        })
        self.assertEqual(faults, ["src/low/a.cpp:1: low includes src/high/b.hpp, which is not below it"])


if __name__ == "__main__":
    unittest.main()
