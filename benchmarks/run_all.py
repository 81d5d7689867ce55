"""Run every benchmarks/bench_*.py in one process, one after another.

    python benchmarks/run_all.py

Each script's main() prints its own table; they need the installed module
(pip install ".[bench]").
"""
import importlib
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent


def main():
    sys.path.insert(0, str(HERE))
    for path in sorted(HERE.glob("bench_*.py")):
        print(f"\n==== {path.name}", flush=True)
        importlib.import_module(path.stem).main()
        sys.stdout.flush()


if __name__ == "__main__":
    main()
