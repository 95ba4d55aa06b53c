"""Set-up of the worker processes of a local cluster, run in each of them
(restarted ones included) before it takes tasks.

Ctrl-C at a terminal reaches every process of the foreground group, the
workers of a local cluster among them. Only the client acts on it: it stops
the batch and shuts the cluster down in order, so the workers ignore it."""

import signal

from distributed import WorkerPlugin

from .quiet_loop import quiet_timeout_leftovers


class IgnoreInterrupt(WorkerPlugin):
    name = "velk-batch-ignore-interrupt"

    def setup(self, worker):
        signal.signal(signal.SIGINT, signal.SIG_IGN)


def local_client(cluster):
    """A client of a local cluster whose workers leave Ctrl-C to it."""
    from distributed import Client

    client = Client(cluster)
    quiet_timeout_leftovers(client.loop)
    try:
        client.register_worker_plugin(IgnoreInterrupt())
    except BaseException:
        client.close()
        raise
    return client
