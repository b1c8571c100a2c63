"""The rendering layer's shader programs."""

from types import TracebackType
from typing import NoReturn, Self

from typing_extensions import disjoint_base

@disjoint_base
class ZvShader:
    """A compiled and linked GL program: `ZvShader(vertex=None, fragment=None)`.

    A stage given as None uses the layer's default stage (see SHADER_INTERFACE.md for what a
    fragment shader receives). Compiling or linking errors raise RuntimeError with the driver's
    log. The program is released by `unload()` or when the object goes away; it cannot be
    pickled.
    """

    def __new__(cls, vertex: str | None = None, fragment: str | None = None) -> Self: ...
    @staticmethod
    def c_create_from_code(vertex: str | None, fragment: str | None) -> ZvShader:
        """A new program from the two sources; the entry point compiled callers use."""

    def unload(self) -> None:
        """Releases the GL program now (`id` becomes 0); refused while shader mode uses it."""

    @property
    def id(self) -> int:
        """The layer's name of the program, the same in every context (0 once unloaded)."""

    @property
    def locs(self) -> tuple[int, int, int, int, int, int]:
        """Locations of vertexPosition, vertexTexCoord, vertexColor, mvp, colDiffuse and
        texture0 (-1 where the program has none)."""

    def __enter__(self) -> Self:
        """The shader itself; the end of the `with` block unloads it."""

    def __exit__(
        self,
        exc_type: type[BaseException] | None = None,
        exc_value: BaseException | None = None,
        traceback: TracebackType | None = None,
    ) -> None:
        """Unloads the shader, also when the block raised (its exception propagates)."""

    def __reduce__(self) -> NoReturn:
        """Refuses: a GL program cannot be pickled (TypeError)."""

    def __repr__(self) -> str:
        """The program name and whether it is loaded."""
