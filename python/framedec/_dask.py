"""Recordings as lazy dask arrays: each chunk of frames is read and decoded by its own task.
Imported only by ``Recording.to_dask``, so that dask stays optional."""

from __future__ import annotations

from typing import Any, Callable, Optional

import dask.array as da
import numpy as np
from dask.base import tokenize

from ._arguments import IMAGE_WIDTH
from ._decode import decode

# Opens a recording by (path, height, table) where a task runs; it has frames[first:stop].
Opener = Callable[[bytes, int, Optional[np.ndarray]], Any]


def _decode_frames(reopen: Opener, path: bytes, height: int, table: Optional[np.ndarray],
                   block_info: Any = None) -> np.ndarray:
    """The task of one chunk: open the recording by path, read its frames and decode them on the
    calling thread (a dask worker already runs one task per thread)."""
    first, stop = block_info[None]["array-location"][0]
    with reopen(path, height, table) as recording:
        return decode(recording[first:stop], table, threads=1)


def recording_array(reopen: Opener, path: bytes, height: int, table: Optional[np.ndarray], frames: int,
                    frames_per_chunk: int) -> Any:
    """The dask array of a recording's decoded frames, in chunks of frames_per_chunk frames; reopen
    (a module-level function, so that it pickles by name) opens the recording in each task."""
    whole, rest = divmod(frames, frames_per_chunk)
    chunks = ((frames_per_chunk,) * whole + ((rest,) if rest else ()), (height,), (IMAGE_WIDTH,))
    token = tokenize(path, height, table, frames, frames_per_chunk)
    return da.map_blocks(_decode_frames, reopen, path, height, table, chunks=chunks, dtype=np.uint8,
                         meta=np.empty((0, 0, 0), np.uint8), name=f"framedec-recording-{token}")
