// winmain.cpp - the program's entry: opens the window, switches it to full
// screen, pumps window messages until asked to quit, and closes the window.
#include <stdlib.h>

#include "kelvor.h"
#include "kvr_window.h"

const char* APP_TITLE = "OpenGL Test";
int initialWindowWidth = 640;
int initialWindowHeight = 480;
int quitFlag = 0;

// Shown instead of the report when the report itself cannot be made.
static const char kvr_reportUnavailable[] = "The OpenGL window could not be opened.";

// Asks the message loop to end at its next test.
int quit() {
    quitFlag = 1;
    return 1;
}

// Shows an error box; a fatal error also asks the loop to end.
int error(const char* text, int fatal) {
    int answer = MessageBoxA(NULL, text, "Error Occurred", MB_ICONERROR);
    if (fatal) {
        quit();
        return 1;
    }
    return answer;
}

// Opens the window, runs the message loop and returns the exit status:
// -1 when the window cannot be opened, else the wParam of the last message.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    MSG msg;
    msg.hwnd = NULL;
    msg.message = 0;
    msg.wParam = 0;
    msg.lParam = 0;
    msg.time = 0;
    msg.pt.x = 0;
    msg.pt.y = 0;

    // No context is current yet: this only marks the initialisation as done, so
    // the frames drawn while the window is created do not start it themselves.
    onInit();

    // The desktop's device context is wanted only for its colour depth: released at once.
    HDC desktopDC = GetDC(NULL);
    int depth = GetDeviceCaps(desktopDC, BITSPIXEL);
    ReleaseDC(NULL, desktopDC);
    if (!kvr_createWindow(APP_TITLE, initialWindowWidth, initialWindowHeight, CW_USEDEFAULT, CW_USEDEFAULT,
                          depth)) {
        char* report = kvr_getLastErrorMessage();
        error(report != NULL ? report : kvr_reportUnavailable, 1);
        free(report);
        return -1;
    }

    kvr_toggleFullScreen();

    while (!quitFlag) {
        if (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit();
            } else {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        } else {
            Sleep(50);
        }
    }

    kvr_destroyWindow();
    return (int)msg.wParam;
}
