#!/usr/bin/env bash
# Sets everything up (see bootstrap.sh) and runs the demo on CPython and PyPy.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/tools/bootstrap.sh"
for venv in .venv-cpython .venv-pypy; do
  "$root/$venv/bin/python" "$root/examples/demo.py"
done
