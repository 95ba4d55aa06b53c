"""The client side of a batch: models go to the cluster as tasks, a few at a
time, and their documents are written as they come back."""

import asyncio
import dataclasses
import io
import os
import tempfile
import threading
import time
import uuid

from . import requirement, summary
from .quiet_loop import quiet_timeout_leftovers
from .task import analyse

_KILLED_WORKER_MESSAGE = (
    "Worker crash: the analysis of this model ended its worker process each time it was tried "
    "(the cluster gives up on a task after allowed-failures + 1 crashes)"
)


# How long a local cluster may be without workers before the batch gives up.
LOCAL_NO_WORKER_LIMIT = 120.0


class BatchError(Exception):
    """A batch that cannot go on: the cluster failed, not a model."""


@dataclasses.dataclass(frozen=True)
class WorkItem:
    """One model of a batch: its document `text` to analyse; or `failure`, the
    message of a model that failed before it could be sent; or, for a model
    whose output is already there and gives its rows, `reread`, which gives
    the model as an item to analyse should that output turn out unreadable."""

    name: str
    text: str | None = None
    failure: str | None = None
    reread: object = None


# Task keys name their model, so that the scheduler's and workers' logs do.
TASK_KEY_PREFIX = "velk-analyse-"


def task_key(name):
    return f"{TASK_KEY_PREFIX}{name}-{uuid.uuid4().hex[:12]}"


def task_model(key):
    """The model a key of task_key() names; None for any other key."""
    if not isinstance(key, str) or not key.startswith(TASK_KEY_PREFIX):
        return None
    return key[len(TASK_KEY_PREFIX):].rsplit("-", 1)[0]


def local_cluster(workers=None):
    """A Dask cluster on this machine: `workers` worker processes (one per
    core unless given) of one thread each, on the loopback address. A task is
    given up after it has ended its worker's process twice, and each worker
    holds only the task it runs, so a crash counts against that model alone."""
    import logging

    distributed = requirement.distributed()
    import dask

    settings = {
        "distributed.scheduler.allowed-failures": 1,
        "distributed.scheduler.worker-saturation": 1.0,
    }
    with dask.config.set(settings):
        cluster = distributed.LocalCluster(
            n_workers=workers or os.cpu_count() or 1,
            threads_per_worker=1,
            processes=True,
            host="127.0.0.1",
            dashboard_address="127.0.0.1:0",  # any free port: several clusters may run side by side
            # The batch reports every model that fails and every loss of the
            # cluster itself; the scheduler's and workers' own error lines
            # (a heartbeat that meets the scheduler gone as a Ctrl-C shuts
            # the cluster down) would be tracebacks beside its messages.
            silence_logs=logging.CRITICAL,
        )
    quiet_timeout_leftovers(cluster.loop)
    return cluster


def check_name(name):
    """A model name becomes file names in the output folder."""
    if not isinstance(name, str) or not name or name in (".", "..") or "/" in name or "\0" in name:
        raise ValueError(f"model name {name!r} cannot name a file in the output folder")
    if name.startswith("."):
        raise ValueError(f"model name {name!r} starts with a dot, which output files may not")


def output_paths(out, name):
    return os.path.join(out, name + ".json"), os.path.join(out, name + ".error.txt")


def _file_mode():
    """The mode an ordinary new file gets under the process's umask."""
    umask = os.umask(0o022)
    os.umask(umask)
    return 0o666 & ~umask


# Files being written by this process. A Ctrl-C that comes while one is
# (between the temporary file's creation and its rename or removal) waits
# until it is done: see writing_a_file().
_files_being_written = 0


def writing_a_file():
    """True while _write_atomically() is at work: an interrupt raised then
    could leave its temporary file behind."""
    return _files_being_written > 0


def _write_atomically(path, data, mode):
    """Writes under a temporary name in the same folder, then renames: the
    file at `path` is always absent or complete, and no temporary is left."""
    global _files_being_written
    folder, base = os.path.split(path)
    _files_being_written += 1
    try:
        handle, temporary = tempfile.mkstemp(dir=folder, prefix=f".{base}.", suffix=".tmp")
        try:
            with os.fdopen(handle, "wb") as f:
                os.fchmod(f.fileno(), mode)
                f.write(data)
            os.replace(temporary, path)
        except BaseException:
            try:
                os.unlink(temporary)
            except FileNotFoundError:
                pass
            raise
    finally:
        _files_being_written -= 1


def _remove(path):
    try:
        os.unlink(path)
    except FileNotFoundError:
        pass


def _scheduler_lost(client):
    """The message of a batch whose scheduler went away: the client then
    cancels every task it had."""
    address = getattr(getattr(client, "scheduler", None), "address", None)
    where = f"the scheduler at {address}" if address else "the scheduler"
    return (f"lost the connection to {where}; the documents written so far are complete, "
            "run again to resume")


def _scheduler_gone(client, patience=10.0):
    """Whether the client has lost its scheduler, given the few seconds its
    heartbeat takes to notice."""
    deadline = time.monotonic() + patience
    while client.status == "running" and time.monotonic() < deadline:
        time.sleep(0.05)
    return client.status != "running"


class _Counts:
    def __init__(self, total):
        self.total, self.analysed, self.failed, self.skipped = total, 0, 0, 0

    @property
    def done(self):
        return self.analysed + self.failed + self.skipped


class _WorkerWatch:
    """Calls the batch off when the cluster has had no worker for `limit`
    seconds: tasks would wait for ever. (Dask may close workers for good, e.g.
    after failing to fetch a result from a worker that died.)"""

    def __init__(self, client, limit, pending):
        self.client, self.limit, self.pending = client, limit, pending
        self.stop = threading.Event()
        self.reason = None
        self.thread = threading.Thread(target=self._watch, name="velk-batch-worker-watch", daemon=True)
        self.thread.start()

    def _watch(self):
        idle_since = None
        while not self.stop.wait(min(1.0, self.limit / 4)):
            try:
                workers = len(self.client.nthreads())
            except Exception:
                continue
            if workers:
                idle_since = None
                continue
            idle_since = idle_since or time.monotonic()
            if time.monotonic() - idle_since >= self.limit:
                self.reason = f"the cluster has had no workers for {self.limit:g} s"
                self.client.cancel(list(self.pending.copy()))
                return

    def close(self):
        self.stop.set()
        self.thread.join()


def run_items(items, out, client, *, total=None, progress=None, no_worker_limit=None, interrupted=None,
              timeout=None, max_members=None, limit_option="max_members"):
    """Runs the batch on the WorkItem of each model that `items` yields.
    Returns the summary rows in summary order (also written to
    out/summary.csv) and the counts. With `no_worker_limit` seconds, a
    cluster left without workers that long ends the batch with BatchError.
    `interrupted()` true stops the batch with KeyboardInterrupt after the
    model at hand. With `timeout` seconds, a model whose analysis takes
    longer fails with that reason and the batch goes on. With `max_members`
    a model may have that many members instead of 100 (velk_tools.analyse);
    the message of a model beyond it names `limit_option`."""
    requirement.distributed()
    from distributed import as_completed
    from distributed.scheduler import KilledWorker

    os.makedirs(out, exist_ok=True)
    mode = _file_mode()
    rows = {}
    counts = _Counts(total)
    seen = set()

    def finish(name, status, payload, model_rows):
        document_path, error_path = output_paths(out, name)
        if status == "ok":
            _write_atomically(document_path, payload.encode("utf-8"), mode)
            _remove(error_path)
            counts.analysed += 1
        else:
            _write_atomically(error_path, (payload + "\n").encode("utf-8"), mode)
            _remove(document_path)
            counts.failed += 1
        rows[name] = model_rows

    def skipped(name):
        document_path, _ = output_paths(out, name)
        try:
            with open(document_path, encoding="utf-8") as f:
                model_rows = summary.document_rows(name, f.read())
        except (OSError, ValueError, KeyError, TypeError, AttributeError):
            return False  # unreadable: analysed again
        rows[name] = model_rows
        counts.skipped += 1
        return True

    threads = sum(client.nthreads().values()) or 1
    window = 4 * threads + 8  # models in flight: the cluster stays busy, memory stays small
    pending = {}
    completed = as_completed()
    models = iter(items)

    def submit_more():
        while len(pending) < window:
            item = next(models, None)
            if item is None:
                return
            name = item.name
            check_name(name)
            if name in seen:
                raise ValueError(f"two models are named {name!r}")
            seen.add(name)
            if item.reread is not None:
                if skipped(name):
                    report()
                    continue
                item = item.reread()
            if item.failure is not None:
                finish(name, "failed", item.failure, [summary.failure_row(name, item.failure)])
                report()
                continue
            if not isinstance(item.text, str):
                raise TypeError(f"the document of {name!r} is {type(item.text).__name__}, not str")
            future = client.submit(analyse, name, item.text, timeout, max_members, limit_option,
                                   key=task_key(name), pure=False)
            pending[future] = name
            completed.add(future)

    def fetch(future, pending_name):
        # A result lost with its worker is computed again before it arrives;
        # without any worker left that would be never.
        # The wait grows, so a slow transfer gets as long as it needs.
        wait = 5.0
        while True:
            try:
                return future.result(timeout=wait)
            except TimeoutError:
                if watch is not None and watch.reason is not None:
                    raise BatchError(watch.reason) from None
                if client.status != "running":
                    raise BatchError(_scheduler_lost(client)) from None
                wait = min(2 * wait, 300.0)
            except OSError:  # after TimeoutError, one of its kind
                # A connection closed under the transfer: the scheduler's or
                # the worker's that held the result.
                if _scheduler_gone(client):
                    raise BatchError(_scheduler_lost(client)) from None
                raise
            except (Exception, asyncio.CancelledError):
                # The scheduler went away between the future finishing and its
                # result arriving: the client cancels the future, and Dask
                # raises its reason, whatever it is (a CancelledError, or a
                # TypeError for a reason that is no exception).
                if future.status != "cancelled" and client.status == "running":
                    raise
                if _scheduler_gone(client):
                    raise BatchError(_scheduler_lost(client)) from None
                raise BatchError(f"the analysis of {pending_name} stopped the batch: cancelled") from None

    def report():
        if progress is not None:
            progress(counts)

    watch = _WorkerWatch(client, no_worker_limit, pending) if no_worker_limit else None
    try:
        submit_more()
        for future in completed:
            name = pending.pop(future)
            if future.status in ("lost", "pending"):
                # Its result was on a worker that died before the result was
                # fetched: the scheduler computes it again, wait for that.
                pending[future] = name
                completed.add(future)
                continue
            if future.status == "finished":
                finish(name, *fetch(future, name))
            else:
                error = future.exception() if future.status == "error" else None
                if isinstance(error, KilledWorker):
                    finish(name, "failed", _KILLED_WORKER_MESSAGE, [summary.failure_row(name, _KILLED_WORKER_MESSAGE)])
                else:
                    if watch is not None and watch.reason is not None:
                        raise BatchError(watch.reason)
                    if future.status == "cancelled" and client.status != "running":
                        raise BatchError(_scheduler_lost(client))
                    reason = f"{type(error).__name__}: {error}" if error is not None else future.status
                    raise BatchError(f"the analysis of {name} stopped the batch: {reason}")
            del future
            report()
            if interrupted is not None and interrupted():
                raise KeyboardInterrupt
            submit_more()
    except BatchError:
        raise
    except (Exception, asyncio.CancelledError):
        # Whatever a call into Dask raises once the scheduler has gone is
        # that, in the batch's own words.
        if _scheduler_gone(client):
            raise BatchError(_scheduler_lost(client)) from None
        raise
    finally:
        if watch is not None:
            watch.close()
        # Models still running are called off; finished ones are let go.
        # Without a scheduler there is nothing to call off, and asking would
        # only wait for a connection that never comes.
        running = [future for future in pending if not future.done()]
        pending.clear()
        if running and client.status == "running":
            try:
                client.cancel(running)
            except OSError:
                pass

    ordered = [row for name in sorted(rows) for row in rows[name]]
    text = io.StringIO()
    summary.write_csv(text, ordered)
    _write_atomically(os.path.join(out, "summary.csv"), text.getvalue().encode("utf-8"), mode)
    return ordered, counts


def run(documents, out, client=None, *, progress=None, timeout=None, max_members=None):
    """Analyses each (name, document text) of `documents` on a Dask cluster:
    `client`'s, or a local cluster started for the call and shut down after
    it. Writes out/<name>.json or out/<name>.error.txt as the models finish
    and out/summary.csv at the end; returns the summary rows (SummaryRow).
    With `timeout` seconds, a model whose analysis takes longer fails with
    that reason. With `max_members`, a model may have that many members
    instead of the 100 of velk_calculations."""
    try:
        total = len(documents)
    except TypeError:
        total = None
    items = (WorkItem(name, text) for name, text in documents)
    if client is not None:
        return run_items(items, out, client, total=total, progress=progress, timeout=timeout,
                         max_members=max_members)[0]
    requirement.distributed()
    from .local_worker import local_client

    with local_cluster() as cluster, local_client(cluster) as own_client:
        return run_items(items, out, own_client, total=total, progress=progress,
                         no_worker_limit=LOCAL_NO_WORKER_LIMIT, timeout=timeout, max_members=max_members)[0]
