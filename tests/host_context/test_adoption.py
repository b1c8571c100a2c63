"""The layer adopts the host application's current context (a moderngl one here): it draws into
the framebuffer the host has bound, in the host's viewport, y down; it refuses contexts it
cannot use; and calls that cannot reach the adopted context raise without drawing."""

import pytest

from host_context.harness import scenario_result

TOLERANCE = 2


@pytest.fixture(params=["core", "compat", "with-block"])
def adopted(request):
    return scenario_result("scenario_adopt", request.param)


def assert_close(comparison):
    assert comparison["max"] <= TOLERANCE and comparison["count"] == 0, comparison


def test_the_current_context_is_adopted(adopted):
    assert adopted["context"] == "adopted EGL", adopted["profile"]


@pytest.mark.parametrize(
    "picture",
    [
        "radial, whole target",
        "radial, offset",
        "linear, offset",
        "radial, in a viewport",
        "generate_texture",
    ],
)
def test_pictures_match_the_cpu_renderer(adopted, picture):
    """Drawn outside texture mode into moderngl's framebuffer: placed from the top-left of the
    host's viewport and nothing outside the rectangle; generated textures as ever."""
    assert_close(adopted["pictures"][picture])


def test_texture_mode_hands_back_the_host_framebuffer(adopted):
    result = adopted["texture_mode_then_host"]
    assert result["bound_after_texture_mode"]
    assert_close(result["texture"])
    assert_close(result["host"])


def test_each_draw_goes_to_the_framebuffer_bound_at_that_call(adopted):
    result = adopted["follows_bound_framebuffer"]
    assert result["first_unchanged"]
    assert_close(result["second"])


def test_moderngl_draws_the_same_after_the_layer(adopted):
    assert adopted["moderngl_unchanged"]


def test_leaving_the_with_block_moves_the_layer_to_its_own_context():
    """moderngl's `with ctx:` made the context current for adoption; its exit leaves nothing
    current, so the next call works in the layer's own headless context, where a render texture
    of the adopted context is refused with both contexts named."""
    result = scenario_result("scenario_adopt", "with-block")
    assert result["after_with"] == "own headless EGL"
    refused = result["old target after with"]
    assert refused.startswith("raised LayerError"), refused
    assert result["adopted_handle"] in refused and "own headless EGL" in refused


@pytest.mark.parametrize(
    "override, require",
    [("3.0", "300"), ("3.1", "310"), ("3.2", "320"), ("3.2COMPAT", "300"), (None, "es")],
    ids=["3.0 compatibility", "3.1 core", "3.2 core", "3.2 compatibility", "OpenGL ES 3"],
)
def test_unusable_contexts_are_refused(override, require):
    env = {"MESA_GL_VERSION_OVERRIDE": override} if override else {}
    result = scenario_result("scenario_old", require, env=env)
    if override:
        assert result["version"].startswith(override[:3])
    for call in ("first", "again"):
        assert result[call].startswith("raised LayerError"), result[call]
        assert "3.3" in result[call] and "glfw.window_hint" in result[call]
    # context_info answers, with the reason the layer cannot draw there.
    assert "3.3" in result["context_info"]
    assert result["binding kept"]


# ---- Calls made while the adopted context is not current -----------------------------------


@pytest.fixture
def elsewhere():
    return scenario_result("scenario_errors")


CALLS = [
    "ZvRenderTexture",
    "generate_texture",
    "read_pixels",
    "load_texture_from_image",
    "ZvShader",
    "begin_texture_mode",
    "context_info",
]
# Render textures live in the context that made them; elsewhere they are refused.
KEPT_TARGET = {"read_pixels", "begin_texture_mode"}


@pytest.mark.parametrize("call", CALLS)
@pytest.mark.parametrize(
    "situation, works_in",
    [("nothing current", "own headless EGL"), ("other current", "adopted EGL")],
)
def test_calls_work_in_whatever_context_is_current(elsewhere, situation, works_in, call):
    message = elsewhere[situation][call]
    if call in KEPT_TARGET:
        assert message.startswith("raised LayerError"), message
        assert elsewhere["adopted"] in message and works_in in message
    else:
        assert message == "returned", message
    assert elsewhere[situation + " in"] == works_in


def test_a_draw_goes_to_the_context_current_at_that_call(elsewhere):
    """Nothing current: nothing to draw into. Another context current: its framebuffer."""
    assert elsewhere["nothing current"]["ClickGradient.draw"].startswith(
        "raised LayerError: nothing to draw into"
    )
    assert elsewhere["other current"]["ClickGradient.draw"] == "returned"
    assert elsewhere["other context kept"]["drawn into"]


def test_calls_elsewhere_leave_every_context_alone(elsewhere):
    assert elsewhere["nothing current afterwards"]
    kept = elsewhere["other context kept"]
    assert kept["binding"] and kept["state"] == {}
    assert elsewhere["host framebuffer untouched"]


def test_objects_collected_elsewhere_do_not_raise(elsewhere):
    assert elsewhere["collected while not current"] == "done"
    assert elsewhere["thread"]["collected"] == "done"


@pytest.mark.parametrize("call", CALLS)
@pytest.mark.parametrize("situation", ["nothing current", "other current"])
def test_calls_from_another_thread_raise(elsewhere, situation, call):
    message = elsewhere["thread"][situation][call]
    expected = "the rendering context belongs to the thread that created it"
    if call == "context_info":
        assert message == expected  # context_info answers, with the reason as its error
    else:
        assert message == f"raised LayerError: {expected}"


@pytest.mark.parametrize("when", ["works again", "works after thread"])
def test_the_layer_works_once_its_context_is_current_again(elsewhere, when):
    assert_close(elsewhere[when]["fresh"])
    assert elsewhere[when]["kept_unchanged"]
    assert elsewhere["binding after thread"]


def test_an_error_the_host_left_pending_is_not_reported_as_the_layers():
    result = scenario_result("scenario_pending_error")
    assert result["calls"] == {"generate_texture": True, "uniform": True, "ZvRenderTexture": True}
