"""The demo gallery: what a person looks at must be right, so its tiles are checked the way a
person would check them (directions as named, centres where named and marked whole, each colour
pure where its tick says), and its PNG, written by the layer, must decode to the composed
picture."""

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
    """The gallery PNG as an RGBA array (height, width, 4)."""
    width, height, colour, data = support_png.read_png(path)
    assert colour == 6
    return np.frombuffer(data, dtype=np.uint8).reshape(height, width, 4)


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


def marker_pixels(tile, x, y):
    """The pixels of the "+" drawn for the point (x, y) of a tile."""
    h, w = tile.shape[:2]
    mx, my = gallery.marker_position(x, y, w, h)
    arm = range(-gallery.MARKER_ARM, gallery.MARKER_ARM + 1)
    return [tile[my, mx + d] for d in arm] + [tile[my + d, mx] for d in arm]


def test_radial_markers_show_whole_and_reach_the_centre():
    for direction, (tile, _, _) in zip(RadialDirection, gallery.radial_tiles(), strict=True):
        h, w = tile.shape[:2]
        cx, cy = direction.value
        x, y = cx * (w - 1), cy * (h - 1)
        assert all((p == 0).all() for p in marker_pixels(tile, x, y)), direction.name
        # The marker (or its pointer, when it moved in from an edge) covers the centre itself.
        assert (tile[round(y), round(x)] == 0).all(), direction.name


@pytest.mark.parametrize(("x", "y"), [(0, 0), (149, 95), (74.5, 0), (3, 50), (80, 92.4)])
def test_marker_position_keeps_the_whole_plus_inside(x, y):
    mx, my = gallery.marker_position(x, y, gallery.TILE_W, gallery.TILE_H)
    arm = gallery.MARKER_ARM
    assert arm <= mx <= gallery.TILE_W - 1 - arm and arm <= my <= gallery.TILE_H - 1 - arm
    assert abs(mx - x) <= arm and abs(my - y) <= arm  # still next to the point


def test_radial_tiles_are_brightest_at_the_named_centre():
    for direction, (tile, _, _) in zip(RadialDirection, gallery.radial_tiles(), strict=True):
        h, w = tile.shape[:2]
        brightness = tile.astype(int).sum(axis=2)
        brightness[tile.sum(axis=2) == 0] = 0  # the black marker is not part of the picture
        y, x = np.unravel_index(np.argmax(brightness), brightness.shape)
        cx, cy = direction.value
        assert abs(x - cx * (w - 1)) <= 8 and abs(y - cy * (h - 1)) <= 8, direction.name


WEIGHTS = [[1, 1, 1, 1], [3, 1], [1, 3], [1, 2, 4], [4, 1, 1, 4], [1, 0, 1]]


@pytest.mark.parametrize(("index", "weights"), list(enumerate(WEIGHTS)))
def test_each_colour_is_pure_at_its_tick(index, weights):
    """The caption's claim, checked on the picture: under each tick the tile shows that colour
    itself (a colour of weight 0 included), and the ticks are where the module puts the stops."""
    tile, lines, _ = gallery.weighted_tiles()[index]
    assert lines == ["W " + ":".join(map(str, weights))]
    colours = gallery.BAND_COLOURS[: len(weights)]
    entries = [(c, w) for c, w in zip(colours, weights, strict=True)]
    stops = gallery.GradientPygame(entries).stops
    # The stop rules: a middle colour at the middle of its band, the ends at 0 and 1 when their
    # bands pass the middle.
    edges = np.cumsum([0, *weights]) / sum(weights)
    for i in range(1, len(weights) - 1):
        assert stops[i] == pytest.approx((edges[i] + edges[i + 1]) / 2, abs=1e-6)
    row = tile[tile.shape[0] // 2].astype(int)
    for column, colour in zip(gallery.tick_columns(stops), colours, strict=True):
        assert np.abs(row[column] - np.array(colour[:3])).max() <= 24, (column, colour)


def test_ticks_are_drawn_under_their_columns():
    image = np.zeros((gallery.TICK_H, gallery.TILE_W, 3), dtype=np.uint8)
    stops, colours = [0.0, 0.5, 1.0], gallery.BAND_COLOURS[:3]
    gallery.draw_ticks(image, 0, 0, stops, colours)
    for column, colour in zip(gallery.tick_columns(stops), colours, strict=True):
        assert (image[:, column] == colour[:3]).all()


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


def test_gallery_png_decodes_to_the_composed_picture(tmp_path):
    composed = gallery.compose()
    path = tmp_path / "gallery.png"
    gallery.save(composed, path)
    image = read_png(path)
    assert image.shape[1] == 2 * gallery.MARGIN + 9 * gallery.TILE_W + 8 * gallery.GAP
    assert image.shape[0] > 5 * gallery.TILE_H
    assert (image[..., 3] == 255).all()
    assert (image[..., :3] == composed).all()
    assert (image[0, 0, :3] == gallery.BACKGROUND).all()


def test_main_writes_the_gallery(tmp_path, monkeypatch):
    monkeypatch.setattr(gallery, "OUT_PATH", tmp_path / "out" / "gallery.png")
    assert gallery.main() == tmp_path / "out" / "gallery.png"
    assert (tmp_path / "out" / "gallery.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


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


def test_showcase_shows_the_clicked_button_and_matches_the_readme_copy(tmp_path, monkeypatch):
    import showcase

    monkeypatch.setattr(showcase, "OUT_PATH", tmp_path / "showcase.png")
    picture = read_png(showcase.main())[..., :3].astype(int)
    assert picture.shape[:2] == (showcase.HEIGHT, showcase.WIDTH)
    # Each button shows its own face colour at its left edge; the clicked one is lighter where
    # its ripple is than the same point of its face without it.
    width = (showcase.WIDTH - 2 * showcase.MARGIN - 3 * 16) // 4
    middle = showcase.BUTTON_Y + showcase.BUTTON_H // 2
    for i in range(len(showcase.BUTTONS)):
        x = showcase.MARGIN + i * (width + 16) + 6
        assert nearest(picture[middle, x], *(b[1] for b in showcase.BUTTONS)) == i
    clicked = showcase.button_face(*showcase.BUTTONS[1][1:], width, showcase.BUTTON_H, (0.4, 0.4))
    plain = showcase.button_face(*showcase.BUTTONS[1][1:], width, showcase.BUTTON_H)
    with clicked, plain:
        assert clicked.read_pixels() != plain.read_pixels()
    # The README shows a committed copy of what `make demo` writes (another GL driver may round
    # a few channels differently).
    committed = read_png(DEMO.parent / "docs" / "showcase.png")[..., :3].astype(int)
    assert committed.shape == picture.shape and np.abs(committed - picture).mean() < 1.0
