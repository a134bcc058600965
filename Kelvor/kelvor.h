// kelvor.h - the demo application: entry and loop, camera and handlers,
// initialisation, scene and the compiled-in images.
#ifndef KELVOR_H
#define KELVOR_H

#include "kvr_platform.h"

// Entry and loop.
extern const char* APP_TITLE;
extern int initialWindowWidth;
extern int initialWindowHeight;
extern int quitFlag;
int quit();
int error(const char* text, int fatal);

// Camera.
extern double yaw;
extern double pitch;
extern double eyeX;
extern double eyeY;
extern double eyeZ;
extern double jump;
int onDraw();

// Initialisation and scene.
extern int doneInit;
extern GLuint sceneId;
extern GLuint castleHillTextureRef;
extern GLuint woodTextureRef;
extern const unsigned char woodImageData[64 * 64 * 4];
extern const unsigned char castleHillImageData[64 * 128 * 4];
extern const GLfloat bezierCtrlPoints[4][4][3];
void drawScene();

// The callbacks the window layer calls (onInit, onResize, onKeyDown, onMouseMove,
// onMouseClick, onMouseWheel) are declared in kvr_window.h.

#endif  // KELVOR_H
