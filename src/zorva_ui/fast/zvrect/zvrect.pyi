"""The rendering layer's rectangle."""

from typing import ClassVar, Self, SupportsFloat, SupportsIndex

from typing_extensions import disjoint_base

type _Float = SupportsFloat | SupportsIndex

@disjoint_base
class ZvRect:
    """A mutable rectangle of doubles: `ZvRect(x=0.0, y=0.0, width=0.0, height=0.0)`, its
    top-left corner at (x, y), y down.

    Rectangles compare equal field by field and are not hashable. They pickle by value.
    """

    __hash__: ClassVar[None]  # type: ignore[assignment]
    x: float
    """Left edge."""
    y: float
    """Top edge."""
    width: float
    """Width."""
    height: float
    """Height."""

    def __new__(
        cls, x: _Float = 0.0, y: _Float = 0.0, width: _Float = 0.0, height: _Float = 0.0
    ) -> Self: ...
    @staticmethod
    def new(x: _Float, y: _Float, width: _Float, height: _Float) -> ZvRect:
        """A new rectangle; the entry point compiled callers use."""

    def __eq__(self, value: object, /) -> bool:
        """Equal when both are rectangles with equal fields."""

    def __ne__(self, value: object, /) -> bool:
        """The opposite of `==`."""

    def __reduce__(self) -> tuple[type[ZvRect], tuple[float, float, float, float]]:
        """Pickles as the class and (x, y, width, height)."""

    def __repr__(self) -> str:
        """`ZvRect(x, y, width, height)`."""
