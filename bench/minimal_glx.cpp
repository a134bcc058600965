// minimal_glx.cpp - the smallest program of the viewer's kind, the baseline of the start-up,
// idle and memory figures: it opens a double-buffered RGBA GLX window with a 16-bit depth
// buffer covering the screen, clears it to grey, swaps once, and then either stays for a
// while or idles the way the viewer does (drain pending events, sleep 50 ms) until killed.
//
//   kvr_bench_minimal [--hold <ms>] [--idle]
#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Sleeps for the given milliseconds.
void sleepMs(long ms) {
    timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = (ms % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0) {
    }
}

}  // namespace

// Opens the window, shows one cleared frame, then holds or idles.
int main(int argc, char** argv) {
    long holdMs = 0;
    bool idle = false;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--hold") == 0 && i + 1 < argc) {
            holdMs = std::atol(argv[++i]);
        } else if (std::strcmp(argv[i], "--idle") == 0) {
            idle = true;
        }
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "kvr_bench_minimal: cannot open the display\n");
        return 1;
    }
    int screen = DefaultScreen(display);
    int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 8,   GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE,
                        8,        GLX_DEPTH_SIZE,   16,           None};
    XVisualInfo* visual = glXChooseVisual(display, screen, attributes);
    if (visual == nullptr) {
        std::fprintf(stderr, "kvr_bench_minimal: no double-buffered RGBA visual\n");
        return 1;
    }
    Window root = RootWindow(display, screen);
    unsigned width = (unsigned)DisplayWidth(display, screen);
    unsigned height = (unsigned)DisplayHeight(display, screen);
    XSetWindowAttributes swa;
    std::memset(&swa, 0, sizeof swa);
    swa.colormap = XCreateColormap(display, root, visual->visual, AllocNone);
    swa.border_pixel = 0;
    swa.event_mask = StructureNotifyMask | PointerMotionMask | KeyPressMask;
    Window window = XCreateWindow(display, root, 0, 0, width, height, 0, visual->depth, InputOutput,
                                  visual->visual, CWColormap | CWBorderPixel | CWEventMask, &swa);
    GLXContext context = glXCreateContext(display, visual, nullptr, True);
    XFree(visual);
    if (context == nullptr) {
        std::fprintf(stderr, "kvr_bench_minimal: no rendering context\n");
        return 1;
    }
    XStoreName(display, window, "kvr bench minimal");
    XMapWindow(display, window);
    XEvent event;
    do {
        XWindowEvent(display, window, StructureNotifyMask, &event);
    } while (event.type != MapNotify);
    glXMakeCurrent(display, window, context);
    glViewport(0, 0, (GLsizei)width, (GLsizei)height);
    glClearColor(0.25f, 0.25f, 0.25f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glXSwapBuffers(display, window);
    XSync(display, False);

    if (idle) {
        for (;;) {
            while (XPending(display) > 0) {
                XNextEvent(display, &event);
            }
            sleepMs(50);
        }
    }
    sleepMs(holdMs);
    glXMakeCurrent(display, None, nullptr);
    glXDestroyContext(display, context);
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    return 0;
}
