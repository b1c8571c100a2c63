"""A gallery of gradients rendered through the real gradient module and rendering layer.

Every tile is rendered on the GPU path: `GradientRaylib.generate_texture` for the linear, radial,
weighted and colour-alpha tiles, and `ClickGradient.draw` inside the caller's own texture and
blend mode for the transparency tiles and the strip of animation frames. The pixels are read
back, composed with numpy over a checkerboard (so transparency shows) and labelled with a small
built-in bitmap font; the composed picture goes back to the layer as a texture, is drawn into a
render texture and written by the layer's `write_png`.
"""

import math
import pathlib

import numpy as np
from bitmap_font import GLYPH_HEIGHT, draw_text, text_size

from zorva_ui.core import GradientType, LinearDirection, RadialDirection
from zorva_ui.core.modules import rl
from zorva_ui.fast.zvraygrad.zvraygrad import ClickGradient, GradientRaylib
from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture
from zorva_ui.rendering.pygame.gradient import GradientPygame

OUT_PATH = pathlib.Path(__file__).resolve().parent.parent / "out" / "gallery.png"

TILE_W, TILE_H = 150, 96
GAP = 12
MARGIN = 16
LABEL_SCALE = 2
LINE_H = GLYPH_HEIGHT * LABEL_SCALE + 4
BAND_H = 10  # the solid weight bands under a weighted tile
TICK_H = 8  # the stop ticks under the bands
MARKER_ARM = 5  # half the width of a "+" marker
BACKGROUND = (32, 32, 36)
TEXT = (235, 235, 235)
HEADING = (255, 200, 90)

LINEAR_COLOURS = [(20, 50, 170, 255), (235, 235, 235, 255), (250, 150, 0, 255)]
RADIAL_COLOURS = [(255, 255, 255, 255), (225, 60, 60, 255), (30, 20, 80, 255)]
BAND_COLOURS = [(220, 40, 40, 255), (40, 180, 60, 255), (40, 80, 220, 255), (240, 210, 40, 255)]


# --- reading pixels back -------------------------------------------------------------------


def texture_pixels(texture):
    """A render texture's pixels as an (h, w, 4) uint8 array, premultiplied RGBA, top row first."""
    size = texture.size
    width, height = int(size.x), int(size.y)
    data = texture.read_pixels()
    return np.frombuffer(data, dtype=np.uint8).reshape(height, width, 4).copy()


def render_tile(gradient, width=TILE_W, height=TILE_H):
    texture = gradient.generate_texture(width, height)
    try:
        return texture_pixels(texture)
    finally:
        texture.unload()


def draw_frames(gradient, frames, width=TILE_W, height=TILE_H):
    """Draws one ClickGradient once per frame, side by side, into one render texture, the way
    a widget draws itself: inside the caller's texture mode and blend mode. `frames` is a list
    of callables that change the gradient before its frame is drawn. Returns the tiles."""
    target = ZvRenderTexture((len(frames) * (width + GAP), height))
    try:
        rl.begin_texture_mode(target)
        try:
            rl.begin_blend_mode(int(rl.BlendMode.BLEND_ALPHA_PREMULTIPLY))
            try:
                target.c_fast_clear((0, 0, 0, 0))
                for i, change in enumerate(frames):
                    change(gradient)
                    gradient.draw(i * (width + GAP), 0, width, height)
            finally:
                rl.end_blend_mode()
        finally:
            rl.end_texture_mode()
        pixels = texture_pixels(target)
    finally:
        target.unload()
    return [pixels[:, i * (width + GAP) : i * (width + GAP) + width] for i in range(len(frames))]


# --- composing -----------------------------------------------------------------------------


def checkerboard(height, width, cell=8):
    yy, xx = np.mgrid[0:height, 0:width]
    light = ((yy // cell + xx // cell) % 2).astype(bool)
    board = np.empty((height, width, 3), dtype=np.float32)
    board[:] = 150
    board[light] = 205
    return board


def over_checkerboard(premultiplied):
    """Composites premultiplied RGBA over a checkerboard, giving RGB."""
    rgba = premultiplied.astype(np.float32)
    board = checkerboard(*rgba.shape[:2])
    out = rgba[..., :3] + board * (1.0 - rgba[..., 3:4] / 255.0)
    return np.clip(np.rint(out), 0, 255).astype(np.uint8)


def draw_line(image, x0, y0, x1, y1, color, thickness=1):
    steps = int(max(abs(x1 - x0), abs(y1 - y0)) * 2) + 1
    h, w = image.shape[:2]
    r = thickness // 2
    for t in np.linspace(0.0, 1.0, steps):
        x = int(round(x0 + (x1 - x0) * t))
        y = int(round(y0 + (y1 - y0) * t))
        if 0 <= y < h and 0 <= x < w:
            image[max(y - r, 0) : min(y + r + 1, h), max(x - r, 0) : min(x + r + 1, w)] = color


def draw_arrow(image, cx, cy, angle_deg, length, color):
    """An arrow through (cx, cy) pointing at `angle_deg` (0 right, 90 down, y down)."""
    a = math.radians(angle_deg)
    dx, dy = math.cos(a) * length / 2, math.sin(a) * length / 2
    x0, y0, x1, y1 = cx - dx, cy - dy, cx + dx, cy + dy
    draw_line(image, x0, y0, x1, y1, color, 2)
    for side in (-1, 1):
        b = a + math.pi + side * math.radians(30)
        draw_line(image, x1, y1, x1 + math.cos(b) * 6, y1 + math.sin(b) * 6, color, 2)


def marker_position(x, y, width, height):
    """Where the "+" for the point (x, y) of a width x height tile goes: on the point, or moved
    in just far enough to show whole when the point is near an edge."""
    x, y = int(round(x)), int(round(y))
    return (
        min(max(x, MARKER_ARM), width - 1 - MARKER_ARM),
        min(max(y, MARKER_ARM), height - 1 - MARKER_ARM),
    )


def draw_marker(image, x, y, color=(0, 0, 0)):
    """A "+" marking the point (x, y), whole inside the image; when it had to move in from an
    edge, a line from its middle points at the point itself."""
    h, w = image.shape[:2]
    mx, my = marker_position(x, y, w, h)
    draw_line(image, mx - MARKER_ARM, my, mx + MARKER_ARM, my, color)
    draw_line(image, mx, my - MARKER_ARM, mx, my + MARKER_ARM, color)
    px, py = min(max(int(round(x)), 0), w - 1), min(max(int(round(y)), 0), h - 1)
    if (mx, my) != (px, py):
        draw_line(image, mx, my, px, py, color)


class Canvas:
    """Places tiles row by row; each tile gets up to two label lines under it."""

    def __init__(self, width, height):
        self.image = np.empty((height, width, 3), dtype=np.uint8)
        self.image[:] = BACKGROUND
        self.y = MARGIN

    def title(self, text, scale=3, color=TEXT):
        draw_text(self.image, MARGIN, self.y, text, color, scale)
        self.y += GLYPH_HEIGHT * scale + 10

    def heading(self, text):
        draw_text(self.image, MARGIN, self.y, text, HEADING, LABEL_SCALE)
        self.y += LINE_H + 4

    def row(self, tiles):
        """`tiles`: list of (rgb tile, [label lines], extra) where extra may be a function
        drawing into the label area: extra(image, x, y_label)."""
        row_h = max(t[0].shape[0] for t in tiles)
        x = MARGIN
        for tile, lines, extra in tiles:
            h, w = tile.shape[:2]
            self.image[self.y : self.y + h, x : x + w] = tile
            ly = self.y + h + 4
            if extra is not None:
                ly = extra(self.image, x, ly)
            for line in lines:
                tw, _ = text_size(line, LABEL_SCALE)
                scale = LABEL_SCALE if tw <= w else 1
                draw_text(self.image, x, ly, line, TEXT, scale)
                ly += LINE_H
            x += w + GAP
        self.y += row_h + 4 + 2 * LINE_H + GAP + 6


def band_strip(weights, colours, width=TILE_W, height=BAND_H):
    """Solid bands, one per colour, as wide as its share of the total weight."""
    strip = np.zeros((height, width, 3), dtype=np.uint8)
    total = sum(weights)
    edge = 0.0
    for w, colour in zip(weights, colours, strict=True):
        x0 = int(round(edge / total * width))
        edge += w
        x1 = int(round(edge / total * width))
        strip[:, x0:x1] = colour[:3]
    return strip


def tick_columns(stops, width=TILE_W):
    """The pixel column of each stop along a tile of `width` pixels."""
    return [min(int(s * width), width - 1) for s in stops]


def draw_ticks(image, x, y, stops, colours, width=TILE_W):
    """A tick in each colour under the column where the picture shows that colour pure."""
    for column, colour in zip(tick_columns(stops, width), colours, strict=True):
        x0 = x + min(max(column - 1, 0), width - 3)
        image[y : y + TICK_H, x0 : x0 + 3] = colour[:3]


def save(rgb, path):
    """Writes an (h, w, 3) uint8 picture through the layer: uploaded as a texture, drawn into
    a render texture of its size, written by `write_png`."""
    height, width = rgb.shape[:2]
    rgba = np.empty((height, width, 4), dtype=np.uint8)
    rgba[..., :3] = rgb
    rgba[..., 3] = 255
    image = rl.image_from_pixels(width, height, rgba)
    texture = rl.load_texture_from_image(image)
    rl.unload_image(image)
    target = ZvRenderTexture((width, height))
    try:
        rl.begin_texture_mode(target)
        try:
            target.c_fast_clear((0, 0, 0, 0))
            rect = (0, 0, width, height)
            rl.draw_texture_pro(texture, rect, rect, (0, 0), 0.0, rl.WHITE)
        finally:
            rl.end_texture_mode()
        path.parent.mkdir(parents=True, exist_ok=True)
        rl.write_png(target, path)
    finally:
        target.unload()
        rl.unload_texture(texture)


# --- the sections --------------------------------------------------------------------------


def linear_tiles():
    tiles = []
    entries = [(d.name, d) for d in LinearDirection] + [("free angle", 30.0)]
    for name, direction in entries:
        g = GradientRaylib(list(LINEAR_COLOURS), GradientType.Linear, direction)
        angle = g.angle

        def arrow(image, x, y, angle=angle):
            draw_arrow(image, x + TILE_W - 22, y + LINE_H + 6, angle, 20, HEADING)
            return y

        tiles.append((over_checkerboard(render_tile(g)), [name, f"{angle:g}°"], arrow))
    return tiles


def radial_tiles():
    tiles = []
    for d in RadialDirection:
        g = GradientRaylib(list(RADIAL_COLOURS), GradientType.Radial, d)
        cx, cy = g.center.x, g.center.y
        tile = over_checkerboard(render_tile(g))
        draw_marker(tile, cx * (TILE_W - 1), cy * (TILE_H - 1))
        tiles.append((tile, [d.name, f"({cx:g}, {cy:g})"], None))
    return tiles


def weighted_tiles():
    tiles = []
    for weights in ([1, 1, 1, 1], [3, 1], [1, 3], [1, 2, 4], [4, 1, 1, 4], [1, 0, 1]):
        colours = BAND_COLOURS[: len(weights)]
        entries = [(c, w) for c, w in zip(colours, weights, strict=True)]
        g = GradientRaylib(entries, GradientType.Linear, LinearDirection.Right)
        strip = band_strip(weights, colours)
        # The stops the module computes from the weights (the CPU twin computes the same).
        stops = GradientPygame(entries).stops

        def bands(image, x, y, strip=strip, stops=stops, colours=colours):
            image[y : y + BAND_H, x : x + TILE_W] = strip
            draw_ticks(image, x, y + BAND_H + 1, stops, colours)
            return y + BAND_H + 1 + TICK_H + 3

        label = "W " + ":".join(str(w) for w in weights)
        tiles.append((over_checkerboard(render_tile(g)), [label], bands))
    return tiles


def transparency_tiles():
    tiles = []
    fading = [(230, 40, 40, 255), (230, 40, 40, 0)]
    g = GradientRaylib(fading, GradientType.Linear, LinearDirection.Right)
    tiles.append((over_checkerboard(render_tile(g)), ["COLOUR ALPHA", "255 TO 0"], None))
    g = GradientRaylib([(255, 255, 255, 255), (40, 90, 230, 160), (40, 90, 230, 0)])
    g.type = GradientType.Radial
    tiles.append((over_checkerboard(render_tile(g)), ["RADIAL ALPHA", "255/160/0"], None))
    levels = [255, 192, 128, 64, 0]
    click = ClickGradient([(250, 150, 0, 255), (20, 50, 170, 255)], GradientType.Linear)

    def with_transparency(value):
        def change(gradient):
            gradient.transparency = value

        return change

    frames = draw_frames(click, [with_transparency(v) for v in levels])
    for value, frame in zip(levels, frames, strict=True):
        tiles.append((over_checkerboard(frame), ["DRAW", f"TRANSP. {value}"], None))
    return tiles


def click_frames():
    """One ClickGradient, its centre travelling and its first band growing frame by frame."""
    click = ClickGradient([(255, 255, 255, 255), (255, 120, 0, 255), (60, 0, 120, 255)])
    count = 8
    states = []
    for i in range(count):
        t = i / (count - 1)
        centre = (0.1 + 0.8 * t, 0.5 + 0.35 * math.sin(t * 2 * math.pi))
        weight = 0.5 + 3.5 * t
        states.append((centre, weight))

    def frame_change(i):
        centre, weight = states[i]

        def change(gradient):
            if i % 2:
                gradient.set_center_zvvec(type(gradient.center)(*centre))
            else:
                gradient.set_center(centre)
            gradient.set_weight(0, weight)

        return change

    frames = draw_frames(click, [frame_change(i) for i in range(count)])
    tiles = []
    for (centre, weight), frame in zip(states, frames, strict=True):
        tile = over_checkerboard(frame)
        draw_marker(tile, centre[0] * (TILE_W - 1), centre[1] * (TILE_H - 1))
        lines = [f"C {centre[0]:.2f},{centre[1]:.2f}", f"W {weight:.1f}:1:1"]
        tiles.append((tile, lines, None))
    return tiles


def compose():
    """The whole gallery as an (h, w, 3) uint8 picture."""
    sections = [
        (
            "LINEAR: THE EIGHT NAMED DIRECTIONS AND A FREE ANGLE (BLUE TO ORANGE ALONG THE ARROW)",
            linear_tiles(),
        ),
        (
            "RADIAL: THE SEVEN NAMED CENTRES (+ MARKS THE CENTRE; AT AN EDGE IT POINTS TO IT)",
            radial_tiles(),
        ),
        (
            "WEIGHTED: A WEIGHT SIZES ITS COLOUR'S BAND (STRIP); THE COLOUR IS PURE AT ITS TICK "
            "AND BLENDS INTO THE NEXT",
            weighted_tiles(),
        ),
        ("TRANSPARENCY: COLOUR ALPHA, AND THE TRANSPARENCY DRAW APPLIES", transparency_tiles()),
        (
            "CLICKGRADIENT: CENTRE MOVES, FIRST WEIGHT GROWS; DRAWN INTO ONE RENDER TEXTURE",
            click_frames(),
        ),
    ]
    widest = max(len(tiles) for _, tiles in sections)
    width = 2 * MARGIN + widest * TILE_W + (widest - 1) * GAP
    row_h = TILE_H + 4 + BAND_H + 1 + TICK_H + 3 + 2 * LINE_H + GAP + 6
    height = MARGIN + 40 + len(sections) * (LINE_H + 4 + row_h) + MARGIN
    canvas = Canvas(width, height)
    canvas.title("ZORVA_UI GRADIENT GALLERY")
    for heading, tiles in sections:
        canvas.heading(heading)
        canvas.row(tiles)
    return canvas.image[: canvas.y + MARGIN]


def main():
    save(compose(), OUT_PATH)
    print(f"gallery written to {OUT_PATH}")
    return OUT_PATH


if __name__ == "__main__":
    main()
