"""python3 -m velk_batch run MODELS... --out DIR [--scheduler ADDRESS] [--workers N] [--force] [--timeout SECONDS]
[--max-members N]"""

import argparse
import contextlib
import logging
import os
import signal
import sys
import threading
import time
import traceback

from . import requirement
from .batch import (LOCAL_NO_WORKER_LIMIT, BatchError, WorkItem, check_name, local_cluster, output_paths, run_items,
                    writing_a_file)
from .quiet_loop import quiet_timeout_leftovers
from .task import MAX_MEMBER_LIMIT

USAGE_ERROR, INTERRUPTED = 2, 130


class _Usage(Exception):
    pass


def model_files(paths, out):
    """(name, path) of every model: the files given, and the *.json files in
    the folders given (not in their subfolders, not the output folder's)."""
    out_real = os.path.realpath(out)
    found, where = [], {}
    for path in paths:
        if os.path.isdir(path):
            if os.path.realpath(path) == out_real:
                continue
            entries = sorted(
                os.path.join(path, entry)
                for entry in os.listdir(path)
                if entry.endswith(".json") and not entry.startswith(".")
            )
            files = [entry for entry in entries if os.path.isfile(entry)]
        elif os.path.isfile(path):
            files = [path]
        else:
            raise _Usage(f"no such model file or folder: {path}")
        for file in files:
            name = os.path.splitext(os.path.basename(file))[0]
            try:
                check_name(name)
            except ValueError as error:
                raise _Usage(str(error)) from None
            if name in where:
                raise _Usage(f"two models are named {name}: {where[name]} and {file}")
            where[name] = file
            found.append((name, file))
    return found


def file_items(models, out, force):
    """The models as the batch takes them, each file read only when its turn
    comes; a model whose document is newer than its file is skipped."""
    for name, path in models:
        document_path, _ = output_paths(out, name)
        if not force:
            try:
                if os.stat(document_path).st_mtime_ns > os.stat(path).st_mtime_ns:
                    yield WorkItem(name, reread=lambda name=name, path=path: read_model(name, path))
                    continue
            except OSError:
                pass
        yield read_model(name, path)


def read_model(name, path):
    """The model file as an item to analyse or, when it cannot be read (no
    such file, not UTF-8), as a failed one with the engine's own sentence,
    the one calculate_from_file gives."""
    try:
        with open(path, "rb") as f:
            return WorkItem(name, f.read().decode("utf-8"))
    except (OSError, UnicodeDecodeError) as error:
        import velk_calculations

        try:
            velk_calculations.calculate_from_file(path)
        except RuntimeError as message:
            return WorkItem(name, failure=str(message))
        # The engine read what this process could not: the file changed.
        raise BatchError(f"the model file {path} changed while it was read") from error


class Progress:
    """A progress bar on a terminal: done, failed, rate and time left."""

    WIDTH = 30

    def __init__(self, stream, total):
        self.stream, self.total, self.start = stream, total, time.monotonic()
        self.shown = 0.0

    def __call__(self, counts):
        now = time.monotonic()
        if now - self.shown < 0.1 and counts.done < self.total:
            return
        self.shown = now
        fraction = counts.done / self.total if self.total else 1.0
        filled = int(self.WIDTH * fraction)
        elapsed = max(now - self.start, 1e-9)
        rate = (counts.analysed + counts.failed) / elapsed
        left = (self.total - counts.done) / rate if rate > 0 else float("nan")
        left_text = f"{left:.0f} s left" if left == left else "-- s left"
        self.stream.write(
            f"\r[{'#' * filled}{'.' * (self.WIDTH - filled)}] {counts.done}/{self.total} "
            f"done, {counts.failed} failed, {rate:.1f} models/s, {left_text}   "
        )
        self.stream.flush()

    def close(self):
        self.stream.write("\n")
        self.stream.flush()


class Interrupt:
    """The handler of Ctrl-C. It raises KeyboardInterrupt as usual, and is
    remembered too (`is_set`): raised while a finalizer runs (a Dask future let
    go), it is dropped there, and the batch stops after the model at hand;
    while a document or error file is being written it is not raised at all
    until the batch takes it up after that model, so the file is complete and
    no temporary is left."""

    def __init__(self):
        self.event = threading.Event()
        self.held = 0
        self.finished = False

    def __call__(self, signum, frame):
        self.event.set()
        if not self.held and not self.finished and not writing_a_file():
            raise KeyboardInterrupt

    def is_set(self):
        return self.event.is_set()

    @contextlib.contextmanager
    def held_back(self):
        """Not raised while Dask loads and the cluster starts or shuts down:
        an interrupt in the middle of either would leave processes behind
        and tracebacks on the terminal. One that came is raised when the
        start is done, and only remembered after the shutdown."""
        self.held += 1
        try:
            yield
        finally:
            self.held -= 1
        if self.is_set() and not self.held and not self.finished:
            raise KeyboardInterrupt


def _unraisable_but_interrupts(unraisable):
    """Python's report of an exception it cannot raise (one in a finalizer),
    but for a KeyboardInterrupt: Python would print "Exception ignored in"
    with a traceback on the terminal for a Ctrl-C the batch acts on anyway."""
    if unraisable.exc_type is not None and issubclass(unraisable.exc_type, KeyboardInterrupt):
        return
    sys.__unraisablehook__(unraisable)


def _seconds(text):
    try:
        value = float(text)
    except ValueError:
        value = float("nan")
    if not (0 < value <= 1e6):
        raise argparse.ArgumentTypeError(f"must be a number of seconds above 0 and at most 1e6, not {text!r}")
    return value


def _members(text):
    # Digits alone: no sign, blanks, underscores or other numerals.
    value = int(text) if text.isascii() and text.isdigit() else 0
    if not 1 <= value <= MAX_MEMBER_LIMIT:
        raise argparse.ArgumentTypeError(f"must be a whole number from 1 to {MAX_MEMBER_LIMIT}, not {text!r}")
    return value


class _Once(argparse.Action):
    """An option that may be given once: a second value is a usage error, not
    a silent replacement of the first."""

    def __call__(self, parser, namespace, values, option_string=None):
        if getattr(namespace, "_given", None) is None:
            namespace._given = set()
        if self.dest in namespace._given:
            parser.error(f"{option_string} is given twice")
        namespace._given.add(self.dest)
        setattr(namespace, self.dest, True if self.nargs == 0 else values)


class _OnceFlag(_Once):
    def __init__(self, option_strings, dest, **kwargs):
        super().__init__(option_strings, dest, nargs=0, default=False, **kwargs)


class _Parser(argparse.ArgumentParser):
    """Usage errors in one line, with exit status 2."""

    def error(self, message):
        self.exit(USAGE_ERROR, f"{self.prog}: error: {message} (see --help)\n")


# The local cluster's worker processes: one per core by default, at most this many.
MAX_WORKERS = max(64, 4 * (os.cpu_count() or 1))


def parse(argv):
    parser = _Parser(prog="python3 -m velk_batch", description="Batch analyses on a Dask cluster.")
    commands = parser.add_subparsers(dest="command", required=True)
    run = commands.add_parser("run", help="analyse model files and folders of them")
    run.add_argument("models", nargs="+", metavar="MODELS", help="model files, or folders of *.json model files")
    run.add_argument("--out", required=True, action=_Once, metavar="DIR", help="folder of the documents, error files and summary.csv")
    run.add_argument("--scheduler", action=_Once, metavar="ADDRESS", help="use this Dask cluster, e.g. tcp://host:8786")
    run.add_argument("--workers", type=int, action=_Once, metavar="N", help="worker processes of the local cluster (default: one per core)")
    run.add_argument("--force", action=_OnceFlag, help="analyse again models whose document is up to date")
    run.add_argument("--timeout", type=_seconds, action=_Once, metavar="SECONDS",
                     help="a model whose analysis takes longer fails with that reason")
    run.add_argument("--max-members", type=_members, action=_Once, default=100, metavar="N",
                     help="the most members a model may have, 1 to 1000000 (default 100)")
    options = parser.parse_args(argv)
    if options.workers is not None and options.scheduler:
        parser.error("--workers applies to the local cluster, not to --scheduler")
    if options.workers is not None and not 1 <= options.workers <= MAX_WORKERS:
        parser.error(f"--workers must be from 1 to {MAX_WORKERS}")
    return options


def main(argv=None):
    """Runs the batch in a child process of its own process group, which
    this process waits for, passing Ctrl-C (and a termination request) on to
    it alone. Ctrl-C at a terminal goes to the whole foreground group; the
    worker processes of a local cluster, started in the child's group, never
    see it, not even while they start up, before they could ignore it: only
    the batch acts on it, and stops and shuts its cluster down in order."""
    pending = []
    signal.signal(signal.SIGINT, lambda signum, frame: pending.append(signum))
    sys.stdout.flush()
    sys.stderr.flush()
    child = os.fork()
    if child == 0:
        os.setpgid(0, 0)
        status = USAGE_ERROR
        try:
            status = _batch(argv, pending)
        except SystemExit as exit:
            status = exit.code if isinstance(exit.code, int) else (0 if exit.code is None else USAGE_ERROR)
        except BaseException:
            traceback.print_exc()
            status = 1
        finally:
            sys.stdout.flush()
            sys.stderr.flush()
            os._exit(status)

    def forward(signum, frame):
        try:
            os.kill(child, signum)
        except ProcessLookupError:
            pass

    signal.signal(signal.SIGINT, forward)
    signal.signal(signal.SIGTERM, forward)
    for signum in pending:
        forward(signum, None)
    _, status = os.waitpid(child, 0)
    if os.WIFSIGNALED(status):
        signum = os.WTERMSIG(status)
        print(f"velk_batch: the batch process ended with {signal.Signals(signum).name}", file=sys.stderr)
        return 128 + signum
    return os.WEXITSTATUS(status)


def _batch(argv, pending):
    interrupted = Interrupt()
    signal.signal(signal.SIGINT, interrupted)
    signal.signal(signal.SIGTERM, signal.SIG_DFL)
    if pending:
        interrupted.event.set()
    try:
        return _main(argv, interrupted)
    except KeyboardInterrupt:
        # Before the batch began (Dask loading, the cluster starting):
        # nothing was written, and a cluster half started was shut down.
        print(f"velk_batch: {_INTERRUPTED_MESSAGE}", file=sys.stderr)
        return INTERRUPTED


def _start(argv):
    """The options, the models and the cluster with its client; or the exit
    status of a usage error."""
    try:
        requirement.distributed()
    except ModuleNotFoundError as error:
        print(error, file=sys.stderr)
        return USAGE_ERROR
    options = parse(sys.argv[1:] if argv is None else argv)
    try:
        models = model_files(options.models, options.out)
    except _Usage as error:
        print(f"velk_batch: {error}", file=sys.stderr)
        return USAGE_ERROR

    from distributed import Client

    from .local_worker import local_client

    # The batch says in its own words when the cluster fails it (a lost
    # scheduler, a crashed worker); the client's log of its reconnection
    # attempts would put tracebacks beside that. Nothing else of this
    # process logs.
    logging.disable(logging.CRITICAL)
    sys.unraisablehook = _unraisable_but_interrupts
    if options.scheduler:
        client = Client(options.scheduler)
        quiet_timeout_leftovers(client.loop)
        return options, models, None, client
    # The workers' own log lines (a stale folder purged as they start) are
    # not the batch's to show either.
    os.environ["DASK_LOGGING__DISTRIBUTED"] = "critical"
    # Workers stopped by a Ctrl-C leave their semaphores to multiprocessing's
    # resource tracker, which frees them as it ends and warns that it did,
    # after the batch's last word: the freeing is its job, the warning noise.
    os.environ["PYTHONWARNINGS"] = ",".join(
        filter(None, [os.environ.get("PYTHONWARNINGS"), "ignore:resource_tracker:UserWarning"]))
    cluster = local_cluster(options.workers)
    try:
        client = local_client(cluster)
    except BaseException:
        cluster.close()
        raise
    return options, models, cluster, client


_INTERRUPTED_MESSAGE = "interrupted; the documents written so far are complete, run again to resume"


def _close(interrupted, cluster, client):
    interrupted.finished = True
    with interrupted.held_back():
        client.close()
        if cluster is not None:
            cluster.close()


def _main(argv, interrupted):
    started = None
    try:
        with interrupted.held_back():
            started = _start(argv)
    except KeyboardInterrupt:
        # It came while the cluster started; it goes down again.
        if isinstance(started, tuple):
            _close(interrupted, *started[2:])
        raise
    except (BatchError, OSError, ValueError) as error:
        print(f"velk_batch: {error}", file=sys.stderr)
        return 1
    if isinstance(started, int):
        return started
    options, models, cluster, client = started
    progress = Progress(sys.stderr, len(models)) if sys.stderr.isatty() else None
    start = time.monotonic()
    try:
        _, counts = run_items(
            file_items(models, options.out, options.force), options.out, client, total=len(models),
            progress=progress, no_worker_limit=None if options.scheduler else LOCAL_NO_WORKER_LIMIT,
            interrupted=interrupted.is_set, timeout=options.timeout, max_members=options.max_members,
            limit_option="--max-members",
        )
    except KeyboardInterrupt:
        ended = INTERRUPTED, _INTERRUPTED_MESSAGE
    except (BatchError, OSError, ValueError) as error:
        ended = 1, str(error)
    else:
        ended = None
    finally:
        if progress is not None:
            progress.close()
        # The local cluster goes first, so that what its workers say as they
        # stop comes before the batch's last word, not after it. A Ctrl-C
        # from here on changes nothing: the outputs are complete.
        _close(interrupted, cluster, client)
    if ended is not None:
        print(f"velk_batch: {ended[1]}", file=sys.stderr)
        return ended[0]
    elapsed = time.monotonic() - start
    rate = (counts.analysed + counts.failed) / elapsed if elapsed > 0 else 0.0
    print(f"{counts.done} models: {counts.analysed} analysed, {counts.failed} failed, {counts.skipped} skipped "
          f"in {elapsed:.1f} s ({rate:.1f} models/s); summary in {os.path.join(options.out, 'summary.csv')}")
    return 1 if counts.failed else 0


if __name__ == "__main__":
    sys.exit(main())
