"""The napari reader of recordings (an npe2 plugin: napari.yaml in this package, registered by the
``napari.manifest`` entry point). A recording opens lazily, as a time series: a dask array whose
chunks of a few frames are decoded when napari shows them, with the frames' sequence numbers as
the layer's metadata. napari gives no height, so the height is found from the sequence numbers, as
``framedec scan --height auto`` finds it; a file at which they tell no single height is refused
with the reason."""

from __future__ import annotations

import os
from typing import Any, Callable, Dict, List, Optional, Tuple, Union

from ._recording import Recording

FRAMES_PER_CHUNK = 8  # frames decoded together when napari shows one of them

LayerData = Tuple[Any, Dict[str, Any], str]


def get_reader(path: Union[str, List[str]]) -> Optional[Callable[[Any], List[LayerData]]]:
    """napari's reader hook: read_recording for one file, None for a folder or several paths."""
    if isinstance(path, list):
        if len(path) != 1:
            return None
        path = path[0]
    if not os.path.isfile(path):
        return None
    return read_recording


def read_recording(path: Union[str, List[str]]) -> List[LayerData]:
    """The recording as one image layer of shape (frames, height, 1246), uint8, decoded lazily.
    Raises ArgumentError, saying why, when the frames' height cannot be told from the file."""
    if isinstance(path, list):
        path = path[0]
    with Recording(path) as recording:
        numbers = recording.sequence_numbers()
        metadata = {"path": recording.path, "height": recording.height, "sequence_numbers": numbers,
                    "dropped": recording.dropped(), "repeated": recording.repeated()}
        frames = recording.to_dask(frames_per_chunk=FRAMES_PER_CHUNK)
    attributes = {"name": os.path.basename(recording.path), "metadata": metadata, "contrast_limits": (0, 255)}
    return [(frames, attributes, "image")]
