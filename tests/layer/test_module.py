"""Module-level behaviour: PNG output, the Python names, headless start-up failure."""

import os
import subprocess
import sys

import pytest
from support import png as support_png

from layer.helpers import Drawing, blank_texture, cleared, pixels
from zorva_ui.core import modules
from zorva_ui.fast.raylib import zorva_raylib as rl


def read_png(path):
    width, height, colour, data = support_png.read_png(path)
    assert colour == 6
    return width, height, data


@pytest.mark.parametrize("size", [(1, 1), (3, 2), (130, 200)])
def test_png_holds_the_pixels_top_row_first(tmp_path, size):
    target = cleared(*size, (0, 0, 0, 0))
    with Drawing(target):
        rl.draw_texture_pro(
            blank_texture(), (0, 0, 1, 1), (0, 0, size[0], 1), (0, 0), 0.0, (9, 8, 7, 255)
        )
    path = tmp_path / "out.png"
    rl.write_png(target, str(path))
    width, height, data = read_png(path)
    assert (width, height) == size
    assert data == target.read_pixels()
    assert data[:4] == bytes([9, 8, 7, 255])


def test_png_unpremultiply(tmp_path):
    target = cleared(1, 1, (64, 32, 0, 128))
    rl.write_png(target, tmp_path / "a.png", unpremultiply=True)  # a path object works too
    assert read_png(tmp_path / "a.png")[2] == bytes([128, 64, 0, 128])
    rl.write_png(target, tmp_path / "b.png")
    assert read_png(tmp_path / "b.png")[2] == bytes([64, 32, 0, 128])


@pytest.mark.parametrize(
    "args, error",
    [
        (("nope", "x.png"), TypeError),
        ((None, "x.png"), TypeError),
        (("target", "/nonexistent/dir/x.png"), OSError),
        (("target", 5), TypeError),
    ],
)
def test_png_errors(args, error):
    target = cleared(1, 1)
    args = tuple(target if a == "target" else a for a in args)
    with pytest.raises(error):
        rl.write_png(*args)


def test_python_names():
    assert modules.rl is rl
    assert rl.WHITE == (255, 255, 255, 255)
    assert rl.BlendMode.BLEND_ALPHA_PREMULTIPLY == 5 and int(rl.BlendMode.BLEND_ALPHA) == 0
    assert isinstance(rl.BlendMode.BLEND_ADDITIVE, int)
    info = rl.context_info()
    assert info["version"] and info["max_texture_size"] >= 1024
    assert info["error"] is None and info["contexts"][info["current"]]["current"]
    assert {c["context"] for c in info["contexts"]} == {"own headless EGL"}


def test_handles_are_not_constructible_from_python():
    with pytest.raises(TypeError):
        rl.Texture()
    with pytest.raises(TypeError):
        rl.Image()


NO_CONTEXT = """
import pytest
from zorva_ui.fast.raylib import zorva_raylib as rl
from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture
from zorva_ui.fast.zvshader.zvshader import ZvShader
from zorva_ui.fast.zvvector2.zvvector2 import ZvVector2

for attempt in range(2):  # the failure is not remembered: each call tries again, and fails again
    for call in (lambda: ZvRenderTexture((2, 2)), lambda: ZvShader(),
                 lambda: rl.begin_blend_mode(0),
                 lambda: rl.load_texture_from_image(rl.gen_image_color(1, 1, rl.WHITE))):
        with pytest.raises(RuntimeError, match=r"EGL error 0x[0-9a-f]{4}, EGL_[A-Z_]+[)]"
                           r".*Debian: libegl1 libgl1-mesa-dri"):
            call()
# context_info answers, with the reason
info = rl.context_info()
assert info["context"] == "" and info["contexts"] == [] and info["current"] is None
assert "Debian: libegl1" in info["error"]
# what needs no context still works
assert ZvVector2(1, 2) == ZvVector2.new(1, 2)
assert rl.gen_image_color(1, 1, rl.WHITE).width == 1
print("ok")
"""


def test_without_a_context_only_drawing_fails():
    # No EGL vendor at all: what a machine without a driver looks like to the layer.
    env = dict(os.environ, __EGL_VENDOR_LIBRARY_FILENAMES="/nonexistent/vendor.json")
    out = subprocess.run(
        [sys.executable, "-c", NO_CONTEXT], env=env, capture_output=True, text=True
    )
    assert out.returncode == 0, out.stderr
    assert out.stdout.strip() == "ok"


def test_modules_refuse_reinitialisation():
    import importlib.util

    for name in [
        "zorva_ui.fast.raylib.zorva_raylib",
        "zorva_ui.fast.zvvector2.zvvector2",
        "zorva_ui.fast.zvrect.zvrect",
        "zorva_ui.fast.zvshader.zvshader",
        "zorva_ui.fast.zvrendertex.zv_render_tex",
    ]:
        module = sys.modules[name] if name in sys.modules else importlib.import_module(name)
        spec = importlib.util.find_spec(name)
        again = importlib.util.module_from_spec(spec)
        assert again is module  # one module object per process


def test_other_threads_are_refused():
    import threading

    rl.context_info()  # the context belongs to this thread
    errors = []

    def worker():
        try:
            cleared(1, 1)
        except RuntimeError as e:
            errors.append(str(e))

    thread = threading.Thread(target=worker)
    thread.start()
    thread.join()
    assert errors and "thread" in errors[0]
    assert (pixels(cleared(1, 1, (1, 1, 1, 1))) == 1).all()  # still fine here
