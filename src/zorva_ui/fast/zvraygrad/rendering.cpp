// Drawing a gradient through the shared shader: into a new render texture
// (`generate_texture`) or onto the caller's current target (`ClickGradient.draw`).
#include <array>
#include <algorithm>
#include <cstring>
#include <memory>

#include "fast/common/args.h"
#include "fast/common/pyref.h"
#include "fast/zvraygrad/internal.h"

namespace zorva::grad {

namespace {

// The drawing modes begun by one call, and the guard that no other code changed the modes
// under it. Python code run inside the call (a conversion, an attribute read, a finaliser) may
// begin or end modes itself; each begun mode is then found again by its serial, so the call
// ends exactly the ones it began, in reverse order, whatever lies above or below them. A
// failure on the way out keeps the error that caused it, so a failed call never leaves one of
// its modes open.
class ModeScope {
  public:
    // From here on every change of the drawing modes that is not one of this call's begins
    // counts as a change under the call.
    ModeScope() : settled_(core().mode_changes()) {}
    ModeScope(const ModeScope&) = delete;
    ModeScope& operator=(const ModeScope&) = delete;
    ~ModeScope() {
        if (open_count_ == 0) return;
        PyObject* pending = PyErr_GetRaisedException();
        end_all();
        PyErr_Clear();  // the error that brought us here wins over one from an end call
        PyErr_SetRaisedException(pending);
    }

    // The mode of `kind` just begun, ended through `end` while it is the innermost one.
    void begun(int kind, rl::EndModeFn end) {
        const uint64_t serial = core().mode_serial(kind);
        if (serial != settled_ + 1) disturbed_ = true;  // something changed before this begin
        settled_ = serial;
        modes_[open_count_++] = Mode{kind, end, serial};
    }

    // Before drawing: 0 when the modes are exactly as this call set them, else -1 with
    // RuntimeError (drawing now would paint another target, or with another shader or blend).
    int check_unchanged(const char* call) const {
        if (!disturbed_ && core().mode_changes() == settled_) return 0;
        PyErr_Format(PyExc_RuntimeError,
                     "%s: the drawing modes changed during the call (Python code it ran began "
                     "or ended a texture, shader or blend mode)",
                     call);
        return -1;
    }

    // Ends every open mode; 0, or -1 with the first end call's error set.
    int end_all() {
        PyObject* first_error = nullptr;
        while (open_count_ > 0) {
            const Mode& mode = modes_[--open_count_];
            const int rc = core().mode_serial(mode.kind) == mode.serial
                               ? mode.end()
                               : core().end_mode_serial(mode.kind, mode.serial);
            if (rc < 0) {
                PyObject* error = PyErr_GetRaisedException();
                if (first_error == nullptr) {
                    first_error = error;
                } else {
                    Py_XDECREF(error);
                }
            }
        }
        if (first_error == nullptr) return 0;
        PyErr_SetRaisedException(first_error);
        return -1;
    }

  private:
    struct Mode {
        int kind;
        rl::EndModeFn end;
        uint64_t serial;
    };
    static const zorva::layer::Core& core() { return *state.layer_core; }

    std::array<Mode, 3> modes_{};
    int open_count_ = 0;
    uint64_t settled_;
    bool disturbed_ = false;
};

// A private copy of a gradient's array for one upload: the upload may run Python code (a
// collection, a trace hook) that changes the gradient. Small arrays stay on the stack.
template <typename T, size_t N = 32>
class UploadCopy {
  public:
    // Copies `source`, padded with `pad` up to `min_size` elements. 0, or -1 with MemoryError.
    int assign(const std::vector<T>& source, size_t min_size = 0, T pad = T{}) {
        size_ = std::max(source.size(), min_size);
        if (size_ > N) {
            heap_.reset(new (std::nothrow) T[size_]);
            if (!heap_) {
                PyErr_NoMemory();
                return -1;
            }
        }
        if (!source.empty()) std::memcpy(data(), source.data(), source.size() * sizeof(T));
        std::fill(data() + source.size(), data() + size_, pad);
        return 0;
    }
    const T* data() const { return heap_ ? heap_.get() : local_; }
    T* data() { return heap_ ? heap_.get() : local_; }
    Py_ssize_t size() const { return static_cast<Py_ssize_t>(size_); }

  private:
    T local_[N];
    std::unique_ptr<T[]> heap_;
    size_t size_ = 0;
};

// What both drawing paths send: the values differ only in centre, alpha and size.
struct Uniforms {
    int32_t gradient_type;
    float angle;
    float alpha;
    bool center_as_tuple;  // draw: (x, y) read from the centre's attributes at upload time
    PyObject* size;        // ZvVector2 (borrowed)
};

// A new tuple of Python floats.
PyObject* float_tuple(const double* values, Py_ssize_t count) {
    PyRef tuple = PyRef::steal(PyTuple_New(count));
    if (!tuple) return nullptr;
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject* number = PyFloat_FromDouble(values[i]);
        if (number == nullptr) return nullptr;
        PyTuple_SET_ITEM(tuple.get(), i, number);
    }
    return tuple.release();
}

// Objects a draw hands to the layer, kept for the next draw and refilled in place while this
// module holds the only reference: the layer keeps none of its arguments, so at a frame's many
// draws this saves an allocation and a release per object. Anyone else holding one (a trace
// records the tuples it is given) makes the next draw build a fresh object instead, so nothing
// anybody can see ever changes.
class ScratchFloatTuple {
  public:
    // A tuple of `count` floats holding `values`: new reference, or null with an exception set.
    PyObject* fill(const double* values, Py_ssize_t count) {
        if (tuple_ && Py_REFCNT(tuple_.get()) == 1 && PyTuple_GET_SIZE(tuple_.get()) == count) {
            for (Py_ssize_t i = 0; i < count; ++i) {
                PyObject* number = PyFloat_FromDouble(values[i]);
                if (number == nullptr) return nullptr;
                PyObject* old = PyTuple_GET_ITEM(tuple_.get(), i);
                PyTuple_SET_ITEM(tuple_.get(), i, number);
                Py_DECREF(old);  // a float: its release runs no code
            }
            return tuple_.new_ref();
        }
        PyObject* fresh = float_tuple(values, count);
        if (fresh == nullptr) return nullptr;
        tuple_.reset(Py_NewRef(fresh));
        return fresh;
    }

  private:
    PyRef tuple_;
};

// The same for the `size` vector of a draw: the layer's own vector type, refilled in place.
class ScratchVector2 {
  public:
    PyObject* fill(double x, double y) {
        PyObject* held = vector_.get();
        if (held && Py_REFCNT(held) == 1 && Py_IS_TYPE(held, state.siblings.vector2.type)) {
            ZvVector2Object* vector = reinterpret_cast<ZvVector2Object*>(held);
            vector->x = x;
            vector->y = y;
            return vector_.new_ref();
        }
        PyObject* fresh = new_vector2(x, y);
        if (fresh == nullptr) return nullptr;
        vector_.reset(Py_NewRef(fresh));
        return fresh;
    }

  private:
    PyRef vector_;
};

// Kept for the life of the process, like the module's other state.
ScratchFloatTuple& draw_dest = *new ScratchFloatTuple();
ScratchFloatTuple& draw_center = *new ScratchFloatTuple();
ScratchVector2& draw_size = *new ScratchVector2();

// (_center.x, _center.y) read through the vector's attributes. For the layer's own vector type
// those are plain members, read here directly; a subclass may redefine them.
PyObject* center_tuple(PyObject* center) {
    if (Py_TYPE(center) == state.siblings.vector2.type) {
        const ZvVector2Object* vector = reinterpret_cast<const ZvVector2Object*>(center);
        const double xy[2] = {vector->x, vector->y};
        return draw_center.fill(xy, 2);
    }
    PyRef x = PyRef::steal(PyObject_GetAttr(center, state.names.x.get()));
    if (!x) return nullptr;
    PyRef y = PyRef::steal(PyObject_GetAttr(center, state.names.y.get()));
    if (!y) return nullptr;
    return PyTuple_Pack(2, x.get(), y.get());
}

// Sends the eight uniforms in their fixed order (callers and traces rely on it): type, angle,
// centre, count, alpha, colours, stops, size. The count and both arrays are one snapshot, taken
// after the centre was read (reading it may run Python code).
int upload_uniforms(GradientRaylibObject* self, const Uniforms& u) {
    const SharedRendering& s = state.shared;
    const rl::Api& api = state.api;
    PyRef shader = PyRef::borrow(s.shader);
    ZvShaderObject* program = reinterpret_cast<ZvShaderObject*>(shader.get());
    if (api.set_zvshader_value_int(program, s.loc_type, u.gradient_type) < 0) return -1;
    if (api.set_zvshader_value_float(program, s.loc_angle, u.angle) < 0) return -1;
    if (u.center_as_tuple) {
        PyRef vector = PyRef::borrow(self->_center);
        PyRef center = PyRef::steal(center_tuple(vector.get()));
        if (!center || api.set_zvshader_value_vec2_tuple(program, s.loc_center, center.get()) < 0) {
            return -1;
        }
    } else {
        PyRef center = PyRef::borrow(self->_center);
        PyTypeObject* vector_type = state.siblings.vector2.type;
        if (!PyObject_TypeCheck(center.get(), vector_type)) {
            PyErr_Format(PyExc_TypeError, "Expected %s, got %.200s", vector_type->tp_name,
                         Py_TYPE(center.get())->tp_name);
            return -1;
        }
        if (api.set_zvshader_value_vec2_zvvec(
                program, s.loc_center, reinterpret_cast<ZvVector2Object*>(center.get())) < 0) {
            return -1;
        }
    }
    UploadCopy<Vector4> colors;
    UploadCopy<float> stops;
    // Uniform arrays keep what an earlier gradient sent past the elements uploaded now, so a
    // stop array shorter than the colours (a ClickGradient whose `weights` were assigned with
    // another length) would let the shader read another gradient's stops. The missing stops
    // repeat the last one instead.
    const std::vector<float>& own_stops = self->_stops;
    const float last_stop = own_stops.empty() ? 0.0f : own_stops.back();
    if (colors.assign(self->_colors) < 0 ||
        stops.assign(own_stops, self->_colors.size(), last_stop) < 0) {
        return -1;
    }
    if (colors.size() > INT32_MAX) {
        PyErr_SetString(PyExc_OverflowError, "value too large to convert to int");
        return -1;
    }
    if (api.set_zvshader_value_int(program, s.loc_count, static_cast<int32_t>(colors.size())) < 0 ||
        api.set_zvshader_value_float(program, s.loc_alpha, u.alpha) < 0 ||
        api.set_zvshader_value_vec4_v(program, s.loc_colors, colors.data(), colors.size()) < 0 ||
        api.set_zvshader_value_float_v(program, s.loc_stops, stops.data(), stops.size()) < 0 ||
        api.set_zvshader_value_vec2_zvvec(program, s.loc_size,
                                          reinterpret_cast<ZvVector2Object*>(u.size)) < 0) {
        return -1;
    }
    return 0;
}

int gradient_type_int(PyObject* type, int32_t* out) {
    int linear = is_linear(type);
    if (linear < 0) return -1;
    *out = linear ? 0 : 1;
    return 0;
}

int premultiplied_blend_mode(int32_t* out) {
    PyRef modes = PyRef::steal(layer::attr(state.names.blend_mode.get()));
    if (!modes) return -1;
    PyRef mode =
        PyRef::steal(PyObject_GetAttr(modes.get(), state.names.blend_alpha_premultiply.get()));
    if (!mode) return -1;
    return to_int32(mode.get(), out);
}

}  // namespace

PyObject* generate_texture(PyObject* self_obj, Args a) {
    GradientRaylibObject* self = reinterpret_cast<GradientRaylibObject*>(self_obj);
    int32_t width, height;
    if (to_int32(a[0], &width) < 0 || to_int32(a[1], &height) < 0) return nullptr;
    // A gradient restored from a pickle may come here before any constructor made the shared
    // resources; make them as drawing does rather than render with no shader.
    if (state.shared.shader == Py_None || state.shared.blank_texture == Py_None) {
        if (ensure_resources_of(reinterpret_cast<PyObject*>(self)) < 0) return nullptr;
    }
    Uniforms u{};
    if (gradient_type_int(self->type, &u.gradient_type) < 0) return nullptr;
    u.angle = self->_angle;
    u.alpha = 1.0f;
    PyRef size = PyRef::steal(new_vector2(width, height));
    if (!size) return nullptr;
    u.size = size.get();
    if (upload_uniforms(self, u) < 0) return nullptr;

    PyRef target =
        PyRef::steal(reinterpret_cast<PyObject*>(state.siblings.render_texture.vtable->new_(
            reinterpret_cast<ZvVector2Object*>(size.get()))));
    if (!target) return nullptr;
    ZvRenderTextureObject* texture = reinterpret_cast<ZvRenderTextureObject*>(target.get());

    PyRef shader = PyRef::borrow(state.shared.shader);
    PyRef blank = PyRef::borrow(state.shared.blank_texture);
    ModeScope modes;
    if (state.api.begin_texture_mode(texture->render_texture) < 0) return nullptr;
    modes.begun(zorva::layer::kModeTexture, state.api.end_texture_mode);
    int32_t blend;
    if (premultiplied_blend_mode(&blend) < 0 || state.api.begin_blend_mode(blend) < 0) {
        return nullptr;
    }
    modes.begun(zorva::layer::kModeBlend, state.api.end_blend_mode);
    PyRef shader_mode = PyRef::steal(
        state.api.begin_zvshader_mode(reinterpret_cast<ZvShaderObject*>(shader.get())));
    if (!shader_mode) return nullptr;
    modes.begun(zorva::layer::kModeShader, state.api.end_shader_mode);
    if (texture->vtab->c_fast_clear(texture, state.transparent.get()) < 0) {
        return nullptr;
    }
    PyRef dest = PyRef::steal(Py_BuildValue("(iiii)", 0, 0, width, height));
    if (!dest || modes.check_unchanged("generate_texture") < 0) return nullptr;
    if (state.api.draw_texture_pro(blank.get(), state.source_rec.get(), dest.get(),
                                   state.origin.get(), 0.0f, state.opaque_white.get()) < 0) {
        return nullptr;
    }
    if (modes.end_all() < 0) return nullptr;
    return target.release();
}

PyObject* click_gradient_draw(PyObject* self_obj, Args a) {
    GradientRaylibObject* self = reinterpret_cast<GradientRaylibObject*>(self_obj);
    // The caller's target and blend mode are part of the call: watched from the start.
    ModeScope modes;
    float rect[4];
    for (size_t i = 0; i < 4; ++i) {
        if (to_float(a[i], &rect[i]) < 0) return nullptr;
    }
    if (ensure_resources_of(reinterpret_cast<PyObject*>(self)) < 0) return nullptr;
    Uniforms u{};
    if (gradient_type_int(self->type, &u.gradient_type) < 0) return nullptr;
    u.angle = self->_angle;
    u.alpha = static_cast<float>(self->_transparency * (1.0 / 255));
    PyRef size = PyRef::steal(draw_size.fill(rect[2], rect[3]));
    if (!size) return nullptr;
    u.size = size.get();

    u.center_as_tuple = true;
    if (upload_uniforms(self, u) < 0) return nullptr;

    PyRef shader = PyRef::borrow(state.shared.shader);
    PyRef blank = PyRef::borrow(state.shared.blank_texture);
    PyRef shader_mode = PyRef::steal(
        state.api.begin_zvshader_mode(reinterpret_cast<ZvShaderObject*>(shader.get())));
    if (!shader_mode) return nullptr;
    modes.begun(zorva::layer::kModeShader, state.api.end_shader_mode);
    const double dest_values[4] = {rect[0], rect[1], rect[2], rect[3]};
    PyRef dest = PyRef::steal(draw_dest.fill(dest_values, 4));
    if (!dest) return nullptr;
    PyRef tint = PyRef::steal(layer::attr(state.names.white.get()));
    if (!tint || check_exact_value(tint.get(), &PyTuple_Type) < 0 ||
        modes.check_unchanged("ClickGradient.draw") < 0) {
        return nullptr;
    }
    if (state.api.draw_texture_pro(blank.get(), state.source_rec.get(), dest.get(),
                                   state.origin.get(), 0.0f, tint.get()) < 0) {
        return nullptr;
    }
    if (modes.end_all() < 0) return nullptr;
    Py_RETURN_NONE;
}

}  // namespace zorva::grad
