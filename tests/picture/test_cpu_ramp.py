"""The native CPU renderer against the reference (the definition evaluated pixel by pixel): at
most 1 apart on every path it takes (exact pixels, the colour ramp, the ramp shared among
threads), hard edges included, and the same bytes however the picture is asked for."""

import math
import random
import tracemalloc

import numpy as np
import pytest

from picture.reference import Picture, worst_difference
from zorva_ui.core import GradientType
from zorva_ui.fast.zvpicture import zvpicture
from zorva_ui.rendering.pygame.gradient import GradientPygame, compute_stops, render_uniforms


def palette(n, seed):
    rng = np.random.default_rng(seed)
    return [tuple(float(np.float32(v / 255)) for v in rng.integers(0, 256, 4)) for _ in range(n)]


CASES = {
    "two": (palette(2, 1), [0.0, 1.0]),
    "sixty-four": (palette(64, 2), compute_stops([1] * 64)),
    "uneven": (palette(9, 3), compute_stops([5, 1, 0.2, 3, 1, 1, 0.01, 2, 1])),
    "hard-edges": (palette(6, 4), [0.0, 0.3, 0.3, 0.3, 0.7, 0.7]),
    "edges-at-the-ends": (palette(4, 5), [0.0, 0.0, 1.0, 1.0]),
    "steep": (palette(4, 6), [0.0, 0.5, 0.5 + 1e-6, 1.0]),  # a band far narrower than a cell
    "unsorted": (palette(5, 7), [0.6, 0.2, math.nan, 0.9, 1.5]),
}
GEOMETRIES = [
    (0, 0.0, None),
    (0, 37.5, None),
    (0, 250.0, None),
    (1, 0.0, (0.5, 0.5)),
    (1, 0, (1.2, -0.3)),
]


def uniforms(case, gradient_type, angle, center, alpha=1.0):
    colors, stops = CASES[case]
    return dict(
        gradient_type=gradient_type,
        angle=angle,
        center=center or (0.5, 0.5),
        colors=colors,
        stops=stops,
        color_count=len(colors),
        alpha=alpha,
    )


def near_stops(picture, margin, every=1):
    """Pixels (of every `every`-th row) whose t lies within `margin` of a stop, where the ramp
    gives way to exact t."""
    return [
        (x, y)
        for y in range(0, picture.height, every)
        for x in range(picture.width)
        if any(abs(picture.t(x, y) - s) <= margin for s in picture.stops)
    ]


# 181 x 97 takes the ramp even at its largest (65536 cells: more than 16384 pixels).
@pytest.mark.parametrize("case", CASES)
@pytest.mark.parametrize("gradient_type, angle, center", GEOMETRIES)
def test_ramp_pictures_follow_the_definition(case, gradient_type, angle, center):
    u = uniforms(case, gradient_type, angle, center, alpha=0.6 if gradient_type else 1.0)
    worst, where = worst_difference(render_uniforms(181, 97, **u), Picture(181, 97, **u))
    assert worst <= 1, where


@pytest.mark.parametrize(
    "width, height",
    [(1, 1), (3, 2), (31, 33), (700, 500)],
    ids=["one-pixel", "tiny", "exact-path", "threaded"],
)
@pytest.mark.parametrize("case", ["uneven", "hard-edges", "sixty-four"])
@pytest.mark.parametrize("gradient_type, angle, center", [GEOMETRIES[1], GEOMETRIES[4]])
def test_size_classes_follow_the_definition(width, height, case, gradient_type, angle, center):
    u = uniforms(case, gradient_type, angle, center)
    reference = Picture(width, height, **u)
    pixels = None
    if width * height > 4096:  # sampled: the pixels around the stops and a random spread
        rng = random.Random(width)
        pixels = [(rng.randrange(width), rng.randrange(height)) for _ in range(3000)]
        pixels += near_stops(reference, 2 / 65536, every=17)
    worst, where = worst_difference(render_uniforms(width, height, **u), reference, pixels)
    assert worst <= 1, where


@pytest.mark.parametrize("height", range(1, 100, 2))
@pytest.mark.parametrize("width", [1, 7, 64])
def test_a_pixel_centre_on_a_hard_edge_takes_the_later_colour(width, height):
    """Linear 90 degrees, stops [0, .5, .5, 1], red to blue: the middle row of an odd height sits
    exactly on the edge, and rounding in t must not put it before."""
    red, blue = (1.0, 0.0, 0.0, 1.0), (0.0, 0.0, 1.0, 1.0)
    u = dict(gradient_type=0, angle=90.0, center=(0.5, 0.5), colors=[red, red, blue, blue])
    picture = render_uniforms(width, height, stops=[0, 0.5, 0.5, 1], color_count=4, alpha=1, **u)
    middle = height // 2
    assert (picture[middle] == (0, 0, 255, 255)).all()
    assert (picture[:middle] == (255, 0, 0, 255)).all()


@pytest.mark.parametrize("kind", [GradientType.Linear, GradientType.Radial])
def test_every_way_of_asking_gives_the_same_bytes(kind):
    g = GradientPygame([(255, 0, 0, 255), ((0, 255, 0, 128), 2), (0, 0, 255, 255)], kind)
    g.angle, g.center = 33.0, (0.3, 0.8)
    width, height = 640, 400  # shared among threads
    first = g.render(width, height)
    assert (g.render(width, height) == first).all()  # the kept ramp, and run to run
    assert g.render_bytes(width, height) == first.tobytes()
    fresh = GradientPygame(g.colors, kind, angle=33.0, center=(0.3, 0.8))
    assert fresh.render_bytes(width, height) == first.tobytes()  # a ramp made afresh
    pixels = np.zeros((height, width), dtype=np.uint32)
    g.render_into(pixels, width, height)
    assert pixels.tobytes() == first.tobytes()
    bgra = bytearray(width * height * 4)
    g.render_into(bgra, width, height, order="BGRA")
    assert bytes(bgra) == first[:, :, [2, 1, 0, 3]].tobytes()


LOOP_SCRIPT = """
import hashlib
from zorva_ui.fast.zvpicture import zvpicture
from zorva_ui.rendering.pygame.gradient import compute_stops
digest = hashlib.sha256()
for kind in (0, 1):
    for count in (2, 9, 64):
        colors = [((i * 37) % 256 / 255, (i * 91) % 256 / 255, (i * 53) % 256 / 255, 1.0)
                  for i in range(count)]
        stops = compute_stops([1 + i % 3 for i in range(count)])
        digest.update(zvpicture.paint(None, 517, 389, kind, 33.0, (0.3, 0.6), colors, stops,
                                      count, 1.0))
print(zvpicture.ramp_loop(), digest.hexdigest())
"""


def test_the_plain_loops_paint_the_same_bytes():
    """Whatever the processor offers, the same picture: the plain loops against the ones this
    processor takes, each in a process of its own."""
    import os
    import subprocess
    import sys

    def run(**env):
        out = subprocess.run(
            [sys.executable, "-c", LOOP_SCRIPT],
            env=dict(os.environ, **env),
            capture_output=True,
            text=True,
            check=True,
        ).stdout.split()
        return out

    plain_name, plain = run(ZORVA_PICTURE_LOOP="generic")
    assert plain_name == "generic"
    assert run()[1] == plain


def test_pixel_loops_agree():
    """The vectorised loop and the plain one paint the same bytes (the plain one runs for the
    tail of every row, so a width of 8k + 7 has both side by side in each row)."""
    u = uniforms("uneven", 1, 0.0, (0.4, 0.6))
    picture = render_uniforms(8 * 40 + 7, 200, **u)
    assert zvpicture.ramp_loop() in ("avx2", "generic")
    worst, where = worst_difference(picture, Picture(327, 200, **u), [(x, 100) for x in range(327)])
    assert worst <= 1, where


@pytest.mark.parametrize("gradient_type", [0, 1])
def test_peak_memory_stays_near_the_picture(gradient_type):
    u = dict(gradient_type=gradient_type, angle=45.0, center=(0.3, 0.6), alpha=1.0)
    u.update(colors=palette(8, 8), stops=compute_stops([1] * 8), color_count=8)
    render_uniforms(64, 64, **u)  # imports and first-use allocations stay out
    tracemalloc.start()
    try:
        picture = render_uniforms(1024, 768, **u)
        _, peak = tracemalloc.get_traced_memory()
    finally:
        tracemalloc.stop()
    assert peak <= 2 * picture.nbytes


@pytest.mark.parametrize(
    "change",
    [
        lambda g: setattr(g, "colors", [(0, 0, 255, 255), ((255, 0, 0, 128), 3)]),
        lambda g: g._stops.__setitem__(1, 0.5),  # stops changed in place, as tests of draw do
        lambda g: None,  # nothing: the kept ramp paints what a new one paints
    ],
    ids=["colours", "stops", "nothing"],
)
@pytest.mark.parametrize("alpha", [1.0, 0.5])
def test_kept_ramp_follows_the_gradient(change, alpha):
    g = GradientPygame([(255, 0, 0, 255), (0, 255, 0, 255)], GradientType.Radial)
    g.render(200, 100)
    change(g)
    u = dict(gradient_type=1, angle=0.0, center=g.center, colors=g.normalized_colors)
    u.update(stops=g._stops, color_count=len(g.normalized_colors), alpha=alpha)
    assert (g.render(200, 100, alpha=alpha) == render_uniforms(200, 100, **u)).all()
