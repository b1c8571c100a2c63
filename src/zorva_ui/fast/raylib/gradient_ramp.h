// Colour ramps for programs that declare the layer-set `gradientRamp` sampler (the gradient
// shader). A software rasteriser pays for a search of the stops at every pixel, whichever
// branch the pixel takes; a ramp turns that search into one texel read. The layer keeps a copy
// of what the caller uploaded to the program's `colors`, `stops` and `colorCount`, and at each
// draw points the program at the ramp those values define (picture/gradient_model.h builds it).
//
// A share group keeps all its ramps in one buffer texture, bound on texture unit 1, and tells
// each draw where its ramp lies (`gradientRampCells`): a frame of many gradients switches no
// texture, only a uniform. Ramps are found by content, so none can be stale; the store is
// bounded in bytes and entries whatever the caller draws (the least recently used ramps go),
// and the store of a group whose contexts are gone (destroyed, or the parent's after a fork)
// went with them and is forgotten without a GL call.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "fast/raylib/device.h"

namespace zorva::layer {

inline constexpr int kRampUnit = 1;
// Bounds of one share group's store: cells (16 bytes each) and ramps.
inline constexpr uint32_t kRampStoreMaxCells = uint32_t{1} << 21;
inline constexpr size_t kRampStoreMaxRamps = 8192;

struct RampEntry;

// What one program copy needs to find its ramps: the locations of the uniforms it reads, a copy
// of the values uploaded to them, and the ramp found for those values.
struct RampUniforms {
    int32_t sampler_loc = -1;
    int32_t cells_loc = -1;
    int32_t count_loc = -1;
    // Locations of each array element, in this copy; whether they are consecutive.
    std::vector<int32_t> colour_locs;
    std::vector<int32_t> stop_locs;
    bool colours_consecutive = true;
    bool stops_consecutive = true;
    // The values uploaded (GL starts every uniform at 0).
    int32_t count = 0;
    float colours[64][4] = {};
    float stops[64] = {};
    // The layer-set uniforms as last set (-1: not known), and the store's record of the ramp
    // found for the values: valid while nothing was uploaded since and the store has dropped no
    // ramp since `store_epoch`.
    int32_t sampler_unit = -1;
    int32_t set_first = -1;
    int32_t set_cells = -1;
    bool changed = true;
    uint64_t store_epoch = 0;
    RampEntry* entry = nullptr;
};

// The ramp state of a program linked in the active device; null when it declares no
// `gradientRamp` of type usamplerBuffer (other programs behave as if this file did not exist).
std::unique_ptr<RampUniforms> ramp_uniforms_of(uint32_t program);

// After an upload that GL accepted (locations are the copy's own).
void ramp_note_int(RampUniforms& ramp, int32_t loc, int32_t value);
void ramp_note_floats(RampUniforms& ramp, int32_t loc, const float* values, Py_ssize_t count);
void ramp_note_vec4s(RampUniforms& ramp, int32_t loc, const float* xyzw, Py_ssize_t count);

// Before a draw, with the program in use: the store bound on unit 1 and the program pointed at
// the ramp of its uploaded values. 0, or -1 with an exception set (the driver refused the store).
int ramp_bind(RampUniforms& ramp);

}  // namespace zorva::layer
