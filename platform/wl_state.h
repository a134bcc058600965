// wl_state.h - shared internals of the Wayland + EGL implementation of the platform contract.
//
// What the backend's files share, and where each part lives:
//   wl_display.cpp  the connection, the globals the compositor offers (outputs among them), the
//                   waits on the connection, the window table and the backend's table of entries;
//   wl_window.cpp   xdg-shell toplevels behind window handles: showing, full screen, sizes granted
//                   by configures, decorations, the screen metrics and the kept pointer position;
//   wl_input.cpp    the seat: keyboard (xkbcommon keymaps, client-side repeat), pointer, the lock
//                   and relative motion of full screen;
//   wl_gl.cpp       device contexts, pixel formats (EGL configs), contexts and buffer swaps.
// The parts that need no window system are in platform/core_*.cpp (core.h says where).
// Only platform/wl_*.cpp include this header.
#ifndef KVR_WL_STATE_H
#define KVR_WL_STATE_H

#include "core.h"
#include "core_input.h"
#include "kvr_platform.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <wayland-client.h>
#include <wayland-egl.h>

#include <string>

#include "pointer-constraints-unstable-v1-client.h"
#include "relative-pointer-unstable-v1-client.h"
#include "xdg-decoration-unstable-v1-client.h"
#include "xdg-shell-client.h"

#define KVR_WL_MAX_WINDOWS 16
#define KVR_WL_MAX_OUTPUTS 8
// Exit status when the connection to the compositor is lost (EX_IOERR, as for a lost X display).
#define KVR_WL_LOST_DISPLAY_STATUS 74

// One output the compositor offers.
struct libdecor_frame;

struct KvrWlOutput {
    bool used;
    uint32_t name;  // the registry's name of the global
    wl_output* output;
    int x, y;           // its place in the compositor's space, as it reports it
    int width, height;  // the current mode, in pixels
    int scale;
};

// One top-level window: the surface is its client area.
struct KvrWlWindow {
    bool used;
    unsigned generation;
    int classSlot;
    WNDPROC proc;
    DWORD style;
    DWORD exStyle;
    std::string title;
    int reportedWidth;  // client size of the latest WM_SIZE, -1 before the first
    int reportedHeight;
    wl_surface* surface;
    xdg_surface* xdgSurface;
    xdg_toplevel* toplevel;
    zxdg_toplevel_decoration_v1* decoration;
    libdecor_frame* frame;  // libdecor's frame, which owns the toplevel, where libdecor is used
    bool frameMapped;       // libdecor's frame was mapped
    bool frameHidden;       // its decorations are hidden
    wl_egl_window* eglWindow;
    EGLSurface eglSurface;
    int pixelFormat;                      // 1-based index of the set format, 0 when none
    int width, height;                    // the size of the surface's buffers now
    int presentedWidth, presentedHeight;  // the size of the latest frame presented
    RECT placement;   // where the program placed it: windows cannot place themselves, so kept
    bool configured;  // the latest configure was acknowledged
    bool shown;       // shown: frames are presented
    bool fullscreenRequested;
    bool fullscreen;    // as the latest configure said
    bool activated;     // as the latest configure said
    bool minimised;     // asked to minimise and not active since
    bool focused;       // has the keyboard
    bool paintPending;  // its picture must be drawn again
    bool closed;        // the compositor asked to close it
    // The configure being assembled: the toplevel's size and states come before the surface's
    // configure that ends it.
    int pendingWidth, pendingHeight;
    bool pendingFullscreen, pendingActivated, pendingMaximised, pendingTiled;
    wl_output* output;  // the output it entered last, null before any
};

// The connection and the globals bound on it.
struct KvrWl {
    wl_display* display;
    wl_registry* registry;
    wl_compositor* compositor;
    xdg_wm_base* wmBase;
    wl_shm* shm;  // for the cursor's images
    wl_seat* seat;
    uint32_t seatVersion;
    zxdg_decoration_manager_v1* decorationManager;
    zwp_pointer_constraints_v1* constraints;
    zwp_relative_pointer_manager_v1* relativeManager;
    EGLDisplay egl;
    bool eglReady;     // eglInitialize succeeded
    std::string name;  // the display's name, for reports
};

extern KvrWl kvr_wl;
extern KvrWlWindow kvr_wlWindows[KVR_WL_MAX_WINDOWS];
extern KvrWlOutput kvr_wlOutputs[KVR_WL_MAX_OUTPUTS];

// The window record a window handle names, or null when it is null or stale.
KvrWlWindow* kvr_wlFindWindow(HWND hwnd);
// The window record owning a window device context, or null.
KvrWlWindow* kvr_wlFindDcWindow(HDC hdc);
// True when the handle is the desktop's device context (GetDC(NULL)).
bool kvr_wlIsDesktopDc(HDC hdc);
// The window record of a surface, or null.
KvrWlWindow* kvr_wlWindowOfSurface(wl_surface* surface);
// The handle of a window record.
HWND kvr_wlHandleOf(const KvrWlWindow* w);
// Calls the window procedure at once, as SendMessage does.
LRESULT kvr_wlSend(KvrWlWindow* w, UINT message, WPARAM wParam, LPARAM lParam);
// Sends WM_SIZE when the client size differs from the latest reported one.
void kvr_wlReportSize(KvrWlWindow* w, int width, int height);
// Appends a message for a window to the queue.
void kvr_wlPost(KvrWlWindow* w, UINT message, WPARAM wParam, LPARAM lParam, DWORD time);

// Reads and dispatches what the compositor has sent, waiting for it until the deadline
// (kvr_coreNowMs; 0 for no wait); the number of events dispatched. Ends the program when the
// connection is lost.
int kvr_wlPump(long long deadline);
// Ends the program after the connection to the compositor broke, with the lost display's report.
[[noreturn]] void kvr_wlLost();
// The output record of a wl_output, or null.
KvrWlOutput* kvr_wlOutputOf(wl_output* output);
// The output a window is on (the first one before it entered any); null when there is none.
KvrWlOutput* kvr_wlWindowOutput(const KvrWlWindow* w);

// Binds the seat's keyboard and pointer as its capabilities come and go (wl_input.cpp).
void kvr_wlSeatCapabilities(uint32_t capabilities);
// Forgets the input state (on a new connection).
void kvr_wlResetInput();
// Releases the seat's devices (before the connection closes).
void kvr_wlReleaseInput();
// Queues the auto-repeats of a held key that are due; true when any was queued.
bool kvr_wlRepeatKeys();
// Locks the pointer while a window is in full screen with the keyboard and the pointer on it,
// hiding the cursor; unlocks it otherwise (after any change of those).
void kvr_wlFollowLock();
// A window is going: its pointer lock and the input that points at it go too.
void kvr_wlForgetWindow(KvrWlWindow* w);
// Moves the position kept for a locked pointer (SetCursorPos in full screen); false when the
// pointer is not locked on a window, so it cannot be moved.
bool kvr_wlMoveLockedPointer(int x, int y);

// True when the window is in full screen, at its output's size.
bool kvr_wlCoversOutput(const KvrWlWindow* w);
// Queues WM_SIZE for each window whose size a configure changed since it was last reported.
bool kvr_wlQueueSizes();

// Acknowledged configure: its states and size (already in the window's pending fields) applied.
void kvr_wlApplyConfigure(KvrWlWindow* w);

// libdecor (wl_decor.cpp; wl_nodecor.cpp in a build without it, where nothing is decorated):
// starts it on the connection; false when it is not there.
bool kvr_wlDecorOpen();
// Ends it (before the connection closes).
void kvr_wlDecorClose();
// Gives the window a libdecor frame with its toplevel; false when libdecor is not in use.
bool kvr_wlDecorate(KvrWlWindow* w, const char* title, const char* appId);
// Maps the frame (its first commit, which asks for the first configure).
void kvr_wlDecorMap(KvrWlWindow* w);
// Shows or hides the frame's decorations.
void kvr_wlDecorShow(KvrWlWindow* w, bool visible);
void kvr_wlDecorFullscreen(KvrWlWindow* w, bool on, wl_output* output);
void kvr_wlDecorMinimise(KvrWlWindow* w);
void kvr_wlDecorDestroy(KvrWlWindow* w);

// Makes the current context see a new size of this window's surface.
void kvr_wlResizeSurface(KvrWlWindow* w, int width, int height);
// Releases the EGL surface and window of a window that is going (before its wl_surface).
void kvr_wlReleaseSurface(KvrWlWindow* w);
// Ends EGL on the connection (before it closes).
void kvr_wlReleaseGl();

// The backend's entries (wl_display.cpp puts them in its table; core.h's KvrWsBackend says
// what each does).
HWND kvr_wlCreateWindow(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                        int width, int height);
BOOL kvr_wlDestroyWindow(HWND hwnd);
BOOL kvr_wlShowWindow(HWND hwnd, int command);
BOOL kvr_wlSetForegroundWindow(HWND hwnd);
HWND kvr_wlSetFocus(HWND hwnd);
LONG kvr_wlSetWindowLong(HWND hwnd, int index, LONG value);
BOOL kvr_wlSetWindowPos(HWND hwnd, int x, int y, int cx, int cy, UINT flags);
BOOL kvr_wlGetWindowRect(HWND hwnd, LPRECT rect);
int kvr_wlSystemMetrics(int index);
BOOL kvr_wlSetCursorPos(int x, int y);
HDC kvr_wlGetDC(HWND hwnd);
int kvr_wlReleaseDC(HWND hwnd, HDC hdc);
int kvr_wlDeviceCaps(HDC hdc, int index);
int kvr_wlChoosePixelFormat(HDC hdc, const PIXELFORMATDESCRIPTOR* pfd);
BOOL kvr_wlSetPixelFormat(HDC hdc, int format);
HGLRC kvr_wlCreateContext(HDC hdc);
BOOL kvr_wlMakeCurrent(HDC hdc, HGLRC hglrc);
BOOL kvr_wlDeleteContext(HGLRC hglrc);
BOOL kvr_wlSwapBuffers(HDC hdc);

#endif  // KVR_WL_STATE_H
