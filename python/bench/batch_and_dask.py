"""Frames per second of the ways to decode many frames, side by side in one process: a Python loop
of single decodes, one batch call (frame-parallel on all processors, and on one thread), and a
recording through dask with one and with two worker processes; and the dask scheduler's cost per
chunk, from the same frames in chunks of 1 and of 64. Needs dask and distributed. Run it with the
package installed:
    python python/bench/batch_and_dask.py [frames]"""

from __future__ import annotations

import pathlib
import statistics
import sys
import tempfile
import time

import numpy as np

import framedec

IMAGES = pathlib.Path(__file__).resolve().parents[2] / "data" / "images"


def read_pgm(path: pathlib.Path) -> np.ndarray:
    data = path.read_bytes()
    _, width, height, _ = data.split(maxsplit=4)[:4]
    pixels = int(width) * int(height)  # the last bytes: the first pixel may look like white space
    return np.frombuffer(data[-pixels:], np.uint8).reshape(int(height), int(width))


def seconds(call, repeats: int = 3) -> float:
    """The best of repeats runs (the machine is shared)."""
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        call()
        best = min(best, time.perf_counter() - start)
    return best


def main() -> None:
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 256
    pictures = [read_pgm(path) for path in sorted(IMAGES.glob("*.pgm"))]
    frames = np.stack([framedec.encode(pictures[i % len(pictures)], sequence=i).reshape(-1, 320)
                       for i in range(count)])
    sides = {
        "Python loop of decode(frame)": lambda: [framedec.decode(frame) for frame in frames],
        "decode(batch), threads=1": lambda: framedec.decode(frames, threads=1),
        "decode(batch), all threads": lambda: framedec.decode(frames),
    }
    rounds = {name: [] for name in sides}
    for _ in range(7):  # the sides alternate, so a change of load reaches all of them
        for name, call in sides.items():
            rounds[name].append(seconds(call, 1))
    loop = rounds["Python loop of decode(frame)"]
    print(f"{count} frames of {frames.shape[1]} lines; medians of 7 rounds")
    for name, times in rounds.items():
        speed_up = statistics.median(a / b for a, b in zip(loop, times))
        print(f"{name:30} {count / statistics.median(times):8.1f} frames/s, {speed_up:.2f} x the loop")

    import dask.array as da
    import distributed

    with tempfile.TemporaryDirectory() as folder:
        path = pathlib.Path(folder) / "recording.bin"
        path.write_bytes(frames.tobytes())
        recording = framedec.Recording(path, frames.shape[1])
        for workers in (1, 2):
            with distributed.LocalCluster(n_workers=workers, threads_per_worker=1, host="127.0.0.1",
                                          dashboard_address=None) as cluster, distributed.Client(cluster) as client:
                def run(chunk: int) -> None:
                    client.compute(recording.to_dask(frames_per_chunk=chunk).max(axis=(1, 2))).result()

                run(16)  # workers import framedec
                took = {chunk: seconds(lambda: run(chunk)) for chunk in (1, 16, 64)}
                print(f"dask, {workers} worker(s), 16 frames a chunk: {count / took[16]:8.1f} frames/s")
                if workers == 1:
                    per_chunk = (took[1] - took[64]) / (count - -(-count // 64))
                    print(f"dask scheduler cost per chunk (chunks of 1 against 64, one worker): "
                          f"{per_chunk * 1e3:.2f} ms")
                    empty = da.zeros(count, chunks=1).map_blocks(lambda block: block)
                    per_task = seconds(lambda: client.compute(empty.sum()).result()) / count
                    print(f"dask cost per chunk of an empty task (one worker): {per_task * 1e3:.2f} ms")


if __name__ == "__main__":
    main()
