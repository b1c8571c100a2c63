"""Cache for compiled callers: the object layout, the operation table and its seven entries,
used from a Cython module that cimports the published declaration."""

import ctypes
import pathlib
import re

import pytest
from support.cache_keys import Key, RaisingKey

from zorva_ui.core.enums import CacheType
from zorva_ui.fast.zorvacache import zorvacache
from zorva_ui.fast.zorvacache.zorvacache import Cache

PACKAGE = pathlib.Path(zorvacache.__file__).parent
M = CacheType.TEXTURE


def test_layout_is_header_table_pointer_then_slot_list():
    pointer = ctypes.sizeof(ctypes.c_void_p)
    assert Cache.__basicsize__ == object.__basicsize__ + 2 * pointer
    cache = Cache()
    address = id(cache) + object.__basicsize__ + pointer
    slot_list = ctypes.cast(address, ctypes.POINTER(ctypes.py_object))[0]
    assert slot_list is cache.__reduce__()[2][0]


def test_table_is_an_unnamed_capsule_shared_by_subclasses():
    capsule = Cache.__dict__["__pyx_vtable__"]
    assert type(capsule).__name__ == "PyCapsule"
    get_pointer = ctypes.pythonapi.PyCapsule_GetPointer
    get_pointer.restype = ctypes.c_void_p
    get_pointer.argtypes = [ctypes.py_object, ctypes.c_char_p]
    table = get_pointer(capsule, None)
    assert table

    class Sub(Cache):
        pass

    for obj in (Cache(), Sub(), Cache.__new__(Sub)):
        stored = ctypes.c_void_p.from_address(id(obj) + object.__basicsize__).value
        assert stored == table


def test_published_declarations_list_the_table_in_order():
    names = ["c_clear", "c_clear_selected", "c_get", "c_set", "c_get_or_set_val", "c_get_or_exec"]
    pxd = (PACKAGE / "zorvacache.pxd").read_text()
    assert re.findall(r"cdef \w+ (\w+)\(self", pxd) == names
    assert "cdef Cache new()" in pxd
    header = (PACKAGE / "zorvacache.h").read_text()
    assert re.findall(r"\(\*(\w+)\)\(", header) == [*names, "new_cache"]


def test_new_makes_a_ready_plain_cache(consumer):
    cache = consumer.new()
    assert type(cache) is Cache
    assert consumer.slot_list(cache) == [None] * 32
    assert consumer.slot_list(cache) is not consumer.slot_list(consumer.new())


def test_native_and_python_paths_share_the_slots(consumer, cache):
    consumer.c_set(cache, M.value, "native")
    assert cache.get(M) == "native"
    cache.set(CacheType.FONT, "python")
    assert consumer.c_get(cache, CacheType.FONT.value) == "python"
    assert consumer.slot_list(cache)[CacheType.FONT.value] == "python"


def test_subclass_instance_uses_the_same_table(consumer):
    class Sub(Cache):
        def get(self, type):
            return "overridden"

    sub = Sub()
    consumer.c_set(sub, 4, "slot")
    assert consumer.c_get(sub, 4) == "slot"
    assert sub.get(Key(4)) == "overridden"


@pytest.mark.parametrize(
    "blacklist, whitelist, cleared",
    [
        ([], [M], {M.value}),
        ([M], [M], set()),
        ([], [], set()),
        ([Key(2)], [Key(1), Key(2), Key(-1), Key(32)], {1}),
    ],
)
def test_c_clear_selected_selection(consumer, cache, blacklist, whitelist, cleared):
    for k in range(32):
        consumer.c_set(cache, k, k)
    consumer.c_clear_selected(cache, blacklist, whitelist)
    assert consumer.slot_list(cache) == [None if k in cleared else k for k in range(32)]


@pytest.mark.parametrize(
    "blacklist, whitelist, error, message",
    [
        (None, [], TypeError, "'NoneType' object is not iterable"),
        ([], None, TypeError, "'NoneType' object is not iterable"),
        ([object()], [M], AttributeError, "value"),
        ([], [M, Key("x")], TypeError, "an integer is required"),
        ([], [M, Key(2**31)], OverflowError, "value too large to convert to int"),
        ([RaisingKey()], [M], LookupError, "no value here"),
    ],
)
def test_c_clear_selected_errors_leave_the_cache_untouched(
    consumer, cache, blacklist, whitelist, error, message
):
    cache.set(M, "kept")
    with pytest.raises(error, match=message):
        consumer.c_clear_selected(cache, blacklist, whitelist)
    assert cache.get(M) == "kept"


def test_c_clear_selected_on_a_cache_not_ready(consumer):
    cache = Cache.__new__(Cache)
    consumer.c_clear_selected(cache, [], [])  # nothing selected: no slot access
    consumer.c_clear_selected(cache, [M], [M])
    with pytest.raises(TypeError, match="'NoneType' object is not subscriptable"):
        consumer.c_clear_selected(cache, [], [M])


def test_native_failures_name_the_operation_in_the_traceback(consumer):
    import traceback

    with pytest.raises(IndexError) as info:
        consumer.c_get(Cache(), 99)
    names = [e.name for e in traceback.extract_tb(info.value.__traceback__)]
    assert "zorva_ui.fast.zorvacache.zorvacache.Cache.c_get" in names


def test_c_get_through_the_table_is_fast(consumer, cache):
    cache.set(M, "v")
    best = min(consumer.get_loop_ns(cache, M.value, 200_000) for _ in range(5))
    assert best < 50  # generous here; the benchmark holds it to 5 ns
