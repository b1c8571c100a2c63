"""A short seeded fuzz run of every entry point: any crash, hang, sanitizer report, SystemError,
broken thread contract or reference leak fails with its reproducer."""

import os

from tools.fuzz.runner import Options, Runner

# Under the sanitizers every call costs several times more.
CALLS = 5_000 if os.environ.get("ZORVA_SANITIZED") else 20_000


def test_short_fuzz_run_finds_nothing(tmp_path):
    opts = Options(seed=1, calls=CALLS, workers=2, chunk=CALLS // 2, out=tmp_path, quiet=True)
    opts.shrink_seconds = 60
    runner = Runner(opts)
    result = runner.run()
    assert result["calls"] == CALLS
    assert result["pickles"] > CALLS // 20 and result["thread_storms"] > 0
    report = "\n\n".join(
        f"{f['kind']}: {f['signature']} (call {f['index']})\n{f['reproducer']}"
        for f in runner.findings
    )
    assert not runner.findings, report
