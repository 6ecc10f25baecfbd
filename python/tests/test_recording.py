"""Recordings: frames as zero-copy views of the mapped file, sequence gaps counted modulo 65536, and a
trailing partial frame reported but never read."""

from __future__ import annotations

import warnings

import numpy as np
import pytest

import framedec

NUMBERS = [65533, 65534, 65535, 0, 3, 4, 4, 2, 3]  # a wrap, a gap of 2, a repeat, a step back


@pytest.fixture
def recording_file(tmp_path):
    rng = np.random.default_rng(3)
    frames = [framedec.encode(rng.integers(0, 256, (16, 100), dtype=np.uint8), sequence=n) for n in NUMBERS]
    path = tmp_path / "recording.bin"
    path.write_bytes(b"".join(frame.tobytes() for frame in frames) + b"\xff" * 1000)
    return path, frames


def test_recording_frames_gaps_and_trailing_bytes(recording_file):
    path, frames = recording_file
    with pytest.warns(UserWarning, match="1000 bytes of a frame cut short"):
        recording = framedec.Recording(path, 16)
    with recording:
        assert len(recording) == len(NUMBERS) and recording.trailing_bytes == 1000
        for index, frame in enumerate(recording):
            np.testing.assert_array_equal(frame, frames[index])
            assert not frame.flags.owndata and not frame.flags.writeable
        assert recording[-1].shape == (16 * 320,) and recording[2:5].shape == (3, 16 * 320)
        np.testing.assert_array_equal(framedec.decode(recording[4]), framedec.decode(frames[4]))
        assert recording.sequence_numbers().dtype == np.uint16
        assert recording.sequence_numbers().tolist() == NUMBERS
        assert recording.dropped() == [(4, 2)]
        assert recording.repeated() == [6, 7]
    with pytest.raises(ValueError, match="closed"):
        len(recording)


@pytest.mark.parametrize("size", [0, 5119])
def test_a_file_without_a_whole_frame_has_no_frames(tmp_path, size):
    path = tmp_path / "short.bin"
    path.write_bytes(b"\1" * size)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        recording = framedec.Recording(path, 16)
    assert len(caught) == (1 if size else 0)
    assert len(recording) == 0 and recording.trailing_bytes == size and recording.dropped() == []
