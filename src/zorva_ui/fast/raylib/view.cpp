#include "fast/raylib/view.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "fast/common/pyref.h"
#include "fast/raylib/errors.h"
#include "fast/raylib/gl.h"
#include "fast/raylib/host_state.h"
#include "fast/raylib/values.h"

namespace zorva::layer {
namespace {

using gl::fn;

ScissorBox intersect(const ScissorBox& a, const ScissorBox& b) {
    // 64-bit sums: boxes come from Python and may reach the ends of int32.
    const int64_t left = std::max<int64_t>(a.x, b.x);
    const int64_t top = std::max<int64_t>(a.y, b.y);
    const int64_t right = std::min<int64_t>(int64_t{a.x} + a.width, int64_t{b.x} + b.width);
    const int64_t bottom = std::min<int64_t>(int64_t{a.y} + a.height, int64_t{b.y} + b.height);
    return ScissorBox{static_cast<int32_t>(left), static_cast<int32_t>(top),
                      static_cast<int32_t>(std::max<int64_t>(right - left, 0)),
                      static_cast<int32_t>(std::max<int64_t>(bottom - top, 0))};
}

int32_t clamp_to_int32(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

// A field of the camera; an object without it is not a camera (TypeError).
PyRef camera_field(PyObject* camera, const char* field) {
    PyObject* value = nullptr;
    if (PyObject_GetOptionalAttrString(camera, field, &value) == 0) {
        PyErr_Format(PyExc_TypeError,
                     "a camera needs offset, target, rotation and zoom (as raylib's Camera2D); "
                     "%.200s has no %s",
                     Py_TYPE(camera)->tp_name, field);
    }
    return PyRef::steal(value);
}

// A vector field of the camera: an object with x and y, or an (x, y) sequence.
int parse_point(PyObject* camera, const char* field, float out[2]) {
    PyRef value = camera_field(camera, field);
    if (!value) return -1;
    PyObject* x = nullptr;
    if (PyObject_GetOptionalAttrString(value.get(), "x", &x) < 0) return -1;
    if (x == nullptr) return parse_floats(value.get(), 2, field, out);  // a sequence
    PyRef held_x = PyRef::steal(x);
    if (to_float(x, &out[0]) < 0) return -1;
    PyRef y = PyRef::steal(PyObject_GetAttrString(value.get(), "y"));
    return y ? to_float(y.get(), &out[1]) : -1;
}

int parse_number(PyObject* camera, const char* field, float* out) {
    PyRef value = camera_field(camera, field);
    return value ? to_float(value.get(), out) : -1;
}

}  // namespace

int begin_scissor(int32_t x, int32_t y, int32_t width, int32_t height) {
    if (width < 0 || height < 0) {
        PyErr_Format(PyExc_ValueError, "scissor size must not be negative, got %d x %d", width,
                     height);
        return -1;
    }
    ScissorBox box{x, y, width, height};
    if (!active().pass.scissors.empty()) {
        box = intersect(box, active().pass.scissors.back());
    }
    active().pass.scissors.push_back(box);
    return 0;
}

int end_scissor() {
    if (active().pass.scissors.empty()) {
        PyErr_SetString(layer_error(), "end_scissor_mode without begin_scissor_mode");
        return -1;
    }
    active().pass.scissors.pop_back();
    return 0;
}

int parse_camera(PyObject* camera, CameraTransform* out) {
    float offset[2], target[2], rotation, zoom;
    if (parse_point(camera, "offset", offset) < 0 || parse_point(camera, "target", target) < 0 ||
        parse_number(camera, "rotation", &rotation) < 0 || parse_number(camera, "zoom", &zoom) < 0)
        return -1;
    if (!std::isfinite(offset[0]) || !std::isfinite(offset[1]) || !std::isfinite(target[0]) ||
        !std::isfinite(target[1]) || !std::isfinite(rotation) || !std::isfinite(zoom)) {
        PyErr_SetString(PyExc_ValueError, "camera values must be finite");
        return -1;
    }
    // p' = offset + zoom * R(rotation) * (p - target), rotating clockwise on screen (y down).
    const double radians = static_cast<double>(rotation) * (std::numbers::pi / 180.0);
    const float c = static_cast<float>(std::cos(radians)) * zoom;
    const float s = static_cast<float>(std::sin(radians)) * zoom;
    out->a = c;
    out->b = s;
    out->c = -s;
    out->d = c;
    out->tx = offset[0] - (c * target[0] - s * target[1]);
    out->ty = offset[1] - (s * target[0] + c * target[1]);
    return 0;
}

int begin_camera(const CameraTransform& camera) {
    active().pass.cameras.push_back(camera);
    return 0;
}

int end_camera() {
    if (active().pass.cameras.empty()) {
        PyErr_SetString(layer_error(), "end_mode_2d without begin_mode_2d");
        return -1;
    }
    active().pass.cameras.pop_back();
    return 0;
}

void apply_scissor(bool into_target, const int32_t viewport[4]) {
    HostState& host = active().host;
    const bool adopted = active().keeps_host_state;
    if (active().pass.scissors.empty()) {
        if (into_target) {
            // The host's clip is in its framebuffer's pixels, meaningless in a render texture.
            // In the layer's own context the flag says whether the layer left the test on.
            if (adopted || host.scissor_changed) fn.Disable(gl::SCISSOR_TEST);
            host.scissor_changed = adopted;
        } else if (host.scissor_changed) {
            const SavedHostState& saved = host.saved;
            if (saved.switches[kHostSwitchScissor]) {
                fn.Enable(gl::SCISSOR_TEST);
            } else {
                fn.Disable(gl::SCISSOR_TEST);
            }
            fn.Scissor(saved.scissor_box[0], saved.scissor_box[1], saved.scissor_box[2],
                       saved.scissor_box[3]);
            host.scissor_changed = false;
        }
        return;
    }
    const ScissorBox& box = active().pass.scissors.back();
    ScissorBox framebuffer_box = box;  // a render texture stores its top row first
    if (!into_target) {
        // The host's framebuffer counts rows from the bottom of the viewport.
        framebuffer_box.x = clamp_to_int32(int64_t{viewport[0]} + box.x);
        framebuffer_box.y =
            clamp_to_int32(int64_t{viewport[1]} + viewport[3] - (int64_t{box.y} + box.height));
        const SavedHostState& saved = host.saved;
        if (adopted && saved.switches[kHostSwitchScissor]) {
            framebuffer_box =
                intersect(framebuffer_box, ScissorBox{saved.scissor_box[0], saved.scissor_box[1],
                                                      saved.scissor_box[2], saved.scissor_box[3]});
        }
    }
    fn.Enable(gl::SCISSOR_TEST);
    fn.Scissor(framebuffer_box.x, framebuffer_box.y, framebuffer_box.width, framebuffer_box.height);
    host.scissor_changed = true;
}

}  // namespace zorva::layer
