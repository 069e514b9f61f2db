#!/usr/bin/env bash
# Builds the libFuzzer targets in their own build folder (clang, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each for a set time, one after the other.
#
#   scripts/fuzz.sh [build folder] [seconds per target] [target...]
#
# Targets: csv workbook xlsx hive datetime icalendar (all when none is named). Each starts
# from the seeds in fuzz/corpus/<target> (and the tests' data where it fits), with the
# tokens of fuzz/<target>.dict where there is one, and keeps what it finds in
# <build>/corpus/<target>; a crash, hang or leak leaves its input in
# <build>/artifacts/<target>/ and makes the script fail. Without clang-16 and its
# libFuzzer runtime the targets are skipped with a message.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-fuzz}
seconds=${2:-60}
shift $(($# < 2 ? $# : 2))
targets=("$@")
((${#targets[@]})) || targets=(csv workbook xlsx hive datetime icalendar)
cxx=${FUZZ_CXX:-clang++-16}
jobs=${JOBS:-$(nproc)}

if ! command -v "$cxx" >/dev/null; then
  echo "fuzz: $cxx not found, fuzz targets skipped (scripts/setup.sh installs clang-16)" >&2
  exit 0
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" -DVARNO_FUZZ=ON \
  -DVARNO_WERROR=ON >/dev/null
cmake --build "$build" -j "$jobs" --target varno_fuzz
if [[ ! -x "$build/fuzz/fuzz_${targets[0]}" ]]; then
  echo "fuzz: $cxx cannot link libFuzzer, fuzz targets skipped" >&2
  exit 0
fi

# Seeds taken from the tests' data, by target.
declare -A test_data=([csv]=tests/data/csv [hive]=tests/data/registry)

symbolizer=$(command -v llvm-symbolizer-16 || command -v llvm-symbolizer || true)
export ASAN_OPTIONS=detect_leaks=1${symbolizer:+:external_symbolizer_path=$symbolizer}
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

failed=()
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  artifacts="$build/artifacts/$target"
  log="$build/fuzz-$target.log"
  mkdir -p "$corpus" "$artifacts"
  seeds=("fuzz/corpus/$target")
  [[ -n "${test_data[$target]:-}" ]] && seeds+=("${test_data[$target]}")
  # Tokens of the format, where a target has them (fuzz/<target>.dict).
  options=()
  [[ -f "fuzz/$target.dict" ]] && options+=("-dict=fuzz/$target.dict")
  echo "fuzz_$target: ${seconds}s"
  status=0
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2560 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "${options[@]}" "$corpus" "${seeds[@]}" \
    >"$log" 2>&1 || status=$?
  # The last status line: executions, coverage (cov) and features (ft).
  grep -E '^#[0-9]+' "$log" | tail -n 1 || true
  grep -E '^stat::number_of_executed_units' "$log" || true
  if ((status != 0)); then
    echo "fuzz_$target FAILED (exit status $status); input in $artifacts/, log in $log:" >&2
    grep -vE '^#[0-9]+' "$log" | tail -n 40 >&2
    failed+=("$target")
  fi
done

if ((${#failed[@]})); then
  echo "fuzz: failed: ${failed[*]}" >&2
  exit 1
fi
