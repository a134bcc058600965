// shapes.cpp - a cube of any size and the classic teapot from its bicubic Bezier patches.
#include "shapes.h"

#include "kvr_platform.h"

namespace {

// The cube's face normals, one per face.
// clang-format off
const GLfloat n[6][3] = {
    {-1.0f, 0.0f, 0.0f},
    {0.0f, 1.0f, 0.0f},
    {1.0f, 0.0f, 0.0f},
    {0.0f, -1.0f, 0.0f},
    {0.0f, 0.0f, 1.0f},
    {0.0f, 0.0f, -1.0f},
};

// The cube's faces as corner indices, counter-clockwise seen from outside.
const GLint faces[6][4] = {
    {0, 1, 2, 3},
    {3, 2, 6, 7},
    {7, 6, 5, 4},
    {4, 5, 1, 0},
    {5, 6, 2, 1},
    {7, 4, 0, 3},
};

// The 2 x 2 net of the teapot's texture-coordinate map: (s, t) = (u, v) across every patch.
const GLfloat tex[2][2][2] = {
    {{0.0f, 0.0f}, {1.0f, 0.0f}},
    {{0.0f, 1.0f}, {1.0f, 1.0f}},
};

// The teapot's ten patches, four rows (v) of four control-point indices (u) each.
const int patchdata[10][16] = {
    // rim
    {102, 103, 104, 105, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
    // body
    {12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27},
    {24, 25, 26, 27, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40},
    // lid
    {96, 96, 96, 96, 97, 98, 99, 100, 101, 101, 101, 101, 0, 1, 2, 3},
    {0, 1, 2, 3, 106, 107, 108, 109, 110, 111, 112, 113, 114, 115, 116, 117},
    // bottom
    {118, 118, 118, 118, 124, 122, 119, 121, 123, 126, 125, 120, 40, 39, 38, 37},
    // handle
    {41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56},
    {53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63, 64, 28, 65, 66, 67},
    // spout
    {68, 69, 70, 71, 72, 73, 74, 75, 76, 77, 78, 79, 80, 81, 82, 83},
    {80, 81, 82, 83, 84, 85, 86, 87, 88, 89, 90, 91, 92, 93, 94, 95},
};

// The teapot's control points, model units with z up, standing on z = 0.
const GLfloat cpdata[127][3] = {
    {0.2f, 0.0f, 2.7f},  // 0
    {0.2f, -0.112f, 2.7f},  // 1
    {0.112f, -0.2f, 2.7f},  // 2
    {0.0f, -0.2f, 2.7f},  // 3
    {1.3375f, 0.0f, 2.53125f},  // 4
    {1.3375f, -0.749f, 2.53125f},  // 5
    {0.749f, -1.3375f, 2.53125f},  // 6
    {0.0f, -1.3375f, 2.53125f},  // 7
    {1.4375f, 0.0f, 2.53125f},  // 8
    {1.4375f, -0.805f, 2.53125f},  // 9
    {0.805f, -1.4375f, 2.53125f},  // 10
    {0.0f, -1.4375f, 2.53125f},  // 11
    {1.5f, 0.0f, 2.4f},  // 12
    {1.5f, -0.84f, 2.4f},  // 13
    {0.84f, -1.5f, 2.4f},  // 14
    {0.0f, -1.5f, 2.4f},  // 15
    {1.75f, 0.0f, 1.875f},  // 16
    {1.75f, -0.98f, 1.875f},  // 17
    {0.98f, -1.75f, 1.875f},  // 18
    {0.0f, -1.75f, 1.875f},  // 19
    {2.0f, 0.0f, 1.35f},  // 20
    {2.0f, -1.12f, 1.35f},  // 21
    {1.12f, -2.0f, 1.35f},  // 22
    {0.0f, -2.0f, 1.35f},  // 23
    {2.0f, 0.0f, 0.9f},  // 24
    {2.0f, -1.12f, 0.9f},  // 25
    {1.12f, -2.0f, 0.9f},  // 26
    {0.0f, -2.0f, 0.9f},  // 27
    {-2.0f, 0.0f, 0.9f},  // 28
    {2.0f, 0.0f, 0.45f},  // 29
    {2.0f, -1.12f, 0.45f},  // 30
    {1.12f, -2.0f, 0.45f},  // 31
    {0.0f, -2.0f, 0.45f},  // 32
    {1.5f, 0.0f, 0.225f},  // 33
    {1.5f, -0.84f, 0.225f},  // 34
    {0.84f, -1.5f, 0.225f},  // 35
    {0.0f, -1.5f, 0.225f},  // 36
    {1.5f, 0.0f, 0.15f},  // 37
    {1.5f, -0.84f, 0.15f},  // 38
    {0.84f, -1.5f, 0.15f},  // 39
    {0.0f, -1.5f, 0.15f},  // 40
    {-1.6f, 0.0f, 2.025f},  // 41
    {-1.6f, -0.3f, 2.025f},  // 42
    {-1.5f, -0.3f, 2.25f},  // 43
    {-1.5f, 0.0f, 2.25f},  // 44
    {-2.3f, 0.0f, 2.025f},  // 45
    {-2.3f, -0.3f, 2.025f},  // 46
    {-2.5f, -0.3f, 2.25f},  // 47
    {-2.5f, 0.0f, 2.25f},  // 48
    {-2.7f, 0.0f, 2.025f},  // 49
    {-2.7f, -0.3f, 2.025f},  // 50
    {-3.0f, -0.3f, 2.25f},  // 51
    {-3.0f, 0.0f, 2.25f},  // 52
    {-2.7f, 0.0f, 1.8f},  // 53
    {-2.7f, -0.3f, 1.8f},  // 54
    {-3.0f, -0.3f, 1.8f},  // 55
    {-3.0f, 0.0f, 1.8f},  // 56
    {-2.7f, 0.0f, 1.575f},  // 57
    {-2.7f, -0.3f, 1.575f},  // 58
    {-3.0f, -0.3f, 1.35f},  // 59
    {-3.0f, 0.0f, 1.35f},  // 60
    {-2.5f, 0.0f, 1.125f},  // 61
    {-2.5f, -0.3f, 1.125f},  // 62
    {-2.65f, -0.3f, 0.9375f},  // 63
    {-2.65f, 0.0f, 0.9375f},  // 64
    {-2.0f, -0.3f, 0.9f},  // 65
    {-1.9f, -0.3f, 0.6f},  // 66
    {-1.9f, 0.0f, 0.6f},  // 67
    {1.7f, 0.0f, 1.425f},  // 68
    {1.7f, -0.66f, 1.425f},  // 69
    {1.7f, -0.66f, 0.6f},  // 70
    {1.7f, 0.0f, 0.6f},  // 71
    {2.6f, 0.0f, 1.425f},  // 72
    {2.6f, -0.66f, 1.425f},  // 73
    {3.1f, -0.66f, 0.825f},  // 74
    {3.1f, 0.0f, 0.825f},  // 75
    {2.3f, 0.0f, 2.1f},  // 76
    {2.3f, -0.25f, 2.1f},  // 77
    {2.4f, -0.25f, 2.025f},  // 78
    {2.4f, 0.0f, 2.025f},  // 79
    {2.7f, 0.0f, 2.4f},  // 80
    {2.7f, -0.25f, 2.4f},  // 81
    {3.3f, -0.25f, 2.4f},  // 82
    {3.3f, 0.0f, 2.4f},  // 83
    {2.8f, 0.0f, 2.475f},  // 84
    {2.8f, -0.25f, 2.475f},  // 85
    {3.525f, -0.25f, 2.49375f},  // 86
    {3.525f, 0.0f, 2.49375f},  // 87
    {2.9f, 0.0f, 2.475f},  // 88
    {2.9f, -0.15f, 2.475f},  // 89
    {3.45f, -0.15f, 2.5125f},  // 90
    {3.45f, 0.0f, 2.5125f},  // 91
    {2.8f, 0.0f, 2.4f},  // 92
    {2.8f, -0.15f, 2.4f},  // 93
    {3.2f, -0.15f, 2.4f},  // 94
    {3.2f, 0.0f, 2.4f},  // 95
    {0.0f, 0.0f, 3.15f},  // 96
    {0.8f, 0.0f, 3.15f},  // 97
    {0.8f, -0.45f, 3.15f},  // 98
    {0.45f, -0.8f, 3.15f},  // 99
    {0.0f, -0.8f, 3.15f},  // 100
    {0.0f, 0.0f, 2.85f},  // 101
    {1.4f, 0.0f, 2.4f},  // 102
    {1.4f, -0.784f, 2.4f},  // 103
    {0.784f, -1.4f, 2.4f},  // 104
    {0.0f, -1.4f, 2.4f},  // 105
    {0.4f, 0.0f, 2.55f},  // 106
    {0.4f, -0.224f, 2.55f},  // 107
    {0.224f, -0.4f, 2.55f},  // 108
    {0.0f, -0.4f, 2.55f},  // 109
    {1.3f, 0.0f, 2.55f},  // 110
    {1.3f, -0.728f, 2.55f},  // 111
    {0.728f, -1.3f, 2.55f},  // 112
    {0.0f, -1.3f, 2.55f},  // 113
    {1.3f, 0.0f, 2.4f},  // 114
    {1.3f, -0.728f, 2.4f},  // 115
    {0.728f, -1.3f, 2.4f},  // 116
    {0.0f, -1.3f, 2.4f},  // 117
    {0.0f, 0.0f, 0.0f},  // 118
    {1.425f, -0.798f, 0.0f},  // 119
    {1.5f, 0.0f, 0.075f},  // 120
    {1.425f, 0.0f, 0.0f},  // 121
    {0.798f, -1.425f, 0.0f},  // 122
    {0.0f, -1.5f, 0.075f},  // 123
    {0.0f, -1.425f, 0.0f},  // 124
    {1.5f, -0.84f, 0.075f},  // 125
    {0.84f, -1.5f, 0.075f},  // 126
};
// clang-format on

// Draws a cube of edge length size centred on the origin, each face as its own group of the given mode.
void drawBox(GLfloat size, GLenum type) {
    GLfloat v[8][3];
    const GLfloat lo = size * -0.5f;
    const GLfloat hi = size * 0.5f;
    v[0][0] = v[1][0] = v[2][0] = v[3][0] = lo;
    v[4][0] = v[5][0] = v[6][0] = v[7][0] = hi;
    v[0][1] = v[1][1] = v[4][1] = v[5][1] = lo;
    v[2][1] = v[3][1] = v[6][1] = v[7][1] = hi;
    v[0][2] = v[3][2] = v[4][2] = v[7][2] = lo;
    v[1][2] = v[2][2] = v[5][2] = v[6][2] = hi;

    for (int i = 5; i >= 0; --i) {
        glBegin(type);
        glNormal3fv(n[i]);
        glTexCoord2f(0.0f, 0.0f);
        glVertex3fv(v[faces[i][0]]);
        glTexCoord2f(0.0f, 1.0f);
        glVertex3fv(v[faces[i][1]]);
        glTexCoord2f(1.0f, 1.0f);
        glVertex3fv(v[faces[i][2]]);
        glTexCoord2f(1.0f, 0.0f);
        glVertex3fv(v[faces[i][3]]);
        glEnd();
    }
}

// Loads one 4 x 4 vertex net into the evaluator and evaluates it as a grid x grid mesh.
void drawPatch(const GLfloat net[4][4][3], GLint grid, GLenum type) {
    glMap2f(GL_MAP2_VERTEX_3, 0.0f, 1.0f, 3, 4, 0.0f, 1.0f, 12, 4, &net[0][0][0]);
    glEvalMesh2(type, 0, grid, 0, grid);
}

// Draws the teapot: each body patch four times (itself, its mirror images in x = 0 and y = 0,
// and its half turn about the axis), each handle and spout patch twice (itself and its mirror in y = 0).
void teapot(GLint grid, GLdouble scale, GLenum type) {
    GLfloat p[4][4][3];
    GLfloat q[4][4][3];
    GLfloat r[4][4][3];
    GLfloat s[4][4][3];

    glPushAttrib(GL_ENABLE_BIT | GL_EVAL_BIT);
    glEnable(GL_AUTO_NORMAL);
    glEnable(GL_NORMALIZE);
    glEnable(GL_MAP2_VERTEX_3);
    glEnable(GL_MAP2_TEXTURE_COORD_2);
    glPushMatrix();
    glRotatef(270.0f, 1.0f, 0.0f, 0.0f);
    const GLfloat f = static_cast<GLfloat>(0.5 * scale);
    glScalef(f, f, f);
    glTranslatef(0.0f, 0.0f, -1.5f);
    for (int i = 0; i < 10; ++i) {
        for (int j = 0; j < 4; ++j) {
            for (int k = 0; k < 4; ++k) {
                // The mirror images take each row's columns in reverse, so every copy keeps
                // the source patch's orientation and its automatic normals face outwards.
                const GLfloat* a = cpdata[patchdata[i][j * 4 + k]];
                const GLfloat* b = cpdata[patchdata[i][j * 4 + (3 - k)]];
                for (int l = 0; l < 3; ++l) {
                    p[j][k][l] = a[l];
                    q[j][k][l] = b[l];
                    r[j][k][l] = b[l];
                    s[j][k][l] = a[l];
                }
                q[j][k][1] = -q[j][k][1];
                r[j][k][0] = -r[j][k][0];
                s[j][k][0] = -s[j][k][0];
                s[j][k][1] = -s[j][k][1];
            }
        }
        glMap2f(GL_MAP2_TEXTURE_COORD_2, 0.0f, 1.0f, 2, 2, 0.0f, 1.0f, 4, 2, &tex[0][0][0]);
        glMap2f(GL_MAP2_VERTEX_3, 0.0f, 1.0f, 3, 4, 0.0f, 1.0f, 12, 4, &p[0][0][0]);
        glMapGrid2f(grid, 0.0f, 1.0f, grid, 0.0f, 1.0f);
        glEvalMesh2(type, 0, grid, 0, grid);
        drawPatch(q, grid, type);
        if (i < 6) {
            drawPatch(r, grid, type);
            drawPatch(s, grid, type);
        }
    }
    glPopMatrix();
    glPopAttrib();
}

}  // namespace

// A solid cube of edge length size centred on the origin.
void glutSolidCube(double size) {
    drawBox(static_cast<GLfloat>(size), GL_QUADS);
}

// The twelve edges of a cube of edge length size centred on the origin, each face as a closed outline.
void glutWireCube(double size) {
    drawBox(static_cast<GLfloat>(size), GL_LINE_LOOP);
}

// A filled teapot of the given size standing on its base along +y.
void glutSolidTeapot(double size) {
    teapot(14, size, GL_FILL);
}

// A wire-frame teapot of the given size standing on its base along +y.
void glutWireTeapot(double size) {
    teapot(10, size, GL_LINE);
}
