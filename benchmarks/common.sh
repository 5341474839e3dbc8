# Sourced by run.sh and display.sh (POSIX sh, set -eu), which set `root`
# to the repository: the tools check, the Release build into build-bench,
# the rows of the figures table and their verdicts, and the private X
# server (tests/procs.sh).
build="$root/build-bench"
. "$root/tests/procs.sh"

# need_tools TOOL...: stop with status 2, naming the first tool missing.
need_tools() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null || {
            echo "${0##*/} needs $tool (./deps.sh test installs it)" >&2
            exit 2
        }
    done
}

# build_release TARGET...: the Release configuration, with the symbols
# that callgrind reads, built into build-bench.
build_release() {
    echo "Building the Release configuration into build-bench ..."
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-g \
        -DTUMBRIK_SANITIZE=OFF >/dev/null
    cmake --build "$build" -j2 --target "$@" >/dev/null
}

# One line of the table: measure, figure, budget, verdict.
row() { printf '%-44s %-34s %-18s %s\n' "$1" "$2" "$3" "$4"; }

# check A OP B: sets v to ok or MISSED (and remembers the miss in missed).
missed=0
check() {
    if awk -v a="$1" -v b="$3" "BEGIN { exit !(a $2 b) }"; then v=ok; else v=MISSED; missed=1; fi
}
