// Colour updates in progress, and how a newer one supersedes an older one of the same object.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "fast/common/pyref.h"

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

}  // namespace zorva::grad
