"""Gradient pictures at 1024x1024: the shader against its previous version, the CPU renderer
against its previous version, the import of the gradient module, the cache's attribute access by
member name (in bench_cache), and both rendering paths against the libraries a user would pick
instead. Every pair is measured in this one run, contenders alternating round by round, and
compared by the medians of their rounds.

Targets:
- shader: shading cost per pixel (a render minus the same render through a shader that only
  writes a constant, all else equal) at most 0.5x the previous shader's, and the render with
  read-back (what generate_texture + read_pixels do) at most 0.6x, for linear and radial
  gradients of 2, 8 and 64 colours;
- CPU renderer: at least 20x the previous renderer, faster than pycairo producing the same RGBA
  picture, and a peak of extra memory (tracemalloc) at most 3x the picture;
- import of the gradient module: at most 0.3x the import with numpy (what it cost when the
  module imported numpy), each in a fresh interpreter.

The peers (skia-python, pycairo, and moderngl in a process of its own, since our layer adopts a
current context) paint the same pictures, checked within 2 per channel of ours; moderngl runs the
shader that searched the stops per pixel (baseline_search_shader), as our shader reads a ramp
that only our layer builds. The table ends with the floor: allocating and filling the picture's
bytes. Target of the table: ours on the GPU (generate_texture and the read-back) at most 1.0x
pycairo's time at 1024x1024, linear and radial, 2 and 8 colours.
"""

import json
import math
import pathlib
import statistics
import subprocess
import sys
import time
import tracemalloc

import numpy as np

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import baseline_cpu_gradient  # noqa: E402
import baseline_numpy_gradient  # noqa: E402
import baseline_shader  # noqa: E402

from zorva_ui.core import GradientType  # noqa: E402
from zorva_ui.fast import GradientShader  # noqa: E402
from zorva_ui.fast.zvpicture import zvpicture  # noqa: E402
from zorva_ui.rendering.pygame.gradient import GradientPygame  # noqa: E402

SIZE = 1024
TOLERANCE = 2
UNIFORMS = ("gradientType", "angle", "centerPos", "colors", "stops", "colorCount", "alpha", "size")

# The gradients of the comparison with other libraries: opaque, so that libraries interpolating
# straight colours paint the same picture.
LINEAR = ([(255, 0, 0, 255), (0, 255, 0, 255), (0, 0, 255, 255), (255, 255, 0, 255)], 45.0)
RADIAL = ([(255, 200, 0, 255), (0, 128, 255, 255), (40, 40, 40, 255)], (0.5, 0.5))

FLOOR_FRAGMENT = """#version 330 core
out vec4 finalColor;
void main()
{
    finalColor = vec4(0.25, 0.5, 0.75, 1.0);
}
"""


def median_ms(values):
    return statistics.median(values) * 1e3


def check(label, ok, detail):
    print(f"  [{'ok' if ok else 'MISSED'}] {label}: {detail}")
    return ok


def same_picture(a, b, tolerance=TOLERANCE):
    diff = np.abs(np.asarray(a, dtype=int) - np.asarray(b, dtype=int))
    return a.shape == b.shape and diff.max(initial=0) <= tolerance, int(diff.max(initial=0))


def gradient_colours(count, seed):
    rng = np.random.default_rng(seed)
    return [tuple(int(v) for v in rng.integers(0, 256, 3)) + (255,) for _ in range(count)]


def uniforms_of(g):
    return dict(
        gradient_type=g.gradient_type_int,
        angle=g.angle,
        center=g.center,
        colors=g.normalized_colors,
        stops=g.stops,
        color_count=len(g.normalized_colors),
    )


# ---- The shader -----------------------------------------------------------------------------


class Program:
    """A program compiled by the layer, rendered the way generate_texture renders: uniforms, a
    new render texture, texture, blend and shader modes, a clear, the blank texture drawn over
    the whole target, and the pixels read back."""

    def __init__(self, layer, vertex, fragment):
        self.layer = layer
        rl = layer["rl"]
        self.shader = layer["ZvShader"].c_create_from_code(vertex, fragment)
        self.locs = {n: rl.get_zvshader_location(self.shader, n) for n in UNIFORMS}

    def render(self, u, size=SIZE):
        layer = self.layer
        rl, s, loc = layer["rl"], self.shader, self.locs
        rl.set_zvshader_value_int(s, loc["gradientType"], u["gradient_type"])
        rl.set_zvshader_value_float(s, loc["angle"], u["angle"])
        rl.set_zvshader_value_vec2_tuple(s, loc["centerPos"], tuple(u["center"]))
        rl.set_zvshader_value_int(s, loc["colorCount"], u["color_count"])
        rl.set_zvshader_value_float(s, loc["alpha"], 1.0)
        rl.set_zvshader_value_vec4_v(s, loc["colors"], [tuple(c) for c in u["colors"]])
        rl.set_zvshader_value_float_v(s, loc["stops"], list(u["stops"]))
        rl.set_zvshader_value_vec2_tuple(s, loc["size"], (float(size), float(size)))
        target = layer["ZvRenderTexture"]((size, size))
        try:
            rl.begin_texture_mode(target.render_texture)
            rl.begin_blend_mode(int(rl.BlendMode.BLEND_ALPHA_PREMULTIPLY))
            rl.begin_zvshader_mode(s)
            target.c_fast_clear((0, 0, 0, 0))
            rl.draw_texture_pro(
                layer["blank"], (0, 0, 1, 1), (0, 0, size, size), (0, 0), 0.0, rl.WHITE
            )
            rl.end_shader_mode()
            rl.end_blend_mode()
            rl.end_texture_mode()
            data = target.read_pixels()
        finally:
            target.unload()
        return np.frombuffer(data, dtype=np.uint8).reshape(size, size, 4)


def load_layer():
    from zorva_ui.fast.raylib import zorva_raylib as rl
    from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture
    from zorva_ui.fast.zvshader.zvshader import ZvShader

    image = rl.gen_image_color(1, 1, rl.WHITE)
    blank = rl.load_texture_from_image(image)
    rl.unload_image(image)
    return {"rl": rl, "ZvShader": ZvShader, "ZvRenderTexture": ZvRenderTexture, "blank": blank}


def bench_shader(layer, rounds=11):
    print(
        "  shader, 1024x1024 with read-back; shading = render - the same render through a shader\n"
        "  that writes a constant. Costs are the process's CPU time (the rasteriser's threads\n"
        "  included), so that waiting for a core of this shared machine is not counted; wall\n"
        "  times are shown beside them. Medians of alternating rounds."
    )
    previous = Program(
        layer,
        baseline_shader.GradientShader.VERTEX_SHADER,
        baseline_shader.GradientShader.FRAGMENT_SHADER,
    )
    ours = Program(layer, GradientShader.VERTEX_SHADER, GradientShader.FRAGMENT_SHADER)
    floor = Program(layer, None, FLOOR_FRAGMENT)
    print(
        f"  {'gradient':<11}{'previous':>9}{'ours':>8}{'floor':>7}"
        f"{'shading/px prev':>16}{'ours':>7}{'ratio':>7}{'render':>8}{'wall':>6}"
    )
    ok = True
    for kind in (GradientType.Linear, GradientType.Radial):
        for count in (2, 8, 64):
            g = GradientPygame(gradient_colours(count, count), kind, angle=45.0, center=(0.5, 0.5))
            u = uniforms_of(g)
            same, worst = same_picture(previous.render(u), ours.render(u))
            cpu = {"previous": [], "ours": [], "floor": []}
            wall = {name: [] for name in cpu}
            for _ in range(rounds):
                for name, program in (("previous", previous), ("ours", ours), ("floor", floor)):
                    start, start_cpu = time.perf_counter(), time.process_time()
                    program.render(u)
                    cpu[name].append(time.process_time() - start_cpu)
                    wall[name].append(time.perf_counter() - start)
            med = {name: statistics.median(values) for name, values in cpu.items()}
            med_wall = {name: statistics.median(values) for name, values in wall.items()}
            pixels = SIZE * SIZE
            shade_prev = (med["previous"] - med["floor"]) / pixels
            shade_ours = (med["ours"] - med["floor"]) / pixels
            shading = shade_ours / shade_prev
            render = med["ours"] / med["previous"]
            render_wall = med_wall["ours"] / med_wall["previous"]
            label = f"{kind.name.lower()} {count}"
            print(
                f"  {label:<11}{med['previous'] * 1e3:>7.1f}ms{med['ours'] * 1e3:>6.1f}ms"
                f"{med['floor'] * 1e3:>5.1f}ms{shade_prev * 1e9:>14.1f}ns"
                f"{shade_ours * 1e9:>5.1f}ns{shading:>7.2f}{render:>8.2f}{render_wall:>6.2f}"
            )
            ok &= check(f"{label}: same picture as the previous shader", same, f"max diff {worst}")
            ok &= check(
                f"{label}: shading per pixel <= 0.5x previous", shading <= 0.5, f"{shading:.2f}x"
            )
            ok &= check(
                f"{label}: render with read-back <= 0.6x previous", render <= 0.6, f"{render:.2f}x"
            )
    return ok


# ---- The CPU renderer -----------------------------------------------------------------------


def peer_geometry(kind, colours, where, size):
    """Our gradient and where a peer library must put it on a size x size picture: the two ends
    of the gradient line (linear), or the centre and radius (radial)."""
    g = GradientPygame(
        colours,
        kind,
        angle=where if kind == GradientType.Linear else None,
        center=where if kind == GradientType.Radial else None,
    )
    w = h = float(size)
    if kind == GradientType.Linear:
        a = math.radians(g.angle)
        dx, dy = math.cos(a), math.sin(a)
        half = (abs(w * dx) + abs(h * dy)) / 2
        return g, (w / 2 - dx * half, h / 2 - dy * half, w / 2 + dx * half, h / 2 + dy * half)
    cx, cy = g.center[0] * w, g.center[1] * h
    return g, (cx, cy, float(np.hypot(max(cx, w - cx), max(cy, h - cy))))


def cairo_picture(kind, colours, where, size=SIZE):
    """The gradient painted by pycairo and turned into the same premultiplied RGBA array."""
    import cairo

    g, place = peer_geometry(kind, colours, where, size)
    if kind == GradientType.Linear:
        pattern = cairo.LinearGradient(*place)
    else:
        cx, cy, radius = place
        pattern = cairo.RadialGradient(cx, cy, 0.0, cx, cy, radius)
    for stop, (r, gg, b, a) in zip(g.stops, colours, strict=True):
        pattern.add_color_stop_rgba(stop, r / 255, gg / 255, b / 255, a / 255)
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, size, size)
    context = cairo.Context(surface)
    context.set_source(pattern)
    context.paint()
    surface.flush()
    stride = surface.get_stride()
    bgra = np.ndarray((size, stride // 4, 4), dtype=np.uint8, buffer=surface.get_data())
    return bgra[:, :size, [2, 1, 0, 3]]  # a new array, in RGBA order


def skia_picture(kind, colours, where, size=SIZE):
    import skia

    g, place = peer_geometry(kind, colours, where, size)
    argb = [skia.ColorSetARGB(a, r, gg, b) for r, gg, b, a in colours]
    flags = skia.GradientShader.kInterpolateColorsInPremul_Flag
    if kind == GradientType.Linear:
        x0, y0, x1, y1 = place
        points = [skia.Point(x0, y0), skia.Point(x1, y1)]
        shader = skia.GradientShader.MakeLinear(points, argb, g.stops, skia.TileMode.kClamp, flags)
    else:
        cx, cy, radius = place
        shader = skia.GradientShader.MakeRadial(
            skia.Point(cx, cy), radius, argb, g.stops, skia.TileMode.kClamp, flags
        )
    info = skia.ImageInfo.Make(
        size, size, skia.ColorType.kRGBA_8888_ColorType, skia.AlphaType.kPremul_AlphaType
    )
    surface = skia.Surface.MakeRaster(info)
    surface.getCanvas().drawPaint(skia.Paint(Shader=shader))
    return surface.makeImageSnapshot().toarray()


def timed(contenders, rounds):
    """Median seconds of each contender, the contenders alternating round by round."""
    times = {name: [] for name in contenders}
    for _ in range(rounds):
        for name, paint in contenders.items():
            start = time.perf_counter()
            paint()
            times[name].append(time.perf_counter() - start)
    return {name: statistics.median(values) for name, values in times.items()}


def bench_cpu(rounds=9):
    print(
        "  CPU renderer, 1024x1024, against its numpy version (today's), the renderer before\n"
        "  that (previous), pycairo (same RGBA picture) and the floor (filling the picture's\n"
        f"  bytes in place); ramp loop: {zvpicture.ramp_loop()}"
    )
    ok = True
    for kind, (colours, where) in ((GradientType.Linear, LINEAR), (GradientType.Radial, RADIAL)):
        key = "angle" if kind == GradientType.Linear else "center"
        ours = GradientPygame(colours, kind, **{key: where})
        numpy_version = baseline_numpy_gradient.GradientPygame(colours, kind, **{key: where})
        previous = baseline_cpu_gradient.GradientPygame(colours, kind, **{key: where})
        picture = ours.render(SIZE, SIZE)
        same_numpy, worst_numpy = same_picture(picture, numpy_version.render(SIZE, SIZE), 1)
        same_prev, worst_prev = same_picture(picture, previous.render(SIZE, SIZE))
        same_cairo, worst_cairo = same_picture(picture, cairo_picture(kind, colours, where))
        reused = np.empty((SIZE, SIZE, 4), np.uint8)
        fresh = []

        def first_render(fresh=fresh):
            # A new gradient, made outside the timed call: its first render makes its ramp.
            g = fresh.pop()
            start = time.perf_counter()
            g.render(SIZE, SIZE)
            return time.perf_counter() - start

        med = timed(
            {
                "ours": lambda g=ours: g.render(SIZE, SIZE),
                "ours, into a reused buffer": lambda g=ours, b=reused: g.render_into(b, SIZE, SIZE),
                "numpy version": lambda g=numpy_version: g.render(SIZE, SIZE),
                "previous": lambda g=previous: g.render(SIZE, SIZE),
                "pycairo": lambda: cairo_picture(kind, colours, where),  # noqa: B023
                "floor: fill in place": lambda b=reused: b.fill(1),
            },
            rounds,
        )
        firsts = []
        for _ in range(rounds):
            fresh.append(GradientPygame(colours, kind, **{key: where}))
            firsts.append(first_render())
        first_extra = statistics.median(firsts) - med["ours"]
        tracemalloc.start()
        try:
            result = ours.render(SIZE, SIZE)
            _, peak = tracemalloc.get_traced_memory()
        finally:
            tracemalloc.stop()
        extra = (peak - result.nbytes) / result.nbytes
        label = kind.name.lower()
        print(
            "  "
            + ", ".join(f"{name} {value * 1e3:.2f} ms" for name, value in med.items())
            + f"; a new gradient's first render adds {first_extra * 1e3:.3f} ms"
        )
        versus_numpy = med["ours"] / med["numpy version"]
        versus_floor = med["ours, into a reused buffer"] / med["floor: fill in place"]
        speedup = med["previous"] / med["ours"]
        versus_cairo = med["ours"] / med["pycairo"]
        ok &= check(
            f"{label}: within 1 of the numpy version", same_numpy, f"max diff {worst_numpy}"
        )
        ok &= check(
            f"{label}: same picture as the previous renderer", same_prev, f"max diff {worst_prev}"
        )
        ok &= check(f"{label}: same picture as pycairo", same_cairo, f"max diff {worst_cairo}")
        ok &= check(
            f"{label}: <= 0.4x the numpy version", versus_numpy <= 0.4, f"{versus_numpy:.2f}x"
        )
        ok &= check(
            f"{label}: into a reused buffer <= 3x the floor",
            versus_floor <= 3,
            f"{versus_floor:.2f}x",
        )
        ok &= check(
            f"{label}: a first render adds <= 0.1 ms",
            first_extra <= 1e-4,
            f"{first_extra * 1e3:.3f} ms",
        )
        ok &= check(f"{label}: >= 20x the previous renderer", speedup >= 20, f"{speedup:.0f}x")
        ok &= check(
            f"{label}: faster than pycairo", versus_cairo < 1, f"{versus_cairo:.2f}x its time"
        )
        ok &= check(f"{label}: peak extra memory <= 3x the picture", extra <= 3, f"{extra:.2f}x")
    return ok & bench_small_many_colours(rounds * 20)


def bench_small_many_colours(rounds):
    """64x64 with 64 colours, where the numpy version paid most for its exact path."""
    ok = True
    for kind in (GradientType.Linear, GradientType.Radial):
        colours = gradient_colours(64, 64)
        g = GradientPygame(colours, kind, angle=45.0, center=(0.5, 0.5))
        where = 45.0 if kind == GradientType.Linear else (0.5, 0.5)
        med = timed(
            {
                "ours": lambda g=g: g.render(64, 64),
                "pycairo": lambda: cairo_picture(kind, colours, where, 64),  # noqa: B023
                "numpy version": lambda: baseline_numpy_gradient.GradientPygame(  # noqa: B023
                    colours,  # noqa: B023
                    kind,  # noqa: B023
                    angle=45.0,
                    center=(0.5, 0.5),
                ).render(64, 64),
            },
            rounds,
        )
        ratio = med["ours"] / med["pycairo"]
        label = f"{kind.name.lower()} 64x64, 64 colours"
        print(
            f"  {label}: ours {med['ours'] * 1e6:.0f} us, pycairo {med['pycairo'] * 1e6:.0f} us, "
            f"numpy version {med['numpy version'] * 1e6:.0f} us"
        )
        ok &= check(f"{label}: <= 1.0x pycairo", ratio <= 1.0, f"{ratio:.2f}x")
    return ok


# ---- Import ---------------------------------------------------------------------------------

IMPORT_SCRIPT = """
import sys, time
start = time.perf_counter()
if sys.argv[1] == "with-numpy":
    import numpy
import zorva_ui.fast.zvraygrad.zvraygrad
print(time.perf_counter() - start, "numpy" in sys.modules)
"""


def bench_import(rounds=9):
    times = {"plain": [], "with-numpy": []}
    loaded = {}
    for _ in range(rounds):
        for mode in times:
            out = subprocess.run(
                [sys.executable, "-c", IMPORT_SCRIPT, mode],
                check=True,
                capture_output=True,
                text=True,
            ).stdout.split()
            times[mode].append(float(out[0]))
            loaded[mode] = out[1] == "True"
    plain, with_numpy = median_ms(times["plain"]), median_ms(times["with-numpy"])
    ratio = plain / with_numpy
    print(
        f"  import zorva_ui.fast.zvraygrad.zvraygrad: {plain:.1f} ms; with numpy, as it was: "
        f"{with_numpy:.1f} ms"
    )
    ok = check("import leaves numpy out", not loaded["plain"], f"numpy loaded: {loaded['plain']}")
    return ok & check("import <= 0.3x the import with numpy", ratio <= 0.3, f"{ratio:.2f}x")


# ---- Peers ----------------------------------------------------------------------------------

# moderngl in a process of its own renders our shader the way our layer does: a new RGBA8 target,
# cleared, premultiplied blending, one quad in target pixels, the pixels read back.
MODERNGL_WORKER = r"""
import json, sys, time
import numpy as np
import moderngl
sys.path.insert(0, sys.argv[1])
from baseline_search_shader import GradientShader

ctx = moderngl.create_context(standalone=True, backend="egl")
program = ctx.program(vertex_shader=GradientShader.VERTEX_SHADER,
                      fragment_shader=GradientShader.FRAGMENT_SHADER)

def render(u, size):
    quad = np.array([0, 0, 0, 0, 0, 1, 1, 1, 1,  0, size, 0, 0, 1, 1, 1, 1, 1,
                     size, size, 0, 1, 1, 1, 1, 1, 1,  size, 0, 0, 1, 0, 1, 1, 1, 1], "f4")
    vbo = ctx.buffer(quad.tobytes())
    vao = ctx.vertex_array(program, [(vbo, "3f 2f 4f", "vertexPosition", "vertexTexCoord",
                                      "vertexColor")], skip_errors=True)
    mvp = (2 / size, 0, 0, 0, 0, 2 / size, 0, 0, 0, 0, -1, 0, -1, -1, 0, 1)
    program["mvp"].value = mvp
    program["gradientType"].value = u["gradient_type"]
    program["angle"].value = u["angle"]
    program["centerPos"].value = tuple(u["center"])
    program["colorCount"].value = u["color_count"]
    program["alpha"].value = 1.0
    program["size"].value = (float(size), float(size))
    colours = np.zeros((64, 4), "f4")
    colours[: u["color_count"]] = u["colors"]
    stops = np.full(64, u["stops"][-1], "f4")
    stops[: u["color_count"]] = u["stops"]
    program["colors"].write(colours.tobytes())
    program["stops"].write(stops.tobytes())
    texture = ctx.texture((size, size), 4)
    fbo = ctx.framebuffer(color_attachments=[texture])
    fbo.use()
    fbo.clear(0, 0, 0, 0)
    ctx.enable(moderngl.BLEND)
    ctx.blend_func = moderngl.ONE, moderngl.ONE_MINUS_SRC_ALPHA
    vao.render(moderngl.TRIANGLE_FAN)
    data = fbo.read(components=4, alignment=1)
    for thing in (fbo, texture, vao, vbo):
        thing.release()
    return data

for line in sys.stdin:
    request = json.loads(line)
    if request["do"] == "check":
        data = render(request["u"], request["size"])
        size = request["size"]
        np.save(request["path"], np.frombuffer(data, np.uint8).reshape(size, size, 4))
        print("saved", flush=True)
    else:
        start = time.perf_counter()
        render(request["u"], request["size"])
        print(time.perf_counter() - start, flush=True)
"""


class ModernglWorker:
    def __init__(self):
        self.proc = subprocess.Popen(
            [sys.executable, "-c", MODERNGL_WORKER, str(HERE)],
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            text=True,
        )

    def ask(self, **request):
        self.proc.stdin.write(json.dumps(request) + "\n")
        self.proc.stdin.flush()
        return self.proc.stdout.readline().strip()

    def close(self):
        self.proc.stdin.close()
        self.proc.wait(timeout=30)


def plain_uniforms(g):
    u = uniforms_of(g)
    u["colors"] = [list(c) for c in u["colors"]]
    u["center"] = list(u["center"])
    return u


def gpu_picture(gpu, size):
    texture = gpu.generate_texture(size, size)
    try:
        return np.frombuffer(texture.read_pixels(), np.uint8).reshape(size, size, 4)
    finally:
        texture.unload()


def check_peers(worker):
    """At 1024x1024, every contender paints our picture (within 2 of the CPU renderer)."""
    import tempfile

    from zorva_ui.fast.zvraygrad.zvraygrad import GradientRaylib

    ok = True
    for kind, (colours, where) in ((GradientType.Linear, LINEAR), (GradientType.Radial, RADIAL)):
        key = "angle" if kind == GradientType.Linear else "center"
        cpu = GradientPygame(colours, kind, **{key: where})
        reference = cpu.render(SIZE, SIZE)
        with tempfile.TemporaryDirectory() as tmp:
            path = str(pathlib.Path(tmp) / "moderngl.npy")
            worker.ask(do="check", u=plain_uniforms(cpu), size=SIZE, path=path)
            moderngl_picture = np.load(path)
        pictures = {
            "ours, GPU": gpu_picture(GradientRaylib(colours, kind, **{key: where}), SIZE),
            "skia-python": skia_picture(kind, colours, where),
            "pycairo": cairo_picture(kind, colours, where),
            "moderngl, search shader": moderngl_picture,
        }
        for name, picture in pictures.items():
            same, worst = same_picture(picture, reference)
            ok &= check(
                f"{kind.name.lower()}: {name} paints our picture", same, f"max diff {worst}"
            )
    return ok


PEER_SIZES = {64: 41, 256: 15, 1024: 5, 4096: 2}  # size: rounds
PEER_COUNTS = (2, 8, 64)
PEERS = ("ours, GPU", "ours, CPU", "pycairo", "skia-python", "moderngl", "floor")
GPU_VERSUS_CAIRO_COUNTS = (2, 8)


def bench_peers():
    from zorva_ui.fast.zvraygrad.zvraygrad import GradientRaylib

    worker = ModernglWorker()
    gpu_versus_cairo = {}
    try:
        ok = check_peers(worker)
        print(
            "\n  median ms a picture, new target each time, CPU from a kept gradient; floor:\n"
            "  allocate and fill the picture's bytes; x cairo: time / pycairo's"
        )
        print(
            f"  {'picture':<18}"
            + "".join(f"{name:>12}" for name in PEERS)
            + f"{'GPU x cairo':>13}{'CPU x cairo':>13}"
        )
        for size, rounds in PEER_SIZES.items():
            for count in PEER_COUNTS:
                colours = gradient_colours(count, count)
                for kind in (GradientType.Linear, GradientType.Radial):
                    where = 45.0 if kind == GradientType.Linear else (0.5, 0.5)
                    key = "angle" if kind == GradientType.Linear else "center"
                    cpu = GradientPygame(colours, kind, **{key: where})
                    gpu = GradientRaylib(colours, kind, **{key: where})
                    u = plain_uniforms(cpu)
                    med = timed(
                        {
                            "ours, GPU": lambda g=gpu, n=size: gpu_picture(g, n),
                            "ours, CPU": lambda g=cpu, n=size: g.render(n, n),
                            "pycairo": lambda k=kind, c=colours, w=where, n=size: cairo_picture(
                                k, c, w, n
                            ),
                            "skia-python": lambda k=kind, c=colours, w=where, n=size: skia_picture(
                                k, c, w, n
                            ),
                            "floor": lambda n=size: np.full((n, n, 4), 1, np.uint8),
                        },
                        rounds,
                    )
                    med["moderngl"] = statistics.median(
                        float(worker.ask(do="time", u=u, size=size)) for _ in range(rounds)
                    )
                    label = f"{size} {kind.name.lower()[:3]} {count}"
                    print(
                        f"  {label:<18}"
                        + "".join(f"{med[name] * 1e3:>12.3f}" for name in PEERS)
                        + f"{med['ours, GPU'] / med['pycairo']:>13.2f}"
                        + f"{med['ours, CPU'] / med['pycairo']:>13.2f}"
                    )
                    if size == SIZE and count in GPU_VERSUS_CAIRO_COUNTS:
                        gpu_versus_cairo[label] = med["ours, GPU"] / med["pycairo"]
    finally:
        worker.close()
    for label, ratio in gpu_versus_cairo.items():
        ok &= check(f"{label}: GPU <= 1.0x pycairo", ratio <= 1.0, f"{ratio:.2f}x")
    return ok


def main():
    layer = load_layer()
    results = [bench_shader(layer), bench_cpu(), bench_import(), bench_peers()]
    return all(results)


if __name__ == "__main__":
    sys.exit(0 if main() else 1)
