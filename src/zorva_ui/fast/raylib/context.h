// The process's one GL context: the application's own, adopted at the layer's first need when
// one is current on the calling thread, or else a headless OpenGL 3.3 core context of the
// layer's own, made through EGL. The choice holds for the life of the process (GL objects live in
// one context). LAYER.md beside this file states the policy for users.
#pragma once

#include <cstdint>

namespace zorva::layer {

// The hold one layer call has on the context. The outermost call of the thread:
// - chooses the context on first need (adopts the current one, or makes the layer's own);
// - adopted: checks that the adopted context is current, and when it returns with no texture,
//   shader or blend mode open, puts back the host's GL state (host_state.h);
// - own: makes the layer's context current, and puts back whatever the caller had current
//   (another EGL context, a GLX context and drawables, or none) when it returns. While a mode is
//   open over "nothing current" the layer's context stays current between calls, so drawing
//   passes pay for no switch.
// 0, or -1 with RuntimeError (not the owner thread, adopted context not current, no context can
// be made); a failure is not remembered. Nested calls (a release inside a draw) only count depth.
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

// Makes sure the context exists and is usable now, without holding it (enter + leave).
int ensure_context();

// Whether a context has been chosen (no attempt is made here).
bool context_ready();

// In the layer's own context: another context was current when the running call began (so a
// draw outside texture mode was meant for that one, which the layer cannot reach).
bool foreign_context_at_entry();

// Releases GL objects now when the context can be used from this thread, else queues them for
// the owner thread's next call (a collection on a worker thread, an adopted context that is not
// current). Never raises; the pending exception, if any, is kept.
void release_gl_objects(void (*release)(uint32_t, uint32_t), uint32_t first, uint32_t second);

// "adopted EGL", "adopted GLX" or "own headless EGL" ("" before a context exists).
const char* context_kind();

// The driver's renderer and version strings ("" before a context exists).
const char* renderer_name();
const char* gl_version();

// Seconds choosing (and making) the context took (0 before).
double context_startup_seconds();

}  // namespace zorva::layer
