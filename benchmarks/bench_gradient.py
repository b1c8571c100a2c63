"""Speed of the gradient module against a plain-Python version of the same work, and the
module's own share of a draw call.

Targets, all measured in this one run:
- constructing a GradientRaylib of 8 colours: at least 10x faster than the pure version;
- ClickGradient.set_weight on 8 colours: at least 10x faster than the pure version;
- the colour update (the `colors` setter) linear in the colour count from 1 to 100,000: the
  cost of each added colour within 2x across the range;
- ClickGradient.draw of a 1x1 rectangle, shader made: the module's own work under a quarter of
  the call, the rest being the rendering layer's calls.
"""

import pathlib
import sys
import timeit

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parent / "tests"))

import pure_gradient  # noqa: E402

from zorva_ui.core import GradientType  # noqa: E402
from zorva_ui.core.modules import rl  # noqa: E402

COLOURS_8 = [(i * 30, 255 - i * 30, (i * 70) % 256, 255) for i in range(8)]
SIZES = [1, 10, 100, 1_000, 10_000, 100_000]


def per_call(stmt, env, repeat=5):
    """Seconds per run of `stmt`: the best of `repeat` timings of about 0.2 s each."""
    timer = timeit.Timer(stmt, globals=env)
    number, _ = timer.autorange()
    return min(timer.repeat(repeat, number)) / number


def ns(seconds):
    return f"{seconds * 1e9:9.1f} ns"


def check(label, ok, detail):
    print(f"  [{'ok' if ok else 'MISSED'}] {label}: {detail}")
    return ok


def bench_construction(zvraygrad):
    GradientRaylib = zvraygrad.GradientRaylib
    GradientRaylib(list(COLOURS_8))  # the one-time shader creation stays out of the timing
    pure_gradient.PureGradient(list(COLOURS_8))
    env = {
        "G": GradientRaylib,
        "P": pure_gradient.PureGradient,
        "colors": list(COLOURS_8),
        "weighted": [(c, i + 1) for i, c in enumerate(COLOURS_8)],
    }
    ours = per_call("G(colors)", env)
    pure = per_call("P(colors)", env)
    ours_w = per_call("G(weighted)", env)
    pure_w = per_call("P(weighted)", env)
    print(f"  construct, 8 colours:          ours {ns(ours)}  pure {ns(pure)}")
    print(f"  construct, 8 weighted colours: ours {ns(ours_w)}  pure {ns(pure_w)}")
    ratio = pure / ours
    return check("GradientRaylib(8 colours) >= 10x pure", ratio >= 10, f"{ratio:.1f}x")


def bench_set_weight(zvraygrad):
    click = zvraygrad.ClickGradient(list(COLOURS_8))
    pure = pure_gradient.PureClickGradient(list(COLOURS_8))
    env = {"c": click, "p": pure}
    ours = per_call("c.set_weight(3, 2.5)", env)
    theirs = per_call("p.set_weight(3, 2.5)", env)
    print(f"  set_weight, 8 colours:         ours {ns(ours)}  pure {ns(theirs)}")
    ratio = theirs / ours
    return check("set_weight(8 colours) >= 10x pure", ratio >= 10, f"{ratio:.1f}x")


def bench_linear_update(zvraygrad):
    """Time of `g.colors = lst` for lists of n distinct colours. A call has a fixed cost (the
    setter, the type check, the stops of an empty list) and a cost per colour; linear means
    the per-colour part is constant, so it is measured as (t(n) - t(0)) / n with t(0) the time
    for an empty list, the two timed in alternation so that drift of the machine hits both.
    The raw time per colour, t(n) / n, is printed too."""
    print("  colour update: t(n) = time of `g.colors = lst`; per added colour = (t(n) - t(0)) / n,")
    print("  which leaves out the fixed cost of a call (t(0), an empty list); linear = constant.")
    g = zvraygrad.GradientRaylib([])
    empty = timeit.Timer("g.colors = lst", globals={"g": g, "lst": []})
    marginal = []
    for n in SIZES:
        lst = [((i * 7) % 256, (i * 13) % 256, (i * 29) % 256, 255) for i in range(n)]
        timer = timeit.Timer("g.colors = lst", globals={"g": g, "lst": lst})
        number, _ = timer.autorange()
        base_number, _ = empty.autorange()
        totals, bases = [], []
        for _ in range(9 if n < 100_000 else 3):
            totals.append(timer.timeit(number) / number)
            bases.append(empty.timeit(base_number) / base_number)
        total, base = min(totals), min(bases)
        per_colour = (total - base) / n
        marginal.append(per_colour)
        print(
            f"  colors = {n:>7} colours: {ns(total)} per call (empty list {ns(base)}),"
            f" {ns(total / n)} raw per colour, {ns(per_colour)} per added colour"
        )
    # A per-colour cost at or below zero is noise swamping the measurement, not linearity:
    # it fails the check rather than turning the ratio negative.
    valid = min(marginal) > 0
    spread = max(marginal) / min(marginal) if valid else float("inf")
    return check(
        "colour update linear, 1..100,000 colours (per added colour within 2x)",
        valid and spread <= 2.0,
        f"max/min {spread:.2f}" if valid else "a per-colour cost at or below zero (noise)",
    )


def bench_draw(zvraygrad):
    """Our share of ClickGradient.draw(0.0, 0.0, 1.0, 1.0). Both sides run in compiled loops inside
    the same texture and blend mode: `draw_loop` calls draw as any caller does; `layer_loop`
    makes the same eleven layer calls natively through the same capsules, with a shader built
    from the same sources, the same uniform locations, a blank texture like the module's and
    arguments prepared beforehand. Everything draw does beyond those calls (argument handling,
    resource check, uniform values, vectors, rectangles) is the difference."""
    from support.cython_build import build_and_import

    from zorva_ui.fast import GradientShader
    from zorva_ui.fast.zvshader.zvshader import ZvShader
    from zorva_ui.fast.zvvector2.zvvector2 import ZvVector2

    print(
        "  draw: compiled loops in one texture + blend mode. A = draw(0.0, 0.0, 1.0, 1.0)\n"
        "  called as the interpreter calls a method (vectorcall, no bound method); B = the same\n"
        "  eleven layer calls made natively through"
        " the same capsules, arguments prepared beforehand (same shader sources, locations,\n"
        "  blank texture). Own share = (A - B) / A: all draw does besides the layer's calls."
    )
    calls = build_and_import(HERE / "draw_calls.pyx")
    click = zvraygrad.ClickGradient(list(COLOURS_8), GradientType.Radial)
    state = click.__reduce__()[2]
    texture = rl.load_texture_from_image(rl.gen_image_color(1, 1, rl.WHITE))
    layer = calls.LayerCalls(
        rl,
        ZvShader,
        GradientShader.VERTEX_SHADER,
        GradientShader.FRAGMENT_SHADER,
        texture,
        0 if click.type == GradientType.Linear else 1,
        click.angle,
        (click.center.x, click.center.y),
        click.transparency / 255,
        [(c["x"], c["y"], c["z"], c["w"]) for c in state[2]],
        state[3],
        ZvVector2(1.0, 1.0),
        (0.0, 0.0, 1.0, 1.0),
        rl.WHITE,
    )
    from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture

    target = ZvRenderTexture((4, 4))
    rl.begin_texture_mode(target)
    rl.begin_blend_mode(int(rl.BlendMode.BLEND_ALPHA_PREMULTIPLY))
    try:
        # Short runs in close alternation, so that both sides see the same machine.
        times = 4_000
        calls.draw_loop(click, 2_000)
        layer.loop(2_000)
        ours, theirs = [], []
        for _ in range(25):
            ours.append(calls.draw_loop(click, times) / times)
            theirs.append(layer.loop(times) / times)
    finally:
        rl.end_blend_mode()
        rl.end_texture_mode()
        target.unload()
    draw_time, layer_time = min(ours), min(theirs)
    share = (draw_time - layer_time) / draw_time
    print(f"  draw(0.0, 0.0, 1.0, 1.0):      {ns(draw_time)}")
    print(f"  the same layer calls, native:  {ns(layer_time)}")
    print(f"  gradient module's own work:    {ns(draw_time - layer_time)}")
    return check("draw: own share < 25%", share < 0.25, f"{share * 100:.1f}%")


def main():
    from zorva_ui.fast.zvraygrad import zvraygrad

    results = [
        bench_construction(zvraygrad),
        bench_set_weight(zvraygrad),
        bench_linear_update(zvraygrad),
        bench_draw(zvraygrad),
    ]
    return all(results)


if __name__ == "__main__":
    sys.exit(0 if main() else 1)
