// init.cpp - placeholder initialisation until the scene lands.
#include "kelvor.h"
#include "kvr_window.h"

int doneInit = 0;
GLuint sceneId = 0;
GLuint castleHillTextureRef = 0;
GLuint woodTextureRef = 0;

int onInit() {
    doneInit = 1;
    return 1;
}
