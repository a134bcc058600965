// wl_decor.cpp - toplevels made by libdecor, which draws decorations where the compositor
// draws none (GNOME's mutter) and asks for the compositor's where it offers them. Its frame
// owns the xdg-shell toplevel: configures arrive through it, and the close button's request
// becomes WM_CLOSE, as the compositor's close does.
#include "wl_state.h"

#include <libdecor.h>

#include <cstdio>

// Module state: libdecor's context on the connection, null when it could not start.
static libdecor* context = nullptr;

static void contextError(libdecor*, libdecor_error, const char* message) {
    std::fprintf(stderr, "libdecor: %s\n", message != nullptr ? message : "error");
}

static libdecor_interface contextInterface = {contextError, nullptr, nullptr, nullptr, nullptr, nullptr,
                                              nullptr,      nullptr, nullptr, nullptr, nullptr};

// A configure: its content size and states become the window's pending ones, are applied as a
// toplevel's own configure is, and the frame takes the size the window keeps.
static void frameConfigure(libdecor_frame* frame, libdecor_configuration* configuration, void* data) {
    KvrWlWindow* w = static_cast<KvrWlWindow*>(data);
    int width = 0, height = 0;
    if (!libdecor_configuration_get_content_size(configuration, frame, &width, &height)) {
        width = 0;
        height = 0;
    }
    libdecor_window_state state = LIBDECOR_WINDOW_STATE_NONE;
    libdecor_configuration_get_window_state(configuration, &state);
    unsigned tiled = LIBDECOR_WINDOW_STATE_TILED_LEFT | LIBDECOR_WINDOW_STATE_TILED_RIGHT |
                     LIBDECOR_WINDOW_STATE_TILED_TOP | LIBDECOR_WINDOW_STATE_TILED_BOTTOM;
    w->pendingWidth = width;
    w->pendingHeight = height;
    w->pendingFullscreen = (state & LIBDECOR_WINDOW_STATE_FULLSCREEN) != 0;
    w->pendingActivated = (state & LIBDECOR_WINDOW_STATE_ACTIVE) != 0;
    w->pendingMaximised = (state & LIBDECOR_WINDOW_STATE_MAXIMIZED) != 0;
    w->pendingTiled = (state & tiled) != 0;
    kvr_wlApplyConfigure(w);
    libdecor_state* kept = libdecor_state_new(w->width, w->height);
    libdecor_frame_commit(frame, kept, configuration);
    libdecor_state_free(kept);
}

static void frameClose(libdecor_frame*, void* data) {
    kvr_wlPost(static_cast<KvrWlWindow*>(data), WM_CLOSE, 0, 0, 0);
}

// The decorations changed: libdecor asks for the window's surface to be committed, since its
// surfaces' state is applied with it; the picture is drawn again under them too.
static void frameCommit(libdecor_frame*, void* data) {
    KvrWlWindow* w = static_cast<KvrWlWindow*>(data);
    wl_surface_commit(w->surface);
    w->paintPending = true;
}

static void frameDismissPopup(libdecor_frame*, const char*, void*) {}

static libdecor_frame_interface frameInterface = {
    frameConfigure, frameClose, frameCommit, frameDismissPopup, nullptr, nullptr, nullptr,
    nullptr,        nullptr,    nullptr,     nullptr,           nullptr, nullptr, nullptr};

bool kvr_wlDecorOpen() {
    if (context == nullptr && kvr_wl.display != nullptr) {
        context = libdecor_new(kvr_wl.display, &contextInterface);
    }
    return context != nullptr;
}

void kvr_wlDecorClose() {
    if (context != nullptr) {
        libdecor_unref(context);
    }
    context = nullptr;
}

bool kvr_wlDecorate(KvrWlWindow* w, const char* title, const char* appId) {
    if (context == nullptr) {
        return false;
    }
    w->frame = libdecor_decorate(context, w->surface, &frameInterface, w);
    if (w->frame == nullptr) {
        return false;
    }
    libdecor_frame_set_title(w->frame, title);
    libdecor_frame_set_app_id(w->frame, appId);
    return true;
}

void kvr_wlDecorMap(KvrWlWindow* w) {
    libdecor_frame_map(w->frame);
    w->frameMapped = true;
    kvr_wlDecorShow(w, !w->frameHidden);
}

void kvr_wlDecorShow(KvrWlWindow* w, bool visible) {
    // libdecor 0.1 cannot change a frame's visibility before the frame is mapped (it crashes).
    if (w->frameMapped && w->frameHidden == visible) {
        libdecor_frame_set_visibility(w->frame, visible);
    }
    w->frameHidden = !visible;
}

void kvr_wlDecorFullscreen(KvrWlWindow* w, bool on, wl_output* output) {
    if (on) {
        libdecor_frame_set_fullscreen(w->frame, output);
    } else {
        libdecor_frame_unset_fullscreen(w->frame);
    }
}

void kvr_wlDecorMinimise(KvrWlWindow* w) {
    libdecor_frame_set_minimized(w->frame);
}

void kvr_wlDecorDestroy(KvrWlWindow* w) {
    libdecor_frame_unref(w->frame);
    w->frame = nullptr;
}
