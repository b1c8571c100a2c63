"""Cache hot paths against a dict keyed by the same members, measured in one run.

Each pair is timed in alternating rounds (so that load on the machine hits both alike); the
per-call medians are compared. `c_get` through the operation table is timed from a compiled
caller built by the test suite's helper."""

import pathlib
import statistics
import sys
import timeit

from zorva_ui.core.enums import CacheType
from zorva_ui.fast.zorvacache.zorvacache import Cache

ROOT = pathlib.Path(__file__).resolve().parents[1]
ROUNDS = 15
CALLS = 100_000

# (label, cache statement, dict statement, highest accepted ratio)
PAIRS = [
    ("get", "cache.get(m)", "d.get(m)", 0.5),
    ("[]", "cache[m]", "d[m]", 0.5),
    ("set", "cache.set(m, v)", "d[m] = v", 0.6),
    ("get_or_set_val", "cache.get_or_set_val(m, v)", "d.setdefault(m, v)", 0.7),
    ("cache.NAME", "cache.TEXTURE", "d[m]", 0.6),
]
C_GET_LIMIT_NS = 5.0


def per_call_ns(stmt, namespace):
    return timeit.timeit(stmt, globals=namespace, number=CALLS) / CALLS * 1e9


def measure_pair(cache_stmt, dict_stmt, namespace):
    ours, theirs = [], []
    for _ in range(ROUNDS):
        ours.append(per_call_ns(cache_stmt, namespace))
        theirs.append(per_call_ns(dict_stmt, namespace))
    return statistics.median(ours), statistics.median(theirs)


def measure_c_get(cache, key):
    sys.path.insert(0, str(ROOT / "tests"))
    from support.cython_build import build_and_import

    consumer = build_and_import(ROOT / "tests" / "cache" / "consumer" / "cache_consumer.pyx")
    return statistics.median(consumer.get_loop_ns(cache, key, 2_000_000) for _ in range(ROUNDS))


def main():
    m = CacheType.TEXTURE
    cache = Cache()
    cache.set(m, "texture")
    d = {member: None for member in CacheType}
    d[m] = "texture"
    namespace = {"cache": cache, "d": d, "m": m, "v": "texture"}

    ok = True
    print(f"{'operation':<16}{'cache ns':>10}{'dict ns':>10}{'ratio':>8}{'target':>8}")
    for label, cache_stmt, dict_stmt, limit in PAIRS:
        ours, theirs = measure_pair(cache_stmt, dict_stmt, namespace)
        ratio = ours / theirs
        met = ratio <= limit
        ok &= met
        print(
            f"{label:<16}{ours:>10.1f}{theirs:>10.1f}{ratio:>8.2f}{limit:>8.2f}"
            f"{'' if met else '  MISSED'}"
        )
    c_get = measure_c_get(cache, m.value)
    met = c_get < C_GET_LIMIT_NS
    ok &= met
    print(f"{'c_get (native)':<16}{c_get:>10.2f}{'':>18}{'< 5 ns':>8}{'' if met else '  MISSED'}")
    return ok


if __name__ == "__main__":
    sys.exit(0 if main() else 1)
