"""Reproducers of faults that once ended the interpreter with a signal or returned wrong data
silently. Each runs in a fresh process and must end with its Python exception or the right data."""

from __future__ import annotations

import os
import pathlib
import subprocess
import sys
import textwrap

import pytest

import framedec

SETUP = """
import os, sys
import numpy as np
import framedec
frame = framedec.encode(np.random.default_rng(1).integers(0, 256, (64, 1246), dtype=np.uint8), sequence=7)
"""

REPRODUCERS = {
    "dlpack_export_used_after_close": """
        def refused(operation):
            try:
                operation()
            except BufferError:
                return True
            return False

        gpu = framedec.GpuDecoder(1246, 64)
        image = np.from_dlpack(gpu.decode_to_device(frame))
        expected = image.copy()
        assert refused(lambda: gpu.decode(frame)) and refused(lambda: gpu.decode_to_device(frame))
        assert refused(lambda: framedec.GpuDecoder(1246, 64)) and refused(gpu.close)
        def leave_with_block():
            with gpu:
                pass
        assert refused(leave_with_block)
        assert (image == expected).all() and image.mean() == expected.mean()
        del image
        gpu.close()
        assert gpu.closed
    """,
    "device_image_attributes_written": """
        with framedec.GpuDecoder(1246, 64) as gpu:
            device = gpu.decode_to_device(frame)
            for name, value in (("shape", (100000, 1000)), ("address", 0)):
                try:
                    setattr(device, name, value)
                    sys.exit(name + " is writable")
                except AttributeError:
                    pass
            exported = np.from_dlpack(device)
            assert exported.shape == (64, 1246) and int(exported.sum()) >= 0
            del exported
    """,
    "recording_truncated_while_open": """
        path = sys.argv[1]
        with open(path, "wb") as file:
            for number in range(20):
                file.write(framedec.encode(np.zeros((64, 8), np.uint8), sequence=number).tobytes())
        recording = framedec.Recording(path, 64)
        os.truncate(path, 5 * recording.frame_bytes)
        assert len(recording) == 20
        for read in (lambda: recording[-1], lambda: recording[3:20], recording.sequence_numbers,
                     lambda: recording.images[19]):
            try:
                read()
                sys.exit("a frame past the end was read")
            except IndexError as error:
                assert "now holds 5 whole frames" in str(error), error
        assert recording.refresh() == 5 and recording.sequence_numbers().tolist() == list(range(5))
    """,
    "two_frames_read_as_one_tall_frame": """
        second = framedec.encode(np.zeros((64, 1246), np.uint8), sequence=8)
        try:
            framedec.decode(np.stack([frame, second]))
            sys.exit("two 1-D frames side by side decoded as one")
        except framedec.ArgumentError as error:
            assert "(N, H, 320)" in str(error)
        batch = np.stack([frame.reshape(64, 320), second.reshape(64, 320)])
        images = framedec.decode(batch)
        assert images.shape == (2, 64, 1246)
        assert (images[0] == framedec.decode(frame)).all() and (images[1] == framedec.decode(second)).all()
        assert framedec.sequence_number(batch).tolist() == [7, 8]
    """,
    "out_overlapping_the_frame": """
        before = frame.copy()
        overlapping = frame[:4096].view(np.int16).reshape(64, 32)
        for call in (lambda: framedec.decode_coefficients(frame, rect=(0, 0, 32, 64), out=overlapping),
                     lambda: framedec.decode(frame, rect=(0, 0, 64, 64), out=frame[:4096].reshape(64, 64))):
            try:
                call()
                sys.exit("out overlapping the frame was written")
            except ValueError as error:
                assert "shares memory with the frame" in str(error)
        table = np.array(framedec.DEFAULT_TABLE)
        try:
            framedec.decode_coefficients(frame, table, rect=(0, 0, 8, 8), out=table.view(np.int16)[:64].reshape(8, 8))
            sys.exit("out overlapping the table was written")
        except ValueError as error:
            assert "shares memory with the table" in str(error)
        assert (frame == before).all()
    """,
    "exit_while_daemon_threads_decode_without_the_gil": """
        import threading, time
        path = sys.argv[1]
        with open(path, "wb") as file:
            for number in range(64):
                file.write(frame.tobytes())
        recording = framedec.Recording(path, 64, check=False)
        batch = np.stack([frame.reshape(64, 320)] * 16)
        calls = {"strips": lambda: framedec.decode(frame, threads=4), "batch": lambda: framedec.decode(batch),
                 "recording": lambda: recording[:]}
        started = threading.Barrier(len(calls) + 1)
        def forever(call):
            started.wait()
            while True:
                call()
        for call in calls.values():
            threading.Thread(target=forever, args=(call,), daemon=True).start()
        started.wait()
        time.sleep(0.2)  # the interpreter exits while they decode and read
    """,
    "ctrl_c_stops_a_long_batch": """
        import signal, threading, time
        slow = np.full(64 * 320, 0xFF, np.uint8)  # every code of the largest size: about 20 us a block
        batch = np.broadcast_to(slow.reshape(64, 320), (100000, 64, 320))  # seconds of work, one frame's memory
        out = np.full((100000, 8, 8), 7, np.uint8)
        def interrupt_once_decoding_began():
            while (out[0] == 7).all():
                time.sleep(0.001)
            os.kill(os.getpid(), signal.SIGINT)
        threading.Thread(target=interrupt_once_decoding_began, daemon=True).start()
        try:
            framedec.decode(batch, rect=(0, 0, 8, 8), out=out, threads=2)
            sys.exit("the whole batch was decoded before KeyboardInterrupt")
        except KeyboardInterrupt:
            assert (out[len(out) // 2:] == 7).all(), "the batch went on after Ctrl-C"
    """,
    "batch_workers_started_on_every_call": """
        def threads():
            return set(os.listdir("/proc/self/task"))
        batch = np.stack([frame.reshape(64, 320)] * 8)
        alone = threads()
        framedec.decode(batch, threads=3)
        workers = threads() - alone
        for _ in range(20):
            framedec.decode(batch, threads=3)
        assert len(workers) >= 1 and threads() - alone == workers, (alone, workers, threads())
    """,
    "fork_while_a_call_runs_without_the_gil": """
        import threading
        batch = np.stack([frame.reshape(64, 320)] * 64)
        expected = framedec.decode(batch)
        running = threading.Event()
        def decode_forever():
            while True:
                running.set()
                framedec.decode(batch, threads=2)
        threading.Thread(target=decode_forever, daemon=True).start()
        running.wait()
        child = os.fork()
        if child == 0:  # its exit must not wait for the parent's call, nor its batch for the parent's workers
            sys.exit(0 if (framedec.decode(batch, threads=2) == expected).all() else 3)
        _, status = os.waitpid(child, 0)
        assert os.waitstatus_to_exitcode(status) == 0, status
    """,
}
NEEDS_GPU = {"dlpack_export_used_after_close", "device_image_attributes_written"}


@pytest.mark.parametrize("name", REPRODUCERS)
def test_reproducer_ends_without_a_signal(name, tmp_path):
    if name in NEEDS_GPU and not framedec.gpu_available():
        pytest.skip("no CUDA device and not the host GPU backend")
    script = SETUP + textwrap.dedent(REPRODUCERS[name])
    package_parent = str(pathlib.Path(framedec.__file__).parents[1])
    environment = dict(os.environ, PYTHONPATH=os.pathsep.join([package_parent, os.environ.get("PYTHONPATH", "")]))
    finished = subprocess.run([sys.executable, "-c", script, str(tmp_path / "recording.bin")], env=environment,
                              capture_output=True, text=True, timeout=120)
    assert finished.returncode == 0, f"exit {finished.returncode}\n{finished.stdout}{finished.stderr}"
