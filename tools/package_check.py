"""Builds the wheel (`pip wheel .`) and the sdist (`python -m build --sdist`), installs each
into a fresh virtual environment and renders a gradient there, from a folder outside the source
tree: what a user installing either artefact gets must work. `make package-check` runs it.

Exits non-zero on the first failure. Needs the network to PyPI (build requirements, numpy)."""

import pathlib
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


def run(*args, cwd=None):
    print("+", " ".join(str(a) for a in args), flush=True)
    subprocess.run([str(a) for a in args], cwd=cwd, check=True)


def check_wheel_files(wheel):
    names = set(zipfile.ZipFile(wheel).namelist())
    declarations = {n for n in names if n.endswith((".h", ".pxd"))}
    if declarations != PUBLIC_HEADERS:
        sys.exit(f"wheel declarations differ: {sorted(declarations ^ PUBLIC_HEADERS)}")
    if any(n.endswith(".cpp") for n in names):
        sys.exit("wheel carries C++ sources")
    print("wheel files:", *sorted(names), sep="\n  ")


def install_and_render(artefact, work):
    env_dir = work / ("venv-wheel" if artefact.suffix == ".whl" else "venv-sdist")
    venv.create(env_dir, with_pip=True)
    python = env_dir / "bin" / "python"
    run(python, "-m", "pip", "install", "--disable-pip-version-check", "-q", artefact)
    # From an empty folder, so that nothing of the source tree is importable.
    run(python, "-c", SMOKE, cwd=work)


def main():
    with tempfile.TemporaryDirectory(prefix="zorva-package-") as folder:
        work = pathlib.Path(folder)
        dist = work / "dist"
        run(sys.executable, "-m", "pip", "wheel", "--no-deps", "-q", "-w", dist, ".", cwd=ROOT)
        run(sys.executable, "-m", "build", "--sdist", "-o", dist, ".", cwd=ROOT)
        (wheel,) = dist.glob("*.whl")
        (sdist,) = dist.glob("*.tar.gz")
        check_wheel_files(wheel)
        install_and_render(wheel, work)
        install_and_render(sdist, work)
        shutil.rmtree(dist)
    print("package check passed")


if __name__ == "__main__":
    main()
