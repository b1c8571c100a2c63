"""Copying and pickling of Cache, and the stored pickle format."""

import copy
import hashlib
import pickle

import pytest
from support.cache_keys import Key

from zorva_ui.core.enums import CacheType
from zorva_ui.fast.zorvacache import zorvacache
from zorva_ui.fast.zorvacache.zorvacache import Cache, __pyx_unpickle_Cache

M = CacheType.TEXTURE
CHECKSUM = 198515892
ACCEPTED = [0x0BD51CB4, 0x0E95C4D5, 0x0C883660]


class Sub(Cache):
    pass


def test_accepted_checksums_are_digests_of_the_field_name():
    digests = [
        hashlib.new(name, b"cache_arr").hexdigest()[:7] for name in ("sha256", "sha1", "md5")
    ]
    assert [int(d, 16) for d in digests] == ACCEPTED
    assert ACCEPTED[0] == CHECKSUM


@pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
def test_round_trip(cache, protocol):
    cache.set(M, {"texture": [1, 2]})
    cache.set(CacheType.FONT, "font")
    loaded = pickle.loads(pickle.dumps(cache, protocol))
    assert type(loaded) is Cache
    assert loaded.get(M) == {"texture": [1, 2]}
    assert loaded.FONT == "font"
    assert [loaded.get(Key(k)) for k in range(32) if k not in (M.value, CacheType.FONT.value)] == [
        None
    ] * 30


def test_reduce_of_a_ready_cache_has_separate_state(cache):
    func, args, state = cache.__reduce__()
    assert func is __pyx_unpickle_Cache
    assert args == (Cache, CHECKSUM, None)
    assert len(state) == 1 and state[0] is cache.__reduce__()[2][0]


def test_not_ready_cache_pickles_inline_and_loads_not_ready():
    cache = Cache.__new__(Cache)
    assert cache.__reduce__() == (__pyx_unpickle_Cache, (Cache, CHECKSUM, (None,)))
    loaded = pickle.loads(pickle.dumps(cache))
    with pytest.raises(TypeError, match="not subscriptable"):
        loaded.get(M)


def test_subclass_state_carries_instance_attributes():
    sub = Sub()
    assert len(sub.__reduce__()[2]) == 1
    sub.label = "mine"
    sub.set(M, 5)
    func, args, state = sub.__reduce__()
    assert args == (Sub, CHECKSUM, None)
    assert state[1] == {"label": "mine"}
    loaded = pickle.loads(pickle.dumps(sub))
    assert type(loaded) is Sub and loaded.label == "mine" and loaded.get(M) == 5


def test_not_ready_subclass_with_attributes_uses_separate_state():
    sub = Sub.__new__(Sub)
    sub.label = "x"
    assert sub.__reduce__()[1] == (Sub, CHECKSUM, None)


@pytest.mark.parametrize("checksum", ACCEPTED)
def test_every_accepted_checksum_loads(checksum):
    slots = [None] * 32
    slots[3] = "three"
    loaded = __pyx_unpickle_Cache(Cache, checksum, (slots,))
    assert loaded.get(Key(3)) == "three"


@pytest.mark.parametrize("checksum", [0, 1, -1, 0x0BD51CB5, 2**40])
def test_other_checksums_raise_pickle_error(checksum):
    with pytest.raises(pickle.PickleError) as info:
        __pyx_unpickle_Cache(Cache, checksum, None)
    # The given checksum is shown as Python's "%x" shows it (a negative one as 0x-1).
    shown = "0x" + format(checksum, "x")
    assert str(info.value) == (
        f"Incompatible checksums ({shown} vs (0xbd51cb4, 0xe95c4d5, 0xc883660) = (cache_arr))"
    )


def test_unpickle_keyword_arguments():
    loaded = __pyx_unpickle_Cache(__pyx_state=None, __pyx_checksum=CHECKSUM, __pyx_type=Sub)
    assert type(loaded) is Sub


@pytest.mark.parametrize(
    "args, error, message",
    [
        ((Cache, "1", None), TypeError, "an integer is required"),
        ((Cache, 2**64, None), OverflowError, "too big"),
        (
            (Cache, CHECKSUM, [None]),
            TypeError,
            r"Argument '__pyx_state' has incorrect type \(expected tuple, got list\)",
        ),
        ((int, CHECKSUM, None), TypeError, "is not a subtype of"),
        ((object(), CHECKSUM, None), TypeError, "is not a type object"),
        ((Cache, CHECKSUM, ()), IndexError, "no items"),
        ((Cache, CHECKSUM, ([None] * 31,)), ValueError, "32 slots, got 31"),
        ((Cache, CHECKSUM, ((None,) * 32,)), TypeError, "Expected list, got tuple"),
        ((Cache, CHECKSUM, ([None] * 32, {"a": 1})), AttributeError, "__dict__"),
    ],
)
def test_unpickle_errors(args, error, message):
    with pytest.raises(error, match=message):
        __pyx_unpickle_Cache(*args)


def test_checksum_is_checked_before_the_type():
    with pytest.raises(pickle.PickleError):
        __pyx_unpickle_Cache(int, 5, None)


def test_checksum_converts_through_int():
    class Sum:
        def __int__(self):
            return CHECKSUM

    assert type(__pyx_unpickle_Cache(Cache, Sum(), None)) is Cache


@pytest.mark.parametrize(
    "state, error, message",
    [
        (
            None,
            TypeError,
            "cannot pass None into a C function argument that is declared 'not None'",
        ),
        ([[None] * 32], TypeError, "Expected tuple, got list"),
        ((), IndexError, "no items"),
        (("x",), TypeError, "Expected list, got str"),
        (([None] * 33,), ValueError, "32 slots, got 33"),
        (([],), ValueError, "32 slots, got 0"),
    ],
)
def test_setstate_refusals_leave_the_cache_as_it_was(cache, state, error, message):
    cache.set(M, "kept")
    with pytest.raises(error, match=message):
        cache.__setstate__(state)
    assert cache.get(M) == "kept"


def test_setstate_takes_the_list_itself(cache):
    slots = [None] * 32
    cache.__setstate__(__pyx_state=(slots,))
    cache.set(M, "shared")
    assert slots[M.value] == "shared"


def test_setstate_dict_on_a_plain_cache_fails_after_the_list(cache):
    slots = [None] * 32
    slots[1] = "restored"
    with pytest.raises(AttributeError):
        cache.__setstate__((slots, {"a": 1}))
    assert cache.get(Key(1)) == "restored"


def test_setstate_falsy_extra_item_is_ignored(cache):
    cache.__setstate__(([None] * 32, {}))
    cache.__setstate__(([None] * 32, None, "ignored"))


def test_setstate_updates_through_a_non_dict_mapping():
    class Pairs:
        def keys(self):
            return ["a"]

        def __getitem__(self, key):
            return 1

    sub = Sub()
    sub.__setstate__(([None] * 32, Pairs()))
    assert sub.a == 1


def test_copy_is_a_plain_cache_with_its_own_list(cache):
    shared = ["mutable"]
    cache.set(M, shared)
    for duplicate in (cache.copy(), copy.deepcopy(cache), Sub().copy()):
        assert type(duplicate) is Cache
    duplicate = cache.copy()
    assert duplicate.get(M) is shared
    duplicate.set(M, "changed")
    assert cache.get(M) is shared
    shared.append("seen by both")
    assert copy.deepcopy(cache).get(M) is shared


def test_deepcopy_uses_an_overridden_copy():
    class Custom(Cache):
        def copy(self):
            return "custom copy"

    assert copy.deepcopy(Custom()) == "custom copy"
    assert Custom().__deepcopy__(memo={}) == "custom copy"


def test_copy_of_a_not_ready_cache_raises():
    with pytest.raises(TypeError, match="not subscriptable"):
        Cache.__new__(Cache).copy()


def test_generic_shallow_copy_shares_the_slot_list(cache):
    twin = copy.copy(cache)
    twin.set(M, "both")
    assert cache.get(M) == "both"


def test_slot_list_resized_by_its_holder_is_still_bounds_checked(cache):
    slots = cache.__reduce__()[2][0]
    del slots[10:]
    cache.set(Key(9), "nine")
    with pytest.raises(IndexError, match="Cache key out of range: 10"):
        cache.get(Key(10))
    with pytest.raises(IndexError, match="Cache key out of range: 10"):
        cache.clear()
    assert cache.get(Key(9)) is None  # cleared before the list ran out
    assert cache.copy().__reduce__()[2][0] == [None] * 10
    cache.clear_selected(whitelist=[Key(3)])
    with pytest.raises(IndexError):
        cache.clear_selected(whitelist=[Key(20)])
    slots.extend([None] * 30)
    cache.set(Key(39), "past 32")
    cache.clear()
    assert cache.get(Key(39)) == "past 32"  # clear empties exactly 32 slots


def test_reduce_finds_the_reconstructor_in_the_module(cache, monkeypatch):
    monkeypatch.delattr(zorvacache, "__pyx_unpickle_Cache")
    with pytest.raises(NameError, match="__pyx_unpickle_Cache"):
        cache.__reduce__()
