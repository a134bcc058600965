// wl_window.cpp - top-level windows as xdg-shell toplevels: showing, minimising, full screen,
// the sizes configures grant, decorations, the screen metrics and the pointer position.
//
// The surface is the client area. A window cannot place itself on Wayland: the compositor
// places it, and never says where. So GetWindowRect reports the place the program last gave
// (or CreateWindowExA chose) with the size it has now, and the output's rectangle in full
// screen; screen coordinates have the window's output's corner as origin. Full screen is
// xdg_toplevel.set_fullscreen on that output: the size comes with the configure that grants it,
// waited for (bounded) before SetWindowPos returns, as WM_SIZE is. Out of full screen the
// window has the size the program asked for, even when the compositor suggests none (0 x 0)
// or another one, but for a maximised, tiled or interactively resized window, whose size the
// compositor sets. Decorations are the compositor's (xdg-decoration) where it offers them, for
// a style with a caption; none otherwise. Where libdecor is installed it makes the toplevel
// and its decorations (drawn by itself where the compositor draws none, as GNOME's), and its
// close button closes the window as the compositor's does.
#include "wl_state.h"

#include <cstring>

// The app id, which the desktop entry's name matches: the program's name in lower case.
static std::string appId() {
    std::string id = program_invocation_short_name != nullptr ? program_invocation_short_name : "kelvor";
    for (char& c : id) {
        if (c >= 'A' && c <= 'Z') {
            c = (char)(c - 'A' + 'a');
        }
    }
    return id;
}

// The rectangle of a window's output in screen coordinates (its corner is the origin); 0 by 0
// when there is no output.
static RECT outputRect(const KvrWlWindow* w) {
    KvrWlOutput* o = kvr_wlWindowOutput(w);
    RECT rect = {0, 0, 0, 0};
    if (o != nullptr) {
        rect.right = o->width / o->scale;
        rect.bottom = o->height / o->scale;
    }
    return rect;
}

bool kvr_wlCoversOutput(const KvrWlWindow* w) {
    RECT output = outputRect(w);
    return w->fullscreen && w->width == output.right - output.left && w->height == output.bottom - output.top;
}

// The size a configure leaves the window: the compositor's in full screen and for maximised,
// tiled or resized windows when it names one, otherwise the one the program gave.
static void chooseSize(const KvrWlWindow* w, int* width, int* height) {
    *width = w->placement.right - w->placement.left;
    *height = w->placement.bottom - w->placement.top;
    bool imposed = w->pendingFullscreen || w->pendingMaximised || w->pendingTiled;
    if (imposed && w->pendingWidth > 0 && w->pendingHeight > 0) {
        *width = w->pendingWidth;
        *height = w->pendingHeight;
    }
    if (*width < 1) {
        *width = 1;
    }
    if (*height < 1) {
        *height = 1;
    }
}

// Applies a size to the window's buffers (the next frame has it).
static void applySize(KvrWlWindow* w, int width, int height) {
    if (width == w->width && height == w->height) {
        return;
    }
    w->width = width;
    w->height = height;
    kvr_wlResizeSurface(w, width, height);
}

static void toplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array* states) {
    KvrWlWindow* w = static_cast<KvrWlWindow*>(data);
    w->pendingWidth = width;
    w->pendingHeight = height;
    w->pendingFullscreen = false;
    w->pendingActivated = false;
    w->pendingMaximised = false;
    w->pendingTiled = false;
    const uint32_t* state = static_cast<const uint32_t*>(states->data);
    size_t count = states->size / sizeof(uint32_t);
    for (size_t i = 0; i < count; i++) {
        switch (state[i]) {
            case XDG_TOPLEVEL_STATE_FULLSCREEN:
                w->pendingFullscreen = true;
                break;
            case XDG_TOPLEVEL_STATE_ACTIVATED:
                w->pendingActivated = true;
                break;
            case XDG_TOPLEVEL_STATE_MAXIMIZED:
                w->pendingMaximised = true;
                break;
            case XDG_TOPLEVEL_STATE_RESIZING:
            case XDG_TOPLEVEL_STATE_TILED_LEFT:
            case XDG_TOPLEVEL_STATE_TILED_RIGHT:
            case XDG_TOPLEVEL_STATE_TILED_TOP:
            case XDG_TOPLEVEL_STATE_TILED_BOTTOM:
                w->pendingTiled = true;
                break;
            default:
                break;
        }
    }
}

static void toplevelClose(void* data, xdg_toplevel*) {
    kvr_wlPost(static_cast<KvrWlWindow*>(data), WM_CLOSE, 0, 0, 0);
}

static void toplevelBounds(void*, xdg_toplevel*, int32_t, int32_t) {}

static void toplevelCapabilities(void*, xdg_toplevel*, wl_array*) {}

static const xdg_toplevel_listener toplevelListener = {toplevelConfigure, toplevelClose, toplevelBounds,
                                                       toplevelCapabilities};

// The configure is complete: it is acknowledged and its size applied. The new size is reported
// by the caller that waited for it (SetWindowPos, ShowWindow), or queued by the next look for
// events (kvr_wlQueueSizes). A window active again after it was minimised is restored.
void kvr_wlApplyConfigure(KvrWlWindow* w) {
    w->configured = true;
    w->fullscreen = w->pendingFullscreen;
    bool activated = w->pendingActivated;
    int width = 0, height = 0;
    chooseSize(w, &width, &height);
    if (width != w->width || height != w->height || activated != w->activated) {
        w->paintPending = true;
    }
    applySize(w, width, height);
    w->activated = activated;
    kvr_wlFollowLock();
    if (activated && w->minimised) {
        w->minimised = false;
        kvr_wlPost(w, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0), 0, 0);
    }
}

static void surfaceConfigure(void* data, xdg_surface* surface, uint32_t serial) {
    xdg_surface_ack_configure(surface, serial);
    kvr_wlApplyConfigure(static_cast<KvrWlWindow*>(data));
}

static const xdg_surface_listener surfaceListener = {surfaceConfigure};

static void surfaceEnter(void* data, wl_surface*, wl_output* output) {
    static_cast<KvrWlWindow*>(data)->output = output;
}

static void surfaceLeave(void*, wl_surface*, wl_output*) {}

static const wl_surface_listener wlSurfaceListener = {surfaceEnter, surfaceLeave};

static void decorationConfigure(void*, zxdg_toplevel_decoration_v1*, uint32_t) {}

static const zxdg_toplevel_decoration_v1_listener decorationListener = {decorationConfigure};

// Asks for the compositor's decorations for a style with a caption, for none otherwise.
static void setDecorations(KvrWlWindow* w) {
    if (w->frame != nullptr) {
        // libdecor leaves a full-screen window undecorated by itself; hiding its frame there too
        // would make its surfaces anew on leaving, and the new border's input region covers the
        // window until the pointer's first visit (libdecor 0.1): the first move into the window
        // would be lost to it.
        kvr_wlDecorShow(w, kvr_coreStyleDecorated(w->style) || w->fullscreenRequested);
    } else if (w->decoration != nullptr) {
        zxdg_toplevel_decoration_v1_set_mode(
            w->decoration, kvr_coreStyleDecorated(w->style) ? ZXDG_TOPLEVEL_DECORATION_V1_MODE_SERVER_SIDE
                                                            : ZXDG_TOPLEVEL_DECORATION_V1_MODE_CLIENT_SIDE);
    }
}

// Waits, bounded, until a configure satisfies the test (or the window is gone); true when one did.
static bool awaitConfigure(KvrWlWindow* w, bool (*done)(const KvrWlWindow*), long ms) {
    HWND hwnd = kvr_wlHandleOf(w);
    long long deadline = kvr_coreNowMs() + ms;
    for (;;) {
        if (kvr_wlFindWindow(hwnd) != w) {
            return false;
        }
        if (done(w)) {
            return true;
        }
        if (kvr_coreNowMs() >= deadline) {
            return false;
        }
        kvr_wlPump(deadline);
    }
}

static bool isConfigured(const KvrWlWindow* w) {
    return w->configured;
}

// The surface is committed without a buffer, which asks for the first configure, and that is
// waited for: a buffer may be attached only once it is acknowledged.
static void requestFirstConfigure(KvrWlWindow* w) {
    w->configured = false;
    if (w->frame != nullptr) {
        kvr_wlDecorMap(w);
    } else {
        wl_surface_commit(w->surface);
    }
    awaitConfigure(w, isConfigured, 1000);
}

HWND kvr_wlCreateWindow(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                        int width, int height) {
    int classSlot = kvr_coreFindClass(className);
    if (classSlot < 0 || kvr_wl.display == nullptr) {
        return nullptr;
    }
    KvrWlWindow* w = nullptr;
    for (KvrWlWindow& candidate : kvr_wlWindows) {
        if (!candidate.used) {
            w = &candidate;
            break;
        }
    }
    if (w == nullptr) {
        return nullptr;
    }
    kvr_coreCreationPlace(&x, &y, &width, &height, outputRect(nullptr));
    unsigned generation = w->generation + 1;
    *w = KvrWlWindow();
    w->generation = generation;
    w->classSlot = classSlot;
    w->proc = kvr_coreClass(classSlot)->proc;
    w->style = style;
    w->exStyle = exStyle;
    w->title = windowName != nullptr ? windowName : "";
    w->reportedWidth = -1;
    w->reportedHeight = -1;
    w->placement = RECT{x, y, x + width, y + height};
    w->width = width;
    w->height = height;
    w->surface = wl_compositor_create_surface(kvr_wl.compositor);
    if (w->surface == nullptr) {
        return nullptr;
    }
    wl_surface_add_listener(w->surface, &wlSurfaceListener, w);
    if (!kvr_wlDecorate(w, w->title.c_str(), appId().c_str())) {
        // Without libdecor: a toplevel of our own, with the compositor's decorations where offered.
        w->xdgSurface = xdg_wm_base_get_xdg_surface(kvr_wl.wmBase, w->surface);
        xdg_surface_add_listener(w->xdgSurface, &surfaceListener, w);
        w->toplevel = xdg_surface_get_toplevel(w->xdgSurface);
        xdg_toplevel_add_listener(w->toplevel, &toplevelListener, w);
        xdg_toplevel_set_title(w->toplevel, w->title.c_str());
        xdg_toplevel_set_app_id(w->toplevel, appId().c_str());
        if (kvr_wl.decorationManager != nullptr) {
            w->decoration =
                zxdg_decoration_manager_v1_get_toplevel_decoration(kvr_wl.decorationManager, w->toplevel);
            zxdg_toplevel_decoration_v1_add_listener(w->decoration, &decorationListener, w);
        }
    }
    setDecorations(w);
    w->used = true;
    HWND hwnd = kvr_wlHandleOf(w);
    requestFirstConfigure(w);
    if (kvr_wlFindWindow(hwnd) == nullptr) {
        return nullptr;
    }
    // Like Win32, the new window hears its client size before CreateWindowExA returns.
    kvr_wlReportSize(w, w->width, w->height);
    if (kvr_wlFindWindow(hwnd) != nullptr && (style & WS_VISIBLE) != 0) {
        ShowWindow(hwnd, SW_SHOW);
    }
    return kvr_wlFindWindow(hwnd) != nullptr ? hwnd : nullptr;
}

BOOL kvr_wlDestroyWindow(HWND hwnd) {
    KvrWlWindow* w = kvr_wlFindWindow(hwnd);
    if (w == nullptr) {
        return FALSE;
    }
    kvr_wlSend(w, WM_DESTROY, 0, 0);
    w = kvr_wlFindWindow(hwnd);
    if (w == nullptr) {
        return TRUE;  // destroyed from inside its own WM_DESTROY
    }
    // Released in the reverse order of their making.
    kvr_wlForgetWindow(w);
    kvr_wlReleaseSurface(w);
    if (w->frame != nullptr) {
        kvr_wlDecorDestroy(w);
    } else {
        if (w->decoration != nullptr) {
            zxdg_toplevel_decoration_v1_destroy(w->decoration);
        }
        xdg_toplevel_destroy(w->toplevel);
        xdg_surface_destroy(w->xdgSurface);
    }
    wl_surface_destroy(w->surface);
    wl_display_flush(kvr_wl.display);
    kvr_coreDropMessages(hwnd);
    unsigned generation = w->generation;
    *w = KvrWlWindow();
    w->generation = generation;
    return TRUE;
}

BOOL kvr_wlShowWindow(HWND hwnd, int command) {
    KvrWlWindow* w = kvr_wlFindWindow(hwnd);
    if (w == nullptr) {
        return FALSE;
    }
    BOOL wasVisible = w->shown ? TRUE : FALSE;
    if (command == SW_HIDE) {
        if (w->shown) {
            // A null buffer unmaps the surface; showing it again starts with a first configure.
            wl_surface_attach(w->surface, nullptr, 0, 0);
            wl_surface_commit(w->surface);
            wl_display_flush(kvr_wl.display);
            w->shown = false;
            w->configured = false;
        }
        return wasVisible;
    }
    if (!w->configured) {
        requestFirstConfigure(w);
        if (kvr_wlFindWindow(hwnd) != w) {
            return wasVisible;
        }
    }
    w->shown = true;
    w->paintPending = true;
    kvr_wlReportSize(w, w->width, w->height);
    if ((command == SW_MINIMIZE || command == SW_SHOWMINIMIZED) && kvr_wlFindWindow(hwnd) == w) {
        // The compositor never says whether a window is minimised: it is taken as minimised until
        // it is active again, and then restored (drawn again, and WM_SIZE with its size).
        if (w->frame != nullptr) {
            kvr_wlDecorMinimise(w);
        } else {
            xdg_toplevel_set_minimized(w->toplevel);
        }
        wl_display_flush(kvr_wl.display);
        w->minimised = true;
        w->activated = false;
        w->reportedWidth = 0;
        w->reportedHeight = 0;
        kvr_wlPost(w, WM_SIZE, SIZE_MINIMIZED, 0, 0);
        kvr_wlPost(w, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1), 0, 0);
    }
    return wasVisible;
}

BOOL kvr_wlSetForegroundWindow(HWND hwnd) {
    // A client cannot activate itself on Wayland (that needs an activation token from another
    // client); the compositor activates a new window by itself.
    return kvr_wlFindWindow(hwnd) != nullptr ? TRUE : FALSE;
}

HWND kvr_wlSetFocus(HWND hwnd) {
    HWND previous = nullptr;
    for (KvrWlWindow& w : kvr_wlWindows) {
        if (w.used && w.focused) {
            previous = kvr_wlHandleOf(&w);
        }
    }
    return kvr_wlFindWindow(hwnd) != nullptr ? previous : nullptr;
}

LONG kvr_wlSetWindowLong(HWND hwnd, int index, LONG value) {
    KvrWlWindow* w = kvr_wlFindWindow(hwnd);
    if (w == nullptr) {
        return 0;
    }
    return kvr_coreSetStyle(&w->style, &w->exStyle, index, value);
}

// Full screen is granted by a configure with the state and the output's size (sway sends the
// state with the old size first).
static bool fullscreenGranted(const KvrWlWindow* w) {
    return kvr_wlCoversOutput(w);
}

static bool fullscreenEnded(const KvrWlWindow* w) {
    return !w->fullscreen;
}

BOOL kvr_wlGetWindowRect(HWND hwnd, LPRECT rect) {
    KvrWlWindow* w = kvr_wlFindWindow(hwnd);
    if (w == nullptr || rect == nullptr) {
        return FALSE;
    }
    if (w->fullscreen) {
        *rect = outputRect(w);
        return TRUE;
    }
    rect->left = w->placement.left;
    rect->top = w->placement.top;
    rect->right = w->placement.left + w->width;
    rect->bottom = w->placement.top + w->height;
    return TRUE;
}

BOOL kvr_wlSetWindowPos(HWND hwnd, int x, int y, int cx, int cy, UINT flags) {
    KvrWlWindow* w = kvr_wlFindWindow(hwnd);
    if (w == nullptr) {
        return FALSE;
    }
    RECT primary = outputRect(w);
    RECT current = {0, 0, 0, 0};
    kvr_wlGetWindowRect(hwnd, &current);
    RECT rect = kvr_coreRequestedRect(current, x, y, cx, cy, flags, primary);
    bool full = kvr_coreCoversMonitor(w->style, rect, primary);
    if ((flags & SWP_HIDEWINDOW) != 0) {
        kvr_wlShowWindow(hwnd, SW_HIDE);
    }
    bool change = full != w->fullscreenRequested;
    w->fullscreenRequested = full;
    setDecorations(w);
    if (!full) {
        w->placement = rect;
    }
    if (change && full) {
        KvrWlOutput* o = kvr_wlWindowOutput(w);
        if (w->frame != nullptr) {
            kvr_wlDecorFullscreen(w, true, o != nullptr ? o->output : nullptr);
        } else {
            xdg_toplevel_set_fullscreen(w->toplevel, o != nullptr ? o->output : nullptr);
        }
    } else if (change && w->frame != nullptr) {
        kvr_wlDecorFullscreen(w, false, nullptr);
    } else if (change) {
        xdg_toplevel_unset_fullscreen(w->toplevel);
    }
    if ((flags & SWP_SHOWWINDOW) != 0 && !w->shown) {
        kvr_wlShowWindow(hwnd, SW_SHOW);
    }
    if (kvr_wlFindWindow(hwnd) != w) {
        return FALSE;
    }
    if (change && w->configured) {
        awaitConfigure(w, full ? fullscreenGranted : fullscreenEnded, 1000);
        if (kvr_wlFindWindow(hwnd) != w) {
            return FALSE;
        }
    }
    if (!w->fullscreen) {
        // Out of full screen the program's size holds, whatever the configure suggested.
        int width = 0, height = 0;
        chooseSize(w, &width, &height);
        applySize(w, width, height);
    }
    w->paintPending = true;
    kvr_wlFollowLock();
    // Like Win32, the granted size is reported before SetWindowPos returns.
    kvr_wlReportSize(w, w->width, w->height);
    return TRUE;
}

int kvr_wlSystemMetrics(int index) {
    const KvrWlWindow* first = nullptr;
    for (const KvrWlWindow& w : kvr_wlWindows) {
        if (w.used && first == nullptr) {
            first = &w;
        }
    }
    RECT rect = outputRect(first);
    if (index == SM_CXSCREEN) {
        return rect.right - rect.left;
    }
    if (index == SM_CYSCREEN) {
        return rect.bottom - rect.top;
    }
    return 0;
}

BOOL kvr_wlSetCursorPos(int x, int y) {
    // Wayland has no pointer warp: only the position kept for a locked pointer can be moved.
    return kvr_wlMoveLockedPointer(x, y) ? TRUE : FALSE;
}

bool kvr_wlQueueSizes() {
    bool queued = false;
    for (KvrWlWindow& w : kvr_wlWindows) {
        if (w.used && !w.minimised && (w.width != w.reportedWidth || w.height != w.reportedHeight)) {
            w.reportedWidth = w.width;
            w.reportedHeight = w.height;
            kvr_wlPost(&w, WM_SIZE, SIZE_RESTORED, MAKELPARAM(w.width, w.height), 0);
            queued = true;
        }
    }
    return queued;
}
