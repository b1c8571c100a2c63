"""The main job for a person: shows the package at work."""

print("zorva_ui demo: nothing to show yet")
