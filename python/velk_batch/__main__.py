"""python3 -m velk_batch run MODELS... --out DIR [--scheduler ADDRESS] [--workers N] [--force]"""

import argparse
import os
import signal
import sys
import threading
import time

from . import requirement
from .batch import (LOCAL_NO_WORKER_LIMIT, BatchError, WorkItem, check_name, local_cluster, output_paths, run_items,
                    writing_a_file)
from .quiet_loop import quiet_timeout_leftovers

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

    def __call__(self, signum, frame):
        self.event.set()
        if not writing_a_file():
            raise KeyboardInterrupt

    def is_set(self):
        return self.event.is_set()


def _unraisable_but_interrupts(unraisable):
    """Python's report of an exception it cannot raise (one in a finalizer),
    but for a KeyboardInterrupt: Python would print "Exception ignored in"
    with a traceback on the terminal for a Ctrl-C the batch acts on anyway."""
    if unraisable.exc_type is not None and issubclass(unraisable.exc_type, KeyboardInterrupt):
        return
    sys.__unraisablehook__(unraisable)


def parse(argv):
    parser = argparse.ArgumentParser(prog="python3 -m velk_batch", description="Batch analyses on a Dask cluster.")
    commands = parser.add_subparsers(dest="command", required=True)
    run = commands.add_parser("run", help="analyse model files and folders of them")
    run.add_argument("models", nargs="+", metavar="MODELS", help="model files, or folders of *.json model files")
    run.add_argument("--out", required=True, metavar="DIR", help="folder of the documents, error files and summary.csv")
    run.add_argument("--scheduler", metavar="ADDRESS", help="use this Dask cluster, e.g. tcp://host:8786")
    run.add_argument("--workers", type=int, metavar="N", help="worker processes of the local cluster (default: one per core)")
    run.add_argument("--force", action="store_true", help="analyse again models whose document is up to date")
    options = parser.parse_args(argv)
    if options.workers is not None and options.scheduler:
        parser.error("--workers applies to the local cluster, not to --scheduler")
    if options.workers is not None and options.workers < 1:
        parser.error("--workers must be at least 1")
    return options


def main(argv=None):
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

    interrupted = Interrupt()
    sys.unraisablehook = _unraisable_but_interrupts
    signal.signal(signal.SIGINT, interrupted)
    progress = Progress(sys.stderr, len(models)) if sys.stderr.isatty() else None
    start = time.monotonic()
    cluster = None
    try:
        if options.scheduler:
            client = Client(options.scheduler)
            quiet_timeout_leftovers(client.loop)
        else:
            cluster = local_cluster(options.workers)
            client = local_client(cluster)
        try:
            _, counts = run_items(
                file_items(models, options.out, options.force), options.out, client, total=len(models),
                progress=progress, no_worker_limit=None if options.scheduler else LOCAL_NO_WORKER_LIMIT,
                interrupted=interrupted.is_set,
            )
        finally:
            if progress is not None:
                progress.close()
            client.close()
    except KeyboardInterrupt:
        ended = INTERRUPTED, "interrupted; the documents written so far are complete, run again to resume"
    except (BatchError, OSError, ValueError) as error:
        ended = 1, str(error)
    else:
        ended = None
    finally:
        # The local cluster goes first, so that what its workers say as they
        # stop comes before the batch's last word, not after it.
        if cluster is not None:
            cluster.close()
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
