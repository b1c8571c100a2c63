import numpy as np
import pytest

from layer.helpers import Drawing, blank_texture, cleared, pixels
from zorva_ui.fast.raylib import zorva_raylib as rl
from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture
from zorva_ui.fast.zvshader.zvshader import ZvShader

RED = (255, 0, 0, 255)
GREEN = (0, 255, 0, 255)
BLUE = (0, 0, 255, 255)
YELLOW = (255, 255, 0, 255)


def mask(shape, x0, y0, x1, y1):
    m = np.zeros(shape[:2], bool)
    m[y0:y1, x0:x1] = True
    return m


def quadrant_texture():
    """A 2x2 render texture: red top-left, green top-right, blue bottom-left, yellow
    bottom-right, drawn with the layer itself."""
    white = blank_texture()
    source = cleared(2, 2)
    with Drawing(source):
        for (x, y), colour in zip(
            [(0, 0), (1, 0), (0, 1), (1, 1)], [RED, GREEN, BLUE, YELLOW], strict=True
        ):
            rl.draw_texture_pro(white, (0, 0, 1, 1), (x, y, 1, 1), (0, 0), 0.0, colour)
    return source


def test_quadrants_land_top_left_first():
    data = pixels(quadrant_texture())
    assert tuple(data[0, 0]) == RED and tuple(data[0, 1]) == GREEN
    assert tuple(data[1, 0]) == BLUE and tuple(data[1, 1]) == YELLOW


@pytest.mark.parametrize(
    "dest, origin, rotation, covered",
    [
        ((2, 1, 3, 2), (0, 0), 0.0, (2, 1, 5, 3)),
        ((0, 0, 8, 6), (0, 0), 0.0, (0, 0, 8, 6)),
        ((2, 2, 2, 2), (1, 1), 0.0, (1, 1, 3, 3)),
        ((4, 0, 2, 1), (0, 0), 90.0, (3, 0, 4, 2)),
        ((4, 4, 2, 2), (0, 0), 180.0, (2, 2, 4, 4)),
        ((-2, -2, 4, 4), (0, 0), 0.0, (0, 0, 2, 2)),
        ((6, 4, 10, 10), (0, 0), 0.0, (6, 4, 8, 6)),
    ],
)
def test_textured_quad_covers_the_destination(dest, origin, rotation, covered):
    target = cleared(8, 6)
    with Drawing(target):
        rl.draw_texture_pro(blank_texture(), (0, 0, 1, 1), dest, origin, rotation, RED)
    data = pixels(target)
    inside = mask(data.shape, *covered)
    assert (data[inside] == RED).all()
    assert (data[~inside] == 0).all()


@pytest.mark.parametrize(
    "source, expected",
    [
        ((0, 0, 2, 2), [[RED, GREEN], [BLUE, YELLOW]]),
        ((1, 0, 1, 1), [[GREEN, GREEN], [GREEN, GREEN]]),
        ((0, 1, 2, 1), [[BLUE, YELLOW], [BLUE, YELLOW]]),
        ((0, 0, -2, 2), [[GREEN, RED], [YELLOW, BLUE]]),
        ((0, 0, 2, -2), [[BLUE, YELLOW], [RED, GREEN]]),
    ],
)
def test_source_rectangle_selects_and_mirrors(source, expected):
    texture = quadrant_texture()
    target = cleared(2, 2)
    with Drawing(target):
        rl.draw_texture_pro(texture, source, (0, 0, 2, 2), (0, 0), 0.0, rl.WHITE)
    assert pixels(target).tolist() == [[list(c) for c in row] for row in expected]


def test_tint_multiplies_the_texture():
    target = cleared(1, 1)
    with Drawing(target):
        rl.draw_texture_pro(
            blank_texture((200, 100, 50, 255)),
            (0, 0, 1, 1),
            (0, 0, 1, 1),
            (0, 0),
            0.0,
            (255, 128, 0, 255),
        )
    r, g, b, a = pixels(target)[0, 0]
    assert (abs(int(r) - 200) <= 1, abs(int(g) - 50) <= 1, b, a) == (True, True, 0, 255)


# Opaque blue underneath, white at alpha 128 drawn over it.
@pytest.mark.parametrize(
    "mode, expected",
    [
        (None, (128, 128, 255, 255)),  # default: straight alpha
        (rl.BlendMode.BLEND_ALPHA, (128, 128, 255, 255)),
        (rl.BlendMode.BLEND_ALPHA_PREMULTIPLY, (255, 255, 255, 255)),
        (rl.BlendMode.BLEND_ADDITIVE, (128, 128, 255, 255)),
        (rl.BlendMode.BLEND_ADD_COLORS, (255, 255, 255, 255)),
        (rl.BlendMode.BLEND_MULTIPLIED, (0, 0, 255, 255)),
    ],
)
def test_blend_modes(mode, expected):
    target = cleared(1, 1, BLUE)
    with Drawing(target, blend=mode):
        rl.draw_texture_pro(
            blank_texture(), (0, 0, 1, 1), (0, 0, 1, 1), (0, 0), 0.0, (255, 255, 255, 128)
        )
    got = pixels(target)[0, 0].astype(int)
    assert np.abs(got - expected).max() <= 1, got


def test_premultiplied_onto_transparent_keeps_the_source():
    target = cleared(1, 1)
    with Drawing(target, blend=rl.BlendMode.BLEND_ALPHA_PREMULTIPLY):
        rl.draw_texture_pro(
            blank_texture((100, 50, 25, 128)), (0, 0, 1, 1), (0, 0, 1, 1), (0, 0), 0.0, rl.WHITE
        )
    assert tuple(pixels(target)[0, 0]) == (100, 50, 25, 128)


def test_blend_mode_stack_restores_the_previous_mode():
    target = cleared(1, 3, BLUE)
    half_white = (255, 255, 255, 128)
    white = blank_texture()
    rl.begin_texture_mode(target)
    rl.begin_blend_mode(rl.BlendMode.BLEND_ALPHA_PREMULTIPLY)
    rl.begin_blend_mode(rl.BlendMode.BLEND_MULTIPLIED)
    rl.end_blend_mode()
    rl.draw_texture_pro(white, (0, 0, 1, 1), (0, 0, 1, 1), (0, 0), 0.0, half_white)
    rl.end_blend_mode()
    rl.draw_texture_pro(white, (0, 0, 1, 1), (0, 1, 1, 1), (0, 0), 0.0, half_white)
    rl.end_texture_mode()
    data = pixels(target).astype(int)
    assert np.abs(data[0, 0] - (255, 255, 255, 255)).max() <= 1  # premultiplied again
    assert np.abs(data[1, 0] - (128, 128, 255, 255)).max() <= 1  # default again
    assert (data[2, 0] == BLUE).all()


@pytest.mark.parametrize("mode", [-1, 6, 99, 2**31 - 1])
def test_unknown_blend_mode(mode):
    with pytest.raises(ValueError, match="blend mode"):
        rl.begin_blend_mode(mode)
    with pytest.raises(RuntimeError):
        rl.end_blend_mode()  # nothing was begun


def test_texture_mode_stack():
    outer, inner = cleared(2, 2), cleared(3, 3)
    white = blank_texture()
    rl.begin_texture_mode(outer)
    rl.begin_texture_mode(inner.render_texture)  # the handle works as well as the object
    rl.draw_texture_pro(white, (0, 0, 1, 1), (2, 2, 1, 1), (0, 0), 0.0, RED)
    rl.end_texture_mode()
    rl.draw_texture_pro(white, (0, 0, 1, 1), (0, 0, 1, 1), (0, 0), 0.0, GREEN)
    rl.end_texture_mode()
    a, b = pixels(outer), pixels(inner)
    assert tuple(a[0, 0]) == GREEN and (a.reshape(-1, 4)[1:] == 0).all()
    assert tuple(b[2, 2]) == RED and b.sum() == sum(RED)


@pytest.mark.parametrize("end", ["end_texture_mode", "end_shader_mode", "end_blend_mode"])
def test_end_without_begin(end):
    with pytest.raises(RuntimeError, match="without"):
        getattr(rl, end)()


def test_drawing_needs_a_target():
    with pytest.raises(RuntimeError, match="begin_texture_mode"):
        rl.draw_texture_pro(blank_texture(), (0, 0, 1, 1), (0, 0, 1, 1), (0, 0), 0.0, RED)


def test_target_released_while_drawing_into_it():
    target = ZvRenderTexture((2, 2))
    rl.begin_texture_mode(target)
    target.unload()
    with pytest.raises(RuntimeError, match="unloaded"):
        rl.draw_texture_pro(blank_texture(), (0, 0, 1, 1), (0, 0, 1, 1), (0, 0), 0.0, RED)
    rl.end_texture_mode()


@pytest.mark.parametrize(
    "args, error",
    [
        ((None, (0, 0, 1, 1), (0, 0, 1, 1), (0, 0), 0.0, RED), TypeError),
        (("tex", (0, 0, 1, 1), (0, 0, 1, 1), (0, 0), 0.0, RED), TypeError),
        ((1, (0, 0, 1), (0, 0, 1, 1), (0, 0), 0.0, RED), ValueError),
        ((1, (0, 0, 1, 1), (0, 0, 1, 1, 5), (0, 0), 0.0, RED), ValueError),
        ((1, (0, 0, 1, 1), (0, 0, 1, 1), (0,), 0.0, RED), ValueError),
        ((1, (0, 0, 1, 1), (0, 0, 1, 1), (0, 0), "r", RED), TypeError),
        ((1, (0, 0, 1, 1), (0, 0, 1, 1), (0, 0), 0.0, (0, 0, 0, 300)), ValueError),
        ((1, (0, 0, "1", 1), (0, 0, 1, 1), (0, 0), 0.0, RED), TypeError),
        ((1, None, (0, 0, 1, 1), (0, 0), 0.0, RED), TypeError),
    ],
)
def test_draw_refuses_bad_arguments(args, error):
    target = cleared(1, 1)
    texture = blank_texture()
    args = tuple(texture if a == 1 else a for a in args[:1]) + args[1:]
    with Drawing(target), pytest.raises(error):
        rl.draw_texture_pro(*args)
    assert (pixels(target) == 0).all()


def test_unloaded_texture_is_refused():
    texture = blank_texture()
    rl.unload_texture(texture)
    rl.unload_texture(texture)
    assert texture.loaded is False
    with Drawing(cleared(1, 1)), pytest.raises(ValueError, match="not loaded"):
        rl.draw_texture_pro(texture, (0, 0, 1, 1), (0, 0, 1, 1), (0, 0), 0.0, RED)


@pytest.mark.parametrize("kind", ["texture", "render_texture"])
@pytest.mark.parametrize("position", [1, 2, 3])
def test_texture_released_by_an_argument_conversion_is_refused(kind, position):
    """A conversion of a later argument runs Python code that releases the texture: the draw
    refuses it as unloaded instead of handing a stale name to GL."""
    texture = blank_texture() if kind == "texture" else cleared(1, 1, RED)

    class Releasing:
        def release(self):
            if kind == "texture":
                rl.unload_texture(texture)
            else:
                texture.unload()

        def __float__(self):
            self.release()
            return 1.0

        def __index__(self):
            self.release()
            return 1

    args = [texture, (0, 0, 1, 1), (0, 0, 1, 1), (0, 0), 0.0, RED]
    value = Releasing()
    args[position] = (
        (value, 0, 1, 1) if position < 3 else (value, 0) if position == 3 else (value, 0, 0, 255)
    )
    with Drawing(cleared(1, 1)), pytest.raises(ValueError, match="not loaded"):
        rl.draw_texture_pro(*args)


def test_images():
    image = rl.gen_image_color(3, 2, (1, 2, 3, 4))
    assert (image.width, image.height, image.loaded) == (3, 2, True)
    assert image.data == bytes([1, 2, 3, 4]) * 6
    rl.unload_image(image)
    assert image.loaded is False and image.data is None
    rl.unload_image(image)
    with pytest.raises(ValueError):
        rl.load_texture_from_image(image)


@pytest.mark.parametrize(
    "args, error",
    [
        ((0, 1, rl.WHITE), ValueError),
        ((1, -1, rl.WHITE), ValueError),
        ((100000, 1, rl.WHITE), ValueError),
        ((1, 1, (0, 0, 0)), ValueError),
        (("1", 1, rl.WHITE), TypeError),
        ((1, 1, None), TypeError),
    ],
)
def test_gen_image_refuses(args, error):
    with pytest.raises(error):
        rl.gen_image_color(*args)


@pytest.mark.parametrize("fn", [rl.load_texture_from_image, rl.unload_image, rl.unload_texture])
def test_image_functions_check_types(fn):
    with pytest.raises(TypeError):
        fn(None)
    with pytest.raises(TypeError):
        fn(ZvShader)


def test_drawing_a_render_texture_through_a_shader():
    # A render texture as the texture of a textured draw, through a non-default shader.
    inverse = ZvShader(
        None,
        """#version 330
in vec2 fragTexCoord;
uniform sampler2D texture0;
out vec4 o;
void main() { vec4 c = texture(texture0, fragTexCoord); o = vec4(1.0 - c.rgb, 1.0); }
""",
    )
    source = quadrant_texture()
    target = cleared(2, 2)
    with Drawing(target, shader=inverse):
        rl.draw_texture_pro(source, (0, 0, 2, 2), (0, 0, 2, 2), (0, 0), 0.0, rl.WHITE)
    data = pixels(target)
    assert tuple(data[0, 0]) == (0, 255, 255, 255) and tuple(data[1, 1]) == (0, 0, 255, 255)
