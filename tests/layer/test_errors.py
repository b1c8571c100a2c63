"""The layer's own failures raise LayerError, a RuntimeError, with their messages as before."""

import subprocess
import sys

import pytest

import zorva_ui
from zorva_ui.fast.raylib import zorva_raylib as rl
from zorva_ui.fast.zvshader.zvshader import ZvShader


def _unload_active_shader():
    shader = ZvShader()
    with rl.begin_zvshader_mode(shader):
        shader.unload()


@pytest.mark.parametrize(
    "call, message",
    [
        (rl.end_blend_mode, "end_blend_mode without begin_blend_mode"),
        (rl.end_texture_mode, "end_texture_mode without begin_texture_mode"),
        (lambda: ZvShader(None, "not glsl"), "fragment shader failed to compile"),
        (_unload_active_shader, "cannot unload a shader while shader mode uses it"),
        (
            lambda: rl.draw_texture_pro(
                rl.load_texture_from_image(rl.gen_image_color(1, 1, rl.WHITE)),
                (0, 0, 1, 1),
                (0, 0, 1, 1),
                (0, 0),
                0,
                rl.WHITE,
            ),
            "nothing to draw into: call begin_texture_mode before drawing",
        ),
    ],
    ids=["blend mode", "texture mode", "compile", "active shader", "no target"],
)
def test_layer_failures_raise_layer_error(call, message):
    with pytest.raises(rl.LayerError) as info:
        call()
    assert type(info.value) is rl.LayerError and str(info.value).startswith(message)


def test_layer_error_is_a_runtime_error_reexported_lazily():
    assert issubclass(rl.LayerError, RuntimeError)
    assert zorva_ui.LayerError is rl.LayerError
    assert rl.LayerError.__module__ == "zorva_ui.fast.raylib.zorva_raylib"
    # `import zorva_ui` alone still loads no compiled module.
    code = "import sys, zorva_ui; print(any('zorva_raylib' in m for m in sys.modules))"
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert out.stdout.strip() == "False"


def test_other_errors_keep_their_types():
    with pytest.raises(ValueError) as info:
        rl.begin_blend_mode(99)
    assert not isinstance(info.value, rl.LayerError)
