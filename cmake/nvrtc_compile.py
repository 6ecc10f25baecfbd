#!/usr/bin/env python3
"""Compiles one CUDA source file with NVIDIA's runtime compiler (NVRTC), loaded through ctypes.

Used by the build for device architectures that the installed nvcc no longer targets: NVRTC 12.9
(from PyPI) still compiles for compute capability 5.0 and newer. Writes machine code (a cubin) for
an sm_XX architecture or PTX for a compute_XX one.

NVRTC ships no C library headers; the ones the kernel sources include are supplied here as
stand-ins with only what device code needs from them.
"""
import argparse
import ctypes
import sys

# Stand-ins for the system headers the kernel sources include.
HEADER_STUBS = {
    "stddef.h": "#pragma once\n",  # size_t is built into NVRTC
}


def program_log(nvrtc, program):
    size = ctypes.c_size_t()
    nvrtc.nvrtcGetProgramLogSize(program, ctypes.byref(size))
    buffer = ctypes.create_string_buffer(size.value)
    nvrtc.nvrtcGetProgramLog(program, buffer)
    return buffer.value.decode(errors="replace")


def check(nvrtc, result, what, program=None):
    if result == 0:
        return
    nvrtc.nvrtcGetErrorString.restype = ctypes.c_char_p
    message = nvrtc.nvrtcGetErrorString(result).decode()
    log = program_log(nvrtc, program) if program is not None else ""
    sys.exit(f"nvrtc_compile: {what} failed: {message}\n{log}")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--nvrtc", required=True, help="path of libnvrtc.so.12 (or nvrtc64_*.dll)")
    parser.add_argument("--arch", required=True, help="sm_52 for machine code, compute_52 for PTX")
    parser.add_argument("--output", required=True)
    parser.add_argument("--include", action="append", default=[], help="an include directory")
    parser.add_argument("--option", action="append", default=[], help="a further NVRTC option")
    parser.add_argument("source")
    args = parser.parse_args()

    nvrtc = ctypes.CDLL(args.nvrtc)
    with open(args.source, "rb") as f:
        source = f.read()

    names = list(HEADER_STUBS)
    headers = (ctypes.c_char_p * len(names))(*[HEADER_STUBS[n].encode() for n in names])
    include_names = (ctypes.c_char_p * len(names))(*[n.encode() for n in names])
    program = ctypes.c_void_p()
    check(nvrtc, nvrtc.nvrtcCreateProgram(ctypes.byref(program), source, args.source.encode(), len(names),
                                          headers, include_names), "nvrtcCreateProgram")

    options = [f"--gpu-architecture={args.arch}"] + [f"--include-path={d}" for d in args.include] + args.option
    option_array = (ctypes.c_char_p * len(options))(*[o.encode() for o in options])
    check(nvrtc, nvrtc.nvrtcCompileProgram(program, len(options), option_array), "compiling " + args.source, program)
    # Warnings, less NVRTC's notice that these architectures are deprecated (building them is the point).
    warnings = [line for line in program_log(nvrtc, program).splitlines()
                if line.strip() and "are deprecated" not in line]
    if warnings:
        print("\n".join(warnings), file=sys.stderr)

    machine_code = args.arch.startswith("sm_")
    get_size, get = (nvrtc.nvrtcGetCUBINSize, nvrtc.nvrtcGetCUBIN) if machine_code else (nvrtc.nvrtcGetPTXSize,
                                                                                         nvrtc.nvrtcGetPTX)
    size = ctypes.c_size_t()
    check(nvrtc, get_size(program, ctypes.byref(size)), "reading the output size")
    output = ctypes.create_string_buffer(size.value)
    check(nvrtc, get(program, output), "reading the output")
    nvrtc.nvrtcDestroyProgram(ctypes.byref(program))
    with open(args.output, "wb") as f:
        f.write(output.raw if machine_code else output.raw.rstrip(b"\0") + b"\0")


if __name__ == "__main__":
    main()
