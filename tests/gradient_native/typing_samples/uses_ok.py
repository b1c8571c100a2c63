"""Correct uses of every public entry point of the package: the type checker, strict and with
nothing silenced, must accept all of it, and it runs as written."""

import copy
import pickle

import numpy as np
import numpy.typing as npt

import zorva_ui
from zorva_ui.core import GradientType, LinearDirection, RadialDirection
from zorva_ui.core.enums import CacheType
from zorva_ui.core.modules import rl
from zorva_ui.fast import GradientShader
from zorva_ui.fast.raylib import zorva_raylib
from zorva_ui.fast.zorvacache.zorvacache import Cache
from zorva_ui.fast.zvraygrad import zvraygrad
from zorva_ui.fast.zvraygrad.zvraygrad import ClickGradient, GradientRaylib
from zorva_ui.fast.zvrect.zvrect import ZvRect
from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture
from zorva_ui.fast.zvshader.zvshader import ZvShader
from zorva_ui.fast.zvvector2.zvvector2 import ZvVector2
from zorva_ui.rendering.pygame.gradient import (
    MAX_COLORS,
    GradientPygame,
    compute_stops,
    render_uniforms,
)


def package() -> str:
    include: str = zorva_ui.get_include()
    return zorva_ui.__version__ + include


def gradients() -> float:
    g = GradientRaylib([(255, 0, 0, 255), ((0, 0, 255, 255), 3)], GradientType.Linear)
    g2 = GradientRaylib([], direction=LinearDirection.Bottom, angle=30, transparency=12.9)
    g2.angle = 0.1
    g2.transparency = 128
    g2.center = (0.2, 0.8)
    g2.center = ZvVector2(0.5, 0.5)
    g2.colors = [(1, 2, 3, 4)]
    g2.raw_colors = None
    g2.type = GradientType.Radial
    del g2.raw_colors
    del g2.type
    texture: ZvRenderTexture = g.generate_texture(64, 32.5)
    width: float = texture.size.x
    pixels: bytes = texture.read_pixels()
    texture.unload()
    c = ClickGradient([(0, 0, 0, 255)], direction=RadialDirection.TopLeft, center=[0.1, 0.2])
    c.set_weight(0, 2.5)
    c.set_center((0.5, 0.25))
    centre = c.center
    if centre is not None:
        c.set_center_zvvec(centre)
    c.weights = (1, 2.0)
    total: float = sum(c.weights)
    canvas = ZvRenderTexture((10, 10))
    rl.begin_texture_mode(canvas)
    c.draw(0, 0.5, 10, 10)
    rl.end_texture_mode()
    canvas.unload()
    c._recalculate_stops()
    GradientRaylib._ensure_resources()
    restored: ClickGradient = pickle.loads(pickle.dumps(c))
    again = zvraygrad.__pyx_unpickle_GradientRaylib(GradientRaylib, 0x0CE08233, None)
    click = zvraygrad.__pyx_unpickle_ClickGradient(ClickGradient, 0x0F8824C9, None)
    kind: GradientType = zvraygrad.GradientType.Radial
    shader_source: str = zvraygrad.GradientShader.FRAGMENT_SHADER + GradientShader.VERTEX_SHADER
    cpu = zvraygrad.GradientPygame([(1, 2, 3, 4)])
    layer = zvraygrad.md.rl
    return (
        len(pixels)
        + width
        + total
        + restored.angle
        + again.transparency
        + kind.value
        + len(shader_source)
        + len(cpu.stops)
        + len(click.weights)
        + layer.WHITE[0]
        + g2.angle
        + (0 if g2.colors is None else len(g2.colors))
    )


def caches() -> int:
    cache = Cache()
    cache.set(CacheType.TEXTURE, "t")
    got: object = cache.get(CacheType.TEXTURE)
    n: int = cache.get_or_exec(CacheType.FONT, lambda: 3)
    cache.get_or_set_val(CacheType.MASK, [1])
    cache.clear_selected(blacklist=[CacheType.FONT])
    cache.clear_selected(whitelist=[CacheType.MASK])
    cache.clear()
    other: Cache = copy.deepcopy(cache.copy())
    print(got, cache[CacheType.SURFACE], cache.TEXTURE, other)
    print(pickle.loads(pickle.dumps(cache)), cache.__reduce__())
    return n


def layer(path: str) -> int:
    v = ZvVector2.new(1, 2)
    v.x += 1
    r = ZvRect(0, 0, 4, 4)
    r2 = ZvRect.new(1, 1, 2, 2)
    same: bool = r == r2 or v != ZvVector2()
    shader = ZvShader(None, GradientShader.FRAGMENT_SHADER)
    shader2 = ZvShader.c_create_from_code(None, None)
    locs: tuple[int, ...] = shader.locs
    loc = {n: rl.get_zvshader_location(shader, n) for n in ("gradientType", "angle", "centerPos")}
    colors, stops = (rl.get_zvshader_location(shader, n) for n in ("colors", "stops"))
    target = ZvRenderTexture((8, 8))
    target2 = ZvRenderTexture.new(v)
    handle: zorva_raylib.RenderTarget = target.render_texture
    image = rl.gen_image_color(2, 2, rl.WHITE)
    image2 = rl.image_from_pixels(1, 1, bytes(4))
    texture = rl.load_texture_from_image(image)
    data: bytes | None = image.data
    rl.unload_image(image)
    rl.unload_image(image2)
    rl.trace_start()
    rl.begin_texture_mode(target)
    rl.begin_texture_mode(handle)
    rl.end_texture_mode()
    rl.begin_blend_mode(rl.BlendMode.BLEND_ALPHA_PREMULTIPLY)
    rl.begin_zvshader_mode(shader)
    target.c_fast_clear((0, 0, 0, 0))
    rl.set_zvshader_value_int(shader, loc["gradientType"], 1)
    rl.set_zvshader_value_float(shader, loc["angle"], 0.5)
    rl.set_zvshader_value_vec2_tuple(shader, loc["centerPos"], (0.5, 0.5))
    rl.set_zvshader_value_vec2_zvvec(shader, loc["centerPos"], v)
    rl.set_zvshader_value_vec4_v(shader, colors, [(1, 0, 0, 1), {"x": 0, "y": 1, "z": 0, "w": 1}])
    rl.set_zvshader_value_float_v(shader, stops, [0.0, 1.0])
    rl.draw_texture_pro(texture, (0, 0, 2, 2), (0, 0, 8, 8), (0, 0), 0.0, rl.WHITE)
    rl.draw_texture_pro(target2, [0, 0, 1, 1], [0, 0, 8, 8], [0, 0], 45, [255, 255, 255, 255])
    rl.end_shader_mode()
    rl.end_blend_mode()
    rl.end_texture_mode()
    records = rl.trace_stop()
    rl.write_png(target, path, unpremultiply=True)
    png: bytes = rl._encode_png(target.read_pixels(), 8, 8)
    into: npt.NDArray[np.uint8] = target.read_pixels(np.empty((8, 8, 4), np.uint8), True)
    straight: bytes = target.read_pixels(straight_alpha=True)
    with rl.gen_image_color(2, 2, rl.WHITE) as viewed:
        pixels_view: npt.NDArray[np.uint8] = np.asarray(viewed)
        del pixels_view
    with ZvRenderTexture((2, 2)) as scratch, rl.begin_texture_mode(scratch) as mode:
        mode_name: str = mode.name
    print(into.shape, len(straight), mode_name)
    info = rl.context_info()
    rl.unload_texture(texture)
    shader.unload()
    shader2.unload()
    target.unload()
    print(same, locs, data, records, png, info["renderer"], handle.width, texture.loaded)
    print(target2.loaded, shader.id, image.width + image.height, r.x + r2.height, repr(v))
    print(zorva_raylib.__pyx_capi__["draw_texture_pro"], rl.Image, rl.Texture)
    return info["max_texture_size"] + texture.id + texture.width + texture.height


def cpu() -> npt.NDArray[np.uint8]:
    g = GradientPygame([(255, 0, 0, 255), ((0, 0, 255, 255), 2.0)], GradientType.Radial)
    g.angle = 10
    g.center = (0.5, 0.5)
    g.transparency = 200
    g.colors = [(1, 2, 3, 4)]
    stops: list[float] = compute_stops([1, 2.5]) + g.stops
    picture = g.render(4, 4, alpha=g.draw_alpha)
    print(stops, g.normalized_colors, g.gradient_type_int, g.raw_colors, g.type, repr(g))
    return (
        picture
        + render_uniforms(
            4,
            4,
            gradient_type=0,
            angle=0.0,
            center=(0.5, 0.5),
            colors=[(1.0, 0.0, 0.0, 1.0)],
            stops=[0.0],
            color_count=1,
            alpha=1.0,
            size=(4.0, 4.0),
        )[:MAX_COLORS]
    )
