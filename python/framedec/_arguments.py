"""Checks and conversions of the arguments the public functions share.

Everything the library cannot check for itself is checked here, before any call: that a frame has
a frame's length, that a rectangle lies within the frame's lines and columns, that an output array
has the shape, type and layout the call writes. The finer rules on rectangles (alignment, the
image's width) are the library's: a refusal comes back as result code 5.
"""

from __future__ import annotations

import operator
from typing import Any, Optional, Tuple

import numpy as np

from . import _framedec as _native
from ._errors import ArgumentError

BLOCK_SIZE: int = _native.BLOCK_SIZE
BYTES_PER_LINE: int = _native.FRAME_BYTES_PER_LINE
MAX_LINES: int = _native.MAX_IMAGE_HEIGHT
IMAGE_WIDTH: int = _native.MAX_IMAGE_WIDTH  # pixels of an image
BLOCKS_WIDTH: int = _native.PADDED_IMAGE_WIDTH  # pixels of the image's whole blocks
GRID_COLUMNS: int = _native.GRID_POSITIONS_PER_ROW  # 16-byte positions per block row
GRID_WIDTH: int = GRID_COLUMNS * BLOCK_SIZE  # the widest a frame's grid reaches, in pixels
UINT16_MAX = 0xFFFF
UINT32_MAX = 0xFFFFFFFF

Rect = Tuple[int, int, int, int]


def integer(name: str, value: Any, low: int, high: int) -> int:
    """value as an int from low to high."""
    if isinstance(value, bool):
        raise ArgumentError(f"{name} must be an integer, not {value!r}")
    try:
        number = operator.index(value)
    except TypeError:
        raise ArgumentError(f"{name} must be an integer, not {type(value).__name__} {value!r}") from None
    if not low <= number <= high:
        raise ArgumentError(f"{name}={number} is outside {low} to {high}")
    return number


def frame_height(name: str, value: Any) -> int:
    """value as a frame height: a multiple of 8 from 8 to 1024 lines."""
    lines = integer(name, value, BLOCK_SIZE, MAX_LINES)
    if lines % BLOCK_SIZE:
        raise ArgumentError(f"{name}={lines} is not a multiple of {BLOCK_SIZE}")
    return lines


def frame_array(frame: Any, name: str = "frame") -> Tuple[np.ndarray, int]:
    """The frame's bytes as a contiguous 1-D uint8 array (a view where possible), and its lines."""
    if isinstance(frame, np.ndarray):
        if frame.dtype != np.uint8:
            raise ArgumentError(f"{name} must hold uint8 bytes, not a {frame.dtype} array")
        data = np.asarray(frame).reshape(-1)  # a view of a contiguous array, else a contiguous copy
    else:
        try:
            data = np.frombuffer(frame, dtype=np.uint8)
        except (TypeError, ValueError, BufferError):
            raise ArgumentError(
                f"{name} must be a bytes-like object or a uint8 numpy array, not {type(frame).__name__}") from None
    size = data.size
    lines, rest = divmod(size, BYTES_PER_LINE)
    if rest or lines % BLOCK_SIZE or not BLOCK_SIZE <= lines <= MAX_LINES:
        raise ArgumentError(
            f"{name} has {size} bytes; a frame of H lines has H x {BYTES_PER_LINE} bytes, "
            f"H a multiple of {BLOCK_SIZE} from {BLOCK_SIZE} to {MAX_LINES}")
    return data, lines


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
        raise ArgumentError(f"table must be 64 integers, not {type(table).__name__}") from None
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
        raise ArgumentError(f"rect must be (x, y, width, height), not {rect!r}") from None
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


def output(out: Optional[np.ndarray], shape: Tuple[int, int], dtype: Any, name: str = "out") -> np.ndarray:
    """out when it can take an image of shape and dtype (rows may lie apart), else a new array."""
    if out is None:
        return np.empty(shape, dtype)
    if not isinstance(out, np.ndarray):
        raise ArgumentError(f"{name} must be a numpy array, not {type(out).__name__}")
    wanted = np.dtype(dtype)
    if out.dtype != wanted or out.shape != shape:
        raise ArgumentError(f"{name} must be a {wanted} array of shape {shape}, not {out.dtype} {out.shape}")
    if not out.flags.writeable:
        raise ArgumentError(f"{name} is read-only")
    height, width = shape
    if width > 1 and out.strides[1] != out.itemsize:
        raise ArgumentError(f"{name} must have adjacent elements within each row, not strides {out.strides}")
    if height > 1 and out.strides[0] < width * out.itemsize:
        raise ArgumentError(f"{name}'s rows overlap or run backwards (strides {out.strides})")
    if height > 1 and out.strides[0] > UINT32_MAX:
        raise ArgumentError(f"{name}'s rows lie more than {UINT32_MAX} bytes apart (strides {out.strides})")
    if not out.flags.aligned:
        raise ArgumentError(f"{name} is not aligned for {wanted}")
    return out


DEFAULT_TABLE: np.ndarray = _native.default_table()
DEFAULT_TABLE.flags.writeable = False
