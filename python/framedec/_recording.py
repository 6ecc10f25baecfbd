"""Recordings: files of back-to-back compressed frames of one height, as the camera writes them."""

from __future__ import annotations

import mmap
import os
import warnings
from typing import Any, Iterator, List, Optional, Tuple, Union

import numpy as np

from . import _framedec as _native
from ._arguments import frame_height

PathLike = Union[str, "os.PathLike[str]"]


class Recording:
    """A recording mapped into memory: its whole frames as zero-copy, read-only uint8 views.

    ``Recording(path, height)`` maps the file; height is the frames' height in lines (a multiple
    of 8 from 8 to 1024), so each frame is height x 320 bytes. ``len()`` is the number of whole
    frames; ``recording[i]`` is frame i (a 1-D view that ``decode`` takes as it is), a slice gives a
    2-D view of one frame per row, and iteration yields the frames in order. Bytes after the last
    whole frame (a frame cut short, for instance when recording stopped) are never read: they are
    reported in ``trailing_bytes`` and by a warning when the file is opened.

    Use it as a context manager, or call ``close()``; the mapping stays until the last view of it
    is gone.
    """

    def __init__(self, path: PathLike, height: int) -> None:
        self.height = frame_height("height", height)
        self.path = os.fspath(path)
        self._mapping: Optional[mmap.mmap] = None
        self._frames: Optional[np.ndarray]
        with open(self.path, "rb") as file:
            size = os.fstat(file.fileno()).st_size
            self.frame_bytes, frames, self.trailing_bytes = _native.recording_layout(size, self.height)
            if frames:
                self._mapping = mmap.mmap(file.fileno(), frames * self.frame_bytes, access=mmap.ACCESS_READ)
        if self._mapping is not None:
            self._frames = np.frombuffer(self._mapping, np.uint8).reshape(frames, self.frame_bytes)
        else:
            self._frames = np.empty((0, self.frame_bytes), np.uint8)
            self._frames.flags.writeable = False
        if self.trailing_bytes:
            warnings.warn(f"recording {self.path!r} ends with {self.trailing_bytes} bytes of a frame cut short "
                          f"(frames of {self.height} lines are {self.frame_bytes} bytes); they are not read",
                          stacklevel=2)

    def __len__(self) -> int:
        return len(self._views())

    def __getitem__(self, index: Any) -> np.ndarray:
        return self._views()[index]

    def __iter__(self) -> Iterator[np.ndarray]:
        return iter(self._views())

    def sequence_numbers(self) -> np.ndarray:
        """The sequence number of every whole frame, a uint16 array."""
        return _native.sequence_numbers(self._views(), self.height)

    def dropped(self) -> List[Tuple[int, int]]:
        """Where frames were dropped: (index, count) for each frame whose sequence number is count + 1
        after the previous frame's (count 1 to 32767), counting modulo 65536 (65535 then 0 is no gap).

        A number that stays the same or goes back marks a repeated frame instead (``repeated()``).
        """
        dropped, _ = _native.track_sequence(self.sequence_numbers())
        return dropped

    def repeated(self) -> List[int]:
        """Indices of frames whose sequence number repeats or goes back from the previous frame's."""
        _, repeated = _native.track_sequence(self.sequence_numbers())
        return repeated

    @property
    def closed(self) -> bool:
        return self._frames is None

    def close(self) -> None:
        """Release the mapping (at once, or when the last frame view handed out is gone)."""
        self._frames = None
        if self._mapping is not None:
            try:
                self._mapping.close()
            except BufferError:
                pass  # views are still in use; the mapping goes with the last of them
            self._mapping = None

    def __enter__(self) -> "Recording":
        return self

    def __exit__(self, *exc_info: Any) -> None:
        self.close()

    def __repr__(self) -> str:
        frames = "closed" if self.closed else f"{len(self)} frames"
        return f"<framedec.Recording {self.path!r}: {self.height} lines, {frames}, {self.trailing_bytes} trailing bytes>"

    def _views(self) -> np.ndarray:
        if self._frames is None:
            raise ValueError(f"recording {self.path!r} is closed")
        return self._frames
