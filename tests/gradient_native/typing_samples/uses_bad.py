"""Wrong uses: each line marked `# E` must be reported by the type checker."""

from zorva_ui.core.enums import CacheType
from zorva_ui.fast.zorvacache.zorvacache import Cache
from zorva_ui.fast.zvraygrad.zvraygrad import ClickGradient, GradientRaylib

g = GradientRaylib((255, 0, 0, 255))  # E
g.generate_texture("64", 32)  # E
g.angle = "north"  # E
g.center = [0.5, 0.5]  # E
c = ClickGradient([])
c.set_weight(0)  # E
c.set_center([0.1, 0.2])  # E
c.draw(0, 0, 10)  # E
c.no_such_method()  # E
w: str = c.weights[0]  # E
t: str = g.transparency  # E
cache = Cache()
cache[3]  # E
cache.get_or_exec(CacheType.FONT, 3)  # E
cache.clear_selected(whitelist=(CacheType.FONT,))  # E
cache.copy(1)  # E
