// x11_cleanup_test.cpp - a full start and close of the program against the real platform leaves
// nothing behind on the X server.
//
// WinMain runs twice in a child process (the real Xlib + GLX platform, the real application).
// The test process watches from its own connection: it waits for the "OpenGL Test" window, counts
// the child's server resources by type through the X-Resource extension while the window is
// open, closes it with WM_DELETE_WINDOW like a window manager, and once WinMain has returned (the
// child is still alive and connected) counts them again: no window, pixmap, colormap or GLX
// object may remain, the root must have the same children as before, and the second run must
// leave exactly what the first one left (nothing piles up from run to run).
//
// The X-Resource requests are made in xres_count.cpp with Xlib's own request machinery, so no
// extra client library is needed.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "kelvor.h"
#include "kvr_window.h"
#include "glx_window.h"
#include "x_driver.h"
#include "xres_count.h"

namespace {

// The counts as text, for failure messages.
std::string describe(const std::map<std::string, int>& counts) {
    std::string text;
    for (const auto& entry : counts) {
        text += entry.first + "=" + std::to_string(entry.second) + " ";
    }
    return text.empty() ? "(client gone)" : text;
}

// True for the resource types a window and its GL context bring: these must all be gone.
bool isWindowOrGlType(const std::string& type) {
    std::string upper = type;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return toupper(c); });
    return upper.find("WINDOW") != std::string::npos || upper.find("PIXMAP") != std::string::npos ||
           upper.find("COLORMAP") != std::string::npos || upper.find("GLX") != std::string::npos ||
           upper.find("DRAWABLE") != std::string::npos || upper.find("CONTEXT") != std::string::npos ||
           upper.find("SHM") != std::string::npos;
}

// Reads one int from a pipe within the timeout; false when none came.
bool readInt(int fd, int* value, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) != 1) {
        return false;
    }
    return read(fd, value, sizeof *value) == static_cast<ssize_t>(sizeof *value);
}

// The child: WinMain twice, each run started by the watcher and its exit status reported back.
[[noreturn]] void childRuns(int reportFd, int goFd, int runs) {
    // Never outlive the watcher: a failed test must not leave a window open on the server.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    setenv("KVR_MESSAGEBOX", "stderr", 1);
    for (int run = 0; run < runs; ++run) {
        int go = 0;
        if (!readInt(goFd, &go, 120000) || go != 1) {
            _exit(4);
        }
        quitFlag = 0;
        kvr_isFullscreenFlag = 0;
        kvr_screenWidth = 0;
        kvr_screenHeight = 0;
        int status = WinMain(GetModuleHandleA(NULL), NULL, const_cast<char*>(""), SW_SHOW);
        if (write(reportFd, &status, sizeof status) != static_cast<ssize_t>(sizeof status)) {
            _exit(3);
        }
    }
    // The watcher counts what the last run left on the server before the connection goes.
    int done = 0;
    readInt(goFd, &done, 120000);
    // A normal exit, so a leak checker in a sanitizer build looks at the whole process.
    exit(0);
}

const int kRuns = 2;

// Kills and reaps the child when the test ends early.
struct ChildGuard {
    pid_t& pid;
    ~ChildGuard() {
        if (!xdrv::exited(pid)) {
            xdrv::waitExit(pid, 0.0);
        }
    }
};

// Tells the child to start its next run.
bool startRun(int goFd) {
    int go = 1;
    return write(goFd, &go, sizeof go) == static_cast<ssize_t>(sizeof go);
}

TEST(RealPlatformCleanup, StartAndCloseLeaveNoWindowContextOrPixmapBehind) {
    Display* dpy = glxwin::openDisplay();
    if (dpy == nullptr) {
        if (glxwin::displayRequired()) {
            FAIL() << glxwin::displayMissing() << ", and KVR_REQUIRE_DISPLAY=1";
        }
        GTEST_SKIP() << glxwin::displayMissing();
    }
    // A window may vanish between two requests of the watching connection.
    XSetErrorHandler(xdrv::ignoreXErrors);
    int opcode = xres::opcode(dpy);
    int screenWidth = DisplayWidth(dpy, DefaultScreen(dpy));

    int report[2];
    int go[2];
    ASSERT_EQ(pipe(report), 0);
    ASSERT_EQ(pipe(go), 0);
    fflush(stdout);
    fflush(stderr);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The watcher's connection stays the watcher's.
        close(ConnectionNumber(dpy));
        close(report[0]);
        close(go[1]);
        childRuns(report[1], go[0], kRuns);
    }
    ChildGuard guard{child};
    close(report[1]);
    close(go[0]);
    std::map<std::string, int> firstAfter;

    for (int run = 0; run < kRuns; ++run) {
        SCOPED_TRACE("run " + std::to_string(run + 1));
        // The root's children before the program starts.
        XSync(dpy, False);
        std::vector<Window> before = xdrv::rootChildren(dpy);
        ASSERT_TRUE(startRun(go[1]));
        int status = -99;
        Window w = xdrv::waitForWindow(dpy, "OpenGL Test", 30000.0, child, &status, before);
        if (w == 0) {
            FAIL() << "no \"OpenGL Test\" window appeared" << (child < 0 ? " (the child ended)" : "");
        }
        // Let the start-up reach full screen, then look at what the window holds on the server.
        for (int i = 0; i < 100; ++i) {
            XWindowAttributes attrs;
            if (XGetWindowAttributes(dpy, w, &attrs) && attrs.width == screenWidth) {
                break;
            }
            xdrv::sleepMs(20);
        }
        uint32_t base = 0;
        bool baseFound = false;
        if (opcode != 0) {
            for (const xres::ClientIds& c : xres::clients(dpy, opcode)) {
                if ((static_cast<uint32_t>(w) & ~c.mask) == c.base) {
                    base = c.base;
                    baseFound = true;
                }
            }
            EXPECT_TRUE(baseFound) << "no client owns the window";
        }
        std::map<std::string, int> during;
        if (baseFound) {
            during = xres::resources(dpy, opcode, base);
            EXPECT_GE(during["WINDOW"], 1) << "the count does not see the open window: " << describe(during);
        }

        xdrv::sendDeleteWindow(dpy, w);
        if (!readInt(report[0], &status, 60000)) {
            FAIL() << "WinMain did not return within 60 s of WM_DELETE_WINDOW";
        }
        EXPECT_EQ(status, 0) << "exit status of WinMain";

        XSync(dpy, False);
        std::vector<Window> children = xdrv::rootChildren(dpy);
        EXPECT_EQ(std::set<Window>(children.begin(), children.end()),
                  std::set<Window>(before.begin(), before.end()))
            << "the root's children differ from before the start";
        if (baseFound) {
            std::map<std::string, int> after = xres::resources(dpy, opcode, base);
            for (const auto& entry : after) {
                if (isWindowOrGlType(entry.first)) {
                    EXPECT_EQ(entry.second, 0)
                        << entry.first << " left behind; while open: " << describe(during)
                        << "; after close: " << describe(after);
                }
            }
            printf("run %d: resources while open: %s\n       after close: %s\n", run + 1,
                   describe(during).c_str(), describe(after).c_str());
            if (run == 0) {
                firstAfter = after;
            } else {
                EXPECT_EQ(after, firstAfter) << "resources piled up from one run to the next: after run 1 "
                                             << describe(firstAfter) << ", after run 2 " << describe(after);
            }
        }
    }
    if (opcode == 0) {
        printf("the X server has no X-Resource extension: only the root's children were compared\n");
    }

    startRun(go[1]);  // the child may exit now
    int childStatus = xdrv::waitExit(child, 30000.0);
    EXPECT_NE(childStatus, -1) << "the child did not exit";
    EXPECT_TRUE(WIFEXITED(childStatus) && WEXITSTATUS(childStatus) == 0)
        << "child exit status 0x" << std::hex << childStatus
        << " (in a sanitizer build: a leak or an error found at exit)";
    XCloseDisplay(dpy);
    close(report[0]);
    close(go[1]);
}

}  // namespace
