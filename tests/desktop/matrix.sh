#!/usr/bin/env bash
# matrix.sh - the desktop matrix: the native Kelvor on each desktop a user may run it on.
#
#   tests/desktop/matrix.sh [--e2e PATH] [--exe PATH] [--out DIR] [DESKTOP...]
#
# For each desktop (all of them by default: none openbox xfwm4 mutter kwin metacity marco i3
# fluxbox icewm openbox-picom, then the Wayland compositors wayland-sway wayland-mutter
# wayland-weston) starts a fresh Xvfb 1920x1080 of its own, the manager with its panel
# or compositor (their settings in a throwaway $HOME), runs the end-to-end driver's desktop check
# and prints a table: desktop x step, held / FAILED / n/a. A desktop whose programs are not
# installed is n/a. Under the GNOME-family managers the manager's log is searched for complaints
# about our focus requests. A desktop whose check ended early is run once more (listed in the details). Exits 1 when a cell FAILED that tests/desktop/known.txt does not list
# (those show as "known").
set -uo pipefail
source "$(dirname "$0")/../../scripts/lib.sh"

e2e="$KVR_BUILD_LINUX/tests/e2e/kvr_e2e"
exe="$KVR_BUILD_LINUX/Kelvor/Kelvor"
out="$KVR_BUILD_LINUX/tests/desktop"
desktops=()
while [ $# -gt 0 ]; do
    case "$1" in
        --e2e) e2e="$2"; shift 2 ;;
        --exe) exe="$2"; shift 2 ;;
        --out) out="$2"; shift 2 ;;
        *) desktops+=("$1"); shift ;;
    esac
done
[ ${#desktops[@]} -gt 0 ] ||
    desktops=(none openbox xfwm4 mutter kwin metacity marco i3 fluxbox icewm openbox-picom wayland-sway wayland-mutter
        wayland-weston)
[ -x "$exe" ] || [ -x "$exe.exe" ] || exe="$(find "$KVR_BUILD_LINUX" -name Kelvor -type f -perm -u+x | head -n1)"
mkdir -p "$out"
cells="$out/cells.txt"
: >"$cells"

# The Wayland rows: the program speaks Wayland on a headless compositor the driver starts
# (tests/wayland/start.sh), one end-to-end check per group of steps. weston's headless backend
# has no seat: only its first frame is checked. A Wayland client is never told that it is
# minimised, and asks nothing of the compositor's focus: those cells are n/a.
wayland_cell() {
    local d="$1" c="$2" check="$3" rc s
    shift 3
    timeout 200 "$e2e" --platform wayland --compositor "$c" --check "$check" --exe "$exe" --out "$out" \
        >"$out/$d-$check.log" 2>&1
    rc=$?
    for s in "$@"; do
        case $rc in
            0) echo "[cell] $d | $s | held | $check check" ;;
            77) echo "[cell] $d | $s | n/a | $(tail -n 1 "$out/$d-$check.log" | cut -c1-150)" ;;
            *) echo "[cell] $d | $s | FAILED | $(grep -m1 '\] FAILED: ' "$out/$d-$check.log" | sed 's/^.*\] FAILED: //' | cut -c1-150) (see $out/$d-$check.log)" ;;
        esac
    done >>"$cells"
}
run_wayland() {
    local d="$1" c="${1#wayland-}" start=$SECONDS
    if [ "$c" = weston ]; then
        wayland_cell "$d" "$c" startup "first frame" "full screen"
        for s in focus wrap "alt-enter 640x480" "alt-enter back" escape close; do
            echo "[cell] $d | $s | n/a | weston's headless backend has no seat" >>"$cells"
        done
    else
        wayland_cell "$d" "$c" startup "first frame" "full screen" focus
        wayland_cell "$d" "$c" look wrap
        wayland_cell "$d" "$c" window "alt-enter 640x480" "alt-enter back" escape
        wayland_cell "$d" "$c" close close
    fi
    echo "[cell] $d | minimise/restore | n/a | a Wayland client is not told it is minimised" >>"$cells"
    echo "[cell] $d | focus request | n/a | a Wayland client cannot ask for the focus" >>"$cells"
    kvr_say "$d: $((SECONDS - start)) s"
}

# Runs the desktop check on one desktop and appends its cells.
run_desktop() {
    local d="$1" p missing="" start=$SECONDS pid="" i
    if [[ "$d" == wayland-* ]]; then
        run_wayland "$d"
        return
    fi
    for p in $(kvr_desktop_needs "$d"); do
        command -v "$p" >/dev/null 2>&1 || missing+=" $p"
    done
    if [ -n "$missing" ]; then
        echo "[cell] $d | all | n/a | not installed:$missing" >>"$cells"
        return
    fi
    kvr_start_xvfb || { echo "[cell] $d | all | FAILED | Xvfb did not start" >>"$cells"; return; }
    local home
    home="$(mktemp -d)"
    rm -f "$out/$d-manager.log"
    if ! kvr_start_desktop "$d" "$home" "$out/$d-manager.log"; then
        echo "[cell] $d | all | FAILED | no EWMH manager after two starts: $(tail -n 1 "$out/$d-manager.log" | cut -c1-150) (see $out/$d-manager.log)" >>"$cells"
        kvr_stop_xvfb
        rm -rf "$home"
        return
    fi
    pid="$KVR_DESKTOP_PID"
    local tiling=0
    [ "$d" = i3 ] && tiling=1
    # The Xvfb is this script's own, a throwaway server: the driver may use it.
    KVR_REQUIRE_DISPLAY=1 timeout 200 "$e2e" --mode native --check desktop --exe "$exe" --out "$out" --desktop "$d" --tiling $tiling \
        >"$out/$d-check.log" 2>&1
    grep '^\[cell\]' "$out/$d-check.log" >>"$cells" ||
        echo "[cell] $d | all | FAILED | the check printed nothing (see $out/$d-check.log)" >>"$cells"
    case "$d" in
        mutter | metacity | marco)
            if grep -q "Buggy client" "$out/$d-manager.log"; then
                echo "[cell] $d | focus request | FAILED | $(grep -m1 'Buggy client' "$out/$d-manager.log" | cut -c1-200)" >>"$cells"
            else
                echo "[cell] $d | focus request | held | no complaint in the manager's log" >>"$cells"
            fi
            ;;
        *) echo "[cell] $d | focus request | n/a | the manager logs nothing about focus requests" >>"$cells" ;;
    esac
    [ -n "$pid" ] && kvr_stop_desktop "$pid"
    kvr_stop_xvfb
    rm -rf "$home"
    kvr_say "$d: $((SECONDS - start)) s"
}

# A check that ended early (the driver gave up waiting, and its later steps have no cell) runs once
# more on a fresh server and manager: mutter on Xvfb now and then stops drawing the screen for
# seconds. The first attempt's end is kept in the details, so a repeat is never silent.
retries="$out/retries.txt"
: >"$retries"
for d in "${desktops[@]}"; do
    run_desktop "$d"
    if grep -q '\] FAILED: ' "$out/$d-check.log" 2>/dev/null; then
        echo "  $d | first attempt ended early, run again: $(grep -m1 '\] FAILED: ' "$out/$d-check.log" | sed 's/^.*\] FAILED: //' | cut -c1-200)" >>"$retries"
        mv "$out/$d-check.log" "$out/$d-check-first.log"
        grep -v "^\[cell\] $d | " "$cells" >"$cells.keep"
        mv "$cells.keep" "$cells"
        run_desktop "$d"
    fi
done

# Cells known to fail for the desktop's own reasons (README.md, Desktops).
known="$(dirname "$0")/known.txt"
is_known() {
    grep -v '^#' "$known" 2>/dev/null | awk -F' [|] ' -v d="$1" -v s="$2" '$1==d && $2==s {f=1} END {exit !f}'
}

# The table: one row per desktop, one column per step.
steps=("first frame" "full screen" "focus" "wrap" "alt-enter 640x480" "alt-enter back" "escape" "minimise/restore" "close" "focus request")
unexpected=0
echo
printf '%-14s' desktop
for s in "${steps[@]}"; do printf '| %-8.8s' "$s"; done
echo
for d in "${desktops[@]}"; do
    printf '%-14s' "$d"
    for s in "${steps[@]}"; do
        line=$(awk -F' [|] ' -v d="$d" -v s="$s" '$1=="[cell] " d && ($2==s || $2=="all") {print; exit}' "$cells")
        v=$(printf '%s' "$line" | awk -F' [|] ' '{print $3}')
        v="${v:-missing}"
        if is_known "$d" "$s"; then
            # Known only while the window itself holds the right picture: otherwise it is ours.
            if [ "$v" = FAILED ] && [[ "$line" == *"own contents are right"* ]]; then
                v="known"
            elif [ "$v" = FAILED ]; then
                unexpected=1
            fi
            [ "$v" = held ] && echo "note: $d / $s holds again: remove it from $known" >&2
        elif [ "$v" = FAILED ] || [ "$v" = missing ]; then
            unexpected=1
        fi
        printf '| %-8s' "$v"
    done
    echo
done
echo
echo "details (FAILED, known and n/a cells, and tiled sizes):"
grep -E '\| (FAILED|n/a) \||tiled' "$cells" | sed 's/^\[cell\] /  /'
cat "$retries"
exit $unexpected
