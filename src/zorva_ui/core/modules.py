"""Handles to the toolkit's backend modules.

`rl` is the rendering layer (`zorva_ui.fast.raylib.zorva_raylib`).
"""

from zorva_ui.fast.raylib import zorva_raylib as rl

__all__ = ["rl"]
