"""Names every generated call may use. The worker executes this file once; a reproducer copies
the header and only the definitions its calls reach (see repro.py), so everything here is plain
Python that stands on its own: no imports from the fuzzer."""

# Most imports serve the generated calls, not this file.
# ruff: noqa: F401

import copy
import gc
import importlib
import importlib.util
import os
import pickle
import sys
import tempfile
import threading

import zorva_ui.core.modules as md
from zorva_ui.core import GradientType as GT
from zorva_ui.core import LinearDirection as LD
from zorva_ui.core import RadialDirection as RD
from zorva_ui.core.enums import CacheType as CT
from zorva_ui.fast import GradientShader as GS
from zorva_ui.fast.raylib import zorva_raylib as rl
from zorva_ui.fast.zorvacache import zorvacache as zc
from zorva_ui.fast.zvraygrad import zvraygrad as zg
from zorva_ui.fast.zvrect.zvrect import ZvRect as RC
from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture as RT
from zorva_ui.fast.zvshader.zvshader import ZvShader as SH
from zorva_ui.fast.zvvector2.zvvector2 import ZvVector2 as V2

NAN = float("nan")
INF = float("inf")
OWNER_MESSAGE = "the rendering context belongs to the thread that created it"
TMP = tempfile.mkdtemp(prefix="zorva-fuzz-")


class Boom(Exception):
    """What hostile objects raise by default."""


class ContractBreach(BaseException):
    """Not an Exception, so no `except Exception` of a generated call can swallow it."""


# Sentinels: the worker checks that their reference counts do not drift across its life.
SENT_OBJ = type("Sentinel", (), {})()
SENT_FLOAT = float("1.2345")
SENT_TUPLE = tuple([255, 128, 0, 255])
SENT_STR = "".join(["sen", "tinel"])


# SystemErrors raised inside hooks, where nothing else would see them.
BROKEN = []


def _quiet(act):
    # A hook's own failure must not hide what the code under test does with the value; a
    # SystemError (a C function that broke the result protocol) is kept for the worker.
    try:
        act()
    except SystemError as e:
        BROKEN.append(e)
    except Exception:
        pass


class IntSub(int):
    pass


class FloatSub(float):
    pass


class StrSub(str):
    pass


class TupleSub(tuple):
    pass


class ListSub(list):
    pass


class DictSub(dict):
    pass


class Raiser:
    """Every protocol raises `exc`."""

    def __init__(self, exc=Boom):
        self.exc = exc

    def _raise(self, *args):
        raise self.exc("raiser")

    __float__ = __int__ = __index__ = __len__ = __iter__ = __bool__ = _raise
    __getitem__ = __truediv__ = __eq__ = __lt__ = __hash__ = __fspath__ = _raise
    __length_hint__ = __contains__ = keys = _raise

    def __getattr__(self, name):
        raise self.exc(name)


class WrongType:
    """Every protocol answers with a value of the wrong type."""

    def __float__(self):
        return "1.0"

    def __int__(self):
        return 1.5

    def __index__(self):
        return 2.5

    def __len__(self):
        return -1

    def __iter__(self):
        return 5

    def __bool__(self):
        return 2

    def __hash__(self):
        return "h"

    def __eq__(self, other):
        return Raiser()

    def __fspath__(self):
        return 7

    def __truediv__(self, other):
        return WrongType()

    def __getitem__(self, index):
        return WrongType()


class Hook:
    """A number (or sequence) that runs `act` inside every conversion, comparison and read:
    the code under test sees its own objects change while it converts an argument."""

    def __init__(self, value, act, times=1):
        self.value = value
        self.act = act
        self.times = times

    def _run(self):
        if self.times > 0:
            self.times -= 1
            _quiet(self.act)

    def __float__(self):
        self._run()
        return float(self.value)

    def __int__(self):
        self._run()
        return int(self.value)

    def __index__(self):
        self._run()
        return int(self.value)

    def __truediv__(self, other):
        self._run()
        return self.value / other

    def __eq__(self, other):
        self._run()
        return self.value == other

    def __hash__(self):
        self._run()
        return hash(self.value)

    def __bool__(self):
        self._run()
        return bool(self.value)

    def __len__(self):
        self._run()
        return len(self.value)

    def __getitem__(self, index):
        self._run()
        return self.value[index]

    def __iter__(self):
        self._run()
        return iter(self.value)

    def __fspath__(self):
        self._run()
        return self.value


class DelHook:
    """Runs `act` when released (or raises from __del__ when `act` is None): a value whose
    release by the code under test re-enters it."""

    def __init__(self, act=None):
        self.act = act

    def __del__(self):
        if self.act is None:
            raise Boom("__del__")
        _quiet(self.act)


class Named:
    """A direction-like object: `name` runs `act` first; `name` may be anything."""

    def __init__(self, name, act=None):
        self._name = name
        self.act = act

    @property
    def name(self):
        if self.act is not None:
            _quiet(self.act)
        return self._name


class Keyed:
    """A cache-key-like object whose `value` is anything and may run `act` first."""

    def __init__(self, value, act=None):
        self._value = value
        self.act = act

    @property
    def value(self):
        if self.act is not None:
            _quiet(self.act)
        return self._value


class LyingTuple(tuple):
    """Claims a length it does not have and answers items it does not hold."""

    def __len__(self):
        return 2

    def __getitem__(self, index):
        return 10**400 if index else ()


class LyingHint:
    """An iterable whose length hint lies (huge, negative or wrong type)."""

    def __init__(self, hint, items):
        self.hint = hint
        self.items = items

    def __length_hint__(self):
        return self.hint

    def __iter__(self):
        return iter(self.items)


class Mapping4:
    """A mapping that is not a dict, whose lookups may run `act`."""

    def __init__(self, data, act=None):
        self.data = data
        self.act = act

    def keys(self):
        return self.data.keys()

    def __getitem__(self, key):
        if self.act is not None:
            _quiet(self.act)
        return self.data[key]


class GSub(zg.GradientRaylib):
    """A Python subclass whose resource hook re-enters the object."""

    act = None

    def _ensure_resources(self):
        if self.act is not None:
            _quiet(self.act)


class ClickSub(zg.ClickGradient):
    """A click gradient whose stop recalculation re-enters it (bounded)."""

    depth = 0

    def _recalculate_stops(self, *args):
        if ClickSub.depth < 2:
            ClickSub.depth += 1
            try:
                self.colors = [(1, 2, 3, 4), ((5, 6, 7, 8), 2)]
            except Exception:
                pass
            finally:
                ClickSub.depth -= 1
        return zg.ClickGradient._recalculate_stops(self, *args)


class CacheSub(zc.Cache):
    """Has an instance __dict__, so its pickles carry a second state item."""


class V2Hook(V2):
    """A vector whose Python attributes run `act` and may answer anything."""

    act = None
    fake = None

    @property
    def x(self):
        if self.act is not None:
            _quiet(self.act)
        return self.fake if self.fake is not None else 0.25

    @property
    def y(self):
        return self.fake if self.fake is not None else 0.75


def target(size=(16, 16)):
    """A small render target for calls that must draw into one."""
    return RT(size)


def in_target(fn, rt=None):
    """Runs `fn` inside texture mode on a small target; the mode is ended whatever `fn` did."""
    rt = rt if rt is not None else target()
    rl.begin_texture_mode(rt.render_texture)
    try:
        return fn()
    finally:
        rl.end_texture_mode()


def in_modes(fn, shader=None, blend=1):
    """Texture, blend and (optionally) shader mode around `fn`, each ended in a finally."""

    def inner():
        rl.begin_blend_mode(blend)
        try:
            if shader is None:
                return fn()
            rl.begin_zvshader_mode(shader)
            try:
                return fn()
            finally:
                rl.end_shader_mode()
        finally:
            rl.end_blend_mode()

    return in_target(inner)


class patched:
    """Rebinds a module attribute for the duration of a block."""

    def __init__(self, owner, name, value):
        self.owner, self.name, self.value = owner, name, value

    def __enter__(self):
        self.old = getattr(self.owner, self.name)
        setattr(self.owner, self.name, self.value)

    def __exit__(self, *exc):
        setattr(self.owner, self.name, self.old)


class restored:
    """Puts the modules' attributes back as they were when the block ends, whatever a hook
    rebound inside it."""

    def __init__(self, *modules):
        self.modules = modules

    def __enter__(self):
        self.saved = [dict(vars(m)) for m in self.modules]

    def __exit__(self, *exc):
        for module, saved in zip(self.modules, self.saved, strict=True):
            for key in [k for k in vars(module) if k not in saved]:
                delattr(module, key)
            for key, value in saved.items():
                if vars(module).get(key) is not value:
                    setattr(module, key, value)


def hammer(actions, threads=8, rounds=16):
    """Runs the actions from `threads` threads at once, each thread starting at another action.
    Ordinary exceptions are expected; a SystemError (a C function that broke the result
    protocol) is raised again in the calling thread."""
    broken = []
    barrier = threading.Barrier(threads)

    def run(k):
        try:
            barrier.wait(5)
        except threading.BrokenBarrierError:
            pass
        for r in range(rounds):
            try:
                actions[(k + r) % len(actions)]()
            except SystemError as e:
                broken.append(e)
            except Exception:
                pass

    pool = [threading.Thread(target=run, args=(k,)) for k in range(threads)]
    for t in pool:
        t.start()
    for t in pool:
        t.join()
    if broken:
        raise broken[0]


def not_owner(fn):
    """Calls `fn` on another thread: it needs the rendering context, so it must raise the
    owner-thread RuntimeError there."""
    box = []

    def run():
        try:
            fn()
            box.append(None)
        except BaseException as e:  # noqa: B036 - anything is reported back to the owner
            box.append(e)

    t = threading.Thread(target=run)
    t.start()
    t.join()
    if not box:
        raise ContractBreach("call from a non-owner thread ended its thread")
    got = box[0]
    if isinstance(got, SystemError):
        raise got
    # Which check comes first is the layer's choice (an unloaded texture may be refused before
    # the thread is looked at); succeeding, or a wrong owner-thread message, is not.
    if got is None:
        raise ContractBreach("call from a non-owner thread succeeded")
    if isinstance(got, RuntimeError) and "thread" in str(got) and OWNER_MESSAGE not in str(got):
        raise ContractBreach(f"call from a non-owner thread gave {got!r}")


def context_error(info):
    """context_info answers on every thread; what keeps the layer from drawing there is its
    error, raised here so that the owner-thread contract can check it."""
    if info["error"] is not None:
        raise RuntimeError(info["error"])
    return info


def hand_over(box):
    """Lets another thread drop the last references to the objects in `box`."""
    t = threading.Thread(target=box.clear)
    t.start()
    t.join()


def end_all_modes():
    """Ends every open drawing mode (the worker's clean-up between epochs)."""
    for end in (rl.end_shader_mode, rl.end_blend_mode, rl.end_texture_mode):
        for _ in range(10000):
            try:
                end()
            except Exception:
                break


def in_subinterpreter(code):
    """Runs `code` in a new subinterpreter; our modules must refuse to load there."""
    import _interpreters

    interp = _interpreters.create()
    try:
        _interpreters.run_string(interp, code)
    finally:
        _interpreters.destroy(interp)
