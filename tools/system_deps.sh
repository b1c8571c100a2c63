#!/bin/sh
# Installs the Debian packages the suite needs when they are missing: a virtual X server for the
# window tests and xdotool, which presses keys and moves the pointer in them. Everything else
# comes from PyPI into the virtual environment.
set -u
missing=""
command -v Xvfb >/dev/null 2>&1 || missing="$missing xvfb"
command -v xdotool >/dev/null 2>&1 || missing="$missing xdotool"
[ -z "$missing" ] && exit 0
if [ "$(id -u)" != 0 ] || ! command -v apt-get >/dev/null 2>&1; then
    echo "note:$missing missing and cannot be installed here (apt-get as root); window tests will fail or skip" >&2
    exit 0
fi
echo "installing Debian's$missing (virtual X server and input for the window tests)"
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive apt-get install -y -q $missing >/dev/null 2>&1 ||
    { apt-get update -q >/dev/null 2>&1 && DEBIAN_FRONTEND=noninteractive apt-get install -y -q $missing >/dev/null; }
