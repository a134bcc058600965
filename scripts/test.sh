#!/usr/bin/env bash
# test.sh - installs what the tests need, builds every preset and runs every test.
#
# Builds windows-cross, linux and linux-asan with warnings as errors, starts a private Xvfb
# (1920x1080x24, stopped on exit), then runs all Linux tests, the platform and native end-to-end
# tests again under openbox and under xfwm4 with its compositor, the desktop matrix
# (tests/desktop/matrix.sh; set KVR_DESKTOP_KWIN=1 to install and include kwin_x11), then (the Wine end-to-end run of the
# cross-built Kelvor.exe among them), the unit and platform tests under AddressSanitizer (with its
# leak check) and UndefinedBehaviorSanitizer, and makes and checks the packages (scripts/package.sh). Prints a
# summary; exits non-zero if any step failed.
# Build trees go to build/<preset folder>, or under $KVR_BUILD_DIR when that is set.
# Extra arguments are passed to the full ctest run (for example -R e2e).
set -uo pipefail
source "$(dirname "$0")/lib.sh"
cd "$KVR_ROOT"

declare -a summary=()
failed=0

# Runs one named step, recording its outcome for the summary.
step() {
    local name="$1" start=$SECONDS rc
    shift
    kvr_say "$name"
    "$@"
    rc=$?
    if [ $rc -eq 0 ]; then
        summary+=("PASS  $name ($((SECONDS - start)) s)")
    else
        summary+=("FAIL  $name ($((SECONDS - start)) s, status $rc)")
        failed=1
    fi
    return $rc
}

# Configures and builds one preset into its folder, with warnings as errors.
build_preset() {
    local preset="$1" dir="$2"
    shift 2
    cmake --preset "$preset" -B "$dir" -DKVR_WERROR=ON "$@" >"$dir.configure.log" 2>&1 ||
        { cat "$dir.configure.log" >&2; return 1; }
    cmake --build "$dir" -j2
}

# Runs ctest in a build tree, keeping its output to count the results.
run_ctest() {
    local log="$1"
    shift
    ctest "$@" 2>&1 | tee "$log"
}

# Adds up passed, failed and skipped tests over the ctest logs given.
count_tests() {
    local f total=0 bad=0 skipped=0 t b s
    for f in "$@"; do
        [ -f "$f" ] || continue
        read -r b t < <(sed -n 's/.*tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\).*/\1 \2/p' "$f" | tail -n1)
        s=$(grep -c '(Skipped)$' "$f")
        total=$((total + ${t:-0})) bad=$((bad + ${b:-0})) skipped=$((skipped + s))
    done
    echo "tests: $((total - bad - skipped)) passed, $bad failed, $skipped skipped"
}

# Prints the summary and the final verdict.
finish() {
    kvr_stop_xvfb
    echo
    echo "==================== summary ===================="
    local line
    for line in "${summary[@]}"; do echo "$line"; done
    if [ $failed -eq 0 ]; then
        echo "all steps passed"
    else
        echo "SOME STEPS FAILED"
    fi
    count_tests "$KVR_BUILD/ctest-linux.log" "$KVR_BUILD/ctest-openbox.log" "$KVR_BUILD/ctest-xfwm4.log" \
        "$KVR_BUILD/ctest-linux-asan.log" "$KVR_BUILD/ctest-platform-asan.log" "$KVR_BUILD/ctest-soak-asan.log" \
        "$KVR_BUILD/ctest-fuzz.log"
}
trap finish EXIT
trap "exit 143" TERM INT

mkdir -p "$KVR_BUILD"
rm -f "$KVR_BUILD/ctest-linux.log" "$KVR_BUILD/ctest-openbox.log" "$KVR_BUILD/ctest-xfwm4.log" "$KVR_BUILD/ctest-linux-asan.log" "$KVR_BUILD/ctest-platform-asan.log" \
    "$KVR_BUILD/ctest-soak-asan.log" "$KVR_BUILD/ctest-fuzz.log"
desktop_packages=("${KVR_DESKTOP_PACKAGES[@]}")
[ "${KVR_DESKTOP_KWIN:-0}" = 1 ] && desktop_packages+=("${KVR_DESKTOP_KWIN_PACKAGES[@]}")
step "install packages" kvr_install_packages "${KVR_BUILD_PACKAGES[@]}" "${KVR_WINDOWS_PACKAGES[@]}" \
    "${KVR_TEST_PACKAGES[@]}" "${KVR_PACKAGE_PACKAGES[@]}" "${desktop_packages[@]}" \
    "${KVR_WAYLAND_TEST_PACKAGES[@]}" || exit 1
# Clang and its fuzzer runtime for the libFuzzer run: wanted, not required (names differ across
# releases); without them that run is skipped and the summary says so.
kvr_install_packages "${KVR_FUZZ_PACKAGES[@]}" || kvr_say "clang or its fuzzer runtime could not be installed"

windows_exe=""
if step "build windows-cross" build_preset windows-cross "$KVR_BUILD_WINDOWS"; then
    windows_exe="$KVR_BUILD_WINDOWS/Kelvor.exe"
fi
linux_ok=0
step "build linux" build_preset linux "$KVR_BUILD_LINUX" -DKVR_WINDOWS_EXE="$windows_exe" && linux_ok=1
asan_ok=0
step "build linux-asan" build_preset linux-asan "$KVR_BUILD_ASAN" && asan_ok=1

step "start Xvfb" kvr_start_xvfb || exit 1
export KVR_REQUIRE_DISPLAY=1 KVR_MESSAGEBOX=stderr
# Wine prints nothing of its own and never offers to download .NET or HTML engines.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# The tests share one X server and move its pointer: they run one at a time.
if [ $linux_ok = 1 ]; then
    step "ctest linux (all tests)" run_ctest "$KVR_BUILD/ctest-linux.log" --test-dir "$KVR_BUILD_LINUX" --output-on-failure --timeout 600 "$@"
    if [ -n "$windows_exe" ]; then
        n_wine=$(ctest --test-dir "$KVR_BUILD_LINUX" -N -L wine 2>/dev/null | sed -n 's/^Total Tests: //p')
        summary+=("      (${n_wine:-0} of those ran Kelvor.exe under Wine)")
    fi
    # The Wayland checks start a headless compositor each (sway, mutter, weston) and run the
    # program there without DISPLAY: it speaks Wayland.
    n_wayland=$(ctest --test-dir "$KVR_BUILD_LINUX" -N -L wayland 2>/dev/null | sed -n 's/^Total Tests: //p')
    summary+=("      (${n_wayland:-0} of those ran Kelvor on a headless Wayland compositor)")
fi
# The platform tests and the native end-to-end checks again under a desktop, each on a fresh Xvfb
# of its own: openbox (a stacking manager), and xfwm4 with its compositor on (a compositing
# manager; without its panel, whose strut moves windows the tests place at the top; the matrix
# runs it with the panel). The tests that change root properties, the keyboard layout
# or the monitors would break the manager's own state: they run on the bare server only.
under_desktop() {
    local d="$1" log="$2" home rc
    shift 2
    local saved_display="$DISPLAY" saved_pid="$KVR_XVFB_PID"
    KVR_XVFB_PID=
    kvr_start_xvfb || { export DISPLAY="$saved_display" KVR_XVFB_PID="$saved_pid"; return 1; }
    home="$(mktemp -d)"
    if kvr_start_desktop "$d" "$home" "$KVR_BUILD/desktop-$d.log"; then
        run_ctest "$log" --test-dir "$KVR_BUILD_LINUX" --output-on-failure --timeout 300 "$@"
        rc=$?
    else
        echo "$d did not start (see $KVR_BUILD/desktop-$d.log)" >&2
        rc=1
    fi
    [ -n "$KVR_DESKTOP_PID" ] && kvr_stop_desktop "$KVR_DESKTOP_PID"
    kvr_stop_xvfb
    rm -rf "$home"
    export DISPLAY="$saved_display"
    KVR_XVFB_PID="$saved_pid"
    return $rc
}
desktop_tests='^(X11Window|X11Input|X11Program|X11Lifecycle)\.|^e2e_native_(startup|look|space|window|close)$'
desktop_bare_only='X11Monitors|Layout|Keyboard|Primary|Monitor'
if [ $linux_ok = 1 ]; then
    step "ctest linux under openbox (platform, e2e)" under_desktop openbox "$KVR_BUILD/ctest-openbox.log" \
        -R "$desktop_tests" -E "$desktop_bare_only"
    step "ctest linux under xfwm4 with its compositor (platform, e2e)" under_desktop xfwm4-compositor \
        "$KVR_BUILD/ctest-xfwm4.log" -R "$desktop_tests" -E "$desktop_bare_only"
    # Every desktop of the matrix, each on its own fresh Xvfb, through every step a user takes.
    step "desktop matrix (tests/desktop/matrix.sh)" "$KVR_ROOT/tests/desktop/matrix.sh"
fi
# The packages: made from the two trees just built, installed and started as a user would.
if [ $linux_ok = 1 ] && [ -n "$windows_exe" ]; then
    step "packages (scripts/package.sh)" "$KVR_ROOT/scripts/package.sh"
fi
if [ $asan_ok = 1 ]; then
    step "ctest linux-asan (unit tests under sanitizers)" \
        run_ctest "$KVR_BUILD/ctest-linux-asan.log" --test-dir "$KVR_BUILD_ASAN" --output-on-failure --timeout 600 -L unit
    # The platform's X tests: leaks of what Xlib hands out and reads past its lists show only here.
    step "ctest linux-asan (platform X tests under sanitizers)" \
        run_ctest "$KVR_BUILD/ctest-platform-asan.log" --test-dir "$KVR_BUILD_ASAN" --output-on-failure --timeout 600 \
        -L platform -LE unit
    # The input soak and the clean-up check, with the program built under the sanitizers.
    step "ctest linux-asan (soak under sanitizers)" \
        run_ctest "$KVR_BUILD/ctest-soak-asan.log" --test-dir "$KVR_BUILD_ASAN" --output-on-failure --timeout 600 -L soak
fi
# The window procedure under libFuzzer: a Clang build of the fuzz tests only, then a bounded run.
build_fuzz() {
    cmake -S "$KVR_ROOT" -B "$KVR_BUILD/fuzz" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVR_WERROR=ON >"$KVR_BUILD/fuzz.configure.log" 2>&1 ||
        { cat "$KVR_BUILD/fuzz.configure.log" >&2; return 1; }
    cmake --build "$KVR_BUILD/fuzz" -j2 --target wndproc_fuzz wndproc_fuzz_replay startup_failure_tests
}
if command -v clang++ >/dev/null 2>&1 && [ -n "$(clang++ -print-file-name=libclang_rt.fuzzer-x86_64.a 2>/dev/null | grep /)" ]; then
    step "build fuzz (clang)" build_fuzz &&
        step "ctest fuzz (libFuzzer, bounded)" \
            run_ctest "$KVR_BUILD/ctest-fuzz.log" --test-dir "$KVR_BUILD/fuzz" --output-on-failure --timeout 600 -L fuzz
else
    summary+=("SKIP  libFuzzer run (no clang++ with its fuzzer runtime)")
fi
exit $failed
