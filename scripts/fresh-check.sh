#!/usr/bin/env bash
# fresh-check.sh - runs the README's two commands on a fresh Debian 12 machine: a minimal root
# made from the package archive with debootstrap, holding a clone of this checkout's HEAD.
#
#   scripts/fresh-check.sh [--root DIR] [--keep] [--run-only] [--extra "PACKAGE..."] [-- TEST ARGS...]
#
# Inside the root, as root with CI=true and no input, it runs `scripts/run.sh --xvfb` (the quick
# start's first command on a machine with no screen) and then `scripts/test.sh`, exactly as a new
# user would, and prints the summary of the test run, the time each command took and the packages
# the two commands installed. --extra installs more packages first (a developer's machine with
# more desktop packages than the suite needs); --run-only stops after the first command. The root goes to build/fresh-root (or --root) and is
# removed afterwards unless --keep is given. Needs root on the host (debootstrap, mounts, chroot),
# takes 30 to 45 minutes on two cores, and exits with the test command's status.
#
# X servers inside the root share the host's abstract socket names (one network namespace): stop
# the host's own X servers first, or the two sides may reach each other's servers.
set -uo pipefail
source "$(dirname "$0")/lib.sh"

root="$KVR_BUILD/fresh-root"
keep=0
extra=""
run_only=0
while [ $# -gt 0 ]; do
    case "$1" in
        --root) root="$2"; shift 2 ;;
        --keep) keep=1; shift ;;
        --run-only) run_only=1; shift ;;
        --extra) extra="$2"; shift 2 ;;
        --) shift; break ;;
        *) echo "usage: $0 [--root DIR] [--keep] [--run-only] [--extra \"PACKAGE...\"] [-- TEST ARGS...]" >&2; exit 2 ;;
    esac
done
[ "$(id -u)" = 0 ] || { echo "fresh-check.sh needs root (debootstrap, mount, chroot)" >&2; exit 2; }
if ls /tmp/.X*-lock >/dev/null 2>&1; then
    kvr_say "warning: X servers run on this host ($(ls /tmp/.X*-lock | tr '\n' ' ')); the root's may meet them"
fi
kvr_install_packages debootstrap git || exit 1

# The archive the host uses (its first Debian URI), else Debian's own.
mirror="$(sed -n 's/^URIs: *\([^ ]*debian\)\/*$/\1/p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n1)"
mirror="${mirror:-http://deb.debian.org/debian}"

mounted=()
# Unmounts what was mounted, in reverse order, and removes the root unless kept.
cleanup() {
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount -l "${mounted[$i]}" 2>/dev/null
    done
    if [ $keep = 0 ] && [ -d "$root" ]; then
        rm -rf --one-file-system "$root"
    fi
}
trap cleanup EXIT
trap "exit 143" TERM INT

start=$SECONDS
mkdir -p "$KVR_BUILD"  # a fresh clone has no build folder yet
if [ ! -x "$root/bin/bash" ]; then
    rm -rf --one-file-system "$root"
    kvr_say "debootstrap bookworm into $root from $mirror"
    debootstrap --variant=minbase bookworm "$root" "$mirror" >"$KVR_BUILD/fresh-debootstrap.log" 2>&1 ||
        { tail -n 30 "$KVR_BUILD/fresh-debootstrap.log" >&2; exit 1; }
fi
# The host's package sources (with its updates and security suites), so both see one archive.
if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    cp /etc/apt/sources.list.d/debian.sources "$root/etc/apt/sources.list.d/debian.sources"
    rm -f "$root/etc/apt/sources.list"
fi
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null
kvr_say "the root is ready ($((SECONDS - start)) s)"

# What X, Wine and the sanitizers need of the kernel: /proc (ASan's maps, Wine), /sys, the
# devices with their pseudo-terminals and shared memory (Xvfb, Wine), a /tmp of its own.
for m in "proc proc /proc" "sysfs sys /sys" "tmpfs tmpfs /tmp"; do
    set -- $m
    mkdir -p "$root$3"
    mount -t "$1" "$2" "$root$3" && mounted+=("$root$3") || { echo "cannot mount $3" >&2; exit 1; }
done
mkdir -p "$root/dev"
mount --bind /dev "$root/dev" && mounted+=("$root/dev") || { echo "cannot bind /dev" >&2; exit 1; }
mount --bind /dev/pts "$root/dev/pts" && mounted+=("$root/dev/pts")
# A machine's /dev/shm is a tmpfs anyone may write (sway, running as nobody, allocates its
# buffers there); the bound /dev holds only an empty folder in its place.
mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm" && mounted+=("$root/dev/shm")
chmod 1777 "$root/tmp"

# The checkout as a new user gets it: a clone of HEAD.
rm -rf "$root/work/kelvor"
mkdir -p "$root/work"
git clone -q "$KVR_ROOT" "$root/work/kelvor" || exit 1
dpkg_before="$(chroot "$root" dpkg-query -W -f='${Package}\n' | sort)"

in_root() {
    chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 CI=true \
        DEBIAN_FRONTEND=noninteractive TERM=dumb "$@" </dev/null
}
if [ -n "$extra" ]; then
    kvr_say "installing the extra packages: $extra"
    in_root sh -c "apt-get update -q && apt-get install -y -q $extra" >"$KVR_BUILD/fresh-extra.log" 2>&1 ||
        { tail -n 30 "$KVR_BUILD/fresh-extra.log" >&2; exit 1; }
    dpkg_before="$(chroot "$root" dpkg-query -W -f='${Package}\n' | sort)"
fi

run_start=$SECONDS
kvr_say "in the root: scripts/run.sh --xvfb"
in_root bash -c 'cd /work/kelvor && scripts/run.sh --xvfb' >"$KVR_BUILD/fresh-run.log" 2>&1
run_rc=$?
run_time=$((SECONDS - run_start))
grep -a '==>\|kvr_firstrun' "$KVR_BUILD/fresh-run.log" | tail -n 8
if [ $run_only = 1 ]; then
    echo "scripts/run.sh --xvfb: status $run_rc, $run_time s"
    exit $run_rc
fi
test_start=$SECONDS
kvr_say "in the root: scripts/test.sh $*"
in_root bash -c 'cd /work/kelvor && scripts/test.sh "$@"' test.sh "$@" >"$KVR_BUILD/fresh-test.log" 2>&1
test_rc=$?
test_time=$((SECONDS - test_start))
installed="$(comm -13 <(echo "$dpkg_before") <(chroot "$root" dpkg-query -W -f='${Package}\n' | sort))"

echo
echo "==================== fresh Debian 12 root ===================="
sed -n '/=== summary ===/,$p' "$KVR_BUILD/fresh-test.log"
echo "scripts/run.sh --xvfb: status $run_rc, $run_time s"
echo "scripts/test.sh: status $test_rc, $test_time s"
echo "packages the two commands installed: $(echo "$installed" | grep -c .)"
echo "$installed" | tr '\n' ' ' | fold -s -w 100
echo
echo "logs: $KVR_BUILD/fresh-run.log, $KVR_BUILD/fresh-test.log"
exit $test_rc
