// The host application's GL state, kept intact while the layer draws in a context it adopted.
//
// In an adopted context the host has its own program, buffers, framebuffer and raster state, and
// expects to find them as it left them. Before changing a group of state for the first time in an
// episode the layer saves that group (`host_touch`); when the episode ends (the outermost layer
// call returns with no pass open in the device, see Pass in device.h) every saved group is put
// back (`host_restore`). Saving group by group, only when touched, keeps a uniform upload to two
// program switches and a draw to one save of the draw state. A device whose policy does not keep
// the host's state (the layer's own context) saves nothing: the layer is its only user. The
// functions work on the device of the running call, except host_restore, which is given one.
#pragma once

#include <cstdint>

#include "fast/raylib/device.h"

namespace zorva::layer {

enum HostGroup : uint32_t {
    kHostProgram = 1u << 0,      // current program
    kHostVertexArray = 1u << 1,  // vertex array, array and element buffer bindings
    kHostTexture = 1u << 2,      // active unit; units 0 and 1: 2D, buffer textures, sampler
    kHostFramebuffer = 1u << 3,  // draw and read framebuffers, viewport
    kHostRaster = 1u << 4,      // blend, depth, stencil, cull, scissor test, colour mask, polygons,
                                // discard, sRGB writes, sample coverage, logic op, clip distances,
                                // polygon smoothing
    kHostPixelStore = 1u << 5,  // pack/unpack alignment, row length, skips, buffer bindings
    kHostClearColor = 1u << 6,
    kHostDrawGroups = kHostProgram | kHostVertexArray | kHostTexture | kHostRaster,
};

// Index of the scissor test among the saved capabilities (SavedHostState::switches): draws
// honour the host's clip instead of turning it off (view.h).
inline constexpr int kHostSwitchScissor = 4;

namespace detail {
void host_save(uint32_t groups);
}  // namespace detail

// Saves the groups not yet saved in this episode. A no-op in the layer's own context.
inline void host_touch(uint32_t groups) {
    const Device& device = active();
    if (!device.keeps_host_state) [[likely]]
        return;
    if ((device.host.saved_groups & groups) != groups) detail::host_save(groups);
}

// Puts back every group saved in the device (whose context is current) and ends the episode.
void host_restore(Device& device);

// The host's viewport: saved, or read now when the framebuffer group was not touched.
void host_viewport(int32_t out[4]);

// Puts back the host's blending (on, with its functions and equations), saved in this episode.
void host_restore_blend();

// Rebinds the host's framebuffers and viewport (after a texture mode ends inside an episode).
void host_rebind_framebuffer();

// Sets the raster state a layer draw needs (no depth, stencil, culling, rasterizer discard, sRGB
// conversion, sample coverage, logic op, clip distances or polygon smoothing; all colour
// channels written; filled polygons; texture unit 0 without a sampler object). The scissor test
// is left to apply_scissor (view.h), blending to the draw.
void host_prepare_draw();

}  // namespace zorva::layer
