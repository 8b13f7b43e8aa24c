"""The type stubs (package jdpricer-stubs) as installed next to the module.

mypy --strict must accept typing_user_script.py, which uses every part of the
API, and reject each misuse below with the expected error code; the misuses
that fail at runtime are run as well, so stubs and module are seen to agree
in both directions. mypy's stubtest compares the stubs with the module; it
cannot read the signatures of pybind11 functions (they carry no
__text_signature__), so those are compared here with the signature line
pybind11 writes into each docstring. mypy and stubtest run on CPython only.
"""
import ast
import filecmp
import importlib.metadata
import os
import platform
import re
import subprocess
import sys
from pathlib import Path

import pytest

import jdpricer

try:
    import mypy  # noqa: F401

    HAVE_MYPY = True
except ImportError:
    HAVE_MYPY = False

HERE = Path(__file__).resolve().parent
REPO_STUB = HERE.parent.parent / "stubs" / "jdpricer-stubs" / "__init__.pyi"
USER_SCRIPT = HERE / "typing_user_script.py"

SETUP = """\
import jdpricer
call = jdpricer.KouEuropeanCall(0.5, 98.0)
"""

# (statement, mypy error code, exception it raises at runtime or None)
MISUSES = [
    ("jdpricer.Option()", "abstract", TypeError),
    ("jdpricer.EuropeanOption()", "abstract", TypeError),
    ("jdpricer.KouEuropeanCall(T=0.5, K=98.0)", "call-arg", TypeError),
    ("jdpricer.KouEuropeanPut(0.5)", "call-arg", TypeError),
    ('jdpricer.KouEuropeanPut("0.5", 98.0)', "arg-type", TypeError),
    ('call.priceByKouJumpDiffusion("100", 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, 10)', "arg-type", TypeError),
    ("call.priceByKouJumpDiffusion(100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, 10.0)", "arg-type", TypeError),
    ("call.priceByKouJumpDiffusion(100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0)", "call-arg", TypeError),
    ("call.priceByKouJumpDiffusion(100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, m=10)", "call-arg", TypeError),
    ("jdpricer.create_european_call(T=0.5, strike=98.0)", "call-arg", TypeError),
    ("jdpricer.create_european_put(None, 98.0)", "arg-type", TypeError),
    ("text: str = call.priceByKouJumpDiffusion(100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, 10)", "assignment", None),
    ("put: jdpricer.KouEuropeanPut = jdpricer.create_european_call(0.5, 98.0)", "assignment", None),
    ("jdpricer.Option.priceByKouJumpDiffusion", "attr-defined", AttributeError),
]
RUNTIME_FAILURES = [(statement, exception) for statement, _, exception in MISUSES if exception]

ERROR_LINE = re.compile(r"^(?P<file>[^:]+):(?P<line>\d+): error: .*\[(?P<code>[a-z-]+)\]$")


def run_tool(args, cwd, config_option="--config-file"):
    # An empty config and no MYPYPATH: neither the user's settings nor a stub
    # directory other than the installed one takes part.
    config = cwd / "mypy.ini"
    config.write_text("[mypy]\n")
    env = {k: v for k, v in os.environ.items() if k not in ("MYPYPATH", "MYPY_CACHE_DIR")}
    return subprocess.run(
        [sys.executable, "-m", *args, config_option, str(config)],
        cwd=cwd,
        env=env,
        capture_output=True,
        text=True,
        timeout=300,
    )


def test_installed_stubs_are_the_repository_stubs():
    shipped = [f for f in importlib.metadata.files("jdpricer") if str(f) == "jdpricer-stubs/__init__.pyi"]
    assert shipped, "the installed jdpricer has no jdpricer-stubs/__init__.pyi"
    installed = Path(shipped[0].locate())
    assert filecmp.cmp(installed, REPO_STUB, shallow=False), (
        f"{installed} differs from {REPO_STUB}; reinstall (bash tools/bootstrap.sh)"
    )


@pytest.mark.parametrize("statement, exception", RUNTIME_FAILURES, ids=[s for s, _ in RUNTIME_FAILURES])
def test_misuses_fail_at_runtime_too(statement, exception):
    namespace = {"jdpricer": jdpricer}
    exec(SETUP, namespace)
    with pytest.raises(exception):
        exec(statement, namespace)


# --- stub signatures against pybind11's docstring signatures -----------------

# The one deliberate difference: pybind11 declares n as SupportsInt |
# SupportsIndex, but its int conversion refuses floats, which SupportsInt
# would admit; the stub says SupportsIndex.
NARROWED = {("EuropeanOption.priceByKouJumpDiffusion", "n"): ("SupportsInt | SupportsIndex", "SupportsIndex")}


def stub_functions():
    """{'Class.method' or 'function': ast.FunctionDef} and the stub's aliases."""
    tree = ast.parse(REPO_STUB.read_text())
    aliases = {}
    functions = {}
    for node in tree.body:
        if isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name) and node.value is not None:
            aliases[node.target.id] = ast.unparse(node.value)
        elif isinstance(node, ast.FunctionDef):
            functions[node.name] = node
        elif isinstance(node, ast.ClassDef):
            for item in node.body:
                if isinstance(item, ast.FunctionDef):
                    functions[f"{node.name}.{item.name}"] = item
    return functions, aliases


def docstring_signature(obj):
    """([(name, annotation)], return annotation) from pybind11's first doc line."""
    line = obj.__doc__.splitlines()[0]
    match = re.fullmatch(r"\w+\((?P<params>.*)\) -> (?P<ret>.+)", line)
    assert match, line
    # A bare "*" (keyword-only parameters follow) stands as ("*", "").
    params = [part.partition(": ")[::2] for part in re.split(r", (?=\w+: |\*)", match["params"])]
    return [(name, unqualified(annotation)) for name, annotation in params], unqualified(match["ret"])


def unqualified(annotation):
    return annotation.replace("typing.", "").replace("jdpricer.", "")


def stub_annotation(node, aliases):
    """The annotation's text with the stub's private aliases spelt out."""
    text = "None" if node is None else ast.unparse(node)
    return aliases.get(text, text)


def runtime_object(qualified):
    owner, _, attribute = qualified.rpartition(".")
    return getattr(getattr(jdpricer, owner) if owner else jdpricer, attribute)


SIGNED = [
    "EuropeanOption.priceByKouJumpDiffusion",
    "KouEuropeanCall.__init__",
    "KouEuropeanPut.__init__",
    "create_european_call",
    "create_european_put",
]


@pytest.mark.parametrize("qualified", SIGNED)
def test_stub_signature_matches_pybind11_docstring(qualified):
    functions, aliases = stub_functions()
    stub = functions[qualified]
    runtime_params, runtime_return = docstring_signature(runtime_object(qualified))
    args = stub.args
    assert not (args.vararg or args.kwarg or args.kwonlyargs or args.defaults), qualified
    stub_params = [
        (a.arg, stub_annotation(a.annotation, aliases), a in args.posonlyargs) for a in args.posonlyargs + args.args
    ]
    if "." in qualified:
        assert stub_params[0][0] == "self" and runtime_params[0][0] == "self"
        stub_params, runtime_params = stub_params[1:], runtime_params[1:]
    assert len(stub_params) == len(runtime_params), qualified
    for (name, annotation, positional_only), (runtime_name, runtime_annotation) in zip(stub_params, runtime_params):
        # pybind11 names arguments declared without py::arg arg0, arg1, ...
        # and takes them by position only.
        if re.fullmatch(r"arg\d+", runtime_name):
            assert positional_only, (qualified, name)
        else:
            assert (name, positional_only) == (runtime_name, False), qualified
        expected = NARROWED.get((qualified, name), (runtime_annotation, runtime_annotation))
        assert (runtime_annotation, annotation) == expected, (qualified, name)
    assert stub_annotation(stub.returns, aliases) == runtime_return, qualified


def test_every_public_callable_is_compared():
    functions, _ = stub_functions()
    public = {name for name in functions if not name.rpartition(".")[2].startswith("_") or name.endswith("__init__")}
    abstract = {"Option.__init__", "EuropeanOption.__init__"}
    assert public - abstract == set(SIGNED)


# --- mypy and stubtest ---------------------------------------------------------


def needs_mypy(test):
    test = pytest.mark.skipif(
        platform.python_implementation() != "CPython", reason="mypy and stubtest run on CPython only"
    )(test)
    return pytest.mark.skipif(not HAVE_MYPY, reason="mypy is not installed in this environment (pip install mypy)")(
        test
    )


@needs_mypy
def test_mypy_strict_accepts_correct_use_and_rejects_misuse(tmp_path):
    good = tmp_path / "user_script.py"
    good.write_text(USER_SCRIPT.read_text())
    bad = tmp_path / "misuse.py"
    bad.write_text(SETUP + "".join(statement + "\n" for statement, _, _ in MISUSES))

    result = run_tool(["mypy", "--strict", "--cache-dir", str(tmp_path / "cache"), good.name, bad.name], tmp_path)
    output = result.stdout + result.stderr

    errors = {}
    for line in result.stdout.splitlines():
        match = ERROR_LINE.match(line)
        if match:
            errors.setdefault((match["file"], int(match["line"])), set()).add(match["code"])
    assert not [key for key in errors if key[0] != bad.name], output

    first = SETUP.count("\n") + 1
    for offset, (statement, code, _) in enumerate(MISUSES):
        assert code in errors.get((bad.name, first + offset), set()), f"mypy accepted {statement!r}\n{output}"
    assert len(errors) == len(MISUSES), output
    assert result.returncode == 1, output


@needs_mypy
def test_user_script_runs():
    # What mypy accepts in the script must also work.
    result = subprocess.run([sys.executable, str(USER_SCRIPT)], capture_output=True, text=True, timeout=60)
    assert result.returncode == 0, result.stdout + result.stderr
    assert result.stdout.startswith("5 prices")


@needs_mypy
def test_stubtest_finds_the_stubs_consistent_with_the_module(tmp_path):
    result = run_tool(["mypy.stubtest", "jdpricer"], tmp_path, "--mypy-config-file")
    assert result.returncode == 0, result.stdout + result.stderr
    assert "Success: no issues found in 1 module" in result.stdout
