// init.cpp - the one-time render set-up: lights, fog, depth, blending, the two
// textures, the font lists and the scene display list.
#include "bitmap_font.h"
#include "kelvor.h"
#include "kvr_window.h"

int doneInit = 0;
GLuint sceneId = 0;
GLuint castleHillTextureRef = 0;
GLuint woodTextureRef = 0;

// Gives one light the white colours and the linear attenuation all three share.
static void setUpLight(GLenum light) {
    static const GLfloat ambient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
    static const GLfloat diffuse[4] = {0.8f, 0.8f, 0.8f, 1.0f};
    static const GLfloat specular[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    glEnable(light);
    glLightfv(light, GL_AMBIENT, ambient);
    glLightfv(light, GL_DIFFUSE, diffuse);
    glLightfv(light, GL_SPECULAR, specular);
    glLightf(light, GL_LINEAR_ATTENUATION, 0.3f);
}

// Sets up the fixed render state and compiles the scene into sceneId; always 1.
int onInit() {
    static const GLfloat fogColor[4] = {0.0f, 0.0f, 0.0f, 1.0f};

    glEnable(GL_LIGHTING);
    glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, 1);
    setUpLight(GL_LIGHT0);
    setUpLight(GL_LIGHT1);
    // The third light keeps its default eye-space position: a headlight along the line of sight.
    setUpLight(GL_LIGHT2);

    // Black exponential fog, the same black as the cleared background.
    glEnable(GL_FOG);
    glFogi(GL_FOG_MODE, GL_EXP);
    glFogfv(GL_FOG_COLOR, fogColor);
    glFogf(GL_FOG_DENSITY, 0.05f);

    glEnable(GL_DEPTH_TEST);
    // Blending itself is enabled only around the translucent surface.
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);

    // The picture: level 0 only, so the linear minification filter is what makes it complete.
    glGenTextures(1, &castleHillTextureRef);
    glBindTexture(GL_TEXTURE_2D, castleHillTextureRef);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 64, 128, 0, GL_RGBA, GL_UNSIGNED_BYTE, castleHillImageData);

    // The wood, repeated across the table top.
    glGenTextures(1, &woodTextureRef);
    glBindTexture(GL_TEXTURE_2D, woodTextureRef);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 64, 64, 0, GL_RGBA, GL_UNSIGNED_BYTE, woodImageData);

    bitmap_font_init();
    glEnable(GL_AUTO_NORMAL);
    // The scene draws scaled shapes: renormalise after transformation.
    glEnable(GL_NORMALIZE);

    // The texture names are recorded into the list as they are now, so they exist before it opens.
    sceneId = glGenLists(1);
    // Without a list name (no context, or no lists left) the scene is not issued at all:
    // glNewList(0) would fail and every command would be drawn at once instead of recorded.
    if (sceneId != 0) {
        glNewList(sceneId, GL_COMPILE);
        drawScene();
        glEndList();
    }

    doneInit = 1;
    return 1;
}
