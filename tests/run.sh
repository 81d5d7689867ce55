#!/usr/bin/env bash
# Builds and installs orbelix, then runs every test: the C++ core under
# CTest (GoogleTest) and the installed module under pytest.
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
status=0
(cd tests/python && python3 -m pytest -q -p no:cacheprovider .) || status=$?
if [ "$status" = 5 ]; then
    echo "pytest collected no tests: that is a failure here" >&2
    exit 1
fi
exit "$status"
