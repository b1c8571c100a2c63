#!/bin/sh
# Installs Debian's clang 14 when it is missing: `make package-check` builds the sdist with it,
# beside the wheel's GCC build, so both supported compiler families stay warning-free.
set -u
command -v clang++-14 >/dev/null 2>&1 && exit 0
if [ "$(id -u)" != 0 ] || ! command -v apt-get >/dev/null 2>&1; then
    echo "note: clang++-14 is missing and cannot be installed here (apt-get as root)" >&2
    exit 0
fi
echo "installing Debian's clang-14 (the package check builds the sdist with it)"
DEBIAN_FRONTEND=noninteractive apt-get install -y -q clang-14 >/dev/null 2>&1 ||
    { apt-get update -q >/dev/null 2>&1 && DEBIAN_FRONTEND=noninteractive apt-get install -y -q clang-14 >/dev/null; }
