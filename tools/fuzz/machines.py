"""Model-based runs of the cache and the gradients: hypothesis state machines that apply random
sequences of operations to the native objects and to plain models of them (a dict for the
cache; the operations' values and the CPU renderer `GradientPygame` for the gradients) and
check after every step that the two agree: values, properties, pickles, the uniforms the
gradient sends to the layer (through its trace) and the pictures it renders.

Command line (the long run of `make fuzz`):
    python -m tools.fuzz.machines [--examples N] [--steps N] [--random] [--machine NAME]"""

import argparse
import copy
import pickle
import struct
import sys

import numpy as np
from hypothesis import HealthCheck, settings
from hypothesis import strategies as st
from hypothesis.stateful import (
    RuleBasedStateMachine,
    initialize,
    invariant,
    precondition,
    rule,
    run_state_machine_as_test,
)

from zorva_ui.core import GradientType
from zorva_ui.core.enums import CacheType
from zorva_ui.fast.raylib import zorva_raylib as rl
from zorva_ui.fast.zorvacache.zorvacache import Cache
from zorva_ui.fast.zvraygrad import zvraygrad as zg
from zorva_ui.rendering.pygame.gradient import GradientPygame

SLOTS = 32
MEMBERS = list(CacheType)
PICTURE_TOLERANCE = 2  # the shader against the CPU renderer, per channel


def f32(value):
    return struct.unpack("f", struct.pack("f", value))[0]


# ---- the cache against a dict ---------------------------------------------------------------


class Key:
    """A key that is not a member: any object whose `value` is a slot."""

    def __init__(self, value):
        self.value = value

    def __repr__(self):
        return f"Key({self.value})"


# Three members come up often, so that operations meet slots that earlier ones filled.
members = st.sampled_from(MEMBERS[:3]) | st.sampled_from(MEMBERS)
keys = members | st.builds(Key, st.integers(0, SLOTS - 1))
values = st.none() | st.integers(-5, 5) | st.text(max_size=3) | st.tuples(st.integers(0, 3))
member_lists = st.none() | st.lists(members, max_size=4)


class CacheMachine(RuleBasedStateMachine):
    def __init__(self):
        super().__init__()
        self.cache = Cache()
        self.model = {}  # slot -> value; an empty slot is absent

    def _store(self, slot, value):
        if value is None:
            self.model.pop(slot, None)
        else:
            self.model[slot] = value

    @rule(key=keys, value=values)
    def set(self, key, value):
        self.cache.set(key, value)
        self._store(key.value, value)

    @rule(key=keys)
    def get(self, key):
        assert self.cache.get(key) == self.model.get(key.value)

    @rule(member=members)
    def read_by_item_and_name(self, member):
        expected = self.model.get(member.value)
        assert self.cache[member] == expected
        assert getattr(self.cache, member.name) == expected

    @rule(key=keys, value=values)
    def get_or_set_val(self, key, value):
        expected = self.model.get(key.value)
        if expected is None:
            expected = value
            self._store(key.value, value)
        assert self.cache.get_or_set_val(key, value) == expected

    @rule(key=keys, value=values)
    def get_or_exec(self, key, value):
        calls = []
        expected = self.model.get(key.value)
        result = self.cache.get_or_exec(key, lambda: calls.append(1) or value)
        assert len(calls) == (expected is None)
        if expected is None:
            expected = value
            self._store(key.value, value)
        assert result == expected

    @rule()
    def clear(self):
        self.cache.clear()
        self.model.clear()

    @rule(blacklist=member_lists, whitelist=member_lists)
    def clear_selected(self, blacklist, whitelist):
        self.cache.clear_selected(blacklist, whitelist)
        for member in whitelist or MEMBERS:
            if member not in (blacklist or ()):
                self.model.pop(member.value, None)

    @rule(key=keys, deep=st.booleans())
    def copy_is_separate(self, key, deep):
        other = copy.deepcopy(self.cache) if deep else self.cache.copy()
        assert type(other) is Cache
        for slot in range(SLOTS):
            assert other.get(Key(slot)) is self.cache.get(Key(slot))  # values shared
        other.set(key, "changed in the copy")
        assert self.cache.get(key) == self.model.get(key.value)

    @rule(protocol=st.integers(0, pickle.HIGHEST_PROTOCOL))
    def pickle_round_trip(self, protocol):
        self.cache = pickle.loads(pickle.dumps(self.cache, protocol))

    @invariant()
    def slots_agree(self):
        assert [self.cache.get(Key(s)) for s in range(SLOTS)] == [
            self.model.get(s) for s in range(SLOTS)
        ]


# ---- the gradients against their operations and the CPU renderer -----------------------------

channels = st.integers(0, 255)
colours = st.tuples(channels, channels, channels, channels)
weights = st.floats(0.0, 4.0, allow_nan=False, width=32)
entries = colours | st.tuples(colours, weights)
colour_lists = st.lists(entries, min_size=1, max_size=5)
angles = st.floats(-720.0, 720.0, allow_nan=False, width=32)
centres = st.tuples(st.floats(-0.5, 1.5, width=32), st.floats(-0.5, 1.5, width=32))
kinds = st.sampled_from([GradientType.Linear, GradientType.Radial])
sizes = st.integers(1, 9)
SETTERS = {
    "set_zvshader_value_int",
    "set_zvshader_value_float",
    "set_zvshader_value_vec2_zvvec",
    "set_zvshader_value_vec4_v",
    "set_zvshader_value_float_v",
}


def weights_of(colors):
    return [f32(item[1]) if isinstance(item[0], tuple) else 1.0 for item in colors]


class GradientMachine(RuleBasedStateMachine):
    """One GradientRaylib or ClickGradient, and what its operations should have made of it."""

    @initialize(click=st.booleans(), colors=colour_lists, kind=kinds, angle=angles, centre=centres)
    def create(self, click, colors, kind, angle, centre):
        cls = zg.ClickGradient if click else zg.GradientRaylib
        self.click = click
        self.g = cls(colors, type=kind, angle=angle, center=centre)
        self.colors, self.weights = colors, weights_of(colors)
        self.kind, self.angle, self.centre, self.transparency = kind, f32(angle), centre, 255
        self.pickled = False  # the colour list is equal, no longer the same object

    def model(self):
        pairs = [
            (item[0] if isinstance(item[0], tuple) else item, weight)
            for item, weight in zip(self.colors, self.weights, strict=True)
        ]
        return GradientPygame(
            pairs,
            type=self.kind,
            angle=self.angle,
            center=self.centre,
            transparency=self.transparency,
        )

    @rule(colors=colour_lists)
    def set_colors(self, colors):
        self.g.colors = colors
        self.colors, self.weights, self.pickled = colors, weights_of(colors), False

    @rule(angle=angles)
    def set_angle(self, angle):
        self.g.angle = angle
        self.angle = f32(angle)

    @rule(centre=centres)
    def set_centre(self, centre):
        self.g.center = centre
        self.centre = centre

    @rule(value=st.integers(0, 255))
    def set_transparency(self, value):
        self.g.transparency = value
        self.transparency = value

    @rule(kind=kinds)
    def set_type(self, kind):
        self.g.type = kind
        self.kind = kind

    @precondition(lambda self: self.click)
    @rule(data=st.data(), weight=weights)
    def set_weight(self, data, weight):
        index = data.draw(st.integers(0, len(self.weights) - 1))
        self.g.set_weight(index, weight)
        self.weights[index] = f32(weight)

    @rule(protocol=st.integers(0, pickle.HIGHEST_PROTOCOL))
    def pickle_round_trip(self, protocol):
        self.g = pickle.loads(pickle.dumps(self.g, protocol))
        self.pickled = True

    @rule()
    def uniforms_sent(self):
        rl.trace_start()
        try:
            self.g.generate_texture(3, 2).unload()
        finally:
            records = [r for r in rl.trace_stop() if r[0] in SETTERS]
        model = self.model()
        sent = [r[3] for r in records]
        assert len(sent) == 8, records
        kind, angle, centre, count, alpha, colors, stops, size = sent
        assert (kind, angle, count, alpha, size) == (
            model.gradient_type_int,
            model.angle,
            len(self.colors),
            1.0,
            (3.0, 2.0),
        )
        assert centre == self.centre
        assert np.allclose(colors, model.normalized_colors, rtol=0, atol=1e-6)
        assert np.allclose(stops, model.stops, rtol=0, atol=1e-6)

    @rule(width=sizes, height=sizes)
    def picture(self, width, height):
        texture = self.g.generate_texture(width, height)
        try:
            gpu = np.frombuffer(texture.read_pixels(), np.uint8).reshape(height, width, 4)
        finally:
            texture.unload()
        cpu = self.model().render(width, height)
        difference = np.abs(gpu.astype(int) - cpu.astype(int)).max()
        assert difference <= PICTURE_TOLERANCE, (difference, gpu.tolist(), cpu.tolist())

    @invariant()
    def properties_agree(self):
        if not hasattr(self, "g"):
            return
        g = self.g
        assert g.colors == self.colors and (self.pickled or g.colors is self.colors)
        assert (g.angle, g.transparency, g.type) == (self.angle, self.transparency, self.kind)
        assert (g.center.x, g.center.y) == self.centre
        if self.click:
            assert g.weights == self.weights


MACHINES = {"cache": CacheMachine, "gradient": GradientMachine}


def run(name, *, examples, steps, randomize=False):
    """Runs one machine: `examples` sequences of at most `steps` operations; the same sequences
    on every run unless `randomize`. A disagreement raises with the shrunk steps that show it."""
    options = settings(
        max_examples=examples,
        stateful_step_count=steps,
        deadline=None,
        database=None,
        derandomize=not randomize,
        suppress_health_check=list(HealthCheck),
    )
    run_state_machine_as_test(MACHINES[name], settings=options)


def main(argv=None):
    ap = argparse.ArgumentParser(prog="python -m tools.fuzz.machines", description=__doc__)
    ap.add_argument("--examples", type=int, default=2000, help="sequences per machine")
    ap.add_argument("--steps", type=int, default=60, help="operations per sequence at most")
    ap.add_argument("--random", action="store_true", help="new sequences on every run")
    ap.add_argument("--machine", choices=sorted(MACHINES), action="append")
    a = ap.parse_args(argv)
    for name in a.machine or sorted(MACHINES):
        print(f"{name}: {a.examples} sequences of up to {a.steps} operations", flush=True)
        run(name, examples=a.examples, steps=a.steps, randomize=a.random)
    print("no disagreement found")
    return 0


if __name__ == "__main__":
    sys.exit(main())
