"""A frame of 1000 gradient buttons of 120x32, drawn through the gradient module
(`ClickGradient.draw`) into one window-sized render texture and read back, as a UI draws its
panel every frame: with today's shader, whose fragment stage reads the ramp the layer builds,
against the shader that searched the stops at every pixel (baseline_search_shader). The module
makes its one shader per process, so each shader draws in a process of its own; frames alternate
between the two, and the ratio is of their medians.

Cases: six gradients reused across the panel (2 to 4 colours, linear and radial, as a theme
would); every button a gradient of its own (after the first frame, which builds their ramps);
and the same frame with 1x1 buttons, where drawing costs nothing and the calls are all.
Targets: a frame at most 0.6x the baseline's; the 1x1 frame (the cost of a draw call) at most
1.1x.
"""

import pathlib
import statistics
import subprocess
import sys

HERE = pathlib.Path(__file__).resolve().parent

WORKER = r"""
import sys, time
sys.path.insert(0, sys.argv[2])
if sys.argv[1] == "baseline":
    import baseline_search_shader
    from zorva_ui.fast import GradientShader
    GradientShader.VERTEX_SHADER = baseline_search_shader.GradientShader.VERTEX_SHADER
    GradientShader.FRAGMENT_SHADER = baseline_search_shader.GradientShader.FRAGMENT_SHADER
import random
from zorva_ui.core import GradientType
from zorva_ui.fast.raylib import zorva_raylib as rl
from zorva_ui.fast.zvraygrad.zvraygrad import ClickGradient
from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture

rng = random.Random(18)
def gradient(i):
    colours = [(rng.randrange(256), rng.randrange(256), rng.randrange(256), 255)
               for _ in range(2 + i % 3)]
    kind = GradientType.Linear if i % 2 else GradientType.Radial
    return ClickGradient(colours, kind, angle=90.0 * (i % 4) + 30.0, center=(0.5, 0.4))

theme = [gradient(i) for i in range(6)]
panels = {
    "six gradients reused": [theme[i % 6] for i in range(1000)],
    "every button its own": [gradient(i) for i in range(1000)],
}
panels["1x1 buttons"] = panels["six gradients reused"]
# Weights that move every frame, as an animation would: every button needs a new ramp each
# frame (the layer writes 1000 ramps while earlier draws of the frame are still queued).
animated = [ClickGradient([(rng.randrange(256), 40, 200, 255), (20, rng.randrange(256), 90, 255)],
                            GradientType.Linear, angle=30.0) for _ in range(1000)]
panels["animated weights"] = animated
frames_drawn = [0]
target = ZvRenderTexture((1280, 800))

def frame(case):
    w, h = (1.0, 1.0) if case == "1x1 buttons" else (120.0, 32.0)
    start = time.perf_counter()
    if case == "animated weights":
        frames_drawn[0] += 1
        for i, button in enumerate(animated):
            button.set_weight(0, 1.0 + (frames_drawn[0] * 1000 + i) * 1e-4)
    rl.begin_texture_mode(target.render_texture)
    for i, button in enumerate(panels[case]):
        button.draw(float(i % 10 * 128), float(i // 10 * 40 % 768), w, h)
    rl.end_texture_mode()
    target.read_pixels()
    return time.perf_counter() - start

for line in sys.stdin:
    print(frame(line.strip()), flush=True)
"""

CASES = ("six gradients reused", "every button its own", "animated weights", "1x1 buttons")
TARGETS = {"1x1 buttons": 1.1, "animated weights": 1.1}
TARGET = 0.6


class Worker:
    def __init__(self, shader):
        self.proc = subprocess.Popen(
            [sys.executable, "-c", WORKER, shader, str(HERE)],
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            text=True,
        )

    def frame(self, case):
        self.proc.stdin.write(case + "\n")
        self.proc.stdin.flush()
        return float(self.proc.stdout.readline())

    def close(self):
        self.proc.stdin.close()
        self.proc.wait(timeout=30)


def main(rounds=15):
    workers = {"baseline": Worker("baseline"), "ours": Worker("ours")}
    ok = True
    try:
        print(
            "  1000 buttons through ClickGradient.draw into a 1280x800 render texture, read\n"
            "  back; baseline: the shader that searched the stops per pixel; medians, ms"
        )
        print(f"  {'frame':<24}{'baseline':>10}{'ours':>8}{'ratio':>8}{'first frame':>13}")
        for case in CASES:
            first = {name: worker.frame(case) for name, worker in workers.items()}
            times = {name: [] for name in workers}
            for _ in range(rounds):
                for name, worker in workers.items():
                    times[name].append(worker.frame(case))
            med = {name: statistics.median(values) for name, values in times.items()}
            ratio = med["ours"] / med["baseline"]
            target = TARGETS.get(case, TARGET)
            print(
                f"  {case:<24}{med['baseline'] * 1e3:>10.1f}{med['ours'] * 1e3:>8.1f}"
                f"{ratio:>8.2f}{first['ours'] * 1e3:>13.1f}"
            )
            met = ratio <= target
            print(f"  [{'ok' if met else 'MISSED'}] {case}: <= {target}x baseline: {ratio:.2f}x")
            ok &= met
    finally:
        for worker in workers.values():
            worker.close()
    return ok


if __name__ == "__main__":
    sys.exit(0 if main() else 1)
