"""A 32-slot store keyed by the members of `CacheType` (slot = the member's integer value)."""

import builtins
from collections.abc import Callable
from typing import Any, Protocol, TypeVar

from typing_extensions import disjoint_base

from zorva_ui.core.enums import CacheType as CacheType

_T = TypeVar("_T")

class _Key(Protocol):
    """Any object whose `value` is a slot index; `CacheType` members are the usual keys."""

    @property
    def value(self) -> int: ...

@disjoint_base
class Cache:
    """What a widget keeps between frames: one slot per `CacheType` member, empty (None) until
    set. Read with `get`, `cache[member]` or `cache.MEMBER_NAME`; storing None empties a slot.
    Compiled callers use the same operations natively (`zorvacache.pxd`, `zorvacache.h`)."""

    def __init__(self) -> None: ...
    def clear(self) -> None:
        """Empties all 32 slots."""

    def clear_selected(
        self,
        blacklist: list[CacheType] | None = None,
        whitelist: list[CacheType] | None = None,
    ) -> None:
        """Empties the slots of the `whitelist` members (every member when it is None or
        empty) except those also in `blacklist`."""

    def get(self, type: _Key) -> Any:
        """The value in the key's slot, or None."""

    def set(self, type: _Key, value: object) -> None:
        """Stores `value` in the key's slot (None empties it)."""

    def get_or_set_val(self, type: _Key, value: _T) -> _T | Any:
        """The slot's value; an empty slot first gets `value`."""

    def get_or_exec(self, type: _Key, func: Callable[[], _T]) -> _T | Any:
        """The slot's value; for an empty slot `func()` is called and its result stored (a
        result of None leaves the slot empty, so the next call runs `func` again)."""

    def copy(self) -> Cache:
        """A new plain `Cache` holding the same values (not copies of them)."""

    def __deepcopy__(self, memo: object) -> Cache:
        """The same as `copy()`: the values are shared, not deep-copied."""

    def __getattr__(self, type: builtins.str, /) -> Any:
        """`cache.NAME` reads the slot of the `CacheType` member called NAME."""

    def __getitem__(self, key: CacheType, /) -> Any:
        """`cache[member]` reads the member's slot (TypeError for anything but a member)."""

    def __reduce__(self) -> tuple[Any, ...]:
        """Pickle support: the reconstructor, the class and the slot list."""

    def __setstate__(self, __pyx_state: tuple[Any, ...]) -> None:
        """Restores the slots from a pickle state tuple."""

def __pyx_unpickle_Cache(
    __pyx_type: type[Cache], __pyx_checksum: int, __pyx_state: tuple[Any, ...] | None
) -> Cache:
    """Pickle reconstructor: a new `__pyx_type` with the slots of `__pyx_state` (after a check
    of the layout checksum, `pickle.PickleError` when it does not match)."""

__test__: dict[Any, Any]
