"""Reference leaks: every operation, on its success and failure paths, run many times."""

import copy

import pytest
from support.cache_keys import Key, RaisingKey
from support.refleak import assert_no_leak

from zorva_ui.core.enums import CacheType
from zorva_ui.fast.zorvacache.zorvacache import Cache, __pyx_unpickle_Cache

M = CacheType.TEXTURE


class Value:
    pass


VALUE = Value()
BAD = Key("not an int")
HUGE = Key(2**80)


def fail():
    raise ValueError("fail")


def returns_value():
    return VALUE


OPERATIONS = {
    "get": lambda c: c.get(M),
    "get-key-object": lambda c: c.get(Key(3)),
    "get-none": lambda c: c.get(None),
    "get-bad-value": lambda c: c.get(BAD),
    "get-huge-value": lambda c: c.get(HUGE),
    "get-raising-value": lambda c: c.get(RaisingKey()),
    "get-out-of-range": lambda c: c.get(Key(99)),
    "set": lambda c: c.set(M, VALUE),
    "set-then-clear": lambda c: (c.set(M, VALUE), c.set(M, None)),
    "get_or_set_val": lambda c: (c.set(M, None), c.get_or_set_val(M, VALUE)),
    "get_or_exec": lambda c: (c.set(M, None), c.get_or_exec(M, returns_value)),
    "get_or_exec-raises": lambda c: (c.set(M, None), c.get_or_exec(M, fail)),
    "get_or_exec-not-callable": lambda c: (c.set(M, None), c.get_or_exec(M, VALUE)),
    "getitem": lambda c: c[M],
    "getitem-wrong-key": lambda c: c[3],
    "iterate": lambda c: list(c),
    "getattr-member": lambda c: c.TEXTURE,
    "getattr-missing": lambda c: c.MISSING,
    "getattr-method-wrong-type": lambda c: c.__getattr__(5),
    "clear": lambda c: (c.set(M, VALUE), c.clear()),
    "clear_selected": lambda c: (c.set(M, VALUE), c.clear_selected(blacklist=[CacheType.FONT])),
    "clear_selected-bad-item": lambda c: c.clear_selected(whitelist=[M, BAD]),
    "clear_selected-tuple": lambda c: c.clear_selected(whitelist=(M,)),
    "copy": lambda c: c.copy(),
    "deepcopy": lambda c: copy.deepcopy(c),
    "reduce": lambda c: c.__reduce__(),
    "unpickle": lambda c: __pyx_unpickle_Cache(Cache, 198515892, None).__setstate__(
        c.__reduce__()[2]
    ),
    "unpickle-inline": lambda c: __pyx_unpickle_Cache(Cache, 0x0C883660, ([VALUE] * 32,)),
    "setstate": lambda c: Cache().__setstate__(([VALUE] * 32,)),
    "setstate-wrong-length": lambda c: c.__setstate__(([VALUE] * 3,)),
    "setstate-empty": lambda c: c.__setstate__(()),
    "setstate-dict-on-plain": lambda c: Cache().__setstate__(([None] * 32, {"a": VALUE})),
    "unpickle-bad-checksum": lambda c: __pyx_unpickle_Cache(Cache, 1, None),
    "unpickle-bad-type": lambda c: __pyx_unpickle_Cache(int, 198515892, None),
    "new-and-init": lambda c: Cache(),
    "not-ready": lambda c: Cache.__new__(Cache).get(M),
    "keywords": lambda c: c.get(type=M),
    "bad-keyword": lambda c: c.get(kind=M),
}


@pytest.mark.parametrize("name", OPERATIONS)
def test_python_operation_does_not_leak(name):
    cache = Cache()
    cache.set(M, VALUE)
    op = OPERATIONS[name]
    assert_no_leak(lambda: op(cache), cache, VALUE, M, BAD, rounds=1000)


NATIVE = {
    "new": lambda n, c: n.new(),
    "c_get": lambda n, c: n.c_get(c, 1),
    "c_get-out-of-range": lambda n, c: n.c_get(c, -5),
    "c_set": lambda n, c: n.c_set(c, 1, VALUE),
    "c_get_or_set_val": lambda n, c: (n.c_set(c, 2, None), n.c_get_or_set_val(c, 2, VALUE)),
    "c_get_or_exec": lambda n, c: (n.c_set(c, 2, None), n.c_get_or_exec(c, 2, returns_value)),
    "c_get_or_exec-raises": lambda n, c: (n.c_set(c, 2, None), n.c_get_or_exec(c, 2, fail)),
    "c_clear": lambda n, c: (n.c_set(c, 2, VALUE), n.c_clear(c)),
    "c_clear_selected": lambda n, c: n.c_clear_selected(c, [], [M]),
    "c_clear_selected-none": lambda n, c: n.c_clear_selected(c, [], None),
    "c_clear_selected-bad": lambda n, c: n.c_clear_selected(c, [BAD], [M]),
}


@pytest.mark.parametrize("name", NATIVE)
def test_native_operation_does_not_leak(consumer, name):
    cache = Cache()
    op = NATIVE[name]
    assert_no_leak(lambda: op(consumer, cache), cache, VALUE, M, BAD, rounds=1000)


def test_reentrant_get_or_exec_does_not_leak():
    cache = Cache()

    def reinit():
        cache.__init__()
        cache.set(M, VALUE)
        return VALUE

    def op():
        cache.set(M, None)
        cache.get_or_exec(M, reinit)

    assert_no_leak(op, cache, VALUE)
