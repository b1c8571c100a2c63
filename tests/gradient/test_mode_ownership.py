"""A drawing call ends exactly the modes it began, and draws only into its own target, whatever
Python code it runs (a blend-mode constant's integer conversion, a tint read from a stand-in
layer) begins or ends meanwhile."""

import types

import pytest

from gradient.gradhelp import rl, zg
from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture

RED, BLUE = (255, 0, 0, 255), (0, 0, 255, 255)
MARK = (1, 2, 3, 4)
PREMULTIPLY = int(rl.BlendMode.BLEND_ALPHA_PREMULTIPLY)
ADDITIVE = int(rl.BlendMode.BLEND_ADDITIVE)
END = {"texture": rl.end_texture_mode, "blend": rl.end_blend_mode, "shader": rl.end_shader_mode}


def open_modes():
    """{kind: number of modes open}, found by ending them all (which leaves none open)."""
    counts = {}
    for kind, end in END.items():
        counts[kind] = 0
        while True:
            try:
                end()
            except RuntimeError:
                break
            counts[kind] += 1
    return counts


def marked_target():
    target = ZvRenderTexture((2, 2))
    target.c_fast_clear(MARK)
    return target


class Actions:
    """What the Python code run inside a call does to the modes: begins one (of a target, a
    shader, a blend mode of its own) or ends one."""

    def __init__(self):
        self.other = marked_target()
        self.shader = None

    def run(self, action):
        if action == "begin texture":
            rl.begin_texture_mode(self.other.render_texture)
        elif action == "begin blend":
            rl.begin_blend_mode(ADDITIVE)
        elif action == "begin shader":
            from zorva_ui.fast.zvshader.zvshader import ZvShader

            self.shader = ZvShader.c_create_from_code(None, None)
            rl.begin_zvshader_mode(self.shader)
        elif action == "end texture":
            rl.end_texture_mode()


class Converting:
    def __init__(self, run):
        self.run = run

    def __int__(self):
        self.run()
        return PREMULTIPLY


# The blend-mode constant is read after texture mode began and before blend and shader modes.
# Any change there is refused: a texture mode begun or ended changes the target, and the call
# cannot tell which others would change its picture.
@pytest.mark.parametrize(
    "action, left_open",
    [
        ("begin texture", {"texture": 1, "blend": 0, "shader": 0}),
        ("end texture", {"texture": 0, "blend": 0, "shader": 0}),
        ("begin blend", {"texture": 0, "blend": 1, "shader": 0}),
        ("begin shader", {"texture": 0, "blend": 0, "shader": 1}),
    ],
)
def test_generate_texture_owns_its_modes(monkeypatch, action, left_open):
    g = zg.GradientRaylib([RED, BLUE])
    actions = Actions()
    hook = Converting(lambda: actions.run(action))
    monkeypatch.setattr(rl, "BlendMode", types.SimpleNamespace(BLEND_ALPHA_PREMULTIPLY=hook))
    try:
        with pytest.raises(RuntimeError, match="drawing modes changed during the call"):
            g.generate_texture(2, 2)
    finally:
        opened = open_modes()
    assert opened == left_open
    assert actions.other.read_pixels() == bytes(MARK) * 4, "a foreign target was painted"


def stand_in_layer(on_tint):
    """md.rl replaced by an object whose WHITE, read after shader mode began, runs `on_tint`."""

    class Layer:
        def __getattr__(self, name):
            if name == "WHITE":
                on_tint()
            return getattr(rl, name)

    return Layer()


@pytest.mark.parametrize(
    "action, left_open",
    [
        ("begin texture", {"texture": 2, "blend": 0, "shader": 0}),
        ("end texture", {"texture": 0, "blend": 0, "shader": 0}),
        ("begin blend", {"texture": 1, "blend": 1, "shader": 0}),
        ("begin shader", {"texture": 1, "blend": 0, "shader": 1}),
    ],
)
def test_draw_refuses_modes_changed_under_it(monkeypatch, action, left_open):
    g = zg.ClickGradient([RED, BLUE])
    own = marked_target()
    actions = Actions()
    monkeypatch.setattr(zg.md, "rl", stand_in_layer(lambda: actions.run(action)))
    rl.begin_texture_mode(own.render_texture)
    try:
        with pytest.raises(RuntimeError, match="drawing modes changed during the call"):
            g.draw(0, 0, 2, 2)
    finally:
        opened = open_modes()
    assert opened == left_open
    assert own.read_pixels() == bytes(MARK) * 4
    assert actions.other.read_pixels() == bytes(MARK) * 4


def test_a_mode_ended_below_later_ones_keeps_them(monkeypatch):
    """The call's texture mode lies under one begun by its Python code: that one stays the
    current target, and ending it returns to the one current before the call."""
    g = zg.GradientRaylib([RED])
    before, other = marked_target(), marked_target()
    image = rl.gen_image_color(1, 1, (255, 255, 255, 255))
    white = rl.load_texture_from_image(image)
    hook = Converting(lambda: rl.begin_texture_mode(other.render_texture))
    monkeypatch.setattr(rl, "BlendMode", types.SimpleNamespace(BLEND_ALPHA_PREMULTIPLY=hook))
    rl.begin_texture_mode(before.render_texture)
    try:
        with pytest.raises(RuntimeError):
            g.generate_texture(2, 2)
        monkeypatch.undo()
        rl.draw_texture_pro(white, (0, 0, 1, 1), (0, 0, 1, 1), (0, 0), 0.0, (255,) * 4)
        rl.end_texture_mode()  # the hook's
        rl.draw_texture_pro(white, (0, 0, 1, 1), (1, 1, 1, 1), (0, 0), 0.0, (255,) * 4)
    finally:
        opened = open_modes()
        rl.unload_texture(white)
    assert opened == {"texture": 1, "blend": 0, "shader": 0}
    assert other.read_pixels() == bytes((255,) * 4) + bytes(MARK) * 3
    assert before.read_pixels() == bytes(MARK) * 3 + bytes((255,) * 4)
