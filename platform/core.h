// core.h - shared internals of the portable core of the platform contract: the parts of the
// Win32 subset that need no window system, shared by the window-system backends (today one,
// on Xlib + GLX: platform/x11_*.cpp, whose internals are in x11_state.h).
//
// Where each part lives:
//   core_handles.cpp  the handle encoding: kind, table slot and the slot's generation;
//   core_classes.cpp  the window-class table;
//   core_queue.cpp    the posted-message queue, PeekMessageA's filters and the quit message;
//   core_placement.cpp  the rectangle of a new window and of a move, and the full-screen rule;
//   core_pixelformat.cpp  the ranking of pixel formats for ChoosePixelFormat;
//   core_keys.cpp     the keys held and the key messages;
//   core_msgbox.cpp   MessageBoxA's report on standard error (the backend shows the dialog);
//   core_misc.cpp     the clock, Sleep, the module handle and the stock icon and cursor tokens;
//   core_input.cpp    the key translation and the pointer lParam (declared in core_input.h).
// Only platform/*.cpp include this header.
#ifndef KVR_CORE_H
#define KVR_CORE_H

#include "kvr_platform.h"

#include <string>

// Kinds of handle; each handle encodes kind, table slot and the slot's generation,
// so a handle kept after its object was released is recognised as stale.
#define KVR_CORE_KIND_WINDOW 1u
#define KVR_CORE_KIND_DC 2u
#define KVR_CORE_KIND_CONTEXT 3u

// Builds a handle value of the given kind for a slot and generation.
void* kvr_coreMakeHandle(unsigned kind, int slot, unsigned generation);
// Splits a handle of the given kind into its slot and generation; false for null or another kind.
bool kvr_coreSplitHandle(const void* handle, unsigned kind, int* slot, unsigned* generation);

// Milliseconds from a monotonic clock.
long long kvr_coreNowMs();
// Sleeps for the given milliseconds.
void kvr_coreSleepMs(long ms);

#define KVR_CORE_MAX_CLASSES 16

// One registered window class.
struct KvrCoreClass {
    bool used;
    std::string name;
    ATOM atom;
    WNDPROC proc;
    bool arrowCursor;
};

// The slot of a registered class given by name or by atom (MAKEINTATOM), -1 when unknown.
int kvr_coreFindClass(LPCSTR name);
// The class record of a slot (kvr_coreFindClass's), null for a slot out of range.
const KvrCoreClass* kvr_coreClass(int slot);

// Appends a message to the queue; it carries the pointer's latest position.
void kvr_corePost(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, DWORD time);
// Drops the queued messages of a window that is being destroyed.
void kvr_coreDropMessages(HWND hwnd);
// The pointer's latest position on the root, as the backend last noted it (messages carry it).
POINT kvr_coreLastPoint();
// Notes the pointer's latest position on the root.
void kvr_coreSetLastPoint(POINT point);

// SetWindowLongA on a window's styles: sets GWL_STYLE or GWL_EXSTYLE and returns the old value;
// 0 and nothing changed for another index.
LONG kvr_coreSetStyle(DWORD* style, DWORD* exStyle, int index, LONG value);
// True when a style asks for a caption and frame.
bool kvr_coreStyleDecorated(DWORD style);
// Turns CreateWindowExA's screen position and client size into the place on the desktop and the
// size of the new window: CW_USEDEFAULT gives 640 by 480 centred on the primary monitor; the
// size is at least 1 by 1.
void kvr_coreCreationPlace(int* x, int* y, int* width, int* height, const RECT& primary);
// The client rectangle SetWindowPos asks for, on the desktop: screen coordinates moved by the
// primary monitor's corner, SWP_NOMOVE and SWP_NOSIZE keeping the current place or size.
RECT kvr_coreRequestedRect(const RECT& current, int x, int y, int cx, int cy, UINT flags,
                           const RECT& primary);
// Win32's full screen: a window of this style without caption or frame, covering the monitor.
bool kvr_coreCoversMonitor(DWORD style, const RECT& rect, const RECT& monitor);

// What the ranking of pixel formats needs of one format, as the backend describes it.
struct KvrCoreFormat {
    bool rgba;         // offers RGBA rendering
    bool colourIndex;  // offers colour-index rendering
    bool window;       // can draw to a window
    bool doubleBuffer;
    bool stereo;
    int level;         // 0 for the main plane, other values for overlays and underlays
    bool slow;         // marked as slow (a software fallback among hardware formats)
    bool trueColour;   // shown through a TrueColor visual
    bool translucent;  // has a 32-bit visual, which compositors blend with what lies beneath
    int colourBits;    // red, green and blue together
    int alphaBits;
    int depthBits;
    int stencilBits;
    int accumBits;  // all four channels together
    int auxBuffers;
    int samples;
};
#define KVR_CORE_FORMAT_KEYS 10

// Ranks a format against a descriptor; false when it does not fit at all. Smaller keys are better,
// the first key first.
bool kvr_coreRankFormat(const KvrCoreFormat& format, const PIXELFORMATDESCRIPTOR* pfd,
                        int key[KVR_CORE_FORMAT_KEYS]);
// True when a format's keys rank before the best ones so far.
bool kvr_coreRanksBefore(const int key[KVR_CORE_FORMAT_KEYS], const int best[KVR_CORE_FORMAT_KEYS]);

// Forgets every held key (on a new connection to the window system).
void kvr_coreResetKeys();
// The virtual-key code a held key's press had, 0 when the key (by keycode) is not held.
UINT kvr_coreHeldVk(unsigned keycode);
// Records a key as held with a code, without a message (a modifier pressed unseen).
void kvr_coreHoldKey(unsigned keycode, UINT vk);
// Records a key as up, without a message (a key released unseen).
void kvr_coreReleaseKey(unsigned keycode);
// Queues the key message of a press or release of a key (keycode: evdev code plus 8) with its
// code and the Alt and Control state the window system reports, and records the key as held or
// up: a press of a key already held is a repeat.
void kvr_corePostKey(HWND hwnd, unsigned keycode, UINT vk, bool press, bool altHeld, bool controlHeld,
                     DWORD time);

// What the core asks of a window-system backend: one table per backend (x11_backend.cpp,
// wl_backend.cpp), chosen once, at the first call that needs one (core_dispatch.cpp). The
// entries that carry a Win32 name have its meaning and return values.
struct KvrWsBackend {
    const char* name;  // "x11" or "wayland"
    HWND(*createWindow)
    (DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width, int height);
    BOOL (*destroyWindow)(HWND hwnd);
    // Calls the window procedure of a window at once, as SendMessage does; false (and nothing
    // called) when the handle names no window.
    bool (*send)(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    BOOL (*showWindow)(HWND hwnd, int command);
    BOOL (*setForegroundWindow)(HWND hwnd);
    HWND (*setFocus)(HWND hwnd);
    LONG (*setWindowLong)(HWND hwnd, int index, LONG value);
    BOOL (*setWindowPos)(HWND hwnd, int x, int y, int cx, int cy, UINT flags);
    BOOL (*getWindowRect)(HWND hwnd, LPRECT rect);
    int (*systemMetrics)(int index);
    BOOL (*setCursorPos)(int x, int y);
    HDC (*getDC)(HWND hwnd);
    int (*releaseDC)(HWND hwnd, HDC hdc);
    int (*deviceCaps)(HDC hdc, int index);
    int (*choosePixelFormat)(HDC hdc, const PIXELFORMATDESCRIPTOR* pfd);
    BOOL (*setPixelFormat)(HDC hdc, int format);
    HGLRC (*createContext)(HDC hdc);
    BOOL (*makeCurrent)(HDC hdc, HGLRC hglrc);
    BOOL (*deleteContext)(HGLRC hglrc);
    BOOL (*swapBuffers)(HDC hdc);
    // Reads one pending event and turns it into zero or more queued messages; false when no
    // event is pending (or there is no connection).
    bool (*translatePending)();
    // Takes (or copies, without PM_REMOVE) WM_PAINT for a window (any, for null) exposed since
    // its latest paint; taking it validates the window. False when none is exposed.
    bool (*takePaint)(LPMSG msg, HWND hwnd, UINT remove);
    // Shows a modal message dialog with an OK button and returns when it is closed; nothing
    // when none can be shown.
    void (*showMessageDialog)(const char* text, const char* caption);
    // True when a window of the class in the given slot exists, which keeps the class registered.
    bool (*classInUse)(int classSlot);
};

// The backend in use, chosen at the first call: KVR_PLATFORM=wayland or x11 forces one;
// otherwise Wayland when WAYLAND_DISPLAY names a compositor that offers xdg-shell, else X11.
const KvrWsBackend* kvr_ws();
// Shows the message dialog on an X display of its own ($DISPLAY); nothing when none opens
// (x11_msgbox.cpp). Both backends show it: the Wayland one where an X server is reachable too.
void kvr_x11ShowMessageDialog(const char* text, const char* caption);
// The X11 backend (x11_backend.cpp).
extern const KvrWsBackend kvr_x11Backend;
// The Wayland backend when this build has one and the compositor of WAYLAND_DISPLAY (or the
// default) can be used, connected; null otherwise (wl_backend.cpp, or core_nowayland.cpp in a
// build without Wayland). `forced`: KVR_PLATFORM asked for Wayland, so a failure is reported.
const KvrWsBackend* kvr_wlConnectBackend(bool forced);
// True when this build has a Wayland backend.
bool kvr_wlBuilt();

#endif  // KVR_CORE_H
