// x11_demo.cpp - a small program that walks the platform path the viewer takes: class,
// window, pixel format, context, show, full screen, message loop with an idle sleep, close.
// Every frame clears to a colour given by the window size, so a screenshot shows the result.
#include "kvr_platform.h"

#include <cstdio>

static HDC demoDc = nullptr;
static int quitFlag = 0;

// Clears the back buffer to dark blue and presents it.
static void drawFrame(int width, int height) {
    glViewport(0, 0, width, height);
    glClearColor(0.1f, 0.2f, 0.6f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    SwapBuffers(demoDc);
}

// The demo's window procedure: draw on resize, quit on close, Alt+F4 through the default.
static LRESULT CALLBACK demoProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            std::printf("WM_SIZE %d %d\n", (int)LOWORD(lParam), (int)HIWORD(lParam));
            std::fflush(stdout);
            drawFrame(LOWORD(lParam), HIWORD(lParam));
            return 0;
        case WM_CLOSE:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

// Reports a failed step the way the viewer does and ends with -1.
static int fail(const char* step) {
    char text[256];
    std::snprintf(text, sizeof text, "Error code 0 returned during the '%s' step.", step);
    MessageBoxA(NULL, text, "Error Occurred", MB_ICONERROR);
    return -1;
}

int main() {
    int bits = GetDeviceCaps(GetDC(NULL), BITSPIXEL);
    HINSTANCE instance = GetModuleHandleA(NULL);
    WNDCLASSA wc = {
        CS_HREDRAW | CS_VREDRAW | CS_OWNDC, demoProc, 0,    0,       instance, LoadIconA(NULL, IDI_WINLOGO),
        LoadCursorA(NULL, IDC_ARROW),       NULL,     NULL, "OpenGL"};
    if (RegisterClassA(&wc) == 0) {
        return fail("Register Window Class");
    }
    HWND hwnd = CreateWindowExA(0x40100, "OpenGL", "OpenGL Test", 0x6CF0000, CW_USEDEFAULT, CW_USEDEFAULT,
                                640, 480, NULL, NULL, instance, NULL);
    if (hwnd == NULL) {
        UnregisterClassA("OpenGL", instance);
        return fail("Creating WindowEx");
    }
    demoDc = GetDC(hwnd);
    PIXELFORMATDESCRIPTOR pfd = {};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.cColorBits = (BYTE)bits;
    pfd.cDepthBits = 16;
    int format = ChoosePixelFormat(demoDc, &pfd);
    if (format == 0 || !SetPixelFormat(demoDc, format, &pfd)) {
        return fail("Finding PixelFormat");
    }
    HGLRC context = wglCreateContext(demoDc);
    if (context == NULL || !wglMakeCurrent(demoDc, context)) {
        return fail("Create Rendering Context");
    }
    ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(hwnd);
    SetFocus(hwnd);
    SetWindowLongA(hwnd, GWL_EXSTYLE, 0x40000);
    SetWindowLongA(hwnd, GWL_STYLE, (LONG)0x80000000u);
    SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                 0x44);
    MSG msg = {};
    while (!quitFlag) {
        if (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quitFlag = 1;
            } else {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        } else {
            Sleep(50);
        }
    }
    wglMakeCurrent(NULL, NULL);
    wglDeleteContext(context);
    ReleaseDC(hwnd, demoDc);
    DestroyWindow(hwnd);
    UnregisterClassA("OpenGL", instance);
    return (int)msg.wParam;
}
