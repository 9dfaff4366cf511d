#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/bin/fuzz_<name> and runs each
# for FUZZ_SECONDS seconds (default 60) on its seed corpus fuzz/corpus/<name>/.
#   bash tools/fuzz.sh            - every target
#   bash tools/fuzz.sh NAME...    - the named targets only
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DPEBRIO_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-fuzz

targets=("$@")
if ((${#targets[@]} == 0)); then
  for f in build-fuzz/bin/fuzz_*; do
    [ -x "$f" ] && targets+=("$(basename "$f" | sed 's/^fuzz_//')")
  done
fi
if ((${#targets[@]} == 0)); then
  echo "no fuzz targets yet"
  exit 0
fi
mkdir -p fuzz/artifacts
for t in "${targets[@]}"; do
  corpus=fuzz/corpus/$t
  work=$(mktemp -d)
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
  echo "== fuzz_$t for ${seconds}s"
  "build-fuzz/bin/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix=fuzz/artifacts/ -print_final_stats=1 "$work"
  rm -rf "$work"
done
