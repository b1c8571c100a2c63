"""Slot semantics, shared by the Python methods and the native operations."""

import gc
import weakref

import pytest
from support.cache_keys import Key

from zorva_ui.core.enums import CacheType
from zorva_ui.fast.zorvacache.zorvacache import Cache

MEMBERS = list(CacheType)
M = CacheType.TEXTURE


class PythonOps:
    """The cache through its Python methods."""

    def __init__(self, consumer):
        pass

    def get(self, cache, key):
        return cache.get(Key(key))

    def set(self, cache, key, value):
        cache.set(Key(key), value)

    def get_or_set(self, cache, key, value):
        return cache.get_or_set_val(Key(key), value)

    def get_or_exec(self, cache, key, func):
        return cache.get_or_exec(Key(key), func)

    def clear(self, cache):
        cache.clear()


class NativeOps:
    """The cache through its operation table, from a compiled caller."""

    def __init__(self, consumer):
        self.c = consumer

    def get(self, cache, key):
        return self.c.c_get(cache, key)

    def set(self, cache, key, value):
        self.c.c_set(cache, key, value)

    def get_or_set(self, cache, key, value):
        return self.c.c_get_or_set_val(cache, key, value)

    def get_or_exec(self, cache, key, func):
        return self.c.c_get_or_exec(cache, key, func)

    def clear(self, cache):
        self.c.c_clear(cache)


@pytest.fixture(params=[PythonOps, NativeOps], ids=["python", "native"])
def ops(request, consumer):
    return request.param(consumer)


def test_new_cache_is_empty_in_every_slot(ops, cache):
    assert [ops.get(cache, k) for k in range(32)] == [None] * 32


def test_set_then_get_returns_the_same_object(ops, cache):
    value = object()
    ops.set(cache, 5, value)
    assert ops.get(cache, 5) is value
    assert [ops.get(cache, k) for k in range(32) if k != 5] == [None] * 31


def test_set_releases_the_previous_value(ops, cache):
    class Box:
        pass

    first = Box()
    ref = weakref.ref(first)
    ops.set(cache, 3, first)
    del first
    assert ref() is not None
    ops.set(cache, 3, "second")
    assert ref() is None


def test_storing_none_empties_the_slot(ops, cache):
    ops.set(cache, 7, "x")
    ops.set(cache, 7, None)
    assert ops.get(cache, 7) is None
    assert ops.get_or_set(cache, 7, "y") == "y"
    assert ops.get(cache, 7) == "y"


def test_get_or_set_keeps_a_filled_slot(ops, cache):
    kept = ["kept"]
    ops.set(cache, 2, kept)
    assert ops.get_or_set(cache, 2, "other") is kept
    assert ops.get(cache, 2) is kept


def test_get_or_set_with_none_leaves_the_slot_empty(ops, cache):
    assert ops.get_or_set(cache, 2, None) is None
    assert ops.get_or_set(cache, 2, "now") == "now"


def test_get_or_exec_calls_once_per_filled_lifetime(ops, cache):
    calls = []

    def make():
        calls.append(1)
        return "made"

    assert ops.get_or_exec(cache, 4, make) == "made"
    assert ops.get_or_exec(cache, 4, make) == "made"
    assert len(calls) == 1
    ops.clear(cache)
    assert ops.get_or_exec(cache, 4, make) == "made"
    assert len(calls) == 2


def test_get_or_exec_calls_again_while_func_returns_none(ops, cache):
    calls = []
    for _ in range(3):
        assert ops.get_or_exec(cache, 4, lambda: calls.append(1)) is None
    assert len(calls) == 3


def test_get_or_exec_propagates_and_leaves_slot_empty(ops, cache):
    def fail():
        raise KeyError("boom")

    with pytest.raises(KeyError, match="boom"):
        ops.get_or_exec(cache, 9, fail)
    assert ops.get(cache, 9) is None


def test_get_or_exec_refuses_a_non_callable(ops, cache):
    with pytest.raises(TypeError, match="not callable"):
        ops.get_or_exec(cache, 9, 42)
    assert ops.get(cache, 9) is None


def test_get_or_exec_outer_store_wins_in_reentrant_fill(ops, cache):
    def inner():
        return "inner"

    def outer():
        assert ops.get_or_exec(cache, 1, inner) == "inner"
        return "outer"

    assert ops.get_or_exec(cache, 1, outer) == "outer"
    assert ops.get(cache, 1) == "outer"


def test_get_or_exec_stores_into_the_list_current_after_the_call(ops, cache):
    def reinit():
        cache.__init__()  # replaces the slot list
        ops.set(cache, 0, "other slot")
        return "result"

    old = ops.get(cache, 1)
    assert old is None
    assert ops.get_or_exec(cache, 1, reinit) == "result"
    assert ops.get(cache, 1) == "result"
    assert ops.get(cache, 0) == "other slot"


def test_get_or_exec_when_func_unreadies_the_cache(ops, cache):
    def unready():
        cache.__setstate__((None,))
        return "dropped"

    with pytest.raises(TypeError, match="'NoneType' object is not subscriptable"):
        ops.get_or_exec(cache, 1, unready)


def test_clear_empties_all_32_slots(ops, cache):
    for k in range(32):
        ops.set(cache, k, k + 1)
    ops.clear(cache)
    assert [ops.get(cache, k) for k in range(32)] == [None] * 32


def test_clear_survives_a_finaliser_that_refills_the_cache(ops, cache):
    class Refill:
        def __del__(self):
            ops.set(cache, 0, "refilled")

    ops.set(cache, 0, Refill())
    ops.set(cache, 1, Refill())
    ops.clear(cache)
    # Slot 0 was refilled when slot 1 released its value, after slot 0 was cleared.
    assert ops.get(cache, 0) == "refilled"
    assert ops.get(cache, 1) is None


@pytest.mark.parametrize("key", [-1, 32, 33, 1000, -(2**31), 2**31 - 1])
def test_key_out_of_range_raises_index_error(ops, cache, key):
    with pytest.raises(IndexError, match=f"Cache key out of range: {key}"):
        ops.get(cache, key)
    with pytest.raises(IndexError):
        ops.set(cache, key, "x")
    with pytest.raises(IndexError):
        ops.get_or_set(cache, key, "x")
    with pytest.raises(IndexError):
        ops.get_or_exec(cache, key, lambda: "x")


def test_not_ready_cache_refuses_every_slot_access(ops):
    cache = Cache.__new__(Cache)
    message = "'NoneType' object is not subscriptable"
    with pytest.raises(TypeError, match=message):
        ops.get(cache, 0)
    with pytest.raises(TypeError, match=message):
        ops.set(cache, 0, "x")
    with pytest.raises(TypeError, match=message):
        ops.get_or_set(cache, 0, "x")
    with pytest.raises(TypeError, match=message):
        ops.get_or_exec(cache, 0, lambda: "x")
    with pytest.raises(TypeError, match=message):
        ops.clear(cache)


def test_init_on_a_filled_cache_replaces_its_list(cache):
    cache.set(M, "x")
    before = cache.__reduce__()[2][0]
    cache.__init__()
    assert cache.get(M) is None
    assert before[M.value] == "x"  # the old list was not written into


def test_init_refuses_arguments():
    with pytest.raises(TypeError, match="takes exactly 0 positional arguments"):
        Cache(1)
    with pytest.raises(TypeError, match="no keyword arguments"):
        Cache(x=1)


def test_cycle_through_a_stored_value_is_collected():
    class Holder:
        pass

    cache = Cache()
    holder = Holder()
    holder.cache = cache
    cache.set(M, holder)
    ref = weakref.ref(holder)
    del cache, holder
    gc.collect()
    assert ref() is None


def test_subclass_finaliser_runs_and_may_resurrect():
    saved = []

    class Keeper(Cache):
        def __del__(self):
            if not saved:
                saved.append(self)

    keeper = Keeper()
    keeper.set(M, "kept")
    del keeper
    gc.collect()
    assert saved and saved[0].get(M) == "kept"
    saved.clear()
    gc.collect()


def test_two_members_with_equal_values_share_a_slot(cache):
    assert cache.get(Key(M.value)) is None
    cache.set(M, "shared")
    assert cache.get(Key(M.value)) == "shared"
