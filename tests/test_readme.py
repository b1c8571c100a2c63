"""The README as a new user follows it: its code runs, its links lead somewhere, the make
targets it names exist, and the Python 3.13 sources it lists are the ones find_python.sh names."""

import pathlib
import re
import subprocess
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[1]
README = (ROOT / "README.md").read_text()


@pytest.mark.parametrize(
    "code", re.findall(r"```python\n(.*?)```", README, re.S), ids=lambda c: c.split("\n")[0]
)
def test_code_blocks_run(code, tmp_path):
    # Blocks build on the ones before them, as a reader runs them in one session.
    before = README.split(code)[0]
    earlier = re.findall(r"```python\n(.*?)```", before, re.S)
    result = subprocess.run(
        [sys.executable, "-c", "\n".join([*earlier, code])],
        cwd=tmp_path,
        capture_output=True,
        text=True,
        timeout=120,
    )
    assert result.returncode == 0, result.stderr
    assert any(tmp_path.iterdir())  # every block writes a picture


def test_relative_links_lead_to_files():
    targets = re.findall(r"\]\((?!https?://|#)([^)\s#]+)", README)
    assert "docs/showcase.png" in targets
    assert [t for t in targets if not (ROOT / t).exists()] == []


def test_named_make_targets_exist():
    makefile = (ROOT / "Makefile").read_text()
    defined = set(re.findall(r"^([\w-]+):", makefile, re.M))
    named = set(re.findall(r"^ +make ([a-z][\w-]*)|`make ([a-z][\w-]*)`", README, re.M))
    named = {a or b for a, b in named}
    assert named and named - defined == set()


def test_python_sources_agree_with_find_python():
    script = (ROOT / "tools" / "find_python.sh").read_text()
    for source in ("uv python install 3.13", "pyenv install 3.13", "deadsnakes", "altinstall"):
        assert source in README and source in script, source
