"""Recordings: files of back-to-back compressed frames of one height, as the camera writes them."""

from __future__ import annotations

import operator
import os
import warnings
from typing import Any, Iterator, List, Optional, Sequence, Tuple, Union

import numpy as np

from . import _framedec as _native
from ._arguments import BYTES_PER_LINE, UINT32_MAX, frame_height, integer, table_array
from ._decode import decode
from ._errors import ArgumentError

PathLike = Union[str, "os.PathLike[str]"]

_IMAGES_PER_READ = 16  # frames read and decoded at once while iterating over decoded images


class Recording:
    """A recording read with checked reads: frames are copied out of the file as they are asked for.

    ``Recording(path, height=None, table=None, *, check=True)`` opens the file, as the framedec tool
    does. height is the frames' height in lines (a multiple of 8 from 8 to 1024), so each frame is
    height x 320 bytes; None finds it: the one height at which the frames' sequence numbers run
    (most steps +1). A given height at which they do not run (fewer than half the steps +1, checked
    on up to 1000 steps spread over the file) is refused, naming the height at which they do;
    ``check=False`` reads the file at the height given. table is the quantisation table the frames
    were made with (None for ``DEFAULT_TABLE``), used by ``images``. A file without one whole frame,
    and anything but a regular file, is refused (ArgumentError).

    ``len()`` is the number of whole frames when the file was opened (or last ``refresh()``-ed);
    ``recording[i]`` is frame i, 1-D, as ``decode`` takes it; a slice gives an (n, height, 320)
    batch; iteration yields the frames in order. ``images`` decodes them. A frame that the file no
    longer holds (it was truncated since) raises IndexError naming the file's current length; it
    never raises a signal. Bytes after the last whole frame (a frame cut short, or one still being
    written) are never read: they are reported in ``trailing_bytes`` and by a warning on opening.

    A recording pickles as its path, height and table, and opens the file again where it is
    unpickled (another process, a dask worker). Use it as a context manager, or call ``close()``.
    """

    def __init__(self, path: PathLike, height: Optional[int] = None, table: Any = None, *,
                 check: bool = True) -> None:
        if not isinstance(path, (str, bytes, os.PathLike)):
            raise TypeError(f"path must be a str or os.PathLike, not {type(path).__name__}")
        if not isinstance(check, bool):
            raise TypeError(f"check must be True or False, not {type(check).__name__}")
        self.path: str = os.fsdecode(path)
        self.height = 0 if height is None else frame_height("height", height)
        self.table: Optional[np.ndarray] = None if table is None else table_array(table)
        self._file: Optional[Any] = _native.RecordingFile()
        self._numbers = np.empty(0, np.uint16)  # the sequence numbers scanned so far, from frame 0
        self._gaps: Optional[Tuple[List[Tuple[int, int]], List[int]]] = None
        self._open(check)
        if self.trailing_bytes:
            warnings.warn(f"recording {self.path!r} ends with {self.trailing_bytes} bytes of a frame cut short "
                          f"(frames of {self.height} lines are {self.frame_bytes} bytes); they are not read",
                          stacklevel=2)

    def _open(self, check: bool) -> None:
        os.stat(self.path)  # the platform's own error (FileNotFoundError, PermissionError, ...)
        problem, message = self._reader().open(self.path, self.height, check)
        if problem == _native.RECORDING_CANNOT_READ:
            raise OSError(message)
        if problem:
            raise ArgumentError(message)
        self.height, self.frame_bytes, self._frames, self.trailing_bytes = self._reader().layout()

    def refresh(self) -> int:
        """Take in the file's current length (frames appended, or the file cut short, since it was
        opened); returns the number of whole frames."""
        self._open(check=False)
        if len(self._numbers) > self._frames:
            self._numbers = np.empty(0, np.uint16)  # the file was cut short: rescan it
        self._gaps = None
        return self._frames

    def __len__(self) -> int:
        self._reader()
        return self._frames

    def __getitem__(self, index: Any) -> np.ndarray:
        if isinstance(index, slice):
            start, stop, step = index.indices(len(self))
            if step != 1:
                return np.stack([self[i] for i in range(start, stop, step)]).reshape(-1, self.height, BYTES_PER_LINE)
            return self._read(start, max(stop - start, 0)).reshape(-1, self.height, BYTES_PER_LINE)
        number = operator.index(index)
        frames = len(self)
        if not -frames <= number < frames:
            raise IndexError(f"frame {number} is outside recording {self.path!r} of {frames} frames")
        return self._read(number % frames, 1)[0]

    def __iter__(self) -> Iterator[np.ndarray]:
        for first in range(0, len(self), _IMAGES_PER_READ):
            yield from self._read(first, min(_IMAGES_PER_READ, len(self) - first))

    @property
    def images(self) -> "DecodedImages":
        """The frames decoded with the recording's table: ``images[i]`` is a (height, 1246) uint8
        image, ``images[i:j]`` an (n, height, 1246) batch decoded on all processors, and iteration
        decodes frame by frame."""
        return DecodedImages(self)

    def sequence_numbers(self) -> np.ndarray:
        """The sequence number of every whole frame, a uint16 array. The file is scanned once,
        reading only the two bytes of each number; later calls (and ``dropped()``, ``repeated()``)
        reuse the scan, which ``refresh()`` extends to frames appended since."""
        scanned = len(self._numbers)
        if scanned < len(self):
            error, numbers = self._reader().sequence_numbers(scanned, len(self) - scanned)
            if error:
                self._raise_read_error(error, len(self) - 1)
            self._numbers = np.concatenate([self._numbers, numbers])
        return self._numbers.copy()

    def dropped(self) -> List[Tuple[int, int]]:
        """Where frames were dropped: (index, count) for each frame that follows count missing
        sequence numbers, counting modulo 65536 (65535 then 0 is no gap), as ``framedec scan`` counts:
        a jump ahead is a gap only when one of the next 4 frames continues from it, skipped numbers
        that come within those frames are no drop, and after a counter reset (a jump back that the
        next 2 frames count on from) drops count again.

        A number that repeats, goes back or is not confirmed marks a frame in ``repeated()`` instead.
        """
        return list(self._sequence_gaps()[0])

    def repeated(self) -> List[int]:
        """Indices of frames out of the camera's order: repeated, behind the newest number, a
        stray number no later frame confirms, or a frame that came before numbers below it."""
        return list(self._sequence_gaps()[1])

    def to_dask(self, frames_per_chunk: int = 64) -> Any:
        """The decoded frames as a lazy dask array of shape (N, height, 1246), uint8.

        Each chunk of frames_per_chunk frames is decoded by a task that opens the recording by its
        path: only the path, height, table and frame range travel, so the array computes unchanged
        on a ``distributed`` cluster whose workers see the same file system. Needs dask
        (``pip install framedec[dask]``).
        """
        from ._dask import recording_array

        chunk = integer("frames_per_chunk", frames_per_chunk, 1, UINT32_MAX)
        return recording_array(self, min(chunk, len(self)))

    @property
    def closed(self) -> bool:
        return self._file is None

    def close(self) -> None:
        """Close the file; frames read before stay valid (they are copies)."""
        self._file = None

    def __enter__(self) -> "Recording":
        return self

    def __exit__(self, *exc_info: Any) -> None:
        self.close()

    def __reduce__(self) -> Any:
        return (reopen, (self.path, self.height, self.table))

    def __repr__(self) -> str:
        frames = "closed" if self.closed else f"{self._frames} frames"
        return f"<framedec.Recording {self.path!r}: {self.height} lines, {frames}, {self.trailing_bytes} trailing bytes>"

    def _reader(self) -> Any:
        if self._file is None:
            raise ValueError(f"recording {self.path!r} is closed")
        return self._file

    def _read(self, first: int, count: int) -> np.ndarray:
        """count frames from first, one per row."""
        error, frames = self._reader().read(first, count)
        if error:
            self._raise_read_error(error, first + count - 1)
        return frames

    def _raise_read_error(self, error: str, last: int) -> None:
        """IndexError when the file no longer holds frame last, else the read's OSError."""
        now = os.stat(self.path).st_size // self.frame_bytes
        if last >= now:
            raise IndexError(f"frame {last} is past the end of recording {self.path!r}, which now holds {now} whole "
                             f"frames ({len(self)} when opened); refresh() takes in its current length")
        raise OSError(error)

    def _sequence_gaps(self) -> Tuple[List[Tuple[int, int]], List[int]]:
        if self._gaps is None or len(self._numbers) != len(self):
            self._gaps = _native.track_sequence(self.sequence_numbers())
        return self._gaps


def reopen(path: str, height: int, table: Optional[np.ndarray]) -> Recording:
    """The recording opened again where it is unpickled or read by a task, at the height found or
    checked where it was first opened."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # reported where the recording was first opened
        return Recording(path, height, table, check=False)


class DecodedImages:
    """The decoded frames of a recording, as a read-only sequence (``Recording.images``)."""

    def __init__(self, recording: Recording) -> None:
        self._recording = recording

    def __len__(self) -> int:
        return len(self._recording)

    def __getitem__(self, index: Any) -> np.ndarray:
        return decode(self._recording[index], self._recording.table)

    def __iter__(self) -> Iterator[np.ndarray]:
        recording = self._recording
        for first in range(0, len(recording), _IMAGES_PER_READ):
            yield from decode(recording[first:first + _IMAGES_PER_READ], recording.table)
