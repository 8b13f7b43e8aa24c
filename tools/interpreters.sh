# Sourced by bootstrap.sh, test.sh and wheels.sh: finds the interpreters
# jdpricer is built and tested on.
#
# find_interpreters fills four parallel arrays, one entry per interpreter:
#   interp_exe    the interpreter's path
#   interp_venv   its development environment in the repo (.venv-cpython is
#                 the machine's python3, .venv-pypy Debian's pypy3, .venv-cpXY
#                 a CPython X.Y from pyenv or from PATH)
#   interp_label  e.g. "CPython 3.12.1", "PyPy 3.9.16 (PyPy 7.3.11)"
#   interp_tag    e.g. "cp312", "pp39"
# and interp_missing with the expected interpreters (the table of docs/getting_started.md) that
# this machine lacks. It fails only if neither python3 nor pypy3 runs.

# What the "Supported interpreters" table of docs/getting_started.md lists;
# keep the two alike.
expected_interpreters=("CPython 3.9" "CPython 3.10" "CPython 3.11" "CPython 3.12" "CPython 3.13" "PyPy 3.9")

# Prints "<tag> <executable> <implementation> <version>" for an interpreter, nothing if
# it does not run (a pyenv shim for a version not selected exits non-zero).
_interp_describe() {
  "$1" -c 'import platform, sys
impl = platform.python_implementation()
tag = {"CPython": "cp", "PyPy": "pp"}.get(impl, impl.lower())
full = platform.python_version()
if impl == "PyPy":
    full += " (PyPy %d.%d.%d)" % sys.pypy_version_info[:3]
print("%s%d%d" % ((tag,) + sys.version_info[:2]), sys.executable, impl, full)' \
    2>/dev/null || true
}

# The newest pyenv-built CPython X.Y, if pyenv has one.
_interp_from_pyenv() {
  local minor=$1 root dir
  if command -v pyenv >/dev/null 2>&1; then
    root=$(pyenv root)
  else
    root=${PYENV_ROOT:-$HOME/.pyenv}
  fi
  [ -d "$root/versions" ] || return 0
  dir=$(find "$root/versions" -mindepth 1 -maxdepth 1 -regex ".*/${minor//./\\.}\.[0-9]+" -printf '%f\n' \
          | sort -V | tail -n 1)
  [ -n "$dir" ] && [ -x "$root/versions/$dir/bin/python$minor" ] && echo "$root/versions/$dir/bin/python$minor"
  return 0
}

# _interp_add exe venv: records the interpreter unless it does not run or one
# of the same implementation and X.Y is already recorded.
_interp_add() {
  local venv=$2 tag exe label i
  read -r tag exe label <<<"$(_interp_describe "$1")" || true
  [ -n "${label:-}" ] || return 1
  for i in "${!interp_tag[@]}"; do
    [ "${interp_tag[$i]}" = "$tag" ] && return 1
  done
  interp_exe+=("$exe")
  interp_venv+=("$venv")
  interp_label+=("$label")
  interp_tag+=("$tag")
}

find_interpreters() {
  interp_exe=() interp_venv=() interp_label=() interp_tag=() interp_missing=()
  _interp_add "${PYTHON:-python3}" .venv-cpython || true
  _interp_add pypy3 .venv-pypy || true
  local want impl minor exe found i
  for want in "${expected_interpreters[@]}"; do
    impl=${want% *} minor=${want#* }
    found=""
    for i in "${!interp_label[@]}"; do
      [[ "${interp_label[$i]}" == "$impl $minor."* ]] && found=1
    done
    if [ -z "$found" ] && [ "$impl" = CPython ]; then
      for exe in "$(_interp_from_pyenv "$minor")" "python$minor"; do
        [ -n "$exe" ] && _interp_add "$exe" ".venv-cp${minor//./}" && found=1 && break
      done
    fi
    [ -n "$found" ] || interp_missing+=("$want")
  done
  if ((${#interp_exe[@]} == 0)); then
    echo "no Python interpreter runs here (tried ${PYTHON:-python3} and pypy3)" >&2
    return 1
  fi
}

# The full names of what was found and what is missing, for a closing summary.
report_interpreters() {
  local i
  echo "interpreters found (each tested):"
  for i in "${!interp_exe[@]}"; do
    printf '  %-6s %-14s %-28s %s\n' "${interp_tag[$i]}" "${interp_venv[$i]}" "${interp_label[$i]}" "${interp_exe[$i]}"
  done
  for i in "${interp_missing[@]}"; do
    echo "  MISSING: $i is listed in docs/getting_started.md but not on this machine; NOT TESTED"
  done
}
