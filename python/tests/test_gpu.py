"""The GPU decoder gives the C library's images, hands out device images through DLPack, and keeps
the one process-wide set-up consistent between decoders."""

from __future__ import annotations

import os
import pickle
import subprocess
import sys

import numpy as np
import pytest

import framedec
from framedec import GpuError

needs_gpu = pytest.mark.skipif(not framedec.gpu_available(), reason="no CUDA device and not the host GPU backend")


@pytest.mark.skipif(framedec.gpu_available(), reason="a GPU is available")
def test_without_a_device_set_up_raises_gpu_error_26():
    with pytest.raises(GpuError) as raised:
        framedec.GpuDecoder(1246, 1024)
    assert raised.value.code == 26 and "no CUDA device" in str(raised.value)


@pytest.mark.skipif(framedec._framedec.GPU_BACKEND != "host", reason="a build with CUDA")
def test_the_host_backend_is_no_gpu_unless_asked_for():
    script = """
import framedec
assert not framedec.gpu_available()
try:
    framedec.GpuDecoder(1246, 64)
except framedec.GpuError as error:
    assert error.code == 26 and "FRAMEDEC_USE_HOST_GPU_BACKEND=1" in str(error), error
else:
    raise SystemExit("the host backend was set up as a GPU")
"""
    environment = {name: value for name, value in os.environ.items() if name != "FRAMEDEC_USE_HOST_GPU_BACKEND"}
    subprocess.run([sys.executable, "-c", script], env=environment, check=True, timeout=60)


@needs_gpu
def test_a_decoder_refuses_pickling_saying_why():
    with framedec.GpuDecoder(1246, 64) as gpu, pytest.raises(TypeError, match="cannot be pickled"):
        pickle.dumps(gpu)


@needs_gpu
@pytest.mark.parametrize("width, pitch", [(1246, None), (1246, 1248), (1246, 100), (640, 8)])
def test_host_copy_equals_the_c_call(clib, frames, width, pitch):
    frame = frames["real"]
    with framedec.GpuDecoder(width, 1024) as gpu:
        image = gpu.decode(frame, pitch=pitch)
    assert not clib.gpu_is_setup()
    np.testing.assert_array_equal(image, clib.gpu_pixels(frame, width, pitch or width))


@needs_gpu
def test_device_image_through_dlpack_until_the_next_decode(frames):
    first, second = frames["real"], frames["random"]
    with framedec.GpuDecoder(1246, 1024) as gpu:
        expected = gpu.decode(first)
        image = gpu.decode_to_device(first)
        assert image.valid and image.shape == (1024, 1246)
        if framedec._framedec.GPU_BACKEND == "host":
            assert image.__dlpack_device__() == (1, 0)
            np.testing.assert_array_equal(np.from_dlpack(image), expected)
        gpu.decode(second)  # the export above is gone, so the image may be overwritten
        assert not image.valid
        with pytest.raises(BufferError):
            image.__dlpack__()
        image = gpu.decode_to_device(second)
        assert image.valid
    assert not image.valid  # the tear-down freed it


@needs_gpu
def test_a_later_decoder_replaces_the_set_up(clib, frames):
    first = framedec.GpuDecoder(1246, 1024)
    with framedec.GpuDecoder(1246, 24) as second:
        assert first.closed and not second.closed
        with pytest.raises(GpuError) as raised:
            first.decode(frames["real"])
        assert raised.value.code == 27
        first.close()  # leaves the later set-up alone
        assert clib.gpu_is_setup()
        image = second.decode(frames["short"])
        with pytest.raises(framedec.ArgumentError, match="frame has 327680 bytes"):
            second.decode(frames["real"])
    assert second.closed and not clib.gpu_is_setup()
    np.testing.assert_array_equal(image, clib.gpu_pixels(frames["short"], 1246, 1246))


@needs_gpu
@pytest.mark.skipif(framedec._framedec.GPU_BACKEND != "host", reason="DLPack of the host backend's memory")
@pytest.mark.skipif(np.lib.NumpyVersion(np.__version__) < "2.1.0", reason="numpy.from_dlpack without copy, device")
def test_dlpack_copy_stream_and_device_on_the_host_backend(frames):
    with framedec.GpuDecoder(1246, 1024) as gpu:
        expected = gpu.decode(frames["real"])
        image = gpu.decode_to_device(frames["real"])
        copied = np.from_dlpack(image, copy=True)
        gpu.decode(frames["random"])  # a copy holds nothing of the decoder's
        np.testing.assert_array_equal(copied, expected)
        image = gpu.decode_to_device(frames["real"])
        for kwargs in ({"stream": 1}, {"dl_device": (2, 0)}):
            with pytest.raises(BufferError):
                image.__dlpack__(**kwargs)
        assert np.from_dlpack(image, device="cpu").shape == (1024, 1246)
