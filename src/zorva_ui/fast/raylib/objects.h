// The layer's names for programs, textures and render textures, which hold in every context, and
// the GL names behind them in each share group (framebuffers: in each device).
//
// - A program keeps its sources and is compiled in each share group at its first use there. The
//   uniform locations the layer hands out are those of the first compilation; another group's
//   copy translates them (by uniform name) to its own, so a caller that looked a location up once
//   uses it in every context.
// - A texture keeps its pixels and is uploaded in each share group at its first use there.
// - A render texture lives in the share group it was made in (its pixels are drawn there); a
//   device of that group gets a framebuffer of its own at first use. Anywhere else it raises.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "fast/raylib/device.h"
#include "fast/raylib/gradient_ramp.h"
#include "interfaces/zvrendertex.h"

namespace zorva::layer {

// ---- programs ---------------------------------------------------------------------------------

struct ProgramCopy {
    ShareGroup* group;
    uint32_t name;
    int32_t locs[kLocCount];
    bool same_locations;  // every uniform at the first compilation's location (the usual case)
    // The layer-set `outputPremultiplied` uniform (-1: not declared) and the value last set in
    // this copy (-1: not known), so that a run of draws sets it once.
    int32_t premultiplied_loc;
    int32_t premultiplied_value;
    std::vector<std::pair<int32_t, int32_t>> locations;  // first compilation's -> here, sorted
    // The colour ramp of a program that declares the layer-set `gradientRamp` (null: none).
    std::unique_ptr<RampUniforms> ramp;
};

// Compiles a program in the active device; a null source takes the layer's default for that
// stage. The layer's handle in *handle, the standard locations in `locs`. 0, or -1.
int program_create(const char* vertex, const char* fragment, uint32_t* handle, int32_t* locs);
// The program's copy in the active device's share group, compiled now when it has none. Null
// with ValueError (not loaded) or RuntimeError (the driver refused it).
ProgramCopy* program_here(uint32_t handle);
// A location handed out by the layer, as the copy knows it (-1 where it has no such uniform).
int32_t location_here(const ProgramCopy& copy, int32_t location);
// The location of a uniform, as the layer hands it out (the first compilation's).
int32_t program_location(uint32_t handle, const char* name);
// Explicit release (refused from another thread); deallocation (never raises).
int program_delete(uint32_t handle);
void program_discard(uint32_t handle);

// ---- textures -------------------------------------------------------------------------------

// An RGBA8 texture of width*height*4 bytes, top row first, uploaded in the active device. Its
// handle and its GL name there. 0, or -1.
int texture_create(int32_t width, int32_t height, const uint8_t* rgba, uint32_t* handle,
                   uint32_t* name);
// The texture's GL name in the active device's share group, uploaded now when it has none.
int texture_here(uint32_t handle, uint32_t* name);
int texture_delete(uint32_t handle);
void texture_discard(uint32_t handle);

// ---- render textures ------------------------------------------------------------------------

struct TargetRecord {
    ShareGroup* group;
    uint32_t texture;  // GL name in `group`
    int32_t width;
    int32_t height;
    std::vector<std::pair<Device*, uint32_t>> framebuffers;
    // Cleared to transparent and not drawn into since: the next draw's premultiplied blending
    // would write its colour unchanged (renderer.cpp). A hint about the pixels, not identity.
    mutable bool cleared_transparent = false;
};

// A framebuffer with an RGBA8 colour texture, in the active device. 0, or -1.
int target_create(int32_t width, int32_t height, ZvRenderTarget* out);
// The live record of a handle, or null.
const TargetRecord* target_find(uint32_t handle);
// The record, checked usable in the active device: ValueError when not loaded, RuntimeError
// naming both contexts when the active device cannot see it.
const TargetRecord* target_here(uint32_t handle);
// Its framebuffer in the active device, made now when it has none. 0, or -1.
int target_framebuffer(uint32_t handle, uint32_t* fbo);
int target_delete(ZvRenderTarget* target);
void target_discard(ZvRenderTarget* target);

}  // namespace zorva::layer
