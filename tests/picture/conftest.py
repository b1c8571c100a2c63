"""The picture tests' shared GPU renderer: the gradient program compiled once per module."""

import pytest

from picture.test_gpu_vs_cpu import Gpu


@pytest.fixture(scope="module")
def gpu():
    compiled = Gpu()
    yield compiled
    compiled.close()
