#!/bin/sh
# Installs the Debian packages a task needs, and only those that are missing.
#
#   tools/install-deps.sh build   the program and the sample level: cmake, make, g++
#   tools/install-deps.sh test    build, plus GoogleTest for the test suite
#   tools/install-deps.sh ci      test, plus what .ci/run uses: clang and libFuzzer,
#                                 valgrind, assimp, the s390x cross compiler and
#                                 qemu, GoogleTest's sources, Google Benchmark
#
# Runs apt-get as root, or through sudo when that is available.
set -eu

build="cmake make g++"
test="$build libgtest-dev libgmock-dev"
ci="$test clang lld libclang-rt-14-dev valgrind assimp-utils qemu-user g++-s390x-linux-gnu googletest libbenchmark-dev diffutils"

fail() {
    echo "install-deps.sh: $*" >&2
    exit 1
}

case "${1:-}" in
build) packages=$build ;;
test) packages=$test ;;
ci) packages=$ci ;;
*) fail "usage: tools/install-deps.sh build|test|ci" ;;
esac

command -v dpkg-query >/dev/null 2>&1 || fail "needs a Debian system (dpkg-query and apt-get); install these packages by hand: $packages"

missing=""
for package in $packages; do
    status=$(dpkg-query -W -f '${db:Status-Status}' "$package" 2>/dev/null || true)
    [ "$status" = installed ] || missing="$missing $package"
done
[ -n "$missing" ] || exit 0

if [ "$(id -u)" -eq 0 ]; then
    as_root=""
elif command -v sudo >/dev/null 2>&1; then
    as_root="sudo"
else
    fail "missing packages:$missing; run this script as root or install sudo"
fi

apt_get() {
    $as_root env DEBIAN_FRONTEND=noninteractive apt-get -q "$@"
}
echo "install-deps.sh: installing$missing"
apt_get update || fail "apt-get update failed"
# shellcheck disable=SC2086 # one word per package
apt_get install -y --no-install-recommends $missing || fail "apt-get install failed for:$missing"
