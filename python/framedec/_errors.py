"""The exceptions of framedec and the texts of the library's result codes."""

from __future__ import annotations

INVALID_ARGUMENT = 5

# What each GPU result code means, as the library's header documents it.
GPU_FAILURES = {
    26: "no CUDA device is available",
    27: "copying the frame to the device or launching a kernel failed",
    28: "allocating a device buffer failed",
    29: "freeing a device buffer failed",
    30: "waiting for the device failed",
    31: "copying the decoded image back to the host failed",
}


class FramedecError(Exception):
    """A framedec call failed; ``code`` is the library's result code."""

    def __init__(self, message: str, code: int) -> None:
        super().__init__(message)
        self.code = code


class ArgumentError(FramedecError, ValueError):
    """An argument was refused, by the library (result code 5) or by the binding before the call."""

    def __init__(self, message: str, code: int = INVALID_ARGUMENT) -> None:
        super().__init__(message, code)


class GpuError(FramedecError, RuntimeError):
    """A GPU call failed with one of the result codes 26 to 31."""


def gpu_error(call: str, code: int, cuda_error: int = 0) -> FramedecError:
    """The exception for a GPU call that returned ``code``, naming the CUDA runtime's error if any."""
    meaning = GPU_FAILURES.get(code)
    if meaning is None:
        return FramedecError(f"{call} returned the unexpected result code {code}", code)
    detail = f"; CUDA error {cuda_error}" if cuda_error else ""
    return GpuError(f"{call} failed with result code {code} ({meaning}{detail})", code)
