// x_driver.cpp - driving a real program from outside on an X server.
// Every function is described in x_driver.h.
#include "x_driver.h"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace xdrv {

uint64_t nowNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000000000ull + (uint64_t)ts.tv_nsec;
}

double msBetween(uint64_t from, uint64_t to) {
    return ((double)to - (double)from) / 1.0e6;
}

void sleepMs(double ms) {
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms));
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int ignoreXErrors(Display*, XErrorEvent*) {
    return 0;
}

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

Window findWindow(Display* dpy, const char* title, const std::vector<Window>& known) {
    for (Window w : rootChildren(dpy)) {
        XWindowAttributes attrs;
        char* name = nullptr;
        bool match = std::find(known.begin(), known.end(), w) == known.end() &&
                     XGetWindowAttributes(dpy, w, &attrs) && attrs.map_state == IsViewable &&
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

bool exited(pid_t& pid, int* status) {
    int st = 0;
    pid_t r = pid > 0 ? waitpid(pid, &st, WNOHANG) : -1;
    if (r == 0) {
        return false;
    }
    if (r > 0 && status != nullptr) {
        *status = st;
    }
    pid = -1;
    return true;
}

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

void stop(pid_t& pid, double graceMs) {
    if (pid > 0) {
        kill(pid, SIGTERM);
        waitExit(pid, graceMs);
    }
}

bool haveXvfb() {
    return std::system("command -v Xvfb >/dev/null 2>&1") == 0;
}

pid_t startXvfb(const std::string& screen, std::string* name) {
    int first = 141, last = 160;
    const char* spare = std::getenv("KVR_SPARE_DISPLAYS");
    if (spare != nullptr) {
        std::sscanf(spare, "%d-%d", &first, &last);
    }
    for (int n = first; n <= last; n++) {
        std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
        int fds[2];
        if (access(lock.c_str(), F_OK) == 0 || pipe(fds) != 0) {
            continue;
        }
        pid_t pid = fork();
        if (pid == 0) {
            // The server goes when the test process does, even when that one crashes.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            close(fds[0]);
            std::string display = ":" + std::to_string(n), fd = std::to_string(fds[1]);
            int null = open("/dev/null", O_WRONLY);
            if (null >= 0) {
                dup2(null, 1);
                dup2(null, 2);
                close(null);
            }
            execlp("Xvfb", "Xvfb", display.c_str(), "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
                   "-nolisten", "tcp", "-noreset", (char*)nullptr);
            _exit(127);
        }
        close(fds[1]);
        if (pid < 0) {
            close(fds[0]);
            return -1;
        }
        // The server writes its number and a line break once it accepts clients; the pipe stays
        // open until the whole line is read, or the server fails on a broken pipe.
        std::string line;
        char c = 0;
        while (read(fds[0], &c, 1) == 1 && c != '\n') {
            line += c;
        }
        close(fds[0]);
        if (c == '\n' && std::atoi(line.c_str()) == n) {
            *name = ":" + std::to_string(n);
            return pid;
        }
        stop(pid, 2000.0);
    }
    return -1;
}

// The shift that brings a colour mask's lowest bit to bit 0.
static int maskShift(unsigned long mask) {
    int s = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++s;
    }
    return s;
}

bool grabScreenRgb(Display* dpy, int* width, int* height, std::vector<unsigned char>* rgb) {
    int w = DisplayWidth(dpy, DefaultScreen(dpy)), h = DisplayHeight(dpy, DefaultScreen(dpy));
    XImage* img = XGetImage(dpy, DefaultRootWindow(dpy), 0, 0, w, h, AllPlanes, ZPixmap);
    if (!img) {
        return false;
    }
    *width = w;
    *height = h;
    rgb->resize(static_cast<size_t>(w) * h * 3);
    int rs = maskShift(img->red_mask), gs = maskShift(img->green_mask), bs = maskShift(img->blue_mask);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            unsigned long p = XGetPixel(img, x, y);
            unsigned char* d = &(*rgb)[(static_cast<size_t>(y) * w + x) * 3];
            d[0] = static_cast<unsigned char>((p & img->red_mask) >> rs);
            d[1] = static_cast<unsigned char>((p & img->green_mask) >> gs);
            d[2] = static_cast<unsigned char>((p & img->blue_mask) >> bs);
        }
    }
    XDestroyImage(img);
    return true;
}

bool writePpm(const std::string& path, int width, int height, const std::vector<unsigned char>& rgb) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        return false;
    }
    std::fprintf(f, "P6\n%d %d\n255\n", width, height);
    size_t written = std::fwrite(rgb.data(), 1, rgb.size(), f);
    return std::fclose(f) == 0 && written == rgb.size();
}

}  // namespace xdrv
