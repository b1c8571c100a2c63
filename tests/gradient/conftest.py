import pytest

from gradient.gradhelp import zg


@pytest.fixture(scope="session", autouse=True)
def resources():
    """The shared shader and blank texture, made by the first gradient of the process; tests
    that need them absent run in a subprocess."""
    zg.GradientRaylib([(0, 0, 0, 255)])
