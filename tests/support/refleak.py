"""Reference-leak check: runs an operation many times and asserts that neither the reference
counts of the objects involved nor the memory traced by tracemalloc grow."""

import gc
import sys
import tracemalloc


def _settle():
    for _ in range(3):
        gc.collect()


def assert_no_leak(op, *objects, warmup=200, rounds=2000, max_bytes=4096):
    """Runs `op()` about 1.5 x `rounds` times after `warmup` runs. `op` may raise (failure paths are
    checked too): exceptions are swallowed, so pass the expected ones through your own
    try/except if their type matters. Objects in `objects` must keep their refcounts."""

    def run(n):
        for _ in range(n):
            try:
                op()
            except Exception:
                pass

    run(warmup)
    _settle()
    counts = [sys.getrefcount(o) for o in objects]
    # Free lists keep objects freed by the warm-up, which were allocated before tracing began;
    # until the operation has cycled them through traced allocations, their replacement looks
    # like growth (about 1000 tuples on a malloc-backed interpreter). How full they are also
    # depends on when the collector last freed cyclic garbage, so it runs only in _settle, and
    # a leak must show in each of two windows.
    gc_was_enabled = gc.isenabled()
    gc.disable()
    tracemalloc.start()
    try:
        run(rounds // 2)
        _settle()
        growth = []
        for _ in range(2):
            before, _ = tracemalloc.get_traced_memory()
            run(rounds // 2)
            _settle()
            after, _ = tracemalloc.get_traced_memory()
            growth.append(after - before)
    finally:
        tracemalloc.stop()
        if gc_was_enabled:
            gc.enable()
    after_counts = [sys.getrefcount(o) for o in objects]
    grown = [
        (i, c0, c1) for i, (c0, c1) in enumerate(zip(counts, after_counts, strict=True)) if c0 != c1
    ]
    assert not grown, f"reference counts changed (index, before, after): {grown}"
    assert min(growth) <= max_bytes, f"traced memory grew in every window: {growth} bytes"
