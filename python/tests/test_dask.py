"""Recordings as dask arrays: the chunks are decoded by tasks that open the file by path, on the
local scheduler and on a two-process distributed cluster."""

from __future__ import annotations

import numpy as np
import pytest

import framedec

da = pytest.importorskip("dask.array")


@pytest.fixture(scope="module")
def recording(tmp_path_factory):
    rng = np.random.default_rng(17)
    path = tmp_path_factory.mktemp("dask") / "recording.bin"
    table = framedec.quality_table(60)
    with open(path, "wb") as file:
        for number in range(23):
            file.write(framedec.encode(rng.integers(0, 256, (32, 1246), dtype=np.uint8), table, sequence=number))
    return framedec.Recording(path, 32, table=table)


@pytest.mark.parametrize("frames_per_chunk", [1, 5, 64])
def test_chunks_equal_the_decoded_images(recording, frames_per_chunk):
    array = recording.to_dask(frames_per_chunk=frames_per_chunk)
    assert array.shape == (23, 32, 1246) and array.dtype == np.uint8
    assert array.chunks[0][0] == min(frames_per_chunk, 23)
    da.utils.assert_eq(array, recording.images[:], check_graph=False)


def test_a_two_process_cluster_reduces_as_numpy_does(recording):
    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                                  dashboard_address=None, worker_dashboard_address=None, timeout=60) as cluster, \
            distributed.Client(cluster, timeout=60) as client:
        total = recording.to_dask(frames_per_chunk=4).astype(np.uint64).sum(axis=0)
        np.testing.assert_array_equal(client.compute(total).result(timeout=60),
                                      recording.images[:].astype(np.uint64).sum(axis=0))
