#include "fast/raylib/host_state.h"

#include <cstddef>
#include <iterator>
#include <type_traits>

#include "fast/raylib/gl.h"

namespace zorva::layer {

namespace {

using gl::fn;

int32_t get_int(gl::GLenum name) {
    gl::GLint value = 0;
    fn.GetIntegerv(name, &value);
    return value;
}

void set_enabled(gl::GLenum cap, bool enabled) {
    if (enabled) {
        fn.Enable(cap);
    } else {
        fn.Disable(cap);
    }
}

// The capabilities a layer draw needs in a known state. Blending first: the draw keeps it as
// the blend mode (or the host's blending) sets it; the scissor test follows the host's clip and
// the scissor mode; the others it turns off, as each would discard or alter its fragments where
// a host left it on. The clip distances clip by values the layer's shaders never write; polygon
// smoothing would make the edges of its quads partly transparent.
constexpr gl::GLenum kHostSwitches[] = {
    gl::BLEND,           gl::DEPTH_TEST,         gl::STENCIL_TEST,     gl::CULL_FACE,
    gl::SCISSOR_TEST,    gl::RASTERIZER_DISCARD, gl::FRAMEBUFFER_SRGB, gl::SAMPLE_ALPHA_TO_COVERAGE,
    gl::SAMPLE_COVERAGE, gl::SAMPLE_MASK,        gl::COLOR_LOGIC_OP,   gl::POLYGON_SMOOTH,
    gl::CLIP_DISTANCE0,  gl::CLIP_DISTANCE1,     gl::CLIP_DISTANCE2,   gl::CLIP_DISTANCE3,
    gl::CLIP_DISTANCE4,  gl::CLIP_DISTANCE5,     gl::CLIP_DISTANCE6,   gl::CLIP_DISTANCE7};
static_assert(std::size(kHostSwitches) == std::extent_v<decltype(SavedHostState::switches)>);
static_assert(kHostSwitches[kHostSwitchScissor] == gl::SCISSOR_TEST);

// The pixel-store parameters and the values the layer's transfers need: its uploads and
// read-backs are tightly packed client memory of exactly the image's size, so any row length or
// skip left by the host would read or write past it.
struct PixelStoreParam {
    gl::GLenum name;
    int32_t layer_value;
};
constexpr PixelStoreParam kPixelStore[] = {{gl::PACK_ALIGNMENT, 1},   {gl::UNPACK_ALIGNMENT, 1},
                                           {gl::PACK_ROW_LENGTH, 0},  {gl::UNPACK_ROW_LENGTH, 0},
                                           {gl::PACK_SKIP_ROWS, 0},   {gl::PACK_SKIP_PIXELS, 0},
                                           {gl::UNPACK_SKIP_ROWS, 0}, {gl::UNPACK_SKIP_PIXELS, 0}};
static_assert(std::size(kPixelStore) == std::extent_v<decltype(SavedHostState::pixel_store)>);

// The texture units the layer binds: 0 for the drawn texture, 1 for the gradient ramps
// (gradient_ramp.h). Each unit's 2D and buffer textures and sampler object are saved; the host's
// active unit is put back after them.
constexpr gl::GLenum kSavedUnits[] = {gl::TEXTURE0, gl::TEXTURE1};
static_assert(std::size(kSavedUnits) == std::extent_v<decltype(SavedHostState::texture_2d)>);
static_assert(std::size(kSavedUnits) == std::extent_v<decltype(SavedHostState::sampler)>);
static_assert(std::size(kSavedUnits) == std::extent_v<decltype(SavedHostState::texture_buffer)>);

void save_group(uint32_t group) {
    SavedHostState& saved = active().host.saved;
    switch (group) {
        case kHostProgram:
            saved.program = get_int(gl::CURRENT_PROGRAM);
            break;
        case kHostVertexArray:
            saved.vertex_array = get_int(gl::VERTEX_ARRAY_BINDING);
            saved.array_buffer = get_int(gl::ARRAY_BUFFER_BINDING);
            saved.element_buffer = get_int(gl::ELEMENT_ARRAY_BUFFER_BINDING);
            break;
        case kHostTexture:
            saved.active_texture = get_int(gl::ACTIVE_TEXTURE);
            for (size_t i = 0; i < std::size(kSavedUnits); ++i) {
                fn.ActiveTexture(kSavedUnits[i]);
                saved.texture_2d[i] = get_int(gl::TEXTURE_BINDING_2D);
                saved.texture_buffer[i] = get_int(gl::TEXTURE_BINDING_BUFFER);
                saved.sampler[i] = get_int(gl::SAMPLER_BINDING);
            }
            fn.ActiveTexture(gl::TEXTURE0);
            break;
        case kHostFramebuffer:
            saved.draw_framebuffer = get_int(gl::DRAW_FRAMEBUFFER_BINDING);
            saved.read_framebuffer = get_int(gl::READ_FRAMEBUFFER_BINDING);
            fn.GetIntegerv(gl::VIEWPORT, saved.viewport);
            break;
        case kHostRaster:
            for (size_t i = 0; i < std::size(kHostSwitches); ++i) {
                saved.switches[i] = fn.IsEnabled(kHostSwitches[i]);
            }
            saved.blend_src_rgb = get_int(gl::BLEND_SRC_RGB);
            saved.blend_dst_rgb = get_int(gl::BLEND_DST_RGB);
            saved.blend_src_alpha = get_int(gl::BLEND_SRC_ALPHA);
            saved.blend_dst_alpha = get_int(gl::BLEND_DST_ALPHA);
            saved.blend_equation_rgb = get_int(gl::BLEND_EQUATION_RGB);
            saved.blend_equation_alpha = get_int(gl::BLEND_EQUATION_ALPHA);
            fn.GetBooleanv(gl::COLOR_WRITEMASK, saved.color_mask);
            // Core profiles report one mode for both faces; compatibility ones front and back.
            saved.polygon_mode[0] = saved.polygon_mode[1] = static_cast<int32_t>(gl::FILL);
            fn.GetIntegerv(gl::POLYGON_MODE, saved.polygon_mode);
            fn.GetIntegerv(gl::SCISSOR_BOX, saved.scissor_box);
            break;
        case kHostPixelStore:
            for (size_t i = 0; i < std::size(kPixelStore); ++i) {
                saved.pixel_store[i] = get_int(kPixelStore[i].name);
            }
            saved.pack_buffer = get_int(gl::PIXEL_PACK_BUFFER_BINDING);
            saved.unpack_buffer = get_int(gl::PIXEL_UNPACK_BUFFER_BINDING);
            for (const PixelStoreParam& param : kPixelStore) {
                fn.PixelStorei(param.name, param.layer_value);
            }
            fn.BindBuffer(gl::PIXEL_PACK_BUFFER, 0);
            fn.BindBuffer(gl::PIXEL_UNPACK_BUFFER, 0);
            break;
        case kHostClearColor:
            fn.GetFloatv(gl::COLOR_CLEAR_VALUE, saved.clear_color);
            break;
        default:
            break;
    }
}

void restore_group(const SavedHostState& saved, uint32_t group) {
    const auto name = [](int32_t value) { return static_cast<gl::GLuint>(value); };
    const auto mode = [](int32_t value) { return static_cast<gl::GLenum>(value); };
    switch (group) {
        case kHostProgram:
            fn.UseProgram(name(saved.program));
            break;
        case kHostVertexArray:
            // The element binding belongs to the vertex array, so it goes back after it.
            fn.BindVertexArray(name(saved.vertex_array));
            fn.BindBuffer(gl::ELEMENT_ARRAY_BUFFER, name(saved.element_buffer));
            fn.BindBuffer(gl::ARRAY_BUFFER, name(saved.array_buffer));
            break;
        case kHostTexture:
            for (size_t i = 0; i < std::size(kSavedUnits); ++i) {
                fn.ActiveTexture(kSavedUnits[i]);
                fn.BindTexture(gl::TEXTURE_2D, name(saved.texture_2d[i]));
                fn.BindTexture(gl::TEXTURE_BUFFER, name(saved.texture_buffer[i]));
                fn.BindSampler(kSavedUnits[i] - gl::TEXTURE0, name(saved.sampler[i]));
            }
            fn.ActiveTexture(mode(saved.active_texture));
            break;
        case kHostFramebuffer:
            fn.BindFramebuffer(gl::DRAW_FRAMEBUFFER, name(saved.draw_framebuffer));
            fn.BindFramebuffer(gl::READ_FRAMEBUFFER, name(saved.read_framebuffer));
            fn.Viewport(saved.viewport[0], saved.viewport[1], saved.viewport[2], saved.viewport[3]);
            break;
        case kHostRaster:
            for (size_t i = 0; i < std::size(kHostSwitches); ++i) {
                set_enabled(kHostSwitches[i], saved.switches[i]);
            }
            fn.BlendFuncSeparate(mode(saved.blend_src_rgb), mode(saved.blend_dst_rgb),
                                 mode(saved.blend_src_alpha), mode(saved.blend_dst_alpha));
            fn.BlendEquationSeparate(mode(saved.blend_equation_rgb),
                                     mode(saved.blend_equation_alpha));
            fn.ColorMask(saved.color_mask[0], saved.color_mask[1], saved.color_mask[2],
                         saved.color_mask[3]);
            fn.PolygonMode(gl::FRONT_AND_BACK, mode(saved.polygon_mode[0]));
            fn.Scissor(saved.scissor_box[0], saved.scissor_box[1], saved.scissor_box[2],
                       saved.scissor_box[3]);
            break;
        case kHostPixelStore:
            for (size_t i = 0; i < std::size(kPixelStore); ++i) {
                fn.PixelStorei(kPixelStore[i].name, saved.pixel_store[i]);
            }
            fn.BindBuffer(gl::PIXEL_PACK_BUFFER, name(saved.pack_buffer));
            fn.BindBuffer(gl::PIXEL_UNPACK_BUFFER, name(saved.unpack_buffer));
            break;
        case kHostClearColor:
            fn.ClearColor(saved.clear_color[0], saved.clear_color[1], saved.clear_color[2],
                          saved.clear_color[3]);
            break;
        default:
            break;
    }
}

constexpr uint32_t kAllGroups[] = {kHostProgram, kHostVertexArray, kHostTexture,   kHostFramebuffer,
                                   kHostRaster,  kHostPixelStore,  kHostClearColor};

}  // namespace

namespace detail {

void host_save(uint32_t groups) {
    HostState& host = active().host;
    for (uint32_t group : kAllGroups) {
        if ((groups & group) != 0 && (host.saved_groups & group) == 0) {
            save_group(group);
            host.saved_groups |= group;
        }
    }
}
}  // namespace detail

void host_restore(Device& device) {
    HostState& host = device.host;
    if (host.saved_groups == 0) return;
    // Reverse order, so the texture unit and framebuffers go back after anything that used them.
    for (auto it = std::rbegin(kAllGroups); it != std::rend(kAllGroups); ++it) {
        if ((host.saved_groups & *it) != 0) restore_group(host.saved, *it);
    }
    host.saved_groups = 0;
    host.scissor_changed = false;
    host.blend_changed = false;
}

void host_restore_blend() {
    HostState& host = active().host;
    const SavedHostState& saved = host.saved;
    const auto mode = [](int32_t value) { return static_cast<gl::GLenum>(value); };
    set_enabled(gl::BLEND, saved.switches[0]);
    fn.BlendFuncSeparate(mode(saved.blend_src_rgb), mode(saved.blend_dst_rgb),
                         mode(saved.blend_src_alpha), mode(saved.blend_dst_alpha));
    fn.BlendEquationSeparate(mode(saved.blend_equation_rgb), mode(saved.blend_equation_alpha));
    host.blend_changed = false;
}

void host_viewport(int32_t out[4]) {
    const HostState& host = active().host;
    if ((host.saved_groups & kHostFramebuffer) != 0) {
        for (int i = 0; i < 4; ++i) out[i] = host.saved.viewport[i];
        return;
    }
    fn.GetIntegerv(gl::VIEWPORT, out);
}

void host_rebind_framebuffer() {
    const HostState& host = active().host;
    if ((host.saved_groups & kHostFramebuffer) != 0) restore_group(host.saved, kHostFramebuffer);
}

void host_prepare_draw() {
    host_touch(kHostDrawGroups);
    for (size_t i = 1; i < std::size(kHostSwitches); ++i) {
        if (i != kHostSwitchScissor) fn.Disable(kHostSwitches[i]);
    }
    fn.ColorMask(gl::TRUE, gl::TRUE, gl::TRUE, gl::TRUE);
    fn.PolygonMode(gl::FRONT_AND_BACK, gl::FILL);
    fn.ActiveTexture(gl::TEXTURE0);
    fn.BindSampler(0, 0);
}

}  // namespace zorva::layer
