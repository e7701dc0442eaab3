#!/usr/bin/env bash
# Runs every benchmark: the C++ ones built into build/, then the Python scripts.
set -euo pipefail
cd "$(dirname "$0")/.."
for b in build/*_bench; do
  [ -x "$b" ] || continue
  echo "== $b"
  "$b" --benchmark_min_time=0.2
done
PY=$(python3 -c 'import sys; print(sys.executable)')
for s in bench/*.py; do
  [ -f "$s" ] || continue
  # It needs polars, which only the benchmark environment holds: make bench-polars.
  [ "$s" = bench/polars_bench.py ] && continue
  echo "== $s"
  PYTHONPATH=build/python "$PY" "$s"
done
