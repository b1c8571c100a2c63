"""Command line: python -m tools.fuzz [--seed N] [--calls N] [--workers N] [--minutes M]"""

import argparse
import pathlib
import sys

from .runner import Options, Runner


def main(argv=None):
    d = Options()
    ap = argparse.ArgumentParser(prog="python -m tools.fuzz", description=__doc__)
    ap.add_argument("--seed", type=int, default=d.seed)
    ap.add_argument("--calls", type=int, default=d.calls, help="calls in total")
    ap.add_argument("--workers", type=int, default=d.workers, help="worker subprocesses at once")
    ap.add_argument("--minutes", type=float, default=d.minutes, help="stop starting work after")
    ap.add_argument("--chunk", type=int, default=d.chunk, help="calls per worker process")
    ap.add_argument("--epoch", type=int, default=d.epoch, help="calls between fresh set-ups")
    ap.add_argument("--out", type=pathlib.Path, default=d.out)
    ap.add_argument("--wrapper", default="", help="command that runs each worker's python")
    ap.add_argument("--hang-seconds", type=float, default=d.hang_seconds)
    ap.add_argument("--shrink-seconds", type=float, default=d.shrink_seconds)
    ap.add_argument("--max-shrunk", type=int, default=d.max_shrunk)
    ap.add_argument("--memory-mb", type=int, default=d.memory_mb, help="0: no cap")
    ap.add_argument("--plant", choices=["abort", "segv", "hang", "systemerror", "overflow"])
    ap.add_argument("--plant-at", type=int, default=-1)
    a = ap.parse_args(argv)
    opts = Options(
        seed=a.seed,
        calls=a.calls,
        workers=a.workers,
        minutes=a.minutes,
        chunk=a.chunk,
        epoch=a.epoch,
        out=a.out,
        wrapper=tuple(a.wrapper.split()) if a.wrapper else (),
        hang_seconds=a.hang_seconds,
        shrink_seconds=a.shrink_seconds,
        max_shrunk=a.max_shrunk,
        memory_mb=a.memory_mb,
        plant=a.plant,
        plant_at=a.plant_at,
    )
    result = Runner(opts).run()
    return 1 if result["findings"] else 0


if __name__ == "__main__":
    sys.exit(main())
