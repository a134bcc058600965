#!/usr/bin/env bash
# package.sh - makes the packages into dist/ and checks each one as a user would use it.
#
#   dist/kelvor_<version>_<arch>.deb             Linux: Debian package (dependencies from dpkg-shlibdeps)
#   dist/kelvor-<version>-linux-<arch>.tar.gz     Linux: the same install tree as an archive
#   dist/kelvor-<version>-windows-x64.zip         Windows: bin\Kelvor.exe (static) and README.txt
#   dist/kelvor-<version>-windows-x64.msi         Windows: the installer of the zip's files (wixl)
#
# Builds in build/linux and build/windows (reusing what scripts/test.sh built there), makes the
# packages with CPack and wixl and checks them: the contents of each; the .deb against Debian's
# own tools (lintian --pedantic, hardening-check, appstreamcli, desktop-file-validate), installed
# with dpkg into a throwaway root (its dependencies with apt-get into the system), its
# /usr/bin/Kelvor started on a private Xvfb, where the scene must show (judged from the screen's
# pixels) and closing the window must end it with status 0, then purged again; Kelvor.exe from
# the zip the same way under Wine in a fresh prefix, its imports (system DLLs and the C runtime
# only) and its resources (version and icon); the MSI installed with msiexec in another fresh
# prefix, started from Program Files, and uninstalled without a trace. Last, the product is built
# a second time from a copy of the sources in another folder, and every package must come out
# byte for byte the same. A Kelvor installed on the system is left as it was.
# Times in the packages come from SOURCE_DATE_EPOCH, the last commit's time when it is unset.
# Needs root for apt-get (sudo otherwise).
# Build trees go to build/<preset folder>, or under $KVR_BUILD_DIR when that is set.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$KVR_ROOT"

DIST="$KVR_ROOT/dist"
WORK="$KVR_BUILD/package"
MINGW_OBJDUMP=x86_64-w64-mingw32-objdump
started=$SECONDS

# Stops with a message naming the failed check.
fail() {
    echo "package check FAILED: $*" >&2
    exit 1
}

# Records a passed check.
ok() {
    echo "  ok: $*"
}

# Stops Wine and the X server.
cleanup() {
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

# Runs CPack in a build tree and moves the packages it made (and their checksums) into a folder.
make_packages() {
    local dir="$1" dest="$2" out="$WORK/cpack-$(basename "$2")-$(basename "$1")"
    rm -rf "$out"
    cpack --config "$dir/CPackConfig.cmake" -B "$out" >"$out.log" 2>&1 || { cat "$out.log" >&2; return 1; }
    find "$out" -maxdepth 1 -type f -name 'kelvor*' -exec mv -f {} "$dest/" \;
    sort_archives "$dest"
}

# Repacks the .tar.gz and the .zip CPack made with their members sorted by name (CPack adds them
# in the order the file system lists them) and every time at SOURCE_DATE_EPOCH (gzip -n: no name or
# time in its header), and rewrites their checksums. The .deb's members are sorted by CPack.
sort_archives() {
    local dir="$1" f tmp="$WORK/sort-archive" when
    when="$(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S UTC')"
    for f in "$dir"/kelvor-*.tar.gz "$dir"/kelvor-*.zip; do
        [ -f "$f" ] || continue
        rm -rf "$tmp" && mkdir -p "$tmp/files"
        (cd "$tmp/files" && cmake -E tar xf "$f") || fail "$f does not unpack"
        (cd "$tmp/files" && find . -mindepth 1 ! -type d | sed 's|^\./||' | LC_ALL=C sort) >"$tmp/list"
        rm -f "$f"
        case "$f" in
        *.tar.gz)
            (cd "$tmp/files" && tar --sort=name --mtime="$when" --owner=0 --group=0 --numeric-owner \
                --format=gnu -cf - -- *) | gzip -9n >"$f"
            ;;
        *.zip)
            # No extra fields (they hold the files' change times and owners); the times in a zip
            # are local times: UTC, so that every machine writes the same bytes.
            find "$tmp/files" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
            (cd "$tmp/files" && TZ=UTC zip -q -X -D "$f" -@ <"$tmp/list")
            ;;
        esac
        [ -s "$f" ] || fail "could not repack $f"
        (cd "$dir" && sha256sum "$(basename "$f")" >"$(basename "$f").sha256")
    done
}

# Builds the MSI from the zip's files with wixl into a folder. wixl stamps the clock's time and a
# random revision code into the installer's summary: the clock is stopped at SOURCE_DATE_EPOCH
# (a clock started there would move on while wixl runs, past a second on a busy machine) and the
# revision set to the package code, so one version's installer always has the same bytes.
make_msi() {
    local windir="$1" zipfile="$2" msi="$3" stage="$WORK/msi-stage" frozen code
    rm -rf "$stage" && mkdir -p "$stage"
    (cd "$stage" && cmake -E tar xf "$zipfile") || fail "$zipfile does not unpack"
    stage="$stage/$(basename "${zipfile%.zip}")"
    cp "$KVR_ROOT/packaging/kelvor.ico" "$windir/kelvor.wxs" "$stage/"
    find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
    frozen="$(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S')"
    code="$(sed -n 's/.*<Package Id="\([0-9A-F-]*\)".*/\1/p' "$windir/kelvor.wxs")"
    [ -n "$code" ] || fail "no package code in $windir/kelvor.wxs"
    (cd "$stage" && TZ=UTC faketime -f "$frozen" wixl -a x64 -o "$msi" kelvor.wxs) ||
        fail "wixl could not build $msi"
    TZ=UTC faketime -f "$frozen" msibuild "$msi" -s "Kelvor $version installer" "Kelvor developers" "x64;1033" "{$code}" ||
        fail "msibuild could not set the summary of $msi"
}

# Builds the product again from a copy of the sources in another folder (the files git tracks, as
# they are now, uncommitted changes included), makes its packages, and fails unless each is byte for
# byte the package in dist/.
check_reproducible() {
    local again="$WORK/again" f differ=()
    rm -rf "$again" && mkdir -p "$again/src" "$again/dist"
    (cd "$KVR_ROOT" && git ls-files -z | tar --null -T - --ignore-failed-read -cf - 2>/dev/null) | tar -xf - -C "$again/src"
    [ -f "$again/src/CMakeLists.txt" ] || fail "could not copy the sources to $again/src"
    for preset in linux windows-cross; do
        (cd "$again/src" && cmake --preset "$preset" -B "$again/$preset" -DKVR_WERROR=ON -DKVR_BUILD_TESTS=OFF \
            >"$again/$preset.configure.log" 2>&1) || { cat "$again/$preset.configure.log" >&2; fail "$preset: configure failed"; }
        cmake --build "$again/$preset" -j2 --target Kelvor >"$again/$preset.build.log" 2>&1 ||
            { cat "$again/$preset.build.log" >&2; fail "$preset: the second build failed"; }
        make_packages "$again/$preset" "$again/dist"
    done
    make_msi "$again/windows-cross" "$again/dist/$zip" "$again/dist/$msi"
    for f in "$deb" "$tgz" "$zip" "$msi"; do
        if cmp "$DIST/$f" "$again/dist/$f"; then
            ok "$f: the second build in $again is the same, byte for byte"
        else
            differ+=("$f")
        fi
    done
    [ ${#differ[@]} -eq 0 ] || fail "two builds of the same sources differ: ${differ[*]} (see $again/dist)"
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
# Every time stamp in the packages: the last commit's time unless the caller gives one.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    # Without it every file would be dated 1970, which lintian rightly refuses.
    SOURCE_DATE_EPOCH="$(git -C "$KVR_ROOT" log -1 --format=%ct 2>/dev/null)" || {
        echo "package.sh: no commit time to date the packages (git missing, or not a git checkout): set SOURCE_DATE_EPOCH" >&2
        exit 1
    }
fi
export SOURCE_DATE_EPOCH

kvr_say "building the Linux and Windows trees ($KVR_BUILD_LINUX, $KVR_BUILD_WINDOWS)"
build_tree linux "$KVR_BUILD_LINUX"
build_tree windows-cross "$KVR_BUILD_WINDOWS"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$KVR_BUILD_LINUX/CMakeCache.txt")"
[ -n "$version" ] || fail "no project version in $KVR_BUILD_LINUX/CMakeCache.txt"
arch="$(dpkg --print-architecture)"

kvr_say "making the packages of Kelvor $version into $DIST (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH)"
mkdir -p "$DIST" "$WORK"
rm -f "$DIST"/kelvor[_-]*
deb="kelvor_${version}_${arch}.deb"
tgz="kelvor-${version}-linux-$(uname -m).tar.gz"
zip="kelvor-${version}-windows-x64.zip"
msi="kelvor-${version}-windows-x64.msi"
make_packages "$KVR_BUILD_LINUX" "$DIST"
make_packages "$KVR_BUILD_WINDOWS" "$DIST"
[ -s "$DIST/$zip" ] && make_msi "$KVR_BUILD_WINDOWS" "$DIST/$zip" "$DIST/$msi"
for f in "$deb" "$tgz" "$zip" "$msi"; do
    [ -s "$DIST/$f" ] || fail "CPack made no $f (dist/ holds: $(ls "$DIST" | tr '\n' ' '))"
done
ls -l "$DIST"

# --- The Debian package --------------------------------------------------------------------------
kvr_say "checking $deb"
[ "$(dpkg-deb -f "$DIST/$deb" Version)" = "$version" ] || fail "$deb does not carry version $version"
depends="$(dpkg-deb -f "$DIST/$deb" Depends)"
echo "  Depends: $depends"
# The C library, Xlib and GLX (libglx0 where the GL libraries come from GLVND, libgl1 elsewhere).
# The Wayland backend's libraries: the client and EGL libraries, xkbcommon and libdecor, with its
# plugin recommended.
for lib in libc6 libx11-6 'libglx0\|libgl1' libwayland-client0 libwayland-egl1 libegl1 libxkbcommon0 libdecor-0-0; do
    grep -q "\b\($lib\)\b" <<<"$depends" || fail "$deb does not depend on $lib (dpkg-shlibdeps found: $depends)"
done
[ "$(dpkg-deb -f "$DIST/$deb" Recommends)" = libdecor-0-plugin-1-cairo ] ||
    fail "$deb does not recommend libdecor's cairo plugin"
ok "dependencies computed from the executable's libraries"
icons=()
for size in 16 32 48 64 128 256; do
    icons+=("./usr/share/icons/hicolor/${size}x${size}/apps/kelvor.png")
done
icons+=(./usr/share/icons/hicolor/scalable/apps/kelvor.svg)
dpkg-deb -c "$DIST/$deb" | awk '{print $NF}' | expect_paths "$deb" ./usr/bin/Kelvor \
    ./usr/share/applications/kelvor.desktop "${icons[@]}" ./usr/share/metainfo/org.example.kelvor.metainfo.xml \
    ./usr/share/man/man6/Kelvor.6.gz ./usr/share/doc/kelvor/README.md ./usr/share/doc/kelvor/copyright \
    ./usr/share/doc/kelvor/changelog.gz
rm -rf "$WORK/deb" && dpkg-deb -x "$DIST/$deb" "$WORK/deb"
desktop-file-validate "$WORK/deb/usr/share/applications/kelvor.desktop" || fail "the desktop entry does not validate"
grep -qx 'StartupWMClass=OpenGL' "$WORK/deb/usr/share/applications/kelvor.desktop" ||
    fail "the desktop entry does not name the window's class (StartupWMClass=OpenGL)"
ok "the desktop entry validates and names the window's class"
appstreamcli validate --pedantic --no-net "$WORK/deb/usr/share/metainfo/org.example.kelvor.metainfo.xml" ||
    fail "the AppStream metainfo does not validate"
ok "the AppStream metainfo validates (pedantic)"

kvr_say "lintian --pedantic $deb"
lintian_out="$(lintian --pedantic --display-info --tag-display-limit 0 "$DIST/$deb" 2>&1)" || true
[ -z "$lintian_out" ] || sed 's/^/    /' <<<"$lintian_out"
! grep -q '^[EW]: ' <<<"$lintian_out" || fail "lintian reports errors or warnings on $deb"
! grep -q -i 'lintian.*\(error\|failed\|cannot\)' <<<"$lintian_out" || fail "lintian did not run through"
ok "lintian --pedantic: no error, no warning"
# Control-flow protection: the linker marks a program ready for it (IBT, SHSTK) only when every
# object it links is, and Debian 12's C start files (Scrt1.o) are not; then every object of ours
# must carry the mark, and hardening-check leaves that item out.
hardening_options=()
scrt1="$(gcc -print-file-name=Scrt1.o)"
if [ "$(uname -m)" = x86_64 ] && ! readelf -n "$scrt1" | grep -q 'x86 feature: IBT, SHSTK'; then
    hardening_options=(--nocfprotection)
    for obj in "$KVR_BUILD_LINUX"/CMakeFiles/Kelvor.dir/Kelvor/main.cpp.o "$KVR_BUILD_LINUX"/lib{kvr_platform,kvr_window,bitmap_font,shapes,kelvor_app}.a; do
        members=1
        case "$obj" in *.a) members="$(ar t "$obj" | wc -l)" ;; esac
        [ "$(readelf -n "$obj" | grep -c 'x86 feature: IBT, SHSTK')" = "$members" ] ||
            fail "$obj holds objects built without control-flow protection"
    done
    ok "Kelvor's own objects are built with control-flow protection ($scrt1 is not, so hardening-check cannot see it)"
fi
hardening="$(hardening-check "${hardening_options[@]}" "$WORK/deb/usr/bin/Kelvor" 2>&1)" || hardening_failed=1
sed 's/^/    /' <<<"$hardening"
[ -z "${hardening_failed:-}" ] || fail "hardening-check finds /usr/bin/Kelvor lacking a protection"
ok "hardening-check: PIE, stack protector, FORTIFY, read-only relocations, immediate binding"

kvr_say "installing $deb into a throwaway root, its dependencies into the system"
# The dependencies as apt-get would install them (the first of any alternatives), then the
# package itself with dpkg into a root of its own, so a Kelvor installed on the system stays.
deps="$(sed 's/([^)]*)//g; s/|[^,]*//g; s/,/ /g' <<<"$depends")"
# shellcheck disable=SC2086
kvr_install_packages $deps || fail "apt-get could not install the dependencies of $deb: $deps"
# dpkg's own test of the whole Depends line, versions and alternatives, against the system.
printf 'Source: kelvor\n\nPackage: kelvor\nArchitecture: any\n' >"$WORK/control"
dpkg-checkbuilddeps -d "$depends" "$WORK/control" || fail "the system does not satisfy Depends: $depends"
ok "the system satisfies Depends"
root="$WORK/root"
rm -rf "$root" && mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
root_dpkg() {
    # The dependencies are in the system, not in the throwaway root's database.
    dpkg --root="$root" --log=/dev/null --force-not-root --force-script-chrootless --force-depends "$@"
}
root_dpkg -i "$DIST/$deb" >"$WORK/dpkg-install.log" 2>&1 ||
    { cat "$WORK/dpkg-install.log" >&2; fail "dpkg could not install $deb into $root"; }
[ "$(dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Status} ${Version}' kelvor)" = "install ok installed $version" ] ||
    fail "dpkg does not list kelvor $version as installed in $root"
[ -x "$root/usr/bin/Kelvor" ] || fail "$root/usr/bin/Kelvor is not there after the install"
ok "installed: $root/usr/bin/Kelvor"
kvr_start_xvfb
run_startup_check native "$root/usr/bin/Kelvor"
root_dpkg --purge kelvor >"$WORK/dpkg-purge.log" 2>&1 ||
    { cat "$WORK/dpkg-purge.log" >&2; fail "dpkg could not purge kelvor from $root"; }
left="$(cd "$root" && find . -path ./var -prune -o ! -type d -print)"
[ -z "$left" ] || fail "files of kelvor are left after its removal: $left"
ok "purged again, no files left"

# --- The archive ---------------------------------------------------------------------------------
kvr_say "checking $tgz"
top="${tgz%.tar.gz}"
tar -tzf "$DIST/$tgz" | expect_paths "$tgz" "$top/bin/Kelvor" "$top/share/applications/kelvor.desktop" \
    "$top/share/icons/hicolor/256x256/apps/kelvor.png" "$top/share/man/man6/Kelvor.6.gz" \
    "$top/share/doc/kelvor/README.md"

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
# ADVAPI32 gives the stack protector's random guard.
others="$(grep -viE '^(kernel32|user32|gdi32|advapi32|opengl32|glu32|msvcrt|api-ms-win-crt-[a-z0-9-]+)\.dll$' <<<"$imports" || true)"
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

# --- The Windows installer -----------------------------------------------------------------------
kvr_say "installing $msi under Wine with msiexec (fresh prefix)"
rm -rf "$WORK/wineprefix-msi"
kvr_wine_env "$WORK/wineprefix-msi"
# No menu entries of the host's desktop for the shortcut the installer makes.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
product="$(msiinfo export "$DIST/$msi" Property | sed -n 's/^ProductCode\t\({[0-9A-F-]*}\).*/\1/p')"
[ -n "$product" ] || fail "$msi has no ProductCode"
uninstall_key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product"
installed="$WINEPREFIX/drive_c/Program Files/Kelvor"
# The Start-menu shortcut: in the menu of all users, or of the user who installed (Wine's choice).
find_shortcut() {
    find "$WINEPREFIX/drive_c/ProgramData" "$WINEPREFIX/drive_c/users" -path '*/Start Menu/Programs/Kelvor.lnk' 2>/dev/null
}
wine msiexec /i "$(winepath -w "$DIST/$msi")" /qn || fail "msiexec /i $msi failed"
wineserver -w
[ -f "$installed/bin/Kelvor.exe" ] && [ -f "$installed/README.txt" ] ||
    fail "the installer did not put bin\\Kelvor.exe and README.txt into Program Files\\Kelvor"
cmp -s "$installed/bin/Kelvor.exe" "$exe" || fail "the installed Kelvor.exe is not the zip's"
shortcut="$(find_shortcut)"
[ -n "$shortcut" ] || fail "the installer made no Start-menu shortcut Kelvor.lnk"
echo "  shortcut: ${shortcut#"$WINEPREFIX/"}"
wine reg query "$uninstall_key" /v DisplayName 2>/dev/null | tr -d '\r' | grep -q 'REG_SZ[[:space:]]*Kelvor$' ||
    fail "no uninstall entry named Kelvor under $uninstall_key"
ok "installed: Program Files\\Kelvor\\bin\\Kelvor.exe, README.txt, the Start-menu shortcut, the uninstall entry"
run_startup_check wine "$installed/bin/Kelvor.exe"
wine msiexec /x "$product" /qn || fail "msiexec /x $product failed"
wineserver -w
[ ! -e "$installed" ] || fail "files are left in Program Files after the uninstall: $(find "$installed")"
[ -z "$(find_shortcut)" ] || fail "the Start-menu shortcut is left after the uninstall"
[ ! -e "$WINEPREFIX/drive_c/windows/Installer/$product" ] || fail "the installer's cached files are left"
! wine reg query "$uninstall_key" >/dev/null 2>&1 || fail "the uninstall entry is left after the uninstall"
! wine reg query 'HKLM\Software\Kelvor' >/dev/null 2>&1 || fail "HKLM\\Software\\Kelvor is left after the uninstall"
ok "uninstalled: no files, shortcut or registry entries left"
wineserver -k 2>/dev/null || true

# --- Reproducibility -----------------------------------------------------------------------------
kvr_say "building again from a copy of the sources, to compare the packages byte for byte"
again_started=$SECONDS
check_reproducible
ok "the second build took $((SECONDS - again_started)) s"

kvr_say "packages in $DIST passed their checks ($((SECONDS - started)) s):"
ls -1 "$DIST"/kelvor[_-]* | grep -v '\.sha256$'
