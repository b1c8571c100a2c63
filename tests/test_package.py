from zorva_ui.core import GradientType
from zorva_ui.core.enums import CacheType


def test_cache_type_values_are_distinct_slots():
    values = [m.value for m in CacheType]
    assert len(set(values)) == len(values)
    assert all(isinstance(v, int) and 0 <= v < 32 for v in values)


def test_gradient_type_members():
    assert {m.name for m in GradientType} == {"Linear", "Radial"}
