"""ClickGradient.draw in a host's window, against the host's own drawing, in one run: a GLFW
window under a virtual X server, its context adopted by the layer, moderngl drawing the host's
quads.

Each round, in close alternation and each ended by glFinish:
- host: 100 moderngl quads of its own, one uniform and a render each;
- frame scope: 100 16x16 ClickGradient.draw inside one rl.begin_drawing() scope (the host's
  state saved once, put back at the end);
- separate: the same 100 draws with no scope, each saving and restoring the host's state
  (shown, not a target).

Target: the frame scope's 100 draws cost at most 1.5x the host's 100 quads.
"""

import os
import select
import shutil
import subprocess
import sys
import time

SCRIPT = r"""
import time
import glfw, moderngl, numpy as np
glfw.init()
glfw.window_hint(glfw.CONTEXT_VERSION_MAJOR, 3)
glfw.window_hint(glfw.CONTEXT_VERSION_MINOR, 3)
glfw.window_hint(glfw.OPENGL_PROFILE, glfw.OPENGL_CORE_PROFILE)
window = glfw.create_window(320, 240, "bench", None, None)
glfw.make_context_current(window)
ctx = moderngl.create_context()
from zorva_ui.core import GradientType
from zorva_ui.core.modules import rl
from zorva_ui.fast.zvraygrad.zvraygrad import ClickGradient
assert rl.context_info()["context"] == "adopted GLX", rl.context_info()
program = ctx.program(
    vertex_shader="#version 330\nin vec2 p; uniform vec2 at;\n"
    "void main() { gl_Position = vec4(p * 0.1 + at, 0.0, 1.0); }",
    fragment_shader="#version 330\nout vec4 c; void main() { c = vec4(1.0, 0.5, 0.2, 1.0); }",
)
quad = ctx.vertex_array(
    program, [(ctx.buffer(np.array([0, 0, 1, 0, 0, 1, 1, 1], "f4").tobytes()), "2f", "p")]
)
at = program["at"]
colours = [(i * 30, 255 - i * 30, (i * 70) % 256, 255) for i in range(8)]
draw = ClickGradient(colours, GradientType.Radial).draw
places = [((i % 10) * 20.0, (i // 10) * 20.0) for i in range(100)]
spots = [((i % 10) * 0.15 - 0.8, (i // 10) * 0.15 - 0.8) for i in range(100)]

def host():
    for spot in spots:
        at.value = spot
        quad.render(moderngl.TRIANGLE_STRIP)
    ctx.finish()

def scoped():
    rl.begin_drawing()
    for x, y in places:
        draw(x, y, 16.0, 16.0)
    rl.end_drawing()
    ctx.finish()

def separate():
    for x, y in places:
        draw(x, y, 16.0, 16.0)
    ctx.finish()

sides = {"host": host, "scoped": scoped, "separate": separate}
times = {name: [] for name in sides}
for side in sides.values():
    side()
for _ in range(40):
    for name, side in sides.items():
        start = time.perf_counter()
        side()
        times[name].append(time.perf_counter() - start)
print(*(sorted(t)[len(t) // 4] for t in times.values()))
"""


def start_xvfb():
    """A virtual X server on a free display (Xvfb picks it), or (None, reason)."""
    xvfb = shutil.which("Xvfb")
    if xvfb is None:
        return None, "Xvfb is not installed (tools/system_deps.sh installs it as root)"
    read_end, write_end = os.pipe()
    proc = subprocess.Popen(
        [xvfb, "-displayfd", str(write_end), "-screen", "0", "640x480x24", "-nolisten", "tcp"],
        stdin=subprocess.DEVNULL,
        stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL,
        pass_fds=(write_end,),
    )
    os.close(write_end)
    data, deadline = b"", time.monotonic() + 30
    while not data.endswith(b"\n") and time.monotonic() < deadline:
        if not select.select([read_end], [], [], 1)[0]:
            continue
        chunk = os.read(read_end, 64)
        if not chunk:
            break
        data += chunk
    os.close(read_end)
    if not data.strip().isdigit():
        proc.kill()
        proc.wait()
        return None, "Xvfb did not start"
    return proc, f":{data.decode().strip()}"


def ms(seconds):
    return f"{seconds * 1e3:6.3f} ms"


def main():
    proc, display = start_xvfb()
    if proc is None:
        print(f"  [MISSED] not measured: {display}")
        return False
    try:
        env = dict(os.environ, DISPLAY=display)
        out = subprocess.run(
            [sys.executable, "-c", SCRIPT], capture_output=True, text=True, env=env, check=True
        )
    finally:
        proc.terminate()
        proc.wait()
    host, scoped, separate = map(float, out.stdout.split())
    print(f"  host's own 100 moderngl quads:                {ms(host)}")
    print(f"  100 ClickGradient.draw in one frame scope:    {ms(scoped)}  ({scoped / host:.2f}x)")
    print(
        f"  100 separate ClickGradient.draw (no scope):   {ms(separate)}  ({separate / host:.2f}x)"
    )
    ok = scoped / host <= 1.5
    print(
        f"  [{'ok' if ok else 'MISSED'}] frame scope <= 1.5x the host's quads: {scoped / host:.2f}x"
    )
    return ok


if __name__ == "__main__":
    sys.exit(0 if main() else 1)
