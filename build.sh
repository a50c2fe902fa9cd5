#!/usr/bin/env bash
# Quick start on Debian 12 or 13, from a bare system:
#   ./build.sh run    build the tool (release) and show its report on the
#                     sample capture examples/capture.dat
#   ./build.sh test   build the test configuration and run the test suite
# It installs with apt-get only the packages that are missing, as root or
# through sudo, and says which and why before it does. Safe to run again:
# what is in place is left alone. The calling shell stays where it was.
set -euo pipefail

usage() {
  echo "usage: ./build.sh run|test" >&2
  echo "  run   build ctrcheck and run it on examples/capture.dat" >&2
  echo "  test  build the tests and run them" >&2
  exit 2
}
fail() { echo "build.sh: $*" >&2; exit 1; }

[ $# -eq 1 ] || usage
mode=$1
case "$mode" in run | test) ;; *) usage ;; esac
top=$(cd "$(dirname "$0")" && pwd)

# Package, and why it is needed.
wanted=(
  "cmake:the build system (CMake 3.25 or newer)"
  "ninja-build:the build tool the presets use"
  "g++:the C++20 compiler"
)
if [ "$mode" = test ]; then
  wanted+=(
    "libgtest-dev:GoogleTest, for the unit tests"
    "groff-base:groff, to check that the man page renders cleanly"
  )
fi

installed() { dpkg-query -W -f='${Status}' "$1" 2> /dev/null | grep -q 'install ok installed'; }

if ! command -v apt-get > /dev/null || ! command -v dpkg-query > /dev/null; then
  missing_tools=""
  command -v cmake > /dev/null || missing_tools+=" cmake"
  command -v ninja > /dev/null || missing_tools+=" ninja"
  command -v c++ > /dev/null || missing_tools+=" c++"
  [ -z "$missing_tools" ] ||
    fail "this system has no apt-get, so nothing can be installed here. Install CMake 3.25 or newer," \
      "Ninja, a C++20 compiler (g++ 12 or clang 14) and, for the tests, GoogleTest; then run this again." \
      "Missing now:$missing_tools"
  echo "build.sh: no apt-get here; building with the tools already installed."
else
  missing=()
  for entry in "${wanted[@]}"; do
    installed "${entry%%:*}" || missing+=("$entry")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "build.sh: installing with apt-get what is missing:"
    for entry in "${missing[@]}"; do echo "  ${entry%%:*}: ${entry#*:}"; done
    if [ "$(id -u)" -eq 0 ]; then
      as_root=()
    elif command -v sudo > /dev/null; then
      as_root=(sudo)
    else
      fail "installing needs root: run this as root, or install sudo"
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${as_root[@]}" apt-get update -q || fail "apt-get update failed"
    "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]%%:*}" ||
      fail "apt-get install failed"
  fi
fi

cd "$top"
if [ "$mode" = run ]; then
  cmake --workflow --preset release || fail "the release build failed"
  echo "build.sh: built build/release/ctrcheck; its report on examples/capture.dat:"
  cd examples
  exec ../build/release/ctrcheck
fi
exec cmake --workflow --preset dev
