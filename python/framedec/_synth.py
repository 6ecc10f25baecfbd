"""Test frames: the frame synthesiser of the framedec tool, and its quantisation tables."""

from __future__ import annotations

from typing import Any, Optional, Sequence

import numpy as np

from . import _framedec as _native
from ._arguments import IMAGE_WIDTH, MAX_LINES, UINT16_MAX, integer, table_array
from ._errors import ArgumentError


def encode(image: Any, table: Any = None, *, sequence: int = 0) -> np.ndarray:
    """Make a compressed frame from a greyscale image, as ``framedec synth`` does.

    image: any 2-D uint8 array-like (rows, columns). It is cropped to 1246 columns and 1024 rows;
        a partial last block repeats the edge pixels, and blocks beyond the image are left empty
        (they decode mid-grey). The frame is as high as the image rounded up to a multiple of 8.
    table: the quantisation table, 64 integers 0 to 65535 in natural order; None for
        ``DEFAULT_TABLE``. Decode with the same table.
    sequence: the frame's sequence number, 0 to 65535.

    Returns the frame, a uint8 array of H x 320 bytes. The encoder is for tests and examples: the
    library itself never encodes, and the camera's own frames come from the camera.
    """
    pixels = np.asarray(image)
    if pixels.ndim != 2 or pixels.dtype != np.uint8:
        raise ArgumentError(f"image must be a 2-D uint8 array, not {pixels.ndim}-D {pixels.dtype}")
    if pixels.size == 0:
        raise ArgumentError(f"image is empty (shape {pixels.shape})")
    number = integer("sequence", sequence, 0, UINT16_MAX)
    entries = table_array(table)
    cropped = np.ascontiguousarray(pixels[:MAX_LINES, :IMAGE_WIDTH])
    return _native.synthesize(cropped, entries, number)


def quality_table(quality: int) -> np.ndarray:
    """The JPEG-style quantisation table of a quality from 1 to 100 (``framedec synth --quality``).

    Returns 64 uint16 entries in natural order: the standard luminance table scaled as libjpeg
    scales it.
    """
    return _native.quality_table(integer("quality", quality, 1, 100))
