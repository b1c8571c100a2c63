"""zorva_ui: a toolkit for drawing user interfaces.

This distribution carries the native gradient renderer (`zorva_ui.fast.zvraygrad`), the keyed
cache (`zorva_ui.fast.zorvacache`) and the small headless rendering layer they draw through.
"""
