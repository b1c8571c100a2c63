"""The pictures the module draws, against the CPU renderer of the same gradient definition
(at most 2 apart per channel): generate_texture at every table direction and a few free ones,
and ClickGradient.draw into a larger target with its transparency and weights."""

import numpy as np
import pytest
from gradient.gradhelp import rl, zg

from zorva_ui.core import GradientType, LinearDirection, RadialDirection
from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture
from zorva_ui.rendering.pygame.gradient import GradientPygame

TOLERANCE = 2
RGB3 = [(255, 0, 0, 255), (0, 0, 255, 255), (0, 255, 0, 255)]
WEIGHTED = [((255, 200, 0, 255), 3), (0, 128, 255, 200), ((40, 40, 40, 0), 0.5), (255, 0, 255, 255)]


def pixels(target):
    w, h = int(target.size.x), int(target.size.y)
    return np.frombuffer(target.read_pixels(), dtype=np.uint8).reshape(h, w, 4)


def assert_close(gpu, cpu):
    assert gpu.shape == cpu.shape
    diff = np.abs(gpu.astype(int) - cpu.astype(int))
    assert diff.max(initial=0) <= TOLERANCE, f"max difference {diff.max()}"


def compare_texture(args, kwargs, size=(40, 24)):
    g = zg.GradientRaylib(*args, **kwargs)
    assert_close(pixels(g.generate_texture(*size)), GradientPygame(*args, **kwargs).render(*size))


@pytest.mark.parametrize("direction", [*LinearDirection, 30, 200.5, -45])
def test_linear(direction):
    compare_texture((RGB3, GradientType.Linear, direction), {})


@pytest.mark.parametrize("direction", [*RadialDirection, (0.2, 0.7)])
def test_radial(direction):
    compare_texture((RGB3, GradientType.Radial, direction), {})


@pytest.mark.parametrize(
    "colors", [[(10, 200, 30, 255)], WEIGHTED, [((255, 0, 0, 128), 1), ((0, 0, 255, 0), 2)]]
)
@pytest.mark.parametrize("size", [(1, 1), (7, 3), (64, 64)])
def test_colours_and_sizes(colors, size):
    compare_texture((colors,), {"angle": 60, "transparency": 10}, size)


def test_no_colours_is_transparent():
    assert set(zg.GradientRaylib([]).generate_texture(3, 3).read_pixels()) == {0}


@pytest.mark.parametrize("transparency", [255, 128, 0])
def test_click_draw_into_part_of_a_target(transparency):
    g = zg.ClickGradient(WEIGHTED, center=(0.3, 0.6), transparency=transparency)
    g.set_weight(1, 2.5)
    target = ZvRenderTexture((30, 20))
    rl.begin_texture_mode(target.render_texture)
    rl.begin_blend_mode(int(rl.BlendMode.BLEND_ALPHA_PREMULTIPLY))
    try:
        target.c_fast_clear((0, 0, 0, 0))
        g.draw(5, 4, 20, 12)
    finally:
        rl.end_blend_mode()
        rl.end_texture_mode()
    cpu = GradientPygame(WEIGHTED, GradientType.Radial, center=(0.3, 0.6))
    cpu._stops = list(g.__reduce__()[2][3])  # the weights changed after construction
    expected = np.zeros((20, 30, 4), dtype=np.uint8)
    expected[4:16, 5:25] = cpu.render(20, 12, alpha=np.float32(transparency / 255))
    assert_close(pixels(target), expected)
