"""Pictures painted into memory the caller owns (buffers of every kind, pygame surfaces), and
the refusals of memory that cannot hold the picture."""

import array
import copy
import math
import pickle

import numpy as np
import pytest

from zorva_ui.core import GradientType
from zorva_ui.fast.zvpicture import zvpicture
from zorva_ui.rendering.pygame.gradient import GradientPygame

COLOURS = [(255, 0, 0, 255), ((0, 255, 0, 128), 2), (0, 0, 255, 0)]
W, H = 37, 11


@pytest.fixture(scope="module")
def gradient():
    return GradientPygame(COLOURS, GradientType.Radial, center=(0.2, 0.7))


@pytest.fixture(scope="module")
def expected(gradient):
    return gradient.render(W, H).tobytes()


@pytest.mark.parametrize(
    "make",
    [
        lambda: bytearray(W * H * 4),
        lambda: memoryview(bytearray(W * H * 4)),
        lambda: np.zeros((H, W, 4), np.uint8),
        lambda: np.zeros((H, W), np.uint32),
        lambda: array.array("I", bytes(W * H * 4)),
        lambda: memoryview(bytearray(W * H * 4 + 1))[1:],  # not aligned to 4 bytes
    ],
    ids=["bytearray", "memoryview", "uint8-array", "uint32-array", "array", "unaligned"],
)
def test_buffers_receive_the_picture(gradient, expected, make):
    target = make()
    gradient.render_into(target, W, H)
    assert bytes(memoryview(target).cast("B")) == expected


def test_stride_leaves_the_padding_alone(gradient, expected):
    stride = W * 4 + 12
    target = bytearray(b"\x07" * stride * H)
    gradient.render_into(target, W, H, stride=stride)
    rows = [bytes(target[y * stride : (y + 1) * stride]) for y in range(H)]
    assert b"".join(r[: W * 4] for r in rows) == expected
    assert all(r[W * 4 :] == b"\x07" * 12 for r in rows)


@pytest.mark.parametrize(
    "target, kwargs, error, message",
    [
        (bytes(W * H * 4), {}, TypeError, "read-only"),
        (np.zeros((H, W, 4), np.uint8)[:, :, :], {"readonly": True}, TypeError, "read-only"),
        (bytearray(W * H * 4 - 1), {}, ValueError, "holds 1627 bytes, the picture needs 1628"),
        (bytearray(W * H * 4 + 4), {}, ValueError, "the picture needs 1628"),
        (np.zeros((H, W * 2, 4), np.uint8)[:, ::2], {}, ValueError, "C-contiguous"),
        (np.zeros((H, W, 4), np.float32), {}, TypeError, "format 'f'"),
        (np.zeros((H, W, 2), np.uint16), {}, TypeError, "format 'H'"),
        (object(), {}, TypeError, "writable buffer .* got object"),
        (bytearray(W * H * 4), {"stride": W * 4 - 1}, ValueError, "stride must be at least"),
        (bytearray(W * H * 4), {"order": "ARGB"}, ValueError, "order must be 'RGBA' or 'BGRA'"),
    ],
    ids=[
        "bytes",
        "read-only-array",
        "short",
        "long",
        "strided",
        "floats",
        "shorts",
        "no-buffer",
        "narrow-stride",
        "order",
    ],
)
def test_unfit_targets_are_refused(gradient, target, kwargs, error, message):
    if kwargs.pop("readonly", False):
        target.flags.writeable = False
    with pytest.raises(error, match=message):
        gradient.render_into(target, W, H, **kwargs)


def test_bytes_need_no_numpy(gradient, expected):
    assert gradient.render_bytes(W, H) == expected
    assert gradient.render_bytes(0, 5) == b""
    with pytest.raises(ValueError, match="must not be negative"):
        gradient.render_bytes(-1, 5)


@pytest.fixture
def pygame(monkeypatch):
    monkeypatch.setenv("SDL_VIDEODRIVER", "dummy")
    return pytest.importorskip("pygame")


def surface_pixels(pygame, surface):
    """The surface's pixels as (h, w, 4) RGBA, read back through pygame itself."""
    w, h = surface.get_size()
    rgba = pygame.image.tobytes(surface, "RGBA")
    return np.frombuffer(rgba, np.uint8).reshape(h, w, 4)


def test_a_surface_holds_the_premultiplied_picture(pygame, gradient):
    surface = gradient.surface(W, H, alpha=0.5)
    assert surface.get_size() == (W, H) and surface.get_bytesize() == 4
    assert surface.get_flags() & pygame.SRCALPHA
    assert (surface_pixels(pygame, surface) == gradient.render(W, H, alpha=0.5)).all()


@pytest.mark.parametrize("masks", [None, "bgra"])
def test_painting_into_a_surface_follows_its_byte_order(pygame, gradient, masks):
    if masks is None:
        surface = pygame.Surface((W, H), pygame.SRCALPHA, 32)
    else:
        surface = pygame.Surface((W, H), pygame.SRCALPHA, 32, (0xFF0000, 0xFF00, 0xFF, 0xFF000000))
    gradient.render_into(surface, W, H)
    assert (surface_pixels(pygame, surface) == gradient.render(W, H)).all()


@pytest.mark.parametrize(
    "depth, size, message",
    [(32, (W + 1, H), "the surface is 38x11"), (24, (W, H), "3 bytes a pixel")],
)
def test_unfit_surfaces_are_refused(pygame, gradient, depth, size, message):
    surface = pygame.Surface(size, 0, depth)
    with pytest.raises(ValueError, match=message):
        gradient.render_into(surface, W, H)


def test_pictures_beyond_memory_are_refused(gradient):
    # Refused before anything is allocated: the byte count would not fit in a size.
    with pytest.raises(MemoryError, match="does not fit in memory"):
        gradient.render_bytes(2**31 - 1, 2**31 - 1)


@pytest.mark.parametrize(
    "duplicate", [lambda g: pickle.loads(pickle.dumps(g)), copy.copy, copy.deepcopy]
)
def test_copies_paint_the_same_picture(gradient, expected, duplicate):
    gradient.render(W, H)  # a ramp is kept; copies make their own
    assert duplicate(gradient).render_bytes(W, H) == expected


class Raises:
    def __float__(self):
        raise ZeroDivisionError("no number here")

    __index__ = __int__ = __float__


class Shrinking(list):
    """A colour list that loses its items while they are read."""

    def __getitem__(self, index):
        item = super().__getitem__(index)
        self.clear()
        return item


GOOD = dict(
    target=None,
    width=5,
    height=3,
    gradient_type=1,
    angle=10.0,
    center=(0.5, 0.5),
    colors=[(1, 0, 0, 1), (0, 0, 1, 1)],
    stops=[0, 1],
    color_count=2,
    alpha=1.0,
)
HOSTILE = [None, "x", 2**100, -(2**100), math.nan, math.inf, Raises(), (1,), [], object()]


@pytest.mark.parametrize("name", list(GOOD))
@pytest.mark.parametrize("value", HOSTILE, ids=repr)
def test_hostile_arguments_raise_cleanly(name, value):
    arguments = dict(GOOD, **{name: value})
    try:
        zvpicture.paint(**arguments)
    except (TypeError, ValueError, OverflowError, MemoryError, IndexError, ZeroDivisionError):
        pass


def test_a_colour_list_that_shrinks_while_read_raises():
    colours = Shrinking([(1, 0, 0, 1), (0, 0, 1, 1)])
    with pytest.raises(IndexError):
        zvpicture.paint(**dict(GOOD, colors=colours))
