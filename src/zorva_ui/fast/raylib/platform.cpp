// The backends in the order they are asked what is current: an EGL context first (a GLX one can
// be current beside it only where the application mixed both, and EGL is what the layer itself
// makes current).
#include "fast/raylib/platform.h"

#include <dlfcn.h>

#include <iterator>

namespace zorva::layer::platform {

extern const Backend kEglBackend;
extern const Backend kGlxBackend;

namespace {
const Backend* const kBackends[] = {&kEglBackend, &kGlxBackend};
}  // namespace

const Backend& backend(Api api) {
    return api == Api::kGlx ? kGlxBackend : kEglBackend;
}

void* driver_context() {
    using Getter = void* (*)();
    static Getter getter = [] {
        void* library = dlopen("libglapi.so.0", RTLD_NOW | RTLD_NOLOAD);
        void* symbol = library != nullptr ? dlsym(library, "_glapi_get_context") : nullptr;
        return reinterpret_cast<Getter>(symbol);
    }();
    return getter != nullptr ? getter() : nullptr;
}

Binding current_binding() {
    for (const Backend* candidate : kBackends) {
        if (candidate->current_context() != nullptr) return candidate->current();
    }
    return Binding{};
}

}  // namespace zorva::layer::platform
