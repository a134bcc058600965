#!/bin/bash
# Starts a headless mutter with its own D-Bus session, pipewire and wireplumber (for ScreenCast),
# everything private to DIR, and prints the lines a caller evals to reach it:
#   eval "$(tests/wayland/start-mutter.sh /tmp/m)"   ...   kill $PID
# PID is the session's keeper: `kill $PID` ends mutter, pipewire, wireplumber and the bus, and
# the keeper is gone within about two seconds (poll `kill -0 $PID`); DIR/pid holds it for
# `start.sh stop DIR`. SEAT names the seat tool for this mutter (kvr_mutter_seat beside this script). Killing mutter itself is not
# enough: with a RemoteDesktop session open, mutter 43 spins on SIGTERM instead of leaving.
# The monitor is 1920x1080 unless KVR_MUTTER_SIZE says otherwise (e.g. 1280x720). DIR must not hold
# a running session. Logs: DIR/mutter.log, pipewire.log, wireplumber.log. Exit 3: a program is
# missing (the message names its Debian package); exit 1: mutter did not answer within 10 s.
set -u
dir=${1:?usage: start-mutter.sh DIR}
size=${KVR_MUTTER_SIZE:-1920x1080}

missing=""
need() { command -v "$1" >/dev/null 2>&1 || missing="$missing $1 ($2)"; }
need dbus-run-session dbus-daemon
need dbus-send dbus-bin
need mutter mutter
need pipewire pipewire-bin
need wireplumber wireplumber
if [ -n "$missing" ]; then
    echo "start-mutter.sh: missing:$missing" >&2
    exit 3
fi

mkdir -p "$dir" || exit 1
dir=$(cd "$dir" && pwd)
run="$dir/run"
rm -rf "$run" "$dir/env"
mkdir -p -m 700 "$run" "$dir/home" || exit 1

# Runs inside the private bus. Waits for mutter, then kills the helpers once mutter is gone.
inner='
pipewire >"$KVR_DIR/pipewire.log" 2>&1 &
pw=$!
for i in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/pipewire-0" ] && break; sleep 0.05; done
wireplumber >"$KVR_DIR/wireplumber.log" 2>&1 &
wp=$!
mutter --wayland --headless --no-x11 --wayland-display=wayland-m --virtual-monitor "$KVR_SIZE" \
    >"$KVR_DIR/mutter.log" 2>&1 &
m=$!
trap "kill $m 2>/dev/null" TERM INT HUP
for i in $(seq 200); do
    if [ -S "$XDG_RUNTIME_DIR/wayland-m" ] &&
       dbus-send --session --print-reply --dest=org.gnome.Mutter.RemoteDesktop \
           /org/gnome/Mutter/RemoteDesktop org.freedesktop.DBus.Peer.Ping >/dev/null 2>&1 &&
       dbus-send --session --print-reply --dest=org.gnome.Mutter.ScreenCast \
           /org/gnome/Mutter/ScreenCast org.freedesktop.DBus.Peer.Ping >/dev/null 2>&1; then
        printf "%s\n" "$DBUS_SESSION_BUS_ADDRESS" "$$" >"$KVR_DIR/env.tmp"
        mv "$KVR_DIR/env.tmp" "$KVR_DIR/env"
        break
    fi
    kill -0 $m 2>/dev/null || break
    sleep 0.05
done
wait $m
# Killed with a session open, mutter can spin instead of leaving: give it two seconds.
for i in $(seq 40); do kill -0 $m 2>/dev/null || break; sleep 0.05; done
kill -KILL $m 2>/dev/null
kill $wp $pw 2>/dev/null
wait
'
# mutter animates a window as it maps, and meanwhile gives pointer positions through the
# animation's scale (a pointer resting at (745,560) entered a full-screen window at (711,563)).
# The tests look at windows as they end up: the animations are off unless KVR_MUTTER_ANIMATIONS=1.
animations=MUTTER_DEBUG_DISABLE_ANIMATIONS=1
[ "${KVR_MUTTER_ANIMATIONS:-0}" = 1 ] && animations=KVR_MUTTER_ANIMATIONS=1
env "$animations" KVR_DIR="$dir" KVR_SIZE="$size" XDG_RUNTIME_DIR="$run" HOME="$dir/home" GSETTINGS_BACKEND=memory \
    setsid dbus-run-session -- bash -c "$inner" </dev/null >"$dir/session.log" 2>&1 &
session=$!

for i in $(seq 200); do
    [ -f "$dir/env" ] && break
    kill -0 $session 2>/dev/null || break
    sleep 0.05
done
if [ ! -f "$dir/env" ]; then
    echo "start-mutter.sh: mutter did not come up; see $dir/mutter.log" >&2
    kill $session 2>/dev/null
    exit 1
fi
{ read -r address; read -r pid; } <"$dir/env"
echo "$pid" >"$dir/pid"
printf 'WAYLAND_DISPLAY=%q\nXDG_RUNTIME_DIR=%q\nDBUS_SESSION_BUS_ADDRESS=%q\nPID=%q\nSEAT=%q\n' \
    wayland-m "$run" "$address" "$pid" "$(cd "$(dirname "$0")" && pwd)/kvr_mutter_seat"
