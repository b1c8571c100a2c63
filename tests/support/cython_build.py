"""Builds a Cython consumer extension against the installed package and imports it.

Compiled callers of the package's native types `cimport` them from the `.pxd` files shipped in
the package; the tests build such a caller the same way a user would (Cython + setuptools, C++
mode) into tests/_build/ and import it. Rebuilds happen only when a source or `.pxd` changed.
"""

import hashlib
import importlib.util
import pathlib
import sys

BUILD_ROOT = pathlib.Path(__file__).resolve().parent.parent / "_build"


def _package_root():
    import zorva_ui

    # The directory that holds the `zorva_ui` package, so `cimport zorva_ui....` finds its .pxd.
    return pathlib.Path(zorva_ui.__file__).resolve().parent.parent


def _fingerprint(pyx, package_root):
    digest = hashlib.sha256(pyx.read_bytes())
    for pxd in sorted((package_root / "zorva_ui").rglob("*.pxd")):
        digest.update(pxd.read_bytes())
    digest.update(sys.version.encode())
    return digest.hexdigest()[:16]


def build_consumer(pyx, module_name=None):
    """Compiles `pyx` (a path) into an extension module and returns the imported module."""
    from Cython.Build import cythonize
    from setuptools import Distribution, Extension

    pyx = pathlib.Path(pyx).resolve()
    module_name = module_name or pyx.stem
    if module_name in sys.modules:
        return sys.modules[module_name]
    package_root = _package_root()
    out_dir = BUILD_ROOT / f"{module_name}-{_fingerprint(pyx, package_root)}"
    out_dir.mkdir(parents=True, exist_ok=True)

    built = sorted(out_dir.glob(f"{module_name}.*.so"))
    if not built:
        ext = Extension(
            module_name,
            [str(pyx)],
            language="c++",
            extra_compile_args=["-std=c++20", "-O2"],
        )
        ext_modules = cythonize(
            [ext],
            include_path=[str(package_root)],
            build_dir=str(out_dir / "src"),
            compiler_directives={"language_level": 3},
            quiet=True,
        )
        dist = Distribution({"ext_modules": ext_modules, "script_name": "build"})
        cmd = dist.get_command_obj("build_ext")
        cmd.build_lib = str(out_dir)
        cmd.build_temp = str(out_dir / "tmp")
        cmd.ensure_finalized()
        cmd.run()
        built = sorted(out_dir.glob(f"{module_name}.*.so"))
    spec = importlib.util.spec_from_file_location(module_name, built[0])
    module = importlib.util.module_from_spec(spec)
    sys.modules[module_name] = module
    try:
        spec.loader.exec_module(module)
    except BaseException:
        del sys.modules[module_name]
        raise
    return module
