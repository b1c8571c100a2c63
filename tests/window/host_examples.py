"""Scenarios for the host examples (examples/hosts/with_<host>.py), each in a process of its own
against the tests' X display:

    python -m window.host_examples NAME HOST     (from tests/, with DISPLAY set)

Each runs an example (or a scene of its own in a real host window), reads the window's back
buffer with raw GL before it is shown, and prints `RESULT {json}`."""

import ctypes
import json
import pathlib
import sys
import traceback

import numpy as np

HOSTS = pathlib.Path(__file__).resolve().parents[2] / "examples" / "hosts"
GL_RGBA, GL_UNSIGNED_BYTE, GL_BACK, GL_READ_FRAMEBUFFER = 0x1908, 0x1401, 0x0405, 0x8CA8

_gl = None


def gl():
    """GL through the vendor-neutral library: it reaches whichever context is current."""
    global _gl
    if _gl is None:
        for name in ("libOpenGL.so.0", "libGL.so.1"):
            try:
                _gl = ctypes.CDLL(name)
                break
            except OSError:
                continue
        _gl.glGetError.restype = ctypes.c_uint
    return _gl


def window_pixels(width, height):
    """The back buffer of the current window, (height, width, 4) uint8, top row first."""
    lib = gl()
    lib.glBindFramebuffer(GL_READ_FRAMEBUFFER, 0)
    lib.glReadBuffer(GL_BACK)
    data = np.zeros((height, width, 4), np.uint8)
    lib.glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, ctypes.c_void_p(data.ctypes.data))
    return data[::-1]


def over(picture, premultiplied, x, y):
    """`premultiplied` (RGBA uint8) composited "over" `picture` (float RGB) at (x, y)."""
    h, w = premultiplied.shape[:2]
    source = premultiplied.astype(float)
    below = picture[y : y + h, x : x + w]
    picture[y : y + h, x : x + w] = source[..., :3] + below * (1 - source[..., 3:] / 255)


def gradient_picture(scene):
    from zorva_ui.rendering.pygame.gradient import GradientPygame

    cpu = GradientPygame(scene.COLORS, **scene.STYLE)
    _, _, w, h = scene.GRADIENT_RECT
    return cpu.render(w, h, alpha=cpu.draw_alpha)


def expected_scene(scene):
    """The example's picture: background, the host's first rectangle, the gradient over them,
    the host's second rectangle over that."""
    width, height = scene.SIZE
    picture = np.empty((height, width, 3))
    picture[:] = scene.BACKGROUND
    (x, y, w, h), colour = scene.BEFORE
    picture[y : y + h, x : x + w] = colour
    gx, gy, _, _ = scene.GRADIENT_RECT
    over(picture, gradient_picture(scene), gx, gy)
    (x, y, w, h), colour = scene.AFTER
    picture[y : y + h, x : x + w] = colour
    return picture


def difference(read, expected):
    """Largest channel difference and where (x, y) it is."""
    diff = np.abs(read[..., :3].astype(float) - expected).max(axis=2)
    y, x = np.unravel_index(int(diff.argmax()), diff.shape)
    return {"max": float(diff.max()), "at": [int(x), int(y)]}


def load_example(host):
    sys.path.insert(0, str(HOSTS))
    import importlib

    return importlib.import_module(f"with_{host}"), importlib.import_module("scene")


def scenario_example(host):
    """The example's third frame against the picture worked out on the CPU."""
    example, scene = load_example(host)
    out = {}

    def on_frame(frame):
        if frame < 3:
            return False
        read = window_pixels(*scene.SIZE)
        out["scene"] = difference(read, expected_scene(scene))
        from zorva_ui.core.modules import rl

        out["context"] = rl.context_info()["context"]
        return True

    example.run(frames=10, on_frame=on_frame)
    return out


def main():
    name, *args = sys.argv[1:]
    try:
        result = {"ok": True, **globals()[f"scenario_{name}"](*args)}
    except Exception:
        result = {"ok": False, "traceback": traceback.format_exc()}
    print("RESULT " + json.dumps(result), flush=True)


if __name__ == "__main__":
    main()
