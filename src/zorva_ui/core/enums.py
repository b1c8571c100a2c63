"""Enumerations shared across the toolkit."""

from enum import Enum


class CacheType(Enum):
    """What a widget caches between frames; the value is the slot index in a `Cache` (0..31)."""

    SURFACE = 0
    TEXTURE = 1
    TEXT_LAYOUT = 2
    TEXT_SURFACE = 3
    BORDER = 4
    BACKGROUND = 5
    GRADIENT = 6
    SHADOW = 7
    ICON = 8
    IMAGE = 9
    MASK = 10
    CLIP_RECT = 11
    LAYOUT = 12
    FONT = 13
    GLYPHS = 14
    SCALED_SURFACE = 15
