// scene.cpp - the fixed scene, issued once into the scene display list: light positions
// and markers, the floor, the table, the easel with its picture, the teapot and the
// translucent surface.
#include "kelvor.h"
#include "shapes.h"

// clang-format off
// Control net of the translucent surface: 4 rows (y) of 4 points (x), x = -1.5 + column, y = -1.5 + row.
const GLfloat bezierCtrlPoints[4][4][3] = {
    {{-1.5f, -1.5f,  4.0f}, {-0.5f, -1.5f,  2.0f}, {0.5f, -1.5f, -1.0f}, {1.5f, -1.5f,  2.0f}},
    {{-1.5f, -0.5f,  1.0f}, {-0.5f, -0.5f,  3.0f}, {0.5f, -0.5f,  0.0f}, {1.5f, -0.5f, -1.0f}},
    {{-1.5f,  0.5f,  4.0f}, {-0.5f,  0.5f,  0.0f}, {0.5f,  0.5f,  3.0f}, {1.5f,  0.5f,  4.0f}},
    {{-1.5f,  1.5f, -2.0f}, {-0.5f,  1.5f, -2.0f}, {0.5f,  1.5f,  0.0f}, {1.5f,  1.5f, -1.0f}},
};
// clang-format on

// The two placed lights; the markers are translated by the same vectors.
static const GLfloat light0Position[4] = {0.0f, 5.0f, 0.0f, 1.0f};
static const GLfloat light1Position[4] = {8.0f, 5.0f, 0.0f, 1.0f};

// Mesa: while a list is compiled, glMaterial calls whose values equal the last ones recorded in
// the list are dropped as redundant, even when a glPopAttrib in between has restored other
// values; the easel (same wood as the legs) and the teapot (same shininess as the easel) would
// then replay with the default material. An empty glCallLists makes Mesa forget what it
// recorded; it draws nothing and raises no error, on any implementation.
static void forgetRecordedMaterials() {
    static const GLubyte noLists[1] = {0};
    glCallLists(0, GL_UNSIGNED_BYTE, noLists);
}

// Sets a material as ambient-and-diffuse colour, specular colour and shininess on the front faces.
static void setMaterial(const GLfloat* ambientAndDiffuse, const GLfloat* specular, GLfloat shininess) {
    forgetRecordedMaterials();
    glMaterialfv(GL_FRONT, GL_AMBIENT_AND_DIFFUSE, ambientAndDiffuse);
    glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
    glMaterialf(GL_FRONT, GL_SHININESS, shininess);
}

// Issues the wood slab of the table top, centred on the origin, with the wood repeated four times.
static void drawTableTopSlab() {
    // clang-format off
    // Per quad: four vertices, each (s, t, x, y, z).
    static const GLfloat quads[6][4][5] = {
        // top
        {{4.0f, 0.0f, -2.5f,  0.05f, -2.0f}, {4.0f, 4.0f, 2.5f,  0.05f, -2.0f},
         {0.0f, 4.0f,  2.5f,  0.05f,  2.0f}, {0.0f, 0.0f, -2.5f,  0.05f, 2.0f}},
        // bottom
        {{4.0f, 0.0f, -2.5f, -0.05f, -2.0f}, {4.0f, 4.0f, 2.5f, -0.05f, -2.0f},
         {0.0f, 4.0f,  2.5f, -0.05f,  2.0f}, {0.0f, 0.0f, -2.5f, -0.05f, 2.0f}},
        // side at z = -2
        {{0.0f, 0.0f, -2.5f, -0.05f, -2.0f}, {0.1f, 0.0f, -2.5f, 0.05f, -2.0f},
         {0.1f, 4.0f,  2.5f,  0.05f, -2.0f}, {0.0f, 4.0f,  2.5f, -0.05f, -2.0f}},
        // side at z = 2
        {{0.0f, 0.0f, -2.5f, -0.05f,  2.0f}, {0.1f, 0.0f, -2.5f, 0.05f,  2.0f},
         {0.1f, 4.0f,  2.5f,  0.05f,  2.0f}, {0.0f, 4.0f,  2.5f, -0.05f,  2.0f}},
        // side at x = -2.5
        {{0.0f, 0.0f, -2.5f, -0.05f,  2.0f}, {4.0f, 0.0f, -2.5f, -0.05f, -2.0f},
         {4.0f, 0.1f, -2.5f,  0.05f, -2.0f}, {0.0f, 0.1f, -2.5f,  0.05f,  2.0f}},
        // side at x = 2.5
        {{0.0f, 0.0f,  2.5f, -0.05f,  2.0f}, {4.0f, 0.0f,  2.5f, -0.05f, -2.0f},
         {4.0f, 0.1f,  2.5f,  0.05f, -2.0f}, {0.0f, 0.1f,  2.5f,  0.05f,  2.0f}},
    };
    // clang-format on
    for (int q = 0; q < 6; ++q) {
        glBegin(GL_QUADS);
        for (int v = 0; v < 4; ++v) {
            const GLfloat* p = quads[q][v];
            glTexCoord2f(p[0], p[1]);
            glVertex3f(p[2], p[3], p[4]);
        }
        glEnd();
    }
}

// Issues every command of the scene, in drawing order; called while the scene list is compiled.
void drawScene() {
    static const GLfloat floorColor[4] = {0.2f, 0.2f, 0.0f, 1.0f};
    static const GLfloat floorSpecular[4] = {0.6f, 0.6f, 0.6f, 1.0f};
    static const GLfloat woodColor[4] = {0.23f, 0.15f, 0.07f, 1.0f};
    static const GLfloat noSpecular[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    static const GLfloat teapotAmbient[4] = {0.2f, 0.2f, 0.5f, 1.0f};
    static const GLfloat teapotDiffuse[4] = {0.4f, 0.4f, 1.0f, 1.0f};
    static const GLfloat whiteSpecular[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    static const GLfloat surfaceAmbient[4] = {1.0f, 0.0f, 0.0f, 0.2f};
    static const GLfloat surfaceDiffuse[4] = {1.0f, 0.0f, 0.0f, 0.6f};
    // clang-format off
    static const double legPositions[4][3] = {
        { 2.0, 1.0,  1.5},
        {-2.0, 1.0,  1.5},
        { 2.0, 1.0, -1.5},
        {-2.0, 1.0, -1.5},
    };
    // clang-format on

    // Light positions: inside the list, so they are fixed in the scene, not to the eye.
    glLightfv(GL_LIGHT0, GL_POSITION, light0Position);
    glLightfv(GL_LIGHT1, GL_POSITION, light1Position);

    // Light markers: small unlit white cubes exactly on the lights.
    glPushAttrib(GL_LIGHTING_BIT);
    glDisable(GL_LIGHTING);
    glColor3f(1.0f, 1.0f, 1.0f);
    glPushMatrix();
    glTranslated(light0Position[0], light0Position[1], light0Position[2]);
    glutSolidCube(0.1);
    glPopMatrix();
    glPushMatrix();
    glTranslated(light1Position[0], light1Position[1], light1Position[2]);
    glutSolidCube(0.1);
    glPopMatrix();
    glPopAttrib();

    // Floor: 25 by 17 olive cubes with small gaps, tops just below y = 0, z varying fastest.
    glPushAttrib(GL_LIGHTING_BIT);
    setMaterial(floorColor, floorSpecular, 16.0f);
    for (double x = -8.0; x <= 16.0; x += 1.0) {
        for (double z = -8.0; z <= 8.0; z += 1.0) {
            glPushMatrix();
            glTranslated(x, -0.5, z);
            glutSolidCube(0.98);
            glPopMatrix();
        }
    }
    glPopAttrib();

    // Table legs: each placed absolutely, a 0.1 by 2 by 0.1 box from the floor to the top's middle.
    glPushAttrib(GL_LIGHTING_BIT);
    setMaterial(woodColor, noSpecular, 64.0f);
    for (int leg = 0; leg < 4; ++leg) {
        glPushMatrix();
        glTranslated(legPositions[leg][0], legPositions[leg][1], legPositions[leg][2]);
        glScaled(0.1, 2.0, 0.1);
        glutSolidCube(1.0);
        glPopMatrix();
    }
    glPopAttrib();

    // Table top: the decal shows the wood texels whatever the lighting.
    glEnable(GL_TEXTURE_2D);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLfloat>(GL_DECAL));
    glBindTexture(GL_TEXTURE_2D, woodTextureRef);
    glPushMatrix();
    glTranslated(0.0, 2.0, 0.0);
    drawTableTopSlab();
    glPopMatrix();
    glDisable(GL_TEXTURE_2D);

    // Easel: a back board and a strut, flattened cubes tilted and turned towards the room.
    glPushAttrib(GL_LIGHTING_BIT);
    setMaterial(woodColor, noSpecular, 64.0f);
    glPushMatrix();
    glTranslated(1.5, 2.52, -0.8);
    glRotated(-60.0, 0.0, 1.0, 0.0);
    glRotated(-70.0, 0.0, 0.0, 1.0);
    glScaled(1.0, 0.02, 0.66);
    glutSolidCube(1.0);
    glPopMatrix();
    glPushMatrix();
    glTranslated(1.44, 2.35, -0.92);
    glRotated(-60.0, 0.0, 1.0, 0.0);
    glRotated(-100.0, 0.0, 0.0, 1.0);
    glScaled(0.6, 0.02, 0.2);
    glutSolidCube(1.0);
    glPopMatrix();
    glPopAttrib();

    // Picture on the easel, leaning back, texture row 0 at its bottom edge so it stands upright.
    glPushMatrix();
    glTranslated(1.51, 2.52, -0.78);
    glRotated(30.0, 0.0, 1.0, 0.0);
    glRotated(-20.0, 1.0, 0.0, 0.0);
    glScaled(0.26, 0.45, 1.0);
    glEnable(GL_TEXTURE_2D);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLfloat>(GL_DECAL));
    glBindTexture(GL_TEXTURE_2D, castleHillTextureRef);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(-1.0f, -1.0f, 0.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(-1.0f, 1.0f, 0.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(1.0f, 1.0f, 0.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(1.0f, -1.0f, 0.0f);
    glEnd();
    glDisable(GL_TEXTURE_2D);
    glPopMatrix();

    // Teapot: blue and shiny, on the table's -x, +z corner.
    glPushAttrib(GL_LIGHTING_BIT);
    forgetRecordedMaterials();
    glMaterialfv(GL_FRONT, GL_AMBIENT, teapotAmbient);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, teapotDiffuse);
    glMaterialfv(GL_FRONT, GL_SPECULAR, whiteSpecular);
    glMaterialf(GL_FRONT, GL_SHININESS, 64.0f);
    glPushMatrix();
    glTranslated(-1.0, 2.45, 1.0);
    glRotated(40.0, 0.0, 1.0, 0.0);
    glScaled(0.5, 0.5, 0.5);
    glutSolidTeapot(1.0);
    glPopMatrix();
    glPopAttrib();

    // Translucent surface, last after all opaque geometry: lit vertices take the diffuse alpha 0.6.
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_LIGHTING_BIT);
    glPushMatrix();
    glTranslated(8.0, 2.45, 0.0);
    glEnable(GL_BLEND);
    forgetRecordedMaterials();
    glMaterialfv(GL_FRONT, GL_AMBIENT, surfaceAmbient);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, surfaceDiffuse);
    glMaterialfv(GL_FRONT, GL_SPECULAR, whiteSpecular);
    glMaterialf(GL_FRONT, GL_SHININESS, 128.0f);
    glMap2f(GL_MAP2_VERTEX_3, 0.0f, 1.0f, 3, 4, 0.0f, 1.0f, 12, 4, &bezierCtrlPoints[0][0][0]);
    glEnable(GL_MAP2_VERTEX_3);
    glEnable(GL_AUTO_NORMAL);
    glMapGrid2f(20, 0.0f, 1.0f, 20, 0.0f, 1.0f);
    glEvalMesh2(GL_FILL, 0, 20, 0, 20);
    glPopMatrix();
    glPopAttrib();
}
