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
# The Wayland backend: libwayland (client, egl, cursor) and wayland-scanner, the protocols' XML,
# EGL and xkbcommon, found through pkg-config (not on a fresh machine). Without them the build has
# the X11 backend only.
KVR_BUILD_PACKAGES+=(pkg-config libwayland-dev libwayland-bin wayland-protocols libegl-dev libxkbcommon-dev)
# libdecor: the Wayland window's decorations where the compositor draws none (GNOME); its cairo
# plugin draws them, and without it libdecor draws none.
KVR_BUILD_PACKAGES+=(libdecor-0-dev libdecor-0-plugin-1-cairo)
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
# git: the packages are dated by the last commit and rebuilt from the files git tracks.
KVR_PACKAGE_PACKAGES+=(git)
# Debian's checks of the .deb (lintian, hardening-check from devscripts, appstreamcli), and the
# MSI's makers: wixl and msibuild (msitools), faketime to hold wixl's clock at the commit's time;
# zip to write the Windows zip again without the change times and owners CPack puts in.
KVR_PACKAGE_PACKAGES+=(lintian devscripts appstream wixl msitools faketime zip)
# setxkbmap and the layouts it loads, for the keyboard-layout tests.
KVR_TEST_PACKAGES+=(x11-xkb-utils xkb-data)
# The desktops of the desktop matrix (tests/desktop/matrix.sh) and of the platform and end-to-end
# runs under a manager: managers, xfce4-panel, picom, the session bus, and the settings schemas
# marco needs to start. dbus-run-session comes with dbus-daemon.
KVR_DESKTOP_PACKAGES=(openbox xfwm4 xfce4-panel xfconf dbus-daemon mutter metacity marco
    mate-settings-daemon-common i3-wm fluxbox icewm picom)
# kwin-x11 pulls in about 155 packages (most of KDE's frameworks), more than every other desktop
# together: CI installs it only when KVR_DESKTOP_KWIN=1; without it the matrix shows kwin n/a.
KVR_DESKTOP_KWIN_PACKAGES=(kwin-x11)
# The Wayland side of the tests (tests/wayland/): the compositors they run headless (sway with
# swaybg for its black desktop; weston, whose headless backend has no seat and is only looked
# at), wayland-info to see one answer, xkb-data for the US layout kvr_wl_seat compiles its keymap
# from (it is built with the build packages), grim for a picture of sway by hand.
KVR_WAYLAND_TEST_PACKAGES=(sway swaybg weston wayland-utils xkb-data grim)
# mutter headless (tests/wayland/start-mutter.sh) is driven by kvr_mutter_seat through its
# RemoteDesktop and ScreenCast D-Bus interfaces: the session bus, pipewire and wireplumber for
# the screen cast, GStreamer's pipewire source to read its frames, and Python's D-Bus and
# GObject bindings the tool is written with.
KVR_WAYLAND_TEST_PACKAGES+=(mutter dbus-daemon dbus-bin pipewire-bin wireplumber gstreamer1.0-pipewire
    gstreamer1.0-plugins-base gir1.2-gstreamer-1.0 gir1.2-gst-plugins-base-1.0 python3-dbus python3-gi)
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

# The programs a desktop of the matrix needs (tests/desktop/matrix.sh).
kvr_desktop_needs() {
    case "$1" in
        none) ;;
        openbox) echo openbox ;;
        xfwm4) echo xfwm4 xfce4-panel xfconf-query dbus-run-session ;;
        xfwm4-compositor) echo xfwm4 xfconf-query dbus-run-session ;;
        mutter) echo mutter dbus-run-session ;;
        kwin) echo kwin_x11 dbus-run-session ;;
        metacity) echo metacity dbus-run-session ;;
        marco) echo marco dbus-run-session ;;
        i3) echo i3 ;;
        fluxbox) echo fluxbox ;;
        icewm) echo icewm ;;
        openbox-picom) echo openbox picom ;;
    esac
}

# The programs a Wayland compositor of the tests needs (tests/wayland/start.sh).
kvr_wayland_needs() {
    case "$1" in
        sway) echo sway swaymsg swaybg setpriv ;;
        weston) echo weston weston-screenshooter setpriv ;;
    esac
}

# The shell command that starts a desktop (run in its own session, its output to the log).
kvr_desktop_command() {
    case "$1" in
        openbox) echo "openbox" ;;
        # xfwm4 reads its compositor setting from xfconf, which needs the session bus.
        xfwm4) echo "dbus-run-session sh -c 'xfconf-query -c xfwm4 -p /general/use_compositing -n -t bool -s true 2>/dev/null ||
                     xfconf-query -c xfwm4 -p /general/use_compositing -s true; xfwm4 --compositor=on & sleep 1; xfce4-panel & wait'" ;;
        # The same without the panel, whose strut moves windows placed at the top of the screen.
        xfwm4-compositor) echo "dbus-run-session sh -c 'xfconf-query -c xfwm4 -p /general/use_compositing -n -t bool -s true 2>/dev/null ||
                     xfconf-query -c xfwm4 -p /general/use_compositing -s true; exec xfwm4 --compositor=on'" ;;
        mutter) echo "dbus-run-session mutter --x11 --replace --sm-disable" ;;
        kwin) echo "dbus-run-session kwin_x11 --replace" ;;
        metacity) echo "dbus-run-session metacity --replace" ;;
        marco) echo "dbus-run-session marco --replace" ;;
        # i3's own configuration binds Alt+Enter to a terminal: ours puts its modifier on the
        # Windows key, so Alt+Enter reaches the program as it does on other desktops.
        i3) echo "i3 -c '$HOME/i3.config'" ;;
        fluxbox) echo "fluxbox" ;;
        icewm) echo "icewm" ;;
        openbox-picom) echo "openbox & sleep 1; picom --backend xrender & wait" ;;
    esac
}

# True while an EWMH manager names its check window on the root.
kvr_manager_runs() {
    local w
    w=$(xprop -root -notype _NET_SUPPORTING_WM_CHECK 2>/dev/null | sed -n 's/.*window id # \(0x[0-9a-f]*\).*/\1/p')
    [ -n "$w" ] && xprop -id "$w" -notype _NET_SUPPORTING_WM_CHECK >/dev/null 2>&1
}

# Stops a desktop started by run_desktop: its whole session (process group), TERM then KILL.
kvr_stop_desktop() {
    kill -- -"$1" 2>/dev/null
    sleep 0.5
    kill -KILL -- -"$1" 2>/dev/null
    wait "$1" 2>/dev/null
}

# The Debian package that provides a program the tests start.
kvr_package_of() {
    case "$1" in
        Xvfb) echo xvfb ;;
        xfconf-query) echo xfconf ;;
        dbus-run-session) echo dbus-daemon ;;
        kwin_x11) echo kwin-x11 ;;
        i3) echo i3-wm ;;
        swaymsg) echo sway ;;
        setpriv) echo util-linux ;;
        wayland-info) echo wayland-utils ;;
        weston-screenshooter) echo weston ;;
        *) echo "$1" ;;
    esac
}

# Starts a desktop (kvr_desktop_command) on $DISPLAY with its settings in the folder $2 (a
# throwaway $HOME) and its output appended to $3; sets KVR_DESKTOP_PID once an EWMH manager runs.
# A manager that does not come up within 10 s is started once more (kwin_x11 sometimes fails to
# connect to a display that was just started); false when it never does.
kvr_start_desktop() {
    local d="$1" home="$2" log="$3" attempt i
    KVR_DESKTOP_PID=""
    [ "$d" = none ] && return 0
    for attempt in 1 2; do
        setsid "$KVR_ROOT/tests/desktop/start.sh" "$d" "$home" >>"$log" 2>&1 &
        KVR_DESKTOP_PID=$!
        # A manager that exits before it manages the screen is not waited for.
        for i in $(seq 1 100); do
            kvr_manager_runs && break
            kill -0 "$KVR_DESKTOP_PID" 2>/dev/null || break
            sleep 0.1
        done
        if kvr_manager_runs; then
            # Panels and compositors come up after the manager.
            sleep 2
            return 0
        fi
        kvr_stop_desktop "$KVR_DESKTOP_PID"
        KVR_DESKTOP_PID=""
    done
    echo "$d did not manage the screen; the last lines it wrote:" >&2
    tail -n 5 "$log" >&2
    return 1
}
