#!/usr/bin/env bash
# The C++ core and its tests built two more ways: with Clang on this machine,
# and for aarch64 (a CPU without the x86-64 SIMD paths, so the portable path
# builds alone) with Debian's cross compiler, the tests run under qemu-user.
# Installs what it needs when run as root. Exits non-zero if a build or a
# test fails. Build trees: build/clang, build/aarch64 (and the aarch64
# GoogleTest in build/aarch64-gtest).
set -euo pipefail
cd "$(dirname "$0")/.."

jobs="${ORBELIX_JOBS:-2}"
export CMAKE_GENERATOR="${CMAKE_GENERATOR:-Ninja}"

need=()
command -v clang++ >/dev/null || need+=(clang)
command -v aarch64-linux-gnu-g++ >/dev/null || need+=(g++-aarch64-linux-gnu)
command -v qemu-aarch64 >/dev/null || need+=(qemu-user)
[ -d /usr/src/googletest ] || need+=(libgtest-dev)
if [ "${#need[@]}" -gt 0 ]; then
    if [ "$(id -u)" != 0 ]; then
        echo "portable.sh needs ${need[*]} (run as root to install them)" >&2
        exit 1
    fi
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}"
fi

failed=()

# Clang on this machine: every SIMD path, the same tests as with g++, but
# one. Clang may swap the operands of a sum, and where both are NaNs an x86
# addition returns the first one's: the sign bit of such a NaN can then
# differ between the scalar and the vector window products. Every other bit
# agrees; the shipped build (GCC) keeps the order written.
clang_nan_order='WindowProduct.EveryPathGivesTheScalarProductsBitForBit'
clang_build() {
    cmake -S . -B build/clang -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DORBELIX_BUILD_TESTS=ON -DORBELIX_BUILD_MODULE=OFF >/dev/null &&
        cmake --build build/clang --parallel "$jobs" &&
        (cd build/clang && ctest --output-on-failure --parallel "$jobs" -E "^${clang_nan_order}\$")
}
clang_build || failed+=(clang)

# aarch64: GoogleTest from Debian's sources with the cross compiler, then
# the core and its tests, run through qemu-user.
cross=(-DCMAKE_SYSTEM_NAME=Linux -DCMAKE_SYSTEM_PROCESSOR=aarch64
       -DCMAKE_C_COMPILER=aarch64-linux-gnu-gcc -DCMAKE_CXX_COMPILER=aarch64-linux-gnu-g++)
gtest="$PWD/build/aarch64-gtest"
aarch64_build() {
    if [ ! -e "$gtest/prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then
        cmake -S /usr/src/googletest -B "$gtest/build" "${cross[@]}" -DCMAKE_BUILD_TYPE=Release \
            -DBUILD_GMOCK=OFF -DCMAKE_INSTALL_PREFIX="$gtest/prefix" >/dev/null &&
            cmake --build "$gtest/build" --parallel "$jobs" &&
            cmake --install "$gtest/build" >/dev/null || return 1
    fi
    cmake -S . -B build/aarch64 "${cross[@]}" \
        -DCMAKE_CROSSCOMPILING_EMULATOR="qemu-aarch64;-L;/usr/aarch64-linux-gnu" \
        -DGTest_DIR="$gtest/prefix/lib/cmake/GTest" \
        -DORBELIX_BUILD_TESTS=ON -DORBELIX_BUILD_MODULE=OFF >/dev/null &&
        cmake --build build/aarch64 --parallel "$jobs" &&
        (cd build/aarch64 && ORBELIX_TESTS_EMULATED=1 ctest --output-on-failure --parallel "$jobs")
}
aarch64_build || failed+=(aarch64)

if [ "${#failed[@]}" -gt 0 ]; then
    echo "portable.sh: failed: ${failed[*]}" >&2
    exit 1
fi
echo "portable.sh: clang and aarch64 builds pass their tests"
