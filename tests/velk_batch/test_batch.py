"""Batch runs on a real local Dask cluster: 200 generated models, broken ones
among them, through the command line and the Python API; resume, Ctrl-C, a
worker killed in the middle and a model that crashes its worker (through a
worker plugin of the tests)."""

import csv
import glob
import io
import json
import os
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import cloudpickle
from distributed import Client

import crash_plugin
import model_builder as mb
import slow_plugin
import velk_batch
import velk_calculations
from velk_batch.batch import WorkItem, run_items, task_key, task_model

# The workers get the plugin by value: they need not find this folder.
cloudpickle.register_pickle_by_value(crash_plugin)
cloudpickle.register_pickle_by_value(slow_plugin)
HERE = os.path.dirname(os.path.abspath(__file__))

E, I = 2.1e11, 2.0e-5
BROKEN = {
    7: ("{", "Bad JSON input: EOF while parsing an object at line 1 column 1"),
    32: ("{}", "Bad JSON input: missing field `member_sets` at line 1 column 2"),
}
FAULT = 57  # a member whose ends coincide: an engine fault, not a message
TOO_BIG = 99  # 101 members
GAP = 150  # node ids with a gap
FAILING = sorted((*BROKEN, FAULT, TOO_BIG, GAP))
OK_COUNT = 200 - len(FAILING)


def cantilever(segments, length, p, q):
    """A cantilever along X fixed at node 1, in `segments` members, with a tip
    load -p along Y (case "Z tip"... listed second) and q along Z."""
    xs = [length * k / segments for k in range(segments + 1)]
    members = [mb.member(k, mb.node(k, xs[k - 1], nodal_support=1 if k == 1 else None), mb.node(k + 1, xs[k]), 1,
                         classification="beam") for k in range(1, segments + 1)]
    tip = segments + 1
    return mb.document(
        [mb.member_set(1, members)], [mb.material(1, E, 8.1e10, "S355", 7850.0, 3.55e8)],
        [mb.section(1, 1, 1e-2, I, I, 1e-5, "S")], [mb.support(1)],
        # Listed out of the bundle's name order: the summary follows the document.
        [mb.load_case(2, "Z tip", [mb.nodal_load(2, tip, 2, q, [0.0, 0.0, 1.0], "x")]),
         mb.load_case(1, "Y tip", [mb.nodal_load(1, tip, 1, p, [0.0, -1.0, 0.0], "x")])],
        [mb.combination(1, "ULS", {1: 1.35, 2: 1.5}, "ULS", "Persistent", "ULS")],
        mb.settings(general_info=mb.general_info("p", "a"),
                    unit_settings=mb.unit_settings(lengthUnit="m", forceUnit="N")))


def parameters(i):
    return 1 + i % 8, 2.0 + i % 5, 1000.0 + 10 * i, 500.0 + 5 * i


def generated_models():
    """(name, text) of the 200 models; 5 of them fail."""
    for i in range(200):
        name = f"model_{i:03d}"
        if i in BROKEN:
            yield name, BROKEN[i][0]
            continue
        doc = cantilever(*parameters(i))
        if i == FAULT:
            doc["member_sets"][0]["members"][0]["end_node"]["X"] = 0.0
        if i == TOO_BIG:
            doc = cantilever(101, 10.0, 1.0, 1.0)
        if i == GAP:
            doc["member_sets"][0]["members"][-1]["end_node"]["id"] += 1
        yield name, json.dumps(doc)


MODELS = list(generated_models())


def serial(text):
    """What one call in this process gives: ("ok", document) or ("failed", message)."""
    try:
        return "ok", velk_calculations.calculate_from_json(text)
    except RuntimeError as error:
        return "failed", str(error)
    except BaseException as error:
        if type(error).__module__ != "velk_calculations":
            raise
        return "failed", f"Engine fault: {error}"


SERIAL = {name: serial(text) for name, text in MODELS}


def read_summary(out):
    with open(os.path.join(out, "summary.csv"), encoding="utf-8", newline="") as f:
        return list(csv.DictReader(f))


def setUpModule():
    global CLUSTER, CLIENT
    CLUSTER = velk_batch.local_cluster(2)
    CLIENT = Client(CLUSTER)


def tearDownModule():
    CLIENT.close()
    CLUSTER.close()


class BatchCase(unittest.TestCase):
    """The 200 model files in a fresh folder, and checks of the outputs."""

    # A message that differs is shown whole: it is what a user would read.
    maxDiff = None

    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)
        self.models = os.path.join(self.folder.name, "models")
        self.out = os.path.join(self.folder.name, "out")
        os.makedirs(self.models)
        for name, text in MODELS:
            with open(os.path.join(self.models, name + ".json"), "w", encoding="utf-8") as f:
                f.write(text)

    # The command line names its option in the message of a model over the
    # member limit; velk_batch.run, like velk_calculations, does not.
    limit_named = False

    def command(self, *args):
        self.limit_named = True
        return [sys.executable, "-m", "velk_batch", "run", *args]

    def expected(self, name):
        status, payload = SERIAL[name]
        if name == f"model_{TOO_BIG:03d}" and self.limit_named:
            return status, payload + "; raise the limit with --max-members"
        return status, payload

    def run_command(self, *args, env=None):
        run = subprocess.run(self.command(*args), capture_output=True, text=True, env=env or os.environ.copy())
        return run

    def assert_outputs_equal_serial(self, names=None):
        for name in names or SERIAL:
            status, payload = self.expected(name)
            document, error = (os.path.join(self.out, name + suffix) for suffix in (".json", ".error.txt"))
            if status == "ok":
                with open(document, encoding="utf-8") as f:
                    self.assertEqual(f.read(), payload, name)  # bit for bit, not merely close
                self.assertFalse(os.path.exists(error), name)
            else:
                with open(error, encoding="utf-8") as f:
                    self.assertEqual(f.read(), payload + "\n", name)
                self.assertFalse(os.path.exists(document), name)
        self.assertEqual(glob.glob(os.path.join(self.out, ".*")), [])  # no temporary files left

    def assert_summary(self, rows):
        """Row order, the failures and the closed forms of the cantilevers."""
        self.assertEqual(len(rows), OK_COUNT * 3 + len(FAILING))
        self.assertEqual([r["model"] for r in rows], sorted(r["model"] for r in rows))
        failures = {r["model"]: r for r in rows if r["status"] == "failed"}
        self.assertEqual(sorted(failures), [f"model_{i:03d}" for i in FAILING])
        for i, (_, message) in BROKEN.items():
            self.assertEqual(failures[f"model_{i:03d}"]["message"], message)
        self.assertEqual(failures[f"model_{TOO_BIG:03d}"]["message"],
                         "Number of members (101) exceeds allowed maximum of 100"
                         + ("; raise the limit with --max-members" if self.limit_named else ""))
        self.assertEqual(failures[f"model_{GAP:03d}"]["message"],
                         "LC 2 linear error: Node ID 8 is missing. Node IDs must be consecutive starting from 1.")
        self.assertEqual(failures[f"model_{FAULT:03d}"]["message"],
                         "Engine fault: Start and end nodes are the same or too close to define a direction.")
        for f in failures.values():
            self.assertEqual((f["kind"], f["case"], f["max_displacement"]), ("", "", ""))

        by_model = {}
        for row in rows:
            if row["status"] == "ok":
                by_model.setdefault(row["model"], []).append(row)
        self.assertEqual(len(by_model), OK_COUNT)
        for name, model_rows in by_model.items():
            i = int(name[-3:])
            self.assertEqual([(r["kind"], r["case"]) for r in model_rows],
                             [("loadcase", "Z tip"), ("loadcase", "Y tip"), ("loadcombination", "ULS")])
            segments, length, p, q = parameters(i)
            z_tip, y_tip, uls = model_rows
            # Tip load P on a cantilever: tip deflection P L^3 / 3EI, the
            # support reacts P and takes the moment P L; the shear is P.
            for row, load in ((y_tip, p), (z_tip, q)):
                self.assertAlmostEqual(float(row["max_displacement"]) / (load * length**3 / (3 * E * I)), 1.0, 9)
                self.assertEqual(row["max_displacement_node"], str(segments + 1))
                self.assertAlmostEqual(float(row["max_reaction"]) / load, 1.0, 9)
                self.assertEqual(row["max_reaction_node"], "1")
                self.assertAlmostEqual(float(row["max_member_moment"]) / (load * length), 1.0, 9)
                self.assertEqual(row["max_moment_member"], "1")
                self.assertAlmostEqual(float(row["max_member_force"]) / load, 1.0, 9)
                self.assertEqual((row["length_unit"], row["force_unit"], row["message"]), ("m", "N", ""))
            self.assertAlmostEqual(float(uls["max_reaction"]) / ((1.35 * p) ** 2 + (1.5 * q) ** 2) ** 0.5, 1.0, 9)

class BatchTest(BatchCase):
    def test_command_line_batch_summary_resume_and_force(self):
        address = CLUSTER.scheduler_address
        first = self.run_command(self.models, "--out", self.out, "--scheduler", address)
        self.assertEqual(first.returncode, 1, first.stderr)  # some models failed
        self.assertRegex(first.stdout, r"^200 models: 195 analysed, 5 failed, 0 skipped in [0-9.]+ s "
                                       r"\([0-9.]+ models/s\); summary in .*summary.csv\n$")
        self.assert_outputs_equal_serial()
        rows = read_summary(self.out)
        self.assert_summary(rows)
        with open(os.path.join(self.out, "summary.csv"), "rb") as f:
            first_summary = f.read()

        # A rerun skips what is up to date, retries the failures, and gives
        # the same summary byte for byte.
        stamp = os.stat(os.path.join(self.out, "model_001.json")).st_mtime_ns
        later = os.path.join(self.models, "model_002.json")
        os.utime(later, ns=(time.time_ns() + 10**9, time.time_ns() + 10**9))
        # A document that cannot be read back (cut short by hand) is made again.
        cut = os.path.join(self.out, "model_005.json")
        stamp_5 = os.stat(cut).st_mtime_ns
        with open(cut, "r+", encoding="utf-8") as f:
            f.truncate(100)
        os.utime(cut, ns=(stamp_5, stamp_5))
        second = self.run_command(self.models, "--out", self.out, "--scheduler", address)
        self.assertIn("200 models: 2 analysed, 5 failed, 193 skipped", second.stdout)
        self.assert_outputs_equal_serial()
        self.assertEqual(os.stat(os.path.join(self.out, "model_001.json")).st_mtime_ns, stamp)
        with open(os.path.join(self.out, "summary.csv"), "rb") as f:
            self.assertEqual(f.read(), first_summary)

        first_twenty = [os.path.join(self.models, name + ".json") for name, _ in MODELS[:20]]
        forced = self.run_command(*first_twenty, "--out", self.out, "--scheduler", address, "--force")
        self.assertIn("20 models: 19 analysed, 1 failed, 0 skipped", forced.stdout)
        self.assertGreater(os.stat(os.path.join(self.out, "model_001.json")).st_mtime_ns, stamp)
        self.assert_outputs_equal_serial()

    def test_python_api_needs_no_files(self):
        rows = velk_batch.run(iter(MODELS), out=self.out, client=CLIENT)
        self.assertIsInstance(rows[0], velk_batch.SummaryRow)
        self.assertEqual(rows[0]._fields, velk_batch.COLUMNS)
        self.assert_outputs_equal_serial()
        # The rows returned are the rows written, with the numbers exact.
        written = read_summary(self.out)
        self.assertEqual(len(written), len(rows))
        for row, line in zip(rows, written):
            for column in velk_batch.COLUMNS:
                value = getattr(row, column)
                self.assertEqual(line[column], "" if value is None else repr(value) if isinstance(value, float)
                                 else str(value))
                if isinstance(value, float):
                    self.assertEqual(float(line[column]), value)
        self.assert_summary(written)

    def test_bad_names_and_documents_are_refused(self):
        cases = [
            ([("a", "{}"), ("a", "{}")], ValueError, "two models are named 'a'"),
            ([("../x", "{}")], ValueError, "model name '../x' cannot name a file in the output folder"),
            ([(".x", "{}")], ValueError, "model name '.x' starts with a dot, which output files may not"),
            ([("a", b"{}")], TypeError, "the document of 'a' is bytes, not str"),
        ]
        for documents, error, message in cases:
            with self.assertRaises(error) as raised:
                velk_batch.run(documents, out=self.out, client=CLIENT)
            self.assertEqual(str(raised.exception), message)

    def test_member_limit_of_the_command_line_and_of_the_api(self):
        import velk_tools

        name, text = MODELS[TOO_BIG]
        path = os.path.join(self.models, name + ".json")
        address = CLUSTER.scheduler_address
        for value in ("0", "-1", "1000001", "99999999999999999999", "abc", "", "1e3", " 5", "+5"):
            run = self.run_command(path, "--out", self.out, "--scheduler", address, "--max-members", value)
            self.assertEqual(run.returncode, 2, value)
            self.assertEqual(run.stderr, "python3 -m velk_batch run: error: argument --max-members: must be a whole "
                                         f"number from 1 to 1000000, not {value!r} (see --help)\n")
        twice = self.run_command(path, "--out", self.out, "--max-members", "5", "--max-members", "5")
        self.assertEqual((twice.returncode, len(twice.stderr.splitlines())), (2, 1))
        self.assertIn("--max-members is given twice", twice.stderr)

        # Raised to the model's 101 members, it is analysed as velk_tools analyses it.
        run = self.run_command(path, "--out", self.out, "--scheduler", address, "--max-members", "101")
        self.assertEqual(run.returncode, 0, run.stderr)
        with open(os.path.join(self.out, name + ".json"), encoding="utf-8") as f:
            self.assertEqual(f.read(), velk_tools.analyse(text, max_members=101))
        # One below, the message names the option.
        run = self.run_command(path, "--out", self.out, "--scheduler", address, "--max-members", "100", "--force")
        self.assertEqual(run.returncode, 1, run.stderr)
        with open(os.path.join(self.out, name + ".error.txt"), encoding="utf-8") as f:
            self.assertEqual(f.read(), "Number of members (101) exceeds allowed maximum of 100; raise the limit with "
                                       "--max-members\n")
        # The Python API takes the keyword, and names it.
        rows = velk_batch.run([(name, text)], out=self.out, client=CLIENT, max_members=50)
        self.assertEqual(rows[0].message,
                         "Number of members (101) exceeds allowed maximum of 50; raise the limit with max_members")
        rows = velk_batch.run([(name, text)], out=self.out, client=CLIENT, max_members=101, timeout=60)
        self.assertEqual({row.status for row in rows}, {"ok"})

    def test_command_line_usage_errors(self):
        other = os.path.join(self.folder.name, "other")
        os.makedirs(other)
        with open(os.path.join(other, "model_000.json"), "w") as f:
            f.write("{}")
        cases = [
            ((os.path.join(self.folder.name, "missing.json"),), "velk_batch: no such model file or folder: "
             + os.path.join(self.folder.name, "missing.json")),
            ((self.models, other), f"velk_batch: two models are named model_000: "
             f"{os.path.join(self.models, 'model_000.json')} and {os.path.join(other, 'model_000.json')}"),
        ]
        for models, message in cases:
            run = self.run_command(*models, "--out", self.out, "--scheduler", CLUSTER.scheduler_address)
            self.assertEqual((run.returncode, run.stderr), (2, message + "\n"))
        run = self.run_command(self.models, "--out", self.out, "--workers", "2", "--scheduler", "tcp://x:1")
        self.assertEqual(run.returncode, 2)
        self.assertIn("--workers applies to the local cluster, not to --scheduler", run.stderr)

        # A model file that is not UTF-8 is one failed model, as the module would say.
        latin1 = os.path.join(other, "latin1.json")
        with open(latin1, "wb") as f:
            f.write(b'{"name": "Tr\xe4ger"}')
        run = self.run_command(latin1, "--out", self.out, "--scheduler", CLUSTER.scheduler_address)
        self.assertEqual(run.returncode, 1, run.stderr)
        with open(os.path.join(self.out, "latin1.error.txt"), encoding="utf-8") as f:
            self.assertEqual(f.read(), f"Failed to read JSON file '{latin1}': stream did not contain valid UTF-8\n")

    def test_progress_bar_on_a_terminal(self):
        import pty

        main, terminal = pty.openpty()
        files = [os.path.join(self.models, name + ".json") for name, _ in MODELS[:20]]
        process = subprocess.Popen(self.command(*files, "--out", self.out, "--scheduler", CLUSTER.scheduler_address),
                                   stdout=subprocess.PIPE, stderr=terminal, text=True)
        os.close(terminal)
        shown = b""
        while True:
            try:
                chunk = os.read(main, 4096)
            except OSError:  # the terminal is gone with the process
                break
            if not chunk:
                break
            shown += chunk
        os.close(main)
        stdout = process.communicate(timeout=120)[0]
        self.assertEqual(process.returncode, 1)
        # Nothing but the bar reaches the terminal, before it or after it
        # while the client shuts down.
        for noise in ("never retrieved", "Traceback", "Error", "Warning"):
            self.assertNotIn(noise, shown.decode())
        self.assertRegex(shown.decode(), r"\r\[#{30}\] 20/20 done, 1 failed, [0-9.]+ models/s, 0 s left +\r?\n$")
        self.assertIn("20 models: 19 analysed, 1 failed, 0 skipped", stdout)

    def test_interrupt_keeps_finished_documents_complete(self):
        # Ctrl-C at a terminal reaches the whole process group: the client
        # and the worker processes of its local cluster.
        process = subprocess.Popen(self.command(self.models, "--out", self.out, "--workers", "2"),
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                   start_new_session=True)
        while len(glob.glob(os.path.join(self.out, "*.json"))) < 10 and process.poll() is None:
            time.sleep(0.005)
        os.killpg(process.pid, signal.SIGINT)
        stdout, stderr = process.communicate(timeout=120)
        self.assertEqual(process.returncode, 130, "the batch ended before the interrupt: " + stdout + stderr)
        self.assertEqual(stderr.splitlines()[-1],
                         "velk_batch: interrupted; the documents written so far are complete, run again to resume")
        self.assertNotIn("Traceback", stderr)
        self.assertFalse(os.path.exists(os.path.join(self.out, "summary.csv")))
        finished = [os.path.basename(p)[: -len(".json")] for p in glob.glob(os.path.join(self.out, "*.json"))]
        self.assertGreaterEqual(len(finished), 10)
        self.assertLess(len(finished), 195)
        self.assert_outputs_equal_serial(finished)

        resumed = self.run_command(self.models, "--out", self.out, "--scheduler", CLUSTER.scheduler_address)
        self.assertIn(f"{195 - len(finished)} analysed, 5 failed, {len(finished)} skipped", resumed.stdout)
        self.assert_outputs_equal_serial()


class TaskKeyTest(unittest.TestCase):
    def test_task_keys_name_their_model(self):
        for name in ("model_003", "a-b-c", "x"):
            key = task_key(name)
            self.assertRegex(key, r"^velk-analyse-.+-[0-9a-f]{12}$")
            self.assertEqual(task_model(key), name)
        self.assertNotEqual(task_key("x"), task_key("x"))
        self.assertIsNone(task_model("other-task-1234"))
        self.assertIsNone(task_model(("tuple", "key")))


class WorkerFailureTest(BatchCase):
    def test_worker_killed_in_the_middle_loses_nothing(self):
        with velk_batch.local_cluster(2) as cluster, Client(cluster) as client:
            before = set(client.run(os.getpid).values())
            victim = sorted(before)[0]
            killed = []

            def kill_one(counts):
                if counts.done >= 20 and not killed:
                    os.kill(victim, signal.SIGKILL)
                    killed.append(counts.done)

            rows = velk_batch.run(MODELS, out=self.out, client=client, progress=kill_one)
            after = set(client.run(os.getpid).values())
        self.assertEqual(killed, [20])
        self.assertNotIn(victim, after)  # the worker really died and was replaced
        self.assertEqual(len(rows), OK_COUNT * 3 + len(FAILING))
        self.assert_outputs_equal_serial()

    def test_cluster_left_without_workers_ends_the_batch(self):
        with velk_batch.local_cluster(1) as cluster, Client(cluster) as client:
            def lose_the_workers(counts):
                if counts.done == 5:
                    cluster.scale(0)

            with self.assertRaises(velk_batch.BatchError) as raised:
                run_items((WorkItem(name, text) for name, text in MODELS), self.out, client,
                          progress=lose_the_workers, no_worker_limit=2)
        self.assertEqual(str(raised.exception), "the cluster has had no workers for 2 s")
        finished = [os.path.basename(p)[: -len(".json")] for p in glob.glob(os.path.join(self.out, "*.json"))]
        self.assertGreaterEqual(len(finished), 5)
        self.assert_outputs_equal_serial(finished)

    def test_model_that_crashes_its_worker_twice_fails_alone(self):
        names = [name for name, _ in MODELS[:30]]
        files = [os.path.join(self.models, name + ".json") for name in names]
        # A cluster of the local kind whose workers, restarted ones too, crash
        # on model_003.
        with velk_batch.local_cluster(2) as cluster, Client(cluster) as client:
            client.register_worker_plugin(crash_plugin.CrashOnModels(["model_003"]))
            run = self.run_command(*files, "--out", self.out, "--scheduler", cluster.scheduler_address)
        self.assertEqual(run.returncode, 1, run.stderr)
        self.assertIn("30 models: 28 analysed, 2 failed, 0 skipped", run.stdout, run.stderr)
        message = ("Worker crash: the analysis of this model ended its worker process each time it was tried "
                   "(the cluster gives up on a task after allowed-failures + 1 crashes)")
        with open(os.path.join(self.out, "model_003.error.txt"), encoding="utf-8") as f:
            self.assertEqual(f.read(), message + "\n")
        rows = [r for r in read_summary(self.out) if r["model"] == "model_003"]
        self.assertEqual([(r["status"], r["message"]) for r in rows], [("failed", message)])
        self.assert_outputs_equal_serial([name for name in names if name != "model_003"])


def session_processes(session):
    """The processes still alive in a session (a command line run and the
    local cluster it started)."""
    found = subprocess.run(["ps", "-o", "pid=,stat=", "-s", str(session)], capture_output=True, text=True).stdout
    return [line for line in found.splitlines() if line.split()[1:] and not line.split()[1].startswith("Z")]


class BatchFaultTest(BatchCase):
    """A slow model, a scheduler that goes away, Ctrl-C while the local
    cluster starts and while it shuts down."""

    def test_model_over_the_time_limit_fails_alone(self):
        names = [name for name, _ in MODELS[:30]]
        files = [os.path.join(self.models, name + ".json") for name in names]
        with velk_batch.local_cluster(2) as cluster, Client(cluster) as client:
            client.register_worker_plugin(slow_plugin.SlowModels({"model_003": 3600.0}))
            run = self.run_command(*files, "--out", self.out, "--scheduler", cluster.scheduler_address,
                                   "--timeout", "5")
            # The worker that ran it is free again: the same cluster goes on.
            rows = velk_batch.run([(name, text) for name, text in MODELS[30:40]], out=self.out, client=client,
                                  timeout=5)
        self.assertEqual(run.returncode, 1, run.stderr)
        self.assertEqual(run.stderr, "")
        self.assertIn("30 models: 28 analysed, 2 failed, 0 skipped", run.stdout)
        with open(os.path.join(self.out, "model_003.error.txt"), encoding="utf-8") as f:
            self.assertEqual(f.read(), "Timeout: the analysis took longer than 5 s\n")
        self.assertEqual(len(rows), 9 * 3 + 1)  # model_032 fails
        self.assert_outputs_equal_serial([name for name, _ in MODELS[:40] if name != "model_003"])

    def test_scheduler_lost_in_the_middle_keeps_the_finished_documents(self):
        external = subprocess.Popen([sys.executable, os.path.join(HERE, "external_cluster.py")],
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                                    start_new_session=True)
        try:
            address = external.stdout.readline().strip()
            self.assertTrue(address.startswith("tcp://"), address)
            batch = subprocess.Popen(self.command(self.models, "--out", self.out, "--scheduler", address),
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            while len(glob.glob(os.path.join(self.out, "*.json"))) < 10 and batch.poll() is None:
                time.sleep(0.01)
        finally:
            os.killpg(external.pid, signal.SIGKILL)
            external.wait()
        stdout, stderr = batch.communicate(timeout=120)
        self.assertEqual(batch.returncode, 1, stdout + stderr)
        self.assertEqual(stderr, f"velk_batch: lost the connection to the scheduler at {address}; the documents "
                                 "written so far are complete, run again to resume\n")
        self.assertFalse(os.path.exists(os.path.join(self.out, "summary.csv")))
        finished = [os.path.basename(p)[: -len(".json")] for p in glob.glob(os.path.join(self.out, "*.json"))]
        self.assertGreaterEqual(len(finished), 10)
        self.assertLess(len(finished), 195)
        self.assert_outputs_equal_serial(finished)

        resumed = self.run_command(self.models, "--out", self.out, "--scheduler", CLUSTER.scheduler_address)
        self.assertIn(f"{195 - len(finished)} analysed, 5 failed, {len(finished)} skipped", resumed.stdout)
        self.assert_outputs_equal_serial()

    def interrupt_when(self, ready):
        """Runs the batch on a local cluster of its own session, sends Ctrl-C
        to the session once ready() is true, and returns the run; nothing of
        the session may be left running."""
        process = subprocess.Popen(self.command(self.models, "--out", self.out, "--workers", "2"),
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                   start_new_session=True)
        while not ready(process) and process.poll() is None:
            time.sleep(0.005)
        try:
            os.killpg(process.pid, signal.SIGINT)
        except ProcessLookupError:
            pass
        stdout, stderr = process.communicate(timeout=120)
        deadline = time.monotonic() + 60
        while session_processes(process.pid) and time.monotonic() < deadline:
            time.sleep(0.1)
        self.assertEqual(session_processes(process.pid), [])
        self.assertNotIn("Traceback", stderr)
        self.assertEqual(glob.glob(os.path.join(self.out, ".*")), [])
        return process.returncode, stdout, stderr

    def test_interrupt_while_the_cluster_starts(self):
        # Beside this command and the batch process it runs, a process of
        # the cluster exists: the cluster is starting.
        started = lambda process: len(session_processes(process.pid)) > 2
        status, stdout, stderr = self.interrupt_when(started)
        self.assertEqual((status, stdout), (130, ""))
        self.assertEqual(stderr, "velk_batch: interrupted; the documents written so far are complete, run again "
                                 "to resume\n")
        # A start that ended just before the interrupt lets the model at
        # hand finish first.
        finished = [os.path.basename(p)[: -len(".json")] for p in glob.glob(os.path.join(self.out, "*.json"))]
        self.assertLess(len(finished), 195)
        if finished:
            self.assert_outputs_equal_serial(finished)

    def test_interrupt_while_the_cluster_shuts_down(self):
        # The summary is written: the batch is done, the cluster goes down.
        done = lambda process: os.path.exists(os.path.join(self.out, "summary.csv"))
        status, stdout, stderr = self.interrupt_when(done)
        # Between the summary and the shutdown the interrupt may still stop
        # the batch; either way every output is complete.
        if status == 130:
            self.assertEqual(stderr, "velk_batch: interrupted; the documents written so far are complete, run "
                                     "again to resume\n")
        else:
            self.assertEqual((status, stderr), (1, ""))
            self.assertIn("200 models: 195 analysed, 5 failed, 0 skipped", stdout)
        self.assert_outputs_equal_serial()
        self.assert_summary(read_summary(self.out))


if __name__ == "__main__":
    unittest.main()
