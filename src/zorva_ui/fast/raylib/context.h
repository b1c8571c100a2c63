// The process's one headless OpenGL 3.3 core context, made on first need through EGL.
#pragma once

namespace zorva::layer {

// Makes the context current on first call. 0, or -1 with RuntimeError saying why (the EGL error
// code, or the library that could not be loaded). A failure is not remembered: the next call
// tries again, so that nothing else breaks for good.
int ensure_context();

// Whether a context has been made (no attempt is made here).
bool context_ready();

// The driver's renderer and version strings ("" before a context exists).
const char* renderer_name();
const char* gl_version();

// Seconds the context creation took (0 before).
double context_startup_seconds();

}  // namespace zorva::layer
