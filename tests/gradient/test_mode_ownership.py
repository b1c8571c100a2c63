"""A gradient call ends exactly the modes it began and draws only into its own target, whatever
Python code it runs (a blend-mode constant's integer conversion, a tint read from a stand-in
layer) begins or ends meanwhile: such a change makes it raise instead of drawing."""

import types

import pytest

from gradient.gradhelp import rl, zg
from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture
from zorva_ui.fast.zvshader.zvshader import ZvShader

RED, BLUE, MARK = (255, 0, 0, 255), (0, 0, 255, 255), (1, 2, 3, 4)
PREMULTIPLY = int(rl.BlendMode.BLEND_ALPHA_PREMULTIPLY)
ADDITIVE = int(rl.BlendMode.BLEND_ADDITIVE)
ENDS = {"texture": rl.end_texture_mode, "blend": rl.end_blend_mode, "shader": rl.end_shader_mode}


def open_modes():
    """{kind: modes open}, counted by ending them all."""
    counts = dict.fromkeys(ENDS, 0)
    for kind, end in ENDS.items():
        while True:
            try:
                end()
            except RuntimeError:
                break
            counts[kind] += 1
    return counts


def marked():
    target = ZvRenderTexture((2, 2))
    target.c_fast_clear(MARK)
    return target


def foreign(action, other):
    """What the code run inside the call does to the modes."""
    return {
        "begins texture": lambda: rl.begin_texture_mode(other.render_texture),
        "ends texture": rl.end_texture_mode,
        "begins blend": lambda: rl.begin_blend_mode(ADDITIVE),
        "begins shader": lambda: rl.begin_zvshader_mode(ZvShader.c_create_from_code(None, None)),
    }[action]


def generate(monkeypatch, run):
    """generate_texture, whose blend-mode constant runs `run` (after texture mode began)."""

    class Constant:
        def __int__(self):
            run()
            return PREMULTIPLY

    monkeypatch.setattr(rl, "BlendMode", types.SimpleNamespace(BLEND_ALPHA_PREMULTIPLY=Constant()))
    zg.GradientRaylib([RED, BLUE]).generate_texture(2, 2)


def draw(monkeypatch, run):
    """ClickGradient.draw in the caller's texture mode, with a layer whose WHITE (read after
    shader mode began) runs `run`."""

    class Layer:
        def __getattr__(self, name):
            if name == "WHITE":
                run()
            return getattr(rl, name)

    monkeypatch.setattr(zg.md, "rl", Layer())
    zg.ClickGradient([RED, BLUE]).draw(0, 0, 2, 2)


# Modes left open afterwards: those the foreign code began, and for draw the caller's texture
# mode (unless the foreign code ended it).
@pytest.mark.parametrize(
    "action, left_open",
    [
        ("begins texture", {"texture": 1, "blend": 0, "shader": 0}),
        ("ends texture", {"texture": 0, "blend": 0, "shader": 0}),
        ("begins blend", {"texture": 0, "blend": 1, "shader": 0}),
        ("begins shader", {"texture": 0, "blend": 0, "shader": 1}),
    ],
)
@pytest.mark.parametrize("call", [generate, draw])
def test_a_call_ends_its_own_modes_and_paints_no_other_target(monkeypatch, call, action, left_open):
    caller, other = marked(), marked()
    if call is draw:
        rl.begin_texture_mode(caller.render_texture)
        left_open = dict(left_open, texture=left_open["texture"] + (action != "ends texture"))
    try:
        with pytest.raises(RuntimeError, match="drawing modes changed during the call"):
            call(monkeypatch, foreign(action, other))
    finally:
        opened = open_modes()
    assert opened == left_open
    assert caller.read_pixels() == other.read_pixels() == bytes(MARK) * 4


def test_a_mode_ended_under_a_later_one_leaves_that_one_current(monkeypatch):
    """The call's texture mode lies under the one its code began: that one stays current, and
    ending it returns to the caller's."""
    caller, other = marked(), marked()
    image = rl.gen_image_color(1, 1, (255, 255, 255, 255))
    white = rl.load_texture_from_image(image)
    rl.begin_texture_mode(caller.render_texture)
    try:
        with pytest.raises(RuntimeError):
            generate(monkeypatch, foreign("begins texture", other))
        monkeypatch.undo()
        rl.draw_texture_pro(white, (0, 0, 1, 1), (0, 0, 1, 1), (0, 0), 0.0, (255,) * 4)
        rl.end_texture_mode()
        rl.draw_texture_pro(white, (0, 0, 1, 1), (1, 1, 1, 1), (0, 0), 0.0, (255,) * 4)
    finally:
        opened = open_modes()
        rl.unload_texture(white)
    assert opened == {"texture": 1, "blend": 0, "shader": 0}
    assert other.read_pixels() == bytes((255,) * 4) + bytes(MARK) * 3
    assert caller.read_pixels() == bytes(MARK) * 3 + bytes((255,) * 4)
