#!/bin/sh
# The manual page renders without a warning from groff or man, and names
# in its ENVIRONMENT section SDL's two driver choices and every variable
# the game itself reads or sets.
#   manpage_check.sh <repository root>
set -eu
root=$1
page=$root/dist/tumbrik.6
fail() { echo "manpage_check: $*" >&2; exit 1; }

out=$(groff -man -ww -z "$page" 2>&1) || fail "groff failed: $out"
[ -z "$out" ] || fail "groff warns: $out"
# As lintian runs it.
out=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null) ||
    fail "man failed: $out"
[ -z "$out" ] || fail "man warns: $out"

environment=$(sed -n '/^\.SH ENVIRONMENT/,/^\.SH /p' "$page")
vars=$( (echo SDL_VIDEODRIVER; echo SDL_AUDIODRIVER
         grep -ho -E '(getenv|setenv|unsetenv)\("[A-Z0-9_]+"' "$root"/src/*.cpp | sed 's/.*("//; s/"$//') |
       sort -u)
for v in $vars; do
    printf '%s\n' "$environment" | grep -q "^\.B $v\$" || fail "ENVIRONMENT does not describe $v"
done
echo "manpage_check: renders cleanly; ENVIRONMENT names" $vars
