#!/bin/sh
# Installs the Debian packages the benchmarks' peers need when they are missing: pycairo builds
# against cairo's development files, found through pkg-config.
set -u
missing=""
dpkg -s libcairo2-dev >/dev/null 2>&1 || missing="$missing libcairo2-dev"
command -v pkg-config >/dev/null 2>&1 || missing="$missing pkg-config"
[ -z "$missing" ] && exit 0
if [ "$(id -u)" != 0 ] || ! command -v apt-get >/dev/null 2>&1; then
    echo "note:$missing missing and cannot be installed here (apt-get as root); pycairo will not build" >&2
    exit 0
fi
echo "installing Debian's$missing (for pycairo in the benchmarks)"
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive apt-get install -y -q $missing >/dev/null 2>&1 ||
    { apt-get update -q >/dev/null 2>&1 && DEBIAN_FRONTEND=noninteractive apt-get install -y -q $missing >/dev/null; }
