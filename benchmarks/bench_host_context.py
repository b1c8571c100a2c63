"""ClickGradient.draw in a context the layer adopted, against the same draw in its own headless
context, in one run.

The context is chosen once per process, so each side runs in a subprocess of its own, in close
alternation: the own context draws into a render texture (the only place it can draw); the
adopted one, a moderngl EGL context made current first, draws into moderngl's framebuffer. Both
draw a 1x1 rectangle with the same gradient, so the difference is the cost of working in a host's
context: checking that it is current and saving and restoring the host's GL state.

- "in a pass": the owner's drawing pass holds a blend mode around its draws (the usual case);
  the host's state is saved once and restored when the pass ends.
- "bare": no mode open, so every call saves and restores the host's state itself; the state
  really changes between draws, and this machine's software rasteriser records a fresh copy of
  the pipeline state for every such draw, so this figure is mostly the driver's (shown, not a
  target).

Target: the adopted draw in a pass costs under 2x the own-context draw per call.
"""

import statistics
import subprocess
import sys

SCRIPT = r"""
import sys, time
mode = sys.argv[1]
if mode != "own":
    import moderngl
    ctx = moderngl.create_context(standalone=True, backend="egl")
    fbo = ctx.framebuffer(color_attachments=[ctx.texture((4, 4), 4)])
    fbo.use()
from zorva_ui.core import GradientType
from zorva_ui.core.modules import rl
from zorva_ui.fast.zvraygrad.zvraygrad import ClickGradient
from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture

colours = [(i * 30, 255 - i * 30, (i * 70) % 256, 255) for i in range(8)]
click = ClickGradient(colours, GradientType.Radial)
expected = {"own": "own headless EGL"}.get(mode, "adopted EGL")
assert rl.context_info()["context"] == expected, rl.context_info()
target = None
if mode == "own":
    target = ZvRenderTexture((4, 4))
    rl.begin_texture_mode(target)
blend = int(rl.BlendMode.BLEND_ALPHA_PREMULTIPLY)
draw = click.draw
def run(times):
    if mode != "bare":
        rl.begin_blend_mode(blend)
    start = time.perf_counter()
    for _ in range(times):
        draw(0.0, 0.0, 1.0, 1.0)
    elapsed = time.perf_counter() - start
    if mode != "bare":
        rl.end_blend_mode()
    return elapsed / times
run(2000)
print(min(run(4000) for _ in range(15)))
"""


def per_draw(mode):
    out = subprocess.run(
        [sys.executable, "-c", SCRIPT, mode], capture_output=True, text=True, check=True
    )
    return float(out.stdout.strip().splitlines()[-1])


def us(seconds):
    return f"{seconds * 1e6:6.2f} us"


def main():
    rounds = {"own": [], "pass": [], "bare": []}
    for _ in range(3):
        for mode, times in rounds.items():
            times.append(per_draw(mode))
    own = statistics.median(rounds["own"])
    in_pass = statistics.median(rounds["pass"])
    bare = statistics.median(rounds["bare"])
    print(f"  ClickGradient.draw, own headless context (render texture): {us(own)}")
    print(
        f"  adopted moderngl EGL context, in a pass (blend mode held):  {us(in_pass)}"
        f"  ({in_pass / own:.2f}x)"
    )
    print(
        f"  adopted context, bare (no mode open, state saved per draw): {us(bare)}"
        f"  ({bare / own:.2f}x)"
    )
    ok = in_pass / own < 2.0
    print(f"  [{'ok' if ok else 'MISSED'}] adopted draw in a pass < 2x own: {in_pass / own:.2f}x")
    return ok


if __name__ == "__main__":
    sys.exit(0 if main() else 1)
