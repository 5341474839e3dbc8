#!/bin/bash
# The web build against the desktop game: builds the site, checks its
# size, takes the title screen of the real binary in a private X server
# as the reference, and plays the site in headless Chromium
# (browser_test.mjs). Nothing but npm packages of package-lock.json is
# fetched; Chromium is Debian's.
#
#   browser_test.sh <tumbrik binary> <repository root> <work folder>
#
# The site, the screenshots (artefacts/desktop, artefacts/browser) and the
# figures (artefacts/browser/metrics.json, artefacts/site-size.txt) stay in
# the work folder, and so do npm's cache and Chromium's profile and caches:
# nothing is written to the user's home.
#
# The site's size budgets fail the test; the timing budgets (first frame,
# passes a second) are recorded with their verdicts and fail it only with
# TUMBRIK_WEB_BUDGETS=1 in the environment (benchmarks/web.sh).
set -u
[ $# -eq 3 ] || { echo "usage: $0 <tumbrik binary> <repository root> <work folder>" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
root=$(cd "$2" && pwd)
mkdir -p "$3" && work=$(cd "$3" && pwd)
rm -rf "$work/artefacts"
mkdir -p "$work/artefacts/desktop" "$work/artefacts/browser"
# xplay.sh keeps its screenshots and logs in $art.
art=$work/artefacts/desktop
# shellcheck source=../tests/e2e/xplay.sh
. "$root/tests/e2e/xplay.sh"
tag=web_browser
# The browser test runs in the background so that a signal reaches the
# clean-up at once; it ends its web server and Chromium when stopped.
node_pid=""
trap '[ -n "$node_pid" ] && stop_process "$node_pid" 5; cleanup' EXIT
need_tools
for t in emcc node npm python3 gzip; do
    command -v "$t" >/dev/null 2>&1 || die "$t is missing (./deps.sh test installs it)"
done
[ -x /usr/bin/chromium ] || die "/usr/bin/chromium is missing (./deps.sh test installs it)"

step "build the site"
"$here/build.sh" "$work/site" >"$work/artefacts/build.log" 2>&1 ||
    die "web/build.sh failed: $(tail -n 20 "$work/artefacts/build.log")"

step "the site's size: at most 1.5 MB, 1 MB gzip-compressed"
raw=0
gz=0
for f in "$work"/site/*; do
    raw=$((raw + $(wc -c <"$f")))
    gz=$((gz + $(gzip -9c "$f" | wc -c)))
done
echo "site: $raw bytes, $gz bytes gzip-compressed" | tee "$work/artefacts/site-size.txt"
[ "$raw" -le 1500000 ] || die "the site is $raw bytes, over 1500000"
[ "$gz" -le 1000000 ] || die "the site is $gz bytes gzip-compressed, over 1000000"

step "puppeteer-core from the lock file"
mkdir -p "$work/runner"
cp "$here/package.json" "$here/package-lock.json" "$here/browser_test.mjs" "$work/runner/"
(cd "$work/runner" &&
    PUPPETEER_SKIP_DOWNLOAD=1 npm ci --cache "$work/npm-cache" --ignore-scripts --no-audit --no-fund) \
    >"$work/artefacts/npm.log" 2>&1 || die "npm ci failed: $(tail -n 20 "$work/artefacts/npm.log")"

step "the desktop game's title screen"
start_x
start_game
find_window
until_shot 15 title is_title || die "$why"
cp "$SHOT" "$work/artefacts/desktop-title.png"
key Escape
wait_exit 10 || die "the game did not end on Esc"
stop_xvfb

step "the site in headless Chromium"
# A fresh home for the browser each run: its profile, and whatever it,
# its fonts, its sound or its graphics libraries keep under $HOME or the
# XDG folders.
home=$work/browser-home
rm -rf "$home"
mkdir -p "$home/cache" "$home/config" "$home/data" "$home/runtime" || die "couldn't make $home"
chmod 700 "$home/runtime" || die "couldn't make $home/runtime private"
HOME=$home XDG_CACHE_HOME=$home/cache XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data \
    XDG_RUNTIME_DIR=$home/runtime \
    node "$work/runner/browser_test.mjs" "$work/site" "$work/artefacts/browser" \
    "$work/artefacts/desktop-title.png" "$home/profile" &
node_pid=$!
wait "$node_pid"
status=$?
node_pid=""
[ "$status" -eq 0 ] || die "the browser test failed (see above)"
echo "$tag: passed; screenshots and figures are in $work/artefacts"
