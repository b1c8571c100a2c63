// Module `zorva_ui.fast.zvpicture.zvpicture`: the CPU renderer's entry points. Arguments are
// read into the picture model (fast/picture/gradient_model.h) while the interpreter lock is
// held; the pixels are written without it.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstring>
#include <new>
#include <vector>

#include "fast/common/args.h"
#include "fast/common/module.h"
#include "fast/common/pyref.h"
#include "fast/picture/gradient_model.h"
#include "fast/zvpicture/paint.h"

namespace zorva::zvpicture {

namespace {

constexpr const char kModuleName[] = "zorva_ui.fast.zvpicture.zvpicture";

using picture::ByteOrder;
using picture::ColourLine;
using picture::Geometry;
using picture::kMaxColors;

// ---- Reading the arguments --------------------------------------------------------------------

// obj[index] as a 32-bit float.
int item_to_float(PyObject* sequence, Py_ssize_t index, float* out) {
    PyRef item = PyRef::steal(PySequence_GetItem(sequence, index));
    if (!item) return -1;
    return to_float(item.get(), out);
}

// The values of the shader's uniforms, as the model takes them.
struct Inputs {
    int count = 0;
    float colours[kMaxColors][4];
    float stops[kMaxColors];
    float alpha = 1.0f;
    ByteOrder order;

    bool operator==(const Inputs& other) const {
        const size_t n = static_cast<size_t>(count);
        return count == other.count && order.position == other.order.position &&
               std::memcmp(&alpha, &other.alpha, sizeof alpha) == 0 &&
               std::memcmp(colours, other.colours, n * sizeof colours[0]) == 0 &&
               std::memcmp(stops, other.stops, n * sizeof stops[0]) == 0;
    }
};

int read_colour(PyObject* colour, float out[4]) {
    const Py_ssize_t length = PySequence_Length(colour);
    if (length < 0) return -1;
    if (length != 4) {
        PyErr_Format(PyExc_ValueError, "a colour has 4 channels (r, g, b, a), got %zd", length);
        return -1;
    }
    for (Py_ssize_t c = 0; c < 4; ++c) {
        if (item_to_float(colour, c, &out[c]) < 0) return -1;
    }
    return 0;
}

// Count, colours, stops and alpha. The count is clamped to 0..64; the sequences must hold at
// least that many entries.
int read_colour_line(PyObject* colours, PyObject* stops, PyObject* color_count, PyObject* alpha,
                     Inputs* in) {
    int64_t requested;
    if (to_int64(color_count, &requested) < 0) return -1;
    const int count = static_cast<int>(std::min<int64_t>(std::max<int64_t>(requested, 0), 64));
    const Py_ssize_t colour_length = PySequence_Length(colours);
    if (colour_length < 0) return -1;
    const Py_ssize_t stop_length = PySequence_Length(stops);
    if (stop_length < 0) return -1;
    if (colour_length < count || stop_length < count) {
        PyErr_Format(PyExc_ValueError,
                     "colorCount %d needs as many colours and stops, got %zd and %zd", count,
                     colour_length, stop_length);
        return -1;
    }
    in->count = count;
    for (int i = 0; i < count; ++i) {
        PyRef colour = PyRef::steal(PySequence_GetItem(colours, i));
        if (!colour || read_colour(colour.get(), in->colours[i]) < 0) return -1;
        if (item_to_float(stops, i, &in->stops[i]) < 0) return -1;
    }
    return to_float(alpha, &in->alpha);
}

int read_pair(PyObject* pair, const char* what, float* x, float* y) {
    const Py_ssize_t length = PySequence_Length(pair);
    if (length < 0) return -1;
    if (length != 2) {
        PyErr_Format(PyExc_ValueError, "%s is a pair (x, y), got %zd values", what, length);
        return -1;
    }
    if (item_to_float(pair, 0, x) < 0) return -1;
    return item_to_float(pair, 1, y);
}

int read_order(PyObject* order, ByteOrder* out) {
    if (order == nullptr || order == Py_None) {
        *out = ByteOrder::rgba();
        return 0;
    }
    if (PyUnicode_Check(order)) {
        if (PyUnicode_CompareWithASCIIString(order, "RGBA") == 0) {
            *out = ByteOrder::rgba();
            return 0;
        }
        if (PyUnicode_CompareWithASCIIString(order, "BGRA") == 0) {
            *out = ByteOrder::bgra();
            return 0;
        }
    }
    PyErr_Format(PyExc_ValueError, "order must be 'RGBA' or 'BGRA', got %R", order);
    return -1;
}

// ---- The memo of one gradient's ramp ----------------------------------------------------------

// The last colour line and ramp a gradient painted with, reused while its colours, stops, alpha
// and byte order stay the same.
struct RampObject {
    PyObject_HEAD Inputs inputs;
    ColourLine line;
    std::vector<uint32_t> table;  // empty until a picture takes the ramp path
    bool marked;
    bool valid;
    int painting;  // paints running on this memo without the interpreter lock
};

PyObject* ramp_new(PyTypeObject* type, Args) {
    PyRef self = PyRef::steal(type->tp_alloc(type, 0));
    if (!self) return nullptr;
    RampObject* ramp = reinterpret_cast<RampObject*>(self.get());
    new (&ramp->inputs) Inputs();
    new (&ramp->line) ColourLine();
    new (&ramp->table) std::vector<uint32_t>();
    ramp->marked = false;
    ramp->valid = false;
    ramp->painting = 0;
    return self.release();
}

void ramp_dealloc(PyObject* self) {
    RampObject* ramp = reinterpret_cast<RampObject*>(self);
    ramp->table.~vector();
    Py_TYPE(self)->tp_free(self);
}

constexpr Callable kRampNew{kModuleName, "Ramp.__new__", "()", ramp_new,
                            "The colour ramp a gradient painted with last, kept for its next "
                            "picture while its colours, stops and alpha stay the same."};

PyTypeObject RampType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0).tp_name = "zorva_ui.fast.zvpicture.zvpicture.Ramp",
    .tp_basicsize = sizeof(RampObject),
    .tp_dealloc = ramp_dealloc,
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_doc = type_doc<kRampNew>,
    .tp_new = new_slot<kRampNew>,
};

// The ramp of `line` in `order`: `cells()` packed colours. 0, or -1 with MemoryError.
int build_table(const ColourLine& line, ByteOrder order, std::vector<uint32_t>* table,
                bool* marked) {
    try {
        table->resize(static_cast<size_t>(line.cells()));
    } catch (const std::exception&) {
        PyErr_NoMemory();
        return -1;
    }
    fill_ramp(line, order, table->data());
    const uint32_t marker = order.marker();
    *marked = std::find(table->begin(), table->end(), marker) != table->end();
    return 0;
}

// ---- The caller's memory ----------------------------------------------------------------------

// A writable, C-contiguous buffer of bytes or 32-bit pixels, released on destruction.
class TargetBuffer {
  public:
    TargetBuffer() = default;
    TargetBuffer(const TargetBuffer&) = delete;
    TargetBuffer& operator=(const TargetBuffer&) = delete;
    ~TargetBuffer() {
        if (held_) PyBuffer_Release(&view_);
    }

    // 0, or -1 with TypeError (no buffer, read-only, not bytes or pixels) or ValueError (not
    // contiguous, wrong size).
    int acquire(PyObject* target, Py_ssize_t needed) {
        if (!PyObject_CheckBuffer(target)) {
            PyErr_Format(PyExc_TypeError,
                         "the target must be a writable buffer (bytearray, memoryview, numpy "
                         "array, ...) or None, got %.200s",
                         Py_TYPE(target)->tp_name);
            return -1;
        }
        if (PyObject_GetBuffer(target, &view_, PyBUF_RECORDS_RO) < 0) {
            if (PyErr_ExceptionMatches(PyExc_BufferError)) {
                PyErr_Clear();
                if (PyObject_GetBuffer(target, &view_, PyBUF_FULL_RO) < 0) return -1;
            } else {
                return -1;
            }
        }
        held_ = true;
        if (view_.readonly) {
            PyErr_Format(PyExc_TypeError, "the target buffer (%.200s) is read-only",
                         Py_TYPE(target)->tp_name);
            return -1;
        }
        if (!holds_pixels()) {
            PyErr_Format(PyExc_TypeError,
                         "the target buffer must hold bytes or 32-bit unsigned pixels, got "
                         "format '%s' of %zd-byte items",
                         view_.format ? view_.format : "B", view_.itemsize);
            return -1;
        }
        if (!PyBuffer_IsContiguous(&view_, 'C')) {
            PyErr_SetString(PyExc_ValueError,
                            "the target buffer must be C-contiguous (rows one after another)");
            return -1;
        }
        if (view_.len != needed) {
            PyErr_Format(PyExc_ValueError,
                         "the target buffer holds %zd bytes, the picture needs %zd", view_.len,
                         needed);
            return -1;
        }
        return 0;
    }

    uint8_t* data() const { return static_cast<uint8_t*>(view_.buf); }

  private:
    bool holds_pixels() const {
        const char* f = view_.format ? view_.format : "B";
        if (*f == '@' || *f == '=' || *f == '<' || *f == '!' || *f == '>') ++f;
        if (view_.itemsize == 1) return std::strcmp(f, "B") == 0 || std::strcmp(f, "c") == 0;
        if (view_.itemsize == 4) return std::strcmp(f, "I") == 0 || std::strcmp(f, "L") == 0;
        return false;
    }

    Py_buffer view_{};
    bool held_ = false;
};

// ---- Module functions -------------------------------------------------------------------------

int refuse_negative(int32_t width, int32_t height) {
    if (width >= 0 && height >= 0) return 0;
    PyErr_Format(PyExc_ValueError, "width and height must not be negative, got %dx%d", width,
                 height);
    return -1;
}

// Paints the line over the geometry into `pixels`; the ramp comes from `memo` when it holds
// the same line, else it is built (and kept in `memo`, if given). 0, or -1 with an exception.
int paint_picture(const Geometry& geometry, const Inputs& in, RampObject* memo, Pixels pixels) {
    // A memo another thread is painting from is left alone; this picture uses its own ramp.
    if (memo != nullptr && memo->painting > 0) memo = nullptr;
    ColourLine local_line;
    std::vector<uint32_t> local_table;
    bool local_marked = false;
    const ColourLine* line = &local_line;
    std::vector<uint32_t>* table = &local_table;
    bool* marked = &local_marked;
    if (memo != nullptr) {
        if (!memo->valid || !(memo->inputs == in)) {
            memo->valid = false;
            memo->inputs = in;
            memo->line.assign(in.colours, in.stops, in.count, in.alpha);
            memo->table.clear();
            memo->valid = true;
        }
        line = &memo->line;
        table = &memo->table;
        marked = &memo->marked;
    } else {
        local_line.assign(in.colours, in.stops, in.count, in.alpha);
    }
    const Path path = choose_path(geometry, *line);
    if (path == Path::kRamp && table->empty()) {
        if (build_table(*line, in.order, table, marked) < 0) return -1;
    }
    const int64_t pixel_count = int64_t{geometry.width()} * geometry.height();
    if (pixel_count >= kParallelPixels) {
        if (memo != nullptr) ++memo->painting;
        Py_BEGIN_ALLOW_THREADS;
        paint(geometry, *line, table->data(), *marked, in.order, pixels);
        Py_END_ALLOW_THREADS;
        if (memo != nullptr) --memo->painting;
    } else {
        paint(geometry, *line, table->data(), *marked, in.order, pixels);
    }
    return 0;
}

// paint(target, width, height, gradient_type, angle, center, colors, stops, color_count, alpha,
//       size=None, ramp=None, stride=None, order=None)
PyObject* paint_entry(PyObject*, Args a) {
    int32_t width, height, gradient_type;
    if (to_int32(a[1], &width) < 0 || to_int32(a[2], &height) < 0) return nullptr;
    if (refuse_negative(width, height) < 0) return nullptr;
    if (to_int32_any_size(a[3], &gradient_type) < 0) return nullptr;
    float angle, center_x, center_y;
    if (to_float(a[4], &angle) < 0) return nullptr;
    if (read_pair(a[5], "center", &center_x, &center_y) < 0) return nullptr;
    Inputs in;
    if (read_colour_line(a[6], a[7], a[8], a[9], &in) < 0) return nullptr;
    float size_w = static_cast<float>(width), size_h = static_cast<float>(height);
    if (a[10] != Py_None && read_pair(a[10], "size", &size_w, &size_h) < 0) return nullptr;
    RampObject* memo = nullptr;
    if (a[11] != Py_None) {
        if (!PyObject_TypeCheck(a[11], &RampType)) {
            PyErr_Format(PyExc_TypeError, "ramp must be a Ramp or None, got %.200s",
                         Py_TYPE(a[11])->tp_name);
            return nullptr;
        }
        memo = reinterpret_cast<RampObject*>(a[11]);
    }
    Py_ssize_t stride = static_cast<Py_ssize_t>(width) * 4;
    if (a[12] != Py_None) {
        int64_t given;
        if (to_int64(a[12], &given) < 0) return nullptr;
        if (given < stride || given > PY_SSIZE_T_MAX / std::max<int64_t>(height, 1)) {
            PyErr_Format(PyExc_ValueError,
                         "stride must be at least 4 * width (%zd) bytes, got %lld", stride,
                         static_cast<long long>(given));
            return nullptr;
        }
        stride = static_cast<Py_ssize_t>(given);
    }
    if (read_order(a[13], &in.order) < 0) return nullptr;
    if (height > 0 && stride > PY_SSIZE_T_MAX / height) {
        PyErr_Format(PyExc_MemoryError, "a %dx%d picture does not fit in memory", width, height);
        return nullptr;
    }
    const Py_ssize_t needed = stride * height;
    const Geometry geometry(gradient_type, angle, center_x, center_y, size_w, size_h, width,
                            height);
    PyRef keep_memo = PyRef::borrow(reinterpret_cast<PyObject*>(memo));
    if (a[0] == Py_None) {
        PyRef result = PyRef::steal(PyBytes_FromStringAndSize(nullptr, needed));
        if (!result) return nullptr;
        uint8_t* data = reinterpret_cast<uint8_t*>(PyBytes_AS_STRING(result.get()));
        if (stride != static_cast<Py_ssize_t>(width) * 4) std::memset(data, 0, needed);
        if (paint_picture(geometry, in, memo, Pixels{data, stride}) < 0) return nullptr;
        return result.release();
    }
    TargetBuffer target;
    if (target.acquire(a[0], needed) < 0) return nullptr;
    if (paint_picture(geometry, in, memo, Pixels{target.data(), stride}) < 0) return nullptr;
    Py_RETURN_NONE;
}

// compute_stops(weights): one stop per weight.
PyObject* compute_stops_entry(PyObject*, PyObject* weights) {
    PyRef sequence = PyRef::steal(PySequence_Fast(weights, "weights must be a sequence"));
    if (!sequence) return nullptr;
    const Py_ssize_t count = PySequence_Fast_GET_SIZE(sequence.get());
    std::vector<float> values;
    try {
        values.resize(2 * static_cast<size_t>(count));
    } catch (const std::exception&) {
        return PyErr_NoMemory();
    }
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyRef item = PyRef::borrow(PySequence_Fast_GET_ITEM(sequence.get(), i));
        if (to_float(item.get(), &values[i]) < 0) return nullptr;
    }
    float* stops = values.data() + count;
    picture::stops_from_weights(values.data(), static_cast<size_t>(count), stops);
    PyRef list = PyRef::steal(PyList_New(count));
    if (!list) return nullptr;
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject* number = PyFloat_FromDouble(stops[i]);
        if (number == nullptr) return nullptr;
        PyList_SET_ITEM(list.get(), i, number);
    }
    return list.release();
}

PyObject* ramp_loop_entry(PyObject*) {
    return PyUnicode_FromString(ramp_loop_name());
}

constexpr Callable kPaint{
    kModuleName, "paint",
    "(target, width, height, gradient_type, angle, center, colors, stops, color_count, alpha, "
    "size=None, ramp=None, stride=None, order=None)",
    paint_entry,
    "Paints the gradient picture of these uniform values: premultiplied colour, 4 bytes a pixel "
    "in `order` ('RGBA', the default, or 'BGRA'), rows `stride` bytes apart (default 4 * width), "
    "the top row first. Into `target`, a writable C-contiguous buffer of exactly stride * height "
    "bytes (returns None), or, when `target` is None, into new bytes (returned). `ramp`, a Ramp, "
    "keeps the colour ramp for the next call."};
constexpr Callable kComputeStops{kModuleName, "compute_stops", "(weights, /)", compute_stops_entry,
                                 "Stop positions (0..1) from colour weights, one per weight."};
constexpr Callable kRampLoop{kModuleName, "ramp_loop", "()", ramp_loop_entry,
                             "The pixel loop the ramp path uses here: 'avx2' or 'generic'."};

int add_types(PyObject* module) {
    return add_type(module, &RampType);
}

int add_constants(PyObject* module) {
    if (PyModule_AddIntConstant(module, "MAX_COLORS", kMaxColors) < 0) return -1;
    return PyModule_AddIntConstant(module, "PARALLEL_PIXELS", kParallelPixels);
}

constexpr ModuleSpec kModule{kModuleName,
                             "The CPU renderer of gradient pictures.",
                             method_table<kPaint, kComputeStops, kRampLoop>,
                             {add_types, add_constants}};

}  // namespace
}  // namespace zorva::zvpicture

PyMODINIT_FUNC PyInit_zvpicture() {
    return zorva::define_module<zorva::zvpicture::kModule>();
}
