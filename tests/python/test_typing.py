"""The package's public surface: what `oxa` exports, and that its type stubs
match the built module and hold under mypy --strict."""

import importlib.metadata
import inspect
import pathlib
import subprocess
import sys

import pytest

import oxa
import oxa._native as native
from conftest import NATIVE_FUNCTIONS

USAGE = pathlib.Path(__file__).with_name("typing_usage.py")


def test_package_exports_the_thirteen_functions():
    functions = [name for name, _ in inspect.getmembers(native, callable) if not name[0].isupper()]
    assert functions == sorted(NATIVE_FUNCTIONS)
    for name in NATIVE_FUNCTIONS:
        assert getattr(oxa, name) is getattr(native, name)
        assert name in oxa.__all__


def test_version_is_the_installed_distribution_version():
    assert oxa.__version__ == importlib.metadata.version("oxa")


def test_stub_and_marker_are_installed_beside_the_module():
    package = pathlib.Path(native.__file__).parent
    for name in ("py.typed", "_native.pyi", "_ext.pyi"):
        assert (package / name).is_file(), name


@pytest.mark.parametrize("target", [["-p", "oxa"], [str(USAGE)]], ids=["package", "usage"])
def test_mypy_strict_passes(tmp_path, target):
    # Run outside the source tree so the installed package is the one checked.
    command = [sys.executable, "-m", "mypy", "--strict", "--cache-dir", str(tmp_path), *target]
    result = subprocess.run(command, capture_output=True, text=True, cwd=tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr


@pytest.mark.parametrize("module", ["oxa._native", "oxa._ext"])
def test_stubtest_finds_the_stub_exact(tmp_path, module):
    result = subprocess.run(
        [sys.executable, "-m", "mypy.stubtest", module],
        capture_output=True,
        text=True,
        cwd=tmp_path,
    )
    assert result.returncode == 0, result.stdout + result.stderr


def test_import_from_the_repository_root_uses_the_built_package():
    # The source tree must not shadow the installed package (and its module).
    root = pathlib.Path(__file__).resolve().parents[2]
    result = subprocess.run(
        [sys.executable, "-c", "import oxa._native"], cwd=root, capture_output=True, text=True
    )
    assert result.returncode == 0, result.stderr
