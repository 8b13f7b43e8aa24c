#!/usr/bin/env bash
# Runs every test. Installs what is missing first (bootstrap.sh), then:
#   1. the C++ tests (CTest) in a Release build, and a grid of prices that
#      builds with other flags and another compiler must reproduce bit for bit;
#      the engine built for AVX-512 searched for fused instructions; the
#      thread tests as on a 1-core and a 64-core machine,
#   2. the same tests built with AddressSanitizer and UndefinedBehaviorSanitizer,
#      and the tests that run several threads built with ThreadSanitizer,
#   3. the same tests under valgrind's memcheck,
#   4. the differential fuzzer for a bounded time (FUZZ_SECONDS, default 60),
#   5. the Python tests (pytest), all of them, on every interpreter that
#      bootstrap.sh made an environment for (see interpreters.sh), the
#      Examples of jdpricer_batch's docstrings among them; test_workers.py
#      again as on a 1-core and a 64-core machine,
#   6. the documentation site (docs/), built by Sphinx with warnings as
#      errors, and its doctests (the pages' and the docstrings'), on CPython,
#   7. the wheels (wheels.sh): built, repaired to manylinux, installed into
#      fresh environments and tested there, on every interpreter, and from
#      an sdist.
# It starts by describing the machine (CPU, cores, caches, memory, the
# interpreters), so that a log says where a run happened, and ends by naming
# the interpreters and wheels tested, and any interpreter
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

source "$root/tools/machine.sh"
describe_machine
"$root/tools/bootstrap.sh"
source "$root/tools/interpreters.sh"
find_interpreters
report_interpreters

if [ -n "$python_only" ]; then
  echo "== --python-only: C++ tests, sanitizers, valgrind and fuzzing skipped; price digest from the Release build"
  cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build/release -j "$jobs" --target price_digest fake_core_count
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

# -march=native means other instructions on other machines. Rounding is the
# same in every vector width; only contraction into fused multiply-adds, or
# the approximate reciprocals of fast math, would change bits. So the engine
# is built for AVX-512 on every machine and its code searched for them, and
# its digest compared where the CPU can run it.
echo "== Built for AVX-512: no fused or approximate floating-point instructions"
cmake -S . -B build/avx512 -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS="-O3 -march=x86-64-v4" -DJDPRICER_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build/avx512 -j "$jobs" --target jdpricer_engine jdpricer_book price_digest
for build in avx512 native; do
  fused=$(objdump -d --no-show-raw-insn build/$build/pricing/libjdpricer_engine.a \
            build/$build/batch/libjdpricer_book.a build/$build/tests/price_digest 2>/dev/null |
          grep -cE '[[:space:]](v?f(n)?m(add|sub)|vfmaddsub|vfmsubadd|v?rcp|v?rsqrt|vexp2)[a-z0-9]*[[:space:]]' || true)
  echo "build/$build: $fused fused or approximate instructions"
  [ "$fused" -eq 0 ]
done
if grep -qw avx512f /proc/cpuinfo; then
  build/avx512/tests/price_digest | cmp - build/release/price_digest.txt
  echo "build/avx512: prices identical on this AVX-512 machine"
else
  echo "build/avx512: this CPU has no AVX-512, its prices not run"
fi

echo "== The worker pool as on a 1-core and on a 64-core machine"
# The pool sizes itself from std::thread::hardware_concurrency(), faked here
# through glibc's get_nprocs.
for cores in 1 64; do
  JDPRICER_FAKE_CORES=$cores LD_PRELOAD="$root/build/release/tests/libfake_core_count.so" \
    build/release/tests/engine_tests --gtest_brief=1 --gtest_filter='ParallelBook.*:Threads.*:FirstPassageBooks.*:AmericanBook.*'
done

echo "== C++ tests, AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DJDPRICER_SANITIZE=ON -DJDPRICER_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build/sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir build/sanitize -j "$jobs" --output-on-failure
build/sanitize/tests/price_digest | cmp - build/release/price_digest.txt

echo "== Thread tests, ThreadSanitizer"
# The tests that run one call on several threads: the books cut into
# segments on the worker pool (prices, bounds, robust prices, Greeks, an
# interrupt, touches, barrier options and lookbacks, American options) and the engine on eight threads at once. Two segments writing
# one output, or state shared without a lock, is a race that halts the run;
# the other tests run one thread and would only cost time here.
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DJDPRICER_TSAN=ON -DJDPRICER_BUILD_BENCHMARKS=OFF -DJDPRICER_BUILD_MODULE=OFF >/dev/null
cmake --build build/tsan -j "$jobs" --target engine_tests
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  build/tsan/tests/engine_tests --gtest_brief=1 --gtest_filter='ParallelBook.*:Threads.*:FirstPassageBooks.*:AmericanBook.*'

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

echo "== test_workers.py on ${interp_label[0]} as on a 1-core and on a 64-core machine"
for cores in 1 64; do
  JDPRICER_FAKE_CORES=$cores LD_PRELOAD="$root/build/release/tests/libfake_core_count.so" \
    "${interp_venv[0]}/bin/python" -m pytest -q tests/python/test_workers.py
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
