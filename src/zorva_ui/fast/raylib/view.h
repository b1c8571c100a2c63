// Where a draw lands beyond its target: the scissor mode (a clip box, nested modes intersect) and
// the 2D camera mode (offset, target, rotation and zoom), both stacks like the other modes. Every
// draw applies them, in a render texture and in a host's framebuffer alike.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

#include "fast/raylib/device.h"

namespace zorva::layer {

// A clip box in y-down pixels of the target drawn into; negative sizes raise ValueError.
int begin_scissor(int32_t x, int32_t y, int32_t width, int32_t height);
int end_scissor();

// The camera's values from any object with `offset` and `target` (each an (x, y) sequence or
// an object with x and y), `rotation` (degrees) and `zoom`. 0, or -1 with an exception set.
int parse_camera(PyObject* camera, CameraTransform* out);
int begin_camera(const CameraTransform& camera);
int end_camera();

// Moves a point of the draw by the active camera (none: unchanged).
inline void camera_apply(float point[2]) {
    const std::vector<CameraTransform>& cameras = active().pass.cameras;
    if (cameras.empty()) [[likely]]
        return;
    const CameraTransform& t = cameras.back();
    const float x = point[0], y = point[1];
    point[0] = t.a * x + t.c * y + t.tx;
    point[1] = t.b * x + t.d * y + t.ty;
}

// Sets the scissor test for a draw into `target_height` rows of a render texture (a target),
// or, with `target_height` 0, into the host's framebuffer through `viewport`: the scissor mode's
// box, intersected with the host's own box when the host clips; without a scissor mode the
// host's clip as it stands, and no clip in a render texture.
void apply_scissor(bool into_target, const int32_t viewport[4]);

}  // namespace zorva::layer
