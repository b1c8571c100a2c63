"""The gradient shader on the GPU against the CPU renderer, pixel by pixel (at most 2 apart).

Each picture is drawn the way texture generation draws it: uniforms set through the rendering
layer's entry points, a fresh render texture, texture mode, premultiplied-alpha blending, the
shader, a clear to transparent, and the 1x1 blank texture drawn over the destination rectangle.
"""

import importlib
import math

import numpy as np
import pytest

from zorva_ui.core import GradientType, LinearDirection, RadialDirection
from zorva_ui.fast import GradientShader
from zorva_ui.rendering.pygame.gradient import MAX_COLORS, GradientPygame, render_uniforms

TOLERANCE = 2
UNIFORMS = ("gradientType", "angle", "centerPos", "colors", "stops", "colorCount", "alpha", "size")


def _layer():
    """The layer's modules, or a skip when the layer is not built into this tree."""
    names = {
        "rl": "zorva_ui.fast.raylib.zorva_raylib",
        "shader": "zorva_ui.fast.zvshader.zvshader",
        "rendertex": "zorva_ui.fast.zvrendertex.zv_render_tex",
        "vector": "zorva_ui.fast.zvvector2.zvvector2",
    }
    modules = {}
    for key, name in names.items():
        try:
            modules[key] = importlib.import_module(name)
        except ModuleNotFoundError as exc:
            pytest.skip(f"rendering layer not built: {exc}")
    return modules


class Gpu:
    """The gradient shader compiled by the layer, with its locations and the blank texture."""

    def __init__(
        self,
        vertex_shader=GradientShader.VERTEX_SHADER,
        fragment_shader=GradientShader.FRAGMENT_SHADER,
    ):
        layer = _layer()
        self.rl = layer["rl"]
        self.ZvRenderTexture = layer["rendertex"].ZvRenderTexture
        self.ZvVector2 = layer["vector"].ZvVector2
        self.shader = layer["shader"].ZvShader.c_create_from_code(vertex_shader, fragment_shader)
        self.locs = {n: self.rl.get_zvshader_location(self.shader, n) for n in UNIFORMS}
        image = self.rl.gen_image_color(1, 1, self.rl.WHITE)
        self.blank = self.rl.load_texture_from_image(image)
        self.rl.unload_image(image)

    def close(self):
        self.rl.unload_texture(self.blank)
        self.shader.unload()

    def set_uniforms(
        self, *, gradient_type, angle, center, colors, stops, color_count, alpha, size, vectors
    ):
        """`vectors`: send centre and size as `ZvVector2`s, as texture generation does, instead
        of tuples, as a direct draw does for the centre."""
        rl, s, loc = self.rl, self.shader, self.locs
        if vectors:
            set_vec2, vec2 = rl.set_zvshader_value_vec2_zvvec, lambda v: self.ZvVector2(*v)
        else:
            set_vec2, vec2 = rl.set_zvshader_value_vec2_tuple, tuple
        rl.set_zvshader_value_int(s, loc["gradientType"], gradient_type)
        rl.set_zvshader_value_float(s, loc["angle"], angle)
        set_vec2(s, loc["centerPos"], vec2(center))
        rl.set_zvshader_value_int(s, loc["colorCount"], color_count)
        rl.set_zvshader_value_float(s, loc["alpha"], alpha)
        rl.set_zvshader_value_vec4_v(s, loc["colors"], [tuple(c) for c in colors])
        rl.set_zvshader_value_float_v(s, loc["stops"], list(stops))
        set_vec2(s, loc["size"], vec2(size))

    def render(
        self,
        width,
        height,
        *,
        dest=None,
        target_size=None,
        clear=(0, 0, 0, 0),
        vectors=False,
        **u,
    ):
        """Draws into a new target of `target_size` (default the picture's size) over `dest`
        (default the whole target) and returns its pixels, (h, w, 4) uint8, top row first."""
        rl = self.rl
        dest = dest or (0, 0, width, height)
        tw, th = target_size or (width, height)
        self.set_uniforms(size=(dest[2], dest[3]), vectors=vectors, **u)
        target = self.ZvRenderTexture((tw, th))
        try:
            rl.begin_texture_mode(target.render_texture)
            rl.begin_blend_mode(int(rl.BlendMode.BLEND_ALPHA_PREMULTIPLY))
            rl.begin_zvshader_mode(self.shader)
            target.c_fast_clear(clear)
            rl.draw_texture_pro(self.blank, (0, 0, 1, 1), dest, (0, 0), 0.0, rl.WHITE)
            rl.end_shader_mode()
            rl.end_blend_mode()
            rl.end_texture_mode()
            data = target.read_pixels()
        finally:
            target.unload()
        return np.frombuffer(data, dtype=np.uint8).reshape(th, tw, 4)


def gradient_uniforms(g, alpha=1.0):
    return dict(
        gradient_type=g.gradient_type_int,
        angle=g.angle,
        center=g.center,
        colors=g.normalized_colors,
        stops=g.stops,
        color_count=len(g.normalized_colors),
        alpha=alpha,
    )


def assert_close(gpu_pixels, cpu_pixels):
    assert gpu_pixels.shape == cpu_pixels.shape
    diff = np.abs(gpu_pixels.astype(int) - cpu_pixels.astype(int))
    if diff.size and diff.max() > TOLERANCE:
        y, x, c = np.unravel_index(np.argmax(diff), diff.shape)
        pytest.fail(
            f"{np.count_nonzero(diff.max(axis=2) > TOLERANCE)} pixels differ by more than "
            f"{TOLERANCE}; worst at (x={x}, y={y}) channel {c}: "
            f"GPU {tuple(gpu_pixels[y, x])} CPU {tuple(cpu_pixels[y, x])}"
        )


def compare(gpu, g, width, height, alpha=1.0, vectors=False):
    u = gradient_uniforms(g, alpha)
    pixels = gpu.render(width, height, vectors=vectors, **u)
    assert_close(pixels, g.render(width, height, alpha=alpha))


def palette(n, seed, transparent_every=0):
    rng = np.random.default_rng(seed)
    colors = [tuple(int(v) for v in rng.integers(0, 256, 4)) for _ in range(n)]
    if transparent_every:
        colors = [
            (r, g, b, 0) if i % transparent_every == 0 else (r, g, b, a)
            for i, (r, g, b, a) in enumerate(colors)
        ]
    return colors


RGB3 = [(255, 0, 0, 255), (0, 0, 255, 255), (0, 255, 0, 255)]
SIZES = [(1, 1), (3, 2), (257, 31)]


def test_shader_declares_the_eight_uniforms(gpu):
    missing = [name for name, loc in gpu.locs.items() if loc == -1]
    assert not missing


# Paints what the layer's vertex interface hands a fragment stage.
INTERFACE_PROBE = """#version 330 core
in vec2 fragTexCoord;
in vec4 fragColor;
out vec4 probe;
void main()
{
    probe = vec4(fragTexCoord, fragColor.g * 0.5, 0.5 + 0.5 * fragColor.a);
}
"""


@pytest.mark.parametrize("dest", [(0, 0, 33, 17), (5, 3, 20, 9)])
def test_vertex_stage_keeps_the_layers_interface(dest):
    """Besides its own outputs, our vertex stage feeds fragTexCoord and fragColor exactly as the
    layer's default one does, so a fragment stage written for the layer sees the same values."""
    g = GradientPygame(RGB3, GradientType.Radial, center=(0.2, 0.7))
    ours = Gpu(fragment_shader=INTERFACE_PROBE)
    default = Gpu(vertex_shader=None, fragment_shader=INTERFACE_PROBE)
    try:
        u = gradient_uniforms(g)
        seen = ours.render(40, 20, dest=dest, target_size=(40, 20), **u)
        assert (seen == default.render(40, 20, dest=dest, target_size=(40, 20), **u)).all()
        assert seen[dest[1], dest[0], 0] < seen[dest[1], dest[0] + dest[2] - 1, 0]
    finally:
        ours.close()
        default.close()


@pytest.mark.parametrize(
    "angle", [float(m.value) for m in LinearDirection] + [30.0, 200.0, -45.0, 400.0, 123.4, 1e6]
)
def test_linear_angles(gpu, angle):
    compare(gpu, GradientPygame(RGB3, angle=angle), 48, 32)


@pytest.mark.parametrize("vectors", [False, True], ids=["tuples", "vectors"])
@pytest.mark.parametrize("member", list(RadialDirection))
def test_radial_centres(gpu, member, vectors):
    g = GradientPygame(RGB3, GradientType.Radial, member)
    compare(gpu, g, 48, 32, vectors=vectors)


@pytest.mark.parametrize("width, height", SIZES)
@pytest.mark.parametrize("kind, where", [(GradientType.Linear, 30), (GradientType.Radial, None)])
def test_odd_sizes(gpu, width, height, kind, where):
    g = GradientPygame(RGB3, kind, where)
    compare(gpu, g, width, height)


@pytest.mark.filterwarnings("ignore:.* colours given:UserWarning")  # past the limit on purpose
@pytest.mark.parametrize("count", [1, 2, 3, MAX_COLORS, MAX_COLORS + 1, 100])
@pytest.mark.parametrize("kind", [GradientType.Linear, GradientType.Radial])
def test_colour_counts(gpu, count, kind):
    g = GradientPygame(palette(count, seed=count), kind, angle=30, center=(0.3, 0.6))
    compare(gpu, g, 257, 31)


@pytest.mark.parametrize("kind", [GradientType.Linear, GradientType.Radial])
def test_transparent_colours_and_uneven_stops(gpu, kind):
    colors = palette(7, seed=7, transparent_every=3)
    weighted = [(c, w) for c, w in zip(colors, [3, 0.5, 1, 0, 2.25, 1, 4], strict=True)]
    compare(gpu, GradientPygame(weighted, kind, angle=200), 64, 40)


@pytest.mark.parametrize("alpha", [0.3, 128 / 255, 0.0])
def test_alpha_below_one(gpu, alpha):
    g = GradientPygame(palette(4, seed=4, transparent_every=2), GradientType.Radial)
    compare(gpu, g, 40, 40, alpha=alpha)


def test_draw_alpha_of_a_transparency(gpu):
    g = GradientPygame(RGB3, transparency=77)
    compare(gpu, g, 20, 10, alpha=g.draw_alpha)


BASE = dict(
    gradient_type=0,
    angle=0.0,
    center=(0.5, 0.5),
    colors=[(1.0, 0.0, 0.0, 1.0), (0.0, 0.0, 1.0, 0.5)],
    stops=[0.0, 1.0],
    color_count=2,
    alpha=1.0,
)


@pytest.mark.parametrize(
    "overrides",
    [
        dict(color_count=0),
        dict(color_count=-3),
        dict(angle=math.nan),
        dict(angle=math.inf),
        dict(gradient_type=7, center=(math.nan, 0.5)),
        dict(gradient_type=1, center=(3.0, -2.0)),
        dict(stops=[0.5, 0.5]),
        dict(stops=[1.0, 0.0]),
        dict(stops=[math.nan, 1.0]),
        dict(stops=[-math.inf, math.inf]),
        dict(alpha=math.nan),
        dict(alpha=3.0),
        dict(alpha=-1.0),
        dict(colors=[(math.nan, 2.0, -1.0, 1.0), (0.0, 0.0, 1.0, 3.0)]),
    ],
    ids=lambda o: ",".join(f"{k}={v}" for k, v in o.items()),
)
def test_degenerate_uniforms(gpu, overrides):
    u = dict(BASE, **overrides)
    # 8 wide: no pixel centre sits exactly on a hard edge, where rounding may pick either side.
    assert_close(gpu.render(8, 5, **u), render_uniforms(8, 5, **u))


def test_unsorted_stops_from_negative_weights(gpu):
    g = GradientPygame([(RGB3[0], 1), (RGB3[1], -1), (RGB3[2], 1)], GradientType.Radial)
    assert g.stops == [1.0, 0.5, 0.0]
    compare(gpu, g, 16, 16)


@pytest.mark.parametrize("kind", [GradientType.Linear, GradientType.Radial])
def test_picture_is_relative_to_its_rectangle(gpu, kind):
    """Drawn at an offset into a larger target, the picture is the same, and nothing lands
    outside its rectangle."""
    g = GradientPygame(RGB3, kind, angle=45, center=(0.25, 0.75))
    pixels = gpu.render(24, 16, dest=(5, 3, 24, 16), target_size=(40, 30), **gradient_uniforms(g))
    assert_close(pixels[3:19, 5:29], g.render(24, 16))
    outside = pixels.copy()
    outside[3:19, 5:29] = 0
    assert not outside.any()


def test_premultiplied_blend_over_an_opaque_target(gpu):
    """Over an opaque background the target holds src + dst * (1 - src alpha)."""
    g = GradientPygame([(255, 0, 0, 0), (0, 0, 255, 255)], angle=90)
    background = np.array([0, 255, 0, 255], dtype=float)
    pixels = gpu.render(8, 8, clear=(0, 255, 0, 255), **gradient_uniforms(g))
    src = g.render(8, 8).astype(float)
    expected = np.rint(src + background * (1 - src[:, :, 3:4] / 255))
    assert_close(pixels, expected.astype(np.uint8))


@pytest.mark.parametrize(
    "weights",
    [
        [1] * 64,
        [50] + [1] * 63,  # stops bunched after a wide first band
        [1] * 63 + [50],  # bunched before a wide last band
        [1, 0, 0, 0, 1, 0, 0, 1, 3, 0, 1],  # hard edges and repeated stops
        [1e-3 * (i + 1) ** 3 for i in range(40)],
    ],
    ids=["even", "wide-first", "wide-last", "repeated", "growing"],
)
@pytest.mark.parametrize("kind", [GradientType.Linear, GradientType.Radial])
def test_stops_far_from_even(gpu, weights, kind):
    """The interval search starts from an even spread of the stops; any spread must give the same
    picture."""
    colors = [
        (c, w) for c, w in zip(palette(len(weights), seed=len(weights)), weights, strict=True)
    ]
    compare(gpu, GradientPygame(colors, kind, angle=20, center=(0.4, 0.45)), 131, 29)


@pytest.mark.parametrize(
    "stops",
    [
        [0.1, math.nan, 0.3, 0.2, 0.9, 0.5, 1.5, 0.95],  # NaN, unsorted and out of range inside
        [math.nan] * 8,
        [0.9, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7],  # the first stop hides the rest
        [-1.0, 0.2, 0.2, 0.6, math.inf, 0.1, 0.8, 1.0],
    ],
)
def test_stops_needing_clean_up_among_many(gpu, stops):
    colors = [tuple(v / 255 for v in c) for c in palette(len(stops), seed=3)]
    u = dict(BASE, colors=colors, stops=stops, color_count=len(stops), angle=10.0)
    assert_close(gpu.render(61, 7, **u), render_uniforms(61, 7, **u))


@pytest.mark.parametrize("width", [1, 64])
def test_pixel_centres_on_a_hard_edge_take_the_later_colour(gpu, width):
    """Linear 90 degrees, stops [0, .5, .5, 1], red to blue: the middle row of an odd height lies
    exactly on the edge; both renderers paint it blue, whatever the rounding of t."""
    red, blue = (1.0, 0.0, 0.0, 1.0), (0.0, 0.0, 1.0, 1.0)
    u = dict(BASE, angle=90.0, colors=[red, red, blue, blue], stops=[0, 0.5, 0.5, 1], color_count=4)
    for height in range(1, 100, 2):
        pixels = gpu.render(width, height, **u)
        assert (pixels[height // 2] == (0, 0, 255, 255)).all(), height
        assert_close(pixels, render_uniforms(width, height, **u))
