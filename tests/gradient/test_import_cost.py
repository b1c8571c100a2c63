"""Importing the gradient module does not import numpy: the CPU renderer it binds reaches numpy
only when it first renders. Nor does the package read its metadata before `__version__` is asked
for: the metadata machinery costs more than the rest of the import."""

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


def test_version_is_read_at_first_use():
    run_python(
        """
        import sys
        import zorva_ui.fast.zvraygrad.zvraygrad
        assert "importlib.metadata" not in sys.modules
        import zorva_ui
        version = zorva_ui.__version__
        assert "importlib.metadata" in sys.modules and version == zorva_ui.__version__
        assert "__version__" in vars(zorva_ui) and "__version__" in zorva_ui.__all__
        try:
            zorva_ui.no_such_name
        except AttributeError as error:
            assert "no_such_name" in str(error)
        else:
            raise AssertionError("no AttributeError")
        """
    )
