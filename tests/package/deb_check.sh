#!/bin/bash
# Builds the Debian package with dist/deb.sh into a scratch folder, checks
# it with lintian and its contents against Debian's layout for games,
# unpacks it into a scratch root (never into the system) and plays it there
# through that root's launcher in a private X server, started from a folder
# that is not its data folder: the title screen must be drawn and Esc must
# end the game with status 0 and no complaint on stderr (a missing picture
# or sound would be one).
#
#   deb_check.sh <repository root> <scratch folder>
set -u
[ $# -eq 2 ] || { echo "usage: $0 <repository root> <scratch folder>" >&2; exit 2; }
src=$(cd "$1" && pwd)
mkdir -p "$2" && out=$(cd "$2" && pwd)
art=$out/artefacts
rm -rf "$art" "$out/root" "$out/elsewhere"
mkdir -p "$art" "$out/elsewhere"
# shellcheck source=../e2e/xplay.sh
. "$src/tests/e2e/xplay.sh"

step "build the package"
"$src/dist/deb.sh" "$out" >"$art/build.log" 2>&1 || { tail -n 40 "$art/build.log"; die "dist/deb.sh failed (build.log)"; }
version=$(dpkg-parsechangelog -l "$src/debian/changelog" -S Version)
deb=$out/tumbrik_${version}_$(dpkg-architecture -q DEB_HOST_ARCH).deb
[ -f "$deb" ] || die "no $deb"

step "lintian: no errors, no warnings"
lintian --fail-on error,warning --display-info --pedantic "$deb" >"$art/lintian.log" 2>&1
rc=$?
grep -v 'running with root privileges' "$art/lintian.log"
[ "$rc" = 0 ] || die "lintian found errors or warnings (status $rc)"

step "the library dependencies are computed from the binary"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libc6 libsdl1.2debian libsdl-mixer1.2; do
    [[ ", $depends" == *", $lib "* ]] || die "Depends does not name $lib"
done

step "unpacked into a scratch root: Debian's layout for games"
dpkg-deb -x "$deb" "$out/root" || die "dpkg-deb -x failed"
unpacked=$out/root
for f in usr/games/tumbrik usr/lib/games/tumbrik/tumbrik \
         usr/share/games/tumbrik/pix/Tahoma10.bmp usr/share/games/tumbrik/pix/tumbrik2.bmp \
         usr/share/games/tumbrik/sound/block.ogg usr/share/games/tumbrik/sound/bonus.wav \
         usr/share/applications/tumbrik.desktop usr/share/metainfo/org.example.tumbrik.metainfo.xml \
         usr/share/man/man6/tumbrik.6.gz usr/share/doc/tumbrik/copyright \
         usr/share/icons/hicolor/{32x32,48x48,64x64,128x128,256x256}/apps/tumbrik.png; do
    [ -e "$unpacked/$f" ] || die "the package has no /$f"
done
[ ! -e "$unpacked/usr/bin" ] || die "the package puts files in /usr/bin: $(ls "$unpacked/usr/bin")"
! grep -q __asan_init "$unpacked/usr/lib/games/tumbrik/tumbrik" || die "the packaged game is built with sanitizers"
appstreamcli validate-tree --no-net --strict "$unpacked" || die "appstreamcli validate-tree found issues"

step "the launcher of the unpacked root starts the game from another folder"
bin=$unpacked/usr/games/tumbrik
root=$out/elsewhere
need_tools
start_x
start_game
find_window
until_shot 15 title is_title || die "$why"

step "Esc: the game ends with status 0"
key Escape
wait_exit 10 || die "the game did not end within 10 s of Esc"
[ "$status" = 0 ] || die "exit status $status"
# SDL's disk audio driver, which takes the sound here, announces itself.
complaints=$(grep -v -e '^WARNING: You are using the SDL disk writer audio driver' \
    -e '^ Writing to file ' "$art/game.stderr")
[ -z "$complaints" ] || die "the game complained on stderr"
echo "$tag: $deb built, lintian-clean, and plays from $bin"
