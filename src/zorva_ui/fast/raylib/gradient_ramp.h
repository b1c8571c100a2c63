// Colour ramps for programs that declare the layer-set `gradientRamp` sampler (the gradient
// shader). A software rasteriser pays for a search of the stops at every pixel, whichever
// branch the pixel takes; a ramp turns that search into one texture read. The layer keeps a copy
// of what the caller uploaded to the program's `colors`, `stops` and `colorCount`, and at each
// draw binds the ramp those values define (picture/gradient_model.h builds it) on texture unit 1.
//
// Ramps are GL textures of a share group, cached by content there: a run of draws with the same
// gradients builds each ramp once, and since a ramp is found by its content it can never be
// stale. The cache is bounded in entries and bytes whatever the caller draws; ramps of a group
// whose contexts are gone (destroyed, or the parent's after a fork) went with them and are
// forgotten without a GL call.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "fast/raylib/device.h"

namespace zorva::layer {

inline constexpr int kRampUnit = 1;
// Bounds of one share group's ramp cache.
inline constexpr size_t kRampCacheEntries = 4096;
inline constexpr size_t kRampCacheBytes = size_t{32} << 20;

// What one program copy needs to build its ramps: the locations of the uniforms it reads, a copy
// of the values uploaded to them, and the ramp bound for those values.
struct RampUniforms {
    int32_t sampler_loc = -1;
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
    // The sampler's unit as last set (-1: not known), and the ramp found for the values: valid
    // while nothing was uploaded since and the cache has evicted nothing since `cache_epoch`.
    int32_t sampler_unit = -1;
    bool changed = true;
    uint64_t cache_epoch = 0;
    uint32_t texture = 0;
};

// The ramp state of a program linked in the active device; null when it declares no
// `gradientRamp` of type usampler2D (other programs behave as if this file did not exist).
std::unique_ptr<RampUniforms> ramp_uniforms_of(uint32_t program);

// After an upload that GL accepted (locations are the copy's own).
void ramp_note_int(RampUniforms& ramp, int32_t loc, int32_t value);
void ramp_note_floats(RampUniforms& ramp, int32_t loc, const float* values, Py_ssize_t count);
void ramp_note_vec4s(RampUniforms& ramp, int32_t loc, const float* xyzw, Py_ssize_t count);

// Before a draw, with the program in use: the ramp of the uploaded values bound on unit 1 and the
// sampler set to it. 0, or -1 with an exception set (a ramp the driver could not make).
int ramp_bind(RampUniforms& ramp);

}  // namespace zorva::layer
