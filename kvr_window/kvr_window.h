// kvr_window.h - the window layer: one top-level window with an OpenGL context,
// its window procedure and input state, and the full-screen toggle.
#ifndef KVR_WINDOW_H
#define KVR_WINDOW_H

#include <stdint.h>

#include "kvr_platform.h"

// Size of the step log, terminator included.
#define KVR_LOG_SIZE 1024
// Size of the report block returned by kvr_getLastErrorMessage.
#define KVR_REPORT_SIZE 2048

// State of the layer; the other modules read it only through the accessors.
extern HINSTANCE kvr_hInstance;
extern HWND kvr_hWnd;
extern HDC kvr_hDC;
extern HGLRC kvr_hRC;
extern int32_t kvr_lastResult;
extern char kvr_lastErrorStepDescription[KVR_LOG_SIZE];
extern int kvr_active;
extern int kvr_isFullscreenFlag;
extern int kvr_rightDown;
extern int32_t kvr_screenWidth;
extern int32_t kvr_screenHeight;
extern int32_t kvr_keys[256];
extern RECT kvr_winRect;

// Opens the window and its rendering context; 1 on success, 0 on failure.
int kvr_createWindow(const char* title, int width, int height, int x, int y, int bits);
// Releases context, device context, window and class; 1 when every release succeeded.
int kvr_destroyWindow();
// Appends a failed step's description to the step log.
void kvr_logError(const char* step);
// The report of the step log, in a new 2048-byte heap block the caller frees.
char* kvr_getLastErrorMessage();
// Presents the back buffer.
int kvr_swapBuffers();
int kvr_isActive();
int kvr_isKeyDown(int key);
int kvr_isFullscreen();
int kvr_getScreenWidth();
int kvr_getScreenHeight();
int kvr_isRightMouseButtonDown();

// The window procedure of the class "OpenGL".
LRESULT CALLBACK kvr_WndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
// Switches between the windowed and the full-screen form; always 1.
int kvr_toggleFullScreen();

// Application callbacks, defined by the application and called by name.
int onInit();
int onResize(int width, int height);
int onKeyDown(int key);
int onMouseMove(double x, double y);
void onMouseClick();
int onMouseWheel(int wParam);

#endif  // KVR_WINDOW_H
