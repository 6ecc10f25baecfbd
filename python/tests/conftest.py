"""Shared fixtures: the library called directly through ctypes (the reference every result is
compared with), and frames that are real, random and hostile."""

from __future__ import annotations

import ctypes
import os
import pathlib

import numpy as np
import pytest

# The GPU tests run on the host backend where the package was built without CUDA (the subprocess
# reproducers inherit this).
os.environ.setdefault("FRAMEDEC_USE_HOST_GPU_BACKEND", "1")

import framedec  # noqa: E402

IMAGES = pathlib.Path(__file__).resolve().parents[2] / "data" / "images"

u32 = ctypes.c_uint32
ptr = ctypes.c_void_p


class CLibrary:
    """The exported functions of the shared library that the package installed."""

    def __init__(self) -> None:
        self.lib = ctypes.CDLL(str(pathlib.Path(framedec.__file__).parent / "libframedec.so.0"))
        signatures = {
            "DecodeData": [ptr, u32, u32, u32, u32, u32, ptr, ptr],
            "DecodeDataMultiThread": [ptr, u32, u32, u32, u32, u32, ptr, ptr, u32],
            "DecodeDCTData": [ptr, u32, u32, u32, u32, u32, ptr, ptr],
            "DecodeDCData": [ptr, u32, u32, u32, u32, ptr],
            "ExtractSequenceNo": [ptr, u32, u32, ptr],
            "DecodeGPU": [ctypes.c_bool, ptr, ptr, ctypes.c_int32],
            "IsSetupGPUDecode": [ptr],
        }
        for name, argtypes in signatures.items():
            getattr(self.lib, name).argtypes = argtypes
            getattr(self.lib, name).restype = ctypes.c_int32

    def pixels(self, frame: np.ndarray, rect, table=framedec.DEFAULT_TABLE) -> np.ndarray:
        x, y, w, h = rect
        out = np.empty((h, w), np.uint8)
        assert self.lib.DecodeData(out.ctypes.data, x, y, w, h, w, frame.ctypes.data, np.ascontiguousarray(
            table, np.uint16).ctypes.data) == 0
        return out

    def coefficients(self, frame: np.ndarray, rect, table=framedec.DEFAULT_TABLE) -> np.ndarray:
        x, y, w, h = rect
        out = np.empty((h, w), np.int16)
        assert self.lib.DecodeDCTData(out.ctypes.data, x, y, w, h, 2 * w, frame.ctypes.data, np.ascontiguousarray(
            table, np.uint16).ctypes.data) == 0
        return out

    def preview(self, frame: np.ndarray, rect) -> np.ndarray:
        """DecodeDCData on a copy of the frame followed by zeros (it may read 7 bytes past the end)."""
        x, y, w, h = rect
        padded = np.concatenate([frame.reshape(-1), np.zeros(16, np.uint8)])
        out = np.empty((h, w), np.uint8)
        assert self.lib.DecodeDCData(out.ctypes.data, x, y, w, h, padded.ctypes.data) == 0
        return out

    def sequence_number(self, frame: np.ndarray) -> int:
        number = ctypes.c_uint16()
        assert self.lib.ExtractSequenceNo(frame.ctypes.data, 0, frame.size // 320, ctypes.addressof(number)) == 0
        return number.value

    def gpu_pixels(self, frame: np.ndarray, width: int, pitch: int) -> np.ndarray:
        """SetupGPUDecode, DecodeGPU with a host copy, TeardownGPUDecode."""

        class FrameSize(ctypes.Structure):
            _fields_ = [("width", ctypes.c_int32), ("height", ctypes.c_int32)]

        lines = frame.size // 320
        out = np.empty((lines, pitch), np.uint8)
        address = ctypes.c_void_p(out.ctypes.data)
        assert self.lib.SetupGPUDecode(FrameSize(width, lines)) == 0
        try:
            assert self.lib.DecodeGPU(True, frame.ctypes.data, ctypes.addressof(address), pitch) == 0
        finally:
            assert self.lib.TeardownGPUDecode() == 0
        return out

    def gpu_is_setup(self) -> bool:
        flag = ctypes.c_bool()
        self.lib.IsSetupGPUDecode(ctypes.addressof(flag))
        return flag.value


@pytest.fixture(scope="session")
def clib() -> CLibrary:
    return CLibrary()


def read_pgm(path: pathlib.Path) -> np.ndarray:
    magic, width, height, maxval, pixels = path.read_bytes().split(maxsplit=4)
    assert magic == b"P5" and maxval == b"255"
    return np.frombuffer(pixels, np.uint8, int(width) * int(height)).reshape(int(height), int(width))


def _hostile(lines: int) -> np.ndarray:
    """Every slot full of 1 bits (the largest sizes), and slots with lone start markers."""
    frame = np.full(lines * 320, 0xFF, np.uint8)
    frame[4::32] = 0x80
    return frame


FRAME_KINDS = ["real", "random", "hostile", "short"]


@pytest.fixture(scope="session")
def frames():
    rng = np.random.default_rng(7)
    return {
        "real": framedec.encode(read_pgm(IMAGES / "astronaut.pgm"), sequence=4660),
        "random": rng.integers(0, 256, 1024 * 320, dtype=np.uint8),
        "hostile": _hostile(1024),
        "short": rng.integers(0, 256, 24 * 320, dtype=np.uint8),  # 24 lines
    }
