"""Whole-frame decoding on the GPU.

The library has one process-wide GPU set-up. A ``GpuDecoder`` makes it for its frame size; a later
``GpuDecoder`` replaces it (the library tears the old set-up down first), and the earlier decoder
then refuses to decode. One lock orders set-up, decode and tear-down from every Python thread.
"""

from __future__ import annotations

import threading
from typing import Any, Optional, Tuple

import numpy as np

from . import _framedec as _native
from ._arguments import BYTES_PER_LINE, IMAGE_WIDTH, frame_array, frame_height, integer
from ._errors import ArgumentError, GpuError, gpu_error

_DECODE_FAILED = 27

_lock = threading.Lock()
_current: Optional["GpuDecoder"] = None  # the decoder whose set-up the library holds


def gpu_available() -> bool:
    """Whether a CUDA device can be used (``GetAvailableGPUProcess``).

    With the host GPU backend (a build without CUDA) the kernels run on the CPU and this is True.
    """
    return _native.gpu_available() == 0


class DeviceImage:
    """A decoded image left in the GPU's pixel buffer by ``GpuDecoder.decode_to_device``.

    It exports the buffer without a copy through DLPack (``__dlpack__``, ``__dlpack_device__``), so
    ``cupy.from_dlpack``, ``torch.from_dlpack`` or, with the host backend, ``numpy.from_dlpack`` take
    it as a uint8 array of shape (height, width). With the cuda backend the memory is on CUDA device
    0; with the host backend it is host memory.

    The buffer belongs to the library: the image is valid only until the decoder's next decode or
    its tear-down. Exporting it after that raises BufferError; arrays exported before must not be
    used after it. The decode was queued on the CUDA default stream and may still be running:
    consumers on that stream, or on blocking streams (the default of CuPy and PyTorch), see the
    finished image; others must synchronise first.
    """

    def __init__(self, decoder: "GpuDecoder", address: int, decode_number: int) -> None:
        self._decoder = decoder
        self._decode_number = decode_number
        self.address = address
        self.shape: Tuple[int, int] = (decoder.height, decoder.width)

    @property
    def valid(self) -> bool:
        """False once the decoder has decoded again or been closed."""
        return self._decoder._holds_image(self._decode_number)

    def __dlpack__(self, **kwargs: Any) -> Any:
        if not self.valid:
            raise BufferError("this GPU image was overwritten by a later decode or freed by the tear-down")
        return _native.gpu_device_image(self.address, self.shape[0], self.shape[1], self).__dlpack__(**kwargs)

    def __dlpack_device__(self) -> Tuple[int, int]:
        return _native.gpu_device_image(self.address, self.shape[0], self.shape[1], self).__dlpack_device__()

    def __repr__(self) -> str:
        state = "valid" if self.valid else "no longer valid"
        return f"<framedec.DeviceImage {self.shape[0]} x {self.shape[1]} at {self.address:#x}, {state}>"


class GpuDecoder:
    """The GPU set up for frames of one size: a context manager over set-up and tear-down.

    ``GpuDecoder(width, height)`` sets up (``SetupGPUDecode``): width 1 to 1246 pixels, height a
    multiple of 8 from 8 to 1024 lines. Leaving the ``with`` block, or ``close()``, tears down
    (``TeardownGPUDecode``). The GPU decodes with its own fixed table (``DEFAULT_TABLE``) in single
    precision, so its pixels may differ from ``decode``'s by a grey level or so.

    Raises GpuError: code 26 when no CUDA device is available, 28 when the set-up cannot allocate.
    """

    def __init__(self, width: int, height: int) -> None:
        global _current
        self.width = integer("width", width, 1, IMAGE_WIDTH)
        self.height = frame_height("height", height)
        self._open = False
        self._decodes = 0
        with _lock:
            code = _native.gpu_available()
            if code != 0:
                raise gpu_error("GetAvailableGPUProcess", code)
            code, cuda_error = _native.gpu_setup(self.width, self.height)
            if _current is not None:
                _current._open = False  # the library tore its set-up down first
                _current = None
            if code != 0:
                _native.gpu_teardown()  # frees what the failed set-up allocated
                raise gpu_error(f"SetupGPUDecode(width={self.width}, height={self.height})", code, cuda_error)
            _current = self
            self._open = True

    @property
    def closed(self) -> bool:
        """True after ``close()`` or once a later GpuDecoder has replaced this one's set-up."""
        return not self._open

    def decode(self, frame: Any, *, pitch: Optional[int] = None) -> np.ndarray:
        """Decode a whole frame on the GPU and copy the image to the host (``DecodeGPU``).

        frame: a compressed frame of this decoder's height (bytes-like or uint8 array).
        pitch: the number of columns decoded and returned, 1 to the width rounded up to a multiple
            of 4; default: the width.

        Returns a uint8 array of shape (height, pitch). The GIL is released while decoding.
        """
        data = self._frame(frame)
        columns = self._pitch(pitch)
        image = np.empty((self.height, columns), np.uint8)
        with _lock:
            self._check_open()
            self._decodes += 1
            code, cuda_error = _native.gpu_decode_to_host(data, image)
        if code != 0:
            raise gpu_error("DecodeGPU", code, cuda_error)
        return image

    def decode_to_device(self, frame: Any) -> DeviceImage:
        """Decode a whole frame on the GPU and leave the image there (``DecodeGPU`` without a copy).

        Returns a ``DeviceImage`` (height x width, exported through DLPack without a copy), valid
        until this decoder's next decode or tear-down. The call does not wait for the GPU.
        """
        data = self._frame(frame)
        with _lock:
            self._check_open()
            self._decodes += 1
            code, address, cuda_error = _native.gpu_decode_to_device(data, self.width)
            if code != 0:
                raise gpu_error("DecodeGPU", code, cuda_error)
            return DeviceImage(self, address, self._decodes)

    def close(self) -> None:
        """Tear the set-up down (``TeardownGPUDecode``); nothing to do if already closed or replaced."""
        global _current
        with _lock:
            if _current is not self:
                self._open = False
                return
            code, cuda_error = _native.gpu_teardown()
            if code != 0:
                raise gpu_error("TeardownGPUDecode", code, cuda_error)
            _current = None
            self._open = False

    def __enter__(self) -> "GpuDecoder":
        return self

    def __exit__(self, *exc_info: Any) -> None:
        self.close()

    def __repr__(self) -> str:
        state = "closed" if self.closed else "set up"
        return f"<framedec.GpuDecoder {self.width} x {self.height}, {state}>"

    def _holds_image(self, decode_number: int) -> bool:
        return self._open and self._decodes == decode_number

    def _check_open(self) -> None:
        if not self._open:
            raise GpuError(f"{self!r} cannot decode: its set-up was torn down or replaced by a later GpuDecoder",
                           _DECODE_FAILED)

    def _frame(self, frame: Any) -> np.ndarray:
        data, lines = frame_array(frame)
        if lines != self.height:
            raise ArgumentError(f"frame has {data.size} bytes ({lines} lines); this decoder takes frames of "
                                f"{self.height} lines ({self.height * BYTES_PER_LINE} bytes)")
        return data

    def _pitch(self, pitch: Optional[int]) -> int:
        if pitch is None:
            return self.width
        return integer("pitch", pitch, 1, _native.gpu_padded_width(self.width))
