"""The type stubs of the compiled modules against the modules themselves.

Both ways: every public name of a module and of its classes is in the stub and every stub name
exists at runtime; parameter names, order and defaults of the stub bind at runtime (checked by
calling with values that fail conversion, since the compiled functions carry no signatures);
and the type checker accepts correct uses and reports wrong ones against the installed package.
"""

import ast
import importlib
import inspect
import os
import pathlib
import re
import subprocess
import sys

import pytest

HERE = pathlib.Path(__file__).parent
SAMPLES = HERE / "typing_samples"
MODULES = ["zorva_ui.fast.zvraygrad.zvraygrad", "zorva_ui.fast.zorvacache.zorvacache"]

# Names every module or type has from the interpreter, which no stub lists.
MODULE_MACHINERY = {
    "__name__",
    "__doc__",
    "__package__",
    "__loader__",
    "__spec__",
    "__file__",
    "__builtins__",
    "__cached__",
}
TYPE_MACHINERY = {
    "__doc__",
    "__module__",
    "__new__",
    "__pyx_vtable__",
    "__getattribute__",
    "__dict__",
    "__weakref__",
    "__qualname__",
    "__firstlineno__",
    "__static_attributes__",
}

BINDING_ERROR = re.compile(
    r"unexpected keyword|positional argument|required argument|missing|"
    r"takes (no|exactly|at least|at most)|multiple values|expected \d+ arguments?, got"
)


def load(module_name):
    try:
        return importlib.import_module(module_name)
    except ImportError as exc:
        pytest.skip(f"{module_name} not built: {exc}")


def stub_path(module):
    path = pathlib.Path(module.__file__).with_name(module.__name__.rsplit(".", 1)[1] + ".pyi")
    assert path.exists(), f"no stub installed beside {module.__file__}"
    return path


def is_public(name):
    return not name.startswith("_") or name.startswith("__")


def stub_tree(module):
    return ast.parse(stub_path(module).read_text())


def stub_module_names(tree):
    names = {}
    for node in tree.body:
        if isinstance(node, ast.FunctionDef | ast.ClassDef):
            names[node.name] = node
        elif isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name):
            names[node.target.id] = node
        elif isinstance(node, ast.Assign):
            for target in node.targets:
                if isinstance(target, ast.Name):
                    names[target.id] = node
        elif isinstance(node, ast.ImportFrom):
            # Only `import x as x` re-exports in a stub.
            for alias in node.names:
                if alias.asname == alias.name:
                    names[alias.name] = node
    return {k: v for k, v in names.items() if is_public(k)}


def stub_class_members(cls_node):
    members = {}
    for node in cls_node.body:
        if isinstance(node, ast.FunctionDef):
            members.setdefault(node.name, node)
    return members


def is_property(node):
    return any(
        (isinstance(d, ast.Name) and d.id == "property")
        or (isinstance(d, ast.Attribute) and d.attr in ("setter", "deleter"))
        for d in node.decorator_list
    )


def stub_params(fn, skip_first):
    """(name, positional_only, has_default) for each parameter, without self/cls."""
    args = fn.args
    positional = args.posonlyargs + args.args
    defaults = [False] * (len(positional) - len(args.defaults)) + [True] * len(args.defaults)
    params = [
        (a.arg, i < len(args.posonlyargs), d)
        for i, (a, d) in enumerate(zip(positional, defaults, strict=True))
    ]
    params += [
        (a.arg, False, d is not None)
        for a, d in zip(args.kwonlyargs, args.kw_defaults, strict=True)
    ]
    return params[1:] if skip_first else params


class Poison:
    """Fails every conversion the modules attempt, so a call that binds its arguments raises a
    conversion error instead of doing anything."""

    __slots__ = ()

    def __repr__(self):
        return "<poison>"


def fresh_instance(cls):
    obj = cls.__new__(cls)
    return obj


def binding_outcome(fn, args, kwargs):
    try:
        fn(*args, **kwargs)
    except TypeError as exc:
        return str(exc) if BINDING_ERROR.search(str(exc)) else None
    except Exception:
        return None
    return None


def check_binding(fn, params, label):
    """The runtime accepts exactly the stub's parameters, under the stub's names."""
    poison = Poison()
    pos = [poison for name, positional_only, _ in params if positional_only]
    kw = {name: poison for name, positional_only, _ in params if not positional_only}
    problems = []
    if (err := binding_outcome(fn, pos, kw)) is not None:
        problems.append(f"{label}: all stub parameters refused: {err}")
    required_pos = [poison for n, p, d in params if p and not d]
    required_kw = {n: poison for n, p, d in params if not p and not d}
    if (err := binding_outcome(fn, required_pos, required_kw)) is not None:
        problems.append(f"{label}: required stub parameters alone refused: {err}")
    if binding_outcome(fn, pos, {**kw, "zz_not_a_parameter": poison}) is None:
        problems.append(f"{label}: accepts a keyword the stub does not declare")
    if binding_outcome(fn, [poison] * (len(params) + 1), {}) is None:
        problems.append(f"{label}: accepts more positional arguments than the stub declares")
    return problems


@pytest.mark.parametrize("module_name", MODULES)
def test_module_names_both_ways(module_name):
    module = load(module_name)
    runtime = {n for n in vars(module) if is_public(n)} - MODULE_MACHINERY
    stub = set(stub_module_names(stub_tree(module)))
    assert runtime - stub == set(), "missing from the stub"
    assert stub - runtime == set(), "in the stub but not in the module"


@pytest.mark.parametrize("module_name", MODULES)
def test_class_members_both_ways(module_name):
    module = load(module_name)
    classes = [
        n for n in stub_module_names(stub_tree(module)).values() if isinstance(n, ast.ClassDef)
    ]
    assert classes
    for cls_node in classes:
        cls = getattr(module, cls_node.name)
        runtime = set(vars(cls)) - TYPE_MACHINERY
        stub_members = stub_class_members(cls_node)
        assert runtime - set(stub_members) == set(), f"{cls_node.name}: missing from the stub"
        assert set(stub_members) - runtime == set(), f"{cls_node.name}: not in the class"
        for name, node in stub_members.items():
            attr = inspect.getattr_static(cls, name)
            kind_ok = not is_property(node) or inspect.isdatadescriptor(attr)
            assert kind_ok, f"{cls_node.name}.{name}: a property in the stub only"
            if is_property(node) is False:
                assert callable(attr) or isinstance(attr, classmethod | staticmethod), name


@pytest.mark.parametrize("module_name", MODULES)
def test_parameters_bind_as_in_stub(module_name):
    module = load(module_name)
    problems = []
    for name, node in stub_module_names(stub_tree(module)).items():
        if isinstance(node, ast.FunctionDef):
            problems += check_binding(getattr(module, name), stub_params(node, False), name)
        if not isinstance(node, ast.ClassDef):
            continue
        cls = getattr(module, name)
        for member, fn_node in stub_class_members(node).items():
            if is_property(fn_node):
                continue
            params = stub_params(fn_node, skip_first=True)
            bound = getattr(fresh_instance(cls), member)
            problems += check_binding(bound, params, f"{name}.{member}")
            try:
                sig = inspect.signature(bound)
            except (TypeError, ValueError):
                continue  # no runtime signature: the binding probe above is the check
            generic = {inspect.Parameter.VAR_POSITIONAL, inspect.Parameter.VAR_KEYWORD}
            if any(p.kind in generic for p in sig.parameters.values()):
                continue  # a slot wrapper's generic (*args, **kwargs)
            # Positional-only names are invisible to callers; the others must match.
            runtime_names = [
                None if p.kind is inspect.Parameter.POSITIONAL_ONLY else n
                for n, p in sig.parameters.items()
            ]
            assert runtime_names == [None if p else n for n, p, _ in params], f"{name}.{member}"
    assert problems == []


def run_mypy(sample, tmp_path):
    pytest.importorskip("mypy", reason="mypy is installed by `make build` (DEV_DEPS)")
    for name in MODULES:
        load(name)
    config = tmp_path / "mypy.ini"
    # The layer's modules ship no stubs; everything of ours must resolve from the installed package.
    config.write_text(
        "[mypy]\nstrict = True\nfollow_imports = silent\n"
        "[mypy-zorva_ui.fast.raylib.*,zorva_ui.fast.zvvector2.*,zorva_ui.fast.zvrect.*,"
        "zorva_ui.fast.zvshader.*,zorva_ui.fast.zvrendertex.*]\nignore_missing_imports = True\n"
    )
    env = {k: v for k, v in os.environ.items() if k not in ("MYPYPATH", "PYTHONPATH")}
    cache = HERE.parent / "_build" / "mypy_cache"
    proc = subprocess.run(
        [sys.executable, "-m", "mypy", "--config-file", str(config), "--cache-dir", str(cache)]
        + ["--no-error-summary", "--hide-error-context", str(sample)],
        cwd=tmp_path,
        env=env,
        capture_output=True,
        text=True,
        timeout=300,
    )
    lines = [ln for ln in proc.stdout.splitlines() if ": error:" in ln]
    return proc, lines


def test_type_checker_accepts_correct_uses(tmp_path):
    proc, errors = run_mypy(SAMPLES / "uses_ok.py", tmp_path)
    assert errors == [], proc.stdout + proc.stderr
    assert proc.returncode == 0, proc.stdout + proc.stderr


def test_type_checker_reports_wrong_uses(tmp_path):
    sample = SAMPLES / "uses_bad.py"
    expected = {
        i for i, line in enumerate(sample.read_text().splitlines(), 1) if line.endswith("# E")
    }
    proc, errors = run_mypy(sample, tmp_path)
    reported = {int(ln.split(":")[1]) for ln in errors}
    assert reported == expected, proc.stdout + proc.stderr
