"""The layer's own headless context, made before moderngl's, alongside moderngl's in one
process: once moderngl's context is current the layer works there, every call leaves it
current, pictures stay right over many turns, and a draw outside texture mode goes into
moderngl's framebuffer (scenario_own.py)."""

import pytest

from host_context.harness import scenario_result

ROUNDS = 50


@pytest.fixture
def result():
    return scenario_result("scenario_own", ROUNDS)


def test_own_context_then_moderngl_take_turns(result):
    assert result["context"] == "own headless EGL"
    assert result["first"]["max"] <= 2, result["first"]
    assert result["wrong rounds"] == {
        "moderngl": [],
        "generated": [],
        "texture mode": [],
        "state": [],
    }
    assert result["still right"]


def test_every_call_hands_the_callers_context_back(result):
    """moderngl's surfaceless context, then one with distinct draw and read pbuffers."""
    assert result["lost"] == []
    assert result["pbuffers"]["generate_texture"] is True
    assert result["pbuffers"]["uniform refused"].startswith("raised LayerError")


@pytest.mark.parametrize(
    "call, error",
    [
        ("bad size", "ValueError"),
        ("uniform refused", "LayerError"),
        ("released target", "LayerError"),
    ],
)
def test_failing_calls_raise_as_ever(result, call, error):
    assert result["errors"][call].startswith(f"raised {error}")


@pytest.mark.parametrize(
    "call", ["draw_texture_pro outside texture mode", "ClickGradient.draw outside texture mode"]
)
def test_drawing_outside_texture_mode_goes_into_moderngls_framebuffer(result, call):
    """A gradient made before moderngl's context existed still draws into its framebuffer."""
    assert result["errors"][call] == "returned"
    assert not result["moderngl framebuffer untouched"]
