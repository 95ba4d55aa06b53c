"""What a worker does for one model: analyse the document text with
velk_calculations and summarise the result, so only the document text and a
few rows travel back. With a time limit the analysis runs in a child process
of the worker, which is ended when the limit passes: a call into the engine
cannot be stopped from outside, a process can."""

import os
import pickle
import select
import signal
import time

from .summary import document_rows, failure_row


def analyse(name, text, timeout=None):
    """("ok", document, rows) or ("failed", message, rows); with `timeout`
    seconds, a model whose analysis takes longer fails with that reason."""
    if timeout is None:
        return _analyse_here(name, text)
    return _analyse_in_child(name, text, timeout)


def timeout_message(timeout):
    return f"Timeout: the analysis took longer than {timeout:g} s"


def _analyse_here(name, text):
    import velk_calculations

    try:
        document = velk_calculations.calculate_from_json(text)
    except RuntimeError as error:
        return _failed(name, str(error))
    except BaseException as error:
        # The engine's fault type derives from BaseException so that ordinary
        # handlers pass it on; here it is one model's failure like any other.
        if type(error).__module__ != "velk_calculations":
            raise
        return _failed(name, f"Engine fault: {error}")
    return "ok", document, document_rows(name, document)


def _analyse_in_child(name, text, timeout):
    import velk_calculations  # noqa: F401  (imported before the fork, not in the child)

    read_end, write_end = os.pipe()
    pid = os.fork()
    if pid == 0:
        # The child: analyse, send the pickled outcome, and leave without
        # running anything of the worker's (no handlers, no finalizers).
        status = 1
        try:
            os.close(read_end)
            signal.signal(signal.SIGINT, signal.SIG_IGN)
            data = pickle.dumps(_analyse_here(name, text))
            with os.fdopen(write_end, "wb") as pipe:
                pipe.write(data)
            status = 0
        finally:
            os._exit(status)
    os.close(write_end)
    chunks = []
    deadline = time.monotonic() + timeout
    timed_out = False
    try:
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                timed_out = True
                break
            ready, _, _ = select.select([read_end], [], [], left)
            if not ready:
                continue
            chunk = os.read(read_end, 1 << 20)
            if not chunk:
                break
            chunks.append(chunk)
    finally:
        os.close(read_end)
        if timed_out:
            os.kill(pid, signal.SIGKILL)
        _, status = os.waitpid(pid, 0)
    if timed_out:
        return _failed(name, timeout_message(timeout))
    if os.WIFSIGNALED(status):
        signal_name = signal.Signals(os.WTERMSIG(status)).name
        return _failed(name, f"Worker crash: the analysis of this model ended its process ({signal_name})")
    if not chunks or os.WEXITSTATUS(status) != 0:
        return _failed(name, "Worker crash: the analysis of this model ended its process without a result")
    return pickle.loads(b"".join(chunks))


def _failed(name, message):
    return "failed", message, [failure_row(name, message)]
