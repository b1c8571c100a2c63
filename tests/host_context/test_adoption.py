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


def test_leaving_the_with_block_makes_the_layer_refuse():
    """moderngl's `with ctx:` made the context current for adoption; its exit leaves nothing
    current, so the next call must say which context the layer needs."""
    result = scenario_result("scenario_adopt", "with-block")
    assert result["after_with"].startswith("raised LayerError")
    assert "not current" in result["after_with"]
    assert result["adopted_handle"] in result["after_with"]


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
    for call in ("first", "again", "context_info"):
        assert result[call].startswith("raised LayerError"), result[call]
        assert "3.3" in result[call]
    assert result["binding kept"]


# ---- Calls that cannot reach the adopted context ----------------------------------------------


@pytest.fixture
def refused():
    return scenario_result("scenario_errors")


CALLS = [
    "ZvRenderTexture",
    "generate_texture",
    "ClickGradient.draw",
    "read_pixels",
    "load_texture_from_image",
    "ZvShader",
    "begin_texture_mode",
    "context_info",
]


@pytest.mark.parametrize("call", CALLS)
@pytest.mark.parametrize("situation", ["nothing current", "other current"])
def test_calls_raise_when_the_adopted_context_is_not_current(refused, situation, call):
    message = refused[situation][call]
    assert message.startswith("raised LayerError"), message
    assert "not current" in message
    assert refused["adopted"] in message


def test_refused_calls_leave_every_context_alone(refused):
    assert refused["nothing current afterwards"]
    assert refused["other context kept"] == {"binding": True, "state": {}, "pixels": True}
    assert refused["host framebuffer untouched"]


def test_objects_collected_while_unreachable_do_not_raise(refused):
    assert refused["collected while not current"] == "done"
    assert refused["thread"]["collected"] == "done"


@pytest.mark.parametrize("call", CALLS)
@pytest.mark.parametrize("situation", ["nothing current", "other current"])
def test_calls_from_another_thread_raise(refused, situation, call):
    message = refused["thread"][situation][call]
    assert message == (
        "raised LayerError: the rendering context belongs to the thread that created it"
    )


@pytest.mark.parametrize("when", ["works again", "works after thread"])
def test_the_layer_works_once_its_context_is_current_again(refused, when):
    assert_close(refused[when]["fresh"])
    assert refused[when]["kept_unchanged"]
    assert refused["binding after thread"]


def test_an_error_the_host_left_pending_is_not_reported_as_the_layers():
    result = scenario_result("scenario_pending_error")
    assert result["calls"] == {"generate_texture": True, "uniform": True, "ZvRenderTexture": True}
