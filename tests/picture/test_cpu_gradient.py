"""The CPU gradient renderer: known pixels, stops, premultiplication and degenerate input."""

import math
from collections import namedtuple
from enum import Enum

import numpy as np
import pytest

from zorva_ui.core import GradientType, LinearDirection, RadialDirection
from zorva_ui.fast import GradientShader
from zorva_ui.rendering.pygame.gradient import (
    MAX_COLORS,
    GradientPygame,
    compute_stops,
    render_uniforms,
)

RED = (255, 0, 0, 255)
BLUE = (0, 0, 255, 255)
GREEN = (0, 255, 0, 255)


def uniforms(**overrides):
    values = dict(
        gradient_type=0,
        angle=0.0,
        center=(0.5, 0.5),
        colors=[(1.0, 0.0, 0.0, 1.0), (0.0, 0.0, 1.0, 1.0)],
        stops=[0.0, 1.0],
        color_count=2,
        alpha=1.0,
    )
    values.update(overrides)
    return values


def red_ramp(t):
    """Red channel of the opaque red-to-blue gradient at positions t."""
    return np.rint((1.0 - np.asarray(t)) * 255).astype(np.uint8)


# --- stops ---------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "weights, stops",
    [
        ([], []),
        ([2], [0.0]),
        ([1, 1], [0.0, 1.0]),
        ([1, 1, 1], [0.0, 0.5, 1.0]),
        ([1, 1, 1, 1], [0.0, 0.375, 0.625, 1.0]),
        ([3, 1], [0.5, 1.0]),
        ([1, 3], [0.0, 0.5]),
        ([0, 0], [0.0, 0.0]),
        ([-1, -1], [0.0, -2.0]),  # a sum <= 0 counts as 1
        ([1, -1, 1], [1.0, 0.5, 0.0]),  # unsorted, as negative weights make them
    ],
)
def test_stops_from_weights(weights, stops):
    assert compute_stops(weights) == stops


def test_stops_follow_32_bit_steps():
    # 0.1 and 0.2 are not exact in 32 bits: the boundary and the stop are the 32-bit values.
    stops = compute_stops([0.1, 0.2, 0.7])
    w = [float(np.float32(x)) for x in (0.1, 0.2, 0.7)]
    total = sum(w)
    b1 = float(np.float32(w[0] / total))
    b2 = float(np.float32(b1 + w[1] / total))
    assert stops[1] == float((np.float32(b1) + np.float32(b2)) * np.float32(0.5))
    assert stops[0] == 0.0  # the first band ends before the middle
    assert stops[2] == float(np.float32(b2 + b2))  # the last band starts before it


def test_weighted_colours_give_weighted_stops():
    g = GradientPygame([(RED, 3), (BLUE, 1.0), GREEN, ((1, 2, 3, 4), True)])
    assert g.stops == compute_stops([3, 1, 1, 1])
    assert g.normalized_colors[3] == tuple(float(np.float32(c / 255)) for c in (1, 2, 3, 4))


# --- known pixels --------------------------------------------------------------------------


@pytest.mark.parametrize(
    "angle, width, height, reverse",
    [
        (0, 4, 1, False),
        (90, 1, 4, False),
        (180, 4, 1, True),
        (270, 1, 4, True),
        (360, 4, 1, False),
        (-90, 1, 4, True),
        (450, 1, 4, False),
    ],
)
def test_linear_axis_aligned_ramps(angle, width, height, reverse):
    """0 points right and 90 down (y down): t at pixel centres is (k + 0.5) / n."""
    img = GradientPygame([RED, BLUE], angle=angle).render(width, height)
    n = max(width, height)
    t = (np.arange(n) + 0.5) / n
    if reverse:
        t = t[::-1]
    line = img[:, :, 0].reshape(-1)
    assert list(line) == list(red_ramp(t))
    assert list(img[:, :, 2].reshape(-1)) == list(red_ramp(1 - t))
    assert (img[:, :, 3] == 255).all()
    # The ramp does not change across the other axis.
    if width > 1:
        wide = GradientPygame([RED, BLUE], angle=angle).render(width, 3)
        assert (wide == wide[:1]).all()
    else:
        tall = GradientPygame([RED, BLUE], angle=angle).render(3, height)
        assert (tall == tall[:, :1]).all()


@pytest.mark.parametrize("angle", [30, 45, 123.5, 200, 315, -45, 400])
@pytest.mark.parametrize("width, height", [(16, 16), (40, 9)])
def test_linear_is_point_symmetric_about_the_centre(angle, width, height):
    """The gradient line passes through the centre: mirrored pixels have t and 1 - t."""
    img = GradientPygame([RED, BLUE], angle=angle).render(width, height).astype(int)
    mirrored = img[::-1, ::-1]
    assert np.abs(img[:, :, 0] - mirrored[:, :, 2]).max() <= 1


@pytest.mark.parametrize("angle", [45, 135, 225, 315, 30, 200])
def test_linear_line_length_reaches_the_corners(angle):
    """With the CSS length the corner pixels sit within one pixel of t = 0 and t = 1."""
    width, height = 60, 20
    img = GradientPygame([(0, 0, 0, 255), (255, 255, 255, 255)], angle=angle).render(width, height)
    red = img[:, :, 0].astype(int)
    corners = [red[0, 0], red[0, -1], red[-1, 0], red[-1, -1]]
    step = 255 * 2 * math.hypot(1, 1) / (width + height)  # generous bound per pixel
    assert min(corners) <= step and max(corners) >= 255 - step


def test_linear_45_on_a_square_is_symmetric_about_the_diagonal():
    img = GradientPygame([RED, BLUE], angle=45).render(9, 9).astype(int)
    assert np.abs(img - img.transpose(1, 0, 2)).max() <= 1  # cos 45 and sin 45 round apart
    # The anti-diagonal is the middle of the gradient (t = 0.5, 127.5 rounds either way).
    assert {int(img[i, 8 - i, 0]) for i in range(9)} <= {127, 128}


def test_radial_known_pixels():
    # 5x5, centre (2.5, 2.5), farthest corner 2.5*sqrt(2) away.
    img = GradientPygame([RED, BLUE], type=GradientType.Radial).render(5, 5)
    assert tuple(img[2, 2]) == (255, 0, 0, 255)  # the centre pixel: t = 0
    assert tuple(img[0, 0]) == (51, 0, 204, 255)  # t = sqrt(8) / sqrt(12.5) = 0.8
    corners = {tuple(img[y, x]) for y in (0, 4) for x in (0, 4)}
    assert len(corners) == 1


@pytest.mark.parametrize("member", list(RadialDirection))
def test_radial_centres(member):
    width, height = 21, 11
    g = GradientPygame([RED, BLUE], type=GradientType.Radial, direction=member)
    assert g.center == member.value
    red = g.render(width, height)[:, :, 0].astype(int)
    cx, cy = member.value
    # The brightest pixel is the one nearest the centre, the darkest the farthest corner.
    y, x = np.unravel_index(np.argmax(red), red.shape)
    assert abs(x + 0.5 - cx * width) <= 1 and abs(y + 0.5 - cy * height) <= 1
    far = (0 if cy > 0.5 else height - 1, 0 if cx > 0.5 else width - 1)
    radius = math.hypot(max(cx, 1 - cx) * width, max(cy, 1 - cy) * height)
    assert red[far] == red.min() <= 255 * math.hypot(0.5, 0.5) / radius + 1


def test_radial_centre_outside_the_rectangle_stays_in_range():
    img = GradientPygame([RED, BLUE], type=GradientType.Radial, center=(3.0, -2.0)).render(8, 8)
    assert (img[:, :, 3] == 255).all()
    assert img[:, :, 0].min() > 0  # the farthest corner lies outside: t stays below 1


# --- colour and alpha ----------------------------------------------------------------------


def test_interpolation_is_premultiplied():
    """Red to transparent blue: no blue appears, as the transparent end carries no colour."""
    img = GradientPygame([RED, (0, 0, 255, 0)]).render(4, 1)
    assert (img[:, :, 2] == 0).all()
    assert list(img[0, :, 0]) == list(img[0, :, 3]) == list(red_ramp([0.125, 0.375, 0.625, 0.875]))


@pytest.mark.parametrize(
    "color, expected",
    [
        ((255, 128, 0, 128), (128, 64, 0, 128)),
        ((255, 255, 255, 0), (0, 0, 0, 0)),
        ((510, -20, 255, 255), (255, 0, 255, 255)),  # channels clamped before use
        ((255, 255, 255, 510), (255, 255, 255, 255)),
    ],
)
def test_single_colour_fill_is_premultiplied(color, expected):
    img = GradientPygame([color]).render(3, 2)
    assert (img == np.array(expected, dtype=np.uint8)).all()


@pytest.mark.parametrize(
    "alpha, expected",
    [(1.0, 255), (0.5, 128), (0.0, 0), (2.0, 255), (-1.0, 0), (math.nan, 0), (math.inf, 255)],
)
def test_alpha_scales_and_is_clamped(alpha, expected):
    img = GradientPygame([(255, 255, 255, 255)]).render(2, 2, alpha=alpha)
    assert (img == expected).all()


def test_draw_alpha_is_transparency_over_255():
    g = GradientPygame([RED], transparency=128)
    assert g.draw_alpha == 0.501960813999176
    assert (g.render(1, 1) == (255, 0, 0, 255)).all()  # render does not apply it by default
    assert tuple(g.render(1, 1, alpha=g.draw_alpha)[0, 0]) == (128, 0, 0, 128)


# --- counts and arrays ---------------------------------------------------------------------


def test_no_colours_is_transparent():
    img = GradientPygame([]).render(3, 3)
    assert img.shape == (3, 3, 4) and not img.any()


@pytest.mark.parametrize("count", [0, -1, -(2**31)])
def test_count_zero_or_negative_is_transparent(count):
    assert not render_uniforms(4, 4, **uniforms(color_count=count)).any()


@pytest.mark.filterwarnings("ignore:.* colours given:UserWarning")  # past the limit on purpose
def test_more_colours_than_the_arrays_hold_are_cut():
    colors = [RED, BLUE] * (MAX_COLORS // 2) + [GREEN] * 6
    g = GradientPygame(colors)
    img = g.render(300, 1)
    assert not img[:, :, 1].any()  # no green: colours after the array's end are never read
    same = render_uniforms(
        300,
        1,
        **uniforms(
            colors=g.normalized_colors[:MAX_COLORS],
            stops=g.stops[:MAX_COLORS],
            color_count=MAX_COLORS,
        ),
    )
    assert (img == same).all()
    # The 64th stop is short of 1 (the cut colours owned the rest): the last kept colour fills.
    assert tuple(img[0, -1]) == (0, 0, 255, 255)


def test_count_beyond_the_given_arrays_is_refused():
    with pytest.raises(ValueError, match="colorCount 3"):
        render_uniforms(2, 2, **uniforms(color_count=3))


def test_shader_arrays_hold_the_same_number_of_colours():
    assert GradientShader.MAX_COLORS == MAX_COLORS >= 64
    # The arrays are declared where they are read: the vertex stage (the fragment stage reads
    # the ramp the layer builds from them).
    assert "colors[MAX_COLORS]" in GradientShader.VERTEX_SHADER
    assert f"#define MAX_COLORS {MAX_COLORS}" in GradientShader.VERTEX_SHADER


# --- degenerate input ----------------------------------------------------------------------


@pytest.mark.parametrize(
    "stops, expected_red",
    [
        ([0.5, 0.5], [255, 255, 0, 0]),  # equal stops: a hard edge
        ([1.0, 0.0], [255, 255, 255, 255]),  # unsorted: the second rises to the first
        ([math.nan, 1.0], list(red_ramp([0.125, 0.375, 0.625, 0.875]))),  # NaN: previous (0)
        ([0.0, math.nan], [0, 0, 0, 0]),  # NaN takes 0: every t is at or past it
        ([-5.0, 7.0], list(red_ramp([0.125, 0.375, 0.625, 0.875]))),  # clamped to 0..1
        ([-math.inf, math.inf], list(red_ramp([0.125, 0.375, 0.625, 0.875]))),
        ([0.25, 0.75], [255, 191, 64, 0]),
    ],
)
def test_degenerate_stops(stops, expected_red):
    img = render_uniforms(4, 1, **uniforms(stops=stops))
    assert list(img[0, :, 0]) == expected_red


def test_unsorted_stops_from_negative_weights():
    g = GradientPygame([RED, GREEN, BLUE], direction=None)
    g_neg = GradientPygame([(RED, 1), (GREEN, -1), (BLUE, 1)])
    assert g_neg.stops == [1.0, 0.5, 0.0]
    # Sanitised to [1, 1, 1]: the first colour everywhere short of t = 1.
    assert (g_neg.render(8, 3) == np.array(RED, dtype=np.uint8)).all()
    assert g.render(8, 3)[:, :, 1].any()


@pytest.mark.parametrize(
    "overrides",
    [
        dict(angle=math.nan),
        dict(angle=math.inf),
        dict(gradient_type=1, center=(math.nan, 0.5)),
        dict(size=(0.0, 0.0)),
        dict(gradient_type=1, size=(0.0, 0.0)),
    ],
)
def test_undefined_position_paints_the_start(overrides):
    img = render_uniforms(3, 2, **uniforms(**overrides))
    assert (img == np.array(RED, dtype=np.uint8)).all()


def test_nan_colour_channels_count_as_zero():
    img = render_uniforms(2, 1, **uniforms(colors=[(math.nan, 1.0, 0.0, 1.0)], color_count=1))
    assert tuple(img[0, 0]) == (0, 255, 0, 255)


@pytest.mark.parametrize("width, height", [(0, 0), (0, 5), (5, 0)])
def test_empty_rectangles_give_empty_pictures(width, height):
    img = GradientPygame([RED, BLUE]).render(width, height)
    assert img.shape == (height, width, 4) and img.dtype == np.uint8


@pytest.mark.parametrize("width, height", [(-1, 5), (5, -3)])
def test_negative_sizes_are_refused(width, height):
    with pytest.raises(ValueError):
        GradientPygame([RED, BLUE]).render(width, height)


@pytest.mark.parametrize("width, height", [(1, 1), (3, 2), (257, 31)])
def test_odd_sizes(width, height):
    img = GradientPygame([RED, BLUE], type=GradientType.Radial).render(width, height)
    assert img.shape == (height, width, 4) and img.dtype == np.uint8
    assert (img[:, :, 3] == 255).all()


# --- constructor ---------------------------------------------------------------------------


class Named(Enum):
    Bottom = 1
    Center = 2
    TopLeft = 3
    Left = 4


@pytest.mark.parametrize(
    "direction, angle",
    [(m, float(m.value)) for m in LinearDirection]
    + [(Named.Bottom, 90.0), (Named.Center, 0.0), (30, 30.0), (True, 1.0), ("Left", 0.0)],
)
def test_linear_direction_table(direction, angle):
    assert GradientPygame([RED], direction=direction).angle == angle


@pytest.mark.parametrize(
    "direction, center",
    [
        (Named.TopLeft, (0.0, 0.0)),
        (Named.Left, (0.5, 0.5)),
        ((0.2, 0.8), (0.2, 0.8)),
        ([0.2, 0.8], (0.5, 0.5)),  # a list is not a direction
    ],
)
def test_radial_direction_table(direction, center):
    assert GradientPygame([RED], GradientType.Radial, direction).center == center


def test_explicit_angle_and_centre_win():
    g = GradientPygame([RED], direction=LinearDirection.Top, angle=0.1)
    assert g.angle == 0.10000000149011612
    g = GradientPygame([RED], GradientType.Radial, RadialDirection.TopLeft, center=[0.1, 0.2])
    assert g.center == (0.1, 0.2)
    assert GradientPygame([RED], type=None, direction=30).angle == 0.0  # neither kind


@pytest.mark.parametrize(
    "transparency, stored",
    [(None, 255), (300, 300), (12.9, 12), (-3.5, -3), (True, 1)],
)
def test_transparency_conversion(transparency, stored):
    assert GradientPygame([RED], transparency=transparency).transparency == stored


@pytest.mark.parametrize(
    "transparency, error", [(2**31, OverflowError), ("7", TypeError), (object(), TypeError)]
)
def test_transparency_refused(transparency, error):
    with pytest.raises(error):
        GradientPygame([RED], transparency=transparency)


Colour = namedtuple("Colour", "r g b a")
Pair = namedtuple("Pair", "color weight")


@pytest.mark.parametrize(
    "colors, error, message",
    [
        (None, TypeError, "has no len()"),
        ((RED,), TypeError, "expected list, got tuple"),
        ([[255, 0, 0, 255]], TypeError, "Expected tuple, got list"),
        ([Colour(255, 0, 0, 255)], TypeError, "Expected tuple, got Colour"),
        ([(255, 0)], TypeError, "Expected tuple, got int"),
        ([(255, 0, 0)], IndexError, "index out of range"),
        ([None], TypeError, "not subscriptable"),
    ],
)
def test_bad_colours_are_refused(colors, error, message):
    with pytest.raises(error, match=message.replace("(", r"\(").replace(")", r"\)")):
        GradientPygame(colors)


def test_named_tuple_pair_is_a_weighted_colour():
    g = GradientPygame([Pair(RED, 3), BLUE])
    assert g.stops == [0.5, 1.0]


def test_assigning_colours_recomputes():
    g = GradientPygame([RED, BLUE])
    new = [(RED, 1), (BLUE, 3)]
    g.colors = new
    assert g.colors is new and g.stops == [0.0, 0.5]
    with pytest.raises(TypeError):
        g.colors = (RED,)


class Vec:
    def __init__(self, x, y):
        self.x, self.y = x, y


@pytest.mark.parametrize("value, stored", [((1, 2), (1.0, 2.0)), (Vec(0.25, 0.5), (0.25, 0.5))])
def test_centre_property(value, stored):
    g = GradientPygame([RED], GradientType.Radial)
    g.center = value
    assert g.center == stored


@pytest.mark.parametrize("value", [(1, 2, 3), [1, 2], None])
def test_centre_property_refuses(value):
    g = GradientPygame([RED], GradientType.Radial)
    with pytest.raises(TypeError, match="center must be"):
        g.center = value
    assert g.center == (0.5, 0.5)
