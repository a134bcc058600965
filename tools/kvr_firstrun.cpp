// kvr_firstrun.cpp - a first run of the viewer where nobody watches: starts it on $DISPLAY (a
// virtual X server), waits for the first full-screen frame of the scene, saves the screen as a
// picture, closes the window as its close box does (WM_DELETE_WINDOW) and reports how the
// program ended.
//
//   kvr_firstrun [--wine] --shot FILE.ppm PROGRAM
//
// --wine starts PROGRAM (a Windows executable) with `wine`. The exit status is the program's own
// after the close; 124 when no scene frame came or the program did not end after the close (it
// is then stopped), 125 when the driver itself could not run.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "x_driver.h"

namespace {

const char* kTitle = "OpenGL Test";
const int kDriverFailed = 125;
const int kTimedOut = 124;
// The viewer's starting view angles in degrees (the pointer sets yaw = 180 x, pitch = 90 y, with x
// and y from -1 to 1 across the screen).
const double kStartYaw = -40.3;
const double kStartPitch = 3.3;

// A screen picture: RGB, top row first.
struct Picture {
    int w = 0, h = 0;
    std::vector<unsigned char> rgb;
};

// The whole screen as it is now; empty when it cannot be read.
Picture grabScreen(Display* dpy) {
    Picture pic;
    if (!xdrv::grabScreenRgb(dpy, &pic.w, &pic.h, &pic.rgb)) {
        return Picture();
    }
    return pic;
}

// The share of pixels, 0..1, that are clearly brighter than the black sky and fog.
double litShare(const Picture& pic) {
    size_t lit = 0, n = pic.rgb.size() / 3;
    for (size_t i = 0; i < n; ++i) {
        const unsigned char* p = &pic.rgb[i * 3];
        if (p[0] > 24 || p[1] > 24 || p[2] > 24) {
            ++lit;
        }
    }
    return n ? static_cast<double>(lit) / n : 0.0;
}

// The title of a window, empty when it has none.
std::string windowTitle(Display* dpy, Window w) {
    char* name = nullptr;
    std::string title;
    if (XFetchName(dpy, w, &name) && name) {
        title = name;
    }
    if (name) {
        XFree(name);
    }
    return title;
}

// The viewable window with the program's title anywhere below `parent` that covers the most
// screen, or 0; its position on the screen and size go to r.
Window findProgramWindow(Display* dpy, Window parent, int r[4]) {
    Window root, up, *kids = nullptr, best = 0;
    unsigned int n = 0;
    if (!XQueryTree(dpy, parent, &root, &up, &kids, &n)) {
        return 0;
    }
    long bestArea = -1;
    for (unsigned int i = 0; i < n; ++i) {
        XWindowAttributes a;
        int inner[4];
        Window found = findProgramWindow(dpy, kids[i], inner);
        if (found && long(inner[2]) * inner[3] > bestArea) {
            best = found;
            bestArea = long(inner[2]) * inner[3];
            std::memcpy(r, inner, sizeof inner);
        }
        if (XGetWindowAttributes(dpy, kids[i], &a) && a.map_state == IsViewable &&
            long(a.width) * a.height > bestArea && windowTitle(dpy, kids[i]) == kTitle) {
            Window child;
            XTranslateCoordinates(dpy, kids[i], root, 0, 0, &r[0], &r[1], &child);
            r[2] = a.width;
            r[3] = a.height;
            best = kids[i];
            bestArea = long(a.width) * a.height;
        }
    }
    if (kids) {
        XFree(kids);
    }
    return best;
}

// Starts the program as a shell would, its output going where ours goes; -1 when it cannot.
pid_t startProgram(const std::string& program, bool wine) {
    pid_t pid = fork();
    if (pid == 0) {
        // Nobody can press a message box's button on a virtual screen: a failed start reports
        // on standard error instead.
        setenv("KVR_MESSAGEBOX", "stderr", 0);
        if (wine) {
            execlp("wine", "wine", program.c_str(), static_cast<char*>(nullptr));
        } else {
            execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        }
        std::fprintf(stderr, "kvr_firstrun: cannot start %s: %s\n", program.c_str(), std::strerror(errno));
        _exit(127);
    }
    return pid;
}

// The exit status a shell reports for a wait status.
int shellStatus(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

int main(int argc, char** argv) {
    bool wine = false;
    std::string shot, program;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--wine") {
            wine = true;
        } else if (arg == "--shot" && i + 1 < argc) {
            shot = argv[++i];
        } else if (program.empty() && arg[0] != '-') {
            program = arg;
        } else {
            program.clear();
            break;
        }
    }
    if (shot.empty() || program.empty()) {
        std::fprintf(stderr, "usage: kvr_firstrun [--wine] --shot FILE.ppm PROGRAM\n");
        return 2;
    }
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "kvr_firstrun: cannot open the display \"%s\"\n", XDisplayName(nullptr));
        return kDriverFailed;
    }
    XSetErrorHandler(xdrv::ignoreXErrors);
    int screenW = DisplayWidth(dpy, DefaultScreen(dpy)), screenH = DisplayHeight(dpy, DefaultScreen(dpy));
    // Windows (and Wine) report the pointer under a new window as a move, and the viewer turns
    // its view to the pointer's position at once. Park the pointer where that move gives the
    // starting view angles, so the picture shows the scene from the starting camera either way.
    int ev, er, major, minor;
    if (XTestQueryExtension(dpy, &ev, &er, &major, &minor)) {
        int x = static_cast<int>(screenW / 2 + kStartYaw / 180.0 * (screenW / 2) + 0.5);
        int y = static_cast<int>(screenH / 2 + kStartPitch / 90.0 * (screenH / 2) + 0.5);
        XTestFakeMotionEvent(dpy, -1, x, y, CurrentTime);
        XSync(dpy, False);
    }

    // Wine needs longer to start and to answer.
    double slowness = wine ? 3.0 : 1.0;
    pid_t pid = startProgram(program, wine);
    if (pid < 0) {
        std::fprintf(stderr, "kvr_firstrun: fork failed: %s\n", std::strerror(errno));
        return kDriverFailed;
    }
    int status = 0;
    Window win = 0;
    int r[4] = {0, 0, 0, 0};
    Picture pic, last;
    bool ready = false;
    uint64_t start = xdrv::nowNs(), stillSince = 0;
    while (xdrv::msBetween(start, xdrv::nowNs()) < 20000 * slowness) {
        if (xdrv::exited(pid, &status)) {
            std::fprintf(stderr, "kvr_firstrun: %s ended before it showed the scene\n", program.c_str());
            XCloseDisplay(dpy);
            return shellStatus(status) == 0 ? kTimedOut : shellStatus(status);
        }
        win = findProgramWindow(dpy, DefaultRootWindow(dpy), r);
        bool fullScreen = win && r[0] == 0 && r[1] == 0 && r[2] == screenW && r[3] == screenH;
        if (fullScreen) {
            // The first full-screen frame is the scene, not the cleared background, and it is
            // complete once two looks a moment apart see the same picture.
            pic = grabScreen(dpy);
            if (litShare(pic) < 0.05 || pic.rgb != last.rgb) {
                last = pic;
                stillSince = xdrv::nowNs();
            } else if (xdrv::msBetween(stillSince, xdrv::nowNs()) >= 200) {
                ready = true;
                break;
            }
        }
        xdrv::sleepMs(50);
    }
    if (!ready) {
        std::fprintf(stderr, "kvr_firstrun: no full-screen frame of the scene within %.0f s (%s)\n",
                     20 * slowness, win ? "a window, not yet full screen or still dark" : "no window");
        if (!pic.rgb.empty()) {
            xdrv::writePpm(shot, pic.w, pic.h, pic.rgb);
        }
        xdrv::stop(pid);
        XCloseDisplay(dpy);
        return kTimedOut;
    }
    if (!xdrv::writePpm(shot, pic.w, pic.h, pic.rgb)) {
        std::fprintf(stderr, "kvr_firstrun: cannot write %s\n", shot.c_str());
    }
    std::printf(
        "kvr_firstrun: the scene is shown full screen (%dx%d, %.0f%% of it lit); closing the window\n",
        screenW, screenH, 100 * litShare(pic));
    std::fflush(stdout);
    xdrv::sendDeleteWindow(dpy, win);
    status = xdrv::waitExit(pid, 15000 * slowness);
    XCloseDisplay(dpy);
    if (status == -1) {
        std::fprintf(stderr, "kvr_firstrun: %s did not end after its window was closed (stopped)\n",
                     program.c_str());
        return kTimedOut;
    }
    return shellStatus(status);
}
