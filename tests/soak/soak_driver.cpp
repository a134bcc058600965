// soak_driver.cpp - drives the real Kelvor program with a long random stream of real X input.
//
// The program is started as a child with its standard output and error sent to files. Once its
// window is up, the driver sends pointer motion (edges included, to make the full-screen wrap
// happen), wheel turns, button presses, keys (W, A, S, D, space, Escape, Enter, Alt+Enter, the
// keypad's + and -, and others), resizes and moves of the window, and iconify and restore, all
// through XTest or plain Xlib requests as a user and a window manager would. With no window
// manager on the server, the driver plays that part itself: it keeps the keyboard focus on the
// program's window and sets WM_STATE when it iconifies and restores it.
//
// Every so often it sends a bare space and waits for the line that the program prints: a
// barrier that bounds the backlog and shows the program is still alive. At the end it closes the
// window with WM_DELETE_WINDOW and checks that the program exits with 0, printed nothing but
// well-formed "pitch:%f, yaw:%f" lines, and that no sanitizer reported anything on its error
// output.
//
// Exit status: 0 pass, 1 fail, 77 skipped (no display and KVR_REQUIRE_DISPLAY is not 1).
#include "glx_window.h"
#include "x_driver.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <X11/extensions/XTest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <regex>
#include <sstream>
#include <string>

namespace {

const int kSkip = 77;
const char* const kTitle = "OpenGL Test";

// Options from the command line.
struct Options {
    std::string exe;
    std::string workDir = "/tmp";
    double seconds = 60.0;
    unsigned seed = 0;
    int barrierEvery = 40;
    double startTimeout = 60.0;
    double exitTimeout = 120.0;
};

// What was sent, by kind, for the summary.
struct Counts {
    long motions = 0;
    long edgeMotions = 0;
    long wheels = 0;
    long buttons = 0;
    long keys = 0;
    long spaces = 0;
    long altEnters = 0;
    long escapes = 0;
    long resizes = 0;
    long iconifies = 0;
    long barriers = 0;
};

Display* dpy = nullptr;
Window appWindow = 0;
pid_t child = -1;
int screenWidth = 0;
int screenHeight = 0;
bool iconified = false;
bool buttonHeld[4] = {false, false, false, false};
std::string outPath;
std::string errPath;

// Number of complete lines the program has printed so far.
long printedLines() {
    std::string text = xdrv::readFile(outPath);
    return static_cast<long>(std::count(text.begin(), text.end(), '\n'));
}

// Makes the program's window the keyboard focus, as a window manager does for a clicked window.
void focusApp() {
    if (!iconified) {
        XSetInputFocus(dpy, appWindow, RevertToPointerRoot, CurrentTime);
    }
}

// Sets the ICCCM WM_STATE of the window (1 normal, 3 iconic), as a window manager would.
void setWmState(long state) {
    Atom wmState = XInternAtom(dpy, "WM_STATE", False);
    long data[2] = {state, 0};
    XChangeProperty(dpy, appWindow, wmState, wmState, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(data), 2);
}

// Iconifies the window as a window manager does on the client's request: the request itself,
// then WM_STATE iconic and unmapping.
void iconify() {
    XIconifyWindow(dpy, appWindow, DefaultScreen(dpy));
    setWmState(3);
    XUnmapWindow(dpy, appWindow);
    iconified = true;
}

// Restores an iconified window: WM_STATE normal, mapped again, focused.
void restore() {
    setWmState(1);
    XMapWindow(dpy, appWindow);
    XSync(dpy, False);
    iconified = false;
    for (int i = 0; i < 50; ++i) {
        XWindowAttributes attrs;
        if (XGetWindowAttributes(dpy, appWindow, &attrs) && attrs.map_state == IsViewable) {
            break;
        }
        xdrv::sleepMs(2);
    }
    focusApp();
}

// Sends a bare space with the window focused and waits for its line; false when none comes in time.
bool barrier(Counts& counts, double timeout) {
    if (iconified) {
        restore();
    }
    focusApp();
    XSync(dpy, False);
    long before = printedLines();
    xdrv::tapKey(dpy, XK_space);
    XSync(dpy, False);
    ++counts.spaces;
    ++counts.barriers;
    uint64_t start = xdrv::nowNs();
    int status = 0;
    while (xdrv::msBetween(start, xdrv::nowNs()) < timeout * 1000.0) {
        if (printedLines() > before) {
            return true;
        }
        if (xdrv::exited(child, &status)) {
            fprintf(stderr, "soak: the program ended during the run (status 0x%x)\n", status);
            return false;
        }
        xdrv::sleepMs(5);
    }
    fprintf(stderr, "soak: no line printed within %.0f s after a space bar press\n", timeout);
    return false;
}

// Sends one random input of a random kind.
void randomInput(std::mt19937& rng, Counts& counts) {
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    int kind = pick(0, 99);
    if (iconified && kind >= 3) {
        // Input to an iconified window mostly goes nowhere; restore it soon.
        if (pick(0, 3) == 0) {
            restore();
        }
        return;
    }
    if (kind < 3) {
        if (iconified) {
            restore();
        } else {
            iconify();
        }
        ++counts.iconifies;
    } else if (kind < 40) {
        int x = pick(0, screenWidth - 1);
        int y = pick(0, screenHeight - 1);
        int edge = pick(0, 9);
        if (edge == 0) {
            x = 0;
            ++counts.edgeMotions;
        } else if (edge == 1) {
            x = screenWidth - 1;
            ++counts.edgeMotions;
        }
        XTestFakeMotionEvent(dpy, DefaultScreen(dpy), x, y, CurrentTime);
        ++counts.motions;
    } else if (kind < 50) {
        unsigned button = pick(0, 1) == 0 ? 4 : 5;
        XTestFakeButtonEvent(dpy, button, True, CurrentTime);
        XTestFakeButtonEvent(dpy, button, False, CurrentTime);
        ++counts.wheels;
    } else if (kind < 58) {
        unsigned button = static_cast<unsigned>(pick(1, 3));
        buttonHeld[button] = !buttonHeld[button];
        XTestFakeButtonEvent(dpy, button, buttonHeld[button] ? True : False, CurrentTime);
        ++counts.buttons;
    } else if (kind < 82) {
        static const KeySym walkKeys[] = {XK_w, XK_a, XK_s, XK_d, XK_W, XK_KP_Add, XK_KP_Subtract, XK_Return};
        xdrv::tapKey(dpy, walkKeys[pick(0, static_cast<int>(sizeof(walkKeys) / sizeof(walkKeys[0])) - 1)]);
        ++counts.keys;
    } else if (kind < 86) {
        xdrv::tapKey(dpy, XK_space);
        ++counts.spaces;
    } else if (kind < 89) {
        xdrv::tapKey(dpy, XK_Escape);
        ++counts.escapes;
    } else if (kind < 92) {
        xdrv::tapKey(dpy, XK_Return, XK_Alt_L);
        ++counts.altEnters;
    } else if (kind < 95) {
        // Other keys: function keys, arrows, digits, Shift and Control combinations, Alt with a letter.
        static const KeySym otherKeys[] = {XK_F1,  XK_F10, XK_F12,       XK_Left, XK_Up, XK_1,
                                           XK_Tab, XK_z,   XK_BackSpace, XK_KP_5, XK_q,  XK_Delete};
        static const KeySym modifiers[] = {NoSymbol, XK_Shift_L, XK_Control_L, XK_Alt_L};
        KeySym sym = otherKeys[pick(0, static_cast<int>(sizeof(otherKeys) / sizeof(otherKeys[0])) - 1)];
        xdrv::tapKey(dpy, sym, modifiers[pick(0, 3)]);
        ++counts.keys;
    } else {
        int w = pick(0, 4) == 0 ? pick(1, 3) : pick(50, screenWidth);
        int h = pick(0, 4) == 0 ? pick(1, 3) : pick(50, screenHeight);
        if (pick(0, 1) == 0) {
            XResizeWindow(dpy, appWindow, static_cast<unsigned>(w), static_cast<unsigned>(h));
        } else {
            XMoveResizeWindow(dpy, appWindow, pick(-50, screenWidth / 2), pick(-50, screenHeight / 2),
                              static_cast<unsigned>(w), static_cast<unsigned>(h));
        }
        ++counts.resizes;
        // A window manager would keep the focus on the program's window after a move.
        focusApp();
    }
}

// Releases whatever button the stream left pressed.
void releaseAll() {
    for (unsigned b = 1; b <= 3; ++b) {
        if (buttonHeld[b]) {
            XTestFakeButtonEvent(dpy, b, False, CurrentTime);
            buttonHeld[b] = false;
        }
    }
    XSync(dpy, False);
}

// Checks the printed lines; every one must be a well-formed view-angle line.
bool checkOutput(long* lines) {
    static const std::regex lineFormat(R"(pitch:-?[0-9]+\.[0-9]{6}, yaw:-?[0-9]+\.[0-9]{6})");
    std::string text = xdrv::readFile(outPath);
    std::istringstream in(text);
    std::string line;
    bool ok = true;
    *lines = 0;
    while (std::getline(in, line)) {
        ++*lines;
        if (!std::regex_match(line, lineFormat)) {
            fprintf(stderr, "soak: malformed output line %ld: \"%s\"\n", *lines, line.c_str());
            ok = false;
        }
    }
    if (!text.empty() && text.back() != '\n') {
        fprintf(stderr, "soak: output does not end with a line feed\n");
        ok = false;
    }
    return ok;
}

// Checks the error output for sanitizer reports.
bool checkErrors() {
    std::string text = xdrv::readFile(errPath);
    static const char* const markers[] = {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer",
                                          "runtime error:",          "Invalid read",
                                          "Invalid write",           "definitely lost"};
    bool ok = true;
    for (const char* marker : markers) {
        if (text.find(marker) != std::string::npos) {
            fprintf(stderr, "soak: the program's error output holds \"%s\"\n", marker);
            ok = false;
        }
    }
    if (!ok) {
        fprintf(stderr, "---- program stderr ----\n%s\n------------------------\n", text.c_str());
    }
    return ok;
}

// Reads the command line; false on a bad one.
bool parseOptions(int argc, char** argv, Options& opt) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (arg == name && i + 1 < argc) {
                return argv[++i];
            }
            return nullptr;
        };
        const char* v = nullptr;
        if ((v = value("--exe"))) {
            opt.exe = v;
        } else if ((v = value("--seconds"))) {
            opt.seconds = atof(v);
        } else if ((v = value("--seed"))) {
            opt.seed = static_cast<unsigned>(strtoul(v, nullptr, 0));
        } else if ((v = value("--workdir"))) {
            opt.workDir = v;
        } else if ((v = value("--barrier-every"))) {
            opt.barrierEvery = atoi(v);
        } else {
            fprintf(stderr,
                    "usage: %s --exe PATH [--seconds N] [--seed N] [--workdir DIR] [--barrier-every N]\n",
                    argv[0]);
            return false;
        }
    }
    if (const char* s = getenv("KVR_SOAK_SECONDS")) {
        opt.seconds = atof(s);
    }
    if (opt.seed == 0) {
        opt.seed = static_cast<unsigned>(time(nullptr));
    }
    return !opt.exe.empty() && opt.barrierEvery > 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    if (!parseOptions(argc, argv, opt)) {
        return 1;
    }
    bool displayRequired = glxwin::displayRequired();
    dpy = glxwin::openDisplay();
    if (dpy == nullptr) {
        fprintf(stderr, "soak: %s%s\n", glxwin::displayMissing().c_str(),
                displayRequired ? " (KVR_REQUIRE_DISPLAY=1)" : "; skipped");
        return displayRequired ? 1 : kSkip;
    }
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (!XTestQueryExtension(dpy, &eventBase, &errorBase, &major, &minor)) {
        fprintf(stderr, "soak: the X server has no XTEST extension\n");
        return 1;
    }
    XSetErrorHandler(xdrv::ignoreXErrors);
    screenWidth = DisplayWidth(dpy, DefaultScreen(dpy));
    screenHeight = DisplayHeight(dpy, DefaultScreen(dpy));
    mkdir(opt.workDir.c_str(), 0755);
    printf("soak: %s, seed %u, %.0f s, screen %dx%d\n", opt.exe.c_str(), opt.seed, opt.seconds, screenWidth,
           screenHeight);

    outPath = opt.workDir + "/soak-stdout.txt";
    errPath = opt.workDir + "/soak-stderr.txt";
    child = xdrv::spawn({opt.exe}, outPath, errPath, false);
    if (child < 0) {
        return 1;
    }
    int status = 0;
    appWindow = xdrv::waitForWindow(dpy, kTitle, opt.startTimeout * 1000.0, child, &status);
    if (appWindow == 0 && child < 0) {
        fprintf(stderr, "soak: the program ended before its window appeared (status 0x%x)\n%s\n", status,
                xdrv::readFile(errPath).c_str());
        return 1;
    }
    if (appWindow == 0) {
        fprintf(stderr, "soak: no window titled \"%s\" within %.0f s\n", kTitle, opt.startTimeout);
        xdrv::waitExit(child, 0.0);
        return 1;
    }
    // Let the start-up finish its switch to full screen, then take the focus for the program.
    xdrv::sleepMs(300);
    focusApp();
    XSync(dpy, False);

    std::mt19937 rng(opt.seed);
    Counts counts;
    long inputs = 0;
    bool ok = true;
    uint64_t start = xdrv::nowNs();
    while (xdrv::msBetween(start, xdrv::nowNs()) < opt.seconds * 1000.0) {
        randomInput(rng, counts);
        ++inputs;
        XFlush(dpy);
        if (inputs % opt.barrierEvery == 0) {
            if (!barrier(counts, 60.0)) {
                ok = false;
                break;
            }
        } else {
            xdrv::sleepMs(std::uniform_int_distribution<int>(0, 4)(rng));
        }
    }
    releaseAll();
    if (ok) {
        // A last barrier: everything sent so far has been handled before the window is closed.
        ok = barrier(counts, 60.0);
    }

    int exitStatus = -1;
    if (child > 0) {
        xdrv::sendDeleteWindow(dpy, appWindow);
        exitStatus = xdrv::waitExit(child, opt.exitTimeout * 1000.0);
        if (exitStatus == -1) {
            fprintf(stderr, "soak: the program did not exit within %.0f s of WM_DELETE_WINDOW; killed it\n",
                    opt.exitTimeout);
        }
    }
    long lines = 0;
    bool outputOk = checkOutput(&lines);
    bool errorsOk = checkErrors();

    printf(
        "soak: %ld inputs: %ld motions (%ld at a side edge), %ld wheel turns, %ld button events, %ld keys, "
        "%ld space bars, %ld Escapes, %ld Alt+Enters, %ld resizes, %ld iconify/restore; %ld barriers; %ld "
        "lines printed\n",
        inputs, counts.motions, counts.edgeMotions, counts.wheels, counts.buttons, counts.keys, counts.spaces,
        counts.escapes, counts.altEnters, counts.resizes, counts.iconifies, counts.barriers, lines);

    if (exitStatus == -1 || !WIFEXITED(exitStatus) || WEXITSTATUS(exitStatus) != 0) {
        if (exitStatus != -1 && WIFSIGNALED(exitStatus)) {
            fprintf(stderr, "soak: the program was killed by signal %d\n", WTERMSIG(exitStatus));
        } else if (exitStatus != -1) {
            fprintf(stderr, "soak: the program exited with %d, not 0\n", WEXITSTATUS(exitStatus));
        }
        ok = false;
    }
    if (lines < counts.barriers || lines > counts.spaces) {
        fprintf(stderr, "soak: %ld lines printed for %ld barrier and %ld space bar presses in all\n", lines,
                counts.barriers, counts.spaces);
        ok = false;
    }
    ok = outputOk && errorsOk && ok;
    XCloseDisplay(dpy);
    printf("soak: %s\n", ok ? "passed" : "FAILED");
    return ok ? 0 : 1;
}
