"""GLSL sources of the shared gradient shader (filled in by the rendering layer work)."""


class GradientShader:
    VERTEX_SHADER = None
    FRAGMENT_SHADER = None
