"""In an adopted context every layer call hands the host's GL state back: read back with raw GL
around each call, and proven by the host's next raw-GL draw, which relies on that state and
must come out exactly as it did before the layer ever ran (scenario_state.py)."""

import pytest

from host_context.harness import scenario_result
from host_context.hostgl import SCENES, STATE
from host_context.scenario_state import OPERATIONS

RAISES = {
    "uniform refused": "LayerError",
    "bad tint in blend mode": "TypeError",
    "bad tint in texture mode": "ValueError",
    "draw into released target": "LayerError",
    "bad size": "ValueError",
}


@pytest.fixture
def result():
    return scenario_result("scenario_state")


def test_adopted(result):
    assert result["context"] == "adopted EGL"


@pytest.mark.parametrize("phase", ["adoption", "creation"])
def test_first_use_changes_no_state(result, phase):
    """Adoption (the first call) and the creation of textures and shaders, under the most
    unusual host state."""
    assert result[phase] == {}


@pytest.mark.parametrize("item", list(STATE))
def test_the_host_draw_shows_a_change_of_each_item(result, item):
    """Guards the pixel checks: each item changed by hand alters the host's draw somewhere."""
    assert result["faults_detected_in"][item]


@pytest.mark.parametrize("op", list(OPERATIONS))
@pytest.mark.parametrize("scene", list(SCENES))
def test_state_is_handed_back(result, scene, op):
    trial = result["trials"][scene][op]
    assert trial["changed"] == {}
    assert trial["gl_error"] == 0
    assert trial["read_same"], "the host's glReadPixels came out differently"
    assert trial["picture"]["max"] == 0, f"the host's draw came out differently: {trial['picture']}"


@pytest.mark.parametrize("op", list(OPERATIONS))
def test_outcomes_do_not_depend_on_host_state(result, op):
    """Each operation raises what it should, and otherwise produces the same bytes whatever
    state the host left: the layer sets all it relies on."""
    outcomes = {scene: trials[op]["outcome"] for scene, trials in result["trials"].items()}
    if op in RAISES:
        assert all(o.startswith(f"raised {RAISES[op]}") for o in outcomes.values()), outcomes
    else:
        assert not any(o.startswith("raised") for o in outcomes.values()), outcomes
        assert len(set(outcomes.values())) == 1, outcomes
