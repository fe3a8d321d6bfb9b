#!/usr/bin/env bash
# Builds the module and the C++ unit tests with AddressSanitizer and
# UndefinedBehaviorSanitizer in a build directory of their own, then runs
# against that build: the C++ tests (ctest), the whole pytest suite and a
# short fuzz campaign.  Any sanitizer report fails the run, even one that did
# not end its process.
#
#   bash .ci/sanitize.sh              # the fuzz campaign runs 60 s
#   VEXA_SANITIZE_FUZZ_SECONDS=600 bash .ci/sanitize.sh
#
# The Python interpreter itself is not instrumented: the ASan runtime is
# preloaded into it (it must come before every other library), and the
# module, built with the sanitizers, finds it there.  Child interpreters that
# the tests start inherit the preload and the options.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${VEXA_SANITIZE_BUILD_DIR:-$root/build/sanitize}"
fuzz_seconds="${VEXA_SANITIZE_FUZZ_SECONDS:-60}"
python="$(python3 -c 'import sys; print(sys.executable)')"
asan_runtime="$(gcc -print-file-name=libasan.so)"
# The C++ runtime is preloaded too: ASan's interceptor of C++ throws must
# find it when ASan starts, before the module (and with it the C++ runtime)
# is loaded.
cxx_runtime="$(g++ -print-file-name=libstdc++.so.6)"
for lib in "$asan_runtime" "$cxx_runtime"; do
  test -f "$lib" || { echo "missing runtime library $lib" >&2; exit 1; }
done

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S "$root" -B "$build" "${generator[@]}" -DVEXA_SANITIZE=ON -DVEXA_BUILD_TESTS=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPython_EXECUTABLE="$python" >/dev/null
cmake --build "$build" -j 2

reports="$(mktemp -d)"
trap 'rm -rf "$reports"' EXIT
# allocator_may_return_null=1: a reservation the machine cannot satisfy must
#   reach the module as a failed allocation (which it raises as MemoryError),
#   as it does without the sanitizers, instead of ASan ending the process.
# log_path: reports go to files, so that none can go unnoticed.
asan_common="allocator_may_return_null=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:log_path=$reports/asan"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$reports/ubsan"
status=0

# The C++ tests free everything they allocate: leaks are checked there.
ASAN_OPTIONS="$asan_common:detect_leaks=1" ctest --test-dir "$build" --output-on-failure -j 2 || status=$?

# detect_leaks=0 for the interpreter: CPython does not free all of its own
# memory at exit, so LeakSanitizer would report the interpreter rather than
# the module.  The module's leaks are caught by tests/test_reliability.py
# (reference counts of the arguments, memory over 100,000 calls).
export ASAN_OPTIONS="$asan_common:detect_leaks=0"
run_python() {
  LD_PRELOAD="$asan_runtime $cxx_runtime" VEXA_SANITIZE=1 PYTHONPATH="$build" "$python" "$@"
}
run_python -c 'import sys, vexa; assert vexa.__file__.startswith(sys.argv[1]), vexa.__file__' "$build" || status=$?
(cd "$root" && run_python -m pytest -q -p no:cacheprovider tests) || status=$?
run_python "$root/fuzz/campaign.py" --seconds "$fuzz_seconds" || status=$?

# The only output allowed is ASan's note that a request for more memory than
# the machine has returned null (allocator_may_return_null: the module then
# raises MemoryError, which the tests expect).
if compgen -G "$reports/*" >/dev/null; then
  allowed='^==[0-9]+==WARNING: AddressSanitizer failed to allocate 0x[0-9a-f]+ bytes$'
  if cat "$reports"/* | grep -Evq "$allowed"; then
    echo "=== sanitizer reports ===" >&2
    cat "$reports"/* >&2
    status=1
  else
    echo "sanitizer notes: $(cat "$reports"/* | wc -l) allocation requests beyond the machine's memory returned null"
  fi
fi
if [ "$status" -ne 0 ]; then
  echo "sanitizer run failed" >&2
else
  echo "sanitizer run: no reports"
fi
exit "$status"
