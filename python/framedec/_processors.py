"""How many processors this process may use: those of its CPU affinity, fewer where its cgroup's
CPU quota allows fewer (a container given 2 CPUs on a 64-core host). ``os.cpu_count()`` counts the
host's, and a batch on that many threads would only queue for them."""

from __future__ import annotations

import math
import os
from typing import List, Optional

_CGROUP_ROOT = "/sys/fs/cgroup"


def cgroup_cpu_limit(membership: str = "/proc/self/cgroup", root: str = _CGROUP_ROOT) -> Optional[int]:
    """The tightest CPU quota (cgroup v2 ``cpu.max``) on the process's cgroup and its ancestors, in
    whole processors rounded up; None where there is none or no cgroup v2 to read."""
    try:
        with open(membership) as file:
            group = next((line[3:].strip() for line in file if line.startswith("0::")), None)
    except OSError:
        return None
    if group is None:
        return None
    limits: List[int] = []
    directory = os.path.normpath(root + "/" + group)
    while True:
        try:
            with open(os.path.join(directory, "cpu.max")) as file:
                quota, period = file.read().split()
            if quota != "max":
                limits.append(max(1, math.ceil(int(quota) / int(period))))
        except (OSError, ValueError):
            pass
        if len(directory) <= len(os.path.normpath(root)):
            return min(limits) if limits else None
        directory = os.path.dirname(directory)


_usable: Optional[int] = None


def usable_processors() -> int:
    """The processors this process may run on at once (at least 1), found once per process."""
    global _usable
    if _usable is None:
        affinity = len(os.sched_getaffinity(0)) if hasattr(os, "sched_getaffinity") else (os.cpu_count() or 1)
        _usable = max(1, min(affinity, cgroup_cpu_limit() or affinity))
    return _usable


def _forget_after_fork() -> None:
    global _usable
    _usable = None  # a child may have been given other processors


if hasattr(os, "register_at_fork"):
    os.register_at_fork(after_in_child=_forget_after_fork)
