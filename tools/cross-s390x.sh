#!/usr/bin/env bash
# Big-endian check: cross-builds the program and the whole test suite for
# s390x, runs the suite under qemu-s390x, then converts the sample level with
# the s390x program and with the native one, to 3DS and to glTF, and compares
# every output file byte for byte.
#
#   tools/cross-s390x.sh [native build directory, default build/release]
#
# Needs g++-s390x-linux-gnu, qemu-user and googletest (tools/install-deps.sh ci).
# Builds into build/s390x/; the native program and sample level are built
# with the release preset when the default directory is used.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=$root/build/s390x
sysroot=/usr/s390x-linux-gnu
toolchain=$root/tools/s390x-linux-gnu.cmake

for need in s390x-linux-gnu-g++ qemu-s390x /usr/src/googletest/CMakeLists.txt; do
    command -v "$need" >/dev/null || [ -e "$need" ] ||
        { echo "cross-s390x.sh: $need is missing; run tools/install-deps.sh ci" >&2; exit 1; }
done

# GoogleTest for the target, from Debian's sources.
cmake -S /usr/src/googletest -B "$build/googletest" --toolchain "$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$build/googletest-install"
cmake --build "$build/googletest" -j2
cmake --install "$build/googletest" >/dev/null

# The tests start the programs by their paths; these wrappers run them under
# qemu and keep the argv[0] they were started with, which the help texts name.
make_wrapper() { # wrapper program
    # shellcheck disable=SC2016 # $0 and $@ belong to the wrapper
    printf '#!/bin/sh\nexec qemu-s390x -L %s -0 "$0" %s "$@"\n' "$sysroot" "$2" >"$1"
    chmod +x "$1"
}
wrapper=$build/tarvik-qemu
make_wrapper "$wrapper" "$build/tarvik/app/tarvik"
make_wrapper "$build/tarvik-dump-qemu" "$build/tarvik/app/tarvik-dump"

# The glTF writer's libraries are headers only; the target build sees just
# those, not the host's whole include folder.
headers=$build/headers
mkdir -p "$headers"
ln -sfn /usr/include/tiny_gltf.h "$headers/tiny_gltf.h"
ln -sfn /usr/include/nlohmann "$headers/nlohmann"

cmake -S . -B "$build/tarvik" --toolchain "$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DTINYGLTF_INCLUDE_DIR="$headers" -DNLOHMANN_JSON_INCLUDE_DIR="$headers" \
    -DSTB_INCLUDE_DIR=/usr/include/stb \
    -DTARVIK_WERROR=ON -DTARVIK_BUILD_TESTS=ON \
    -DGTest_DIR="$build/googletest-install/lib/cmake/GTest" -DTARVIK_TEST_EXE="$wrapper" \
    -DTARVIK_TEST_DUMP_EXE="$build/tarvik-dump-qemu"
cmake --build "$build/tarvik" -j2
ctest --test-dir "$build/tarvik" -j2 --output-on-failure --no-tests=error

# The sample level, made and converted on both sides.
if [ $# -eq 0 ]; then
    cmake --preset release >/dev/null
    cmake --build --preset release --target tarvik sample_level
    native=$root/build/release
else
    native=$(cd "$1" && pwd)
fi
cmp "$native/tools/sample.qlv" "$build/tarvik/tools/sample.qlv"
rm -rf "$build/sample-native" "$build/sample-s390x"
mkdir "$build/sample-native" "$build/sample-s390x"
for option in "" --gltf; do
    # shellcheck disable=SC2086 # no option is no word
    (cd "$build/sample-native" && "$native/app/tarvik" $option "$native/tools/sample.qlv" >/dev/null)
    # shellcheck disable=SC2086
    (cd "$build/sample-s390x" && "$wrapper" $option "$build/tarvik/tools/sample.qlv" >/dev/null)
done
diff -r "$build/sample-native" "$build/sample-s390x"
echo "s390x: the sample level and its $(find "$build/sample-s390x" -type f | wc -l) output files are identical to the native ones"
