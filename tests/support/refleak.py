"""Reference-leak check: runs an operation many times and asserts that neither the reference
counts of the objects involved nor the memory traced by tracemalloc grow."""

import gc
import sys
import tracemalloc


def _settle():
    for _ in range(3):
        gc.collect()


def assert_no_leak(op, *objects, warmup=200, rounds=2000, max_bytes=4096):
    """Runs `op()` `rounds` times after `warmup` runs. `op` may raise (failure paths are
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
    tracemalloc.start()
    try:
        # Free lists keep objects freed by the warm-up, which were allocated before tracing
        # began; until the operation has cycled them all through traced allocations, their
        # replacement looks like growth (about 1000 tuples on a malloc-backed interpreter).
        run(rounds)
        _settle()
        before, _ = tracemalloc.get_traced_memory()
        run(rounds)
        _settle()
        after, _ = tracemalloc.get_traced_memory()
    finally:
        tracemalloc.stop()
    after_counts = [sys.getrefcount(o) for o in objects]
    grown = [
        (i, c0, c1) for i, (c0, c1) in enumerate(zip(counts, after_counts, strict=True)) if c0 != c1
    ]
    assert not grown, f"reference counts changed (index, before, after): {grown}"
    assert after - before <= max_bytes, f"traced memory grew by {after - before} bytes"
