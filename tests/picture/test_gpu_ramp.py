"""The gradient shader's colours come from a ramp the layer builds out of the uploaded colours and
stops: against the CPU renderer where a ramp is hardest (edges between cells, steep and
zero-width bands, many colours, sizes from 1 to 4096), and where the layer must not reuse a ramp
(other values, evicted ramps) or build one (programs without the ramp sampler)."""

import math

import numpy as np
import pytest

from picture.test_gpu_vs_cpu import BASE, Gpu, assert_close, palette
from zorva_ui.rendering.pygame.gradient import render_uniforms

RED, GREEN, BLUE = (1.0, 0.0, 0.0, 1.0), (0.0, 1.0, 0.0, 1.0), (0.0, 0.0, 1.0, 1.0)
HALF_CLEAR = (0.2, 0.9, 0.4, 0.5)


def colours(n, seed=7):
    return [tuple(v / 255 for v in c) for c in palette(n, seed)]


# Stops that land inside ramp cells rather than on their edges, coinciding stops, bands too
# narrow for any ramp, a soft stop beside a hard edge, and stops that need sanitising.
HARD_CASES = {
    "edge at a third": ([0.0, 1 / 3, 1 / 3, 1.0], [RED, GREEN, BLUE, RED]),
    "three equal stops": ([0.0, 0.3, 0.3, 0.3, 1.0], [RED, GREEN, HALF_CLEAR, BLUE, GREEN]),
    "edges at both ends": ([0.0, 0.0, 1.0, 1.0], [RED, GREEN, BLUE, RED]),
    "steep band": ([0.0, 0.5, 0.5 + 2e-5, 1.0], [RED, BLUE, GREEN, RED]),
    "close edges": ([0.2, 0.2, 0.21, 0.21], [RED, GREEN, BLUE, RED]),
    "edge beside soft stop": ([0.1, 0.6, 0.6, 0.61, 0.9], [RED, GREEN, BLUE, RED, GREEN]),
    "unsorted and NaN": ([0.7, 0.2, math.nan, 0.9, 0.4], colours(5)),
    "64 colours": ([i / 63 for i in range(64)], colours(64)),
    "64 bunched": ([0.5 + i * 1e-3 for i in range(64)], colours(64, 3)),
    "zero-weight bands": ([0.0, 0.25, 0.25, 0.5, 0.5, 0.75, 1.0], colours(7, 5)),
}


@pytest.mark.parametrize(
    "width, height", [(1, 1), (2, 3), (257, 31), (4096, 2), (3, 4096)], ids=lambda v: str(v)
)
@pytest.mark.parametrize("kind, angle", [(0, 0.0), (0, 90.0), (0, 33.0), (1, 0.0)])
@pytest.mark.parametrize("case", list(HARD_CASES))
def test_hard_cases_match_the_cpu(gpu, case, kind, angle, width, height):
    stops, colors = HARD_CASES[case]
    u = dict(
        BASE,
        gradient_type=kind,
        angle=angle,
        center=(0.3, 0.6),
        colors=colors,
        stops=stops,
        color_count=len(stops),
    )
    assert_close(gpu.render(width, height, **u), render_uniforms(width, height, **u))


# Steep bands beside an edge or each other, closer than the largest ramp's cells part them: a
# cell holds one span, so the one beside it is off there (the CPU paints such cells exactly).
TOO_CLOSE = {
    "edge then steep band": ([0.2, 0.2, 0.2003, 0.2003], [RED, GREEN, BLUE, RED]),
    "64 stops 1e-4 apart": ([0.5 + i * 1e-4 for i in range(64)], colours(64, 3)),
}


@pytest.mark.parametrize("kind, angle", [(0, 33.0), (1, 0.0)])
@pytest.mark.parametrize("case", list(TOO_CLOSE))
def test_features_closer_than_a_cell_are_off_only_in_that_cell(gpu, case, kind, angle):
    stops, colors = TOO_CLOSE[case]
    u = dict(BASE, gradient_type=kind, angle=angle, center=(0.3, 0.6), colors=colors, stops=stops)
    u["color_count"] = len(stops)
    gpu_pixels = gpu.render(4096, 3, **u).astype(int)
    diff = np.abs(gpu_pixels - render_uniforms(4096, 3, **u).astype(int)).max(axis=2)
    # A cell is 1/65536 of t: a few of these 12288 pixels, and not far off.
    assert np.count_nonzero(diff > 2) <= 8
    assert diff.max() <= 8


@pytest.mark.parametrize("alpha", [1.0, 0.45])
def test_each_draw_shows_its_own_values(gpu, alpha):
    """Draws one after another in one target, each with other colours, stops or count, and then
    the first values again: every draw shows the values uploaded for it."""
    rl = gpu.rl
    variants = [
        dict(colors=[RED, BLUE], stops=[0.0, 1.0], color_count=2),
        dict(colors=[RED, BLUE], stops=[0.0, 0.25], color_count=2),
        dict(colors=[GREEN, BLUE], stops=[0.0, 0.25], color_count=2),
        dict(colors=[GREEN, BLUE, RED], stops=[0.0, 0.25, 0.5], color_count=2),
        dict(colors=[GREEN, BLUE, RED], stops=[0.0, 0.25, 0.5], color_count=3),
        dict(colors=[RED, BLUE], stops=[0.0, 1.0], color_count=2),
    ]
    width, height = 16, 4
    target = gpu.ZvRenderTexture((width, height * len(variants)))
    try:
        rl.begin_texture_mode(target.render_texture)
        rl.begin_blend_mode(int(rl.BlendMode.BLEND_ALPHA_PREMULTIPLY))
        rl.begin_zvshader_mode(gpu.shader)
        target.c_fast_clear((0, 0, 0, 0))
        for row, values in enumerate(variants):
            gpu.set_uniforms(
                **dict(BASE, alpha=alpha, size=(width, height), vectors=False, **values)
            )
            dest = (0, row * height, width, height)
            rl.draw_texture_pro(gpu.blank, (0, 0, 1, 1), dest, (0, 0), 0.0, rl.WHITE)
        rl.end_shader_mode()
        rl.end_blend_mode()
        rl.end_texture_mode()
        pixels = np.frombuffer(target.read_pixels(), np.uint8).reshape(-1, width, 4)
    finally:
        target.unload()
    for row, values in enumerate(variants):
        expected = render_uniforms(width, height, **dict(BASE, alpha=alpha, **values))
        assert_close(pixels[row * height : (row + 1) * height], expected)


def test_ramps_dropped_to_make_room_are_never_drawn(gpu):
    """More distinct gradients than a share group keeps ramps for: the oldest are dropped and
    their cells reused, yet a gradient drawn again after that shows its own colours."""
    rl = gpu.rl
    u = dict(BASE, stops=[0.0, 1.0], color_count=2, angle=0.0)
    first = dict(u, colors=[RED, BLUE])
    expected = render_uniforms(4, 1, **first)
    assert_close(gpu.render(4, 1, **first), expected)
    target = gpu.ZvRenderTexture((1, 1))
    try:
        rl.begin_texture_mode(target.render_texture)
        rl.begin_zvshader_mode(gpu.shader)
        for i in range(8300):  # past the share group's 8192 ramps
            colors = [(i / 8300, 0.0, 0.5, 1.0), GREEN]
            gpu.set_uniforms(**dict(u, colors=colors, size=(1, 1)), vectors=False)
            rl.draw_texture_pro(gpu.blank, (0, 0, 1, 1), (0, 0, 1, 1), (0, 0), 0.0, rl.WHITE)
        rl.end_shader_mode()
        rl.end_texture_mode()
    finally:
        target.unload()
    assert_close(gpu.render(4, 1, **first), expected)


@pytest.mark.parametrize(
    "stops, draws, width, columns",
    [
        # Ramps of the most cells: a frame of them fills the store's cells, so cells of ramps
        # drawn earlier in the frame are wanted again while those draws are queued.
        ([0.0, 0.3, 0.3 + 1e-6, 1.0], 48, 32, 1),
        # Small ramps, more than the store keeps: ramps drawn earlier in the frame are dropped.
        ([0.0, 0.3, 0.6, 1.0], 8300, 1, 100),
    ],
    ids=["cells run out", "ramps run out"],
)
def test_ramps_replaced_within_a_frame_keep_queued_draws_right(gpu, stops, draws, width, columns):
    """Frames where every draw has a gradient of its own, read back at the end: a ramp written
    for a later draw never lands on cells that an earlier, still queued draw reads. The first
    frame grows the store to its full size; the second draws into that one buffer."""
    rl = gpu.rl
    rows = -(-draws // columns)
    target = gpu.ZvRenderTexture((width * columns, rows))

    def gradient(frame, i):
        first = ((i * 37) % 256 / 255, (i // 7 + frame * 50) % 256 / 255, 0.5, 1.0)
        return dict(
            BASE,
            stops=stops,
            color_count=4,
            angle=0.0,
            size=(width, 1),
            colors=[first, BLUE, GREEN, RED],
        )

    try:
        for frame in range(2):
            rl.begin_texture_mode(target.render_texture)
            rl.begin_zvshader_mode(gpu.shader)
            target.c_fast_clear((0, 0, 0, 0))
            for i in range(draws):
                gpu.set_uniforms(**gradient(frame, i), vectors=False)
                dest = (i % columns * width, i // columns, width, 1)
                rl.draw_texture_pro(gpu.blank, (0, 0, 1, 1), dest, (0, 0), 0.0, rl.WHITE)
            rl.end_shader_mode()
            rl.end_texture_mode()
            pixels = np.frombuffer(target.read_pixels(), np.uint8).reshape(rows, -1, 4)
    finally:
        target.unload()
    # Every draw of a few, and a sample of many (the CPU renderer is the slow side here).
    for i in range(0, draws, 1 if draws < 100 else 97):
        x = i % columns * width
        got = pixels[i // columns : i // columns + 1, x : x + width]
        assert_close(got, render_uniforms(width, 1, **gradient(1, i)))


# A shader of its own with arrays named as the gradient shader's and no ramp sampler: it gets
# no ramp and sees its uniforms as it set them.
OWN_ARRAYS = """#version 330 core
uniform vec4 colors[4];
uniform float stops[4];
uniform int colorCount;
out vec4 colour;
void main()
{
    colour = colors[clamp(colorCount, 0, 3)] * stops[1];
}
"""

# Declares the name with another type: not the layer's ramp, so the layer leaves it alone.
OTHER_RAMP = """#version 330 core
uniform sampler2D gradientRamp;
uniform vec4 colors[2];
out vec4 colour;
void main()
{
    colour = colors[1] + texture(gradientRamp, vec2(0.5)) * 0.0;
}
"""


@pytest.mark.parametrize("fragment", [OWN_ARRAYS, OTHER_RAMP], ids=["own arrays", "sampler2D"])
def test_programs_without_the_ramp_sampler_get_no_ramp(fragment):
    own = Gpu(vertex_shader=None, fragment_shader=fragment)
    rl = own.rl
    try:
        s = own.shader
        assert rl.get_zvshader_location(s, "gradientRampCells") == -1
        rl.set_zvshader_value_vec4_v(
            s, rl.get_zvshader_location(s, "colors"), [RED, (0.0, 1.0, 1.0, 1.0), BLUE, GREEN]
        )
        rl.set_zvshader_value_float_v(s, rl.get_zvshader_location(s, "stops"), [0.0, 1.0])
        rl.set_zvshader_value_int(s, rl.get_zvshader_location(s, "colorCount"), 1)
        target = own.ZvRenderTexture((2, 2))
        try:
            rl.begin_texture_mode(target.render_texture)
            rl.begin_zvshader_mode(s)
            target.c_fast_clear((0, 0, 0, 0))
            rl.draw_texture_pro(own.blank, (0, 0, 1, 1), (0, 0, 2, 2), (0, 0), 0.0, rl.WHITE)
            rl.end_shader_mode()
            rl.end_texture_mode()
            assert target.read_pixels() == bytes((0, 255, 255, 255)) * 4
        finally:
            target.unload()
    finally:
        own.close()
