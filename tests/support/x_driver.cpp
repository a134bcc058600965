// x_driver.cpp - driving a real program from outside on an X server.
#include "x_driver.h"

#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace xdrv {

// Monotonic time in nanoseconds.
uint64_t nowNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000000000ull + (uint64_t)ts.tv_nsec;
}

// Milliseconds between two monotonic times.
double msBetween(uint64_t from, uint64_t to) {
    return ((double)to - (double)from) / 1.0e6;
}

// Sleeps for the given milliseconds.
void sleepMs(double ms) {
    timespec ts;
    ts.tv_sec = (time_t)(ms / 1000.0);
    ts.tv_nsec = (long)((ms - (double)ts.tv_sec * 1000.0) * 1.0e6);
    while (nanosleep(&ts, &ts) != 0) {
    }
}

// The whole content of a file, empty when it cannot be read.
std::string readFile(const std::string& path) {
    std::string text;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return text;
    }
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        text.append(buffer, n);
    }
    std::fclose(f);
    return text;
}

// True when KVR_REQUIRE_DISPLAY=1.
bool displayRequired() {
    const char* required = std::getenv("KVR_REQUIRE_DISPLAY");
    return required != nullptr && std::strcmp(required, "1") == 0;
}

// Ignores X errors.
int ignoreXErrors(Display*, XErrorEvent*) {
    return 0;
}

// The root's children, bottom first.
std::vector<Window> rootChildren(Display* dpy) {
    Window rootReturn = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    std::vector<Window> result;
    if (XQueryTree(dpy, DefaultRootWindow(dpy), &rootReturn, &parent, &children, &count)) {
        result.assign(children, children + count);
        if (children != nullptr) {
            XFree(children);
        }
    }
    return result;
}

// A viewable top-level window with the title that is not among `known`, or 0.
Window findWindow(Display* dpy, const char* title, const std::vector<Window>& known) {
    for (Window w : rootChildren(dpy)) {
        bool isKnown = false;
        for (Window k : known) {
            isKnown = isKnown || k == w;
        }
        XWindowAttributes attrs;
        char* name = nullptr;
        bool match = !isKnown && XGetWindowAttributes(dpy, w, &attrs) && attrs.map_state == IsViewable &&
                     XFetchName(dpy, w, &name) && name != nullptr && std::strcmp(name, title) == 0;
        if (name != nullptr) {
            XFree(name);
        }
        if (match) {
            return w;
        }
    }
    return 0;
}

// Polls for the window every 50 ms until it is there, the time is up or the child has ended.
Window waitForWindow(Display* dpy, const char* title, double timeoutMs, pid_t& pid, int* status,
                     const std::vector<Window>& known) {
    bool watchChild = pid > 0;
    uint64_t start = nowNs();
    while (msBetween(start, nowNs()) < timeoutMs) {
        if (watchChild && exited(pid, status)) {
            return 0;
        }
        Window w = findWindow(dpy, title, known);
        if (w != 0) {
            return w;
        }
        sleepMs(50);
    }
    return 0;
}

// Sends WM_PROTOCOLS / WM_DELETE_WINDOW to the window.
void sendDeleteWindow(Display* dpy, Window w) {
    XEvent ev;
    std::memset(&ev, 0, sizeof ev);
    ev.xclient.type = ClientMessage;
    ev.xclient.window = w;
    ev.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
    ev.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, w, False, NoEventMask, &ev);
    XSync(dpy, False);
}

// Moves the pointer through XTest on the pointer's current screen.
void movePointer(Display* dpy, int x, int y) {
    XTestFakeMotionEvent(dpy, -1, x, y, CurrentTime);
}

// Presses or releases a pointer button through XTest.
void setButton(Display* dpy, unsigned button, bool down) {
    XTestFakeButtonEvent(dpy, button, down ? True : False, CurrentTime);
}

// Presses and releases a key, a modifier held around it when one is given and the keyboard has it.
void tapKey(Display* dpy, KeySym sym, KeySym modifier) {
    KeyCode code = XKeysymToKeycode(dpy, sym);
    if (code == 0) {
        return;
    }
    KeyCode mod = modifier != NoSymbol ? XKeysymToKeycode(dpy, modifier) : 0;
    if (mod != 0) {
        XTestFakeKeyEvent(dpy, mod, True, CurrentTime);
    }
    XTestFakeKeyEvent(dpy, code, True, CurrentTime);
    XTestFakeKeyEvent(dpy, code, False, CurrentTime);
    if (mod != 0) {
        XTestFakeKeyEvent(dpy, mod, False, CurrentTime);
    }
}

// Forks and executes the program with its output redirected and its environment extended.
pid_t spawn(const std::vector<std::string>& args, const std::string& outPath, const std::string& errPath,
            bool append, const std::vector<std::pair<std::string, std::string>>& env) {
    pid_t pid = fork();
    if (pid < 0) {
        std::perror("fork");
    }
    if (pid != 0) {
        return pid;
    }
    int flags = O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC);
    int out = open(outPath.c_str(), flags, 0644);
    int err = errPath == outPath ? dup(out) : open(errPath.c_str(), flags, 0644);
    if (out < 0 || err < 0) {
        _exit(126);
    }
    dup2(out, 1);
    dup2(err, 2);
    close(out);
    close(err);
    setenv("KVR_MESSAGEBOX", "stderr", 1);
    for (const auto& entry : env) {
        setenv(entry.first.c_str(), entry.second.c_str(), 1);
    }
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

// Reaps the child if it has ended; an unknown or already reaped child counts as ended.
bool exited(pid_t& pid, int* status) {
    if (pid <= 0) {
        return true;
    }
    int st = 0;
    pid_t r = waitpid(pid, &st, WNOHANG);
    if (r == 0) {
        return false;
    }
    if (r == pid && status != nullptr) {
        *status = st;
    }
    pid = -1;
    return true;
}

// Polls every 10 ms for the child's end; kills and reaps it when the time is up.
int waitExit(pid_t& pid, double timeoutMs) {
    int status = 0;
    uint64_t start = nowNs();
    while (msBetween(start, nowNs()) < timeoutMs) {
        if (exited(pid, &status)) {
            return status;
        }
        sleepMs(10);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
    return -1;
}

// SIGTERM, a second's grace, then SIGKILL.
void stop(pid_t& pid) {
    if (pid > 0) {
        kill(pid, SIGTERM);
        waitExit(pid, 1000.0);
    }
}

}  // namespace xdrv
