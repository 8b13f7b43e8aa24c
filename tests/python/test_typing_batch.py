"""The type stubs of jdpricer_batch (jdpricer_batch-stubs): they agree with the
module's own signatures and carry its docstrings word for word, mypy --strict
accepts correct use and rejects misuse, and stubtest finds them consistent
with the module (mypy on CPython only)."""
import ast
import filecmp
import importlib.metadata
import inspect
import re
from pathlib import Path

import pytest

import jdpricer_batch
from test_typing import ERROR_LINE, docstring_signature, needs_mypy, run_tool

STUB = Path(__file__).resolve().parents[2] / "stubs" / "jdpricer_batch-stubs" / "__init__.pyi"
PRICERS = ["call_prices", "put_prices", "call_error_bounds", "put_error_bounds", "fourier_call_prices",
           "fourier_put_prices", "series_lengths"]

USE = """\
import numpy as np
from numpy.typing import NDArray
import jdpricer_batch
T = np.array([[0.5], [1.0]])
calls: NDArray[np.float64] = jdpricer_batch.call_prices(T, [90.0, 100.0], 100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, 20, workers=2)
puts = jdpricer_batch.put_prices(T=0.5, K=98, S=100, r=0.05, sigma=0.16, lam=1, p=0.4, eta1=10, eta2=5, n=np.int64(20))
settled = jdpricer_batch.call_error_bounds(T, 98, 100, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, n="auto", q=[0.01, 0.02])
lengths: NDArray[np.int32] = jdpricer_batch.series_lengths(T, 0.16, 1.0, 0.4, 10.0, 5.0)
print(float(calls.sum() + puts + settled.sum()), int(lengths.max()))
"""
MISUSES = [
    ("jdpricer_batch.call_prices(0.5, 98, 100, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, 20.0)", "arg-type"),
    ("jdpricer_batch.call_prices(0.5, 98, 100, 0.05, [0.16], 1.0, 0.4, 10.0, 5.0, 20)", "arg-type"),
    ("jdpricer_batch.put_prices(0.5, 98, 100, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0)", "call-arg"),
    ("jdpricer_batch.put_prices(0.5, 98, 100, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, n='Auto')", "arg-type"),
    ("jdpricer_batch.fourier_put_prices(0.5, 98, 100, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, workers=2.0)", "arg-type"),
    # q is keyword only: mypy 1.x (the last for Python 3.9) files the surplus
    # positional under "misc", mypy 2 under "call-arg".
    ("jdpricer_batch.call_prices(0.5, 98, 100, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, 20, 1, 0.02)",
     ("call-arg", "misc")),
    ("text: str = jdpricer_batch.put_prices(0.5, 98, 100, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, 20)", "assignment"),
]


def test_installed_stubs_are_the_repository_stubs():
    shipped = [f for f in importlib.metadata.files("jdpricer") if str(f) == "jdpricer_batch-stubs/__init__.pyi"]
    assert shipped and filecmp.cmp(Path(shipped[0].locate()), STUB, shallow=False)


@pytest.mark.parametrize("name", PRICERS)
def test_stub_signature_matches_pybind11_docstring(name):
    tree = ast.parse(STUB.read_text())
    aliases = {n.target.id: ast.unparse(n.value) for n in tree.body if isinstance(n, ast.AnnAssign)}
    stub = next(n for n in tree.body if isinstance(n, ast.FunctionDef) and n.name == name)
    runtime, returns = docstring_signature(getattr(jdpricer_batch, name))

    def bare(text):  # without the numpy / np module prefixes, one kind of quotes
        return re.sub(r"\b(numpy|np)\.", "", text).replace("'", '"')

    def spelt(node):
        text = ast.unparse(node)
        return bare(aliases.get(text, text))

    defaults = [None] * (len(stub.args.args) - len(stub.args.defaults)) + stub.args.defaults
    stub_params = [(a.arg, spelt(a.annotation) + ("" if d is None else " = " + ast.unparse(d)))
                   for a, d in zip(stub.args.args, defaults)]
    if stub.args.kwonlyargs:
        stub_params.append(("*", ""))
        stub_params += [(a.arg, spelt(a.annotation) + ("" if d is None else " = " + ast.unparse(d)))
                        for a, d in zip(stub.args.kwonlyargs, stub.args.kw_defaults)]
    runtime = [(p, bare(t)) for p, t in runtime]
    assert not (stub.args.vararg or stub.args.kwarg or stub.args.posonlyargs)
    assert stub_params == runtime
    assert spelt(stub.returns) == bare(returns)


def stub_docstrings():
    """{qualified name: docstring} of the stub: '' is the module, 'Class.field' a field's."""
    tree = ast.parse(STUB.read_text())
    docs = {"": ast.get_docstring(tree)}
    for node in tree.body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            docs[node.name] = ast.get_docstring(node)
        if isinstance(node, ast.ClassDef):
            for field, after in zip(node.body, node.body[1:]):
                if isinstance(field, ast.AnnAssign) and isinstance(after, ast.Expr):
                    docs[f"{node.name}.{field.target.id}"] = inspect.cleandoc(after.value.value)
    return docs


def test_stub_docstrings_are_the_module_docstrings():
    """The text after pybind11's signature line, the module's, the named
    tuples' and their fields', for every public name (tools/sync_stub_docstrings.py
    copies them over after a change)."""
    stub = stub_docstrings()
    public = [name for name in dir(jdpricer_batch) if not name.startswith("_")]
    tuples = [name for name in public if hasattr(getattr(jdpricer_batch, name), "_fields")]
    fields = [f"{name}.{field}" for name in tuples for field in getattr(jdpricer_batch, name)._fields]
    assert sorted(stub) == sorted(["", *public, *fields])
    for name, text in stub.items():
        obj = jdpricer_batch
        for part in filter(None, name.split(".")):
            obj = getattr(obj, part)
        runtime = obj.__doc__
        if name in public and name not in tuples:
            signature, _, runtime = runtime.partition("\n")
            assert signature.startswith(f"{name}("), signature
        assert text == inspect.cleandoc(runtime), f"{name or 'the module'}: run tools/sync_stub_docstrings.py"


@needs_mypy
def test_mypy_strict_accepts_use_and_rejects_misuse(tmp_path):
    (tmp_path / "use.py").write_text(USE)
    (tmp_path / "misuse.py").write_text("import jdpricer_batch\n" + "".join(s + "\n" for s, _ in MISUSES))
    result = run_tool(["mypy", "--strict", "--cache-dir", str(tmp_path / "cache"), "use.py", "misuse.py"], tmp_path)
    errors = {}
    for line in result.stdout.splitlines():
        match = ERROR_LINE.match(line)
        if match:
            errors.setdefault((match["file"], int(match["line"])), set()).add(match["code"])
    assert sorted(errors) == [("misuse.py", line) for line in range(2, 2 + len(MISUSES))], (
        result.stdout + result.stderr)
    for line, (_, codes) in enumerate(MISUSES, start=2):
        [code] = errors[("misuse.py", line)]
        assert code in ((codes,) if isinstance(codes, str) else codes), (line, code)
    exec(compile(USE, "use.py", "exec"), {})


@needs_mypy
def test_stubtest_finds_the_stubs_consistent_with_the_module(tmp_path):
    result = run_tool(["mypy.stubtest", "jdpricer_batch"], tmp_path, "--mypy-config-file")
    assert result.returncode == 0 and "Success: no issues found in 1 module" in result.stdout, result.stdout
