"""The call generator: call number i of seed s is always the same Python source text, drawn from
its own random.Random, so any subset of calls can be replayed in another process.

Targets come from introspecting the seven modules and their classes (functions, methods, class
and static methods, properties, members, special methods); SIGNATURES gives the parameters of
the ones we know, so that most arguments have the right shape and a few do not."""

import dataclasses
import importlib
import random

from . import pickles
from .values import CACHES, CLICKS, GRADIENTS, RECTS, SHADERS, TARGETS, VECTORS, Values

MODULES = {
    "zg": "zorva_ui.fast.zvraygrad.zvraygrad",
    "zc": "zorva_ui.fast.zorvacache.zorvacache",
    "rl": "zorva_ui.fast.raylib.zorva_raylib",
    "shm": "zorva_ui.fast.zvshader.zvshader",
    "rtm": "zorva_ui.fast.zvrendertex.zv_render_tex",
    "v2m": "zorva_ui.fast.zvvector2.zvvector2",
    "rcm": "zorva_ui.fast.zvrect.zvrect",
}

# How the generated source names each class, and which set-up objects are its instances.
CLASSES = {
    "GradientRaylib": ("zg.GradientRaylib", GRADIENTS),
    "ClickGradient": ("zg.ClickGradient", CLICKS),
    "Cache": ("zc.Cache", CACHES),
    "ZvShader": ("SH", SHADERS),
    "ZvRenderTexture": ("RT", TARGETS),
    "ZvVector2": ("V2", VECTORS),
    "ZvRect": ("RC", RECTS),
    "Image": ("rl.Image", ["img0"]),
    "Texture": ("rl.Texture", ["tex0"]),
    "RenderTarget": ("rl.RenderTarget", ["rt0.render_texture"]),
}

# Parameter shapes (methods of Values) of the entry points we know. Keys: "Class.attr" or
# "module.function". Properties and members: one shape for the value set.
GRADIENT_INIT = ["colors", "gtype", "direction", "float", "center", "int"]
SIGNATURES = {
    "GradientRaylib.__init__": GRADIENT_INIT,
    "GradientRaylib.generate_texture": ["size", "size"],
    "GradientRaylib._ensure_resources": [],
    "GradientRaylib.__reduce__": [],
    "GradientRaylib.__setstate__": ["grad_state"],
    "GradientRaylib.transparency": ["int"],
    "GradientRaylib.angle": ["float"],
    "GradientRaylib.center": ["center"],
    "GradientRaylib.colors": ["colors"],
    "GradientRaylib.raw_colors": ["colors"],
    "GradientRaylib.type": ["gtype"],
    "ClickGradient.__init__": GRADIENT_INIT,
    "ClickGradient.set_weight": ["index", "float"],
    "ClickGradient.set_center": ["tuple2"],
    "ClickGradient.set_center_zvvec": ["vector"],
    "ClickGradient._recalculate_stops": [],
    "ClickGradient.draw": ["float", "float", "float", "float"],
    "ClickGradient.__reduce__": [],
    "ClickGradient.__setstate__": ["click_state"],
    "ClickGradient.weights": ["floats"],
    "zg.__pyx_unpickle_GradientRaylib": ["grad_cls", "grad_sum", "grad_state_or_none"],
    "zg.__pyx_unpickle_ClickGradient": ["click_cls", "click_sum", "click_state_or_none"],
    "Cache.__init__": [],
    "Cache.clear": [],
    "Cache.clear_selected": ["keylist", "keylist"],
    "Cache.get": ["key"],
    "Cache.set": ["key", "any"],
    "Cache.get_or_set_val": ["key", "any"],
    "Cache.get_or_exec": ["key", "func"],
    "Cache.copy": [],
    "Cache.__deepcopy__": ["any"],
    "Cache.__getattr__": ["attrname"],
    "Cache.__getitem__": ["key"],
    "Cache.__reduce__": [],
    "Cache.__setstate__": ["cache_state"],
    "zc.__pyx_unpickle_Cache": ["cache_cls", "cache_sum", "cache_state_or_none"],
    "rl.begin_zvshader_mode": ["shader"],
    "rl.get_zvshader_location": ["shader", "uniform"],
    "rl.draw_texture_pro": ["texture", "rect", "rect", "vec2tuple", "float", "rgba"],
    "rl.begin_texture_mode": ["rthandle"],
    "rl.end_texture_mode": [],
    "rl.end_shader_mode": [],
    "rl.end_blend_mode": [],
    "rl.begin_blend_mode": ["blend"],
    "rl.set_zvshader_value_vec2_tuple": ["shader", "loc", "vec2tuple"],
    "rl.set_zvshader_value_float": ["shader", "loc", "float"],
    "rl.set_zvshader_value_int": ["shader", "loc", "int"],
    "rl.set_zvshader_value_vec4_v": ["shader", "loc", "vec4s"],
    "rl.set_zvshader_value_float_v": ["shader", "loc", "floats"],
    "rl.set_zvshader_value_vec2_zvvec": ["shader", "loc", "vector"],
    "rl.gen_image_color": ["imgsize", "imgsize", "rgba"],
    "rl.load_texture_from_image": ["image"],
    "rl.unload_image": ["image"],
    "rl.unload_texture": ["texture"],
    "rl.write_png": ["texture", "path", "any"],
    "rl.trace_start": [],
    "rl.trace_stop": [],
    "rl.context_info": [],
    "ZvShader.__init__": ["src", "src"],
    "ZvShader.c_create_from_code": ["src", "src"],
    "ZvShader.unload": [],
    "ZvShader.__reduce__": [],
    "ZvRenderTexture.__init__": ["rtsize"],
    "ZvRenderTexture.new": ["vector"],
    "ZvRenderTexture.c_fast_clear": ["rgba"],
    "ZvRenderTexture.read_pixels": [],
    "ZvRenderTexture.unload": [],
    "ZvRenderTexture.__reduce__": [],
    "ZvVector2.__init__": ["float", "float"],
    "ZvVector2.new": ["float", "float"],
    "ZvVector2.x": ["float"],
    "ZvVector2.y": ["float"],
    "ZvRect.__init__": ["float", "float", "float", "float"],
    "ZvRect.new": ["float", "float", "float", "float"],
    "ZvRect.x": ["float"],
    "ZvRect.width": ["float"],
    "RenderTarget.__new__": ["any"],
}

# Layer entry points that open or close a drawing mode, with the call that undoes them.
CLOSERS = {
    "begin_zvshader_mode": "rl.end_shader_mode()",
    "begin_texture_mode": "rl.end_texture_mode()",
    "begin_blend_mode": "rl.end_blend_mode()",
    "trace_start": "rl.trace_stop()",
}

# Calls that need the rendering context with valid arguments: from another thread each must
# raise the owner-thread RuntimeError.
OWNER_ONLY = [
    "rl.begin_blend_mode(0)",
    "rl.end_blend_mode()",
    "rl.end_texture_mode()",
    "rl.end_shader_mode()",
    "rl.begin_texture_mode(rt0.render_texture)",
    "rl.begin_zvshader_mode(sh0)",
    "rl.get_zvshader_location(sh0, 'angle')",
    "rl.set_zvshader_value_float(sh0, 1, 0.5)",
    "rl.set_zvshader_value_int(sh0, 0, 1)",
    "rl.set_zvshader_value_vec2_tuple(sh0, 2, (0.5, 0.5))",
    "rl.set_zvshader_value_vec2_zvvec(sh0, 2, v0)",
    "rl.set_zvshader_value_float_v(sh0, 4, [0.0, 1.0])",
    "rl.set_zvshader_value_vec4_v(sh0, 3, [(1.0, 0.0, 0.0, 1.0)])",
    "rl.draw_texture_pro(tex0, (0, 0, 1, 1), (0, 0, 2, 2), (0, 0), 0.0, (255, 255, 255, 255))",
    "rl.load_texture_from_image(img0)",
    "context_error(rl.context_info())",
    "rt0.c_fast_clear((0, 0, 0, 0))",
    "rt0.read_pixels()",
    "RT((2, 2))",
    "SH()",
    "g0.generate_texture(2, 2)",
    "rl.write_png(rt0, os.path.join(TMP, 'thread.png'))",
]

# Set-up of each epoch: one line per object, so a reproducer keeps only the lines it needs.
SETUP = [
    ("lst", "lst = [(1, 2, 3, 4), (5, 6, 7, 8)]"),
    ("g0", "g0 = zg.GradientRaylib([(255, 0, 0, 255), (0, 0, 255, 255)], GT.Linear, LD.Top)"),
    ("g1", "g1 = zg.ClickGradient([((255, 0, 0, 255), 3), (0, 255, 0, 128), (0, 0, 255, 255)])"),
    ("g2", "g2 = GSub([(1, 2, 3, 4)], GT.Radial, RD.TopLeft)"),
    ("g3", "g3 = zg.ClickGradient.__new__(zg.ClickGradient)"),
    ("g4", "g4 = ClickSub([(9, 8, 7, 6), ((1, 1, 1, 1), 0.5)])"),
    ("g5", "g5 = zg.GradientRaylib.__new__(zg.GradientRaylib)"),
    ("c0", "c0 = zc.Cache()"),
    ("c1", "c1 = CacheSub()"),
    ("c2", "c2 = zc.Cache.__new__(zc.Cache)"),
    ("v0", "v0 = V2(0.25, 0.75)"),
    ("v1", "v1 = V2Hook(0.5, 0.5)"),
    ("r0", "r0 = RC(1, 2, 3, 4)"),
    ("r1", "r1 = RC.__new__(RC)"),
    ("sh0", "sh0 = SH.c_create_from_code(GS.VERTEX_SHADER, GS.FRAGMENT_SHADER)"),
    ("sh1", "sh1 = SH()"),
    ("sh2", "sh2 = SH.__new__(SH)"),
    ("rt0", "rt0 = RT((8, 8))"),
    ("rt1", "rt1 = RT((2, 2))\nrt1.unload()"),
    ("rt2", "rt2 = RT(V2(4, 4))"),
    ("img0", "img0 = rl.gen_image_color(2, 2, (1, 2, 3, 4))"),
    ("tex0", "tex0 = rl.load_texture_from_image(img0)"),
]


CACHE_READS = ["c0.clear_selected()", "c0.FONT", "c0[CT.FONT]", "c0.get(CT.SCALED_SURFACE)"]
READS = ["size", "loaded", "id", "locs", "render_texture", "width", "data", "x"]
HANDED_OVER = [
    "RT((4, 4))",
    "SH()",
    "rl.load_texture_from_image(img0)",
    "zg.ClickGradient([(1, 2, 3, 4)])",
    "rl.gen_image_color(1, 1, (0, 0, 0, 0))",
]


TAMPERS = ["setattr(zc, ", "setattr(zg, ", "setattr(rl, ", "setattr(md, "]


@dataclasses.dataclass(frozen=True)
class Call:
    index: int
    family: str  # "entry", "pickle", "copy", "threads", "owner", "modes", "reentry"
    target: str  # what is exercised, for reports
    source: str


@dataclasses.dataclass(frozen=True)
class Target:
    owner: str  # class name or module alias
    name: str
    kind: str  # "function", "method", "static", "classmethod", "property", "special", "new"


BASES = {"ClickGradient": "GradientRaylib"}
# Our own modules' entry points are drawn more often than the sibling value types.
WEIGHTS = {"GradientRaylib": 3, "ClickGradient": 3, "Cache": 3, "zg": 3, "zc": 3, "rl": 2}


def signature(key):
    """Parameter shapes of "Class.attr", looked up along the known base classes."""
    owner, _, attr = key.partition(".")
    while owner is not None:
        shapes = SIGNATURES.get(f"{owner}.{attr}")
        if shapes is not None:
            return shapes
        owner = BASES.get(owner)
    return None


def discover():
    """Every public entry point of the seven modules, in a fixed order."""
    found = []
    for alias, path in sorted(MODULES.items()):
        module = importlib.import_module(path)
        for name in sorted(vars(module)):
            obj = getattr(module, name)
            if isinstance(obj, type) and name in CLASSES:
                if getattr(obj, "__module__", None) != path and name != "RenderTarget":
                    continue
                found.extend(_class_targets(name, obj))
            elif callable(obj) and type(obj).__name__ == "builtin_function_or_method":
                found.append(Target(alias, name, "function"))
    # Targets listed more than once (a class re-exported by another module) count once.
    return sorted(set(found), key=lambda t: (t.owner, t.name, t.kind))


SPECIAL = {
    "__init__",
    "__new__",
    "__getitem__",
    "__getattr__",
    "__reduce__",
    "__setstate__",
    "__deepcopy__",
    "__copy__",
    "__repr__",
    "__eq__",
    "__lt__",
    "__replace__",
    "__reduce_ex__",
}


def _class_targets(cname, cls):
    out = [Target(cname, "__new__", "new")]
    for klass in cls.__mro__[:-1]:
        for name, attr in vars(klass).items():
            kind = type(attr).__name__
            if name.startswith("__") and name not in SPECIAL:
                continue
            if name in ("n_fields", "n_sequence_fields", "n_unnamed_fields", "__match_args__"):
                continue
            if kind in ("getset_descriptor", "member_descriptor", "property"):
                out.append(Target(cname, name, "property"))
            elif kind == "staticmethod":
                out.append(Target(cname, name, "static"))
            elif kind == "classmethod":
                out.append(Target(cname, name, "classmethod"))
            elif kind in ("method_descriptor", "wrapper_descriptor", "function"):
                out.append(Target(cname, name, "special" if name.startswith("__") else "method"))
    return out


class Generator:
    """Turns (seed, index) into a Call."""

    def __init__(self, seed, targets=None):
        self.seed = seed
        self.targets = targets if targets is not None else discover()
        self.weighted = [t for t in self.targets for _ in range(WEIGHTS.get(t.owner, 1))]

    def rng(self, index):
        return random.Random((self.seed << 40) ^ index)

    def call(self, index):
        c = self._call(index)
        if any(t in c.source for t in TAMPERS):
            # A hook that rebinds a module attribute would spoil the rest of the epoch.
            body = "\n".join("    " + line for line in c.source.splitlines())
            c = dataclasses.replace(c, source=f"with restored(zg, zc, md, rl):\n{body}")
        return c

    def _call(self, index):
        rng = self.rng(index)
        v = Values(rng)
        r = rng.random()
        if r < 0.60:
            return self._entry(index, rng, v)
        if r < 0.72:
            return Call(index, "pickle", "pickle.loads", f"pickle.loads({pickles.build(rng)!r})")
        if r < 0.78:
            return self._copy(index, v)
        if r < 0.90:
            return self._reentry(index, v)
        if r < 0.94:
            return self._modes(index, v)
        if r < 0.967:
            return self._owner(index, v)
        if r < 0.972:
            return self._module(index, v)
        return self._threads(index, rng, v)

    def _module(self, index, v):
        """Module initialisation again: reload, a second execution from the import spec, an
        import after removal from sys.modules, and an import in a subinterpreter."""
        name = v.pick(sorted(MODULES.values()))
        src = v.pick(
            [
                f"importlib.reload(sys.modules[{name!r}])",
                f"_s = importlib.util.find_spec({name!r})\n"
                "_s.loader.exec_module(importlib.util.module_from_spec(_s))",
                f"_m = sys.modules.pop({name!r})\ntry:\n    importlib.import_module({name!r})\n"
                f"finally:\n    sys.modules[{name!r}] = _m",
                f"in_subinterpreter('import {name}')",
            ]
        )
        return Call(index, "module", "module " + name.rsplit(".", 1)[1], src)

    # ---- entry points ----------------------------------------------------------------------
    def _args(self, key, v, fallback):
        shapes = signature(key)
        if shapes is None:
            shapes = ["any"] * v.rng.randrange(fallback + 1)
        if v.chance(0.35):
            # Every argument valid, so that the call reaches what lies behind the checks.
            args = [self._valid(s, v) for s in shapes]
            return ", ".join(args)
        args = [self._shape(s, v) if v.chance(0.85) else v.any() for s in shapes]
        r = v.rng.random()
        if r < 0.04 and args:
            args.pop()  # one argument short
        elif r < 0.07:
            args.append(v.any())  # one too many
        elif r < 0.10 and args:
            args[-1] = f"**{{{v.pick(['x', 'bogus', 'self', 'type'])!r}: {args[-1]}}}"
        return ", ".join(args)

    def _valid(self, shape, v):
        classes = {"grad": "zg.GradientRaylib", "click": "zg.ClickGradient", "cache": "zc.Cache"}
        for own, cls in classes.items():
            if shape == own + "_cls":
                return cls
            if shape == own + "_sum":
                return str(v.pick(pickles.CHECKSUMS[cls.split(".")[1]]))
            if shape.startswith(own + "_state"):
                return v.valid(own + "_state")
        value = v.valid(shape)
        return value if value is not None else self._shape(shape, v)

    def _shape(self, shape, v):
        for own in ("grad", "click", "cache"):
            if shape == own + "_cls":
                return v.cls(own)
            if shape == own + "_sum":
                return v.checksum(own)
            if shape.startswith(own + "_state"):
                if shape.endswith("_or_none") and v.chance(0.3):
                    return "None"
                return v.cache_state() if own == "cache" else v.grad_state(own == "click")
        return getattr(v, shape)()

    def _receiver(self, cname, v):
        alias, instances = CLASSES[cname]
        r = v.rng.random()
        if r < 0.8:
            return v.pick(instances), alias
        if r < 0.9:
            return f"{alias}.__new__({alias})", alias
        return v.shared(), alias

    def _entry(self, index, rng, v):
        t = self.weighted[rng.randrange(len(self.weighted))]
        key = f"{t.owner}.{t.name}"
        if t.kind == "function":
            src = f"{t.owner}.{t.name}({self._args(key, v, 3)})"
            src = self._wrap_layer(t.name, src, v)
        elif t.kind == "new":
            alias = CLASSES[t.owner][0]
            cls = alias if v.chance(0.8) else v.pick(["int", "zc.Cache", "GSub", "ClickSub"])
            slot = v.pick(CLASSES[t.owner][1]) if v.chance(0.5) else "tmp"
            if "." in slot:
                slot = "tmp"
            args = self._args(f"{t.owner}.__init__", v, 2) if v.chance(0.6) else ""
            if t.owner == "RenderTarget":
                args = self._args(key, v, 2)
            src = (
                f"{slot} = {alias}({args})" if v.chance(0.7) else f"{slot} = {alias}.__new__({cls})"
            )
        elif t.kind == "property":
            recv, _ = self._receiver(t.owner, v)
            r = rng.random()
            if r < 0.4:
                src = f"{recv}.{t.name}"
            elif r < 0.9:
                shapes = signature(key) or ["any"]
                value = self._shape(shapes[0], v) if v.chance(0.8) else v.any()
                src = f"{recv}.{t.name} = {value}"
            else:
                src = f"del {recv}.{t.name}"
        elif t.kind in ("static", "classmethod"):
            alias = CLASSES[t.owner][0]
            owner = alias if v.chance(0.7) else self._receiver(t.owner, v)[0]
            src = f"{owner}.{t.name}({self._args(key, v, 2)})"
        else:
            recv, alias = self._receiver(t.owner, v)
            args = self._args(key, v, 2)
            if t.name == "__getitem__" and v.chance(0.6):
                src = f"{recv}[{self._shape('key', v)}]"
            elif t.name == "__getattr__" and v.chance(0.5):
                src = f"getattr({recv}, {v.attrname()})"
            elif v.chance(0.1):
                # The unbound method with a receiver of another type.
                src = f"{alias}.{t.name}({v.shared()}{', ' + args if args else ''})"
            else:
                src = f"{recv}.{t.name}({args})"
            if t.name == "draw" and v.chance(0.85):
                src = self._in_target(src, v)
        return Call(index, "entry", key, src)

    def _in_target(self, src, v):
        if v.chance(0.5):
            return f"in_target(lambda: {src})"
        return (
            f"in_modes(lambda: {src}, shader={v.pick(['None', 'sh0', 'sh1'])}, blend={v.blend()})"
        )

    def _wrap_layer(self, name, src, v):
        if name == "draw_texture_pro" and v.chance(0.85):
            return self._in_target(src, v)
        if name in CLOSERS and v.chance(0.85):
            # Balanced: the mode is closed only when it was opened.
            inner = ""
            if v.chance(0.5):
                inner = (
                    f"    {self._entry(0, v.rng, v).source.replace(chr(10), chr(10) + '    ')}\n"
                )
            return f"{src}\ntry:\n{inner}    pass\nfinally:\n    {CLOSERS[name]}"
        return src

    # ---- families --------------------------------------------------------------------------
    def _copy(self, index, v):
        obj = v.pick(GRADIENTS + CACHES + ["v0", "r0", "rt0", "sh0", "tex0"])
        how = v.pick(
            [
                f"pickle.loads(pickle.dumps({obj}, {v.pick(['0', '1', '2', '3', '4', '5'])}))",
                f"copy.copy({obj})",
                f"copy.deepcopy({obj})",
                f"{obj}.__reduce__()",
                f"{obj}.__reduce_ex__({v.proto()})",
                f"_r = {obj}.__reduce__()\n_o = _r[0](*_r[1])\n"
                "if len(_r) > 2:\n    _o.__setstate__(_r[2])",
            ]
        )
        if v.chance(0.3) and "\n" not in how:
            how = f"{v.pick(GRADIENTS + CACHES)} = {how}"
        return Call(index, "copy", f"copy {obj}", how)

    def _reentry(self, index, v):
        """Calls whose arguments change the object under the call, through conversions,
        comparisons, subclass hooks and releases."""
        act = v.action
        templates = [
            lambda: f"g1.set_weight(Hook({v.index()}, {act()}), Hook(2.0, {act()}))",
            lambda: f"g1.set_center((Hook(0.5, {act()}), Hook(0.5, {act()})))",
            lambda: f"g1.weights = [1.0, Hook(2.0, {act()}), 3.0]",
            lambda: f"g1.weights = LyingHint({v.pick(['2**62', '2**31', '-1', '7'])}, [1.0, 2.0])",
            lambda: f"g0.colors = [(1, 2, 3, 4), (Hook(5, {act()}), 6, 7, 8), (9, 9, 9, 9)]",
            lambda: f"g1.colors = [((1, 2, 3, 4), Hook(2, {act()})), ((5, 6, 7, 8), 1)]",
            lambda: (
                "g1.colors = [((1, 2, 3, 4), FloatSub(2.0)), TupleSub(((5, 6, 7, 8), IntSub(1)))]"
            ),
            lambda: f"lst[:] = [(1, 2, 3, 4), (Hook(1, {act()}), 2, 3, 4)]\ng0.colors = lst",
            lambda: (
                "lst[:] = [(1, 2, 3, 4), (Hook(1, lambda: lst.clear()), 2, 3, 4), (1, 1, 1, 1)]\n"
                "g1.colors = lst"
            ),
            lambda: f"g0.type = Hook(GT.Linear, {act()})\n{self._gen_texture(v)}",
            lambda: (
                f"g1.type = Hook(GT.Radial, {act()})\n{self._in_target('g1.draw(0, 0, 4, 4)', v)}"
            ),
            lambda: f"g1.draw(Hook(0, {act()}), 0, Hook(4, {act()}), 4)",
            lambda: self._in_target(f"g1.draw(Hook(0, {act()}), 0, Hook(4, {act()}), 4)", v),
            lambda: f"{self._gen_texture(v, f'Hook(4, {act()})', f'Hook(4, {act()})')}",
            lambda: f"v1.act = {act()}\ng1.set_center_zvvec(v1)",
            lambda: (
                f"v1.act = {act()}\ng1.center = v1\n{self._in_target('g1.draw(0, 0, 4, 4)', v)}"
            ),
            lambda: f"GSub.act = {act()}\ng2.__init__([(1, 2, 3, 4)])",
            lambda: f"GSub.act = {act()}\ng2.colors = [(5, 5, 5, 5)]",
            lambda: f"g4.set_weight(0, {v.float()})",
            lambda: f"g4.colors = {v.colors()}",
            lambda: f"zg.GradientRaylib([], {v.gtype()}, Named({v.string()}, {act()}))",
            lambda: (
                f"zg.ClickGradient([], GT.Radial, Named('TopLeft', {act()}), None, "
                f"(Hook(0.1, {act()}), 0.2))"
            ),
            lambda: f"c0.set(CT.FONT, DelHook({act()}))\nc0.set(CT.FONT, {v.any()})",
            lambda: f"c0.set(CT.FONT, DelHook({act()}))\nc0.clear()",
            lambda: f"c0.set(CT.GLYPHS, DelHook({act()}))\nc0.clear_selected()",
            lambda: f"c0.set(CT.MASK, DelHook({act()}))\nc0.__init__()",
            lambda: f"c0.set(CT.MASK, DelHook({act()}))\nc0.__setstate__(([None] * 32,))",
            lambda: f"c0.get_or_exec(CT.FONT, lambda: ({act()[8:]}, {v.any()})[1])",
            lambda: (
                f"c0.get_or_exec(Keyed(3, {act()}), lambda: c0.get_or_exec(CT.FONT, lambda: 1))"
            ),
            lambda: f"c0.clear_selected([Keyed(1, {act()})], [Keyed(2, {act()}), CT.FONT])",
            lambda: "c0.clear_selected(None, [Keyed(2, lambda: lst.clear())] + lst)",
            lambda: (
                f"with patched(zc, 'CacheType', {v.pick(['None', 'GT', 'Raiser()', 'LD'])}):\n"
                f"    {v.pick(CACHE_READS)}"
            ),
            lambda: (
                f"with patched(zg, 'GradientType', {v.pick(['None', 'CT', 'Raiser()'])}):\n"
                f"    {v.pick(['g0.generate_texture(2, 2)', 'zg.GradientRaylib([], 0, 5)'])}"
            ),
            lambda: (
                f"with patched(rl, 'WHITE', {v.rgba()}):\n"
                f"    {self._in_target('g1.draw(0, 0, 2, 2)', v)}"
            ),
            lambda: (
                f"with patched(rl, 'BlendMode', {v.pick(['None', 'Raiser()', 'GT'])}):\n"
                f"    g0.generate_texture(2, 2)"
            ),
            lambda: (
                f"with patched(md, 'rl', {v.pick(['None', 'Raiser()', 'zg'])}):\n"
                f"    {v.pick(['g0.generate_texture(2, 2)', 'g1.draw(0, 0, 1, 1)'])}"
            ),
            lambda: (
                f"rl.draw_texture_pro(tex0, (0, 0, 1, 1), (0, 0, 2, 2), (0, 0), "
                f"Hook(0.0, {act()}), (255, 255, 255, 255))"
            ),
            lambda: self._in_target(
                f"rl.draw_texture_pro({v.pick(['tex0', 'rt2', 'rt0'])}, "
                f"(0, 0, Hook(1, {act()}), 1), "
                f"(0, 0, 2, 2), (0, 0), Hook(0.0, {act()}), (255, Hook(255, {act()}), 255, 255))",
                v,
            ),
            lambda: f"rl.set_zvshader_value_float_v(sh0, 4, [Hook(0.5, {act()}), 1.0])",
            lambda: (
                "rl.set_zvshader_value_vec4_v(sh0, 3, "
                f"[Mapping4({{'x': 1, 'y': 2, 'z': 3, 'w': 4}}, {act()})])"
            ),
            lambda: f"rl.set_zvshader_value_vec2_tuple(sh0, 2, (Hook(0.5, {act()}), 1.0))",
            lambda: f"rl.set_zvshader_value_int({v.shader()}, Hook(0, {act()}), Hook(1, {act()}))",
            lambda: f"rl.gen_image_color(2, 2, (Hook(1, {act()}), 2, 3, 4))",
            lambda: f"rt0.c_fast_clear((Hook(1, {act()}), 2, 3, 4))",
            lambda: f"RT((Hook(2, {act()}), 2))",
            lambda: (
                f"rl.write_png({v.pick(['rt0', 'rt2'])}, "
                f"Hook(os.path.join(TMP, 'h.png'), {act()}), "
                f"Hook(True, {act()}))"
            ),
            lambda: (
                "rl.begin_texture_mode(rt2.render_texture)\ntry:\n    rt2.unload()\n"
                "    rl.draw_texture_pro(tex0, (0, 0, 1, 1), (0, 0, 2, 2), (0, 0), 0.0, "
                "(1, 1, 1, 1))\n"
                "finally:\n    rl.end_texture_mode()"
            ),
            lambda: (
                "rl.begin_zvshader_mode(sh1)\ntry:\n    sh1.unload()\n"
                "finally:\n    rl.end_shader_mode()"
            ),
            lambda: f"g0.__setstate__({v.grad_state(False)})\n{self._gen_texture(v)}",
            lambda: (
                f"g1.__setstate__({v.grad_state(True)})\n"
                f"{self._in_target('g1.draw(0, 0, 3, 3)', v)}"
            ),
            lambda: (
                f"g1.__setstate__({v.grad_state(True)})\ng1._recalculate_stops()\n"
                f"{self._gen_texture(v, obj='g1')}"
            ),
            lambda: f"g3.weights = {v.floats()}\n{self._in_target('g3.draw(0, 0, 3, 3)', v)}",
            lambda: f"{self._in_target('g3.draw(0, 0, 3, 3)', v)}",
            lambda: f"{self._gen_texture(v, obj=v.pick(['g3', 'g5']))}",
            lambda: (
                f"c0.__setstate__({v.cache_state()})\n"
                f"{v.pick(CACHE_READS + ['c0.clear()', 'c0.set(CT.MASK, 1)', 'c0.copy()'])}"
            ),
            lambda: f"c2.{v.pick(['clear()', 'copy()', 'get(CT.FONT)', 'clear_selected()'])}",
            lambda: f"{v.pick(['rt1', 'sh2', 'r1', 'img0', 'tex0'])}.{v.pick(READS)}",
            lambda: f"repr({v.pick(['rt1', 'sh2', 'r1', 'img0', 'tex0', 'rt0', 'sh0'])})",
            lambda: "rl.begin_texture_mode(rt1)\nrl.end_texture_mode()",
            lambda: f"hand_over([{v.pick(HANDED_OVER)}])",
        ]
        k = v.rng.randrange(len(templates))
        return Call(index, "reentry", f"reentry#{k}", templates[k]())

    def _gen_texture(self, v, w="4", h="4", obj="g0"):
        return f"{obj}.generate_texture({w}, {h})"

    def _modes(self, index, v):
        """Unbalanced begin and end calls, on purpose."""
        src = v.pick(
            [
                "rl.end_texture_mode()",
                "rl.end_shader_mode()",
                "rl.end_blend_mode()",
                f"rl.begin_blend_mode({v.blend()})",
                f"rl.begin_texture_mode({v.rthandle()})",
                f"rl.begin_zvshader_mode({v.shader()})",
                "rl.trace_start()",
                "rl.trace_stop()",
                f"rl.begin_texture_mode(rt0.render_texture)\n{self._gen_texture(v)}",
                "rl.begin_zvshader_mode(sh0)\ng1.draw(0, 0, 2, 2)",
                "rl.begin_texture_mode(rt2.render_texture)\ng1.draw(0, 0, 2, 2)\nrt2.unload()",
                "rl.begin_texture_mode(rt0.render_texture)\nrl.begin_texture_mode(rt0.render_texture)",
                "g1.draw(0, 0, 2, 2)",
                "rl.draw_texture_pro(tex0, (0, 0, 1, 1), (0, 0, 2, 2), (0, 0), 0.0, (1, 1, 1, 1))",
            ]
        )
        return Call(index, "modes", "unbalanced modes", src)

    def _owner(self, index, v):
        if v.chance(0.2):
            obj = v.pick(["RT((4, 4))", "SH()", "rl.load_texture_from_image(img0)"])
            return Call(index, "owner", "release on another thread", f"hand_over([{obj}])")
        call = v.pick(OWNER_ONLY)
        return Call(index, "owner", "non-owner " + call.split("(")[0], f"not_owner(lambda: {call})")

    def _threads(self, index, rng, v):
        """Eight threads hammering shared objects; hooks let them switch mid-call."""
        pool = [
            lambda: f"c0.set({v.key()}, {v.atom()})",
            lambda: f"c0.get({v.key()})",
            lambda: f"c0.get_or_exec({v.key()}, {v.func()})",
            lambda: f"c0.get_or_set_val({v.key()}, {v.atom()})",
            lambda: "c0.clear()",
            lambda: "c0.clear_selected()",
            lambda: "c0.__init__()",
            lambda: "c0.copy()",
            lambda: "c0.__setstate__(([None] * 32,))",
            lambda: "pickle.loads(pickle.dumps(c0))",
            lambda: "c0.FONT",
            lambda: f"g1.set_weight({v.index()}, {v.float()})",
            lambda: f"setattr(g1, 'colors', {v.colors()})",
            lambda: f"setattr(g1, 'weights', {v.floats()})",
            lambda: "g1._recalculate_stops()",
            lambda: f"g1.set_center({v.tuple2()})",
            lambda: f"setattr(g0, 'colors', {v.colors()})",
            lambda: f"setattr(g0, 'center', {v.center()})",
            lambda: "g0.__reduce__()",
            lambda: "pickle.loads(pickle.dumps(g1))",
            lambda: f"g0.__setstate__({v.grad_state(False)})",
            lambda: "g0.generate_texture(2, 2)",
            lambda: "g1.draw(0, 0, 2, 2)",
            lambda: f"rl.begin_blend_mode({v.blend()})",
            lambda: "rl.end_blend_mode()",
            lambda: "rt0.unload()",
            lambda: "RT((2, 2))",
            lambda: f"rl.set_zvshader_value_float(sh0, 1, {v.float()})",
            lambda: f"Hook(1, {v.action()}).__index__()",
            lambda: "gc.collect()",
        ]
        actions = [pool[rng.randrange(len(pool))]() for _ in range(rng.randint(4, 10))]
        body = ",\n    ".join(f"lambda: {a}" for a in actions)
        src = f"hammer([\n    {body},\n], threads=8, rounds={rng.choice([2, 4, 8])})"
        return Call(index, "threads", "threads", src)
