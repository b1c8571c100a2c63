"""Loading of the cache module: what an import leaves behind, one module object per process,
one interpreter."""

import ctypes
import importlib
import importlib.util
import subprocess
import sys
import textwrap
import types

import pytest

from zorva_ui.core.enums import CacheType
from zorva_ui.fast.zorvacache import zorvacache
from zorva_ui.fast.zorvacache.zorvacache import Cache

NAME = "zorva_ui.fast.zorvacache.zorvacache"


def test_module_namespace():
    assert zorvacache.Cache is Cache
    assert zorvacache.CacheType is CacheType
    assert callable(zorvacache.__pyx_unpickle_Cache)
    assert zorvacache.__test__ == {}
    assert sys.modules[NAME] is zorvacache


def test_type_identity_and_methods():
    assert Cache.__module__ == NAME and Cache.__qualname__ == "Cache"
    assert repr(Cache) == f"<class '{NAME}.Cache'>"
    methods = [
        "clear",
        "clear_selected",
        "get",
        "set",
        "get_or_set_val",
        "get_or_exec",
        "copy",
        "__deepcopy__",
        "__getattr__",
        "__reduce__",
        "__setstate__",
    ]
    for name in methods:
        assert Cache.__dict__[name].__qualname__ == f"Cache.{name}"
    assert "__getattribute__" not in Cache.__dict__


def test_instances_have_no_dict_and_refuse_new_attributes():
    cache = Cache()
    with pytest.raises(AttributeError):
        _ = cache.__dict__
    with pytest.raises(AttributeError):
        cache.extra = 1


def test_reload_and_repeated_creation_give_the_same_module():
    assert importlib.reload(zorvacache) is zorvacache
    spec = importlib.util.find_spec(NAME)
    assert importlib.util.module_from_spec(spec) is zorvacache
    assert zorvacache.Cache is Cache


def test_executing_another_module_object_is_refused():
    api = ctypes.pythonapi
    api.PyModule_GetDef.restype = ctypes.c_void_p
    api.PyModule_GetDef.argtypes = [ctypes.py_object]
    api.PyModule_ExecDef.restype = ctypes.c_int
    api.PyModule_ExecDef.argtypes = [ctypes.py_object, ctypes.c_void_p]
    definition = api.PyModule_GetDef(zorvacache)
    assert definition
    with pytest.raises(
        RuntimeError,
        match="Module 'zorvacache' has already been imported. Re-initialisation is not supported.",
    ):
        api.PyModule_ExecDef(types.ModuleType("other"), definition)
    # The refusal leaves the imported module in place: a new creation still returns it.
    assert importlib.util.module_from_spec(importlib.util.find_spec(NAME)) is zorvacache


def test_a_second_interpreter_is_refused():
    interpreters = pytest.importorskip("_interpreters")
    interp = interpreters.create("legacy")
    try:
        failure = interpreters.run_string(interp, f"import {NAME}")
    finally:
        interpreters.destroy(interp)
    assert failure is not None
    assert failure.type.__name__ == "ImportError"
    assert failure.msg == (
        "Interpreter change detected - this module can only be loaded into one interpreter "
        "per process."
    )


def run_python(code):
    return subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True, timeout=60
    )


def test_import_fails_without_cache_type_and_can_be_retried():
    result = run_python(
        f"""
        import sys, types
        import zorva_ui.core.enums as enums
        saved = enums.CacheType
        del enums.CacheType
        try:
            import {NAME}
        except ImportError as error:
            print("first:", error)
        assert "{NAME}" not in sys.modules
        enums.CacheType = saved
        from {NAME} import Cache
        c = Cache()
        c.set(saved.FONT, 1)
        print("second:", c.FONT)
        """
    )
    assert result.returncode == 0, result.stderr
    assert "first: cannot import name CacheType\n" in result.stdout
    assert "second: 1" in result.stdout
