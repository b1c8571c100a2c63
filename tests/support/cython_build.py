"""Compiles a Cython extension of the test suite into tests/_build and imports it.

The package's `.pxd` files are found through `zorva_ui.get_include()` of the installed package
alone, the way a compiled caller outside the project finds them. A build is reused while its
sources are older than the extension."""

import importlib
import os
import pathlib
import subprocess
import sys
import sysconfig

import zorva_ui

ROOT = pathlib.Path(__file__).resolve().parents[2]
BUILD_ROOT = ROOT / "tests" / "_build"
INCLUDE = pathlib.Path(zorva_ui.get_include())

_SETUP = """
import sys
from Cython.Build import cythonize
from setuptools import Extension, setup

name, pyx, include = sys.argv[1], sys.argv[2], sys.argv[3]
sys.argv[1:] = ["build_ext", "--inplace", "-q"]
setup(
    name=name,
    ext_modules=cythonize(
        [Extension(name, [pyx])],
        include_path=[include],
        quiet=True,
        compiler_directives={"language_level": 3},
    ),
    script_args=sys.argv[1:],
)
"""


def _newest_source(pyx: pathlib.Path) -> float:
    pxds = (INCLUDE / "zorva_ui").rglob("*.pxd")
    return max(p.stat().st_mtime for p in [pyx, *pxds])


def build_and_import(pyx: pathlib.Path):
    """Builds `pyx` (if needed) and returns the imported extension module."""
    name = pyx.stem
    out = BUILD_ROOT / name
    out.mkdir(parents=True, exist_ok=True)
    suffix = sysconfig.get_config_var("EXT_SUFFIX")
    target = out / f"{name}{suffix}"
    if not target.exists() or target.stat().st_mtime < _newest_source(pyx):
        (out / "setup_ext.py").write_text(_SETUP)
        local_pyx = out / pyx.name
        local_pyx.write_text(pyx.read_text())
        env = dict(os.environ)
        env.pop("LD_PRELOAD", None)  # the compiler needs no sanitizer runtime
        result = subprocess.run(
            [sys.executable, "setup_ext.py", name, pyx.name, str(INCLUDE)],
            cwd=out,
            capture_output=True,
            text=True,
            env=env,
        )
        if result.returncode != 0:
            raise RuntimeError(f"building {name} failed:\n{result.stdout}\n{result.stderr}")
    if str(out) not in sys.path:
        sys.path.insert(0, str(out))
    return importlib.import_module(name)
