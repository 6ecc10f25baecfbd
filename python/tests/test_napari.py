"""The napari reader: a recording opens as a lazy time series whose frames are those that
``Recording.images`` decodes, with its sequence numbers as metadata; the height comes from the
numbers, and a file that does not tell it is refused saying so."""

from __future__ import annotations

import numpy as np
import pytest

import framedec
from framedec import _napari

pytest.importorskip("dask.array")
NUMBERS = [10, 11, 12, 14, 15, 16, 17, 18, 19, 20, 21]


@pytest.fixture
def recording_path(tmp_path):
    rng = np.random.default_rng(8)
    path = tmp_path / "run.bin"
    path.write_bytes(b"".join(framedec.encode(rng.integers(0, 256, (32, 300), dtype=np.uint8), sequence=n).tobytes()
                              for n in NUMBERS))
    return path


def test_the_reader_gives_the_frames_lazily_with_their_numbers(recording_path):
    reader = _napari.get_reader(str(recording_path))
    [(data, attributes, kind)] = reader(str(recording_path))
    assert kind == "image" and attributes["name"] == "run.bin"
    assert data.shape == (len(NUMBERS), 32, 1246) and data.dtype == np.uint8
    assert max(data.chunks[0]) < len(NUMBERS)  # decoded a few frames at a time, as napari shows them
    metadata = attributes["metadata"]
    assert metadata["sequence_numbers"].tolist() == NUMBERS and metadata["dropped"] == [(3, 1)]
    with framedec.Recording(recording_path) as recording:
        for index in (0, 5, len(NUMBERS) - 1):
            np.testing.assert_array_equal(np.asarray(data[index]), recording.images[index])


def test_a_file_whose_height_cannot_be_told_is_refused_with_the_reason(tmp_path):
    path = tmp_path / "noise.bin"
    path.write_bytes(np.random.default_rng(2).integers(0, 256, 64 * 320, dtype=np.uint8).tobytes())
    with pytest.raises(framedec.ArgumentError, match="give height"):
        _napari.get_reader(str(path))(str(path))


def test_folders_and_several_files_are_left_to_other_readers(recording_path):
    assert _napari.get_reader(str(recording_path.parent)) is None
    assert _napari.get_reader([str(recording_path)] * 2) is None


def test_a_headless_viewer_shows_the_frames(recording_path, monkeypatch):
    napari = pytest.importorskip("napari")
    monkeypatch.setenv("QT_QPA_PLATFORM", "offscreen")
    viewer = napari.Viewer(show=False)
    try:
        [layer] = viewer.open(str(recording_path), plugin="framedec")
        viewer.dims.set_point(0, 5)
        with framedec.Recording(recording_path) as recording:
            np.testing.assert_array_equal(np.asarray(layer.data[5]), recording.images[5])
            assert layer.metadata["sequence_numbers"].tolist() == NUMBERS
    finally:
        viewer.close()
