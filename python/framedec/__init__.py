"""framedec: decode the camera's compressed greyscale frames to numpy arrays.

A compressed frame of H lines (H a multiple of 8 from 8 to 1024) is H x 320 bytes; images are at
most 1246 pixels wide. Frames may be any bytes-like object or uint8 array; results are numpy arrays.

    decode(frame)                 8-bit pixels of the whole frame or a rectangle, on 1 to 32 threads
    decode_coefficients(frame)    dequantised DCT coefficients (int16)
    decode_dc(frame)              1/8-scale preview from the DC codes
    sequence_number(frame)        the frame's 16-bit sequence number
    GpuDecoder(width, height)     whole frames on the GPU, to the host or left on the device
    Recording(path, height)       a file of frames: raw frames, decoded images, sequence gaps, dask
    encode(image)                 test frames from any 2-D uint8 array

A frame is 1-D or of shape (H, 320); a batch of frames, an (N, H, 320) array or a list of frames,
decodes to (N, ...) arrays, frame-parallel.

Every decode releases the GIL. Refused values raise ArgumentError (a ValueError), arguments of the
wrong type TypeError; GPU failures raise GpuError (a RuntimeError); ArgumentError and GpuError are
FramedecError with the library's result code in ``code``.
"""

from __future__ import annotations

from ._arguments import DEFAULT_TABLE
from ._decode import decode, decode_coefficients, decode_dc, sequence_number
from ._errors import ArgumentError, FramedecError, GpuError
from ._gpu import DeviceImage, GpuDecoder, gpu_available
from ._recording import Recording
from ._synth import encode, quality_table

from ._framedec import VERSION as __version__

__all__ = [
    "DEFAULT_TABLE",
    "ArgumentError",
    "DeviceImage",
    "FramedecError",
    "GpuDecoder",
    "GpuError",
    "Recording",
    "decode",
    "decode_coefficients",
    "decode_dc",
    "encode",
    "gpu_available",
    "quality_table",
    "sequence_number",
]
