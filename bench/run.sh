#!/usr/bin/env bash
# Builds the benchmarks, with the GLFW and SDL2 peers, and runs them on a private Xvfb
# (1920x1080x24), printing the tables.
#
#   bench/run.sh [--readme] [--quick]
#   bench/run.sh --desktop openbox
#   bench/run.sh --wayland [--readme] [--quick]
#
# --readme  also puts the tables, with the date, the machine, the library versions and this
#           command, into bench/README.md
# --quick   fewer repetitions (a smoke run of under a minute; the figures are rough)
# --desktop only the start-up to the full-screen first frame of Kelvor and the peers, on the
#           bare server and under that window manager, round by round (7 rounds, 2 with --quick)
# --wayland only the start-up and idle figures on headless sway (tests/wayland/start.sh), of a minimal
#           EGL client (the baseline), Kelvor on Wayland, Kelvor on X11 through Xwayland (a rootful
#           Xwayland on the first free display from :200, full screen on a workspace of its own),
#           and the GLFW (Debian's Wayland build of the library, unpacked beside the build) and
#           SDL2 (SDL_VIDEODRIVER=wayland) peers; --readme puts that table into bench/README.md
# Environment: KVR_BENCH_BUILD_DIR (default build/bench), KVR_BENCH_DISPLAY (default 71, the first
# free display number from there on is used).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
command_line="$*"
# shellcheck source=../scripts/lib.sh
source "$root/scripts/lib.sh"
build="${KVR_BENCH_BUILD_DIR:-$root/build/bench}"
readme=0
wayland=0
args=()
while [ $# -gt 0 ]; do
    case "$1" in
        --readme) readme=1 ;;
        --quick) args+=(--quick) ;;
        --desktop) args+=(--desktop "${2:?--desktop needs a window manager}"); shift ;;
        --wayland) wayland=1 ;;
        *) echo "usage: bench/run.sh [--readme] [--quick] [--desktop WM | --wayland]" >&2; exit 2 ;;
    esac
    shift
done

# The peers' libraries; nothing else in the project needs them.
kvr_install_packages libglfw3-dev libsdl2-dev
if [ "$wayland" = 1 ]; then
    kvr_install_packages sway wayland-utils xwayland libwayland-dev libegl-dev libxkbcommon-dev wayland-protocols
    # Debian builds GLFW 3.3 for one window system at a time: libglfw3 (X11, which the peer links)
    # and libglfw3-wayland conflict, so the Wayland build is unpacked beside the build and the peer
    # is pointed at it (the same soname, libglfw.so.3).
    glfw_wayland="$build/glfw-wayland"
    if [ ! -e "$glfw_wayland/root/usr/lib/x86_64-linux-gnu/libglfw.so.3" ]; then
        mkdir -p "$glfw_wayland"
        (cd "$glfw_wayland" && apt-get download -q libglfw3-wayland >/dev/null 2>&1 &&
            dpkg-deb -x libglfw3-wayland_*.deb root) || echo "bench/run.sh: no libglfw3-wayland: no GLFW peer on Wayland" >&2
    fi
fi

# Build: the same optimisation as the linux preset, warnings as errors, at most two jobs.
log="$(mktemp)"
if ! cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVR_WERROR=ON \
        -DKVR_BENCH_PEERS=ON >"$log" 2>&1 ||
   ! cmake --build "$build" -j2 --target kvr_bench $([ "$wayland" = 1 ] && echo kvr_bench_wayland) >>"$log" 2>&1; then
    cat "$log" >&2
    echo "bench/run.sh: the build failed" >&2
    rm -f "$log"
    exit 1
fi
rm -f "$log"

# Puts the lines of $out from its first table on into bench/README.md between the markers named.
write_readme() {
    local marker="$1"
    cpu="$(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //')"
    mesa="$(grep -o 'Mesa [0-9.]*' "$out" | head -n1 || true)"
    renderer="$(sed -n 's/^- renderer: \(.*\), OpenGL.*/\1/p' "$out" | head -n1)"
    version() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || echo '?'; }
    {
        if [ "$marker" = wayland-results ]; then
            echo "Date: $(date -u '+%Y-%m-%d %H:%M UTC'). Machine: $(nproc) cores, $cpu; sway $(version sway), Xwayland $(version xwayland), Mesa $(version libegl-mesa0);"
            echo "libraries: libglfw3-wayland 3.3.8 (unpacked), libsdl2-2.0-0 $(version libsdl2-2.0-0), libwayland-client0 $(version libwayland-client0);"
        else
            echo "Date: $(date -u '+%Y-%m-%d %H:%M UTC'). Machine: $(nproc) cores, $cpu; ${mesa:-Mesa ?}, $renderer;"
            echo "libraries: libglfw3 $(version libglfw3), libsdl2-2.0-0 $(version libsdl2-2.0-0), libx11-6 $(version libx11-6);"
        fi
        echo "load average before the run $load, after it $(cut -d' ' -f1-3 /proc/loadavg) (the machine is shared)."
        echo "Command: \`bench/run.sh $command_line\`."
        echo
        if [ "$marker" = wayland-results ]; then
            sed -n '/^| Wayland/,$p' "$out"
        else
            sed -n '/^| Figure/,$p' "$out"
        fi
    } >"$out.section"
    # Replaces what lies between the two result markers of the README.
    awk -v section="$out.section" -v first="<!-- $marker -->" -v last="<!-- /$marker -->" '
        $0 == first { print; while ((getline line < section) > 0) print line; skip = 1; next }
        $0 == last { skip = 0 }
        !skip { print }
    ' "$root/bench/README.md" >"$out.readme"
    mv "$out.readme" "$root/bench/README.md"
    rm -f "$out.section"
    echo "bench/README.md updated"
}

if [ "$wayland" = 1 ]; then
    wl_dir="$(mktemp -d /tmp/kvr-bench-wl.XXXXXX)"
    chmod 755 "$wl_dir"  # sway runs as nobody when started by root and reads its configuration here
    xwayland=""
    cleanup() {
        [ -n "$xwayland" ] && kill "$xwayland" 2>/dev/null && wait "$xwayland" 2>/dev/null
        "$root/tests/wayland/start.sh" stop "$wl_dir/sway"
        rm -rf "$wl_dir"
    }
    trap cleanup EXIT
    started="$("$root/tests/wayland/start.sh" sway "$wl_dir/sway")" || exit 1
    eval "$started"
    export WAYLAND_DISPLAY XDG_RUNTIME_DIR SWAYSOCK
    unset DISPLAY
    # X11 through Xwayland: a rootful server (a black root the size of the output) as a client of
    # sway, full screen on workspace 2. sway's own Xwayland would take the first free display
    # number from :0.
    n=200
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do
        n=$((n + 1))
    done
    if [ "$n" -gt 239 ]; then
        echo "bench/run.sh: no free X display in :200-239" >&2
        exit 1
    fi
    Xwayland ":$n" -br -noreset -nolisten tcp >"$wl_dir/xwayland.log" 2>&1 &
    xwayland=$!
    for _ in $(seq 50); do
        [ -S "/tmp/.X11-unix/X$n" ] && swaymsg -t get_tree | grep -q "\"pid\": $xwayland," && break
        sleep 0.1
    done
    swaymsg "[pid=$xwayland] move to workspace 2" >/dev/null
    swaymsg "workspace 2" >/dev/null
    swaymsg "[pid=$xwayland] fullscreen enable" >/dev/null
    swaymsg "workspace 1" >/dev/null
    b="$build/bench"
    programs=(--program "Minimal EGL client|minimal|$b/kvr_bench_minimal_wayland --hold 60000|--idle"
        --program "Kelvor on Wayland|kelvor_wl|KVR_PLATFORM=wayland $build/Kelvor"
        --program "Kelvor on X11 (Xwayland)|kelvor_x11|KVR_BENCH_WORKSPACE=2 KVR_PLATFORM=x11 DISPLAY=:$n $build/Kelvor")
    glfw_lib="$build/glfw-wayland/root/usr/lib/x86_64-linux-gnu"
    if [ -x "$b/kvr_bench_peer_glfw" ] && [ -e "$glfw_lib/libglfw.so.3" ]; then
        programs+=(--program "GLFW wait|glfw_wait|LD_LIBRARY_PATH=$glfw_lib $b/kvr_bench_peer_glfw --wait"
            --program "GLFW poll|glfw_poll|LD_LIBRARY_PATH=$glfw_lib $b/kvr_bench_peer_glfw --poll")
    fi
    if [ -x "$b/kvr_bench_peer_sdl" ]; then
        programs+=(--program "SDL wait|sdl_wait|SDL_VIDEODRIVER=wayland $b/kvr_bench_peer_sdl --wait"
            --program "SDL poll|sdl_poll|SDL_VIDEODRIVER=wayland $b/kvr_bench_peer_sdl --poll")
    fi
    load="$(cut -d' ' -f1-3 /proc/loadavg)"
    out="$(mktemp)"
    "$b/kvr_bench_wayland" "${args[@]}" "${programs[@]}" | tee "$out"
    if [ "$readme" = 1 ]; then
        write_readme wayland-results
    fi
    rm -f "$out"
    exit 0
fi

# A private X server on the first free display number.
n="${KVR_BENCH_DISPLAY:-71}"
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do
    n=$((n + 1))
done
Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    [ -S "/tmp/.X11-unix/X$n" ] && break
    sleep 0.1
done
if [ ! -S "/tmp/.X11-unix/X$n" ]; then
    echo "bench/run.sh: Xvfb :$n did not start" >&2
    exit 1
fi

load="$(cut -d' ' -f1-3 /proc/loadavg)"
out="$(mktemp)"
DISPLAY=":$n" "$build/bench/kvr_bench" "${args[@]}" | tee "$out"

if [ "$readme" = 1 ]; then
    write_readme results
fi
rm -f "$out"
