"""The installed package as a user gets it: its version and metadata, exactly the public
declarations for compiled callers, and `get_include()` enough to compile against them."""

import importlib.metadata
import pathlib
import re
import shutil
import subprocess
import sys
import sysconfig
import tomllib

import pytest

import zorva_ui

ROOT = pathlib.Path(__file__).resolve().parents[1]
PACKAGE = pathlib.Path(zorva_ui.__file__).parent

# What compiled callers need: the object layouts and operation tables, their Cython twins, and
# what the headers include. Every other header is private and stays out of the wheel.
PUBLIC_DECLARATIONS = {
    "fast/zvraygrad/zvraygrad.h",
    "fast/zvraygrad/zvraygrad.pxd",
    "fast/zorvacache/zorvacache.h",
    "fast/zorvacache/zorvacache.pxd",
    "interfaces/vector4.h",
}


def test_version_comes_from_the_metadata():
    project = tomllib.loads((ROOT / "pyproject.toml").read_text())["project"]
    assert zorva_ui.__version__ == importlib.metadata.version("zorva_ui") == project["version"]


def test_metadata_tells_what_the_package_is():
    meta = importlib.metadata.metadata("zorva_ui")
    assert meta["License-Expression"] == "MIT"
    assert "Typing :: Typed" in meta.get_all("Classifier")
    assert meta["Description-Content-Type"] == "text/markdown"
    assert meta["Description"].startswith("# zorva_ui")
    files = {str(f) for f in importlib.metadata.files("zorva_ui")}
    assert any(f.endswith("licenses/LICENSE") for f in files)


def test_metadata_links_and_extras_work_off_the_repository():
    meta = importlib.metadata.metadata("zorva_ui")
    urls = dict(u.split(", ", 1) for u in meta.get_all("Project-URL"))
    assert {"Homepage", "Source", "Documentation", "Changelog"} <= set(urls)
    # An index page has no repository around it: every link of the description is absolute.
    links = re.findall(r"\]\(([^)\s]+)\)", meta["Description"])
    assert links and all(link.startswith((urls["Source"], "https://", "#")) for link in links)
    examples = [r for r in meta.get_all("Requires-Dist") if 'extra == "examples"' in r]
    assert {re.match(r"[\w-]+", r)[0] for r in examples} == {
        "glfw",
        "moderngl",
        "pygame-ce",
        "raylib",
        "pyglet",
        "imgui-bundle",
    }


def test_only_public_declarations_are_installed():
    installed = {
        str(p.relative_to(PACKAGE)) for p in PACKAGE.rglob("*") if p.suffix in (".h", ".pxd")
    }
    assert installed == PUBLIC_DECLARATIONS
    assert (PACKAGE / "py.typed").exists()
    assert not list(PACKAGE.rglob("*.cpp"))


def test_get_include_holds_the_package():
    include = pathlib.Path(zorva_ui.get_include())
    assert (include / "zorva_ui" / "__init__.py").samefile(zorva_ui.__file__)
    for name in PUBLIC_DECLARATIONS:
        assert (include / "zorva_ui" / name).is_file()


CALLER = """
#include <Python.h>
#include "zorva_ui/fast/zorvacache/zorvacache.h"
#include "zorva_ui/fast/zvraygrad/zvraygrad.h"

int main() { return sizeof(zorva::Vector4) == 4 * sizeof(float) ? 0 : 1; }
"""


def test_cpp_caller_compiles_with_get_include_alone(tmp_path):
    compiler = shutil.which("c++") or shutil.which("g++")
    if compiler is None:
        pytest.skip("no C++ compiler")
    source = tmp_path / "caller.cpp"
    source.write_text(CALLER)
    result = subprocess.run(
        [compiler, "-std=c++20", "-fsyntax-only", "-Wall", "-Werror", str(source)]
        + ["-I", zorva_ui.get_include(), "-I", sysconfig.get_paths()["include"]],
        capture_output=True,
        text=True,
        cwd=tmp_path,
    )
    assert result.returncode == 0, result.stderr


def test_package_imports_in_a_clean_interpreter():
    code = "import zorva_ui, sys; print(zorva_ui.__version__, 'zorva_ui.fast' in sys.modules)"
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    # The version and get_include() cost no compiled module.
    assert out.stdout.split() == [zorva_ui.__version__, "False"]
