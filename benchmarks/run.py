"""Runs every benchmark of this folder (`bench_*.py`, each with a `main()` that prints its
ratios and returns True when its targets are met) and fails if any target is missed."""

import importlib.util
import pathlib
import sys


def main() -> int:
    here = pathlib.Path(__file__).parent
    sys.path.insert(0, str(here))
    failed = []
    for path in sorted(here.glob("bench_*.py")):
        spec = importlib.util.spec_from_file_location(path.stem, path)
        module = importlib.util.module_from_spec(spec)
        spec.loader.exec_module(module)
        print(f"== {path.stem}")
        if module.main() is False:
            failed.append(path.stem)
        print()
    if failed:
        print("targets missed:", ", ".join(failed))
        return 1
    print("all targets met")
    return 0


if __name__ == "__main__":
    sys.exit(main())
