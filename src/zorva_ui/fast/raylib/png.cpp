#include "fast/raylib/png.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

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

uint8_t paeth(uint8_t a, uint8_t b, uint8_t c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

// One row through one filter; `prev` is the row above (zeros above the first row). A template,
// so that each filter's loop is compiled on its own, without a branch per byte.
template <int kFilter>
void filter_row(const uint8_t* row, const uint8_t* prev, size_t n, uint8_t* out) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t a = i >= kChannels ? row[i - kChannels] : 0;
        const uint8_t b = prev[i];
        const uint8_t c = i >= kChannels ? prev[i - kChannels] : 0;
        uint8_t predicted = 0;
        if constexpr (kFilter == 1) predicted = a;
        if constexpr (kFilter == 2) predicted = b;
        if constexpr (kFilter == 3) predicted = static_cast<uint8_t>((a + b) / 2);
        if constexpr (kFilter == 4) predicted = paeth(a, b, c);
        out[i] = static_cast<uint8_t>(row[i] - predicted);
    }
}

using FilterFn = void (*)(const uint8_t*, const uint8_t*, size_t, uint8_t*);
constexpr FilterFn kFilters[kFilterCount] = {filter_row<0>, filter_row<1>, filter_row<2>,
                                             filter_row<3>, filter_row<4>};

// The usual estimate of how well a filtered row compresses: the sum of its bytes read as
// signed distances from zero.
uint64_t row_cost(const uint8_t* filtered, size_t n) {
    uint64_t sum = 0;
    for (size_t i = 0; i < n; ++i) sum += filtered[i] < 128 ? filtered[i] : 256 - filtered[i];
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

// One part of the image data as raw deflate data, ending on a byte boundary or, for the last
// part, with the final block.
PyRef deflate_part(PyObject* zlib, PyObject* data, int level, bool last) {
    PyRef deflater = PyRef::steal(
        PyObject_CallMethod(zlib, "compressobj", "iii", level, kDeflated, kRawWindowBits));
    if (!deflater) return PyRef();
    PyRef head = PyRef::steal(PyObject_CallMethod(deflater.get(), "compress", "O", data));
    if (!head) return PyRef();
    PyRef tail = PyRef::steal(
        PyObject_CallMethod(deflater.get(), "flush", "i", last ? kFinish : kSyncFlush));
    if (!tail) return PyRef();
    return PyRef::steal(PyNumber_Add(head.get(), tail.get()));
}

struct Part {
    PyRef data;                 // a memoryview of the part's bytes
    PyRef result;               // its raw deflate data, or null
    PyObject* error = nullptr;  // the exception raised by a worker thread
};

void deflate_in_thread(PyObject* zlib, Part* part, int level, bool last) {
    const PyGILState_STATE state = PyGILState_Ensure();
    part->result = deflate_part(zlib, part->data.get(), level, last);
    if (!part->result) part->error = PyErr_GetRaisedException();
    PyGILState_Release(state);
}

// The zlib stream of `raw` (whole rows of `stride` bytes). zlib lets go of the interpreter lock
// while it deflates, so a large picture is cut at row boundaries into parts deflated side by
// side; each part but the last ends on a byte boundary, so their data simply follow each other
// in one stream, and the stream's Adler-32 is taken over the whole.
PyRef zlib_stream(PyObject* raw, size_t stride, int level) {
    PyRef zlib = PyRef::steal(PyImport_ImportModule("zlib"));
    if (!zlib) return PyRef();
    const size_t size = static_cast<size_t>(PyBytes_GET_SIZE(raw));
    const size_t rows = size / stride;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const size_t count =
        std::max<size_t>(1, std::min<size_t>({cores, kMaxParts, size / kMinPartBytes, rows}));
    std::vector<Part> parts(count);
    char* bytes = PyBytes_AS_STRING(raw);
    for (size_t i = 0; i < count; ++i) {
        const size_t begin = rows * i / count * stride, end = rows * (i + 1) / count * stride;
        parts[i].data = PyRef::steal(PyMemoryView_FromMemory(
            bytes + begin, static_cast<Py_ssize_t>(end - begin), PyBUF_READ));
        if (!parts[i].data) return PyRef();
    }
    std::vector<std::thread> workers;
    try {
        for (size_t i = 1; i < count; ++i) {
            workers.emplace_back(deflate_in_thread, zlib.get(), &parts[i], level, i + 1 == count);
        }
    } catch (const std::system_error&) {
        // No thread to be had: the parts not started are deflated here, one after the other.
    }
    parts[0].result = deflate_part(zlib.get(), parts[0].data.get(), level, count == 1);
    PyObject* first_error = parts[0].result ? nullptr : PyErr_GetRaisedException();
    Py_BEGIN_ALLOW_THREADS;
    for (std::thread& worker : workers) worker.join();
    Py_END_ALLOW_THREADS;
    for (size_t i = workers.size() + 1; i < count && first_error == nullptr; ++i) {
        parts[i].result = deflate_part(zlib.get(), parts[i].data.get(), level, i + 1 == count);
        if (!parts[i].result) first_error = PyErr_GetRaisedException();
    }
    for (Part& part : parts) {
        if (part.error == nullptr) continue;
        if (first_error == nullptr) {
            first_error = part.error;
        } else {
            Py_DECREF(part.error);
        }
    }
    if (first_error != nullptr) {
        PyErr_SetRaisedException(first_error);
        return PyRef();
    }
    PyRef adler = PyRef::steal(PyObject_CallMethod(zlib.get(), "adler32", "O", raw));
    if (!adler) return PyRef();
    const unsigned long checksum = PyLong_AsUnsignedLong(adler.get());
    if (checksum == static_cast<unsigned long>(-1) && PyErr_Occurred()) return PyRef();
    std::string stream("\x78\x9c", 2);  // deflate, 32 KiB window, default level
    for (const Part& part : parts) {
        stream.append(PyBytes_AS_STRING(part.result.get()),
                      static_cast<size_t>(PyBytes_GET_SIZE(part.result.get())));
    }
    put_u32(stream, static_cast<uint32_t>(checksum));
    return PyRef::steal(
        PyBytes_FromStringAndSize(stream.data(), static_cast<Py_ssize_t>(stream.size())));
}

// The image data of `rows`, each filtered or not, deflated; null with an exception.
PyRef deflate_rows(RowFilter& filter, const std::vector<int32_t>& rows, bool adaptive, int level) {
    const size_t stride = filter.row_bytes() + 1;
    PyRef raw = PyRef::steal(
        PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(stride * rows.size())));
    if (!raw) return PyRef();
    auto* out = reinterpret_cast<uint8_t*>(PyBytes_AS_STRING(raw.get()));
    for (size_t i = 0; i < rows.size(); ++i) filter.put(rows[i], adaptive, out + i * stride);
    return zlib_stream(raw.get(), stride, level);
}

// Filters help pictures whose rows differ by noise-free steps; smooth gradients as a GPU
// renders them often deflate better unfiltered, since each row repeats a shifted neighbour
// that deflate finds whole. So both ways are tried on three bands of rows, and the smaller
// wins for the picture.
int choose_adaptive(RowFilter& filter, int32_t height, bool* adaptive) {
    std::vector<int32_t> sample;
    if (height <= 3 * kSampleBand) {
        for (int32_t y = 0; y < height; ++y) sample.push_back(y);
    } else {
        for (int quarter = 1; quarter <= 3; ++quarter) {
            const int32_t start =
                static_cast<int32_t>(int64_t{height} * quarter / 4) - kSampleBand / 2;
            for (int32_t y = start; y < start + kSampleBand; ++y) sample.push_back(y);
        }
    }
    PyRef plain = deflate_rows(filter, sample, false, kTrialLevel);
    if (!plain) return -1;
    PyRef filtered = deflate_rows(filter, sample, true, kTrialLevel);
    if (!filtered) return -1;
    *adaptive = PyBytes_GET_SIZE(filtered.get()) < PyBytes_GET_SIZE(plain.get());
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

bool encode_png(const uint8_t* rgba, int32_t width, int32_t height, PngDeflate deflate,
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
        RowFilter filter(rgba, width);
        bool adaptive = false;
        if (choose_adaptive(filter, height, &adaptive) < 0) return false;
        std::vector<int32_t> rows(static_cast<size_t>(height));
        for (int32_t y = 0; y < height; ++y) rows[static_cast<size_t>(y)] = y;
        PyRef data = deflate_rows(filter, rows, adaptive, kLevel);
        if (!data) return false;
        put_chunk(png, "IDAT", PyBytes_AS_STRING(data.get()),
                  static_cast<size_t>(PyBytes_GET_SIZE(data.get())));
    }
    put_chunk(png, "IEND", "", 0);
    return true;
}

}  // namespace zorva::layer
