"""A GL error the host left pending (some libraries leave one after a successful read-back) is
the host's, not the layer's: the next layer calls must not report it as their own."""

from host_context import hostgl

GL_INVALID_ENUM_TRIGGER = 0xFFFF  # glEnable of no capability: GL_INVALID_ENUM, nothing else


def main():
    import moderngl

    moderngl.create_context(standalone=True, backend="egl")
    rl, zg, ZvRenderTexture, ZvShader = hostgl.layer()
    gradient = zg.GradientRaylib([(255, 0, 0, 255), (0, 0, 255, 255)])
    calls = {
        "generate_texture": lambda: gradient.generate_texture(4, 4).read_pixels() is not None,
        "uniform": lambda: rl.set_zvshader_value_int(shader, location, 0) is None,
        "ZvRenderTexture": lambda: ZvRenderTexture((2, 2)).loaded,
    }
    shader = ZvShader()
    location = rl.get_zvshader_location(shader, "texture0")
    results = {}
    for name, call in calls.items():
        hostgl.gl.glEnable(GL_INVALID_ENUM_TRIGGER)
        results[name] = hostgl.outcome(call)
    return {"calls": results}


if __name__ == "__main__":
    hostgl.run(main)
