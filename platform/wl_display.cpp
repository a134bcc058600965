// wl_display.cpp - the connection to the Wayland compositor, the globals it offers, the waits
// on the connection, the window table and the backend's table of entries.
//
// The backend is used when the compositor offers xdg-shell (xdg_wm_base); the seat, the outputs,
// server-side decorations, pointer constraints and relative pointer motion are used where offered.
#include "wl_state.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

KvrWl kvr_wl;
KvrWlWindow kvr_wlWindows[KVR_WL_MAX_WINDOWS];
KvrWlOutput kvr_wlOutputs[KVR_WL_MAX_OUTPUTS];

void kvr_wlLost() {
    std::fprintf(stderr, "%s: lost the connection to Wayland display \"%s\"; exiting with status %d\n",
                 program_invocation_short_name, kvr_wl.name.c_str(), KVR_WL_LOST_DISPLAY_STATUS);
    std::fflush(stderr);
    std::fflush(stdout);
    _exit(KVR_WL_LOST_DISPLAY_STATUS);
}

int kvr_wlPump(long long deadline) {
    wl_display* d = kvr_wl.display;
    if (d == nullptr) {
        return 0;
    }
    while (wl_display_prepare_read(d) != 0) {
        if (wl_display_dispatch_pending(d) < 0) {
            kvr_wlLost();
        }
    }
    // Requests go out first; a full socket is flushed once it can be written.
    pollfd fds = {wl_display_get_fd(d), POLLIN, 0};
    while (wl_display_flush(d) < 0 && errno == EAGAIN) {
        pollfd out = {fds.fd, POLLOUT, 0};
        poll(&out, 1, 100);
    }
    long long left = deadline - kvr_coreNowMs();
    int ready = poll(&fds, 1, left > 0 ? (int)left : 0);
    if (ready > 0) {
        if ((fds.revents & (POLLERR | POLLHUP)) != 0 && (fds.revents & POLLIN) == 0) {
            wl_display_cancel_read(d);
            kvr_wlLost();
        }
        if (wl_display_read_events(d) < 0) {
            kvr_wlLost();
        }
    } else {
        wl_display_cancel_read(d);
    }
    int dispatched = wl_display_dispatch_pending(d);
    if (dispatched < 0) {
        kvr_wlLost();
    }
    return dispatched;
}

// --- outputs ---

KvrWlOutput* kvr_wlOutputOf(wl_output* output) {
    for (KvrWlOutput& o : kvr_wlOutputs) {
        if (o.used && o.output == output) {
            return &o;
        }
    }
    return nullptr;
}

KvrWlOutput* kvr_wlWindowOutput(const KvrWlWindow* w) {
    KvrWlOutput* o = w != nullptr ? kvr_wlOutputOf(w->output) : nullptr;
    for (int i = 0; o == nullptr && i < KVR_WL_MAX_OUTPUTS; i++) {
        if (kvr_wlOutputs[i].used && kvr_wlOutputs[i].width > 0) {
            o = &kvr_wlOutputs[i];
        }
    }
    return o;
}

static void outputGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t,
                           const char*, const char*, int32_t) {
    KvrWlOutput* o = static_cast<KvrWlOutput*>(data);
    o->x = x;
    o->y = y;
}

static void outputMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
    KvrWlOutput* o = static_cast<KvrWlOutput*>(data);
    if ((flags & WL_OUTPUT_MODE_CURRENT) != 0) {
        o->width = width;
        o->height = height;
    }
}

static void outputDone(void*, wl_output*) {}

static void outputScale(void* data, wl_output*, int32_t factor) {
    static_cast<KvrWlOutput*>(data)->scale = factor > 0 ? factor : 1;
}

static void outputName(void*, wl_output*, const char*) {}

static void outputDescription(void*, wl_output*, const char*) {}

static const wl_output_listener outputListener = {outputGeometry, outputMode, outputDone,
                                                  outputScale,    outputName, outputDescription};

static void addOutput(uint32_t name, uint32_t version) {
    for (KvrWlOutput& o : kvr_wlOutputs) {
        if (!o.used) {
            o = KvrWlOutput();
            o.used = true;
            o.name = name;
            o.scale = 1;
            o.output = static_cast<wl_output*>(
                wl_registry_bind(kvr_wl.registry, name, &wl_output_interface, version < 2 ? version : 2));
            wl_output_add_listener(o.output, &outputListener, &o);
            return;
        }
    }
}

// An output removed while running: windows on it count as on the first output left.
static void removeOutput(uint32_t name) {
    for (KvrWlOutput& o : kvr_wlOutputs) {
        if (o.used && o.name == name) {
            for (KvrWlWindow& w : kvr_wlWindows) {
                if (w.used && w.output == o.output) {
                    w.output = nullptr;
                }
            }
            if (wl_output_get_version(o.output) >= 3) {
                wl_output_release(o.output);
            } else {
                wl_output_destroy(o.output);
            }
            o = KvrWlOutput();
        }
    }
}

// --- the registry ---

static void wmBasePing(void*, xdg_wm_base* base, uint32_t serial) {
    xdg_wm_base_pong(base, serial);
}

static const xdg_wm_base_listener wmBaseListener = {wmBasePing};

static void seatCapabilities(void*, wl_seat*, uint32_t capabilities) {
    kvr_wlSeatCapabilities(capabilities);
}

static void seatName(void*, wl_seat*, const char*) {}

static const wl_seat_listener seatListener = {seatCapabilities, seatName};

static void registryGlobal(void*, wl_registry* registry, uint32_t name, const char* interface,
                           uint32_t version) {
    if (std::strcmp(interface, wl_compositor_interface.name) == 0 && kvr_wl.compositor == nullptr) {
        kvr_wl.compositor = static_cast<wl_compositor*>(
            wl_registry_bind(registry, name, &wl_compositor_interface, version < 4 ? version : 4));
    } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0 && kvr_wl.wmBase == nullptr) {
        kvr_wl.wmBase = static_cast<xdg_wm_base*>(
            wl_registry_bind(registry, name, &xdg_wm_base_interface, version < 2 ? version : 2));
        xdg_wm_base_add_listener(kvr_wl.wmBase, &wmBaseListener, nullptr);
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && kvr_wl.seat == nullptr) {
        // Version 5 brings the pointer's frames and discrete wheel steps.
        kvr_wl.seatVersion = version < 5 ? version : 5;
        kvr_wl.seat =
            static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, kvr_wl.seatVersion));
        wl_seat_add_listener(kvr_wl.seat, &seatListener, nullptr);
    } else if (std::strcmp(interface, wl_shm_interface.name) == 0 && kvr_wl.shm == nullptr) {
        kvr_wl.shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
        addOutput(name, version);
    } else if (std::strcmp(interface, zxdg_decoration_manager_v1_interface.name) == 0) {
        kvr_wl.decorationManager = static_cast<zxdg_decoration_manager_v1*>(
            wl_registry_bind(registry, name, &zxdg_decoration_manager_v1_interface, 1));
    } else if (std::strcmp(interface, zwp_pointer_constraints_v1_interface.name) == 0) {
        kvr_wl.constraints = static_cast<zwp_pointer_constraints_v1*>(
            wl_registry_bind(registry, name, &zwp_pointer_constraints_v1_interface, 1));
    } else if (std::strcmp(interface, zwp_relative_pointer_manager_v1_interface.name) == 0) {
        kvr_wl.relativeManager = static_cast<zwp_relative_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwp_relative_pointer_manager_v1_interface, 1));
    }
}

static void registryGlobalRemove(void*, wl_registry*, uint32_t name) {
    removeOutput(name);
}

static const wl_registry_listener registryListener = {registryGlobal, registryGlobalRemove};

// Closes the connection and forgets every global bound on it.
static void disconnect() {
    kvr_wlReleaseGl();
    kvr_wlDecorClose();
    kvr_wlReleaseInput();
    for (KvrWlOutput& o : kvr_wlOutputs) {
        if (o.used) {
            wl_output_destroy(o.output);
        }
        o = KvrWlOutput();
    }
    if (kvr_wl.relativeManager != nullptr) {
        zwp_relative_pointer_manager_v1_destroy(kvr_wl.relativeManager);
    }
    if (kvr_wl.constraints != nullptr) {
        zwp_pointer_constraints_v1_destroy(kvr_wl.constraints);
    }
    if (kvr_wl.decorationManager != nullptr) {
        zxdg_decoration_manager_v1_destroy(kvr_wl.decorationManager);
    }
    if (kvr_wl.seat != nullptr) {
        wl_seat_destroy(kvr_wl.seat);
    }
    if (kvr_wl.shm != nullptr) {
        wl_shm_destroy(kvr_wl.shm);
    }
    if (kvr_wl.wmBase != nullptr) {
        xdg_wm_base_destroy(kvr_wl.wmBase);
    }
    if (kvr_wl.compositor != nullptr) {
        wl_compositor_destroy(kvr_wl.compositor);
    }
    if (kvr_wl.registry != nullptr) {
        wl_registry_destroy(kvr_wl.registry);
    }
    if (kvr_wl.display != nullptr) {
        wl_display_disconnect(kvr_wl.display);
    }
    std::string name = kvr_wl.name;
    kvr_wl = KvrWl();
    kvr_wl.name = name;
}

// Connects and binds the globals, with the outputs' modes and the seat's capabilities known
// (two round trips); false when there is no compositor or it offers no compositor or xdg-shell.
static bool connectDisplay() {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    kvr_wl.name = name != nullptr && name[0] != '\0' ? name : "wayland-0";
    kvr_wl.display = wl_display_connect(nullptr);
    if (kvr_wl.display == nullptr) {
        return false;
    }
    kvr_wlResetInput();
    kvr_wl.registry = wl_display_get_registry(kvr_wl.display);
    wl_registry_add_listener(kvr_wl.registry, &registryListener, nullptr);
    if (wl_display_roundtrip(kvr_wl.display) < 0 || wl_display_roundtrip(kvr_wl.display) < 0 ||
        kvr_wl.compositor == nullptr || kvr_wl.wmBase == nullptr) {
        disconnect();
        return false;
    }
    kvr_wlDecorOpen();
    return true;
}

// --- the window table ---

static KvrWlWindow* findByKind(const void* handle, unsigned kind) {
    int slot = 0;
    unsigned generation = 0;
    if (!kvr_coreSplitHandle(handle, kind, &slot, &generation) || slot >= KVR_WL_MAX_WINDOWS) {
        return nullptr;
    }
    KvrWlWindow* w = &kvr_wlWindows[slot];
    if (!w->used || (w->generation & 0xFFFFFu) != generation) {
        return nullptr;
    }
    return w;
}

KvrWlWindow* kvr_wlFindWindow(HWND hwnd) {
    return findByKind(hwnd, KVR_CORE_KIND_WINDOW);
}

KvrWlWindow* kvr_wlFindDcWindow(HDC hdc) {
    return findByKind(hdc, KVR_CORE_KIND_DC);
}

bool kvr_wlIsDesktopDc(HDC hdc) {
    return hdc == static_cast<HDC>(kvr_coreMakeHandle(KVR_CORE_KIND_DC, KVR_WL_MAX_WINDOWS, 0));
}

KvrWlWindow* kvr_wlWindowOfSurface(wl_surface* surface) {
    for (KvrWlWindow& w : kvr_wlWindows) {
        if (w.used && surface != nullptr && w.surface == surface) {
            return &w;
        }
    }
    return nullptr;
}

HWND kvr_wlHandleOf(const KvrWlWindow* w) {
    return static_cast<HWND>(
        kvr_coreMakeHandle(KVR_CORE_KIND_WINDOW, (int)(w - kvr_wlWindows), w->generation));
}

LRESULT kvr_wlSend(KvrWlWindow* w, UINT message, WPARAM wParam, LPARAM lParam) {
    if (w == nullptr || w->proc == nullptr) {
        return 0;
    }
    return w->proc(kvr_wlHandleOf(w), message, wParam, lParam);
}

void kvr_wlReportSize(KvrWlWindow* w, int width, int height) {
    if (w->reportedWidth == width && w->reportedHeight == height) {
        return;
    }
    w->reportedWidth = width;
    w->reportedHeight = height;
    kvr_wlSend(w, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
}

void kvr_wlPost(KvrWlWindow* w, UINT message, WPARAM wParam, LPARAM lParam, DWORD time) {
    kvr_corePost(kvr_wlHandleOf(w), message, wParam, lParam, time);
}

static bool sendTo(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    KvrWlWindow* w = kvr_wlFindWindow(hwnd);
    if (w == nullptr) {
        return false;
    }
    *result = kvr_wlSend(w, message, wParam, lParam);
    return true;
}

static bool classInUse(int classSlot) {
    for (const KvrWlWindow& w : kvr_wlWindows) {
        if (w.used && w.classSlot == classSlot) {
            return true;
        }
    }
    return false;
}

// --- events and paints ---

// Everything the compositor has sent is read and dispatched at once, and the key repeats that
// are due are queued: true when that queued anything.
static bool translatePending() {
    if (kvr_wl.display == nullptr) {
        return false;
    }
    bool any = kvr_wlRepeatKeys();
    int dispatched = wl_display_dispatch_pending(kvr_wl.display);
    if (dispatched < 0) {
        kvr_wlLost();
    }
    if (dispatched == 0 && !any) {
        dispatched = kvr_wlPump(0);
    }
    bool sized = kvr_wlQueueSizes();
    return any || dispatched > 0 || sized;
}

static bool takePaint(LPMSG msg, HWND hwnd, UINT remove) {
    for (KvrWlWindow& w : kvr_wlWindows) {
        if (w.used && w.shown && w.paintPending && (hwnd == nullptr || kvr_wlHandleOf(&w) == hwnd)) {
            std::memset(msg, 0, sizeof *msg);
            msg->hwnd = kvr_wlHandleOf(&w);
            msg->message = WM_PAINT;
            msg->pt = kvr_coreLastPoint();
            if (remove & PM_REMOVE) {
                w.paintPending = false;
            }
            return true;
        }
    }
    return false;
}

// The message dialog is the X11 one, where an X server is reachable too (Xwayland, $DISPLAY):
// a dialog of its own would need a toolkit. Without one, the report on standard error is all.
static void showMessageDialog(const char* text, const char* caption) {
    kvr_x11ShowMessageDialog(text, caption);
}

static const KvrWsBackend backend = {
    "wayland",
    kvr_wlCreateWindow,
    kvr_wlDestroyWindow,
    sendTo,
    kvr_wlShowWindow,
    kvr_wlSetForegroundWindow,
    kvr_wlSetFocus,
    kvr_wlSetWindowLong,
    kvr_wlSetWindowPos,
    kvr_wlGetWindowRect,
    kvr_wlSystemMetrics,
    kvr_wlSetCursorPos,
    kvr_wlGetDC,
    kvr_wlReleaseDC,
    kvr_wlDeviceCaps,
    kvr_wlChoosePixelFormat,
    kvr_wlSetPixelFormat,
    kvr_wlCreateContext,
    kvr_wlMakeCurrent,
    kvr_wlDeleteContext,
    kvr_wlSwapBuffers,
    translatePending,
    takePaint,
    showMessageDialog,
    classInUse,
};

const KvrWsBackend* kvr_wlConnectBackend(bool forced) {
    if (connectDisplay()) {
        return &backend;
    }
    if (forced) {
        // Asked for by name: windows then fail to open, and the program reports that it cannot start.
        std::fprintf(stderr, "KVR_PLATFORM=wayland: no Wayland compositor with xdg-shell at \"%s\"\n",
                     kvr_wl.name.c_str());
        return &backend;
    }
    return nullptr;
}

bool kvr_wlBuilt() {
    return true;
}
