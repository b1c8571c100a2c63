"""The worker's own machinery: epoch clean-up, the owner-thread and thread-storm helpers, and the
reference-drift check."""

import sys

import pytest

from tools.fuzz.gen import Call
from tools.fuzz.worker import SENTINELS, Worker


@pytest.fixture
def worker():
    hook = sys.unraisablehook
    w = Worker(seed=3, epoch=10)
    yield w
    sys.unraisablehook = hook


def test_cleanup_restores_rebound_modules_and_ends_open_modes(worker):
    p = worker.prelude
    ns = worker.setup()
    exec("zc.CacheType = None\nmd.rl = None\nrl.begin_blend_mode(1)\nrl.trace_start()", ns)
    exec("rl.begin_texture_mode(rt0.render_texture)\nGSub.act = print", ns)
    worker.cleanup(ns)
    assert p.zc.CacheType is p.CT and p.md.rl is p.rl and p.GSub.act is None
    for end in (p.rl.end_blend_mode, p.rl.end_texture_mode):
        with pytest.raises(RuntimeError):
            end()
    assert p.rl.trace_stop() in (None, [])
    assert ns == {}


def test_call_from_another_thread_must_be_refused(worker):
    p = worker.prelude
    p.not_owner(lambda: p.rl.begin_blend_mode(0))
    with pytest.raises(p.ContractBreach):
        p.not_owner(lambda: None)


def test_hammer_raises_a_system_error_seen_in_any_thread(worker):
    p = worker.prelude

    def broken():
        raise SystemError("from a thread")

    with pytest.raises(SystemError):
        p.hammer([lambda: None, broken], threads=4, rounds=2)
    p.hammer([lambda: 1 / 0], threads=4, rounds=2)  # ordinary exceptions are expected


def test_system_error_and_contract_breach_are_recorded(worker):
    sources = {0: "raise SystemError('x')", 1: "not_owner(lambda: None)", 2: "1 / 0"}
    worker.gen.call = lambda i: Call(i, "entry", f"t{i}", sources[i])
    worker.run_epoch(range(3))
    kinds = {f["kind"]: f["index"] for f in worker.findings.values()}
    assert kinds == {"SystemError": 0, "contract": 1}


def test_system_error_inside_a_hook_is_recorded(worker):
    # A hook swallows what its action raises, except a SystemError: that one the worker must
    # still see, although the call itself succeeds.
    def raise_system_error():
        raise SystemError("inside a conversion")

    worker.prelude.raise_system_error = raise_system_error
    source = "int(Hook(1, raise_system_error))"
    worker.gen.call = lambda i: Call(i, "reentry", "hooked", source)
    worker.run_epoch(range(1))
    [f] = worker.findings.values()
    assert f["kind"] == "SystemError (in a hook)" and "inside a conversion" in f["message"]


def test_growing_sentinel_refcount_is_a_leak(worker):
    leaked = []
    source = "SENT_OBJ.__class__\n_keep(SENT_OBJ)"
    worker.gen.call = lambda i: Call(i, "entry", "leaky", source)
    worker.prelude._keep = leaked.append  # outlives every epoch, as a leaked reference would
    worker.run_range(0, 300)
    worker.leak_findings()
    [f] = worker.findings.values()
    assert f["kind"] == "leak" and f["sentinel"] == SENTINELS[0]
    assert f["epoch"][1] - f["epoch"][0] == 10


def test_steady_refcounts_are_no_leak(worker):
    worker.gen.call = lambda i: Call(i, "entry", "steady", "c0.set(CT.FONT, SENT_OBJ)")
    worker.run_range(0, 300)
    worker.leak_findings()
    assert not worker.findings
