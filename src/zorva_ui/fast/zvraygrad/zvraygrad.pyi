"""GPU colour gradients: `GradientRaylib` renders into a new render texture, `ClickGradient`
carries per-colour weights, moves its centre and draws onto the current target."""

import builtins
from collections.abc import Iterable, Sequence
from typing import Any, Protocol, SupportsFloat, SupportsIndex, SupportsInt

from zorva_ui.core import GradientType as GradientType
from zorva_ui.core import modules as _modules
from zorva_ui.fast import GradientShader as GradientShader
from zorva_ui.rendering.pygame.gradient import GradientPygame as GradientPygame

md = _modules

type _Int = SupportsInt | SupportsIndex
# (r, g, b, a), each channel 0..255.
type _Colour = tuple[float, float, float, float]
# A plain colour, or (colour, weight).
type _ColourEntry = _Colour | tuple[_Colour, float]

class _Vector2(Protocol):
    """The layer's `ZvVector2`, as far as gradients use it."""

    x: float
    y: float

class _RenderTexture(Protocol):
    """The layer's `ZvRenderTexture` that `generate_texture` returns (owned by the caller)."""

    @property
    def size(self) -> _Vector2: ...
    @property
    def loaded(self) -> int: ...

class GradientRaylib:
    def __init__(
        self,
        colors: list[_ColourEntry] | None,
        type: Any = ...,
        direction: Any = None,
        angle: SupportsFloat | SupportsIndex | None = None,
        center: Sequence[SupportsFloat] | None = None,
        transparency: _Int | None = None,
    ) -> None: ...
    @classmethod
    def _ensure_resources(cls) -> None: ...
    def generate_texture(self, width: _Int, height: _Int) -> _RenderTexture: ...
    def __reduce__(self) -> tuple[Any, ...]: ...
    def __setstate__(self, __pyx_state: builtins.tuple[Any, ...]) -> None: ...
    @property
    def transparency(self) -> int: ...
    @transparency.setter
    def transparency(self, value: _Int) -> None: ...
    @property
    def angle(self) -> float: ...
    @angle.setter
    def angle(self, value: SupportsFloat | SupportsIndex) -> None: ...
    @property
    def center(self) -> _Vector2 | None: ...
    @center.setter
    def center(self, value: _Vector2 | tuple[SupportsFloat, SupportsFloat]) -> None: ...
    @property
    def colors(self) -> list[Any] | None: ...
    @colors.setter
    def colors(self, value: list[Any] | None) -> None: ...
    @property
    def raw_colors(self) -> list[Any] | None: ...
    @raw_colors.setter
    def raw_colors(self, value: list[Any] | None) -> None: ...
    @raw_colors.deleter
    def raw_colors(self) -> None: ...
    @property
    def type(self) -> Any: ...
    @type.setter
    def type(self, value: Any) -> None: ...
    @type.deleter
    def type(self) -> None: ...

class ClickGradient(GradientRaylib):
    def __init__(
        self,
        colors: list[_ColourEntry] | None,
        type: Any = ...,
        direction: Any = None,
        angle: SupportsFloat | SupportsIndex | None = None,
        center: Sequence[SupportsFloat] | None = None,
        transparency: _Int | None = None,
    ) -> None: ...
    def set_weight(self, index: _Int, weight: SupportsFloat | SupportsIndex) -> None: ...
    def set_center(self, center: builtins.tuple[SupportsFloat, ...]) -> None: ...
    def set_center_zvvec(self, center: _Vector2) -> None: ...
    def _recalculate_stops(self) -> None: ...
    def draw(
        self,
        x: SupportsFloat | SupportsIndex,
        y: SupportsFloat | SupportsIndex,
        width: SupportsFloat | SupportsIndex,
        height: SupportsFloat | SupportsIndex,
    ) -> None: ...
    def __reduce__(self) -> tuple[Any, ...]: ...
    def __setstate__(self, __pyx_state: builtins.tuple[Any, ...]) -> None: ...
    @property
    def weights(self) -> list[float]: ...
    @weights.setter
    def weights(self, value: Iterable[SupportsFloat | SupportsIndex]) -> None: ...

def __pyx_unpickle_GradientRaylib(
    __pyx_type: type[GradientRaylib], __pyx_checksum: _Int, __pyx_state: tuple[Any, ...] | None
) -> GradientRaylib: ...
def __pyx_unpickle_ClickGradient(
    __pyx_type: type[ClickGradient], __pyx_checksum: _Int, __pyx_state: tuple[Any, ...] | None
) -> ClickGradient: ...

__test__: dict[Any, Any]
