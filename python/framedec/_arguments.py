"""Checks and conversions of the arguments the public functions share.

Everything the library cannot check for itself is checked here, before any call: that a frame has
a frame's length, that a rectangle lies within the frame's lines and columns, that an output array
has the shape, type and layout the call writes and is apart from the frame. The finer rules on
rectangles (alignment, the image's width) are the library's: a refusal comes back as result code 5.
An argument of the wrong kind raises TypeError; one of the right kind but a refused value, shape or
dtype raises ArgumentError. Each message names the one argument that is wrong.
"""

from __future__ import annotations

import operator
from typing import Any, NamedTuple, Optional, Tuple

import numpy as np

from . import _framedec as _native
from ._errors import ArgumentError
from ._processors import usable_processors

BLOCK_SIZE: int = _native.BLOCK_SIZE
BYTES_PER_LINE: int = _native.FRAME_BYTES_PER_LINE
MAX_LINES: int = _native.MAX_IMAGE_HEIGHT
IMAGE_WIDTH: int = _native.MAX_IMAGE_WIDTH  # pixels of an image
BLOCKS_WIDTH: int = _native.PADDED_IMAGE_WIDTH  # pixels of the image's whole blocks
GRID_COLUMNS: int = _native.GRID_POSITIONS_PER_ROW  # 16-byte positions per block row
GRID_WIDTH: int = GRID_COLUMNS * BLOCK_SIZE  # the widest a frame's grid reaches, in pixels
BLOCKS_ACROSS: int = BLOCKS_WIDTH // BLOCK_SIZE  # block columns of the image (the rest of the grid is not)
UINT16_MAX = 0xFFFF
UINT32_MAX = 0xFFFFFFFF
MAX_THREADS = 32  # the library's worker pool

Rect = Tuple[int, int, int, int]


def integer(name: str, value: Any, low: int, high: int) -> int:
    """value as an int from low to high: TypeError for anything but an integer, ArgumentError outside."""
    if isinstance(value, bool):
        raise TypeError(f"{name} must be an integer, not {value!r}")
    try:
        number = operator.index(value)
    except TypeError:
        raise TypeError(f"{name} must be an integer, not {type(value).__name__} {value!r}") from None
    if not low <= number <= high:
        raise ArgumentError(f"{name}={number} is outside {low} to {high}")
    return number


def frame_height(name: str, value: Any) -> int:
    """value as a frame height: a multiple of 8 from 8 to 1024 lines."""
    lines = integer(name, value, BLOCK_SIZE, MAX_LINES)
    if lines % BLOCK_SIZE:
        raise ArgumentError(f"{name}={lines} is not a multiple of {BLOCK_SIZE}")
    return lines


_FRAME_RULE = (f"a frame of H lines has H x {BYTES_PER_LINE} bytes, H a multiple of {BLOCK_SIZE} "
               f"from {BLOCK_SIZE} to {MAX_LINES}")
_BATCH_HINT = (f"pass several frames as a 3-D (N, H, {BYTES_PER_LINE}) uint8 array "
               f"(frames.reshape(N, H, {BYTES_PER_LINE})) or as a list of frames")


def _lines_of(size: int, name: str) -> int:
    lines, rest = divmod(size, BYTES_PER_LINE)
    if rest or lines % BLOCK_SIZE or not BLOCK_SIZE <= lines <= MAX_LINES:
        raise ArgumentError(f"{name} has {size} bytes; {_FRAME_RULE}")
    return lines


def _one_frame(frame: Any, name: str) -> np.ndarray:
    """A single frame's bytes as a 1-D uint8 array (a view where possible)."""
    if isinstance(frame, np.ndarray):
        if frame.dtype != np.uint8:
            raise ArgumentError(f"{name} must hold uint8 bytes, not a {frame.dtype} array")
        if frame.ndim == 2 and frame.shape[1] != BYTES_PER_LINE:
            raise ArgumentError(f"{name} is a 2-D array of shape {frame.shape}; a frame is 1-D or "
                                f"(H, {BYTES_PER_LINE}); {_BATCH_HINT}")
        if frame.ndim > 2:
            raise ArgumentError(f"{name} is a {frame.ndim}-D array; a frame is 1-D or (H, {BYTES_PER_LINE})")
        return frame.reshape(-1)
    try:
        return np.frombuffer(frame, dtype=np.uint8)
    except (TypeError, ValueError, BufferError):
        raise TypeError(f"{name} must be a bytes-like object, a uint8 numpy array or a list of frames, "
                        f"not {type(frame).__name__}") from None


class FrameInput(NamedTuple):
    frames: np.ndarray  # (N, H, 320) uint8, laid out as the caller's array is (never copied whole)
    lines: int
    batch: bool
    sources: Tuple[np.ndarray, ...]  # the caller's arrays, which no output may overlap


def frames_of(frame: Any, name: str = "frame") -> FrameInput:
    """The frames as an (N, H, 320) uint8 array, their lines, whether they came as a batch, and the
    caller's arrays they were taken from. A batch is a 3-D (N, H, 320) array, used as it lies in
    memory (strided or broadcast: the binding reads it frame by frame), or a list or tuple of
    frames. Anything else is one frame: a bytes-like object, or a uint8 array of shape (H x 320,) or
    (H, 320)."""
    if isinstance(frame, np.ndarray) and frame.ndim == 3:
        if frame.dtype != np.uint8:
            raise ArgumentError(f"{name} must hold uint8 bytes, not a {frame.dtype} array")
        count, lines, columns = frame.shape
        if columns != BYTES_PER_LINE:
            raise ArgumentError(f"{name} is a 3-D array of shape {frame.shape}; a batch is (N, H, {BYTES_PER_LINE})")
        _lines_of(lines * columns, name)
        return FrameInput(frame, lines, True, (frame,))
    if isinstance(frame, (list, tuple)):
        if not frame:
            raise ArgumentError(f"{name} is an empty {type(frame).__name__}; an empty batch is a (0, H, "
                                f"{BYTES_PER_LINE}) array")
        parts = [_one_frame(part, f"{name}[{index}]") for index, part in enumerate(frame)]
        lines = _lines_of(parts[0].size, f"{name}[0]")
        for index, part in enumerate(parts):
            if part.size != parts[0].size:
                raise ArgumentError(f"{name}[{index}] has {part.size} bytes, {name}[0] {parts[0].size}; "
                                    "the frames of a batch have one height")
        return FrameInput(np.stack(parts).reshape(len(parts), lines, BYTES_PER_LINE), lines, True, tuple(parts))
    data = _one_frame(frame, name)
    lines = _lines_of(data.size, name)
    sources = (data,) if not isinstance(frame, np.ndarray) else (frame,)
    return FrameInput(np.ascontiguousarray(data).reshape(1, lines, BYTES_PER_LINE), lines, False, sources)


def thread_count(threads: Any, frames: int, batch: bool) -> int:
    """threads as 1 to 32; None is 1 for one frame and, for a batch, the processors this process
    may use (its CPU affinity and its cgroup's CPU quota), at most one per frame."""
    if threads is None:
        return max(1, min(MAX_THREADS, usable_processors(), frames)) if batch else 1
    return integer("threads", threads, 1, MAX_THREADS)


def table_array(table: Any) -> np.ndarray:
    """A quantisation table as 64 contiguous uint16 entries; None gives the default table."""
    if table is None:
        return DEFAULT_TABLE
    if (isinstance(table, np.ndarray) and table.dtype == np.uint16 and table.shape == (64,)
            and table.flags.c_contiguous and table.flags.aligned):
        return table
    try:
        entries = np.asarray(table)
    except (TypeError, ValueError):
        raise TypeError(f"table must be 64 integers, not {type(table).__name__}") from None
    if entries.dtype.kind not in "iufcb":
        raise TypeError(f"table must be 64 integers, not {type(table).__name__}")
    if entries.size != 64:
        raise ArgumentError(f"table must hold 64 entries, not {entries.size}")
    if entries.dtype.kind not in "iu":
        raise ArgumentError(f"table must hold integers from 0 to {UINT16_MAX}, not {entries.dtype} values")
    entries = entries.reshape(64)
    outside = np.flatnonzero((entries < 0) | (entries > UINT16_MAX))
    if outside.size:
        index = int(outside[0])
        raise ArgumentError(f"table entries must lie in 0 to {UINT16_MAX}; table[{index}] is {entries[index]}")
    return np.array(entries, dtype=np.uint16)  # a new array: contiguous and aligned


def rectangle(rect: Any, default: Rect, rows: int, columns: int, in_blocks: bool) -> Rect:
    """rect as four integers (x, y, width, height) within the frame's rows and columns."""
    if rect is None:
        return default
    try:
        values = tuple(rect)
    except TypeError:
        raise TypeError(f"rect must be (x, y, width, height), not {rect!r}") from None
    if len(values) != 4:
        raise ArgumentError(f"rect must be (x, y, width, height), not {rect!r}")
    x, y, width, height = (integer(f"rect {part}", value, 0, UINT32_MAX)
                           for part, value in zip(("x", "y", "width", "height"), values))
    checked = (x, y, width, height)
    row, column = ("block row", "block column") if in_blocks else ("line", "column")
    if y + height > rows:
        raise ArgumentError(f"rect {checked} reaches {row} {y + height}, but the frame has {rows} {row}s")
    if x + width > columns:
        raise ArgumentError(f"rect {checked} reaches {column} {x + width}, but a frame has {columns} {column}s")
    return checked


def output(out: Optional[np.ndarray], count: int, batch: bool, shape: Tuple[int, int], dtype: Any,
           frames: Tuple[np.ndarray, ...], table: Optional[np.ndarray] = None) -> Tuple[np.ndarray, np.ndarray]:
    """(the images as the native call takes them, (N, height, width); what the caller gets back):
    out when it can take the images, else a new array. A batch's out is (N, height, width), one
    frame's (height, width); rows and images may lie apart. out must share no memory with the
    caller's frames (each of a list) or the table: it is written while they are read, and a frame
    copied for the call would be overwritten in the caller's array."""
    full = (count,) + shape if batch else shape
    if out is None:
        images = np.empty((count,) + shape, dtype)
        return images, images if batch else images[0]
    if not isinstance(out, np.ndarray):
        raise TypeError(f"out must be a numpy array, not {type(out).__name__}")
    wanted = np.dtype(dtype)
    if out.dtype != wanted or out.shape != full:
        raise ArgumentError(f"out must be a {wanted} array of shape {full}, not {out.dtype} {out.shape}")
    if not out.flags.writeable:
        raise ArgumentError("out is read-only")
    images = out if batch else out[np.newaxis]
    height, width = shape
    if width > 1 and images.strides[2] != images.itemsize:
        raise ArgumentError(f"out must have adjacent elements within each row, not strides {out.strides}")
    row = images.strides[1]
    if height > 1 and row < width * images.itemsize:
        raise ArgumentError(f"out's rows overlap or run backwards (strides {out.strides})")
    if height > 1 and row > UINT32_MAX:
        raise ArgumentError(f"out's rows lie more than {UINT32_MAX} bytes apart (strides {out.strides})")
    if count > 1 and height and width and images.strides[0] < (height - 1) * row + width * images.itemsize:
        raise ArgumentError(f"out's images overlap or run backwards (strides {out.strides})")
    if not out.flags.aligned:
        raise ArgumentError(f"out is not aligned for {wanted}")
    sources = [("frame", source) for source in frames] + ([("table", table)] if table is not None else [])
    for name, source in sources:
        if np.may_share_memory(out, source):
            raise ArgumentError(f"out shares memory with the {name}; decode into a separate array")
    return images, out


DEFAULT_TABLE: np.ndarray = _native.default_table()
DEFAULT_TABLE.flags.writeable = False
