#!/usr/bin/env bash
# package.sh - makes the packages into dist/ and checks each one as a user would use it.
#
#   dist/kelvor_<version>_<arch>.deb             Linux: Debian package (dependencies from dpkg-shlibdeps)
#   dist/kelvor-<version>-linux-<arch>.tar.gz     Linux: the same install tree as an archive
#   dist/kelvor-<version>-windows-x64.zip         Windows: bin\Kelvor.exe (static) and README.txt
#
# Builds in build/linux and build/windows (reusing what scripts/test.sh built there), makes the
# packages with CPack and checks them: the contents of each; the .deb installed with apt-get, its
# /usr/bin/Kelvor started on a private Xvfb, where the scene must show (judged from the screen's
# pixels) and closing the window must end it with status 0, then removed again; Kelvor.exe from
# the zip the same way under Wine in a fresh prefix, its imports (system DLLs and the C runtime
# only) and its resources (version and icon). Needs root for apt-get (sudo otherwise).
# Build trees go to build/<preset folder>, or under $KVR_BUILD_DIR when that is set.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$KVR_ROOT"

DIST="$KVR_ROOT/dist"
WORK="$KVR_BUILD/package"
MINGW_OBJDUMP=x86_64-w64-mingw32-objdump
installed_deb=0

# Stops with a message naming the failed check.
fail() {
    echo "package check FAILED: $*" >&2
    exit 1
}

# Records a passed check.
ok() {
    echo "  ok: $*"
}

# Removes the package again if this run installed it, and stops the X server.
cleanup() {
    if [ "$installed_deb" = 1 ]; then
        kvr_as_root env DEBIAN_FRONTEND=noninteractive apt-get remove -y -q --purge -o DPkg::Lock::Timeout=600 \
            kelvor >/dev/null 2>&1 || true
    fi
    if [ -n "${WINEPREFIX:-}" ]; then
        wineserver -k 2>/dev/null || true
    fi
    kvr_stop_xvfb
}
trap cleanup EXIT
trap "exit 143" TERM INT

# Configures a preset's tree when it has never been configured, then brings its build up to date.
build_tree() {
    local preset="$1" dir="$2"
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        mkdir -p "$KVR_BUILD"
        cmake --preset "$preset" -B "$dir" -DKVR_WERROR=ON >"$dir.configure.log" 2>&1 ||
            { cat "$dir.configure.log" >&2; return 1; }
    fi
    cmake --build "$dir" -j2
}

# Runs CPack in a build tree and moves the packages it made (and their checksums) into dist/.
make_packages() {
    local dir="$1" out="$WORK/cpack-$(basename "$1")"
    rm -rf "$out"
    cpack --config "$dir/CPackConfig.cmake" -B "$out" >"$out.log" 2>&1 || { cat "$out.log" >&2; return 1; }
    find "$out" -maxdepth 1 -type f -name 'kelvor*' -exec mv -f {} "$DIST/" \;
}

# Fails unless the list (one path a line, on stdin) holds every path given.
expect_paths() {
    local what="$1" list p
    shift
    list="$(cat)"
    for p in "$@"; do
        grep -qxF -- "$p" <<<"$list" || fail "$what lacks $p"
    done
    ok "$what holds $*"
}

# Starts a program on the private X server with the end-to-end driver's start-up check: the
# window goes full screen, the scene's parts show where the camera sees them, and closing the
# window ends the program with status 0.
run_startup_check() {
    local mode="$1" exe="$2" shots="$WORK/shots" log="$WORK/e2e-$1.log"
    mkdir -p "$shots"
    if ! KVR_REQUIRE_DISPLAY=1 "$KVR_BUILD_LINUX/tests/e2e/kvr_e2e" --mode "$mode" --check startup --exe "$exe" \
        --out "$shots" >"$log" 2>&1; then
        cat "$log" >&2
        fail "$exe did not start, show the scene and exit 0 on close (see $log and $shots)"
    fi
    grep -h 'ok: \|PASSED' "$log" | sed 's/^/    /'
    ok "$exe showed the scene and exited 0 when its window was closed"
}

kvr_install_packages "${KVR_BUILD_PACKAGES[@]}" "${KVR_WINDOWS_PACKAGES[@]}" "${KVR_TEST_PACKAGES[@]}" \
    "${KVR_PACKAGE_PACKAGES[@]}"

kvr_say "building the Linux and Windows trees ($KVR_BUILD_LINUX, $KVR_BUILD_WINDOWS)"
build_tree linux "$KVR_BUILD_LINUX"
build_tree windows-cross "$KVR_BUILD_WINDOWS"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$KVR_BUILD_LINUX/CMakeCache.txt")"
[ -n "$version" ] || fail "no project version in $KVR_BUILD_LINUX/CMakeCache.txt"
arch="$(dpkg --print-architecture)"

kvr_say "making the packages of Kelvor $version into $DIST"
mkdir -p "$DIST" "$WORK"
rm -f "$DIST"/kelvor[_-]*
make_packages "$KVR_BUILD_LINUX"
make_packages "$KVR_BUILD_WINDOWS"
deb="kelvor_${version}_${arch}.deb"
tgz="kelvor-${version}-linux-$(uname -m).tar.gz"
zip="kelvor-${version}-windows-x64.zip"
for f in "$deb" "$tgz" "$zip"; do
    [ -s "$DIST/$f" ] || fail "CPack made no $f (dist/ holds: $(ls "$DIST" | tr '\n' ' '))"
done
ls -l "$DIST"

# --- The Debian package --------------------------------------------------------------------------
kvr_say "checking $deb"
[ "$(dpkg-deb -f "$DIST/$deb" Version)" = "$version" ] || fail "$deb does not carry version $version"
depends="$(dpkg-deb -f "$DIST/$deb" Depends)"
echo "  Depends: $depends"
# The C library, Xlib and GLX (libglx0 where the GL libraries come from GLVND, libgl1 elsewhere).
for lib in libc6 libx11-6 'libglx0\|libgl1'; do
    grep -q "\b\($lib\)\b" <<<"$depends" || fail "$deb does not depend on $lib (dpkg-shlibdeps found: $depends)"
done
ok "dependencies computed from the executable's libraries"
dpkg-deb -c "$DIST/$deb" | awk '{print $NF}' | expect_paths "$deb" ./usr/bin/Kelvor \
    ./usr/share/applications/kelvor.desktop ./usr/share/icons/hicolor/16x16/apps/kelvor.png \
    ./usr/share/icons/hicolor/32x32/apps/kelvor.png ./usr/share/icons/hicolor/48x48/apps/kelvor.png \
    ./usr/share/doc/kelvor/README.md
rm -rf "$WORK/deb" && dpkg-deb -x "$DIST/$deb" "$WORK/deb"
desktop-file-validate "$WORK/deb/usr/share/applications/kelvor.desktop" || fail "the desktop entry does not validate"
ok "the desktop entry validates"

kvr_say "installing $deb with apt-get"
installed_deb=1
kvr_as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q -o DPkg::Lock::Timeout=600 "./dist/$deb" ||
    fail "apt-get could not install ./dist/$deb"
[ "$(dpkg-query -W -f='${Status} ${Version}' kelvor)" = "install ok installed $version" ] ||
    fail "dpkg does not list kelvor $version as installed"
[ -x /usr/bin/Kelvor ] || fail "/usr/bin/Kelvor is not there after the install"
ok "installed: /usr/bin/Kelvor"
kvr_start_xvfb
run_startup_check native /usr/bin/Kelvor
kvr_as_root env DEBIAN_FRONTEND=noninteractive apt-get remove -y -q --purge -o DPkg::Lock::Timeout=600 kelvor ||
    fail "apt-get could not remove kelvor"
installed_deb=0
[ ! -e /usr/bin/Kelvor ] && [ ! -e /usr/share/applications/kelvor.desktop ] ||
    fail "files of kelvor are left after its removal"
ok "removed again, no files left"

# --- The archive ---------------------------------------------------------------------------------
kvr_say "checking $tgz"
top="${tgz%.tar.gz}"
tar -tzf "$DIST/$tgz" | expect_paths "$tgz" "$top/bin/Kelvor" "$top/share/applications/kelvor.desktop" \
    "$top/share/icons/hicolor/48x48/apps/kelvor.png" "$top/share/doc/kelvor/README.md"

# --- The Windows zip -----------------------------------------------------------------------------
kvr_say "checking $zip"
rm -rf "$WORK/zip" && mkdir -p "$WORK/zip"
(cd "$WORK/zip" && cmake -E tar xf "$DIST/$zip") || fail "$zip does not unpack"
top="$WORK/zip/${zip%.zip}"
(cd "$top" && find . -type f | sort) | expect_paths "$zip" ./bin/Kelvor.exe ./README.txt
exe="$top/bin/Kelvor.exe"
grep -q "Kelvor $version" "$top/README.txt" && grep -q 'Alt+Enter' "$top/README.txt" ||
    fail "README.txt does not name the version or the controls"
[ "$(grep -c $'\r$' "$top/README.txt")" = "$(wc -l <"$top/README.txt")" ] || fail "README.txt lines do not end in CR LF"
ok "README.txt: version, how to run, controls; Windows line ends"

imports="$("$MINGW_OBJDUMP" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -u)"
echo "  imports: $(tr '\n' ' ' <<<"$imports")"
[ -n "$imports" ] || fail "objdump -p finds no imports in Kelvor.exe"
others="$(grep -viE '^(kernel32|user32|gdi32|opengl32|glu32|msvcrt|api-ms-win-crt-[a-z0-9-]+)\.dll$' <<<"$imports" || true)"
[ -z "$others" ] || fail "Kelvor.exe imports more than system DLLs and the C runtime: $others"
for dll in KERNEL32 USER32 GDI32 OPENGL32; do
    grep -qi "^$dll.dll$" <<<"$imports" || fail "Kelvor.exe does not import $dll.dll"
done
ok "Kelvor.exe imports only system DLLs and the C runtime"

resources="$(wrestool -l "$exe")"
grep -q 'type=group_icon' <<<"$resources" && grep -q 'type=version' <<<"$resources" ||
    fail "Kelvor.exe lacks its icon or version resource: $resources"
wrestool -x --type=group_icon "$exe" -o "$WORK/exe-icon.ico"
# wrestool pads the icon file it rebuilds from the resources: the committed icon must be its start.
head -c "$(stat -c %s "$KVR_ROOT/packaging/kelvor.ico")" "$WORK/exe-icon.ico" | cmp -s - "$KVR_ROOT/packaging/kelvor.ico" ||
    fail "the icon in Kelvor.exe is not packaging/kelvor.ico"
strings_el="$(wrestool -x --raw --type=version "$exe" | strings -el)"
for pair in "ProductName Kelvor" "FileVersion $version" "ProductVersion $version"; do
    grep -A1 -x "${pair%% *}" <<<"$strings_el" | grep -qx "${pair#* }" || fail "the version resource lacks $pair"
done
ok "resources: icon (packaging/kelvor.ico), version $version, product name Kelvor"

kvr_say "starting Kelvor.exe from the zip under Wine (fresh prefix)"
rm -rf "$WORK/wineprefix"
kvr_wine_env "$WORK/wineprefix"
run_startup_check wine "$exe"
wineserver -k 2>/dev/null || true

kvr_say "packages in $DIST passed their checks:"
ls -1 "$DIST"/kelvor[_-]* | grep -v '\.sha256$'
