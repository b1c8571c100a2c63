// The one path from the gradient module to the rendering layer's Python attributes: `md.rl.<name>`.
//
// `md` is a module global and `md.rl` an attribute of it, and a user may rebind either (or an
// attribute of the layer) between two accesses, so each access makes the whole lookup. When `md`
// and `md.rl` are plain modules, the two steps before the last are kept between calls while the
// dictionaries they came from are unchanged (a dict watcher drops them before any change), so
// every access sees exactly what a fresh lookup would.
#include "fast/common/globals.h"
#include "fast/common/pyref.h"
#include "fast/zvraygrad/internal.h"

namespace zorva::grad::layer {

namespace {

KeptLookup kept_rl;  // md.rl, from md's dictionary (md itself is kept by its LateGlobal)

// The layer module's dictionary when `md` is a plain module in the module's globals and `md.rl`
// a plain module in md's (module objects have no attributes of those names of their own), else
// null. Borrowed (each step is held by the dictionary before it); never raises.
PyObject* plain_layer_dict() {
    PyObject* md = state.globals.md.find();
    if (md == nullptr || !PyModule_CheckExact(md)) {
        PyErr_Clear();
        return nullptr;
    }
    PyObject* layer = kept_rl.find(PyModule_GetDict(md), state.names.rl.get());
    if (layer == nullptr || !PyModule_CheckExact(layer)) {
        PyErr_Clear();
        return nullptr;
    }
    return PyModule_GetDict(layer);
}

}  // namespace

PyObject* attr(PyObject* name) {
    if (PyObject* dict = plain_layer_dict()) {
        // A plain module attribute: its dictionary's value; anything else (a module-level
        // __getattr__, a missing name) through the ordinary lookup below.
        PyObject* value = PyDict_GetItemWithError(dict, name);
        if (value != nullptr) return Py_NewRef(value);
        if (PyErr_Occurred()) return nullptr;
    }
    PyRef md = PyRef::steal(state.globals.md.get());
    if (!md) return nullptr;
    PyRef layer = PyRef::steal(PyObject_GetAttr(md.get(), state.names.rl.get()));
    if (!layer) return nullptr;
    return PyObject_GetAttr(layer.get(), name);
}

}  // namespace zorva::grad::layer
