#!/bin/bash
# Runs a command with the sanitizer runtimes preloaded into the (unsanitized) interpreter.
set -euo pipefail
asan=$(g++ -print-file-name=libasan.so)
ubsan=$(g++ -print-file-name=libubsan.so)
export LD_PRELOAD="$asan $ubsan${LD_PRELOAD:+ $LD_PRELOAD}"
# The interpreter's own allocations are not ours to report; leaks of our modules show up in the
# reference-leak tests instead.
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:halt_on_error=1:detect_odr_violation=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
export PYTHONMALLOC=malloc
export ZORVA_SANITIZED=1
exec "$@"
