#!/usr/bin/env bash
# start.sh - starts a Wayland compositor headless (1920x1080, no GPU) for the tests, on a private
# XDG_RUNTIME_DIR (a short folder under /tmp: socket paths are limited to 108 bytes; DIR holds
# its configuration, log and process id), and returns once it answers clients:
#
#   tests/wayland/start.sh sway|weston|mutter DIR    start; prints lines for the caller to eval:
#       WAYLAND_DISPLAY=... XDG_RUNTIME_DIR=... PID=... (and SWAYSOCK=... for sway)
#       (start-mutter.sh may add SEAT=PATH: a seat tool answering kvr_wl_seat's commands)
#   tests/wayland/start.sh stop DIR                  stop the compositor started in DIR, remove DIR
#
# sway runs as nobody when started by root (it refuses to run as root); root's clients still
# connect to its sockets. Its configuration turns Xwayland off, enables pointer constraints and
# floats the viewer's window (app id kelvor) so that its windowed form keeps its own size.
# Both compositors show a black desktop, as a bare X server does: grey would pass for the scene's
# light markers in the pictures.
# weston has no seat in its headless backend: it is started with --debug so that
# weston-screenshooter can take its pictures; no input reaches its clients.
# mutter is started by start-mutter.sh beside this script, with the same arguments and output.
# Exits 3 at once, naming the programs and their packages, when one the compositor needs is not
# installed; 1 when the compositor does not come up (its log follows).
set -u
source "$(dirname "$0")/../../scripts/lib.sh"
what="${1:-}" dir="${2:-}"
if [ -z "$what" ] || [ -z "$dir" ]; then
    echo "usage: $0 sway|weston|mutter|stop DIR" >&2
    exit 2
fi

if [ "$what" = stop ]; then
    if [ -f "$dir/runtime-path" ]; then
        runtime="$(cat "$dir/runtime-path")"
        case "$runtime" in /tmp/kvr-wl.*) rm -rf "$runtime" ;; esac
    fi
    if [ -f "$dir/pid" ]; then
        pid="$(cat "$dir/pid")"
        kill "$pid" 2>/dev/null
        for _ in $(seq 1 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$pid" 2>/dev/null
    fi
    rm -rf "$dir"
    exit 0
fi

if [ "$what" = mutter ]; then
    if [ -x "$(dirname "$0")/start-mutter.sh" ]; then
        exec "$(dirname "$0")/start-mutter.sh" "$dir"
    fi
    echo "start.sh: mutter cannot start: tests/wayland/start-mutter.sh is not there yet" >&2
    exit 3
fi

missing=""
for p in $(kvr_wayland_needs "$what") wayland-info; do
    command -v "$p" >/dev/null 2>&1 || missing+=" $p (package $(kvr_package_of "$p"))"
done
if [ -z "$(kvr_wayland_needs "$what")" ]; then
    echo "start.sh: unknown compositor $what (sway, weston or mutter)" >&2
    exit 2
fi
if [ -n "$missing" ]; then
    echo "start.sh: $what cannot start, not installed:$missing" >&2
    exit 3
fi

mkdir -p "$dir"
dir="$(cd "$dir" && pwd)" || exit 1
# A socket path must fit in 108 bytes: the runtime folder is a short one under /tmp, named in
# DIR/runtime-path for the stop.
runtime="$(mktemp -d /tmp/kvr-wl.XXXXXX)"
echo "$runtime" >"$dir/runtime-path"
chmod 700 "$runtime"
log="$dir/$what.log"
socket="wayland-kvr"
as_user=()
if [ "$(id -u)" = 0 ]; then
    # The compositor's own user owns its runtime folder; root reaches the sockets all the same.
    chown nobody:nogroup "$runtime"
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi

case "$what" in
    sway)
        cat >"$dir/sway.conf" <<'EOF'
xwayland disable
output HEADLESS-1 mode 1920x1080 position 0 0
seat * pointer_constraint enable
output * bg #000000 solid_color
for_window [app_id="kelvor"] floating enable
EOF
        chmod 644 "$dir/sway.conf"
        # sway names its socket wayland-N itself: the first one in an empty folder is wayland-1.
        socket="wayland-1"
        env -u DISPLAY -u WAYLAND_DISPLAY -u SWAYSOCK XDG_RUNTIME_DIR="$runtime" HOME="$runtime" \
            WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 WLR_HEADLESS_OUTPUTS=1 \
            setsid "${as_user[@]}" sway -c "$dir/sway.conf" >"$log" 2>&1 </dev/null &
        ;;
    weston)
        printf '[core]\nidle-time=0\n[shell]\nbackground-color=0xff000000\npanel-position=none\n' >"$dir/weston.ini"
        chmod 644 "$dir/weston.ini"
        env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$runtime" HOME="$runtime" \
            setsid "${as_user[@]}" weston --backend=headless-backend.so --width=1920 --height=1080 \
            --use-pixman --debug --socket="$socket" --config="$dir/weston.ini" >"$log" 2>&1 </dev/null &
        ;;
esac
pid=$!
echo "$pid" >"$dir/pid"

for _ in $(seq 1 100); do
    if ! kill -0 "$pid" 2>/dev/null; then
        echo "start.sh: $what exited before it answered; its log:" >&2
        cat "$log" >&2
        rm -f "$dir/pid"
        exit 1
    fi
    if XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY="$socket" wayland-info >/dev/null 2>&1; then
        echo "WAYLAND_DISPLAY=$socket"
        echo "XDG_RUNTIME_DIR=$runtime"
        echo "PID=$pid"
        if [ "$what" = sway ]; then
            for s in "$runtime"/sway-ipc.*.sock; do
                [ -S "$s" ] && echo "SWAYSOCK=$s"
            done
        fi
        exit 0
    fi
    sleep 0.1
done
echo "start.sh: $what did not answer within 10 s; its log:" >&2
cat "$log" >&2
kill "$pid" 2>/dev/null
exit 1
