"""A panel of gradient buttons in a plain pygame window: no OpenGL, every gradient painted by the
CPU renderer straight into pygame surfaces.

    .venv/bin/python examples/pygame_buttons.py      (or `make window HOST=pygame`)

The background and the buttons are `GradientPygame.surface`s, repainted at the new size when the
window is resized; they hold premultiplied colour, so they are blitted with
`pygame.BLEND_PREMULTIPLIED`. A press starts a radial ripple at the pointer. Escape or closing the
window quits.

`run()` is also the hook the tests drive: `script(panel, screen)` is called after every frame is
drawn (before it is shown) and stops the loop by returning False.
"""

import time

import pygame

from zorva_ui.core import GradientType
from zorva_ui.rendering.pygame.gradient import GradientPygame

DEFAULT_SIZE = (760, 500)
RIPPLE_SECONDS = 0.5
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
RIPPLE = [((255, 255, 255, 90), 0.02), ((255, 255, 255, 230), 0.15), ((255, 255, 255, 0), 2.0)]


class Button:
    def __init__(self, label, top, bottom):
        self.label = label
        self.gradient = GradientPygame([top + (255,), bottom + (255,)], angle=90)
        self.rect = pygame.Rect(0, 0, 0, 0)
        self.surface = None
        self.pressed_at = None  # (time, position in the button)

    def place(self, rect, font):
        self.rect = rect
        surface = self.gradient.surface(rect.w, rect.h)
        # Rounded corners: everything outside the rounded rectangle goes to transparent.
        mask = pygame.Surface(rect.size, pygame.SRCALPHA)
        pygame.draw.rect(mask, (255, 255, 255, 255), mask.get_rect(), border_radius=rect.h // 5)
        surface.blit(mask, (0, 0), special_flags=pygame.BLEND_RGBA_MULT)
        text = font.render(self.label, True, (255, 255, 255))
        surface.blit(text, text.get_rect(center=surface.get_rect().center))
        self.surface = surface

    def draw(self, screen, now):
        screen.blit(self.surface, self.rect, special_flags=pygame.BLEND_PREMULTIPLIED)
        if self.pressed_at is None:
            return
        started, (x, y) = self.pressed_at
        progress = (now - started) / RIPPLE_SECONDS
        if progress >= 1:
            self.pressed_at = None
            return
        centre = (x / self.rect.w, y / self.rect.h)
        ripple = GradientPygame(RIPPLE, GradientType.Radial, center=centre)
        screen.blit(
            ripple.surface(self.rect.w, self.rect.h, alpha=1 - progress),
            self.rect,
            special_flags=pygame.BLEND_PREMULTIPLIED,
        )


class Panel:
    def __init__(self, size):
        self.background = GradientPygame(BACKGROUND, angle=BACKGROUND_ANGLE)
        self.buttons = [Button(*spec) for spec in BUTTONS]
        self.resize(size)

    def resize(self, size):
        width, height = size
        self.backdrop = self.background.surface(width, height)
        columns, rows = 3, 2
        gap = max(8, width // 40)
        bw = (width - gap * (columns + 1)) // columns
        bh = min((height - gap * (rows + 1)) // rows, bw // 2)
        top = (height - rows * bh - (rows - 1) * gap) // 2
        font = pygame.font.Font(None, max(12, bh // 3))
        for i, button in enumerate(self.buttons):
            row, column = divmod(i, columns)
            x = gap + column * (bw + gap)
            button.place(pygame.Rect(x, top + row * (bh + gap), bw, bh), font)

    def press(self, position, now):
        for button in self.buttons:
            if button.rect.collidepoint(position):
                local = (position[0] - button.rect.x, position[1] - button.rect.y)
                button.pressed_at = (now, local)
                return button
        return None

    def draw(self, screen, now):
        screen.blit(self.backdrop, (0, 0))
        for button in self.buttons:
            button.draw(screen, now)


def run(script=None, size=DEFAULT_SIZE):
    pygame.init()
    try:
        screen = pygame.display.set_mode(size, pygame.RESIZABLE)
        pygame.display.set_caption("zorva_ui: gradient buttons (pygame)")
        panel = Panel(size)
        clock = pygame.time.Clock()
        while True:
            now = time.monotonic()
            for event in pygame.event.get():
                if event.type == pygame.QUIT or (
                    event.type == pygame.KEYDOWN and event.key == pygame.K_ESCAPE
                ):
                    return
                if event.type == pygame.VIDEORESIZE:
                    screen = pygame.display.get_surface()
                    panel.resize(screen.get_size())
                elif event.type == pygame.MOUSEBUTTONDOWN and event.button == 1:
                    panel.press(event.pos, now)
            panel.draw(screen, now)
            if script is not None and script(panel, screen) is False:
                return
            pygame.display.flip()
            clock.tick(60)
    finally:
        pygame.quit()


if __name__ == "__main__":
    run()
