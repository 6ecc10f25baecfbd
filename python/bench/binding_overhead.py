"""What the Python binding adds to a decode, measured side by side in one process: whole-frame
DecodeData in a plain C loop, the same call from Python through ctypes (no package), and through
framedec.decode; the fixed cost per call from a one-block decode; and two Python threads decoding
at once next to one. Run it with the package installed:
    python python/bench/binding_overhead.py [rounds]"""

from __future__ import annotations

import ctypes
import pathlib
import random
import statistics
import sys
import threading
import time

import numpy as np

import framedec
from framedec import _framedec

IMAGES = pathlib.Path(__file__).resolve().parents[2] / "data" / "images"
CALLS = 10  # whole frames per round and side; rounds run the sides in a random order


def read_pgm(path: pathlib.Path) -> np.ndarray:
    magic, width, height, maxval, pixels = path.read_bytes().split(maxsplit=4)
    return np.frombuffer(pixels, np.uint8, int(width) * int(height)).reshape(int(height), int(width))


def per_call(function, calls: int) -> float:
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


def compare(frame: np.ndarray, rounds: int) -> None:
    library = ctypes.CDLL(str(pathlib.Path(framedec.__file__).parent / "libframedec.so.0"))
    out, block, table = np.empty((1024, 1246), np.uint8), np.empty((8, 8), np.uint8), framedec.DEFAULT_TABLE
    pointers = [ctypes.c_void_p(array.ctypes.data) for array in (out, frame, table)]
    sides = {
        "C loop": lambda: _framedec.time_decode_data(out, 0, 0, 1246, 1024, frame, table, CALLS) / CALLS,
        "ctypes": lambda: per_call(lambda: library.DecodeData(pointers[0], 0, 0, 1246, 1024, 1246, *pointers[1:]),
                                   CALLS),
        "framedec.decode(frame, out=out)": lambda: per_call(lambda: framedec.decode(frame, out=out), CALLS),
        "framedec.decode(frame)": lambda: per_call(lambda: framedec.decode(frame), CALLS),
        "C block": lambda: _framedec.time_decode_data(block, 0, 0, 8, 8, frame, table, 50 * CALLS) / (50 * CALLS),
        "Python block": lambda: per_call(lambda: framedec.decode(frame, rect=(0, 0, 8, 8)), 50 * CALLS),
    }
    times = {name: [] for name in sides}
    for _ in range(rounds):
        for name in random.sample(list(sides), len(sides)):
            times[name].append(sides[name]())
    c = times["C loop"]
    print(f"  whole frame in a C loop: {statistics.median(c) * 1e3:.3f} ms; per-round ratios to it (median):")
    for name in ("ctypes", "framedec.decode(frame, out=out)", "framedec.decode(frame)"):
        print(f"    {name}: {100 * (statistics.median(t / base for t, base in zip(times[name], c)) - 1):+.1f} %")
    added = statistics.median(p - b for p, b in zip(times["Python block"], times["C block"]))
    print(f"  one 8 x 8 block: C {statistics.median(times['C block']) * 1e6:.2f} us, framedec.decode "
          f"{statistics.median(times['Python block']) * 1e6:.2f} us: {added * 1e6:.2f} us per call, "
          f"{100 * added / statistics.median(c):.2f} % of a whole frame")


def main() -> None:
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 200
    print(f"framedec {framedec.__version__}, GPU backend {_framedec.GPU_BACKEND}; {rounds} rounds")
    for name in ("astronaut", "gravel"):
        print(f"{name}:")
        compare(framedec.encode(read_pgm(IMAGES / f"{name}.pgm")), rounds)
    frame = framedec.encode(read_pgm(IMAGES / "astronaut.pgm"))
    one = statistics.median(threaded(frame, 1, 200) for _ in range(3))
    two = statistics.median(threaded(frame, 2, 100) for _ in range(3))
    print(f"200 whole frames: one Python thread {one:.3f} s, two threads {two:.3f} s (speed-up {one / two:.2f})")


if __name__ == "__main__":
    main()
