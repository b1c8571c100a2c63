"""Integers are taken as int() takes them: through __int__, else __index__; an object with
neither keeps the layer's message."""

import pytest

from zorva_ui.fast.raylib import zorva_raylib as rl
from zorva_ui.fast.zvraygrad import zvraygrad as zg
from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture
from zorva_ui.fast.zvshader.zvshader import ZvShader

RED, BLUE = (255, 0, 0, 255), (0, 0, 255, 255)


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class Neither:
    pass


def _blend(n):
    rl.begin_blend_mode(n(int(rl.BlendMode.BLEND_ADDITIVE)))
    rl.end_blend_mode()


def _uniform(n):
    shader = ZvShader.c_create_from_code(None, None)
    loc = rl.get_zvshader_location(shader, "colDiffuse")
    rl.set_zvshader_value_int(shader, n(-1), n(3))
    return loc


def _transparency(n):
    assert zg.ClickGradient([RED], transparency=n(7)).transparency == 7
    g = zg.ClickGradient([RED])
    g.transparency = n(9)
    assert g.transparency == 9


def _weight(n):
    g = zg.ClickGradient([RED, BLUE])
    g.set_weight(n(1), 3.0)


# Each call takes the integers it is given through `n`.
CALLS = {
    "begin_blend_mode": _blend,
    "gen_image_color size": lambda n: rl.gen_image_color(n(2), n(1), RED).data == bytes(RED) * 2,
    "gen_image_color channel": lambda n: rl.gen_image_color(1, 1, (n(1), 2, 3, 4)),
    "image_from_pixels": lambda n: rl.image_from_pixels(n(1), n(1), bytes(4)),
    "set_zvshader_value_int": _uniform,
    "transparency": _transparency,
    "set_weight": _weight,
    "generate_texture": lambda n: zg.GradientRaylib([RED]).generate_texture(n(2), n(1)),
}


@pytest.mark.parametrize("call", list(CALLS))
def test_index_only_numbers_are_integers(call):
    CALLS[call](Index)


@pytest.mark.parametrize("call", list(CALLS))
def test_neither_int_nor_index_keeps_the_message(call):
    with pytest.raises(TypeError, match="an integer is required"):
        CALLS[call](lambda value: Neither())


def test_index_result_must_be_an_int():
    with pytest.raises(TypeError, match="__index__ returned non-int"):
        rl.gen_image_color(Index("2"), 1, RED)


def test_render_texture_size_of_index_only_numbers():
    size = ZvRenderTexture((Index(3), Index(2))).size
    assert (size.x, size.y) == (3, 2)
