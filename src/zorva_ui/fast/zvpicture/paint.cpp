// The CPU renderer's pixel loops. The ramp path computes each pixel's cell from two float32
// terms (one per column, one per row) and copies the cell's packed colour; with AVX2 eight
// pixels at a time through a gather, else a loop the compiler vectorises up to the copy. Both
// give the same bytes: every step is one correctly rounded IEEE operation.
#include "fast/zvpicture/paint.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZORVA_HAVE_AVX2_LOOP 1
#endif

namespace zorva::zvpicture {

using picture::ByteOrder;
using picture::ColourLine;
using picture::Geometry;

namespace {

// At most this many threads share a picture; each gets at least kParallelPixels / 2 pixels.
constexpr unsigned kMaxThreads = 8;

inline void store(uint8_t* at, uint32_t word) {
    std::memcpy(at, &word, sizeof word);
}

inline uint32_t load(const uint8_t* at) {
    uint32_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

uint32_t exact_pixel(const Geometry& geometry, const ColourLine& line, ByteOrder order, int col,
                     int row) {
    uint8_t rgba[4];
    line.at(geometry.t_at(col, row), rgba);
    return order.pack(rgba);
}

// What every row of the ramp path needs.
struct RampJob {
    const Geometry* geometry;
    const ColourLine* line;
    const uint32_t* table;
    bool marked;
    ByteOrder order;
    const float* across;  // one term per column
    const float* down;    // one term per row
    float last_cell;
    Pixels out;
};

template <bool kRadial>
inline void ramp_row_generic(const RampJob& job, float down, uint8_t* row) {
    const int width = job.geometry->width();
    for (int col = 0; col < width; ++col) {
        float scaled = down + job.across[col];
        if constexpr (kRadial) scaled = std::sqrt(scaled);
        store(row + 4 * static_cast<ptrdiff_t>(col),
              job.table[picture::ramp_cell(scaled, job.last_cell)]);
    }
}

using RampRowFn = void (*)(const RampJob&, float, uint8_t*);

void ramp_row_linear(const RampJob& job, float down, uint8_t* row) {
    ramp_row_generic<false>(job, down, row);
}
void ramp_row_radial(const RampJob& job, float down, uint8_t* row) {
    ramp_row_generic<true>(job, down, row);
}

#ifdef ZORVA_HAVE_AVX2_LOOP
template <bool kRadial>
__attribute__((target("avx2"))) inline void ramp_row_avx2(const RampJob& job, float down,
                                                          uint8_t* row) {
    const int width = job.geometry->width();
    const __m256 down8 = _mm256_set1_ps(down);
    const __m256 zero = _mm256_setzero_ps();
    const __m256 last = _mm256_set1_ps(job.last_cell);
    const int* table = reinterpret_cast<const int*>(job.table);
    int col = 0;
    for (; col + 8 <= width; col += 8) {
        __m256 scaled = _mm256_add_ps(down8, _mm256_loadu_ps(job.across + col));
        if constexpr (kRadial) scaled = _mm256_sqrt_ps(scaled);
        // maxps returns its second operand when either is NaN: NaN becomes cell 0, as in
        // ramp_cell.
        scaled = _mm256_min_ps(_mm256_max_ps(scaled, zero), last);
        const __m256i cell = _mm256_cvttps_epi32(scaled);
        const __m256i colours = _mm256_i32gather_epi32(table, cell, 4);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(row + 4 * static_cast<ptrdiff_t>(col)),
                            colours);
    }
    for (; col < width; ++col) {
        float scaled = down + job.across[col];
        if constexpr (kRadial) scaled = std::sqrt(scaled);
        store(row + 4 * static_cast<ptrdiff_t>(col),
              job.table[picture::ramp_cell(scaled, job.last_cell)]);
    }
}

__attribute__((target("avx2"))) void ramp_row_linear_avx2(const RampJob& job, float down,
                                                          uint8_t* row) {
    ramp_row_avx2<false>(job, down, row);
}
__attribute__((target("avx2"))) void ramp_row_radial_avx2(const RampJob& job, float down,
                                                          uint8_t* row) {
    ramp_row_avx2<true>(job, down, row);
}
#endif

using FillRampFn = void (*)(const ColourLine&, ByteOrder, uint32_t*);

void fill_ramp_generic(const ColourLine& line, ByteOrder order, uint32_t* table) {
    line.fill_ramp(table, order);
}

#ifdef ZORVA_HAVE_AVX2_LOOP
__attribute__((target("avx2"))) void fill_ramp_avx2(const ColourLine& line, ByteOrder order,
                                                    uint32_t* table) {
    line.fill_ramp(table, order);
}
#endif

struct RampLoops {
    RampRowFn linear;
    RampRowFn radial;
    FillRampFn fill;
    const char* name;
};

RampLoops pick_ramp_loops() {
    // ZORVA_PICTURE_LOOP=generic takes the plain loops on any processor (the tests compare the
    // two).
    const char* forced = std::getenv("ZORVA_PICTURE_LOOP");
    const bool generic_only = forced != nullptr && std::strcmp(forced, "generic") == 0;
#ifdef ZORVA_HAVE_AVX2_LOOP
    __builtin_cpu_init();
    if (!generic_only && __builtin_cpu_supports("avx2")) {
        return {ramp_row_linear_avx2, ramp_row_radial_avx2, fill_ramp_avx2, "avx2"};
    }
#endif
    return {ramp_row_linear, ramp_row_radial, fill_ramp_generic, "generic"};
}

const RampLoops& ramp_loops() {
    static const RampLoops loops = pick_ramp_loops();
    return loops;
}

// Rows [first, last) of the ramp path.
void paint_ramp_rows(const RampJob& job, int first, int last) {
    const RampLoops& loops = ramp_loops();
    const RampRowFn row_fn = job.geometry->radial() ? loops.radial : loops.linear;
    const int width = job.geometry->width();
    const uint32_t marker = job.order.marker();
    for (int r = first; r < last; ++r) {
        uint8_t* row = job.out.data + job.out.stride * r;
        row_fn(job, job.down[r], row);
        if (!job.marked) continue;
        for (int col = 0; col < width; ++col) {
            uint8_t* at = row + 4 * static_cast<ptrdiff_t>(col);
            if (load(at) == marker) {
                store(at, exact_pixel(*job.geometry, *job.line, job.order, col, r));
            }
        }
    }
}

// Rows [first, last), each pixel from its exact t.
void paint_exact_rows(const Geometry& geometry, const ColourLine& line, ByteOrder order, Pixels out,
                      int first, int last) {
    for (int r = first; r < last; ++r) {
        uint8_t* row = out.data + out.stride * r;
        for (int col = 0; col < geometry.width(); ++col) {
            store(row + 4 * static_cast<ptrdiff_t>(col),
                  exact_pixel(geometry, line, order, col, r));
        }
    }
}

void fill(const Geometry& geometry, uint32_t word, Pixels out) {
    const int width = geometry.width();
    uint8_t* first = out.data;
    for (int col = 0; col < width; ++col) store(first + 4 * static_cast<ptrdiff_t>(col), word);
    for (int r = 1; r < geometry.height(); ++r) {
        std::memcpy(out.data + out.stride * r, first, 4 * static_cast<size_t>(width));
    }
}

// How many threads share a picture of this many pixels.
unsigned thread_count(int64_t pixels, int rows) {
    if (pixels < kParallelPixels) return 1;
    unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const int64_t by_size = pixels / (kParallelPixels / 2);
    const int64_t limit = std::min<int64_t>({cores, kMaxThreads, by_size, rows});
    return static_cast<unsigned>(std::max<int64_t>(limit, 1));
}

// The rows of one picture shared among threads. Owned jointly by the caller and its helpers,
// so that a helper that starts after the picture is done still finds its counters.
class Bands {
  public:
    Bands(const RampJob& job, int height, int band) : job_(job), height_(height), band_(band) {}

    // Paints bands until none is left.
    void work() {
        for (;;) {
            const int first = next_.fetch_add(band_, std::memory_order_relaxed);
            if (first >= height_) return;
            const int last = std::min(first + band_, height_);
            paint_ramp_rows(job_, first, last);
            painted_.fetch_add(last - first, std::memory_order_release);
            painted_.notify_all();
        }
    }

    void wait_until_painted() {
        for (int seen = painted_.load(std::memory_order_acquire); seen < height_;
             seen = painted_.load(std::memory_order_acquire)) {
            painted_.wait(seen, std::memory_order_acquire);
        }
    }

  private:
    const RampJob job_;  // read only while a band is left, so only before the caller returns
    const int height_;
    const int band_;
    std::atomic<int> next_{0};
    std::atomic<int> painted_{0};
};

}  // namespace

Path choose_path(const Geometry& geometry, const ColourLine& line) {
    const int64_t pixels = int64_t{geometry.width()} * geometry.height();
    if (pixels == 0) return Path::kEmpty;
    if (line.count() == 0 || geometry.constant()) return Path::kConstant;
    if (picture::painted_exactly(pixels, line.cells())) return Path::kExact;
    return Path::kRamp;
}

void fill_ramp(const ColourLine& line, ByteOrder order, uint32_t* table) {
    ramp_loops().fill(line, order, table);
}

const char* ramp_loop_name() {
    return ramp_loops().name;
}

void paint(const Geometry& geometry, const ColourLine& line, const uint32_t* table, bool marked,
           ByteOrder order, Pixels out) {
    const Path path = choose_path(geometry, line);
    if (path == Path::kEmpty) return;
    if (path == Path::kConstant) {
        uint8_t rgba[4];
        line.at(0.0, rgba);
        fill(geometry, order.pack(rgba), out);
        return;
    }
    if (path == Path::kExact) {
        paint_exact_rows(geometry, line, order, out, 0, geometry.height());
        return;
    }
    const int width = geometry.width();
    const int height = geometry.height();
    std::vector<float> terms(static_cast<size_t>(width) + static_cast<size_t>(height));
    geometry.scaled_axes(line.cells(), terms.data(), terms.data() + width);
    const RampJob job{&geometry,
                      &line,
                      table,
                      marked,
                      order,
                      terms.data(),
                      terms.data() + width,
                      static_cast<float>(line.cells() - 1),
                      out};
    const unsigned threads = thread_count(int64_t{width} * height, height);
    if (threads == 1) {
        paint_ramp_rows(job, 0, height);
        return;
    }
    // Bands of rows handed out in order to whichever thread asks next, the caller's included.
    // The caller waits for the bands others took, not for the others: a helper that the
    // scheduler keeps waiting (the cores are busy elsewhere) finds no band left when it runs and
    // ends, touching nothing but the shared counters it owns a share of. Which thread paints a
    // row never changes it.
    const int band = std::max(1, static_cast<int>(kParallelPixels / 8 / std::max(width, 1)));
    std::shared_ptr<Bands> bands;
    try {
        bands = std::make_shared<Bands>(job, height, band);
    } catch (const std::exception&) {
        paint_ramp_rows(job, 0, height);
        return;
    }
    for (unsigned i = 1; i < threads; ++i) {
        try {
            std::thread([bands] { bands->work(); }).detach();
        } catch (const std::exception&) {
            break;  // the caller paints what that thread would have
        }
    }
    bands->work();
    bands->wait_until_painted();
}

}  // namespace zorva::zvpicture
