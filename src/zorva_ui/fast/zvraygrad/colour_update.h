// Colour updates in progress, and how a newer one supersedes an older one of the same object.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

#include "fast/common/args.h"
#include "fast/common/pyref.h"
#include "fast/zvraygrad/conversions.h"

namespace zorva::grad {

// One assignment of a gradient's colours, registered for as long as the call doing it runs.
//
// An update runs Python code (a channel's division or float conversion, a weighted entry's own
// length and items, a finaliser, a `_recalculate_stops` override), and that code may assign the
// same gradient's colours again, as may another thread while the interpreter lock is released.
// The newer assignment's complete state must then stand: the older one learns here that it is
// superseded and writes nothing further. The object layout is published to compiled callers and
// has no room for a counter, so the assignments in progress are kept beside the objects: one node
// per assignment, on the assigning call's own stack, linked from newest to oldest. Only code
// holding the interpreter lock touches the list.
class ColourUpdate {
  public:
    explicit ColourUpdate(PyObject* target) noexcept
        : target_(PyRef::borrow(target)), older_(newest_) {
        if (older_ != nullptr) older_->newer_ = this;
        newest_ = this;
        // Only the newest earlier assignment of this object can still be current: it superseded
        // the ones before it when it began.
        for (ColourUpdate* node = older_; node != nullptr; node = node->older_) {
            if (node->target_.get() == target) {
                node->superseded_ = true;
                break;
            }
        }
    }

    ~ColourUpdate() {
        if (newer_ != nullptr) {
            newer_->older_ = older_;
        } else {
            newest_ = older_;
        }
        if (older_ != nullptr) older_->newer_ = newer_;
    }

    ColourUpdate(const ColourUpdate&) = delete;
    ColourUpdate& operator=(const ColourUpdate&) = delete;

    // True once a later assignment of the same object has begun.
    bool superseded() const noexcept { return superseded_; }

  private:
    static inline ColourUpdate* newest_ = nullptr;

    // Held, so that the object cannot be freed and its address reused by another while the
    // assignment still names it; released after the node has left the list.
    PyRef target_;
    ColourUpdate* older_;
    ColourUpdate* newer_ = nullptr;
    bool superseded_ = false;
};

// One entry of a colour list: a colour, or a (colour, weight) pair.
struct ColourEntry {
    PyRef colour;  // the colour part; the entry itself when it is not a weighted pair
    PyRef weight;  // the weight of a weighted pair
    bool weighted = false;
};

// Runs `visit(const ColourEntry&)` on each entry of `list` (a list or subclass), in order. The
// list is read live: re-measured at each step, because Python code run by an entry's conversion
// may shrink it. `visit` returns 0 to go on, 1 to stop (a newer assignment superseded this one)
// or -1 with an exception set; the loop returns the result that ended it (0 at the end).
template <typename Visit>
int for_each_colour_entry(PyObject* list, Visit visit) {
    // Held for the loop: the caller's reference may go while Python code runs (a compiled caller
    // may pass the gradient's own `raw_colors`, borrowed, and that code may rebind it).
    PyRef hold = PyRef::borrow(list);
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(list); ++i) {
        PyRef item = PyRef::borrow(PyList_GET_ITEM(list, i));
        PyObject* colour = nullptr;
        PyObject* weight = nullptr;
        const int weighted = weighted_pair(item.get(), &colour, &weight);
        ColourEntry entry{PyRef::steal(colour), PyRef::steal(weight), weighted == 1};
        if (weighted < 0) return -1;
        if (!weighted) entry.colour = std::move(item);
        const int result = visit(static_cast<const ColourEntry&>(entry));
        if (result != 0) return result;
    }
    return 0;
}

// The colour of an entry, which must be exactly a tuple (or None, refused by the conversion).
// 0, or -1 with an exception set.
inline int entry_colour(const ColourEntry& entry, Vector4* out) {
    if (check_exact_value(entry.colour.get(), &PyTuple_Type) < 0) return -1;
    return tuple_to_vector4(entry.colour.get(), out);
}

// The weight of an entry: 1 for a plain colour. 0, or -1 with an exception set.
inline int entry_weight(const ColourEntry& entry, float* out) {
    *out = 1.0f;
    return entry.weighted && to_float(entry.weight.get(), out) < 0 ? -1 : 0;
}

}  // namespace zorva::grad
