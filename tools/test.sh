#!/usr/bin/env bash
# Runs every test: installs what is missing (bootstrap.sh), then the C++
# tests through CTest and the Python tests under CPython and PyPy.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
jobs=$(nproc)

"$root/tools/bootstrap.sh"

echo "== C++: build and CTest (Release)"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$jobs"
ctest --test-dir build/release -j "$jobs" --output-on-failure

for venv in .venv-cpython .venv-pypy; do
  echo "== Python tests on $("$venv/bin/python" -c 'import platform; print(platform.python_implementation(), platform.python_version())')"
  "$venv/bin/python" -m pytest -q tests/python
done
