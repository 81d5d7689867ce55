#!/usr/bin/env bash
# The test command.
#
#   bash tests/run.sh           quick: builds once, then runs the C++ core
#                               under CTest (GoogleTest), the installed type
#                               stubs under mypy.stubtest and the installed
#                               modules under pytest, slow tests left out.
#   bash tests/run.sh --full    the same with the slow tests, then the C++
#                               core and the modules again under
#                               AddressSanitizer and UBSan, then the
#                               portable builds (tests/portable.sh) if present.
#
# One CMake tree (build/release) builds the modules for the installed package
# and the C++ tests, so nothing is compiled twice; later runs rebuild only
# what changed. Brings what it needs on a bare machine: CMake and Ninja from
# PyPI into the environment of the python3 that runs it, the build
# requirements of the package beside them, and GoogleTest from Debian's
# packages.
set -euo pipefail
cd "$(dirname "$0")/.."

full=0
for arg in "$@"; do
    case "$arg" in
        --full) full=1 ;;
        *) echo "usage: bash tests/run.sh [--full]" >&2; exit 2 ;;
    esac
done

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
        python3 - "$(cmake --version | head -n1)" <<'PY'
import re, sys
version = tuple(int(v) for v in re.search(r"(\d+)\.(\d+)", sys.argv[1]).groups())
sys.exit(0 if version >= (3, 18) else 1)
PY
}
if ! cmake_is_recent || ! command -v ninja >/dev/null; then
    python3 -m pip install --quiet "cmake>=3.18" ninja
    hash -r
fi
# New build trees use Ninja (no make needed); existing ones keep their generator.
export CMAKE_GENERATOR="${CMAKE_GENERATOR:-Ninja}"
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"

# The package is built without build isolation so that its build tree can be
# kept between runs (an isolated build environment lives in a fresh
# directory each time, and CMake would configure from scratch); its build
# requirements are therefore installed here, as pyproject.toml names them.
python3 -m pip install --quiet "scikit-build-core>=0.10" "numpy>=2.0" "nanobind>=2"
python3 -m pip install --quiet --no-build-isolation \
    -Cbuild-dir=build/release -Ccmake.define.ORBELIX_BUILD_TESTS=ON ".[test]"
# The quick run leaves out the C++ tests that take seconds of CPU each: the
# exponential checked on every float of its range, the chirp-z path at a
# length near a million, and the band voices against sums in double
# precision.
slow_cpp='^(Vexp\.EveryFloat.*|Lengths/ChirpZLarge\..*|VoiceChirp\.MatchesTheVoiceSummedInDoublePrecision)$'
if [ "$full" = 0 ]; then
    (cd build/release && ctest --output-on-failure --parallel 2 -E "$slow_cpp")
else
    (cd build/release && ctest --output-on-failure --parallel 2)
fi

# The installed stubs against the installed modules, from a scratch directory
# (stubtest leaves a cache behind); both in one run, which reads NumPy's
# stubs once.
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
(cd "$scratch" && python3 -m mypy.stubtest orbelix orbelix_tools)

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
if [ "$full" = 0 ]; then
    run_pytest -m "not slow"
    exit 0
fi
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
cmake -S . -B build/asan -DORBELIX_BUILD_TESTS=ON -DORBELIX_BUILD_MODULE=ON -DORBELIX_SANITIZE=ON \
    -DPython_EXECUTABLE="$(command -v python3)" >/dev/null
cmake --build build/asan
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

# Clang and the portable path on another architecture, where the script exists.
if [ -e tests/portable.sh ]; then
    bash tests/portable.sh
fi
