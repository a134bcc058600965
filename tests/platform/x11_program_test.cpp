// x11_program_test.cpp - the Linux Kelvor (and the small demo program) started as a user starts
// them: the "OpenGL Test" window goes borderless over the whole screen, idles at near-zero CPU
// and ends with status 0 on the close button; without a display the start-up failure is
// reported on standard error and the status is 255.
#include <gtest/gtest.h>

#include "x11_test_support.h"
#include "x_driver.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

// Starts a program with KVR_MESSAGEBOX=stderr, its standard error going to a file.
pid_t start(const std::string& path, const std::string& errorFile, bool withDisplay) {
    pid_t pid = fork();
    if (pid == 0) {
        if (!withDisplay) {
            unsetenv("DISPLAY");
        }
        setenv("KVR_MESSAGEBOX", "stderr", 1);
        FILE* err = std::freopen(errorFile.c_str(), "w", stderr);
        FILE* out = std::freopen("/dev/null", "w", stdout);
        (void)err;
        (void)out;
        execl(path.c_str(), path.c_str(), (char*)nullptr);
        _exit(127);
    }
    return pid;
}

// The exit status of a child that ends within the time; -1 when it was killed then, died of a
// signal or had already been reaped.
int exitStatus(pid_t& pid, double timeoutMs) {
    if (pid <= 0) {
        return -1;
    }
    int status = xdrv::waitExit(pid, timeoutMs);
    return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The window with the given title, 0 when none: a child of the root, or of a window manager's
// frame around it.
Window findWindow(Display* d, const char* title, Window parentWindow = 0, int depth = 0) {
    // A window may go away during the walk (a program's dialog or window closing, a manager's
    // frame): its BadWindow is no failure, and Xlib's default handler would end this program.
    XErrorHandler previous = depth == 0 ? XSetErrorHandler(xdrv::ignoreXErrors) : nullptr;
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    Window found = 0;
    XQueryTree(d, parentWindow != 0 ? parentWindow : DefaultRootWindow(d), &root, &parent, &children, &count);
    for (unsigned i = 0; i < count && found == 0; i++) {
        char* name = nullptr;
        if (XFetchName(d, children[i], &name) && name != nullptr) {
            if (std::string(name) == title) {
                found = children[i];
            }
            XFree(name);
        }
        if (found == 0 && depth < 2) {
            found = findWindow(d, title, children[i], depth + 1);
        }
    }
    if (children != nullptr) {
        XFree(children);
    }
    if (depth == 0) {
        XSync(d, False);
        XSetErrorHandler(previous);
    }
    return found;
}

// User plus system CPU time of a process in clock ticks.
long cpuTicks(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    size_t close = line.rfind(')');
    if (close == std::string::npos) {
        return -1;
    }
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; i++) {
        if (i == 14) {
            utime = std::atol(field.c_str());
        } else if (i == 15) {
            stime = std::atol(field.c_str());
        }
    }
    return utime + stime;
}

using xdrv::readFile;
using xdrv::stop;

// The programs under test: the Linux Kelvor when it is built, and the demo.
std::vector<std::string> programs() {
    std::vector<std::string> list;
#ifdef KVR_KELVOR_PATH
    list.push_back(KVR_KELVOR_PATH);
#endif
    list.push_back(KVR_DEMO_PATH);
    return list;
}

// Waits until a program's "OpenGL Test" window is shown at the given width (by default the
// screen's), keeping its attributes; 0 when it is not within ten seconds. The window is made again
// when its pixel format is set, so the one that is shown is the one waited for.
Window waitFullScreen(Display* d, int width = 0, XWindowAttributes* shown = nullptr) {
    if (width == 0) {
        width = DisplayWidth(d, DefaultScreen(d));
    }
    for (int i = 0; i < 1000; i++) {
        Window w = findWindow(d, "OpenGL Test");
        XWindowAttributes attributes = {};
        // The window found may be gone already: the program makes it again with its pixel format.
        XErrorHandler previous = XSetErrorHandler(xdrv::ignoreXErrors);
        bool read = w != 0 && XGetWindowAttributes(d, w, &attributes);
        XSync(d, False);
        XSetErrorHandler(previous);
        if (read && attributes.map_state == IsViewable && attributes.width == width) {
            if (shown != nullptr) {
                *shown = attributes;
            }
            return w;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}

}  // namespace

TEST(X11Program, OpensFullScreenIdlesQuietlyAndExitsZeroOnClose) {
    KVR_NEED_DISPLAY();
    Display* d = x11test::input();
    int sw = DisplayWidth(d, DefaultScreen(d)), sh = DisplayHeight(d, DefaultScreen(d));
    for (const std::string& path : programs()) {
        SCOPED_TRACE(path);
        ASSERT_EQ(findWindow(d, "OpenGL Test"), 0u) << "another \"OpenGL Test\" window is open";
        std::string errors = ::testing::TempDir() + "x11_program_err.txt";
        pid_t pid = start(path, errors, true);
        ASSERT_GT(pid, 0);
        XWindowAttributes attributes = {};
        Window w = waitFullScreen(d, sw, &attributes);
        if (w == 0) {
            stop(pid);
            FAIL() << "no full-screen \"OpenGL Test\" window; stderr: " << readFile(errors);
        }
        // It switches at once to a borderless window over the whole screen.
        int x = -1, y = -1;
        Window child = 0;
        XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &x, &y, &child);
        EXPECT_EQ(x, 0);
        EXPECT_EQ(y, 0);
        EXPECT_EQ(attributes.width, sw);
        EXPECT_EQ(attributes.height, sh);
        EXPECT_EQ(attributes.map_state, IsViewable);

        // Idle: well under 5% of one core over two seconds.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        long before = cpuTicks(pid);
        std::this_thread::sleep_for(std::chrono::seconds(2));
        long used = cpuTicks(pid) - before;
        EXPECT_LE(used, sysconf(_SC_CLK_TCK) / 10) << "CPU ticks while idle: " << used;

        XEvent event = {};
        event.xclient.type = ClientMessage;
        event.xclient.window = w;
        event.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
        XSendEvent(d, w, False, NoEventMask, &event);
        XSync(d, False);
        EXPECT_EQ(exitStatus(pid, 5000), 0) << readFile(errors);
        EXPECT_EQ(readFile(errors).find("X error"), std::string::npos)
            << "a run without an X error: " << readFile(errors);
        XSync(d, False);
        EXPECT_EQ(findWindow(d, "OpenGL Test"), 0u) << "the window is gone after the exit";
    }
}

TEST(X11Program, WithoutDisplayReportsTheFailedStepAndExits255) {
    for (const std::string& path : programs()) {
        SCOPED_TRACE(path);
        std::string errors = ::testing::TempDir() + "x11_program_nodisplay.txt";
        pid_t pid = start(path, errors, false);
        ASSERT_GT(pid, 0);
        EXPECT_EQ(exitStatus(pid, 10000), 255);
        std::string text = readFile(errors);
        EXPECT_NE(text.find("Error Occurred: "), std::string::npos) << text;
        EXPECT_NE(text.find("Creating WindowEx"), std::string::npos) << text;
    }
}

namespace {

// The number of pixels that differ between two images of the same size.
long differingPixels(XImage* a, XImage* b) {
    long count = 0;
    for (int y = 0; y < a->height; y++) {
        for (int x = 0; x < a->width; x++) {
            count += XGetPixel(a, x, y) != XGetPixel(b, x, y) ? 1 : 0;
        }
    }
    return count;
}

}  // namespace

TEST(X11Program, ContentsUncoveredByAnotherWindowAreAsBefore) {
    KVR_NEED_DISPLAY();
    Display* d = x11test::input();
    int sw = DisplayWidth(d, DefaultScreen(d)), sh = DisplayHeight(d, DefaultScreen(d));
    for (const std::string& path : programs()) {
        SCOPED_TRACE(path);
        ASSERT_EQ(findWindow(d, "OpenGL Test"), 0u) << "another \"OpenGL Test\" window is open";
        std::string errors = ::testing::TempDir() + "x11_program_uncover.txt";
        pid_t pid = start(path, errors, true);
        ASSERT_GT(pid, 0);
        Window w = waitFullScreen(d);
        if (w == 0) {
            stop(pid);
            FAIL() << "no full-screen \"OpenGL Test\" window; stderr: " << readFile(errors);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(700));  // its first frame is drawn
        Window root = DefaultRootWindow(d);
        XImage* before = XGetImage(d, root, 0, 0, (unsigned)sw, (unsigned)sh, AllPlanes, ZPixmap);
        ASSERT_NE(before, nullptr);
        // A white window over most of the viewer for half a second; no input meanwhile.
        XSetWindowAttributes attributes = {};
        attributes.override_redirect = True;
        attributes.background_pixel = WhitePixel(d, DefaultScreen(d));
        Window cover =
            XCreateWindow(d, root, 10, 10, (unsigned)sw - 20, (unsigned)sh - 20, 0, CopyFromParent,
                          InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
        XMapRaised(d, cover);
        XSync(d, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        XDestroyWindow(d, cover);
        XSync(d, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        XImage* after = XGetImage(d, root, 0, 0, (unsigned)sw, (unsigned)sh, AllPlanes, ZPixmap);
        ASSERT_NE(after, nullptr);
        EXPECT_EQ(differingPixels(before, after), 0) << "pixels changed by the cover";
        XDestroyImage(before);
        XDestroyImage(after);

        stop(pid);
    }
}

#define KVR_NEED_XVFB()                                                 \
    do {                                                                \
        if (!xdrv::haveXvfb()) {                                        \
            if (x11test::displayRequired()) {                           \
                FAIL() << "no Xvfb and KVR_REQUIRE_DISPLAY=1";          \
            }                                                           \
            GTEST_SKIP() << "no Xvfb to start a private X server with"; \
        }                                                               \
    } while (0)

TEST(X11Program, LostDisplayIsReportedWithItsOwnStatus) {
    // The program runs on a private X server, which is then killed under it.
    KVR_NEED_XVFB();
    std::string name;
    pid_t server = xdrv::startXvfb("800x600x24", &name);
    ASSERT_GT(server, 0) << "no private Xvfb could be started";
    const std::string path = programs().front();
    std::string errors = ::testing::TempDir() + "x11_program_lost.txt";
    std::string saved = std::getenv("DISPLAY") != nullptr ? std::getenv("DISPLAY") : "";
    setenv("DISPLAY", name.c_str(), 1);
    pid_t pid = start(path, errors, true);
    setenv("DISPLAY", saved.c_str(), 1);
    // Wait for its window on a connection of our own, closed again before the server goes.
    Display* d = XOpenDisplay(name.c_str());
    Window w = d != nullptr ? waitFullScreen(d) : 0;
    if (d != nullptr) {
        XCloseDisplay(d);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stop(server, 5000);
    int status = exitStatus(pid, 1000);
    std::string text = readFile(errors);
    ASSERT_NE(w, 0u) << "no window on the private display; stderr: " << text;
    EXPECT_EQ(status, 74) << "the documented status within a second; stderr: " << text;
    EXPECT_NE(text.find("lost the connection to X display \"" + name + "\""), std::string::npos) << text;
}

TEST(X11Program, MessageBoxShowsItsDialogWithoutTheFixedFont) {
    // A private X server whose font path holds no fonts at all: "fixed" cannot be loaded.
    KVR_NEED_XVFB();
    std::string name;
    pid_t server = xdrv::startXvfb("800x600x24", &name);
    ASSERT_GT(server, 0) << "no private Xvfb could be started";
    std::string fonts = ::testing::TempDir() + "kvr_no_fonts";
    mkdir(fonts.c_str(), 0755);
    std::ofstream(fonts + "/fonts.dir") << "0\n";
    // This connection stays open: the server resets its font path when its last client leaves.
    Display* d = XOpenDisplay(name.c_str());
    ASSERT_NE(d, nullptr);
    char* path[] = {const_cast<char*>(fonts.c_str())};
    XSetFontPath(d, path, 1);
    XSync(d, False);
    XFontStruct* fixed = XLoadQueryFont(d, "fixed");
    EXPECT_EQ(fixed, nullptr) << "the font path change did not take";
    if (fixed != nullptr) {
        XFreeFont(d, fixed);
    }

    pid_t child = fork();
    if (child == 0) {
        setenv("DISPLAY", name.c_str(), 1);
        unsetenv("KVR_MESSAGEBOX");
        FILE* err = std::freopen("/dev/null", "w", stderr);
        (void)err;
        MessageBoxA(NULL, "No fixed font here.", "Font Fallback Test", MB_OK | MB_ICONERROR);
        _exit(0);
    }
    ASSERT_GT(child, 0);
    Window dialog = 0;
    for (int i = 0; i < 300 && dialog == 0 && !xdrv::exited(child); i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        dialog = findWindow(d, "Font Fallback Test");
    }
    EXPECT_NE(dialog, 0u) << "the dialog is shown";
    if (dialog != 0) {
        XEvent event = {};
        event.xclient.type = ClientMessage;
        event.xclient.window = dialog;
        event.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
        XSendEvent(d, dialog, False, NoEventMask, &event);
        XSync(d, False);
    }
    EXPECT_EQ(exitStatus(child, 5000), 0) << "the dialog closes on its close button";
    XCloseDisplay(d);
    stop(server, 5000);
}

#ifdef KVR_KELVOR_PATH
namespace {

// The message box dialog of a child process, with its attributes once it is mapped; 0 when
// none appears (the child is reaped when it ended first).
Window waitDialog(Display* d, pid_t& child, const char* caption, XWindowAttributes* attributes) {
    for (int i = 0; i < 300 && !xdrv::exited(child); i++) {
        Window dialog = findWindow(d, caption);
        if (dialog != 0 && XGetWindowAttributes(d, dialog, attributes) &&
            attributes->map_state == IsViewable) {
            return dialog;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}

// A message box of the given text in a child process on the test display.
pid_t startMessageBox(const char* text, const char* caption, const char* mode = nullptr) {
    pid_t child = fork();
    if (child == 0) {
        if (mode != nullptr) {
            setenv("KVR_MESSAGEBOX", mode, 1);
        } else {
            unsetenv("KVR_MESSAGEBOX");
        }
        FILE* err = std::freopen("/dev/null", "w", stderr);
        (void)err;
        MessageBoxA(NULL, text, caption, MB_OK | MB_ICONERROR);
        _exit(0);
    }
    return child;
}

}  // namespace

TEST(X11Program, MessageBoxIsACentredDialogThatClosesOnItsButtonOrEnter) {
    KVR_NEED_DISPLAY();
    Display* d = x11test::input();
    // With KVR_MESSAGEBOX=stderr the box only writes standard error and answers at once: no
    // window is made meanwhile, not even for a moment.
    XEvent event;
    XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
    XSync(d, False);
    while (XCheckMaskEvent(d, SubstructureNotifyMask, &event)) {  // earlier tests' windows
    }
    pid_t quiet = startMessageBox("Short.", "Quiet Test", "stderr");
    ASSERT_GT(quiet, 0);
    EXPECT_EQ(exitStatus(quiet, 5000), 0) << "answered without a dialog";
    XSelectInput(d, DefaultRootWindow(d), NoEventMask);
    XSync(d, False);
    while (XCheckMaskEvent(d, SubstructureNotifyMask, &event)) {
        EXPECT_NE(event.type, CreateNotify) << "a window made by the quiet message box";
    }
    int sw = DisplayWidth(d, DefaultScreen(d)), sh = DisplayHeight(d, DefaultScreen(d));
    pid_t child = startMessageBox("Short.", "Dialog Test");
    ASSERT_GT(child, 0);
    XWindowAttributes attributes = {};
    Window dialog = waitDialog(d, child, "Dialog Test", &attributes);
    if (dialog == 0) {
        stop(child);
        FAIL() << "the dialog is not shown";
    }
    // A short text gets the narrowest dialog, centred on the screen.
    EXPECT_EQ(attributes.width, 240);
    // On the root, within its border: a window manager puts the dialog into a frame of its own.
    int dialogX = 0, dialogY = 0;
    Window dialogChild = 0;
    XTranslateCoordinates(d, dialog, DefaultRootWindow(d), 0, 0, &dialogX, &dialogY, &dialogChild);
    EXPECT_NEAR(dialogX, (sw - attributes.width) / 2, 1);
    EXPECT_NEAR(dialogY, (sh - attributes.height) / 2, 1);
    // A one-pixel black outline around a white dialog.
    XImage* edge = XGetImage(d, dialog, 0, attributes.height / 2, 1, 1, AllPlanes, ZPixmap);
    ASSERT_NE(edge, nullptr);
    EXPECT_EQ(XGetPixel(edge, 0, 0) & 0xFFFFFFu, WhitePixel(d, DefaultScreen(d)) & 0xFFFFFFu) << "background";
    XDestroyImage(edge);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned childCount = 0;
    XQueryTree(d, dialog, &root, &parent, &children, &childCount);
    if (children != nullptr) {
        XFree(children);
    }
    if (parent == root) {
        // Without a manager the outline is the dialog's own (a manager's frame replaces it).
        EXPECT_EQ(attributes.border_width, 1);
        edge = XGetImage(d, root, dialogX - 1, dialogY + attributes.height / 2, 1, 1, AllPlanes, ZPixmap);
        ASSERT_NE(edge, nullptr);
        EXPECT_EQ(XGetPixel(edge, 0, 0) & 0xFFFFFFu, 0u) << "the outline";
        XDestroyImage(edge);
    }
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(d, dialog, XInternAtom(d, "_NET_WM_WINDOW_TYPE", False), 0, 1, False, AnyPropertyType,
                       &type, &format, &count, &after, &data);
    EXPECT_NE(data, nullptr) << "a window type for the window manager";
    if (data != nullptr) {
        EXPECT_EQ(*(Atom*)data, XInternAtom(d, "_NET_WM_WINDOW_TYPE_DIALOG", False));
        XFree(data);
    }
    Window focus = 0;
    int revert = 0;
    for (int i = 0; i < 100 && focus != dialog; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        XGetInputFocus(d, &focus, &revert);
    }
    EXPECT_EQ(focus, dialog) << "the dialog takes the keyboard";

    // The OK button: an 80-pixel outline, centred, 16 pixels above the bottom, with its label inside.
    const int left = (attributes.width - 80) / 2, right = left + 80, bottom = attributes.height - 16;
    auto black = [d, dialog](int x, int y) {
        XImage* image = XGetImage(d, dialog, x, y, 1, 1, AllPlanes, ZPixmap);
        bool dark = image != nullptr && (XGetPixel(image, 0, 0) & 0xFFFFFFu) == 0;
        if (image != nullptr) {
            XDestroyImage(image);
        }
        return dark;
    };
    for (int i = 0; i < 100 && !black(attributes.width / 2, bottom); i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(black(attributes.width / 2, bottom)) << "bottom edge";
    EXPECT_FALSE(black(attributes.width / 2, bottom + 1));
    EXPECT_TRUE(black(left, bottom - 2)) << "left edge";
    EXPECT_FALSE(black(left - 1, bottom - 2));
    EXPECT_TRUE(black(right, bottom - 2)) << "right edge";
    EXPECT_FALSE(black(right + 1, bottom - 2));
    int top = bottom - 2;
    while (top > 0 && black(left, top - 1)) {
        top--;
    }
    int label = 0;
    for (int y = top + 1; y < bottom; y++) {
        for (int x = left + 1; x < right; x++) {
            label += black(x, y) ? 1 : 0;
        }
    }
    EXPECT_GT(label, 0) << "the OK label lies inside the button";
    // The text is drawn above the button.
    int text = 0;
    XImage* above =
        XGetImage(d, dialog, 0, 0, (unsigned)attributes.width, (unsigned)(top - 1), AllPlanes, ZPixmap);
    ASSERT_NE(above, nullptr);
    for (int y = 0; y < top - 1; y++) {
        for (int x = 0; x < attributes.width; x++) {
            text += (XGetPixel(above, x, y) & 0xFFFFFFu) == 0 ? 1 : 0;
        }
    }
    XDestroyImage(above);
    EXPECT_GT(text, 0) << "the text above the button";
    // Nothing lies beside the button: the text ends above it, inside a dialog tall enough.
    int beside = 0;
    XImage* below = XGetImage(d, dialog, 0, top, (unsigned)attributes.width,
                              (unsigned)(attributes.height - top), AllPlanes, ZPixmap);
    ASSERT_NE(below, nullptr);
    for (int y = 0; y < attributes.height - top; y++) {
        for (int x = 0; x < attributes.width; x++) {
            beside += (x < left || x > right) && (XGetPixel(below, x, y) & 0xFFFFFFu) == 0 ? 1 : 0;
        }
    }
    XDestroyImage(below);
    EXPECT_EQ(beside, 0) << "dark pixels beside the button";

    // A click on the button closes it, on its outline too.
    int rootX = 0, rootY = 0;
    Window under = 0;
    XTranslateCoordinates(d, dialog, DefaultRootWindow(d), left, bottom - 4, &rootX, &rootY, &under);
    x11test::moveTo(rootX, rootY);
    x11test::button(1, true);
    x11test::button(1, false);
    EXPECT_EQ(exitStatus(child, 5000), 0) << "the dialog closes on its button";

    // So does Enter.
    child = startMessageBox("Short.", "Dialog Test");
    ASSERT_GT(child, 0);
    if (waitDialog(d, child, "Dialog Test", &attributes) == 0) {
        stop(child);
        FAIL() << "the second dialog is not shown";
    }
    for (int i = 0; i < 100 && focus != findWindow(d, "Dialog Test"); i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        XGetInputFocus(d, &focus, &revert);
    }
    x11test::key(XK_Return, true);
    x11test::key(XK_Return, false);
    EXPECT_EQ(exitStatus(child, 5000), 0) << "the dialog closes on Enter";
}

TEST(X11Program, FullScreenCoversThePrimaryMonitorAndThePointerWrapsAtItsEdges) {
    KVR_NEED_PRIVATE_SERVER();  // it defines monitors
    ASSERT_TRUE(x11test::addMonitors()) << "the server has no RandR 1.5 monitors";
    const RECT primary = x11test::kPrimaryMonitor;
    const int width = primary.right - primary.left;
    Display* d = x11test::input();
    std::string errors = ::testing::TempDir() + "x11_program_monitors_err.txt";
    pid_t pid = start(KVR_KELVOR_PATH, errors, true);
    ASSERT_GT(pid, 0);
    // The full-screen window, once it is shown at the primary's width.
    XWindowAttributes attributes = {};
    Window w = waitFullScreen(d, width, &attributes);
    int x = -1, y = -1;
    Window child = 0;
    if (w != 0) {
        XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &x, &y, &child);
    }
    EXPECT_EQ(x, primary.left);
    EXPECT_EQ(y, primary.top);
    EXPECT_EQ(attributes.width, width);
    EXPECT_EQ(attributes.height, primary.bottom - primary.top);

    // Mouse look wraps the pointer at the primary's side edges to one pixel inside the other.
    auto pointerX = [d] {
        Window root = 0, under = 0;
        int rootX = 0, rootY = 0, windowX = 0, windowY = 0;
        unsigned mask = 0;
        XQueryPointer(d, DefaultRootWindow(d), &root, &under, &rootX, &rootY, &windowX, &windowY, &mask);
        return rootX;
    };
    auto waitForPointerX = [&pointerX](int wanted) {
        for (int i = 0; i < 300 && pointerX() != wanted; i++) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return pointerX();
    };
    x11test::moveTo(primary.left + width / 2, primary.top + 300);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    x11test::moveTo(primary.right - 1, primary.top + 300);
    EXPECT_EQ(waitForPointerX(primary.left + 1), primary.left + 1) << "the wrap at the right edge";
    x11test::moveTo(primary.left, primary.top + 300);
    EXPECT_EQ(waitForPointerX(primary.right - 2), primary.right - 2) << "the wrap at the left edge";
    // So it does under another client's windows over the edges: the side ones take the motion
    // themselves, the top one does not.
    x11test::EdgeWindows edges(primary);
    for (int row : {300, 0}) {
        x11test::moveTo(primary.left + width / 2, primary.top + row);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        x11test::moveTo(primary.right - 1, primary.top + row);
        EXPECT_EQ(waitForPointerX(primary.left + 1), primary.left + 1)
            << "the covered right edge, row " << row;
        x11test::moveTo(primary.left, primary.top + row);
        EXPECT_EQ(waitForPointerX(primary.right - 2), primary.right - 2)
            << "the covered left edge, row " << row;
    }

    stop(pid, 5000);
    x11test::removeMonitors();
}
#endif
