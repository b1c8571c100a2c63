"""The rendering layer: context start-up (in a fresh process) and one 256x256 shader render,
end to end (new target, uniforms, clear, draw, read back) and without the read-back."""

import statistics
import subprocess
import sys
import time

STARTUP = """
import time
from zorva_ui.fast.raylib import zorva_raylib as rl
t = time.perf_counter()
rl.context_info()
print(time.perf_counter() - t)
"""

# A gradient-like load: 64 colours and stops, a loop per pixel.
FRAGMENT = """#version 330
in vec2 fragTexCoord;
uniform vec4 colors[64];
uniform float stops[64];
uniform int colorCount;
uniform vec2 size;
out vec4 o;
void main() {
    float t = clamp(fragTexCoord.x, 0.0, 1.0);
    vec4 c = colors[0];
    for (int i = 1; i < colorCount && i < 64; ++i) {
        float span = max(stops[i] - stops[i - 1], 1e-6);
        c = mix(c, colors[i], clamp((t - stops[i - 1]) / span, 0.0, 1.0));
    }
    o = vec4(c.rgb * c.a, c.a);
}
"""

# Targets for this machine's software rasteriser (llvmpipe, 2 cores); a GPU is far faster.
STARTUP_TARGET_S = 0.5
RENDER_TARGET_S = 0.030


def render(rl, shader, locs, texture, ZvRenderTexture, ZvVector2, read):
    rl.set_zvshader_value_vec4_v(shader, locs["colors"], COLORS)
    rl.set_zvshader_value_float_v(shader, locs["stops"], STOPS)
    rl.set_zvshader_value_int(shader, locs["colorCount"], 64)
    rl.set_zvshader_value_vec2_zvvec(shader, locs["size"], ZvVector2(256, 256))
    target = ZvRenderTexture.new(ZvVector2(256, 256))
    rl.begin_texture_mode(target)
    rl.begin_blend_mode(rl.BlendMode.BLEND_ALPHA_PREMULTIPLY)
    rl.begin_zvshader_mode(shader)
    target.c_fast_clear((0, 0, 0, 0))
    rl.draw_texture_pro(texture, (0, 0, 1, 1), (0, 0, 256, 256), (0, 0), 0.0, rl.WHITE)
    rl.end_shader_mode()
    rl.end_blend_mode()
    rl.end_texture_mode()
    if read:
        target.read_pixels()
    return target


COLORS = [(i / 63, 1 - i / 63, 0.5, 1.0) for i in range(64)]
STOPS = [i / 63 for i in range(64)]


def main():
    startups = [
        float(
            subprocess.run(
                [sys.executable, "-c", STARTUP], capture_output=True, text=True, check=True
            ).stdout
        )
        for _ in range(3)
    ]
    from zorva_ui.fast.raylib import zorva_raylib as rl
    from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture
    from zorva_ui.fast.zvshader.zvshader import ZvShader
    from zorva_ui.fast.zvvector2.zvvector2 import ZvVector2

    shader = ZvShader(None, FRAGMENT)
    locs = {
        n: rl.get_zvshader_location(shader, n) for n in ("colors", "stops", "colorCount", "size")
    }
    image = rl.gen_image_color(1, 1, rl.WHITE)
    texture = rl.load_texture_from_image(image)
    results = {}
    for read in (True, False):
        times = []
        for _ in range(30):
            t = time.perf_counter()
            render(rl, shader, locs, texture, ZvRenderTexture, ZvVector2, read)
            times.append(time.perf_counter() - t)
        results[read] = statistics.median(times[5:])
    startup = statistics.median(startups)
    print(f"context start-up: {startup * 1e3:.1f} ms (target < {STARTUP_TARGET_S * 1e3:.0f} ms)")
    print(
        f"256x256 render with read-back: {results[True] * 1e3:.2f} ms "
        f"(target < {RENDER_TARGET_S * 1e3:.0f} ms)"
    )
    print(f"256x256 render, commands only: {results[False] * 1e3:.2f} ms")
    return startup < STARTUP_TARGET_S and results[True] < RENDER_TARGET_S


if __name__ == "__main__":
    sys.exit(0 if main() else 1)
