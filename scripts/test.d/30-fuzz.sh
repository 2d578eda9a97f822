#!/usr/bin/env bash
# Fuzz stage. Replays the committed corpora with the offscreen build's replay
# programs, then builds the fuzz targets with clang in a build directory of
# their own (libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer, the
# program's libraries instrumented too), replays the corpora there and fuzzes
# each target for FUZZ_SECONDS seconds (default 15). Any crash, sanitizer
# report or failed check fails the stage; the input that caused it is kept
# in the fuzz build's failures folder.
set -euo pipefail
root=${ROOT:-$(cd "$(dirname "$0")/../.." && pwd)}
fuzz_build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-15}
targets=(script line_file answer_file http_response url_header encoders export_line)

for tool in clang clang++; do
  command -v "$tool" >/dev/null || { echo "fuzz: $tool is missing (scripts/packages.d/test/fuzz.txt)" >&2; exit 1; }
done

status=0
if [ -n "${BUILD_DIR:-}" ] && [ -f "$BUILD_DIR/CTestTestfile.cmake" ] && [ -x "$BUILD_DIR/fuzz/fuzz_script" ]; then
  echo "-- corpus replay, offscreen build"
  (cd "$BUILD_DIR" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -L fuzz) || status=1
fi

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
echo "-- building the fuzz targets with clang in $fuzz_build"
cmake -S "$root" -B "$fuzz_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" \
  -DFRAGEBOGEN_FUZZ_LIBRARIES=ON -DFRAGEBOGEN_TESTS=ON -DFRAGEBOGEN_BENCH=OFF >/dev/null
cmake --build "$fuzz_build" -j "$(nproc)" --target fuzz_targets

export QT_QPA_PLATFORM=offscreen
echo "-- corpus replay, clang build"
(cd "$fuzz_build" && ctest --output-on-failure -L fuzz) || status=1

failures=$fuzz_build/fuzz-failures
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$failures"
for t in "${targets[@]}"; do
  mkdir -p "$work/$t"
  dict=()
  [ -f "$root/fuzz/dict/$t.dict" ] && dict=(-dict="$root/fuzz/dict/$t.dict")
  # The export's line split must stay linear: longer inputs, and a time-out
  # far below the default that a quadratic split of them would run into.
  timeout=30
  extra=()
  if [ "$t" = export_line ]; then timeout=5; extra=(-max_len=262144); fi
  # New inputs go to the scratch folder first; the committed corpus is only read.
  if "$fuzz_build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb=2048 "${extra[@]}" \
       -artifact_prefix="$failures/$t-" -print_final_stats=1 "${dict[@]}" \
       "$work/$t" "$root/fuzz/corpus/$t" >"$work/$t.log" 2>&1; then
    echo "-- fuzz_$t: $(grep -a -o 'stat::number_of_executed_units: *[0-9]*' "$work/$t.log" | grep -o '[0-9]*$') runs in ${seconds} s, no failure"
  else
    tail -n 40 "$work/$t.log"
    echo "-- fuzz_$t FAILED; the input is in $failures (keep it under fuzz/corpus/$t/ once mended)" >&2
    status=1
  fi
done
exit $status
