"""`write_png` of 1024x1024 gradients against the layer's first encoder, in the same run.

The baseline is what `write_png` did before it compressed: read the pixels back, wrap them in
stored (uncompressed) deflate blocks (`_encode_png(..., stored=True)` keeps that encoder) and
write the file. Target: the deflating `write_png` at least as fast as the baseline (ratio of
the best times >= 1) for every picture, the files a small fraction of the stored size.
"""

import os
import pathlib
import sys
import tempfile
import time

from zorva_ui.core import GradientType
from zorva_ui.core.modules import rl
from zorva_ui.fast.zvraygrad.zvraygrad import GradientRaylib

SIZE = 1024
ROUNDS = 9
SPEED_TARGET = 1.0
COLOURS = [(20, 50, 170, 255), (235, 235, 235, 255), (250, 150, 0, 255)]
PICTURES = {
    "linear 0°": GradientRaylib(COLOURS, GradientType.Linear),
    "linear 30°": GradientRaylib(COLOURS, GradientType.Linear, angle=30.0),
    "radial, alpha": GradientRaylib(
        [(255, 255, 255, 255), (225, 60, 60, 255), (30, 20, 80, 128)], GradientType.Radial
    ),
}


def baseline(texture, path):
    data = rl._encode_png(texture.read_pixels(), SIZE, SIZE, stored=True)
    with open(path, "wb") as file:
        file.write(data)


def main():
    ok = True
    with tempfile.TemporaryDirectory() as folder:
        old_path = pathlib.Path(folder) / "stored.png"
        new_path = pathlib.Path(folder) / "deflated.png"
        for name, gradient in PICTURES.items():
            texture = gradient.generate_texture(SIZE, SIZE)
            old, new = [], []
            # Interleaved, best of each: the two see the same load on a shared machine.
            for _ in range(ROUNDS):
                t0 = time.perf_counter()
                baseline(texture, old_path)
                t1 = time.perf_counter()
                rl.write_png(texture, new_path)
                t2 = time.perf_counter()
                old.append(t1 - t0)
                new.append(t2 - t1)
            texture.unload()
            ratio = min(old) / min(new)
            old_size, new_size = os.path.getsize(old_path), os.path.getsize(new_path)
            print(
                f"{name:14} stored {old_size / 1e6:.2f} MB in {min(old) * 1e3:6.1f} ms; "
                f"deflated {new_size / 1e3:6.1f} kB in {min(new) * 1e3:6.1f} ms: "
                f"{ratio:.2f}x as fast (target >= {SPEED_TARGET}), "
                f"{old_size / new_size:.0f}x smaller"
            )
            ok = ok and ratio >= SPEED_TARGET and new_size * 10 < old_size
    return ok


if __name__ == "__main__":
    sys.exit(0 if main() else 1)
