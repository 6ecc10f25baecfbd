"""A recording's decoded frames as a lazy array: shape and dtype up front, pixels decoded on
indexing, only for the frames asked for and only the blocks that cover the rows and columns asked
for. That is what ``numpy.asarray``, ``dask.array.from_array`` and napari take."""

from __future__ import annotations

import operator
from typing import TYPE_CHECKING, Any, Iterator, List, Tuple, Union

import numpy as np

from ._arguments import BLOCK_SIZE, IMAGE_WIDTH
from ._decode import decode

if TYPE_CHECKING:
    from ._recording import Recording

_FRAMES_PER_DECODE = 16  # frames read and decoded at once while iterating
_AXES = 3

Part = Union[int, slice, np.ndarray]


def _range_of(part: Any, size: int, axis: int) -> Tuple[range, bool]:
    """The positions that one axis's index takes, and whether the index drops the axis."""
    if isinstance(part, slice):
        return range(*part.indices(size)), False
    position = operator.index(part)
    if not -size <= position < size:
        raise IndexError(f"index {position} is out of bounds for axis {axis} with size {size}")
    position %= size
    return range(position, position + 1), True


def _relative(positions: range, origin: int) -> slice:
    """positions as a slice of an array that starts at origin."""
    start, stop = positions.start - origin, positions.stop - origin
    return slice(start, stop if stop >= 0 else None, positions.step)


class DecodedImages:
    """The decoded frames of a recording (``Recording.images``): a read-only lazy array of shape
    (N, height, 1246), uint8.

    Indexing follows numpy: integers, slices and ``...`` on all three axes, and an integer array
    (or list) on the first; it returns a numpy array and decodes only the frames asked for, and of
    them only the blocks that cover the rows and columns asked for. ``numpy.asarray(images)``
    decodes all frames; iteration decodes a few frames at a time. ``dask.array.from_array(images,
    chunks=(16, -1, -1))`` makes a dask array of it; ``Recording.to_dask`` does the same with tasks
    that carry only the file's path.
    """

    ndim = _AXES
    dtype = np.dtype(np.uint8)

    def __init__(self, recording: "Recording") -> None:
        self._recording = recording

    @property
    def shape(self) -> Tuple[int, int, int]:
        return (len(self._recording), self._recording.height, IMAGE_WIDTH)

    def __len__(self) -> int:
        return len(self._recording)

    def __array__(self, dtype: Any = None, copy: Any = None) -> np.ndarray:
        images = self[:]
        return images if dtype is None else images.astype(dtype, copy=False)

    def __iter__(self) -> Iterator[np.ndarray]:
        for first in range(0, len(self), _FRAMES_PER_DECODE):
            yield from self[first:first + _FRAMES_PER_DECODE]

    def __getitem__(self, index: Any) -> np.ndarray:
        frames, height, width = self.shape
        parts = self._parts(index)
        if isinstance(parts[0], np.ndarray):
            chosen = parts[0]
            drop_frames = False
        else:
            positions, drop_frames = _range_of(parts[0], frames, 0)
            chosen = np.arange(positions.start, positions.stop, positions.step, dtype=np.int64)
        rows, drop_rows = _range_of(parts[1], height, 1)
        columns, drop_columns = _range_of(parts[2], width, 2)
        if len(chosen) and len(rows) and len(columns):
            top, left = min(rows) // BLOCK_SIZE * BLOCK_SIZE, min(columns) // BLOCK_SIZE * BLOCK_SIZE
            rect = (left, top, max(columns) + 1 - left, max(rows) + 1 - top)
            recording = self._recording
            pixels = decode(recording._frames_at(chosen.astype(np.uint64)), recording.table, rect=rect)
            images = pixels[:, _relative(rows, top), _relative(columns, left)]
        else:
            images = np.empty((len(chosen), len(rows), len(columns)), np.uint8)
        return images[(0 if drop_frames else slice(None), 0 if drop_rows else slice(None),
                       0 if drop_columns else slice(None))]

    def _parts(self, index: Any) -> List[Part]:
        """index as one part per axis: an integer or slice, or on the first axis an array of
        integers within 0 to N - 1."""
        given = list(index) if isinstance(index, tuple) else [index]
        ellipses = [at for at, part in enumerate(given) if part is Ellipsis]
        if len(ellipses) > 1:
            raise IndexError("an index can only have a single ellipsis ('...')")
        if ellipses:
            given[ellipses[0]:ellipses[0] + 1] = [slice(None)] * (_AXES - len(given) + 1)
        if len(given) > _AXES:
            raise IndexError(f"too many indices: the images are {_AXES}-dimensional, {len(given)} were indexed")
        given += [slice(None)] * (_AXES - len(given))
        for axis, part in enumerate(given):
            if axis == 0 and isinstance(part, (list, np.ndarray)):
                given[0] = self._frame_indices(part)
                continue
            if isinstance(part, slice) or (not isinstance(part, (bool, np.bool_, np.ndarray))
                                           and hasattr(part, "__index__")):
                continue
            raise IndexError(f"only integers, slices, '...' and (on the first axis) integer arrays index the "
                             f"images, not {type(part).__name__} {part!r}")
        return given

    def _frame_indices(self, part: Any) -> np.ndarray:
        indices = np.asarray(part)
        if indices.size == 0:
            return np.empty(0, np.int64)
        if indices.ndim != 1 or indices.dtype.kind not in "iu":
            raise IndexError(f"frames are indexed by a 1-D array of integers, not a {indices.ndim}-D "
                             f"{indices.dtype} array")
        frames = len(self)
        outside = (indices < -frames) | (indices >= frames)
        if outside.any():
            raise IndexError(f"index {indices[outside][0]} is out of bounds for axis 0 with size {frames}")
        return indices.astype(np.int64) % max(frames, 1)

    def __dask_tokenize__(self) -> Any:
        recording = self._recording
        table = None if recording.table is None else recording.table.tobytes()
        return ("framedec.DecodedImages", recording._path, recording.height, table, len(recording))

    def __repr__(self) -> str:
        return f"<framedec.DecodedImages of {self._recording.path!r}: shape {self.shape}, uint8>"
