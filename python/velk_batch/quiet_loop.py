"""The event loops of Dask's client and local cluster, kept quiet when they
stop.

Dask's connections wait on tornado's `with_timeout` futures (the batched
sends to and from the scheduler wake every few milliseconds that way). When a
client or a local cluster closes, its loop is stopped and closed from another
thread: a timeout that fired in the loop's last turn has set TimeoutError on
its future, but the coroutine that would have taken it never runs again. The
future is dropped with the loop, and asyncio reports "Future exception was
never retrieved ... TimeoutError: Timeout" on standard error, after a batch
that went well. Likewise, a wait for a result that timed out (the batch waits
again, longer) leaves the client's gathering task to end later with AllExit,
the client's own signal to stop gathering, which nobody takes either: the
batch reads the outcome from the future itself. Those leftovers, and only
those, are let go here; every other report of the loop goes to asyncio's own
handler."""

import asyncio


def _leftover_exceptions():
    try:
        from distributed.client import AllExit
    except ImportError:
        return (asyncio.TimeoutError,)
    return (asyncio.TimeoutError, AllExit)


def is_timeout_leftover(context):
    """A future or task dropped with its TimeoutError or AllExit untaken."""
    return ("exception was never retrieved" in context.get("message", "")
            and isinstance(context.get("exception"), _leftover_exceptions())
            and isinstance(context.get("future"), asyncio.Future))


def _handler(loop, context):
    if not is_timeout_leftover(context):
        loop.default_exception_handler(context)


def quiet_timeout_leftovers(*loops):
    """Installs the handler on each asyncio loop given, or on the asyncio loop
    of each tornado IOLoop given (a Dask client's or cluster's `.loop`)."""
    for loop in loops:
        loop = getattr(loop, "asyncio_loop", loop)
        if loop is not None:
            loop.set_exception_handler(_handler)
