// Colour ramps of the gradient shader, cached by content per share group (gradient_ramp.h).
#include "fast/raylib/gradient_ramp.h"

#include <algorithm>
#include <cstring>
#include <list>
#include <string>
#include <unordered_map>

#include "fast/picture/gradient_model.h"
#include "fast/raylib/gl.h"
#include "fast/raylib/host_state.h"
#include "fast/raylib/renderer.h"

namespace zorva::layer {
namespace {

using gl::fn;
using picture::kMaxColors;

// The largest ramp: wider ones would not part stops any better than a texture row allows on
// most drivers, and cost memory for nothing.
constexpr int kRampMaxCells = 16384;

struct RampEntry {
    std::vector<uint32_t> key;  // count, colours, stops: the uploaded values the ramp shows
    uint32_t texture;
    size_t bytes;
    std::list<uint64_t>::iterator age;
};

struct RampCache {
    const ShareGroup* group;
    std::unordered_map<uint64_t, RampEntry> entries;  // by the key's hash
    std::list<uint64_t> ages;                         // hashes, the most recently used first
    size_t bytes = 0;
    // Changes whenever a ramp is deleted, so that a program copy's remembered ramp is looked up
    // again rather than used after it went.
    uint64_t epoch = 0;
};

std::vector<std::unique_ptr<RampCache>>& caches = *new std::vector<std::unique_ptr<RampCache>>();
uint64_t last_epoch = 0;

RampCache& cache_of(const ShareGroup* group) {
    for (const auto& cache : caches) {
        if (cache->group == group) [[likely]]
            return *cache;
    }
    // Groups whose contexts are gone took their textures with them.
    std::erase_if(caches, [](const auto& cache) { return !cache->group->alive(); });
    caches.push_back(std::make_unique<RampCache>());
    caches.back()->group = group;
    caches.back()->epoch = ++last_epoch;
    return *caches.back();
}

// The uploaded values a ramp depends on, as words: the count clamped as the shader clamps it,
// then that many colours and stops, bit for bit.
void ramp_key(const RampUniforms& ramp, std::vector<uint32_t>* key) {
    const int count = std::clamp(ramp.count, 0, kMaxColors);
    key->resize(1 + static_cast<size_t>(count) * 5);
    (*key)[0] = static_cast<uint32_t>(count);
    std::memcpy(key->data() + 1, ramp.colours, sizeof(float) * 4 * count);
    std::memcpy(key->data() + 1 + 4 * count, ramp.stops, sizeof(float) * count);
}

uint64_t hash_words(const std::vector<uint32_t>& words) {
    uint64_t h = 0x9E3779B97F4A7C15ull;
    for (uint32_t word : words) {
        h ^= word;
        h *= 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
    }
    return h;
}

void delete_entry(RampCache& cache, std::unordered_map<uint64_t, RampEntry>::iterator it) {
    fn.DeleteTextures(1, &it->second.texture);
    cache.bytes -= it->second.bytes;
    cache.ages.erase(it->second.age);
    cache.entries.erase(it);
    cache.epoch = ++last_epoch;
}

// The widest ramp this device can sample: a power of two.
int cells_limit() {
    int limit = 1;
    while (limit < kRampMaxCells && limit * 2 <= active().max_texture_size) limit *= 2;
    return limit;
}

// A ramp texture of the values, in the active device (unit 1 left bound to it). 0, or -1.
int build_ramp(const RampUniforms& ramp, uint32_t* texture, size_t* bytes) {
    picture::ColourLine line;
    line.assign(ramp.colours, ramp.stops, std::clamp(ramp.count, 0, kMaxColors), 1.0f);
    const int cells = line.span_cells(cells_limit());
    std::vector<picture::SpanCell> table(static_cast<size_t>(cells));
    line.fill_span_ramp(table.data(), cells);
    host_touch(kHostTexture | kHostPixelStore);
    uint32_t name = 0;
    fn.GenTextures(1, &name);
    fn.ActiveTexture(gl::TEXTURE0 + kRampUnit);
    fn.BindTexture(gl::TEXTURE_2D, name);
    fn.TexParameteri(gl::TEXTURE_2D, gl::TEXTURE_MIN_FILTER, gl::NEAREST);
    fn.TexParameteri(gl::TEXTURE_2D, gl::TEXTURE_MAG_FILTER, gl::NEAREST);
    fn.TexParameteri(gl::TEXTURE_2D, gl::TEXTURE_WRAP_S, gl::CLAMP_TO_EDGE);
    fn.TexParameteri(gl::TEXTURE_2D, gl::TEXTURE_WRAP_T, gl::CLAMP_TO_EDGE);
    fn.TexImage2D(gl::TEXTURE_2D, 0, static_cast<gl::GLint>(gl::RGBA32UI), cells, 1, 0,
                  gl::RGBA_INTEGER, gl::UNSIGNED_INT, table.data());
    fn.ActiveTexture(gl::TEXTURE0);
    if (check_gl_error("building a gradient ramp") < 0) {
        fn.DeleteTextures(1, &name);
        return -1;
    }
    *texture = name;
    *bytes = table.size() * sizeof(picture::SpanCell);
    return 0;
}

// The cached ramp of the values, built now when there is none. 0, or -1.
int find_ramp(RampCache& cache, const RampUniforms& ramp, uint32_t* texture) {
    // Kept between calls: a lookup makes no allocation once it has grown.
    static std::vector<uint32_t>& key = *new std::vector<uint32_t>();
    ramp_key(ramp, &key);
    const uint64_t hash = hash_words(key);
    auto it = cache.entries.find(hash);
    if (it != cache.entries.end()) {
        if (it->second.key == key) {
            cache.ages.splice(cache.ages.begin(), cache.ages, it->second.age);
            *texture = it->second.texture;
            return 0;
        }
        delete_entry(cache, it);  // another gradient with the same hash: replaced
    }
    uint32_t name = 0;
    size_t bytes = 0;
    if (build_ramp(ramp, &name, &bytes) < 0) return -1;
    while (!cache.entries.empty() && (cache.entries.size() >= kRampCacheEntries ||
                                      cache.bytes + bytes > kRampCacheBytes)) {
        delete_entry(cache, cache.entries.find(cache.ages.back()));
    }
    cache.ages.push_front(hash);
    cache.entries.emplace(hash, RampEntry{key, name, bytes, cache.ages.begin()});
    cache.bytes += bytes;
    *texture = name;
    return 0;
}

// The array element a location names (-1: none of this array's).
int element_of(const std::vector<int32_t>& locs, bool consecutive, int32_t loc) {
    if (locs.empty()) return -1;
    if (consecutive) {
        const int64_t index = static_cast<int64_t>(loc) - locs.front();
        return index >= 0 && index < static_cast<int64_t>(locs.size()) ? static_cast<int>(index)
                                                                        : -1;
    }
    const auto it = std::find(locs.begin(), locs.end(), loc);
    return it == locs.end() ? -1 : static_cast<int>(it - locs.begin());
}

// Locations of name[0], name[1], ... up to the first the program lacks (at most kMaxColors).
void element_locations(uint32_t program, const char* name, std::vector<int32_t>* out,
                       bool* consecutive) {
    for (int i = 0; i < kMaxColors; ++i) {
        const std::string element = std::string(name) + "[" + std::to_string(i) + "]";
        const int32_t loc = fn.GetUniformLocation(program, element.c_str());
        if (loc < 0) break;
        out->push_back(loc);
    }
    *consecutive = true;
    for (size_t i = 0; i < out->size(); ++i) {
        if ((*out)[i] != out->front() + static_cast<int32_t>(i)) *consecutive = false;
    }
}

// Copies `count` items of `size` floats into `shadow` from element `first` on, as GL stores an
// array upload (elements past the end are ignored). Marks the ramp changed when they differ.
void note_elements(RampUniforms& ramp, float* shadow, size_t length, int first, const float* values,
                   Py_ssize_t count, size_t size) {
    if (first < 0 || count <= 0) return;
    const size_t n = std::min(static_cast<size_t>(count), length - static_cast<size_t>(first));
    float* into = shadow + static_cast<size_t>(first) * size;
    if (std::memcmp(into, values, n * size * sizeof(float)) == 0) return;
    std::memcpy(into, values, n * size * sizeof(float));
    ramp.changed = true;
}

}  // namespace

std::unique_ptr<RampUniforms> ramp_uniforms_of(uint32_t program) {
    gl::GLint count = 0;
    fn.GetProgramiv(program, gl::ACTIVE_UNIFORMS, &count);
    bool declared = false;
    char name[32];
    for (gl::GLint i = 0; i < count && !declared; ++i) {
        gl::GLsizei length = 0;
        gl::GLint size = 0;
        gl::GLenum type = 0;
        fn.GetActiveUniform(program, static_cast<gl::GLuint>(i), sizeof name, &length, &size,
                            &type, name);
        declared = type == gl::UNSIGNED_INT_SAMPLER_2D && std::strcmp(name, "gradientRamp") == 0;
    }
    if (!declared) return nullptr;
    auto ramp = std::make_unique<RampUniforms>();
    ramp->sampler_loc = fn.GetUniformLocation(program, "gradientRamp");
    ramp->count_loc = fn.GetUniformLocation(program, "colorCount");
    element_locations(program, "colors", &ramp->colour_locs, &ramp->colours_consecutive);
    element_locations(program, "stops", &ramp->stop_locs, &ramp->stops_consecutive);
    return ramp;
}

void ramp_note_int(RampUniforms& ramp, int32_t loc, int32_t value) {
    if (loc == ramp.sampler_loc) {
        ramp.sampler_unit = value;
    } else if (loc == ramp.count_loc && value != ramp.count) {
        ramp.count = value;
        ramp.changed = true;
    }
}

void ramp_note_floats(RampUniforms& ramp, int32_t loc, const float* values, Py_ssize_t count) {
    note_elements(ramp, ramp.stops, ramp.stop_locs.size(),
                  element_of(ramp.stop_locs, ramp.stops_consecutive, loc), values, count, 1);
}

void ramp_note_vec4s(RampUniforms& ramp, int32_t loc, const float* xyzw, Py_ssize_t count) {
    note_elements(ramp, &ramp.colours[0][0], ramp.colour_locs.size(),
                  element_of(ramp.colour_locs, ramp.colours_consecutive, loc), xyzw, count, 4);
}

int ramp_bind(RampUniforms& ramp) {
    Device& device = active();
    RampCache& cache = cache_of(device.group);
    if (ramp.changed || ramp.cache_epoch != cache.epoch) {
        uint32_t texture = 0;
        if (find_ramp(cache, ramp, &texture) < 0) return -1;
        ramp.texture = texture;
        ramp.cache_epoch = cache.epoch;
        ramp.changed = false;
    }
    fn.ActiveTexture(gl::TEXTURE0 + kRampUnit);
    fn.BindTexture(gl::TEXTURE_2D, ramp.texture);
    // A host's sampler object on the unit would override the ramp's filtering.
    if (device.keeps_host_state) fn.BindSampler(kRampUnit, 0);
    fn.ActiveTexture(gl::TEXTURE0);
    if (ramp.sampler_unit != kRampUnit) {
        fn.Uniform1i(ramp.sampler_loc, kRampUnit);
        ramp.sampler_unit = kRampUnit;
    }
    return 0;
}

}  // namespace zorva::layer
