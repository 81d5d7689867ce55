#!/usr/bin/env bash
# Builds the documentation site with every warning an error: installs this
# tree with its docs extra into the python3 on the PATH (the pages and the
# gallery import the installed packages), runs Sphinx, and fails if any
# gallery example took 30 s or more.
set -euo pipefail
cd "$(dirname "$0")/.."

# The tree the test command builds, so that nothing is compiled again.
python3 -m pip install --quiet --no-build-isolation -Cbuild-dir=build/release \
    -Ccmake.define.ORBELIX_BUILD_TESTS=ON ".[docs]"
rm -rf docs/_build docs/auto_examples docs/api/generated docs/sg_execution_times.rst
(export MPLBACKEND=Agg; python3 -m sphinx -W --keep-going -b html docs docs/_build/html)

# Execution times that sphinx-gallery recorded, one row per example.
python3 - <<'PY'
import pathlib, re, sys

limit = 30.0
rows, name = [], None
for line in pathlib.Path("docs/sg_execution_times.rst").read_text().splitlines():
    m = re.search(r"\(``([^`]+\.py)``\)", line)
    if m:
        name = m.group(1)
        continue
    m = re.match(r"\s+- (\d+):(\d+\.\d+)\s*$", line)
    if m and name:
        rows.append((name, 60 * int(m.group(1)) + float(m.group(2))))
        name = None
if len(rows) < 4:
    sys.exit(f"found the execution times of {len(rows)} gallery examples: did the gallery run?")
for name, seconds in sorted(rows, key=lambda r: -r[1]):
    print(f"{seconds:6.1f} s  {name}")
slow = [name for name, seconds in rows if seconds >= limit]
if slow:
    sys.exit(f"gallery examples at or above {limit:.0f} s: {', '.join(slow)}")
PY
echo "documentation built in docs/_build/html"
