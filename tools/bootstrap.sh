#!/usr/bin/env bash
# Installs what jdpricer needs on a fresh Debian machine (system packages, a
# CPython and a PyPy virtual environment in the repo) and builds the module
# into both environments. Safe to run again: it only adds what is missing and
# rebuilds incrementally.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

apt_packages=(cmake g++ ninja-build binutils libgtest-dev libbenchmark-dev
              pypy3 pypy3-dev pypy3-venv clang libclang-rt-dev valgrind)
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

# venv_dir interpreter: make the environment once, then (re)install the module
# and what the tests and examples use.
install_into() {
  local dir=$1 interpreter=$2
  shift 2
  if [ ! -x "$dir/bin/python" ]; then
    echo "== creating $dir with $interpreter"
    "$interpreter" -m venv "$dir"
    "$dir/bin/python" -m pip install -q --disable-pip-version-check --upgrade pip
  fi
  "$dir/bin/python" -m pip install -q --disable-pip-version-check "$@"
  echo "== building jdpricer for $("$dir/bin/python" -c 'import platform,sys; print(platform.python_implementation(), platform.python_version())')"
  "$dir/bin/python" -m pip install -q --disable-pip-version-check --force-reinstall --no-deps .
}

install_into .venv-cpython "${PYTHON:-python3}" pytest mpmath matplotlib mypy numpy scipy vollib "dask[distributed,dataframe]" pandas pyarrow
install_into .venv-pypy pypy3 pytest mpmath numpy
