"""The rendering layer's render textures."""

from collections.abc import Buffer
from types import TracebackType
from typing import Any, NoReturn, Self, SupportsFloat, SupportsIndex, SupportsInt, overload

import numpy.typing as npt
from typing_extensions import disjoint_base

from zorva_ui.fast.raylib.zorva_raylib import RenderTarget
from zorva_ui.fast.zvvector2.zvvector2 import ZvVector2

type _Float = SupportsFloat | SupportsIndex
type _Int = SupportsInt | SupportsIndex

@disjoint_base
class ZvRenderTexture:
    """An off-screen RGBA8 target: `ZvRenderTexture(size)`, `size` a `ZvVector2` or a (width,
    height) tuple; sides are truncated toward zero and must lie within 1 and the driver's
    maximum (ValueError).

    Draw into it between `begin_texture_mode(texture)` and `end_texture_mode()`. Its GPU memory
    is released by `unload()` or when the object goes away; it cannot be pickled.
    """

    def __new__(cls, size: ZvVector2 | tuple[_Float, _Float]) -> Self: ...
    @staticmethod
    def new(size: ZvVector2 | tuple[_Float, _Float], /) -> ZvRenderTexture:
        """A new render texture of `size`; the entry point compiled callers use."""

    def c_fast_clear(self, color: tuple[_Int, _Int, _Int, _Int], /) -> None:
        """Clears the whole texture to an (r, g, b, a) colour, channels 0..255."""

    @overload
    def read_pixels(self, into: None = None, straight_alpha: object = False) -> bytes:
        """The pixels, RGBA8, top row first: width * height * 4 new bytes, or copied into `into`
        (a writable C-contiguous buffer of exactly that many bytes, such as a (height, width,
        4) uint8 numpy array; it is returned). As stored (premultiplied when drawn with
        premultiplied blending), or divided by alpha with a true `straight_alpha`, as Pillow
        and pygame expect. TypeError for a buffer that is not writable or not C-contiguous,
        ValueError for one of another size."""

    @overload
    def read_pixels[B: Buffer](self, into: B, straight_alpha: object = False) -> B:
        """The pixels copied into `into`, which is returned."""

    def __array__(
        self, dtype: npt.DTypeLike | None = None, copy: bool | None = None
    ) -> npt.NDArray[Any]:
        """`numpy.asarray(texture)`: the pixels read into a new (height, width, 4) uint8 array,
        premultiplied as stored, converted to `dtype` when given. Always a copy: `copy=False`
        raises ValueError."""

    def unload(self) -> None:
        """Releases the GPU memory now; `loaded` becomes False."""

    @property
    def render_texture(self) -> RenderTarget:
        """The framebuffer handle, as `begin_texture_mode` also takes it."""

    @property
    def size(self) -> ZvVector2:
        """(width, height) in pixels, as a new vector (changing it changes nothing)."""

    @property
    def loaded(self) -> bool:
        """False once unloaded."""

    def __enter__(self) -> Self:
        """The render texture itself; the end of the `with` block unloads it."""

    def __exit__(
        self,
        exc_type: type[BaseException] | None = None,
        exc_value: BaseException | None = None,
        traceback: TracebackType | None = None,
    ) -> None:
        """Unloads the render texture, also when the block raised (its exception propagates)."""

    def __reduce__(self) -> NoReturn:
        """Refuses: a render texture lives in GPU memory (TypeError)."""

    def __repr__(self) -> str:
        """The framebuffer, the size and whether it is loaded."""
