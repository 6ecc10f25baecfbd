"""The CPU decoders and the sequence number."""

from __future__ import annotations

from typing import Any, Optional, Sequence

import numpy as np

from . import _framedec as _native
from ._arguments import (BLOCK_SIZE, BLOCKS_WIDTH, GRID_COLUMNS, GRID_WIDTH, IMAGE_WIDTH, MAX_LINES, UINT32_MAX,
                         Rect, frame_array, integer, output, rectangle, table_array)
from ._errors import INVALID_ARGUMENT, ArgumentError, FramedecError

_PIXEL_RULE = (f"x and y must be multiples of {BLOCK_SIZE}, x + width lie in 1 to {IMAGE_WIDTH} "
               f"and y + height in 1 to {MAX_LINES}")
_COEFFICIENT_RULE = (f"x and y must be multiples of {BLOCK_SIZE}, x + width lie in {BLOCK_SIZE} to {BLOCKS_WIDTH} "
                     f"and y + height in {BLOCK_SIZE} to {MAX_LINES}")
_BLOCK_RULE = f"in blocks, x + width must lie in 1 to {GRID_COLUMNS} and y + height in 1 to {MAX_LINES // BLOCK_SIZE}"
_THREADS_RULE = "threads must be 1 to 32"


def _check(code: int, call: str, rect: Rect, rule: str) -> None:
    if code == 0:
        return
    if code == INVALID_ARGUMENT:
        raise ArgumentError(f"{call} refused rect {rect} (result code {code}): {rule}")
    raise FramedecError(f"{call} returned the unexpected result code {code}", code)


def decode(frame: Any, table: Optional[Sequence[int]] = None, *, rect: Optional[Sequence[int]] = None,
           threads: int = 1, out: Optional[np.ndarray] = None) -> np.ndarray:
    """Decode a frame, or a rectangle of it, to 8-bit pixels.

    frame: the compressed frame, any bytes-like object or uint8 array of H x 320 bytes (H a multiple
        of 8 from 8 to 1024); its height is taken from its length.
    table: the quantisation table the frame was made with, 64 integers 0 to 65535 in natural order;
        None for ``DEFAULT_TABLE``.
    rect: (x, y, width, height) in pixels; x and y multiples of 8, x + width at most 1246. Default:
        the whole frame, (0, 0, 1246, H).
    threads: 1 decodes on the calling thread (``DecodeData``); 2 to 32 decode the same pixels in that
        many vertical strips at once on the library's worker pool (``DecodeDataMultiThread``).
    out: a uint8 array of shape (height, width) to decode into; its rows may lie apart (the row
        stride becomes the pitch). Default: a new array.

    Returns the uint8 image of shape (height, width). Raises ArgumentError for anything refused,
    before anything is written. The GIL is released while decoding.
    """
    data, lines = frame_array(frame)
    x, y, width, height = rectangle(rect, (0, 0, IMAGE_WIDTH, lines), lines, GRID_WIDTH, False)
    entries = table_array(table)
    count = integer("threads", threads, 0, UINT32_MAX)
    image = output(out, (height, width), np.uint8)
    code = _native.decode_pixels(image, x, y, width, height, data, entries, count)
    if count == 1:
        _check(code, "DecodeData", (x, y, width, height), _PIXEL_RULE)
    else:
        _check(code, f"DecodeDataMultiThread with threads={count}", (x, y, width, height),
               f"{_THREADS_RULE}; {_PIXEL_RULE}")
    return image


def decode_coefficients(frame: Any, table: Optional[Sequence[int]] = None, *,
                        rect: Optional[Sequence[int]] = None, out: Optional[np.ndarray] = None) -> np.ndarray:
    """Decode a frame, or a rectangle of it, to dequantised DCT coefficients (``DecodeDCTData``).

    The coefficients are laid out like an image: vertical frequency v and horizontal frequency u of
    the rectangle's block (i, j) are at row 8j + v, column 8i + u. A rectangle cut short at the right
    or bottom keeps the low frequencies.

    frame, table: as for ``decode``.
    rect: (x, y, width, height) in pixels; x and y multiples of 8, x + width from 8 to 1248,
        y + height at least 8. Default: the whole frame's blocks, (0, 0, 1248, H).
    out: an int16 array of shape (height, width), rows may lie apart. Default: a new array.

    Returns the int16 array of shape (height, width). The GIL is released while decoding.
    """
    data, lines = frame_array(frame)
    x, y, width, height = rectangle(rect, (0, 0, BLOCKS_WIDTH, lines), lines, GRID_WIDTH, False)
    entries = table_array(table)
    coefficients = output(out, (height, width), np.int16)
    code = _native.decode_coefficients(coefficients, x, y, width, height, data, entries)
    _check(code, "DecodeDCTData", (x, y, width, height), _COEFFICIENT_RULE)
    return coefficients


def decode_dc(frame: Any, *, rect: Optional[Sequence[int]] = None, out: Optional[np.ndarray] = None) -> np.ndarray:
    """Decode a 1/8-scale preview, one byte per block from its DC code alone (``DecodeDCData``).

    Each value is (DC coefficient + 128) mod 256; no table is needed.

    frame: as for ``decode``.
    rect: (x, y, width, height) in blocks: x + width at most 160, y + height at most H / 8. Block
        columns 156 to 159 are the grid positions over each row's tail and hold no image. Default:
        (0, 0, 160, H / 8).
    out: a uint8 array of shape (height, width), rows may lie apart. Default: a new array.

    Returns the uint8 array of shape (height, width). Bytes past the end of the frame, which the
    last grid position of the last block row would reach, read as 0: nothing outside the frame is
    read. The GIL is released while decoding.
    """
    data, lines = frame_array(frame)
    rows = lines // BLOCK_SIZE
    x, y, width, height = rectangle(rect, (0, 0, GRID_COLUMNS, rows), rows, GRID_COLUMNS, True)
    preview = output(out, (height, width), np.uint8)
    code = _native.decode_dc(preview, x, y, width, height, data)
    _check(code, "DecodeDCData", (x, y, width, height), _BLOCK_RULE)
    return preview


def sequence_number(frame: Any) -> int:
    """The frame's 16-bit sequence number (``ExtractSequenceNo``), stored at byte H x 320 - 14."""
    data, _ = frame_array(frame)
    code, number = _native.sequence_number(data)
    if code != 0:
        raise FramedecError(f"ExtractSequenceNo returned the unexpected result code {code}", code)
    return int(number)
