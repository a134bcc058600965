// kvr_window.cpp - the window layer: one top-level window with an OpenGL context,
// the step log of its creation, its window procedure and the full-screen toggle.
#include "kvr_window.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

HINSTANCE kvr_hInstance = NULL;
HWND kvr_hWnd = NULL;
HDC kvr_hDC = NULL;
HGLRC kvr_hRC = NULL;
int32_t kvr_lastResult = 0;
char kvr_lastErrorStepDescription[KVR_LOG_SIZE] = "";
int kvr_active = 1;
int kvr_isFullscreenFlag = 0;
int kvr_rightDown = 0;
int32_t kvr_screenWidth = 0;
int32_t kvr_screenHeight = 0;
int32_t kvr_keys[256] = {0};
RECT kvr_winRect = {0, 0, 0, 0};

// The class name of the one window.
static const char kvr_className[] = "OpenGL";

// Styles of the windowed form and of the full-screen form.
static const DWORD kvr_windowedExStyle = WS_EX_APPWINDOW | WS_EX_WINDOWEDGE;
static const DWORD kvr_windowedStyle = WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_OVERLAPPEDWINDOW;
static const DWORD kvr_fullscreenExStyle = WS_EX_APPWINDOW;
static const DWORD kvr_fullscreenStyle = WS_POPUP;

// The pixel format asked for: double-buffered RGBA with a 16-bit depth buffer;
// cColorBits is filled in from the caller's colour depth.
// clang-format off
static PIXELFORMATDESCRIPTOR pfd = {
    sizeof(PIXELFORMATDESCRIPTOR),                               // nSize
    1,                                                           // nVersion
    PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER,  // dwFlags
    PFD_TYPE_RGBA,                                               // iPixelType
    0,                                                           // cColorBits
    0, 0, 0, 0, 0, 0,                                            // red, green, blue bits and shifts
    0, 0,                                                        // alpha bits and shift
    0, 0, 0, 0, 0,                                               // accumulation bits
    16,                                                          // cDepthBits
    0,                                                           // cStencilBits
    0,                                                           // cAuxBuffers
    PFD_MAIN_PLANE,                                              // iLayerType
    0,                                                           // bReserved
    0, 0, 0                                                      // layer, visible and damage masks
};
// clang-format on

// Appends a failed step's description and its "; " separator to the step log;
// whatever would not fit in the log is cut off at its end.
void kvr_logError(const char* step) {
    size_t used = strlen(kvr_lastErrorStepDescription);
    size_t room = KVR_LOG_SIZE - 1 - used;
    const char* parts[2] = {step ? step : "", "; "};
    for (int i = 0; i < 2; ++i) {
        size_t n = strlen(parts[i]);
        if (n > room) {
            n = room;
        }
        memcpy(kvr_lastErrorStepDescription + used, parts[i], n);
        used += n;
        room -= n;
    }
    kvr_lastErrorStepDescription[used] = '\0';
}

// Failure of steps 5 to 7: record it, log the step, then release what exists.
static int kvr_failBeforeCleanUp(const char* step) {
    kvr_lastResult = 0;
    kvr_logError(step);
    kvr_destroyWindow();
    kvr_lastResult = 0;
    return 0;
}

// Failure of steps 8 to 10 and 13: release what exists, then log the step.
static int kvr_failAfterCleanUp(const char* step) {
    kvr_destroyWindow();
    kvr_logError(step);
    kvr_lastResult = 0;
    return 0;
}

// Opens the window and its rendering context; 1 on success, 0 on failure.
int kvr_createWindow(const char* title, int width, int height, int x, int y, int bits) {
    RECT rect;
    rect.left = 0;
    rect.top = 0;
    rect.right = width;
    rect.bottom = height;

    kvr_hInstance = GetModuleHandleA(NULL);

    WNDCLASSA wc;
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_OWNDC;
    wc.lpfnWndProc = kvr_WndProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = kvr_hInstance;
    wc.hIcon = LoadIconA(NULL, IDI_WINLOGO);
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = NULL;
    wc.lpszMenuName = NULL;
    wc.lpszClassName = kvr_className;
    ATOM atom = RegisterClassA(&wc);
    kvr_lastResult = (int32_t)atom;
    if (atom == 0) {
        kvr_logError("Register Window Class");
        return 0;
    }

    AdjustWindowRectEx(&rect, WS_OVERLAPPEDWINDOW, FALSE, kvr_windowedExStyle);

    kvr_hWnd =
        CreateWindowExA(kvr_windowedExStyle, kvr_className, title, kvr_windowedStyle, x, y,
                        rect.right - rect.left, rect.bottom - rect.top, NULL, NULL, kvr_hInstance, NULL);
    if (kvr_hWnd == NULL) {
        return kvr_failBeforeCleanUp("Creating WindowEx");
    }

    kvr_hDC = GetDC(kvr_hWnd);
    if (kvr_hDC == NULL) {
        return kvr_failBeforeCleanUp("Create Device Context");
    }

    pfd.cColorBits = (BYTE)(bits & 0xFF);
    int pixelFormat = ChoosePixelFormat(kvr_hDC, &pfd);
    if (pixelFormat == 0) {
        return kvr_failBeforeCleanUp("Finding PixelFormat");
    }

    kvr_lastResult = SetPixelFormat(kvr_hDC, pixelFormat, &pfd);
    if (kvr_lastResult == FALSE) {
        return kvr_failAfterCleanUp("Applying Pixel Format");
    }

    kvr_hRC = wglCreateContext(kvr_hDC);
    if (kvr_hRC == NULL) {
        kvr_lastResult = 0;
        return kvr_failAfterCleanUp("Create Rendering Context");
    }

    kvr_lastResult = wglMakeCurrent(kvr_hDC, kvr_hRC);
    if (kvr_lastResult == FALSE) {
        return kvr_failAfterCleanUp("Activate Rendering Context");
    }

    ShowWindow(kvr_hWnd, SW_SHOW);
    SetForegroundWindow(kvr_hWnd);
    SetFocus(kvr_hWnd);

    onResize(width, height);

    kvr_lastResult = onInit();
    if (kvr_lastResult != 0) {
        return 1;
    }
    return kvr_failAfterCleanUp("Initialize OpenGL");
}

// Releases context, device context, window and class, carrying on after a failure;
// 1 when every release succeeded, 0 when any failed.
int kvr_destroyWindow() {
    int success = 1;
    if (kvr_hRC != NULL) {
        kvr_lastResult = wglMakeCurrent(NULL, NULL);
        if (kvr_lastResult == FALSE) {
            kvr_logError("Release Device Context and Rendering Context");
            success = 0;
        }
        kvr_lastResult = wglDeleteContext(kvr_hRC);
        if (kvr_lastResult == FALSE) {
            kvr_logError("Release Rendering Context");
            success = 0;
        }
        kvr_hRC = NULL;
    }
    if (kvr_hDC != NULL) {
        kvr_lastResult = ReleaseDC(kvr_hWnd, kvr_hDC);
        if (kvr_lastResult == 0) {
            kvr_logError("Release Device Context");
            success = 0;
        }
        // Cleared either way, so no later call reuses a released handle.
        kvr_hDC = NULL;
    }
    if (kvr_hWnd != NULL) {
        kvr_lastResult = DestroyWindow(kvr_hWnd);
        if (kvr_lastResult == FALSE) {
            kvr_logError("Release Window");
            success = 0;
        }
        kvr_hWnd = NULL;
    }
    kvr_lastResult = UnregisterClassA(kvr_className, kvr_hInstance);
    if (kvr_lastResult == FALSE) {
        kvr_logError("Unregister Window Class");
        kvr_hInstance = NULL;
        return 0;
    }
    return success;
}

// The report of the step log, in a new 2048-byte heap block the caller frees;
// null when the block cannot be allocated. The log itself is left as it is.
char* kvr_getLastErrorMessage() {
    char* report = (char*)malloc(KVR_REPORT_SIZE);
    if (report == NULL) {
        return NULL;
    }
    if (kvr_lastErrorStepDescription[0] == '\0') {
        snprintf(report, KVR_REPORT_SIZE, "%s", "No errors detected opening OpenGL window");
        return report;
    }
    char steps[KVR_LOG_SIZE];
    memcpy(steps, kvr_lastErrorStepDescription, KVR_LOG_SIZE);
    steps[KVR_LOG_SIZE - 1] = '\0';
    size_t n = strlen(steps);
    if (n >= 2 && steps[n - 2] == ';' && steps[n - 1] == ' ') {
        steps[n - 2] = '\0';
    }
    snprintf(
        report, KVR_REPORT_SIZE,
        "An error occurred when trying to open the OpenGL window.\nError code %i returned during the '%s' "
        "step.",
        (int)kvr_lastResult, steps);
    return report;
}

// Presents the back buffer; the result of SwapBuffers.
int kvr_swapBuffers() {
    return SwapBuffers(kvr_hDC);
}

// 1 while the window is not minimised.
int kvr_isActive() {
    return kvr_active;
}

// 1 while the key is down; 0 for codes outside 0 to 255.
int kvr_isKeyDown(int key) {
    if (key < 0 || key > 255) {
        return 0;
    }
    return kvr_keys[key];
}

// 1 while the window is in its full-screen form.
int kvr_isFullscreen() {
    return kvr_isFullscreenFlag;
}

// The client width from the latest size message.
int kvr_getScreenWidth() {
    return kvr_screenWidth;
}

// The client height from the latest size message.
int kvr_getScreenHeight() {
    return kvr_screenHeight;
}

// 1 while the right mouse button is held.
int kvr_isRightMouseButtonDown() {
    return kvr_rightDown;
}

// Switches between the windowed and the full-screen form; always 1.
int kvr_toggleFullScreen() {
    if (!kvr_isFullscreenFlag) {
        GetWindowRect(kvr_hWnd, &kvr_winRect);
        SetWindowLongA(kvr_hWnd, GWL_EXSTYLE, (LONG)(kvr_fullscreenExStyle));
        SetWindowLongA(kvr_hWnd, GWL_STYLE, (LONG)(kvr_fullscreenStyle));
        int screenHeight = GetSystemMetrics(SM_CYSCREEN);
        int screenWidth = GetSystemMetrics(SM_CXSCREEN);
        SetWindowPos(kvr_hWnd, HWND_TOPMOST, 0, 0, screenWidth, screenHeight, SWP_SHOWWINDOW | SWP_NOZORDER);
    } else {
        SetWindowLongA(kvr_hWnd, GWL_EXSTYLE, (LONG)(kvr_windowedExStyle));
        SetWindowLongA(kvr_hWnd, GWL_STYLE, (LONG)(kvr_windowedStyle));
        SetWindowPos(kvr_hWnd, NULL, kvr_winRect.left, kvr_winRect.top, kvr_winRect.right - kvr_winRect.left,
                     kvr_winRect.bottom - kvr_winRect.top, SWP_SHOWWINDOW | SWP_NOZORDER);
    }
    kvr_isFullscreenFlag = !kvr_isFullscreenFlag;
    return 1;
}

// Handles a pointer move: wraps at the side edges in full screen, otherwise
// normalises the position about the client centre and reports it.
static LRESULT kvr_mouseMove(LPARAM lParam) {
    int px = (int)(int16_t)LOWORD(lParam);
    int py = (int)(int16_t)HIWORD(lParam);
    if (kvr_isFullscreenFlag) {
        int w = kvr_screenWidth;
        if (px >= w - 1) {
            SetCursorPos(1, py);
            return 0;
        } else if (px <= 0) {
            SetCursorPos(w - 2, py);
            return 0;
        }
    }
    int halfWidth = kvr_screenWidth / 2;
    int halfHeight = kvr_screenHeight / 2;
    // A client area 0 or 1 pixel wide or high has no centre to measure from.
    if (halfWidth == 0 || halfHeight == 0) {
        return 0;
    }
    long double x = (long double)(px - halfWidth) * (1.0L / (long double)halfWidth);
    long double y = (long double)(py - halfHeight) * (1.0L / (long double)halfHeight);
    onMouseMove((double)x, (double)y);
    return 0;
}

// The window procedure of the class "OpenGL": input state and application callbacks.
LRESULT CALLBACK kvr_WndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            kvr_screenWidth = LOWORD(lParam);
            kvr_screenHeight = HIWORD(lParam);
            onResize(kvr_screenWidth, kvr_screenHeight);
            return 0;
        case WM_ACTIVATE:
            kvr_active = HIWORD(wParam) == 0 ? 1 : 0;
            return 0;
        case WM_CLOSE:
            PostQuitMessage(0);
            return 0;
        case WM_KEYDOWN:
            // Codes outside the key table are neither stored nor reported.
            if (wParam < 256) {
                kvr_keys[wParam] = 1;
                onKeyDown((int)wParam);
            }
            return 0;
        case WM_KEYUP:
            if (wParam < 256) {
                kvr_keys[wParam] = 0;
            }
            return 0;
        case WM_SYSKEYDOWN:
            if (wParam == VK_RETURN && (lParam & 0x20000000) != 0) {
                kvr_toggleFullScreen();
                return 0;
            }
            break;
        case WM_SYSCHAR:
            // The character of Alt+Enter belongs to the toggle: by default it would start the
            // keyboard menu mode, which finds no menu item for it and beeps. Under Wine 8 that
            // mode also releases the pointer grab Wine keeps for a full-screen window, and under
            // openbox its input-only window then swallows every later pointer move.
            if (wParam == VK_RETURN && (lParam & 0x20000000) != 0) {
                return 0;
            }
            break;
        case WM_PAINT:
            // The default validates the update region. The picture is then drawn again: a
            // window restored, uncovered or resized by the window manager after its last frame
            // (Wine under a manager delivers those asynchronously) would otherwise stay black.
            DefWindowProcA(hWnd, message, wParam, lParam);
            if (kvr_screenWidth > 0 && kvr_screenHeight > 0) {
                onResize(kvr_screenWidth, kvr_screenHeight);
            }
            return 0;
        case WM_MOUSEMOVE:
            return kvr_mouseMove(lParam);
        case WM_LBUTTONUP:
            onMouseClick();
            return 0;
        case WM_RBUTTONDOWN:
            kvr_rightDown = 1;
            return 0;
        case WM_RBUTTONUP:
            kvr_rightDown = 0;
            return 0;
        case WM_MOUSEWHEEL:
            onMouseWheel((int)wParam);
            return 0;
        default:
            break;
    }
    return DefWindowProcA(hWnd, message, wParam, lParam);
}
