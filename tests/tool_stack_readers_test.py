"""The tool's files as other programs read them: TIFF stacks through tifffile (and with it napari and
Python users) as ImageJ hyperstacks whose frame count, interval, page names, slice labels and
resolution are those of the conversion; PNG files through Pillow with the same pixels and labels.

Run by ctest with the command that starts the tool (under Wine for the Windows build); tifffile and
Pillow come from the virtual environment that tests/run-all.sh makes in build/tiff-readers (the
test is skipped where there is none).
"""
import os
import shutil
import subprocess
import sys
import tempfile

SKIPPED = 77
READERS = os.path.join(os.path.dirname(__file__), "..", "build", "tiff-readers", "bin", "python")
IMAGE = os.path.join(os.path.dirname(__file__), "..", "data", "images", "astronaut.pgm")

try:
    import numpy
    import tifffile
    from PIL import Image
except ImportError:
    if os.path.exists(READERS) and os.path.abspath(sys.executable) != os.path.abspath(READERS):
        os.execv(READERS, [READERS, *sys.argv])
    print("skipped: no tifffile or Pillow (tests/run-all.sh installs them into build/tiff-readers)")
    sys.exit(SKIPPED)


def framedec(*args):
    subprocess.run([*sys.argv[1:], *args], check=True, stdout=subprocess.DEVNULL)


def check(condition, what):
    if not condition:
        raise AssertionError(what)


def check_tiff():
    framedec("convert", "rec.bin", "--height", "auto", "--fps", "50", "-o", "plain.tif")
    framedec("convert", "rec.bin", "--height", "48", "--deflate", "--fill-dropped", "--frame-interval", "0.5",
             "-o", "filled.tif")
    framedec("convert", "rec.bin", "--height", "48", "--deflate", "--no-predictor", "-o", "unpredicted.tif")
    framedec("convert", "rec.bin", "--height", "48", "--mode", "dc", "-o", "previews.tif")

    with tifffile.TiffFile("plain.tif") as tif:
        check(tif.is_imagej, "plain.tif is not an ImageJ hyperstack")
        check(tif.imagej_metadata["frames"] == 6 and tif.imagej_metadata["finterval"] == 0.02, tif.imagej_metadata)
        check(tif.series[0].shape == (6, 48, 1246) and tif.series[0].axes == "TYX", tif.series[0])
        check(tif.pages[3].tags["PageName"].value == "frame=3 sequence_number=4", "page 3's name")
        check(tif.imagej_metadata["Labels"][3] == "frame=3 sequence_number=4", tif.imagej_metadata.get("Labels"))
        for page in tif.pages:
            tags = page.tags
            check(tags["XResolution"].value == (1, 1) and tags["YResolution"].value == (1, 1), "resolution 1/1")
            check(tags["ResolutionUnit"].value == 1, "resolution unit none")
        plain = tif.asarray()
    with tifffile.TiffFile("filled.tif") as tif:
        check(tif.is_imagej and tif.imagej_metadata["frames"] == 7, "filled.tif: 7 frames, 0 to 6")
        check(tif.imagej_metadata["finterval"] == 0.5 and tif.pages[0].predictor == 2, tif.imagej_metadata)
        check(tif.pages[2].tags["PageName"].value == "dropped sequence_number=2", "the blank page's name")
        check(tif.imagej_metadata["Labels"][2] == "dropped sequence_number=2", "the blank page's label")
        filled = tif.asarray()
    check(numpy.array_equal(filled[[0, 1, 3, 4, 5, 6]], plain), "deflate pages differ from uncompressed ones")
    check(not filled[2].any(), "the dropped frame's page is not blank")
    with tifffile.TiffFile("unpredicted.tif") as tif:
        check(tif.pages[0].compression == 8 and tif.pages[0].predictor == 1, "deflate without predictor")
        check(numpy.array_equal(tif.asarray(), plain), "pages without predictor differ from uncompressed ones")
    with tifffile.TiffFile("previews.tif") as tif:
        check(tif.is_imagej and tif.series[0].shape == (6, 6, 156), tif.series[0])
    return plain


def check_png(plain):
    framedec("convert", "rec.bin", "--height", "48", "-o", "f%02d.png")
    for index, expected in enumerate(plain):
        with Image.open(f"f{index:02d}.png") as image:
            check(image.mode == "L" and numpy.array_equal(numpy.asarray(image), expected), f"f{index:02d}.png's pixels")
            number = index if index < 2 else index + 1
            check(image.info.get("Comment") == f"frame={index} sequence_number={number}", image.info)


def main():
    os.chdir(tempfile.mkdtemp(prefix="framedec-stack-readers-"))
    shutil.copy(IMAGE, "image.pgm")
    # Sequence numbers 0, 1, 3, 4, 5, 6: one dropped before frame 2.
    framedec("synth", "image.pgm", "--count", "6", "--drop", "2", "--height", "48", "-o", "rec.bin")
    check_png(check_tiff())
    print("tifffile read 4 stacks as ImageJ hyperstacks, Pillow 6 PNG files")


if __name__ == "__main__":
    main()
