"""Calls made while the adopted context is not current: with nothing current (the layer works in
its own headless context), with another moderngl context current (the layer works there), or
from another thread (refused). Render textures of the adopted context are refused elsewhere; the
caller's binding and the other context's state stay as they were, and the layer works in its
first context again once that one is current."""

import gc
import threading

from host_context import hostgl

WHITE = (255, 255, 255, 255)
RGB3 = [(255, 0, 0, 255), (0, 0, 255, 255), (0, 255, 0, 255)]


class Calls:
    """Layer calls that need the context, by name, on objects made while it was current."""

    def __init__(self):
        rl, zg, ZvRenderTexture, ZvShader = hostgl.layer()
        self.rl, self.ZvRenderTexture = rl, ZvRenderTexture
        self.gradient = zg.ClickGradient(RGB3)
        self.kept = self.gradient.generate_texture(4, 4)
        self.kept_pixels = self.kept.read_pixels()
        self.image = rl.gen_image_color(2, 2, WHITE)
        self.calls = {
            "ZvRenderTexture": lambda: ZvRenderTexture((4, 4)),
            "generate_texture": lambda: self.gradient.generate_texture(3, 3),
            "ClickGradient.draw": lambda: self.gradient.draw(0, 0, 8, 8),
            "read_pixels": self.kept.read_pixels,
            "load_texture_from_image": lambda: rl.load_texture_from_image(self.image),
            "ZvShader": lambda: ZvShader(),
            "begin_texture_mode": lambda: rl.begin_texture_mode(self.kept.render_texture),
            "context_info": rl.context_info,
        }

    def run_all(self):
        results = {
            name: hostgl.outcome(lambda call=call: (call(), "returned")[1])
            for name, call in self.calls.items()
        }
        info = hostgl.outcome(self.rl.context_info)
        if isinstance(info, dict) and info["error"] is not None:
            results["context_info"] = info["error"]
        return results

    def works(self):
        """The layer on its own thread with its context current: a fresh texture is right."""
        from zorva_ui.rendering.pygame.gradient import GradientPygame

        cpu = GradientPygame(RGB3, self.gradient.type).render(4, 4)
        texture = self.gradient.generate_texture(4, 4)
        return {
            "fresh": hostgl.compare(hostgl.pixels_of(texture), cpu),
            "kept_unchanged": self.kept.read_pixels() == self.kept_pixels,
        }


def cleared_framebuffer(ctx):
    fbo = ctx.simple_framebuffer((8, 8), components=4)
    fbo.use()
    fbo.clear(0.2, 0.4, 0.6, 0.8)
    return fbo


def main():
    import moderngl

    adopted = moderngl.create_context(standalone=True, backend="egl")
    adopted_binding = hostgl.egl_current()
    host_fbo = cleared_framebuffer(adopted)
    host_before = host_fbo.read(components=4)
    rl = hostgl.layer()[0]
    result = {"context": rl.context_info()["context"], "adopted": f"0x{adopted_binding[3]:x}"}
    calls = Calls()
    # Objects whose last reference goes while the layer cannot reach its context: their GL
    # release must wait, without raising or crashing.
    unreachable = [calls.ZvRenderTexture((2, 2)), calls.ZvRenderTexture((3, 3))]
    handed_to_thread = [calls.ZvRenderTexture((2, 2))]

    hostgl.release_current()
    result["nothing current"] = calls.run_all()
    result["nothing current in"] = rl.context_info()["context"]
    result["nothing current afterwards"] = hostgl.egl_current()[3] == 0
    result["collected while not current"] = hostgl.outcome(
        lambda: (unreachable.clear(), gc.collect(), "done")[2]
    )

    other = moderngl.create_context(standalone=True, backend="egl")
    other_binding = hostgl.egl_current()
    other_fbo = cleared_framebuffer(other)
    other_before = other_fbo.read(components=4)
    state_before = hostgl.capture()
    result["other current"] = calls.run_all()
    result["other current in"] = rl.context_info()["context"]
    result["other context kept"] = {
        "binding": hostgl.egl_current() == other_binding,
        "state": hostgl.changed(state_before, hostgl.capture()),
        "drawn into": other_fbo.read(components=4) != other_before,
    }

    hostgl.make_current(adopted_binding)
    result["host framebuffer untouched"] = host_fbo.read(components=4) == host_before
    result["works again"] = calls.works()

    # Another thread: with nothing current there, then with the other context current there.
    thread_results = {}

    def worker():
        thread_results["nothing current"] = calls.run_all()
        hostgl.make_current(other_binding)
        thread_results["other current"] = calls.run_all()
        hostgl.release_current()
        thread_results["collected"] = hostgl.outcome(
            lambda: (handed_to_thread.clear(), gc.collect(), "done")[2]
        )

    thread = threading.Thread(target=worker)
    thread.start()
    thread.join()
    result["thread"] = thread_results
    result["binding after thread"] = hostgl.egl_current() == adopted_binding
    result["works after thread"] = calls.works()
    return result


if __name__ == "__main__":
    hostgl.run(main)
