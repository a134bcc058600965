// x11_gl.cpp - device contexts, pixel formats, rendering contexts and buffer swaps on GLX.
//
// A pixel format is a 1-based index into the screen's GLXFBConfig list; ChoosePixelFormat
// picks the config that core_pixelformat.cpp ranks first. Setting it gives
// the still-unmapped window the config's visual: the X window is created anew under the
// same HWND, because an X window's visual is fixed when it is created.
#include "x11_state.h"

#include <X11/extensions/Xcomposite.h>

#include <cstdio>
#include <cstdlib>

// One rendering context.
struct KvrX11Context {
    bool used;
    unsigned generation;
    GLXContext context;
    int format;
    Window drawable;
};

// Module state: the screen's configs and the context table.
static GLXFBConfig* configs = nullptr;
static int configCount = 0;
static Display* configsDisplay = nullptr;
static KvrX11Context contexts[KVR_X11_MAX_CONTEXTS];
static int currentContext = -1;

// Loads the screen's framebuffer configs once per display connection.
static bool loadConfigs() {
    if (!kvr_x11Open()) {
        return false;
    }
    if (configsDisplay != kvr_x11.display) {
        if (configs != nullptr) {
            XFree(configs);
        }
        configCount = 0;
        configs = glXGetFBConfigs(kvr_x11.display, kvr_x11.screen, &configCount);
        configsDisplay = kvr_x11.display;
        if (configs == nullptr) {
            configCount = 0;
        }
    }
    return configCount > 0;
}

GLXFBConfig kvr_x11FbConfig(int format) {
    if (!loadConfigs() || format < 1 || format > configCount) {
        return nullptr;
    }
    return configs[format - 1];
}

// One attribute of a config, 0 when it cannot be read.
static int attribute(GLXFBConfig config, int name) {
    int value = 0;
    if (glXGetFBConfigAttrib(kvr_x11.display, config, name, &value) != Success) {
        return 0;
    }
    return value;
}

// What the ranking needs of a config (kvr_coreRankFormat): its GLX attributes and its visual's.
static KvrCoreFormat describeConfig(GLXFBConfig config) {
    KvrCoreFormat f;
    int renderType = attribute(config, GLX_RENDER_TYPE);
    f.rgba = (renderType & GLX_RGBA_BIT) != 0;
    f.colourIndex = (renderType & GLX_COLOR_INDEX_BIT) != 0;
    f.window = (attribute(config, GLX_DRAWABLE_TYPE) & GLX_WINDOW_BIT) != 0 &&
               attribute(config, GLX_X_RENDERABLE) != 0 && attribute(config, GLX_VISUAL_ID) != 0;
    f.doubleBuffer = attribute(config, GLX_DOUBLEBUFFER) != 0;
    f.stereo = attribute(config, GLX_STEREO) != 0;
    f.level = attribute(config, GLX_LEVEL);
    f.slow = attribute(config, GLX_CONFIG_CAVEAT) == GLX_SLOW_CONFIG;
    f.colourBits = attribute(config, GLX_RED_SIZE) + attribute(config, GLX_GREEN_SIZE) +
                   attribute(config, GLX_BLUE_SIZE);
    f.alphaBits = attribute(config, GLX_ALPHA_SIZE);
    f.depthBits = attribute(config, GLX_DEPTH_SIZE);
    f.stencilBits = attribute(config, GLX_STENCIL_SIZE);
    f.accumBits = attribute(config, GLX_ACCUM_RED_SIZE) + attribute(config, GLX_ACCUM_GREEN_SIZE) +
                  attribute(config, GLX_ACCUM_BLUE_SIZE) + attribute(config, GLX_ACCUM_ALPHA_SIZE);
    f.auxBuffers = attribute(config, GLX_AUX_BUFFERS);
    f.samples = attribute(config, GLX_SAMPLES);
    XVisualInfo* visual = glXGetVisualFromFBConfig(kvr_x11.display, config);
    // Only TrueColor shows the frame as Win32 does: DirectColor, PseudoColor and the gray
    // classes would show it through a colormap nobody fills.
    f.trueColour = visual != nullptr && visual->c_class == TrueColor;
    // Compositors treat 32-bit (ARGB) visuals as translucent.
    f.translucent = visual != nullptr && visual->depth == 32;
    if (visual != nullptr) {
        XFree(visual);
    }
    return f;
}

int kvr_x11ChoosePixelFormat(HDC hdc, const PIXELFORMATDESCRIPTOR* pfd) {
    if (pfd == nullptr || (kvr_x11FindDcWindow(hdc) == nullptr && !kvr_x11IsDesktopDc(hdc)) ||
        !loadConfigs()) {
        return 0;
    }
    int best = 0;
    int bestKey[KVR_CORE_FORMAT_KEYS] = {0};
    for (int i = 0; i < configCount; i++) {
        int key[KVR_CORE_FORMAT_KEYS];
        if (!kvr_coreRankFormat(describeConfig(configs[i]), pfd, key)) {
            continue;
        }
        if (best == 0 || kvr_coreRanksBefore(key, bestKey)) {
            best = i + 1;
            for (int k = 0; k < KVR_CORE_FORMAT_KEYS; k++) {
                bestKey[k] = key[k];
            }
        }
    }
    return best;
}

// Makes the server keep the window's contents while other windows cover it, as Win32 does:
// without a compositing manager, a part uncovered would otherwise show what covered it until
// the next frame. The Composite extension's automatic redirection keeps the window in its own
// pixmap and copies it to the screen. A running compositing manager keeps contents already.
static void keepContents(Window xwindow) {
    Display* d = kvr_x11.display;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XCompositeQueryExtension(d, &eventBase, &errorBase) || !XCompositeQueryVersion(d, &major, &minor) ||
        (major == 0 && minor < 2)) {
        return;
    }
    char name[32];
    std::snprintf(name, sizeof name, "_NET_WM_CM_S%d", kvr_x11.screen);
    if (XGetSelectionOwner(d, XInternAtom(d, name, False)) != None) {
        return;
    }
    kvr_x11TrapBegin();
    XCompositeRedirectWindow(d, xwindow, CompositeRedirectAutomatic);
    kvr_x11TrapEnd();
}

BOOL kvr_x11SetPixelFormat(HDC hdc, int format) {
    KvrX11Window* w = kvr_x11FindDcWindow(hdc);
    GLXFBConfig config = kvr_x11FbConfig(format);
    if (w == nullptr || config == nullptr) {
        return FALSE;
    }
    if (w->pixelFormat != 0) {
        return w->pixelFormat == format ? TRUE : FALSE;  // a window's format is set once
    }
    if ((attribute(config, GLX_DRAWABLE_TYPE) & GLX_WINDOW_BIT) == 0) {
        return FALSE;
    }
    XVisualInfo* visual = glXGetVisualFromFBConfig(kvr_x11.display, config);
    if (visual == nullptr) {
        return FALSE;
    }
    RECT rect = {0, 0, 1, 1};
    kvr_x11ClientRect(w, &rect, nullptr);
    Window oldWindow = w->xwindow;
    Colormap oldColormap = w->colormap;
    bool wasMapped = w->mapped;
    bool created =
        kvr_x11CreateXWindow(w, visual, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    XFree(visual);
    if (!created) {
        w->xwindow = oldWindow;
        w->colormap = oldColormap;
        return FALSE;
    }
    kvr_x11TrapBegin();
    XDestroyWindow(kvr_x11.display, oldWindow);
    if (oldColormap != 0) {
        XFreeColormap(kvr_x11.display, oldColormap);
    }
    kvr_x11TrapEnd();
    w->pixelFormat = format;
    keepContents(w->xwindow);
    if (wasMapped) {
        XMapRaised(kvr_x11.display, w->xwindow);
        kvr_x11WaitViewable(w);
    }
    return TRUE;
}

HDC kvr_x11GetDC(HWND hwnd) {
    if (hwnd == nullptr) {
        // The desktop: there is always one, even when no display can be opened.
        kvr_x11Open();
        return static_cast<HDC>(kvr_coreMakeHandle(KVR_CORE_KIND_DC, KVR_X11_MAX_WINDOWS, 0));
    }
    KvrX11Window* w = kvr_x11FindWindow(hwnd);
    if (w == nullptr) {
        return nullptr;
    }
    return static_cast<HDC>(kvr_coreMakeHandle(KVR_CORE_KIND_DC, (int)(w - kvr_x11Windows), w->generation));
}

int kvr_x11ReleaseDC(HWND hwnd, HDC hdc) {
    if (hwnd == nullptr) {
        return kvr_x11IsDesktopDc(hdc) ? 1 : 0;
    }
    KvrX11Window* w = kvr_x11FindDcWindow(hdc);
    return w != nullptr && kvr_x11FindWindow(hwnd) == w ? 1 : 0;
}

int kvr_x11DeviceCaps(HDC hdc, int index) {
    if (index != BITSPIXEL || (kvr_x11FindDcWindow(hdc) == nullptr && !kvr_x11IsDesktopDc(hdc))) {
        return 0;
    }
    if (!kvr_x11Open()) {
        return 32;  // no display: the usual desktop depth
    }
    // Bits per pixel of the screen's depth, as Win32 reports it (32 for a depth of 24).
    int depth = DefaultDepth(kvr_x11.display, kvr_x11.screen);
    int bits = depth;
    int count = 0;
    XPixmapFormatValues* formats = XListPixmapFormats(kvr_x11.display, &count);
    for (int i = 0; formats != nullptr && i < count; i++) {
        if (formats[i].depth == depth) {
            bits = formats[i].bits_per_pixel;
        }
    }
    if (formats != nullptr) {
        XFree(formats);
    }
    return bits;
}

// The context record a handle names, or null when it is null or stale.
static KvrX11Context* findContext(HGLRC hglrc, int* slot) {
    int index = 0;
    unsigned generation = 0;
    if (!kvr_coreSplitHandle(hglrc, KVR_CORE_KIND_CONTEXT, &index, &generation) ||
        index >= KVR_X11_MAX_CONTEXTS || !contexts[index].used ||
        (contexts[index].generation & 0xFFFFFu) != generation) {
        return nullptr;
    }
    *slot = index;
    return &contexts[index];
}

// A new rendering context of a config, direct or indirect; null when X refused it.
static GLXContext createContext(GLXFBConfig config, bool direct) {
    kvr_x11TrapBegin();
    GLXContext context =
        glXCreateNewContext(kvr_x11.display, config, GLX_RGBA_TYPE, nullptr, direct ? True : False);
    if (kvr_x11TrapEnd() != 0 && context != nullptr) {
        glXDestroyContext(kvr_x11.display, context);
        context = nullptr;
    }
    return context;
}

HGLRC kvr_x11CreateContext(HDC hdc) {
    KvrX11Window* w = kvr_x11FindDcWindow(hdc);
    if (w == nullptr || w->pixelFormat == 0) {
        return nullptr;
    }
    int slot = -1;
    for (int i = 0; i < KVR_X11_MAX_CONTEXTS && slot < 0; i++) {
        slot = contexts[i].used ? -1 : i;
    }
    if (slot < 0) {
        return nullptr;
    }
    GLXFBConfig config = kvr_x11FbConfig(w->pixelFormat);
    // Direct rendering is preferred; an indirect context is the fallback. Each attempt has its
    // own trap, so an error of the first does not discard a second that succeeded.
    GLXContext context = createContext(config, True);
    if (context == nullptr) {
        context = createContext(config, False);
    }
    if (context == nullptr) {
        return nullptr;
    }
    KvrX11Context& c = contexts[slot];
    c.used = true;
    c.generation++;
    c.context = context;
    c.format = w->pixelFormat;
    c.drawable = 0;
    return static_cast<HGLRC>(kvr_coreMakeHandle(KVR_CORE_KIND_CONTEXT, slot, c.generation));
}

// Leaves no context current on this thread.
static void releaseCurrent() {
    if (currentContext >= 0 && kvr_x11.display != nullptr) {
        glXMakeContextCurrent(kvr_x11.display, None, None, nullptr);
        contexts[currentContext].drawable = 0;
    }
    currentContext = -1;
}

BOOL kvr_x11MakeCurrent(HDC hdc, HGLRC hglrc) {
    if (hglrc == nullptr) {
        releaseCurrent();
        return TRUE;
    }
    int slot = -1;
    KvrX11Context* c = findContext(hglrc, &slot);
    KvrX11Window* w = kvr_x11FindDcWindow(hdc);
    if (c == nullptr || w == nullptr || w->pixelFormat != c->format) {
        return FALSE;
    }
    kvr_x11TrapBegin();
    Bool ok = glXMakeContextCurrent(kvr_x11.display, w->xwindow, w->xwindow, c->context);
    if (kvr_x11TrapEnd() != 0 || ok == False) {
        return FALSE;
    }
    if (currentContext >= 0 && currentContext != slot) {
        contexts[currentContext].drawable = 0;
    }
    currentContext = slot;
    c->drawable = w->xwindow;
    return TRUE;
}

BOOL kvr_x11DeleteContext(HGLRC hglrc) {
    int slot = -1;
    KvrX11Context* c = findContext(hglrc, &slot);
    if (c == nullptr) {
        return FALSE;
    }
    if (currentContext == slot) {
        releaseCurrent();  // Win32 makes a current context not current before deleting it
    }
    kvr_x11TrapBegin();
    glXDestroyContext(kvr_x11.display, c->context);
    kvr_x11TrapEnd();
    c->used = false;
    c->context = nullptr;
    return TRUE;
}

BOOL kvr_x11SwapBuffers(HDC hdc) {
    KvrX11Window* w = kvr_x11FindDcWindow(hdc);
    if (w == nullptr || w->pixelFormat == 0) {
        return FALSE;
    }
    glXSwapBuffers(kvr_x11.display, w->xwindow);
    return TRUE;
}

void kvr_x11RefreshDrawable(KvrX11Window* w) {
    // Mesa's software rasteriser (drisw) reads a window's size again only after a swap, so the
    // frame drawn for WM_SIZE would keep the old size. Presenting the unchanged back buffer once
    // (the frame already on screen) makes that frame fill the new size.
    if (currentContext >= 0 && contexts[currentContext].drawable == w->xwindow) {
        glXSwapBuffers(kvr_x11.display, w->xwindow);
    }
}

void kvr_x11ReleaseDrawable(KvrX11Window* w) {
    if (currentContext >= 0 && contexts[currentContext].drawable == w->xwindow) {
        releaseCurrent();
    }
}
