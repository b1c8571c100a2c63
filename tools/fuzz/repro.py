"""Self-contained reproducer scripts: the calls' source text, the set-up lines they use and the
prelude definitions those reach (nothing is imported from the fuzzer)."""

import ast
import pathlib

from .gen import SETUP

PRELUDE = pathlib.Path(__file__).with_name("prelude.py")


def _names(tree):
    return {n.id for n in ast.walk(tree) if isinstance(n, ast.Name)} | {
        n.attr for n in ast.walk(tree) if isinstance(n, ast.Attribute)
    }


def _defined(stmt):
    if isinstance(stmt, ast.FunctionDef | ast.ClassDef):
        return {stmt.name}
    if isinstance(stmt, ast.Import | ast.ImportFrom):
        return {(a.asname or a.name).split(".")[0] for a in stmt.names}
    if isinstance(stmt, ast.Assign):
        return {t.id for t in stmt.targets if isinstance(t, ast.Name)}
    return set()


def _closure(wanted, units):
    """The units (source, defined names, used names) reached from `wanted`, in file order."""
    chosen = set()
    frontier = set(wanted)
    while frontier:
        name = frontier.pop()
        for i, (_, defined, used) in enumerate(units):
            if name in defined and i not in chosen:
                chosen.add(i)
                frontier |= used
    return [units[i][0] for i in sorted(chosen)]


def prelude_units():
    text = PRELUDE.read_text()
    tree = ast.parse(text)
    units = []
    for stmt in tree.body:
        if isinstance(stmt, ast.Expr):  # the docstring
            continue
        src = ast.get_source_segment(text, stmt)
        if isinstance(stmt, ast.FunctionDef | ast.ClassDef) and stmt.decorator_list:
            first = stmt.decorator_list[0].lineno
            src = "\n".join(text.splitlines()[first - 1 : stmt.end_lineno])
        units.append((src, _defined(stmt), _names(stmt)))
    return units


def build(seed, calls, title):
    """A reproducer for `calls` (gen.Call objects, in order)."""
    used = set()
    for c in calls:
        used |= _names(ast.parse(c.source))
    setup_units = [(line, {name}, _names(ast.parse(line))) for name, line in SETUP]
    setup = _closure(used, setup_units)
    for line in setup:
        used |= _names(ast.parse(line))
    # "os" and "rl" are always kept: the script reports through them.
    defs = _closure(used | {"rl"}, prelude_units())
    out = [f"# {title}", f"# seed {seed}, calls {[c.index for c in calls]}"]
    out += defs
    out += ["", "# set-up"] + setup
    out.append("rl.context_info()  # the rendering context belongs to this thread")
    for c in calls:
        body = "\n".join("    " + line for line in c.source.splitlines())
        out += [
            f"# call {c.index} ({c.target})",
            "try:",
            body,
            "except SystemError:",
            "    raise",
            "except Exception as e:",
            f"    print('call {c.index}:', type(e).__name__, str(e)[:100])",
        ]
    if any("BROKEN" in unit for unit in defs):
        out += ["if BROKEN:  # raised inside a hook", "    raise BROKEN[0]"]
    out.append("print('done')")
    return "\n".join(out) + "\n"
