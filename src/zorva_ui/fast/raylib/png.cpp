#include "fast/raylib/png.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <initializer_list>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "fast/common/names.h"
#include "fast/common/pyref.h"

namespace zorva::layer {
namespace {

constexpr size_t kChannels = 4;  // RGBA8: filters look one pixel, four bytes, to the left
constexpr int kLevel = 6;        // zlib's default: most of the gain of 9 at a fraction of its time
constexpr int kTrialLevel = 2;  // tells which way a sample deflates smaller, at a third of 6's time
constexpr int kFilterCount = 5;      // None, Sub, Up, Average, Paeth
constexpr int32_t kSampleBand = 64;  // rows: long enough for deflate to find repeated rows

const std::array<uint32_t, 256>& crc_table() {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    return table;
}

uint32_t crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
    const auto& table = crc_table();
    crc ^= 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

void put_u32(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>(v >> 24));
    out.push_back(static_cast<char>(v >> 16));
    out.push_back(static_cast<char>(v >> 8));
    out.push_back(static_cast<char>(v));
}

void put_chunk(std::string& out, const char type[4], const char* data, size_t size) {
    put_u32(out, static_cast<uint32_t>(size));
    const size_t body = out.size();
    out.append(type, 4);
    out.append(data, size);
    put_u32(out, crc32(reinterpret_cast<const uint8_t*>(out.data()) + body, size + 4));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::string zlib_stored(const std::string& raw) {
    std::string out;
    out.push_back(0x78);
    out.push_back(0x01);
    uint32_t a = 1, b = 0;
    for (unsigned char byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    size_t offset = 0;
    do {
        const size_t len = std::min<size_t>(65535, raw.size() - offset);
        const bool final = offset + len == raw.size();
        out.push_back(final ? 1 : 0);
        out.push_back(static_cast<char>(len & 0xFF));
        out.push_back(static_cast<char>(len >> 8));
        out.push_back(static_cast<char>(~len & 0xFF));
        out.push_back(static_cast<char>((~len >> 8) & 0xFF));
        out.append(raw, offset, len);
        offset += len;
    } while (offset < raw.size());
    put_u32(out, (b << 16) | a);
    return out;
}

// The byte a filter predicts from its left (a), upper (b) and upper-left (c) neighbours.
template <int kFilter>
inline uint8_t predict(int a, int b, int c) {
    if constexpr (kFilter == 1) return static_cast<uint8_t>(a);
    if constexpr (kFilter == 2) return static_cast<uint8_t>(b);
    if constexpr (kFilter == 3) return static_cast<uint8_t>((a + b) >> 1);
    if constexpr (kFilter == 4) {  // Paeth: the neighbour nearest a + b - c
        // In 16 bits, which the compiler vectorises (in int it does not).
        const int16_t up = static_cast<int16_t>(b - c), left = static_cast<int16_t>(a - c);
        const int16_t pa = up < 0 ? -up : up, pb = left < 0 ? -left : left;
        const int16_t sum = static_cast<int16_t>(up + left), pc = sum < 0 ? -sum : sum;
        const int16_t nearer = static_cast<int16_t>(pb <= pc ? b : c);
        return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : nearer);
    }
    return 0;
}

// One row through one filter; `prev` is the row above (zeros above the first row). The first
// pixel, which has no left neighbours, is done apart, so that the main loop has no branch and
// the compiler can vectorise it.
template <int kFilter>
void filter_row(const uint8_t* row, const uint8_t* prev, size_t n, uint8_t* out) {
    const size_t head = std::min(n, kChannels);
    for (size_t i = 0; i < head; ++i)
        out[i] = static_cast<uint8_t>(row[i] - predict<kFilter>(0, prev[i], 0));
    for (size_t i = head; i < n; ++i) {
        out[i] = static_cast<uint8_t>(
            row[i] - predict<kFilter>(row[i - kChannels], prev[i], prev[i - kChannels]));
    }
}

using FilterFn = void (*)(const uint8_t*, const uint8_t*, size_t, uint8_t*);
constexpr FilterFn kFilters[kFilterCount] = {filter_row<0>, filter_row<1>, filter_row<2>,
                                             filter_row<3>, filter_row<4>};

// The usual estimate of how well a filtered row compresses: the sum of its bytes read as
// signed distances from zero.
uint64_t row_cost(const uint8_t* filtered, size_t n) {
    uint64_t sum = 0;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t v = filtered[i];
        sum += std::min(v, static_cast<uint8_t>(0 - v));  // |v| read as a signed byte
    }
    return sum;
}

class RowFilter {
  public:
    RowFilter(const uint8_t* rgba, int32_t width)
        : rgba_(rgba),
          n_(static_cast<size_t>(width) * kChannels),
          zeros_(n_, 0),
          scratch_(n_ * kFilterCount) {}

    size_t row_bytes() const { return n_; }

    // Row y as it goes into the image data, its filter type byte first. `adaptive` picks the
    // filter of the lowest cost; otherwise the row is stored as it is.
    void put(int32_t y, bool adaptive, uint8_t* out) {
        const uint8_t* row = rgba_ + n_ * static_cast<size_t>(y);
        if (!adaptive) {
            out[0] = 0;
            std::copy(row, row + n_, out + 1);
            return;
        }
        const uint8_t* prev = y > 0 ? row - n_ : zeros_.data();
        int best = 0;
        uint64_t best_cost = UINT64_MAX;
        for (int f = 0; f < kFilterCount; ++f) {
            uint8_t* filtered = scratch_.data() + n_ * static_cast<size_t>(f);
            kFilters[f](row, prev, n_, filtered);
            const uint64_t cost = row_cost(filtered, n_);
            if (cost < best_cost) {
                best = f;
                best_cost = cost;
            }
        }
        out[0] = static_cast<uint8_t>(best);
        const uint8_t* chosen = scratch_.data() + n_ * static_cast<size_t>(best);
        std::copy(chosen, chosen + n_, out + 1);
    }

  private:
    const uint8_t* rgba_;
    size_t n_;
    std::vector<uint8_t> zeros_;
    std::vector<uint8_t> scratch_;
};

// zlib's constants, part of its stable interface.
constexpr int kDeflated = 8;
constexpr int kRawWindowBits = -15;  // raw deflate data: no zlib header or checksum of a part
constexpr int kSyncFlush = 2;        // Z_SYNC_FLUSH: ends the output on a byte boundary
constexpr int kFinish = 4;           // Z_FINISH: the final block
constexpr size_t kMinPartBytes = size_t{1} << 19;
constexpr unsigned kMaxParts = 4;

// Rows of the picture filtered and deflated as one piece: a part of the image data, or one
// way of writing the sample that the filter choice is tried on.
struct Job {
    std::vector<int32_t> rows;
    bool adaptive = false;
    int level = kLevel;
    bool last = true;           // ends the deflate stream (else ends on a byte boundary)
    std::vector<uint8_t> raw;   // the rows as stored, each after its filter type byte
    PyRef result;               // the raw deflate data
    PyObject* error = nullptr;  // an exception raised on a worker thread
    bool out_of_memory = false;
};

// Runs without the interpreter lock: no Python here.
void filter_job(const uint8_t* rgba, int32_t width, Job& job) {
    try {
        RowFilter filter(rgba, width);
        const size_t stride = filter.row_bytes() + 1;
        job.raw.resize(stride * job.rows.size());
        for (size_t i = 0; i < job.rows.size(); ++i) {
            filter.put(job.rows[i], job.adaptive, job.raw.data() + i * stride);
        }
    } catch (const std::bad_alloc&) {
        job.out_of_memory = true;
    }
}

// The zlib methods called, interned at their first use.
InternedName compressobj_name{"compressobj"}, compress_name{"compress"}, flush_name{"flush"},
    adler32_name{"adler32"};

// `self.name(*args)` without an argument tuple: tuples made per call would settle in the
// interpreter's free lists, which a leak check cannot tell from growth.
PyRef call_method(PyObject* self, InternedName& name, std::initializer_list<PyObject*> args) {
    if (name.make() < 0) return PyRef();
    PyObject* stack[4] = {self};
    size_t count = 1;
    for (PyObject* arg : args) stack[count++] = arg;
    return PyRef::steal(PyObject_VectorcallMethod(name.get(), stack, count, nullptr));
}

// With the interpreter lock held (zlib lets go of it while it deflates).
int deflate_job(PyObject* zlib, Job& job) {
    if (job.out_of_memory) {
        PyErr_NoMemory();
        return -1;
    }
    PyRef data =
        PyRef::steal(PyMemoryView_FromMemory(reinterpret_cast<char*>(job.raw.data()),
                                             static_cast<Py_ssize_t>(job.raw.size()), PyBUF_READ));
    if (!data) return -1;
    PyRef level = PyRef::steal(PyLong_FromLong(job.level));
    PyRef method = PyRef::steal(PyLong_FromLong(kDeflated));
    PyRef window = PyRef::steal(PyLong_FromLong(kRawWindowBits));
    PyRef mode = PyRef::steal(PyLong_FromLong(job.last ? kFinish : kSyncFlush));
    if (!level || !method || !window || !mode) return -1;
    PyRef deflater = call_method(zlib, compressobj_name, {level.get(), method.get(), window.get()});
    if (!deflater) return -1;
    PyRef head = call_method(deflater.get(), compress_name, {data.get()});
    if (!head) return -1;
    PyRef tail = call_method(deflater.get(), flush_name, {mode.get()});
    if (!tail) return -1;
    job.result = PyRef::steal(PyNumber_Add(head.get(), tail.get()));
    if (job.result && !PyBytes_Check(job.result.get())) {
        PyErr_SetString(PyExc_TypeError, "zlib returned something other than bytes");
        job.result.reset();
    }
    return job.result ? 0 : -1;
}

void job_thread(PyObject* zlib, const uint8_t* rgba, int32_t width, Job* job) {
    filter_job(rgba, width, *job);
    const PyGILState_STATE state = PyGILState_Ensure();
    if (deflate_job(zlib, *job) < 0) job->error = PyErr_GetRaisedException();
    PyGILState_Release(state);
}

// Runs the jobs, the first on this thread and, when `side_by_side`, each other one on a thread of
// its own (else, or when no thread can be had, here after the first). 0, or -1 with an exception.
int run_jobs(PyObject* zlib, const uint8_t* rgba, int32_t width, std::vector<Job>& jobs,
             bool side_by_side) {
    std::vector<std::thread> workers;
    try {
        for (size_t i = 1; side_by_side && i < jobs.size(); ++i) {
            workers.emplace_back(job_thread, zlib, rgba, width, &jobs[i]);
        }
    } catch (const std::system_error&) {
    }
    Job& first = jobs[0];
    Py_BEGIN_ALLOW_THREADS;
    filter_job(rgba, width, first);
    Py_END_ALLOW_THREADS;
    PyObject* error = deflate_job(zlib, first) < 0 ? PyErr_GetRaisedException() : nullptr;
    Py_BEGIN_ALLOW_THREADS;
    for (std::thread& worker : workers) worker.join();
    Py_END_ALLOW_THREADS;
    for (size_t i = workers.size() + 1; i < jobs.size() && error == nullptr; ++i) {
        filter_job(rgba, width, jobs[i]);
        if (deflate_job(zlib, jobs[i]) < 0) error = PyErr_GetRaisedException();
    }
    for (Job& job : jobs) {
        if (job.error == nullptr) continue;
        if (error == nullptr) {
            error = job.error;
        } else {
            Py_DECREF(job.error);
        }
        job.error = nullptr;
    }
    if (error != nullptr) {
        PyErr_SetRaisedException(error);
        return -1;
    }
    return 0;
}

// Filters help pictures whose rows differ by noise-free steps; smooth gradients as a GPU
// renders them often deflate better unfiltered, since each row repeats a shifted neighbour
// that deflate finds whole. So both ways are tried, side by side, on three bands of rows, and
// filters are used when they make the sample clearly smaller: where the sample cannot tell the
// two apart, filters cost a pass over every row and may lose on the whole picture by far (a
// radial gradient with alpha: 0.7% smaller in the sample, 60% larger in the whole).
int choose_adaptive(PyObject* zlib, const uint8_t* rgba, int32_t width, int32_t height,
                    bool* adaptive) {
    std::vector<Job> trial(2);
    std::vector<int32_t>& sample = trial[0].rows;
    if (height <= 3 * kSampleBand) {
        for (int32_t y = 0; y < height; ++y) sample.push_back(y);
    } else {
        for (int quarter = 1; quarter <= 3; ++quarter) {
            const int32_t start =
                static_cast<int32_t>(int64_t{height} * quarter / 4) - kSampleBand / 2;
            for (int32_t y = start; y < start + kSampleBand; ++y) sample.push_back(y);
        }
    }
    trial[1].rows = sample;
    trial[1].adaptive = true;
    for (Job& job : trial) job.level = kTrialLevel;
    // A thread costs more than a small sample takes.
    const size_t sample_bytes = sample.size() * (static_cast<size_t>(width) * kChannels + 1);
    if (run_jobs(zlib, rgba, width, trial, sample_bytes >= kMinPartBytes / 2) < 0) return -1;
    const Py_ssize_t filtered = PyBytes_GET_SIZE(trial[1].result.get());
    const Py_ssize_t plain = PyBytes_GET_SIZE(trial[0].result.get());
    *adaptive = filtered < plain - plain / 32;  // smaller by more than 3%
    return 0;
}

// The zlib stream of the whole picture. A large picture is cut at row boundaries into parts
// filtered and deflated side by side; each part but the last ends on a byte boundary, so their
// data simply follow each other in one stream, and the stream's Adler-32 is taken over all.
int deflate_picture(const uint8_t* rgba, int32_t width, int32_t height, std::string* stream) {
    PyRef zlib = PyRef::steal(PyImport_ImportModule("zlib"));
    if (!zlib) return -1;
    bool adaptive = false;
    if (choose_adaptive(zlib.get(), rgba, width, height, &adaptive) < 0) return -1;
    const size_t rows = static_cast<size_t>(height);
    const size_t size = rows * (static_cast<size_t>(width) * kChannels + 1);
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const size_t count =
        std::max<size_t>(1, std::min<size_t>({cores, kMaxParts, size / kMinPartBytes, rows}));
    std::vector<Job> parts(count);
    for (size_t i = 0; i < count; ++i) {
        for (size_t y = rows * i / count; y < rows * (i + 1) / count; ++y) {
            parts[i].rows.push_back(static_cast<int32_t>(y));
        }
        parts[i].adaptive = adaptive;
        parts[i].last = i + 1 == count;
    }
    if (run_jobs(zlib.get(), rgba, width, parts, true) < 0) return -1;
    PyRef adler = PyRef::steal(PyLong_FromLong(1));
    for (const Job& part : parts) {
        if (!adler) return -1;
        PyRef view = PyRef::steal(
            PyMemoryView_FromMemory(reinterpret_cast<char*>(const_cast<uint8_t*>(part.raw.data())),
                                    static_cast<Py_ssize_t>(part.raw.size()), PyBUF_READ));
        if (!view) return -1;
        adler = call_method(zlib.get(), adler32_name, {view.get(), adler.get()});
    }
    if (!adler) return -1;
    const unsigned long checksum = PyLong_AsUnsignedLong(adler.get());
    if (checksum == static_cast<unsigned long>(-1) && PyErr_Occurred()) return -1;
    stream->assign("\x78\x9c", 2);  // deflate, 32 KiB window, default level
    for (const Job& part : parts) {
        stream->append(PyBytes_AS_STRING(part.result.get()),
                       static_cast<size_t>(PyBytes_GET_SIZE(part.result.get())));
    }
    put_u32(*stream, static_cast<uint32_t>(checksum));
    return 0;
}

void put_header(std::string& png, int32_t width, int32_t height) {
    png.assign("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    put_u32(header, static_cast<uint32_t>(width));
    put_u32(header, static_cast<uint32_t>(height));
    // 8 bits, RGBA, deflate, adaptive filtering (type per row), no interlace
    header += std::string("\x08\x06\x00\x00\x00", 5);
    put_chunk(png, "IHDR", header.data(), header.size());
}

}  // namespace

int encode_png(const uint8_t* rgba, int32_t width, int32_t height, PngDeflate deflate,
               std::string* out) {
    std::string& png = *out;
    put_header(png, width, height);
    if (deflate == PngDeflate::kStored) {
        const size_t row = static_cast<size_t>(width) * kChannels;
        std::string raw;
        raw.reserve((row + 1) * static_cast<size_t>(height));
        for (int32_t y = 0; y < height; ++y) {
            raw.push_back(0);  // filter: none
            raw.append(reinterpret_cast<const char*>(rgba) + row * static_cast<size_t>(y), row);
        }
        const std::string data = zlib_stored(raw);
        put_chunk(png, "IDAT", data.data(), data.size());
    } else {
        std::string data;
        if (deflate_picture(rgba, width, height, &data) < 0) return -1;
        put_chunk(png, "IDAT", data.data(), data.size());
    }
    put_chunk(png, "IEND", "", 0);
    return 0;
}

}  // namespace zorva::layer
