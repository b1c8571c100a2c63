"""Blending told to the shader, the scissor and camera modes, the frame scope's object and
attach_host, in the layer's own context (render textures); tests/window covers host windows."""

import math
import types

import numpy as np
import pytest

from layer.helpers import Drawing, cleared, pixels
from zorva_ui.core import GradientType
from zorva_ui.fast.raylib import zorva_raylib as rl
from zorva_ui.fast.zvraygrad.zvraygrad import ClickGradient
from zorva_ui.rendering.pygame.gradient import GradientPygame

COLORS = [(255, 94, 98, 255), (80, 120, 255, 160)]
STYLE = dict(type=GradientType.Linear, angle=30, transparency=128)
GREY = (90, 100, 110, 255)


def _over(source, target):
    return source + target * (1 - source[..., 3:] / 255)


def _added(source, target):
    return np.minimum(source + target, 255)


@pytest.mark.parametrize(
    "mode, combine",
    [
        (None, _over),
        (rl.BlendMode.BLEND_ALPHA, _over),
        (rl.BlendMode.BLEND_ALPHA_PREMULTIPLY, _over),
        (rl.BlendMode.BLEND_ADDITIVE, _added),
        (rl.BlendMode.BLEND_ADD_COLORS, _added),
    ],
)
def test_translucent_gradient_composites_in_any_blending(mode, combine):
    """The shader writes straight or premultiplied colour as the blending takes it, so the
    picture is the premultiplied gradient combined with the target as the mode says."""
    gradient = ClickGradient(COLORS, **STYLE)
    cpu = GradientPygame(COLORS, **STYLE)
    target = cleared(24, 16, GREY)
    with Drawing(target, blend=mode):
        gradient.draw(0, 0, 24, 16)
    expected = combine(cpu.render(24, 16, alpha=cpu.draw_alpha).astype(float), np.array(GREY))
    diff = np.abs(pixels(target)[..., :3].astype(float) - expected[..., :3])
    assert diff.max() <= 3


def _covered(target):
    ys, xs = np.nonzero(pixels(target)[..., 0] > 128)
    if len(xs) == 0:
        return None
    return (int(xs.min()), int(ys.min()), int(np.ptp(xs) + 1), int(np.ptp(ys) + 1))


class Camera:
    def __init__(self, offset, target, rotation, zoom):
        self.offset, self.target, self.rotation, self.zoom = offset, target, rotation, zoom


class Vector:
    def __init__(self, x, y):
        self.x, self.y = x, y


RED = ClickGradient([(255, 0, 0, 255), (255, 0, 0, 255)], GradientType.Linear)


@pytest.mark.parametrize(
    "modes, rect, box",
    [
        ([("scissor", (4, 6, 10, 8))], (0, 0, 40, 30), (4, 6, 10, 8)),
        ([("scissor", (4, 6, 10, 8)), ("scissor", (8, 0, 40, 10))], (0, 0, 40, 30), (8, 6, 6, 4)),
        ([("scissor", (4, 6, 0, 8))], (0, 0, 40, 30), None),
        ([("camera", Camera((10, 5), (0, 0), 0, 1))], (0, 0, 6, 4), (10, 5, 6, 4)),
        ([("camera", Camera(Vector(20, 10), Vector(2, 1), 0, 2))], (2, 1, 6, 4), (20, 10, 12, 8)),
        ([("camera", Camera((20, 10), (0, 0), 180, 1))], (0, 0, 6, 4), (14, 6, 6, 4)),
        # The camera moves draws, never the clip box.
        (
            [("scissor", (0, 0, 12, 30)), ("camera", Camera((8, 0), (0, 0), 0, 1))],
            (0, 0, 10, 10),
            (8, 0, 4, 10),
        ),
    ],
)
def test_scissor_and_camera_modes(modes, rect, box):
    target = cleared(40, 30)
    with Drawing(target):
        scopes = [
            rl.begin_scissor_mode(*value) if kind == "scissor" else rl.begin_mode_2d(value)
            for kind, value in modes
        ]
        for scope in reversed(scopes):
            scope.__enter__()
        try:
            RED.draw(*rect)
        finally:
            for scope in scopes:
                scope.__exit__(None, None, None)
    assert _covered(target) == box


def test_a_clear_after_a_clipped_draw_covers_the_whole_target():
    target = cleared(8, 8)
    with Drawing(target), rl.begin_scissor_mode(0, 0, 2, 2):
        RED.draw(0, 0, 8, 8)
    target.c_fast_clear((255, 0, 0, 255))
    assert _covered(target) == (0, 0, 8, 8)


def test_a_with_block_ends_its_mode_when_it_raises():
    target = cleared(4, 4)
    with pytest.raises(KeyError):
        with (
            rl.begin_texture_mode(target.render_texture) as texture,
            rl.begin_drawing() as drawing,
            rl.begin_mode_2d(Camera((0, 0), (0, 0), 0, 1)) as camera,
            rl.begin_scissor_mode(0, 0, 2, 2) as scissor,
        ):
            modes = (texture, drawing, camera, scissor)
            raise KeyError
    # Every begin_ answers the one mode type, named after its begin_/end_ pair.
    assert {type(m) for m in modes} == {rl.DrawingMode} and rl.ModeScope is rl.DrawingMode
    names = [m.name for m in modes]
    assert names == ["texture_mode", "drawing", "mode_2d", "scissor_mode"]
    for name in names:
        with pytest.raises(RuntimeError, match="without"):
            getattr(rl, f"end_{name}")()


@pytest.mark.parametrize(
    "call, error",
    [
        (lambda: rl.begin_scissor_mode(0, 0, -1, 4), ValueError),
        (lambda: rl.begin_mode_2d(None), TypeError),
        (lambda: rl.begin_mode_2d(Camera((0, 0), (0, 0), 0, None)), TypeError),
        (lambda: rl.begin_mode_2d(Camera((0, 0), (0,), 0, 1)), ValueError),
        (lambda: rl.begin_mode_2d(Camera((0, 0), (0, 0), math.inf, 1)), ValueError),
        (lambda: rl.begin_mode_2d(Camera((0, math.nan), (0, 0), 0, 1)), ValueError),
        (lambda: rl.end_scissor_mode(), RuntimeError),
        (lambda: rl.end_mode_2d(), RuntimeError),
        (lambda: rl.end_drawing(), RuntimeError),
        (lambda: rl.attach_host(None), TypeError),
        (lambda: rl.attach_host(math), TypeError),
        (lambda: rl.attach_host(types.ModuleType("pyray")), TypeError),
        (lambda: rl.attach_host(types.SimpleNamespace(ffi=1, rl=2)), TypeError),
    ],
)
def test_refusals(call, error):
    with pytest.raises(error):
        call()


def test_the_new_calls_are_traced():
    rl.trace_start()
    with rl.begin_drawing(), rl.begin_scissor_mode(1, 2, 3, 4):
        with rl.begin_mode_2d(Camera((5, 6), (1, 1), 90, 2)):
            pass
    records = rl.trace_stop()
    assert [r[0] for r in records] == [
        "begin_drawing",
        "begin_scissor_mode",
        "begin_mode_2d",
        "end_mode_2d",
        "end_scissor_mode",
        "end_drawing",
    ]
    assert records[1] == ("begin_scissor_mode", 1, 2, 3, 4)
    # A quarter turn, twice the size, the target (1, 1) landing on the offset (5, 6).
    assert records[2][1] == pytest.approx((0, 2, -2, 0, 7, 4), abs=1e-6)


@pytest.mark.parametrize("name", ["pyray", "raylib"])
def test_attach_host_takes_either_bindings_module(name):
    """Without raylib's window open it changes nothing: the draw below is the usual one."""
    assert rl.attach_host(pytest.importorskip(name)) is None
    target = cleared(4, 4)
    with Drawing(target):
        RED.draw(1, 1, 2, 2)
    assert _covered(target) == (1, 1, 2, 2)
