#!/bin/sh
# Installs the Debian packages the suite needs when they are missing: a virtual X server for the
# window tests. Everything else comes from PyPI into the virtual environment.
set -u
command -v Xvfb >/dev/null 2>&1 && exit 0
if [ "$(id -u)" != 0 ] || ! command -v apt-get >/dev/null 2>&1; then
    echo "note: Xvfb is missing and cannot be installed here (apt-get as root); window tests will fail" >&2
    exit 0
fi
echo "installing Debian's xvfb (virtual X server for the window tests)"
DEBIAN_FRONTEND=noninteractive apt-get install -y -q xvfb >/dev/null 2>&1 ||
    { apt-get update -q >/dev/null 2>&1 && DEBIAN_FRONTEND=noninteractive apt-get install -y -q xvfb >/dev/null; }
