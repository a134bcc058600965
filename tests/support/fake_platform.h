// fake_platform.h - a scriptable fake of the platform contract for tests on Linux.
//
// Implements every function declared in kvr_platform.h (C linkage, the same
// signatures) without a display. Every call is appended to one log with its
// arguments; any step of window creation and clean-up can be told to fail.
//
// Model of the one window:
// - RegisterClassA keeps a copy of the class and its window procedure; a second
//   registration of the same name fails, as in Win32. CreateWindowExA needs the
//   class registered under the name it is given.
// - Handles are fixed small values (kInstance, kWindow, kWindowDC, kScreenDC,
//   kContext, kIcon, kCursor) that are never dereferenced.
// - Frame: a style holding WS_CAPTION or WS_THICKFRAME has a fixed frame of
//   kFrameLeft, kFrameTop, kFrameRight and kFrameBottom pixels around the client
//   area (AdjustWindowRectEx adds exactly this frame); any other style (WS_POPUP)
//   has none, so its client area is the outer rectangle.
// - CreateWindowExA (CW_USEDEFAULT places the window at defaultX, defaultY) and
//   SetWindowPos without SWP_NOSIZE send WM_SIZE with the new client size to the
//   window procedure before they return, as Win32 does. DestroyWindow sends
//   WM_DESTROY. ShowWindow, SetFocus and SetForegroundWindow send nothing.
// - PostQuitMessage queues WM_QUIT (no window, wParam = exit code) behind any
//   scripted messages; PeekMessageA takes from that queue; DispatchMessageA calls
//   the window procedure for messages addressed to the window.
// - Sleep is recorded, not slept. Each Sleep runs `onSleep` when set; after
//   `sleepLimit` Sleep calls since reset with nothing queued, the fake queues a
//   WM_QUIT with wParam kSleepLimitExitCode and sets `sleepLimitHit`, so a test of
//   a loop that never ends fails instead of hanging.
// - wglMakeCurrent keeps `contextCurrent` and runs `onMakeCurrent` when set, so a
//   test can mirror it into the GL recorder.
#ifndef KVR_FAKE_PLATFORM_H
#define KVR_FAKE_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "kvr_platform.h"

namespace fake {

// One logged call: integers and handles in `args` (handles as their integer
// value), texts (class name, title, caption, message text) in `texts`.
struct Call {
    std::string name;
    std::vector<long long> args;
    std::vector<std::string> texts;
    std::string line;  // the call as text, arguments in call order
};

// The steps that can be told to fail.
enum Step {
    RegisterClass,
    CreateWindow,
    GetWindowDC,  // GetDC of the window; GetDC(NULL) for the screen never fails
    ChoosePixelFormatStep,
    SetPixelFormatStep,
    CreateContext,
    MakeCurrent,     // wglMakeCurrent with a context
    ReleaseCurrent,  // wglMakeCurrent(NULL, NULL)
    DeleteContext,
    ReleaseWindowDC,
    DestroyWindowStep,
    UnregisterClass,
    SwapBuffersStep,
    StepCount
};

// Fixed handles.
extern const HINSTANCE kInstance;
extern const HWND kWindow;
extern const HDC kWindowDC;
extern const HDC kScreenDC;
extern const HGLRC kContext;
extern const HICON kIcon;
extern const HCURSOR kCursor;

// The frame around the client area of a captioned or sizeable window.
const int kFrameLeft = 8;
const int kFrameTop = 31;
const int kFrameRight = 8;
const int kFrameBottom = 8;
// wParam of the WM_QUIT queued when the sleep limit is reached.
const WPARAM kSleepLimitExitCode = 0x5EEB;

// The call log, oldest first.
extern std::vector<Call> calls;

// Configuration (restored by reset()).
extern int screenWidth;              // GetSystemMetrics(SM_CXSCREEN), default 1920
extern int screenHeight;             // GetSystemMetrics(SM_CYSCREEN), default 1080
extern int bitsPerPixel;             // GetDeviceCaps(..., BITSPIXEL), default 32
extern ATOM classAtom;               // RegisterClassA's result on success, default 0xC0DE
extern int pixelFormatIndex;         // ChoosePixelFormat's result on success, default 1
extern LRESULT defWindowProcResult;  // DefWindowProcA's result, default 0
extern int messageBoxResult;         // MessageBoxA's result, default IDOK
extern int defaultX;                 // position given for CW_USEDEFAULT, default 100, 100
extern int defaultY;
extern int sleepLimit;  // default 1000
extern std::function<void()> onSleep;
extern std::function<void(bool current)> onMakeCurrent;

// State the fake keeps.
extern bool classRegistered;
extern WNDCLASSA registeredClass;  // lpszClassName points at registeredClassName
extern std::string registeredClassName;
extern WNDPROC wndProc;  // the registered window procedure (tests may set it)
extern bool windowExists;
extern std::string windowTitle;
extern DWORD style;
extern DWORD exStyle;
extern RECT windowRect;  // outer rectangle in screen coordinates
extern bool visible;
extern bool contextCurrent;
extern int cursorX;
extern int cursorY;
extern bool pfdChosen;                   // ChoosePixelFormat was called
extern PIXELFORMATDESCRIPTOR chosenPfd;  // the descriptor ChoosePixelFormat received
extern std::deque<MSG> queue;            // the message queue PeekMessageA reads
extern int sleepCalls;
extern bool sleepLimitHit;

// Restores every setting and all state above and clears the log.
void reset();
// Makes a step fail (or succeed again).
void setFail(Step step, bool fails = true);
// Sends a message straight to the registered window procedure, addressed to
// the window; returns its result (0 when no procedure is registered).
LRESULT send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
// Appends a message for the window to the queue read by PeekMessageA.
void post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
// The client size of the window as the fake computes it now.
int clientWidth();
int clientHeight();

// Number of logged calls of the named function.
std::size_t count(const std::string& name);
// The logged calls of the named function, in order.
std::vector<const Call*> named(const std::string& name);
// Index of the first call of name at or after `from`, or calls.size().
std::size_t find(const std::string& name, std::size_t from = 0);
// The names of all logged calls, in order.
std::vector<std::string> names();
// One call as text, e.g. SetCursorPos(1, 300) or MessageBoxA(0, "text", "caption", 16).
std::string format(const Call& call);
// The log as text, one call a line, for failure messages.
std::string dump();

}  // namespace fake

#endif  // KVR_FAKE_PLATFORM_H
