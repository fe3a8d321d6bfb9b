#!/usr/bin/env bash
# Runs the whole test suite: the C++ unit tests of the clique routines (ctest)
# and the Python tests of the installed module (pytest).
#
#   pip install ".[test]" && bash tests/run.sh [pytest arguments]
#
# The C++ tests need CMake (installed by the test extra), a C++20 compiler
# and GoogleTest.  Where GoogleTest is missing and this runs as root (or with
# password-less sudo) on a system with apt-get, it installs Debian's
# libgtest-dev itself.  Where GoogleTest cannot be had, one line says what is
# missing and how to get it, the Python tests still run, and the script exits
# non-zero: a partial run never passes.
#
# Environment: PYTHON (default python3) runs pytest; VEXA_TEST_BUILD_DIR is
# the C++ build directory; VEXA_GTEST_INSTALL=0 never installs GoogleTest;
# VEXA_TEST_CMAKE_ARGS adds arguments to the CMake configuration.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${VEXA_TEST_BUILD_DIR:-$root/build/cpp-tests}"
python="${PYTHON:-python3}"
status=0

say() { echo "tests/run.sh: $*" >&2; }

# CMake: on PATH, or beside the interpreter (the test extra installs it there
# even when the virtual environment is not activated).
cmake="$(command -v cmake || true)"
if [ -z "$cmake" ]; then
  scripts="$("$python" -c 'import sysconfig; print(sysconfig.get_path("scripts"))' 2>/dev/null || true)"
  [ -x "$scripts/cmake" ] && cmake="$scripts/cmake"
fi

configure() {
  local generator=()
  command -v ninja >/dev/null && [ ! -f "$build/CMakeCache.txt" ] && generator=(-G Ninja)
  # shellcheck disable=SC2086 # VEXA_TEST_CMAKE_ARGS is a list of arguments
  "$cmake" -S "$root" -B "$build" ${generator[@]+"${generator[@]}"} -DVEXA_BUILD_TESTS=ON -DVEXA_BUILD_MODULE=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo ${VEXA_TEST_CMAKE_ARGS:-} >"$build.log" 2>&1
}

# Debian's GoogleTest, where this user may install packages.
install_gtest() {
  [ "${VEXA_GTEST_INSTALL:-1}" != 0 ] && command -v apt-get >/dev/null || return 1
  local sudo=()
  if [ "$(id -u)" != 0 ]; then
    command -v sudo >/dev/null && sudo -n true 2>/dev/null || return 1
    sudo=(sudo -n)
  fi
  say "GoogleTest not found; installing Debian's libgtest-dev"
  export DEBIAN_FRONTEND=noninteractive
  ${sudo[@]+"${sudo[@]}"} apt-get install -y -qq --no-install-recommends libgtest-dev >/dev/null 2>&1 && return 0
  # A fresh machine may have no package lists yet.
  ${sudo[@]+"${sudo[@]}"} apt-get update -qq >/dev/null 2>&1 &&
    ${sudo[@]+"${sudo[@]}"} apt-get install -y -qq --no-install-recommends libgtest-dev >/dev/null 2>&1
}

cpp_tests() {
  if [ -z "$cmake" ]; then
    say "C++ tests NOT run: CMake is missing (pip install \".[test]\" installs it, or pip install cmake)"
    return 1
  fi
  mkdir -p "$(dirname "$build")"
  if ! configure; then
    if ! grep -q "GTest" "$build.log"; then
      cat "$build.log" >&2
      say "C++ tests NOT run: the CMake configuration failed (above)"
      return 1
    fi
    if ! { install_gtest && configure; }; then
      say "C++ tests NOT run: GoogleTest is missing; install it (Debian/Ubuntu: apt-get install libgtest-dev;" \
        "Fedora: dnf install gtest-devel; macOS: brew install googletest;" \
        "conda: conda install -c conda-forge gtest) and run again"
      return 1
    fi
  fi
  "$cmake" --build "$build" -j 2 || return 1
  local ctest="$(dirname "$cmake")/ctest"
  [ -x "$ctest" ] || ctest=ctest
  "$ctest" --test-dir "$build" --output-on-failure -j 2
}

cpp_tests || status=1
cd "$root" && "$python" -m pytest -q tests "$@" || status=$?
if [ "$status" -ne 0 ]; then
  say "the test suite did not pass in full (exit status $status)"
fi
exit "$status"
