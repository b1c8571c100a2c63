"""The machinery of fast/common, through a small module of the suite that uses it as the
package's modules do: declared callables, argument binding, text signatures, traceback entries,
late-bound globals, pickling helpers and the guarded initialisation."""

import inspect
import pathlib
import pickle
import subprocess
import sys
import traceback

import pytest
from support.native_build import build_and_import

SOURCE = pathlib.Path(__file__).parent / "probe" / "common_probe.cpp"


@pytest.fixture(scope="module")
def cp():
    return build_and_import(SOURCE)


def _ours(error):
    return [
        (e.name, e.filename)
        for e in traceback.extract_tb(error.__traceback__)
        if e.name.startswith("common_probe")
    ]


@pytest.mark.parametrize(
    "args, kwargs, expected",
    [
        ((1,), {}, (1, None, True, False, ...)),
        ((1, 2, 3, 4, 5), {}, (1, 2, 3, 4, 5)),
        ((), {"a": 1, "e": 5}, (1, None, True, False, 5)),
        ((1,), {"d": 0}, (1, None, True, 0, ...)),
    ],
)
def test_binding_and_defaults(cp, args, kwargs, expected):
    assert cp.bound(*args, **kwargs) == expected


@pytest.mark.parametrize(
    "call, qualname, message",
    [
        (
            lambda cp: cp.bound(),
            "bound",
            r"^bound\(\) takes at least 1 positional argument \(0 given\)",
        ),
        (
            lambda cp: cp.bound(*range(6)),
            "bound",
            r"takes at most 5 positional arguments \(6 given\)",
        ),
        (lambda cp: cp.bound(1, a=1), "bound", r"got multiple values for keyword argument 'a'"),
        (lambda cp: cp.bound(1, z=1), "bound", r"got an unexpected keyword argument 'z'"),
        (lambda cp: cp.bound(b=1), "bound", r"takes at least 1 positional argument \(0 given\)"),
        (lambda cp: cp.Probe(), "Probe.__init__", r"^__init__\(\) takes at least 1 positional"),
        (lambda cp: cp.Probe(1, value=2), "Probe.__init__", r"^__init__\(\) got multiple values"),
        (
            lambda cp: cp.Probe(1, no=2),
            "Probe.__init__",
            r"^__init__\(\) got an unexpected keyword",
        ),
        (
            lambda cp: cp.Probe(1).scale(1, 2),
            "Probe.scale",
            r"^scale\(\) takes at most 1 positional",
        ),
        (lambda cp: cp.exec_runs(1), None, r"takes no arguments"),
    ],
)
def test_binding_messages_and_traceback(cp, call, qualname, message):
    with pytest.raises(TypeError, match=message) as info:
        call(cp)
    ours = _ours(info.value)
    # METH_NOARGS and METH_O calls are refused by the interpreter before the callable runs.
    assert [name for name, _ in ours] == ([f"common_probe.{qualname}"] if qualname else [])
    assert all(filename.endswith("common_probe.cpp") for _, filename in ours)


@pytest.mark.parametrize(
    "call, qualname",
    [
        (lambda cp: cp.one(None), "one"),
        (lambda cp: cp.fail("x"), "fail"),
        (lambda cp: cp.Probe("v", "not a number"), "Probe.__init__"),
        (lambda cp: cp.Probe("v").scale("x"), "Probe.scale"),
        (lambda cp: cp.Probe.twice(None), "Probe.twice"),
        (lambda cp: cp.Probe.make(), "Probe.make"),
        (lambda cp: setattr(cp.Probe("v"), "count", -1), "Probe.count.__set__"),
        (lambda cp: delattr(cp.Probe("v"), "count"), None),  # a refused delete: no entry
        (lambda cp: cp.Probe("v").__setstate__([]), "Probe.__setstate__"),
        (lambda cp: cp.__pyx_unpickle_Probe(cp.Probe, 1, None), "__pyx_unpickle_Probe"),
    ],
)
def test_failures_name_the_callable(cp, call, qualname):
    with pytest.raises(Exception) as info:  # noqa: B017
        call(cp)
    expected = [f"common_probe.{qualname}"] if qualname else []
    assert [name for name, _ in _ours(info.value)] == expected


@pytest.mark.parametrize(
    "name, value, result, native",
    [
        ("half", 4, 2, None),
        ("half", 3, ValueError, "Probe.c_half"),
        ("half", "x", TypeError, "Probe.c_half"),
        ("location", -1, -1, None),  # -1 without an exception is a value
        ("location", -2, ValueError, "Probe.c_location"),
        ("refuse_none", 0, None, None),
        ("refuse_none", None, TypeError, "Probe.c_refuse_none"),
        ("check_str", "x", None, None),
        ("check_str", 1, TypeError, "Probe.c_check_str"),
    ],
)
def test_native_operations_add_their_entry(cp, name, value, result, native):
    if native is None:
        assert cp.op(name, value) == result
        return
    with pytest.raises(result) as info:
        cp.op(name, value)
    # The innermost entry last, as for Python frames.
    assert [n for n, _ in _ours(info.value)] == ["common_probe.op", f"common_probe.{native}"]


def test_signatures(cp):
    assert str(inspect.signature(cp.bound)) == "(a, b=None, c=True, d=False, e=1)"
    assert str(inspect.signature(cp.one)) == "(x, /)"
    assert str(inspect.signature(cp.Probe)) == "(value, count=0)"
    assert str(inspect.signature(cp.Probe.scale)) == "(self, /, factor=2)"
    assert str(inspect.signature(cp.Probe.make)) == "(value)"
    assert str(inspect.signature(cp.Probe.twice)) == "(x)"
    assert cp.Probe.__doc__ == "A value and a count."
    assert cp.Probe.count.__doc__ == "A non-negative count."


def test_calling_conventions(cp):
    p = cp.Probe("v", 3)
    assert (p.value, p.count, p.scale(), p.scale(factor=5)) == ("v", 3, 6, 15)
    assert type(cp.Probe.make(1)) is cp.Probe and cp.Probe.twice("ab") == "abab"
    p.count = 7
    assert p.count == 7
    with pytest.raises(AttributeError):
        p.value = 1
    with pytest.raises(NotImplementedError, match="__del__"):
        del p.count


def test_late_global_follows_rebinding(cp):
    with pytest.raises(NameError, match="name 'TARGET' is not defined"):
        cp.late()
    cp.TARGET = 1
    assert cp.late() == 1
    assert cp.late() == 1  # kept
    cp.TARGET = 2
    assert cp.late() == 2
    vars(cp)["TARGET"] = 3  # the dict itself, not the attribute protocol
    assert cp.late() == 3
    del cp.TARGET
    import builtins

    builtins.TARGET = "builtin"
    try:
        assert cp.late() == "builtin"
    finally:
        del builtins.TARGET
    with pytest.raises(NameError):
        cp.late()


class Sub:
    pass


@pytest.mark.parametrize("protocol", [0, 2, pickle.HIGHEST_PROTOCOL])
@pytest.mark.parametrize("value, tag", [(None, None), ("v", None), (None, "t"), ([1], "t")])
def test_pickle_round_trip(cp, protocol, value, tag):
    cls = type("ProbeSub", (cp.Probe,), {"__module__": __name__})
    globals()["ProbeSub"] = cls
    p = cls(value, 4)
    if tag is not None:
        p.tag = tag
    reduced = p.__reduce__()
    assert len(reduced) == (3 if (value is not None or tag is not None) else 2)
    back = pickle.loads(pickle.dumps(p, protocol))
    assert type(back) is cls and (back.value, back.count) == (value, 4)
    assert getattr(back, "tag", None) == tag


@pytest.mark.parametrize("checksum", [0x9636BBB, 0x5186788, 0x3A8BC8D])
def test_unpickle_accepts_the_three_checksums(cp, checksum):
    p = cp.__pyx_unpickle_Probe(cp.Probe, checksum, (2, "v"))
    assert (p.count, p.value) == (2, "v")


@pytest.mark.parametrize(
    "args, error, message",
    [
        ((1, None), pickle.PickleError, r"Incompatible checksums \(0x1 vs \(0x9636bbb, "),
        (("x", None), TypeError, "an integer is required"),
        ((0x9636BBB, [1, 2]), TypeError, "Argument '__pyx_state' has incorrect type"),
        ((0x9636BBB, (1,)), ValueError, "needs 2 items"),
    ],
)
def test_unpickle_refuses(cp, args, error, message):
    with pytest.raises(error, match=message):
        cp.__pyx_unpickle_Probe(cp.Probe, *args)


def test_unpickle_refuses_a_foreign_class(cp):
    with pytest.raises(TypeError):
        cp.__pyx_unpickle_Probe(int, 0x9636BBB, None)


def test_dict_tail_on_an_instance_without_dict(cp):
    with pytest.raises(AttributeError):
        cp.__pyx_unpickle_Probe(cp.Probe, 0x9636BBB, (1, None, {"a": 1}))
    assert cp.__pyx_unpickle_Probe(cp.Probe, 0x9636BBB, (1, None, {})).count == 1


RETRY = """
import importlib.util, sys, traceback, types
spec = importlib.util.spec_from_file_location("common_probe", sys.argv[1])
sys.modules["common_probe_fail"] = types.ModuleType("common_probe_fail")
try:
    spec.loader.exec_module(importlib.util.module_from_spec(spec))
except RuntimeError as e:
    names = [f.name for f in traceback.extract_tb(e.__traceback__)]
    assert "init common_probe" in names, names
else:
    raise AssertionError("the import did not fail")
del sys.modules["common_probe_fail"]
module = importlib.util.module_from_spec(spec)
spec.loader.exec_module(module)
assert module.exec_runs() == 2  # every step again, from the first
again = importlib.util.module_from_spec(spec)
assert again is module
print("ok")
"""


def test_failed_initialisation_is_retried_from_the_start(cp):
    out = subprocess.run([sys.executable, "-c", RETRY, cp.__file__], capture_output=True, text=True)
    assert out.returncode == 0, out.stderr
    assert out.stdout.strip() == "ok"
