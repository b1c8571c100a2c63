// Drawing in the device of the running call.
#include "fast/raylib/renderer.h"

#include <cmath>
#include <numbers>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "fast/common/pyref.h"
#include "fast/raylib/context.h"
#include "fast/raylib/errors.h"
#include "fast/raylib/gl.h"
#include "fast/raylib/gradient_ramp.h"
#include "fast/raylib/host_state.h"
#include "fast/raylib/layer_core.h"
#include "fast/raylib/objects.h"
#include "fast/raylib/raylib_host.h"
#include "fast/raylib/view.h"
#include "fast/raylib/state.h"

namespace zorva::layer {
namespace {

using gl::drain_errors;
using gl::fn;

// The default program. Its interface is what any shader drawn through the layer can rely on;
// SHADER_INTERFACE.md beside this file says the same for shader authors.
constexpr const char kDefaultVertexSource[] = R"(#version 330
// Vertex interface of the rendering layer (the same for every shader drawn through it):
//   in  vec3 vertexPosition   attribute 0: target pixels, origin top-left, y down (z = 0)
//   in  vec2 vertexTexCoord   attribute 1: texture coordinates of the source rectangle
//                             (0..1 over the quad when the whole texture is drawn, (0, 0) at
//                             the destination's top-left corner, y down)
//   in  vec4 vertexColor      attribute 2: the tint, 0..1 per channel (not premultiplied)
//   uniform mat4 mvp          target pixels -> clip space
//   out vec2 fragTexCoord     vertexTexCoord, interpolated
//   out vec4 fragColor        vertexColor, interpolated
// In the fragment stage gl_FragCoord.xy is in target pixels, origin at the target's top-left,
// y down, pixel centres at +0.5.
in vec3 vertexPosition;
in vec2 vertexTexCoord;
in vec4 vertexColor;
uniform mat4 mvp;
out vec2 fragTexCoord;
out vec4 fragColor;
void main() {
    fragTexCoord = vertexTexCoord;
    fragColor = vertexColor;
    gl_Position = mvp * vec4(vertexPosition, 1.0);
}
)";

constexpr const char kDefaultFragmentSource[] = R"(#version 330
in vec2 fragTexCoord;
in vec4 fragColor;
uniform sampler2D texture0;
uniform vec4 colDiffuse;
out vec4 finalColor;
void main() {
    finalColor = texture(texture0, fragTexCoord) * colDiffuse * fragColor;
}
)";

constexpr int kFloatsPerVertex = 9;  // position 3, texcoord 2, colour 4

}  // namespace

int check_gl_error(const char* what) {
    const gl::GLenum error = fn.GetError();
    if (error == gl::NO_ERROR) return 0;
    drain_errors();
    if (error == gl::OUT_OF_MEMORY) {
        PyErr_Format(PyExc_MemoryError, "%s: the driver ran out of memory (GL error 0x%04x)", what,
                     error);
        return -1;
    }
    PyErr_Format(layer_error(), "%s: the driver reported GL error 0x%04x", what, error);
    return -1;
}

namespace {

void use_program(uint32_t program) {
    Device& device = active();
    if (device.keeps_host_state) {
        // The host binds programs between our calls, so no cache holds in its context.
        host_touch(kHostProgram);
        fn.UseProgram(program);
        return;
    }
    if (program != device.bound_program) {
        fn.UseProgram(program);
        device.bound_program = program;
    }
}

std::string info_log(uint32_t object, bool is_program) {
    gl::GLint length = 0;
    if (is_program) {
        fn.GetProgramiv(object, gl::INFO_LOG_LENGTH, &length);
    } else {
        fn.GetShaderiv(object, gl::INFO_LOG_LENGTH, &length);
    }
    if (length <= 0) return "(no log)";
    std::string log(static_cast<size_t>(length), '\0');
    gl::GLsizei written = 0;
    if (is_program) {
        fn.GetProgramInfoLog(object, length, &written, log.data());
    } else {
        fn.GetShaderInfoLog(object, length, &written, log.data());
    }
    log.resize(static_cast<size_t>(written > 0 ? written : 0));
    while (!log.empty() && (log.back() == '\n' || log.back() == '\0')) log.pop_back();
    return log;
}

uint32_t compile_stage(gl::GLenum stage, const char* source) {
    const uint32_t shader = fn.CreateShader(stage);
    if (shader == 0) {
        check_gl_error("glCreateShader");
        if (!PyErr_Occurred()) PyErr_SetString(layer_error(), "glCreateShader failed");
        return 0;
    }
    fn.ShaderSource(shader, 1, &source, nullptr);
    fn.CompileShader(shader);
    gl::GLint ok = 0;
    fn.GetShaderiv(shader, gl::COMPILE_STATUS, &ok);
    if (!ok) {
        const std::string log = info_log(shader, false);
        fn.DeleteShader(shader);
        PyErr_Format(layer_error(), "%s shader failed to compile: %s",
                     stage == gl::VERTEX_SHADER ? "vertex" : "fragment", log.c_str());
        return 0;
    }
    return shader;
}

// The innermost render texture of the pass, if it is still loaded (null otherwise).
const TargetRecord* current_target(uint32_t* fbo) {
    const Pass& pass = active().pass;
    if (pass.targets.empty()) return nullptr;
    const TargetRecord* record = target_find(pass.targets.back());
    if (record == nullptr || record->group != active().group) return nullptr;
    if (target_framebuffer(pass.targets.back(), fbo) < 0) {
        PyErr_Clear();
        return nullptr;
    }
    return record;
}

// Rebinds whatever the texture-mode stack says is current (nothing when it is empty, or when
// its top was released meanwhile). Outside texture mode a device drawing into the host's
// framebuffer binds the host's framebuffer and viewport again.
void bind_current_target() {
    uint32_t fbo = 0;
    if (const TargetRecord* record = current_target(&fbo)) {
        host_touch(kHostFramebuffer);
        fn.BindFramebuffer(gl::FRAMEBUFFER, fbo);
        fn.Viewport(0, 0, record->width, record->height);
        return;
    }
    if (active().draws_into_host) {
        host_rebind_framebuffer();
        return;
    }
    fn.BindFramebuffer(gl::FRAMEBUFFER, 0);
}

void apply_blend(int32_t mode) {
    host_touch(kHostRaster);
    active().host.blend_changed = active().keeps_host_state;
    fn.Enable(gl::BLEND);
    switch (mode) {
        case kBlendAdditive:
            fn.BlendEquation(gl::FUNC_ADD);
            fn.BlendFuncSeparate(gl::SRC_ALPHA, gl::ONE, gl::SRC_ALPHA, gl::ONE);
            break;
        case kBlendMultiplied:
            fn.BlendEquation(gl::FUNC_ADD);
            fn.BlendFuncSeparate(gl::DST_COLOR, gl::ONE_MINUS_SRC_ALPHA, gl::ONE,
                                 gl::ONE_MINUS_SRC_ALPHA);
            break;
        case kBlendAddColors:
            fn.BlendEquation(gl::FUNC_ADD);
            fn.BlendFuncSeparate(gl::ONE, gl::ONE, gl::ONE, gl::ONE);
            break;
        case kBlendSubtractColors:
            fn.BlendEquation(gl::FUNC_SUBTRACT);
            fn.BlendFuncSeparate(gl::ONE, gl::ONE, gl::ONE, gl::ONE);
            break;
        case kBlendAlphaPremultiply:
            fn.BlendEquation(gl::FUNC_ADD);
            fn.BlendFuncSeparate(gl::ONE, gl::ONE_MINUS_SRC_ALPHA, gl::ONE,
                                 gl::ONE_MINUS_SRC_ALPHA);
            break;
        case kBlendAlpha:
        default:
            // Straight alpha for colour; the alpha channel composes as "over" so that a target
            // stays correct for later use as a texture.
            fn.BlendEquation(gl::FUNC_ADD);
            fn.BlendFuncSeparate(gl::SRC_ALPHA, gl::ONE_MINUS_SRC_ALPHA, gl::ONE,
                                 gl::ONE_MINUS_SRC_ALPHA);
            break;
    }
}

// Whether blending with this source colour factor takes premultiplied colour: a factor of
// SRC_ALPHA multiplies the colour by alpha itself, so it wants straight colour; any other
// (ONE, DST_COLOR, ...) takes the colour as given, which must then carry its alpha already.
bool takes_premultiplied(gl::GLenum source_factor) {
    return source_factor != gl::SRC_ALPHA && source_factor != gl::SRC_ALPHA_SATURATE;
}

bool mode_takes_premultiplied(int32_t mode) {
    return mode != kBlendAlpha && mode != kBlendAdditive;
}

// Sets the blending of a draw in a host's context and says whether it takes premultiplied
// colour. A layer blend mode applies when one is begun; outside them a draw into the host's
// framebuffer follows the host's blending when the host has it on (its functions and equations
// as they stand), and anything else blends with the layer's "over". A render texture of the
// layer's is its own: there the host's blending plays no part, as in the layer's own context.
bool blend_for_host_draw(bool into_target) {
    Device& device = active();
    if (!device.pass.blends.empty() || into_target) {
        const int32_t mode = device.pass.blends.empty() ? kBlendAlpha : device.pass.blends.back();
        apply_blend(mode);
        return mode_takes_premultiplied(mode);
    }
    if (device.host.blend_changed) {
        // An earlier draw of this episode set blending: the host's is the one saved.
        const SavedHostState& saved = device.host.saved;
        if (!saved.switches[0]) {
            apply_blend(kBlendAlpha);
            return false;
        }
        host_restore_blend();
        return takes_premultiplied(static_cast<gl::GLenum>(saved.blend_src_rgb));
    }
    if (fn.IsEnabled(gl::BLEND)) {
        gl::GLint source = 0;
        fn.GetIntegerv(gl::BLEND_SRC_RGB, &source);
        return takes_premultiplied(static_cast<gl::GLenum>(source));
    }
    apply_blend(kBlendAlpha);
    return false;
}

// Tells the program whether the blending takes premultiplied colour, when it asks.
void set_premultiplied(ProgramCopy* copy, bool premultiplied) {
    if (copy == nullptr || copy->premultiplied_loc < 0) [[likely]]
        return;
    const int32_t value = premultiplied ? 1 : 0;
    if (copy->premultiplied_value == value) return;
    fn.Uniform1i(copy->premultiplied_loc, value);
    copy->premultiplied_value = value;
}

void push_mode_serial(Pass& pass, ModeKind kind) {
    pass.serials[kind].push_back(++state.mode_changes);
}

void pop_mode_serial(Pass& pass, ModeKind kind) {
    pass.serials[kind].pop_back();
    ++state.mode_changes;
}

}  // namespace

int32_t premultiplied_location(uint32_t program) {
    return fn.GetUniformLocation(program, "outputPremultiplied");
}

int check_size(int32_t width, int32_t height, const char* what) {
    if (width <= 0 || height <= 0) {
        PyErr_Format(PyExc_ValueError, "%s size must be positive, got %d x %d", what, width,
                     height);
        return -1;
    }
    const int32_t maximum = active().max_texture_size;
    if (width > maximum || height > maximum) {
        PyErr_Format(PyExc_ValueError, "%s size %d x %d exceeds the driver's maximum of %d", what,
                     width, height, maximum);
        return -1;
    }
    return 0;
}

int32_t max_texture_size() {
    return active().max_texture_size;
}

int set_up_device(Device& device) {
    fn.GetIntegerv(gl::MAX_TEXTURE_SIZE, &device.max_texture_size);
    if (device.max_texture_size <= 0) device.max_texture_size = 4096;
    if (compile_gl_program(nullptr, nullptr, &device.default_program, device.default_locs) < 0)
        return -1;
    host_touch(kHostVertexArray);
    fn.GenVertexArrays(1, &device.vao);
    fn.BindVertexArray(device.vao);
    fn.GenBuffers(1, &device.vbo);
    fn.BindBuffer(gl::ARRAY_BUFFER, device.vbo);
    fn.BufferData(gl::ARRAY_BUFFER, 4 * kFloatsPerVertex * sizeof(float), nullptr,
                  gl::DYNAMIC_DRAW);
    const gl::GLsizei stride = kFloatsPerVertex * sizeof(float);
    fn.VertexAttribPointer(0, 3, gl::FLOAT, gl::FALSE, stride, nullptr);
    fn.VertexAttribPointer(1, 2, gl::FLOAT, gl::FALSE, stride,
                           reinterpret_cast<const void*>(3 * sizeof(float)));
    fn.VertexAttribPointer(2, 4, gl::FLOAT, gl::FALSE, stride,
                           reinterpret_cast<const void*>(5 * sizeof(float)));
    fn.EnableVertexAttribArray(0);
    fn.EnableVertexAttribArray(1);
    fn.EnableVertexAttribArray(2);
    // A host's context keeps its own settings; every draw there sets what it needs instead.
    if (device.keeps_host_state) return check_gl_error("setting up the renderer");
    fn.Disable(gl::DEPTH_TEST);
    fn.Disable(gl::CULL_FACE);
    fn.Disable(gl::SCISSOR_TEST);
    fn.PixelStorei(gl::UNPACK_ALIGNMENT, 1);
    fn.PixelStorei(gl::PACK_ALIGNMENT, 1);
    fn.ActiveTexture(gl::TEXTURE0);
    apply_blend(kBlendAlpha);
    return check_gl_error("setting up the renderer");
}

// ---- programs -----------------------------------------------------------------------------------

int compile_gl_program(const char* vertex, const char* fragment, uint32_t* program, int32_t* locs) {
    drain_errors();
    const uint32_t vs = compile_stage(gl::VERTEX_SHADER, vertex ? vertex : kDefaultVertexSource);
    if (vs == 0) return -1;
    const uint32_t fs =
        compile_stage(gl::FRAGMENT_SHADER, fragment ? fragment : kDefaultFragmentSource);
    if (fs == 0) {
        fn.DeleteShader(vs);
        return -1;
    }
    const uint32_t id = fn.CreateProgram();
    fn.AttachShader(id, vs);
    fn.AttachShader(id, fs);
    // Fixed attribute slots, so the one vertex buffer layout serves every program.
    fn.BindAttribLocation(id, 0, "vertexPosition");
    fn.BindAttribLocation(id, 1, "vertexTexCoord");
    fn.BindAttribLocation(id, 2, "vertexColor");
    fn.LinkProgram(id);
    fn.DeleteShader(vs);  // flagged; freed with the program
    fn.DeleteShader(fs);
    gl::GLint ok = 0;
    fn.GetProgramiv(id, gl::LINK_STATUS, &ok);
    if (!ok) {
        const std::string log = info_log(id, true);
        fn.DeleteProgram(id);
        PyErr_Format(layer_error(), "shader program failed to link: %s", log.c_str());
        return -1;
    }
    locs[kLocVertexPosition] = fn.GetAttribLocation(id, "vertexPosition");
    locs[kLocVertexTexCoord] = fn.GetAttribLocation(id, "vertexTexCoord");
    locs[kLocVertexColor] = fn.GetAttribLocation(id, "vertexColor");
    locs[kLocMatrixMvp] = fn.GetUniformLocation(id, "mvp");
    locs[kLocColorDiffuse] = fn.GetUniformLocation(id, "colDiffuse");
    locs[kLocMapDiffuse] = fn.GetUniformLocation(id, "texture0");
    if (check_gl_error("linking a shader program") < 0) {
        fn.DeleteProgram(id);
        return -1;
    }
    *program = id;
    return 0;
}

void delete_gl_program(uint32_t program) {
    Device& device = active();
    if (!device.keeps_host_state && device.bound_program == program) use_program(0);
    fn.DeleteProgram(program);
}

// ---- textures and targets ---------------------------------------------------------------------

int create_gl_texture(int32_t width, int32_t height, const uint8_t* rgba, uint32_t* texture) {
    if (check_size(width, height, "texture") < 0) return -1;
    drain_errors();
    host_touch(kHostTexture | kHostPixelStore);
    if (active().keeps_host_state) fn.ActiveTexture(gl::TEXTURE0);
    uint32_t id = 0;
    fn.GenTextures(1, &id);
    fn.BindTexture(gl::TEXTURE_2D, id);
    fn.TexParameteri(gl::TEXTURE_2D, gl::TEXTURE_MIN_FILTER, gl::NEAREST);
    fn.TexParameteri(gl::TEXTURE_2D, gl::TEXTURE_MAG_FILTER, gl::NEAREST);
    fn.TexParameteri(gl::TEXTURE_2D, gl::TEXTURE_WRAP_S, gl::CLAMP_TO_EDGE);
    fn.TexParameteri(gl::TEXTURE_2D, gl::TEXTURE_WRAP_T, gl::CLAMP_TO_EDGE);
    fn.TexImage2D(gl::TEXTURE_2D, 0, gl::RGBA8, width, height, 0, gl::RGBA, gl::UNSIGNED_BYTE,
                  rgba);
    if (check_gl_error("creating a texture") < 0) {
        fn.DeleteTextures(1, &id);
        return -1;
    }
    *texture = id;
    return 0;
}

// Commands still queued may use what is released; a driver that defers them keeps the memory
// until they are submitted, so submit now rather than let released memory pile up.
void delete_gl_texture(uint32_t texture) {
    if (texture == 0) return;
    fn.DeleteTextures(1, &texture);
    fn.Flush();
}

int create_gl_framebuffer(uint32_t texture, uint32_t* out) {
    uint32_t fbo = 0;
    host_touch(kHostFramebuffer);
    fn.GenFramebuffers(1, &fbo);
    fn.BindFramebuffer(gl::FRAMEBUFFER, fbo);
    fn.FramebufferTexture2D(gl::FRAMEBUFFER, gl::COLOR_ATTACHMENT0, gl::TEXTURE_2D, texture, 0);
    const gl::GLenum status = fn.CheckFramebufferStatus(gl::FRAMEBUFFER);
    if (status != gl::FRAMEBUFFER_COMPLETE || check_gl_error("creating a render texture") < 0) {
        fn.DeleteFramebuffers(1, &fbo);
        bind_current_target();
        if (!PyErr_Occurred()) {
            PyErr_Format(layer_error(), "render texture framebuffer is incomplete (0x%04x)",
                         status);
        }
        return -1;
    }
    bind_current_target();
    *out = fbo;
    return 0;
}

void delete_gl_framebuffer(uint32_t fbo) {
    fn.DeleteFramebuffers(1, &fbo);
}

void rebind_current_target() {
    bind_current_target();
}

// The target's record and framebuffer in the active device; null with an exception when it is
// not loaded (or its texture is another's) or the device cannot see it.
const TargetRecord* usable_target(const ZvRenderTarget* target, uint32_t* fbo) {
    const TargetRecord* record = target_find(target->id);
    if (target->id == 0 || record == nullptr || record->texture != target->texture.id) {
        PyErr_SetString(PyExc_ValueError, "render texture is not loaded");
        return nullptr;
    }
    if (target_framebuffer(target->id, fbo) < 0) return nullptr;
    return record;
}

int clear_target(const ZvRenderTarget* target, const uint8_t rgba[4]) {
    uint32_t fbo = 0;
    const TargetRecord* entry = usable_target(target, &fbo);
    if (entry == nullptr) return -1;
    if (active().keeps_host_state) {
        // A clear obeys the scissor test, the colour mask and rasterizer discard, which the host
        // may have set.
        host_touch(kHostFramebuffer | kHostRaster | kHostClearColor);
        fn.Disable(gl::SCISSOR_TEST);
        fn.Disable(gl::RASTERIZER_DISCARD);
        fn.ColorMask(gl::TRUE, gl::TRUE, gl::TRUE, gl::TRUE);
        active().host.scissor_changed = true;
    } else if (active().host.scissor_changed) {
        fn.Disable(gl::SCISSOR_TEST);  // a scissor mode's last draw left it on
        active().host.scissor_changed = false;
    }
    fn.BindFramebuffer(gl::FRAMEBUFFER, fbo);
    fn.Viewport(0, 0, entry->width, entry->height);
    fn.ClearColor(rgba[0] / 255.0f, rgba[1] / 255.0f, rgba[2] / 255.0f, rgba[3] / 255.0f);
    fn.Clear(gl::COLOR_BUFFER_BIT);
    entry->cleared_transparent = (rgba[0] | rgba[1] | rgba[2] | rgba[3]) == 0;
    bind_current_target();
    return check_gl_error("clearing a render texture");
}

PyObject* read_target(const ZvRenderTarget* target) {
    uint32_t fbo = 0;
    const TargetRecord* entry = usable_target(target, &fbo);
    if (entry == nullptr) return nullptr;
    const Py_ssize_t size = static_cast<Py_ssize_t>(entry->width) * entry->height * 4;
    PyRef bytes = PyRef::steal(PyBytes_FromStringAndSize(nullptr, size));
    if (!bytes) return nullptr;
    host_touch(kHostFramebuffer | kHostPixelStore);
    fn.BindFramebuffer(gl::READ_FRAMEBUFFER, fbo);
    // Rows are stored top row first (see the projection in draw_quad), so they read out in
    // that order without flipping.
    fn.ReadPixels(0, 0, entry->width, entry->height, gl::RGBA, gl::UNSIGNED_BYTE,
                  PyBytes_AS_STRING(bytes.get()));
    bind_current_target();
    if (check_gl_error("reading a render texture") < 0) return nullptr;
    return bytes.release();
}

// ---- modes ------------------------------------------------------------------------------------

int begin_target(uint32_t handle) {
    uint32_t fbo = 0;
    if (handle == 0 || target_find(handle) == nullptr) {
        PyErr_Format(PyExc_ValueError, "render target %u is not loaded", handle);
        return -1;
    }
    if (target_framebuffer(handle, &fbo) < 0) return -1;
    Pass& pass = active().pass;
    pass.targets.push_back(handle);
    push_mode_serial(pass, kModeTexture);
    bind_current_target();
    return 0;
}

int end_target() {
    Pass& pass = active().pass;
    if (pass.targets.empty()) {
        PyErr_SetString(layer_error(), "end_texture_mode without begin_texture_mode");
        return -1;
    }
    pass.targets.pop_back();
    pop_mode_serial(pass, kModeTexture);
    bind_current_target();
    return 0;
}

uint64_t mode_serial(int kind) {
    if (active_device == nullptr || kind < 0 || kind >= kModeKindCount) return 0;
    const std::vector<uint64_t>& serials = active().pass.serials[kind];
    return serials.empty() ? 0 : serials.back();
}

uint64_t mode_changes() {
    return state.mode_changes;
}

int remove_buried_mode(int kind, uint64_t serial) {
    if (active_device == nullptr || kind < 0 || kind >= kModeKindCount) return 0;
    Pass& pass = active().pass;
    std::vector<uint64_t>& serials = pass.serials[kind];
    for (size_t i = 0; i + 1 < serials.size(); ++i) {
        if (serials[i] != serial) continue;
        const auto at = static_cast<std::ptrdiff_t>(i);
        serials.erase(serials.begin() + at);
        ++state.mode_changes;
        // Not the innermost entry: nothing bound or applied depends on it.
        switch (kind) {
            case kModeTexture:
                pass.targets.erase(pass.targets.begin() + at);
                break;
            case kModeShader: {
                PyRef released = PyRef::steal(reinterpret_cast<PyObject*>(pass.shaders[i]));
                pass.shaders.erase(pass.shaders.begin() + at);
                break;
            }
            default:
                pass.blends.erase(pass.blends.begin() + at);
                break;
        }
        return 0;
    }
    return 0;
}

int begin_shader(ZvShaderObject* shader) {
    if (shader->id == 0) {
        PyErr_SetString(PyExc_ValueError, "shader is not loaded");
        return -1;
    }
    // Compiled in this context now, when it is the shader's first use here.
    if (program_here(shader->id) == nullptr) return -1;
    Pass& pass = active().pass;
    pass.shaders.push_back(
        reinterpret_cast<ZvShaderObject*>(Py_NewRef(reinterpret_cast<PyObject*>(shader))));
    push_mode_serial(pass, kModeShader);
    return 0;
}

int end_shader() {
    Pass& pass = active().pass;
    if (pass.shaders.empty()) {
        PyErr_SetString(layer_error(), "end_shader_mode without begin_zvshader_mode");
        return -1;
    }
    PyRef released = PyRef::steal(reinterpret_cast<PyObject*>(pass.shaders.back()));
    pass.shaders.pop_back();
    pop_mode_serial(pass, kModeShader);
    return 0;
}

int begin_blend(int32_t mode) {
    if (mode < 0 || mode >= kBlendModeCount) {
        PyErr_Format(PyExc_ValueError, "unknown blend mode %d", mode);
        return -1;
    }
    Device& device = active();
    device.pass.blends.push_back(mode);
    push_mode_serial(device.pass, kModeBlend);
    if (!device.keeps_host_state) apply_blend(mode);  // in a host's context every draw applies it
    return 0;
}

int end_blend() {
    Device& device = active();
    std::vector<int32_t>& blends = device.pass.blends;
    if (blends.empty()) {
        PyErr_SetString(layer_error(), "end_blend_mode without begin_blend_mode");
        return -1;
    }
    blends.pop_back();
    pop_mode_serial(device.pass, kModeBlend);
    if (!device.keeps_host_state) apply_blend(blends.empty() ? kBlendAlpha : blends.back());
    return 0;
}

// ---- uniforms ---------------------------------------------------------------------------------

namespace {
// Binds the program's copy in this context and turns the location into that copy's. The copy,
// or null with an exception set.
ProgramCopy* here(uint32_t program, int32_t* loc) {
    ProgramCopy* copy = program_here(program);
    if (copy == nullptr) return nullptr;
    use_program(copy->name);
    *loc = location_here(*copy, *loc);
    // A value set through the API for the layer's own uniform: no longer the one it knows.
    if (*loc == copy->premultiplied_loc) copy->premultiplied_value = -1;
    return copy;
}
}  // namespace

int set_uniform_int(uint32_t program, int32_t loc, int32_t value) {
    if (loc < 0) return 0;  // like GL: a location the program lacks is ignored
    ProgramCopy* copy = here(program, &loc);
    if (copy == nullptr) return -1;
    fn.Uniform1i(loc, value);
    if (check_gl_error("set_zvshader_value_int") < 0) return -1;
    if (copy->ramp) ramp_note_int(*copy->ramp, loc, value);
    return 0;
}

int set_uniform_float(uint32_t program, int32_t loc, float value) {
    if (loc < 0) return 0;
    if (here(program, &loc) == nullptr) return -1;
    fn.Uniform1f(loc, value);
    return check_gl_error("set_zvshader_value_float");
}

int set_uniform_vec2(uint32_t program, int32_t loc, float x, float y) {
    if (loc < 0) return 0;
    if (here(program, &loc) == nullptr) return -1;
    fn.Uniform2f(loc, x, y);
    return check_gl_error("set_zvshader_value_vec2");
}

int set_uniform_vec4_array(uint32_t program, int32_t loc, const float* xyzw, Py_ssize_t count) {
    if (loc < 0 || count == 0) return 0;
    ProgramCopy* copy = here(program, &loc);
    if (copy == nullptr) return -1;
    fn.Uniform4fv(loc, static_cast<gl::GLsizei>(count), xyzw);
    if (check_gl_error("set_zvshader_value_vec4_v") < 0) return -1;
    if (copy->ramp) ramp_note_vec4s(*copy->ramp, loc, xyzw, count);
    return 0;
}

int set_uniform_float_array(uint32_t program, int32_t loc, const float* values, Py_ssize_t count) {
    if (loc < 0 || count == 0) return 0;
    ProgramCopy* copy = here(program, &loc);
    if (copy == nullptr) return -1;
    fn.Uniform1fv(loc, static_cast<gl::GLsizei>(count), values);
    if (check_gl_error("set_zvshader_value_float_v") < 0) return -1;
    if (copy->ramp) ramp_note_floats(*copy->ramp, loc, values, count);
    return 0;
}

// ---- drawing ----------------------------------------------------------------------------------

int draw_quad(const QuadParams& q) {
    // The frame drawn into: a render texture (top row first in memory, see below), or in an
    // adopted context outside texture mode the host's framebuffer and viewport, y down.
    Device& device = active();
    const TargetRecord* target = nullptr;
    uint32_t target_fbo = 0;
    int32_t host_viewport_box[4] = {0, 0, 0, 0};
    if (!device.pass.targets.empty()) {
        target = current_target(&target_fbo);
        if (target == nullptr) {
            PyErr_SetString(layer_error(), "the current render texture was unloaded");
            return -1;
        }
        if (target->texture == q.texture) {
            // GL leaves sampling a texture while it is being drawn into undefined.
            PyErr_SetString(layer_error(),
                            "cannot draw a render texture into itself: it is the current "
                            "texture-mode target");
            return -1;
        }
    } else if (device.draws_into_host) {
        // raylib's batched draws go first, under this one, as the program drew them first.
        if (raylib_host_active()) raylib_flush();
        host_viewport(host_viewport_box);
    } else {
        PyErr_SetString(layer_error(),
                        "nothing to draw into: call begin_texture_mode before drawing");
        return -1;
    }
    const ZvShaderObject* shader =
        device.pass.shaders.empty() ? nullptr : device.pass.shaders.back();
    if (shader != nullptr && shader->id == 0) {
        PyErr_SetString(layer_error(), "the active shader was unloaded");
        return -1;
    }
    uint32_t program = device.default_program;
    const int32_t* locs = device.default_locs;
    ProgramCopy* copy = nullptr;
    if (shader != nullptr) {
        copy = program_here(shader->id);
        if (copy == nullptr) return -1;
        program = copy->name;
        locs = copy->locs;
    }

    // Texture coordinates of the source rectangle; a negative source width or height mirrors.
    const float tw = static_cast<float>(q.texture_width);
    const float th = static_cast<float>(q.texture_height);
    float u0 = q.source[0] / tw, u1 = (q.source[0] + std::fabs(q.source[2])) / tw;
    float v0 = q.source[1] / th, v1 = (q.source[1] + std::fabs(q.source[3])) / th;
    if (q.source[2] < 0) std::swap(u0, u1);
    if (q.source[3] < 0) std::swap(v0, v1);

    // Corners: the destination rectangle moved by -origin, rotated about (dest.x, dest.y).
    const float w = q.dest[2], h = q.dest[3];
    const float dx = -q.origin[0], dy = -q.origin[1];
    const double radians = static_cast<double>(q.rotation) * (std::numbers::pi / 180.0);
    const float s = static_cast<float>(std::sin(radians));
    const float c = static_cast<float>(std::cos(radians));
    auto corner = [&](float ox, float oy, float* out) {
        out[0] = q.dest[0] + ox * c - oy * s;
        out[1] = q.dest[1] + ox * s + oy * c;
    };
    float tl[2], bl[2], br[2], tr[2];
    corner(dx, dy, tl);
    corner(dx, dy + h, bl);
    corner(dx + w, dy + h, br);
    corner(dx + w, dy, tr);
    for (float* point : {tl, bl, br, tr}) camera_apply(point);

    const float r = q.tint[0] / 255.0f, g = q.tint[1] / 255.0f, b = q.tint[2] / 255.0f,
                a = q.tint[3] / 255.0f;
    const float vertices[4 * kFloatsPerVertex] = {
        tl[0], tl[1], 0, u0, v0, r, g, b, a,  // top-left
        bl[0], bl[1], 0, u0, v1, r, g, b, a,  // bottom-left
        br[0], br[1], 0, u1, v1, r, g, b, a,  // bottom-right
        tr[0], tr[1], 0, u1, v0, r, g, b, a,  // top-right
    };

    // Target pixels to clip space. In a render texture pixel row y lands in framebuffer row y,
    // so the target's memory holds its top row first: read-back and sampling it as a texture
    // need no flip, and gl_FragCoord is y-down. The host's framebuffer is shown on screen bottom
    // row first, so there row y goes to the top instead: (0, 0) is its top-left pixel.
    const float width = static_cast<float>(target ? target->width : host_viewport_box[2]);
    const float height = static_cast<float>(target ? target->height : host_viewport_box[3]);
    if (width <= 0 || height <= 0) return 0;  // an empty viewport shows nothing
    const float y_scale = target ? 2.0f / height : -2.0f / height;
    float mvp[16] = {
        2.0f / width, 0, 0, 0, 0, y_scale, 0, 0, 0, 0, -1, 0, -1, target ? -1.0f : 1.0f, 0, 1,
    };
    // In raylib's framebuffer its projection and camera apply, as to its own draws.
    if (target == nullptr && raylib_host_active()) raylib_mvp(mvp);

    drain_errors();
    bool premultiplied;
    bool unblended = false;
    if (device.keeps_host_state) {
        // The host may have changed anything since the last call: set all a draw relies on.
        host_prepare_draw();
        if (target != nullptr) bind_current_target();
        premultiplied = blend_for_host_draw(target != nullptr);
    } else {
        const int32_t mode = device.pass.blends.empty() ? kBlendAlpha : device.pass.blends.back();
        premultiplied = mode_takes_premultiplied(mode);
        // Premultiplied blending (or adding) over a target just cleared to transparent writes
        // the colour as it comes: drawn unblended, the same bytes, without the rasteriser
        // reading and blending every pixel (a third of a whole-target gradient's time on a
        // software rasteriser). In the layer's own context only, where nothing else draws.
        unblended = target != nullptr && target->cleared_transparent &&
                    (mode == kBlendAlphaPremultiply || mode == kBlendAddColors);
    }
    if (target != nullptr) target->cleared_transparent = false;
    apply_scissor(target != nullptr, host_viewport_box);
    use_program(program);
    set_premultiplied(copy, premultiplied);
    if (copy != nullptr && copy->ramp != nullptr && ramp_bind(*copy->ramp) < 0) return -1;
    if (locs[kLocMatrixMvp] >= 0) fn.UniformMatrix4fv(locs[kLocMatrixMvp], 1, gl::FALSE, mvp);
    if (locs[kLocMapDiffuse] >= 0) fn.Uniform1i(locs[kLocMapDiffuse], 0);
    if (locs[kLocColorDiffuse] >= 0) fn.Uniform4f(locs[kLocColorDiffuse], 1, 1, 1, 1);
    fn.BindTexture(gl::TEXTURE_2D, q.texture);
    fn.BindVertexArray(device.vao);
    fn.BindBuffer(gl::ARRAY_BUFFER, device.vbo);
    fn.BufferSubData(gl::ARRAY_BUFFER, 0, sizeof vertices, vertices);
    if (unblended) fn.Disable(gl::BLEND);
    fn.DrawArrays(gl::TRIANGLE_FAN, 0, 4);
    if (unblended) fn.Enable(gl::BLEND);
    return check_gl_error("draw_texture_pro");
}

}  // namespace zorva::layer
