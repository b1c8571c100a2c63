#!/bin/sh
# Prints the path of a CPython 3.13 interpreter that has its C headers.
# Looked for, in order: pyenv's versions folder, uv's managed Pythons, python3.13 on PATH,
# /usr/bin/python3.13.
set -u
candidates=""
for root in "${PYENV_ROOT:-}" "$HOME/.pyenv" /root/.pyenv; do
    [ -n "$root" ] || continue
    for p in "$root"/versions/3.13*/bin/python3.13; do
        [ -x "$p" ] && candidates="$candidates $p"
    done
done
for p in "${UV_PYTHON_INSTALL_DIR:-$HOME/.local/share/uv/python}"/cpython-3.13*/bin/python3.13; do
    [ -x "$p" ] && candidates="$candidates $p"
done
onpath=$(command -v python3.13 2>/dev/null || true)
[ -n "$onpath" ] && candidates="$candidates $onpath"
[ -x /usr/bin/python3.13 ] && candidates="$candidates /usr/bin/python3.13"
for p in $candidates; do
    if "$p" -c 'import sys, sysconfig, os; assert sys.version_info[:2] == (3, 13); assert os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h"))' 2>/dev/null; then
        echo "$p"
        exit 0
    fi
done
echo "error: no CPython 3.13 with development headers found." >&2
echo "looked in: \$PYENV_ROOT/versions/3.13*, ~/.pyenv/versions/3.13*, uv's ~/.local/share/uv/python/cpython-3.13*, python3.13 on PATH, /usr/bin/python3.13" >&2
echo "Debian 12 and Ubuntu 22.04/24.04 do not package Python 3.13; install one with headers from:" >&2
echo "  uv:          uv python install 3.13" >&2
echo "  pyenv:       pyenv install 3.13   (builds from source: needs build-essential and the -dev libraries)" >&2
echo "  deadsnakes:  add-apt-repository ppa:deadsnakes/ppa && apt-get install python3.13-dev python3.13-venv   (Ubuntu)" >&2
echo "  python.org:  the source release, ./configure && make && make altinstall" >&2
echo "  Debian 13 or Fedora 41 and later: apt-get install python3.13-dev python3.13-venv / dnf install python3.13-devel" >&2
echo "(README.md, Prerequisites, says the same)" >&2
exit 1
