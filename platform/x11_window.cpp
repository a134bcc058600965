// x11_window.cpp - window classes, the top-level windows, their styles and placement,
// showing and focus, screen metrics and the pointer, on Xlib.
//
// The X window is the client area; the window manager, where one runs, draws the frame.
// So AdjustWindowRectEx leaves rectangles as they are and GetWindowRect reports the X
// window's rectangle on the root. Full screen is EWMH _NET_WM_STATE_FULLSCREEN plus
// Motif hints under a window manager, plain geometry where none runs (as under Xvfb).
// SetWindowPos honours SWP_NOMOVE, SWP_NOSIZE, SWP_SHOWWINDOW and SWP_HIDEWINDOW; the
// insert-after handle is ignored (windows keep their stacking and are never made topmost).
// Minimising without a window manager is not emulated: nobody iconifies the window then.
#include "x11_state.h"

#include <X11/Xatom.h>
#include <X11/cursorfont.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <string>

// One registered window class.
struct KvrX11Class {
    bool used;
    std::string name;
    ATOM atom;
    WNDPROC proc;
    bool arrowCursor;
};

// Module state: the class table, the next class atom and the arrow cursor.
static KvrX11Class classes[KVR_X11_MAX_CLASSES];
static ATOM nextAtom = 0xC000;
static Cursor arrowCursor = 0;
static Display* arrowCursorDisplay = nullptr;

// Motif window-manager hints: flags, functions, decorations, input mode, status.
#define KVR_MWM_HINTS_DECORATIONS 2

// Compares two class names without regard to case, as Win32 does.
static bool sameName(const std::string& a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n) {
        return false;
    }
    for (size_t i = 0; i < n; i++) {
        if (std::tolower((unsigned char)a[i]) != std::tolower((unsigned char)b[i])) {
            return false;
        }
    }
    return true;
}

// The slot of a class given by name or by atom (MAKEINTATOM), -1 when unknown.
static int findClass(LPCSTR name) {
    if (name == nullptr) {
        return -1;
    }
    for (int i = 0; i < KVR_X11_MAX_CLASSES; i++) {
        if (!classes[i].used) {
            continue;
        }
        if (IS_INTRESOURCE(name) ? classes[i].atom == (ATOM)(UINT_PTR)name
                                 : sameName(classes[i].name, name)) {
            return i;
        }
    }
    return -1;
}

extern "C" ATOM WINAPI RegisterClassA(const WNDCLASSA* wc) {
    if (wc == nullptr || wc->lpszClassName == nullptr || wc->lpfnWndProc == nullptr ||
        IS_INTRESOURCE(wc->lpszClassName) || wc->lpszClassName[0] == '\0' ||
        findClass(wc->lpszClassName) >= 0) {
        return 0;
    }
    for (KvrX11Class& c : classes) {
        if (!c.used) {
            c.used = true;
            c.name = wc->lpszClassName;
            c.atom = nextAtom;
            nextAtom = nextAtom == 0xFFFF ? 0xC000 : (ATOM)(nextAtom + 1);
            c.proc = wc->lpfnWndProc;
            c.arrowCursor = wc->hCursor != nullptr;
            return c.atom;
        }
    }
    return 0;
}

extern "C" BOOL WINAPI UnregisterClassA(LPCSTR name, HINSTANCE) {
    int slot = findClass(name);
    if (slot < 0) {
        return FALSE;
    }
    for (const KvrX11Window& w : kvr_x11Windows) {
        if (w.used && w.classSlot == slot) {
            return FALSE;
        }
    }
    classes[slot].used = false;
    classes[slot].name.clear();
    return TRUE;
}

extern "C" BOOL WINAPI AdjustWindowRectEx(LPRECT rect, DWORD, BOOL, DWORD) {
    // The window manager draws the frame outside the X window, which is the client area.
    return rect != nullptr ? TRUE : FALSE;
}

// True when a style asks for a caption and frame.
static bool styleDecorated(DWORD style) {
    return (style & WS_POPUP) == 0 || (style & WS_CAPTION) != 0;
}

// Writes the Motif hints that give or take away the window manager's decorations.
static void setDecorations(KvrX11Window* w) {
    long hints[5] = {KVR_MWM_HINTS_DECORATIONS, 0, styleDecorated(w->style) ? 1 : 0, 0, 0};
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

// Writes title, class, protocols, process id and hints of a new X window.
static void setWindowProperties(KvrX11Window* w, int x, int y, int width, int height) {
    Display* d = kvr_x11.display;
    XStoreName(d, w->xwindow, w->title.c_str());
    XChangeProperty(d, w->xwindow, kvr_x11.atoms.netWmName, kvr_x11.atoms.utf8String, 8, PropModeReplace,
                    (const unsigned char*)w->title.c_str(), (int)w->title.size());
    XClassHint* classHint = XAllocClassHint();
    if (classHint != nullptr) {
        std::string name = w->classSlot >= 0 ? classes[w->classSlot].name : std::string("kelvor");
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
    if (w->classSlot >= 0 && classes[w->classSlot].arrowCursor) {
        if (arrowCursor == 0 || arrowCursorDisplay != d) {
            arrowCursor = XCreateFontCursor(d, XC_left_ptr);
            arrowCursorDisplay = d;
        }
        XDefineCursor(d, w->xwindow, arrowCursor);
    }
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

// The size of the screen in pixels; 0 by 0 without a display.
static void screenSize(int* width, int* height) {
    *width = 0;
    *height = 0;
    if (kvr_x11Open()) {
        *width = DisplayWidth(kvr_x11.display, kvr_x11.screen);
        *height = DisplayHeight(kvr_x11.display, kvr_x11.screen);
    }
}

extern "C" HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                                       int y, int width, int height, HWND, HMENU, HINSTANCE, LPVOID) {
    int classSlot = findClass(className);
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
    if (width == CW_USEDEFAULT || height == CW_USEDEFAULT) {
        width = 640;
        height = 480;
    }
    width = width < 1 ? 1 : width;
    height = height < 1 ? 1 : height;
    if (x == CW_USEDEFAULT || y == CW_USEDEFAULT) {
        // The default position centres the window on the screen.
        int screenWidth = 0, screenHeight = 0;
        screenSize(&screenWidth, &screenHeight);
        x = screenWidth > width ? (screenWidth - width) / 2 : 0;
        y = screenHeight > height ? (screenHeight - height) / 2 : 0;
    }
    unsigned generation = w->generation + 1;
    *w = KvrX11Window();
    w->generation = generation;
    w->classSlot = classSlot;
    w->proc = classes[classSlot].proc;
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

extern "C" BOOL WINAPI DestroyWindow(HWND hwnd) {
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
    XDestroyWindow(kvr_x11.display, w->xwindow);
    if (w->colormap != 0) {
        XFreeColormap(kvr_x11.display, w->colormap);
    }
    kvr_x11TrapEnd();
    kvr_x11DropMessages(hwnd);
    unsigned generation = w->generation;
    *w = KvrX11Window();
    w->generation = generation;
    return TRUE;
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

extern "C" LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    KvrX11Window* w = kvr_x11FindWindow(hwnd);
    if (w == nullptr) {
        return 0;
    }
    switch (message) {
        case WM_SYSKEYDOWN:
            // Alt+F4 closes the window through the system menu's close command.
            if (wParam == VK_F4 && (lParam & 0x20000000) != 0) {
                kvr_x11Send(w, WM_SYSCOMMAND, SC_CLOSE, 0);
            }
            return 0;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_CLOSE) {
                kvr_x11Send(w, WM_CLOSE, 0, 0);
            }
            return 0;
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        default:
            return 0;
    }
}

void kvr_x11WaitViewable(KvrX11Window* w) {
    long long deadline = kvr_x11NowMs() + 1000;
    for (;;) {
        XWindowAttributes attributes;
        kvr_x11TrapBegin();
        Status ok = XGetWindowAttributes(kvr_x11.display, w->xwindow, &attributes);
        int error = kvr_x11TrapEnd();
        if (error != 0 || ok == 0 || attributes.map_state == IsViewable || kvr_x11NowMs() >= deadline) {
            return;
        }
        kvr_x11SleepMs(2);
    }
}

// Maps a window and waits until it is viewable.
static void mapWindow(KvrX11Window* w) {
    XMapRaised(kvr_x11.display, w->xwindow);
    w->mapped = true;
    kvr_x11WaitViewable(w);
}

extern "C" BOOL WINAPI ShowWindow(HWND hwnd, int command) {
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

extern "C" BOOL WINAPI SetForegroundWindow(HWND hwnd) {
    KvrX11Window* w = kvr_x11FindWindow(hwnd);
    if (w == nullptr) {
        return FALSE;
    }
    Display* d = kvr_x11.display;
    if (kvr_x11HasWindowManager()) {
        // Window managers decide activation: ask through _NET_ACTIVE_WINDOW (source 1, an application).
        XEvent event;
        std::memset(&event, 0, sizeof event);
        event.xclient.type = ClientMessage;
        event.xclient.window = w->xwindow;
        event.xclient.message_type = kvr_x11.atoms.netActiveWindow;
        event.xclient.format = 32;
        event.xclient.data.l[0] = 1;
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(d, kvr_x11.root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    }
    kvr_x11TrapBegin();
    XRaiseWindow(d, w->xwindow);
    kvr_x11TrapEnd();
    SetFocus(hwnd);
    return TRUE;
}

extern "C" HWND WINAPI SetFocus(HWND hwnd) {
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

extern "C" LONG WINAPI SetWindowLongA(HWND hwnd, int index, LONG value) {
    KvrX11Window* w = kvr_x11FindWindow(hwnd);
    if (w == nullptr) {
        return 0;
    }
    LONG previous = 0;
    if (index == GWL_STYLE) {
        previous = (LONG)w->style;
        w->style = (DWORD)value;
    } else if (index == GWL_EXSTYLE) {
        previous = (LONG)w->exStyle;
        w->exStyle = (DWORD)value;
    }
    return previous;
}

// Asks a running window manager to add (1) or remove (0) full screen on a mapped window.
static void requestFullscreen(KvrX11Window* w, bool on) {
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = w->xwindow;
    event.xclient.message_type = kvr_x11.atoms.netWmState;
    event.xclient.format = 32;
    event.xclient.data.l[0] = on ? 1 : 0;
    event.xclient.data.l[1] = (long)kvr_x11.atoms.netWmStateFullscreen;
    event.xclient.data.l[2] = 0;
    event.xclient.data.l[3] = 1;
    XSendEvent(kvr_x11.display, kvr_x11.root, False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
}

// Reads the client rectangle the server holds now (position on the root); false when the window is gone.
static bool currentRect(KvrX11Window* w, RECT* rect, unsigned long* serial) {
    Window root = 0, child = 0;
    int x = 0, y = 0, rootX = 0, rootY = 0;
    unsigned int gw = 0, gh = 0, border = 0, depth = 0;
    kvr_x11TrapBegin();
    *serial = NextRequest(kvr_x11.display);
    Status ok = XGetGeometry(kvr_x11.display, w->xwindow, &root, &x, &y, &gw, &gh, &border, &depth);
    Bool translated =
        XTranslateCoordinates(kvr_x11.display, w->xwindow, kvr_x11.root, 0, 0, &rootX, &rootY, &child);
    if (kvr_x11TrapEnd() != 0 || ok == 0 || translated == False) {
        return false;
    }
    rect->left = rootX;
    rect->top = rootY;
    rect->right = rootX + (LONG)gw;
    rect->bottom = rootY + (LONG)gh;
    return true;
}

extern "C" BOOL WINAPI SetWindowPos(HWND hwnd, HWND, int x, int y, int cx, int cy, UINT flags) {
    KvrX11Window* w = kvr_x11FindWindow(hwnd);
    if (w == nullptr) {
        return FALSE;
    }
    Display* d = kvr_x11.display;
    RECT current = {0, 0, 0, 0};
    GetWindowRect(hwnd, &current);
    if ((flags & SWP_NOMOVE) != 0) {
        x = current.left;
        y = current.top;
    }
    if ((flags & SWP_NOSIZE) != 0) {
        cx = current.right - current.left;
        cy = current.bottom - current.top;
    }
    cx = cx < 1 ? 1 : cx;
    cy = cy < 1 ? 1 : cy;
    int screenWidth = 0, screenHeight = 0;
    screenSize(&screenWidth, &screenHeight);
    bool full =
        !styleDecorated(w->style) && x <= 0 && y <= 0 && x + cx >= screenWidth && y + cy >= screenHeight;
    bool manager = kvr_x11HasWindowManager();
    int targetX = x, targetY = y, targetWidth = cx, targetHeight = cy;
    kvr_x11TrapBegin();
    if ((flags & SWP_HIDEWINDOW) != 0 && w->mapped) {
        XUnmapWindow(d, w->xwindow);
        w->mapped = false;
    }
    setDecorations(w);
    setSizeHints(w, x, y, cx, cy);
    if (manager && full != w->fullscreenRequested) {
        if (w->mapped) {
            requestFullscreen(w, full);
        } else {
            w->fullscreenRequested = full;
            setInitialFullscreenState(w);
        }
    }
    w->fullscreenRequested = full;
    if (manager && full) {
        targetX = 0;
        targetY = 0;
        targetWidth = screenWidth;
        targetHeight = screenHeight;
    }
    // Many window managers do not restore the old geometry when full screen ends: set it explicitly.
    XMoveResizeWindow(d, w->xwindow, x, y, (unsigned)cx, (unsigned)cy);
    kvr_x11TrapEnd();
    if ((flags & SWP_SHOWWINDOW) != 0 && !w->mapped) {
        mapWindow(w);
    }
    // Wait, with a short bound, for the place and size a window manager grants; without one they
    // are granted at once. Window managers (openbox among them) carry out a move asynchronously,
    // so a move alone is waited for too: GetWindowRect right after SetWindowPos sees the new place.
    long long deadline = kvr_x11NowMs() + (manager ? 100 : 0);
    RECT granted = {0, 0, 0, 0};
    unsigned long serial = 0;
    for (;;) {
        if (!currentRect(w, &granted, &serial)) {
            return FALSE;
        }
        bool placed = granted.left == targetX && granted.top == targetY;
        bool sized =
            granted.right - granted.left == targetWidth && granted.bottom - granted.top == targetHeight;
        if ((placed && sized) || kvr_x11NowMs() >= deadline) {
            break;
        }
        kvr_x11SleepMs(5);
    }
    int width = (int)(granted.right - granted.left), height = (int)(granted.bottom - granted.top);
    w->staleConfigureSerial = serial;
    if (width != w->reportedWidth || height != w->reportedHeight) {
        kvr_x11RefreshDrawable(w);
    }
    kvr_x11ReportSize(w, width, height);
    return TRUE;
}

extern "C" BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect) {
    KvrX11Window* w = kvr_x11FindWindow(hwnd);
    if (w == nullptr || rect == nullptr) {
        return FALSE;
    }
    Window root = 0, child = 0;
    int x = 0, y = 0, rootX = 0, rootY = 0;
    unsigned int width = 0, height = 0, border = 0, depth = 0;
    kvr_x11TrapBegin();
    Status ok = XGetGeometry(kvr_x11.display, w->xwindow, &root, &x, &y, &width, &height, &border, &depth);
    Bool translated =
        XTranslateCoordinates(kvr_x11.display, w->xwindow, kvr_x11.root, 0, 0, &rootX, &rootY, &child);
    if (kvr_x11TrapEnd() != 0 || ok == 0 || translated == False) {
        return FALSE;
    }
    rect->left = rootX;
    rect->top = rootY;
    rect->right = rootX + (LONG)width;
    rect->bottom = rootY + (LONG)height;
    return TRUE;
}

extern "C" int WINAPI GetSystemMetrics(int index) {
    int width = 0, height = 0;
    screenSize(&width, &height);
    if (index == SM_CXSCREEN) {
        return width;
    }
    if (index == SM_CYSCREEN) {
        return height;
    }
    return 0;
}

extern "C" BOOL WINAPI SetCursorPos(int x, int y) {
    if (!kvr_x11Open()) {
        return FALSE;
    }
    kvr_x11NoteWarp(NextRequest(kvr_x11.display));
    XWarpPointer(kvr_x11.display, None, kvr_x11.root, 0, 0, 0, 0, x, y);
    XFlush(kvr_x11.display);
    return TRUE;
}
