"""Nothing reads outside the caller's frame: frames that end (and, for 1024 lines, also start) at an
inaccessible page, decoded over rectangles that reach the frame's edges. A read past the frame
would end the test process with a fault."""

from __future__ import annotations

import ctypes
import mmap

import numpy as np
import pytest

import framedec

PROT_NONE, PROT_READ = 0, 1
_libc = ctypes.CDLL(None, use_errno=True)
_libc.mprotect.argtypes = [ctypes.c_void_p, ctypes.c_size_t, ctypes.c_int]


@pytest.fixture(params=[8, 1024], ids=["8 lines", "1024 lines"])
def guarded_frame(request):
    """A random frame placed directly before an inaccessible page (and after one, when its size is a
    whole number of pages), read-only."""
    size = request.param * 320
    pages = -(-size // mmap.PAGESIZE)
    region = mmap.mmap(-1, (pages + 2) * mmap.PAGESIZE)
    anchor = ctypes.c_char.from_buffer(region)
    base = ctypes.addressof(anchor)
    del anchor
    frame = np.frombuffer(region, np.uint8, size, (pages + 1) * mmap.PAGESIZE - size)
    frame.flags.writeable = True
    frame[:] = np.random.default_rng(request.param).integers(0, 256, size, dtype=np.uint8)
    frame[-2560:] = 0  # the last row's slots empty, so the preview reads as far as it can
    frame.flags.writeable = False
    for page in (0, pages + 1):
        assert _libc.mprotect(base + page * mmap.PAGESIZE, mmap.PAGESIZE, PROT_NONE) == 0
    yield frame
    for page in (0, pages + 1):
        _libc.mprotect(base + page * mmap.PAGESIZE, mmap.PAGESIZE, PROT_READ | 2)
    del frame


def test_every_reader_stays_within_the_frame(guarded_frame):
    lines = guarded_frame.size // 320
    rows = lines // 8
    framedec.decode(guarded_frame)
    framedec.decode(guarded_frame, rect=(1240, lines - 8, 6, 8), threads=2)
    framedec.decode_coefficients(guarded_frame)
    framedec.decode_dc(guarded_frame)
    framedec.decode_dc(guarded_frame, rect=(159, rows - 1, 1, 1))
    framedec.decode_dc(guarded_frame, rect=(150, 0, 10, rows), out=np.zeros((rows, 40), np.uint8)[:, :10])
    framedec.sequence_number(guarded_frame)
    if framedec.gpu_available():
        with framedec.GpuDecoder(1246, lines) as gpu:
            gpu.decode(guarded_frame, pitch=1248)
