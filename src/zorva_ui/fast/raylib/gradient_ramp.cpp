// Colour ramps of the gradient shader, cached by content per share group (gradient_ramp.h).
#include "fast/raylib/gradient_ramp.h"

#include <algorithm>
#include <cstring>
#include <list>
#include <set>
#include <string>
#include <unordered_map>

#include "fast/picture/gradient_model.h"
#include "fast/raylib/errors.h"
#include "fast/raylib/gl.h"
#include "fast/raylib/host_state.h"
#include "fast/raylib/renderer.h"

namespace zorva::layer {
namespace {

using gl::fn;
using picture::kMaxColors;

// The largest ramp (cells; buffer textures hold at least 65536 texels everywhere), and the
// store's first size.
constexpr int kRampMaxCells = picture::kRampMaxCells;
constexpr uint32_t kRampStoreFirstCells = 16384;
constexpr size_t kCellBytes = sizeof(picture::RampCell);

// Blocks of a power-of-two number of cells, each aligned to its size; a freed block merges with
// its free buddy. Every ramp's cell count is a power of two, so a store never fragments into
// pieces that no ramp fits.
class Blocks {
  public:
    // Adds cells [capacity, 2 * capacity) as free (or the first `capacity` cells, from empty).
    void grow(uint32_t capacity) {
        const uint32_t start = capacity_ == 0 ? 0 : capacity_;
        capacity_ = capacity_ == 0 ? capacity : capacity_ * 2;
        release(start, order_of(capacity_ - start));
    }
    uint32_t capacity() const { return capacity_; }

    // The first cell of a free block of 2^order cells, now taken; false when none is free.
    bool take(int order, uint32_t* first) {
        int have = order;
        while (have < kOrders && free_[have].empty()) ++have;
        if (have == kOrders) return false;
        uint32_t block = *free_[have].begin();
        free_[have].erase(free_[have].begin());
        while (have > order) {  // split, keeping the lower half
            --have;
            free_[have].insert(block + (uint32_t{1} << have));
        }
        *first = block;
        return true;
    }

    void release(uint32_t first, int order) {
        while (order + 1 < kOrders && (uint32_t{1} << (order + 1)) <= capacity_) {
            const uint32_t buddy = first ^ (uint32_t{1} << order);
            auto it = free_[order].find(buddy);
            if (it == free_[order].end()) break;
            free_[order].erase(it);
            first = std::min(first, buddy);
            ++order;
        }
        free_[order].insert(first);
    }

    static int order_of(uint32_t cells) {
        int order = 0;
        while ((uint32_t{1} << order) < cells) ++order;
        return order;
    }

  private:
    static constexpr int kOrders = 22;  // up to kRampStoreMaxCells
    std::set<uint32_t> free_[kOrders];
    uint32_t capacity_ = 0;
};

}  // namespace

struct RampEntry {
    std::vector<uint32_t> key;  // count, colours, stops: the uploaded values the ramp shows
    uint32_t first;
    uint32_t cells;
    std::list<uint64_t>::iterator age;
    // The store's fence serial at the last draw that read the ramp (0: none did): the fence of
    // that serial, once it passed, says no queued draw reads its cells any more.
    uint64_t drawn_serial = 0;
};

namespace {

// Cells of a dropped ramp that a queued draw may still read: free once fence `serial` passed.
struct Retired {
    uint32_t first;
    int order;
    uint64_t serial;
};

struct Fence {
    uint64_t serial;
    gl::GLsync sync;
};

// Fences not yet seen to pass beyond this many are waited for: a bound on what a store keeps.
constexpr size_t kMaxFences = 64;
// Draws between fences while new ramps are made (a fence splits the rasteriser's batch).
constexpr uint32_t kFenceEvery = 256;

// One share group's ramps: a buffer of ramp cells seen through a buffer texture.
struct RampStore {
    const ShareGroup* group;
    uint32_t buffer = 0;
    uint32_t texture = 0;
    uint32_t limit = 0;  // the most cells the store may grow to here
    Blocks blocks;
    std::unordered_map<uint64_t, RampEntry> entries;  // by the key's hash
    std::list<uint64_t> ages;                         // hashes, the most recently used first
    // Changes whenever a ramp is dropped, so that a program copy's remembered ramp is looked up
    // again rather than used after its cells went to another.
    uint64_t epoch = 0;
    // New ramps are written without waiting for queued draws (a software rasteriser would
    // finish them first), so cells a queued draw may read are never written: a dropped ramp's
    // cells wait in `retired` until a fence placed after its last draw has passed. Draws
    // since the last fence read serial `serial`. A fence is made when a ramp drawn under the
    // current serial is dropped, and, while new ramps are being made, every kFenceEvery draws:
    // then ramps dropped a frame later mostly find theirs passed. Fences are polled, and waited
    // for only when no other room exists.
    uint64_t serial = 1;
    uint32_t draws_unfenced = 0;
    uint64_t passed = 0;  // the newest serial whose fence has passed
    std::vector<Retired> retired;
    std::vector<Fence> fences;  // oldest first
};

std::vector<std::unique_ptr<RampStore>>& stores = *new std::vector<std::unique_ptr<RampStore>>();
uint64_t last_epoch = 0;

RampStore& store_of(const ShareGroup* group) {
    for (const auto& store : stores) {
        if (store->group == group) [[likely]]
            return *store;
    }
    // Groups whose contexts are gone took their buffers with them.
    std::erase_if(stores, [](const auto& store) { return !store->group->alive(); });
    stores.push_back(std::make_unique<RampStore>());
    stores.back()->group = group;
    stores.back()->epoch = ++last_epoch;
    return *stores.back();
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

// Frees the retired cells whose fence has passed, polling fences oldest first (they pass in
// order); with `wait`, waits for the oldest one first. 0, or -1 (the wait failed).
int reclaim(RampStore& store, bool wait) {
    size_t done = 0;
    for (; done < store.fences.size(); ++done) {
        const bool waiting = wait && done == 0;
        const gl::GLenum status =
            fn.ClientWaitSync(store.fences[done].sync, waiting ? gl::SYNC_FLUSH_COMMANDS_BIT : 0,
                              waiting ? ~gl::GLuint64{0} : 0);
        const bool passed = status == gl::ALREADY_SIGNALED || status == gl::CONDITION_SATISFIED;
        if (status == gl::WAIT_FAILED || (waiting && !passed)) {
            // A wait that returns without the fence passing would leave the caller no room.
            if (check_gl_error("waiting for queued gradient draws") == 0) {
                PyErr_SetString(layer_error(), "queued gradient draws did not finish");
            }
            return -1;
        }
        if (!passed) break;
        store.passed = store.fences[done].serial;
        fn.DeleteSync(store.fences[done].sync);
    }
    if (done == 0) return 0;
    store.fences.erase(store.fences.begin(), store.fences.begin() + static_cast<ptrdiff_t>(done));
    std::erase_if(store.retired, [&store](const Retired& cells) {
        if (cells.serial > store.passed) return false;
        store.blocks.release(cells.first, cells.order);
        return true;
    });
    return 0;
}

// A fence after the draws queued so far; later draws read the next serial. 0, or -1.
int fence_draws(RampStore& store) {
    if (store.fences.size() >= kMaxFences && reclaim(store, true) < 0) return -1;
    const gl::GLsync sync = fn.FenceSync(gl::SYNC_GPU_COMMANDS_COMPLETE, 0);
    if (sync == nullptr) {
        if (check_gl_error("fencing queued gradient draws") == 0) {
            PyErr_SetString(layer_error(), "the driver made no fence");
        }
        return -1;
    }
    store.fences.push_back(Fence{store.serial, sync});
    ++store.serial;
    store.draws_unfenced = 0;
    return 0;
}

// Drops a ramp; its cells are free at once unless a draw not known to be done read them.
int drop_entry(RampStore& store, std::unordered_map<uint64_t, RampEntry>::iterator it) {
    const RampEntry& entry = it->second;
    const int order = Blocks::order_of(entry.cells);
    if (entry.drawn_serial <= store.passed) {
        store.blocks.release(entry.first, order);
    } else {
        // Draws of this serial have no fence yet: one now covers them.
        if (entry.drawn_serial == store.serial && fence_draws(store) < 0) return -1;
        store.retired.push_back(Retired{entry.first, order, entry.drawn_serial});
    }
    store.ages.erase(entry.age);
    store.entries.erase(it);
    store.epoch = ++last_epoch;
    return 0;
}

// Makes the store's buffer twice as large (or makes its first one), keeping every cell where it
// is, and its texture anew. 0, or -1.
int grow_store(RampStore& store) {
    const uint32_t old_cells = store.blocks.capacity();
    const uint32_t cells = old_cells == 0 ? kRampStoreFirstCells : old_cells * 2;
    host_touch(kHostVertexArray | kHostTexture | kHostPixelStore);
    uint32_t buffer = 0, texture = 0;
    fn.GenBuffers(1, &buffer);
    fn.BindBuffer(gl::ARRAY_BUFFER, buffer);
    fn.BufferData(gl::ARRAY_BUFFER, static_cast<gl::GLsizeiptr>(cells * kCellBytes), nullptr,
                  gl::DYNAMIC_DRAW);
    if (store.buffer != 0) {
        // The unpack binding is the layer's 0 (host_touch) and goes back to it.
        fn.BindBuffer(gl::PIXEL_UNPACK_BUFFER, store.buffer);
        fn.CopyBufferSubData(gl::PIXEL_UNPACK_BUFFER, gl::ARRAY_BUFFER, 0, 0,
                             static_cast<gl::GLsizeiptr>(old_cells * kCellBytes));
        fn.BindBuffer(gl::PIXEL_UNPACK_BUFFER, 0);
    }
    fn.GenTextures(1, &texture);
    fn.ActiveTexture(gl::TEXTURE0 + kRampUnit);
    fn.BindTexture(gl::TEXTURE_BUFFER, texture);
    fn.TexBuffer(gl::TEXTURE_BUFFER, gl::RGBA32UI, buffer);
    fn.ActiveTexture(gl::TEXTURE0);
    if (check_gl_error("making the gradient ramp store") < 0) {
        fn.DeleteTextures(1, &texture);
        fn.DeleteBuffers(1, &buffer);
        return -1;
    }
    if (store.buffer != 0) {
        fn.DeleteTextures(1, &store.texture);
        fn.DeleteBuffers(1, &store.buffer);
    }
    store.buffer = buffer;
    store.texture = texture;
    active().bound_ramps = 0;  // the next draw binds the new texture and notes it
    store.blocks.grow(cells);
    // Queued draws read the old buffer: no cell of the new one is theirs.
    for (const Retired& cells_left : store.retired)
        store.blocks.release(cells_left.first, cells_left.order);
    store.retired.clear();
    return 0;
}

// Cells for a ramp of 2^order cells: free ones, or the store grown, or the least recently used
// ramps dropped. 0, or -1.
int make_room(RampStore& store, int order, uint32_t* first) {
    while (store.entries.size() >= kRampStoreMaxRamps) {
        if (drop_entry(store, store.entries.find(store.ages.back())) < 0) return -1;
    }
    bool polled = false;
    while (!store.blocks.take(order, first)) {
        if (!polled && !store.fences.empty()) {
            if (reclaim(store, false) < 0) return -1;
            polled = true;
        } else if (store.blocks.capacity() < store.limit) {
            if (grow_store(store) < 0) return -1;
        } else if (!store.entries.empty()) {
            if (drop_entry(store, store.entries.find(store.ages.back())) < 0) return -1;
            polled = false;
        } else if (!store.fences.empty()) {
            // Every cell left is read by queued draws: the one case that waits for them.
            if (reclaim(store, true) < 0) return -1;
        } else {
            // Not reached: an empty store at its limit has room for the largest ramp.
            PyErr_SetString(PyExc_MemoryError, "no room for a gradient ramp");
            return -1;
        }
    }
    return 0;
}

// Writes a ramp's cells where no queued draw reads, without waiting for those draws. 0, or -1.
int write_cells(RampStore& store, uint32_t at, const std::vector<picture::RampCell>& table) {
    host_touch(kHostVertexArray);
    fn.BindBuffer(gl::ARRAY_BUFFER, store.buffer);
    const auto bytes = static_cast<gl::GLsizeiptr>(table.size() * kCellBytes);
    void* into =
        fn.MapBufferRange(gl::ARRAY_BUFFER, static_cast<gl::GLintptr>(at * kCellBytes), bytes,
                          gl::MAP_WRITE_BIT | gl::MAP_INVALIDATE_RANGE_BIT |
                              gl::MAP_FLUSH_EXPLICIT_BIT | gl::MAP_UNSYNCHRONIZED_BIT);
    if (into != nullptr) {
        std::memcpy(into, table.data(), static_cast<size_t>(bytes));
        fn.FlushMappedBufferRange(gl::ARRAY_BUFFER, 0, bytes);
        fn.UnmapBuffer(gl::ARRAY_BUFFER);
    }
    return check_gl_error("writing a gradient ramp");
}

// The ramp of the values, written into the store now when it holds none. 0, or -1.
int find_ramp(RampStore& store, RampUniforms& ramp) {
    // Kept between calls: a lookup makes no allocation once it has grown.
    static std::vector<uint32_t>& key = *new std::vector<uint32_t>();
    ramp_key(ramp, &key);
    const uint64_t hash = hash_words(key);
    auto it = store.entries.find(hash);
    if (it != store.entries.end()) {
        if (it->second.key == key) {
            store.ages.splice(store.ages.begin(), store.ages, it->second.age);
            ramp.entry = &it->second;
            return 0;
        }
        // Another gradient with the same hash: replaced.
        if (drop_entry(store, it) < 0) return -1;
    }
    if (store.limit == 0) {
        // The most texels the buffer texture may hold here, at least 65536 in any GL 3.3.
        gl::GLint most = 0;
        fn.GetIntegerv(gl::MAX_TEXTURE_BUFFER_SIZE, &most);
        store.limit = kRampStoreFirstCells;
        while (store.limit < kRampStoreMaxCells && store.limit * 2 <= static_cast<uint32_t>(most)) {
            store.limit *= 2;
        }
    }
    picture::ColourLine line;
    line.assign(ramp.colours, ramp.stops, std::clamp(ramp.count, 0, kMaxColors), 1.0f);
    const int count =
        line.edge_cells(static_cast<int>(std::min<uint32_t>(store.limit, kRampMaxCells)));
    std::vector<picture::RampCell> table(static_cast<size_t>(count));
    line.fill_span_ramp(table.data(), count);
    if (store.draws_unfenced >= kFenceEvery) {
        if (fence_draws(store) < 0 || reclaim(store, false) < 0) return -1;
    }
    uint32_t at = 0;
    if (make_room(store, Blocks::order_of(static_cast<uint32_t>(count)), &at) < 0) return -1;
    if (write_cells(store, at, table) < 0) {
        store.blocks.release(at, Blocks::order_of(static_cast<uint32_t>(count)));
        return -1;
    }
    store.ages.push_front(hash);
    const auto made = store.entries.emplace(
        hash, RampEntry{key, at, static_cast<uint32_t>(count), store.ages.begin()});
    ramp.entry = &made.first->second;
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
        fn.GetActiveUniform(program, static_cast<gl::GLuint>(i), sizeof name, &length, &size, &type,
                            name);
        declared =
            type == gl::UNSIGNED_INT_SAMPLER_BUFFER && std::strcmp(name, "gradientRamp") == 0;
    }
    if (!declared) return nullptr;
    auto ramp = std::make_unique<RampUniforms>();
    ramp->sampler_loc = fn.GetUniformLocation(program, "gradientRamp");
    ramp->cells_loc = fn.GetUniformLocation(program, "gradientRampCells");
    ramp->count_loc = fn.GetUniformLocation(program, "colorCount");
    element_locations(program, "colors", &ramp->colour_locs, &ramp->colours_consecutive);
    element_locations(program, "stops", &ramp->stop_locs, &ramp->stops_consecutive);
    return ramp;
}

void ramp_note_int(RampUniforms& ramp, int32_t loc, int32_t value) {
    if (loc == ramp.sampler_loc) {
        ramp.sampler_unit = value;
    } else if (loc == ramp.cells_loc) {
        ramp.set_first = -1;  // set through the API: no longer what the layer set
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
    RampStore& store = store_of(device.group);
    if (ramp.changed || ramp.store_epoch != store.epoch) {
        if (find_ramp(store, ramp) < 0) return -1;
        ramp.store_epoch = store.epoch;
        ramp.changed = false;
    }
    ramp.entry->drawn_serial = store.serial;  // valid: the store dropped nothing since
    ++store.draws_unfenced;
    // In its own context the layer alone binds unit 1's buffer texture; a host may bind anything.
    if (device.keeps_host_state || device.bound_ramps != store.texture) {
        fn.ActiveTexture(gl::TEXTURE0 + kRampUnit);
        fn.BindTexture(gl::TEXTURE_BUFFER, store.texture);
        fn.ActiveTexture(gl::TEXTURE0);
        device.bound_ramps = device.keeps_host_state ? 0 : store.texture;
    }
    if (ramp.sampler_unit != kRampUnit) {
        fn.Uniform1i(ramp.sampler_loc, kRampUnit);
        ramp.sampler_unit = kRampUnit;
    }
    const auto first = static_cast<int32_t>(ramp.entry->first);
    const auto cells = static_cast<int32_t>(ramp.entry->cells);
    if (ramp.cells_loc >= 0 && (first != ramp.set_first || cells != ramp.set_cells)) {
        fn.Uniform2i(ramp.cells_loc, first, cells);
        ramp.set_first = first;
        ramp.set_cells = cells;
    }
    return 0;
}

}  // namespace zorva::layer
