"""docs/api.md against the modules: what it claims about signatures, defaults and the cache's
slots holds, and every drawing function it lists exists."""

import inspect
import pathlib
import re

import pytest

from zorva_ui.core import GradientType
from zorva_ui.core.enums import CacheType
from zorva_ui.fast.raylib import zorva_raylib as rl
from zorva_ui.fast.zorvacache.zorvacache import Cache
from zorva_ui.fast.zvraygrad.zvraygrad import ClickGradient, GradientRaylib

DOC = (pathlib.Path(__file__).resolve().parents[1] / "docs" / "api.md").read_text()
HEADINGS = dict(re.findall(r"^### `(\w+)(\(.*\))`$", DOC, re.M))


@pytest.mark.parametrize(
    "cls, default", [(GradientRaylib, GradientType.Linear), (ClickGradient, GradientType.Radial)]
)
def test_constructor_headings_match_signature_and_default(cls, default):
    documented = HEADINGS[cls.__name__]
    # inspect evaluates defaults to plain constants only; the doc says the kind's shows so.
    shown = str(inspect.signature(cls)).replace("type=Ellipsis", f"type={default}")
    assert documented == shown
    assert inspect.signature(cls).parameters["type"].default is Ellipsis
    assert "type=Ellipsis" in DOC
    assert cls([(0, 0, 0, 255)]).type is default


def test_cache_slot_claims():
    slots, members = map(
        int, re.search(r"(\d+) slots .*?the (\d+) `CacheType`", DOC, re.S).groups()
    )
    assert members == len(CacheType)
    assert sorted(m.value for m in CacheType) == list(range(members))
    cache = Cache()
    key = type("Key", (), {})()
    key.value = slots - 1
    cache.set(key, "last")
    assert cache.get(key) == "last"
    key.value = slots
    with pytest.raises(Exception):  # noqa: B017 (the cache's own out-of-range error)
        cache.set(key, "past the end")


def test_listed_drawing_functions_exist():
    table = DOC.split("| Function | |")[1].split("\n\n")[0]
    names = set(re.findall(r"`(\w+)\(", table))
    assert names and {n for n in names if not hasattr(rl, n)} == set()
