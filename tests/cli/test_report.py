"""`velk report` and `velk_tools.report_html`: one page from both, the
closed form of a simply supported beam drawn and tabled on it, results
documents, a model that cannot be analysed, usage and hostile files."""

import json
import os
import re
import subprocess
import unittest

import velk_calculations
import velk_tools

import test_cli
from test_cli import EXAMPLE, Workspace, beam_model, beam_model_in_millimetres, example, run


def sections(page):
    return re.findall(r'<section class="case" data-case="([^"]*)" data-kind="(\w+)"', page)


def picture(page, case, kind):
    """The SVG of one kind in the section of one case."""
    start = page.index(f'<section class="case" data-case="{case}"')
    end = page.find("</section>", start)
    at = page.index(f'class="view {kind}"', start, end)
    return page[page.rindex("<svg", 0, at):page.index("</svg>", at)]


def path_points(svg, css_class, member):
    match = re.search(rf'<path class="{css_class}[^"]*" d="([^"]*)" data-member="{member}"', svg)
    return [(float(x), float(y)) for x, y in re.findall(r"[ML](-?[\d.]+) (-?[\d.]+)", match.group(1))]


def unanalysable():
    model = example()
    model["nodal_supports"][0]["displacement_conditions"]["X"] = {"condition_type": "Spring", "stiffness": None}
    return model


class Report(Workspace):
    def test_command_line_and_module_write_the_same_page(self):
        out = os.path.join(self.dir, "report.html")
        result = run("report", EXAMPLE, "-o", out)
        self.assertEqual((result.returncode, result.stdout, result.stderr), (0, "", ""))
        with open(out, encoding="utf-8") as f:
            page = f.read()
        with open(EXAMPLE, encoding="utf-8") as f:
            self.assertEqual(velk_tools.report_html(f.read()), page)
        self.assertEqual(velk_tools.report_html(json_data=json.dumps(example())), page)
        self.assertTrue(page.startswith("<!DOCTYPE html>"))
        self.assertEqual(sections(page), [("Dead load", "loadcase"), ("Wind X", "loadcase"),
                                          ("ULS dead + wind", "combination")])
        self.assertIn("<title>Portal frame shed</title>", page)
        # Without -o the page goes to standard output.
        to_stdout = subprocess.run([test_cli.VELK, "report", EXAMPLE], capture_output=True, timeout=120)
        self.assertEqual(to_stdout.stdout.decode("utf-8"), page)

    def test_simply_supported_beam_closed_form_on_the_page(self):
        # w = 12 kN/m over 6 m: Mz = wL^2/8 = 54 kNm at 3 m, drawn below the beam.
        page = velk_tools.report_html(json.dumps(beam_model()))
        mz = picture(page, "Uniform", "diagram-mz")
        self.assertIn('text-anchor="middle">54</text>', mz)
        self.assertIn("max 54 @ 3\n", page)
        beam = path_points(mz, "member", 1)
        diagram = path_points(mz, "diagram", 1)

        def beam_y(x):  # the beam's line in the picture at picture abscissa x
            (x0, y0), (x1, y1) = beam
            return y0 + (y1 - y0) * (x - x0) / (x1 - x0)

        # Global -Y is straight down in the isometric view, so each point of
        # the diagram lies below the beam point it belongs to.
        below = [y - beam_y(x) for x, y in diagram]
        self.assertGreater(max(below), 10)
        self.assertTrue(all(b > -0.2 for b in below), below)
        # My is zero everywhere: no diagram area, a note instead.
        self.assertIn("no My moment", picture(page, "Uniform", "diagram-my"))
        # The deformed beam sags: its middle lies below its ends.
        deformed = path_points(picture(page, "Uniform", "deformed"), "deformed", 1)
        middle = deformed[len(deformed) // 2]
        self.assertGreater(middle[1], (deformed[0][1] + deformed[-1][1]) / 2 + 5)

    def test_results_document_in_millimetres(self):
        model = beam_model_in_millimetres()
        document = velk_calculations.calculate_from_json(json.dumps(model))
        page = velk_tools.report_html(document)
        self.assertIn("Results</th><td>carried in with the document", page)
        self.assertIn("length mm, force kN, moments kNmm", page)
        self.assertIn("max 54000 @ 3000", page)  # 54 kNm in kNmm, at 3000 mm
        self.assertEqual(sections(page), [("Uniform", "loadcase")])

    def test_model_that_cannot_be_analysed_gets_its_page_and_status_1(self):
        path = self.write("spring.json", json.dumps(unanalysable()))
        out = os.path.join(self.dir, "spring.html")
        result = run("report", path, "-o", out)
        message = "LC 1 linear error: Support 1 displacement X is Spring but stiffness is missing."
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr, f"velk: the model could not be analysed: {message}\n")
        with open(out, encoding="utf-8") as f:
            page = f.read()
        self.assertIn("The model could not be analysed:", page)
        self.assertIn(message, page)
        self.assertEqual(sections(page), [])
        self.assertEqual(page.count('class="view structure"'), 4)
        self.assertEqual(velk_tools.report_html(json.dumps(unanalysable())), page)

    def test_member_without_length_is_drawn_and_the_fault_shown(self):
        model = example()
        member = model["member_sets"][0]["members"][0]
        member["end_node"] = dict(member["start_node"], id=member["end_node"]["id"])
        page = velk_tools.report_html(json.dumps(model))
        self.assertIn("The model could not be analysed: Start and end nodes are the same or too close to define "
                      "a direction.", page)
        # The check's findings come first, the member is still in every picture.
        self.assertLess(page.index('class="findings"'), page.index("<h2>Model</h2>"))
        self.assertIn("Member 1 starts and ends at the same point", page)
        self.assertEqual(page.count('data-member="1"'), 4)

    def test_bad_input_same_message_from_both(self):
        path = self.write("truncated.json", '{"member_sets": [')
        result = run("report", path, "-o", os.path.join(self.dir, "never.html"))
        self.assertEqual(result.returncode, 2)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "never.html")))
        with self.assertRaises(RuntimeError) as raised:
            velk_tools.report_html('{"member_sets": [')
        self.assertEqual(result.stderr, f"velk: {raised.exception}\n")
        for not_text in (42, b"{}"):
            with self.assertRaises(TypeError):
                velk_tools.report_html(not_text)

    def test_usage(self):
        result = run("report", "--help")
        self.assertEqual(result.returncode, 0)
        self.assertTrue(result.stdout.startswith("Usage: velk report FILE.json [-o REPORT.html]"))
        self.assertIn("report FILE.json [-o REPORT.html]", run("--help").stdout)
        cases = [
            (["report", EXAMPLE, "-o"], "velk: option '-o' of 'velk report' needs a value\n"),
            (["report", "--pdf", EXAMPLE], "velk: unknown option '--pdf' for 'velk report' (see 'velk report --help')\n"),
            (["report"], "velk: 'velk report' needs a file (see 'velk report --help')\n"),
            (["report", EXAMPLE, "-o", os.path.join(self.dir, "absent", "r.html")],
             f"velk: cannot write '{os.path.join(self.dir, 'absent', 'r.html')}': No such file or directory\n"),
        ]
        for args, message in cases:
            result = run(*args)
            self.assertEqual((result.returncode, result.stderr), (2, message), args)


class ReportHostileFiles(test_cli.HostileFiles):
    """The hostile files of the other commands, through `velk report`."""

    COMMANDS = (["report"],)


if __name__ == "__main__":
    unittest.main()
