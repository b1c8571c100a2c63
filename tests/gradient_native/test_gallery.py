"""The demo gallery: what a person looks at must be right, so its tiles are checked the way a
person would check them (directions as named, centres where named, bands as weighted), and its
PNG must decode to the composed picture."""

import pathlib
import sys

import numpy as np
import pytest

DEMO = pathlib.Path(__file__).resolve().parents[2] / "demo"
sys.path.insert(0, str(DEMO))

import bitmap_font  # noqa: E402
import gallery  # noqa: E402
from support import png as support_png  # noqa: E402

from zorva_ui.core import LinearDirection, RadialDirection  # noqa: E402

BLUE, ORANGE = np.array(gallery.LINEAR_COLOURS[0][:3]), np.array(gallery.LINEAR_COLOURS[2][:3])


def read_png(path):
    """The gallery PNG as an RGB array (height, width, 3)."""
    width, height, colour, data = support_png.read_png(path)
    assert colour == 2
    return np.frombuffer(data, dtype=np.uint8).reshape(height, width, 3)


def nearest(pixel, *colours):
    return int(np.argmin([np.abs(pixel.astype(int) - c).sum() for c in colours]))


@pytest.fixture(scope="module")
def linear():
    return dict(
        zip([d.name for d in LinearDirection] + ["free"], gallery.linear_tiles(), strict=True)
    )


@pytest.mark.parametrize(
    ("name", "start", "end"),
    [
        ("Right", (0.5, 0.02), (0.5, 0.98)),
        ("Left", (0.5, 0.98), (0.5, 0.02)),
        ("Bottom", (0.02, 0.5), (0.98, 0.5)),
        ("Top", (0.98, 0.5), (0.02, 0.5)),
        ("BottomRight", (0.02, 0.02), (0.98, 0.98)),
        ("TopLeft", (0.98, 0.98), (0.02, 0.02)),
        ("TopRight", (0.98, 0.02), (0.02, 0.98)),
        ("BottomLeft", (0.02, 0.98), (0.98, 0.02)),
    ],
)
def test_linear_tiles_run_from_first_to_last_colour_as_named(linear, name, start, end):
    tile = linear[name][0]
    h, w = tile.shape[:2]

    def at(p):
        return tile[int(p[0] * (h - 1)), int(p[1] * (w - 1))]

    assert nearest(at(start), BLUE, ORANGE) == 0
    assert nearest(at(end), BLUE, ORANGE) == 1


def test_linear_labels_carry_the_table_angles(linear):
    angles = {name: float(tile[1][1].rstrip("°")) for name, tile in linear.items()}
    assert angles == {
        "Right": 0,
        "BottomRight": 45,
        "Bottom": 90,
        "BottomLeft": 135,
        "Left": 180,
        "TopLeft": 225,
        "Top": 270,
        "TopRight": 315,
        "free": 30,
    }


def test_radial_tiles_are_brightest_at_the_named_centre():
    for direction, (tile, _, _) in zip(RadialDirection, gallery.radial_tiles(), strict=True):
        h, w = tile.shape[:2]
        brightness = tile.astype(int).sum(axis=2)
        brightness[tile.sum(axis=2) == 0] = 0  # the black marker is not part of the picture
        y, x = np.unravel_index(np.argmax(brightness), brightness.shape)
        cx, cy = direction.value
        assert abs(x - cx * (w - 1)) <= 8 and abs(y - cy * (h - 1)) <= 8, direction.name


@pytest.mark.parametrize(("index", "weights"), [(1, [3, 1]), (2, [1, 3]), (3, [1, 2, 4])])
def test_weighted_tiles_put_each_colour_in_the_middle_of_its_band(index, weights):
    tile = gallery.weighted_tiles()[index][0]
    w = tile.shape[1]
    row = tile[tile.shape[0] // 2]
    colours = [np.array(c[:3]) for c in gallery.BAND_COLOURS[: len(weights)]]
    edges = np.cumsum([0, *weights]) / sum(weights)
    for i in range(len(colours)):
        middle = (edges[i] + edges[i + 1]) / 2
        x = min(int(middle * w), w - 1)
        assert nearest(row[x], *colours) == i


def test_transparency_tiles_fade_towards_the_checkerboard():
    tiles = gallery.transparency_tiles()
    drawn = [t[0] for t in tiles[2:]]  # transparency 255, 192, 128, 64, 0
    board = gallery.checkerboard(*drawn[0].shape[:2]).astype(int)
    distance = [np.abs(t.astype(int) - board).mean() for t in drawn]
    assert distance == sorted(distance, reverse=True)
    assert distance[-1] < 1.0


def test_frames_follow_the_moving_centre():
    tiles = gallery.click_frames()
    xs = []
    for tile, lines, _ in tiles:
        brightness = tile.astype(int).sum(axis=2)
        brightest = brightness >= np.percentile(brightness, 98)
        xs.append(np.argwhere(brightest)[:, 1].mean())
        cx = float(lines[0].split()[1].split(",")[0])
        assert abs(xs[-1] - cx * tile.shape[1]) < 0.2 * tile.shape[1]
    assert xs == sorted(xs)


def test_gallery_png_decodes_to_the_composed_picture(tmp_path, monkeypatch):
    monkeypatch.setattr(gallery, "OUT_PATH", tmp_path / "gallery.png")
    path = gallery.main()
    image = read_png(path)
    assert image.shape[1] == 2 * gallery.MARGIN + 9 * gallery.TILE_W + 8 * gallery.GAP
    assert image.shape[0] > 5 * gallery.TILE_H
    # The first linear tile sits under the title and the first heading.
    assert (image[0, 0] == gallery.BACKGROUND).all()


@pytest.mark.parametrize(
    ("text", "scale", "width"), [("A", 1, 5), ("AB", 1, 11), ("AB", 2, 22), ("", 3, 0)]
)
def test_text_size(text, scale, width):
    assert bitmap_font.text_size(text, scale) == (width, 7 * scale)


def test_text_is_drawn_clipped_and_case_folded():
    image = np.zeros((10, 8, 3), dtype=np.uint8)
    bitmap_font.draw_text(image, 4, 5, "e", (255, 0, 0))
    expected = bitmap_font.glyph("E")[:5, :4]
    assert ((image[5:, 4:, 0] == 255) == expected).all()
    assert image[:5].sum() == 0 and image[:, :4].sum() == 0
