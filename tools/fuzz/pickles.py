"""Hostile pickle streams, written opcode by opcode: our reconstructors and classes reached by
GLOBAL and STACK_GLOBAL, REDUCE, NEWOBJ and BUILD with states of the wrong size and type, lying
lengths, wrong checksums, nested objects and memo references back into objects still being
built. The result is plain bytes for `pickle.loads`."""

import pickletools
import struct
import warnings

GRAD = "zorva_ui.fast.zvraygrad.zvraygrad"
CACHE = "zorva_ui.fast.zorvacache.zorvacache"
CHECKSUMS = {
    "GradientRaylib": [0x0CE08233, 0x05C0DD12, 0x075FB95B],
    "ClickGradient": [0x0F8824C9, 0x0906A415, 0x0039D65A],
    "Cache": [0x0BD51CB4, 0x0E95C4D5, 0x0C883660],
}
FIELDS = {"GradientRaylib": 7, "ClickGradient": 8, "Cache": 1}
OTHER_GLOBALS = [
    ("zorva_ui.fast.zvvector2.zvvector2", "ZvVector2"),
    ("zorva_ui.fast.zvrect.zvrect", "ZvRect"),
    ("zorva_ui.fast.zvrendertex.zv_render_tex", "ZvRenderTexture"),
    ("zorva_ui.fast.zvshader.zvshader", "ZvShader"),
    ("zorva_ui.core", "GradientType"),
    ("zorva_ui.core.enums", "CacheType"),
    ("builtins", "list"),
    ("builtins", "tuple"),
    ("copyreg", "_reconstructor"),
]


class Stream:
    """An opcode writer that keeps track of memo slots it has filled."""

    def __init__(self, rng):
        self.rng = rng
        self.out = bytearray()
        self.memo = 0

    def op(self, data):
        self.out += data

    def unicode(self, text):
        data = text.encode("utf-8", "surrogatepass")
        r = self.rng.random()
        if r < 0.95 and len(data) < 256:
            self.op(b"\x8c" + bytes([len(data)]) + data)
        elif r < 0.99:
            self.op(b"X" + struct.pack("<I", len(data)) + data)
        else:
            # A length that does not match what follows.
            lie = self.rng.choice([len(data) + 7, 0xFFFFFFFF, max(len(data) - 1, 0)])
            self.op(b"X" + struct.pack("<I", lie) + data)

    def global_(self, module, name):
        if self.rng.random() < 0.5:
            self.op(b"c" + module.encode() + b"\n" + name.encode() + b"\n")
        else:
            self.unicode(module)
            self.unicode(name)
            self.op(b"\x93")
        self.put()

    def put(self):
        if self.rng.random() < 0.5:
            self.op(b"\x94")  # MEMOIZE
            self.memo += 1

    def get(self):
        if self.memo and self.rng.random() < 0.9:
            self.op(b"h" + bytes([self.rng.randrange(min(self.memo, 256))]))
        else:
            self.op(b"j" + struct.pack("<I", self.rng.choice([self.memo + 3, 0xFFFFFFFF])))

    def int(self, value=None):
        if value is None:
            value = self.rng.choice(
                [0, 1, -1, 255, 256, 2**31 - 1, 2**31, -(2**31), 2**63, 2**64, -(2**70)]
            )
        if 0 <= value < 256 and self.rng.random() < 0.5:
            self.op(b"K" + bytes([value]))
        elif -(2**31) <= value < 2**31:
            self.op(b"J" + struct.pack("<i", value))
        else:
            data = value.to_bytes((value.bit_length() + 8) // 8, "little", signed=True)
            self.op(b"\x8a" + bytes([len(data)]) + data)

    def float(self):
        value = self.rng.choice([0.0, -0.0, 0.5, 1.0, 255.0, 1e308, float("nan"), float("inf")])
        self.op(b"G" + struct.pack(">d", value))

    def atom(self):
        r = self.rng.randrange(10)
        if r == 0:
            self.op(b"N")
        elif r == 1:
            self.op(self.rng.choice([b"\x88", b"\x89"]))
        elif r in (2, 3):
            self.int()
        elif r == 4:
            self.float()
        elif r == 5:
            self.unicode(self.rng.choice(["x", "y", "z", "w", "", "Top", "\ud800"]))
        elif r == 6:
            self.op(b"C\x02ab")
        elif r == 7 and self.memo:
            self.get()
        elif r == 8 and self.rng.random() < 0.1:
            # A long whose byte count is huge or negative (rarely: it ends the stream).
            self.op(self.rng.choice([b"\x8b\xff\xff\xff\x7f\x00", b"\x8b\xff\xff\xff\xff\x00"]))
        else:
            self.op(b")")

    def value(self, depth):
        r = self.rng.random()
        if depth > 3 or r < 0.35:
            self.atom()
        elif r < 0.5:
            self.color_list(depth)
        elif r < 0.6:
            self.vec4_list()
        elif r < 0.7:
            self.float_list()
        elif r < 0.8:
            self.obj(depth + 1)
        elif r < 0.9:
            self.tuple_(depth)
        else:
            self.vector()

    def tuple_(self, depth):
        n = self.rng.randrange(5)
        self.op(b"(")
        for _ in range(n):
            self.value(depth + 1)
        self.op(b"t")
        self.put()

    def color(self):
        self.op(b"(")
        for _ in range(self.rng.choice([4, 4, 4, 2, 5, 0])):
            self.int(self.rng.randrange(256))
        self.op(b"t")

    def color_list(self, depth):
        self.op(b"]")
        self.put()
        self.op(b"(")
        for _ in range(self.rng.randrange(5)):
            if self.rng.random() < 0.2:
                self.color()
                self.int(self.rng.randrange(4))
                self.op(b"\x86")
            elif self.rng.random() < 0.1:
                self.value(depth + 1)
            else:
                self.color()
        self.op(b"e")

    def vec4_list(self):
        self.op(b"]")
        self.put()
        self.op(b"(")
        for _ in range(self.rng.randrange(5)):
            self.op(b"}(")
            for key in self.rng.sample(["x", "y", "z", "w", "q"], self.rng.choice([4, 4, 3, 5])):
                self.unicode(key)
                self.float() if self.rng.random() < 0.8 else self.atom()
            self.op(b"u")
        self.op(b"e")

    def float_list(self):
        self.op(b"](")
        for _ in range(self.rng.randrange(6)):
            self.float() if self.rng.random() < 0.8 else self.atom()
        self.op(b"e")

    def vector(self):
        self.global_("zorva_ui.fast.zvvector2.zvvector2", "ZvVector2")
        self.float()
        self.float()
        self.op(b"\x86R")
        self.put()

    def state(self, name, depth):
        n = FIELDS[name]
        r = self.rng.random()
        if r < 0.15:
            n = self.rng.randrange(n + 3)
        self.op(b"(")
        for i in range(n):
            if name == "Cache":
                self.cache_list(depth)
            elif i == 0:
                self.float()
            elif i == 1:
                self.vector() if self.rng.random() < 0.7 else self.atom()
            elif i == 2:
                self.vec4_list()
            elif i in (3, 7):
                self.float_list()
            elif i == 4:
                self.int()
            elif i == 5:
                self.color_list(depth)
            elif i == 6:
                self.enum_member() if self.rng.random() < 0.7 else self.value(depth + 1)
            else:
                self.value(depth + 1)
        if self.rng.random() < 0.15:
            self.op(b"}")
            if self.rng.random() < 0.5:
                self.unicode("attr")
                self.value(depth + 1)
                self.op(b"s")
        self.op(b"t")

    def cache_list(self, depth):
        self.op(b"]")
        self.put()
        self.op(b"(")
        for _ in range(self.rng.choice([32, 32, 32, 0, 3, 33])):
            if self.rng.random() < 0.9:
                self.op(b"N")
            else:
                self.value(depth + 1)
        self.op(b"e")

    def enum_member(self):
        self.global_("zorva_ui.core", "GradientType")
        self.int(self.rng.choice([0, 1, 1, 0, 2]))
        self.op(b"\x85R")

    def obj(self, depth):
        name = self.rng.choice(["GradientRaylib", "ClickGradient", "Cache"])
        module = CACHE if name == "Cache" else GRAD
        r = self.rng.random()
        if r < 0.7:
            # __pyx_unpickle_X(cls, checksum, state-or-None) [+ BUILD state]
            self.global_(module, "__pyx_unpickle_" + name)
            self.op(b"(")
            cls = name if self.rng.random() < 0.85 else self.rng.choice(list(FIELDS))
            self.global_(CACHE if cls == "Cache" else GRAD, cls)
            if self.rng.random() < 0.85:
                self.int(self.rng.choice(CHECKSUMS[name]))
            else:
                self.int()
            inline = self.rng.random() < 0.3
            if inline:
                self.state(name, depth)
            else:
                self.op(b"N")
            self.op(b"tR")
            self.put()
            if not inline or self.rng.random() < 0.2:
                self.state(name, depth)
                self.op(b"b")
        elif r < 0.85:
            # NEWOBJ then BUILD: __new__ without the reconstructor's checks.
            self.global_(module, name)
            self.op(b")\x81")
            self.put()
            self.state(name, depth)
            self.op(b"b")
        else:
            # One object, state applied twice, the second time through the memo.
            self.global_(module, name)
            self.op(b")\x81\x94")
            self.memo += 1
            slot = self.memo - 1
            self.state(name, depth)
            self.op(b"b0")
            if slot < 256:
                self.op(b"h" + bytes([slot]))
            self.state(name, depth)
            self.op(b"b")

    def other(self):
        module, name = self.rng.choice(OTHER_GLOBALS)
        self.global_(module, name)
        self.tuple_(2)
        self.op(b"R")


def build(rng):
    """One hostile pickle stream."""
    s = Stream(rng)
    s.op(b"\x80" + bytes([rng.choice([2, 3, 4, 5])]))
    if rng.random() < 0.1:
        s.op(b"\x95" + struct.pack("<Q", rng.choice([0, 10, 2**63])))
    if rng.random() < 0.85:
        s.obj(0)
    else:
        s.other()
    if rng.random() < 0.1:
        s.op(b"2")  # DUP
    s.op(b".")
    data = bytes(s.out)
    if rng.random() < 0.15:
        data = mutate(rng, data)
    bomb = memo_bomb(data)
    return data if bomb < 0 else data[:bomb] + b"."


def memo_bomb(data):
    """Where the stream stores into a huge memo index, else -1: the unpickler would size its
    memo to that index (gigabytes) before anything of ours runs. A lying length or a mutation
    can turn any later byte into such an opcode."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # escape sequences in mutated text opcodes
        try:
            for op, arg, pos in pickletools.genops(data):
                if op.name in ("PUT", "LONG_BINPUT") and int(arg) > 100_000:
                    return pos
        except Exception:
            pass  # the unpickler stops at the same malformed opcode
    return -1


def mutate(rng, data):
    """A few random byte flips, insertions and deletions."""
    out = bytearray(data)
    for _ in range(rng.randint(1, 4)):
        if not out:
            break
        pos = rng.randrange(len(out))
        r = rng.random()
        if r < 0.5:
            out[pos] = rng.randrange(256)
        elif r < 0.75:
            out.insert(pos, rng.randrange(256))
        else:
            del out[pos]
    return bytes(out)
