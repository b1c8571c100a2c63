"""A fuzz worker: runs calls of one seed in this process, which the parent watches from outside.

    python -m tools.fuzz.worker --seed S --start A --stop B --progress FILE --results FILE
    python -m tools.fuzz.worker --seed S --indices FILE ...     (one epoch, the listed calls)

Calls run in epochs: each epoch starts from fresh set-up objects and ends by closing every
drawing mode, restoring rebound module attributes and collecting garbage, so a finding depends
only on the calls of its own epoch. The index of the call in progress is kept in a memory-mapped
file, so the parent knows which call a crash or a hang happened in."""

import argparse
import gc
import json
import mmap
import os
import pathlib
import signal
import struct
import sys
import time
import traceback
import types
import warnings

from .gen import SETUP, Generator

PRELUDE = pathlib.Path(__file__).with_name("prelude.py")
EPOCH = 500
SENTINELS = ["SENT_OBJ", "SENT_FLOAT", "SENT_TUPLE", "SENT_STR"]
# Rebindable module attributes that generated calls change; put back after every epoch.
RESTORED_MODULES = [
    "zorva_ui.fast.zvraygrad.zvraygrad",
    "zorva_ui.fast.zorvacache.zorvacache",
    "zorva_ui.fast.raylib.zorva_raylib",
    "zorva_ui.core.modules",
]

# Progress record: index of the call in progress, calls done, phase.
PROGRESS = struct.Struct("<qqq")
PHASE_SETUP, PHASE_CALL, PHASE_CLEANUP, PHASE_DONE = 1, 2, 3, 4


def load_prelude():
    module = types.ModuleType("fuzzprelude")
    module.__file__ = str(PRELUDE)
    sys.modules["fuzzprelude"] = module  # so that pickle finds the prelude's subclasses
    exec(compile(PRELUDE.read_text(), str(PRELUDE), "exec"), module.__dict__)
    return module


class Progress:
    def __init__(self, path):
        self.map = None
        if path:
            fd = os.open(path, os.O_RDWR | os.O_CREAT)
            os.ftruncate(fd, PROGRESS.size)
            self.map = mmap.mmap(fd, PROGRESS.size)
            os.close(fd)

    def set(self, index, done, phase):
        if self.map is not None:
            PROGRESS.pack_into(self.map, 0, index, done, phase)


def read_progress(path):
    try:
        with open(path, "rb") as f:
            data = f.read(PROGRESS.size)
    except OSError:
        return None
    if len(data) < PROGRESS.size:
        return None
    return PROGRESS.unpack(data)


def system_error_in(exc):
    """The SystemError raised, or chained under what was raised, if any."""
    seen = set()
    while exc is not None and id(exc) not in seen:
        seen.add(id(exc))
        if isinstance(exc, SystemError):
            return exc
        exc = exc.__cause__ or exc.__context__
    return None


def short_trace(exc):
    lines = traceback.format_exception(exc)
    text = "".join(lines)
    return text[-3000:]


class Worker:
    def __init__(self, seed, progress=None, epoch=EPOCH):
        warnings.simplefilter("ignore")
        self.prelude = load_prelude()
        self.gen = Generator(seed)
        self.epoch = epoch
        self.progress = Progress(progress)
        self.stop = False
        self.counts = {
            "calls": 0,
            "pickles": 0,
            "threads": 0,
            "owner": 0,
            "syntax": 0,
            "succeeded": 0,
            "name_errors": 0,
        }
        self.families = {}
        self.seconds = {}  # time spent per family
        self.findings = {}
        self.current = None
        self.refcounts = []
        self.saved = {}
        for name in RESTORED_MODULES:
            module = sys.modules[name]
            self.saved[name] = dict(vars(module))
        sys.unraisablehook = self._unraisable
        # The rendering context belongs to the thread that first needs it: this one.
        self.prelude.rl.context_info()

    # ---- findings --------------------------------------------------------------------------
    def record(self, kind, call, message, trace):
        key = (kind, call.target if call else "setup", message.split("\n")[0][:200])
        entry = self.findings.get(key)
        if entry is None:
            self.findings[key] = {
                "kind": kind,
                "index": call.index if call else -1,
                "target": call.target if call else "setup",
                "message": message[:2000],
                "trace": trace,
                "count": 1,
            }
        else:
            entry["count"] += 1

    def _unraisable(self, info):
        found = system_error_in(info.exc_value)
        if found is not None:
            self.record("SystemError (unraisable)", self.current, repr(found), short_trace(found))

    # ---- epochs ----------------------------------------------------------------------------
    def setup(self):
        ns = dict(self.prelude.__dict__)
        ns["__name__"] = "__fuzz__"
        for _, line in SETUP:
            try:
                exec(line, ns)
            except SystemError as e:
                self.record("SystemError", None, f"{line}: {e!r}", short_trace(e))
            except Exception:
                pass
        return ns

    def cleanup(self, ns):
        p = self.prelude
        p.end_all_modes()
        try:
            p.rl.trace_stop()
        except Exception:
            pass
        for name, saved in self.saved.items():
            module = sys.modules[name]
            current = vars(module)
            for key in [k for k in current if k not in saved]:
                delattr(module, key)
            for key, value in saved.items():
                if current.get(key, None) is not value:
                    setattr(module, key, value)
        p.GSub.act = None
        p.ClickSub.depth = 0
        p.V2Hook.act = p.V2Hook.fake = None
        ns.clear()
        gc.collect()
        gc.collect()

    def sentinel_counts(self):
        return [sys.getrefcount(getattr(self.prelude, name)) for name in SENTINELS]

    def run_call(self, ns, index):
        call = self.gen.call(index)
        self.current = call
        self.families[call.family] = self.families.get(call.family, 0) + 1
        if call.family in ("pickle", "copy"):
            self.counts["pickles"] += 1
        elif call.family == "threads":
            self.counts["threads"] += 1
        elif call.family == "owner":
            self.counts["owner"] += 1
        try:
            code = compile(call.source, f"<call {index}>", "exec")
        except SyntaxError as e:
            self.counts["syntax"] += 1
            self.record("generator", call, repr(e), call.source)
            return
        t0 = time.perf_counter()
        try:
            exec(code, ns)
            self.counts["succeeded"] += 1
        except self.prelude.ContractBreach as e:
            self.record("contract", call, str(e), short_trace(e))
        except Exception as e:
            if type(e) is NameError:
                self.counts["name_errors"] += 1  # few expected: a rebound set-up name
            found = system_error_in(e)
            if found is not None:
                self.record("SystemError", call, repr(found), short_trace(found))
        finally:
            broken = self.prelude.BROKEN
            while broken:
                e = broken.pop()
                self.record("SystemError (in a hook)", call, repr(e), short_trace(e))
            self.current = None
            spent = time.perf_counter() - t0
            self.seconds[call.family] = self.seconds.get(call.family, 0.0) + spent
        self.counts["calls"] += 1

    def run_range(self, start, stop):
        index = start
        while index < stop and not self.stop:
            epoch_end = min(stop, (index // self.epoch + 1) * self.epoch)
            self.run_epoch(range(index, epoch_end))
            index = epoch_end
            self.refcounts.append([index] + self.sentinel_counts())

    def run_epoch(self, indices):
        first = indices[0] if len(indices) else -1
        self.progress.set(first, self.counts["calls"], PHASE_SETUP)
        ns = self.setup()
        for index in indices:
            if self.stop:
                break
            self.progress.set(index, self.counts["calls"], PHASE_CALL)
            self.run_call(ns, index)
        self.progress.set(first, self.counts["calls"], PHASE_CLEANUP)
        self.cleanup(ns)
        del ns

    def leak_findings(self, threshold=16):
        """Sentinels whose reference counts grew across the worker's epochs."""
        rows = self.refcounts
        if len(rows) < 3:
            return
        base = rows[0]
        last = rows[-1]
        for k, name in enumerate(SENTINELS, start=1):
            grown = last[k] - base[k]
            if grown > threshold:
                steps = [(rows[i][0], rows[i][k] - rows[i - 1][k]) for i in range(1, len(rows))]
                worst = max(steps, key=lambda s: s[1])
                end = worst[0]
                start = ((end - 1) // self.epoch) * self.epoch
                self.findings[("leak", name, "")] = {
                    "kind": "leak",
                    "index": end - 1,
                    "target": name,
                    "message": f"sys.getrefcount({name}) grew by {grown} over the worker's "
                    f"epochs; most ({worst[1]}) in the epoch of calls {start}..{end - 1}",
                    "trace": "",
                    "count": 1,
                    "epoch": [start, end],
                    "sentinel": name,
                }

    def results(self):
        return {
            "counts": self.counts,
            "families": self.families,
            "seconds": self.seconds,
            "findings": list(self.findings.values()),
            "refcounts": self.refcounts[-5:],
        }


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--seed", type=int, required=True)
    ap.add_argument("--start", type=int, default=0)
    ap.add_argument("--stop", type=int, default=0)
    ap.add_argument("--indices", help="JSON file: a list of call indices, replayed as one epoch")
    ap.add_argument("--epoch", type=int, default=EPOCH)
    ap.add_argument("--progress")
    ap.add_argument("--results")
    ap.add_argument("--plant", choices=sorted(PLANTS), default=None)
    ap.add_argument("--plant-at", type=int, default=-1)
    args = ap.parse_args(argv)

    worker = Worker(args.seed, args.progress, args.epoch)

    def on_stop(signum, frame):
        worker.stop = True

    signal.signal(signal.SIGUSR1, on_stop)
    if args.plant:
        plant(worker.gen, args.plant, args.plant_at)
    if args.indices:
        indices = json.loads(pathlib.Path(args.indices).read_text())
        before = worker.sentinel_counts()
        worker.run_epoch(indices)
        after = worker.sentinel_counts()
        out = worker.results()
        out["leak"] = {n: a - b for n, a, b in zip(SENTINELS, after, before, strict=True)}
    else:
        worker.run_range(args.start, args.stop)
        worker.leak_findings()
        out = worker.results()
    worker.progress.set(-1, worker.counts["calls"], PHASE_DONE)
    if args.results:
        pathlib.Path(args.results).write_text(json.dumps(out))
    else:
        print(json.dumps(out))
    sys.stdout.flush()
    sys.stderr.flush()
    # Skip interpreter finalisation: a crash there would be no call's fault.
    os._exit(0)


PLANTS = {
    "abort": "os.abort()",
    "segv": "import ctypes\nctypes.string_at(0)",
    "hang": "import time\nwhile True:\n    time.sleep(1)",
    "systemerror": "raise SystemError('planted')",
    # Seen only with the sanitizer runtime loaded: an out-of-bounds read it intercepts.
    "overflow": "import ctypes\n"
    "ctypes.memmove(ctypes.create_string_buffer(64), ctypes.create_string_buffer(8), 64)",
}


def plant(gen, what, at):
    """Test hook: makes call `at` crash, hang or raise SystemError on purpose, to check that
    the parent catches, saves and reports it. The parent plants the same call in its own
    generator so that its reproducer shows it."""
    real = gen.call

    def call(index):
        c = real(index)
        if index != at:
            return c
        return type(c)(c.index, "planted", "planted " + what, PLANTS[what])

    gen.call = call


if __name__ == "__main__":
    main()
