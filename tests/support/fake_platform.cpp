// fake_platform.cpp - the scriptable fake of the platform contract (see the header).
#include "fake_platform.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace fake {

namespace {

// An argument of a logged call: an integer or a text.
struct Arg {
    bool isText;
    long long value;
    std::string text;
    Arg(long long v) : isText(false), value(v) {}
    Arg(int v) : isText(false), value(v) {}
    Arg(unsigned v) : isText(false), value(v) {}
    Arg(const void* p) : isText(false), value(static_cast<long long>(reinterpret_cast<intptr_t>(p))) {}
    Arg(const char* s, bool) : isText(true), value(0), text(s ? s : "(null)") {}
};

// Makes a text argument.
Arg textArg(const char* s) {
    return Arg(s, true);
}

// Appends one call to the log.
void logCall(const char* name, std::initializer_list<Arg> args) {
    Call call;
    call.name = name;
    call.line = std::string(name) + "(";
    bool first = true;
    for (const Arg& a : args) {
        if (!first) {
            call.line += ", ";
        }
        first = false;
        if (a.isText) {
            call.texts.push_back(a.text);
            call.line += "\"" + a.text + "\"";
        } else {
            call.args.push_back(a.value);
            call.line += std::to_string(a.value);
        }
    }
    call.line += ")";
    calls.push_back(call);
}

bool failing[StepCount];

// True when the step has been told to fail.
bool fails(Step step) {
    return failing[step];
}

// True when a style has a caption or a sizing border, and so the fixed frame.
bool hasFrame(DWORD s) {
    return (s & (WS_CAPTION | WS_THICKFRAME)) != 0;
}

// Sends WM_SIZE with the current client size, as Win32 does after a resize.
void sendSize() {
    send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(clientWidth(), clientHeight()));
}

}  // namespace

const HINSTANCE kInstance = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x400000));
const HWND kWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1001));
const HDC kWindowDC = reinterpret_cast<HDC>(static_cast<uintptr_t>(0x2001));
const HDC kScreenDC = reinterpret_cast<HDC>(static_cast<uintptr_t>(0x2002));
const HGLRC kContext = reinterpret_cast<HGLRC>(static_cast<uintptr_t>(0x3001));
const HICON kIcon = reinterpret_cast<HICON>(static_cast<uintptr_t>(0x4001));
const HCURSOR kCursor = reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(0x4002));

std::vector<Call> calls;

int screenWidth;
int screenHeight;
int bitsPerPixel;
ATOM classAtom;
int pixelFormatIndex;
LRESULT defWindowProcResult;
int messageBoxResult;
int defaultX;
int defaultY;
int sleepLimit;
std::function<void()> onSleep;
std::function<void(bool current)> onMakeCurrent;

bool classRegistered;
WNDCLASSA registeredClass;
std::string registeredClassName;
WNDPROC wndProc;
bool windowExists;
std::string windowTitle;
DWORD style;
DWORD exStyle;
RECT windowRect;
bool visible;
bool contextCurrent;
int cursorX;
int cursorY;
bool pfdChosen;
PIXELFORMATDESCRIPTOR chosenPfd;
std::deque<MSG> queue;
int sleepCalls;
bool sleepLimitHit;

// Restores every setting and all state and clears the log.
void reset() {
    calls.clear();
    screenWidth = 1920;
    screenHeight = 1080;
    bitsPerPixel = 32;
    classAtom = 0xC0DE;
    pixelFormatIndex = 1;
    defWindowProcResult = 0;
    messageBoxResult = IDOK;
    defaultX = 100;
    defaultY = 100;
    sleepLimit = 1000;
    onSleep = nullptr;
    onMakeCurrent = nullptr;
    classRegistered = false;
    std::memset(&registeredClass, 0, sizeof registeredClass);
    registeredClassName.clear();
    wndProc = nullptr;
    windowExists = false;
    windowTitle.clear();
    style = 0;
    exStyle = 0;
    windowRect = RECT{0, 0, 0, 0};
    visible = false;
    contextCurrent = false;
    cursorX = 0;
    cursorY = 0;
    pfdChosen = false;
    std::memset(&chosenPfd, 0, sizeof chosenPfd);
    queue.clear();
    sleepCalls = 0;
    sleepLimitHit = false;
    for (bool& f : failing) {
        f = false;
    }
}

// Makes a step fail (or succeed again).
void setFail(Step step, bool f) {
    failing[step] = f;
}

// Sends a message straight to the registered window procedure.
LRESULT send(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!wndProc) {
        return 0;
    }
    return wndProc(kWindow, message, wParam, lParam);
}

// Appends a message for the window to the queue.
void post(UINT message, WPARAM wParam, LPARAM lParam) {
    MSG m;
    std::memset(&m, 0, sizeof m);
    m.hwnd = kWindow;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    queue.push_back(m);
}

// The client width: the outer width less the frame, never negative.
int clientWidth() {
    int w = windowRect.right - windowRect.left;
    if (hasFrame(style)) {
        w -= kFrameLeft + kFrameRight;
    }
    return w > 0 ? w : 0;
}

// The client height: the outer height less the frame, never negative.
int clientHeight() {
    int h = windowRect.bottom - windowRect.top;
    if (hasFrame(style)) {
        h -= kFrameTop + kFrameBottom;
    }
    return h > 0 ? h : 0;
}

// Number of logged calls of the named function.
std::size_t count(const std::string& name) {
    std::size_t n = 0;
    for (const Call& c : calls) {
        n += c.name == name ? 1 : 0;
    }
    return n;
}

// The logged calls of the named function.
std::vector<const Call*> named(const std::string& name) {
    std::vector<const Call*> out;
    for (const Call& c : calls) {
        if (c.name == name) {
            out.push_back(&c);
        }
    }
    return out;
}

// Index of the first call of name at or after `from`.
std::size_t find(const std::string& name, std::size_t from) {
    for (std::size_t i = from; i < calls.size(); ++i) {
        if (calls[i].name == name) {
            return i;
        }
    }
    return calls.size();
}

// The names of all logged calls.
std::vector<std::string> names() {
    std::vector<std::string> out;
    for (const Call& c : calls) {
        out.push_back(c.name);
    }
    return out;
}

// One call as text.
std::string format(const Call& call) {
    return call.line;
}

// The whole log as text.
std::string dump() {
    std::string out;
    for (const Call& c : calls) {
        out += c.line + "\n";
    }
    return out;
}

}  // namespace fake

using fake::Arg;
using fake::logCall;
using fake::textArg;

// Resource names are either texts or small integers (MAKEINTRESOURCE).
static Arg resourceArg(LPCSTR name) {
    if (IS_INTRESOURCE(name)) {
        return Arg(static_cast<long long>(reinterpret_cast<uintptr_t>(name)));
    }
    return textArg(name);
}

extern "C" {

// Registers the one window class; fails when told to or when the name is taken.
ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass) {
    logCall(
        "RegisterClassA",
        {lpWndClass->style, reinterpret_cast<const void*>(lpWndClass->hInstance),
         reinterpret_cast<const void*>(lpWndClass->hIcon), reinterpret_cast<const void*>(lpWndClass->hCursor),
         reinterpret_cast<const void*>(lpWndClass->hbrBackground), textArg(lpWndClass->lpszClassName)});
    if (fake::fails(fake::RegisterClass) || fake::classRegistered || !lpWndClass->lpszClassName) {
        return 0;
    }
    fake::classRegistered = true;
    fake::registeredClass = *lpWndClass;
    fake::registeredClassName = lpWndClass->lpszClassName;
    fake::registeredClass.lpszClassName = fake::registeredClassName.c_str();
    fake::wndProc = lpWndClass->lpfnWndProc;
    return fake::classAtom;
}

// Unregisters the class by name.
BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance) {
    logCall("UnregisterClassA", {textArg(lpClassName), reinterpret_cast<const void*>(hInstance)});
    if (fake::fails(fake::UnregisterClass) || !fake::classRegistered || !lpClassName ||
        fake::registeredClassName != lpClassName) {
        return FALSE;
    }
    fake::classRegistered = false;
    fake::wndProc = nullptr;
    return TRUE;
}

// The program's module.
HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    logCall("GetModuleHandleA", {textArg(lpModuleName)});
    return fake::kInstance;
}

// The stock icon.
HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) {
    logCall("LoadIconA", {reinterpret_cast<const void*>(hInstance), resourceArg(lpIconName)});
    return fake::kIcon;
}

// The stock cursor.
HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName) {
    logCall("LoadCursorA", {reinterpret_cast<const void*>(hInstance), resourceArg(lpCursorName)});
    return fake::kCursor;
}

// Creates the one window and sends it WM_SIZE with its client size.
HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X,
                            int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                            LPVOID lpParam) {
    logCall("CreateWindowExA",
            {dwExStyle, textArg(lpClassName), textArg(lpWindowName), dwStyle, X, Y, nWidth, nHeight,
             reinterpret_cast<const void*>(hWndParent), reinterpret_cast<const void*>(hMenu),
             reinterpret_cast<const void*>(hInstance), lpParam});
    if (fake::fails(fake::CreateWindow) || fake::windowExists || !fake::classRegistered || !lpClassName ||
        fake::registeredClassName != lpClassName) {
        return NULL;
    }
    if (X == CW_USEDEFAULT) {
        X = fake::defaultX;
        Y = fake::defaultY;
    }
    fake::windowExists = true;
    fake::windowTitle = lpWindowName ? lpWindowName : "";
    fake::style = dwStyle;
    fake::exStyle = dwExStyle;
    fake::windowRect = RECT{X, Y, X + nWidth, Y + nHeight};
    fake::visible = (dwStyle & WS_VISIBLE) != 0;
    fake::sendSize();
    return fake::kWindow;
}

// Destroys the window after sending it WM_DESTROY.
BOOL WINAPI DestroyWindow(HWND hWnd) {
    logCall("DestroyWindow", {reinterpret_cast<const void*>(hWnd)});
    if (fake::fails(fake::DestroyWindowStep) || !fake::windowExists || hWnd != fake::kWindow) {
        return FALSE;
    }
    fake::send(WM_DESTROY, 0, 0);
    fake::windowExists = false;
    fake::visible = false;
    return TRUE;
}

// Grows a client rectangle by the fixed frame when the style has one.
BOOL WINAPI AdjustWindowRectEx(LPRECT lpRect, DWORD dwStyle, BOOL bMenu, DWORD dwExStyle) {
    logCall("AdjustWindowRectEx",
            {lpRect->left, lpRect->top, lpRect->right, lpRect->bottom, dwStyle, bMenu, dwExStyle});
    if (fake::hasFrame(dwStyle)) {
        lpRect->left -= fake::kFrameLeft;
        lpRect->top -= fake::kFrameTop;
        lpRect->right += fake::kFrameRight;
        lpRect->bottom += fake::kFrameBottom;
    }
    return TRUE;
}

// The default window procedure: recorded; answers defWindowProcResult.
LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    logCall("DefWindowProcA", {reinterpret_cast<const void*>(hWnd), Msg, static_cast<long long>(wParam),
                               static_cast<long long>(lParam)});
    return fake::defWindowProcResult;
}

// Shows or hides the window; sends nothing.
BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
    logCall("ShowWindow", {reinterpret_cast<const void*>(hWnd), nCmdShow});
    BOOL wasVisible = fake::visible ? TRUE : FALSE;
    fake::visible = nCmdShow != SW_HIDE;
    return wasVisible;
}

// Recorded only.
BOOL WINAPI SetForegroundWindow(HWND hWnd) {
    logCall("SetForegroundWindow", {reinterpret_cast<const void*>(hWnd)});
    return TRUE;
}

// Recorded only; answers the window as the previous focus.
HWND WINAPI SetFocus(HWND hWnd) {
    logCall("SetFocus", {reinterpret_cast<const void*>(hWnd)});
    return fake::windowExists ? fake::kWindow : NULL;
}

// Sets the style or extended style; answers the previous value.
LONG WINAPI SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong) {
    logCall("SetWindowLongA",
            {reinterpret_cast<const void*>(hWnd), nIndex, static_cast<long long>(dwNewLong)});
    DWORD previous = 0;
    if (nIndex == GWL_STYLE) {
        previous = fake::style;
        fake::style = static_cast<DWORD>(dwNewLong);
    } else if (nIndex == GWL_EXSTYLE) {
        previous = fake::exStyle;
        fake::exStyle = static_cast<DWORD>(dwNewLong);
    }
    return static_cast<LONG>(previous);
}

// Moves and sizes the window; unless SWP_NOSIZE, sends WM_SIZE before returning.
BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags) {
    logCall("SetWindowPos", {reinterpret_cast<const void*>(hWnd),
                             reinterpret_cast<const void*>(hWndInsertAfter), X, Y, cx, cy, uFlags});
    if (!fake::windowExists || hWnd != fake::kWindow) {
        return FALSE;
    }
    if (!(uFlags & SWP_NOMOVE)) {
        int w = fake::windowRect.right - fake::windowRect.left;
        int h = fake::windowRect.bottom - fake::windowRect.top;
        fake::windowRect = RECT{X, Y, X + w, Y + h};
    }
    if (!(uFlags & SWP_NOSIZE)) {
        fake::windowRect.right = fake::windowRect.left + cx;
        fake::windowRect.bottom = fake::windowRect.top + cy;
    }
    if (uFlags & SWP_SHOWWINDOW) {
        fake::visible = true;
    }
    if (uFlags & SWP_HIDEWINDOW) {
        fake::visible = false;
    }
    if (!(uFlags & SWP_NOSIZE)) {
        fake::sendSize();
    }
    return TRUE;
}

// The window's outer rectangle.
BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
    logCall("GetWindowRect", {reinterpret_cast<const void*>(hWnd)});
    if (!fake::windowExists || hWnd != fake::kWindow) {
        return FALSE;
    }
    *lpRect = fake::windowRect;
    return TRUE;
}

// The configured screen size.
int WINAPI GetSystemMetrics(int nIndex) {
    logCall("GetSystemMetrics", {nIndex});
    if (nIndex == SM_CXSCREEN) {
        return fake::screenWidth;
    }
    if (nIndex == SM_CYSCREEN) {
        return fake::screenHeight;
    }
    return 0;
}

// Records the new pointer position; no move message follows.
BOOL WINAPI SetCursorPos(int X, int Y) {
    logCall("SetCursorPos", {X, Y});
    fake::cursorX = X;
    fake::cursorY = Y;
    return TRUE;
}

// Queues WM_QUIT with the exit code.
void WINAPI PostQuitMessage(int nExitCode) {
    logCall("PostQuitMessage", {nExitCode});
    MSG m;
    std::memset(&m, 0, sizeof m);
    m.message = WM_QUIT;
    m.wParam = static_cast<WPARAM>(nExitCode);
    fake::queue.push_back(m);
}

// Takes (or looks at) the first queued message; filters are not supported.
BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
    logCall("PeekMessageA", {reinterpret_cast<const void*>(hWnd), wMsgFilterMin, wMsgFilterMax, wRemoveMsg});
    if (fake::queue.empty()) {
        return FALSE;
    }
    *lpMsg = fake::queue.front();
    if (wRemoveMsg & PM_REMOVE) {
        fake::queue.pop_front();
    }
    return TRUE;
}

// Recorded only: no character messages are made.
BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
    logCall("TranslateMessage",
            {lpMsg->message, static_cast<long long>(lpMsg->wParam), static_cast<long long>(lpMsg->lParam)});
    return FALSE;
}

// Hands a message for the window to the window procedure.
LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) {
    logCall("DispatchMessageA",
            {lpMsg->message, static_cast<long long>(lpMsg->wParam), static_cast<long long>(lpMsg->lParam)});
    if (!lpMsg->hwnd || lpMsg->hwnd != fake::kWindow || !fake::wndProc) {
        return 0;
    }
    return fake::wndProc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

// Recorded, not slept; see the header for onSleep and the sleep limit.
void WINAPI Sleep(DWORD dwMilliseconds) {
    logCall("Sleep", {static_cast<long long>(dwMilliseconds)});
    ++fake::sleepCalls;
    if (fake::onSleep) {
        fake::onSleep();
    }
    if (fake::sleepCalls >= fake::sleepLimit && fake::queue.empty()) {
        fake::sleepLimitHit = true;
        MSG m;
        std::memset(&m, 0, sizeof m);
        m.message = WM_QUIT;
        m.wParam = fake::kSleepLimitExitCode;
        fake::queue.push_back(m);
    }
}

// Recorded: owner, text, caption, style; answers messageBoxResult.
int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    logCall("MessageBoxA", {reinterpret_cast<const void*>(hWnd), textArg(lpText), textArg(lpCaption), uType});
    return fake::messageBoxResult;
}

// The window's device context, or the screen's for NULL.
HDC WINAPI GetDC(HWND hWnd) {
    logCall("GetDC", {reinterpret_cast<const void*>(hWnd)});
    if (!hWnd) {
        return fake::kScreenDC;
    }
    if (fake::fails(fake::GetWindowDC) || !fake::windowExists || hWnd != fake::kWindow) {
        return NULL;
    }
    return fake::kWindowDC;
}

// Releases a device context: 1 on success, 0 on failure.
int WINAPI ReleaseDC(HWND hWnd, HDC hDC) {
    logCall("ReleaseDC", {reinterpret_cast<const void*>(hWnd), reinterpret_cast<const void*>(hDC)});
    if (hDC == fake::kScreenDC) {
        return 1;
    }
    if (fake::fails(fake::ReleaseWindowDC) || hDC != fake::kWindowDC) {
        return 0;
    }
    return 1;
}

// BITSPIXEL answers bitsPerPixel; other indices 0.
int WINAPI GetDeviceCaps(HDC hdc, int index) {
    logCall("GetDeviceCaps", {reinterpret_cast<const void*>(hdc), index});
    return index == BITSPIXEL ? fake::bitsPerPixel : 0;
}

// Keeps the descriptor it received; answers pixelFormatIndex.
int WINAPI ChoosePixelFormat(HDC hdc, const PIXELFORMATDESCRIPTOR* ppfd) {
    logCall("ChoosePixelFormat", {reinterpret_cast<const void*>(hdc), ppfd->cColorBits, ppfd->cDepthBits,
                                  static_cast<long long>(ppfd->dwFlags)});
    fake::pfdChosen = true;
    fake::chosenPfd = *ppfd;
    if (fake::fails(fake::ChoosePixelFormatStep) || hdc != fake::kWindowDC) {
        return 0;
    }
    return fake::pixelFormatIndex;
}

// Sets the format on the window's device context.
BOOL WINAPI SetPixelFormat(HDC hdc, int format, const PIXELFORMATDESCRIPTOR* ppfd) {
    logCall("SetPixelFormat", {reinterpret_cast<const void*>(hdc), format, ppfd});
    if (fake::fails(fake::SetPixelFormatStep) || hdc != fake::kWindowDC || format <= 0) {
        return FALSE;
    }
    return TRUE;
}

// Creates the rendering context.
HGLRC WINAPI wglCreateContext(HDC hdc) {
    logCall("wglCreateContext", {reinterpret_cast<const void*>(hdc)});
    if (fake::fails(fake::CreateContext) || hdc != fake::kWindowDC) {
        return NULL;
    }
    return fake::kContext;
}

// Makes the context current, or (NULL, NULL) releases the current one.
BOOL WINAPI wglMakeCurrent(HDC hdc, HGLRC hglrc) {
    logCall("wglMakeCurrent", {reinterpret_cast<const void*>(hdc), reinterpret_cast<const void*>(hglrc)});
    bool releasing = hglrc == NULL;
    if (fake::fails(releasing ? fake::ReleaseCurrent : fake::MakeCurrent)) {
        return FALSE;
    }
    if (!releasing && (hglrc != fake::kContext || hdc != fake::kWindowDC)) {
        return FALSE;
    }
    fake::contextCurrent = !releasing;
    if (fake::onMakeCurrent) {
        fake::onMakeCurrent(fake::contextCurrent);
    }
    return TRUE;
}

// Deletes the rendering context.
BOOL WINAPI wglDeleteContext(HGLRC hglrc) {
    logCall("wglDeleteContext", {reinterpret_cast<const void*>(hglrc)});
    if (fake::fails(fake::DeleteContext) || hglrc != fake::kContext) {
        return FALSE;
    }
    if (fake::contextCurrent) {
        fake::contextCurrent = false;
        if (fake::onMakeCurrent) {
            fake::onMakeCurrent(false);
        }
    }
    return TRUE;
}

// Presents the back buffer.
BOOL WINAPI SwapBuffers(HDC hdc) {
    logCall("SwapBuffers", {reinterpret_cast<const void*>(hdc)});
    if (fake::fails(fake::SwapBuffersStep) || hdc != fake::kWindowDC) {
        return FALSE;
    }
    return TRUE;
}

}  // extern "C"
