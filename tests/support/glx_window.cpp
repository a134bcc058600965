// glx_window.cpp - a plain GLX window for rendering tests.
#include "glx_window.h"

#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace glxwin {

namespace {
Display* display = nullptr;
Window window = 0;
Colormap colormap = 0;
GLXContext context = nullptr;
std::string ownDisplay;
}  // namespace

// A busy Xvfb may refuse or reset a connection for a moment ("Resource temporarily
// unavailable") while its backlog is full: try again a few times.
Display* openDisplay() {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || name[0] == '\0' || !(displayRequired() || onOwnDisplay())) {
        return nullptr;
    }
    for (int attempt = 0; attempt < 20; ++attempt) {
        Display* d = XOpenDisplay(nullptr);
        if (d != nullptr) {
            return d;
        }
        struct timespec pause = {0, 50 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    return nullptr;
}

bool displayAvailable() {
    Display* d = openDisplay();
    if (d == nullptr) {
        return false;
    }
    XCloseDisplay(d);
    return true;
}

bool displayRequired() {
    const char* v = std::getenv("KVR_REQUIRE_DISPLAY");
    return v != nullptr && std::strcmp(v, "1") == 0;
}

void setOwnDisplay(const std::string& name) {
    ownDisplay = name;
}

bool onOwnDisplay() {
    const char* name = std::getenv("DISPLAY");
    return name != nullptr && !ownDisplay.empty() && ownDisplay == name;
}

std::string displayMissing() {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || name[0] == '\0') {
        return "no X display ($DISPLAY is not set)";
    }
    if (!displayRequired() && !onOwnDisplay()) {
        return std::string("not run on DISPLAY=") + name +
               ", a server this test did not start: it may be someone's desktop (set KVR_REQUIRE_DISPLAY=1 "
               "when it is a throwaway server, as scripts/test.sh does)";
    }
    return std::string("the X display ") + name + " cannot be opened";
}

bool open(int width, int height) {
    close();
    display = openDisplay();
    if (display == nullptr) {
        return false;
    }
    int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 8,   GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE,
                        8,        GLX_DEPTH_SIZE,   16,           None};
    int screen = DefaultScreen(display);
    XVisualInfo* visual = glXChooseVisual(display, screen, attributes);
    if (visual == nullptr) {
        close();
        return false;
    }
    Window root = RootWindow(display, screen);
    colormap = XCreateColormap(display, root, visual->visual, AllocNone);
    XSetWindowAttributes swa;
    std::memset(&swa, 0, sizeof swa);
    swa.colormap = colormap;
    swa.border_pixel = 0;
    swa.event_mask = StructureNotifyMask;
    window = XCreateWindow(display, root, 0, 0, unsigned(width), unsigned(height), 0, visual->depth,
                           InputOutput, visual->visual, CWColormap | CWBorderPixel | CWEventMask, &swa);
    context = glXCreateContext(display, visual, nullptr, True);
    XFree(visual);
    if (context == nullptr) {
        close();
        return false;
    }
    XStoreName(display, window, "kvr render test");
    XMapWindow(display, window);
    XEvent event;
    do {
        XWindowEvent(display, window, StructureNotifyMask, &event);
    } while (event.type != MapNotify);
    if (!glXMakeCurrent(display, window, context)) {
        close();
        return false;
    }
    glViewport(0, 0, width, height);
    return true;
}

void close() {
    if (display == nullptr) {
        return;
    }
    if (context != nullptr) {
        glXMakeCurrent(display, None, nullptr);
        glXDestroyContext(display, context);
        context = nullptr;
    }
    if (window != 0) {
        XDestroyWindow(display, window);
        window = 0;
    }
    if (colormap != 0) {
        XFreeColormap(display, colormap);
        colormap = 0;
    }
    XCloseDisplay(display);
    display = nullptr;
}

void swap() {
    if (display != nullptr && window != 0) {
        glXSwapBuffers(display, window);
    }
}

std::vector<unsigned char> readPixels(int x, int y, int width, int height, bool front) {
    std::vector<unsigned char> pixels(std::size_t(width > 0 ? width : 0) *
                                      std::size_t(height > 0 ? height : 0) * 4);
    if (pixels.empty()) {
        return pixels;
    }
    glFinish();
    glReadBuffer(front ? GL_FRONT : GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

bool writePpm(const std::string& path, const std::vector<unsigned char>& rgba, int width, int height) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    std::fprintf(f, "P6\n%d %d\n255\n", width, height);
    for (int row = height - 1; row >= 0; --row) {
        for (int col = 0; col < width; ++col) {
            const unsigned char* p = &rgba[(std::size_t(row) * std::size_t(width) + std::size_t(col)) * 4];
            std::fwrite(p, 1, 3, f);
        }
    }
    return std::fclose(f) == 0;
}

}  // namespace glxwin
