"""`cache.NAME` remembers what a name resolved to; every change that can alter the answer must
show at the next access, as it did before anything was remembered."""

import enum

import pytest

from zorva_ui.fast.zorvacache import zorvacache


class Keys(enum.Enum):
    A = 1
    B = 2


def change_member_map(cls):
    cls._member_map_["A"] = cls.B


def change_value_attribute(cls):
    cls.value = property(lambda self: 4)


def add_value_on_the_class(cls):
    type.__setattr__(cls, "_value_", 5)  # a plain class attribute: the member's own still wins


def remove_the_name(cls):
    del cls._member_map_["A"]


@pytest.mark.parametrize(
    "change, slot",
    [
        (change_member_map, 2),
        (change_value_attribute, 4),
        (add_value_on_the_class, 1),
        (remove_the_name, None),
    ],
)
def test_changes_after_a_remembered_lookup_are_seen(cache, restore_cache_type, change, slot):
    cls = enum.Enum("Keys", {"A": 1, "B": 2})
    zorvacache.CacheType = cls
    for key in range(1, 6):
        cache.set(cls.A if key == 1 else type("K", (), {"value": key})(), key)
    for _ in range(3):  # remembered after the first
        assert cache.A == 1
    change(cls)
    if slot is None:
        with pytest.raises(AttributeError) as info:
            _ = cache.A
        assert info.value.args == ("A",)
    else:
        assert cache.A == slot
        assert cache.A == slot


def test_another_class_under_the_same_name(cache, restore_cache_type):
    zorvacache.CacheType = Keys
    cache.set(Keys.A, "one")
    assert cache.A == "one"
    zorvacache.CacheType = enum.Enum("Keys", {"A": 2})
    assert cache.A is None
    cache.set(Keys.B, "two")
    assert cache.A == "two"


def test_many_names_share_the_memo(cache, restore_cache_type):
    cls = enum.Enum("Many", {f"N{i}": i % 32 for i in range(200)})
    zorvacache.CacheType = cls
    for i in range(32):
        cache.set(cls(i), i)
    for _ in range(2):
        assert [getattr(cache, f"N{i}") for i in range(200)] == [i % 32 for i in range(200)]


def delete_binding():
    del zorvacache.CacheType


def bind_other_class():
    zorvacache.CacheType = enum.Enum("Keys", {"A": 3})


def bind_unrelated_global():
    zorvacache.UNRELATED = 1


@pytest.mark.parametrize(
    "change, expected",
    [(delete_binding, NameError), (bind_other_class, "three"), (bind_unrelated_global, "one")],
)
def test_module_namespace_changes_after_a_remembered_lookup(
    cache, restore_cache_type, change, expected
):
    zorvacache.CacheType = Keys
    cache.set(Keys.A, "one")
    cache.set(type("K", (), {"value": 3})(), "three")
    for _ in range(3):  # remembered after the first
        assert cache.A == "one"
    try:
        change()
        if expected is NameError:
            with pytest.raises(NameError, match="name 'CacheType' is not defined"):
                _ = cache.A
        else:
            assert cache.A == expected
            assert cache.A == expected
    finally:
        vars(zorvacache).pop("UNRELATED", None)
