"""Python code run by a colour update that sets the colours again: the newer assignment's state
stands whole, and the list, the native colours, the stops and the weights agree."""

import ast

import pytest

from gradient.gradhelp import run_python, zg

G, C = zg.GradientRaylib, zg.ClickGradient
RED, GREEN, BLUE = (255, 0, 0, 255), (0, 255, 0, 255), (0, 0, 255, 255)
NEW = [RED, GREEN, BLUE, (RED, 3), GREEN]
NEWER = [(GREEN, 2), BLUE]


def native(g):
    """Native colours, stops and (ClickGradient) weights, as pickling stores them."""
    state = g.__reduce__()[2]
    return state[2], state[3], state[7] if isinstance(g, C) else None


def expected(cls, colors):
    return native(cls(list(colors)))


class Finaliser:
    def __init__(self, action):
        self.action = action

    def __del__(self):
        self.action()


@pytest.mark.parametrize("cls", [G, C])
@pytest.mark.parametrize("assign", ["setter", "init"])
def test_old_list_is_released_after_the_update(cls, assign):
    g = cls([RED])
    seen = []

    def reassign():
        seen.append(native(g))
        g.colors = NEWER

    g.raw_colors = [Finaliser(reassign)]
    if assign == "setter":
        g.colors = list(NEW)
    else:
        g.__init__(list(NEW))
    # The finaliser ran once the update had finished, and its assignment came last.
    assert seen == [expected(cls, NEW)]
    assert g.colors is NEWER
    assert native(g) == expected(cls, NEWER)


class Hook:
    """Sets the gradient's colours to NEWER the first time it runs, then raises if asked to."""

    def __init__(self, raises):
        self.gradient = None
        self.raises = raises
        self.runs = 0

    def __call__(self):
        self.runs += 1
        if self.runs == 1:
            self.gradient.colors = NEWER
        if self.raises:
            raise LookupError("hook")


class Quotient:
    def __init__(self, hook):
        self.hook = hook

    def __float__(self):
        self.hook()
        return 0.0


class Channel:
    def __init__(self, hook, in_float):
        self.hook = hook
        self.in_float = in_float

    def __truediv__(self, other):
        if self.in_float:
            return Quotient(self.hook)
        self.hook()
        return 0.0


class Weight(int):
    def __float__(self):
        self.hook()
        return 2.0


class Pair(tuple):
    def __len__(self):
        self.hook()
        return 2


def hooked_entry(route, hook):
    if route in ("channel division", "quotient float"):
        return (Channel(hook, route == "quotient float"), 0, 0, 255)
    if route == "weight float":
        weight = Weight(2)
        weight.hook = hook
        return (GREEN, weight)
    pair = Pair((GREEN, 2))
    pair.hook = hook
    return pair


@pytest.mark.parametrize("cls", [G, C])
@pytest.mark.parametrize("route", ["channel division", "quotient float", "weight float", "pair"])
@pytest.mark.parametrize("raises", [False, True])
def test_assignment_during_the_update_stands(cls, route, raises):
    g = cls([RED])
    hook = Hook(raises)
    hook.gradient = g
    later = []

    class Later:
        def __truediv__(self, other):
            later.append(other)
            return 0.0

    colors = [RED, hooked_entry(route, hook), (Later(), 0, 0, 255), GREEN, (RED, 3)]
    if raises:
        with pytest.raises(LookupError, match="hook"):
            g.colors = colors
    else:
        g.colors = colors
    assert hook.runs >= 1
    assert later == []  # the superseded update converted nothing more
    assert g.colors is NEWER
    assert native(g) == expected(cls, NEWER)


@pytest.mark.parametrize("cls", [G, C])
def test_assignment_during_the_constructor_stands(cls):
    g = cls.__new__(cls)

    class Transparency:
        def __int__(self):
            g.colors = NEWER
            return 7

    g.__init__(list(NEW), transparency=Transparency())
    assert g.colors is NEWER and g.transparency == 7
    assert native(g) == expected(cls, NEWER)


@pytest.mark.parametrize("cls", [G, C])
@pytest.mark.parametrize("change", ["append", "clear"])
def test_list_changed_by_a_weight_conversion(cls, change):
    colors = []
    weight = Weight(2)
    weight.hook = lambda: colors.append(BLUE) if change == "append" else colors.clear()
    colors.extend([RED, (GREEN, weight), BLUE])
    g = cls(colors)
    colours, stops, weights = native(g)
    assert len(colours) == len(stops)
    if cls is C:
        # Both passes read the three entries the list held when the update began.
        assert len(colours) == len(weights) == 3
        assert weights == [1.0, 2.0, 1.0]


# A compiled caller may pass the colour update a list it borrows from the gradient itself (its
# `raw_colors`), and a conversion the update runs may rebind that attribute: the update must keep
# the list alive until it has read it. Each case runs in a fresh interpreter, so that reading a
# freed list (a crash, or a sanitizer's report) fails the test instead of ending the run.
BORROWED_LIST = """
import ctypes
from zorva_ui.fast.zvraygrad import zvraygrad as zg

cls = zg.{cls}
get_pointer = ctypes.pythonapi.PyCapsule_GetPointer
get_pointer.restype = ctypes.c_void_p
get_pointer.argtypes = [ctypes.py_object, ctypes.c_char_p]
table = get_pointer(vars(cls)["__pyx_vtable__"], None)
# The list goes in as a bare pointer: the caller holds no reference of its own.
update = ctypes.PYFUNCTYPE(None, ctypes.py_object, ctypes.c_void_p)(
    ctypes.c_void_p.from_address(table).value)

events = []

class Weight(int):
    # Only the first entry holds it, and only the list holds that entry: its release tells
    # when the update let go of the entry and the list.
    def __del__(self):
        events.append("released")

class Channel(int):
    def __truediv__(self, other):
        events.append("converted")
        if events.count("converted") == 1:
            action()
        return int(self) / other

def action():
    {action}

kept = [(0, Channel(255), 0, 255), (0, 0, Channel(255), 255)]
g = cls([])
g.raw_colors = [((Channel(255), 0, 0, 255), Weight(2)), *kept]  # the list's only reference
update(g, id(g.raw_colors))
state = g.__reduce__()[2]
print((events, len(state[2]), len(state[3])))
"""


@pytest.mark.parametrize("cls", ["GradientRaylib", "ClickGradient"])
@pytest.mark.parametrize(
    "action",
    [
        # The last reference to the list goes: it must outlive the loop that reads it.
        "g.raw_colors = []",
        "g.raw_colors = None",
        # Emptied under the loop: GradientRaylib reads the list live and stops there,
        # ClickGradient reads the entries it had when the update began.
        "del g.raw_colors[:]",
    ],
)
def test_update_keeps_a_borrowed_list_alive(cls, action):
    proc = run_python(BORROWED_LIST.format(cls=cls, action=action), check=False)
    assert proc.returncode == 0, proc.stderr[-3000:]
    events, colours, stops = ast.literal_eval(proc.stdout)
    converted = 1 if cls == "GradientRaylib" and action.startswith("del") else 3
    # The first entry is let go only once the update no longer reads the list.
    assert events == ["converted"] * converted + ["released"]
    assert colours == stops == converted
