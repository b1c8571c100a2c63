// Python-visible callables, each declared once.
//
// A declaration names the module, the qualified name, the parameters as Python shows them (the
// text signature, e.g. "($self, member, default=None)"), the implementation and the docstring:
//
//     constexpr Callable kGet{kModule, "Cache.get", "($self, type)", cache_get, "The value..."};
//
// From it come, at compile time: the method table entry (`method_table<kGet, ...>`), the
// argument binding (`parse_args` with the parameter names and required count read from the
// text), the docstring with the text signature that `inspect.signature` and `help()` read, and
// the wrapper that adds the traceback entry "<module>.<qualname>" (at the declaration's file and
// line) when the call fails. Nothing else adds traceback entries for Python calls.
//
// The implementation's type chooses the calling convention:
//   PyObject* (PyObject* self)                   METH_NOARGS      text "($self)"
//   PyObject* (PyObject* self, PyObject* arg)    METH_O           text "($self, name, /)"
//   PyObject* (PyObject* self, Args args)        METH_FASTCALL | METH_KEYWORDS
//   PyObject* (PyTypeObject* type, Args args)    a type's tp_new  (`new_slot`, `type_doc`)
//   int (PyObject* self, Args args)              a type's tp_init (`init_slot`, `type_doc`)
// `self` is the object, the class (METH_CLASS), the module (module functions) or null
// (METH_STATIC). Properties are declared the same way with `Property` (`getset_table`), and
// the native operations of an operation table with `Native` (`native<kDecl>`,
// `native_void<kDecl>`).
//
// Return convention of the native code, for every helper that no binary interface fixes:
//   - an operation that can fail returns int: 0 on success, -1 with a Python exception set;
//   - a function that makes an object or finds a pointer returns it, or null with an exception
//     set (an empty PyRef likewise);
//   - bool only for predicates that cannot fail and set no exception.
// The conversions and checks of args.h follow it too (`if (to_float(v, &x) < 0) return -1;`):
// every failable helper of every module is tested the same way, `< 0`.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cstddef>
#include <type_traits>

#include "fast/common/args.h"
#include "fast/common/pyref.h"
#include "fast/common/source_location.h"
#include "fast/common/traceback.h"

namespace zorva {

// The bound parameters of one call, in declaration order, borrowed. An optional parameter the
// caller left out is None, True or False when that is its declared default, else null.
class Args {
  public:
    explicit Args(PyObject* const* values) : values_(values) {}
    PyObject* operator[](size_t index) const { return values_[index]; }

  private:
    PyObject* const* values_;
};

template <typename Impl>
struct Callable {
    const char* module;    // "zorva_ui.fast.zvvector2.zvvector2"
    const char* qualname;  // "ZvVector2.new"; "ZvVector2.__new__" for a type's constructor
    const char* params;    // the text signature: "(x, y)", "($self, image, /)"
    Impl impl;
    const char* doc;
    int flags = 0;  // METH_STATIC or METH_CLASS
    SourceLocation where = SourceLocation::current();
};

template <typename Get, typename Set = std::nullptr_t>
struct Property {
    const char* module;
    const char* qualname;  // "ZvShader.id"
    Get get;               // PyObject* (PyObject* self)
    Set set;               // int (PyObject* self, PyObject* value), or nullptr: read-only
    const char* doc;
    SourceLocation where = SourceLocation::current();
};

// A native operation of a type's operation table (called by compiled modules, not by Python),
// declared likewise: the table holds `native<kDecl>`, which runs the implementation and adds the
// traceback entry "<module>.<qualname>" when it fails (null; -1 with an exception set; or, for
// an operation that returns nothing, an exception left set). A type slot that the interpreter
// calls with its own signature (`mp_subscript`: "Cache.__getitem__") is declared the same way.
template <typename Impl>
struct Native {
    const char* module;
    const char* qualname;  // "Cache.c_get"
    Impl impl;
    SourceLocation where = SourceLocation::current();
};

// Deduction guides: C++20 deduces an aggregate's template arguments by itself, but clang before
// 17 does not, so the declarations above would not compile there without these.
template <typename Impl>
Callable(const char*, const char*, const char*, Impl, const char*) -> Callable<Impl>;
template <typename Impl>
Callable(const char*, const char*, const char*, Impl, const char*, int) -> Callable<Impl>;
template <typename Get, typename Set>
Property(const char*, const char*, Get, Set, const char*) -> Property<Get, Set>;
template <typename Impl>
Native(const char*, const char*, Impl) -> Native<Impl>;

namespace callable_detail {

using Impl0 = PyObject* (*)(PyObject*);
using Impl1 = PyObject* (*)(PyObject*, PyObject*);
using ImplFast = PyObject* (*)(PyObject*, Args);
using ImplNew = PyObject* (*)(PyTypeObject*, Args);
using ImplInit = int (*)(PyObject*, Args);

constexpr size_t length(const char* s) {
    size_t n = 0;
    while (s[n] != '\0') ++n;
    return n;
}

constexpr bool starts_with(const char* s, const char* prefix) {
    for (; *prefix != '\0'; ++s, ++prefix) {
        if (*s != *prefix) return false;
    }
    return true;
}

constexpr bool equal(const char* a, const char* b) {
    return length(a) == length(b) && starts_with(a, b);
}

// Where the component that ends at `end` (a dot, or the end) of a dotted name starts.
constexpr size_t last_component_before(const char* dotted, size_t end) {
    size_t start = 0;
    for (size_t i = 0; i < end; ++i) {
        if (dotted[i] == '.') start = i + 1;
    }
    return start;
}

// Where the last component of a dotted name starts.
constexpr size_t last_component(const char* dotted) {
    return last_component_before(dotted, length(dotted));
}

// The source path as tracebacks show it: from the package root ("fast/raylib/...").
constexpr const char* package_path(const char* file) {
    const char* found = file;
    for (const char* p = file; *p != '\0'; ++p) {
        if (starts_with(p, "/zorva_ui/")) found = p + 10;
    }
    return found;
}

enum class Default : unsigned char { kRequired, kNone, kTrue, kFalse, kOther };

inline constexpr size_t kMaxParams = 16;  // what parse_args tracks

// A text signature read into parameters: "($self, a, b=None, /)".
struct Params {
    size_t count = 0;     // parameters a caller gives ($-ones are bound by the interpreter)
    size_t required = 0;  // those without a default, all before the first default
    bool positional_only = false;
    bool bound = false;  // a $self, $type or $module parameter
    bool valid = true;
    Default defaults[kMaxParams]{};
    size_t name_at[kMaxParams]{};
    size_t name_length[kMaxParams]{};
};

constexpr bool is_space(char c) {
    return c == ' ';
}

constexpr Params parse_params(const char* text) {
    Params p;
    if (text[0] != '(') return Params{.valid = false};
    size_t i = 1;
    const size_t end = length(text);
    if (end < 2 || text[end - 1] != ')') return Params{.valid = false};
    bool seen_default = false;
    while (i < end - 1) {
        while (is_space(text[i])) ++i;
        size_t start = i;
        while (i < end - 1 && text[i] != ',') ++i;
        size_t stop = i;
        while (stop > start && is_space(text[stop - 1])) --stop;
        if (i < end - 1) ++i;  // the comma
        if (stop == start) return Params{.valid = false};
        if (text[start] == '$') {
            if (p.count != 0 || p.bound) return Params{.valid = false};
            p.bound = true;
            continue;
        }
        if (stop - start == 1 && text[start] == '/') {
            if (i < end - 1) return Params{.valid = false};  // only at the end: all positional
            p.positional_only = true;
            continue;
        }
        if (text[start] == '*' || p.count == kMaxParams || p.positional_only) {
            return Params{.valid = false};
        }
        size_t eq = start;
        while (eq < stop && text[eq] != '=') ++eq;
        size_t name_stop = eq;
        while (name_stop > start && is_space(text[name_stop - 1])) --name_stop;
        Default kind = Default::kRequired;
        if (eq < stop) {
            size_t value = eq + 1;
            while (is_space(text[value])) ++value;
            const size_t value_length = stop - value;
            auto is = [&](const char* word) {
                return value_length == length(word) && starts_with(text + value, word);
            };
            kind = is("None")    ? Default::kNone
                   : is("True")  ? Default::kTrue
                   : is("False") ? Default::kFalse
                                 : Default::kOther;
            seen_default = true;
        } else if (seen_default) {
            return Params{.valid = false};  // a required parameter after an optional one
        } else {
            ++p.required;
        }
        p.defaults[p.count] = kind;
        p.name_at[p.count] = start;
        p.name_length[p.count] = name_stop - start;
        ++p.count;
    }
    return p;
}

// Characters joined at compile time into one NUL-terminated array.
template <size_t N>
struct Text {
    std::array<char, N> chars{};
    size_t used = 0;
    constexpr void append(const char* s, size_t n) {
        for (size_t i = 0; i < n; ++i) chars[used++] = s[i];
    }
    constexpr void append(const char* s) { append(s, length(s)); }
};

// Where a declaration's failures are reported: the traceback entry "<module>.<qualname>" (with
// ".__get__" or ".__set__" for a property's accessors), at the declaration's file and line.
enum class Entry { kCall, kGet, kSet };

template <const auto& decl, Entry entry = Entry::kCall>
struct Site {
    static constexpr const char* suffix = entry == Entry::kGet   ? ".__get__"
                                          : entry == Entry::kSet ? ".__set__"
                                                                 : "";
    static constexpr auto name = [] {
        Text<length(decl.module) + length(decl.qualname) + length(suffix) + 2> t;
        t.append(decl.module);
        t.append(".");
        t.append(decl.qualname);
        t.append(suffix);
        return t.chars;
    }();
    static constexpr const char* file = package_path(decl.where.file_name());

    // Out of line and cold: the failure path stays out of the callers' hot code.
    [[gnu::cold, gnu::noinline]] static void traceback() {
        add_traceback(name.data(), static_cast<int>(decl.where.line()), file);
    }
};

// Everything compiled from one declaration.
template <const auto& decl>
struct Compiled {
    static constexpr Params params = parse_params(decl.params);
    static_assert(params.valid, "the text signature must read like \"($self, a, b=None)\"");

    static constexpr size_t name_at = last_component(decl.qualname);
    static constexpr const char* name = decl.qualname + name_at;  // "new"
    static constexpr bool is_new = equal(name, "__new__");
    static constexpr bool is_init = equal(name, "__init__");
    // The class of a constructor ("ZvVector2" of "ZvVector2.__new__").
    static constexpr auto class_name = [] {
        Text<length(decl.qualname) + 1> t;
        if (name_at > 0) {
            const size_t start = last_component_before(decl.qualname, name_at - 1);
            t.append(decl.qualname + start, name_at - 1 - start);
        }
        return t.chars;
    }();
    // Messages name what the caller called: the class for __new__ (as calling the class does),
    // else the callable ("__init__() takes ...").
    static constexpr const char* message_name = is_new ? class_name.data() : name;
    // The docstring of a constructor is the type's: its text signature starts with the class.
    static constexpr const char* doc_name = is_new || is_init ? class_name.data() : name;

    // Parameter names, NUL-separated, and pointers to each.
    static constexpr auto name_buffer = [] {
        Text<length(decl.params) + 1> t;
        for (size_t i = 0; i < params.count; ++i) {
            t.append(decl.params + params.name_at[i], params.name_length[i]);
            t.chars[t.used++] = '\0';
        }
        return t.chars;
    }();
    static constexpr auto names = [] {
        std::array<const char*, params.count == 0 ? 1 : params.count> out{};
        size_t at = 0;
        for (size_t i = 0; i < params.count; ++i) {
            out[i] = &name_buffer[at];
            at += params.name_length[i] + 1;
        }
        return out;
    }();
    static constexpr auto name_lengths = [] {
        std::array<Py_ssize_t, params.count == 0 ? 1 : params.count> out{};
        for (size_t i = 0; i < params.count; ++i) {
            out[i] = static_cast<Py_ssize_t>(params.name_length[i]);
        }
        return out;
    }();
    static constexpr Signature signature{
        message_name, names.data(), static_cast<Py_ssize_t>(params.count),
        static_cast<Py_ssize_t>(params.required), name_lengths.data()};
    static constexpr size_t slots = params.count == 0 ? 1 : params.count;

    // "new(x, y)\n--\n\n<doc>": the text signature Python reads, then the docstring.
    static constexpr auto doc = [] {
        Text<length(decl.qualname) + length(decl.params) + length(decl.doc) + 6> t;
        t.append(doc_name);
        t.append(decl.params);
        t.append("\n--\n\n");
        t.append(decl.doc);
        return t.chars;
    }();

    static void fill_defaults(PyObject** slots_out) {
        for (size_t i = 0; i < slots; ++i) {
            Default kind = i < params.count ? params.defaults[i] : Default::kOther;
            slots_out[i] = kind == Default::kNone    ? Py_None
                           : kind == Default::kTrue  ? Py_True
                           : kind == Default::kFalse ? Py_False
                                                     : nullptr;
        }
    }

    // Binds fastcall arguments (`nargsf` may carry the offset flag) to `values`, defaults
    // first. 0, or -1 with an exception set.
    [[gnu::always_inline]] static int bind(PyObject* const* args, Py_ssize_t nargsf,
                                           PyObject* kwnames, PyObject** values) {
        fill_defaults(values);
        return params.count == 0 ? parse_no_args(message_name, nargsf, kwnames)
                                 : parse_args(signature, args, nargsf, kwnames, values);
    }

    static void traceback() { Site<decl>::traceback(); }
};

// Calls the function `f` given as a constant. The wrappers call a declaration's implementation
// through this, so that the compiler sees a direct call it may inline: a call through
// `decl.impl` is only resolved after the inlining decisions, which leaves even a one-line
// implementation behind a call of its own.
template <auto f, typename... A>
[[gnu::always_inline]] inline decltype(auto) invoke(A... args) {
    return f(args...);
}

template <const auto& decl>
PyObject* noargs_wrapper(PyObject* self, PyObject*) {
    PyObject* result = invoke<decl.impl>(self);
    if (result == nullptr) Compiled<decl>::traceback();
    return result;
}

template <const auto& decl>
PyObject* onearg_wrapper(PyObject* self, PyObject* arg) {
    PyObject* result = invoke<decl.impl>(self, arg);
    if (result == nullptr) Compiled<decl>::traceback();
    return result;
}

template <const auto& decl>
PyObject* fastcall_wrapper(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                           PyObject* kwnames) {
    using C = Compiled<decl>;
    PyObject* values[C::slots];
    PyObject* result = nullptr;
    if (C::bind(args, nargsf, kwnames, values) == 0) {
        result = invoke<decl.impl>(self, Args(values));
    }
    if (result == nullptr) C::traceback();
    return result;
}

template <const auto& decl>
PyObject* get_wrapper(PyObject* self, void*) {
    PyObject* result = invoke<decl.get>(self);
    if (result == nullptr) Site<decl, Entry::kGet>::traceback();
    return result;
}

template <const auto& decl>
int set_wrapper(PyObject* self, PyObject* value, void*) {
    const int rc = invoke<decl.set>(self, value);
    // A refused deletion (value null) is the attribute protocol's answer, not a failed call.
    if (rc < 0 && value != nullptr) Site<decl, Entry::kSet>::traceback();
    return rc;
}

template <const auto& decl>
PyMethodDef method_def() {
    using C = Compiled<decl>;
    using Impl = std::remove_cvref_t<decltype(decl.impl)>;
    constexpr const char* doc = C::doc.data();
    if constexpr (std::is_same_v<Impl, Impl0>) {
        static_assert(C::params.count == 0, "a METH_NOARGS callable declares no parameters");
        return {C::name, noargs_wrapper<decl>, METH_NOARGS | decl.flags, doc};
    } else if constexpr (std::is_same_v<Impl, Impl1>) {
        static_assert(C::params.count == 1 && C::params.positional_only,
                      "a METH_O callable declares one positional-only parameter: \"(x, /)\"");
        return {C::name, onearg_wrapper<decl>, METH_O | decl.flags, doc};
    } else {
        static_assert(std::is_same_v<Impl, ImplFast>, "not a method implementation");
        static_assert(!C::params.positional_only, "fastcall callables take keywords too");
        return {C::name,
                reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(fastcall_wrapper<decl>)),
                METH_FASTCALL | METH_KEYWORDS | decl.flags, doc};
    }
}

template <const auto& decl>
PyGetSetDef getset_def() {
    using Set = std::remove_cvref_t<decltype(decl.set)>;
    setter set = nullptr;
    if constexpr (!std::is_same_v<Set, std::nullptr_t>) set = set_wrapper<decl>;
    return {decl.qualname + last_component(decl.qualname), get_wrapper<decl>, set, decl.doc,
            nullptr};
}

}  // namespace callable_detail

namespace callable_detail {

template <typename R>
bool failed(R result) {
    if constexpr (std::is_pointer_v<R>) {
        return result == nullptr;
    } else {
        return result == -1 && PyErr_Occurred();  // -1 may be a value (a uniform location)
    }
}

template <const auto& decl, typename R, typename... A>
R native_call(A... args) {
    if constexpr (std::is_void_v<R>) {
        invoke<decl.impl>(args...);
        if (PyErr_Occurred()) Site<decl>::traceback();
    } else {
        R result = invoke<decl.impl>(args...);
        if (failed(result)) Site<decl>::traceback();
        return result;
    }
}

template <const auto& decl, typename R, typename... A>
constexpr auto native_of(R (*)(A...)) {
    return &native_call<decl, R, A...>;
}

}  // namespace callable_detail

// The operation-table entry of a native operation's declaration.
template <const auto& decl>
inline constexpr auto native = callable_detail::native_of<decl>(decl.impl);

namespace callable_detail {

template <const auto& decl, typename... A>
void native_void_call(A... args) {
    if (invoke<decl.impl>(args...) < 0) Site<decl>::traceback();
}

template <const auto& decl, typename... A>
constexpr auto native_void_of(int (*)(A...)) {
    return &native_void_call<decl, A...>;
}

}  // namespace callable_detail

// The entry of an operation that the table declares as returning nothing, from an
// implementation that follows the return convention (0, or -1 with an exception set): the
// caller tests for an exception, and the entry adds the traceback entry on -1 without asking
// the interpreter whether one is set.
template <const auto& decl>
inline constexpr auto native_void = callable_detail::native_void_of<decl>(decl.impl);

// A method table (or a module's function table) of declared callables, ending in its sentinel.
template <const auto&... decls>
inline PyMethodDef method_table[] = {callable_detail::method_def<decls>()...,
                                     {nullptr, nullptr, 0, nullptr}};

template <const auto&... decls>
inline PyGetSetDef getset_table[] = {callable_detail::getset_def<decls>()...,
                                     {nullptr, nullptr, nullptr, nullptr, nullptr}};

namespace callable_detail {

// Binds the tuple-and-dict arguments of a type slot to the declaration and runs `run` on them;
// on failure (`failure`, which the implementation returns too) adds the traceback entry.
template <const auto& decl, typename Result, typename Run>
Result call_slot(PyObject* args, PyObject* kwargs, Result failure, Run run) {
    using C = Compiled<decl>;
    static_assert(!C::params.bound && !C::params.positional_only,
                  "a constructor's text signature has no $ parameter and takes keywords");
    PyObject* values[C::slots];
    C::fill_defaults(values);
    Result result = failure;
    // A constructor without parameters refuses any argument as a method without them does.
    const int bound = C::params.count == 0 ? parse_no_tuple_args(C::message_name, args, kwargs)
                                           : parse_tuple_args(C::signature, args, kwargs, values);
    if (bound == 0) result = run(Args(values));
    if (result == failure) C::traceback();
    return result;
}

}  // namespace callable_detail

// A type's tp_new from a declaration "<Class>.__new__": binds the arguments of the tuple and
// dict, calls the implementation, adds the traceback entry on failure.
template <const auto& decl>
PyObject* new_slot(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    static_assert(
        std::is_same_v<std::remove_cvref_t<decltype(decl.impl)>, callable_detail::ImplNew>);
    return callable_detail::call_slot<decl>(
        args, kwargs, static_cast<PyObject*>(nullptr),
        [type](Args a) { return callable_detail::invoke<decl.impl>(type, a); });
}

// A type's tp_init from a declaration "<Class>.__init__"; its implementation returns 0 or -1.
template <const auto& decl>
int init_slot(PyObject* self, PyObject* args, PyObject* kwargs) {
    static_assert(
        std::is_same_v<std::remove_cvref_t<decltype(decl.impl)>, callable_detail::ImplInit>);
    return callable_detail::call_slot<decl>(
        args, kwargs, -1, [self](Args a) { return callable_detail::invoke<decl.impl>(self, a); });
}

// A type's tp_vectorcall for a declaration "<Class>.__init__": calling the class itself makes
// the object with `make` (the type's tp_new) and binds the fastcall arguments directly, without
// the tuple and dict of tp_init. Python subclasses do not inherit it and go through the slots.
template <const auto& decl, PyObject* (*make)(PyTypeObject*, PyObject*, PyObject*)>
PyObject* init_vectorcall(PyObject* type, PyObject* const* args, size_t nargsf, PyObject* kwnames) {
    using C = callable_detail::Compiled<decl>;
    static_assert(C::is_init && !C::params.bound && !C::params.positional_only);
    PyRef self = PyRef::steal(make(reinterpret_cast<PyTypeObject*>(type), nullptr, nullptr));
    if (!self) return nullptr;
    PyObject* values[C::slots];
    int rc = C::bind(args, static_cast<Py_ssize_t>(nargsf), kwnames, values);
    if (rc == 0) rc = callable_detail::invoke<decl.impl>(self.get(), Args(values));
    if (rc < 0) {
        C::traceback();
        return nullptr;
    }
    return self.release();
}

// Adds the traceback entry of a declaration from inside another implementation: for a call that
// runs a declared callable's body on behalf of another (a subclass's constructor running its
// base's), so that the traceback names both.
template <const auto& decl>
void add_traceback_of() {
    callable_detail::Site<decl>::traceback();
}

namespace callable_detail {

// A class method reached through a `classmethod` object: the class arrives as the first
// positional argument, the declared parameters follow it.
template <const auto& decl>
PyObject* classmethod_wrapper(PyObject*, PyObject* const* args, Py_ssize_t nargsf,
                              PyObject* kwnames) {
    using C = Compiled<decl>;
    const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    PyObject* result = nullptr;
    if (nargs < 1) {
        PyErr_Format(PyExc_TypeError, "%.200s() needs the class", C::name);
    } else {
        PyObject* values[C::slots];
        if (C::bind(args + 1, nargs - 1, kwnames, values) == 0) {
            result = invoke<decl.impl>(args[0], Args(values));
        }
    }
    if (result == nullptr) C::traceback();
    return result;
}

}  // namespace callable_detail

// A `classmethod` object (not a method descriptor) for a declaration "($cls, ...)", for a class
// whose dictionary holds one: it wraps a plain function that receives the class first. New
// reference, or null with an exception set.
template <const auto& decl>
PyObject* classmethod_object(PyObject* module_name) {
    using C = callable_detail::Compiled<decl>;
    static_assert(C::params.bound && !C::params.positional_only,
                  "a class method's text signature starts with $cls and takes keywords");
    static PyMethodDef def = {C::name,
                              reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(
                                  callable_detail::classmethod_wrapper<decl>)),
                              METH_FASTCALL | METH_KEYWORDS, C::doc.data()};
    PyRef function = PyRef::steal(PyCFunction_NewEx(&def, nullptr, module_name));
    if (!function) return nullptr;
    return PyClassMethod_New(function.get());
}

// The type's docstring from its constructor's declaration: "<Class>(<params>)\n--\n\n<doc>", so
// that `inspect.signature(<Class>)` shows the constructor's parameters.
template <const auto& decl>
constexpr const char* type_doc = [] {
    using C = callable_detail::Compiled<decl>;
    static_assert(!C::params.bound, "a constructor's text signature has no $ parameter");
    return C::doc.data();
}();

}  // namespace zorva
