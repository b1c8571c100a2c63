// A device: everything the layer keeps for one GL context. The process may have any number of
// them (the application's windows, contexts it made current, the layer's own headless context);
// contexts that share objects form a share group, whose devices share the layer's programs and
// textures. The renderer draws in the device of the running call (`active()`) and takes its
// policy from it; device.cpp finds that device at each call (context.h).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fast/raylib/gl.h"
#include "fast/raylib/layer_core.h"
#include "fast/raylib/platform.h"
#include "interfaces/zvshader.h"

namespace zorva::layer {

struct Device;

// Contexts that see the same textures, buffers, programs and sync objects. Framebuffers and
// vertex arrays are never shared between contexts, so those stay with each device.
struct ShareGroup {
    uint64_t serial = 0;
    std::vector<Device*> devices;

    // A device of the group whose context still exists (null once all are gone: the group's
    // objects went with them).
    Device* live_device() const;
    bool alive() const { return live_device() != nullptr; }
};

enum class DeviceKind : uint8_t { kOwn, kAdoptedEgl, kAdoptedGlx };

// GL objects released where their context could not be used, for its next call.
struct Deferred {
    void (*release)(uint32_t, uint32_t);
    uint32_t first;
    uint32_t second;
};

// A box in y-down pixels of whatever is drawn into: (0, 0) the top-left pixel.
struct ScissorBox {
    int32_t x, y, width, height;
};

// A 2D camera as an affine map of target pixels: p' = (a c; b d) p + (tx, ty).
struct CameraTransform {
    float a, b, c, d, tx, ty;
};

// The modes open in the context. A pass begins with the first begin_* and ends with the end_*
// that closes the last mode; the host's state saved during a pass goes back when it ends. A
// frame scope (begin_drawing) is a pass of its own; scissor and camera modes hold no GL state
// between calls, so they neither begin nor prolong one.
struct Pass {
    std::vector<uint32_t> targets;         // render textures (layer handles), innermost last
    std::vector<ZvShaderObject*> shaders;  // strong references
    std::vector<int32_t> blends;
    int frames = 0;                    // nesting of begin_drawing
    std::vector<ScissorBox> scissors;  // each already intersected with the one below
    std::vector<CameraTransform> cameras;
    // Beside each stack, the serial of each entry (ModeKind order; serials from
    // state.mode_changes): a call that began a mode finds that very entry again, whatever Python
    // code run meanwhile began or ended.
    std::vector<uint64_t> serials[kModeKindCount];

    bool open() const {
        return !targets.empty() || !shaders.empty() || !blends.empty() || frames > 0;
    }
};

// The host's GL state, saved group by group before the layer first changes it (host_state.h).
struct SavedHostState {
    int32_t program;
    int32_t vertex_array, array_buffer, element_buffer;
    int32_t active_texture;
    // Per unit of kSavedUnits (host_state.cpp), in its order.
    int32_t texture_2d[2], texture_buffer[2], sampler[2];
    int32_t draw_framebuffer, read_framebuffer;
    int32_t viewport[4];
    bool switches[20];  // the capabilities of kHostSwitches (host_state.cpp), in its order
    int32_t blend_src_rgb, blend_dst_rgb, blend_src_alpha, blend_dst_alpha;
    int32_t blend_equation_rgb, blend_equation_alpha;
    gl::GLboolean color_mask[4];
    int32_t polygon_mode[2];
    int32_t scissor_box[4];
    int32_t pixel_store[8];  // the parameters of kPixelStore (host_state.cpp), in its order
    int32_t pack_buffer, unpack_buffer;
    float clear_color[4];
};

struct HostState {
    uint32_t saved_groups = 0;  // HostGroup bits saved since the episode began
    SavedHostState saved{};
    // The layer set the scissor test or box (in the layer's own context: left the test on), or
    // blending, since the episode began.
    bool scissor_changed = false;
    bool blend_changed = false;
    // GL errors the host left pending, taken at a call's start and raised again at its end
    // (frame.h); a framebuffer without attachments to raise INVALID_FRAMEBUFFER_OPERATION with.
    gl::GLenum pending_errors[4] = {};
    int pending_count = 0;
    uint32_t incomplete_framebuffer = 0;
};

// A thread, as the layer ties contexts to it: the token outlives the thread, and says when it
// ended (thread identifiers are reused, a token is not).
struct ThreadToken {
    std::atomic<bool> ended{false};
};

// The calling thread's token (made at its first use; marked ended when the thread exits).
const std::shared_ptr<ThreadToken>& this_thread_token();

struct Device {
    uint64_t serial = 0;  // order of first use, for messages and context_info
    DeviceKind kind = DeviceKind::kOwn;
    // The context; for the layer's own one also its display and surface (an adopted context's
    // display and surfaces are the host's).
    platform::Binding binding;
    unsigned long owner_thread = 0;      // for messages and a cheap first test
    std::shared_ptr<ThreadToken> owner;  // the owner thread itself
    bool alive = true;  // false once its context was found destroyed (nothing of it is touched)
    // Made in the parent process before a fork: its context and objects stay there (the driver's
    // threads do not exist in the child), so nothing of it is touched.
    bool inherited = false;
    ShareGroup* group = nullptr;
    gl::Functions gl{};
    // A sync object made in the context: glIsSync(marker) is true only while this context (or
    // one sharing its objects) is current. Sync objects are pointers, unlike other GL names, so
    // no other context answers true by coincidence; asking costs a fraction of asking the
    // window system, which takes a lock.
    gl::GLsync marker = nullptr;
    // The driver's object of the context (platform::driver_context()), null where unreadable:
    // tells it from one sharing its objects at the cost of a thread-local read.
    void* driver_context = nullptr;

    // Policy. Adopted: draws outside texture mode go into the framebuffer the host has bound,
    // and the host's GL state is saved before the layer changes it and put back after. Own:
    // the layer is the only user of the context's state.
    bool draws_into_host = false;
    bool keeps_host_state = false;

    std::string renderer;
    std::string version;
    double startup_seconds = 0.0;
    int32_t max_texture_size = 0;

    // The layer's GL objects in this context.
    uint32_t default_program = 0;
    int32_t default_locs[kLocCount] = {};
    uint32_t vao = 0;
    uint32_t vbo = 0;
    uint32_t bound_program = 0;  // own context: what UseProgram last bound
    uint32_t bound_ramps = 0;    // own context: the ramp store's texture bound on unit 1

    Pass pass;
    HostState host;
    std::vector<Deferred> deferred;
    // Own context: made current over "nothing current" by a call, and kept current while a pass
    // is open so that the pass pays for no switch.
    bool release_at_leave = false;
    bool holding = false;

    bool own() const { return kind == DeviceKind::kOwn; }
};

// The device of the running call (set by enter_call; see context.h).
extern Device* active_device;
inline Device& active() {
    return *active_device;
}

// "the adopted GLX context 0x55d0c3a0 (window of the application)" style: kind and handle.
std::string describe(const Device& device);

}  // namespace zorva::layer
