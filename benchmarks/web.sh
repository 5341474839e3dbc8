#!/bin/sh
# The browser build against its timing budgets: builds the Release game
# into build-bench (as run.sh does; its title screen is the reference)
# and runs the browser test, web/browser_test.sh, with
# TUMBRIK_WEB_BUDGETS=1, so that a first frame later than 1.5 s after
# navigation or fewer than 55 passes a second on the title screen fail
# it. Run it on a quiet machine. Needs what the CTest web_browser needs
# (./deps.sh test installs it). Exit status 1 when a budget is missed or
# the test fails. The site, screenshots and figures
# (artefacts/browser/metrics.json) go to build-bench/perf/web. See
# docs/performance.md.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"

echo "Building the Release configuration into build-bench ..."
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-g \
    -DTUMBRIK_SANITIZE=OFF >/dev/null ||
    { echo "web.sh: couldn't configure build-bench" >&2; exit 2; }
cmake --build "$build" -j2 --target tumbrik >/dev/null ||
    { echo "web.sh: couldn't build the game in build-bench" >&2; exit 2; }

echo "Running the browser test with its timing budgets enforced ..."
TUMBRIK_WEB_BUDGETS=1 bash "$root/web/browser_test.sh" "$build/tumbrik" "$root" "$build/perf/web"
