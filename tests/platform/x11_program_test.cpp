// x11_program_test.cpp - the Linux Kelvor (and the small demo program) started as a user starts
// them: the "OpenGL Test" window goes borderless over the whole screen, idles at near-zero CPU
// and ends with status 0 on the close button; without a display the start-up failure is
// reported on standard error and the status is 255.
#include <gtest/gtest.h>

#include "x11_test_support.h"

#include <X11/Xutil.h>
#include <signal.h>
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

// Waits for a child's exit status; -1000 when it is still running after the timeout.
int waitExit(pid_t pid, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 10) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1000;
}

// The window with the given title, 0 when none: a child of the root, or of a window manager's
// frame around it.
Window findWindow(Display* d, const char* title, Window parentWindow = 0, int depth = 0) {
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

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The programs under test: the Linux Kelvor when it is built, and the demo.
std::vector<std::string> programs() {
    std::vector<std::string> list;
#ifdef KVR_KELVOR_PATH
    list.push_back(KVR_KELVOR_PATH);
#endif
    list.push_back(KVR_DEMO_PATH);
    return list;
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
        // The window is made again when its pixel format is set: wait for the one that is shown.
        Window w = 0;
        XWindowAttributes attributes = {};
        for (int i = 0; i < 1000; i++) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            w = findWindow(d, "OpenGL Test");
            if (w != 0 && XGetWindowAttributes(d, w, &attributes) && attributes.map_state == IsViewable &&
                attributes.width == sw) {
                break;
            }
        }
        if (w == 0) {
            kill(pid, SIGKILL);
            waitExit(pid, 2000);
            FAIL() << "no \"OpenGL Test\" window; stderr: " << readFile(errors);
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
        int status = waitExit(pid, 5000);
        if (status == -1000) {
            kill(pid, SIGKILL);
            waitExit(pid, 2000);
        }
        EXPECT_EQ(status, 0) << readFile(errors);
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
        int status = waitExit(pid, 10000);
        if (status == -1000) {
            kill(pid, SIGKILL);
            waitExit(pid, 2000);
        }
        EXPECT_EQ(status, 255);
        std::string text = readFile(errors);
        EXPECT_NE(text.find("Error Occurred: "), std::string::npos) << text;
        EXPECT_NE(text.find("Creating WindowEx"), std::string::npos) << text;
    }
}

#ifdef KVR_KELVOR_PATH
TEST(X11Program, FullScreenCoversThePrimaryMonitorAndThePointerWrapsAtItsEdges) {
    KVR_NEED_DISPLAY();
    ASSERT_TRUE(x11test::addMonitors()) << "the server has no RandR 1.5 monitors";
    const RECT primary = x11test::kPrimaryMonitor;
    const int width = primary.right - primary.left;
    Display* d = x11test::input();
    std::string errors = ::testing::TempDir() + "x11_program_monitors_err.txt";
    pid_t pid = start(KVR_KELVOR_PATH, errors, true);
    ASSERT_GT(pid, 0);
    // The full-screen window, once it is shown at the primary's width.
    Window w = 0;
    XWindowAttributes attributes = {};
    for (int i = 0; i < 1000; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        w = findWindow(d, "OpenGL Test");
        if (w != 0 && XGetWindowAttributes(d, w, &attributes) && attributes.map_state == IsViewable &&
            attributes.width == width) {
            break;
        }
    }
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

    kill(pid, SIGTERM);
    if (waitExit(pid, 5000) == -1000) {
        kill(pid, SIGKILL);
        waitExit(pid, 2000);
    }
    x11test::removeMonitors();
}
#endif
