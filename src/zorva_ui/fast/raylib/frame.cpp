#include "fast/raylib/frame.h"

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <iterator>

#include "fast/raylib/device.h"
#include "fast/raylib/errors.h"
#include "fast/raylib/gl.h"

namespace zorva::layer {
namespace {

using gl::fn;

// Each raises exactly `error` and changes nothing else (a failing GL command has no effect).
void raise_invalid_enum() {
    fn.Enable(0xFFFF);  // no such capability
}

void raise_invalid_value() {
    fn.Viewport(0, 0, -1, -1);
}

void raise_invalid_operation() {
    // Ending a query that is not active; checked first so that a host's own query goes on.
    gl::GLint active = 0;
    fn.GetQueryiv(gl::SAMPLES_PASSED, gl::CURRENT_QUERY, &active);
    if (active == 0) fn.EndQuery(gl::SAMPLES_PASSED);
}

void raise_invalid_framebuffer_operation() {
    // A framebuffer without attachments is incomplete; clearing it fails and draws nothing.
    HostState& host = active().host;
    if (host.incomplete_framebuffer == 0) fn.GenFramebuffers(1, &host.incomplete_framebuffer);
    gl::GLint bound = 0;
    fn.GetIntegerv(gl::DRAW_FRAMEBUFFER_BINDING, &bound);
    fn.BindFramebuffer(gl::DRAW_FRAMEBUFFER, host.incomplete_framebuffer);
    fn.Clear(gl::COLOR_BUFFER_BIT);
    fn.BindFramebuffer(gl::DRAW_FRAMEBUFFER, static_cast<gl::GLuint>(bound));
}

}  // namespace

int begin_frame() {
    ++active().pass.frames;
    return 0;
}

int end_frame() {
    Pass& pass = active().pass;
    if (pass.frames == 0) {
        PyErr_SetString(layer_error(), "end_drawing without begin_drawing");
        return -1;
    }
    --pass.frames;
    return 0;
}

void take_host_errors() {
    HostState& host = active().host;
    for (gl::GLenum error = fn.GetError(); error != gl::NO_ERROR; error = fn.GetError()) {
        if (host.pending_count < static_cast<int>(std::size(host.pending_errors))) {
            host.pending_errors[host.pending_count++] = error;
        }
    }
}

void give_back_host_errors() {
    HostState& host = active().host;
    if (host.pending_count == 0) [[likely]]
        return;
    gl::drain_errors();  // the host must find its own errors, not a leftover of ours
    for (int i = 0; i < host.pending_count; ++i) {
        switch (host.pending_errors[i]) {
            case gl::INVALID_ENUM:
                raise_invalid_enum();
                break;
            case gl::INVALID_VALUE:
                raise_invalid_value();
                break;
            case gl::INVALID_OPERATION:
                raise_invalid_operation();
                break;
            case gl::INVALID_FRAMEBUFFER_OPERATION:
                raise_invalid_framebuffer_operation();
                break;
            default:
                // GL_OUT_OF_MEMORY (and the stack errors of older profiles) cannot be caused
                // on purpose without harm; after one, the context is undefined anyway.
                break;
        }
    }
    host.pending_count = 0;
}

}  // namespace zorva::layer
