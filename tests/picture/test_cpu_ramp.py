"""Pictures painted from a colour ramp (pictures larger than the ramp) against a plain per-pixel
evaluation of the definition in 64-bit floats: at most 1 apart, hard edges exact."""

import math
import tracemalloc

import numpy as np
import pytest

from zorva_ui.rendering.pygame.gradient import compute_stops, render_uniforms


def reference(width, height, *, gradient_type, angle, center, colors, stops, alpha):
    """The definition, pixel by pixel (vectorised), without any ramp."""
    f32 = np.float32
    w, h = float(width), float(height)
    x, y = np.meshgrid((np.arange(width) + 0.5), (np.arange(height) + 0.5))
    if gradient_type == 0:
        a = f32(angle)
        reduced = a - f32(360) * np.floor(a / f32(360))
        rad = float(f32(reduced) * f32(math.pi / 180))
        dx, dy = math.cos(rad), math.sin(rad)
        t = 0.5 + ((x - w / 2) * dx + (y - h / 2) * dy) / (abs(w * dx) + abs(h * dy))
    else:
        cx, cy = float(f32(center[0])) * w, float(f32(center[1])) * h
        t = np.hypot(x - cx, y - cy) / math.hypot(max(cx, w - cx), max(cy, h - cy))
    t = np.clip(t, 0, 1)
    # NaN takes the previous stop, which in a running maximum is the same as 0.
    s = np.nan_to_num(np.asarray(stops, dtype=np.float32).astype(float), nan=0.0)
    s = np.maximum.accumulate(np.clip(s, 0, 1))
    c = np.clip(np.asarray(colors, dtype=np.float32).astype(float), 0, 1)
    c[:, :3] *= c[:, 3:]
    k = np.searchsorted(s, t, side="right")
    lo, hi = np.clip(k - 1, 0, len(s) - 1), np.clip(k, 0, len(s) - 1)
    with np.errstate(invalid="ignore", divide="ignore"):
        f = np.where((k > 0) & (k < len(s)), (t - s[lo]) / (s[hi] - s[lo]), 0.0)
    out = c[lo] + (c[hi] - c[lo]) * f[..., None]
    return np.rint(np.clip(out * alpha, 0, 1) * 255).astype(np.uint8)


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


@pytest.mark.parametrize("case", CASES)
@pytest.mark.parametrize(
    "gradient_type, angle, center",
    [(0, 0.0, None), (0, 37.5, None), (0, 250.0, None), (1, 0.0, (0.5, 0.5)), (1, 0, (1.2, -0.3))],
)
@pytest.mark.parametrize("alpha", [1.0, 0.6])
def test_ramp_pictures_follow_the_definition(case, gradient_type, angle, center, alpha):
    colors, stops = CASES[case]
    u = dict(gradient_type=gradient_type, angle=angle, center=center or (0.5, 0.5))
    u.update(colors=colors, stops=stops, alpha=alpha)
    got = render_uniforms(331, 197, color_count=len(colors), **u)
    expected = reference(331, 197, **u)
    diff = np.abs(got.astype(int) - expected.astype(int))
    assert diff.max() <= 1, np.argwhere(diff > 1)[:5]


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
    from zorva_ui.core import GradientType
    from zorva_ui.rendering.pygame.gradient import GradientPygame

    g = GradientPygame([(255, 0, 0, 255), (0, 255, 0, 255)], GradientType.Radial)
    g.render(200, 100)
    change(g)
    u = dict(gradient_type=1, angle=0.0, center=g.center, colors=g.normalized_colors)
    u.update(stops=g._stops, color_count=len(g.normalized_colors), alpha=alpha)
    assert (g.render(200, 100, alpha=alpha) == render_uniforms(200, 100, **u)).all()
