"""zorva_ui: a toolkit for drawing user interfaces.

This distribution carries the native gradient renderer (`zorva_ui.fast.zvraygrad`), the keyed
cache (`zorva_ui.fast.zorvacache`) and the small headless rendering layer they draw through.
"""

import os
from typing import TYPE_CHECKING, Any

if TYPE_CHECKING:
    from zorva_ui.fast.raylib.zorva_raylib import LayerError as LayerError

__all__ = ["LayerError", "__version__", "get_include"]

__version__: str  # declared only: bound by __getattr__ below at first use


def __getattr__(name: str) -> Any:
    # LayerError, the rendering layer's exception, comes with the layer, which `import zorva_ui`
    # alone does not load.
    if name == "LayerError":
        from zorva_ui.fast.raylib.zorva_raylib import LayerError

        globals()["LayerError"] = LayerError
        return LayerError
    # The version is read from the package metadata at first use: importing the metadata
    # machinery costs more than the whole rest of the package's import.
    if name != "__version__":
        raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
    from importlib.metadata import PackageNotFoundError, version

    try:
        found = version("zorva_ui")
    except PackageNotFoundError:  # a source tree that was never installed
        found = "0+unknown"
    globals()["__version__"] = found
    return found


def get_include() -> str:
    """The folder a compiled caller passes to its C++ compiler (`-I`) and to Cython
    (`include_path`): the one that holds the `zorva_ui` package.

    From it, C++ includes `"zorva_ui/fast/zvraygrad/zvraygrad.h"` and
    `"zorva_ui/fast/zorvacache/zorvacache.h"` (object layouts and operation tables), and Cython
    cimports `zorva_ui.fast.zvraygrad.zvraygrad` and `zorva_ui.fast.zorvacache.zorvacache`.
    """
    return os.path.dirname(os.path.dirname(os.path.realpath(__file__)))
