import pathlib

import pytest
from support.native_build import build_and_import

PROBE_SOURCE = pathlib.Path(__file__).parent / "probe" / "layer_probe.cpp"


@pytest.fixture(scope="session")
def probe():
    """The test-only binding probe, compiled against the package's headers."""
    return build_and_import(PROBE_SOURCE)


@pytest.fixture(scope="session")
def rl():
    from zorva_ui.fast.raylib import zorva_raylib

    return zorva_raylib


@pytest.fixture(autouse=True)
def _balanced_modes(rl):
    """Every test leaves the drawing modes as it found them and stops any trace."""
    yield
    rl.trace_stop()
