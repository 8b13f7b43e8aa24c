#!/usr/bin/env bash
# Runs every test. Installs what is missing first (bootstrap.sh), then:
#   1. the C++ tests (CTest) in a Release build, and a grid of prices that
#      builds with other flags and another compiler must reproduce bit for bit,
#   2. the same tests built with AddressSanitizer and UndefinedBehaviorSanitizer,
#   3. the same tests under valgrind's memcheck,
#   4. the differential fuzzer for a bounded time (FUZZ_SECONDS, default 60),
#   5. the Python tests (pytest), all of them, on every interpreter that
#      bootstrap.sh made an environment for (see interpreters.sh), the
#      Examples of jdpricer_batch's docstrings among them,
#   6. the documentation site (docs/), built by Sphinx with warnings as
#      errors, and its doctests (the pages' and the docstrings'), on CPython,
#   7. the wheels (wheels.sh): built, repaired to manylinux, installed into
#      fresh environments and tested there, on every interpreter, and from
#      an sdist.
# It ends by naming the interpreters and wheels tested, and any interpreter
# docs/getting_started.md lists that this machine lacks.
#
#   tools/test.sh [--python-only]
#
# --python-only skips stages 1 to 4 but for the Release build of the price
# digest that the Python bit tests compare against; for work on the Python
# side, the build or the packaging.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
jobs=$(nproc)

python_only=""
case "${1:-}" in
  "") ;;
  --python-only) python_only=1 ;;
  *) echo "usage: $0 [--python-only]" >&2; exit 2 ;;
esac

"$root/tools/bootstrap.sh"
source "$root/tools/interpreters.sh"
find_interpreters

if [ -n "$python_only" ]; then
  echo "== --python-only: C++ tests, sanitizers, valgrind and fuzzing skipped; price digest from the Release build"
  cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build/release -j "$jobs" --target price_digest
  build/release/tests/price_digest > build/release/price_digest.txt
  export JDPRICER_PRICE_DIGEST="$root/build/release/price_digest.txt"
else  # the C++ stages, 1 to 4
echo "== C++ tests, Release build"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$jobs"
ctest --test-dir build/release -j "$jobs" --output-on-failure

echo "== Same bits from every build: GCC -O3 -march=native and Clang against the Release build"
build/release/tests/price_digest > build/release/price_digest.txt
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS="-O3 -march=native" -DJDPRICER_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build/native -j "$jobs" --target price_digest
CXX=clang++ cmake -S . -B build/clang -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DJDPRICER_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build/clang -j "$jobs" --target price_digest
for build in native clang; do
  build/$build/tests/price_digest | cmp - build/release/price_digest.txt
  echo "build/$build: $(wc -l < build/release/price_digest.txt) call and put prices identical"
done
export JDPRICER_PRICE_DIGEST="$root/build/release/price_digest.txt"

echo "== C++ tests, AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DJDPRICER_SANITIZE=ON -DJDPRICER_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build/sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir build/sanitize -j "$jobs" --output-on-failure
build/sanitize/tests/price_digest | cmp - build/release/price_digest.txt

echo "== C++ tests under valgrind memcheck"
# valgrind's CPU emulates neither the SSE flags, rounding modes, flush-to-zero
# nor the x87 precision control, so the floating-point environment test is
# left to the native runs.
valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect -q \
  build/release/tests/engine_tests --gtest_brief=1 --gtest_filter='-FloatingPointEnvironment.*'

echo "== Differential fuzzing"
"$root/tools/fuzz.sh" "${FUZZ_SECONDS:-60}"

fi  # the C++ stages

for i in "${!interp_venv[@]}"; do
  echo "== Python tests on ${interp_label[$i]} (${interp_venv[$i]})"
  "${interp_venv[$i]}/bin/python" -m pytest -rs tests/python
done

echo "== Documentation site: Sphinx with warnings as errors, then its doctests"
rm -rf build/docs
.venv-cpython/bin/python -m sphinx -W --keep-going -q -b html docs build/docs/html
.venv-cpython/bin/python -m sphinx -W --keep-going -q -b doctest docs build/docs/doctest
sed -n '/^Doctest summary/,$p' build/docs/doctest/output.txt
echo "site: build/docs/html/index.html"

"$root/tools/wheels.sh"

echo "== summary"
report_interpreters
echo "wheels built, repaired and tested in fresh environments:"
sed 's/^/  /' build/wheels/summary.txt
