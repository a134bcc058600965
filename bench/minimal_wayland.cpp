// minimal_wayland.cpp - the smallest Wayland program of the viewer's kind, the baseline of the
// Wayland start-up and idle figures (what minimal_glx.cpp is on X11): it opens an xdg toplevel,
// asks for full screen, waits for the configure that gives its size, makes a desktop GL context
// through EGL (8 bits a channel, a 16-bit depth buffer), clears to grey, swaps once, and then
// either stays for a while or idles the way the viewer does (dispatch what is pending, sleep
// 50 ms) until killed.
//
//   kvr_bench_minimal_wayland [--hold <ms>] [--idle]
#include <EGL/egl.h>
#include <GL/gl.h>
#include <poll.h>
#include <time.h>
#include <wayland-client.h>
#include <wayland-egl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "xdg-shell-client.h"

namespace {

wl_compositor* compositor = nullptr;
xdg_wm_base* wmBase = nullptr;
wl_output* output = nullptr;
int outputWidth = 0;
int outputHeight = 0;
int configuredWidth = 0;
int configuredHeight = 0;
bool configured = false;
bool fullScreenGranted = false;

// Sleeps for the given milliseconds.
void sleepMs(long ms) {
    timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = (ms % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0) {
    }
}

void ping(void*, xdg_wm_base* base, uint32_t serial) {
    xdg_wm_base_pong(base, serial);
}
const xdg_wm_base_listener wmBaseListener = {ping};

void outputGeometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*,
                    int32_t) {}
void outputMode(void*, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
    if (flags & WL_OUTPUT_MODE_CURRENT) {
        outputWidth = width;
        outputHeight = height;
    }
}
void outputDone(void*, wl_output*) {}
void outputScale(void*, wl_output*, int32_t) {}
const wl_output_listener outputListener = {outputGeometry, outputMode, outputDone,
                                           outputScale,    nullptr,    nullptr};

void global(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
        compositor = static_cast<wl_compositor*>(
            wl_registry_bind(registry, name, &wl_compositor_interface, version < 4 ? version : 4));
    } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0) {
        wmBase = static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
        xdg_wm_base_add_listener(wmBase, &wmBaseListener, nullptr);
    } else if (std::strcmp(interface, wl_output_interface.name) == 0 && output == nullptr) {
        output = static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 2));
        wl_output_add_listener(output, &outputListener, nullptr);
    }
}
void globalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener registryListener = {global, globalRemove};

void surfaceConfigure(void*, xdg_surface* surface, uint32_t serial) {
    xdg_surface_ack_configure(surface, serial);
    configured = true;
}
const xdg_surface_listener surfaceListener = {surfaceConfigure};

void toplevelConfigure(void*, xdg_toplevel*, int32_t width, int32_t height, wl_array* states) {
    configuredWidth = width;
    configuredHeight = height;
    fullScreenGranted = false;
    const uint32_t* state = nullptr;
    for (state = static_cast<const uint32_t*>(states->data);
         (const char*)state < static_cast<const char*>(states->data) + states->size; state++) {
        if (*state == XDG_TOPLEVEL_STATE_FULLSCREEN) {
            fullScreenGranted = true;
        }
    }
}
void toplevelClose(void*, xdg_toplevel*) {
    std::exit(0);
}
const xdg_toplevel_listener toplevelListener = {toplevelConfigure, toplevelClose, nullptr, nullptr};

}  // namespace

// Opens the full-screen toplevel, shows one cleared frame, then holds or idles.
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
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "kvr_bench_minimal_wayland: cannot connect to the compositor\n");
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, nullptr);
    wl_display_roundtrip(display);
    wl_display_roundtrip(display);
    if (compositor == nullptr || wmBase == nullptr) {
        std::fprintf(stderr, "kvr_bench_minimal_wayland: no wl_compositor or xdg_wm_base\n");
        return 1;
    }
    wl_surface* surface = wl_compositor_create_surface(compositor);
    xdg_surface* xdgSurface = xdg_wm_base_get_xdg_surface(wmBase, surface);
    xdg_surface_add_listener(xdgSurface, &surfaceListener, nullptr);
    xdg_toplevel* toplevel = xdg_surface_get_toplevel(xdgSurface);
    xdg_toplevel_add_listener(toplevel, &toplevelListener, nullptr);
    xdg_toplevel_set_title(toplevel, "kvr bench minimal");
    xdg_toplevel_set_app_id(toplevel, "kvr-bench-minimal");
    xdg_toplevel_set_fullscreen(toplevel, nullptr);
    wl_surface_commit(surface);
    // The first configure may leave the size to the client (sway grants full screen only once the
    // surface has a buffer): the output's size then.
    while (!configured) {
        if (wl_display_dispatch(display) < 0) {
            return 1;
        }
    }
    int width = configuredWidth > 0 ? configuredWidth : outputWidth > 0 ? outputWidth : 1920;
    int height = configuredHeight > 0 ? configuredHeight : outputHeight > 0 ? outputHeight : 1080;

    EGLDisplay egl = eglGetDisplay((EGLNativeDisplayType)display);
    if (egl == EGL_NO_DISPLAY || !eglInitialize(egl, nullptr, nullptr) || !eglBindAPI(EGL_OPENGL_API)) {
        std::fprintf(stderr, "kvr_bench_minimal_wayland: no EGL for desktop GL\n");
        return 1;
    }
    // An exact 8/8/8 configuration: EGL ranks deeper ones first.
    const EGLint attributes[] = {EGL_SURFACE_TYPE,
                                 EGL_WINDOW_BIT,
                                 EGL_RENDERABLE_TYPE,
                                 EGL_OPENGL_BIT,
                                 EGL_RED_SIZE,
                                 8,
                                 EGL_GREEN_SIZE,
                                 8,
                                 EGL_BLUE_SIZE,
                                 8,
                                 EGL_DEPTH_SIZE,
                                 16,
                                 EGL_NONE};
    EGLConfig configs[64];
    EGLint count = 0;
    eglChooseConfig(egl, attributes, configs, 64, &count);
    EGLConfig config = nullptr;
    for (EGLint i = 0; i < count && config == nullptr; i++) {
        EGLint r = 0, g = 0, b = 0;
        eglGetConfigAttrib(egl, configs[i], EGL_RED_SIZE, &r);
        eglGetConfigAttrib(egl, configs[i], EGL_GREEN_SIZE, &g);
        eglGetConfigAttrib(egl, configs[i], EGL_BLUE_SIZE, &b);
        if (r == 8 && g == 8 && b == 8) {
            config = configs[i];
        }
    }
    if (config == nullptr) {
        std::fprintf(stderr, "kvr_bench_minimal_wayland: no 8/8/8 EGL configuration\n");
        return 1;
    }
    wl_egl_window* native = wl_egl_window_create(surface, width, height);
    EGLSurface eglSurface = eglCreateWindowSurface(egl, config, (EGLNativeWindowType)native, nullptr);
    EGLContext context = eglCreateContext(egl, config, EGL_NO_CONTEXT, nullptr);
    if (eglSurface == EGL_NO_SURFACE || context == EGL_NO_CONTEXT ||
        !eglMakeCurrent(egl, eglSurface, eglSurface, context)) {
        std::fprintf(stderr, "kvr_bench_minimal_wayland: no rendering context\n");
        return 1;
    }
    eglSwapInterval(egl, 0);
    glViewport(0, 0, width, height);
    glClearColor(0.25f, 0.25f, 0.25f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    eglSwapBuffers(egl, eglSurface);
    // Full screen comes with a later configure; a size other than the one drawn is drawn again.
    for (int i = 0; i < 20 && !fullScreenGranted; i++) {
        wl_display_roundtrip(display);
    }
    if (configuredWidth > 0 && configuredHeight > 0 &&
        (configuredWidth != width || configuredHeight != height)) {
        width = configuredWidth;
        height = configuredHeight;
        wl_egl_window_resize(native, width, height, 0, 0);
        glViewport(0, 0, width, height);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        eglSwapBuffers(egl, eglSurface);
    }
    wl_display_flush(display);

    if (idle) {
        for (;;) {
            // What is pending, without blocking; then the viewer's kind of sleep.
            while (wl_display_prepare_read(display) != 0) {
                wl_display_dispatch_pending(display);
            }
            wl_display_flush(display);
            pollfd pfd = {wl_display_get_fd(display), POLLIN, 0};
            if (poll(&pfd, 1, 0) > 0) {
                wl_display_read_events(display);
            } else {
                wl_display_cancel_read(display);
            }
            wl_display_dispatch_pending(display);
            sleepMs(50);
        }
    }
    sleepMs(holdMs);
    eglMakeCurrent(egl, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(egl, context);
    eglDestroySurface(egl, eglSurface);
    wl_egl_window_destroy(native);
    eglTerminate(egl);
    xdg_toplevel_destroy(toplevel);
    xdg_surface_destroy(xdgSurface);
    wl_surface_destroy(surface);
    wl_display_disconnect(display);
    return 0;
}
