"""A cluster of its own process group, as an external scheduler with its
workers would be, for the test that loses it in the middle of a batch: prints
the scheduler's address and runs until it is killed. Every analysis on it
takes a tenth of a second, so that a batch of 200 models is still running
when the test kills it."""

import sys
import time

import cloudpickle
from distributed import Client, LocalCluster

import slow_plugin

cloudpickle.register_pickle_by_value(slow_plugin)

if __name__ == "__main__":
    cluster = LocalCluster(n_workers=2, threads_per_worker=1, host="127.0.0.1", dashboard_address="127.0.0.1:0",
                           silence_logs=50)
    client = Client(cluster)
    client.register_worker_plugin(slow_plugin.SlowModels(every=0.1))
    print(cluster.scheduler_address, flush=True)
    while True:
        time.sleep(1)
