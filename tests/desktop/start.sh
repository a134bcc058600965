#!/usr/bin/env bash
# start.sh - starts one desktop of the matrix on $DISPLAY, in the foreground, the way every test
# starts it (the matrix, the runs under a manager, the end-to-end driver's --wm):
#
#   tests/desktop/start.sh DESKTOP HOME
#
# HOME is a throwaway folder for the desktop's settings. Exits 3 at once, naming the programs and
# their packages, when a program the desktop needs is not installed. Start it in a session of its
# own (setsid) to stop the whole desktop with one signal to its process group.
set -u
source "$(dirname "$0")/../../scripts/lib.sh"
d="$1" home="$2"
missing=""
for p in $(kvr_desktop_needs "$d"); do
    command -v "$p" >/dev/null 2>&1 || missing+=" $p (package $(kvr_package_of "$p"))"
done
if [ -n "$missing" ]; then
    echo "start.sh: $d cannot start, not installed:$missing" >&2
    exit 3
fi
mkdir -p "$home"
printf '# i3 config file (v4)\nset $mod Mod4\nfont pango:monospace 8\nbindsym $mod+Return exec true\nbar {\n  status_command true\n}\n' >"$home/i3.config"
export HOME="$home" XDG_CONFIG_HOME="$home/.config"
exec sh -c "$(kvr_desktop_command "$d")"
