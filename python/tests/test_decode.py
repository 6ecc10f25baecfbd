"""The decoders give the C library's results, for every input form, rectangle and output layout."""

from __future__ import annotations

import mmap
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pytest

import framedec
from conftest import FRAME_KINDS

# Rectangles at the frame's edges, from its lines (in blocks for the preview, from its block rows);
# None is the whole frame. The preview of the last row's last grid position would read past the frame.
PIXEL_RECTS = lambda lines: [None, (0, 0, 8, 8), (1232, lines - 8, 14, 8), (1000, 0, 0, 8)]  # noqa: E731
COEFFICIENT_RECTS = lambda lines: [None, (0, 0, 8, 8), (1232, lines - 16, 16, 16)]  # noqa: E731
BLOCK_RECTS = lambda rows: [None, (150, 0, 10, 1), (0, rows - 1, 160, 1), (159, rows - 2, 1, 2)]  # noqa: E731


@pytest.mark.parametrize("kind", FRAME_KINDS)
def test_every_decoder_equals_the_c_call_at_the_frame_edges(clib, frames, kind):
    frame = frames[kind]
    lines = frame.size // 320
    for rect in PIXEL_RECTS(lines):
        expected = clib.pixels(frame, rect or (0, 0, 1246, lines))
        for threads in (1, 3):
            np.testing.assert_array_equal(framedec.decode(frame, rect=rect, threads=threads), expected)
    for rect in COEFFICIENT_RECTS(lines):
        expected = clib.coefficients(frame, rect or (0, 0, 1248, lines))
        np.testing.assert_array_equal(framedec.decode_coefficients(frame, rect=rect), expected)
    for rect in BLOCK_RECTS(lines // 8):
        expected = clib.preview(frame, rect or (0, 0, 156, lines // 8))
        np.testing.assert_array_equal(framedec.decode_dc(frame, rect=rect), expected)


def test_random_rectangles_equal_the_c_call(clib, frames):
    rng = np.random.default_rng(11)
    frame = frames["random"]
    size = lambda low, high: int(rng.integers(low, high + 1))  # noqa: E731
    for _ in range(60):
        x, y = 8 * size(0, 155), 8 * size(0, 127)
        rect = (x, y, size(1, 1246 - x), size(1, 1024 - y))
        np.testing.assert_array_equal(framedec.decode(frame, rect=rect), clib.pixels(frame, rect))
        rect = (x, y, size(max(1, 8 - x), 1248 - x), size(max(1, 8 - y), 1024 - y))
        np.testing.assert_array_equal(framedec.decode_coefficients(frame, rect=rect), clib.coefficients(frame, rect))
        rect = (x // 8, y // 8, size(1, 160 - x // 8), size(1, 128 - y // 8))
        np.testing.assert_array_equal(framedec.decode_dc(frame, rect=rect), clib.preview(frame, rect))


@pytest.mark.parametrize("table", [
    framedec.quality_table(75).tolist(),
    tuple(range(1, 65)),
    np.arange(64, dtype=np.int32).reshape(8, 8) * 1000,
    np.full(64, 65535, np.uint64),
])
def test_tables_of_any_array_like(clib, frames, table):
    frame = frames["random"]
    np.testing.assert_array_equal(framedec.decode(frame, table), clib.pixels(frame, (0, 0, 1246, 1024), table))
    np.testing.assert_array_equal(framedec.decode_coefficients(frame, table),
                                  clib.coefficients(frame, (0, 0, 1248, 1024), table))


@pytest.mark.parametrize("kind", FRAME_KINDS)
def test_sequence_number_equals_the_c_call(clib, frames, kind):
    frame = frames[kind]
    assert framedec.sequence_number(frame) == clib.sequence_number(frame)
    for number in (0, 1, 4660, 65535):
        assert framedec.sequence_number(framedec.encode(np.zeros((8, 8), np.uint8), sequence=number)) == number


@pytest.mark.parametrize("function, dtype, rect, kwargs", [
    (framedec.decode, np.uint8, (8, 0, 45, 19), {}),
    (framedec.decode, np.uint8, (0, 0, 1246, 24), {"threads": 4}),
    (framedec.decode_coefficients, np.int16, (16, 0, 40, 24), {}),
    (framedec.decode_dc, np.uint8, (140, 0, 20, 3), {}),
])
def test_out_with_a_row_stride_gets_exactly_its_rectangle(frames, function, dtype, rect, kwargs):
    frame = frames["short"]
    expected = function(frame, rect=rect, **kwargs)
    height, width = expected.shape
    canary = np.iinfo(dtype).max
    canvas = np.full((height + 2, width + 9), canary, dtype)
    out = canvas[1:1 + height, 4:4 + width]
    assert function(frame, rect=rect, out=out, **kwargs) is out
    np.testing.assert_array_equal(out, expected)
    canvas[1:1 + height, 4:4 + width] = canary
    assert (canvas == canary).all()


def test_frame_from_any_buffer(frames, tmp_path):
    frame = frames["short"]
    expected = framedec.decode(frame)
    path = tmp_path / "frame.bin"
    path.write_bytes(frame.tobytes())
    with open(path, "rb") as file, mmap.mmap(file.fileno(), 0, access=mmap.ACCESS_READ) as mapped:
        forms = [frame.tobytes(), bytearray(frame.tobytes()), memoryview(frame.tobytes()), mapped,
                 frame.reshape(24, 320), np.repeat(frame, 2)[::2]]
        for form in forms:
            np.testing.assert_array_equal(framedec.decode(form), expected, err_msg=type(form).__name__)


def test_python_threads_decode_at_once_with_the_results_of_one(frames):
    calls = [(framedec.decode, {}), (framedec.decode, {"threads": 2}), (framedec.decode_coefficients, {}),
             (framedec.decode_dc, {})]
    work = [(function, frames[kind], kwargs) for function, kwargs in calls for kind in FRAME_KINDS] * 3
    expected = [function(frame, **kwargs) for function, frame, kwargs in work]
    with ThreadPoolExecutor(max_workers=4) as pool:
        results = list(pool.map(lambda job: job[0](job[1], **job[2]), work))
    for result, wanted in zip(results, expected):
        np.testing.assert_array_equal(result, wanted)


@pytest.mark.parametrize("function, dtype, rect", [
    (framedec.decode, np.uint8, None),
    (framedec.decode, np.uint8, (8, 8, 45, 13)),
    (framedec.decode_coefficients, np.int16, (16, 0, 40, 24)),
    (framedec.decode_dc, np.uint8, (140, 1, 20, 2)),
])
@pytest.mark.parametrize("threads", [None, 1, 3])
def test_a_batch_equals_its_frames_decoded_one_by_one(frames, function, dtype, rect, threads):
    rng = np.random.default_rng(13)
    batch = rng.integers(0, 256, (5, 24, 320), dtype=np.uint8)
    batch[0] = frames["short"].reshape(24, 320)
    expected = np.stack([function(frame, rect=rect) for frame in batch])
    np.testing.assert_array_equal(function(batch, rect=rect, threads=threads), expected)
    np.testing.assert_array_equal(function(list(batch.reshape(5, -1)), rect=rect, threads=threads), expected)
    canary = np.iinfo(dtype).max
    canvas = np.full((5, expected.shape[1] + 2, expected.shape[2] + 9), canary, dtype)
    out = canvas[:, 1:-1, 4:-5]
    assert function(batch[:, :, ::-1][:, :, ::-1], rect=rect, threads=threads, out=out) is out
    np.testing.assert_array_equal(out, expected)
    canvas[:, 1:-1, 4:-5] = canary
    assert (canvas == canary).all()
    assert function(batch[:0], rect=rect).shape == (0,) + expected.shape[1:]


def test_sequence_numbers_of_a_batch(frames):
    batch = [framedec.encode(np.zeros((8, 8), np.uint8), sequence=number) for number in (5, 65535, 0)]
    numbers = framedec.sequence_number(batch)
    assert numbers.dtype == np.uint16 and numbers.tolist() == [5, 65535, 0]
    assert framedec.sequence_number(np.stack(batch).reshape(3, 8, 320)).tolist() == [5, 65535, 0]


def _batch(frames, count=6):
    return np.stack([frames[kind].reshape(-1, 320)[:24] for kind in FRAME_KINDS] * 2)[:count]


# Batches that lie in memory other than packed frame after frame: each frame is read where it is.
LAYOUTS = {
    "every other frame": lambda batch: batch[::2],
    "frames backwards": lambda batch: batch[::-1],
    "broadcast": lambda batch: np.broadcast_to(batch[2], batch.shape),
    "lines apart": lambda batch: np.pad(batch, ((0, 0), (0, 0), (0, 8)))[:, :, :320],
    "column-major": np.asfortranarray,
}


@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("function", [framedec.decode, framedec.decode_coefficients, framedec.decode_dc,
                                      framedec.sequence_number])
def test_a_batch_in_any_layout_decodes_as_its_packed_copy(frames, layout, function):
    batch = LAYOUTS[layout](_batch(frames))
    np.testing.assert_array_equal(function(batch), function(np.ascontiguousarray(batch)))


def test_a_broadcast_batch_is_never_copied_whole():
    tracemalloc = pytest.importorskip("tracemalloc")
    frame = framedec.encode(np.zeros((64, 8), np.uint8))
    batch = np.broadcast_to(frame.reshape(64, 320), (20000, 64, 320))  # 410 MB if copied
    tracemalloc.start()
    try:
        images = framedec.decode(batch, rect=(0, 0, 8, 8))
        peak = tracemalloc.get_traced_memory()[1]
    finally:
        tracemalloc.stop()
    assert images.shape == (20000, 8, 8) and (images == images[0]).all()
    assert peak < 16 * 2**20


SHAPES = {
    "no lines": (lambda frame: framedec.decode(frame, rect=(0, 8, 8, 0)), (0, 8)),
    "no columns": (lambda frame: framedec.decode(frame, rect=(8, 0, 0, 8)), (8, 0)),
    "no coefficient lines": (lambda frame: framedec.decode_coefficients(frame, rect=(0, 8, 16, 0)), (0, 16)),
    "no preview rows": (lambda frame: framedec.decode_dc(frame, rect=(0, 1, 4, 0)), (0, 4)),
    "empty batch": (lambda frame: framedec.decode(np.zeros((0, 16, 320), np.uint8), rect=(0, 0, 8, 8)), (0, 8, 8)),
    "preview of the image's blocks": (framedec.decode_dc, (2, 156)),
}


@pytest.mark.parametrize("name", SHAPES)
def test_shapes_are_numpys(name):
    call, shape = SHAPES[name]
    assert call(np.zeros(16 * 320, np.uint8)).shape == shape
