"""What Python code sees of Cache: methods, arguments, messages, lookup by name and member."""

import enum

import pytest
from support.cache_keys import IntLike, Key, RaisingKey

from zorva_ui.core.enums import CacheType
from zorva_ui.fast.zorvacache import zorvacache
from zorva_ui.fast.zorvacache.zorvacache import Cache

MEMBERS = list(CacheType)
M = CacheType.TEXTURE
MUST_NOT_BE_NONE = "Argument '{}' must not be None"


@pytest.mark.parametrize("member", MEMBERS, ids=lambda m: m.name)
def test_every_reading_path_sees_what_set_stored(cache, member):
    value = object()
    cache.set(member, value)
    assert cache.get(member) is value
    assert cache[member] is value
    assert getattr(cache, member.name) is value
    assert cache.__getattr__(member.name) is value


def test_keywords_are_accepted(cache):
    cache.set(type=M, value=1)
    assert cache.get(type=M) == 1
    assert cache.get_or_set_val(value=2, type=CacheType.ICON) == 2
    assert cache.get_or_exec(func=lambda: 3, type=CacheType.FONT) == 3
    cache.clear_selected(whitelist=[M], blacklist=None)
    assert cache.get(M) is None


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda c: c.get(), r"get\(\) takes exactly 1 positional argument \(0 given\)"),
        (lambda c: c.get(M, M), r"get\(\) takes exactly 1 positional argument \(2 given\)"),
        (lambda c: c.set(M), r"set\(\) takes exactly 2 positional arguments \(1 given\)"),
        (lambda c: c.get(M, type=M), "multiple values for keyword argument 'type'"),
        (lambda c: c.get(kind=M), "unexpected keyword argument 'kind'"),
        (lambda c: c.clear(1), r"clear\(\) takes exactly 0 positional arguments \(1 given\)"),
        (lambda c: c.clear_selected([], [], []), "at most 2 positional arguments"),
        (lambda c: c.copy(1), r"copy\(\) takes exactly 0"),
        (lambda c: c.__deepcopy__(), r"__deepcopy__\(\) takes exactly 1"),
    ],
)
def test_argument_count_errors(cache, call, message):
    with pytest.raises(TypeError, match=message):
        call(cache)


@pytest.mark.parametrize(
    "call, param",
    [
        (lambda c: c.get(None), "type"),
        (lambda c: c.get_or_exec(None, lambda: 1), "type"),
        (lambda c: c.get_or_exec(M, None), "func"),
    ],
)
def test_none_arguments_that_must_not_be_none(cache, call, param):
    with pytest.raises(TypeError, match=MUST_NOT_BE_NONE.format(param)):
        call(cache)


def test_get_or_exec_tests_type_before_func(cache):
    with pytest.raises(TypeError, match=MUST_NOT_BE_NONE.format("type")):
        cache.get_or_exec(None, None)


@pytest.mark.parametrize(
    "call",
    [lambda c: c.set(None, 1), lambda c: c.get_or_set_val(None, 1), lambda c: c.get(object())],
)
def test_key_without_value_attribute_raises_attribute_error(cache, call):
    with pytest.raises(AttributeError, match="value"):
        call(cache)


@pytest.mark.parametrize(
    "key, error, message",
    [
        (Key("3"), TypeError, "an integer is required"),
        (Key(None), TypeError, "an integer is required"),
        (Key(2**31), OverflowError, "value too large to convert to int"),
        (Key(-(2**31) - 1), OverflowError, "value too large to convert to int"),
        (Key(2**70), OverflowError, "too large"),
        (RaisingKey(), LookupError, "no value here"),
    ],
)
@pytest.mark.parametrize("method", ["get", "set", "get_or_set_val", "get_or_exec"])
def test_bad_key_values(cache, key, error, message, method):
    args = {"get": (), "set": (1,), "get_or_set_val": (1,), "get_or_exec": (lambda: 1,)}[method]
    with pytest.raises(error, match=message):
        getattr(cache, method)(key, *args)
    assert [cache.get(Key(k)) for k in range(32)] == [None] * 32


@pytest.mark.parametrize(
    "key, slot",
    [(Key(5), 5), (Key(True), 1), (Key(5.9), 5), (Key(IntLike(6)), 6), (Key(0), 0), (Key(31), 31)],
)
def test_any_object_with_an_integer_value_is_a_key(cache, key, slot):
    cache.set(key, "v")
    assert cache.get(Key(slot)) == "v"


def test_item_access_needs_a_cache_type_member(cache):
    cache.set(Key(M.value), "v")
    for key in (Key(M.value), 3, M.value, "TEXTURE", None):
        with pytest.raises(TypeError, match="The key for cache access must be of type CacheType"):
            cache[key]


def test_iteration_and_containment_report_the_key_error(cache):
    message = "The key for cache access must be of type CacheType"
    with pytest.raises(TypeError, match=message):
        iter(cache).__next__()
    with pytest.raises(TypeError, match=message):
        list(cache)
    with pytest.raises(TypeError, match=message):
        M in cache  # noqa: B015


def test_no_length_and_no_item_assignment(cache):
    with pytest.raises(TypeError, match="has no len"):
        len(cache)
    with pytest.raises(TypeError, match="does not support item assignment"):
        cache[M] = 1
    with pytest.raises(TypeError):
        del cache[M]


def test_identity_semantics(cache):
    other = Cache()
    assert cache != other and cache == cache
    assert hash(cache) != hash(other) or cache is not other


def test_unknown_attribute_raises_attribute_error_with_the_name(cache):
    with pytest.raises(AttributeError) as info:
        _ = cache.NOT_A_MEMBER
    assert info.value.args == ("NOT_A_MEMBER",)
    assert not hasattr(cache, "surface")  # names are case-sensitive


def test_type_attributes_win_over_member_names(cache, restore_cache_type):
    class Shadow(enum.Enum):
        get = 1
        OTHER = 2

    zorvacache.CacheType = Shadow
    cache.set(Key(1), "slot one")
    assert callable(cache.get)
    assert cache.__getattr__("get") == "slot one"
    cache.set(Key(2), "slot two")
    assert cache.OTHER == "slot two"


@pytest.mark.parametrize("name", [1, b"TEXTURE", ["TEXTURE"]])
def test_getattr_method_needs_a_str(cache, name):
    expected = type(name).__name__
    with pytest.raises(TypeError, match=f"expected str, got {expected}"):
        cache.__getattr__(name)


def test_getattr_method_with_none_is_no_member(cache):
    with pytest.raises(AttributeError) as info:
        cache.__getattr__(None)
    assert info.value.args == (None,)


def test_subclass_instance_attributes_come_before_members(restore_cache_type):
    class Sub(Cache):
        pass

    sub = Sub()
    sub.set(M, "slot")
    assert sub.TEXTURE == "slot"
    sub.TEXTURE = "attribute"
    assert sub.TEXTURE == "attribute"
    assert sub.get(M) == "slot"


def test_errors_inside_the_normal_lookup_propagate(cache):
    class Sub(Cache):
        @property
        def broken(self):
            raise ValueError("broken property")

    with pytest.raises(ValueError, match="broken property"):
        _ = Sub().broken


def test_rebinding_cache_type_takes_effect_at_the_next_call(cache, restore_cache_type):
    class Other(enum.Enum):
        FIRST = 30

    cache.set(Key(30), "thirty")
    zorvacache.CacheType = Other
    assert cache.FIRST == "thirty"
    assert cache[Other.FIRST] == "thirty"
    with pytest.raises(TypeError, match="must be of type CacheType"):
        cache[M]
    with pytest.raises(AttributeError):
        _ = cache.TEXTURE
    cache.clear_selected()
    assert cache.get(Key(30)) is None


def test_missing_cache_type_raises_name_error(cache, restore_cache_type):
    del zorvacache.CacheType
    message = "name 'CacheType' is not defined"
    with pytest.raises(NameError, match=message):
        cache[M]
    with pytest.raises(NameError, match=message):
        _ = cache.TEXTURE
    with pytest.raises(NameError, match=message):
        cache.clear_selected()
    assert cache.get(M) is None  # methods with explicit keys need no CacheType


def test_cache_type_found_among_builtins(cache, restore_cache_type):
    import builtins

    del zorvacache.CacheType
    builtins.CacheType = CacheType
    try:
        cache.set(M, "v")
        assert cache[M] == "v"
    finally:
        del builtins.CacheType


# ---- The enum fast path must not change what `value` means -------------------------------------


def test_value_overridden_in_a_subclass_is_honoured(cache):
    class Shifted(enum.Enum):
        A = 1

        @property
        def value(self):
            return self._value_ + 10

    cache.set(Shifted.A, "v")
    assert cache.get(Key(11)) == "v"
    assert cache.get(Key(1)) is None


def test_value_changed_after_first_use_is_honoured(cache):
    class Late(enum.Enum):
        A = 1

    assert cache.get(Late.A) is None  # the type qualifies for the fast path here
    cache.set(Key(1), "one")
    cache.set(Key(2), "two")
    assert cache.get(Late.A) == "one"
    Late.value = property(lambda self: 2)
    assert cache.get(Late.A) == "two"
    del Late.value
    assert cache.get(Late.A) == "one"


def test_custom_attribute_lookup_is_honoured(cache):
    class Looked(enum.Enum):
        A = 1

        def __getattribute__(self, name):
            if name == "value":
                return 4
            return super().__getattribute__(name)

    cache.set(Key(4), "four")
    assert cache.get(Looked.A) == "four"


def test_value_descriptor_on_the_member_type_is_honoured(cache):
    class Desc:
        def __get__(self, obj, owner=None):
            return 6

    class Mixed(enum.Enum):
        A = 1

    Mixed._value_ = Desc()  # a non-data descriptor: the member's own _value_ still wins
    cache.set(Key(1), "one")
    assert cache.get(Mixed.A) == "one"


def test_int_enum_and_flag_members_are_keys(cache):
    class Level(enum.IntEnum):
        LOW = 3

    class Bits(enum.Flag):
        B = 8

    cache.set(Level.LOW, "low")
    cache.set(Bits.B, "bits")
    assert cache.get(Key(3)) == "low"
    assert cache.get(Key(8)) == "bits"


def test_enum_member_with_a_non_integer_value(cache):
    class Named(enum.Enum):
        A = "a"

    with pytest.raises(TypeError, match="an integer is required"):
        cache.get(Named.A)


# ---- clear_selected ---------------------------------------------------------------------------


def fill(cache):
    for k in range(32):
        cache.set(Key(k), k)


def slots(cache):
    return [cache.get(Key(k)) for k in range(32)]


MEMBER_SLOTS = {m.value for m in MEMBERS}


@pytest.mark.parametrize(
    "kwargs, cleared",
    [
        ({}, MEMBER_SLOTS),
        ({"whitelist": []}, MEMBER_SLOTS),
        ({"blacklist": [], "whitelist": None}, MEMBER_SLOTS),
        ({"blacklist": [M]}, MEMBER_SLOTS - {M.value}),
        ({"whitelist": [M]}, {M.value}),
        ({"whitelist": [M], "blacklist": [M]}, set()),
        ({"whitelist": [Key(31), Key(-1), Key(32), Key(2**20)]}, {31}),
        ({"blacklist": 0, "whitelist": ""}, MEMBER_SLOTS),
    ],
    ids=[
        "defaults",
        "empty-whitelist",
        "empty-blacklist",
        "blacklisted",
        "whitelisted",
        "both-lists",
        "out-of-range-ignored",
        "falsy-non-lists",
    ],
)
def test_clear_selected_selection(cache, kwargs, cleared):
    fill(cache)
    cache.clear_selected(**kwargs)
    assert slots(cache) == [None if k in cleared else k for k in range(32)]


def test_clear_selected_never_clears_slots_of_no_member_by_default(cache):
    fill(cache)
    cache.clear_selected()
    unowned = [k for k in range(32) if k not in MEMBER_SLOTS]
    assert unowned and all(cache.get(Key(k)) == k for k in unowned)
    cache.clear()
    assert slots(cache) == [None] * 32


@pytest.mark.parametrize(
    "kwargs, got",
    [
        ({"whitelist": (M,)}, "tuple"),
        ({"blacklist": (M,)}, "tuple"),
        ({"blacklist": {M}}, "set"),
        ({"whitelist": type("L", (list,), {})([M])}, "L"),
    ],
)
def test_clear_selected_needs_exact_lists(cache, kwargs, got):
    fill(cache)
    with pytest.raises(TypeError, match=f"Expected list, got {got}"):
        cache.clear_selected(**kwargs)
    assert slots(cache) == list(range(32))


@pytest.mark.parametrize(
    "bad, error",
    [
        (object(), AttributeError),
        (Key("x"), TypeError),
        (Key(2**40), OverflowError),
        (RaisingKey(), LookupError),
    ],
)
@pytest.mark.parametrize("where", ["blacklist", "whitelist"])
def test_clear_selected_bad_item_leaves_the_cache_untouched(cache, bad, error, where):
    fill(cache)
    lists = {"blacklist": [M], "whitelist": [M, CacheType.SURFACE]}
    lists[where] = lists[where] + [bad]
    with pytest.raises(error):
        cache.clear_selected(**lists)
    assert slots(cache) == list(range(32))


def test_clear_selected_with_a_list_mutated_during_the_scan(cache):
    fill(cache)
    whitelist = []

    class Shrinking:
        @property
        def value(self):
            whitelist.clear()  # frees the other items while the scan is running
            return 1

    whitelist.extend([Shrinking(), Key(2), Key(3)])
    cache.clear_selected(whitelist=whitelist)
    assert cache.get(Key(1)) is None
    assert cache.get(Key(2)) == 2


def test_clear_selected_with_a_list_growing_during_the_scan(cache):
    fill(cache)
    whitelist = []

    class Growing:
        def __init__(self, n):
            self.n = n

        @property
        def value(self):
            if self.n < 5:
                whitelist.append(Growing(self.n + 1))
            return self.n

    whitelist.append(Growing(0))
    cache.clear_selected(whitelist=whitelist)
    assert slots(cache)[:7] == [None, None, None, None, None, None, 6]


def test_clear_selected_on_a_cache_not_ready():
    cache = Cache.__new__(Cache)
    cache.clear_selected(whitelist=[Key(40)])  # nothing selected: no slot access
    with pytest.raises(TypeError, match="'NoneType' object is not subscriptable"):
        cache.clear_selected()
