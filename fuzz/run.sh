#!/bin/sh
# Build the fuzzers with clang++ into <work>, replay every committed
# regression case, then run each fuzzer for <seconds> (default 60) on a
# copy of its seed corpus. The source tree is only read: corpora, crash
# files and logs all stay under <work>.
#
#   run.sh <fuzz-source-folder> <work-folder> [seconds]
set -u
src=$(cd "$1" && pwd)
work=$2
seconds=${3:-60}
targets="text metrics frames"

if ! command -v clang++ >/dev/null; then
    echo "clang++ is missing (Debian: clang, and libclang-rt-14-dev for libFuzzer)"
    exit 1
fi
mkdir -p "$work"
if ! { cmake -S "$src" -B "$work/build" -DCMAKE_CXX_COMPILER=clang++ &&
       cmake --build "$work/build" -j2; } >"$work/build.log" 2>&1; then
    cat "$work/build.log"
    echo "FAIL: the fuzzers did not build"
    exit 1
fi

export ASAN_OPTIONS="detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
for t in $targets; do
    fuzzer=$work/build/fuzz_$t
    if [ -d "$src/regressions/$t" ]; then
        for case in "$src/regressions/$t"/*; do
            [ -f "$case" ] || continue
            if ! "$fuzzer" "$case" >"$work/$t.replay.log" 2>&1; then
                tail -n 40 "$work/$t.replay.log"
                echo "FAIL: $t regression case $(basename "$case")"
                status=1
            fi
        done
    fi

    rm -rf "$work/corpus/$t" "$work/crashes/$t"
    mkdir -p "$work/corpus/$t" "$work/crashes/$t"
    cp "$src/corpus/$t"/* "$work/corpus/$t/"
    # Texts past the 4000 bytes that wrapping lays out; shorter key
    # scripts and metric files, so that more of them run.
    case $t in
    text) longest=6000 ;;
    *) longest=2000 ;;
    esac
    start=$(date +%s)
    if "$fuzzer" -max_total_time="$seconds" -timeout=10 -max_len=$longest \
            -artifact_prefix="$work/crashes/$t/" -print_final_stats=1 \
            "$work/corpus/$t" >"$work/$t.log" 2>&1; then
        echo "$t: $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/$t.log" |
                    grep -o '[0-9]*$') runs in $(($(date +%s) - start)) s, no finding"
    else
        tail -n 60 "$work/$t.log"
        echo "FAIL: $t found a fault; the input is in $work/crashes/$t/"
        echo "(add it to fuzz/regressions/$t/ once it is understood)"
        status=1
    fi
done
exit $status
