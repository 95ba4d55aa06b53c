"""A worker plugin for the tests of worker crashes: the worker ends its own
process abruptly, as a crash of the engine would, when it starts the analysis
of one of the models named."""

import os
import signal

from distributed import WorkerPlugin

from velk_batch.batch import task_model


class CrashOnModels(WorkerPlugin):
    name = "velk-batch-test-crash-on-models"

    def __init__(self, models):
        self.models = frozenset(models)

    def transition(self, key, start, finish, **kwargs):
        if finish == "executing" and task_model(key) in self.models:
            os.kill(os.getpid(), signal.SIGKILL)
