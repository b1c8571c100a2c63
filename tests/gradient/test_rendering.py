"""generate_texture and ClickGradient.draw, observed through the layer's call trace: uniform
values and their upload order, drawing modes and their order, rectangles, tint and alpha, and
the modes ended again when a call fails half-way."""

import types

import pytest

from gradient.gradhelp import f32, rl, tracing, zg
from zorva_ui.core import GradientType
from zorva_ui.fast import GradientShader
from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture
from zorva_ui.fast.zvshader.zvshader import ZvShader

RED, GREEN, BLUE = (255, 0, 0, 255), (0, 255, 0, 255), (0, 0, 255, 255)
UNIFORMS = ("gradientType", "angle", "centerPos", "colors", "stops", "colorCount", "alpha", "size")
UPLOADS = ("gradientType", "angle", "centerPos", "colorCount", "alpha", "colors", "stops", "size")
SETTERS = {
    "gradientType": "set_zvshader_value_int",
    "angle": "set_zvshader_value_float",
    "colorCount": "set_zvshader_value_int",
    "alpha": "set_zvshader_value_float",
    "colors": "set_zvshader_value_vec4_v",
    "stops": "set_zvshader_value_float_v",
    "size": "set_zvshader_value_vec2_zvvec",
}
PREMULTIPLY = int(rl.BlendMode.BLEND_ALPHA_PREMULTIPLY)


@pytest.fixture(scope="module")
def locations():
    """The uniform locations of a program built from the same sources: the driver assigns
    them the same way for the shared shader."""
    shader = ZvShader.c_create_from_code(
        GradientShader.VERTEX_SHADER, GradientShader.FRAGMENT_SHADER
    )
    return {name: rl.get_zvshader_location(shader, name) for name in UNIFORMS}


def uploads(trace):
    return [c for c in trace.calls if c[0].startswith("set_zvshader_value")]


def uniform_values(trace, locations, draw=False):
    """{uniform name: value} of the uploads, checking each went through its own setter."""
    by_loc = {loc: name for name, loc in locations.items()}
    got = {}
    names = []
    for call, _shader, loc, value in uploads(trace):
        name = by_loc[loc]
        expected = SETTERS.get(name)
        if name == "centerPos":
            expected = "set_zvshader_value_vec2_tuple" if draw else "set_zvshader_value_vec2_zvvec"
        assert call == expected, (name, call)
        names.append(name)
        got[name] = value
    assert names == list(UPLOADS)
    return got


# ---- generate_texture ---------------------------------------------------------------------


def test_generate_texture_calls_in_order(locations):
    g = zg.GradientRaylib([RED, (GREEN, 3), BLUE], GradientType.Linear, angle=30, transparency=9)
    with tracing() as trace:
        target = g.generate_texture(3.9, 2.0)
    assert isinstance(target, ZvRenderTexture)
    assert (target.size.x, target.size.y) == (3.0, 2.0)
    values = uniform_values(trace, locations)
    assert values == {
        "gradientType": 0,
        "angle": 30.0,
        "centerPos": (0.5, 0.5),
        "colorCount": 3,
        "alpha": 1.0,
        "colors": [(1.0, 0.0, 0.0, 1.0), (0.0, 1.0, 0.0, 1.0), (0.0, 0.0, 1.0, 1.0)],
        "stops": [0.0, 0.5, 1.0],
        "size": (3.0, 2.0),
    }
    rest = [c for c in trace.calls if not c[0].startswith("set_zvshader_value")]
    shader_id = uploads(trace)[0][1]
    target_id = rest[1][1]
    blank_id = rest[5][1]
    assert rest == [
        ("render_texture_new", (3.0, 2.0)),
        ("begin_texture_mode", target_id),
        ("begin_blend_mode", PREMULTIPLY),
        ("begin_zvshader_mode", shader_id),
        ("c_fast_clear", target_id, (0, 0, 0, 0)),
        (
            "draw_texture_pro",
            blank_id,
            (0, 0, 1, 1),
            (0, 0, 3, 2),
            (0, 0),
            0.0,
            (255, 255, 255, 255),
        ),
        ("end_shader_mode",),
        ("end_blend_mode",),
        ("end_texture_mode",),
    ]
    # Uploads come first, then the target.
    assert trace.names().index("render_texture_new") == len(UPLOADS)
    assert all(u[1] == shader_id for u in uploads(trace))


@pytest.mark.parametrize(
    "kind, sent",
    [(GradientType.Linear, 0), (GradientType.Radial, 1), (None, 1), ("Linear", 1), (0, 1)],
)
def test_gradient_type_uniform(locations, kind, sent):
    g = zg.GradientRaylib([RED], kind)
    with tracing() as trace:
        g.generate_texture(1, 1)
    assert uniform_values(trace, locations)["gradientType"] == sent


def test_uniforms_follow_later_changes(locations):
    g = zg.GradientRaylib([RED, BLUE], GradientType.Radial, center=(0.1, 0.9))
    g.angle = 0.1
    g.type = GradientType.Linear
    g.colors = []
    with tracing() as trace:
        g.generate_texture(4, 1)
    values = uniform_values(trace, locations)
    assert values["angle"] == f32(0.1)
    assert values["gradientType"] == 0
    assert values["centerPos"] == (0.1, 0.9)
    assert (values["colorCount"], values["colors"], values["stops"]) == (0, [], [])


@pytest.mark.parametrize(
    "args, exc, message",
    [
        (("a", 1), TypeError, "an integer is required"),
        ((1, 2**31), OverflowError, "value too large to convert to int"),
        ((1,), TypeError, "takes exactly 2 positional arguments"),
    ],
)
def test_generate_texture_argument_errors(args, exc, message):
    g = zg.GradientRaylib([RED])
    with tracing() as trace, pytest.raises(exc, match=message):
        g.generate_texture(*args)
    assert trace.calls == []


@pytest.mark.parametrize("width, height", [(0, 5), (5, -1)])
def test_non_positive_size_is_passed_on(locations, width, height):
    g = zg.GradientRaylib([RED])
    with tracing() as trace, pytest.raises(ValueError):
        g.generate_texture(width, height)
    assert uniform_values(trace, locations)["size"] == (float(width), float(height))
    assert trace.names()[-1] == "render_texture_new"


def test_generate_texture_keeps_no_reference():
    import gc
    import weakref

    g = zg.GradientRaylib([RED])
    target = g.generate_texture(2, 2)
    ref = weakref.ref(target) if hasattr(target, "__weakref__") else None
    del target
    gc.collect()
    assert ref is None or ref() is None


def test_center_none_is_refused_before_drawing():
    g = zg.GradientRaylib.__new__(zg.GradientRaylib)
    with tracing() as trace, pytest.raises(TypeError, match="got NoneType"):
        g.generate_texture(2, 2)
    assert not [c for c in trace.calls if c[0].startswith(("begin", "render_texture"))]


# ---- a failure half-way ends the modes begun ----------------------------------------------


@pytest.mark.parametrize(
    "blend_mode, exc",
    [("premultiply", TypeError), (2**40, OverflowError)],
)
def test_generate_texture_failure_ends_texture_mode(monkeypatch, blend_mode, exc):
    g = zg.GradientRaylib([RED, BLUE])
    monkeypatch.setattr(rl, "BlendMode", types.SimpleNamespace(BLEND_ALPHA_PREMULTIPLY=blend_mode))
    with tracing() as trace, pytest.raises(exc):
        g.generate_texture(2, 2)
    modes = [c[0] for c in trace.calls if c[0].startswith(("begin", "end"))]
    assert modes == ["begin_texture_mode", "end_texture_mode"]


def test_generate_texture_failure_in_blend_mode_ends_texture_mode(monkeypatch):
    g = zg.GradientRaylib([RED, BLUE])
    monkeypatch.setattr(rl, "BlendMode", types.SimpleNamespace(BLEND_ALPHA_PREMULTIPLY=12345))
    with tracing() as trace, pytest.raises(ValueError):
        g.generate_texture(2, 2)
    modes = [c[0] for c in trace.calls if c[0].startswith(("begin", "end"))]
    # The refused blend mode was never begun, so only texture mode is ended.
    assert modes == ["begin_texture_mode", "begin_blend_mode", "end_texture_mode"]


def test_renderer_usable_after_failure(monkeypatch):
    g = zg.GradientRaylib([RED])
    with monkeypatch.context() as patch:
        patch.setattr(rl, "BlendMode", None)
        with pytest.raises(AttributeError):
            g.generate_texture(2, 2)
    pixels = g.generate_texture(2, 2).read_pixels()
    assert pixels == bytes(RED) * 4


# ---- ClickGradient.draw -------------------------------------------------------------------


def draw_into(target, g, *rect):
    rl.begin_texture_mode(target.render_texture)
    try:
        g.draw(*rect)
    finally:
        rl.end_texture_mode()


def test_draw_calls_in_order(locations):
    g = zg.ClickGradient([RED, (BLUE, 3)], center=(0.25, 0.5), transparency=128)
    target = ZvRenderTexture((8, 8))
    rl.begin_texture_mode(target.render_texture)
    try:
        with tracing() as trace:
            assert g.draw(0.1, 2, 5, 6.5) is None
    finally:
        rl.end_texture_mode()
    values = uniform_values(trace, locations, draw=True)
    assert values == {
        "gradientType": 1,
        "angle": 0.0,
        "centerPos": (0.25, 0.5),
        "colorCount": 2,
        "alpha": 0.501960813999176,
        "colors": [(1.0, 0.0, 0.0, 1.0), (0.0, 0.0, 1.0, 1.0)],
        "stops": [0.0, 0.5],
        "size": (5.0, 6.5),
    }
    rest = [c for c in trace.calls if not c[0].startswith("set_zvshader_value")]
    shader_id = uploads(trace)[0][1]
    blank_id = rest[1][1]
    assert rest == [
        ("begin_zvshader_mode", shader_id),
        (
            "draw_texture_pro",
            blank_id,
            (0, 0, 1, 1),
            (f32(0.1), 2.0, 5.0, 6.5),
            (0, 0),
            0.0,
            rl.WHITE,
        ),
        ("end_shader_mode",),
    ]


@pytest.mark.parametrize(
    "transparency, alpha",
    [(255, 1.0), (0, 0.0), (128, 0.501960813999176), (300, f32(300 * (1 / 255))), (-51, -0.2)],
)
def test_draw_alpha(locations, transparency, alpha):
    g = zg.ClickGradient([RED], transparency=transparency)
    with tracing() as trace:
        draw_into(ZvRenderTexture((2, 2)), g, 0, 0, 2, 2)
    assert uniform_values(trace, locations, draw=True)["alpha"] == f32(alpha)


def test_draw_reads_the_centre_through_attributes(locations):
    from zorva_ui.fast.zvvector2.zvvector2 import ZvVector2

    class Moving(ZvVector2):
        reads = 0

        @property
        def x(self):
            Moving.reads += 1
            return 0.75

    g = zg.ClickGradient([RED])
    g.center = Moving(0.0, 0.125)
    with tracing() as trace:
        draw_into(ZvRenderTexture((2, 2)), g, 0, 0, 2, 2)
    assert uniform_values(trace, locations, draw=True)["centerPos"] == (0.75, 0.125)
    assert Moving.reads == 1


def test_draw_without_centre_fails_after_type_and_angle(locations):
    g = zg.ClickGradient.__new__(zg.ClickGradient)  # centre None
    with tracing() as trace, pytest.raises(AttributeError):
        g.draw(0, 0, 1, 1)
    assert [c[0] for c in uploads(trace)] == ["set_zvshader_value_int", "set_zvshader_value_float"]
    assert not [c for c in trace.calls if c[0].startswith("begin")]


@pytest.mark.parametrize("bad_white, exc", [([255] * 4, TypeError), (7, TypeError)])
def test_draw_failure_ends_shader_mode(monkeypatch, bad_white, exc):
    g = zg.ClickGradient([RED, BLUE])
    monkeypatch.setattr(rl, "WHITE", bad_white)
    with tracing() as trace, pytest.raises(exc, match="Expected tuple, got"):
        draw_into(ZvRenderTexture((2, 2)), g, 0, 0, 2, 2)
    modes = [c[0] for c in trace.calls if c[0].startswith(("begin", "end", "draw"))]
    assert modes == [
        "begin_texture_mode",
        "begin_zvshader_mode",
        "end_shader_mode",
        "end_texture_mode",
    ]


def test_draw_tint_is_read_at_each_call(monkeypatch):
    g = zg.ClickGradient([RED])
    monkeypatch.setattr(rl, "WHITE", (1, 2, 3, 4))
    with tracing() as trace:
        draw_into(ZvRenderTexture((2, 2)), g, 0, 0, 2, 2)
    assert trace.of("draw_texture_pro")[0][-1] == (1, 2, 3, 4)


@pytest.mark.parametrize(
    "args, exc",
    [(("x", 0, 1, 1), TypeError), ((0, 0, 1), TypeError), ((0, 0, 1, None), TypeError)],
)
def test_draw_argument_errors(args, exc):
    g = zg.ClickGradient([RED])
    with tracing() as trace, pytest.raises(exc):
        g.draw(*args)
    assert trace.calls == []


def test_draw_calls_ensure_resources_each_time():
    calls = []

    class Counting(zg.ClickGradient):
        @classmethod
        def _ensure_resources(cls):
            calls.append(cls)
            return super()._ensure_resources()

    g = Counting([RED])
    draw_into(ZvRenderTexture((2, 2)), g, 0, 0, 2, 2)
    draw_into(ZvRenderTexture((2, 2)), g, 0, 0, 2, 2)
    assert calls == [Counting] * 3


def test_draw_onto_target_paints():
    g = zg.ClickGradient([GREEN])
    target = ZvRenderTexture((2, 2))
    rl.begin_texture_mode(target.render_texture)
    rl.begin_blend_mode(PREMULTIPLY)
    try:
        target.c_fast_clear((0, 0, 0, 0))
        g.draw(0, 0, 2, 2)
    finally:
        rl.end_blend_mode()
        rl.end_texture_mode()
    assert target.read_pixels() == bytes(GREEN) * 4


# ---- md.rl.<name> is looked up afresh at each call, whatever replaced what -----------------


def tint_of_draw(g):
    with tracing() as trace:
        draw_into(ZvRenderTexture((2, 2)), g, 0, 0, 2, 2)
    return trace.of("draw_texture_pro")[0][-1]


def stand_in_layer(**attrs):
    layer = types.ModuleType("stand_in_layer")
    layer.__dict__.update(attrs)
    return layer


@pytest.mark.parametrize(
    "replace",
    [
        # the module global `md`
        lambda mp: mp.setattr(
            zg, "md", types.SimpleNamespace(rl=stand_in_layer(WHITE=(1, 1, 1, 1)))
        ),
        lambda mp: mp.setattr(zg, "md", stand_in_layer(rl=stand_in_layer(WHITE=(1, 1, 1, 1)))),
        # `md.rl`
        lambda mp: mp.setattr(zg.md, "rl", stand_in_layer(WHITE=(1, 1, 1, 1))),
        lambda mp: mp.setattr(zg.md, "rl", types.SimpleNamespace(WHITE=(1, 1, 1, 1))),
        # `md.rl.WHITE`, as an attribute or through a module-level __getattr__
        lambda mp: mp.setattr(rl, "WHITE", (1, 1, 1, 1)),
        lambda mp: (
            mp.delattr(rl, "WHITE"),
            mp.setattr(rl, "__getattr__", lambda name: (1, 1, 1, 1), raising=False),
        ),
    ],
)
def test_tint_follows_every_replacement(monkeypatch, replace):
    g = zg.ClickGradient([RED])
    assert tint_of_draw(g) == rl.WHITE
    with monkeypatch.context() as mp:
        replace(mp)
        assert tint_of_draw(g) == (1, 1, 1, 1)
    assert tint_of_draw(g) == (255, 255, 255, 255)


def test_missing_tint_and_module_global(monkeypatch):
    g = zg.ClickGradient([RED])
    tint_of_draw(g)
    with monkeypatch.context() as mp:
        mp.delattr(rl, "WHITE")
        with pytest.raises(AttributeError, match="WHITE"):
            draw_into(ZvRenderTexture((2, 2)), g, 0, 0, 2, 2)
    with monkeypatch.context() as mp:
        mp.delattr(zg, "md")
        with pytest.raises(NameError, match="name 'md' is not defined"):
            draw_into(ZvRenderTexture((2, 2)), g, 0, 0, 2, 2)
    assert tint_of_draw(g) == rl.WHITE


def test_kind_follows_a_replaced_enumeration(monkeypatch):
    class Kinds:
        Linear = "straight"
        Radial = "round"

    g = zg.GradientRaylib([RED], "straight")
    with tracing() as trace:
        g.generate_texture(1, 1)
    assert trace.of("set_zvshader_value_int")[0][-1] == 1
    monkeypatch.setattr(zg, "GradientType", Kinds)
    with tracing() as trace:
        g.generate_texture(1, 1)
    assert trace.of("set_zvshader_value_int")[0][-1] == 0


@pytest.mark.parametrize(
    "weights, stops_sent",
    [
        ([1.0], [0.0, 0.0, 0.0]),  # fewer stops than colours: the last stop repeats
        ([], [0.0, 0.0, 0.0]),
        ([1.0, 1.0, 1.0, 1.0], [0.0, 0.375, 0.625, 1.0]),  # more stops: sent as they are
    ],
)
def test_stops_cover_every_colour_sent(locations, weights, stops_sent):
    # Uniform arrays keep what an earlier gradient uploaded, so every colour sent must come with
    # a stop of this gradient's own.
    g = zg.ClickGradient([RED, GREEN, BLUE])
    g.weights = weights
    g._recalculate_stops()
    with tracing() as trace:
        draw_into(ZvRenderTexture((2, 2)), g, 0, 0, 2, 2)
    values = uniform_values(trace, locations, draw=True)
    assert values["colorCount"] == 3
    assert values["stops"] == stops_sent


def test_draws_never_change_what_an_earlier_draw_handed_out():
    # Draw objects are reused between calls only while nobody else holds them: the tuples a
    # trace keeps must still read what was drawn.
    g = zg.ClickGradient([RED, BLUE])
    target = ZvRenderTexture((8, 8))
    draw_into(target, g, 0, 0, 1, 1)  # untraced: the objects are free to be reused
    with tracing() as trace:
        draw_into(target, g, 1, 2, 3, 4)
        g.set_center((0.75, 0.25))
        draw_into(target, g, 5, 6, 7, 8)
    dests = [c[3] for c in trace.calls if c[0] == "draw_texture_pro"]
    centres = [c[3] for c in trace.calls if c[0] == "set_zvshader_value_vec2_tuple"]
    sizes = [c[3] for c in trace.calls if c[0] == "set_zvshader_value_vec2_zvvec"]
    assert dests == [(1.0, 2.0, 3.0, 4.0), (5.0, 6.0, 7.0, 8.0)]
    assert centres == [(0.5, 0.5), (0.75, 0.25)]
    assert sizes == [(3.0, 4.0), (7.0, 8.0)]
