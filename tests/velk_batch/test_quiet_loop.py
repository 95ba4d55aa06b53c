"""The batch leaves nothing on the terminal as it ends: the event loops of its
client and local cluster stop without asyncio's "exception was never
retrieved" reports for the timeouts Dask's connections leave behind, with
every other report intact; a Ctrl-C that lands in a finalizer is no
"Exception ignored" traceback, and one that lands while a file is written
leaves the file complete and no temporary beside it."""

import asyncio
import datetime
import gc
import os
import signal
import subprocess
import sys
import tempfile
import unittest
from unittest import mock

from tornado import gen

import velk_batch
from velk_batch import batch
from velk_batch.__main__ import Interrupt
from velk_batch.local_worker import local_client
from velk_batch.quiet_loop import quiet_timeout_leftovers


def drop_with_loop(loop, futures):
    """Closes the loop and lets the futures go, as a stopped client does."""
    loop.close()
    futures.clear()
    gc.collect()


class TimeoutLeftoverTest(unittest.TestCase):
    def timed_out_future(self, loop):
        # tornado's with_timeout, as Dask's batched sends wait: the timeout
        # fires in the loop's last turn and nobody awaits the future again.
        async def arm():
            return gen.with_timeout(datetime.timedelta(seconds=0.001), asyncio.get_running_loop().create_future())

        future = loop.run_until_complete(arm())
        while not future.done():  # done() leaves the exception untaken
            loop.run_until_complete(asyncio.sleep(0.01))
        return future

    def test_a_loop_without_the_handler_reports_the_leftover(self):
        # The report the batch used to leave after its progress bar.
        loop = asyncio.new_event_loop()
        futures = [self.timed_out_future(loop)]
        with self.assertLogs("asyncio", level="ERROR") as logs:
            drop_with_loop(loop, futures)
        self.assertIn("Future exception was never retrieved", logs.output[0])
        self.assertIn("TimeoutError: Timeout", logs.output[0])

    def test_the_timeout_leftover_is_let_go(self):
        loop = asyncio.new_event_loop()
        quiet_timeout_leftovers(loop)
        futures = [self.timed_out_future(loop)]
        with self.assertNoLogs("asyncio"):
            drop_with_loop(loop, futures)

    def test_a_gathering_task_ended_with_allexit_is_let_go(self):
        from distributed.client import AllExit

        async def gathering():
            raise AllExit()

        loop = asyncio.new_event_loop()
        quiet_timeout_leftovers(loop)
        futures = [loop.create_task(gathering())]
        loop.run_until_complete(asyncio.sleep(0.01))
        self.assertTrue(futures[0].done())
        with self.assertNoLogs("asyncio"):
            drop_with_loop(loop, futures)

    def test_every_other_report_stays(self):
        loop = asyncio.new_event_loop()
        quiet_timeout_leftovers(loop)
        futures = [loop.create_future()]
        futures[0].set_exception(ValueError("a real fault"))
        with self.assertLogs("asyncio", level="ERROR") as logs:
            drop_with_loop(loop, futures)
        self.assertIn("Future exception was never retrieved", logs.output[0])
        self.assertIn("ValueError: a real fault", logs.output[0])

        loop = asyncio.new_event_loop()
        quiet_timeout_leftovers(loop)
        with self.assertLogs("asyncio", level="ERROR") as logs:
            loop.call_exception_handler({"message": "Exception in callback", "exception": asyncio.TimeoutError()})
        self.assertIn("Exception in callback", logs.output[0])
        loop.close()

    def test_the_batchs_own_loops_carry_the_handler(self):
        with velk_batch.local_cluster(1) as cluster, local_client(cluster) as client:
            for loop in (cluster.loop, client.loop):
                self.assertEqual(loop.asyncio_loop.get_exception_handler().__module__, "velk_batch.quiet_loop")


class InterruptTest(unittest.TestCase):
    def test_only_the_interrupt_is_let_go(self):
        # A finalizer that Ctrl-C interrupts, and one with a real fault.
        code = ("import sys\n"
                "from velk_batch.__main__ import _unraisable_but_interrupts\n"
                "sys.unraisablehook = _unraisable_but_interrupts\n"
                "class Interrupted:\n    def __del__(self): raise KeyboardInterrupt\n"
                "class Faulty:\n    def __del__(self): raise ValueError('a real fault')\n"
                "Interrupted()\nFaulty()\nprint('went on')\n")
        result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=120)
        self.assertEqual((result.returncode, result.stdout), (0, "went on\n"), result.stderr)
        self.assertNotIn("KeyboardInterrupt", result.stderr)
        self.assertEqual(result.stderr.count("Exception ignored in"), 1, result.stderr)
        self.assertIn("ValueError: a real fault", result.stderr)

    def test_an_interrupt_while_a_file_is_written_waits_for_it(self):
        handler = Interrupt()
        make_temporary = tempfile.mkstemp

        def ctrl_c_once_the_temporary_is_made(*args, **kwargs):
            made = make_temporary(*args, **kwargs)
            signal.raise_signal(signal.SIGINT)  # the handler runs before this returns
            return made

        previous = signal.signal(signal.SIGINT, handler)
        try:
            with tempfile.TemporaryDirectory() as folder:
                with mock.patch.object(batch.tempfile, "mkstemp", ctrl_c_once_the_temporary_is_made):
                    batch._write_atomically(os.path.join(folder, "model.json"), b'{"a": 1}', 0o644)
                self.assertEqual(os.listdir(folder), ["model.json"])
                with open(os.path.join(folder, "model.json"), "rb") as f:
                    self.assertEqual(f.read(), b'{"a": 1}')
        finally:
            signal.signal(signal.SIGINT, previous)
        self.assertTrue(handler.is_set())  # the batch takes it up after the model at hand
        self.assertFalse(batch.writing_a_file())
        with self.assertRaises(KeyboardInterrupt):  # outside a write it stops at once
            handler(signal.SIGINT, None)
