"""Argument values as Python source text. Every value is drawn from the caller's random.Random,
so a call index always yields the same text; the worker compiles it, a reproducer prints it."""

# Objects that each epoch's set-up binds (see gen.SETUP), by role.
GRADIENTS = ["g0", "g1", "g2", "g3", "g4", "g5"]
CLICKS = ["g1", "g3", "g4"]
CACHES = ["c0", "c1", "c2"]
VECTORS = ["v0", "v1"]
RECTS = ["r0", "r1"]
SHADERS = ["sh0", "sh1", "sh2"]
TARGETS = ["rt0", "rt1", "rt2"]
IMAGES = ["img0"]
TEXTURES = ["tex0"]
SHARED = GRADIENTS + CACHES + VECTORS + RECTS + SHADERS + TARGETS + IMAGES + TEXTURES + ["lst"]

SMALL_INTS = ["0", "1", "2", "3", "-1", "-2", "4", "7", "16", "31", "32", "64", "255", "256"]
BOUNDARY_INTS = [
    "2**31 - 1",
    "2**31",
    "-2**31",
    "-2**31 - 1",
    "2**32",
    "2**63 - 1",
    "2**63",
    "-2**63",
    "-2**63 - 1",
    "2**64",
    "10**400",
    "-10**400",
    "True",
    "False",
]
FLOATS = [
    "0.0",
    "-0.0",
    "0.5",
    "1.0",
    "3.9",
    "-1.5",
    "255.0",
    "1e-45",
    "5e-324",
    "3.5e38",
    "1e308",
    "NAN",
    "INF",
    "-INF",
    "float(2**63)",
]
STRINGS = [
    "''",
    "'x'",
    "'Top'",
    "'TopLeft'",
    "'Linear'",
    "'angle'",
    "'colors'",
    "'SURFACE'",
    "'FONT'",
    "'get'",
    "'value'",
    "'\\x00'",
    "'a\\x00b'",
    "'\\ud800'",
    "'\\u00e9\\u4e2d'",
    "'y' * 300",
    "'z' * 5000",
]
CACHE_NAMES = ["'SURFACE'", "'FONT'", "'GLYPHS'", "'SCALED_SURFACE'", "'MASK'", "'TEXTURE'"]
UNIFORMS = ["'angle'", "'colors'", "'stops'", "'size'", "'gradientType'", "'centerPos'", "'alpha'"]
EXCEPTIONS = ["Boom", "KeyError", "AttributeError", "StopIteration", "IndexError", "MemoryError"]

# Re-entrant actions: each one changes an object that the enclosing call may be using.
ACTIONS = [
    "setattr(g0, 'colors', [(1, 2, 3, 4)])",
    "setattr(g1, 'colors', [])",
    "setattr(g1, 'colors', [((1, 2, 3, 4), 2), (5, 6, 7, 8)])",
    "g1.set_weight(0, 9)",
    "setattr(g1, 'weights', [1.0] * 40)",
    "setattr(g1, 'weights', [])",
    "g1.__init__(None)",
    "g0.__init__([(1, 1, 1, 1)] * 9)",
    "g1.__setstate__((0.0, None, [], [], 0, None, None, []))",
    "g0.__setstate__((1.0, V2(1, 1), [{'x': 1, 'y': 1, 'z': 1, 'w': 1}] * 5, [], 3, [], None))",
    "g0.__setstate__((0.0, None, [], [], 0, None, None))",
    "setattr(g0, 'type', None)",
    "setattr(g1, 'type', GT.Linear)",
    "setattr(g0, 'raw_colors', None)",
    "lst.clear()",
    "lst.extend([None] * 50)",
    "lst.append(lst)",
    "c0.clear()",
    "c0.__init__()",
    "c0.__setstate__(([],))",
    "c0.__setstate__((None,))",
    "c0.__setstate__(([None] * 3,))",
    "c0.set(CT.FONT, None)",
    "c0.set(CT.SURFACE, DelHook(lambda: c0.clear()))",
    "c1.__setstate__(([None] * 32, {'a': 1}))",
    "rt0.unload()",
    "rt2.unload()",
    "rl.unload_texture(tex0)",
    "rl.unload_image(img0)",
    "sh1.unload()",
    "rl.end_texture_mode()",
    "rl.end_shader_mode()",
    "rl.end_blend_mode()",
    "rl.begin_blend_mode(0)",
    "rl.begin_texture_mode(rt0.render_texture)",
    "rl.begin_zvshader_mode(sh1)",
    "rl.trace_start()",
    "rl.trace_stop()",
    "gc.collect()",
    "setattr(zc, 'CacheType', None)",
    "setattr(zc, 'CacheType', GT)",
    "setattr(zg, 'GradientType', None)",
    "setattr(rl, 'WHITE', [1, 2, 3, 4])",
    "setattr(md, 'rl', None)",
    "setattr(v1, 'fake', NAN)",
    "setattr(v1, 'act', lambda: setattr(g1, 'colors', []))",
    "setattr(GSub, 'act', lambda: setattr(g2, 'colors', None))",
]


class Values:
    """Source-text values: `any` mixes every kind; the shape methods mostly give what the
    parameter expects, with wrong and hostile values mixed in."""

    def __init__(self, rng):
        self.rng = rng

    # ---- helpers ---------------------------------------------------------------------------
    def pick(self, items):
        return items[self.rng.randrange(len(items))]

    def chance(self, p):
        return self.rng.random() < p

    def action(self):
        return "lambda: " + self.pick(ACTIONS)

    def many(self, fn, lo=0, hi=5):
        return [fn() for _ in range(self.rng.randint(lo, hi))]

    def tuple_of(self, items):
        if len(items) == 1:
            return f"({items[0]},)"
        return "(" + ", ".join(items) + ")"

    # ---- generic ---------------------------------------------------------------------------
    def int(self):
        r = self.rng.random()
        if r < 0.55:
            return self.pick(SMALL_INTS)
        if r < 0.9:
            return self.pick(BOUNDARY_INTS)
        return self.pick(["IntSub(3)", "IntSub(2**31)", "Hook(2, " + self.action() + ")"])

    def float(self):
        r = self.rng.random()
        if r < 0.6:
            return self.pick(FLOATS)
        if r < 0.75:
            return repr(round(self.rng.uniform(-300, 300), 3))
        if r < 0.85:
            return self.int()
        return self.pick(["FloatSub(NAN)", "FloatSub(0.25)", "Hook(0.5, " + self.action() + ")"])

    def number(self):
        return self.float() if self.chance(0.5) else self.int()

    def string(self):
        s = self.pick(STRINGS)
        return f"StrSub({s})" if self.chance(0.1) else s

    def hostile(self):
        r = self.rng.randrange(14)
        if r == 0:
            return "Raiser()"
        if r == 1:
            return f"Raiser({self.pick(EXCEPTIONS)})"
        if r == 2:
            return "WrongType()"
        if r == 3:
            return f"Hook({self.atom()}, {self.action()})"
        if r == 4:
            return f"Hook({self.container(1)}, {self.action()})"
        if r == 5:
            return self.pick(["DelHook()", f"DelHook({self.action()})"])
        if r == 6:
            return f"Named({self.pick(STRINGS + ['[1]', 'None', 'Raiser()'])}, {self.action()})"
        if r == 7:
            return f"Keyed({self.int()}, {self.action()})"
        if r == 8:
            return "LyingTuple((1, 2, 3))"
        if r == 9:
            hint = self.pick(["2**62", "-1", "2**63", "'x'", "0", "10**9"])
            return f"LyingHint({hint}, {self.container(1)})"
        if r == 10:
            return f"Mapping4({{'x': 1, 'y': 2, 'z': 3, 'w': 4}}, {self.action()})"
        if r == 11:
            return "(x for x in " + self.container(1) + ")"
        if r == 12:
            return "iter(" + self.container(1) + ")"
        return self.pick(["object()", "int", "type", "zg", "print", "...", "NotImplemented"])

    def shared(self):
        r = self.rng.random()
        if r < 0.7:
            return self.pick(SHARED)
        return self.pick(
            [
                "CT.FONT",
                "CT.SURFACE",
                "GT.Linear",
                "GT.Radial",
                "LD.Top",
                "RD.TopLeft",
                "rl.BlendMode.BLEND_ALPHA",
                "rt0.render_texture",
                "SENT_OBJ",
                "SENT_FLOAT",
                "SENT_TUPLE",
                "SENT_STR",
                "zg.GradientRaylib",
                "zg.ClickGradient",
                "zc.Cache",
                "V2",
                "RT",
                "SH",
            ]
        )

    def atom(self):
        r = self.rng.randrange(9)
        if r < 2:
            return self.int()
        if r < 4:
            return self.float()
        if r == 4:
            return self.string()
        if r == 5:
            return self.pick(["None", "None", "b''", "b'\\x00\\xff'", "bytearray(b'ab')"])
        if r == 6:
            return self.shared()
        if r == 7:
            return self.hostile()
        return self.color()

    def container(self, depth=0):
        items = self.many(lambda: self.any(depth + 1), 0, 5)
        r = self.rng.randrange(9)
        if r < 3:
            return self.tuple_of(items) if items else "()"
        if r < 5:
            return "[" + ", ".join(items) + "]"
        if r == 5:
            return f"TupleSub({self.tuple_of(items) if items else '()'})"
        if r == 6:
            return "ListSub([" + ", ".join(items) + "])"
        if r == 7:
            return self.vec4_dict()
        return self.pick(["range(3)", "range(0)", "{1, 2}", "frozenset()", "{}", "DictSub(x=1)"])

    def any(self, depth=0):
        if depth < 2 and self.chance(0.25):
            return self.container(depth)
        return self.atom()

    # ---- shapes ----------------------------------------------------------------------------
    def channel(self):
        if self.chance(0.85):
            return str(self.rng.randrange(256))
        return self.pick([self.float(), self.int(), self.hostile(), "None", "'1'"])

    def color(self):
        r = self.rng.random()
        if r < 0.7:
            return "(" + ", ".join(self.channel() for _ in range(4)) + ")"
        if r < 0.8:
            items = [self.channel() for _ in range(self.rng.randrange(7))]
            return self.tuple_of(items) if items else "()"
        if r < 0.9:
            return self.pick(["None", "[1, 2, 3, 4]", "TupleSub((1, 2, 3, 4))", "SENT_TUPLE"])
        return self.any(1)

    def weighted(self):
        weight = self.pick([self.float(), self.int(), "True", "False", "'w'"])
        return f"({self.color()}, {weight})"

    def colors(self):
        r = self.rng.random()
        if r < 0.75:
            items = self.many(lambda: self.weighted() if self.chance(0.3) else self.color(), 0, 6)
            return "[" + ", ".join(items) + "]"
        if r < 0.85:
            return self.pick(["None", "lst", "ListSub([(1, 2, 3, 4)])", "((1, 2, 3, 4),)"])
        if r < 0.9:
            return f"[(1, 2, 3, 4), Hook((5, 6, 7, 8), {self.action()})]"
        return self.any()

    def gtype(self):
        r = self.rng.random()
        if r < 0.7:
            return self.pick(["GT.Linear", "GT.Radial"])
        if r < 0.8:
            return f"Hook(GT.Linear, {self.action()})"
        return self.any()

    def direction(self):
        r = self.rng.random()
        if r < 0.5:
            return self.pick(
                ["None", "LD.Top", "LD.BottomLeft", "RD.TopLeft", "RD.Center", "30", "12.5"]
            )
        if r < 0.7:
            return f"Named({self.string()}, {self.action() if self.chance(0.5) else 'None'})"
        if r < 0.8:
            return self.pick(["(0.2, 0.8)", "(1,)", "()", "[0.2, 0.8]", "TupleSub((0.1, 0.9))"])
        return self.any()

    def center(self):
        r = self.rng.random()
        if r < 0.5:
            return f"({self.float()}, {self.float()})"
        if r < 0.6:
            return self.pick(["v0", "v1", "V2(0.1, 0.2)", "V2Hook(1, 2)"])
        if r < 0.7:
            return self.pick(["(1,)", "()", "(1, 2, 3)", "[0.5, 0.5]", "LyingTuple((1, 2, 3))"])
        return self.any()

    def tuple2(self):
        if self.chance(0.7):
            return f"({self.float()}, {self.float()})"
        return (
            self.pick(["()", "(1,)", "(1, 2, 3)", "TupleSub((1, 2))", "None"])
            if self.chance(0.5)
            else self.any()
        )

    def vector(self):
        if self.chance(0.7):
            return self.pick(["v0", "v1", "V2(1, 2)", f"V2({self.float()}, {self.float()})"])
        return self.any()

    def size(self):
        r = self.rng.random()
        if r < 0.7:
            return self.pick(["1", "2", "3", "4", "8", "16", "33", "64", "0", "-1", "3.9"])
        if r < 0.9:
            return self.pick(BOUNDARY_INTS + ["NAN", "INF", "1e10", "-0.0"])
        return self.any()

    def floats(self):
        r = self.rng.random()
        if r < 0.6:
            return "[" + ", ".join(self.many(self.float, 0, 6)) + "]"
        if r < 0.7:
            return self.pick(["(1.0, 2.0)", "range(4)", "iter([1, 2])", "[1.0] * 40"])
        if r < 0.8:
            return f"LyingHint({self.pick(['2**62', '-1', '2**63', 'None'])}, [1.0, 2.0])"
        return self.any()

    def vec4_dict(self):
        keys = ["'x'", "'y'", "'z'", "'w'"]
        if self.chance(0.2):
            keys = self.many(lambda: self.pick(keys + ["'q'", "1"]), 0, 5)
        return "{" + ", ".join(f"{k}: {self.float()}" for k in keys) + "}"

    def vec4s(self):
        r = self.rng.random()
        if r < 0.6:
            items = self.many(lambda: self.vec4_dict() if self.chance(0.8) else self.any(1), 0, 5)
            return "[" + ", ".join(items) + "]"
        if r < 0.7:
            return "[Mapping4({'x': 1, 'y': 2, 'z': 3, 'w': 4}, " + self.action() + ")]"
        if r < 0.8:
            return "[(1.0, 2.0, 3.0, 4.0)]"
        return self.any()

    def index(self):
        if self.chance(0.6):
            return self.pick(["0", "1", "2", "-1", "3", "40"])
        return self.int() if self.chance(0.7) else self.any()

    def key(self):
        r = self.rng.random()
        if r < 0.65:
            return "CT." + self.pick(["SURFACE", "FONT", "GLYPHS", "SCALED_SURFACE", "MASK"])
        if r < 0.85:
            return f"Keyed({self.pick(SMALL_INTS + BOUNDARY_INTS + ['None', '2.5', 'Raiser()'])})"
        if r < 0.9:
            return f"Keyed(1, {self.action()})"
        return self.any()

    def keylist(self):
        r = self.rng.random()
        if r < 0.6:
            return "[" + ", ".join(self.many(self.key, 0, 4)) + "]"
        if r < 0.8:
            return self.pick(["None", "[]", "(CT.FONT,)", "ListSub([CT.FONT])", "list(CT)"])
        return self.any()

    def func(self):
        r = self.rng.random()
        if r < 0.5:
            return self.pick(["lambda: 5", "lambda: None", "list", "lambda: SENT_OBJ", "object"])
        if r < 0.8:
            return f"lambda: ({self.pick(ACTIONS)}, {self.atom()})[1]"
        return self.any()

    def attrname(self):
        if self.chance(0.6):
            return self.pick(CACHE_NAMES + ["'NOPE'", "'get'", "'__dict__'", "'copy'"])
        return self.string() if self.chance(0.5) else self.any()

    def rgba(self):
        if self.chance(0.7):
            return "(" + ", ".join(self.channel() for _ in range(4)) + ")"
        return self.color()

    def rect(self):
        if self.chance(0.7):
            return (
                "("
                + ", ".join(self.pick(["0", "1", "2", "4", "8", "-3", "0.5"]) for _ in "1234")
                + ")"
            )
        if self.chance(0.5):
            return "(" + ", ".join(self.number() for _ in "1234") + ")"
        return self.any()

    def vec2tuple(self):
        if self.chance(0.7):
            return f"({self.float()}, {self.float()})"
        return self.any()

    def shader(self):
        if self.chance(0.75):
            return self.pick(SHADERS)
        return self.any()

    def loc(self):
        if self.chance(0.6):
            return self.pick(["0", "1", "2", "-1", "7", "100"])
        return self.int()

    def uniform(self):
        if self.chance(0.6):
            return self.pick(
                ["'angle'", "'colors'", "'stops'", "'size'", "'gradientType'", "'nope'"]
            )
        return self.string() if self.chance(0.5) else self.any()

    def texture(self):
        if self.chance(0.7):
            return self.pick(["tex0", "rt0", "rt2", "rt1", "img0"])
        return self.any()

    def rthandle(self):
        r = self.rng.random()
        if r < 0.6:
            return self.pick(["rt0.render_texture", "rt2.render_texture", "rt0", "rt2"])
        if r < 0.75:
            n = self.pick(["0", "1", "2", "99", "-1", "2**31 - 1", "2**31", "2**40"])
            return f"rl.RenderTarget(({n}, 0, 4, 4))"
        return self.any()

    def blend(self):
        if self.chance(0.7):
            return self.pick(["0", "1", "2", "3", "4", "5", "rl.BlendMode.BLEND_ALPHA_PREMULTIPLY"])
        return self.int() if self.chance(0.5) else self.any()

    def image(self):
        if self.chance(0.6):
            return self.pick(["img0", "rl.gen_image_color(1, 1, (1, 2, 3, 4))"])
        return self.any()

    def imgsize(self):
        if self.chance(0.8):
            return self.pick(["0", "1", "2", "5", "-1", "64"])
        return self.pick(BOUNDARY_INTS + ["65536", "46341", "NAN"])

    def path(self):
        r = self.rng.random()
        if r < 0.5:
            return "os.path.join(TMP, 'out.png')"
        if r < 0.7:
            return self.pick(
                [
                    "'rel.png'",
                    "''",
                    "'a\\x00b.png'",
                    "TMP",
                    "os.path.join(TMP, 'no', 'such', 'dir.png')",
                    "b'bytes.png'",
                    "'x' * 5000",
                ]
            )
        if r < 0.8:
            return f"Hook(os.path.join(TMP, 'hook.png'), {self.action()})"
        return self.any()

    def rtsize(self):
        r = self.rng.random()
        if r < 0.6:
            return f"({self.size()}, {self.size()})"
        if r < 0.8:
            return self.pick(["V2(4, 4)", "V2(0, 0)", "V2(NAN, 1)", "v1", "V2Hook(2, 2)"])
        return self.any()

    def src(self):
        r = self.rng.random()
        if r < 0.6:
            return "None"
        if r < 0.75:
            return self.pick(
                ["''", "'void main() {}'", "'garbage'", "'\\x00'", "'#version 330\\n'"]
            )
        return self.any()

    def proto(self):
        return (
            self.pick(["0", "1", "2", "3", "4", "5", "-1", "6"]) if self.chance(0.8) else self.any()
        )

    def cls(self, kind):
        if self.chance(0.7):
            own = {
                "grad": ["zg.GradientRaylib", "GSub", "zg.ClickGradient"],
                "click": ["zg.ClickGradient", "ClickSub"],
                "cache": ["zc.Cache", "CacheSub"],
            }[kind]
            return self.pick(own)
        return self.pick(["zc.Cache", "zg.GradientRaylib", "V2", "int", "type", "None", "g0"])

    def checksum(self, kind):
        own = {
            "grad": ["0x0CE08233", "0x05C0DD12", "0x075FB95B"],
            "click": ["0x0F8824C9", "0x0906A415", "0x0039D65A"],
            "cache": ["0x0BD51CB4", "0x0E95C4D5", "0x0C883660"],
        }[kind]
        if self.chance(0.75):
            return self.pick(own)
        return self.pick(["0", "-1", "2**63", "2**64", "0x0BD51CB4", "0x0F8824C9", "1.5", "None"])

    def grad_state(self, click):
        fields = [
            self.float(),
            self.pick(["None", "v0", "V2(0.5, 0.5)", "V2Hook(1, 1)", "(0.5, 0.5)"]),
            self.vec4s(),
            self.floats(),
            self.int(),
            self.colors(),
            self.gtype(),
        ]
        if click:
            fields.append(self.floats())
        r = self.rng.random()
        if r < 0.15:
            fields = fields[: self.rng.randrange(len(fields))]
        elif r < 0.3:
            fields.append(self.pick(["{}", "{'a': 1}", "None", "DictSub(b=2)", self.any()]))
        elif r < 0.4:
            fields[self.rng.randrange(len(fields))] = self.any()
        state = self.tuple_of(fields) if fields else "()"
        if self.chance(0.05):
            return self.any()
        return state

    # ---- valid values only: calls that get past the argument checks into the deep paths ----
    def valid(self, shape):
        """A value that the entry point accepts, for every shape that has one."""
        pick, rng = self.pick, self.rng

        def fl():
            return pick(["0.0", "0.5", "1.0", "-1.5", "90.0", "255.0", repr(rng.randrange(64))])

        def color():
            return "(" + ", ".join(str(rng.randrange(256)) for _ in range(4)) + ")"

        def colors():
            items = [
                f"({color()}, {pick(['1', '2.5', '0', 'True'])})" if self.chance(0.3) else color()
                for _ in range(rng.randrange(6))
            ]
            return "[" + ", ".join(items) + "]"

        def vec4():
            return "{" + ", ".join(f"{k!r}: {fl()}" for k in "xyzw") + "}"

        def floats():
            return "[" + ", ".join(fl() for _ in range(rng.randrange(6))) + "]"

        def state(click):
            fields = [
                fl(),
                pick(["V2(0.5, 0.5)", "v0", "None"]),
                "[" + ", ".join(vec4() for _ in range(rng.randrange(5))) + "]",
                floats(),
                str(rng.randrange(256)),
                colors(),
                pick(["GT.Linear", "GT.Radial"]),
            ]
            if click:
                fields.append(floats())
            if self.chance(0.1):
                fields.append("{'attr': 1}")
            return "(" + ", ".join(fields) + ")"

        table = {
            "colors": colors,
            "gtype": lambda: pick(["GT.Linear", "GT.Radial"]),
            "direction": lambda: pick(["None", "LD.Top", "RD.TopLeft", "45", "(0.2, 0.8)"]),
            "float": fl,
            "int": lambda: str(rng.randrange(300)),
            "center": lambda: f"({fl()}, {fl()})",
            "tuple2": lambda: f"({fl()}, {fl()})",
            "vector": lambda: pick(["v0", f"V2({fl()}, {fl()})"]),
            "size": lambda: str(rng.randint(1, 16)),
            "index": lambda: str(rng.randrange(3)),
            "floats": floats,
            "vec4s": lambda: "[" + ", ".join(vec4() for _ in range(rng.randrange(5))) + "]",
            "key": lambda: "CT." + pick(["SURFACE", "FONT", "GLYPHS", "SCALED_SURFACE"]),
            "keylist": lambda: (
                "["
                + ", ".join(
                    f"CT.{n}"
                    for n in rng.sample(["SURFACE", "FONT", "GLYPHS", "MASK"], rng.randrange(3))
                )
                + "]"
            ),
            "func": lambda: pick(["lambda: 5", "list", "lambda: SENT_OBJ"]),
            "attrname": lambda: pick(CACHE_NAMES),
            "rgba": color,
            "rect": lambda: "(" + ", ".join(pick(["0", "1", "2", "4"]) for _ in "1234") + ")",
            "vec2tuple": lambda: f"({fl()}, {fl()})",
            "shader": lambda: pick(["sh0", "sh1"]),
            "loc": lambda: f"rl.get_zvshader_location(sh0, {pick(UNIFORMS)})",
            "uniform": lambda: pick(UNIFORMS),
            "texture": lambda: pick(["tex0", "rt2", "rt0"]),
            "rthandle": lambda: pick(["rt0.render_texture", "rt2"]),
            "blend": lambda: str(rng.randrange(6)),
            "image": lambda: "img0",
            "imgsize": lambda: str(rng.randint(1, 4)),
            "path": lambda: "os.path.join(TMP, 'valid.png')",
            "rtsize": lambda: f"({rng.randint(1, 16)}, {rng.randint(1, 16)})",
            "src": lambda: "None",
            "proto": lambda: str(rng.randint(2, 5)),
            "grad_state": lambda: state(False),
            "click_state": lambda: state(True),
            "cache_state": lambda: "([None] * 32,)",
        }
        fn = table.get(shape)
        return fn() if fn is not None else None

    def cache_state(self):
        r = self.rng.random()
        if r < 0.5:
            return "([None] * 32,)"
        if r < 0.6:
            return self.pick(["(None,)", "()", "([],)", "([None] * 3,)", "([None] * 40,)"])
        if r < 0.75:
            return f"([None] * 32, {self.pick(['{}', '{1: 2}', '{"a": 1}', 'DictSub(a=1)'])})"
        if r < 0.85:
            return "(ListSub([None] * 32),)"
        return self.any()
