// Layer handles and their GL names per share group (objects.h).
#include "fast/raylib/objects.h"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "fast/raylib/context.h"
#include "fast/raylib/errors.h"
#include "fast/raylib/gl.h"
#include "fast/raylib/renderer.h"

namespace zorva::layer {
namespace {

using gl::fn;

struct ProgramRecord {
    std::string vertex;
    std::string fragment;
    bool default_vertex;
    bool default_fragment;
    // Every uniform of the first compilation (array elements one by one) with its location.
    std::vector<std::pair<int32_t, std::string>> uniforms;
    std::vector<ProgramCopy> copies;
};

struct TextureRecord {
    int32_t width;
    int32_t height;
    std::vector<uint8_t> pixels;
    std::vector<std::pair<ShareGroup*, uint32_t>> copies;
};

// Handles count up from 1 and are never reused, so a stale one can never name a newer object.
struct Objects {
    uint32_t next_handle = 1;
    std::unordered_map<uint32_t, ProgramRecord> programs;
    std::unordered_map<uint32_t, TextureRecord> textures;
    std::unordered_map<uint32_t, TargetRecord> targets;
};

Objects& objects = *new Objects();

// The copy the last lookup found: a draw asks for the same program about ten times. Forgotten
// whenever a program record or its copies change (a copy's address may move then).
struct ProgramMemo {
    uint32_t handle = 0;
    const ShareGroup* group = nullptr;
    ProgramCopy* copy = nullptr;
};
ProgramMemo program_memo;

void forget_program_memo() {
    program_memo = ProgramMemo{};
}

// The same for textures: a frame draws the same blank texture again and again.
struct TextureMemo {
    uint32_t handle = 0;
    const ShareGroup* group = nullptr;
    uint32_t name = 0;
};
TextureMemo texture_memo;

uint32_t new_handle() {
    return objects.next_handle++;
}

// Every active uniform of a program with its location; an array's elements each by name.
void list_uniforms(uint32_t program, std::vector<std::pair<int32_t, std::string>>* out) {
    gl::GLint count = 0, longest = 0;
    fn.GetProgramiv(program, gl::ACTIVE_UNIFORMS, &count);
    fn.GetProgramiv(program, gl::ACTIVE_UNIFORM_MAX_LENGTH, &longest);
    std::string name(static_cast<size_t>(std::max(longest, 1)) + 1, '\0');
    for (gl::GLint i = 0; i < count; ++i) {
        gl::GLsizei length = 0;
        gl::GLint size = 0;
        gl::GLenum type = 0;
        fn.GetActiveUniform(program, static_cast<gl::GLuint>(i),
                            static_cast<gl::GLsizei>(name.size()), &length, &size, &type,
                            name.data());
        std::string base(name.data(), static_cast<size_t>(std::max(length, 0)));
        if (base.size() > 3 && base.compare(base.size() - 3, 3, "[0]") == 0) {
            base.resize(base.size() - 3);
        } else if (size <= 1) {
            out->emplace_back(fn.GetUniformLocation(program, base.c_str()), base);
            continue;
        }
        for (gl::GLint element = 0; element < size; ++element) {
            std::string item = base + "[" + std::to_string(element) + "]";
            const int32_t location = fn.GetUniformLocation(program, item.c_str());
            if (location >= 0) out->emplace_back(location, std::move(item));
        }
    }
    std::sort(out->begin(), out->end());
}

// Compiles `copy` in the active device and finds the uniforms the layer itself sets. 0, or -1.
int compile_into(const char* vertex, const char* fragment, ProgramCopy* copy) {
    copy->group = active().group;
    if (compile_gl_program(vertex, fragment, &copy->name, copy->locs) < 0) return -1;
    copy->premultiplied_loc = premultiplied_location(copy->name);
    copy->premultiplied_value = -1;
    copy->ramp = ramp_uniforms_of(copy->name);
    copy->same_locations = true;
    return 0;
}

// A copy of `record` compiled in the active device, its locations matched by name to the first
// compilation's.
int compile_copy(ProgramRecord& record, ProgramCopy* copy) {
    if (compile_into(record.default_vertex ? nullptr : record.vertex.c_str(),
                     record.default_fragment ? nullptr : record.fragment.c_str(), copy) < 0) {
        return -1;
    }
    for (const auto& [location, name] : record.uniforms) {
        const int32_t here = fn.GetUniformLocation(copy->name, name.c_str());
        copy->locations.emplace_back(location, here);
        if (here != location) copy->same_locations = false;
    }
    return 0;
}

void release_program(uint32_t name, uint32_t) {
    delete_gl_program(name);
}
void release_texture(uint32_t name, uint32_t) {
    delete_gl_texture(name);
}
void release_framebuffer(uint32_t fbo, uint32_t) {
    delete_gl_framebuffer(fbo);
    rebind_current_target();  // deleting the bound framebuffer binds the default one
}

// Releases every copy, each in its own group. -1 only for an explicit release refused on
// another thread (nothing released then).
template <typename Copies, typename GroupOf, typename NameOf>
int release_copies(const Copies& copies, GroupOf group_of, NameOf name_of,
                   void (*release)(uint32_t, uint32_t), bool explicit_release) {
    for (const auto& copy : copies) {
        if (release_gl_objects(group_of(copy), nullptr, release, name_of(copy), 0,
                               explicit_release) < 0) {
            return -1;
        }
    }
    return 0;
}

}  // namespace

// ---- programs ---------------------------------------------------------------------------------

int program_create(const char* vertex, const char* fragment, uint32_t* handle, int32_t* locs) {
    ProgramRecord record{vertex ? vertex : "",
                         fragment ? fragment : "",
                         vertex == nullptr,
                         fragment == nullptr,
                         {},
                         {}};
    ProgramCopy copy{};
    if (compile_into(vertex, fragment, &copy) < 0) return -1;
    list_uniforms(copy.name, &record.uniforms);
    std::copy(copy.locs, copy.locs + kLocCount, locs);
    record.copies.push_back(std::move(copy));
    *handle = new_handle();
    objects.programs.emplace(*handle, std::move(record));
    return 0;
}

ProgramCopy* program_here(uint32_t handle) {
    ShareGroup* group = active().group;
    if (program_memo.handle == handle && program_memo.group == group) [[likely]]
        return program_memo.copy;
    auto it = objects.programs.find(handle);
    if (it == objects.programs.end()) {
        PyErr_SetString(PyExc_ValueError, "shader is not loaded");
        return nullptr;
    }
    ProgramRecord& record = it->second;
    ProgramCopy* found = nullptr;
    for (ProgramCopy& copy : record.copies) {
        if (copy.group == group) found = &copy;
    }
    if (found == nullptr) {
        forget_program_memo();
        // Copies in groups whose contexts are gone went with them.
        std::erase_if(record.copies, [](const ProgramCopy& copy) { return !copy.group->alive(); });
        ProgramCopy copy{};
        if (compile_copy(record, &copy) < 0) return nullptr;
        record.copies.push_back(std::move(copy));
        found = &record.copies.back();
    }
    program_memo = ProgramMemo{handle, group, found};
    return found;
}

int32_t location_here(const ProgramCopy& copy, int32_t location) {
    if (copy.same_locations || location < 0) [[likely]]
        return location;
    auto it = std::lower_bound(copy.locations.begin(), copy.locations.end(),
                               std::pair<int32_t, int32_t>{location, INT32_MIN});
    return it != copy.locations.end() && it->first == location ? it->second : -1;
}

int32_t program_location(uint32_t handle, const char* name) {
    ProgramCopy* copy = program_here(handle);
    if (copy == nullptr) return -1;
    const int32_t here = fn.GetUniformLocation(copy->name, name);
    if (copy->same_locations || here < 0) return here;
    for (const auto& [first, translated] : copy->locations) {
        if (translated == here) return first;
    }
    return -1;
}

int program_delete(uint32_t handle) {
    auto it = objects.programs.find(handle);
    if (it == objects.programs.end()) return 0;
    if (shader_in_a_pass(handle)) {
        PyErr_SetString(layer_error(), "cannot unload a shader while shader mode uses it");
        return -1;
    }
    if (release_copies(
            it->second.copies, [](const ProgramCopy& c) { return c.group; },
            [](const ProgramCopy& c) { return c.name; }, release_program, true) < 0) {
        return -1;
    }
    forget_program_memo();
    objects.programs.erase(handle);
    return 0;
}

void program_discard(uint32_t handle) {
    auto it = objects.programs.find(handle);
    if (it == objects.programs.end()) return;
    // A program still on a shader stack is held by that stack, so it is never discarded there.
    release_copies(
        it->second.copies, [](const ProgramCopy& c) { return c.group; },
        [](const ProgramCopy& c) { return c.name; }, release_program, false);
    forget_program_memo();
    objects.programs.erase(handle);
}

// ---- textures -------------------------------------------------------------------------------

int texture_create(int32_t width, int32_t height, const uint8_t* rgba, uint32_t* handle,
                   uint32_t* name) {
    TextureRecord record{width, height, {}, {}};
    record.pixels.assign(rgba, rgba + static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    if (create_gl_texture(width, height, rgba, name) < 0) return -1;
    record.copies.emplace_back(active().group, *name);
    *handle = new_handle();
    objects.textures.emplace(*handle, std::move(record));
    return 0;
}

int texture_here(uint32_t handle, uint32_t* name) {
    ShareGroup* group = active().group;
    if (texture_memo.handle == handle && texture_memo.group == group) [[likely]] {
        *name = texture_memo.name;
        return 0;
    }
    auto it = objects.textures.find(handle);
    if (it == objects.textures.end()) {
        PyErr_SetString(PyExc_ValueError, "texture is not loaded");
        return -1;
    }
    TextureRecord& record = it->second;
    bool found = false;
    for (const auto& [copy_group, copy_name] : record.copies) {
        if (copy_group == group) {
            *name = copy_name;
            found = true;
        }
    }
    if (!found) {
        std::erase_if(record.copies, [](const auto& copy) { return !copy.first->alive(); });
        if (create_gl_texture(record.width, record.height, record.pixels.data(), name) < 0) {
            return -1;
        }
        record.copies.emplace_back(group, *name);
    }
    texture_memo = TextureMemo{handle, group, *name};
    return 0;
}

int texture_delete(uint32_t handle) {
    auto it = objects.textures.find(handle);
    if (it == objects.textures.end()) return 0;
    if (release_copies(
            it->second.copies, [](const auto& c) { return c.first; },
            [](const auto& c) { return c.second; }, release_texture, true) < 0) {
        return -1;
    }
    if (texture_memo.handle == handle) texture_memo = TextureMemo{};
    objects.textures.erase(handle);
    return 0;
}

void texture_discard(uint32_t handle) {
    auto it = objects.textures.find(handle);
    if (it == objects.textures.end()) return;
    release_copies(
        it->second.copies, [](const auto& c) { return c.first; },
        [](const auto& c) { return c.second; }, release_texture, false);
    if (texture_memo.handle == handle) texture_memo = TextureMemo{};
    objects.textures.erase(handle);
}

// ---- render textures ------------------------------------------------------------------------

int target_create(int32_t width, int32_t height, ZvRenderTarget* out) {
    uint32_t texture = 0, fbo = 0;
    if (check_size(width, height, "render texture") < 0) return -1;
    if (create_gl_texture(width, height, nullptr, &texture) < 0) return -1;
    if (create_gl_framebuffer(texture, &fbo) < 0) {
        delete_gl_texture(texture);
        return -1;
    }
    const uint32_t handle = new_handle();
    objects.targets.emplace(
        handle, TargetRecord{active().group, texture, width, height, {{&active(), fbo}}});
    *out = ZvRenderTarget{};
    out->id = handle;
    out->texture = ZvTexture{texture, width, height, 1, kPixelFormatRgba8};
    // Two-dimensional drawing needs no depth buffer; `depth` stays empty.
    return 0;
}

const TargetRecord* target_find(uint32_t handle) {
    auto it = objects.targets.find(handle);
    return it == objects.targets.end() ? nullptr : &it->second;
}

const TargetRecord* target_here(uint32_t handle) {
    const TargetRecord* record = target_find(handle);
    if (record == nullptr) {
        PyErr_SetString(PyExc_ValueError, "render texture is not loaded");
        return nullptr;
    }
    if (record->group != active().group) [[unlikely]] {
        raise_unreachable(record->group, "render texture");
        return nullptr;
    }
    return record;
}

int target_framebuffer(uint32_t handle, uint32_t* fbo) {
    if (target_here(handle) == nullptr) return -1;
    TargetRecord& record = objects.targets.find(handle)->second;
    Device* device = &active();
    for (const auto& [owner, name] : record.framebuffers) {
        if (owner == device) {
            *fbo = name;
            return 0;
        }
    }
    if (create_gl_framebuffer(record.texture, fbo) < 0) return -1;
    record.framebuffers.emplace_back(device, *fbo);
    return 0;
}

namespace {

// Releases a target's framebuffers (each in its device) and texture (in its group).
int release_target(TargetRecord& record, bool explicit_release) {
    for (const auto& [device, fbo] : record.framebuffers) {
        if (release_gl_objects(record.group, device, release_framebuffer, fbo, 0,
                               explicit_release) < 0) {
            return -1;
        }
    }
    return release_gl_objects(record.group, nullptr, release_texture, record.texture, 0,
                              explicit_release);
}

}  // namespace

int target_delete(ZvRenderTarget* target) {
    auto it = objects.targets.find(target->id);
    if (it == objects.targets.end()) {
        *target = ZvRenderTarget{};
        return 0;
    }
    // Forgotten before its framebuffers go, so that rebinding the texture-mode stack skips it: a
    // stacked entry no longer finds it, drawing through it is refused and ending its texture
    // mode still works.
    const uint32_t handle = target->id;
    TargetRecord record = std::move(it->second);
    objects.targets.erase(it);
    if (release_target(record, true) < 0) {
        objects.targets.emplace(handle, std::move(record));  // refused: nothing was released
        return -1;
    }
    *target = ZvRenderTarget{};
    return 0;
}

void target_discard(ZvRenderTarget* target) {
    auto it = objects.targets.find(target->id);
    if (it != objects.targets.end()) {
        TargetRecord record = std::move(it->second);
        objects.targets.erase(it);
        release_target(record, false);
    }
    *target = ZvRenderTarget{};
}

}  // namespace zorva::layer
