#!/usr/bin/env bash
# Builds and installs orbelix, then runs every test: the C++ core under CTest
# (GoogleTest), the installed type stubs under mypy.stubtest, the installed
# module under pytest, and the C++ core and the module again under
# AddressSanitizer and UBSan. Brings what it needs on a bare machine: CMake
# and Ninja from PyPI into the environment of the python3 that runs it, and
# GoogleTest from Debian's packages.
set -euo pipefail
cd "$(dirname "$0")/.."

# GoogleTest comes from Debian's packages.
if [ ! -e /usr/include/gtest/gtest.h ]; then
    if [ "$(id -u)" = 0 ]; then
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libgtest-dev
    else
        sudo apt-get update -qq
        sudo DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libgtest-dev
    fi
fi

# CMake (3.18 or later) and Ninja: taken from PyPI when the PATH has none,
# installed beside this python3, whose scripts directory goes first on the PATH.
PATH="$(python3 -c 'import sysconfig; print(sysconfig.get_path("scripts"))'):$PATH"
export PATH
cmake_is_recent() {
    command -v cmake >/dev/null &&
        python3 - "$(cmake --version | head -n1)" <<'EOF'
import re, sys
version = tuple(int(v) for v in re.search(r"(\d+)\.(\d+)", sys.argv[1]).groups())
sys.exit(0 if version >= (3, 18) else 1)
EOF
}
if ! cmake_is_recent || ! command -v ninja >/dev/null; then
    python3 -m pip install --quiet "cmake>=3.18" ninja
    hash -r
fi
# New build trees use Ninja (no make needed); existing ones keep their generator.
export CMAKE_GENERATOR="${CMAKE_GENERATOR:-Ninja}"

python3 -m pip install --quiet ".[test]"

cmake -S . -B build/ctest -DORBELIX_BUILD_TESTS=ON -DORBELIX_BUILD_MODULE=OFF >/dev/null
cmake --build build/ctest --parallel
(cd build/ctest && ctest --output-on-failure --parallel 2)

# The installed stubs against the installed module, from a scratch directory
# (stubtest leaves a cache behind).
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
(cd "$scratch" && python3 -m mypy.stubtest orbelix)
(cd "$scratch" && python3 -m mypy.stubtest orbelix_tools)

# Run from outside the source tree so only the installed module is imported.
run_pytest() {
    local status=0
    (cd tests/python && python3 -m pytest -q -p no:cacheprovider "$@" .) || status=$?
    if [ "$status" = 5 ]; then
        echo "pytest collected no tests: that is a failure here" >&2
        return 1
    fi
    return "$status"
}
run_pytest

# The C++ suite and the modules once more, built with AddressSanitizer and
# UBSan in their own tree (any finding fails the run). The sanitised modules
# are laid out as packages in build/asan/site, imported ahead of the
# installed ones. Python itself is not sanitised, so the ASan runtime is
# preloaded (with libstdc++, whose exceptions it intercepts), leak checking
# is left to the C++ suite, and an allocation too large for the machine
# returns null (the modules' MemoryError path) instead of stopping the
# process. The leak tests measure the resident size, which ASan's
# quarantine inflates: they run above only.
# The Ctrl-C tests of orbelix_tools signal a child process started with
# the sanitiser preloaded; they run above and stay out here.
asan_known_py='sigint_interrupts_a_long_call'
python3 -c 'import nanobind' 2>/dev/null || python3 -m pip install --quiet nanobind
cmake -S . -B build/asan -DORBELIX_BUILD_TESTS=ON -DORBELIX_BUILD_MODULE=ON -DORBELIX_SANITIZE=ON \
    -DPython_EXECUTABLE="$(command -v python3)" >/dev/null
cmake --build build/asan --parallel
(cd build/asan && UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure --parallel 2)
site="$PWD/build/asan/site"
rm -rf "$site"
mkdir -p "$site/orbelix_tools"
cp python/orbelix_tools/*.py python/orbelix_tools/*.pyi python/orbelix_tools/py.typed "$site/orbelix_tools/"
ln -s "$PWD"/build/asan/orbelix.*.so "$site/"
ln -s "$PWD"/build/asan/_core.*.so "$site/orbelix_tools/"
PYTHONPATH="$site" \
    LD_PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libstdc++.so)" \
    ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
    run_pytest -k "not no_leaks and not $asan_known_py"
