// The fourteen native drawing entry points (their types and capsule names are declared in
// interfaces/raylib_api.h), and the `__pyx_capi__` dict that publishes them.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "interfaces/raylib_api.h"

namespace zorva::layer {

// The table of the fourteen functions, for the module's own Python wrappers.
extern const rl::Api kApi;

// A new dict {name: capsule named by the signature text}.
PyObject* build_capi();

}  // namespace zorva::layer
