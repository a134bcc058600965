// x11_state.h - shared internals of the Xlib + GLX implementation of the platform contract.
//
// What the platform's files share, and where each part lives:
//   x11_display.cpp  the display connection, the interned atoms, the X error trap and the
//                    window table;
//   x11_window.cpp   the X windows behind window handles, placement, full
//                    screen and the waits for the window manager;
//   x11_monitor.cpp  the monitors and the primary one, whose corner is the origin of Win32's
//                    screen coordinates, and whether the server is Xwayland;
//   x11_events.cpp   the translation of X events into messages;
//   x11_gl.cpp       device contexts, pixel formats and rendering contexts (its own table);
//   x11_input.cpp, x11_msgbox.cpp: button translation, the message box's dialog.
// The parts that need no X connection are in platform/core_*.cpp (core.h says where).
// Only platform/x11_*.cpp include this header.
#ifndef KVR_X11_STATE_H
#define KVR_X11_STATE_H

#include "core.h"
#include "kvr_platform.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <GL/glx.h>

#include <string>

// The sizes of the handle tables (the handles' encoding is core_handles.cpp's).
#define KVR_X11_MAX_WINDOWS 16
#define KVR_X11_MAX_CONTEXTS 16
// Exit status when the connection to the X server is lost (EX_IOERR of sysexits.h).
#define KVR_X11_LOST_DISPLAY_STATUS 74

// The atoms the layer uses, interned once when the display is opened.
struct KvrX11Atoms {
    Atom wmProtocols;
    Atom wmDeleteWindow;
    Atom wmState;
    Atom netWmPing;
    Atom netWmPid;
    Atom netWmName;
    Atom netWmState;
    Atom netWmStateFullscreen;
    Atom netWmStateHidden;
    Atom netSupportingWmCheck;
    Atom netActiveWindow;
    Atom timestampProperty;  // ours: changed only to have the server stamp a time
    Atom motifWmHints;
    Atom utf8String;
};

// One top-level window: the X window is its client area.
struct KvrX11Window {
    bool used;
    unsigned generation;
    Window xwindow;
    Colormap colormap;
    int classSlot;
    WNDPROC proc;
    DWORD style;
    DWORD exStyle;
    std::string title;
    int reportedWidth;  // client size of the latest WM_SIZE, -1 before the first
    int reportedHeight;
    unsigned long
        staleConfigureSerial;  // ConfigureNotify events before this serial are already accounted for
    int pixelFormat;           // 1-based index of the set format, 0 when none
    bool mapped;
    bool minimised;
    bool restorePending;  // restored from minimised, waiting to be seen before WM_SIZE
    bool visible;         // viewable and, by the latest VisibilityNotify, not fully obscured
    bool paintPending;    // exposed since its latest WM_PAINT was taken
    bool focused;
    bool fullscreenRequested;
    bool xwindowGone;  // another client destroyed the X window (its DestroyNotify arrived)
};

// The device connection and everything interned with it.
struct KvrX11Display {
    Display* display;
    int screen;
    Window root;
    KvrX11Atoms atoms;
    bool xkbDetectableRepeat;
    Time lastEventTime;  // server time of the latest timestamped event seen, 0 before the first
};

extern KvrX11Display kvr_x11;
extern KvrX11Window kvr_x11Windows[KVR_X11_MAX_WINDOWS];

// Opens a new connection to $DISPLAY, retrying transient failures; null when there is none.
Display* kvr_x11Connect();
// Opens the display on first need; false when no display can be opened.
bool kvr_x11Open();
// True when an EWMH window manager runs on the screen.
bool kvr_x11HasWindowManager();
// Starts trapping X protocol errors (syncs first so earlier requests are not blamed).
void kvr_x11TrapBegin();
// Ends the trap after a sync; the error code caught since kvr_x11TrapBegin, 0 for none.
int kvr_x11TrapEnd();
// A server timestamp for a request that asks the window manager on the user's behalf: the
// latest event's, or a fresh one from a property change on the given window.
Time kvr_x11UserTime(Window w);
// Keeps a server time (0, CurrentTime, is none) as the latest event's unless it is earlier than
// the kept one: the kept time never goes back.
void kvr_x11NoteTime(Time t);
// The window record a window handle names, or null when it is null or stale.
KvrX11Window* kvr_x11FindWindow(HWND hwnd);
// The window record owning a window device context, or null.
KvrX11Window* kvr_x11FindDcWindow(HDC hdc);
// True when the handle is the desktop's device context (GetDC(NULL)).
bool kvr_x11IsDesktopDc(HDC hdc);
// The window record of an X window, or null.
KvrX11Window* kvr_x11WindowOfX(Window xwindow);
// The handle of a window record.
HWND kvr_x11HandleOf(const KvrX11Window* w);
// Calls the window procedure at once, as SendMessage does.
LRESULT kvr_x11Send(KvrX11Window* w, UINT message, WPARAM wParam, LPARAM lParam);
// Sends WM_SIZE when the client size differs from the latest reported one.
void kvr_x11ReportSize(KvrX11Window* w, int width, int height);
// Creates the X window of a record with a visual (null: the screen's default) at a client rectangle.
bool kvr_x11CreateXWindow(KvrX11Window* w, XVisualInfo* visual, int x, int y, int width, int height);
// Waits, bounded, until the window is viewable.
void kvr_x11WaitViewable(KvrX11Window* w);
// Reads the client rectangle the server holds now, on the root, and the serial of the request
// that read it (may be null); false when the window is gone.
bool kvr_x11ClientRect(KvrX11Window* w, RECT* rect, unsigned long* serial);

// The primary monitor's rectangle on the root, read from the server now: its corner is the
// origin of Win32's screen coordinates and its size the screen metrics. 0 by 0 without a display.
RECT kvr_x11PrimaryMonitor();
// The primary monitor's corner on the root as last read (renewed by every kvr_x11PrimaryMonitor
// and by RandR's notifications): for positions carried by events.
POINT kvr_x11ScreenOrigin();
// The Xinerama index of a monitor rectangle (as _NET_WM_FULLSCREEN_MONITORS counts), -1 when none.
int kvr_x11MonitorIndex(const RECT& monitor);
// True when the server is Xwayland, which undoes a pointer warp while the cursor is visible.
bool kvr_x11IsXwayland();
// False when a pointer warp must not be asked for: no display, or Xwayland without a pointer.
bool kvr_x11CanWarpPointer();
// Handles a RandR notification on the root; false when the event is not one.
bool kvr_x11MonitorEvent(XEvent* event);

// The GLXFBConfig of a 1-based pixel format index, or null.
GLXFBConfig kvr_x11FbConfig(int format);
// Makes the current context see a new size of this window's drawable before WM_SIZE is sent.
void kvr_x11RefreshDrawable(KvrX11Window* w);
// Releases the context current on this window's drawable, if any (before the X window goes).
void kvr_x11ReleaseDrawable(KvrX11Window* w);

// Remembers the request serial of a pointer warp, so motion is not coalesced across it.
void kvr_x11NoteWarp(unsigned long serial);
// Selects XInput 2 pointer motion on the root while a window is in full screen with the focus,
// so that moves over other clients' windows lying on it are its moves; drops it otherwise.
void kvr_x11FollowRootMotion();
// Resets the input state kept for translation (held keys, Alt), e.g. on display open.
void kvr_x11ResetInput();

// The backend's entries (x11_backend.cpp puts them in its table; core.h's KvrWsBackend says
// what each does).
HWND kvr_x11CreateWindow(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                         int width, int height);
BOOL kvr_x11DestroyWindow(HWND hwnd);
bool kvr_x11SendTo(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
BOOL kvr_x11ShowWindow(HWND hwnd, int command);
BOOL kvr_x11SetForegroundWindow(HWND hwnd);
HWND kvr_x11SetFocus(HWND hwnd);
LONG kvr_x11SetWindowLong(HWND hwnd, int index, LONG value);
BOOL kvr_x11SetWindowPos(HWND hwnd, int x, int y, int cx, int cy, UINT flags);
BOOL kvr_x11GetWindowRect(HWND hwnd, LPRECT rect);
int kvr_x11SystemMetrics(int index);
BOOL kvr_x11SetCursorPos(int x, int y);
HDC kvr_x11GetDC(HWND hwnd);
int kvr_x11ReleaseDC(HWND hwnd, HDC hdc);
int kvr_x11DeviceCaps(HDC hdc, int index);
int kvr_x11ChoosePixelFormat(HDC hdc, const PIXELFORMATDESCRIPTOR* pfd);
BOOL kvr_x11SetPixelFormat(HDC hdc, int format);
HGLRC kvr_x11CreateContext(HDC hdc);
BOOL kvr_x11MakeCurrent(HDC hdc, HGLRC hglrc);
BOOL kvr_x11DeleteContext(HGLRC hglrc);
BOOL kvr_x11SwapBuffers(HDC hdc);
bool kvr_x11TranslatePending();
bool kvr_x11TakePaint(LPMSG msg, HWND hwnd, UINT remove);
bool kvr_x11ClassInUse(int classSlot);

#endif  // KVR_X11_STATE_H
