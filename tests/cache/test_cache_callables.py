"""Every callable of the cache module shows its parameters and a docstring, and a failing call
(from Python, through a type slot or through the operation table) names it in the traceback:
one entry, the callable's own."""

import inspect
import traceback
import types

import pytest
from support.cache_keys import Key

from zorva_ui.core.enums import CacheType
from zorva_ui.fast.zorvacache import zorvacache
from zorva_ui.fast.zorvacache.zorvacache import Cache

MODULE = "zorva_ui.fast.zorvacache.zorvacache"
M = CacheType.TEXTURE
METHOD_KINDS = (types.MethodDescriptorType, types.ClassMethodDescriptorType, staticmethod)


def _callables():
    """(qualified name, object) for the class, each method and each module function."""
    found = [("Cache", Cache)]
    found += [
        (f"Cache.{name}", getattr(Cache, name))
        for name, value in vars(Cache).items()
        if isinstance(value, METHOD_KINDS)
    ]
    found += [
        (name, value)
        for name, value in vars(zorvacache).items()
        if isinstance(value, types.BuiltinFunctionType)
    ]
    return found


CALLABLES = _callables()

# As inspect shows them: the bound instance is positional-only.
SIGNATURES = {
    "Cache": "()",
    "Cache.clear": "(self, /)",
    "Cache.clear_selected": "(self, /, blacklist=None, whitelist=None)",
    "Cache.get": "(self, /, type)",
    "Cache.set": "(self, /, type, value)",
    "Cache.get_or_set_val": "(self, /, type, value)",
    "Cache.get_or_exec": "(self, /, type, func)",
    "Cache.copy": "(self, /)",
    "Cache.__deepcopy__": "(self, /, memo)",
    "Cache.__getattr__": "(self, type, /)",
    "Cache.__reduce__": "(self, /)",
    "Cache.__setstate__": "(self, /, __pyx_state)",
    "__pyx_unpickle_Cache": "(__pyx_type, __pyx_checksum, __pyx_state)",
}


@pytest.mark.parametrize("qualname, obj", CALLABLES, ids=[c[0] for c in CALLABLES])
def test_signature_and_docstring(qualname, obj):
    assert str(inspect.signature(obj)) == SIGNATURES[qualname]
    # The text signature is not shown as part of the docstring, which says what the call does.
    assert obj.__doc__ and "\n--\n" not in obj.__doc__ and len(obj.__doc__) > 10


def test_every_callable_has_its_signature_listed():
    assert {c[0] for c in CALLABLES} == set(SIGNATURES)


class BadDict(Cache):
    @property
    def __dict__(self):
        raise LookupError("no dict here")


def _deleted_reconstructor(cache, monkeypatch):
    monkeypatch.delattr(zorvacache, "__pyx_unpickle_Cache")
    return cache.__reduce__()


def not_ready():
    return Cache.__new__(Cache)


# Python-visible callables: qualified name -> a call that fails.
FAILING = {
    "Cache": lambda c, mp: Cache(1),
    "Cache.clear": lambda c, mp: not_ready().clear(),
    "Cache.clear_selected": lambda c, mp: c.clear_selected(whitelist=(1,)),
    "Cache.get": lambda c, mp: c.get(None),
    "Cache.set": lambda c, mp: c.set(Key("x"), 1),
    "Cache.get_or_set_val": lambda c, mp: c.get_or_set_val(None, 1),
    "Cache.get_or_exec": lambda c, mp: c.get_or_exec(M, None),
    "Cache.copy": lambda c, mp: not_ready().copy(),
    "Cache.__deepcopy__": lambda c, mp: c.__deepcopy__(),
    "Cache.__getattr__": lambda c, mp: c.NOPE,
    "Cache.__reduce__": lambda c, mp: BadDict().__reduce__(),
    "Cache.__setstate__": lambda c, mp: c.__setstate__(None),
    "__pyx_unpickle_Cache": lambda c, mp: zorvacache.__pyx_unpickle_Cache(Cache, 5, None),
}
# Where the entry is not the callable's own name: the class reports its __init__.
ENTRY = {"Cache": "Cache.__init__"}
# Further failures through slots and with other causes: (entry, call).
MORE_FAILING = {
    "init-called-again": ("Cache.__init__", lambda c, mp: c.__init__(1)),
    "init-keyword": ("Cache.__init__", lambda c, mp: c.__init__(x=1)),
    "item": ("Cache.__getitem__", lambda c, mp: c[3]),
    "iteration": ("Cache.__getitem__", lambda c, mp: list(c)),
    "containment": ("Cache.__getitem__", lambda c, mp: M in c),
    "reduce-without-reconstructor": ("Cache.__reduce__", _deleted_reconstructor),
    "unpickle-bad-state": (
        "__pyx_unpickle_Cache",
        lambda c, mp: zorvacache.__pyx_unpickle_Cache(Cache, 0x0BD51CB4, ([None],)),
    ),
}


def test_every_callable_has_a_failing_call():
    assert {c[0] for c in CALLABLES} == set(FAILING)


def _entries(error):
    entries = traceback.extract_tb(error.__traceback__)
    return [e for e in entries if e.name.startswith(f"{MODULE}.")]


CASES = [(ENTRY.get(name, name), call) for name, call in FAILING.items()]
CASES += list(MORE_FAILING.values())
IDS = list(FAILING) + list(MORE_FAILING)


@pytest.mark.parametrize("entry, call", CASES, ids=IDS)
def test_failing_call_names_the_callable(cache, monkeypatch, entry, call):
    with pytest.raises(Exception) as info:  # noqa: B017
        call(cache, monkeypatch)
    ours = _entries(info.value)
    assert [e.name for e in ours] == [f"{MODULE}.{entry}"]
    assert ours[0].filename == "fast/zorvacache/zorvacache.cpp"


# Operations of the table, called by a compiled caller: (operation, arguments after the cache).
NATIVE_FAILING = {
    "c_clear": (not_ready, ()),
    "c_clear_selected": (Cache, ([], [object()])),
    "c_get": (Cache, (99,)),
    "c_set": (Cache, (-1, 1)),
    "c_get_or_set_val": (Cache, (32, 1)),
    "c_get_or_exec": (not_ready, (0, lambda: 1)),
}


@pytest.mark.parametrize("operation", sorted(NATIVE_FAILING))
def test_failing_native_operation_names_itself(consumer, operation):
    make, args = NATIVE_FAILING[operation]
    with pytest.raises(Exception) as info:  # noqa: B017
        getattr(consumer, operation)(make(), *args)
    ours = _entries(info.value)
    assert [e.name for e in ours] == [f"{MODULE}.Cache.{operation}"]
    assert ours[0].filename == "fast/zorvacache/zorvacache.cpp"
