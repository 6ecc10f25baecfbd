"""Recordings as lazy dask arrays: each chunk of frames is read and decoded by its own task."""

from __future__ import annotations

from typing import Any, Optional

import numpy as np

from ._arguments import IMAGE_WIDTH
from ._decode import decode
from ._recording import Recording, reopen


def _decode_frames(path: str, height: int, table: Optional[np.ndarray], block_info: Any = None) -> np.ndarray:
    """The task of one chunk: open the recording by path, read its frames and decode them on the
    calling thread (a dask worker already runs one task per thread)."""
    first, stop = block_info[None]["array-location"][0]
    with reopen(path, height, table) as recording:
        return decode(recording[first:stop], table, threads=1)


def recording_array(recording: Recording, frames_per_chunk: int) -> Any:
    """The dask array of recording's decoded frames, in chunks of frames_per_chunk frames."""
    import dask.array as da
    from dask.base import tokenize

    frames = len(recording)
    whole, rest = divmod(frames, frames_per_chunk)
    chunks = ((frames_per_chunk,) * whole + ((rest,) if rest else ()), (recording.height,), (IMAGE_WIDTH,))
    token = tokenize(recording.path, recording.height, recording.table, frames, frames_per_chunk)
    return da.map_blocks(_decode_frames, recording.path, recording.height, recording.table, chunks=chunks,
                         dtype=np.uint8, meta=np.empty((0, 0, 0), np.uint8), name=f"framedec-recording-{token}")
