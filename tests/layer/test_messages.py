"""Errors that say what happened: sizes past any limit, drawing a target into itself, the driver
out of memory, and a context refused address space (those two in subprocesses that lower their
address-space limit)."""

import math
import os
import subprocess
import sys
import textwrap

import pytest

from layer.helpers import blank_texture, cleared
from zorva_ui.fast.raylib import zorva_raylib as rl
from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture

WHITE = (255, 255, 255, 255)


@pytest.mark.parametrize(
    "size, message",
    [
        ((2**31, 1), "size 2147483648 x 1 exceeds the driver's maximum of "),
        ((1, 1e300), "size 1 x 1e\\+300 exceeds the driver's maximum of "),
        ((math.inf, 3), "size inf x 3 exceeds the driver's maximum of "),
        ((1, 2**20), "size 1 x 1048576 exceeds the driver's maximum of "),
        ((0, 2**31), "must be at least 1 x 1, got 0 x 2.14748e\\+09"),
        ((math.nan, 2**31), "must be at least 1 x 1"),
    ],
)
def test_size_errors_name_the_limit_passed(size, message):
    with pytest.raises(ValueError, match=message):
        ZvRenderTexture(size)


def test_drawing_a_target_into_itself_raises():
    target = cleared(2, 2, (10, 20, 30, 40))
    other = cleared(2, 2)
    rl.begin_texture_mode(target.render_texture)
    try:
        with pytest.raises(RuntimeError, match="cannot draw a render texture into itself"):
            rl.draw_texture_pro(target, (0, 0, 2, 2), (0, 0, 2, 2), (0, 0), 0.0, WHITE)
        rl.begin_texture_mode(other.render_texture)
        rl.begin_blend_mode(rl.BlendMode.BLEND_ALPHA_PREMULTIPLY)  # a plain copy
        rl.draw_texture_pro(target, (0, 0, 2, 2), (0, 0, 2, 2), (0, 0), 0.0, WHITE)
        rl.end_blend_mode()
        rl.end_texture_mode()
        # Any texture but the target still draws into it.
        rl.draw_texture_pro(blank_texture(), (0, 0, 1, 1), (0, 0, 1, 1), (0, 0), 0.0, WHITE)
    finally:
        rl.end_texture_mode()
    assert other.read_pixels() == bytes((10, 20, 30, 40)) * 4
    assert target.read_pixels() == bytes(WHITE) + bytes((10, 20, 30, 40)) * 3


_LIMITED = """
import resource

from zorva_ui.fast.raylib import zorva_raylib as rl
from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture


def limit_to(extra_mib):
    with open("/proc/self/status") as status:
        line = next(line for line in status if line.startswith("VmSize"))
    used = int(line.split()[1]) * 1024
    resource.setrlimit(resource.RLIMIT_AS, (used + (extra_mib << 20), resource.RLIM_INFINITY))


def report(call):
    try:
        call()
        print("ok")
    except BaseException as exc:
        print(type(exc).__name__, exc)
"""

# Name -> what the subprocess does after the definitions above.
SCENES = {
    # 1 GiB of texture with 256 MiB of address space to spare; the layer goes on afterwards.
    "out of memory": """
        ZvRenderTexture((2, 2))
        limit_to(256)
        report(lambda: ZvRenderTexture((16384, 16384)))
        report(lambda: ZvRenderTexture((2, 2)).read_pixels())
    """,
    # Too little room to load the driver at all.
    "no room for a context": """
        limit_to(8)
        report(lambda: ZvRenderTexture((2, 2)))
    """,
}


def run_scene(name):
    code = _LIMITED + textwrap.dedent(SCENES[name])
    # Under AddressSanitizer a refused allocation must come back as null, as it does without.
    asan = [os.environ.get("ASAN_OPTIONS", ""), "allocator_may_return_null=1"]
    env = dict(os.environ, ASAN_OPTIONS=":".join(filter(None, asan)))
    proc = subprocess.run(
        [sys.executable, "-c", code], capture_output=True, text=True, timeout=120, env=env
    )
    assert proc.returncode == 0, f"exit {proc.returncode}: {proc.stderr[-2000:]}"
    return proc.stdout.splitlines()


def test_out_of_gpu_memory_is_a_memory_error():
    lines = run_scene("out of memory")
    assert lines[0].startswith("MemoryError creating a texture: the driver ran out of memory")
    assert lines[1] == "ok"


def test_no_address_space_for_a_context_names_the_limit():
    [line] = run_scene("no room for a context")
    assert line.startswith("LayerError could not create a headless OpenGL 3.3 context")
    assert "limited to" in line and "ulimit -v" in line and "GPU driver" not in line
