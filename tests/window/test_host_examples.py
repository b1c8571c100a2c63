"""The host examples and the layer's behaviour in real host windows, under the tests' X server,
checked by reading the windows' pixels (host_examples.py runs each in a process of its own)."""

import pytest

from window.harness import run_scenario

HOSTS = ["glfw", "raylib", "pygame", "pyglet", "imgui"]
TOLERANCE = 3


@pytest.mark.parametrize("host", HOSTS)
def test_example_draws_the_scene(display, host):
    """Background and the host's first rectangle, our translucent gradient composited over
    them, the host's second rectangle over that: all as worked out on the CPU."""
    result = run_scenario(display, "example", host, module="window.host_examples")
    assert result["context"] == "adopted GLX"
    assert result["scene"]["max"] <= TOLERANCE, result["scene"]


@pytest.fixture(scope="module")
def raylib_modes(display):
    return run_scenario(display, "raylib_modes", module="window.host_examples")


@pytest.mark.parametrize("mode", ["camera", "additive", "host scissor", "raylib texture mode"])
def test_draws_follow_raylibs_modes(raylib_modes, mode):
    assert raylib_modes[mode]["max"] <= TOLERANCE, raylib_modes[mode]


@pytest.fixture(scope="module")
def layer_modes(display):
    return run_scenario(display, "layer_modes", module="window.host_examples")


@pytest.mark.parametrize("where", ["window", "texture"])
@pytest.mark.parametrize(
    "mode, box",
    [
        # (10, 20, 100, 60) within (50, 0, 200, 50)
        ("nested scissor", [50, 20, 60, 30]),
        # 30 x 10 at the target, zoomed twice and turned a quarter clockwise about the offset
        ("camera", [80, 50, 20, 60]),
    ],
)
def test_scissor_and_camera_modes(layer_modes, mode, where, box):
    assert layer_modes[f"{mode} in {where}"] == box


def test_the_hosts_scissor_clips_our_draws(layer_modes):
    """The host clips to x < 80; our box (40, 30, 100, 40) within it; a draw outside: nothing."""
    assert layer_modes["host scissor"] == [40, 30, 40, 40]


def test_frame_scope(layer_modes):
    scope = layer_modes["frame scope"]
    assert scope["same picture"]
    # Separate draws put the host's program back each time; inside the scope it stays the
    # layer's until the scope ends.
    assert scope["separate"] == scope["after"] == scope["host program"]
    assert scope["inside"] != scope["host program"]
    assert layer_modes["frame scope picture"]["max"] <= TOLERANCE


@pytest.mark.parametrize("code", ["0x500", "0x501", "0x502", "0x506"])
def test_the_hosts_pending_error_is_still_there(layer_modes, code):
    """After our draw and a uniform call the layer refuses, the host's next glGetError finds its
    own error (once), and the layer raised its own."""
    assert layer_modes["host errors"][code] == [int(code, 16), 0, True]
