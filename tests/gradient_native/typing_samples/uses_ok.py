"""Correct uses of the compiled modules' API: the type checker must accept all of it."""

import copy
import pickle

from zorva_ui.core import GradientType, LinearDirection, RadialDirection
from zorva_ui.core.enums import CacheType
from zorva_ui.fast.zorvacache.zorvacache import Cache
from zorva_ui.fast.zvraygrad import zvraygrad
from zorva_ui.fast.zvraygrad.zvraygrad import ClickGradient, GradientRaylib


def gradients() -> float:
    g = GradientRaylib([(255, 0, 0, 255), ((0, 0, 255, 255), 3)], GradientType.Linear)
    g2 = GradientRaylib(None, direction=LinearDirection.Bottom, angle=30, transparency=12.9)
    g2.angle = 0.1
    g2.transparency = 128
    g2.center = (0.2, 0.8)
    g2.colors = [(1, 2, 3, 4)]
    g2.raw_colors = None
    del g2.type
    texture = g.generate_texture(64, 32.5)
    width: float = texture.size.x
    pixels: bytes = texture.read_pixels()
    texture.unload()
    c = ClickGradient([(0, 0, 0, 255)], direction=RadialDirection.TopLeft, center=[0.1, 0.2])
    c.set_weight(0, 2.5)
    c.set_center((0.5, 0.25))
    centre = c.center
    if centre is not None:
        c.set_center_zvvec(centre)
    c.weights = (1, 2.0)
    total: float = sum(c.weights)
    c.draw(0, 0.5, 10, 10)
    c._recalculate_stops()
    GradientRaylib._ensure_resources()
    restored: ClickGradient = pickle.loads(pickle.dumps(c))
    again = zvraygrad.__pyx_unpickle_GradientRaylib(GradientRaylib, 0x0CE08233, None)
    kind: GradientType = zvraygrad.GradientType.Radial
    return len(pixels) + width + total + restored.angle + again.transparency + kind.value


def caches() -> int:
    cache = Cache()
    cache.set(CacheType.TEXTURE, "t")
    got: object = cache.get(CacheType.TEXTURE)
    n: int = cache.get_or_exec(CacheType.FONT, lambda: 3)
    cache.get_or_set_val(CacheType.MASK, [1])
    cache.clear_selected(blacklist=[CacheType.FONT])
    cache.clear_selected(whitelist=[CacheType.MASK])
    cache.clear()
    other: Cache = copy.deepcopy(cache.copy())
    print(got, cache[CacheType.SURFACE], cache.TEXTURE, other)
    return n
