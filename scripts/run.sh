#!/usr/bin/env bash
# run.sh - installs what the build needs, builds Kelvor and starts the viewer.
#
#   scripts/run.sh           build the Linux (Xlib + GLX) viewer and run it on $DISPLAY
#   scripts/run.sh --wine    build the Windows executable with MinGW-w64 and run it under Wine
#   scripts/run.sh --xvfb    run on a private virtual X server (nothing to see: for smoke runs)
# Build trees go to build/<preset folder>, or under $KVR_BUILD_DIR when that is set.
#
# Without a Linux platform layer in the tree (no build/linux/Kelvor after the build) it falls
# back to the Windows executable under Wine.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

use_wine=0
use_xvfb=0
for arg in "$@"; do
    case "$arg" in
    --wine) use_wine=1 ;;
    --xvfb) use_xvfb=1 ;;
    -h | --help)
        sed -n '2,10s/^# \{0,1\}//p' "$0"
        exit 0
        ;;
    *)
        echo "unknown option: $arg (try --help)" >&2
        exit 2
        ;;
    esac
done

if [ "$use_xvfb" = 0 ] && [ -z "${DISPLAY:-}" ]; then
    echo "No X display: \$DISPLAY is not set, so there is nowhere to open the viewer's window." >&2
    echo "Run this from a desktop session (or with ssh -X), or pass --xvfb to run it on a" >&2
    echo "virtual X server where nobody can see it." >&2
    exit 1
fi

cd "$KVR_ROOT"
kvr_install_packages "${KVR_BUILD_PACKAGES[@]}"
[ "$use_xvfb" = 1 ] && kvr_install_packages xvfb xauth

if [ "$use_wine" = 0 ]; then
    kvr_say "building the Linux viewer ($KVR_BUILD_LINUX)"
    cmake --preset linux -B "$KVR_BUILD_LINUX" >/dev/null
    if ninja -C "$KVR_BUILD_LINUX" -t targets all 2>/dev/null | grep -q '^Kelvor:'; then
        cmake --build "$KVR_BUILD_LINUX" --target Kelvor -j2
    fi
    if [ ! -x "$KVR_BUILD_LINUX/Kelvor" ]; then
        kvr_say "no Linux Kelvor was built: using the Windows build under Wine"
        use_wine=1
    fi
fi

if [ "$use_wine" = 1 ]; then
    kvr_install_packages "${KVR_WINDOWS_PACKAGES[@]}"
    kvr_say "cross-building the Windows viewer ($KVR_BUILD_WINDOWS)"
    cmake --preset windows-cross -B "$KVR_BUILD_WINDOWS" >/dev/null
    cmake --build "$KVR_BUILD_WINDOWS" -j2
fi

if [ "$use_xvfb" = 1 ]; then
    trap kvr_stop_xvfb EXIT
    kvr_start_xvfb
fi

status=0
if [ "$use_wine" = 1 ]; then
    kvr_wine_env "$KVR_BUILD_WINDOWS/wineprefix-run"
    kvr_say "starting $KVR_BUILD_WINDOWS/Kelvor.exe under Wine on $DISPLAY"
    wine "$KVR_BUILD_WINDOWS/Kelvor.exe" || status=$?
    wineserver -k 2>/dev/null || true
else
    kvr_say "starting $KVR_BUILD_LINUX/Kelvor on $DISPLAY"
    "$KVR_BUILD_LINUX/Kelvor" || status=$?
fi
kvr_say "Kelvor exited with status $status"
exit "$status"
