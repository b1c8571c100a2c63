"""The rendering layer's 2D vector."""

from typing import ClassVar, Self, SupportsFloat, SupportsIndex

from typing_extensions import disjoint_base

type _Float = SupportsFloat | SupportsIndex

@disjoint_base
class ZvVector2:
    """A mutable 2D vector of doubles: `ZvVector2(x=0.0, y=0.0)`.

    Vectors compare equal component by component and are not hashable (they can change).
    They pickle and copy by value.
    """

    __hash__: ClassVar[None]  # type: ignore[assignment]
    x: float
    """The first component (for a size: the width)."""
    y: float
    """The second component (for a size: the height)."""

    def __new__(cls, x: _Float = 0.0, y: _Float = 0.0) -> Self: ...
    @staticmethod
    def new(x: _Float, y: _Float) -> ZvVector2:
        """A new vector (x, y); the entry point compiled callers use."""

    def __eq__(self, value: object, /) -> bool:
        """Equal when both are vectors with equal components."""

    def __ne__(self, value: object, /) -> bool:
        """The opposite of `==`."""

    def __reduce__(self) -> tuple[type[ZvVector2], tuple[float, float]]:
        """Pickles as the class and (x, y)."""

    def __copy__(self) -> ZvVector2:
        """A new vector with the same components."""

    def __repr__(self) -> str:
        """`ZvVector2(x, y)`."""
