"""Recordings: frames read with checked reads, sequence gaps counted modulo 65536 from one cached
scan, a trailing partial frame reported but never read, decoded images, pickling."""

from __future__ import annotations

import os
import pathlib
import pickle
import sys
import threading

import numpy as np
import pytest

import framedec

NUMBERS = [65533, 65534, 65535, 0, 3, 4, 4, 2, 3]  # a wrap, a gap of 2 (2 comes late), a repeat, two behind
TABLE = framedec.quality_table(80)


@pytest.fixture
def recording_file(tmp_path):
    rng = np.random.default_rng(3)
    frames = [framedec.encode(rng.integers(0, 256, (16, 100), dtype=np.uint8), TABLE, sequence=n) for n in NUMBERS]
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
        assert recording[-1].shape == (16 * 320,) and recording[2:5].shape == (3, 16, 320)
        np.testing.assert_array_equal(recording[1:8:3].reshape(3, -1), np.stack(frames[1:8:3]))
        assert recording[9:].shape == recording[600:700:3].shape == (0, 16, 320)
        with pytest.raises(IndexError):
            recording[9]
        assert recording.sequence_numbers().dtype == np.uint16
        assert recording.sequence_numbers().tolist() == NUMBERS
        assert recording.dropped() == [(4, 1)]  # 1 is missing; 2 came late, after 3
        assert recording.repeated() == [4, 6, 7, 8]  # 3 came before 2; 3 is still behind the newest, 4
    with pytest.raises(ValueError, match="closed"):
        len(recording)


def test_images_decode_with_the_recordings_table_and_survive_pickling(recording_file):
    path, frames = recording_file
    with pytest.warns(UserWarning):
        recording = framedec.Recording(str(path), 16, table=TABLE)
    expected = np.stack([framedec.decode(frame, TABLE) for frame in frames])
    images = recording.images
    assert len(images) == len(frames)
    np.testing.assert_array_equal(images[-2], expected[-2])
    np.testing.assert_array_equal(images[2:7], expected[2:7])
    np.testing.assert_array_equal(np.stack(list(images)), expected)
    np.testing.assert_array_equal(framedec.decode(recording[0:2], TABLE), expected[:2])
    copy = pickle.loads(pickle.dumps(recording))
    assert (copy.path, copy.height, len(copy)) == (str(path), 16, len(frames))
    np.testing.assert_array_equal(copy.images[:], expected)


@pytest.mark.parametrize("size, message", [(0, "is empty"), (5119, "5119 bytes, less than one frame of 16")])
def test_a_file_without_a_whole_frame_is_refused(tmp_path, size, message):
    path = tmp_path / "short.bin"
    path.write_bytes(b"\1" * size)
    with pytest.raises(framedec.ArgumentError, match=message):
        framedec.Recording(path, 16)


def test_the_height_is_found_or_checked_by_the_sequence_numbers(tmp_path):
    rng = np.random.default_rng(4)
    path = tmp_path / "run.bin"
    path.write_bytes(b"".join(framedec.encode(rng.integers(0, 256, (16, 64), dtype=np.uint8), sequence=n).tobytes()
                              for n in range(12)))
    assert framedec.Recording(path).height == 16
    with pytest.raises(framedec.ArgumentError, match="do not run at height=8.*height=16"):
        framedec.Recording(path, 8)
    assert len(framedec.Recording(path, 8, check=False)) == 24
    with pytest.raises(TypeError, match="check must be True or False"):
        framedec.Recording(path, 16, check="no")


def test_the_sequence_scan_is_cached_and_refresh_extends_it(recording_file):
    path, frames = recording_file
    path.write_bytes(b"".join(frame.tobytes() for frame in frames[:4]))
    recording = framedec.Recording(path, 16)
    assert recording.sequence_numbers().tolist() == NUMBERS[:4]
    with open(path, "ab") as file:
        file.write(b"".join(frame.tobytes() for frame in frames[4:]))
    assert len(recording) == 4 and recording.dropped() == []  # until refreshed
    assert recording.refresh() == len(NUMBERS)
    assert recording.sequence_numbers().tolist() == NUMBERS and recording.dropped() == [(4, 1)]


def _write_counting(path, count, lines=16):
    rng = np.random.default_rng(11)
    frames = [framedec.encode(rng.integers(0, 256, (lines, 64), dtype=np.uint8), sequence=n) for n in range(count)]
    with open(path, "wb") as file:
        file.write(b"".join(frame.tobytes() for frame in frames))
    return frames


def test_first_scans_from_many_threads_at_once_count_each_frame_once(tmp_path):
    path = tmp_path / "run.bin"
    _write_counting(path, 200)
    for _ in range(5):
        recording = framedec.Recording(path, 16)
        start = threading.Barrier(8)
        results = []

        def scan():
            start.wait()
            results.append((recording.sequence_numbers(), recording.repeated()))

        threads = [threading.Thread(target=scan) for _ in range(8)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        for numbers, repeated in results:
            assert numbers.tolist() == list(range(200)) and repeated == []


def test_a_relative_path_names_the_file_it_named_when_opened(tmp_path, monkeypatch):
    for folder, number in (("first", 1), ("second", 2)):
        (tmp_path / folder).mkdir()
        (tmp_path / folder / "run.bin").write_bytes(framedec.encode(np.zeros((16, 8), np.uint8), sequence=number).tobytes())
    monkeypatch.chdir(tmp_path / "first")
    recording = framedec.Recording("run.bin", 16)
    monkeypatch.chdir(tmp_path / "second")
    assert recording.refresh() == 1 and framedec.sequence_number(recording[0]) == 1
    assert recording.path == str(tmp_path / "first" / "run.bin")
    assert framedec.sequence_number(pickle.loads(pickle.dumps(recording))[0]) == 1


def test_a_file_name_that_is_not_utf8_opens(tmp_path):
    path = os.fsencode(tmp_path) + b"/caf\xe9.bin"
    frames = _write_counting(path, 3)
    with framedec.Recording(path) as recording:
        assert recording.height == 16 and os.fsencode(recording.path) == path
        np.testing.assert_array_equal(recording[2], frames[2])
        np.testing.assert_array_equal(pickle.loads(pickle.dumps(recording))[1], frames[1])
    os.remove(path)
    with pytest.raises(FileNotFoundError):
        framedec.Recording(path, 16)


def test_a_failed_refresh_leaves_the_recording_as_it_was(tmp_path):
    path = tmp_path / "run.bin"
    frames = _write_counting(path, 5)
    recording = framedec.Recording(path, 16)
    content = path.read_bytes()
    os.truncate(path, 100)
    with pytest.raises(framedec.ArgumentError, match="now holds 100 bytes, less than one frame of 16 lines") as raised:
        recording.refresh()
    assert "height right" not in str(raised.value)
    assert len(recording) == 5
    with open(path, "r+b") as file:  # the same file again, whole
        file.write(content)
    np.testing.assert_array_equal(recording[4], frames[4])


def test_the_height_scan_reads_each_number_once_and_stops_once_decided(tmp_path):
    io = pathlib.Path("/proc/self/io")
    if not io.exists():
        pytest.skip("no /proc/self/io to count read calls")
    path = tmp_path / "run.bin"
    _write_counting(path, 400)
    # What measuring every height on all its steps reads: one number per checked frame.
    whole_scan = sum(min(frames, 1001) for frames in (400 * 16 // height for height in range(8, 1025, 8))
                     if frames >= 3)

    def read_calls():
        return int(next(line for line in io.read_text().splitlines() if line.startswith("syscr")).split()[1])

    before = read_calls()
    assert framedec.Recording(path).height == 16
    assert read_calls() - before < whole_scan * 0.6


def test_to_dask_without_dask_says_how_to_install_it(recording_file, monkeypatch):
    path, _ = recording_file
    for module in ("dask", "dask.array", "dask.base", "framedec._dask"):
        monkeypatch.setitem(sys.modules, module, None)
    with pytest.warns(UserWarning), pytest.raises(ImportError, match=r'pip install "dask\[array\]"'):
        framedec.Recording(path, 16).to_dask()
