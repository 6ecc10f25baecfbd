"""Recordings: files of back-to-back compressed frames of one height, as the camera writes them."""

from __future__ import annotations

import operator
import os
import threading
import warnings
from typing import Any, Iterator, List, Optional, Tuple, Union

import numpy as np

from . import _framedec as _native
from ._arguments import BYTES_PER_LINE, UINT32_MAX, frame_height, integer, table_array
from ._errors import ArgumentError
from ._images import DecodedImages

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

_FRAMES_PER_READ = 16  # frames read at once while iterating


def _absolute(path: Any) -> bytes:
    """The path as the file system's bytes, made absolute against the current folder now."""
    if not isinstance(path, (str, bytes, os.PathLike)):
        raise TypeError(f"path must be a str, bytes or os.PathLike, not {type(path).__name__}")
    return os.path.abspath(os.fsencode(path))


def _text(message: bytes) -> str:
    """A native message, which names the file by its bytes (they need not be UTF-8)."""
    return message.decode("utf-8", "backslashreplace")


class Recording:
    """A recording read with checked reads: frames are copied out of the file as they are asked for.

    ``Recording(path, height=None, table=None, *, check=True)`` opens the file, as the framedec tool
    does. path is a str, bytes or path-like object, made absolute when the recording is opened (a
    later ``os.chdir`` changes nothing) and kept as the file system's bytes, so any name that the
    system allows works. height is the frames' height in lines (a multiple of 8 from 8 to 1024), so
    each frame is height x 320 bytes; None finds it: the one height at which the frames' sequence
    numbers run (most steps +1). A given height at which they do not run (fewer than half the steps
    +1, checked on up to 1000 steps spread over the file) is refused, naming the height at which
    they do; ``check=False`` reads the file at the height given. table is the quantisation table the
    frames were made with (None for ``DEFAULT_TABLE``), used by ``images``. A file without one whole
    frame, and anything but a regular file, is refused (ArgumentError).

    ``len()`` is the number of whole frames when the file was opened (or last ``refresh()``-ed);
    ``recording[i]`` is frame i, 1-D, as ``decode`` takes it; a slice gives an (n, height, 320)
    batch; iteration yields the frames in order. ``images`` decodes them. A frame that the file no
    longer holds (it was truncated since) raises IndexError naming the file's current length; it
    never raises a signal. Bytes after the last whole frame (a frame cut short, or one still being
    written) are never read: they are reported in ``trailing_bytes`` and by a warning on opening.

    A recording may be used from several threads. It pickles as its path, height and table, and
    opens the file again where it is unpickled (another process, a dask worker). Use it as a
    context manager, or call ``close()``.
    """

    def __init__(self, path: PathLike, height: Optional[int] = None, table: Any = None, *,
                 check: bool = True) -> None:
        self._path = _absolute(path)
        if not isinstance(check, bool):
            raise TypeError(f"check must be True or False, not {type(check).__name__}")
        self.height = 0 if height is None else frame_height("height", height)
        self.table: Optional[np.ndarray] = None if table is None else table_array(table)
        self._lock = threading.Lock()  # over the scan of sequence numbers and what refresh() changes
        self._numbers = np.empty(0, np.uint16)  # the sequence numbers scanned so far, from frame 0
        self._gaps: Optional[Tuple[List[Tuple[int, int]], List[int]]] = None
        self._file: Optional[Any] = None
        self._take(*self._opened(check))
        if self.trailing_bytes:
            warnings.warn(f"recording {self.path!r} ends with {self.trailing_bytes} bytes of a frame cut short "
                          f"(frames of {self.height} lines are {self.frame_bytes} bytes); they are not read",
                          stacklevel=2)

    @property
    def path(self) -> str:
        """The file's absolute path (``os.fsdecode`` of the bytes by which it is opened)."""
        return os.fsdecode(self._path)

    def _opened(self, check: bool) -> Tuple[Any, Tuple[int, int, int, int]]:
        """The file opened anew, and its layout: nothing of this object changes."""
        os.stat(self._path)  # the platform's own error (FileNotFoundError, PermissionError, ...)
        file = _native.RecordingFile()
        problem, message = file.open(self._path, self.height, check)
        if problem == _native.RECORDING_CANNOT_READ:
            raise OSError(_text(message))
        if problem == _native.RECORDING_NO_WHOLE_FRAME and self._file is not None:
            size = os.stat(self._path).st_size
            raise ArgumentError(f"recording {self.path!r} now holds {size} bytes, less than one frame of "
                                f"{self.height} lines ({self.frame_bytes} bytes); the recording is left as it "
                                f"was ({self._frames} frames)")
        if problem:
            raise ArgumentError(_text(message))
        return file, file.layout()

    def _take(self, file: Any, layout: Tuple[int, int, int, int]) -> None:
        self.height, self.frame_bytes, self._frames, self.trailing_bytes = layout
        self._file = file

    def refresh(self) -> int:
        """Take in the file's current length (frames appended, or the file cut short, since it was
        opened); returns the number of whole frames. When the file no longer holds a whole frame,
        or cannot be read, it raises and the recording stays as it was."""
        self._reader()
        with self._lock:
            self._take(*self._opened(check=False))
            if len(self._numbers) > self._frames:
                self._numbers = np.empty(0, np.uint16)  # the file was cut short: rescan it
            self._gaps = None
            return self._frames

    def __len__(self) -> int:
        self._reader()
        return self._frames

    def __getitem__(self, index: Any) -> np.ndarray:
        if isinstance(index, slice):
            return self._frames_at(np.arange(*index.indices(len(self)), dtype=np.uint64))
        number = operator.index(index)
        frames = len(self)
        if not -frames <= number < frames:
            raise IndexError(f"frame {number} is outside recording {self.path!r} of {frames} frames")
        return self._frames_at(np.array([number % frames], np.uint64))[0].reshape(-1)

    def __iter__(self) -> Iterator[np.ndarray]:
        for first in range(0, len(self), _FRAMES_PER_READ):
            stop = min(first + _FRAMES_PER_READ, len(self))
            yield from self._frames_at(np.arange(first, stop, dtype=np.uint64)).reshape(stop - first, -1)

    @property
    def images(self) -> DecodedImages:
        """The frames decoded with the recording's table, as a lazy read-only array of shape
        (N, height, 1246), uint8 (see ``DecodedImages``): indexing decodes only what it asks for."""
        return DecodedImages(self)

    def sequence_numbers(self) -> np.ndarray:
        """The sequence number of every whole frame, a uint16 array. The file is scanned once,
        reading only the two bytes of each number; later calls (and ``dropped()``, ``repeated()``)
        reuse the scan, which ``refresh()`` extends to frames appended since."""
        with self._lock:
            return self._scanned().copy()

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
        on a ``distributed`` cluster whose workers see the same file system. Needs dask: from a
        clone, ``pip install ".[dask]"``; else ``pip install "dask[array]"``.
        """
        chunk = integer("frames_per_chunk", frames_per_chunk, 1, UINT32_MAX)
        try:
            from ._dask import recording_array
        except ImportError as missing:
            raise ImportError(f"to_dask() needs dask ({missing}): pip install \"dask[array]\", or framedec with its "
                              "dask extra (pip install \".[dask]\" in a clone of framedec)") from missing
        return recording_array(reopen, self._path, self.height, self.table, len(self), min(chunk, len(self)))

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
        return (reopen, (self._path, self.height, self.table))

    def __repr__(self) -> str:
        frames = "closed" if self.closed else f"{self._frames} frames"
        return f"<framedec.Recording {self.path!r}: {self.height} lines, {frames}, {self.trailing_bytes} trailing bytes>"

    def _reader(self) -> Any:
        file = self._file
        if file is None:
            raise ValueError(f"recording {self.path!r} is closed")
        return file

    def _frames_at(self, indices: np.ndarray) -> np.ndarray:
        """The frames at these uint64 indices (within len()), as an (n, height, 320) array."""
        reader = self._reader()
        if len(indices) == 0:
            return np.empty((0, self.height, BYTES_PER_LINE), np.uint8)
        error, frames = reader.read_each(indices)
        if error:
            self._raise_read_error(error, int(indices.max()))
        return frames.reshape(len(indices), self.height, BYTES_PER_LINE)

    def _raise_read_error(self, error: bytes, last: int) -> None:
        """IndexError when the file no longer holds frame last, else the read's OSError."""
        now = os.stat(self._path).st_size // self.frame_bytes
        if last >= now:
            raise IndexError(f"frame {last} is past the end of recording {self.path!r}, which now holds {now} whole "
                             f"frames ({len(self)} when opened); refresh() takes in its current length")
        raise OSError(_text(error))

    def _scanned(self) -> np.ndarray:
        """The sequence numbers of all whole frames, scanning those not yet scanned (under the lock)."""
        scanned, frames = len(self._numbers), len(self)
        if scanned < frames:
            error, numbers = self._reader().sequence_numbers(scanned, frames - scanned)
            if error:
                self._raise_read_error(error, frames - 1)
            self._numbers = np.concatenate([self._numbers, numbers])
            self._gaps = None
        return self._numbers

    def _sequence_gaps(self) -> Tuple[List[Tuple[int, int]], List[int]]:
        with self._lock:
            numbers = self._scanned()
            if self._gaps is None:
                self._gaps = _native.track_sequence(numbers)
            return self._gaps


def reopen(path: bytes, height: int, table: Optional[np.ndarray]) -> Recording:
    """The recording opened again where it is unpickled or read by a task, at the height found or
    checked where it was first opened."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # reported where the recording was first opened
        return Recording(path, height, table, check=False)
