#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan/UBSan) in build-fuzz and
# runs each of them for SECONDS (default 20), several at a time.  Exits
# non-zero, naming the input that crashed, when any target finds a fault.
#
#   bash scripts/fuzz.sh 3600            every target for an hour
#   FUZZ_TARGETS="fuzz_ini fuzz_png" bash scripts/fuzz.sh 600
#   FUZZ_JOBS=4 bash scripts/fuzz.sh 60  at most four at a time
#
# Each target's corpus grows in build-fuzz/fuzz-corpus/<target> from run to
# run; crashing inputs land in build-fuzz/fuzz-crashes/, the output of
# each run in build-fuzz/fuzz-logs/<target>.log.  A crash is replayed with
# build-fuzz/fuzz/<target> <crash file>.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
jobs=${FUZZ_JOBS:-$(nproc)}
build=$(realpath -m "${FUZZ_BUILD:-build-fuzz}")  # absolute: the drill engine changes folder

if [ ! -f "$build/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S . -B "$build" -DRUZOZU_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target fuzz_all >"$build/fuzz-build.log" 2>&1 ||
    { tail -50 "$build/fuzz-build.log"; echo "fuzz: the build failed" >&2; exit 1; }

# The files the targets hand to the readers are written many times a
# second: in memory when it can be had.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then tmproot=$(mktemp -d /dev/shm/ruzozu-fuzz.XXXXXX)
else tmproot=$(mktemp -d "$build/fuzz-tmp.XXXXXX"); fi
trap 'rm -rf "$tmproot"' EXIT

rm -rf "$build/fuzz-seeds" "$build/fuzz-logs"
mkdir -p "$build/fuzz-corpus" "$build/fuzz-crashes" "$build/fuzz-logs"
bash fuzz/make_seeds.sh "$build/fuzz-seeds"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$(realpath fuzz/lsan.supp):print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# run_one TARGET MAX_LEN DICT...: one target for the given time; its exit
# status.
run_one() {
    local t=$1 len=$2 d dict=() dicts=() limit=()
    shift 2
    mkdir -p "$build/fuzz-corpus/$t" "$build/fuzz-seeds/$t" "$tmproot/$t"
    for d in "$@"; do
        case "$d" in malloc=*) limit=(-malloc_limit_mb="${d#malloc=}") ;; *) dicts+=("$d") ;; esac
    done
    if [ ${#dicts[@]} -gt 0 ]; then
        for d in "${dicts[@]}"; do cat "fuzz/dict/$d.dict"; done >"$tmproot/$t.dict"
        dict=(-dict="$tmproot/$t.dict")
    fi
    TMPDIR="$tmproot/$t" "$build/fuzz/$t" "${dict[@]}" "${limit[@]}" \
        -max_total_time="$seconds" -max_len="$len" -rss_limit_mb=2048 -timeout=10 \
        -artifact_prefix="$build/fuzz-crashes/$t-" -print_final_stats=1 \
        "$build/fuzz-corpus/$t" "$build/fuzz-seeds/$t" >"$build/fuzz-logs/$t.log" 2>&1
}

declare -A pid_of=()
names=()
while read -r t len dicts; do
    case "$t" in '' | '#'*) continue ;; esac
    if [ -n "${FUZZ_TARGETS:-}" ] && [[ " $FUZZ_TARGETS " != *" $t "* ]]; then continue; fi
    if [ ! -x "$build/fuzz/$t" ]; then echo "fuzz: $t was not built" >&2; exit 1; fi
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
    # shellcheck disable=SC2086  # the dictionaries are words
    run_one "$t" "$len" $dicts &
    pid_of[$t]=$!
    names+=("$t")
done < fuzz/targets.txt

failed=0
faults=0
for t in "${names[@]}"; do
    if wait "${pid_of[$t]}"; then
        echo "fuzz: $t: $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$build/fuzz-logs/$t.log" |
                          grep -o '[0-9]*$' || echo '?') runs, no fault"
    else
        failed=1
        faults=$((faults + 1))
        echo "fuzz: $t FOUND A FAULT (log: $build/fuzz-logs/$t.log)" >&2
        grep -E 'ERROR:|runtime error:|fuzz check failed|Test unit written to' "$build/fuzz-logs/$t.log" |
            head -5 >&2 || tail -20 "$build/fuzz-logs/$t.log" >&2
    fi
done
echo "fuzz: $((${#names[@]} - faults)) passed, $faults failed"
exit "$failed"
