#!/usr/bin/env bash
# Runs fuzz targets for a bounded time each and prints how many inputs each
# went through. Usage: fuzz.sh BUILD_DIR SECONDS [TARGET...] (default: all of
# fuzz/*_fuzz.cpp). New inputs go to BUILD_DIR/corpus/TARGET, so the committed
# seeds in fuzz/corpus/TARGET stay as they are (fuzz/TARGET.dict, when there
# is one, lists tokens of the input's syntax); a failing input is saved as
# BUILD_DIR/artifacts/TARGET-*. Exits non-zero when any target finds a fault.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1 seconds=$2
shift 2
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in fuzz/*_fuzz.cpp; do targets+=("$(basename "$src" _fuzz.cpp)"); done
fi
status=0
for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t" "$build/artifacts"
  log="$build/fuzz-$t.log"
  dict=()
  [ -f "fuzz/$t.dict" ] && dict=(-dict="fuzz/$t.dict")
  if "$build/${t}_fuzz" "${dict[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/$t-" "$build/corpus/$t" "fuzz/corpus/$t" > "$log" 2>&1; then
    result=clean
  else
    result="FAULT (see $log)"
    status=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  echo "fuzz $t: ${seconds}s, ${runs:-?} inputs, $result"
done
exit $status
