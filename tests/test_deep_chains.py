"""Freeing a long chain of objects that hold one another takes no stack per link: a million on
the main thread, and 50,000 on a thread with a small stack. Each chain runs in its own
interpreter, so that a crash fails the test instead of ending the run."""

import os
import subprocess
import sys
import textwrap

import pytest

SCRIPT = textwrap.dedent(
    """
    import sys
    import threading

    from zorva_ui.core.enums import CacheType
    from zorva_ui.fast.zorvacache.zorvacache import Cache
    from zorva_ui.fast.zvraygrad import zvraygrad as zg

    KIND, LENGTH, STACK = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    KEY = next(iter(CacheType))
    finalised = []


    class Sentinel:
        def __del__(self):
            finalised.append("end")


    class Sub(zg.ClickGradient):
        def __del__(self):
            finalised.append("sub")


    def link(inner):
        if KIND == "Cache":
            cache = Cache()
            cache.set(KEY, inner)
            return cache
        cls = {"GradientRaylib": zg.GradientRaylib, "ClickGradient": zg.ClickGradient,
               "subclass": Sub}[KIND]
        gradient = cls.__new__(cls)
        gradient.type = inner
        return gradient


    def run():
        chain = Sentinel()
        for _ in range(LENGTH):
            chain = link(chain)
        del chain
        subs = LENGTH if KIND == "subclass" else 0
        assert finalised == ["sub"] * subs + ["end"], (len(finalised), finalised[-1:])
        print("freed")


    if STACK:
        threading.stack_size(STACK)
        thread = threading.Thread(target=run)
        thread.start()
        thread.join()
    else:
        run()
    """
)


OWN_TYPES = ["GradientRaylib", "ClickGradient", "Cache"]
# The trashcan bounds the nesting by a count of calls, not bytes: sanitizer-instrumented frames
# need a larger stack for the same count, still far below what 50,000 nested calls would take.
SMALL_STACK = (1024 if "ZORVA_SANITIZED" in os.environ else 512) * 1024


# A Python subclass is freed through the interpreter's own guarded deallocation, which calls
# ours for the base part: checked on the main thread. On the small stack its frames do not fit
# the interpreter's depth limit even for plain Python classes, so that case is not ours to meet.
@pytest.mark.parametrize(
    "kind, stack, length",
    [(kind, "main", 1_000_000) for kind in [*OWN_TYPES, "subclass"]]
    + [(kind, "thread", 50_000) for kind in OWN_TYPES],
)
def test_long_chain_is_freed(kind, stack, length):
    stack_size = SMALL_STACK if stack == "thread" else 0  # 0: the main thread
    proc = subprocess.run(
        [sys.executable, "-c", SCRIPT, kind, str(length), str(stack_size)],
        capture_output=True,
        text=True,
        timeout=600,
    )
    assert proc.returncode == 0 and proc.stdout == "freed\n", (proc.returncode, proc.stderr[-2000:])
