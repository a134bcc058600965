// wl_gl.cpp - device contexts, pixel formats, rendering contexts and buffer swaps on EGL, with
// desktop OpenGL (a compatibility context, so the fixed-function pipeline is there).
//
// A pixel format is a 1-based index into the EGL configs that draw to windows with desktop
// OpenGL at exactly 8 bits per colour: deeper configs come first in EGL's own order, and a
// compositor may show a 10-bit window black. ChoosePixelFormat picks the config that
// core_pixelformat.cpp ranks first. Setting it makes the window's EGL surface. Swaps never wait
// for the compositor's frame callback (swap interval 0): a hidden window would hold them forever.
#include "wl_state.h"

#include <vector>

// One rendering context.
struct KvrWlContext {
    bool used;
    unsigned generation;
    EGLContext context;
    int format;
    EGLSurface surface;  // the surface it is current on, EGL_NO_SURFACE when none
};

#define KVR_WL_MAX_CONTEXTS 16

// Module state: the usable configs and the context table.
static std::vector<EGLConfig> configs;
static KvrWlContext contexts[KVR_WL_MAX_CONTEXTS];
static int currentContext = -1;

// One attribute of a config, 0 when it cannot be read.
static EGLint attribute(EGLConfig config, EGLint name) {
    EGLint value = 0;
    if (eglGetConfigAttrib(kvr_wl.egl, config, name, &value) != EGL_TRUE) {
        return 0;
    }
    return value;
}

// Starts EGL on the connection once and lists the usable configs; false when there are none.
static bool loadConfigs() {
    if (kvr_wl.display == nullptr) {
        return false;
    }
    if (!kvr_wl.eglReady) {
        kvr_wl.egl = eglGetPlatformDisplay(EGL_PLATFORM_WAYLAND_KHR, kvr_wl.display, nullptr);
        EGLint major = 0, minor = 0;
        if (kvr_wl.egl == EGL_NO_DISPLAY || eglInitialize(kvr_wl.egl, &major, &minor) != EGL_TRUE) {
            kvr_wl.egl = EGL_NO_DISPLAY;
            return false;
        }
        kvr_wl.eglReady = true;
        if (eglBindAPI(EGL_OPENGL_API) != EGL_TRUE) {
            return false;
        }
        EGLint count = 0;
        eglGetConfigs(kvr_wl.egl, nullptr, 0, &count);
        std::vector<EGLConfig> all(count > 0 ? (size_t)count : 0);
        if (count > 0 && eglGetConfigs(kvr_wl.egl, all.data(), count, &count) == EGL_TRUE) {
            all.resize((size_t)count);
            for (EGLConfig c : all) {
                bool usable = (attribute(c, EGL_SURFACE_TYPE) & EGL_WINDOW_BIT) != 0 &&
                              (attribute(c, EGL_RENDERABLE_TYPE) & EGL_OPENGL_BIT) != 0 &&
                              attribute(c, EGL_COLOR_BUFFER_TYPE) == EGL_RGB_BUFFER &&
                              attribute(c, EGL_RED_SIZE) == 8 && attribute(c, EGL_GREEN_SIZE) == 8 &&
                              attribute(c, EGL_BLUE_SIZE) == 8;
                if (usable) {
                    configs.push_back(c);
                }
            }
        }
    }
    return !configs.empty();
}

// What the ranking needs of a config. Window surfaces are double-buffered; EGL has neither
// accumulation nor auxiliary buffers.
static KvrCoreFormat describeConfig(EGLConfig c) {
    KvrCoreFormat f = KvrCoreFormat();
    f.rgba = true;
    f.window = true;
    f.doubleBuffer = true;
    f.level = attribute(c, EGL_LEVEL);
    f.slow = attribute(c, EGL_CONFIG_CAVEAT) == EGL_SLOW_CONFIG;
    f.trueColour = true;
    f.colourBits = attribute(c, EGL_RED_SIZE) + attribute(c, EGL_GREEN_SIZE) + attribute(c, EGL_BLUE_SIZE);
    f.alphaBits = attribute(c, EGL_ALPHA_SIZE);
    f.depthBits = attribute(c, EGL_DEPTH_SIZE);
    f.stencilBits = attribute(c, EGL_STENCIL_SIZE);
    f.samples = attribute(c, EGL_SAMPLES);
    return f;
}

int kvr_wlChoosePixelFormat(HDC hdc, const PIXELFORMATDESCRIPTOR* pfd) {
    if (pfd == nullptr || (kvr_wlFindDcWindow(hdc) == nullptr && !kvr_wlIsDesktopDc(hdc)) || !loadConfigs()) {
        return 0;
    }
    int best = 0;
    int bestKey[KVR_CORE_FORMAT_KEYS] = {0};
    for (size_t i = 0; i < configs.size(); i++) {
        int key[KVR_CORE_FORMAT_KEYS];
        if (!kvr_coreRankFormat(describeConfig(configs[i]), pfd, key)) {
            continue;
        }
        if (best == 0 || kvr_coreRanksBefore(key, bestKey)) {
            best = (int)i + 1;
            for (int k = 0; k < KVR_CORE_FORMAT_KEYS; k++) {
                bestKey[k] = key[k];
            }
        }
    }
    return best;
}

BOOL kvr_wlSetPixelFormat(HDC hdc, int format) {
    KvrWlWindow* w = kvr_wlFindDcWindow(hdc);
    if (w == nullptr || !loadConfigs() || format < 1 || format > (int)configs.size()) {
        return FALSE;
    }
    if (w->pixelFormat != 0) {
        return w->pixelFormat == format ? TRUE : FALSE;  // a window's format is set once
    }
    w->eglWindow = wl_egl_window_create(w->surface, w->width, w->height);
    if (w->eglWindow == nullptr) {
        return FALSE;
    }
    w->eglSurface = eglCreateWindowSurface(kvr_wl.egl, configs[(size_t)format - 1],
                                           (EGLNativeWindowType)w->eglWindow, nullptr);
    if (w->eglSurface == EGL_NO_SURFACE) {
        wl_egl_window_destroy(w->eglWindow);
        w->eglWindow = nullptr;
        return FALSE;
    }
    w->pixelFormat = format;
    return TRUE;
}

HDC kvr_wlGetDC(HWND hwnd) {
    if (hwnd == nullptr) {
        // The desktop: there is always one, even without a compositor.
        return static_cast<HDC>(kvr_coreMakeHandle(KVR_CORE_KIND_DC, KVR_WL_MAX_WINDOWS, 0));
    }
    KvrWlWindow* w = kvr_wlFindWindow(hwnd);
    if (w == nullptr) {
        return nullptr;
    }
    return static_cast<HDC>(kvr_coreMakeHandle(KVR_CORE_KIND_DC, (int)(w - kvr_wlWindows), w->generation));
}

int kvr_wlReleaseDC(HWND hwnd, HDC hdc) {
    if (hwnd == nullptr) {
        return kvr_wlIsDesktopDc(hdc) ? 1 : 0;
    }
    KvrWlWindow* w = kvr_wlFindDcWindow(hdc);
    return w != nullptr && kvr_wlFindWindow(hwnd) == w ? 1 : 0;
}

int kvr_wlDeviceCaps(HDC hdc, int index) {
    if (index != BITSPIXEL || (kvr_wlFindDcWindow(hdc) == nullptr && !kvr_wlIsDesktopDc(hdc))) {
        return 0;
    }
    return 32;  // compositors take 8-bit colour with padding or alpha, 32 bits a pixel
}

// The context record a handle names, or null when it is null or stale.
static KvrWlContext* findContext(HGLRC hglrc, int* slot) {
    int index = 0;
    unsigned generation = 0;
    if (!kvr_coreSplitHandle(hglrc, KVR_CORE_KIND_CONTEXT, &index, &generation) ||
        index >= KVR_WL_MAX_CONTEXTS || !contexts[index].used ||
        (contexts[index].generation & 0xFFFFFu) != generation) {
        return nullptr;
    }
    *slot = index;
    return &contexts[index];
}

HGLRC kvr_wlCreateContext(HDC hdc) {
    KvrWlWindow* w = kvr_wlFindDcWindow(hdc);
    if (w == nullptr || w->pixelFormat == 0) {
        return nullptr;
    }
    int slot = -1;
    for (int i = 0; i < KVR_WL_MAX_CONTEXTS && slot < 0; i++) {
        slot = contexts[i].used ? -1 : i;
    }
    if (slot < 0) {
        return nullptr;
    }
    // No version asked for: desktop OpenGL's compatibility profile, as wglCreateContext gives.
    EGLContext context =
        eglCreateContext(kvr_wl.egl, configs[(size_t)w->pixelFormat - 1], EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT) {
        return nullptr;
    }
    KvrWlContext& c = contexts[slot];
    c.used = true;
    c.generation++;
    c.context = context;
    c.format = w->pixelFormat;
    c.surface = EGL_NO_SURFACE;
    return static_cast<HGLRC>(kvr_coreMakeHandle(KVR_CORE_KIND_CONTEXT, slot, c.generation));
}

// Leaves no context current on this thread.
static void releaseCurrent() {
    if (currentContext >= 0 && kvr_wl.eglReady) {
        eglMakeCurrent(kvr_wl.egl, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        contexts[currentContext].surface = EGL_NO_SURFACE;
    }
    currentContext = -1;
}

BOOL kvr_wlMakeCurrent(HDC hdc, HGLRC hglrc) {
    if (hglrc == nullptr) {
        releaseCurrent();
        return TRUE;
    }
    int slot = -1;
    KvrWlContext* c = findContext(hglrc, &slot);
    KvrWlWindow* w = kvr_wlFindDcWindow(hdc);
    if (c == nullptr || w == nullptr || w->pixelFormat != c->format || w->eglSurface == EGL_NO_SURFACE) {
        return FALSE;
    }
    if (eglMakeCurrent(kvr_wl.egl, w->eglSurface, w->eglSurface, c->context) != EGL_TRUE) {
        return FALSE;
    }
    eglSwapInterval(kvr_wl.egl, 0);
    if (currentContext >= 0 && currentContext != slot) {
        contexts[currentContext].surface = EGL_NO_SURFACE;
    }
    currentContext = slot;
    c->surface = w->eglSurface;
    return TRUE;
}

BOOL kvr_wlDeleteContext(HGLRC hglrc) {
    int slot = -1;
    KvrWlContext* c = findContext(hglrc, &slot);
    if (c == nullptr) {
        return FALSE;
    }
    if (currentContext == slot) {
        releaseCurrent();  // Win32 makes a current context not current before deleting it
    }
    eglDestroyContext(kvr_wl.egl, c->context);
    c->used = false;
    c->context = EGL_NO_CONTEXT;
    return TRUE;
}

BOOL kvr_wlSwapBuffers(HDC hdc) {
    KvrWlWindow* w = kvr_wlFindDcWindow(hdc);
    if (w == nullptr || w->eglSurface == EGL_NO_SURFACE) {
        return FALSE;
    }
    if (!w->shown || !w->configured) {
        return TRUE;  // a hidden window presents nothing: a buffer would show it
    }
    if (eglSwapBuffers(kvr_wl.egl, w->eglSurface) != EGL_TRUE) {
        return FALSE;
    }
    if (w->presentedWidth != w->width || w->presentedHeight != w->height) {
        // The pointer is locked only on a full-screen frame on screen (kvr_wlFollowLock).
        w->presentedWidth = w->width;
        w->presentedHeight = w->height;
        kvr_wlFollowLock();
    }
    return TRUE;
}

void kvr_wlResizeSurface(KvrWlWindow* w, int width, int height) {
    if (w->eglWindow != nullptr) {
        wl_egl_window_resize(w->eglWindow, width, height, 0, 0);
    }
}

void kvr_wlReleaseSurface(KvrWlWindow* w) {
    if (currentContext >= 0 && contexts[currentContext].surface == w->eglSurface &&
        w->eglSurface != EGL_NO_SURFACE) {
        releaseCurrent();
    }
    if (w->eglSurface != EGL_NO_SURFACE) {
        eglDestroySurface(kvr_wl.egl, w->eglSurface);
    }
    w->eglSurface = EGL_NO_SURFACE;
    if (w->eglWindow != nullptr) {
        wl_egl_window_destroy(w->eglWindow);
    }
    w->eglWindow = nullptr;
}

void kvr_wlReleaseGl() {
    releaseCurrent();
    for (KvrWlContext& c : contexts) {
        if (c.used && kvr_wl.eglReady) {
            eglDestroyContext(kvr_wl.egl, c.context);
        }
        c.used = false;
    }
    if (kvr_wl.eglReady) {
        eglTerminate(kvr_wl.egl);
    }
    configs.clear();
    kvr_wl.eglReady = false;
    kvr_wl.egl = EGL_NO_DISPLAY;
}
