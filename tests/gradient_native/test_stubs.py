"""The type stubs of the compiled modules against the modules themselves.

Both ways: every public name of a module and of its classes is in the stub and every stub name
exists at runtime; parameter names, order and defaults of the stub bind at runtime (checked by
calling with values that fail conversion, since the compiled functions carry no signatures);
mypy's stubtest agrees; every public name is documented; and the type checker, strict and with
nothing silenced, accepts correct uses of every public entry point and reports wrong ones
against the installed package.
"""

import ast
import importlib
import importlib.util
import inspect
import os
import pathlib
import re
import subprocess
import sys

import pytest

HERE = pathlib.Path(__file__).parent
SAMPLES = HERE / "typing_samples"
ALLOWLIST = HERE / "stubtest_allowlist.txt"
MODULES = [
    "zorva_ui.fast.zvraygrad.zvraygrad",
    "zorva_ui.fast.zorvacache.zorvacache",
    "zorva_ui.fast.raylib.zorva_raylib",
    "zorva_ui.fast.zvvector2.zvvector2",
    "zorva_ui.fast.zvrect.zvrect",
    "zorva_ui.fast.zvshader.zvshader",
    "zorva_ui.fast.zvrendertex.zv_render_tex",
    "zorva_ui.fast.zvpicture.zvpicture",
]

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
    # Ordering slots of a type with tp_richcompare: they refuse every operand, so the stubs
    # leave them out and the type checker reports `<` on vectors.
    "__lt__",
    "__le__",
    "__gt__",
    "__ge__",
}
# A struct sequence and an enumeration: their members come from the interpreter's machinery,
# which stubtest checks; the probes here are for the extension types.
MACHINERY_CLASSES = {"RenderTarget", "BlendMode"}

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
        elif isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name):
            members.setdefault(node.target.id, node)
    return members


def stub_classes(module):
    return [
        n
        for n in stub_module_names(stub_tree(module)).values()
        if isinstance(n, ast.ClassDef) and n.name not in MACHINERY_CLASSES
    ]


def is_property(node):
    if not isinstance(node, ast.FunctionDef):
        return True  # an annotated attribute: a member or getset descriptor
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


def _ended(mode):
    mode.__exit__()
    return mode


def fresh_instance(cls):
    """An instance to probe methods on: unset where the type allows it, else a small real one
    (the layer's handles are made by functions, render textures need a size)."""
    from zorva_ui.fast.raylib import zorva_raylib as rl

    made = {
        "Image": lambda: rl.gen_image_color(1, 1, rl.WHITE),
        "Texture": lambda: rl.load_texture_from_image(rl.gen_image_color(1, 1, rl.WHITE)),
        "ZvRenderTexture": lambda: cls((1, 1)),
        "DrawingMode": lambda: _ended(rl.begin_blend_mode(rl.BlendMode.BLEND_ALPHA)),
    }
    return made[cls.__name__]() if cls.__name__ in made else cls.__new__(cls)


def is_static(node):
    return any(isinstance(d, ast.Name) and d.id == "staticmethod" for d in node.decorator_list)


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
    if not params:
        # Calling it would do its work (start a trace, end a mode): only refusals are probed.
        if binding_outcome(fn, [poison], {}) is None:
            problems.append(f"{label}: takes no arguments in the stub but accepts one")
        return problems
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
    classes = stub_classes(module)
    assert classes
    for cls_node in classes:
        cls = getattr(module, cls_node.name)
        runtime = set(vars(cls)) - TYPE_MACHINERY
        stub_members = {
            k: v for k, v in stub_class_members(cls_node).items() if k not in TYPE_MACHINERY
        }
        assert runtime - set(stub_members) == set(), f"{cls_node.name}: missing from the stub"
        assert set(stub_members) - runtime == set(), f"{cls_node.name}: not in the class"
        for name, node in stub_members.items():
            attr = inspect.getattr_static(cls, name)
            if name == "__hash__":
                assert attr is None, f"{cls_node.name} is hashable"  # mutable: unhashable
                continue
            kind_ok = not is_property(node) or inspect.isdatadescriptor(attr)
            assert kind_ok, f"{cls_node.name}.{name}: a property in the stub only"
            if not is_property(node):
                assert callable(attr) or isinstance(attr, classmethod | staticmethod), name
            elif isinstance(node, ast.AnnAssign):
                assert inspect.isdatadescriptor(attr), f"{cls_node.name}.{name}"


@pytest.mark.parametrize("module_name", MODULES)
def test_parameters_bind_as_in_stub(module_name):
    module = load(module_name)
    problems = []
    for name, node in stub_module_names(stub_tree(module)).items():
        if isinstance(node, ast.FunctionDef):
            problems += check_binding(getattr(module, name), stub_params(node, False), name)
        if not isinstance(node, ast.ClassDef) or name in MACHINERY_CLASSES:
            continue
        cls = getattr(module, name)
        for member, fn_node in stub_class_members(node).items():
            if is_property(fn_node):
                continue
            params = stub_params(fn_node, skip_first=not is_static(fn_node))
            if member == "__new__":
                problems += check_binding(cls, params, f"{name}()")
                continue
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


@pytest.mark.parametrize("module_name", MODULES)
def test_every_public_name_is_documented(module_name):
    """Editors show the stubs' docstrings: every public class, function, method and property
    has one (constructors are told by their class, setters by their getter)."""
    tree = stub_tree(load(module_name))
    undocumented = []

    def check(node, label):
        if ast.get_docstring(node) is None:
            undocumented.append(label)

    for name, node in stub_module_names(tree).items():
        if isinstance(node, ast.FunctionDef | ast.ClassDef):
            check(node, name)
        if not isinstance(node, ast.ClassDef):
            continue
        for member in node.body:
            if not isinstance(member, ast.FunctionDef) or member.name in ("__init__", "__new__"):
                continue
            if any(isinstance(d, ast.Attribute) for d in member.decorator_list):
                continue  # a setter or deleter
            if is_public(member.name):
                check(member, f"{name}.{member.name}")
    assert undocumented == []


def allowlist_entries():
    """The allowlist's entries; each must carry its reason on the line before it."""
    lines = ALLOWLIST.read_text().splitlines()
    entries = []
    for i, line in enumerate(lines):
        if line.strip() and not line.startswith("#"):
            assert i > 0 and lines[i - 1].startswith("# "), f"no reason given for {line}"
            entries.append(line.strip())
    return entries


def test_stubtest_agrees_with_the_modules(tmp_path):
    pytest.importorskip("mypy", reason="mypy is installed by `make build` (DEV_DEPS)")
    for name in MODULES:
        load(name)
    allowlist_entries()
    env = {k: v for k, v in os.environ.items() if k not in ("MYPYPATH", "PYTHONPATH")}
    proc = subprocess.run(
        [sys.executable, "-m", "mypy.stubtest", "--allowlist", str(ALLOWLIST)]
        + ["--mypy-config-file", str(empty_config(tmp_path)), *MODULES],
        cwd=tmp_path,
        env=env,
        capture_output=True,
        text=True,
        timeout=600,
    )
    assert proc.returncode == 0, proc.stdout + proc.stderr


def empty_config(tmp_path):
    config = tmp_path / "mypy.ini"
    config.write_text("[mypy]\nstrict = True\n")
    return config


def run_mypy(sample, tmp_path):
    pytest.importorskip("mypy", reason="mypy is installed by `make build` (DEV_DEPS)")
    for name in MODULES:
        load(name)
    # Strict, and nothing silenced: every module of ours resolves, with types, from the
    # installed package.
    config = empty_config(tmp_path)
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


def test_correct_uses_also_run(tmp_path):
    """What the type checker accepts is real use: the sample runs against the modules."""
    for name in MODULES:
        load(name)
    spec = importlib.util.spec_from_file_location("uses_ok", SAMPLES / "uses_ok.py")
    sample = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(sample)
    assert sample.package().startswith(sample.zorva_ui.__version__)
    assert sample.gradients() > 0
    assert sample.caches() == 3
    assert sample.layer(str(tmp_path / "layer.png")) > 0
    assert (tmp_path / "layer.png").read_bytes()[:4] == b"\x89PNG"
    assert sample.cpu().shape == (4, 4, 4)


def test_package_sources_pass_strict_checking(tmp_path):
    """The package's own Python modules and stubs, annotated throughout."""
    pytest.importorskip("mypy", reason="mypy is installed by `make build` (DEV_DEPS)")
    package = HERE.parents[1] / "src" / "zorva_ui"
    env = {k: v for k, v in os.environ.items() if k not in ("MYPYPATH", "PYTHONPATH")}
    proc = subprocess.run(
        [sys.executable, "-m", "mypy", "--config-file", str(empty_config(tmp_path))]
        + ["--cache-dir", str(HERE.parent / "_build" / "mypy_cache"), str(package)],
        cwd=tmp_path,
        env=env,
        capture_output=True,
        text=True,
        timeout=300,
    )
    assert proc.returncode == 0, proc.stdout + proc.stderr
