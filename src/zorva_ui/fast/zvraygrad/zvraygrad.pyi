"""GPU colour gradients: `GradientRaylib` renders into a new render texture, `ClickGradient`
carries per-colour weights, moves its centre and draws onto the current target.

Every gradient of the process is painted by one shared shader program (sources in
`zorva_ui.fast.GradientShader`; the picture is defined in docs/gradients.md).
"""

import builtins
from collections.abc import Iterable, Sequence
from typing import Any, SupportsFloat, SupportsIndex, SupportsInt

from typing_extensions import disjoint_base

from zorva_ui.core import GradientType as GradientType
from zorva_ui.core import modules as _modules
from zorva_ui.fast import GradientShader as GradientShader
from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture
from zorva_ui.fast.zvvector2.zvvector2 import ZvVector2
from zorva_ui.rendering.pygame.gradient import GradientPygame as GradientPygame

md = _modules
"""The package module `zorva_ui.core.modules`; its `rl` is the rendering layer."""

type _Int = SupportsInt | SupportsIndex
type _Float = SupportsFloat | SupportsIndex
# (r, g, b, a), each channel 0..255.
type _Colour = tuple[float, float, float, float]
# A plain colour, or (colour, weight).
type _ColourEntry = _Colour | tuple[_Colour, float]

@disjoint_base
class GradientRaylib:
    """A colour gradient painted on the GPU.

    `colors` is a list of (r, g, b, a) tuples (channels 0..255) or ((r, g, b, a), weight)
    pairs; each colour gets a stop from the weights (a colour's band is proportional to its
    weight). `type` is `GradientType.Linear` or `GradientType.Radial` (anything else paints
    radially). `direction` is a named direction (a `LinearDirection` or `RadialDirection`
    member, matched by name), a number (linear angle) or an (x, y) tuple (radial centre);
    explicit `angle` and `center` win over it. `transparency` is 0..255 (default 255) and is
    applied by `ClickGradient.draw`, not by `generate_texture`.

    The first gradient of the process compiles the shared shader, so the rendering layer must
    be able to draw (a GL context of the application or the layer's own headless one).
    """

    def __init__(
        self,
        colors: list[_ColourEntry] | None,
        type: Any = ...,
        direction: Any = None,
        angle: _Float | None = None,
        center: Sequence[SupportsFloat] | None = None,
        transparency: _Int | None = None,
    ) -> None: ...
    @classmethod
    def _ensure_resources(cls) -> None:
        """Creates the shared shader, its uniform locations and the 1x1 blank texture if they
        do not exist yet (the constructor and `ClickGradient.draw` call it)."""

    def generate_texture(self, width: _Int, height: _Int) -> ZvRenderTexture:
        """Renders the gradient into a new width x height render texture, cleared to
        transparent and drawn with premultiplied-alpha blending (so the texture holds
        premultiplied colour). The texture belongs to the caller; `transparency` is not
        applied."""

    def __reduce__(self) -> tuple[Any, ...]:
        """Pickle support: the reconstructor, the class and the fields."""

    def __setstate__(self, __pyx_state: builtins.tuple[Any, ...], /) -> None:
        """Restores the fields from a pickle state tuple."""

    @property
    def transparency(self) -> int:
        """Opacity 0..255 that `ClickGradient.draw` applies (stored as given, not clamped)."""

    @transparency.setter
    def transparency(self, value: _Int) -> None: ...
    @property
    def angle(self) -> float:
        """Direction of a linear gradient in degrees: 0 right, 90 down (a 32-bit float)."""

    @angle.setter
    def angle(self, value: _Float) -> None: ...
    @property
    def center(self) -> ZvVector2 | None:
        """Centre of a radial gradient, x and y 0..1 of the drawn rectangle, (0, 0) its
        top-left corner; set from a `ZvVector2` (kept as it is) or an (x, y) tuple."""

    @center.setter
    def center(self, value: ZvVector2 | tuple[SupportsFloat, SupportsFloat]) -> None: ...
    @property
    def colors(self) -> list[Any] | None:
        """The colour list as given (the same list object); assigning a new list (or None)
        recomputes the colours and stops."""

    @colors.setter
    def colors(self, value: list[Any] | None) -> None: ...
    @property
    def raw_colors(self) -> list[Any] | None:
        """The colour list as given; assigning it stores the list without recomputing
        anything."""

    @raw_colors.setter
    def raw_colors(self, value: list[Any] | None) -> None: ...
    @raw_colors.deleter
    def raw_colors(self) -> None: ...
    @property
    def type(self) -> Any:
        """The gradient kind: `GradientType.Linear`, or anything else for radial."""

    @type.setter
    def type(self, value: Any) -> None: ...
    @type.deleter
    def type(self) -> None: ...

@disjoint_base
class ClickGradient(GradientRaylib):
    """A gradient whose colour weights and centre change after construction and that draws
    itself onto whatever the layer is drawing into (with its transparency applied).

    Radial by default. Each colour keeps a weight (1.0 for a plain colour); a weight sizes the
    colour's band, and the colour is pure at its stop: the middle of its band for a middle
    colour, 0 or 1 for the first and last unless their bands pass the middle. Colours blend
    between stops, so a colour of weight 0 still shows, at a point. Assigning `colors` rebuilds
    the weights from the list.
    """

    def __init__(
        self,
        colors: list[_ColourEntry] | None,
        type: Any = ...,
        direction: Any = None,
        angle: _Float | None = None,
        center: Sequence[SupportsFloat] | None = None,
        transparency: _Int | None = None,
    ) -> None: ...
    def set_weight(self, index: _Int, weight: _Float) -> None:
        """Sets the weight of colour `index` and recomputes the stops (IndexError outside
        0..len(weights) - 1). Zero and negative weights are taken as given."""

    def set_center(self, center: builtins.tuple[SupportsFloat, ...]) -> None:
        """Moves the centre to (center[0], center[1]); `center` must be a tuple."""

    def set_center_zvvec(self, center: ZvVector2) -> None:
        """Moves the centre to the vector's (x, y); the vector is copied, not kept."""

    def _recalculate_stops(self) -> None:
        """Recomputes the stops from the weights (after `weights` was assigned)."""

    def draw(self, x: _Float, y: _Float, width: _Float, height: _Float) -> None:
        """Draws the gradient over the rectangle (x, y, width, height) of the current target,
        scaled by `transparency` / 255, in the target and blend mode the caller has begun."""

    def __reduce__(self) -> tuple[Any, ...]:
        """Pickle support: the reconstructor, the class and the fields, weights included."""

    def __setstate__(self, __pyx_state: builtins.tuple[Any, ...], /) -> None:
        """Restores the fields from a pickle state tuple."""

    @property
    def weights(self) -> list[float]:
        """One weight per colour, as a new list; assigning any iterable of numbers replaces
        them without recomputing the stops (call `_recalculate_stops`)."""

    @weights.setter
    def weights(self, value: Iterable[_Float]) -> None: ...

def __pyx_unpickle_GradientRaylib(
    __pyx_type: type[GradientRaylib], __pyx_checksum: _Int, __pyx_state: tuple[Any, ...] | None
) -> GradientRaylib:
    """Pickle reconstructor: a new `__pyx_type` with the fields of `__pyx_state` (after a
    check of the layout checksum, `pickle.PickleError` when it does not match)."""

def __pyx_unpickle_ClickGradient(
    __pyx_type: type[ClickGradient], __pyx_checksum: _Int, __pyx_state: tuple[Any, ...] | None
) -> ClickGradient:
    """Pickle reconstructor of `ClickGradient`, as `__pyx_unpickle_GradientRaylib`."""

__test__: dict[Any, Any]
