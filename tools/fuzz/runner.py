"""The parent: hands chunks of call indices to worker subprocesses, watches them, and turns a
crash, a hang, a sanitizer report, a SystemError, a broken thread contract or a reference leak
into a finding with its input saved under the output folder and a shrunk reproducer printed."""

import dataclasses
import json
import os
import pathlib
import re
import resource
import signal
import subprocess
import sys
import tempfile
import time

from . import repro
from .gen import Generator
from .worker import EPOCH, PHASE_CALL, PHASE_SETUP, plant, read_progress

ROOT = pathlib.Path(__file__).resolve().parents[2]
SANITIZER = re.compile(
    r"(ERROR: AddressSanitizer: [\w-]+|ERROR: LeakSanitizer|runtime error: [^\n]{0,80}"
    r"|ThreadSanitizer)"
)
FATAL = re.compile(r"Fatal Python error: ([^\n]{0,80})")


def crash_signature(rc, stderr):
    fatal = FATAL.search(stderr)
    if fatal:
        return "Fatal Python error: " + fatal.group(1)
    if rc < 0:
        return f"killed by {signal.Signals(-rc).name}"
    return f"exit status {rc}"


@dataclasses.dataclass
class Options:
    seed: int = 20240601
    calls: int = 1_000_000
    workers: int = 2
    minutes: float = 19.0
    chunk: int = 50_000
    epoch: int = EPOCH
    out: pathlib.Path = ROOT / "out" / "fuzz"
    python: str = sys.executable
    wrapper: tuple = ()  # e.g. ("tools/run_sanitized.sh",)
    hang_seconds: float = 60.0
    shrink_seconds: float = 90.0
    max_shrunk: int = 8
    plant: str | None = None
    plant_at: int = -1
    quiet: bool = False
    memory_mb: int = 6144  # address-space cap of a worker (not under the sanitizers)


@dataclasses.dataclass
class Running:
    proc: subprocess.Popen
    start: int
    stop: int
    progress: pathlib.Path
    results: pathlib.Path
    stderr: pathlib.Path
    last_seen: tuple = (None, None)
    last_change: float = 0.0
    hung: bool = False


class Runner:
    def __init__(self, opts):
        self.o = opts
        self.o.out.mkdir(parents=True, exist_ok=True)
        self.tmp = pathlib.Path(tempfile.mkdtemp(prefix="run-", dir=self.o.out))
        self.gen = Generator(opts.seed)
        if opts.plant:
            plant(self.gen, opts.plant, opts.plant_at)
        self.totals = {"calls": 0, "pickles": 0, "threads": 0, "owner": 0, "syntax": 0}
        self.families = {}
        self.findings = []  # dicts with kind, signature, index, ...
        self.signatures = set()
        self.shrunk = 0
        self.serial = 0
        self.crashes = 0
        self.hangs = 0

    def log(self, text):
        if not self.o.quiet:
            print(text, flush=True)

    # ---- workers ---------------------------------------------------------------------------
    def command(self, extra):
        cmd = list(self.o.wrapper) + [self.o.python, "-m", "tools.fuzz.worker"]
        cmd += ["--seed", str(self.o.seed), "--epoch", str(self.o.epoch)]
        if self.o.plant:
            cmd += ["--plant", self.o.plant, "--plant-at", str(self.o.plant_at)]
        return cmd + extra

    def env(self):
        env = dict(os.environ)
        env["PYTHONPATH"] = str(ROOT) + os.pathsep + env.get("PYTHONPATH", "")
        env["PYTHONFAULTHANDLER"] = "1"
        env.pop("DISPLAY", None)  # the layer's own headless context, never a window
        if "asan" in env.get("LD_PRELOAD", ""):
            # A hostile pickle may ask the unpickler for a petabyte: that is a MemoryError in
            # Python, not a report about our code, which still aborts on a real overflow.
            env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":allocator_may_return_null=1"
        return env

    def spawn(self, extra, tag):
        self.serial += 1
        base = self.tmp / f"{tag}-{self.serial}"
        progress, results, stderr = (base.with_suffix(s) for s in (".progress", ".json", ".err"))
        extra = extra + ["--progress", str(progress), "--results", str(results)]
        with open(stderr, "wb") as err:
            proc = subprocess.Popen(
                self.command(extra),
                cwd=self.tmp,
                env=self.env(),
                stdin=subprocess.DEVNULL,
                stdout=subprocess.DEVNULL,
                stderr=err,
                start_new_session=True,
                preexec_fn=self.limit_memory,
            )
        return proc, progress, results, stderr

    def limit_memory(self):
        # A memory bomb then ends as MemoryError in the worker instead of starving the machine;
        # the sanitizers reserve terabytes of address space, so they go without.
        sanitized = self.o.wrapper or "asan" in os.environ.get("LD_PRELOAD", "")
        if self.o.memory_mb and not sanitized:
            limit = self.o.memory_mb * 2**20
            resource.setrlimit(resource.RLIMIT_AS, (limit, limit))

    def start_range(self, start, stop):
        proc, progress, results, stderr = self.spawn(
            ["--start", str(start), "--stop", str(stop)], f"w{start}"
        )
        return Running(proc, start, stop, progress, results, stderr, last_change=time.time())

    def kill(self, proc):
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        proc.wait()

    # ---- main loop -------------------------------------------------------------------------
    def run(self):
        t0 = time.time()
        deadline = t0 + self.o.minutes * 60
        todo = [
            (a, min(a + self.o.chunk, self.o.calls)) for a in range(0, self.o.calls, self.o.chunk)
        ]
        running = []
        stopping = False
        last_report = t0
        while todo or running:
            now = time.time()
            if not stopping and now > deadline:
                stopping = True
                todo.clear()
                self.log("time is up: asking the workers to stop")
                for r in running:
                    try:
                        os.kill(r.proc.pid, signal.SIGUSR1)
                    except ProcessLookupError:
                        pass
            while todo and len(running) < self.o.workers:
                running.append(self.start_range(*todo.pop(0)))
            for r in list(running):
                if r.proc.poll() is not None:
                    running.remove(r)
                    todo[:0] = self.finished(r)
                    continue
                seen = read_progress(r.progress)
                seen = seen[:2] if seen else (None, None)
                if seen != r.last_seen:
                    r.last_seen, r.last_change = seen, now
                elif now - r.last_change > self.o.hang_seconds:
                    r.hung = True
                    self.kill(r.proc)
                    running.remove(r)
                    todo[:0] = self.finished(r)
                elif stopping and now > deadline + 2 * self.o.hang_seconds:
                    self.kill(r.proc)
            if now - last_report > 30:
                last_report = now
                done = self.totals["calls"] + sum(
                    (read_progress(r.progress) or (0, 0, 0))[1] for r in running
                )
                self.log(f"[{now - t0:6.0f} s] about {done} calls, {len(self.findings)} findings")
            time.sleep(0.1)
        wall = time.time() - t0
        return self.summary(wall)

    def finished(self, r):
        """Accounts for an ended worker; returns the rest of its range when it crashed."""
        rc = r.proc.returncode
        stderr = r.stderr.read_bytes().decode("utf-8", "replace") if r.stderr.exists() else ""
        report = None
        if r.results.exists():
            report = json.loads(r.results.read_text())
            self.add_counts(report)
            for f in report["findings"]:
                self.finding_from_worker(f, r)
        sanitizer = SANITIZER.search(stderr)
        progress = read_progress(r.progress)
        crashed = r.hung or rc != 0 or report is None or sanitizer
        if not crashed:
            return []
        index, done, phase = progress if progress else (r.start, 0, PHASE_SETUP)
        if report is None:
            self.totals["calls"] += done
        if r.hung:
            kind, self.hangs = "hang", self.hangs + 1
            signature = f"hang in {self.target_of(index, phase)}"
        else:
            self.crashes += 1
            if sanitizer:
                kind = "sanitizer"
                signature = sanitizer.group(1)
            else:
                kind, signature = "crash", crash_signature(rc, stderr)
        if phase not in (PHASE_CALL, PHASE_SETUP):
            index = max(r.start, index)
        epoch_start = (index // self.o.epoch) * self.o.epoch
        self.new_finding(
            {
                "kind": kind,
                "signature": signature,
                "index": index,
                "target": self.target_of(index, phase),
                "message": signature,
                "stderr": stderr[-6000:],
                "epoch": [max(epoch_start, r.start), index + 1],
                "phase": phase,
            }
        )
        nxt = epoch_start + self.o.epoch
        return [(nxt, r.stop)] if nxt < r.stop else []

    def target_of(self, index, phase):
        if phase == PHASE_SETUP:
            return "epoch set-up"
        return self.gen.call(index).target if index >= 0 else "?"

    def add_counts(self, report):
        for k, v in report["counts"].items():
            self.totals[k] = self.totals.get(k, 0) + v
        for k, v in report["families"].items():
            self.families[k] = self.families.get(k, 0) + v

    def finding_from_worker(self, f, r):
        index = f["index"]
        if f["kind"] == "leak":
            epoch = f["epoch"]
        else:
            start = (index // self.o.epoch) * self.o.epoch
            epoch = [max(start, r.start), index + 1]
        message = re.sub(r"0x[0-9a-f]+|\d+", "N", f["message"].split("\n")[0])[:160]
        self.new_finding(
            {
                "kind": f["kind"],
                "signature": f"{f['kind']}: {f['target']}: {message}",
                "index": index,
                "target": f["target"],
                "message": f["message"],
                "trace": f.get("trace", ""),
                "count": f.get("count", 1),
                "epoch": epoch,
                "sentinel": f.get("sentinel"),
            }
        )

    # ---- findings --------------------------------------------------------------------------
    def new_finding(self, f):
        if f["signature"] in self.signatures:
            for old in self.findings:
                if old["signature"] == f["signature"]:
                    old["count"] = old.get("count", 1) + f.get("count", 1)
            return
        self.signatures.add(f["signature"])
        n = len(self.findings) + 1
        folder = self.o.out / f"finding-{n:02d}-{f['kind'].split()[0].lower()}"
        folder.mkdir(parents=True, exist_ok=True)
        f["folder"] = str(folder)
        start, stop = f["epoch"]
        sequence = list(range(start, stop))
        if f["kind"] == "generator":
            sequence = [f["index"]]
        f["sequence"] = sequence
        minimal = sequence
        if f["kind"] != "generator" and self.shrunk < self.o.max_shrunk:
            self.shrunk += 1
            minimal = self.shrink(f, sequence)
        f["minimal"] = minimal
        calls = [self.gen.call(i) for i in minimal]
        text = repro.build(self.o.seed, calls, f"{f['kind']}: {f['signature']}")
        f["reproducer"] = text
        (folder / "input.json").write_text(
            json.dumps(
                {
                    "seed": self.o.seed,
                    "kind": f["kind"],
                    "signature": f["signature"],
                    "index": f["index"],
                    "call_range": [start, stop],
                    "sequence": sequence,
                    "minimal": minimal,
                    "message": f.get("message", ""),
                },
                indent=1,
            )
        )
        (folder / "sequence.py").write_text(
            repro.build(self.o.seed, [self.gen.call(i) for i in sequence], f["signature"])
        )
        (folder / "repro.py").write_text(text)
        for key in ("stderr", "trace"):
            if f.get(key):
                (folder / f"{key}.txt").write_text(f[key])
        self.findings.append(f)
        self.log(
            f"\n=== finding {n}: {f['kind']}: {f['signature']}\n"
            f"    call {f['index']} ({f['target']}); input saved in {folder}\n"
            f"    minimal sequence: {minimal} (from {len(sequence)} calls)\n"
            f"--- reproducer ({folder / 'repro.py'}):\n{text}---"
        )

    def replay(self, indices, timeout):
        """Runs `indices` as one epoch in a new worker: (kind, signature) of what happened."""
        listing = self.tmp / f"replay-{self.serial + 1}.indices"
        listing.write_text(json.dumps(indices))
        proc, progress, results, stderr = self.spawn(["--indices", str(listing)], "replay")
        try:
            proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.kill(proc)
            return "hang", None
        err = stderr.read_bytes().decode("utf-8", "replace")
        sanitizer = SANITIZER.search(err)
        if sanitizer:
            return "sanitizer", sanitizer.group(1)
        if proc.returncode != 0 or not results.exists():
            return "crash", crash_signature(proc.returncode, err)
        return "report", json.loads(results.read_text())

    def reproduces(self, f, indices):
        timeout = self.o.hang_seconds if f["kind"] != "hang" else min(20, self.o.hang_seconds)
        kind, what = self.replay(indices, timeout)
        if f["kind"] in ("crash", "sanitizer", "hang"):
            return kind == f["kind"] and (kind == "hang" or what == f["signature"])
        if kind != "report":
            return False
        if f["kind"] == "leak":
            return what["leak"].get(f["sentinel"], 0) > 0
        return any(g["kind"] == f["kind"] and g["target"] == f["target"] for g in what["findings"])

    def shrink(self, f, sequence):
        """Delta debugging over the calls before the failing one, which is always kept; stops
        at the time budget with the smallest sequence found so far."""
        deadline = time.time() + self.o.shrink_seconds
        if f["kind"] == "leak":
            if not self.reproduces(f, sequence):
                return sequence
            last, prefix = [], sequence
        else:
            last, prefix = sequence[-1:], sequence[:-1]
            if self.reproduces(f, last):
                return last
            if not self.reproduces(f, sequence):
                f["flaky"] = True
                return sequence
        n = 2
        while len(prefix) >= 1 and time.time() < deadline:
            size = max(1, len(prefix) // n)
            chunks = [prefix[i : i + size] for i in range(0, len(prefix), size)]
            reduced = False
            for i in range(len(chunks)):
                if time.time() > deadline:
                    break
                rest = [x for j, c in enumerate(chunks) if j != i for x in c]
                if (rest or last) and self.reproduces(f, rest + last):
                    prefix, n, reduced = rest, max(n - 1, 2), True
                    break
            if not reduced:
                if size == 1:
                    break
                n = min(len(prefix), n * 2)
        return prefix + last

    # ---- report ----------------------------------------------------------------------------
    def summary(self, wall):
        kinds = {}
        for f in self.findings:
            kinds[f["kind"]] = kinds.get(f["kind"], 0) + 1
        result = {
            "seed": self.o.seed,
            "calls": self.totals["calls"],
            "pickles": self.totals["pickles"],
            "thread_storms": self.totals["threads"],
            "owner_checks": self.totals["owner"],
            "succeeded": self.totals.get("succeeded", 0),
            "name_errors": self.totals.get("name_errors", 0),
            "families": self.families,
            "crashes": self.crashes,
            "hangs": self.hangs,
            "system_errors": sum(1 for f in self.findings if f["kind"].startswith("SystemError")),
            "findings": kinds,
            "wall_seconds": round(wall, 1),
        }
        (self.o.out / "summary.json").write_text(json.dumps(result, indent=1))
        self.log("\n=== summary\n" + json.dumps(result, indent=1))
        return result
