#!/bin/sh
# Checks the include rules that keep the layers apart:
#   common/    pure code: includes only common/
#   platform/  common/ and platform/
#   a program  common/, platform/ and its own folder; the DIAG engine (modemd/diag/) is shared
#              code that tools may link too
#   no product file includes sim/ or tests/ (test code beside the product code may)
# Test code is *_test.cpp, *_testing.h and *_fixture.{h,cpp}. Prints each breach; status 1 if any.
set -eu
cd "$(dirname "$0")/.."

allowed() {
    case "$1" in
    common) echo "common" ;;
    platform) echo "common platform" ;;
    tools) echo "common platform tools modemd/diag" ;;
    *) echo "common platform $1" ;;
    esac
}

status=0
for dir in common platform modemd rmagent serbridge tools qvt cardactivate statpipe resetbtn usbprobe; do
    [ -d "$dir" ] || continue
    ok=$(allowed "$dir")
    for file in $(find "$dir" -name '*.cpp' -o -name '*.h' | sort); do
        case "$file" in
        *_test.cpp | *_testing.h | *_fixture.h | *_fixture.cpp) continue ;;
        esac
        for inc in $(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file"); do
            top=${inc%%/*}
            [ "$top" = "$inc" ] && continue # a file beside it
            sub=$(echo "$inc" | cut -d/ -f1-2)
            fine=0
            for a in $ok; do
                if [ "$a" = "$top" ] || [ "$a" = "$sub" ]; then fine=1; fi
            done
            if [ "$fine" -eq 0 ]; then
                echo "layer breach: $file includes $inc"
                status=1
            fi
        done
    done
done
[ "$status" -eq 0 ] && echo "layers: every include within its layer"
exit "$status"
