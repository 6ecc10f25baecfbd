"""The default thread count of a batch: the processors this process may use, not the host's."""

from __future__ import annotations

import os

import pytest

from framedec import _processors


def _cgroups(tmp_path, membership, limits):
    (tmp_path / "cgroup").write_text(membership)
    for group, limit in limits.items():
        folder = tmp_path / "root" / group
        folder.mkdir(parents=True, exist_ok=True)
        (folder / "cpu.max").write_text(limit)
    return str(tmp_path / "cgroup"), str(tmp_path / "root")


@pytest.mark.parametrize("membership, limits, cpus", [
    ("0::/job\n", {".": "max 100000", "job": "150000 100000"}, 2),  # 1.5 processors: 2 threads
    ("0::/a/b\n", {"a": "100000 100000", "a/b": "max 100000"}, 1),  # a parent's quota binds
    ("0::/\n", {".": "400000 100000"}, 4),  # inside a container: its own root
    ("0::/job\n", {"job": "max 100000"}, None),
    ("12:cpu,cpuacct:/job\n", {"job": "100000 100000"}, None),  # cgroup v1 only: not read
])
def test_the_cgroup_cpu_quota_in_whole_processors(tmp_path, membership, limits, cpus):
    assert _processors.cgroup_cpu_limit(*_cgroups(tmp_path, membership, limits)) == cpus


@pytest.mark.skipif(not hasattr(os, "sched_setaffinity"), reason="no CPU affinity on this system")
def test_a_process_bound_to_one_processor_decodes_batches_on_one_thread():
    saved = os.sched_getaffinity(0)
    _processors._forget_after_fork()
    try:
        os.sched_setaffinity(0, {min(saved)})
        assert _processors.usable_processors() == 1
    finally:
        os.sched_setaffinity(0, saved)
        _processors._forget_after_fork()
