"""The main job for a person: shows the package at work."""

import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))

import gallery  # noqa: E402

gallery.main()
