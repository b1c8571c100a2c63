"""The main job for a person: shows the package at work."""

import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))

import cache_demo  # noqa: E402
import gallery  # noqa: E402
import showcase  # noqa: E402

print("== zorva_ui keyed cache")
cache_demo.main()
print()
print("== zorva_ui gradients")
gallery.main()
showcase.main()
