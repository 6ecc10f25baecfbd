"""Every bad input gets its exception, with the argument and its value in the message, and nothing
is written; GPU result codes map to GpuError."""

from __future__ import annotations

import re

import numpy as np
import pytest

import framedec
from framedec import ArgumentError, FramedecError, GpuError

FRAME = np.zeros(16 * 320, np.uint8)  # 16 lines
READ_ONLY = np.zeros((16, 1246), np.uint8)
READ_ONLY.flags.writeable = False
# One buffer that holds both frames and an output: decoding into it would overwrite the caller's frames.
SHARED = np.zeros(4 * 16 * 320 + 2 * 16 * 1246, np.uint8)

# (call, message fragment); every one raises ArgumentError with code 5.
REFUSED = {
    "frame length": (lambda: framedec.decode(b"\0" * 1000), "frame has 1000 bytes"),
    "frame of 1032 lines": (lambda: framedec.decode_dc(bytes(1032 * 320)), "frame has 330240 bytes"),
    "empty frame": (lambda: framedec.sequence_number(b""), "frame has 0 bytes"),
    "frame dtype": (lambda: framedec.decode(np.zeros(2560, np.int16)), "int16"),
    "rect length": (lambda: framedec.decode(FRAME, rect=(0, 0, 8)), "(0, 0, 8)"),
    "rect negative": (lambda: framedec.decode(FRAME, rect=(-8, 0, 8, 8)), "rect x=-8"),
    "rect below the frame": (lambda: framedec.decode(FRAME, rect=(0, 8, 8, 9)), "reaches line 17, but the frame has 16 lines"),
    "rect wider than a frame": (lambda: framedec.decode_coefficients(FRAME, rect=(8, 0, 1280, 8)), "column 1288, but a frame has 1280 columns"),
    "blocks below the frame": (lambda: framedec.decode_dc(FRAME, rect=(0, 0, 1, 3)), "reaches block row 3, but the frame has 2 block rows"),
    "unaligned x (library)": (lambda: framedec.decode(FRAME, rect=(3, 0, 8, 8)), "DecodeData refused rect (3, 0, 8, 8)"),
    "past 1246 (library)": (lambda: framedec.decode(FRAME, rect=(0, 0, 1248, 8)), "(0, 0, 1248, 8) (result code 5)"),
    "short coefficients (library)": (lambda: framedec.decode_coefficients(FRAME, rect=(0, 0, 4, 8)),
                                     "DecodeDCTData refused rect (0, 0, 4, 8)"),
    "empty preview (library)": (lambda: framedec.decode_dc(FRAME, rect=(0, 0, 0, 1)),
                                "DecodeDCData refused rect (0, 0, 0, 1)"),
    "threads 0": (lambda: framedec.decode(FRAME, threads=0), "threads=0"),
    "threads 33": (lambda: framedec.decode(FRAME, threads=33), "threads=33"),
    "batch threads 0": (lambda: framedec.decode_dc(np.zeros((2, 16, 320), np.uint8), threads=0), "threads=0"),
    "2-D frames side by side": (lambda: framedec.decode(np.zeros((2, 16 * 320), np.uint8)),
                                "(N, H, 320) uint8 array"),
    "batch of two heights": (lambda: framedec.decode([FRAME, FRAME[:2560]]), "frame[1] has 2560 bytes"),
    "empty list": (lambda: framedec.sequence_number([]), "empty list"),
    "batch out of one frame's shape": (lambda: framedec.decode(np.zeros((2, 16, 320), np.uint8),
                                                               out=np.zeros((16, 1246), np.uint8)), "(2, 16, 1246)"),
    "batch out images overlap": (lambda: framedec.decode_dc(np.zeros((2, 16, 320), np.uint8), out=np.lib.stride_tricks.
                                                           as_strided(np.zeros((2, 156), np.uint8), (2, 2, 156), (156, 156, 1))),
                                 "images overlap"),
    "out over a frame of a list": (lambda: framedec.decode([FRAME, SHARED[:5120]], out=SHARED[:2 * 16 * 1246].reshape(
        2, 16, 1246)), "shares memory with the frame"),
    "out over a strided batch": (lambda: framedec.decode(SHARED[:4 * 5120].reshape(4, 16, 320)[::2], out=SHARED[
        5120:5120 + 2 * 16 * 1246].reshape(2, 16, 1246)), "shares memory with the frame"),
    "threads negative": (lambda: framedec.decode(FRAME, threads=-1), "threads=-1"),
    "table length": (lambda: framedec.decode(FRAME, list(range(63))), "not 63"),
    "table values": (lambda: framedec.decode(FRAME, [1] * 63 + [70000]), "table[63] is 70000"),
    "table negative": (lambda: framedec.decode_coefficients(FRAME, [-1] + [1] * 63), "table[0] is -1"),
    "table floats": (lambda: framedec.decode(FRAME, np.ones(64)), "float64"),
    "out shape": (lambda: framedec.decode(FRAME, out=np.zeros((16, 1248), np.uint8)), "not uint8 (16, 1248)"),
    "out dtype": (lambda: framedec.decode_coefficients(FRAME, out=np.zeros((16, 1248), np.int32)), "int32"),
    "out read-only": (lambda: framedec.decode(FRAME, out=READ_ONLY), "read-only"),
    "out column stride": (lambda: framedec.decode_dc(FRAME, out=np.zeros((2, 312), np.uint8)[:, ::2]), "adjacent"),
    "out rows overlap": (lambda: framedec.decode(FRAME, out=np.lib.stride_tricks.as_strided(
        np.zeros(1246, np.uint8), (16, 1246), (1, 1))), "overlap"),
    "out rows backwards": (lambda: framedec.decode(FRAME, out=np.zeros((16, 1246), np.uint8)[::-1]), "backwards"),
    "image dimensions": (lambda: framedec.encode(np.zeros((2, 2, 2), np.uint8)), "3-D uint8"),
    "image dtype": (lambda: framedec.encode(np.zeros((8, 8))), "float64"),
    "image empty": (lambda: framedec.encode(np.zeros((0, 8), np.uint8)), "(0, 8)"),
    "sequence": (lambda: framedec.encode(np.zeros((8, 8), np.uint8), sequence=65536), "sequence=65536"),
    "quality": (lambda: framedec.quality_table(0), "quality=0"),
    "recording height": (lambda: framedec.Recording(__file__, 12), "height=12 is not a multiple of 8"),
    "gpu width": (lambda: framedec.GpuDecoder(1247, 8), "width=1247"),
    "gpu height": (lambda: framedec.GpuDecoder(1246, 0), "height=0"),
}


@pytest.mark.parametrize("name", REFUSED)
def test_refused_arguments_raise_argument_error(name):
    call, fragment = REFUSED[name]
    with pytest.raises(ArgumentError) as raised:
        call()
    assert isinstance(raised.value, ValueError) and isinstance(raised.value, FramedecError)
    assert raised.value.code == 5
    assert fragment in str(raised.value)


# (call, message fragment); each raises TypeError naming only the argument of the wrong type.
WRONG_TYPES = {
    "frame str": (lambda: framedec.decode("abc"), "frame must be a bytes-like object"),
    "frame in a batch": (lambda: framedec.decode_dc([FRAME, 5]), "frame[1] must be a bytes-like object"),
    "threads float": (lambda: framedec.decode(FRAME, threads=2.0), "threads must be an integer, not float"),
    "threads bool": (lambda: framedec.decode(FRAME, threads=True), "threads must be an integer"),
    "table str": (lambda: framedec.decode(FRAME, table="abc"), "table must be 64 integers, not str"),
    "rect float": (lambda: framedec.decode(FRAME, rect=(0, 0, 8.0, 8)), "rect width must be an integer"),
    "rect int": (lambda: framedec.decode(FRAME, rect=8), "rect must be"),
    "out bytearray": (lambda: framedec.decode_dc(FRAME, out=bytearray(320)), "out must be a numpy array"),
    "gpu width": (lambda: framedec.GpuDecoder(1246.0, 8), "width must be an integer"),
    "recording path": (lambda: framedec.Recording(3, 16), "path must be a str"),
    "recording height": (lambda: framedec.Recording(__file__, "16"), "height must be an integer"),
}
OTHER_ARGUMENTS = ["frame", "table", "rect", "threads", "out", "path"]


@pytest.mark.parametrize("name", WRONG_TYPES)
def test_wrong_types_raise_type_error_naming_only_that_argument(name):
    call, fragment = WRONG_TYPES[name]
    with pytest.raises(TypeError) as raised:
        call()
    message = str(raised.value)
    assert fragment in message
    wrong = fragment.split()[0].split("[")[0]
    assert [other for other in OTHER_ARGUMENTS if other != wrong and re.search(rf"\b{other}\b", message)] == []


def test_a_refused_thread_count_is_named_alone():
    with pytest.raises(ArgumentError) as raised:
        framedec.decode(FRAME, rect=(0, 0, 1246, 16), threads=40)
    assert str(raised.value) == "threads=40 is outside 1 to 32"


@pytest.mark.parametrize("rect, threads", [((3, 0, 8, 8), 1), ((0, 0, 1246, 16), 33), ((8, 0, 1240, 16), 2)])
def test_a_refused_decode_writes_nothing(rect, threads):
    out = np.full((rect[3], rect[2]), 0xA5, np.uint8)
    with pytest.raises(ArgumentError):
        framedec.decode(np.full(16 * 320, 0x0B, np.uint8), rect=rect, threads=threads, out=out)
    assert (out == 0xA5).all()


@pytest.mark.parametrize("code", range(26, 32))
def test_gpu_result_codes_raise_gpu_error(code):
    error = framedec._errors.gpu_error("DecodeGPU", code, 35)
    assert isinstance(error, GpuError) and isinstance(error, RuntimeError)
    assert error.code == code and f"result code {code}" in str(error) and "CUDA error 35" in str(error)
    unexpected = framedec._errors.gpu_error("DecodeGPU", 99)
    assert type(unexpected) is FramedecError and unexpected.code == 99
