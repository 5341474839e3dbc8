# Sourced by the checks that read pictures (POSIX sh, also by bash
# scripts): ImageMagick 6 under its own names where Debian has them, in IM
# and CMP, because a plain `convert` early in PATH may be something else.
IM=convert
CMP=compare
if command -v convert-im6.q16 >/dev/null 2>&1; then IM=convert-im6.q16; fi
if command -v compare-im6.q16 >/dev/null 2>&1; then CMP=compare-im6.q16; fi
