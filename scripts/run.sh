#!/usr/bin/env bash
# run.sh - installs what the build needs, builds Kelvor and starts the viewer.
#
#   scripts/run.sh           build the Linux viewer and run it on the desktop: on Wayland where
#                            $WAYLAND_DISPLAY is set, else on $DISPLAY
#   scripts/run.sh --wine    build the Windows executable with MinGW-w64 and run it under Wine
#   scripts/run.sh --xvfb    a headless first run on a private virtual X server: waits for the first
#                            full-screen frame of the scene, saves it as build/kelvor-xvfb.png
#                            (build/kelvor-xvfb-wine.png with --wine), closes the window as its close
#                            box does and reports the exit status
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
        sed -n '2,13s/^# \{0,1\}//p' "$0"
        exit 0
        ;;
    *)
        echo "unknown option: $arg (try --help)" >&2
        exit 2
        ;;
    esac
done

if [ "$use_xvfb" = 0 ] && [ -z "${DISPLAY:-}" ] && { [ "$use_wine" = 1 ] || [ -z "${WAYLAND_DISPLAY:-}" ]; }; then
    echo "No display: neither \$WAYLAND_DISPLAY nor \$DISPLAY is set, so there is nowhere to open the viewer's window." >&2
    echo "Run this from a desktop session (or with ssh -X), or pass --xvfb to run it on a" >&2
    echo "virtual X server where nobody can see it." >&2
    exit 1
fi

cd "$KVR_ROOT"
kvr_install_packages "${KVR_BUILD_PACKAGES[@]}"
# The headless run also needs the virtual X server and ImageMagick for the screenshot.
[ "$use_xvfb" = 1 ] && kvr_install_packages xvfb xauth imagemagick

# Builds the given targets of the Linux tree, those of them it has.
build_linux_targets() {
    local targets=() t all
    cmake --preset linux -B "$KVR_BUILD_LINUX" >/dev/null
    # The list is read whole first: grep -q leaving a pipe early kills ninja with SIGPIPE, and
    # under pipefail a target that is there would then count as missing.
    all="$(ninja -C "$KVR_BUILD_LINUX" -t targets all 2>/dev/null)"
    for t in "$@"; do
        grep -q "^$t:" <<<"$all" && targets+=("$t")
    done
    [ ${#targets[@]} -eq 0 ] || cmake --build "$KVR_BUILD_LINUX" --target "${targets[@]}" -j2
}

if [ "$use_wine" = 0 ]; then
    kvr_say "building the Linux viewer ($KVR_BUILD_LINUX)"
    build_linux_targets Kelvor
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
    # The driver of the headless run lives in the Linux tree (it needs Xlib and XTest).
    kvr_say "building the headless-run driver ($KVR_BUILD_LINUX)"
    build_linux_targets kvr_firstrun
    firstrun="$KVR_BUILD_LINUX/tools/kvr_firstrun"
    [ -x "$firstrun" ] || { echo "the headless-run driver was not built (needs libxtst-dev)" >&2; exit 1; }
    trap kvr_stop_xvfb EXIT
    kvr_start_xvfb
fi

status=0
if [ "$use_wine" = 1 ]; then
    kvr_wine_env "$KVR_BUILD_WINDOWS/wineprefix-run"
fi
if [ "$use_xvfb" = 1 ]; then
    # Start, wait for the scene in full screen, take the picture, close the window, report.
    if [ "$use_wine" = 1 ]; then
        exe="$KVR_BUILD_WINDOWS/Kelvor.exe" shot="$KVR_BUILD/kelvor-xvfb-wine" how=(--wine)
    else
        exe="$KVR_BUILD_LINUX/Kelvor" shot="$KVR_BUILD/kelvor-xvfb" how=()
    fi
    kvr_say "starting $exe${how:+ under Wine} on $DISPLAY and waiting for the scene"
    rm -f "$shot.ppm" "$shot.png"
    "$firstrun" "${how[@]}" --shot "$shot.ppm" "$exe" || status=$?
    if [ -s "$shot.ppm" ] && convert "$shot.ppm" -strip "$shot.png" && rm -f "$shot.ppm"; then
        kvr_say "screenshot: $shot.png"
    else
        kvr_say "no screenshot was taken"
        [ "$status" = 0 ] && status=1
    fi
    [ "$use_wine" = 1 ] && { wineserver -k 2>/dev/null || true; }
elif [ "$use_wine" = 1 ]; then
    kvr_say "starting $KVR_BUILD_WINDOWS/Kelvor.exe under Wine on $DISPLAY"
    wine "$KVR_BUILD_WINDOWS/Kelvor.exe" || status=$?
    wineserver -k 2>/dev/null || true
else
    where="X display ${DISPLAY:-}"
    [ -n "${WAYLAND_DISPLAY:-}" ] && where="Wayland display $WAYLAND_DISPLAY"
    kvr_say "starting $KVR_BUILD_LINUX/Kelvor on $where"
    "$KVR_BUILD_LINUX/Kelvor" || status=$?
fi
kvr_say "Kelvor exited with status $status"
exit "$status"
