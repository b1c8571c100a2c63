"""Pixels handed to numpy, memoryview, Pillow and pygame; `with` blocks over the layer's
resources and modes."""

import numpy as np
import pytest
from PIL import Image as PilImage

from zorva_ui.fast.raylib import zorva_raylib as rl
from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture
from zorva_ui.fast.zvshader.zvshader import ZvShader

pygame = pytest.importorskip("pygame")

# Premultiplied half-transparent orange, and what dividing by alpha gives back.
STORED = (100, 50, 0, 128)
STRAIGHT = (199, 100, 0, 128)


def _target(color=STORED, size=(3, 2)):
    target = ZvRenderTexture(size)
    target.c_fast_clear(color)
    return target


def test_image_buffer_is_the_pixels_without_a_copy():
    image = rl.gen_image_color(3, 2, (10, 20, 30, 40))
    array = np.asarray(image)
    assert array.shape == (2, 3, 4) and array.dtype == np.uint8
    view = memoryview(image)
    assert (view.shape, view.format, view.readonly) == ((2, 3, 4), "B", False)
    array[1, 2] = (1, 2, 3, 4)  # writes reach the image
    assert image.data[-4:] == bytes((1, 2, 3, 4))
    assert PilImage.frombuffer("RGBA", (3, 2), image, "raw", "RGBA", 0, 1).getpixel((2, 1)) == (
        1,
        2,
        3,
        4,
    )
    assert tuple(pygame.image.frombuffer(image, (3, 2), "RGBA").get_at((0, 0))) == (10, 20, 30, 40)


def test_image_is_not_freed_under_a_view():
    image = rl.image_from_pixels(1, 1, bytes(4))
    view = memoryview(image)
    with pytest.raises(BufferError, match="1 buffer view"):
        rl.unload_image(image)
    assert image.loaded
    view.release()
    rl.unload_image(image)
    with pytest.raises(BufferError, match="not loaded"):
        memoryview(image)


@pytest.mark.parametrize("straight, expected", [(False, STORED), (True, STRAIGHT)])
def test_read_pixels_into_a_buffer(straight, expected):
    target = _target()
    for into in (np.zeros((2, 3, 4), np.uint8), bytearray(24), memoryview(bytearray(24))):
        assert target.read_pixels(into, straight_alpha=straight) is into
        assert bytes(into) == bytes(expected) * 6
    assert target.read_pixels(straight_alpha=straight) == bytes(expected) * 6


def test_read_pixels_feeds_pillow_and_pygame():
    pixels = _target().read_pixels(straight_alpha=True)
    assert PilImage.frombuffer("RGBA", (3, 2), pixels, "raw", "RGBA", 0, 1).getpixel((0, 0)) == (
        STRAIGHT
    )
    assert tuple(pygame.image.frombuffer(pixels, (3, 2), "RGBA").get_at((2, 1))) == STRAIGHT


def test_numpy_asarray_reads_a_render_texture():
    target = _target()
    pixels = np.asarray(target)
    assert pixels.shape == (2, 3, 4) and pixels.dtype == np.uint8
    assert pixels.tobytes() == bytes(STORED) * 6
    assert np.asarray(target, dtype=np.float32)[1, 2, 0] == STORED[0]
    with pytest.raises(ValueError, match="live on the GPU"):
        np.asarray(target, copy=False)
    target.unload()
    with pytest.raises(ValueError, match="not loaded"):
        np.asarray(target)


@pytest.mark.parametrize(
    "into, error, message",
    [
        (bytes(24), TypeError, "writable C-contiguous buffer of 24 bytes, got bytes"),
        (bytearray(23), ValueError, "into holds 23 bytes, the render texture's pixels take 24"),
        (np.zeros((3, 2, 4), np.uint8).T, TypeError, "C-contiguous"),
        (object(), TypeError, "got object"),
    ],
)
def test_read_pixels_refuses_wrong_buffers(into, error, message):
    with pytest.raises(error, match=message):
        _target().read_pixels(into)


def _texture():
    image = rl.gen_image_color(1, 1, rl.WHITE)
    with image:
        return rl.load_texture_from_image(image)


@pytest.mark.parametrize(
    "make",
    [
        lambda: ZvRenderTexture((2, 2)),
        ZvShader,
        _texture,
        lambda: rl.gen_image_color(1, 1, rl.WHITE),
    ],
    ids=["render texture", "shader", "texture", "image"],
)
@pytest.mark.parametrize("raising", [False, True])
def test_resources_are_released_at_the_end_of_a_with_block(make, raising):
    resource = make()
    with pytest.raises(KeyError) if raising else _nothing():
        with resource as entered:
            assert entered is resource
            if raising:
                raise KeyError("the block's own error")
    if isinstance(resource, ZvShader):
        assert resource.id == 0
    else:
        assert not resource.loaded


class _nothing:
    def __enter__(self):
        return self

    def __exit__(self, *exc):
        return False


def _stack_depths():
    """How many texture, shader and blend modes are open, read from the failure of ending one."""
    depths = []
    for end in (rl.end_texture_mode, rl.end_shader_mode, rl.end_blend_mode):
        depth = 0
        while True:
            try:
                end()
            except RuntimeError:
                break
            depth += 1
        depths.append(depth)
    return depths


@pytest.mark.parametrize("raising", [False, True])
def test_modes_end_at_the_end_of_a_with_block(raising):
    target, shader = ZvRenderTexture((2, 2)), ZvShader()
    rl.trace_start()
    with pytest.raises(ZeroDivisionError) if raising else _nothing():
        with rl.begin_texture_mode(target), rl.begin_zvshader_mode(shader):
            with rl.begin_blend_mode(rl.BlendMode.BLEND_ADDITIVE) as mode:
                assert mode.name == "blend_mode"
                if raising:
                    raise ZeroDivisionError
    calls = [record[0] for record in rl.trace_stop() if record[0].startswith(("begin", "end"))]
    assert calls == [
        "begin_texture_mode",
        "begin_zvshader_mode",
        "begin_blend_mode",
        "end_blend_mode",
        "end_shader_mode",
        "end_texture_mode",
    ]
    assert _stack_depths() == [0, 0, 0]


def test_begin_allocates_no_mode_object():
    first = rl.begin_blend_mode(rl.BlendMode.BLEND_ALPHA)
    second = rl.begin_blend_mode(rl.BlendMode.BLEND_ALPHA)
    rl.end_blend_mode()
    rl.end_blend_mode()
    assert first is second
    with pytest.raises(TypeError):
        type(first)()
