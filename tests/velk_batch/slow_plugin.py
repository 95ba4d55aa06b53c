"""A worker plugin for the tests of slow models and lost schedulers: the
analysis of the models named takes the seconds given (of every model, `every`
seconds) before it runs, in the worker or in the child process a time limit
runs it in."""

import time

from distributed import WorkerPlugin


class SlowModels(WorkerPlugin):
    name = "velk-batch-test-slow-models"

    def __init__(self, seconds_of=None, every=0.0):
        self.seconds_of = dict(seconds_of or {})
        self.every = every

    def setup(self, worker):
        import velk_batch.task as task

        analyse_here = getattr(task._analyse_here, "velk_test_original", task._analyse_here)
        seconds_of, every = self.seconds_of, self.every

        def slow(name, text, *limit):
            time.sleep(seconds_of.get(name, every))
            return analyse_here(name, text, *limit)

        slow.velk_test_original = analyse_here
        task._analyse_here = slow
