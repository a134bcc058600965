// view.cpp - the camera, the projection and the input handlers; every handler that
// changes what is seen ends by drawing a frame.
#include <math.h>
#include <stdio.h>

#include "kelvor.h"
#include "kvr_window.h"

// Camera state: view angles in degrees, eye position and walking step in scene units.
double yaw = -40.3;
double pitch = 3.3;
double eyeX = 10.6;
double eyeY = 3.0;
double eyeZ = 6.6;
double jump = 0.1;

// Virtual-key codes the handlers react to.
static const int KEY_ESCAPE = 0x1B;
static const int KEY_SPACE = 0x20;
static const int KEY_A = 0x41;
static const int KEY_D = 0x44;
static const int KEY_S = 0x53;
static const int KEY_W = 0x57;
static const int KEY_NUMPAD_ADD = 0x6B;
static const int KEY_NUMPAD_SUBTRACT = 0x6D;

// Degrees to radians.
static const double DEGREES_TO_RADIANS = 0.017453292519943295;

// Sets the perspective projection and the viewport for a client area of the given size.
int onResize(int width, int height) {
    if (height == 0) {
        height = 1;
    }
    double aspect = static_cast<double>(width) / static_cast<double>(height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-0.5 * aspect, 0.5 * aspect, -0.5, 0.5, 1.0, 50.0);
    glViewport(0, 0, width, height);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    return onDraw();
}

// Draws one frame: clear, camera transform, the scene list, swap.
int onDraw() {
    if (doneInit == 0) {
        onInit();
    }
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    // Pitch outermost, so the view tilts about the viewer's own horizontal axis after turning.
    glRotated(pitch, 1.0, 0.0, 0.0);
    glRotated(yaw, 0.0, 1.0, 0.0);
    glTranslated(-eyeX, -eyeY, -eyeZ);
    glCallList(sceneId);
    kvr_swapBuffers();
    return 1;
}

// Sets the view angles from the pointer position, normalised about the client centre.
int onMouseMove(double x, double y) {
    yaw = 180.0 * x;
    pitch = 90.0 * y;
    return onDraw();
}

// Raises or lowers the eye by a tenth of a unit per wheel notch, unless the right button is held.
int onMouseWheel(int wParam) {
    // The high word is the signed wheel delta; taken apart unsigned so no shift touches a sign bit.
    unsigned int highWord = (static_cast<unsigned int>(wParam) >> 16) & 0xFFFFu;
    int delta = highWord > 0x7FFFu ? static_cast<int>(highWord) - 0x10000 : static_cast<int>(highWord);
    if (kvr_isRightMouseButtonDown() == 0) {
        eyeY = eyeY + static_cast<double>(delta) / 1200.0;
    }
    return onDraw();
}

// Takes one walking step along the heading angle, in degrees, and redraws.
static int walk(double headingDegrees) {
    double angle = headingDegrees * DEGREES_TO_RADIANS;
    eyeX = eyeX + sin(angle) * jump;
    eyeZ = eyeZ + cos(angle) * jump;
    return onDraw();
}

// Handles a key press: walking, leaving full screen, printing the view angles, redrawing.
int onKeyDown(int key) {
    switch (key) {
        case KEY_ESCAPE:
            if (kvr_isFullscreen() != 0) {
                kvr_toggleFullScreen();
            }
            return 1;
        case KEY_W:
            return walk(180.0 - yaw);
        case KEY_S:
            return walk(-yaw);
        case KEY_A:
            return walk(-90.0 - yaw);
        case KEY_D:
            return walk(90.0 - yaw);
        case KEY_SPACE:
            printf("pitch:%f, yaw:%f\n", pitch, yaw);
            // A pipe or file is block-buffered: flush so the line is seen at once.
            fflush(stdout);
            return 1;
        case KEY_NUMPAD_ADD:
        case KEY_NUMPAD_SUBTRACT:
            return onDraw();
        default:
            return 0;
    }
}

// Release of the left button: no visible effect.
void onMouseClick() {}
