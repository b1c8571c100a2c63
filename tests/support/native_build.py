"""Compiles a C++ extension of the test suite against the package's headers into tests/_build
and imports it. A build is reused while its source and the headers are unchanged."""

import hashlib
import importlib.util
import pathlib
import sys
import sysconfig

ROOT = pathlib.Path(__file__).resolve().parents[2]
PACKAGE = ROOT / "src" / "zorva_ui"
BUILD_ROOT = ROOT / "tests" / "_build"


def _headers():
    return sorted((PACKAGE / "interfaces").glob("*.h")) + sorted(
        (PACKAGE / "fast" / "common").glob("*.h")
    )


def build_and_import(source: pathlib.Path):
    """Builds the extension of `source` (named after its stem) and returns the module."""
    from setuptools import Distribution, Extension

    name = source.stem
    digest = hashlib.sha256()
    for path in [source, *_headers()]:
        digest.update(path.read_bytes())
    out_dir = BUILD_ROOT / f"{name}-{digest.hexdigest()[:12]}"
    target = out_dir / f"{name}{sysconfig.get_config_var('EXT_SUFFIX')}"
    if not target.exists():
        extension = Extension(
            name,
            [str(source)],
            include_dirs=[str(PACKAGE)],
            extra_compile_args=[
                "-std=c++20",
                "-Wall",
                "-Wextra",
                "-Wno-missing-field-initializers",
            ],
            language="c++",
        )
        dist = Distribution({"name": name, "ext_modules": [extension]})
        cmd = dist.get_command_obj("build_ext")
        cmd.build_lib = str(out_dir)
        cmd.build_temp = str(out_dir / "tmp")
        cmd.ensure_finalized()
        cmd.run()
    spec = importlib.util.spec_from_file_location(name, target)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    sys.modules.setdefault(name, module)
    return module
