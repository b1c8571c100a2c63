"""A/B of the cache's full-width reference-count increment (`slot_new_ref` in
fast/zorvacache/cache_slots.h) against the plain `Py_NewRef`.

Both variants of the cache module are built from this tree into build/refcount-ab (one CMake
configure each, the release flags, only the cache target), loaded side by side into this one
process, and `cache.get(m)` and `cache[m]` are timed in rounds of rotating order so that load
on the machine hits all alike. Per-call medians and the ratios to the full-width variant are
printed: plain above 1.0 means the technique gains. A copy of the full-width library, loaded as
a third module, gives the noise of the comparison (its ratio would be 1.0 on a quiet machine).
Not part of the test suite.

    python benchmarks/bench_refcount.py                   # build (if needed) and compare
    python benchmarks/bench_refcount.py --load a=X.so --load b=Y.so --all  # any two builds
"""

import argparse
import importlib.util
import pathlib
import shutil
import statistics
import subprocess
import sys
import timeit

ROOT = pathlib.Path(__file__).resolve().parents[1]
BUILD = ROOT / "build" / "refcount-ab"
MODULE = "zorva_ui.fast.zorvacache.zorvacache"
VARIANTS = {"full-width": "OFF", "plain": "ON"}  # ZORVA_CACHE_PLAIN_NEWREF
STATEMENTS = {"get": "cache.get(m)", "[]": "cache[m]"}
# With --all: the other hot paths, for comparing two builds of other changes.
MORE_STATEMENTS = {"set": "cache.set(m, v)", "cache.NAME": "cache.TEXTURE"}


def tool(name):
    """CMake and Ninja from the interpreter's environment first (the project's venv has them)."""
    found = shutil.which(name, path=str(pathlib.Path(sys.executable).parent)) or shutil.which(name)
    if found is None:
        sys.exit(f"{name} not found: run `make build` first")
    return found


def build(variant, plain):
    folder = BUILD / variant
    subprocess.run(
        [
            tool("cmake"),
            "-S",
            str(ROOT),
            "-B",
            str(folder),
            "-G",
            "Ninja",
            f"-DCMAKE_MAKE_PROGRAM={tool('ninja')}",
            "-DCMAKE_BUILD_TYPE=Release",
            f"-DPython_EXECUTABLE={sys.executable}",
            f"-DZORVA_CACHE_PLAIN_NEWREF={plain}",
        ],
        check=True,
        stdout=subprocess.DEVNULL,
    )
    subprocess.run(
        [tool("cmake"), "--build", str(folder), "--target", "zorvacache"],
        check=True,
        stdout=subprocess.DEVNULL,
    )
    (library,) = folder.glob("zorvacache*.so")
    return library


def load(path):
    """The module from `path`, beside the installed one: sys.modules keeps the installed one,
    and each library keeps its own state, so both run in this process."""
    spec = importlib.util.spec_from_file_location(MODULE, path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def namespace(module):
    from zorva_ui.core.enums import CacheType

    m = CacheType.TEXTURE
    cache = module.Cache()
    # A mortal object, as a widget's cached values are: a literal "texture" would be interned,
    # hence immortal, and neither variant would touch its count.
    cache.set(m, "".join(["tex", "ture"]))
    return {"cache": cache, "m": m, "v": cache.get(m)}


def compare(modules, rounds, calls, statements):
    """Times each statement on each module, the modules in a rotating order per round; prints
    the medians and each module's ratio to the first."""
    spaces = {name: namespace(module) for name, module in modules.items()}
    names = list(modules)
    times = {(name, label): [] for name in names for label in statements}
    for r in range(rounds):
        order = names[r % len(names) :] + names[: r % len(names)]
        for label, stmt in statements.items():
            for name in order:
                seconds = timeit.timeit(stmt, globals=spaces[name], number=calls)
                times[name, label].append(seconds / calls * 1e9)
    medians = {key: statistics.median(values) for key, values in times.items()}
    first = names[0]
    header = "".join(f"{name:>16}" for name in names)
    ratios = "".join(f"{f'{name} / {first}':>24}" for name in names[1:])
    print(f"{'operation':<12}{header}{ratios}")
    for label in statements:
        cells = "".join(f"{medians[name, label]:>14.2f}ns" for name in names)
        cells += "".join(
            f"{medians[name, label] / medians[first, label]:>24.3f}" for name in names[1:]
        )
        print(f"{label:<12}{cells}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--load", action="append", metavar="NAME=PATH", default=[])
    parser.add_argument("--rounds", type=int, default=31)
    parser.add_argument("--calls", type=int, default=200_000)
    parser.add_argument("--all", action="store_true", help="also set and cache.NAME")
    args = parser.parse_args()
    if args.load:
        paths = dict(item.split("=", 1) for item in args.load)
        if len(paths) < 2:
            parser.error("give two or more --load NAME=PATH")
    else:
        paths = {name: build(name, plain) for name, plain in VARIANTS.items()}
        # The same library once more under another path: its ratio to the first is the noise.
        control = BUILD / "control" / paths["full-width"].name
        control.parent.mkdir(exist_ok=True)
        shutil.copyfile(paths["full-width"], control)
        paths["control"] = control
    modules = {name: load(path) for name, path in paths.items()}
    statements = {**STATEMENTS, **(MORE_STATEMENTS if args.all else {})}
    compare(modules, args.rounds, args.calls, statements)


if __name__ == "__main__":
    main()
