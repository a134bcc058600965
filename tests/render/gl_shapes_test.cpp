// gl_shapes_test.cpp - the solid teapot and cube drawn lit on a real OpenGL context; the pixels are
// checked against the shapes' own geometry and saved as pictures (gl_shapes_*.ppm in the working folder).
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "glx_window.h"
#include "shapes.h"

namespace {

const int kWidth = 640;
const int kHeight = 480;
// The orthographic view: 100 pixels to a unit, origin in the middle of the window.
const double kPixelsPerUnit = 100.0;
// The teapot's size and where its axis stands.
const double kSize = 1.5;
const double kTeapotX = -0.7;
// Half the size: one model unit of the teapot's patch data in scene units.
const double kModelUnit = 0.5 * kSize;

// A rendered frame, bottom row first.
struct Frame {
    std::vector<unsigned char> rgba;
    // Brightness of the pixel at column x, row y (0 outside the window).
    int at(int x, int y) const {
        if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) {
            return 0;
        }
        const unsigned char* p = &rgba[(std::size_t(y) * kWidth + std::size_t(x)) * 4];
        return std::max(p[0], std::max(p[1], p[2]));
    }
};

// Pixel column and row of a scene position.
int column(double x) {
    return int(std::floor(kWidth / 2 + x * kPixelsPerUnit));
}
int row(double y) {
    return int(std::floor(kHeight / 2 + y * kPixelsPerUnit));
}

// Scene height of a teapot model height z (model units, standing on z = 0).
double sceneY(double z) {
    return kModelUnit * (z - 1.5);
}

// Radius of the body's outline at model height z (0.15 to 2.4), from the published profile: the
// upper body's curve from the rim down to the widest circle, then the lower body's down to the base.
double bodyRadius(double z) {
    // clang-format off
    const double profile[2][4][2] = {
        {{1.5, 2.4}, {1.75, 1.875}, {2.0, 1.35}, {2.0, 0.9}},
        {{2.0, 0.9}, {2.0, 0.45}, {1.5, 0.225}, {1.5, 0.15}},
    };
    // clang-format on
    const double(*c)[2] = profile[z >= 0.9 ? 0 : 1];
    // The height falls steadily along each curve: bisect for the parameter.
    double lo = 0;
    double hi = 1;
    double r = 0;
    for (int i = 0; i < 60; ++i) {
        const double t = (lo + hi) / 2;
        const double s = 1 - t;
        const double w[4] = {s * s * s, 3 * t * s * s, 3 * t * t * s, t * t * t};
        const double h = w[0] * c[0][1] + w[1] * c[1][1] + w[2] * c[2][1] + w[3] * c[3][1];
        r = w[0] * c[0][0] + w[1] * c[1][0] + w[2] * c[2][0] + w[3] * c[3][0];
        (h > z ? lo : hi) = t;
    }
    return r;
}

class ShapesRenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A loaded X server now and then refuses a connection for a moment: try a few times.
        bool available = false;
        for (int attempt = 0; attempt < 5 && !available; ++attempt) {
            available = glxwin::displayAvailable();
        }
        if (!available) {
            if (glxwin::displayRequired()) {
                FAIL() << glxwin::displayMissing() << ", and KVR_REQUIRE_DISPLAY=1";
            }
            GTEST_SKIP() << glxwin::displayMissing();
        }
        bool opened = false;
        for (int attempt = 0; attempt < 5 && !opened; ++attempt) {
            opened = glxwin::open(kWidth, kHeight);
        }
        ASSERT_TRUE(opened);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-kWidth / 2 / kPixelsPerUnit, kWidth / 2 / kPixelsPerUnit, -kHeight / 2 / kPixelsPerUnit,
                kHeight / 2 / kPixelsPerUnit, -10, 10);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClearColor(0, 0, 0, 1);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        // A directional light from the viewer's side, a little from the upper right.
        const GLfloat position[4] = {0.2f, 0.4f, 1.0f, 0.0f};
        glLightfv(GL_LIGHT0, GL_POSITION, position);
        const GLfloat diffuse[4] = {0.35f, 0.55f, 1.0f, 1.0f};
        glMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
    }
    void TearDown() override { glxwin::close(); }

    // Draws the solid teapot turned by angle degrees about the axis, and two cubes beside it.
    Frame draw(float angle, float ax, float ay, float az, const std::string& picture) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glPushMatrix();
        glTranslated(kTeapotX, 0, 0);
        glRotatef(angle, ax, ay, az);
        glutSolidTeapot(kSize);
        glPopMatrix();
        // A cube facing the viewer, and one turned to show three faces.
        glPushMatrix();
        glTranslated(2.6, -1.0, 0);
        glutSolidCube(0.8);
        glPopMatrix();
        glPushMatrix();
        glTranslated(2.6, 1.2, 0);
        glRotatef(20, 1, 0, 0);
        glRotatef(-35, 0, 1, 0);
        glutSolidCube(0.6);
        glPopMatrix();
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        Frame f;
        f.rgba = glxwin::readPixels(0, 0, kWidth, kHeight);
        glxwin::writePpm("gl_shapes_" + picture + ".ppm", f.rgba, kWidth, kHeight);
        glxwin::swap();
        return f;
    }

    // Every pixel of the region (scene units, within the rectangle) is drawn and lit from the front: no
    // holes, no cracks, no patch turned inside out (which would show only the dim ambient colour).
    template <typename Region>
    void expectFilledAndLit(const Frame& f, double x0, double x1, double y0, double y1, Region inside,
                            const char* what) {
        int holes = 0;
        int dark = 0;
        int pixels = 0;
        for (int y = row(y0); y <= row(y1); ++y) {
            for (int x = column(x0); x <= column(x1); ++x) {
                if (!inside((x + 0.5 - kWidth / 2) / kPixelsPerUnit,
                            (y + 0.5 - kHeight / 2) / kPixelsPerUnit)) {
                    continue;
                }
                const int b = f.at(x, y);
                ++pixels;
                holes += (b == 0) ? 1 : 0;
                dark += (b > 0 && b < 40) ? 1 : 0;
            }
        }
        EXPECT_GT(pixels, 100) << what;
        EXPECT_EQ(holes, 0) << what;
        EXPECT_EQ(dark, 0) << what;
    }

    // Across the rectangle the shading changes gradually, as on a smooth surface: no crease or dent.
    void expectSmooth(const Frame& f, double x0, double x1, double y0, double y1, const char* what) {
        int steps = 0;
        for (int y = row(y0) + 1; y <= row(y1); ++y) {
            for (int x = column(x0) + 1; x <= column(x1); ++x) {
                steps += (std::abs(f.at(x, y) - f.at(x - 1, y)) > 12) ? 1 : 0;
                steps += (std::abs(f.at(x, y) - f.at(x, y - 1)) > 12) ? 1 : 0;
            }
        }
        EXPECT_EQ(steps, 0) << what;
    }

    // The first and last rows and columns holding anything drawn, within the columns [x0, x1].
    static void extent(const Frame& f, int x0, int x1, int* bottom, int* top, int* left, int* right) {
        *bottom = kHeight;
        *top = -1;
        *left = kWidth;
        *right = -1;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = x0; x <= x1; ++x) {
                if (f.at(x, y) > 0) {
                    *bottom = std::min(*bottom, y);
                    *top = std::max(*top, y);
                    *left = std::min(*left, x);
                    *right = std::max(*right, x);
                }
            }
        }
    }

    // The side view: the outline spans the teapot's height, handle to spout, and the body, lid and
    // knob are whole and lit. mirrored: seen from the back, spout to the left.
    void checkSideView(const Frame& f, bool mirrored) {
        int bottom = 0;
        int top = 0;
        int left = 0;
        int right = 0;
        extent(f, 0, column(2.1), &bottom, &top, &left, &right);
        EXPECT_NEAR(bottom, row(-0.75 * kSize), 2);
        EXPECT_NEAR(top, row(0.825 * kSize), 2);
        // The handle reaches 3 model units from the axis, the spout's lip between 3.2 and 3.525.
        const int handle = mirrored ? right : left;
        const int spout = mirrored ? left : right;
        const double side = mirrored ? -1 : 1;
        EXPECT_NEAR(handle, column(kTeapotX - side * 3 * kModelUnit), 2);
        EXPECT_GE(std::abs(spout - column(kTeapotX)), int(3.2 * kModelUnit * kPixelsPerUnit) - 2);
        EXPECT_LE(std::abs(spout - column(kTeapotX)), int(3.525 * kModelUnit * kPixelsPerUnit) + 2);
        // The body faces the light above z = 0.5; the knob is 0.2 wide between its neck and its top.
        const auto all = [](double, double) { return true; };
        const double b0 = kTeapotX - 1.2 * kModelUnit;
        const double b1 = kTeapotX + 1.2 * kModelUnit;
        expectFilledAndLit(f, b0, b1, sceneY(0.5), sceneY(2.3), all, "body");
        expectSmooth(f, b0, b1, sceneY(0.5), sceneY(2.3), "body");
        const double k0 = kTeapotX - 0.15 * kModelUnit;
        const double k1 = kTeapotX + 0.15 * kModelUnit;
        expectFilledAndLit(f, k0, k1, sceneY(2.75), sceneY(3.1), all, "knob");
        // Each row of the body is drawn without a gap from the axis out to the body's outline on both
        // sides; where neither handle nor spout is beside the body, the drawing ends there.
        for (double z = 0.2; z < 2.35; z += 0.05) {
            const int y = row(sceneY(z));
            const int axis = column(kTeapotX);
            const double radius = bodyRadius(z) * kModelUnit * kPixelsPerUnit;
            int left = axis;
            while (left > 0 && f.at(left - 1, y) > 0) {
                --left;
            }
            int right = axis;
            while (right < kWidth - 1 && f.at(right + 1, y) > 0) {
                ++right;
            }
            EXPECT_GE(axis - left, radius - 2) << "z = " << z;
            EXPECT_GE(right - axis, radius - 2) << "z = " << z;
            if (z > 1.55 && z < 1.95) {
                EXPECT_LE(axis - left, radius + 2) << "z = " << z;
                EXPECT_LE(right - axis, radius + 2) << "z = " << z;
            }
        }
    }

    // The cube facing the viewer: a square of its size, one flat shade.
    void checkCube(const Frame& f) {
        // Its outline, along the row and the column through its centre.
        const int y = row(-1.0);
        const int x = column(2.6);
        int left = x;
        while (left > 0 && f.at(left - 1, y) > 0) {
            --left;
        }
        int right = x;
        while (right < kWidth - 1 && f.at(right + 1, y) > 0) {
            ++right;
        }
        int bottom = y;
        while (bottom > 0 && f.at(x, bottom - 1) > 0) {
            --bottom;
        }
        int top = y;
        while (top < kHeight - 1 && f.at(x, top + 1) > 0) {
            ++top;
        }
        EXPECT_NEAR(left, column(2.2), 1);
        EXPECT_NEAR(right, column(3.0) - 1, 1);
        EXPECT_NEAR(bottom, row(-1.4), 1);
        EXPECT_NEAR(top, row(-0.6) - 1, 1);
        const int shade = f.at(column(2.6), row(-1.0));
        EXPECT_GT(shade, 60);
        for (int y = row(-1.35); y <= row(-0.65); ++y) {
            for (int x = column(2.25); x <= column(2.95); ++x) {
                ASSERT_NEAR(f.at(x, y), shade, 1) << x << ", " << y;
            }
        }
        // The turned cube shows three faces in three different shades.
        const int front = f.at(column(2.45), row(1.1));
        const int side = f.at(column(2.8), row(1.1));
        const int upper = f.at(column(2.6), row(1.45));
        EXPECT_GT(std::min(front, std::min(side, upper)), 0);
        EXPECT_NE(front, side);
        EXPECT_NE(front, upper);
        EXPECT_NE(side, upper);
    }
};

// Seen from the front (model y < 0, spout to the right) and from the back, which between them show
// all 32 patches' outsides.
TEST_F(ShapesRenderTest, SideViewsShowAWholeLitTeapotAndCubes) {
    Frame front = draw(0, 0, 1, 0, "front");
    checkSideView(front, false);
    checkCube(front);
    Frame back = draw(180, 0, 1, 0, "back");
    checkSideView(back, true);
}

// From above the lid, from below the bottom: whole rings of lit surface. (The knob's top and the
// bottom's centre, where a patch edge collapses to a point, are left out: the evaluator finds no
// normal there.)
TEST_F(ShapesRenderTest, TopAndBottomViewsShowWholeLitRings) {
    const auto ring = [](double r0, double r1) {
        return [r0, r1](double x, double y) {
            const double r = std::hypot(x - kTeapotX, y) / kModelUnit;
            return r >= r0 && r <= r1;
        };
    };
    const double x0 = kTeapotX - 1.5 * kModelUnit;
    const double x1 = kTeapotX + 1.5 * kModelUnit;
    const double y0 = -1.5 * kModelUnit;
    const double y1 = 1.5 * kModelUnit;
    Frame top = draw(90, 1, 0, 0, "top");
    expectFilledAndLit(top, x0, x1, y0, y1, ring(0.45, 1.15), "lid");
    Frame bottom = draw(-90, 1, 0, 0, "bottom");
    expectFilledAndLit(bottom, x0, x1, y0, y1, ring(0.35, 1.3), "bottom");
}

// A texture of four colours in its four quarters, nearest texels: every cube face shows it whole,
// and from outside each face the s and t axes run along that face's own fixed directions (a face
// whose corners start one place later shows it turned a quarter; the wood on the floor cubes and
// the table top would lie across).
TEST_F(ShapesRenderTest, EveryCubeFaceShowsTheTextureTheRightWayRound) {
    struct Orientation {
        double normal[3], s[3], t[3];
    };
    // clang-format off
    const Orientation faces[6] = {
        {{-1, 0, 0}, {0, 1, 0}, {0, 0, 1}},  {{0, 1, 0}, {1, 0, 0}, {0, 0, 1}},
        {{1, 0, 0}, {0, -1, 0}, {0, 0, 1}},  {{0, -1, 0}, {-1, 0, 0}, {0, 0, 1}},
        {{0, 0, 1}, {-1, 0, 0}, {0, 1, 0}},  {{0, 0, -1}, {-1, 0, 0}, {0, -1, 0}},
    };
    // Texel (column s, row t): red and green along s, blue and white above them along t.
    const unsigned char texels[2][2][4] = {{{255, 0, 0, 255}, {0, 255, 0, 255}},
                                           {{0, 0, 255, 255}, {255, 255, 255, 255}}};
    // clang-format on
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    for (int i = 0; i < 6; ++i) {
        const Orientation& f = faces[i];
        SCOPED_TRACE("face " + std::to_string(i) + " (normal " + std::to_string(int(f.normal[0])) + " " +
                     std::to_string(int(f.normal[1])) + " " + std::to_string(int(f.normal[2])) + ")");
        // Seen from outside along its normal, another axis upwards.
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glLoadIdentity();
        const bool vertical = f.normal[1] != 0;
        gluLookAt(5 * f.normal[0], 5 * f.normal[1], 5 * f.normal[2], 0, 0, 0, 0, vertical ? 0 : 1,
                  vertical ? 1 : 0);
        glutSolidCube(2.0);
        ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        GLdouble model[16], projection[16];
        GLint viewport[4];
        glGetDoublev(GL_MODELVIEW_MATRIX, model);
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        glGetIntegerv(GL_VIEWPORT, viewport);
        std::vector<unsigned char> rgba = glxwin::readPixels(0, 0, kWidth, kHeight);
        glxwin::writePpm("gl_shapes_texture_face" + std::to_string(i) + ".ppm", rgba, kWidth, kHeight);
        // The middle of each quarter of the face, where the point of texture coordinate (s, t) is.
        for (int ts = 0; ts < 2; ++ts) {
            for (int tt = 0; tt < 2; ++tt) {
                const double a = ts == 0 ? -0.5 : 0.5, b = tt == 0 ? -0.5 : 0.5;
                GLdouble x = 0, y = 0, z = 0;
                ASSERT_TRUE(gluProject(
                    f.normal[0] + a * f.s[0] + b * f.t[0], f.normal[1] + a * f.s[1] + b * f.t[1],
                    f.normal[2] + a * f.s[2] + b * f.t[2], model, projection, viewport, &x, &y, &z));
                const unsigned char* p = &rgba[(std::size_t(y) * kWidth + std::size_t(x)) * 4];
                const unsigned char* want = texels[tt][ts];
                EXPECT_TRUE(p[0] == want[0] && p[1] == want[1] && p[2] == want[2])
                    << "s " << (ts == 0 ? "low" : "high") << ", t " << (tt == 0 ? "low" : "high") << " at "
                    << int(x) << ", " << int(y) << ": " << int(p[0]) << " " << int(p[1]) << " " << int(p[2]);
            }
        }
    }
    glDisable(GL_TEXTURE_2D);
    glDeleteTextures(1, &texture);
}

}  // namespace
