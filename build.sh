#!/usr/bin/env bash
# Quick start on Debian 12 or 13, from a bare system:
#   ./build.sh run    build the tools (release) and show the reports of
#                     ctrcheck and ctrverify on examples/capture.dat
#   ./build.sh test   build the test configuration and run the test suite
#   ./build.sh dist   build the release for every packaged target and put
#                     the packages, the tarballs and SHA256SUMS into dist/
#                     (reproducible: the same commit gives the same bytes)
# It installs with apt-get only the packages that are missing, as root or
# through sudo, and says which and why before it does. Safe to run again:
# what is in place is left alone. The calling shell stays where it was.
set -euo pipefail

usage() {
  echo "usage: ./build.sh run|test|dist" >&2
  echo "  run   build the tools and run them on examples/capture.dat" >&2
  echo "  test  build the tests and run them" >&2
  echo "  dist  build the packages for every target into dist/" >&2
  exit 2
}
fail() { echo "build.sh: $*" >&2; exit 1; }

[ $# -eq 1 ] || usage
mode=$1
case "$mode" in run | test | dist) ;; *) usage ;; esac
top=$(cd "$(dirname "$0")" && pwd)

# Package, and why it is needed.
wanted=(
  "cmake:the build system (CMake 3.25 or newer)"
  "ninja-build:the build tool the presets use"
  "g++:the C++20 compiler"
)
if [ "$mode" = dist ]; then
  wanted+=(
    "git:the time of the last commit, which every file in the packages carries"
    "g++-aarch64-linux-gnu:the cross compiler for Linux arm64"
    "g++-arm-linux-gnueabi:the cross compiler for Linux on 32-bit ARM (armel, ARMv5TE and up)"
    "g++-i686-linux-gnu:the cross compiler for Linux i686"
    "g++-mingw-w64-x86-64-posix:the cross compiler for Windows x86-64"
    "groff-base:groff, for the manual as text in the Windows zip"
    "dpkg-dev:dpkg-deb and dpkg-shlibdeps, for the .deb packages"
    "file:file, which CPack's .deb generator uses"
    "rpm:rpmbuild, for the .rpm packages"
    "zip:zip, for the Windows zip"
  )
fi
if [ "$mode" = test ]; then
  wanted+=(
    "libgtest-dev:GoogleTest, for the unit tests"
    "groff-base:groff, to check that the man page renders cleanly"
    "python3:python3 with its json, pty and socket modules, which the command-line tests use"
    "strace:strace, to see the sizes of the tools' read and write calls"
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
  ../build/release/ctrcheck || fail "ctrcheck failed on the sample"
  # ctrverify's status 1 says the sample has breaks, which it is made to have.
  echo "build.sh: and build/release/ctrverify --explain capture.dat, the link tester:"
  status=0
  ../build/release/ctrverify --explain capture.dat || status=$?
  [ "$status" -le 1 ] || fail "ctrverify failed on the sample (status $status)"
  exit 0
fi
[ "$mode" = test ] && exec cmake --workflow --preset dev

# dist: the release files and ctrcheck's source. Every file's time is the
# last commit's (or SOURCE_DATE_EPOCH's), and neither the umask, the time
# zone nor the folder of the clone reaches the packages. The commit time
# is taken only from this project's own checkout: a source tree unpacked
# inside another repository would get that one's.
git_top=$(git rev-parse --show-toplevel 2> /dev/null) || git_top=""
[ -n "$git_top" ] && [ "$(cd "$git_top" && pwd -P)" = "$(pwd -P)" ] || git_top=""
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  [ -n "$git_top" ] ||
    fail "this is not a git checkout of ctrcheck itself: set SOURCE_DATE_EPOCH to the release's time (seconds since 1970)"
  # The files carry the last commit's time: changes not in it would be
  # released under that time as if they were.
  [ -z "$(git status --porcelain --untracked-files=no)" ] ||
    fail "the tree has changes that are not committed; commit them, or set SOURCE_DATE_EPOCH to stamp the files yourself"
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
fi
# Checked before any build: a wrong time would fail only at the first tarball.
[[ "$SOURCE_DATE_EPOCH" =~ ^[0-9]+$ ]] || fail "SOURCE_DATE_EPOCH must be whole seconds since 1970, not '$SOURCE_DATE_EPOCH'"
export SOURCE_DATE_EPOCH
export TZ=UTC LC_ALL=C
umask 022
version=$(sed -n 's/^project(ctrcheck VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
# One release build at a time in this tree: two would remove each other's
# build folders.
mkdir -p build
exec 9> build/.dist.lock
flock -n 9 || fail "another ./build.sh dist is running in this tree"
# No dist/ at all until every file is made: a failure leaves none behind.
rm -rf dist dist.new
# rpmbuild cannot work in a folder whose path has a space, so the packages are
# made in a scratch folder under /tmp.
scratch=$(mktemp -d /tmp/ctrcheck-dist.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/out"
# What makes a tarball the same bytes for every builder: names sorted, owner
# 0, every time the commit's.
tar_same=(--sort=name --owner=0 --group=0 --numeric-owner --mtime="@$SOURCE_DATE_EPOCH" --format=ustar)
# preset:tarball architecture:generators. The Linux binaries are static.
for target in release:x86_64:DEB,RPM arm64:aarch64:DEB,RPM armel:arm:DEB i686:i686: win64::; do
  IFS=: read -r preset arch generators <<< "$target"
  tree=build/dist-$preset
  echo "build.sh: building preset $preset in $tree"
  # From scratch: rpmbuild only clamps file times to SOURCE_DATE_EPOCH, so
  # nothing built before the last commit may reach a package.
  rm -rf "$tree"
  cmake --preset "$preset" -B "$tree" -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=Release -DCTRCHECK_STATIC=ON > /dev/null ||
    fail "configuring $preset failed"
  cmake --build "$tree" > /dev/null || fail "building $preset failed"
  for generator in ${generators//,/ }; do
    (cd "$tree" && cpack -G "$generator" -B "$scratch/cpack" > /dev/null) || fail "cpack -G $generator failed in $tree"
    mv "$scratch"/cpack/*."${generator,,}" "$scratch/out/" || fail "cpack -G $generator made no package in $tree"
    rm -rf "$scratch/cpack"
  done
  if [ "$preset" = win64 ]; then
    # The zip, packed here rather than by CPack, whose zip records the
    # builder's user and group: names sorted, every time the commit's, no
    # extra fields (-X) and no folder entries (-D).
    name=ctrcheck-$version-win64
    cmake --install "$tree" --strip --prefix "$scratch/zip/$name" > /dev/null || fail "installing $preset failed"
    find "$scratch/zip" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
    (cd "$scratch/zip" && find "$name" -type f | LC_ALL=C sort | zip -X -D -q -9 -@ "$scratch/out/$name.zip") ||
      fail "packing $name.zip failed"
  fi
  [ -n "$arch" ] || continue
  # The tarball for systems without a package manager: the same stripped
  # binaries as in the packages, the man pages, a README for users of the
  # release, the license and the sample, in one folder; names sorted, owner 0, times and gzip header
  # without the build's.
  name=ctrcheck-$version-linux-$arch
  cmake --install "$tree" --strip --prefix "$scratch/stage-$arch" > /dev/null || fail "installing $preset failed"
  mkdir -p "$scratch/tar/$name"
  install -m 0755 "$scratch/stage-$arch/bin/ctrcheck" "$scratch/stage-$arch/bin/ctrverify" "$scratch/tar/$name/"
  install -m 0644 doc/ctrcheck.1 doc/ctrverify.1 LICENSE examples/capture.dat "$scratch/tar/$name/"
  install -m 0644 doc/README-linux.txt "$scratch/tar/$name/README"
  install -m 0644 "$scratch/stage-$arch/share/doc/ctrcheck/NOTICES" "$scratch/tar/$name/"
  tar -C "$scratch/tar" "${tar_same[@]}" -cf - "$name" | gzip -9n > "$scratch/out/$name.tar.gz" || fail "packing $name failed"
done
# ctrcheck's own source, which the notices point to: the files git tracks
# (or, outside a checkout, the unpacked source tree), as they are.
name=ctrcheck-$version
if [ -n "$git_top" ]; then
  git ls-files -z > "$scratch/source.list"
else
  find . \( -path ./build -o -path ./dist \) -prune -o -type f -printf '%P\0' > "$scratch/source.list"
fi
tar --null -T "$scratch/source.list" --transform "s,^,$name/," --mode=u+rw,go-w,a+rX "${tar_same[@]}" -cf - |
  gzip -9n > "$scratch/out/$name.tar.gz" ||
  fail "packing $name.tar.gz failed"
(cd "$scratch/out" && sha256sum -- * > SHA256SUMS)
cp -R "$scratch/out" dist.new
# -T: into place as dist, never into a dist/ that appeared meanwhile.
rm -rf dist
mv -T dist.new dist
echo "build.sh: made dist/:"
(cd dist && ls -1)
