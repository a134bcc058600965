// view.cpp - placeholder callbacks until the camera and its handlers land.
#include "kelvor.h"
#include "kvr_window.h"

double yaw = -40.3;
double pitch = 3.3;
double eyeX = 10.6;
double eyeY = 3.0;
double eyeZ = 6.6;
double jump = 0.1;

int onDraw() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    kvr_swapBuffers();
    return 1;
}
int onResize(int width, int height) {
    glViewport(0, 0, width, height > 0 ? height : 1);
    return onDraw();
}
int onKeyDown(int) {
    return 0;
}
int onMouseMove(double, double) {
    return 1;
}
void onMouseClick() {}
int onMouseWheel(int) {
    return 1;
}
