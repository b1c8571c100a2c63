"""zorva_ui: a toolkit for drawing user interfaces.

This distribution carries the native gradient renderer (`zorva_ui.fast.zvraygrad`), the keyed
cache (`zorva_ui.fast.zorvacache`) and the small headless rendering layer they draw through.
"""

import pathlib
from importlib.metadata import PackageNotFoundError, version

__all__ = ["__version__", "get_include"]

try:
    __version__: str = version("zorva_ui")
except PackageNotFoundError:  # a source tree that was never installed
    __version__ = "0+unknown"


def get_include() -> str:
    """The folder a compiled caller passes to its C++ compiler (`-I`) and to Cython
    (`include_path`): the one that holds the `zorva_ui` package.

    From it, C++ includes `"zorva_ui/fast/zvraygrad/zvraygrad.h"` and
    `"zorva_ui/fast/zorvacache/zorvacache.h"` (object layouts and operation tables), and Cython
    cimports `zorva_ui.fast.zvraygrad.zvraygrad` and `zorva_ui.fast.zorvacache.zorvacache`.
    """
    return str(pathlib.Path(__file__).resolve().parent.parent)
