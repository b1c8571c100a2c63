"""Compiled modules of the toolkit, and the sources of the gradient shader."""

from zorva_ui.fast.gradient_shader import GradientShader

__all__ = ["GradientShader"]
