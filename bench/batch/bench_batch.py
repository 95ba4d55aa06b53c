"""Models per second for the 100-member frame of the benchmarks: serially in
one process, and as a batch on a local Dask cluster of one worker process per
core; and the cost Dask adds to every model.

    PYTHONPATH=build/python:python python3 bench/batch/bench_batch.py build/bench/write_bench_frame
"""

import os
import subprocess
import sys
import tempfile
import time

import velk_batch
import velk_calculations
from velk_batch.local_worker import local_client
from velk_batch.task import analyse

SERIAL_MODELS = 200
BATCH_MODELS = 400
EMPTY_MODELS = 1000


def rate(count, seconds):
    return count / seconds


def timed(function):
    start = time.perf_counter()
    function()
    return time.perf_counter() - start


def main(write_frame):
    frame = subprocess.run([write_frame], check=True, capture_output=True, text=True).stdout
    velk_calculations.calculate_from_json(frame)  # warm

    serial = timed(lambda: [velk_calculations.calculate_from_json(frame) for _ in range(SERIAL_MODELS)])
    with_rows = timed(lambda: [analyse("frame", frame) for _ in range(SERIAL_MODELS)])
    workers = os.cpu_count() or 1
    print(f"machine: {workers} cores, load average {os.getloadavg()[0]:.1f} at the start")
    print(f"serial, one process:     {rate(SERIAL_MODELS, serial):8.1f} models/s "
          f"({1e3 * serial / SERIAL_MODELS:.2f} ms per analysis)")
    print(f"  with the summary rows: {rate(SERIAL_MODELS, with_rows):8.1f} models/s "
          f"({1e3 * with_rows / SERIAL_MODELS:.2f} ms per model, the worker's whole task)")

    with tempfile.TemporaryDirectory() as out, velk_batch.local_cluster(workers) as cluster, \
            local_client(cluster) as client:
        velk_batch.run([(f"warm{i}", frame) for i in range(2 * workers)], out=out, client=client)
        batch = timed(lambda: velk_batch.run([(f"frame{i:04d}", frame) for i in range(BATCH_MODELS)],
                                             out=out, client=client))
        empty = timed(lambda: velk_batch.run([(f"empty{i:04d}", "{}") for i in range(EMPTY_MODELS)],
                                             out=out, client=client))
    per_model = with_rows / SERIAL_MODELS
    print(f"local cluster, {workers} workers: {rate(BATCH_MODELS, batch):8.1f} models/s "
          f"({rate(BATCH_MODELS, batch) / rate(SERIAL_MODELS, serial):.2f} x the serial analysis, "
          f"{rate(BATCH_MODELS, batch) / rate(SERIAL_MODELS, with_rows):.2f} x serial with the summary rows)")
    print(f"per-task overhead: {1e3 * (workers * batch / BATCH_MODELS - per_model):.2f} ms of worker time per model "
          f"beyond the task itself (from the frame batch)")
    print(f"  instantly rejected models: {rate(EMPTY_MODELS, empty):8.1f} models/s, "
          f"{1e3 * empty / EMPTY_MODELS:.2f} ms per model through scheduler, worker and output files")


if __name__ == "__main__":
    main(sys.argv[1])
