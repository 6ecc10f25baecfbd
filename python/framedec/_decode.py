"""The CPU decoders and the sequence number, for one frame or a batch of frames."""

from __future__ import annotations

from typing import Any, Callable, Optional, Sequence

import numpy as np

from . import _framedec as _native
from ._arguments import (BLOCK_SIZE, BLOCKS_ACROSS, BLOCKS_WIDTH, GRID_COLUMNS, GRID_WIDTH, IMAGE_WIDTH, MAX_LINES,
                         Rect, frames_of, output, rectangle, table_array, thread_count)
from ._errors import INVALID_ARGUMENT, ArgumentError, FramedecError

_PIXEL_RULE = (f"x and y must be multiples of {BLOCK_SIZE}, x + width lie in 1 to {IMAGE_WIDTH} "
               f"and y + height in 1 to {MAX_LINES}")
_COEFFICIENT_RULE = (f"x and y must be multiples of {BLOCK_SIZE}, x + width lie in {BLOCK_SIZE} to {BLOCKS_WIDTH} "
                     f"and y + height in {BLOCK_SIZE} to {MAX_LINES}")
_BLOCK_RULE = f"in blocks, x + width must lie in 1 to {GRID_COLUMNS} and y + height in 1 to {MAX_LINES // BLOCK_SIZE}"


# Work each thread does between two returns to Python, where Ctrl-C is seen: the pixels of about
# one frame of the largest size (a few milliseconds), and at most this many frames, so that tiny
# rectangles of slow frames return as often.
_PIXELS_PER_THREAD_BETWEEN_CHECKS = IMAGE_WIDTH * MAX_LINES
_FRAMES_PER_THREAD_BETWEEN_CHECKS = 256


def _in_slices(decode_slice: Callable[[np.ndarray, np.ndarray], int], images: np.ndarray, frames: np.ndarray,
               threads: int, pixels_per_frame: int) -> int:
    """decode_slice(images, frames) over slices of a batch, so that a signal (KeyboardInterrupt)
    ends a long batch within a frame or two; the first non-zero result code, else 0."""
    per_thread = _PIXELS_PER_THREAD_BETWEEN_CHECKS // max(pixels_per_frame, 1)
    per_slice = threads * min(max(per_thread, 1), _FRAMES_PER_THREAD_BETWEEN_CHECKS)
    for first in range(0, len(frames), per_slice):
        code = decode_slice(images[first:first + per_slice], frames[first:first + per_slice])
        if code:
            return code
    return 0


def _check(code: int, call: str, rect: Rect, rule: str) -> None:
    if code == 0:
        return
    if code == INVALID_ARGUMENT:
        raise ArgumentError(f"{call} refused rect {rect} (result code {code}): {rule}")
    raise FramedecError(f"{call} returned the unexpected result code {code}", code)


def decode(frame: Any, table: Any = None, *, rect: Optional[Sequence[int]] = None,
           threads: Optional[int] = None, out: Optional[np.ndarray] = None) -> np.ndarray:
    """Decode a frame, a rectangle of it, or the same rectangle of a batch of frames, to 8-bit pixels.

    frame: one compressed frame, any bytes-like object or uint8 array of H x 320 bytes, 1-D or of
        shape (H, 320), H a multiple of 8 from 8 to 1024 (its height is taken from its length); or
        a batch: a uint8 array of shape (N, H, 320) or a list of frames of one height.
    table: the quantisation table the frames were made with, 64 integers 0 to 65535 in natural
        order; None for ``DEFAULT_TABLE``.
    rect: (x, y, width, height) in pixels; x and y multiples of 8, x + width at most 1246. Default:
        the whole frame, (0, 0, 1246, H).
    threads: 1 to 32. One frame: 1 (the default) decodes on the calling thread (``DecodeData``);
        more decode it in that many vertical strips at once on the library's worker pool
        (``DecodeDataMultiThread``). A batch: frames are decoded whole, one per thread, on that many
        threads (default: the processor count).
    out: the array to decode into, of shape (height, width), or (N, height, width) for a batch; its
        rows and images may lie apart. It must not share memory with the frames (any frame of a
        list) or the table. Default: a new array.

    Returns the uint8 image of shape (height, width), or (N, height, width) for a batch. Raises
    ArgumentError for any refused value and TypeError for an argument of the wrong kind, before
    anything is written. The GIL is released while decoding.
    """
    given = frames_of(frame)
    x, y, width, height = rectangle(rect, (0, 0, IMAGE_WIDTH, given.lines), given.lines, GRID_WIDTH, False)
    entries = table_array(table)
    count = thread_count(threads, len(given.frames), given.batch)
    images, result = output(out, len(given.frames), given.batch, (height, width), np.uint8, given.sources, entries)
    code = _in_slices(lambda part, frames: _native.decode_pixels(part, x, y, width, height, frames, entries, count),
                      images, given.frames, count, width * height)
    call = "DecodeDataMultiThread" if count > 1 and not given.batch else "DecodeData"
    _check(code, call, (x, y, width, height), _PIXEL_RULE)
    return result


def decode_coefficients(frame: Any, table: Any = None, *,
                        rect: Optional[Sequence[int]] = None, threads: Optional[int] = None,
                        out: Optional[np.ndarray] = None) -> np.ndarray:
    """Decode a frame, or a rectangle of it, to dequantised DCT coefficients (``DecodeDCTData``).

    The coefficients are laid out like an image: vertical frequency v and horizontal frequency u of
    the rectangle's block (i, j) are at row 8j + v, column 8i + u. A rectangle cut short at the right
    or bottom keeps the low frequencies.

    frame, table: as for ``decode`` (one frame or a batch).
    rect: (x, y, width, height) in pixels; x and y multiples of 8, x + width from 8 to 1248,
        y + height at least 8. Default: the whole frame's blocks, (0, 0, 1248, H).
    threads: for a batch, the threads that decode whole frames (default: the processor count); one
        frame is decoded on the calling thread.
    out: an int16 array of shape (height, width), or (N, height, width) for a batch; rows and
        images may lie apart; apart from the frames. Default: a new array.

    Returns the int16 array of shape (height, width), or (N, height, width). The GIL is released
    while decoding.
    """
    given = frames_of(frame)
    x, y, width, height = rectangle(rect, (0, 0, BLOCKS_WIDTH, given.lines), given.lines, GRID_WIDTH, False)
    entries = table_array(table)
    count = thread_count(threads, len(given.frames), given.batch)
    images, result = output(out, len(given.frames), given.batch, (height, width), np.int16, given.sources, entries)
    code = _in_slices(lambda part, frames: _native.decode_coefficients(part, x, y, width, height, frames, entries,
                                                                        count),
                      images, given.frames, count, width * height)
    _check(code, "DecodeDCTData", (x, y, width, height), _COEFFICIENT_RULE)
    return result


def decode_dc(frame: Any, *, rect: Optional[Sequence[int]] = None, threads: Optional[int] = None,
              out: Optional[np.ndarray] = None) -> np.ndarray:
    """Decode a 1/8-scale preview, one byte per block from its DC code alone (``DecodeDCData``).

    Each value is (DC coefficient + 128) mod 256; no table is needed.

    frame: as for ``decode`` (one frame or a batch).
    rect: (x, y, width, height) in blocks: x + width at most 160, y + height at most H / 8. Block
        columns 156 to 159 are the grid positions over each row's tail and hold no image: ask for
        them by rect if needed. Default: the image's blocks, (0, 0, 156, H / 8).
    threads: as for ``decode_coefficients``.
    out: a uint8 array of shape (height, width), or (N, height, width) for a batch; rows and images
        may lie apart; apart from the frames. Default: a new array.

    Returns the uint8 array of shape (height, width), or (N, height, width). Bytes past the end of
    the frame, which the last grid position of the last block row would reach, read as 0: nothing
    outside the frame is read. The GIL is released while decoding.
    """
    given = frames_of(frame)
    rows = given.lines // BLOCK_SIZE
    x, y, width, height = rectangle(rect, (0, 0, BLOCKS_ACROSS, rows), rows, GRID_COLUMNS, True)
    count = thread_count(threads, len(given.frames), given.batch)
    images, result = output(out, len(given.frames), given.batch, (height, width), np.uint8, given.sources)
    code = _in_slices(lambda part, frames: _native.decode_dc(part, x, y, width, height, frames, count),
                      images, given.frames, count, width * height * BLOCK_SIZE * BLOCK_SIZE)
    _check(code, "DecodeDCData", (x, y, width, height), _BLOCK_RULE)
    return result


def sequence_number(frame: Any) -> Any:
    """The frame's 16-bit sequence number (``ExtractSequenceNo``), stored at byte H x 320 - 14.

    For a batch (as for ``decode``), a uint16 array with the number of each frame.
    """
    given = frames_of(frame)
    code, numbers = _native.sequence_numbers(given.frames)
    if code != 0:
        raise FramedecError(f"ExtractSequenceNo returned the unexpected result code {code}", code)
    return numbers if given.batch else int(numbers[0])
