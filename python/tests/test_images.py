"""Recording.images as a lazy array: numpy's indexing, shapes and dtype, decoding only what is asked
for; and what takes array-likes (numpy, dask) takes it."""

from __future__ import annotations

import numpy as np
import pytest

import framedec

TABLE = framedec.quality_table(70)
FRAMES = 23


@pytest.fixture(scope="module")
def recording(tmp_path_factory):
    rng = np.random.default_rng(21)
    path = tmp_path_factory.mktemp("images") / "run.bin"
    with open(path, "wb") as file:
        for number in range(FRAMES):
            file.write(framedec.encode(rng.integers(0, 256, (24, 1246), dtype=np.uint8), TABLE, sequence=number))
    return framedec.Recording(path, 24, table=TABLE)


@pytest.fixture(scope="module")
def decoded(recording):
    return framedec.decode(recording[:], TABLE)


INDICES = {
    "frame": 5,
    "last frame": -1,
    "frame and rows": (10, slice(None, 13)),
    "column of every frame": (Ellipsis, 1000),
    "pixel": (3, 17, 1245),
    "every tenth frame": slice(None, None, 10),
    "rows and columns stepped": (slice(2, 5), slice(9, 24, 5), slice(1000, None, 3)),
    "backwards": (slice(None, None, -4), 3, slice(None, None, -7)),
    "frames by list": [1, 5, -2, 1],
    "frames by array and a row": (np.array([22, 0]), 8),
    "empty stepped slice": slice(600, 700, 3),
    "no rows": (slice(None), slice(8, 8)),
    "empty list": [],
}


@pytest.mark.parametrize("name", INDICES)
def test_indexing_equals_numpys_on_the_decoded_frames(recording, decoded, name):
    index = INDICES[name]
    got = recording.images[index]
    expected = decoded[index]
    assert got.shape == expected.shape and got.dtype == np.uint8
    np.testing.assert_array_equal(got, expected)


def test_it_describes_itself_as_an_array(recording, decoded):
    images = recording.images
    assert (images.shape, images.dtype, images.ndim, len(images)) == ((FRAMES, 24, 1246), np.uint8, 3, FRAMES)
    np.testing.assert_array_equal(np.asarray(images), decoded)
    np.testing.assert_array_equal(np.asarray(images[::10]), decoded[::10])
    np.testing.assert_array_equal(np.stack(list(images)), decoded)


@pytest.mark.parametrize("index, error", [
    ((1, 2, 3, 4), IndexError), (FRAMES, IndexError), ([0, FRAMES], IndexError), ((0, 24), IndexError),
    ((0, [1, 2]), IndexError), (np.zeros((2, 2), int), IndexError), (1.5, IndexError), ((Ellipsis, Ellipsis), IndexError),
])
def test_indices_numpy_refuses_are_refused(recording, index, error):
    with pytest.raises(error):
        recording.images[index]


def test_dask_takes_it_as_an_array(recording, decoded):
    da = pytest.importorskip("dask.array")
    array = da.from_array(recording.images, chunks=(16, -1, -1))
    assert array.shape == decoded.shape and array.chunks[0] == (16, FRAMES - 16)
    da.utils.assert_eq(array, recording.images[:], check_graph=False)
