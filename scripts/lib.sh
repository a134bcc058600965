# lib.sh - shell helpers shared by run.sh and test.sh (sourced, not run).

KVR_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# Build trees: the presets' folders under build/, or under $KVR_BUILD_DIR when that is set.
KVR_BUILD="${KVR_BUILD_DIR:-$KVR_ROOT/build}"
KVR_BUILD_LINUX="$KVR_BUILD/linux"
KVR_BUILD_ASAN="$KVR_BUILD/linux-asan"
KVR_BUILD_WINDOWS="$KVR_BUILD/windows"

# Prints a progress line.
kvr_say() {
    printf '\033[1m==>\033[0m %s\n' "$*" >&2
}

# Runs a command as root: directly when we are root, through sudo otherwise.
kvr_as_root() {
    if [ "$(id -u)" = 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        echo "need root to run: $* (no sudo available)" >&2
        return 1
    fi
}

# Installs the Debian/Ubuntu packages given that are not installed yet; quiet and fast when all are.
kvr_install_packages() {
    local missing=() p
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$p")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if ! command -v apt-get >/dev/null 2>&1; then
        echo "missing packages (${missing[*]}) and no apt-get: install them by hand" >&2
        return 1
    fi
    kvr_say "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    # A machine whose package lists were never fetched (or are stale) needs an update first.
    if ! kvr_as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"; then
        kvr_as_root apt-get update -q
        kvr_as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
    fi
}

# Packages needed to configure and build the Linux preset (tests are configured with it).
KVR_BUILD_PACKAGES=(cmake ninja-build g++ libgtest-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri
    libx11-dev libxtst-dev libxrandr-dev libxinerama-dev libxi-dev)
# The Composite extension keeps a covered window's contents.
KVR_BUILD_PACKAGES+=(libxcomposite-dev)
# Packages needed to cross-build for Windows and run the result under Wine.
KVR_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64 wine wine64)
# Packages needed to run the tests on a virtual X server and look at what they show; openbox is
# the window manager the e2e_native_wm_* tests run the viewer under.
KVR_TEST_PACKAGES=(clang-format xvfb xauth x11-utils imagemagick xdotool procps openbox)
# xfwm4: the second manager the Wine build's end-to-end window check runs under.
KVR_TEST_PACKAGES+=(xfwm4)
# Packages for making and checking the packages (scripts/package.sh): dpkg-shlibdeps and file for
# the .deb's dependencies, desktop-file-validate, wrestool for the executable's resources.
KVR_PACKAGE_PACKAGES=(dpkg-dev file desktop-file-utils icoutils)
# Debian's checks of the .deb (lintian, hardening-check from devscripts, appstreamcli), and the
# MSI's makers: wixl and msibuild (msitools), faketime to hold wixl's clock at the commit's time;
# zip to write the Windows zip again without the change times and owners CPack puts in.
KVR_PACKAGE_PACKAGES+=(lintian devscripts appstream wixl msitools faketime zip)
# setxkbmap and the layouts it loads, for the keyboard-layout tests.
KVR_TEST_PACKAGES+=(x11-xkb-utils xkb-data)
# Packages for the libFuzzer run of the window procedure (optional: skipped without them).
KVR_FUZZ_PACKAGES=(clang libclang-rt-dev)

# Starts Xvfb on a free display number (1920x1080x24); sets KVR_XVFB_PID and exports DISPLAY.
kvr_start_xvfb() {
    local dir n got
    dir="$(mktemp -d)"
    # Numbers from 90 up, clear of the small ones people pick by hand; the first one whose server
    # comes up wins. -displayfd makes the server write its number once it accepts connections.
    for n in $(seq 90 140); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        rm -f "$dir/fd"
        mkfifo "$dir/fd"
        Xvfb ":$n" -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$dir/fd" >"$dir/xvfb.log" 2>&1 &
        KVR_XVFB_PID=$!
        got="$(timeout 20 head -n1 <"$dir/fd")"
        if [ "$got" = "$n" ] && kill -0 "$KVR_XVFB_PID" 2>/dev/null; then
            rm -rf "$dir"
            export DISPLAY=":$n"
            kvr_say "Xvfb running on $DISPLAY (pid $KVR_XVFB_PID)"
            return 0
        fi
        kill "$KVR_XVFB_PID" 2>/dev/null
        wait "$KVR_XVFB_PID" 2>/dev/null
        KVR_XVFB_PID=
    done
    echo "Xvfb did not start:" >&2
    cat "$dir/xvfb.log" >&2
    rm -rf "$dir"
    return 1
}

# Stops the Xvfb started by kvr_start_xvfb, if any.
kvr_stop_xvfb() {
    if [ -n "${KVR_XVFB_PID:-}" ]; then
        kill "$KVR_XVFB_PID" 2>/dev/null
        wait "$KVR_XVFB_PID" 2>/dev/null
        KVR_XVFB_PID=
    fi
}

# Sets up the Wine environment for a prefix folder, creating the prefix when it does not exist.
kvr_wine_env() {
    export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        kvr_say "creating Wine prefix $WINEPREFIX (about 10 s)"
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w 2>/dev/null || true
    fi
}
