"""What outlives what: a forked child, a context destroyed and its handle given to a new one,
a context switched inside a pass, an owner thread that ends. Each runs in a fresh interpreter
with a timeout, as a fault here is a hang or a process-wide state."""

import os
import subprocess
import sys
import textwrap

import pytest

PRELUDE = """
import gc, os, sys, threading
import numpy as np
from zorva_ui.fast.raylib import zorva_raylib as rl
from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture
from zorva_ui.fast.zvraygrad import zvraygrad
sys.path.insert(0, {tests!r})
from host_context import hostgl

def red_pixel(size=4):
    target = ZvRenderTexture((size, size))
    target.c_fast_clear((255, 0, 0, 255))
    return tuple(np.frombuffer(target.read_pixels(), np.uint8)[:4])

def forked(work):
    # work() in a forked child; the repr of its result comes back through a pipe
    r, w = os.pipe()
    pid = os.fork()
    if pid == 0:
        try:
            os.write(w, repr(work()).encode())
        finally:
            os._exit(0)
    os.close(w)
    result = eval(os.read(r, 4096).decode())
    os.waitpid(pid, 0)
    return result
"""

TESTS = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def run(body, timeout=120, env=None):
    code = PRELUDE.format(tests=TESTS) + textwrap.dedent(body)
    out = subprocess.run(
        [sys.executable, "-c", code],
        capture_output=True,
        text=True,
        timeout=timeout,
        env=dict(os.environ, **(env or {})),
    )
    assert out.returncode == 0, out.stdout[-2000:] + out.stderr[-3000:]
    return out.stdout.split("\n")


@pytest.mark.parametrize(
    "first_call", ["read_pixels", "generate_texture", "in_pass", "grandchild", "pool"]
)
def test_a_forked_child_renders_in_a_context_of_its_own(first_call):
    """After the parent has rendered, a child's first call made it wait forever (the software
    rasteriser's threads do not exist there). The child refuses the parent's render texture,
    renders in a fresh context, and the parent carries on."""
    lines = run(
        f"""
        inherited = ZvRenderTexture((4, 4))
        inherited.c_fast_clear((0, 0, 255, 255))
        assert red_pixel() == (255, 0, 0, 255)
        # Its colour ramps live in the parent's context, which the child cannot use.
        g = zvraygrad.ClickGradient([(255, 0, 0, 255), (0, 255, 0, 128), (0, 0, 255, 255)])
        parent_pixels = g.generate_texture(8, 8).read_pixels()

        def child_work(_=None):
            try:
                inherited.read_pixels()
                refused = "no"
            except RuntimeError as e:
                refused = str(e)
            if {first_call!r} == "generate_texture":
                assert g.generate_texture(8, 8).read_pixels() == parent_pixels
            pixel = red_pixel()
            if {first_call!r} == "grandchild":
                pixel = forked(red_pixel)
            return refused, pixel

        if {first_call!r} == "in_pass":  # the own context is held current through a pass
            rl.begin_texture_mode(inherited.render_texture)

        if {first_call!r} == "pool":
            import multiprocessing
            with multiprocessing.get_context("fork").Pool(2) as pool:
                results = pool.map(child_work, range(4))
        else:
            results = [forked(child_work)]
        if {first_call!r} == "in_pass":
            rl.end_texture_mode()
        for refused, pixel in results:
            assert "fork" in refused, refused
            assert pixel == (255, 0, 0, 255), pixel
        del inherited
        assert red_pixel() == (255, 0, 0, 255)
        print("OK")
        """,
        timeout=90,
    )
    assert "OK" in lines


def test_a_child_of_a_host_with_its_context_current_renders_in_its_own():
    """The host's context was current at the fork (the dispatch library leaves none current in
    the child): the child renders headless, and its list shows the host's context gone."""
    lines = run(
        """
        hostgl.make_pbuffer_context()
        assert red_pixel() == (255, 0, 0, 255)

        def child_work():
            pixel = red_pixel()
            info = rl.context_info()
            return pixel, info["context"], [c["alive"] for c in info["contexts"]]

        assert forked(child_work) == ((255, 0, 0, 255), "own headless EGL", [False, True])
        assert red_pixel() == (255, 0, 0, 255)
        assert rl.context_info()["context"] == "adopted EGL"
        print("OK")
        """,
        timeout=60,
    )
    assert "OK" in lines


def test_a_new_context_at_a_reused_handle_is_new():
    """The host destroys its context and makes new ones until one gets the old handle: the
    layer sets itself up there afresh, and neither unloading nor collecting an old render
    texture deletes the host's objects that took the same GL names."""
    lines = run(
        """
        import ctypes
        egl, gl = hostgl.egl, hostgl.gl
        display, draw, read, first = hostgl.make_pbuffer_context()
        config = ctypes.c_void_p()
        olds = [ZvRenderTexture((4, 4)) for _ in range(2)]
        for old in olds:
            old.c_fast_clear((1, 2, 3, 4))
        names = {old.render_texture.texture_id for old in olds}
        core = (ctypes.c_int * 7)(0x3098, 3, 0x30FB, 3, 0x30FD, 1, 0x3038)
        attrs = (ctypes.c_int * 5)(0x3040, 0x0008, 0x3033, 0x0001, 0x3038)
        count = ctypes.c_int()
        egl.eglChooseConfig(display, attrs, ctypes.byref(config), 1, ctypes.byref(count))
        hostgl.release_current()
        egl.eglDestroyContext(display, first)
        for tries in range(50):
            context = egl.eglCreateContext(display, config, None, core)
            if context == first:
                break
            egl.eglDestroyContext(display, context)
        else:
            print("SKIP no handle reuse")
            raise SystemExit(0)
        hostgl.make_current((display, draw, read, context))
        # The host's own textures and framebuffers take the freed names.
        host = (ctypes.c_uint * 8)()
        gl.glGenTextures(8, host)
        host_names = set(host)
        for name in host_names:
            gl.glBindTexture(0x0DE1, name)
        gl.glBindTexture(0x0DE1, 0)
        host_fbos = (ctypes.c_uint * 8)()
        gl.glGenFramebuffers(8, host_fbos)
        for name in host_fbos:
            gl.glBindFramebuffer(0x8D40, name)
        gl.glBindFramebuffer(0x8D40, 0)
        assert names <= host_names, (names, host_names)
        # The old objects go first, before any call has been made in the new context.
        olds[0].unload()
        olds.clear()
        gc.collect()
        target = ZvRenderTexture((4, 4))
        target.c_fast_clear((255, 0, 0, 255))
        assert tuple(hostgl.pixels_of(target)[0, 0]) == (255, 0, 0, 255)
        gl.glGetError()
        assert all(gl.glIsTexture(n) for n in host_names), "a host texture was deleted"
        assert all(gl.glIsFramebuffer(n) for n in host_fbos), "a host framebuffer was deleted"
        print("OK")
        """
    )
    if "SKIP no handle reuse" in lines:
        pytest.skip("the driver gave no new context the old handle")
    assert "OK" in lines


def test_a_call_in_another_context_inside_a_pass_raises():
    """Texture mode begun in the host's context A, then the host makes B current, which shares
    A's objects (so A's marker is visible there): every call raises naming both, nothing is
    drawn into B, and the pass goes on once A is current again."""
    lines = run(
        """
        import ctypes
        egl = hostgl.egl
        display, draw, read, a = hostgl.make_pbuffer_context()
        config, count = ctypes.c_void_p(), ctypes.c_int()
        attrs = (ctypes.c_int * 5)(0x3040, 0x0008, 0x3033, 0x0001, 0x3038)
        egl.eglChooseConfig(display, attrs, ctypes.byref(config), 1, ctypes.byref(count))
        core = (ctypes.c_int * 7)(0x3098, 3, 0x30FB, 3, 0x30FD, 1, 0x3038)
        b = egl.eglCreateContext(display, config, a, core)
        assert b
        target = ZvRenderTexture((4, 4))
        target.c_fast_clear((0, 0, 0, 0))
        blank = rl.load_texture_from_image(rl.gen_image_color(1, 1, (255, 0, 0, 255)))
        rl.begin_texture_mode(target.render_texture)
        hostgl.make_current((display, draw, read, b))
        calls = {
            "draw": lambda: rl.draw_texture_pro(
                blank, (0, 0, 1, 1), (0, 0, 4, 4), (0, 0), 0.0, (255, 255, 255, 255)
            ),
            "end": rl.end_texture_mode,
            "read": target.read_pixels,
        }
        for name, call in calls.items():
            try:
                call()
            except RuntimeError as e:
                assert "pass" in str(e) and "current context" in str(e), (name, str(e))
            else:
                raise AssertionError(name + " was accepted in another context")
        assert hostgl.gl.glGetError() == 0
        hostgl.make_current((display, draw, read, a))
        calls["draw"]()
        rl.end_texture_mode()
        assert tuple(hostgl.pixels_of(target)[0, 0]) == (255, 0, 0, 255)
        hostgl.make_current((display, draw, read, b))
        assert tuple(hostgl.pixels_of(target)[0, 0]) == (255, 0, 0, 255)  # shared, no pass
        print("OK")
        """
    )
    assert "OK" in lines


@pytest.mark.skipif("ZORVA_SANITIZED" in os.environ, reason="the sanitizer's allocator quarantines")
def test_objects_of_an_ended_owner_thread_are_freed_and_its_context_passes_on():
    """A thread makes the layer's context and 200 targets of 1 MiB, then ends: dropping them
    afterwards frees the memory, and the main thread renders in that context."""
    lines = run(
        """
        def rss():
            with open("/proc/self/statm") as f:
                return int(f.read().split()[1]) * 4096

        targets = []

        def owner():
            for _ in range(200):
                targets.append(ZvRenderTexture((512, 512)))
                targets[-1].c_fast_clear((1, 2, 3, 4))

        thread = threading.Thread(target=owner)
        thread.start()
        thread.join()
        before = rss()
        targets.clear()
        gc.collect()
        assert red_pixel() == (255, 0, 0, 255)
        freed = before - rss()
        assert freed > 150 * 2**20, f"freed {freed / 2**20:.0f} MiB of 200"
        assert rl.context_info()["contexts"][0]["thread"] == threading.get_ident()
        print("OK")
        """,
        env={"MALLOC_MMAP_THRESHOLD_": "131072"},
    )
    assert "OK" in lines


def test_a_child_that_rendered_exits_normally():
    """sys.exit in a child that rendered: the driver's exit handlers waited for ever on the
    threads of the child's context."""
    lines = run(
        """
        assert red_pixel() == (255, 0, 0, 255)
        pid = os.fork()
        if pid == 0:
            red_pixel()
            sys.exit(7)
        print("child", os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]))
        """,
        timeout=60,
    )
    assert "child 7" in lines
