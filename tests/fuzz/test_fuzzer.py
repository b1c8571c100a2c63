"""The fuzzer itself: reproducible call sequences, planted crashes caught and reported with a
working reproducer, delta debugging, pickle streams that stay within memory."""

import ast
import json
import os
import pathlib
import random
import subprocess
import sys

import pytest

from tools.fuzz import pickles, repro
from tools.fuzz.gen import SETUP, Call, Generator
from tools.fuzz.runner import ROOT, Options, Runner


@pytest.fixture(scope="module")
def targets():
    return Generator(0).targets


def sources(seed, n, targets):
    g = Generator(seed, targets)
    return [g.call(i).source for i in range(n)]


def test_same_seed_same_calls_in_another_process(targets):
    # Another process has another hash seed: set or dict order must not leak into the calls.
    script = (
        "import hashlib, json; from tools.fuzz.gen import Generator; g = Generator(11); "
        "print(hashlib.sha256(json.dumps([g.call(i).source for i in range(400)]).encode())"
        ".hexdigest())"
    )
    out = subprocess.run(
        [sys.executable, "-c", script],
        cwd=ROOT,
        env={**os.environ, "PYTHONHASHSEED": "123"},
        capture_output=True,
        text=True,
        check=True,
    )
    import hashlib

    here = hashlib.sha256(json.dumps(sources(11, 400, targets)).encode()).hexdigest()
    assert out.stdout.strip() == here


def test_calls_do_not_depend_on_order(targets):
    g = Generator(5, targets)
    forward = [g.call(i).source for i in range(50)]
    backward = [g.call(i).source for i in reversed(range(50))][::-1]
    assert forward == backward
    assert forward != sources(6, 50, targets)


@pytest.mark.parametrize("seed", [1, 2, 3])
def test_every_generated_call_compiles(seed, targets):
    g = Generator(seed, targets)
    families = set()
    for i in range(3000):
        call = g.call(i)
        compile(call.source, f"<call {i}>", "exec")
        families.add(call.family)
    assert families == {"entry", "pickle", "copy", "reentry", "modes", "owner", "threads", "module"}


def test_every_name_a_call_uses_is_defined(targets):
    """A name missing from the prelude or the set-up would turn calls into NameErrors that
    exercise nothing."""
    namespace = dict(vars(__import__("builtins")))
    exec(compile(repro.PRELUDE.read_text(), str(repro.PRELUDE), "exec"), namespace)
    known = set(namespace) | {name for name, _ in SETUP}
    g = Generator(8, targets)
    for i in range(3000):
        tree = ast.parse(g.call(i).source)
        bound = {
            n.id for n in ast.walk(tree) if isinstance(n, ast.Name) and isinstance(n.ctx, ast.Store)
        }
        bound |= {a.arg for n in ast.walk(tree) if isinstance(n, ast.Lambda) for a in n.args.args}
        used = {
            n.id for n in ast.walk(tree) if isinstance(n, ast.Name) and isinstance(n.ctx, ast.Load)
        }
        assert used <= known | bound, (i, used - known - bound)


@pytest.mark.parametrize("seed", range(4))
def test_pickle_streams_never_store_into_a_huge_memo_slot(seed):
    rng = random.Random(seed)
    for _ in range(2000):
        assert pickles.memo_bomb(pickles.build(rng)) == -1


def test_memo_bomb_is_cut_off():
    data = b"\x80\x02N" + b"r" + (2**31 - 1).to_bytes(4, "little") + b"."
    assert pickles.memo_bomb(data) == 3


def test_reproducer_keeps_only_what_its_calls_use(tmp_path):
    calls = [Call(3, "entry", "t", "x = Hook(2, lambda: lst.clear())\nint(x)\nprint(len(lst))")]
    text = repro.build(9, calls, "title")
    assert "class Hook" in text and "def _quiet" in text and "lst = [" in text
    assert "def hammer" not in text and "g0 =" not in text
    script = tmp_path / "r.py"
    script.write_text(text)
    out = subprocess.run(
        [sys.executable, str(script)], cwd=tmp_path, capture_output=True, text=True
    )
    assert out.returncode == 0, out.stderr
    assert out.stdout.split() == ["0", "done"]


def test_reproducer_raises_a_system_error_swallowed_by_a_hook(tmp_path):
    source = "def bad():\n    raise SystemError('in hook')\nint(Hook(1, bad))"
    script = tmp_path / "r.py"
    script.write_text(repro.build(9, [Call(0, "reentry", "t", source)], "title"))
    out = subprocess.run(
        [sys.executable, str(script)], cwd=tmp_path, capture_output=True, text=True
    )
    assert out.returncode == 1 and "SystemError: in hook" in out.stderr


def fake_runner(tmp_path, needed):
    runner = Runner(Options(out=tmp_path, quiet=True, shrink_seconds=30))
    runner.reproduces = lambda f, seq: needed <= set(seq) and seq[-1] == 99
    return runner


@pytest.mark.parametrize("needed", [{99}, {3, 99}, {0, 57, 98, 99}])
def test_delta_debugging_finds_the_calls_that_matter(tmp_path, needed):
    runner = fake_runner(tmp_path, needed)
    assert runner.shrink({"kind": "crash"}, list(range(100))) == sorted(needed)


PLANTS = {
    "abort": ("crash", "Aborted"),
    # The sanitizer runtime reports the fault itself.
    "segv": ("sanitizer", "SEGV")
    if os.environ.get("ZORVA_SANITIZED")
    else ("crash", "Segmentation"),
    "systemerror": ("SystemError", "planted"),
    "hang": ("hang", "planted hang"),
}


@pytest.mark.parametrize("what", sorted(PLANTS))
def test_planted_failure_is_caught_saved_and_reproduced(tmp_path, what):
    opts = Options(seed=4, calls=900, workers=2, chunk=450, out=tmp_path, quiet=True)
    opts.hang_seconds = 4
    opts.plant, opts.plant_at = what, 720
    runner = Runner(opts)
    result = runner.run()
    kind, words = PLANTS[what]
    [f] = runner.findings
    assert f["kind"] == kind and words in f["signature"]
    assert f["index"] == 720 and f["minimal"] == [720]
    saved = json.loads((pathlib.Path(f["folder"]) / "input.json").read_text())
    assert saved["seed"] == 4 and saved["call_range"] == [500, 721]
    assert saved["sequence"] == list(range(500, 721))
    assert "# call 720 (planted" in f["reproducer"]
    # The rest of the range after the failing epoch still ran.
    assert result["calls"] >= 900 - 280
    if what != "hang":
        script = tmp_path / "repro.py"
        script.write_text(f["reproducer"])
        out = subprocess.run([sys.executable, str(script)], cwd=tmp_path, capture_output=True)
        assert out.returncode != 0


@pytest.mark.skipif(not os.environ.get("ZORVA_SANITIZED"), reason="needs the sanitizer runtime")
def test_sanitizer_report_is_a_finding(tmp_path):
    opts = Options(seed=4, calls=600, workers=1, chunk=600, out=tmp_path, quiet=True)
    opts.plant, opts.plant_at = "overflow", 520
    runner = Runner(opts)
    runner.run()
    [f] = runner.findings
    assert f["kind"] == "sanitizer" and "heap-buffer-overflow" in f["signature"]
    assert f["minimal"] == [520] and "AddressSanitizer" in f["stderr"]
