// win_scene_test.cpp - the scene through the real window layer and the Linux platform:
// the window's creation sets up the scene, the handlers place the camera and draw, and
// the frame is read back after it has been presented.
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

struct Pixel {
    double r, g, b;
};

// The mean colour of the 3 by 3 pixels around a window position of the last frame drawn.
// Mesa's software rasteriser presents by copying the back buffer to the window and keeps it,
// while its front buffer reads back black; so the frame is read from the back buffer.
Pixel framePixel(double px, double py) {
    std::vector<unsigned char> p = glxwin::readPixels(int(px) - 1, int(py) - 1, 3, 3, false);
    Pixel sum = {0, 0, 0};
    for (std::size_t i = 0; i < 9; ++i) {
        sum.r += p[i * 4] / 9.0;
        sum.g += p[i * 4 + 1] / 9.0;
        sum.b += p[i * 4 + 2] / 9.0;
    }
    return sum;
}

class WinSceneTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!glxwin::displayAvailable()) {
            if (glxwin::displayRequired()) {
                FAIL() << glxwin::displayMissing() << ", and KVR_REQUIRE_DISPLAY=1";
            }
            GTEST_SKIP() << glxwin::displayMissing();
        }
        doneInit = 1;  // as left by the entry's first call, with no context
        sceneId = 0;
        yaw = -40.3;
        pitch = 3.3;
        eyeX = 10.6;
        eyeY = 3.0;
        eyeZ = 6.6;
        jump = 0.1;
        created_ = kvr_createWindow("OpenGL Test", kWidth, kHeight, 0, 0, 24) != 0;
        if (!created_) {
            char* report = kvr_getLastErrorMessage();
            std::string text = report != nullptr ? report : "";
            free(report);
            FAIL() << "window creation failed: " << text;
        }
    }
    void TearDown() override {
        if (created_) {
            kvr_destroyWindow();
        }
        created_ = false;
        doneInit = 0;
        sceneId = 0;
    }
    bool created_ = false;
};

// Creating the window builds the scene; the pointer at the client centre looks along -z,
// so a light marker straight ahead fills the centre, white apart from the fog.
TEST_F(WinSceneTest, CentredPointerLooksAlongMinusZAtAMarker) {
    EXPECT_NE(sceneId, 0u);
    EXPECT_NE(woodTextureRef, 0u);
    eyeX = 8.0;
    eyeY = 5.0;
    eyeZ = 2.0;
    onMouseMove(0.0, 0.0);
    EXPECT_EQ(yaw, 0.0);
    EXPECT_EQ(pitch, 0.0);
    Pixel c = framePixel(kWidth / 2.0, kHeight / 2.0);
    double expected = 255.0 * std::exp(-0.05 * 1.95);
    EXPECT_NEAR(c.r, expected, 3.0);
    EXPECT_NEAR(c.g, expected, 3.0);
    EXPECT_NEAR(c.b, expected, 3.0);

    // Turned half round by the pointer at the left edge: the marker is behind, the view black.
    onMouseMove(-1.0, 0.0);
    Pixel behind = framePixel(kWidth / 2.0, kHeight / 2.0);
    EXPECT_LT(behind.r + behind.g + behind.b, 3.0);
}

// Walking and the wheel move the eye and redraw: stepping back from the marker and then
// raising the eye by five notches leaves it below the centre of the view.
TEST_F(WinSceneTest, WalkAndWheelRedrawFromTheNewEye) {
    eyeX = 0.0;
    eyeY = 5.0;
    eyeZ = 1.5;
    onMouseMove(0.0, 0.0);
    for (int i = 0; i < 5; ++i) {
        onKeyDown(0x53);  // S: backwards, +z
    }
    EXPECT_NEAR(eyeZ, 2.0, 1e-9);
    Pixel centre = framePixel(kWidth / 2.0, kHeight / 2.0);
    EXPECT_GT(centre.r, 200.0);
    for (int i = 0; i < 5; ++i) {
        onMouseWheel(120 << 16);
    }
    EXPECT_NEAR(eyeY, 5.5, 1e-9);
    // The marker now lies 0.5 below the eye, 1.95 ahead: projected below the centre.
    double py = (1.0 + 2.0 * -0.5 / 1.95) * 0.5 * kHeight;
    Pixel moved = framePixel(kWidth / 2.0, py);
    EXPECT_GT(moved.r, 200.0);
    Pixel empty = framePixel(kWidth / 2.0, kHeight / 2.0);
    EXPECT_LT(empty.r + empty.g + empty.b, 3.0);
}

// The starting view through the window: the blue teapot on the table.
TEST_F(WinSceneTest, StartingViewShowsTheBlueTeapot) {
    onResize(kWidth, kHeight);
    // Where the teapot's centre (-1, 2.45, 1) lands for the starting camera.
    const double kPi = 3.14159265358979323846;
    double dx = -1.0 - eyeX;
    double dy = 2.45 - eyeY;
    double dz = 1.0 - eyeZ;
    double cy = std::cos(yaw * kPi / 180);
    double sy = std::sin(yaw * kPi / 180);
    double x1 = cy * dx + sy * dz;
    double z1 = -sy * dx + cy * dz;
    double cp = std::cos(pitch * kPi / 180);
    double sp = std::sin(pitch * kPi / 180);
    double y2 = cp * dy - sp * z1;
    double z2 = sp * dy + cp * z1;
    double px = (x1 / (-z2) * 2.0 / (double(kWidth) / kHeight) + 1) * 0.5 * kWidth;
    double py = (y2 / (-z2) * 2.0 + 1) * 0.5 * kHeight;
    Pixel pot = framePixel(px, py);
    EXPECT_GT(pot.b, pot.r + 20.0) << pot.r << " " << pot.g << " " << pot.b;
    EXPECT_GT(pot.b, pot.g + 20.0) << pot.r << " " << pot.g << " " << pot.b;
}

}  // namespace
