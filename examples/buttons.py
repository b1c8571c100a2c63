"""A window of gradient buttons, drawn by the rendering layer inside a GLFW window's GL context.

    .venv/bin/python examples/buttons.py      (or `make window`; needs a display)

The window's OpenGL 3.3 context is current while the layer is called, so the layer works in it
and draws straight into the window. Backgrounds are `GradientRaylib` textures
regenerated at the new size whenever the window is resized; a press starts a `ClickGradient`
ripple centred at the pointer. Escape or closing the window quits. Idle, it sleeps until an
event comes: frames are drawn only for input, a resize, an expose or a running ripple.

`run()` is also the hook the tests drive: `script(control)` is called after every frame is drawn
(before it is shown), and `control` can read that frame back, move the pointer, press and release
it and resize the window, with no input devices involved.
"""

import importlib.util
import pathlib
import sys
import time

import glfw
import moderngl
import numpy as np

from zorva_ui.core import GradientType
from zorva_ui.core.modules import rl
from zorva_ui.fast.zvraygrad.zvraygrad import ClickGradient, GradientRaylib
from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture
from zorva_ui.fast.zvshader.zvshader import ZvShader


def _load_font():
    # The demo's bitmap font is a plain script beside the demo, not part of the package.
    path = pathlib.Path(__file__).resolve().parent.parent / "demo" / "bitmap_font.py"
    spec = importlib.util.spec_from_file_location("bitmap_font", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


font = _load_font()

TITLE = "ZORVA UI"
SUBTITLE = "GRADIENT BUTTONS"
HINT = "CLICK A BUTTON  -  ESC QUITS"
DEFAULT_SIZE = (760, 500)
# The smallest window the layout is made for (every label fits its button); a smaller window
# shows the top-left part of that layout rather than squeezing the labels together.
MIN_SIZE = (480, 340)
RIPPLE_SECONDS = 0.5
CORNER = 0.16  # corner radius, as a share of the button's shorter side

# (label, top colour, bottom colour)
BUTTONS = [
    ("PLAY", (255, 128, 112), (232, 62, 140)),
    ("SAVE", (96, 178, 255), (52, 84, 230)),
    ("SHARE", (64, 222, 178), (12, 150, 136)),
    ("EDIT", (255, 206, 84), (245, 124, 36)),
    ("MUSIC", (214, 124, 255), (128, 66, 226)),
    ("HELP", (150, 170, 196), (74, 88, 122)),
]

BACKGROUND = [((22, 24, 48, 255), 1.0), ((40, 26, 64, 255), 1.2), ((14, 38, 58, 255), 1.0)]
BACKGROUND_ANGLE = 60
GLOW = [(130, 100, 255, 80), (130, 100, 255, 0)]  # a soft light from the top-left
GLOW_CENTRE = (0.15, 0.0)
# A light ring that widens as the first weight grows, over a fainter disc: light enough that the
# face keeps its colour under it, so the white label (with its dark outline) stays readable.
RIPPLE = [
    ((255, 255, 255, 70), 0.02),
    ((255, 255, 255, 130), 0.15),
    ((255, 255, 255, 0), 2.0),
]

# Draws a texture through a rounded-rectangle mask, antialiased, with an optional soft edge (for
# shadows and glows), a sheen over the upper half and a light inner rim. Output is premultiplied.
ROUNDED_FS = """
#version 330
in vec2 fragTexCoord;
in vec4 fragColor;
uniform sampler2D texture0;
uniform vec2 size;
uniform float radius;
uniform float inset;
uniform float softness;
uniform float sheen;
out vec4 finalColor;

float rounded_box(vec2 p, vec2 half_size, float r) {
    vec2 q = abs(p) - half_size + r;
    return length(max(q, 0.0)) + min(max(q.x, q.y), 0.0) - r;
}

void main() {
    vec2 p = fragTexCoord * size - size * 0.5;
    float r = min(radius, min(size.x, size.y) * 0.5 - inset);
    float d = rounded_box(p, size * 0.5 - inset, max(r, 0.0));
    float coverage = softness > 0.0 ? 1.0 - smoothstep(-softness, softness, d)
                                    : clamp(0.5 - d, 0.0, 1.0);
    vec4 texel = texture(texture0, fragTexCoord);
    vec4 colour = vec4(texel.rgb * fragColor.rgb, texel.a) * fragColor.a;
    float light = sheen * clamp(1.0 - fragTexCoord.y * 2.2, 0.0, 1.0);
    light += sheen * 1.4 * (1.0 - smoothstep(0.0, 1.5, -d)) * step(d, 0.0);
    colour.rgb += (colour.a - colour.rgb) * light;
    finalColor = colour * coverage;
}
"""


class NoDisplay(RuntimeError):
    """No window can be opened (no display server, or it refused the window)."""


def _lighter(colour, amount):
    return tuple(round(c + (255 - c) * amount) for c in colour)


def _premultiplied_blend():
    rl.begin_blend_mode(int(rl.BlendMode.BLEND_ALPHA_PREMULTIPLY))


class Rect:
    __slots__ = ("x", "y", "w", "h")

    def __init__(self, x, y, w, h):
        self.x, self.y, self.w, self.h = int(x), int(y), max(int(w), 1), max(int(h), 1)

    def contains(self, px, py):
        return self.x <= px < self.x + self.w and self.y <= py < self.y + self.h

    def grown(self, by, dy=0):
        return Rect(self.x - by, self.y - by + dy, self.w + 2 * by, self.h + 2 * by)

    def as_tuple(self):
        return (self.x, self.y, self.w, self.h)


class Painter:
    """The few drawing primitives the scene is made of, on whatever the layer draws into."""

    def __init__(self):
        self.shader = ZvShader(None, ROUNDED_FS)
        self.loc = {
            name: rl.get_zvshader_location(self.shader, name)
            for name in ("size", "radius", "inset", "softness", "sheen")
        }
        image = rl.gen_image_color(1, 1, (255, 255, 255, 255))
        self.white = rl.load_texture_from_image(image)
        rl.unload_image(image)

    def unload(self):
        rl.unload_texture(self.white)
        self.shader.unload()

    @staticmethod
    def texture(texture, rect, tint=(255, 255, 255, 255)):
        size = texture.size
        source = (0, 0, size.x, size.y)
        rl.draw_texture_pro(texture, source, rect.as_tuple(), (0, 0), 0, tint)

    def rounded(
        self, texture, rect, radius, *, tint=(255, 255, 255, 255), softness=0, inset=0, sheen=0.0
    ):
        """Draws `texture` (the white pixel when None) stretched over `rect`, masked to a
        rounded rectangle `inset` pixels inside it."""
        shader = self.shader
        rl.set_zvshader_value_vec2_tuple(shader, self.loc["size"], (rect.w, rect.h))
        rl.set_zvshader_value_float(shader, self.loc["radius"], radius)
        rl.set_zvshader_value_float(shader, self.loc["inset"], inset)
        rl.set_zvshader_value_float(shader, self.loc["softness"], softness)
        rl.set_zvshader_value_float(shader, self.loc["sheen"], sheen)
        rl.begin_zvshader_mode(shader)
        try:
            if texture is None:
                rl.draw_texture_pro(self.white, (0, 0, 1, 1), rect.as_tuple(), (0, 0), 0, tint)
            else:
                self.texture(texture, rect, tint)
        finally:
            rl.end_shader_mode()

    def text_texture(self, text):
        """A render texture of `text` in white at one pixel per font pixel; drawn scaled up with
        nearest sampling it stays crisp."""
        width, height = font.text_size(text)
        target = ZvRenderTexture((max(width, 1), height))
        target.c_fast_clear((0, 0, 0, 0))
        rl.begin_texture_mode(target)
        try:
            for i, ch in enumerate(text):
                x0 = i * (font.GLYPH_WIDTH + 1)
                for y, row in enumerate(font.glyph(ch)):
                    for start, end in _runs(row):
                        dest = (x0 + start, y, end - start, 1)
                        rl.draw_texture_pro(
                            self.white, (0, 0, 1, 1), dest, (0, 0), 0, (255, 255, 255, 255)
                        )
        finally:
            rl.end_texture_mode()
        return target

    def text(self, texture, x, y, scale, alpha=255):
        """Draws a text texture with its top-left at (x, y), over a thin dark outline and a
        drop shadow, so that it reads on light and dark faces alike."""
        size = texture.size
        w, h = int(size.x) * scale, int(size.y) * scale
        offset = max(scale // 2, 1)
        edge = max(scale // 3, 1)
        self.texture(texture, Rect(x + offset, y + offset, w, h), (0, 0, 0, alpha * 3 // 5))
        for dx, dy in ((-edge, 0), (edge, 0), (0, -edge), (0, edge)):
            self.texture(texture, Rect(x + dx, y + dy, w, h), (0, 0, 0, alpha * 2 // 5))
        self.texture(texture, Rect(x, y, w, h), (alpha, alpha, alpha, alpha))  # premultiplied


def _runs(row):
    """(start, end) of every run of set pixels in one bitmap row."""
    runs, start = [], None
    for i, on in enumerate(list(row) + [False]):
        if on and start is None:
            start = i
        elif not on and start is not None:
            runs.append((start, i))
            start = None
    return runs


class Button:
    def __init__(self, label, top, bottom):
        self.label = label
        self.accent = _lighter(top, 0.2)
        self.normal = GradientRaylib([(*top, 255), (*bottom, 255)], GradientType.Linear, angle=90)
        self.hover = GradientRaylib(
            [(*_lighter(top, 0.28), 255), (*_lighter(bottom, 0.18), 255)],
            GradientType.Linear,
            angle=90,
        )
        self.click = ClickGradient(list(RIPPLE), GradientType.Radial)
        self.rect = Rect(0, 0, 1, 1)
        self.label_rect = Rect(0, 0, 1, 1)
        self.textures = None  # (normal, hover, composition target)
        self.ripple = None  # (start time, centre x, centre y) in button-relative pixels
        self.presses = 0

    def rebuild(self, rect):
        self.unload()
        self.rect = rect
        self.textures = (
            self.normal.generate_texture(rect.w, rect.h),
            self.hover.generate_texture(rect.w, rect.h),
            ZvRenderTexture((rect.w, rect.h)),
        )

    def unload(self):
        if self.textures is not None:
            for texture in self.textures:
                texture.unload()
            self.textures = None

    def press(self, x, y, now):
        self.ripple = (now, x - self.rect.x, y - self.rect.y)
        self.presses += 1

    def animating(self, now):
        return self.ripple is not None and now - self.ripple[0] < RIPPLE_SECONDS

    def surface(self, hovered, now):
        """The texture the button shows this frame: its gradient, with the ripple composed over
        it while one runs (so the ripple is clipped to the button by the rounded mask)."""
        normal, hover, target = self.textures
        face = hover if hovered else normal
        if not self.animating(now):
            self.ripple = None
            return face
        start, cx, cy = self.ripple
        t = max(now - start, 0.0) / RIPPLE_SECONDS
        ease = 1.0 - (1.0 - t) ** 3
        w, h = self.rect.w, self.rect.h
        self.click.set_center((cx / w, cy / h))
        self.click.set_weight(0, 0.02 + 6.0 * ease)
        self.click.transparency = round(255 * (1.0 - t**1.6))
        target.c_fast_clear((0, 0, 0, 0))
        rl.begin_texture_mode(target)
        try:
            _premultiplied_blend()
            try:
                Painter.texture(face, Rect(0, 0, w, h))
                self.click.draw(0, 0, w, h)
            finally:
                rl.end_blend_mode()
        finally:
            rl.end_texture_mode()
        return target


class Scene:
    """Everything in the window, laid out in framebuffer pixels, (0, 0) top-left."""

    def __init__(self):
        self.painter = Painter()
        self.background = GradientRaylib(
            list(BACKGROUND), GradientType.Linear, angle=BACKGROUND_ANGLE
        )
        self.glow = GradientRaylib(list(GLOW), GradientType.Radial, center=GLOW_CENTRE)
        self.buttons = [Button(*spec) for spec in BUTTONS]
        self.labels = {b.label: self.painter.text_texture(b.label) for b in self.buttons}
        self.title = self.painter.text_texture(TITLE)
        self.subtitle = self.painter.text_texture(SUBTITLE)
        self.status_text = HINT
        self.status = self.painter.text_texture(HINT)
        self.size = (0, 0)
        self.backdrop = None  # (background, glow) textures of the window's size
        self.pointer = None
        self.held = None

    def unload(self):
        for button in self.buttons:
            button.unload()
        textures = [*self.labels.values(), self.title, self.subtitle, self.status]
        for texture in textures + list(self.backdrop or ()):
            texture.unload()
        self.backdrop = None
        self.painter.unload()

    # --- layout ------------------------------------------------------------------------------

    def layout(self, width, height):
        self.size = (width, height)
        for texture in self.backdrop or ():
            texture.unload()
        self.backdrop = (
            self.background.generate_texture(width, height),
            self.glow.generate_texture(width, height),
        )
        width, height = max(width, MIN_SIZE[0]), max(height, MIN_SIZE[1])
        unit = max(min(width, height) / 500.0, 0.5)
        self.margin = round(24 * unit)
        self.title_scale = 4 if width >= 520 and height >= 360 else 2
        self.header = self.margin + font.GLYPH_HEIGHT * self.title_scale + round(30 * unit)
        self.footer = round(44 * unit)
        self.panel = Rect(
            self.margin,
            self.header,
            width - 2 * self.margin,
            height - self.header - self.footer,
        )
        cols, rows = (3, 2) if width >= height * 0.9 else (2, 3)
        pad = round(22 * unit)
        gap = round(18 * unit)
        inner_w = self.panel.w - 2 * pad - (cols - 1) * gap
        inner_h = self.panel.h - 2 * pad - (rows - 1) * gap
        bw, bh = max(inner_w // cols, 1), max(inner_h // rows, 1)
        for i, button in enumerate(self.buttons):
            col, row = i % cols, i // cols
            x = self.panel.x + pad + col * (bw + gap)
            y = self.panel.y + pad + row * (bh + gap)
            button.rebuild(Rect(x, y, bw, bh))
        # One size for every label, the widest taking at most three fifths of its button.
        widest = max(int(t.size.x) for t in self.labels.values())
        self.label_scale = max(1, min(bh // (font.GLYPH_HEIGHT * 4), bw * 3 // 5 // widest, 5))
        for button in self.buttons:
            label = self.labels[button.label]
            lw, lh = int(label.size.x) * self.label_scale, int(label.size.y) * self.label_scale
            r = button.rect
            button.label_rect = Rect(r.x + (r.w - lw) // 2, r.y + (r.h - lh) // 2, lw, lh)

    def button_at(self, x, y):
        for button in self.buttons:
            if button.rect.contains(x, y):
                return button
        return None

    # --- input -------------------------------------------------------------------------------

    def move(self, x, y):
        self.pointer = (x, y)

    def press(self, x, y, now):
        self.pointer = (x, y)
        button = self.button_at(x, y)
        self.held = button
        if button is not None:
            button.press(x, y, now)
            self.set_status(f"{button.label} PRESSED  X{button.presses}")

    def release(self):
        self.held = None

    def set_status(self, text):
        if text != self.status_text:
            self.status.unload()
            self.status = self.painter.text_texture(text)
            self.status_text = text

    def animating(self, now):
        return any(b.animating(now) for b in self.buttons)

    # --- drawing -----------------------------------------------------------------------------

    def draw(self, now):
        width, height = self.size
        p = self.painter
        hovered = self.button_at(*self.pointer) if self.pointer else None
        _premultiplied_blend()
        try:
            background, glow = self.backdrop
            p.texture(background, Rect(0, 0, width, height))
            p.texture(glow, Rect(0, 0, width, height))
            p.text(self.title, self.margin, self.margin, self.title_scale)
            sub_scale = max(self.title_scale // 2, 1)
            title_w = int(self.title.size.x) * self.title_scale
            p.text(
                self.subtitle,
                self.margin + title_w + 6 * sub_scale,
                self.margin + (font.GLYPH_HEIGHT * (self.title_scale - sub_scale)),
                sub_scale,
                alpha=170,
            )
            radius = min(self.panel.w, self.panel.h) * 0.06
            p.rounded(None, self.panel, radius, tint=(255, 255, 255, 14))
            for button in self.buttons:
                self._draw_button(button, button is hovered, now)
            status_scale = max(self.title_scale // 2, 1)
            status_w = int(self.status.size.x) * status_scale
            status_h = font.GLYPH_HEIGHT * status_scale
            p.text(
                self.status,
                (width - status_w) // 2,
                self.panel.y + self.panel.h + (self.footer - status_h) // 2,
                status_scale,
                alpha=200,
            )
        finally:
            rl.end_blend_mode()

    def _draw_button(self, button, hovered, now):
        p = self.painter
        rect = button.rect
        radius = min(rect.w, rect.h) * CORNER
        soft = max(min(rect.w, rect.h) * 0.1, 4)
        held = self.held is button
        lift = 0 if held else (3 if hovered else 2)
        shadow = rect.grown(round(soft), dy=round(soft * 0.35) + lift)
        p.rounded(None, shadow, radius + soft, tint=(4, 2, 16, 130), softness=soft, inset=soft)
        if hovered:
            glow = rect.grown(round(soft))
            p.rounded(
                None,
                glow,
                radius + soft,
                tint=(*button.accent, 90),
                softness=soft * 0.8,
                inset=soft,
            )
        tint = (225, 225, 225, 255) if held else (255, 255, 255, 255)
        surface = button.surface(hovered, now)
        p.rounded(surface, rect, radius, tint=tint, sheen=0.22 if hovered else 0.16)
        p.text(
            self.labels[button.label], button.label_rect.x, button.label_rect.y, self.label_scale
        )


class Control:
    """What a test script gets each frame. Coordinates are window coordinates (as the pointer
    reports them); pointer input given here replaces the real pointer's for the rest of the run."""

    def __init__(self, app):
        self._app = app

    @property
    def frame(self):
        return self._app.frame

    @property
    def time(self):
        return self._app.now

    @property
    def framebuffer_size(self):
        return self._app.scene.size

    @property
    def window_size(self):
        return tuple(glfw.get_window_size(self._app.window))

    @property
    def context(self):
        return dict(rl.context_info())

    @property
    def buttons(self):
        """Label, rectangle (framebuffer pixels), the label's rectangle and the sizes of its
        current textures."""
        out = []
        for b in self._app.scene.buttons:
            sizes = [(int(t.size.x), int(t.size.y)) for t in b.textures]
            out.append(
                {
                    "label": b.label,
                    "rect": b.rect.as_tuple(),
                    "label_rect": b.label_rect.as_tuple(),
                    "texture_sizes": sizes,
                }
            )
        return out

    def move(self, x, y):
        self._app.scripted = True
        self._app.scene.move(*self._app.to_pixels(x, y))

    def press(self, x, y):
        self._app.scripted = True
        self._app.scene.press(*self._app.to_pixels(x, y), self._app.now)

    def release(self):
        self._app.scene.release()

    def resize(self, width, height):
        glfw.set_window_size(self._app.window, int(width), int(height))

    def read(self):
        """The frame just drawn, as an (height, width, 4) uint8 array, top row first."""
        ctx = self._app.ctx
        width, height = self._app.scene.size
        data = ctx.screen.read(viewport=(0, 0, width, height), components=4)
        # moderngl selects a colour attachment as the read buffer, which the window's own
        # framebuffer refuses (the pixels still come from the back buffer); drop that error so
        # that it is not reported by the next GL user.
        ctx.error  # noqa: B018
        return np.frombuffer(data, dtype=np.uint8).reshape(height, width, 4)[::-1].copy()

    def stop(self):
        glfw.set_window_should_close(self._app.window, True)


class App:
    def __init__(self, size, dt):
        self.dt = dt
        self.frame = 0
        self.now = 0.0
        self.scripted = False
        self.window = _open_window(size)
        self.ctx = None
        self.scene = None
        try:
            # Only now, with the window's context current, does the layer see its first call.
            self.ctx = moderngl.create_context()
            self.scene = Scene()
        except BaseException:
            self.close()
            raise
        glfw.set_key_callback(self.window, self._on_key)
        glfw.set_cursor_pos_callback(self.window, self._on_cursor)
        glfw.set_cursor_enter_callback(self.window, self._on_enter)
        glfw.set_mouse_button_callback(self.window, self._on_button)

    def close(self):
        if self.scene is not None:
            self.scene.unload()  # layer textures must go while their context is current
            self.scene = None
        if self.ctx is not None:
            self.ctx.release()
            self.ctx = None
        glfw.destroy_window(self.window)

    def to_pixels(self, x, y):
        ww, wh = glfw.get_window_size(self.window)
        fw, fh = glfw.get_framebuffer_size(self.window)
        return x * fw / max(ww, 1), y * fh / max(wh, 1)

    def _on_key(self, window, key, scancode, action, mods):
        if key == glfw.KEY_ESCAPE and action == glfw.PRESS:
            glfw.set_window_should_close(window, True)

    def _on_cursor(self, window, x, y):
        if not self.scripted:
            self.scene.move(*self.to_pixels(x, y))

    def _on_enter(self, window, entered):
        if not entered and not self.scripted:
            self.scene.pointer = None

    def _on_button(self, window, button, action, mods):
        if button != glfw.MOUSE_BUTTON_LEFT or self.scripted:
            return
        if action == glfw.PRESS:
            self.scene.press(*self.to_pixels(*glfw.get_cursor_pos(window)), self.now)
        else:
            self.scene.release()

    def loop(self, frames, script):
        control = Control(self)
        start = time.monotonic()
        settled = False  # the last frame drawn shows no ripple: nothing changes until an event
        while not glfw.window_should_close(self.window):
            if script is None and settled:
                glfw.wait_events()  # input, a resize, an expose or closing wakes us
            else:
                glfw.poll_events()
            self.now = self.frame * self.dt if self.dt is not None else time.monotonic() - start
            width, height = glfw.get_framebuffer_size(self.window)
            if width <= 0 or height <= 0:
                continue  # minimised
            if (width, height) != self.scene.size:
                self.scene.layout(width, height)
            # The layer projects the viewport the host set; GL keeps the creation-time size.
            self.ctx.viewport = (0, 0, width, height)
            self.ctx.clear(0.0, 0.0, 0.0, 1.0)
            self.scene.draw(self.now)
            settled = not self.scene.animating(self.now)
            self.frame += 1
            if script is not None:
                script(control)
            glfw.swap_buffers(self.window)
            if frames is not None and self.frame >= frames:
                break


def _open_window(size):
    glfw.window_hint(glfw.CONTEXT_VERSION_MAJOR, 3)
    glfw.window_hint(glfw.CONTEXT_VERSION_MINOR, 3)
    glfw.window_hint(glfw.OPENGL_PROFILE, glfw.OPENGL_CORE_PROFILE)
    glfw.window_hint(glfw.OPENGL_FORWARD_COMPAT, True)
    glfw.window_hint(glfw.RESIZABLE, True)
    window = glfw.create_window(int(size[0]), int(size[1]), "zorva_ui buttons", None, None)
    if not window:
        raise NoDisplay(f"could not open an OpenGL 3.3 window ({_glfw_error()})")
    glfw.set_window_size_limits(window, *MIN_SIZE, glfw.DONT_CARE, glfw.DONT_CARE)
    glfw.make_context_current(window)
    glfw.swap_interval(1)
    return window


def _glfw_error():
    code, description = glfw.get_error()
    if not description:
        return "no reason given"
    return description.decode(errors="replace") if isinstance(description, bytes) else description


def run(frames=None, script=None, size=DEFAULT_SIZE, dt=None):
    """Opens the window and draws until it is closed, or for `frames` frames.

    `script(control)` runs after each frame is drawn (see `Control`); `dt`, when given, is the
    time in seconds that every frame advances the animations by, instead of the clock.
    Raises NoDisplay when no window can be opened."""
    reporting = glfw.ERROR_REPORTING
    glfw.ERROR_REPORTING = "ignore"  # a failure to start is reported once, as NoDisplay
    if not glfw.init():
        glfw.ERROR_REPORTING = reporting
        raise NoDisplay(f"no display to open a window on ({_glfw_error()})")
    try:
        try:
            app = App(size, dt)
        finally:
            glfw.ERROR_REPORTING = reporting
        try:
            app.loop(frames, script)
        finally:
            app.close()
    finally:
        glfw.terminate()
    return 0


def main():
    try:
        return run()
    except NoDisplay as error:
        print(f"buttons.py: {error}", file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        return 130


if __name__ == "__main__":
    sys.exit(main())
