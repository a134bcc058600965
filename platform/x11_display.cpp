// x11_display.cpp - the display connection, the atoms, the X error trap and the window table.
#include "x11_state.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>

#include <errno.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

KvrX11Display kvr_x11 = {};
KvrX11Window kvr_x11Windows[KVR_X11_MAX_WINDOWS] = {};

// State of the X error trap.
static int trapDepth = 0;
static int trapError = 0;

// Kinds of error (error code and request) already reported outside a trap.
static unsigned reportedErrors[64];
static int reportedErrorCount = 0;

// Records protocol errors inside a trap instead of Xlib's default of ending the process;
// errors outside a trap are reported on standard error, once per error code and request.
static int recordXError(Display* display, XErrorEvent* event) {
    if (trapDepth > 0) {
        if (trapError == 0) {
            trapError = event->error_code;
        }
        return 0;
    }
    unsigned kind = ((unsigned)event->error_code << 16) | ((unsigned)event->request_code << 8) |
                    (unsigned)event->minor_code;
    for (int i = 0; i < reportedErrorCount; i++) {
        if (reportedErrors[i] == kind) {
            return 0;
        }
    }
    if (reportedErrorCount < (int)(sizeof reportedErrors / sizeof reportedErrors[0])) {
        reportedErrors[reportedErrorCount++] = kind;
    }
    char text[128] = "";
    XGetErrorText(display, event->error_code, text, (int)sizeof text);
    std::fprintf(stderr, "%s: X error %d (%s) in request %d.%d, resource 0x%lx (reported once)\n",
                 program_invocation_short_name, event->error_code, text, event->request_code,
                 event->minor_code, (unsigned long)event->resourceid);
    std::fflush(stderr);
    return 0;
}

// The connection to the X server broke (the server ended, or the network went): one line that
// names the display, and the status documented for it. Xlib cannot go on after this, and the
// handler must not return.
static int lostDisplay(Display* display) {
    const char* name = display != nullptr ? DisplayString(display) : nullptr;
    std::fprintf(stderr, "%s: lost the connection to X display \"%s\"; exiting with status %d\n",
                 program_invocation_short_name, name != nullptr ? name : "", KVR_X11_LOST_DISPLAY_STATUS);
    std::fflush(stderr);
    std::fflush(stdout);
    _exit(KVR_X11_LOST_DISPLAY_STATUS);
}

// Interns every atom the layer uses in one round trip.
static void internAtoms() {
    // clang-format off
    static const char* names[] = {
        "WM_PROTOCOLS", "WM_DELETE_WINDOW", "WM_STATE", "_NET_WM_PING", "_NET_WM_PID", "_NET_WM_NAME",
        "_NET_WM_STATE", "_NET_WM_STATE_FULLSCREEN", "_NET_WM_STATE_HIDDEN", "_NET_SUPPORTING_WM_CHECK",
        "_NET_ACTIVE_WINDOW", "_MOTIF_WM_HINTS", "UTF8_STRING", "_KVR_TIMESTAMP",
    };
    // clang-format on
    const int count = (int)(sizeof names / sizeof names[0]);
    Atom atoms[sizeof names / sizeof names[0]];
    XInternAtoms(kvr_x11.display, const_cast<char**>(names), count, False, atoms);
    KvrX11Atoms& a = kvr_x11.atoms;
    a.wmProtocols = atoms[0];
    a.wmDeleteWindow = atoms[1];
    a.wmState = atoms[2];
    a.netWmPing = atoms[3];
    a.netWmPid = atoms[4];
    a.netWmName = atoms[5];
    a.netWmState = atoms[6];
    a.netWmStateFullscreen = atoms[7];
    a.netWmStateHidden = atoms[8];
    a.netSupportingWmCheck = atoms[9];
    a.netActiveWindow = atoms[10];
    a.motifWmHints = atoms[11];
    a.utf8String = atoms[12];
    a.timestampProperty = atoms[13];
}

Display* kvr_x11Connect() {
    // A busy X server may reset a new connection during its setup (seen with Xvfb): a transient
    // failure is retried a few times before the display counts as absent.
    Display* display = nullptr;
    for (int attempt = 0; attempt < 5 && display == nullptr; attempt++) {
        if (attempt > 0) {
            kvr_coreSleepMs(10);
        }
        display = XOpenDisplay(nullptr);
    }
    return display;
}

bool kvr_x11Open() {
    if (kvr_x11.display != nullptr) {
        return true;
    }
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || name[0] == '\0') {
        return false;
    }
    Display* display = kvr_x11Connect();
    if (display == nullptr) {
        return false;
    }
    kvr_x11.display = display;
    kvr_x11.screen = DefaultScreen(display);
    kvr_x11.root = RootWindow(display, kvr_x11.screen);
    XSetErrorHandler(recordXError);
    XSetIOErrorHandler(lostDisplay);
    internAtoms();
    // Held keys repeat as presses only, for this connection alone.
    Bool supported = False;
    XkbSetDetectableAutoRepeat(display, True, &supported);
    kvr_x11.xkbDetectableRepeat = supported == True;
    kvr_x11ResetInput();
    return true;
}

// Reads the window named by a WINDOW-typed property, 0 when absent.
static Window windowProperty(Window window, Atom property) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    Window result = 0;
    kvr_x11TrapBegin();
    int status = XGetWindowProperty(kvr_x11.display, window, property, 0, 1, False, XA_WINDOW, &type, &format,
                                    &count, &after, &data);
    kvr_x11TrapEnd();
    if (status == Success && data != nullptr && type == XA_WINDOW && format == 32 && count == 1) {
        result = (Window)((long*)data)[0];
    }
    if (data != nullptr) {
        XFree(data);
    }
    return result;
}

bool kvr_x11HasWindowManager() {
    if (!kvr_x11Open()) {
        return false;
    }
    // An EWMH manager names a child window of its own on the root, which names itself again.
    Window check = windowProperty(kvr_x11.root, kvr_x11.atoms.netSupportingWmCheck);
    if (check == 0) {
        return false;
    }
    return windowProperty(check, kvr_x11.atoms.netSupportingWmCheck) == check;
}

void kvr_x11TrapBegin() {
    if (kvr_x11.display != nullptr && trapDepth == 0) {
        XSync(kvr_x11.display, False);
        trapError = 0;
    }
    trapDepth++;
}

int kvr_x11TrapEnd() {
    if (kvr_x11.display != nullptr) {
        XSync(kvr_x11.display, False);
    }
    if (trapDepth > 0) {
        trapDepth--;
    }
    int error = trapError;
    if (trapDepth == 0) {
        trapError = 0;
    }
    return error;
}

// Matches the PropertyNotify that a zero-length append to our own timestamp property on the window makes.
static Bool isUserTimeNotify(Display*, XEvent* event, XPointer window) {
    return event->type == PropertyNotify && event->xproperty.window == (Window)window &&
                   event->xproperty.atom == kvr_x11.atoms.timestampProperty
               ? True
               : False;
}

Time kvr_x11UserTime(Window w) {
    if (kvr_x11.lastEventTime == 0 && kvr_x11.display != nullptr && w != 0) {
        // No event yet: the server stamps a property change, and the window selects
        // PropertyChangeMask. The notification is sent before the reply that ends the trap's
        // sync, so it is queued by then; a window gone meanwhile only makes a trapped error, and
        // the request then goes without a time. Appending nothing changes no value.
        unsigned char none = 0;
        kvr_x11TrapBegin();
        XChangeProperty(kvr_x11.display, w, kvr_x11.atoms.timestampProperty, XA_CARDINAL, 32, PropModeAppend,
                        &none, 0);
        kvr_x11TrapEnd();
        XEvent event;
        if (XCheckIfEvent(kvr_x11.display, &event, isUserTimeNotify, (XPointer)w)) {
            kvr_x11NoteTime(event.xproperty.time);
        }
    }
    return kvr_x11.lastEventTime;
}

void kvr_x11NoteTime(Time t) {
    // The server's time is a 32-bit count of milliseconds that wraps (every 49.7 days): a time is
    // later when the signed 32-bit difference is positive.
    Time kept = kvr_x11.lastEventTime;
    if (t != CurrentTime && (kept == CurrentTime || (int32_t)(uint32_t)(t - kept) > 0)) {
        kvr_x11.lastEventTime = t;
    }
}

// The record a window or window-DC handle of the given kind names.
static KvrX11Window* findByKind(const void* handle, unsigned kind) {
    int slot = 0;
    unsigned generation = 0;
    if (!kvr_coreSplitHandle(handle, kind, &slot, &generation) || slot >= KVR_X11_MAX_WINDOWS) {
        return nullptr;
    }
    KvrX11Window* w = &kvr_x11Windows[slot];
    if (!w->used || (w->generation & 0xFFFFFu) != generation) {
        return nullptr;
    }
    return w;
}

KvrX11Window* kvr_x11FindWindow(HWND hwnd) {
    return findByKind(hwnd, KVR_CORE_KIND_WINDOW);
}

KvrX11Window* kvr_x11FindDcWindow(HDC hdc) {
    return findByKind(hdc, KVR_CORE_KIND_DC);
}

bool kvr_x11IsDesktopDc(HDC hdc) {
    return hdc == static_cast<HDC>(kvr_coreMakeHandle(KVR_CORE_KIND_DC, KVR_X11_MAX_WINDOWS, 0));
}

KvrX11Window* kvr_x11WindowOfX(Window xwindow) {
    for (KvrX11Window& w : kvr_x11Windows) {
        if (w.used && w.xwindow == xwindow && xwindow != 0) {
            return &w;
        }
    }
    return nullptr;
}

HWND kvr_x11HandleOf(const KvrX11Window* w) {
    return static_cast<HWND>(
        kvr_coreMakeHandle(KVR_CORE_KIND_WINDOW, (int)(w - kvr_x11Windows), w->generation));
}
