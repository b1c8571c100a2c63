// Which device a layer call works in. At each call the layer works in the GL context current on
// the calling thread, setting itself up there at the first call it sees in that context, or in
// its own headless context when none is current. LAYER.md beside this file states the policy
// for users.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

#include "fast/raylib/device.h"

namespace zorva::layer {

// The hold one layer call has on a device. The outermost call of the thread:
// - finds the device of the current context (cheaply when it is the last one used: its marker,
//   and in an adopted context at the start of a pass the window system's current context), sets
//   one up for a context not seen before (checking it can run the layer), forgets devices whose
//   context was destroyed, or makes the layer's own context current when nothing is;
// - in an adopted context, when it returns and no pass is open, puts back the host's GL state
//   (host_state.h);
// - in the own context, releases it again when nothing was current before, except while a
//   pass is open (kept current until the pass ends).
// 0, or -1 with RuntimeError (the context belongs to another thread, it cannot run the layer, no
// headless context can be made); a failure is not remembered. Nested calls only count depth.
int enter_call();
void leave_call();

class CallScope {
  public:
    CallScope() : entered_(enter_call() == 0) {}
    ~CallScope() {
        if (entered_) leave_call();
    }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;
    bool ok() const { return entered_; }

  private:
    bool entered_;
};

// Makes sure a device can be used now, without holding it (enter + leave).
int ensure_context();

// Whether any device was ever set up (no attempt is made here).
bool context_ready();

// Releases GL objects of a share group (or, given `device`, of that device alone: framebuffers
// and vertex arrays are not shared): now when such a context is current on this thread, else
// queued for its next call; dropped when the contexts are gone. `explicit_release`: an unload
// the caller asked for, refused (-1, RuntimeError) from a thread that does not own the contexts;
// a deallocation is never refused (0 always, the pending exception kept).
int release_gl_objects(ShareGroup* group, Device* device, void (*release)(uint32_t, uint32_t),
                       uint32_t first, uint32_t second, bool explicit_release);

// RuntimeError for an object of `group` used where the current context cannot see it: names
// its context (or says it was destroyed) and the current one. Always -1.
int raise_unreachable(const ShareGroup* group, const char* what);

// Whether shader mode uses the program in the pass of any device.
bool shader_in_a_pass(uint32_t program);

// A new dict for context_info(): the device a call works in now, every known context, and the
// error that prevents working now (None when there is none). Never raises for context reasons.
PyObject* context_info();

}  // namespace zorva::layer
