"""The tool's TIFF stacks as tifffile reads them (and with it napari and Python users): an ImageJ
hyperstack whose frame count, interval and page names are those of the conversion.

Run by ctest with the tool's path; tifffile comes from the virtual environment that
tests/run-all.sh makes in build/tiff-readers (the test is skipped where there is none).
"""
import os
import subprocess
import sys
import tempfile

SKIPPED = 77
READERS = os.path.join(os.path.dirname(__file__), "..", "build", "tiff-readers", "bin", "python")
IMAGE = os.path.join(os.path.dirname(__file__), "..", "data", "images", "astronaut.pgm")

try:
    import numpy
    import tifffile
except ImportError:
    if os.path.exists(READERS) and os.path.abspath(sys.executable) != os.path.abspath(READERS):
        os.execv(READERS, [READERS, *sys.argv])
    print("skipped: no tifffile (tests/run-all.sh installs it into build/tiff-readers)")
    sys.exit(SKIPPED)


def framedec(*args):
    subprocess.run([sys.argv[1], *args], check=True, stdout=subprocess.DEVNULL)


def check(condition, what):
    if not condition:
        raise AssertionError(what)


def main():
    os.chdir(tempfile.mkdtemp(prefix="framedec-stack-readers-"))
    # Sequence numbers 0, 1, 3, 4, 5, 6: one dropped before frame 2.
    framedec("synth", IMAGE, "--count", "6", "--drop", "2", "--height", "48", "-o", "rec.bin")
    framedec("convert", "rec.bin", "--height", "auto", "--fps", "50", "-o", "plain.tif")
    framedec("convert", "rec.bin", "--height", "48", "--deflate", "--fill-dropped", "--frame-interval", "0.5",
             "-o", "filled.tif")
    framedec("convert", "rec.bin", "--height", "48", "--mode", "dc", "-o", "previews.tif")

    with tifffile.TiffFile("plain.tif") as tif:
        check(tif.is_imagej, "plain.tif is not an ImageJ hyperstack")
        check(tif.imagej_metadata["frames"] == 6 and tif.imagej_metadata["finterval"] == 0.02, tif.imagej_metadata)
        check(tif.series[0].shape == (6, 48, 1246) and tif.series[0].axes == "TYX", tif.series[0])
        check(tif.pages[3].tags["PageName"].value == "frame=3 sequence_number=4", "page 3's name")
        plain = tif.asarray()
    with tifffile.TiffFile("filled.tif") as tif:
        check(tif.is_imagej and tif.imagej_metadata["frames"] == 7, "filled.tif: 7 frames, 0 to 6")
        check(tif.imagej_metadata["finterval"] == 0.5 and tif.pages[0].predictor == 2, tif.imagej_metadata)
        check(tif.pages[2].tags["PageName"].value == "dropped sequence_number=2", "the blank page's name")
        filled = tif.asarray()
    check(numpy.array_equal(filled[[0, 1, 3, 4, 5, 6]], plain), "deflate pages differ from uncompressed ones")
    check(not filled[2].any(), "the dropped frame's page is not blank")
    with tifffile.TiffFile("previews.tif") as tif:
        check(tif.is_imagej and tif.series[0].shape == (6, 6, 156), tif.series[0])
    print("tifffile read 3 stacks as ImageJ hyperstacks")


if __name__ == "__main__":
    main()
