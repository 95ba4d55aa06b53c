"""What a worker does for one model: analyse the document text with
velk_calculations (or, for a member limit of its own, with velk_tools.analyse)
and summarise the result, so only the document text and a
few rows travel back. With a time limit the analysis runs in a child process
of the worker, which is ended when the limit passes: a call into the engine
cannot be stopped from outside, a process can."""

import os
import pickle
import select
import signal
import time

from .summary import document_rows, failure_row


# The most members velk_tools.analyse takes, and how its message of a model
# beyond the limit ends: with the keyword that raises it.
MAX_MEMBER_LIMIT = 1000000
_TOOLS_LIMIT_OPTION = "max_members"
_TOOLS_LIMIT_ENDING = f"; raise the limit with {_TOOLS_LIMIT_OPTION}"


def analyse(name, text, timeout=None, max_members=None, option=_TOOLS_LIMIT_OPTION):
    """("ok", document, rows) or ("failed", message, rows); with `timeout`
    seconds, a model whose analysis takes longer fails with that reason.
    Without `max_members` the model may have the 100 members of
    velk_calculations, with it that many; the message of a model beyond it
    names `option`, the spelling of the caller's way to raise it."""
    if timeout is None:
        return _analyse_here(name, text, max_members, option)
    return _analyse_in_child(name, text, timeout, max_members, option)


def timeout_message(timeout):
    return f"Timeout: the analysis took longer than {timeout:g} s"


def _limit_message(message, option):
    """The engine's message, its limit named as the caller spells it."""
    if option != _TOOLS_LIMIT_OPTION and message.startswith("Number of members (") and \
            message.endswith(_TOOLS_LIMIT_ENDING):
        return message[:-len(_TOOLS_LIMIT_OPTION)] + option
    return message


def _analyse_here(name, text, max_members=None, option=_TOOLS_LIMIT_OPTION):
    import velk_calculations

    try:
        if max_members is None:
            document = velk_calculations.calculate_from_json(text)
        else:
            import velk_tools

            document = velk_tools.analyse(text, max_members=max_members)
    except RuntimeError as error:
        return _failed(name, _limit_message(str(error), option))
    except BaseException as error:
        # The engine's fault type derives from BaseException so that ordinary
        # handlers pass it on; here it is one model's failure like any other.
        if type(error).__module__ not in ("velk_calculations", "velk_tools"):
            raise
        return _failed(name, f"Engine fault: {error}")
    return "ok", document, document_rows(name, document)


def _analyse_in_child(name, text, timeout, max_members, option):
    import velk_calculations  # noqa: F401  (imported before the fork, not in the child)

    if max_members is not None:
        import velk_tools  # noqa: F401

    read_end, write_end = os.pipe()
    pid = os.fork()
    if pid == 0:
        # The child: analyse, send the pickled outcome, and leave without
        # running anything of the worker's (no handlers, no finalizers).
        status = 1
        try:
            os.close(read_end)
            signal.signal(signal.SIGINT, signal.SIG_IGN)
            data = pickle.dumps(_analyse_here(name, text, max_members, option))
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
