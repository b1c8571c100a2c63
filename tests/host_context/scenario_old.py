"""A current context the layer cannot use at its first need: desktop OpenGL older than 3.3, or
OpenGL ES. Mesa makes an old desktop one when told to report an older version
(MESA_GL_VERSION_OVERRIDE, set by the test); the argument is the version moderngl asks for (300
gives a compatibility context, 310 and up core ones), or "es"."""

import sys

from host_context import hostgl


def main():
    import moderngl

    if sys.argv[1] == "es":
        hostgl.make_es_context()
    else:
        moderngl.create_context(standalone=True, backend="egl", require=int(sys.argv[1]))
    version = hostgl.gl.glGetString(0x1F02).decode()
    binding = hostgl.egl_current()
    rl, zg, ZvRenderTexture, _ = hostgl.layer()
    return {
        "version": version,
        "first": hostgl.outcome(lambda: ZvRenderTexture((2, 2))),
        "again": hostgl.outcome(lambda: zg.GradientRaylib([]).generate_texture(2, 2)),
        "context_info": rl.context_info()["error"],
        "binding kept": hostgl.egl_current() == binding,
    }


if __name__ == "__main__":
    hostgl.run(main)
