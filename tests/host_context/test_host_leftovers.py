"""Host state outside the handed-back list that a host may leave set (pixel-store skips and row
lengths, pixel buffers, a sampler on unit 0, rasterizer discard): the layer's pictures must not
change and its buffers must not overrun; the host finds the item as it left it. Each item runs
in a process of its own, so that an overrun is reported against the item that caused it."""

import pytest

from host_context.harness import scenario_result
from host_context.scenario_leftovers import LEFTOVERS


@pytest.mark.parametrize("item", list(LEFTOVERS))
def test_layer_output_ignores_host_leftovers(item):
    result = scenario_result("scenario_leftovers", item)
    assert result["same"] == {"generate_texture": True, "uploaded": True, "read": True}
    assert result["kept"], result["left"]
