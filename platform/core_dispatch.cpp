// core_dispatch.cpp - the choice of the window-system backend, made once, and the Win32
// entries that the backend carries out; the default window procedure, message dispatch and
// AdjustWindowRectEx, which are the same on every backend.
#include "core.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

// Module state: the backend chosen at the first call that needed one.
static const KvrWsBackend* chosen = nullptr;

// The backend the environment asks for (see kvr_ws in core.h).
static const KvrWsBackend* choose() {
    const char* forced = std::getenv("KVR_PLATFORM");
    if (forced != nullptr && forced[0] != '\0') {
        if (std::strcmp(forced, "x11") == 0) {
            return &kvr_x11Backend;
        }
        if (std::strcmp(forced, "wayland") == 0) {
            if (kvr_wlBuilt()) {
                return kvr_wlConnectBackend(true);
            }
            std::fprintf(stderr, "KVR_PLATFORM=wayland: this build has no Wayland support; using X11\n");
            return &kvr_x11Backend;
        }
        std::fprintf(stderr, "KVR_PLATFORM=%s is neither wayland nor x11; choosing by the session\n", forced);
    }
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland != nullptr && wayland[0] != '\0') {
        const KvrWsBackend* backend = kvr_wlConnectBackend(false);
        if (backend != nullptr) {
            return backend;
        }
    }
    return &kvr_x11Backend;
}

const KvrWsBackend* kvr_ws() {
    if (chosen == nullptr) {
        chosen = choose();
    }
    return chosen;
}

// Sends a message to a window's procedure; 0 when the handle names no window.
static LRESULT send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    return kvr_ws()->send(hwnd, message, wParam, lParam, &result) ? result : 0;
}

extern "C" LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SYSKEYDOWN:
            // Alt+F4 closes the window through the system menu's close command.
            if (wParam == VK_F4 && (lParam & 0x20000000) != 0) {
                send(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
            }
            return 0;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_CLOSE) {
                send(hwnd, WM_CLOSE, 0, 0);
            }
            return 0;
        case WM_CLOSE:
            kvr_ws()->destroyWindow(hwnd);
            return 0;
        default:
            return 0;
    }
}

extern "C" LRESULT WINAPI DispatchMessageA(const MSG* msg) {
    return msg != nullptr ? send(msg->hwnd, msg->message, msg->wParam, msg->lParam) : 0;
}

extern "C" BOOL WINAPI AdjustWindowRectEx(LPRECT rect, DWORD, BOOL, DWORD) {
    // The window manager or compositor draws any frame outside the window, which is the client
    // area: rectangles stay as they are.
    return rect != nullptr ? TRUE : FALSE;
}

extern "C" HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                                       int y, int width, int height, HWND, HMENU, HINSTANCE, LPVOID) {
    return kvr_ws()->createWindow(exStyle, className, windowName, style, x, y, width, height);
}

extern "C" BOOL WINAPI DestroyWindow(HWND hwnd) {
    return kvr_ws()->destroyWindow(hwnd);
}

extern "C" BOOL WINAPI ShowWindow(HWND hwnd, int command) {
    return kvr_ws()->showWindow(hwnd, command);
}

extern "C" BOOL WINAPI SetForegroundWindow(HWND hwnd) {
    return kvr_ws()->setForegroundWindow(hwnd);
}

extern "C" HWND WINAPI SetFocus(HWND hwnd) {
    return kvr_ws()->setFocus(hwnd);
}

extern "C" LONG WINAPI SetWindowLongA(HWND hwnd, int index, LONG value) {
    return kvr_ws()->setWindowLong(hwnd, index, value);
}

extern "C" BOOL WINAPI SetWindowPos(HWND hwnd, HWND, int x, int y, int cx, int cy, UINT flags) {
    return kvr_ws()->setWindowPos(hwnd, x, y, cx, cy, flags);
}

extern "C" BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect) {
    return kvr_ws()->getWindowRect(hwnd, rect);
}

extern "C" int WINAPI GetSystemMetrics(int index) {
    return kvr_ws()->systemMetrics(index);
}

extern "C" BOOL WINAPI SetCursorPos(int x, int y) {
    return kvr_ws()->setCursorPos(x, y);
}

extern "C" HDC WINAPI GetDC(HWND hwnd) {
    return kvr_ws()->getDC(hwnd);
}

extern "C" int WINAPI ReleaseDC(HWND hwnd, HDC hdc) {
    return kvr_ws()->releaseDC(hwnd, hdc);
}

extern "C" int WINAPI GetDeviceCaps(HDC hdc, int index) {
    return kvr_ws()->deviceCaps(hdc, index);
}

extern "C" int WINAPI ChoosePixelFormat(HDC hdc, const PIXELFORMATDESCRIPTOR* pfd) {
    return kvr_ws()->choosePixelFormat(hdc, pfd);
}

extern "C" BOOL WINAPI SetPixelFormat(HDC hdc, int format, const PIXELFORMATDESCRIPTOR*) {
    return kvr_ws()->setPixelFormat(hdc, format);
}

extern "C" HGLRC WINAPI wglCreateContext(HDC hdc) {
    return kvr_ws()->createContext(hdc);
}

extern "C" BOOL WINAPI wglMakeCurrent(HDC hdc, HGLRC hglrc) {
    return kvr_ws()->makeCurrent(hdc, hglrc);
}

extern "C" BOOL WINAPI wglDeleteContext(HGLRC hglrc) {
    return kvr_ws()->deleteContext(hglrc);
}

extern "C" BOOL WINAPI SwapBuffers(HDC hdc) {
    return kvr_ws()->swapBuffers(hdc);
}
