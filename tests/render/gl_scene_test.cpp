// gl_scene_test.cpp - the scene drawn by real OpenGL (Mesa under Xvfb) through the
// application's own set-up and frame routine; pixels are read back from the back buffer
// at positions projected from the scene geometry with the camera.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "glx_window.h"
#include "kelvor.h"
#include "kvr_window.h"

namespace {

const int kWidth = 640;
const int kHeight = 480;
const double kPi = 3.14159265358979323846;

struct Vec {
    double x, y, z;
};

struct Pixel {
    double r, g, b;
};

// Where a scene point lands for the current camera: window pixel and eye-space depth.
struct Projected {
    double px, py;  // window coordinates, origin bottom-left
    double depth;   // distance along the view axis
};

// Rotation of v by `degrees` about a unit axis, right-handed as glRotated.
Vec rotate(Vec v, double degrees, Vec a) {
    double c = std::cos(degrees * kPi / 180.0);
    double s = std::sin(degrees * kPi / 180.0);
    double d = a.x * v.x + a.y * v.y + a.z * v.z;
    Vec cross = {a.y * v.z - a.z * v.y, a.z * v.x - a.x * v.z, a.x * v.y - a.y * v.x};
    return {v.x * c + cross.x * s + a.x * d * (1 - c), v.y * c + cross.y * s + a.y * d * (1 - c),
            v.z * c + cross.z * s + a.z * d * (1 - c)};
}

// The camera transform of a frame applied to a scene point: eye coordinates.
Vec toEye(Vec p) {
    Vec v = {p.x - eyeX, p.y - eyeY, p.z - eyeZ};
    v = rotate(v, yaw, {0, 1, 0});
    return rotate(v, pitch, {1, 0, 0});
}

// The frustum of a 640 by 480 window applied to an eye-space point.
Projected project(Vec p) {
    Vec e = toEye(p);
    double aspect = double(kWidth) / double(kHeight);
    double xn = (2.0 / aspect) * e.x / -e.z;
    double yn = 2.0 * e.y / -e.z;
    return {(xn + 1) * 0.5 * kWidth, (yn + 1) * 0.5 * kHeight, -e.z};
}

// The black exponential fog's factor at an eye-space depth.
double fog(double depth) {
    return std::exp(-0.05 * depth);
}

// The mean colour of the 3 by 3 pixels around a window position.
Pixel pixelAt(double px, double py) {
    int x = int(std::floor(px)) - 1;
    int y = int(std::floor(py)) - 1;
    std::vector<unsigned char> p = glxwin::readPixels(x, y, 3, 3);
    Pixel sum = {0, 0, 0};
    for (int i = 0; i < 9; ++i) {
        sum.r += p[std::size_t(i) * 4] / 9.0;
        sum.g += p[std::size_t(i) * 4 + 1] / 9.0;
        sum.b += p[std::size_t(i) * 4 + 2] / 9.0;
    }
    return sum;
}

std::string show(const Pixel& p) {
    return "(" + std::to_string(p.r) + ", " + std::to_string(p.g) + ", " + std::to_string(p.b) + ")";
}

// Places the camera and draws one frame.
void look(double x, double y, double z, double yawDegrees, double pitchDegrees) {
    eyeX = x;
    eyeY = y;
    eyeZ = z;
    yaw = yawDegrees;
    pitch = pitchDegrees;
    onDraw();
}

// Points the camera at a scene point from a given eye position and draws.
void lookAt(Vec eye, Vec target) {
    Vec f = {target.x - eye.x, target.y - eye.y, target.z - eye.z};
    double horizontal = std::sqrt(f.x * f.x + f.z * f.z);
    double yawDegrees = std::atan2(f.x, -f.z) * 180.0 / kPi;
    double pitchDegrees = std::atan2(-f.y, horizontal) * 180.0 / kPi;
    look(eye.x, eye.y, eye.z, yawDegrees, pitchDegrees);
}

class GlSceneTest : public ::testing::Test {
protected:
    static bool open_;

    static void SetUpTestSuite() {
        open_ = false;
        if (!glxwin::displayAvailable() || !glxwin::open(kWidth, kHeight)) {
            return;
        }
        open_ = true;
        doneInit = 0;
        onInit();
        onResize(kWidth, kHeight);
    }
    static void TearDownTestSuite() {
        if (open_) {
            glxwin::close();
        }
        doneInit = 0;
        sceneId = 0;
        open_ = false;
    }
    void SetUp() override {
        if (!open_) {
            if (glxwin::displayRequired()) {
                FAIL() << "no display or no GLX visual, and KVR_REQUIRE_DISPLAY=1";
            }
            GTEST_SKIP() << glxwin::displayMissing();
        }
        jump = 0.1;
    }
};
bool GlSceneTest::open_ = false;

// The set-up made real objects, and after a frame blending and texturing are off and
// lighting is on, as before the scene list ran.
TEST_F(GlSceneTest, SetUpObjectsAndStateAfterTheSceneList) {
    EXPECT_EQ(doneInit, 1);
    EXPECT_NE(sceneId, 0u);
    EXPECT_TRUE(glIsList(sceneId));
    EXPECT_NE(woodTextureRef, 0u);
    EXPECT_NE(castleHillTextureRef, 0u);
    EXPECT_NE(woodTextureRef, castleHillTextureRef);
    look(10.6, 3.0, 6.6, -40.3, 3.3);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_FOG));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    GLint depth = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// Both light markers are neutral white darkened only by the fog, whatever the lights do.
TEST_F(GlSceneTest, LightMarkersArePureWhite) {
    const Vec lights[2] = {{0, 5, 0}, {8, 5, 0}};
    for (const Vec& l : lights) {
        SCOPED_TRACE("marker at x " + std::to_string(l.x));
        look(l.x, l.y, l.z + 2.0, 0.0, 0.0);
        Projected p = project({l.x, l.y, l.z + 0.05});
        EXPECT_NEAR(p.px, kWidth / 2.0, 0.01);
        Pixel c = pixelAt(p.px, p.py);
        double expected = 255.0 * fog(p.depth);
        EXPECT_NEAR(c.r, expected, 3.0) << show(c);
        EXPECT_NEAR(c.g, expected, 3.0) << show(c);
        EXPECT_NEAR(c.b, expected, 3.0) << show(c);
        // Just beside the 0.1-wide cube: the black background.
        Pixel beside = pixelAt(p.px + 0.1 / p.depth * kHeight, p.py);
        EXPECT_LT(beside.r + beside.g + beside.b, 3.0) << show(beside);
    }
}

// The table top shows the wood's texel colours, fog aside, seen from above and from below.
TEST_F(GlSceneTest, TableTopShowsWoodFromEitherSide) {
    struct Case {
        const char* name;
        double eyeY, pitchDegrees, surfaceY;
    };
    const Case cases[] = {{"from above", 4.0, 90.0, 2.05}, {"from below", 0.5, -90.0, 1.95}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        look(-1.6, c.eyeY, -1.1, 0.0, c.pitchDegrees);
        Projected p = project({-1.6, c.surfaceY, -1.1});
        EXPECT_NEAR(p.px, kWidth / 2.0, 0.5);
        EXPECT_NEAR(p.py, kHeight / 2.0, 0.5);
        double f = fog(p.depth);
        // Several spots around the centre, all within the wood's colour range.
        for (int k = -2; k <= 2; ++k) {
            Pixel px = pixelAt(p.px + 40 * k, p.py + 25 * k);
            Pixel texel = {px.r / f, px.g / f, px.b / f};
            SCOPED_TRACE("spot " + std::to_string(k) + " " + show(texel));
            EXPECT_GE(texel.r, 163 - 6.0);
            EXPECT_LE(texel.r, 209 + 6.0);
            EXPECT_GE(texel.g, 117 - 6.0);
            EXPECT_LE(texel.g, 176 + 6.0);
            EXPECT_GE(texel.b, 33 - 6.0);
            EXPECT_LE(texel.b, 66 + 6.0);
        }
    }
}

// The picture stands upright: grass and stone along its bottom edge, blue sky along its top.
TEST_F(GlSceneTest, PictureIsUpright) {
    // The picture's placement, applied to a point of its quad.
    auto onPicture = [](double x, double y) {
        Vec v = {0.26 * x, 0.45 * y, 0};
        v = rotate(v, -20, {1, 0, 0});
        v = rotate(v, 30, {0, 1, 0});
        return Vec{v.x + 1.51, v.y + 2.52, v.z - 0.78};
    };
    Vec centre = onPicture(0, 0);
    Vec normal = rotate(rotate({0, 0, 1}, -20, {1, 0, 0}), 30, {0, 1, 0});
    lookAt({centre.x + 1.6 * normal.x, centre.y + 1.6 * normal.y, centre.z + 1.6 * normal.z}, centre);

    Projected bottom = project(onPicture(0, -0.9));
    Projected top = project(onPicture(0, 0.9));
    ASSERT_GT(top.py, bottom.py + 100) << "the picture's top edge should be above its bottom edge on screen";
    Pixel low = {0, 0, 0};
    Pixel high = {0, 0, 0};
    for (int k = -3; k <= 3; ++k) {
        Projected b = project(onPicture(0.25 * k, -0.93));
        Projected t = project(onPicture(0.25 * k, 0.93));
        Pixel pb = pixelAt(b.px, b.py);
        Pixel pt = pixelAt(t.px, t.py);
        low = {low.r + pb.r / 7, low.g + pb.g / 7, low.b + pb.b / 7};
        high = {high.r + pt.r / 7, high.g + pt.g / 7, high.b + pt.b / 7};
    }
    // Sky: blue well above red. Grass and stone: blue below green.
    EXPECT_GT(high.b - high.r, 50.0) << "top " << show(high);
    EXPECT_LT(low.b, low.g) << "bottom " << show(low);
    EXPECT_GT((high.b - high.r) - (low.b - low.r), 80.0) << show(high) << " " << show(low);
}

// Far floor fades to black, not grey: with the fog the floor is the unfogged colour times
// e^(-0.05 depth), and the background stays black.
TEST_F(GlSceneTest, FarFloorFadesToBlack) {
    const Vec near = {-4, -0.01, 4};
    const Vec far = {-4, -0.01, -7};
    const Vec eye = {-4, 3.0, 14};
    lookAt(eye, {-4, -0.01, -2});
    glDisable(GL_FOG);
    onDraw();
    Projected pn = project(near);
    Projected pf = project(far);
    Pixel clearNear = pixelAt(pn.px, pn.py);
    Pixel clearFar = pixelAt(pf.px, pf.py);
    glEnable(GL_FOG);
    onDraw();
    Pixel foggedNear = pixelAt(pn.px, pn.py);
    Pixel foggedFar = pixelAt(pf.px, pf.py);
    Pixel sky = pixelAt(kWidth / 2.0, kHeight - 5.0);

    ASSERT_GT(pf.depth, 15.0);
    ASSERT_GT(clearFar.r, 20.0) << "the far floor should be lit " << show(clearFar);
    const struct {
        Pixel clear, fogged;
        double depth;
    } cases[] = {{clearNear, foggedNear, pn.depth}, {clearFar, foggedFar, pf.depth}};
    for (const auto& c : cases) {
        SCOPED_TRACE("depth " + std::to_string(c.depth) + " clear " + show(c.clear) + " fogged " +
                     show(c.fogged));
        double f = fog(c.depth);
        EXPECT_NEAR(c.fogged.r, c.clear.r * f, 3.0);
        EXPECT_NEAR(c.fogged.g, c.clear.g * f, 3.0);
        EXPECT_NEAR(c.fogged.b, c.clear.b * f, 3.0);
    }
    EXPECT_LT(foggedFar.r, foggedNear.r);
    EXPECT_EQ(sky.r + sky.g + sky.b, 0.0) << show(sky);
}

// The translucent surface is red, and the floor behind it shows through at 40 %.
TEST_F(GlSceneTest, TranslucentSurfaceShowsTheFloorThrough) {
    // The surface's centre: x and y run evenly with the parameters, z is the weighted net.
    const double weights[4] = {1.0 / 8, 3.0 / 8, 3.0 / 8, 1.0 / 8};
    const double netZ[4][4] = {{4, 2, -1, 2}, {1, 3, 0, -1}, {4, 0, 3, 4}, {-2, -2, 0, -1}};
    double z = 0;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            z += weights[i] * weights[j] * netZ[i][j];
        }
    }
    const Vec centre = {8.0, 2.45, z};
    // An eye 7 units above the floor, placed so that the line of sight through the centre
    // meets the floor in the middle of a cube's top, not in a gap.
    const double beyond = (7.0 + 0.01) / (7.0 - 2.45);  // line parameter at the floor
    const double spotZ = std::round(z - (beyond - 1) * 7.0);
    const Vec eye = {8.0, 7.0, z + (z - spotZ) / (beyond - 1)};
    lookAt(eye, centre);
    Vec floorSpot = {eye.x + beyond * (centre.x - eye.x), -0.01, eye.z + beyond * (centre.z - eye.z)};
    ASSERT_NEAR(floorSpot.z, spotZ, 1e-9);
    ASSERT_LT(floorSpot.z, 8.49);
    Projected p = project(centre);

    // The floor alone: everything above y = 0.5 clipped away.
    const GLdouble below[4] = {0.0, -1.0, 0.0, 0.5};
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotated(pitch, 1, 0, 0);
    glRotated(yaw, 0, 1, 0);
    glTranslated(-eyeX, -eyeY, -eyeZ);
    glClipPlane(GL_CLIP_PLANE0, below);
    glEnable(GL_CLIP_PLANE0);
    onDraw();
    Pixel floorOnly = pixelAt(p.px, p.py);
    glDisable(GL_CLIP_PLANE0);
    onDraw();
    Pixel mixed = pixelAt(p.px, p.py);

    SCOPED_TRACE("floor " + show(floorOnly) + " through the surface " + show(mixed));
    ASSERT_GT(floorOnly.g, 10.0);
    EXPECT_GT(mixed.r, mixed.g + 30.0);
    EXPECT_GT(mixed.r, mixed.b + 30.0);
    // Green and blue come only from the floor (at 40 %) and the white highlight.
    EXPECT_GE(mixed.g, 0.4 * floorOnly.g - 3.0);
    EXPECT_LT(mixed.g, floorOnly.g);
}

// The starting view holds the whole scene; written out for people to look at when
// KVR_RENDER_DUMP names a folder.
TEST_F(GlSceneTest, StartingViewShowsTableTeapotAndMarkers) {
    look(10.6, 3.0, 6.6, -40.3, 3.3);
    const char* dump = std::getenv("KVR_RENDER_DUMP");
    if (dump != nullptr) {
        glxwin::writePpm(std::string(dump) + "/starting_view.ppm", glxwin::readPixels(0, 0, kWidth, kHeight),
                         kWidth, kHeight);
    }
    // Both markers are on screen and white.
    for (const Vec& l : {Vec{0, 5, 0}, Vec{8, 5, 0}}) {
        Projected p = project(l);
        ASSERT_GT(p.px, 0);
        ASSERT_LT(p.px, kWidth);
        Pixel c = pixelAt(p.px, p.py);
        EXPECT_NEAR(c.r, c.b, 4.0) << show(c);
        EXPECT_GT(c.r, 150.0 * fog(p.depth)) << show(c);
    }
    // The teapot's body is blue.
    Projected teapot = project({-1.0, 2.45, 1.0});
    Pixel pot = pixelAt(teapot.px, teapot.py);
    EXPECT_GT(pot.b, pot.r + 20.0) << show(pot);
    // The table top near its +x, +z corner shows wood: red over blue.
    Projected table = project({2.0, 2.05, 1.5});
    Pixel top = pixelAt(table.px, table.py);
    EXPECT_GT(top.r, top.b + 40.0) << show(top);
}

}  // namespace
