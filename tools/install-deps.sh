#!/bin/sh
# Installs the Debian packages a task needs, and only those that are missing.
#
#   tools/install-deps.sh build   the program and the sample level: cmake, make, g++,
#                                 and the glTF writer's header libraries
#                                 (nlohmann-json, stb)
#   tools/install-deps.sh test    build, plus GoogleTest for the test suite and
#                                 tinygltf, with which the tests read glTF files
#   tools/install-deps.sh ci      test, plus what .ci/run uses: clang and libFuzzer,
#                                 valgrind, assimp, Blender (with numpy, which its
#                                 glTF importer needs), the s390x cross compiler
#                                 and qemu, GoogleTest's sources, Google Benchmark, and
#                                 node with the Khronos glTF validator (npm package
#                                 gltf-validator, into build/gltf-validator)
#
# Runs apt-get as root, or through sudo when that is available.
set -eu

build="cmake make g++ nlohmann-json3-dev libstb-dev"
test="$build libgtest-dev libgmock-dev libtinygltf-dev"
ci="$test clang lld libclang-rt-14-dev valgrind assimp-utils blender python3-numpy nodejs qemu-user g++-s390x-linux-gnu googletest libbenchmark-dev diffutils"

validator_version=2.0.0-dev.3.10

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
# npm comes with some builds of nodejs; Debian's own nodejs needs the npm package.
if [ "$1" = ci ] && ! command -v npm >/dev/null 2>&1; then
    missing="$missing npm"
fi

# The glTF validator, for the CI step that validates the converted sample.
install_validator() {
    [ "$1" = ci ] || return 0
    root=$(cd "$(dirname "$0")/.." && pwd)
    [ -e "$root/build/gltf-validator/node_modules/gltf-validator/package.json" ] && return 0
    mkdir -p "$root/build/gltf-validator"
    npm install --no-audit --no-fund --prefix "$root/build/gltf-validator" "gltf-validator@$validator_version" ||
        fail "npm install of gltf-validator failed"
}

if [ -z "$missing" ]; then
    install_validator "$1"
    exit 0
fi

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
install_validator "$1"
