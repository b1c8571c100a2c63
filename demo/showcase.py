"""A small user interface painted by the package's gradients, for the README: a header bar,
three cards, a row of buttons, one of them caught mid-click with its ripple.

Every surface is a `GradientRaylib` texture or a `ClickGradient` drawn into one render texture
through a rounded-rectangle shader, on the headless GPU path; the pixels come back with straight
alpha into a numpy array, the labels go on with the demo's bitmap font, and the layer writes
the PNG.
"""

import pathlib

import numpy as np
from bitmap_font import GLYPH_HEIGHT, draw_text, text_size
from gallery import save

from zorva_ui.core import GradientType
from zorva_ui.core.modules import rl
from zorva_ui.fast.zvraygrad.zvraygrad import ClickGradient, GradientRaylib
from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture
from zorva_ui.fast.zvshader.zvshader import ZvShader

OUT_PATH = pathlib.Path(__file__).resolve().parent.parent / "out" / "showcase.png"
WIDTH, HEIGHT = 720, 400

# A texture drawn through a rounded-rectangle mask, antialiased; premultiplied output.
ROUNDED_FS = """
#version 330
in vec2 fragTexCoord;
in vec4 fragColor;
uniform sampler2D texture0;
uniform vec2 size;
uniform float radius;
out vec4 finalColor;

void main() {
    vec2 q = abs(fragTexCoord * size - size * 0.5) - size * 0.5 + radius;
    float d = length(max(q, 0.0)) + min(max(q.x, q.y), 0.0) - radius;
    vec4 texel = texture(texture0, fragTexCoord);
    finalColor = vec4(texel.rgb * fragColor.rgb, texel.a) * fragColor.a * clamp(0.5 - d, 0.0, 1.0);
}
"""

BACKGROUND = [(18, 20, 40, 255), (38, 24, 62, 255), (12, 36, 56, 255)]
HEADER = [(120, 84, 255, 255), (60, 140, 255, 255)]
CARDS = [  # (title, line, inner colour, outer colour)
    ("RENDERS", "ON THE GPU", (255, 255, 255, 34), (255, 255, 255, 10)),
    ("CACHES", "32 KEYED SLOTS", (255, 255, 255, 34), (255, 255, 255, 10)),
    ("PICKLES", "AND RESTORES", (255, 255, 255, 34), (255, 255, 255, 10)),
]
BUTTONS = [  # (label, top, bottom)
    ("PLAY", (255, 128, 112), (232, 62, 140)),
    ("SAVE", (96, 178, 255), (52, 84, 230)),
    ("SHARE", (64, 222, 178), (12, 150, 136)),
    ("EDIT", (255, 206, 84), (245, 124, 36)),
]
CLICKED = 1  # SAVE shows a ripple
RIPPLE = [((255, 255, 255, 70), 1.2), ((255, 255, 255, 130), 0.15), ((255, 255, 255, 0), 2.0)]

MARGIN = 24
HEADER_H = 64
CARD_Y, CARD_H = 96, 132
BUTTON_Y, BUTTON_H = 268, 76


class Painter:
    def __init__(self, target):
        self.target = target
        self.shader = ZvShader(None, ROUNDED_FS)
        self.size_loc = rl.get_zvshader_location(self.shader, "size")
        self.radius_loc = rl.get_zvshader_location(self.shader, "radius")

    def texture(self, texture, rect, radius=0.0, tint=rl.WHITE):
        x, y, w, h = rect
        # A render texture tells its size as a vector, a texture as width and height.
        size = getattr(texture, "size", None)
        sw, sh = (size.x, size.y) if size is not None else (texture.width, texture.height)
        rl.set_zvshader_value_vec2_tuple(self.shader, self.size_loc, (w, h))
        rl.set_zvshader_value_float(self.shader, self.radius_loc, radius)
        with rl.begin_zvshader_mode(self.shader):
            rl.draw_texture_pro(texture, (0, 0, sw, sh), rect, (0, 0), 0.0, tint)

    def gradient(self, gradient, rect, radius=0.0):
        with gradient.generate_texture(rect[2], rect[3]) as texture:
            self.texture(texture, rect, radius)


def button_face(top, bottom, w, h, ripple_at=None):
    """A button's face; with `ripple_at` (x, y as shares of the face) a click ripple over it."""
    face = GradientRaylib([(*top, 255), (*bottom, 255)], GradientType.Linear, angle=90)
    target = face.generate_texture(w, h)
    if ripple_at is not None:
        click = ClickGradient(list(RIPPLE), GradientType.Radial, center=ripple_at)
        with (
            rl.begin_texture_mode(target),
            rl.begin_blend_mode(rl.BlendMode.BLEND_ALPHA_PREMULTIPLY),
        ):
            click.draw(0, 0, w, h)
    return target


def paint():
    """The interface's gradients, as (HEIGHT, WIDTH, 4) straight-alpha pixels."""
    with ZvRenderTexture((WIDTH, HEIGHT)) as canvas:
        painter = Painter(canvas)
        with painter.shader:
            canvas.c_fast_clear((0, 0, 0, 0))
            with (
                rl.begin_texture_mode(canvas),
                rl.begin_blend_mode(rl.BlendMode.BLEND_ALPHA_PREMULTIPLY),
            ):
                painter.gradient(
                    GradientRaylib(BACKGROUND, GradientType.Linear, angle=60), (0, 0, WIDTH, HEIGHT)
                )
                glow = [(130, 100, 255, 90), (130, 100, 255, 0)]
                painter.gradient(
                    GradientRaylib(glow, GradientType.Radial, center=(0.1, 0.0)),
                    (0, 0, WIDTH, HEIGHT),
                )
                painter.gradient(
                    GradientRaylib(HEADER, GradientType.Linear), (0, 0, WIDTH, HEADER_H)
                )
                card_w = (WIDTH - 2 * MARGIN - 2 * 16) // 3
                for i, (_, _, inner, outer) in enumerate(CARDS):
                    card = GradientRaylib([inner, outer], GradientType.Radial, center=(0.2, 0.1))
                    rect = (MARGIN + i * (card_w + 16), CARD_Y, card_w, CARD_H)
                    painter.gradient(card, rect, radius=14)
                button_w = (WIDTH - 2 * MARGIN - 3 * 16) // 4
                for i, (_, top, bottom) in enumerate(BUTTONS):
                    rect = (MARGIN + i * (button_w + 16), BUTTON_Y, button_w, BUTTON_H)
                    shadow = (rect[0] + 2, rect[1] + 5, rect[2], rect[3])
                    with rl.gen_image_color(1, 1, (0, 0, 0, 110)) as image:
                        with rl.load_texture_from_image(image) as dark:
                            painter.texture(dark, shadow, radius=14)
                    ripple = (0.42, 0.45) if i == CLICKED else None
                    with button_face(top, bottom, button_w, BUTTON_H, ripple) as face:
                        painter.texture(face, rect, radius=14)
        pixels = np.empty((HEIGHT, WIDTH, 4), np.uint8)
        return canvas.read_pixels(pixels, straight_alpha=True)


def label(image, text, x, y, scale, color=(255, 255, 255), shadow=True):
    if shadow:
        draw_text(image, x + scale // 2 + 1, y + scale // 2 + 1, text, (10, 8, 24), scale)
    draw_text(image, x, y, text, color, scale)


def compose():
    """The showcase as an (h, w, 3) uint8 picture."""
    rgb = np.ascontiguousarray(paint()[..., :3])
    label(rgb, "ZORVA UI", MARGIN, (HEADER_H - GLYPH_HEIGHT * 4) // 2, 4)
    label(rgb, "GRADIENTS FOR USER INTERFACES", 250, (HEADER_H - GLYPH_HEIGHT * 2) // 2, 2)
    card_w = (WIDTH - 2 * MARGIN - 2 * 16) // 3
    for i, (title, line, _, _) in enumerate(CARDS):
        x = MARGIN + i * (card_w + 16) + 18
        label(rgb, title, x, CARD_Y + 22, 3)
        label(rgb, line, x, CARD_Y + 22 + GLYPH_HEIGHT * 3 + 16, 2, (200, 200, 225), False)
        bar_y = CARD_Y + CARD_H - 30
        rgb[bar_y : bar_y + 6, x : x + card_w - 36] = (70, 66, 110)
        rgb[bar_y : bar_y + 6, x : x + (card_w - 36) * (i + 2) // 4] = BUTTONS[i][1]
    button_w = (WIDTH - 2 * MARGIN - 3 * 16) // 4
    for i, (text, _, _) in enumerate(BUTTONS):
        w, h = text_size(text, 3)
        x = MARGIN + i * (button_w + 16) + (button_w - w) // 2
        label(rgb, text, x, BUTTON_Y + (BUTTON_H - h) // 2, 3)
    hint = "SAVE PRESSED - THE RIPPLE IS A CLICKGRADIENT"
    w, _ = text_size(hint, 1)
    label(rgb, hint, (WIDTH - w) // 2, HEIGHT - 28, 1, (190, 190, 215), False)
    return rgb


def main():
    save(compose(), OUT_PATH)
    print(f"showcase written to {OUT_PATH}")
    return OUT_PATH


if __name__ == "__main__":
    main()
