"""The package as users meet it: the names, their stubs and docstrings, the tables, test frames."""

from __future__ import annotations

import ast
import os
import pathlib
import re
import subprocess
import sys

import numpy as np

import framedec

PACKAGE = pathlib.Path(framedec.__file__).parent


def test_stubs_and_docstrings_cover_every_public_name():
    stub = ast.parse((PACKAGE / "__init__.pyi").read_text())
    stubbed = {node.name for node in stub.body if isinstance(node, (ast.FunctionDef, ast.ClassDef))}
    stubbed |= {node.target.id for node in stub.body if isinstance(node, ast.AnnAssign)}
    assert {name for name in stubbed if not name.startswith("_")} == set(framedec.__all__)
    stub_all = next(node.value for node in stub.body if isinstance(node, ast.Assign) and node.targets[0].id == "__all__")
    assert ast.literal_eval(stub_all) == framedec.__all__
    assert (PACKAGE / "py.typed").exists()
    for name in framedec.__all__:
        if name != "DEFAULT_TABLE":
            assert getattr(framedec, name).__doc__, name


def test_version_is_the_projects():
    cmake_lists = (pathlib.Path(__file__).parents[2] / "CMakeLists.txt").read_text()
    assert framedec.__version__ == re.search(r"project\(framedec VERSION ([0-9.]+)", cmake_lists)[1]


def test_tables():
    assert framedec.DEFAULT_TABLE.dtype == np.uint16 and framedec.DEFAULT_TABLE.shape == (64,)
    assert not framedec.DEFAULT_TABLE.flags.writeable
    assert framedec.quality_table(50)[:8].tolist() == [16, 11, 10, 16, 24, 40, 51, 61]  # the JPEG luminance table
    assert framedec.quality_table(100).tolist() == [1] * 64


def test_encode_crops_and_pads_as_the_tool_does():
    rng = np.random.default_rng(5)
    large = rng.integers(0, 256, (1100, 1300), dtype=np.uint8)
    assert framedec.encode(large).size == 1024 * 320
    np.testing.assert_array_equal(framedec.encode(large), framedec.encode(large[:1024, :1246].copy()))
    small = np.full((13, 20), 200, np.uint8)
    frame = framedec.encode(small, framedec.quality_table(90).tolist(), sequence=9)
    assert frame.dtype == np.uint8 and frame.shape == (16 * 320,)
    image = framedec.decode(frame, framedec.quality_table(90))
    assert abs(image[:13, :20].astype(int) - 200).max() <= 2  # the picture, its edges repeated
    assert (image[:, 24:] == 128).all()  # empty blocks beyond it decode mid-grey


def test_import_reads_no_distribution_metadata():
    script = "import sys, framedec; assert framedec.__version__; assert 'importlib.metadata' not in sys.modules"
    package_parent = str(PACKAGE.parent)
    environment = dict(os.environ, PYTHONPATH=os.pathsep.join([package_parent, os.environ.get("PYTHONPATH", "")]))
    subprocess.run([sys.executable, "-c", script], env=environment, check=True, timeout=60)
