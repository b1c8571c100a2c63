"""A seeded fuzzer of the package's compiled modules, in pure Python.

`python -m tools.fuzz` (or `make fuzz`) runs it; see runner.py for the parent, worker.py for
what runs in each subprocess, gen.py for the calls, prelude.py for the hostile helpers."""
