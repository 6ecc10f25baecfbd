"""Frames per second of a whole recording decoded on every processor through the batch path, beside
libjpeg-turbo decoding the same frames as quality-90 greyscale JPEGs on as many threads (through
Pillow, whose wheels carry libjpeg-turbo and release the GIL while they decode). The sides take
turns, round after round, so that a change of load reaches all of them; each rate is the median.
Needs Pillow. Run it with the package installed:
    python python/bench/recording_rates.py [frames (1000)] [rounds (5)]"""

from __future__ import annotations

import concurrent.futures
import io
import os
import pathlib
import statistics
import sys
import tempfile
import time

import numpy as np

import framedec

IMAGES = pathlib.Path(__file__).resolve().parents[2] / "data" / "images"
JPEG_QUALITY = 90
IMAGE_WIDTH = 1246


def read_pgm(path: pathlib.Path) -> np.ndarray:
    data = path.read_bytes()
    _, width, height, _ = data.split(maxsplit=4)[:4]
    pixels = int(width) * int(height)  # the last bytes: the first pixel may look like white space
    return np.frombuffer(data[-pixels:], np.uint8).reshape(int(height), int(width))


def main() -> None:
    try:
        from PIL import Image, features
    except ImportError:
        sys.exit("this benchmark needs Pillow (pip install Pillow)")
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    threads = os.cpu_count() or 1
    pictures = [read_pgm(path) for path in sorted(IMAGES.glob("*.pgm"))]
    frames = np.stack([framedec.encode(pictures[i % len(pictures)], sequence=i).reshape(-1, 320)
                       for i in range(count)])
    # One JPEG per picture, made from what framedec decodes, so that both sides decode the same pixels.
    jpegs = []
    for frame in frames[:len(pictures)]:
        buffer = io.BytesIO()
        Image.fromarray(framedec.decode(frame)).save(buffer, "JPEG", quality=JPEG_QUALITY)
        jpegs.append(buffer.getvalue())

    def libjpeg_turbo(pool: concurrent.futures.Executor) -> None:
        def one(i: int) -> np.ndarray:
            return np.asarray(Image.open(io.BytesIO(jpegs[i % len(jpegs)])))
        list(pool.map(one, range(count), chunksize=16))

    with tempfile.TemporaryDirectory() as folder, \
            concurrent.futures.ThreadPoolExecutor(threads) as pool:
        path = pathlib.Path(folder) / "recording.bin"
        path.write_bytes(frames.tobytes())
        # A new output array for every batch pays the system's first touch of each of its pages (1.3 GB
        # for 1,000 full frames); a host decoding a stream reuses its buffers, as out= does.
        out = np.empty((count, frames.shape[1], IMAGE_WIDTH), np.uint8)
        with framedec.Recording(path, frames.shape[1]) as recording:
            sides = {
                "decode(batch), frames in memory": lambda: framedec.decode(frames, threads=threads),
                "decode(batch, out=), a reused output": lambda: framedec.decode(frames, threads=threads, out=out),
                "Recording.images[:], from the file": lambda: recording.images[:],
                "libjpeg-turbo (Pillow), JPEGs in memory": lambda: libjpeg_turbo(pool),
            }
            times = {name: [] for name in sides}
            for call in sides.values():
                call()  # once unmeasured: the file cached, the threads started
            for _ in range(rounds):
                for name, call in sides.items():
                    start = time.perf_counter()
                    call()
                    times[name].append(time.perf_counter() - start)
    import PIL
    turbo = features.version("libjpeg_turbo") if features.check_feature("libjpeg_turbo") else None
    print(f"{count} frames of {frames.shape[1]} lines, {threads} threads, medians of {rounds} rounds "
          f"(Pillow {PIL.__version__}, " + (f"libjpeg-turbo {turbo})" if turbo else "WITHOUT libjpeg-turbo)"))
    jpeg_rate = count / statistics.median(times["libjpeg-turbo (Pillow), JPEGs in memory"])
    for name, taken in times.items():
        rate = count / statistics.median(taken)
        print(f"{name:42} {rate:8.1f} frames/s, {rate / jpeg_rate:.2f} x libjpeg-turbo")


if __name__ == "__main__":
    main()
