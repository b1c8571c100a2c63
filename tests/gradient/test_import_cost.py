"""Importing the gradient module does not import numpy: the CPU renderer it binds reaches numpy
only when it first renders."""

import pytest

from gradient.gradhelp import run_python


@pytest.mark.parametrize(
    "imports",
    [
        "import zorva_ui.fast.zvraygrad.zvraygrad",
        "from zorva_ui.rendering.pygame.gradient import GradientPygame, compute_stops",
    ],
)
def test_import_leaves_numpy_out(imports):
    run_python(
        f"""
        import sys
        {imports}
        from zorva_ui.rendering.pygame.gradient import GradientPygame, compute_stops
        g = GradientPygame([((255, 0, 0, 255), 3), (0, 0, 255, 128)], angle=30)
        assert g.stops == compute_stops([3, 1]) == [0.5, 1.0]
        assert "numpy" not in sys.modules, sorted(m for m in sys.modules if "numpy" in m)
        picture = g.render(3, 2)
        assert "numpy" in sys.modules and picture.shape == (2, 3, 4)
        """
    )
