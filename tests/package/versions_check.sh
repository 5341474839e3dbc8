#!/bin/sh
# One version and one release date everywhere: the project's version in
# CMakeLists.txt, the latest entry of debian/changelog, the latest release
# of the software-centre metadata and the manual page's header.
#   versions_check.sh <repository root>
set -eu
root=$1
fail() { echo "versions_check: $*" >&2; exit 1; }

project=$(sed -n 's/^project(tumbrik VERSION \([^ )]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$project" ] || fail "no project version in CMakeLists.txt"
changelog=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)
date=$(date -u -d "$(dpkg-parsechangelog -l "$root/debian/changelog" -S Date)" +%Y-%m-%d)
release=$(grep -m1 -o '<release version="[^"]*" date="[^"]*"' "$root/dist/org.example.tumbrik.metainfo.xml")
manual=$(grep -m1 '^\.TH ' "$root/dist/tumbrik.6")

[ "$changelog" = "$project" ] || fail "debian/changelog is at $changelog, the project at $project"
[ "$release" = "<release version=\"$project\" date=\"$date\"" ] ||
    fail "the metadata's latest release is '$release', not version $project of $date"
[ "$manual" = ".TH TUMBRIK 6 $date \"Tumbrik $project\" \"Games\"" ] ||
    fail "the manual's header is '$manual', not version $project of $date"
echo "versions_check: version $project of $date everywhere"
