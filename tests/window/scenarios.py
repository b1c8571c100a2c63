"""Window scenarios for examples/buttons.py, each in a process of its own: the layer keeps the
first context it meets for the whole process, and the test process already made a headless one.

    python -m window.scenarios NAME [ARGS...]     (from tests/, with DISPLAY set)

A scenario drives the example through its `run()` hook and prints one line, `RESULT {json}`."""

import importlib.util
import json
import pathlib
import sys
import time
import traceback

EXAMPLE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "buttons.py"
DT = 1 / 60  # a fixed animation step, so that frame numbers fix the ripple's age


def load_example():
    spec = importlib.util.spec_from_file_location("buttons_example", EXAMPLE)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def describe(example, control, image):
    """Each button's rectangle, texture sizes and colours, and its pixel a quarter of its height
    above its bottom edge on its centre line (below the label, where the sheen has died out)."""
    buttons = []
    for button, (_, top, bottom) in zip(control.buttons, example.BUTTONS, strict=True):
        x, y, w, h = button["rect"]
        px, py = x + w // 2, y + (3 * h) // 4
        sample = {"y": py, "rgb": image[py, px, :3].tolist()}
        buttons.append({**button, "top": top, "bottom": bottom, "sample": sample})
    return buttons


def scenario_open(example):
    out = {}

    def script(control):
        if control.frame == 1:
            control.move(1, 1)  # the pointer away from every button
        elif control.frame == 3:
            out["context"] = control.context.get("context")
            out["size"] = control.framebuffer_size
            out["buttons"] = describe(example, control, control.read())
            control.stop()

    example.run(frames=30, script=script, dt=DT)
    return out


def scenario_press(example, label, fx, fy):
    """Presses at a point given as fractions of one button's rectangle; returns the square
    around it in a frame before the press, a few frames into the ripple and after it, and a
    pixel of each other button and just beside the pressed one."""
    radius, frames = 30, {"before": 3, "during": 7, "after": 45}
    out = {"radius": radius}

    def script(control):
        rects = {b["label"]: b["rect"] for b in control.buttons}
        x, y, w, h = rects[label]
        px, py = x + int(w * float(fx)), y + int(h * float(fy))
        if control.frame == 1:
            control.move(px + 0.5, py + 0.5)  # a pixel centre: equal distances around it
        elif control.frame == frames["before"] + 1:
            control.release()
        for name, frame in frames.items():
            if control.frame == frame:
                image = control.read()
                others = [r for other, r in rects.items() if other != label]
                around = [image[b + d // 4, a + c // 4, :3] for a, b, c, d in others]
                around += [image[py, x - 2, :3], image[py, x + w + 1, :3]]
                crop = image[py - radius : py + radius + 1, px - radius : px + radius + 1, :3]
                out[name] = {"crop": crop.tolist(), "around": [p.tolist() for p in around]}
                if name == "before":
                    control.press(px + 0.5, py + 0.5)
                elif name == "after":
                    control.stop()

    example.run(frames=frames["after"] + 5, script=script, dt=DT)
    return out


def scenario_resize(example, width, height):
    target = (int(width), int(height))
    out = {}
    deadline = time.monotonic() + 30  # the X server configures the window asynchronously

    def script(control):
        if control.frame == 2:
            out["before"] = control.buttons
            control.move(1, 1)
            control.resize(*target)
        elif control.frame > 2 and tuple(control.framebuffer_size) == target:
            out["after"] = describe(example, control, control.read())
            control.stop()
        elif time.monotonic() > deadline:
            control.stop()

    example.run(script=script, dt=DT)
    if "after" not in out:
        raise AssertionError(f"the framebuffer never reached {target}")
    return out


def scenario_idle(example):
    """Runs unscripted: each time the loop would sleep, counts the frames drawn so far and wakes
    it with an empty event, three times, then closes the window."""
    glfw = example.glfw
    frames_at_wait = []
    drawn = []
    real_swap = glfw.swap_buffers

    def counting_swap(window):
        drawn.append(1)
        real_swap(window)

    def waking_wait():
        frames_at_wait.append(len(drawn))
        if len(frames_at_wait) > 3:
            glfw.set_window_should_close(glfw.get_current_context(), True)
        glfw.post_empty_event()
        glfw.wait_events_timeout(1.0)

    glfw.swap_buffers, glfw.wait_events = counting_swap, waking_wait
    example.run()
    return {"frames_at_wait": frames_at_wait}


def scenario_small(example, width, height):
    """The layout in a window smaller than the example's minimum size."""
    out = {}
    deadline = time.monotonic() + 30

    def script(control):
        if control.frame == 1:
            control.resize(int(width), int(height))
        elif control.frame > 1 and (
            control.framebuffer_size != tuple(example.DEFAULT_SIZE) or time.monotonic() > deadline
        ):
            out["size"] = control.framebuffer_size
            out["buttons"] = control.buttons
            control.stop()

    example.run(script=script, dt=DT)
    return out


def main(name, *args):
    try:
        report = {"ok": True, **globals()[f"scenario_{name}"](load_example(), *args)}
    except BaseException:
        report = {"ok": False, "traceback": traceback.format_exc()}
    print("RESULT " + json.dumps(report), flush=True)


if __name__ == "__main__":
    main(*sys.argv[1:])
