"""Hostile command lines for every command of `velk`: unknown options,
options given twice or without a value, an empty file name, and counts that
are zero, negative, enormous or no number. Each is one line on standard
error with exit status 2, and nothing on standard output."""

import os
import subprocess
import unittest

VELK = os.environ["VELK_BIN"]
EXAMPLE = os.path.join(os.environ["VELK_EXAMPLES_DIR"], "portal_frame.json")

# Every command with one of its valued options and a valid value for it.
COMMANDS = {
    "analyse": ("--output", os.devnull),
    "check": ("--json", None),
    "diagrams": ("--stations", "3"),
    "report": ("--output", os.devnull),
    "envelope": ("--stations", "3"),
    "buckling": ("--modes", "2"),
    "modes": ("--mass", "lumped"),
}
# The count options, their ranges and what else the command is given when it
# takes a bound.
COUNTS = [("diagrams", "--stations", 2, 100000, ["--csv"]), ("envelope", "--stations", 2, 1001, ["--csv"]),
          ("buckling", "--modes", 1, 100, ["--json"]), ("modes", "--modes", 1, 1000, ["--json"]),
          ("report", "--modes", 1, 1000, ["--output", os.devnull])]


def run(*args):
    return subprocess.run([VELK, *args], capture_output=True, text=True, timeout=120)


class HostileOptionsTest(unittest.TestCase):
    def assert_usage_error(self, run_result, message):
        self.assertEqual(run_result.returncode, 2, run_result.stderr)
        self.assertEqual(run_result.stdout, "")
        self.assertEqual(run_result.stderr, f"velk: {message}\n")

    def test_every_command_refuses_a_wrong_command_line_in_one_line(self):
        for command, (option, value) in COMMANDS.items():
            with self.subTest(command=command):
                given = [option] if value is None else [option, value]
                self.assert_usage_error(run(command, "--bogus", EXAMPLE),
                                        f"unknown option '--bogus' for 'velk {command}' (see 'velk {command} --help')")
                self.assert_usage_error(run(command, *given, *given, EXAMPLE),
                                        f"option '{option}' of 'velk {command}' is given twice")
                self.assert_usage_error(run(command, ""), f"'velk {command}' needs a file name, not an empty one")
                self.assert_usage_error(run(command), f"'velk {command}' needs a file (see 'velk {command} --help')")
                self.assert_usage_error(run(command, EXAMPLE, EXAMPLE),
                                        f"'velk {command}' takes one file, not also '{EXAMPLE}'")
                if value is not None:
                    self.assert_usage_error(run(command, EXAMPLE, option),
                                            f"option '{option}' of 'velk {command}' needs a value")
                    # The same option spelled with '=' counts as given too.
                    self.assert_usage_error(run(command, f"{option}={value}", option, value, EXAMPLE),
                                            f"option '{option}' of 'velk {command}' is given twice")

    def test_counts_out_of_range_or_no_number_are_refused_before_any_work(self):
        for command, option, low, high, rest in COUNTS:
            for text in ("0", "-1", str(low - 1), str(high + 1), "99999999999999999999999", "abc", "1e3", "2.5",
                         " 3", "", "0x10", "nan"):
                with self.subTest(command=command, value=text):
                    self.assert_usage_error(run(command, option, text, EXAMPLE),
                                            f"{option} must be a whole number from {low} to {high}, not '{text}'")
            # The bounds themselves are counts the command takes.
            for text in (str(low), str(high)):
                with self.subTest(command=command, value=text):
                    accepted = run(command, option, text, *rest, EXAMPLE)
                    self.assertEqual(accepted.returncode, 0, accepted.stderr)

    def test_the_member_limit_of_every_command_is_a_whole_number_in_range(self):
        for command in COMMANDS:
            rest = ["--output", os.devnull] if command == "report" else []
            for text in ("0", "-1", "1000001", "99999999999999999999999", "abc", "1e3", "2.5", " 3", "", "0x10",
                         "nan"):
                with self.subTest(command=command, value=text):
                    self.assert_usage_error(run(command, "--max-members", text, EXAMPLE),
                                            f"--max-members must be a whole number from 1 to 1000000, not '{text}'")
            with self.subTest(command=command, value="twice"):
                self.assert_usage_error(run(command, "--max-members", "5", "--max-members=5", EXAMPLE),
                                        f"option '--max-members' of 'velk {command}' is given twice")
                self.assert_usage_error(run(command, EXAMPLE, "--max-members"),
                                        f"option '--max-members' of 'velk {command}' needs a value")
            with self.subTest(command=command, value="1000000"):
                accepted = run(command, "--max-members", "1000000", *rest, EXAMPLE)
                self.assertEqual(accepted.returncode, 0, accepted.stderr)

    def test_modal_options_that_name_nothing_are_one_line(self):
        for kind in ("", "Consistent", "lump", "consistent,lumped"):
            with self.subTest(mass=kind):
                self.assert_usage_error(run("modes", "--mass", kind, EXAMPLE),
                                        f"--mass must be consistent or lumped, not '{kind}'")
        self.assert_usage_error(run("modes", "--mass-case", "no such case", EXAMPLE),
                                'The mass case "no such case" names no load case of the model.')

    def test_an_unknown_command_and_a_missing_file_are_one_line(self):
        self.assert_usage_error(run("bogus", EXAMPLE), "unknown command 'bogus' (see 'velk --help')")
        missing = run("check", "/nonexistent/model.json")
        self.assertEqual(missing.returncode, 2)
        self.assertEqual(len(missing.stderr.splitlines()), 1, missing.stderr)


if __name__ == "__main__":
    unittest.main()
