#!/bin/sh
# The performance check: builds a Release configuration into build-bench
# and prints one table of every figure against its budget:
#   - the CPU time of one pass of each screen, in floors (one fill and one
#     flip of the whole window, measured in the same run), and the heap
#     allocations of steady passes (tumbrik_bench);
#   - the game's own share of a pass's instructions (callgrind);
#   - the time from process start to the mapped window under Xvfb
#     (tumbrik_startup), and the peak resident memory of a short session
#     (/usr/bin/time -v);
#   - the game on the display, on the real SDL 1.2 and on sdl12-compat:
#     passes per second, CPU shares and start-up (benchmarks/display.sh,
#     which also runs alone).
# Needs valgrind, xvfb, xdotool and time (./deps.sh test installs them).
# Exit status 1 when a budget is missed. Scratch files go to
# build-bench/perf. See docs/performance.md.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/benchmarks/common.sh"
out="$build/perf"

need_tools valgrind callgrind_annotate Xvfb xdotool /usr/bin/time
build_release tumbrik tumbrik_bench tumbrik_startup
mkdir -p "$out"
cd "$root"
load=$(cut -d' ' -f1-3 /proc/loadavg)

# ==== Passes against the floor, heap allocations ====
echo "Running the frame benchmark (about half a minute) ..."
if ! "$build/benchmarks/tumbrik_bench" \
    --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --check-budgets >"$out/bench.txt" 2>"$out/bench.err"; then
    missed=1
fi
grep -v '^\*\*\*WARNING\*\*\* Library was built as DEBUG' "$out/bench.err" >&2 || true
sed -n '/^-----/,/^$/p' "$out/bench.txt"

# ==== The game's own share of a pass's instructions ====
# Self cost of every function during measuredPass (the pass and all it
# calls), summed by where the function comes from: the game's sources
# src/*.cpp, libSDL, and the rest (C library, lazy symbol binding, the
# benchmark's own lines). Self cost, because a game function's inclusive
# cost holds the SDL work it asks for.
passes=100
echo "Counting instructions with callgrind ($passes passes of each screen) ..."
rm -f "$out/shares.new"
for screen in title playing paused game_over; do
    valgrind --tool=callgrind --callgrind-out-file="$out/$screen.callgrind" \
        --toggle-collect=measuredPass \
        "$build/benchmarks/tumbrik_bench" --passes="$screen:$passes" \
        >"$out/$screen.valgrind" 2>&1
    callgrind_annotate --inclusive=no --threshold=100 --auto=no "$out/$screen.callgrind" \
        >"$out/$screen.annotate"
    awk -v passes="$passes" '
        /PROGRAM TOTALS/ { t = $1; gsub(",", "", t); total = t; next }
        /file:function/ { listing = 1; next }
        listing && /\([ 0-9.]+%\)/ {
            n = $1; gsub(",", "", n)
            if (n !~ /^[0-9]+$/) next
            if ($0 ~ /(^|[ \/])src\/[A-Za-z0-9_]+\.cpp:/) game += n
            else if ($0 ~ /libSDL-1\.2/) sdl += n
            else other += n
        }
        END {
            printf "%s %.0f %.0f %.0f %.0f %.2f %.2f %.2f\n", screen, total / passes,
                game / passes, sdl / passes, other / passes,
                100 * game / total, 100 * sdl / total, 100 * other / total
        }' screen="$screen" "$out/$screen.annotate" >>"$out/shares.new"
done
mv "$out/shares.new" "$out/shares.txt"
printf '%-10s %14s %12s %14s %10s %8s %8s %8s\n' screen "instr/pass" game SDL other \
    "game %" "SDL %" "other %"
awk '{ printf "%-10s %14s %12s %14s %10s %8s %8s %8s\n", $1, $2, $3, $4, $5, $6, $7, $8 }' \
    "$out/shares.txt"

# ==== Start-up and memory under Xvfb ====
echo "Starting Xvfb ..."
trap stop_xvfb EXIT
start_xvfb "$out" 1024x768x24 >&2 || exit 2
unset SDL_VIDEODRIVER
export SDL_AUDIODRIVER=dummy

runs=15
echo "Timing $runs start-ups ..."
"$build/benchmarks/tumbrik_startup" "$runs" "$build/tumbrik" >"$out/startup.txt"
grep '^run' "$out/startup.txt"

# A short session: start a game, move, turn, drop, pause and go on, quit.
# The resident set is broken down by mapping near its end. Sizes in MB of
# 10^6 bytes; time and smaps count in KiB.
echo "Playing a short session under /usr/bin/time -v ..."
/usr/bin/time -v -o "$out/time.txt" "$build/tumbrik" >"$out/session.log" 2>&1 &
timed=$!
win=$(timeout 20 xdotool search --sync --onlyvisible --name '^Tumbrik$' | head -n 1)
xdotool mousemove --window "$win" 200 200
for key in F2 Left Left Down Right space Down Right Right space Left Down space F3; do
    xdotool key "$key"
    sleep 0.25
done
gamePid=$(pgrep -P "$timed")
awk '/^[0-9a-f]+-[0-9a-f]+ / { name = ($6 == "") ? "[anon]" : $6 }
     /^Rss:/ { rss[name] += $2 }
     END { for (n in rss) printf "%8d kB %s\n", rss[n], n }' "/proc/$gamePid/smaps" |
    sort -rn >"$out/rss-by-mapping.txt"
xdotool key F3
sleep 0.5
xdotool key Escape
wait "$timed"
awk '$3 ~ /^\[|^\/SYSV/ { own += $1 } $3 ~ /\.so/ { libs += $1 }
     END { printf "near the end: %.1f MB in shared libraries, %.1f MB of its own ",
                  libs * 1.024 / 1000, own * 1.024 / 1000
           print "(heap, anonymous, stack, X shared image)" }' "$out/rss-by-mapping.txt"

# ==== The table ====
echo
echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores," \
    "$(awk '/MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)," \
    "$(. /etc/os-release && echo "$PRETTY_NAME")"
echo "Load average before the run: $load"
echo
sed -n '/^measure /,$p' "$out/bench.txt"
while read -r screen total game sdl other gshare sshare oshare; do
    check "$gshare" "<=" 5
    millions=$(awk -v n="$total" 'BEGIN { printf "%.2f", n / 1e6 }')
    row "pass/$screen, game's own code" "$gshare % of $millions M instr" "<= 5 %" "$v"
done <"$out/shares.txt"
set -- $(awk '$1 == "summary" && $2 == "mapped" { print $3, $4 }' "$out/startup.txt")
check "$1" "<=" 150
row "window mapped after process start" "median $1, max $2 ms" "median <= 150" "$v"
set -- $(awk '$1 == "summary" && $2 == "first_frame" { print $3, $4 }' "$out/startup.txt")
row "first frame after process start" "median $1, max $2 ms" "" ""
rss=$(awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 * 1.024 / 1000 }' "$out/time.txt")
check "$rss" "<" 40
row "peak resident memory, session" "$rss MB" "< 40 MB" "$v"

# ==== The game on the display, on both SDL 1.2 libraries ====
stop_xvfb
echo
sh "$root/benchmarks/display.sh" || missed=1
exit "$missed"
