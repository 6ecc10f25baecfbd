"""What a batch costs beyond its frames, side by side in one process: a batch of two small frames
on the default threads (the worker pool) and on the calling thread alone, rounds alternating; and
how long a SIGINT sent 1 s into a long batch takes to raise KeyboardInterrupt. Run it with the
package installed:
    python python/bench/batch_latency.py"""

from __future__ import annotations

import os
import signal
import statistics
import threading
import time
import timeit

import numpy as np

import framedec


def small_batches(rounds: int = 7, calls: int = 20000) -> None:
    frame = framedec.encode(np.zeros((8, 64), np.uint8)).reshape(8, 320)
    two = np.stack([frame, frame])
    sides = {"default threads": None, "threads=1": 1}
    times = {name: [] for name in sides}
    for _ in range(rounds):
        for name, threads in sides.items():
            times[name].append(timeit.timeit(lambda: framedec.decode(two, threads=threads), number=calls) / calls)
    for name, seconds in times.items():
        print(f"two 8-line frames, {name:16} {statistics.median(seconds) * 1e6:6.1f} us per call (median of {rounds})")


def interrupt_latency(frames: int = 3000) -> None:
    frame = framedec.encode(np.random.default_rng(1).integers(0, 256, (1024, 1246), dtype=np.uint8))
    batch = np.broadcast_to(frame.reshape(1024, 320), (frames, 1024, 320))
    out = np.empty((frames, 1024, 1246), np.uint8)
    threading.Timer(1.0, lambda: os.kill(os.getpid(), signal.SIGINT)).start()
    start = time.perf_counter()
    try:
        framedec.decode(batch, out=out)
        print(f"the {frames}-frame batch ended before the SIGINT ({time.perf_counter() - start:.2f} s)")
    except KeyboardInterrupt:
        print(f"SIGINT at 1.00 s into a {frames}-frame batch: KeyboardInterrupt at {time.perf_counter() - start:.2f} s")


if __name__ == "__main__":
    small_batches()
    interrupt_latency()
