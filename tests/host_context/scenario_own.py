"""The layer makes its own headless context first; then moderngl makes and uses its own in the
same process, and the two take turns. Every layer call must leave moderngl's context current
(errors included), both must keep drawing the right pictures, and a draw outside texture mode
goes into moderngl's framebuffer (the layer works in the context current at each call)."""

import sys

import numpy as np

from host_context import hostgl

W, H = 24, 16
WEIGHTED = [((255, 200, 0, 255), 3), (0, 128, 255, 200), ((40, 40, 40, 0), 0.5), (255, 0, 255, 255)]
WHITE = (255, 255, 255, 255)


def main():
    import moderngl

    from zorva_ui.rendering.pygame.gradient import GradientPygame

    rounds = int(sys.argv[1])
    rl, zg, ZvRenderTexture, ZvShader = hostgl.layer()
    gradient = zg.GradientRaylib(WEIGHTED, angle=30)

    def generated():
        texture = gradient.generate_texture(W, H)
        try:
            return hostgl.pixels_of(texture)
        finally:
            texture.unload()

    first = generated()
    result = {
        "context": rl.context_info()["context"],
        "first": hostgl.compare(first, GradientPygame(WEIGHTED, angle=30).render(W, H)),
    }
    blank = rl.load_texture_from_image(rl.gen_image_color(1, 1, WHITE))
    shader = ZvShader()
    color_loc = rl.get_zvshader_location(shader, "colDiffuse")

    ctx = moderngl.create_context(standalone=True, backend="egl")
    binding = hostgl.egl_current()
    scene = hostgl.ModernglScene(ctx)
    moderngl_first = scene.render()
    lost = []  # (round, call) after which moderngl's context was no longer current

    def layer(name, fn, *args):
        try:
            return fn(*args)
        finally:
            if hostgl.egl_current() != binding:
                lost.append(name)
                hostgl.make_current(binding)

    wrong = {"moderngl": [], "generated": [], "texture mode": [], "state": []}
    for i in range(rounds):
        if scene.render() != moderngl_first:
            wrong["moderngl"].append(i)
        state = hostgl.capture()
        if not np.array_equal(layer("generate_texture", generated), first):
            wrong["generated"].append(i)
        # Texture mode stays open across moderngl's draws.
        target = layer("ZvRenderTexture", ZvRenderTexture, (W, H))
        layer("begin_texture_mode", rl.begin_texture_mode, target.render_texture)
        layer("c_fast_clear", target.c_fast_clear, (0, 0, 0, 0))
        if scene.render() != moderngl_first:
            wrong["moderngl"].append(i)
        source = layer("generate_texture", gradient.generate_texture, W, H)
        layer("begin_blend_mode", rl.begin_blend_mode, rl.BlendMode.BLEND_ALPHA_PREMULTIPLY)
        layer(
            "draw_texture_pro",
            rl.draw_texture_pro,
            source,
            (0, 0, W, H),
            (0, 0, W, H),
            (0, 0),
            0.0,
            WHITE,
        )
        layer("end_blend_mode", rl.end_blend_mode)
        layer("end_texture_mode", rl.end_texture_mode)
        if not np.array_equal(layer("read_pixels", hostgl.pixels_of, target), first):
            wrong["texture mode"].append(i)
        layer("unload", source.unload)
        layer("unload", target.unload)
        if hostgl.changed(state, hostgl.capture()):
            wrong["state"].append(i)
    result["wrong rounds"] = wrong

    # Failing calls, each with moderngl's context current and its framebuffer bound.
    scene.render()
    before = scene.fbo.read(components=4)
    target = ZvRenderTexture((4, 4))

    def released_target():
        rl.begin_texture_mode(target.render_texture)
        try:
            target.unload()
            rl.draw_texture_pro(blank, (0, 0, 1, 1), (0, 0, 2, 2), (0, 0), 0.0, WHITE)
        finally:
            rl.end_texture_mode()

    failing = {
        "bad size": lambda: ZvRenderTexture((0, 0)),
        "uniform refused": lambda: rl.set_zvshader_value_int(shader, color_loc, 1),
        "released target": released_target,
        "draw_texture_pro outside texture mode": lambda: rl.draw_texture_pro(
            blank, (0, 0, 1, 1), (0, 0, 8, 8), (0, 0), 0.0, WHITE
        ),
        "ClickGradient.draw outside texture mode": lambda: zg.ClickGradient(WEIGHTED).draw(
            0, 0, 8, 8
        ),
    }
    result["errors"] = {
        name: layer(name, lambda fn=fn: hostgl.outcome(lambda: (fn(), "returned")[1]))
        for name, fn in failing.items()
    }
    result["moderngl framebuffer untouched"] = scene.fbo.read(components=4) == before

    # A caller whose context draws to one pbuffer and reads from another, on another display
    # (`layer` checks against this binding from now on).
    binding = hostgl.make_pbuffer_context()
    result["pbuffers"] = {
        "generate_texture": layer("pbuffer generate", lambda: np.array_equal(generated(), first)),
        "uniform refused": layer(
            "pbuffer uniform refused", lambda: hostgl.outcome(failing["uniform refused"])
        ),
    }
    result["lost"] = lost
    result["still right"] = np.array_equal(generated(), first)
    return result


if __name__ == "__main__":
    hostgl.run(main)
