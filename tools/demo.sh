#!/usr/bin/env bash
# Sets up what the demo needs (bootstrap.sh --demo: the module built for the
# machine's CPython and for PyPy, nothing else) and runs the demo on both.
# tools/test.sh sets up the rest.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/tools/bootstrap.sh" --demo
for venv in .venv-cpython .venv-pypy; do
  "$root/$venv/bin/python" "$root/examples/demo.py"
done
