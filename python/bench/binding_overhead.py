"""What the Python binding adds to a decode: whole-frame framedec.decode next to the same DecodeData
call in a plain C loop, interleaved in one process, and two Python threads decoding at once next to
one. Run it with the installed package:  python python/bench/binding_overhead.py [rounds]"""

from __future__ import annotations

import pathlib
import statistics
import sys
import threading
import time

import numpy as np

import framedec
from framedec import _framedec

IMAGES = pathlib.Path(__file__).resolve().parents[2] / "data" / "images"
CALLS = 200  # per round and side


def read_pgm(path: pathlib.Path) -> np.ndarray:
    magic, width, height, maxval, pixels = path.read_bytes().split(maxsplit=4)
    return np.frombuffer(pixels, np.uint8, int(width) * int(height)).reshape(int(height), int(width))


def per_call(function, calls: int = CALLS) -> float:
    start = time.perf_counter()
    for _ in range(calls):
        function()
    return (time.perf_counter() - start) / calls


def threaded(frame: np.ndarray, threads: int, calls: int) -> float:
    """Seconds for `threads` Python threads each decoding `calls` whole frames."""
    workers = [threading.Thread(target=lambda: [framedec.decode(frame) for _ in range(calls)]) for _ in range(threads)]
    start = time.perf_counter()
    for worker in workers:
        worker.start()
    for worker in workers:
        worker.join()
    return time.perf_counter() - start


def main() -> None:
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 15
    print(f"framedec {framedec.__version__}, GPU backend {_framedec.GPU_BACKEND}; {rounds} rounds of {CALLS} calls")
    for name in ("astronaut", "gravel"):
        frame = framedec.encode(read_pgm(IMAGES / f"{name}.pgm"))
        out = np.empty((1024, 1246), np.uint8)
        table = framedec.DEFAULT_TABLE
        block = np.empty((8, 8), np.uint8)
        c, into, fresh, c_block, block_calls = [], [], [], [], []
        for _ in range(rounds):
            c.append(_framedec.time_decode_data(out, 0, 0, 1246, 1024, frame, table, CALLS) / CALLS)
            into.append(per_call(lambda: framedec.decode(frame, out=out)))
            fresh.append(per_call(lambda: framedec.decode(frame)))
            c_block.append(_framedec.time_decode_data(block, 0, 0, 8, 8, frame, table, 100 * CALLS) / (100 * CALLS))
            block_calls.append(per_call(lambda: framedec.decode(frame, rect=(0, 0, 8, 8)), 100 * CALLS))
        c_time, into_time, fresh_time = (statistics.median(v) for v in (c, into, fresh))
        added = statistics.median(block_calls) - statistics.median(c_block)
        print(f"{name}: whole frame, C loop {c_time * 1e3:.3f} ms; framedec.decode(frame, out=out) "
              f"{into_time * 1e3:.3f} ms ({100 * (into_time / c_time - 1):+.1f} %); framedec.decode(frame) "
              f"{fresh_time * 1e3:.3f} ms ({100 * (fresh_time / c_time - 1):+.1f} %); one 8 x 8 block: C "
              f"{statistics.median(c_block) * 1e6:.2f} us, Python {statistics.median(block_calls) * 1e6:.2f} us, "
              f"so the binding adds {added * 1e6:.2f} us per call ({100 * added / c_time:.2f} % of the whole frame)")
    frame = framedec.encode(read_pgm(IMAGES / "astronaut.pgm"))
    one = statistics.median(threaded(frame, 1, 2 * CALLS) for _ in range(3))
    two = statistics.median(threaded(frame, 2, CALLS) for _ in range(3))
    print(f"{2 * CALLS} whole frames: one Python thread {one:.3f} s, two threads {two:.3f} s "
          f"(speed-up {one / two:.2f} with the GIL released)")


if __name__ == "__main__":
    main()
