// winmain.cpp - placeholder entry until the application shell lands.
#include "kelvor.h"
#include "kvr_window.h"

const char* APP_TITLE = "OpenGL Test";
int initialWindowWidth = 640;
int initialWindowHeight = 480;
int quitFlag = 0;

int quit() {
    quitFlag = 1;
    return 1;
}
int error(const char*, int) {
    return quit();
}
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return 0;
}
