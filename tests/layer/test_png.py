"""PNG output: every picture decodes back exactly (read by the plain-Python reader), filters are
used where they pay, and images made from pixels draw those pixels."""

import zlib

import numpy as np
import pytest
from support import png as support_png

from layer.helpers import Drawing, cleared, pixels
from zorva_ui.core import GradientType
from zorva_ui.fast.raylib import zorva_raylib as rl
from zorva_ui.fast.zvraygrad.zvraygrad import GradientRaylib

RNG = np.random.default_rng(7)


def ramp(height, width):
    """A picture that row filters turn into near-constant bytes."""
    y, x = np.mgrid[0:height, 0:width]
    channels = [x * 3 + y * 5, x * 7, y * 2 + x, np.full_like(x, 255)]
    return (np.stack(channels, axis=-1) % 256).astype(np.uint8)


def stripes(height, width, axis):
    y, x = np.mgrid[0:height, 0:width]
    value = ((x if axis else y) // 3 % 2 * 200).astype(np.uint8)
    return np.stack([value, 255 - value, value // 2, np.full_like(value, 255)], axis=-1)


PICTURES = {
    "one pixel": np.array([[[1, 2, 3, 4]]], np.uint8),
    "one row": RNG.integers(0, 256, (1, 37, 4), dtype=np.uint8),
    "one column": RNG.integers(0, 256, (29, 1, 4), dtype=np.uint8),
    "noise": RNG.integers(0, 256, (40, 33, 4), dtype=np.uint8),
    "flat": np.full((7, 9, 4), 77, np.uint8),
    "ramp": ramp(50, 70),
    "vertical stripes": stripes(20, 40, 1),
    "horizontal stripes": stripes(20, 40, 0),
    # Over a megabyte: cut into parts deflated side by side, and filtered.
    "large ramp": ramp(300, 900),
}


def gradient_pixels(kind, width, height):
    colours = [(255, 255, 255, 255), (225, 60, 60, 200), (30, 20, 80, 90)]
    g = GradientRaylib(colours, kind, angle=30.0)
    texture = g.generate_texture(width, height)
    try:
        return pixels(texture).copy(), texture
    except BaseException:
        texture.unload()
        raise


@pytest.mark.parametrize("stored", [False, True], ids=["deflated", "stored"])
@pytest.mark.parametrize("name", PICTURES)
def test_encoded_pictures_decode_exactly(name, stored):
    picture = PICTURES[name]
    height, width = picture.shape[:2]
    data = rl._encode_png(picture.tobytes(), width, height, stored=stored)
    assert support_png.decode_png(data) == (width, height, 6, picture.tobytes())


@pytest.mark.parametrize("name", ["ramp", "linear", "radial"])
def test_filters_are_used_where_they_pay(name):
    if name == "ramp":
        picture = ramp(200, 300)
    else:
        kind = GradientType.Linear if name == "linear" else GradientType.Radial
        picture, texture = gradient_pixels(kind, 300, 200)
        texture.unload()
    height, width = picture.shape[:2]
    unfiltered = b"".join(b"\0" + row.tobytes() for row in picture)
    plain = len(zlib.compress(unfiltered, 6))
    data = rl._encode_png(picture, width, height)
    filters = []
    support_png.decode_png(data, filters)
    # Never worse than deflating the rows as they are; much better where filters flatten them.
    assert len(data) <= plain * 1.05 + 100
    if name == "ramp":
        assert set(filters) - {0} and len(data) < plain / 2


def test_deflated_gradient_is_a_fraction_of_the_stored_one():
    picture, texture = gradient_pixels(GradientType.Radial, 256, 256)
    texture.unload()
    stored = rl._encode_png(picture, 256, 256, stored=True)
    deflated = rl._encode_png(picture, 256, 256)
    assert len(stored) > 256 * 256 * 4
    assert len(deflated) < len(stored) / 5


@pytest.mark.parametrize("unpremultiply", [False, True])
@pytest.mark.parametrize("kind", [GradientType.Linear, GradientType.Radial])
def test_written_gradient_round_trips(tmp_path, kind, unpremultiply):
    picture, texture = gradient_pixels(kind, 96, 64)
    path = tmp_path / "g.png"
    try:
        rl.write_png(texture, path, unpremultiply=unpremultiply)
    finally:
        texture.unload()
    expected = picture.astype(np.int64)
    if unpremultiply:
        alpha = expected[..., 3:4]
        straight = np.minimum((expected[..., :3] * 255 + alpha // 2) // np.maximum(alpha, 1), 255)
        keep = (alpha == 0) | (alpha == 255)
        expected[..., :3] = np.where(keep, expected[..., :3], straight)
        assert not keep.all()  # the picture has partly transparent pixels to divide
    width, height, colour, data = support_png.read_png(path)
    assert (width, height, colour) == (96, 64, 6)
    assert data == expected.astype(np.uint8).tobytes()


@pytest.mark.parametrize(
    ("args", "error"),
    [
        ((b"\0" * 15, 2, 2), ValueError),
        ((b"\0" * 17, 2, 2), ValueError),
        ((b"", 0, 0), ValueError),
        ((b"\0" * 4, -1, -1), ValueError),
        (("not bytes", 1, 1), TypeError),
        ((np.zeros((4, 4), np.uint8)[:, ::2], 2, 1), ValueError),  # not contiguous
        ((b"\0" * 4, "1", 1), TypeError),
    ],
)
def test_encoder_refuses_wrong_pixels(args, error):
    with pytest.raises(error):
        rl._encode_png(*args)


def test_image_from_pixels_draws_those_pixels():
    picture = RNG.integers(0, 256, (6, 5, 4), dtype=np.uint8)
    picture[..., 3] = 255  # opaque, so blending leaves the colours as they are
    image = rl.image_from_pixels(5, 6, picture)
    picture[0, 0] = 0  # the image holds a copy
    assert (image.width, image.height) == (5, 6)
    assert image.data[4:] == picture.tobytes()[4:]
    texture = rl.load_texture_from_image(image)
    target = cleared(5, 6)
    with Drawing(target):
        rl.draw_texture_pro(texture, (0, 0, 5, 6), (0, 0, 5, 6), (0, 0), 0.0, rl.WHITE)
    drawn = pixels(target)
    assert (drawn.reshape(-1)[4:] == picture.reshape(-1)[4:]).all()
    rl.unload_texture(texture)
    target.unload()


@pytest.mark.parametrize(
    ("args", "error"),
    [
        ((2, 2, b"\0" * 15), ValueError),
        ((0, 1, b""), ValueError),
        ((1, 20000, b"\0" * 80000), ValueError),
        ((1, 1, 5), TypeError),
        (("1", 1, b"\0" * 4), TypeError),
    ],
)
def test_image_from_pixels_refuses_wrong_pixels(args, error):
    with pytest.raises(error):
        rl.image_from_pixels(*args)
