"""ClickGradient: weights, weight and centre changes, the colour-update override."""

import pytest

from gradient.gradhelp import f32, reference_stops, zg
from zorva_ui.core import GradientType
from zorva_ui.fast.zvvector2.zvvector2 import ZvVector2

C = zg.ClickGradient
RED, BLUE = (255, 0, 0, 255), (0, 0, 255, 255)


def stops_of(g):
    return g.__reduce__()[2][3]


def colors_of(g):
    return [tuple(d[k] for k in "xyzw") for d in g.__reduce__()[2][2]]


def test_is_a_gradient_with_radial_default():
    g = C([RED, BLUE])
    assert isinstance(g, zg.GradientRaylib)
    assert g.type is GradientType.Radial
    assert g.weights == [1.0, 1.0] and stops_of(g) == [0.0, 1.0]
    assert not hasattr(g, "__dict__")


@pytest.mark.parametrize(
    "entries, weights, stops",
    [
        ([(RED, 3), (BLUE, 1.0)], [3.0, 1.0], [0.5, 1.0]),
        ([(RED, True), (BLUE, False)], [1.0, 0.0], [1.0, 1.0]),
        ([RED, (BLUE, 0.1)], [1.0, f32(0.1)], reference_stops([1.0, 0.1])),
        ([(RED, 0), (BLUE, 0)], [0.0, 0.0], [0.0, 0.0]),
        ([(RED, 2)], [2.0], [0.0]),
        ([], [], []),
    ],
)
def test_weights_from_entries(entries, weights, stops):
    g = C(entries)
    assert g.weights == weights
    assert stops_of(g) == stops


def test_weight_too_large_for_double():
    g = C([RED, BLUE])
    with pytest.raises(OverflowError):
        g.colors = [(RED, 2), (BLUE, 10**400)]
    assert g.weights == [2.0]
    assert len(colors_of(g)) == 2  # colours are only rebuilt after all weights converted


def test_none_colours_leave_colours_and_stops():
    g = C([(RED, 3), BLUE])
    with pytest.raises(TypeError, match=r"object of type 'NoneType' has no len\(\)"):
        g.colors = None
    assert g.weights == []
    assert len(colors_of(g)) == 2 and stops_of(g) == [0.5, 1.0]


def test_bad_colour_after_weights_rebuilt():
    g = C([RED])
    with pytest.raises(TypeError, match="Expected tuple, got list"):
        g.colors = [BLUE, ([0, 0, 0, 0], 2), RED]
    assert g.weights == [1.0, 2.0, 1.0]
    assert colors_of(g) == [(0.0, 0.0, 1.0, 1.0)]
    assert stops_of(g) == [0.0]


def test_two_item_colour_is_a_pair():
    with pytest.raises(TypeError, match="Expected tuple, got int"):
        C([(255, 128)])


# ---- set_weight ---------------------------------------------------------------------------


def test_set_weight_recomputes_stops_only():
    g = C([RED, BLUE])
    before = colors_of(g)
    assert g.set_weight(1, 3.0) is None
    assert g.weights == [1.0, 3.0] and stops_of(g) == [0.0, 0.5]
    assert colors_of(g) == before
    g.set_weight(index=0, weight=-2)
    assert g.weights == [-2.0, 3.0]
    assert stops_of(g) == reference_stops([-2, 3])


@pytest.mark.parametrize("index", [2, 3, -1, -3, 2**31 - 1])
def test_set_weight_out_of_range(index):
    g = C([RED, BLUE])
    with pytest.raises(IndexError) as info:
        g.set_weight(index, 1.0)
    assert str(info.value) == "Color index out of range! Max: 1"
    assert g.weights == [1.0, 1.0]


def test_set_weight_without_colours():
    with pytest.raises(IndexError) as info:
        C([]).set_weight(0, 1.0)
    assert str(info.value) == "Color index out of range! Max: -1 (no colors)"


@pytest.mark.parametrize(
    "index, weight, exc, message",
    [
        ("0", 1.0, TypeError, "an integer is required"),
        (2**31, 1.0, OverflowError, "value too large to convert to int"),
        (99, "heavy", TypeError, "must be real number"),  # converted before the range check
        (0, None, TypeError, "must be real number"),
    ],
)
def test_set_weight_conversion_errors(index, weight, exc, message):
    g = C([RED, BLUE])
    with pytest.raises(exc, match=message):
        g.set_weight(index, weight)
    assert g.weights == [1.0, 1.0]


def test_set_weight_truncates_float_index():
    g = C([RED, BLUE])
    g.set_weight(1.9, 5)
    assert g.weights == [1.0, 5.0]


def test_set_weight_keeps_raw_colors():
    colors = [RED, BLUE]
    g = C(colors)
    g.set_weight(0, 4)
    assert g.colors is colors and colors == [RED, BLUE]
    g.colors = g.colors
    assert g.weights == [1.0, 1.0]


# ---- weights property ---------------------------------------------------------------------


def test_weights_property():
    g = C([RED, BLUE])
    got = g.weights
    got.append(9)
    assert g.weights == [1.0, 1.0]
    g.weights = (1, 3)
    assert g.weights == [1.0, 3.0]
    assert stops_of(g) == [0.0, 1.0]  # not recomputed until asked
    g._recalculate_stops()
    assert stops_of(g) == [0.0, 0.5]
    g.weights = (w for w in [0.1, 0.2, 0.3])
    assert g.weights == [f32(0.1), f32(0.2), f32(0.3)]
    g._recalculate_stops()
    assert len(stops_of(g)) == 3  # as many stops as weights, whatever the colour count


@pytest.mark.parametrize("value, exc", [(5, TypeError), ([1, "x"], TypeError), (None, TypeError)])
def test_weights_property_refused_keeps_old(value, exc):
    g = C([(RED, 2), BLUE])
    with pytest.raises(exc):
        g.weights = value
    assert g.weights == [2.0, 1.0]


def test_weights_cannot_be_deleted():
    with pytest.raises(NotImplementedError, match="__del__"):
        del C([RED]).weights


def test_recalculate_stops_takes_no_arguments():
    with pytest.raises(TypeError):
        C([RED])._recalculate_stops(1)


def test_weights_length_hint_is_not_trusted():
    class Liar:
        def __iter__(self):
            return iter([1.0, 2.0])

        def __length_hint__(self):
            return 2**60

    g = C([RED])
    g.weights = Liar()
    assert g.weights == [1.0, 2.0]


# ---- centre -------------------------------------------------------------------------------


def test_set_center():
    g = C([RED])
    g.set_center((10, 20, 99))
    assert (g.center.x, g.center.y) == (10.0, 20.0)
    g.set_center(center=(0.5, 1))
    assert (g.center.x, g.center.y) == (0.5, 1.0)


@pytest.mark.parametrize(
    "value, exc, message",
    [
        ([10, 20], TypeError, r"Argument 'center' has incorrect type \(expected tuple, got list\)"),
        (None, TypeError, "'NoneType' object is not subscriptable"),
        ((), IndexError, "tuple index out of range"),
        ((1,), IndexError, "tuple index out of range"),
        ((1, "2"), TypeError, "must be real number"),
    ],
)
def test_set_center_refused(value, exc, message):
    g = C([RED])
    before = g.center
    with pytest.raises(exc, match=message):
        g.set_center(value)
    assert g.center is before


def test_set_center_zvvec_copies():
    g = C([RED])
    v = ZvVector2(0.25, 0.75)
    g.set_center_zvvec(v)
    assert g.center is not v
    v.x = 9.0
    assert (g.center.x, g.center.y) == (0.25, 0.75)


def test_set_center_zvvec_subclass_attributes():
    class Shifted(ZvVector2):
        @property
        def x(self):
            return 42

    g = C([RED])
    g.set_center_zvvec(Shifted(1.0, 2.0))
    assert (g.center.x, g.center.y) == (42.0, 2.0)


@pytest.mark.parametrize(
    "value, exc", [((1, 2), TypeError), (5, TypeError), (None, AttributeError)]
)
def test_set_center_zvvec_refused(value, exc):
    g = C([RED])
    before = g.center
    with pytest.raises(exc):
        g.set_center_zvvec(value)
    assert g.center is before


# ---- overrides and the native table -------------------------------------------------------


class Recording(C):
    def __init__(self, *args, **kwargs):
        self.calls = 0
        super().__init__(*args, **kwargs)

    def _recalculate_stops(self):
        self.calls += 1
        super()._recalculate_stops()


def test_python_override_of_recalculate_stops_runs_everywhere():
    g = Recording([RED, BLUE])
    assert g.calls == 1
    g.colors = [RED]
    assert g.calls == 2
    g.colors = [RED, BLUE]
    g.set_weight(0, 2)
    assert g.calls == 4
    assert stops_of(g) == reference_stops([2, 1])


def test_override_error_propagates_from_constructor():
    class Failing(C):
        def _recalculate_stops(self):
            raise RuntimeError("stops")

    with pytest.raises(RuntimeError, match="stops"):
        Failing([RED])


def test_base_colors_setter_runs_the_override():
    g = C([RED])
    zg.GradientRaylib.colors.__set__(g, [(RED, 3), BLUE])
    assert g.weights == [3.0, 1.0] and stops_of(g) == [0.5, 1.0]


def test_base_init_on_click_runs_the_override():
    g = C([RED])
    zg.GradientRaylib.__init__(g, [(BLUE, 1), (RED, 3)])
    assert g.weights == [1.0, 3.0] and stops_of(g) == [0.0, 0.5]
    assert g.type is GradientType.Linear  # the base's own default


def test_ensure_resources_override_is_called():
    seen = []

    class Custom(zg.GradientRaylib):
        @classmethod
        def _ensure_resources(cls):
            seen.append(cls)

    Custom([RED])
    assert seen == [Custom]
