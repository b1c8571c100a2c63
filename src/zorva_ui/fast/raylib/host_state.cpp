#include "fast/raylib/host_state.h"

#include <iterator>

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

void save_group(uint32_t group) {
    SavedHostState& saved = state.host.saved;
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
            // The layer samples through unit 0 only; the host's active unit is put back after.
            saved.active_texture = get_int(gl::ACTIVE_TEXTURE);
            fn.ActiveTexture(gl::TEXTURE0);
            saved.texture_2d = get_int(gl::TEXTURE_BINDING_2D);
            saved.sampler = get_int(gl::SAMPLER_BINDING);
            break;
        case kHostFramebuffer:
            saved.draw_framebuffer = get_int(gl::DRAW_FRAMEBUFFER_BINDING);
            saved.read_framebuffer = get_int(gl::READ_FRAMEBUFFER_BINDING);
            fn.GetIntegerv(gl::VIEWPORT, saved.viewport);
            break;
        case kHostRaster:
            saved.blend = fn.IsEnabled(gl::BLEND);
            saved.depth_test = fn.IsEnabled(gl::DEPTH_TEST);
            saved.stencil_test = fn.IsEnabled(gl::STENCIL_TEST);
            saved.cull_face = fn.IsEnabled(gl::CULL_FACE);
            saved.scissor_test = fn.IsEnabled(gl::SCISSOR_TEST);
            saved.rasterizer_discard = fn.IsEnabled(gl::RASTERIZER_DISCARD);
            saved.framebuffer_srgb = fn.IsEnabled(gl::FRAMEBUFFER_SRGB);
            saved.alpha_to_coverage = fn.IsEnabled(gl::SAMPLE_ALPHA_TO_COVERAGE);
            saved.sample_coverage = fn.IsEnabled(gl::SAMPLE_COVERAGE);
            saved.sample_mask = fn.IsEnabled(gl::SAMPLE_MASK);
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
            break;
        case kHostPixelStore:
            saved.pack_alignment = get_int(gl::PACK_ALIGNMENT);
            saved.unpack_alignment = get_int(gl::UNPACK_ALIGNMENT);
            saved.pack_row_length = get_int(gl::PACK_ROW_LENGTH);
            saved.unpack_row_length = get_int(gl::UNPACK_ROW_LENGTH);
            saved.pack_skip_rows = get_int(gl::PACK_SKIP_ROWS);
            saved.pack_skip_pixels = get_int(gl::PACK_SKIP_PIXELS);
            saved.unpack_skip_rows = get_int(gl::UNPACK_SKIP_ROWS);
            saved.unpack_skip_pixels = get_int(gl::UNPACK_SKIP_PIXELS);
            saved.pack_buffer = get_int(gl::PIXEL_PACK_BUFFER_BINDING);
            saved.unpack_buffer = get_int(gl::PIXEL_UNPACK_BUFFER_BINDING);
            // The layer's uploads and read-backs are tightly packed client memory of exactly the
            // image's size: any row length or skip left by the host would read or write past it.
            fn.PixelStorei(gl::PACK_ALIGNMENT, 1);
            fn.PixelStorei(gl::UNPACK_ALIGNMENT, 1);
            fn.PixelStorei(gl::PACK_ROW_LENGTH, 0);
            fn.PixelStorei(gl::UNPACK_ROW_LENGTH, 0);
            fn.PixelStorei(gl::PACK_SKIP_ROWS, 0);
            fn.PixelStorei(gl::PACK_SKIP_PIXELS, 0);
            fn.PixelStorei(gl::UNPACK_SKIP_ROWS, 0);
            fn.PixelStorei(gl::UNPACK_SKIP_PIXELS, 0);
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

void restore_group(uint32_t group) {
    const SavedHostState& saved = state.host.saved;
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
            fn.ActiveTexture(gl::TEXTURE0);
            fn.BindTexture(gl::TEXTURE_2D, name(saved.texture_2d));
            fn.BindSampler(0, name(saved.sampler));
            fn.ActiveTexture(mode(saved.active_texture));
            break;
        case kHostFramebuffer:
            fn.BindFramebuffer(gl::DRAW_FRAMEBUFFER, name(saved.draw_framebuffer));
            fn.BindFramebuffer(gl::READ_FRAMEBUFFER, name(saved.read_framebuffer));
            fn.Viewport(saved.viewport[0], saved.viewport[1], saved.viewport[2], saved.viewport[3]);
            break;
        case kHostRaster:
            set_enabled(gl::BLEND, saved.blend);
            set_enabled(gl::DEPTH_TEST, saved.depth_test);
            set_enabled(gl::STENCIL_TEST, saved.stencil_test);
            set_enabled(gl::CULL_FACE, saved.cull_face);
            set_enabled(gl::SCISSOR_TEST, saved.scissor_test);
            set_enabled(gl::RASTERIZER_DISCARD, saved.rasterizer_discard);
            set_enabled(gl::FRAMEBUFFER_SRGB, saved.framebuffer_srgb);
            set_enabled(gl::SAMPLE_ALPHA_TO_COVERAGE, saved.alpha_to_coverage);
            set_enabled(gl::SAMPLE_COVERAGE, saved.sample_coverage);
            set_enabled(gl::SAMPLE_MASK, saved.sample_mask);
            fn.BlendFuncSeparate(mode(saved.blend_src_rgb), mode(saved.blend_dst_rgb),
                                 mode(saved.blend_src_alpha), mode(saved.blend_dst_alpha));
            fn.BlendEquationSeparate(mode(saved.blend_equation_rgb),
                                     mode(saved.blend_equation_alpha));
            fn.ColorMask(saved.color_mask[0], saved.color_mask[1], saved.color_mask[2],
                         saved.color_mask[3]);
            fn.PolygonMode(gl::FRONT_AND_BACK, mode(saved.polygon_mode[0]));
            break;
        case kHostPixelStore:
            fn.PixelStorei(gl::PACK_ALIGNMENT, saved.pack_alignment);
            fn.PixelStorei(gl::UNPACK_ALIGNMENT, saved.unpack_alignment);
            fn.PixelStorei(gl::PACK_ROW_LENGTH, saved.pack_row_length);
            fn.PixelStorei(gl::UNPACK_ROW_LENGTH, saved.unpack_row_length);
            fn.PixelStorei(gl::PACK_SKIP_ROWS, saved.pack_skip_rows);
            fn.PixelStorei(gl::PACK_SKIP_PIXELS, saved.pack_skip_pixels);
            fn.PixelStorei(gl::UNPACK_SKIP_ROWS, saved.unpack_skip_rows);
            fn.PixelStorei(gl::UNPACK_SKIP_PIXELS, saved.unpack_skip_pixels);
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
    for (uint32_t group : kAllGroups) {
        if ((groups & group) != 0 && (state.host.saved_groups & group) == 0) {
            save_group(group);
            state.host.saved_groups |= group;
        }
    }
}
}  // namespace detail

void host_restore() {
    if (state.host.saved_groups == 0) return;
    // Reverse order, so the texture unit and framebuffers go back after anything that used them.
    for (auto it = std::rbegin(kAllGroups); it != std::rend(kAllGroups); ++it) {
        if ((state.host.saved_groups & *it) != 0) restore_group(*it);
    }
    state.host.saved_groups = 0;
}

void host_viewport(int32_t out[4]) {
    if ((state.host.saved_groups & kHostFramebuffer) != 0) {
        for (int i = 0; i < 4; ++i) out[i] = state.host.saved.viewport[i];
        return;
    }
    fn.GetIntegerv(gl::VIEWPORT, out);
}

void host_rebind_framebuffer() {
    if ((state.host.saved_groups & kHostFramebuffer) != 0) restore_group(kHostFramebuffer);
}

void host_prepare_draw() {
    host_touch(kHostDrawGroups);
    fn.Disable(gl::DEPTH_TEST);
    fn.Disable(gl::STENCIL_TEST);
    fn.Disable(gl::CULL_FACE);
    fn.Disable(gl::SCISSOR_TEST);
    fn.Disable(gl::RASTERIZER_DISCARD);
    fn.Disable(gl::FRAMEBUFFER_SRGB);
    fn.Disable(gl::SAMPLE_ALPHA_TO_COVERAGE);
    fn.Disable(gl::SAMPLE_COVERAGE);
    fn.Disable(gl::SAMPLE_MASK);
    fn.ColorMask(gl::TRUE, gl::TRUE, gl::TRUE, gl::TRUE);
    fn.PolygonMode(gl::FRONT_AND_BACK, gl::FILL);
    fn.ActiveTexture(gl::TEXTURE0);
    fn.BindSampler(0, 0);
}

}  // namespace zorva::layer
