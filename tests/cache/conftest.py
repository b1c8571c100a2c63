import pathlib

import pytest
from support.cython_build import build_and_import

from zorva_ui.core.enums import CacheType
from zorva_ui.fast.zorvacache import zorvacache


@pytest.fixture
def cache():
    return zorvacache.Cache()


@pytest.fixture(scope="session")
def consumer():
    """The compiled caller that cimports Cache and uses its operation table."""
    return build_and_import(pathlib.Path(__file__).parent / "consumer" / "cache_consumer.pyx")


@pytest.fixture
def restore_cache_type():
    """Tests that rebind or delete the module's CacheType get it back afterwards."""
    yield
    zorvacache.CacheType = CacheType
