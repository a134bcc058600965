#!/usr/bin/env bash
# Builds the benchmarks, with the GLFW and SDL2 peers, and runs them on a private Xvfb
# (1920x1080x24), printing the tables.
#
#   bench/run.sh [--readme] [--quick]
#   bench/run.sh --desktop openbox
#
# --readme  also puts the tables, with the date, the machine, the library versions and this
#           command, into bench/README.md
# --quick   fewer repetitions (a smoke run of under a minute; the figures are rough)
# --desktop only the start-up to the full-screen first frame of Kelvor and the peers, on the
#           bare server and under that window manager, round by round (7 rounds, 2 with --quick)
# Environment: KVR_BENCH_BUILD_DIR (default build/bench), KVR_BENCH_DISPLAY (default 71, the first
# free display number from there on is used).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=../scripts/lib.sh
source "$root/scripts/lib.sh"
build="${KVR_BENCH_BUILD_DIR:-$root/build/bench}"
readme=0
args=()
while [ $# -gt 0 ]; do
    case "$1" in
        --readme) readme=1 ;;
        --quick) args+=(--quick) ;;
        --desktop) args+=(--desktop "${2:?--desktop needs a window manager}"); shift ;;
        *) echo "usage: bench/run.sh [--readme] [--quick] [--desktop WM]" >&2; exit 2 ;;
    esac
    shift
done

# The peers' libraries; nothing else in the project needs them.
kvr_install_packages libglfw3-dev libsdl2-dev

# Build: the same optimisation as the linux preset, warnings as errors, at most two jobs.
log="$(mktemp)"
if ! cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVR_WERROR=ON \
        -DKVR_BENCH_PEERS=ON >"$log" 2>&1 ||
   ! cmake --build "$build" -j2 --target kvr_bench >>"$log" 2>&1; then
    cat "$log" >&2
    echo "bench/run.sh: the build failed" >&2
    rm -f "$log"
    exit 1
fi
rm -f "$log"

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
    cpu="$(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //')"
    mesa="$(grep -o 'Mesa [0-9.]*' "$out" | head -n1 || true)"
    renderer="$(sed -n 's/^- renderer: \(.*\), OpenGL.*/\1/p' "$out" | head -n1)"
    version() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || echo '?'; }
    {
        echo "Date: $(date -u '+%Y-%m-%d %H:%M UTC'). Machine: $(nproc) cores, $cpu; ${mesa:-Mesa ?}, $renderer;"
        echo "libraries: libglfw3 $(version libglfw3), libsdl2-2.0-0 $(version libsdl2-2.0-0), libx11-6 $(version libx11-6);"
        echo "load average before the run $load, after it $(cut -d' ' -f1-3 /proc/loadavg) (the machine is shared)."
        echo "Command: \`bench/run.sh ${*}\`."
        echo
        sed -n '/^| Figure/,$p' "$out"
    } >"$out.section"
    # Replaces what lies between the two result markers of the README.
    awk -v section="$out.section" '
        /<!-- results -->/ { print; while ((getline line < section) > 0) print line; skip = 1; next }
        /<!-- \/results -->/ { skip = 0 }
        !skip { print }
    ' "$root/bench/README.md" >"$out.readme"
    mv "$out.readme" "$root/bench/README.md"
    rm -f "$out.section"
    echo "bench/README.md updated"
fi
rm -f "$out"
