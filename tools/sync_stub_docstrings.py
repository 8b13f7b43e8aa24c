"""Copies the docstrings of the installed jdpricer_batch into its type stub.

The docstrings are written once, in module/jdpricer_batch/batch_docstrings.hpp;
the stub (stubs/jdpricer_batch-stubs/__init__.pyi) carries the same text so
that IDEs show it, and tests/python/test_typing_batch.py fails when the two
differ. After editing the C++ text, rebuild the module and run

    .venv-cpython/bin/python tools/sync_stub_docstrings.py

The stub keeps its own layout: every docstring it holds (the module's, each
function's, RobustPrices' and those of its fields) is replaced in place, and
one that the stub lacks is an error, as is one the module lacks.
"""
import ast
import inspect
import sys
from pathlib import Path

import jdpricer_batch

STUB = Path(__file__).resolve().parents[1] / "stubs" / "jdpricer_batch-stubs" / "__init__.pyi"


def runtime_docstring(obj):
    """The object's documentation without pybind11's signature line."""
    doc = obj.__doc__ or ""
    if callable(obj) and not inspect.isclass(obj):
        doc = doc.partition("\n")[2]
    return inspect.cleandoc(doc)


def docstring_nodes(tree):
    """{qualified name: the stub's docstring expression} ('' for the module)."""
    def docstring_of(body):
        first = body[0] if body else None
        if isinstance(first, ast.Expr) and isinstance(first.value, ast.Constant) and isinstance(first.value.value, str):
            return first
        return None

    nodes = {"": docstring_of(tree.body)}
    for node in tree.body:
        if isinstance(node, ast.FunctionDef):
            nodes[node.name] = docstring_of(node.body)
        elif isinstance(node, ast.ClassDef):
            nodes[node.name] = docstring_of(node.body)
            for field, after in zip(node.body, node.body[1:]):
                if isinstance(field, ast.AnnAssign):
                    nodes[f"{node.name}.{field.target.id}"] = docstring_of([after])
    return nodes


def runtime_object(qualified):
    obj = jdpricer_batch
    for part in filter(None, qualified.split(".")):
        obj = getattr(obj, part)
    return obj


def quoted(text, indent):
    if '"""' in text or "\\" in text:
        raise SystemExit(f"cannot quote a docstring holding triple quotes or backslashes: {text[:60]!r}")
    lines = text.splitlines()
    if len(lines) == 1:
        return [f'{indent}"""{text}"""']
    body = [f"{indent}{line}" if line else "" for line in lines[1:]]
    return [f'{indent}"""{lines[0]}', *body, f'{indent}"""']


def main():
    source = STUB.read_text().splitlines()
    nodes = docstring_nodes(ast.parse("\n".join(source)))
    missing = [name or "the module" for name, node in nodes.items() if node is None]
    if missing:
        raise SystemExit(f"{STUB}: give these a docstring first: {', '.join(missing)}")
    # Last first, so that earlier line numbers stay valid.
    for name, node in sorted(nodes.items(), key=lambda item: -item[1].lineno):
        text = runtime_docstring(runtime_object(name))
        if not text:
            raise SystemExit(f"jdpricer_batch.{name} has no docstring")
        indent = " " * node.col_offset
        source[node.lineno - 1 : node.end_lineno] = quoted(text, indent)
    STUB.write_text("\n".join(source) + "\n")
    print(f"{STUB}: {len(nodes)} docstrings written", file=sys.stderr)


if __name__ == "__main__":
    main()
