// x11_window.cpp - the top-level windows, their styles and placement, showing and focus,
// screen metrics and the pointer, on Xlib (the window classes are core_classes.cpp's).
//
// The X window is the client area; the window manager, where one runs, draws the frame.
// So AdjustWindowRectEx leaves rectangles as they are and GetWindowRect reports the X
// window's rectangle. Screen coordinates are root coordinates less the primary monitor's
// corner, and the screen metrics are that monitor's size (x11_monitor.cpp). Full screen is
// EWMH _NET_WM_STATE_FULLSCREEN plus Motif hints under a window manager (pinned to the
// primary with _NET_WM_FULLSCREEN_MONITORS where the manager offers it), plain geometry
// where none runs (as under Xvfb).
// SetWindowPos honours SWP_NOMOVE, SWP_NOSIZE, SWP_SHOWWINDOW and SWP_HIDEWINDOW; the
// insert-after handle is ignored (windows keep their stacking and are never made topmost).
// Minimising without a window manager is not emulated: nobody iconifies the window then.
#include "x11_state.h"

#include <X11/Xatom.h>
#include <X11/cursorfont.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

// Module state: the arrow and the blank cursor and the display they were made on.
static Cursor arrowCursor = 0;
static Cursor blankCursor = 0;
static Display* cursorDisplay = nullptr;

// Motif window-manager hints: flags, functions, decorations, input mode, status.
#define KVR_MWM_HINTS_DECORATIONS 2

bool kvr_x11ClassInUse(int classSlot) {
    for (const KvrX11Window& w : kvr_x11Windows) {
        if (w.used && w.classSlot == classSlot) {
            return true;
        }
    }
    return false;
}

// Writes the Motif hints that give or take away the window manager's decorations.
static void setDecorations(KvrX11Window* w) {
    long hints[5] = {KVR_MWM_HINTS_DECORATIONS, 0, kvr_coreStyleDecorated(w->style) ? 1 : 0, 0, 0};
    XChangeProperty(kvr_x11.display, w->xwindow, kvr_x11.atoms.motifWmHints, kvr_x11.atoms.motifWmHints, 32,
                    PropModeReplace, (unsigned char*)hints, 5);
}

// Writes the size hints: StaticGravity, so that a move places the client area.
static void setSizeHints(KvrX11Window* w, int x, int y, int width, int height) {
    XSizeHints* hints = XAllocSizeHints();
    if (hints == nullptr) {
        return;
    }
    hints->flags = PPosition | USPosition | PSize | PWinGravity;
    hints->x = x;
    hints->y = y;
    hints->width = width;
    hints->height = height;
    hints->win_gravity = StaticGravity;
    XSetWMNormalHints(kvr_x11.display, w->xwindow, hints);
    XFree(hints);
}

// Sets or clears the full-screen state property of a window that is not mapped yet.
static void setInitialFullscreenState(KvrX11Window* w) {
    if (w->fullscreenRequested) {
        Atom state = kvr_x11.atoms.netWmStateFullscreen;
        XChangeProperty(kvr_x11.display, w->xwindow, kvr_x11.atoms.netWmState, XA_ATOM, 32, PropModeReplace,
                        (unsigned char*)&state, 1);
    } else {
        XDeleteProperty(kvr_x11.display, w->xwindow, kvr_x11.atoms.netWmState);
    }
}

// Makes the arrow and the blank cursor once per display connection.
static void makeCursors(Display* d) {
    if (cursorDisplay == d) {
        return;
    }
    cursorDisplay = d;
    arrowCursor = XCreateFontCursor(d, XC_left_ptr);
    char none = 0;
    Pixmap empty = XCreateBitmapFromData(d, kvr_x11.root, &none, 1, 1);
    XColor black;
    std::memset(&black, 0, sizeof black);
    blankCursor = empty != 0 ? XCreatePixmapCursor(d, empty, empty, &black, &black, 0, 0) : 0;
    if (empty != 0) {
        XFreePixmap(d, empty);
    }
}

// Gives the window its class's cursor. On Xwayland a full-screen window shows none: Xwayland
// carries out pointer warps (the viewer's wrap at the screen's edges) only while the cursor is
// hidden, and undoes them at the next real move otherwise.
static void defineCursor(KvrX11Window* w) {
    Display* d = kvr_x11.display;
    makeCursors(d);
    if (w->fullscreenRequested && blankCursor != 0 && kvr_x11IsXwayland()) {
        XDefineCursor(d, w->xwindow, blankCursor);
    } else if (w->classSlot >= 0 && kvr_coreClass(w->classSlot)->arrowCursor) {
        XDefineCursor(d, w->xwindow, arrowCursor);
    } else {
        XUndefineCursor(d, w->xwindow);
    }
}

// Writes title, class, protocols, process id and hints of a new X window.
static void setWindowProperties(KvrX11Window* w, int x, int y, int width, int height) {
    Display* d = kvr_x11.display;
    XStoreName(d, w->xwindow, w->title.c_str());
    XChangeProperty(d, w->xwindow, kvr_x11.atoms.netWmName, kvr_x11.atoms.utf8String, 8, PropModeReplace,
                    (const unsigned char*)w->title.c_str(), (int)w->title.size());
    XClassHint* classHint = XAllocClassHint();
    if (classHint != nullptr) {
        std::string name = w->classSlot >= 0 ? kvr_coreClass(w->classSlot)->name : std::string("kelvor");
        classHint->res_name = const_cast<char*>(name.c_str());
        classHint->res_class = const_cast<char*>(name.c_str());
        XSetClassHint(d, w->xwindow, classHint);
        XFree(classHint);
    }
    Atom protocols[2] = {kvr_x11.atoms.wmDeleteWindow, kvr_x11.atoms.netWmPing};
    XSetWMProtocols(d, w->xwindow, protocols, 2);
    long pid = (long)getpid();
    XChangeProperty(d, w->xwindow, kvr_x11.atoms.netWmPid, XA_CARDINAL, 32, PropModeReplace,
                    (unsigned char*)&pid, 1);
    XWMHints* wmHints = XAllocWMHints();
    if (wmHints != nullptr) {
        wmHints->flags = InputHint | StateHint;
        wmHints->input = True;
        wmHints->initial_state = NormalState;
        XSetWMHints(d, w->xwindow, wmHints);
        XFree(wmHints);
    }
    setSizeHints(w, x, y, width, height);
    setDecorations(w);
    setInitialFullscreenState(w);
    defineCursor(w);
}

bool kvr_x11CreateXWindow(KvrX11Window* w, XVisualInfo* visual, int x, int y, int width, int height) {
    Display* d = kvr_x11.display;
    XSetWindowAttributes attributes;
    std::memset(&attributes, 0, sizeof attributes);
    attributes.background_pixmap = None;  // no background is erased, as with a null class brush
    attributes.border_pixel = 0;
    attributes.event_mask = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                            PointerMotionMask | StructureNotifyMask | FocusChangeMask | PropertyChangeMask |
                            ExposureMask | EnterWindowMask | LeaveWindowMask | VisibilityChangeMask |
                            KeymapStateMask;
    unsigned long mask = CWBackPixmap | CWBorderPixel | CWEventMask;
    int depth = CopyFromParent;
    Visual* xvisual = CopyFromParent;
    Colormap colormap = 0;
    kvr_x11TrapBegin();
    if (visual != nullptr) {
        colormap = XCreateColormap(d, kvr_x11.root, visual->visual, AllocNone);
        attributes.colormap = colormap;
        mask |= CWColormap;
        depth = visual->depth;
        xvisual = visual->visual;
    }
    Window xwindow = XCreateWindow(d, kvr_x11.root, x, y, (unsigned)width, (unsigned)height, 0, depth,
                                   InputOutput, xvisual, mask, &attributes);
    if (kvr_x11TrapEnd() != 0 || xwindow == 0) {
        if (colormap != 0) {
            XFreeColormap(d, colormap);
        }
        return false;
    }
    w->xwindow = xwindow;
    w->colormap = colormap;
    setWindowProperties(w, x, y, width, height);
    XFlush(d);
    return true;
}

HWND kvr_x11CreateWindow(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                         int width, int height) {
    int classSlot = kvr_coreFindClass(className);
    if (classSlot < 0 || !kvr_x11Open()) {
        return nullptr;
    }
    KvrX11Window* w = nullptr;
    for (KvrX11Window& candidate : kvr_x11Windows) {
        if (!candidate.used) {
            w = &candidate;
            break;
        }
    }
    if (w == nullptr) {
        return nullptr;
    }
    kvr_coreCreationPlace(&x, &y, &width, &height, kvr_x11PrimaryMonitor());
    unsigned generation = w->generation + 1;
    *w = KvrX11Window();
    w->generation = generation;
    w->classSlot = classSlot;
    w->proc = kvr_coreClass(classSlot)->proc;
    w->style = style;
    w->exStyle = exStyle;
    w->title = windowName != nullptr ? windowName : "";
    w->reportedWidth = -1;
    w->reportedHeight = -1;
    if (!kvr_x11CreateXWindow(w, nullptr, x, y, width, height)) {
        return nullptr;
    }
    w->used = true;
    HWND hwnd = kvr_x11HandleOf(w);
    // Like Win32, the new window hears its client size before CreateWindowExA returns.
    kvr_x11ReportSize(w, width, height);
    if (kvr_x11FindWindow(hwnd) != nullptr && (style & WS_VISIBLE) != 0) {
        ShowWindow(hwnd, SW_SHOW);
    }
    return kvr_x11FindWindow(hwnd) != nullptr ? hwnd : nullptr;
}

BOOL kvr_x11DestroyWindow(HWND hwnd) {
    KvrX11Window* w = kvr_x11FindWindow(hwnd);
    if (w == nullptr) {
        return FALSE;
    }
    kvr_x11Send(w, WM_DESTROY, 0, 0);
    w = kvr_x11FindWindow(hwnd);
    if (w == nullptr) {
        return TRUE;  // destroyed from inside its own WM_DESTROY
    }
    kvr_x11ReleaseDrawable(w);
    kvr_x11TrapBegin();
    if (!w->xwindowGone) {
        XDestroyWindow(kvr_x11.display, w->xwindow);
    }
    if (w->colormap != 0) {
        XFreeColormap(kvr_x11.display, w->colormap);
    }
    int error = kvr_x11TrapEnd();
    // The record goes either way: a window X could not destroy is gone or was never ours.
    kvr_coreDropMessages(hwnd);
    unsigned generation = w->generation;
    *w = KvrX11Window();
    w->generation = generation;
    kvr_x11FollowRootMotion();
    return error == 0 ? TRUE : FALSE;
}

bool kvr_x11SendTo(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    KvrX11Window* w = kvr_x11FindWindow(hwnd);
    if (w == nullptr) {
        return false;
    }
    *result = kvr_x11Send(w, message, wParam, lParam);
    return true;
}

LRESULT kvr_x11Send(KvrX11Window* w, UINT message, WPARAM wParam, LPARAM lParam) {
    if (w == nullptr || w->proc == nullptr) {
        return 0;
    }
    return w->proc(kvr_x11HandleOf(w), message, wParam, lParam);
}

void kvr_x11ReportSize(KvrX11Window* w, int width, int height) {
    if (w->reportedWidth == width && w->reportedHeight == height) {
        return;
    }
    w->reportedWidth = width;
    w->reportedHeight = height;
    kvr_x11Send(w, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
}

// A predicate that takes no event: XCheckIfEvent with it only reads the connection.
static Bool matchNoEvent(Display*, XEvent*, XPointer) {
    return False;
}

// The number of queued events once everything the server has sent is read. XEventsQueued
// alone does not read the connection while events are queued, and nothing takes them out
// during a wait; XCheckIfEvent always reads and, taking none, keeps their order for PeekMessageA.
static int readQueued() {
    XEvent unused;
    XCheckIfEvent(kvr_x11.display, &unused, matchNoEvent, nullptr);
    return XEventsQueued(kvr_x11.display, QueuedAlready);
}

// Waits until more than `seen` events are queued (counted by readQueued before the waiter last
// looked at the state it waits for) or the deadline (kvr_coreNowMs) passes, whichever comes
// first. The events stay queued, so PeekMessageA still translates them in their order. A
// waiter looks at its state again after each return and stops after a look begun at the
// deadline or later: events that keep arriving (a moving pointer) do not hold it past the
// deadline, and that last look sees everything that came before.
static void waitForEvents(int seen, long long deadline) {
    Display* d = kvr_x11.display;
    for (;;) {
        long long left = deadline - kvr_coreNowMs();
        if (left <= 0 || readQueued() > seen) {
            return;
        }
        pollfd connection = {ConnectionNumber(d), POLLIN, 0};
        if (poll(&connection, 1, (int)left) < 0 && errno != EINTR) {
            return;
        }
    }
}

void kvr_x11WaitViewable(KvrX11Window* w) {
    long long deadline = kvr_coreNowMs() + 1000;
    for (;;) {
        int seen = readQueued();
        bool last = kvr_coreNowMs() >= deadline;  // this look is the last
        XWindowAttributes attributes;
        kvr_x11TrapBegin();
        Status ok = XGetWindowAttributes(kvr_x11.display, w->xwindow, &attributes);
        int error = kvr_x11TrapEnd();
        if (error != 0 || ok == 0 || attributes.map_state == IsViewable || last) {
            return;
        }
        waitForEvents(seen, deadline);
    }
}

// Maps a window and waits until it is viewable.
static void mapWindow(KvrX11Window* w) {
    XMapRaised(kvr_x11.display, w->xwindow);
    w->mapped = true;
    kvr_x11WaitViewable(w);
}

BOOL kvr_x11ShowWindow(HWND hwnd, int command) {
    KvrX11Window* w = kvr_x11FindWindow(hwnd);
    if (w == nullptr) {
        return FALSE;
    }
    BOOL wasVisible = w->mapped ? TRUE : FALSE;
    switch (command) {
        case SW_HIDE:
            XUnmapWindow(kvr_x11.display, w->xwindow);
            w->mapped = false;
            XFlush(kvr_x11.display);
            break;
        case SW_MINIMIZE:
        case SW_SHOWMINIMIZED:
            if (!w->mapped) {
                mapWindow(w);
            }
            XIconifyWindow(kvr_x11.display, w->xwindow, kvr_x11.screen);
            XFlush(kvr_x11.display);
            break;
        default:
            mapWindow(w);
            break;
    }
    return wasVisible;
}

BOOL kvr_x11SetForegroundWindow(HWND hwnd) {
    KvrX11Window* w = kvr_x11FindWindow(hwnd);
    if (w == nullptr) {
        return FALSE;
    }
    Display* d = kvr_x11.display;
    if (kvr_x11HasWindowManager()) {
        // Window managers decide activation: ask through _NET_ACTIVE_WINDOW (source 1, an
        // application) with the time of the user's last action. mutter, metacity and marco call a
        // request with time 0 buggy, and focus-stealing prevention may refuse it.
        Time when = kvr_x11UserTime(w->xwindow);
        XEvent event;
        std::memset(&event, 0, sizeof event);
        event.xclient.type = ClientMessage;
        event.xclient.window = w->xwindow;
        event.xclient.message_type = kvr_x11.atoms.netActiveWindow;
        event.xclient.format = 32;
        event.xclient.data.l[0] = 1;
        event.xclient.data.l[1] = (long)when;
        XSendEvent(d, kvr_x11.root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    }
    kvr_x11TrapBegin();
    XRaiseWindow(d, w->xwindow);
    kvr_x11TrapEnd();
    SetFocus(hwnd);
    return TRUE;
}

HWND kvr_x11SetFocus(HWND hwnd) {
    if (kvr_x11.display == nullptr) {
        return nullptr;
    }
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(kvr_x11.display, &focus, &revert);
    KvrX11Window* previous = kvr_x11WindowOfX(focus);
    HWND previousHandle = previous != nullptr ? kvr_x11HandleOf(previous) : nullptr;
    KvrX11Window* w = kvr_x11FindWindow(hwnd);
    if (w == nullptr) {
        return nullptr;
    }
    XWindowAttributes attributes;
    kvr_x11TrapBegin();
    if (XGetWindowAttributes(kvr_x11.display, w->xwindow, &attributes) != 0 &&
        attributes.map_state == IsViewable) {
        XSetInputFocus(kvr_x11.display, w->xwindow, RevertToParent, CurrentTime);
    }
    kvr_x11TrapEnd();
    return previousHandle;
}

LONG kvr_x11SetWindowLong(HWND hwnd, int index, LONG value) {
    KvrX11Window* w = kvr_x11FindWindow(hwnd);
    if (w == nullptr) {
        return 0;
    }
    return kvr_coreSetStyle(&w->style, &w->exStyle, index, value);
}

// Sends a client message about a mapped window to the window manager (through the root).
static void sendToManager(KvrX11Window* w, Atom type, long l0, long l1, long l2, long l3, long l4) {
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = w->xwindow;
    event.xclient.message_type = type;
    event.xclient.format = 32;
    event.xclient.data.l[0] = l0;
    event.xclient.data.l[1] = l1;
    event.xclient.data.l[2] = l2;
    event.xclient.data.l[3] = l3;
    event.xclient.data.l[4] = l4;
    XSendEvent(kvr_x11.display, kvr_x11.root, False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
}

// True when the window manager lists the atom in the root's _NET_SUPPORTED.
static bool managerSupports(Atom atom) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool found = false;
    Atom supported = XInternAtom(kvr_x11.display, "_NET_SUPPORTED", False);
    kvr_x11TrapBegin();
    if (XGetWindowProperty(kvr_x11.display, kvr_x11.root, supported, 0, 4096, False, XA_ATOM, &type, &format,
                           &count, &after, &data) == Success &&
        data != nullptr && format == 32) {
        for (unsigned long i = 0; i < count && !found; i++) {
            found = (Atom)((long*)data)[i] == atom;
        }
    }
    if (data != nullptr) {
        XFree(data);
    }
    kvr_x11TrapEnd();
    return found;
}

// Pins a window's full screen to one monitor where the window manager offers that, so that it
// fills the primary monitor rather than the one the manager would pick.
static void pinFullscreenMonitor(KvrX11Window* w, const RECT& monitor) {
    Atom pin = XInternAtom(kvr_x11.display, "_NET_WM_FULLSCREEN_MONITORS", False);
    int index = kvr_x11MonitorIndex(monitor);
    if (index < 0 || !managerSupports(pin)) {
        return;
    }
    if (w->mapped) {
        sendToManager(w, pin, index, index, index, index, 1);
    } else {
        long indices[4] = {index, index, index, index};
        XChangeProperty(kvr_x11.display, w->xwindow, pin, XA_CARDINAL, 32, PropModeReplace,
                        (unsigned char*)indices, 4);
    }
}

// Asks a running window manager for full screen or its end: a request once the window is
// mapped, the initial state before that.
static void requestFullscreen(KvrX11Window* w, bool on) {
    w->fullscreenRequested = on;
    if (w->mapped) {
        sendToManager(w, kvr_x11.atoms.netWmState, on ? 1 : 0, (long)kvr_x11.atoms.netWmStateFullscreen, 0, 1,
                      0);
    } else {
        setInitialFullscreenState(w);
    }
}

bool kvr_x11ClientRect(KvrX11Window* w, RECT* rect, unsigned long* serial) {
    Window root = 0, child = 0;
    int x = 0, y = 0, rootX = 0, rootY = 0;
    unsigned int width = 0, height = 0, border = 0, depth = 0;
    kvr_x11TrapBegin();
    if (serial != nullptr) {
        *serial = NextRequest(kvr_x11.display);
    }
    Status ok = XGetGeometry(kvr_x11.display, w->xwindow, &root, &x, &y, &width, &height, &border, &depth);
    Bool translated =
        XTranslateCoordinates(kvr_x11.display, w->xwindow, kvr_x11.root, 0, 0, &rootX, &rootY, &child);
    if (kvr_x11TrapEnd() != 0 || ok == 0 || translated == False) {
        return false;
    }
    rect->left = rootX;
    rect->top = rootY;
    rect->right = rootX + (LONG)width;
    rect->bottom = rootY + (LONG)height;
    return true;
}

// The client rectangle SetWindowPos asks for, on the root, from the one the server holds now
// (kvr_coreRequestedRect); false when the window is gone.
static bool requestedRect(KvrX11Window* w, int x, int y, int cx, int cy, UINT flags, const RECT& primary,
                          RECT* rect) {
    RECT current = {0, 0, 0, 0};
    if (!kvr_x11ClientRect(w, &current, nullptr)) {
        return false;
    }
    *rect = kvr_coreRequestedRect(current, x, y, cx, cy, flags, primary);
    return true;
}

// Hides the window when asked, then writes the decorations, the size hints, the full-screen
// state and the geometry. A window manager fills the monitor the window is on (the one pinned
// where it offers that); many do not restore the old geometry when full screen ends, so the
// geometry is always set explicitly after the request.
static void applyPlacement(KvrX11Window* w, const RECT& rect, bool full, bool manager, const RECT& primary,
                           UINT flags) {
    Display* d = kvr_x11.display;
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    kvr_x11TrapBegin();
    if ((flags & SWP_HIDEWINDOW) != 0 && w->mapped) {
        XUnmapWindow(d, w->xwindow);
        w->mapped = false;
    }
    setDecorations(w);
    setSizeHints(w, rect.left, rect.top, width, height);
    bool change = manager && full != w->fullscreenRequested;
    if (change && full) {
        pinFullscreenMonitor(w, primary);
    }
    if (change) {
        requestFullscreen(w, full);
    }
    XMoveResizeWindow(d, w->xwindow, rect.left, rect.top, (unsigned)width, (unsigned)height);
    w->fullscreenRequested = full;
    defineCursor(w);
    kvr_x11TrapEnd();
}

// Waits, with a short bound, for the client rectangle a window manager grants; without one
// the request is granted at once. Window managers (openbox among them) carry out a move
// asynchronously, so a move alone is waited for too: GetWindowRect right after SetWindowPos
// sees the new place. False when the window is gone.
static bool awaitGeometry(KvrX11Window* w, const RECT& target, bool manager, RECT* granted,
                          unsigned long* serial) {
    long long deadline = kvr_coreNowMs() + (manager ? 100 : 0);
    for (;;) {
        int seen = readQueued();
        bool last = kvr_coreNowMs() >= deadline;  // this look is the last
        if (!kvr_x11ClientRect(w, granted, serial)) {
            return false;
        }
        bool reached = granted->left == target.left && granted->top == target.top &&
                       granted->right == target.right && granted->bottom == target.bottom;
        if (reached || last) {
            return true;
        }
        waitForEvents(seen, deadline);
    }
}

// Reports the granted size before SetWindowPos returns, as Win32 does; the server's
// ConfigureNotify events up to the reading serial are accounted for by it.
static void reportGranted(KvrX11Window* w, const RECT& granted, unsigned long serial) {
    int width = (int)(granted.right - granted.left), height = (int)(granted.bottom - granted.top);
    w->staleConfigureSerial = serial;
    if (width != w->reportedWidth || height != w->reportedHeight) {
        kvr_x11RefreshDrawable(w);
    }
    kvr_x11ReportSize(w, width, height);
}

BOOL kvr_x11SetWindowPos(HWND hwnd, int x, int y, int cx, int cy, UINT flags) {
    KvrX11Window* w = kvr_x11FindWindow(hwnd);
    if (w == nullptr) {
        return FALSE;
    }
    RECT primary = kvr_x11PrimaryMonitor();
    RECT rect = {0, 0, 0, 0};
    if (!requestedRect(w, x, y, cx, cy, flags, primary, &rect)) {
        return FALSE;
    }
    bool full = kvr_coreCoversMonitor(w->style, rect, primary);
    bool manager = kvr_x11HasWindowManager();
    applyPlacement(w, rect, full, manager, primary, flags);
    if ((flags & SWP_SHOWWINDOW) != 0 && !w->mapped) {
        mapWindow(w);
    }
    kvr_x11FollowRootMotion();
    RECT granted = {0, 0, 0, 0};
    unsigned long serial = 0;
    if (!awaitGeometry(w, manager && full ? primary : rect, manager, &granted, &serial)) {
        return FALSE;
    }
    reportGranted(w, granted, serial);
    return TRUE;
}

BOOL kvr_x11GetWindowRect(HWND hwnd, LPRECT rect) {
    KvrX11Window* w = kvr_x11FindWindow(hwnd);
    RECT onRoot = {0, 0, 0, 0};
    if (w == nullptr || rect == nullptr || !kvr_x11ClientRect(w, &onRoot, nullptr)) {
        return FALSE;
    }
    RECT primary = kvr_x11PrimaryMonitor();
    rect->left = onRoot.left - primary.left;
    rect->top = onRoot.top - primary.top;
    rect->right = onRoot.right - primary.left;
    rect->bottom = onRoot.bottom - primary.top;
    return TRUE;
}

int kvr_x11SystemMetrics(int index) {
    RECT primary = kvr_x11PrimaryMonitor();
    if (index == SM_CXSCREEN) {
        return primary.right - primary.left;
    }
    if (index == SM_CYSCREEN) {
        return primary.bottom - primary.top;
    }
    return 0;
}

BOOL kvr_x11SetCursorPos(int x, int y) {
    if (!kvr_x11Open() || !kvr_x11CanWarpPointer()) {
        return FALSE;
    }
    RECT primary = kvr_x11PrimaryMonitor();
    kvr_x11NoteWarp(NextRequest(kvr_x11.display));
    XWarpPointer(kvr_x11.display, None, kvr_x11.root, 0, 0, 0, 0, primary.left + x, primary.top + y);
    XFlush(kvr_x11.display);
    return TRUE;
}
