"""The CPU renderer of gradient pictures."""

from collections.abc import Sequence
from typing import Final, Self, SupportsFloat, SupportsIndex, SupportsInt, final

from _typeshed import WriteableBuffer

type _Float = SupportsFloat | SupportsIndex
type _Int = SupportsInt | SupportsIndex

MAX_COLORS: Final[int]
PARALLEL_PIXELS: Final[int]

@final
class Ramp:
    """The colour ramp a gradient painted with last, kept for its next picture while its
    colours, stops and alpha stay the same."""

    def __new__(cls) -> Self: ...

def paint(
    target: WriteableBuffer | None,
    width: _Int,
    height: _Int,
    gradient_type: _Int,
    angle: _Float,
    center: Sequence[_Float],
    colors: Sequence[Sequence[_Float]],
    stops: Sequence[_Float],
    color_count: _Int,
    alpha: _Float,
    size: Sequence[_Float] | None = None,
    ramp: Ramp | None = None,
    stride: _Int | None = None,
    order: str | None = None,
) -> bytes | None:
    """Paints the gradient picture of these uniform values: premultiplied colour, 4 bytes a
    pixel in `order` ('RGBA', the default, or 'BGRA'), rows `stride` bytes apart (default
    4 * width), the top row first. Into `target`, a writable C-contiguous buffer of exactly
    stride * height bytes (returns None), or, when `target` is None, into new bytes (returned).
    `ramp` keeps the colour ramp for the next call."""

def compute_stops(weights: Sequence[_Float], /) -> list[float]:
    """Stop positions (0..1) from colour weights, one per weight."""

def ramp_loop() -> str:
    """The pixel loop the ramp path uses here: 'avx2' or 'generic'."""
