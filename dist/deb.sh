#!/bin/sh
# Build the Debian package tumbrik_<version>_<arch>.deb with debhelper.
#   ./dist/deb.sh [<output folder>]      (default: build-deb/)
# It installs what the build needs, copies the source into the output
# folder and builds there, so that neither the build nor dpkg-buildpackage's
# files (which it writes beside the source) land in the checkout. The
# version is debian/changelog's, which must be the project's in
# CMakeLists.txt.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build-deb}
fail() { echo "dist/deb.sh: $*" >&2; exit 1; }

"$root/deps.sh" deb || fail "couldn't install the packaging tools"

version=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version) ||
    fail "couldn't read the version from debian/changelog"
project=$(sed -n 's/^project(tumbrik VERSION \([^ )]*\).*/\1/p' "$root/CMakeLists.txt")
[ "$version" = "$project" ] ||
    fail "debian/changelog is at version $version, CMakeLists.txt at $project: add a changelog entry"
arch=$(dpkg-architecture -q DEB_HOST_ARCH)

mkdir -p "$out" && out=$(cd "$out" && pwd)
src=$out/tumbrik-$version
rm -rf "$src" "$out"/tumbrik*_"$version"_*
mkdir -p "$src"
# The source as git sees it (tracked and new files, nothing ignored), or
# without git all of it but build folders.
if git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    (cd "$root" && git ls-files -z --cached --others --exclude-standard |
        tar --null -T - -cf -) | tar -xf - -C "$src" || fail "couldn't copy the source"
else
    tar -C "$root" --exclude=./.git --exclude='./build*' -cf - . | tar -xf - -C "$src" ||
        fail "couldn't copy the source"
fi

(cd "$src" && dpkg-buildpackage -b -us -uc -J2) || fail "dpkg-buildpackage failed"
rm -rf "$src"
deb=$out/tumbrik_${version}_$arch.deb
[ -f "$deb" ] || fail "dpkg-buildpackage made no $deb"
echo "Built $deb"
