import hashlib
import importlib.util
import pathlib
import sys
import sysconfig

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
PROBE_SOURCE = pathlib.Path(__file__).parent / "probe" / "layer_probe.cpp"
BUILD_ROOT = ROOT / "tests" / "_build"


def _headers():
    package = ROOT / "src" / "zorva_ui"
    return sorted((package / "interfaces").glob("*.h")) + sorted(
        (package / "fast" / "common").glob("*.h")
    )


def build_probe():
    """Compiles the test-only binding probe with setuptools (cached by source digest)."""
    from setuptools import Distribution, Extension

    digest = hashlib.sha256()
    for path in [PROBE_SOURCE, *_headers()]:
        digest.update(path.read_bytes())
    out_dir = BUILD_ROOT / f"probe-{digest.hexdigest()[:12]}"
    suffix = sysconfig.get_config_var("EXT_SUFFIX")
    target = out_dir / f"layer_probe{suffix}"
    if not target.exists():
        extension = Extension(
            "layer_probe",
            [str(PROBE_SOURCE)],
            include_dirs=[str(ROOT / "src" / "zorva_ui")],
            extra_compile_args=[
                "-std=c++20",
                "-Wall",
                "-Wextra",
                "-Wno-missing-field-initializers",
            ],
            language="c++",
        )
        dist = Distribution({"name": "layer_probe", "ext_modules": [extension]})
        cmd = dist.get_command_obj("build_ext")
        cmd.build_lib = str(out_dir)
        cmd.build_temp = str(out_dir / "tmp")
        cmd.ensure_finalized()
        cmd.run()
    spec = importlib.util.spec_from_file_location("layer_probe", target)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    sys.modules.setdefault("layer_probe", module)
    return module


@pytest.fixture(scope="session")
def probe():
    return build_probe()


@pytest.fixture(scope="session")
def rl():
    from zorva_ui.fast.raylib import zorva_raylib

    return zorva_raylib


@pytest.fixture(autouse=True)
def _balanced_modes(rl):
    """Every test leaves the drawing modes as it found them and stops any trace."""
    yield
    rl.trace_stop()
