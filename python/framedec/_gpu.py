"""Whole-frame decoding on the GPU.

The library has one process-wide GPU set-up. A ``GpuDecoder`` makes it for its frame size; a later
``GpuDecoder`` replaces it (the library tears the old set-up down first), and the earlier decoder
then refuses to decode. One lock orders set-up, decode and tear-down from every Python thread.
"""

from __future__ import annotations

import os
import threading
import weakref
from typing import Any, Optional, Tuple

import numpy as np

from . import _framedec as _native
from ._arguments import BYTES_PER_LINE, IMAGE_WIDTH, frame_height, frames_of, integer
from ._errors import ArgumentError, GpuError, gpu_error

_NO_DEVICE = 26
_DECODE_FAILED = 27
_WAIT_FAILED = 30
_DLPACK_CPU = 1
# Streams on which work queued after the export runs after the decode: the legacy default stream
# (None, 1) orders itself after it; -1 says the consumer synchronises itself.
_STREAMS_ORDERED_AFTER_THE_DECODE = (None, 1, -1)

# The host backend (a build without CUDA) runs the GPU kernels on the CPU, 16 to 50 times slower
# than ``decode``: it is a stand-in for tests, used only when this variable is 1.
HOST_BACKEND_VARIABLE = "FRAMEDEC_USE_HOST_GPU_BACKEND"

_lock = threading.Lock()
_current: Optional["GpuDecoder"] = None  # the decoder whose set-up the library holds


def _host_backend_refused() -> bool:
    return _native.GPU_BACKEND == "host" and os.environ.get(HOST_BACKEND_VARIABLE) != "1"


def gpu_available() -> bool:
    """Whether a CUDA device can be used (``GetAvailableGPUProcess``).

    False in a build without CUDA (the host GPU backend, which ``pip install .`` builds where nvcc
    is absent): it would run the kernels on the CPU, far slower than ``decode``. Tests that want it
    anyway set the environment variable FRAMEDEC_USE_HOST_GPU_BACKEND=1.
    """
    return not _host_backend_refused() and _native.gpu_available() == 0


class _Export:
    """Kept alive by one DLPack export of a device image for as long as its consumer holds it."""

    __slots__ = ("__weakref__",)


class DeviceImage:
    """A decoded image left in the GPU's pixel buffer by ``GpuDecoder.decode_to_device``.

    It exports the buffer without a copy through DLPack (``__dlpack__``, ``__dlpack_device__``), so
    ``cupy.from_dlpack``, ``torch.from_dlpack`` or, with the host backend, ``numpy.from_dlpack`` take
    it as a uint8 array of shape (height, width). With the cuda backend the memory is on CUDA device
    0; with the host backend it is host memory.

    The buffer belongs to the library and is reused by every decode. While any array exported from
    it is alive, whatever would change or free it raises BufferError: the decoder's next decode, its
    ``close()`` (and the end of its ``with`` block), and a new ``GpuDecoder``. Delete the exported
    arrays (or copy them) first, as a ``bytearray`` cannot be resized while a view of it exists. A
    ``DeviceImage`` not exported holds nothing: after the next decode or the tear-down it is no
    longer ``valid`` and refuses to export.

    The decode was queued on the CUDA default stream. ``__dlpack__(stream=s)`` makes it complete for
    the consumer's stream: nothing to do for the legacy default stream (None or 1) or for -1 (the
    consumer synchronises itself); for any other stream it waits for the device. With the host
    backend the image is complete when the decode returns, and stream must be None.
    """

    __slots__ = ("_decoder", "_decode_number", "_address", "_shape")

    def __init__(self, decoder: "GpuDecoder", address: int, decode_number: int) -> None:
        self._decoder = decoder
        self._decode_number = decode_number
        self._address = address
        self._shape: Tuple[int, int] = (decoder.height, decoder.width)

    @property
    def address(self) -> int:
        """The image's device address (read-only)."""
        return self._address

    @property
    def shape(self) -> Tuple[int, int]:
        """(height, width) of the image (read-only)."""
        return self._shape

    @property
    def valid(self) -> bool:
        """False once the decoder has decoded again or been closed."""
        return self._decoder._holds_image(self._decode_number)

    def __dlpack__(self, *, stream: Any = None, max_version: Optional[Tuple[int, int]] = None,
                   dl_device: Optional[Tuple[int, int]] = None, copy: Optional[bool] = None) -> Any:
        device = self.__dlpack_device__()
        if dl_device is not None and tuple(dl_device) != device:
            raise BufferError(f"this image is on DLPack device {device} and cannot be exported to {tuple(dl_device)}")
        on_host = device[0] == _DLPACK_CPU
        if on_host and stream is not None:
            raise BufferError(f"stream must be None for an image in host memory, not {stream!r}")
        if copy and not on_host:
            raise BufferError("a device image cannot be copied on the device; export it without copy=True")
        with _lock:
            if not self.valid:
                raise BufferError("this GPU image was overwritten by a later decode or freed by the tear-down")
            if not on_host and stream not in _STREAMS_ORDERED_AFTER_THE_DECODE:
                code = _native.gpu_wait_for_device()
                if code != 0:
                    raise GpuError(f"waiting for the device before the export failed with CUDA error {code}",
                                   _WAIT_FAILED)
            if copy:
                image: Any = np.from_dlpack(_native.gpu_device_image(self._address, *self._shape, None)).copy()
                return image.__dlpack__(max_version=max_version) if max_version else image.__dlpack__()
            owner = _Export()
            self._decoder._exports.add(owner)
            exported = _native.gpu_device_image(self._address, *self._shape, owner)
        return exported.__dlpack__(max_version=max_version)

    def __dlpack_device__(self) -> Tuple[int, int]:
        return _native.gpu_dlpack_device()

    def __repr__(self) -> str:
        state = "valid" if self.valid else "no longer valid"
        return f"<framedec.DeviceImage {self._shape[0]} x {self._shape[1]} at {self._address:#x}, {state}>"


class GpuDecoder:
    """The GPU set up for frames of one size: a context manager over set-up and tear-down.

    ``GpuDecoder(width, height)`` sets up (``SetupGPUDecode``): width 1 to 1246 pixels, height a
    multiple of 8 from 8 to 1024 lines. Leaving the ``with`` block, or ``close()``, tears down
    (``TeardownGPUDecode``). The GPU decodes with its own fixed table (``DEFAULT_TABLE``) in single
    precision, so its pixels may differ from ``decode``'s by a grey level or so.

    Raises GpuError: code 26 when no CUDA device is available (also in a build without CUDA, see
    ``gpu_available``), 28 when the set-up cannot allocate; BufferError while an array exported
    from the current set-up's image is alive (``DeviceImage``). A GpuDecoder stands for the
    process's one GPU set-up and cannot be pickled.
    """

    def __init__(self, width: int, height: int) -> None:
        global _current
        self.width = integer("width", width, 1, IMAGE_WIDTH)
        self.height = frame_height("height", height)
        self._open = False
        self._decodes = 0
        self._exports: "weakref.WeakSet[_Export]" = weakref.WeakSet()
        if _host_backend_refused():
            raise GpuError(f"no CUDA device: this framedec was built without CUDA (the host GPU backend, which runs "
                           f"the kernels on the CPU); decode() is faster, or set {HOST_BACKEND_VARIABLE}=1 to use "
                           "it anyway", _NO_DEVICE)
        with _lock:
            if _current is not None:
                _current._check_not_exported("a new GpuDecoder")
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
            self._check_not_exported("decode")
            self._decodes += 1
            code, cuda_error = _native.gpu_decode_to_host(data, image)
        if code != 0:
            raise gpu_error("DecodeGPU", code, cuda_error)
        return image

    def decode_to_device(self, frame: Any) -> DeviceImage:
        """Decode a whole frame on the GPU and leave the image there (``DecodeGPU`` without a copy).

        Returns a ``DeviceImage`` (height x width, exported through DLPack without a copy), valid
        until this decoder's next decode or tear-down, neither of which can happen while an array
        exported from it is alive. The call does not wait for the GPU.
        """
        data = self._frame(frame)
        with _lock:
            self._check_open()
            self._check_not_exported("decode_to_device")
            self._decodes += 1
            code, address, cuda_error = _native.gpu_decode_to_device(data, self.width)
            if code != 0:
                raise gpu_error("DecodeGPU", code, cuda_error)
            return DeviceImage(self, address, self._decodes)

    def close(self) -> None:
        """Tear the set-up down (``TeardownGPUDecode``); nothing to do if already closed or replaced.

        Raises BufferError, and tears nothing down, while an array exported from this decoder's
        image is alive.
        """
        global _current
        with _lock:
            if _current is not self:
                self._open = False
                return
            self._check_not_exported("close")
            code, cuda_error = _native.gpu_teardown()
            if code != 0:
                raise gpu_error("TeardownGPUDecode", code, cuda_error)
            _current = None
            self._open = False

    def __enter__(self) -> "GpuDecoder":
        return self

    def __exit__(self, *exc_info: Any) -> None:
        self.close()

    def __reduce__(self) -> Any:
        raise TypeError("a GpuDecoder holds this process's GPU set-up and cannot be pickled; make one "
                        "GpuDecoder in each process that decodes")

    def __repr__(self) -> str:
        state = "closed" if self.closed else "set up"
        return f"<framedec.GpuDecoder {self.width} x {self.height}, {state}>"

    def _holds_image(self, decode_number: int) -> bool:
        return self._open and self._decodes == decode_number

    def _check_not_exported(self, operation: str) -> None:
        alive = len(self._exports)
        if alive:
            raise BufferError(f"{operation} would overwrite or free the GPU image that {alive} exported array(s) "
                              "still use; delete them (or copy them) first")

    def _check_open(self) -> None:
        if not self._open:
            raise GpuError(f"{self!r} cannot decode: its set-up was torn down or replaced by a later GpuDecoder",
                           _DECODE_FAILED)

    def _frame(self, frame: Any) -> np.ndarray:
        given = frames_of(frame)
        if given.batch:
            raise ArgumentError("frame is a batch; the GPU decodes one frame at a time")
        if given.lines != self.height:
            raise ArgumentError(f"frame has {given.frames.size} bytes ({given.lines} lines); this decoder takes "
                                f"frames of {self.height} lines ({self.height * BYTES_PER_LINE} bytes)")
        return given.frames.reshape(-1)

    def _pitch(self, pitch: Optional[int]) -> int:
        if pitch is None:
            return self.width
        return integer("pitch", pitch, 1, _native.gpu_padded_width(self.width))
