// view_test.cpp - the camera, the projection and the input handlers, against the GL
// recorder and the fake platform.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "gl_recorder.h"
#include "kelvor.h"
#include "kvr_window.h"

namespace {

// The camera as the program finds it, taken while the test program loads, before any test moves it.
const std::vector<double> kStartPose = {yaw, pitch, eyeX, eyeY, eyeZ, jump};
const std::vector<unsigned> kStartSetUp = {unsigned(doneInit), sceneId, castleHillTextureRef, woodTextureRef,
                                           unsigned(quitFlag)};

class ViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        glrec::reset();
        fake::reset();
        yaw = -40.3;
        pitch = 3.3;
        eyeX = 10.6;
        eyeY = 3.0;
        eyeZ = 6.6;
        jump = 0.1;
        // A scene list as if onInit had already run, so frames do not start the set-up.
        doneInit = 1;
        sceneId = 7;
        kvr_isFullscreenFlag = 0;
        kvr_rightDown = 0;
        kvr_hWnd = fake::kWindow;
        kvr_hDC = fake::kWindowDC;
        kvr_screenWidth = 640;
        kvr_screenHeight = 480;
    }
    void TearDown() override {
        doneInit = 0;
        sceneId = 0;
        kvr_hWnd = NULL;
        kvr_hDC = NULL;
    }

    // Number of frames drawn since the log was cleared: one clear each.
    static std::size_t frames() { return glrec::count("glClear"); }
};

// The program starts looking across the table at the teapot from (10.6, 3, 6.6), turned -40.3 degrees and
// tilted 3.3, walking in steps of 0.1, with the set-up not yet run.
TEST_F(ViewTest, CameraStartsAtTheStartingPoseWithTheSetUpNotYetRun) {
    EXPECT_EQ(kStartPose, (std::vector<double>{-40.3, 3.3, 10.6, 3.0, 6.6, 0.1}));
    EXPECT_EQ(kStartSetUp, (std::vector<unsigned>{0, 0, 0, 0, 0}))
        << "set-up done, scene list, picture, wood, quit";
}

// The frustum and viewport follow the window, and a 0-height window neither divides by
// zero nor gets a 0-height viewport.
TEST_F(ViewTest, ResizeSetsFrustumAndViewportWithHeightZeroTakenAsOne) {
    struct Case {
        int width, height;
        double aspect;
        int viewportHeight;
    };
    const Case cases[] = {
        {640, 480, 640.0 / 480.0, 480}, {800, 0, 800.0, 1}, {1920, 1080, 1920.0 / 1080.0, 1080}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        glrec::reset();
        EXPECT_EQ(onResize(c.width, c.height), 1);
        ASSERT_EQ(glrec::count("glFrustum"), 1u) << glrec::dump();
        const glrec::Call& f = *glrec::named("glFrustum")[0];
        EXPECT_DOUBLE_EQ(f.args[0], -0.5 * c.aspect);
        EXPECT_DOUBLE_EQ(f.args[1], 0.5 * c.aspect);
        EXPECT_EQ(f.args[2], -0.5);
        EXPECT_EQ(f.args[3], 0.5);
        EXPECT_EQ(f.args[4], 1.0);
        EXPECT_EQ(f.args[5], 50.0);
        const glrec::Call& v = *glrec::named("glViewport")[0];
        EXPECT_EQ(v.args, (std::vector<double>{0, 0, double(c.width), double(c.viewportHeight)}));

        // Projection loaded fresh, then back to the model-view matrix, then a frame.
        std::size_t projection = glrec::find("glMatrixMode");
        ASSERT_LT(projection + 1, glrec::calls.size());
        EXPECT_EQ(glrec::calls[projection].args[0], double(GL_PROJECTION));
        EXPECT_EQ(glrec::calls[projection + 1].name, "glLoadIdentity");
        std::size_t frustum = glrec::find("glFrustum");
        std::size_t modelview = glrec::find("glMatrixMode", projection + 1);
        ASSERT_LT(modelview, glrec::calls.size());
        EXPECT_GT(modelview, frustum);
        EXPECT_EQ(glrec::calls[modelview].args[0], double(GL_MODELVIEW));
        EXPECT_EQ(glrec::calls[modelview + 1].name, "glLoadIdentity");
        EXPECT_GT(glrec::find("glClear"), modelview);
        EXPECT_EQ(frames(), 1u);
    }
}

// A frame clears, loads the camera with pitch outermost, calls the scene list and swaps;
// it runs the set-up first only while it has not run.
TEST_F(ViewTest, FrameIssuesClearCameraSceneAndSwapInOrder) {
    yaw = 25.0;
    pitch = -10.0;
    eyeX = 1.5;
    eyeY = 2.5;
    eyeZ = -3.5;
    EXPECT_EQ(onDraw(), 1);
    ASSERT_EQ(glrec::calls.size(), 6u) << glrec::dump();
    const auto& c = glrec::calls;
    EXPECT_EQ(c[0].name, "glClear");
    EXPECT_EQ(c[0].args[0], double(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
    EXPECT_EQ(c[1].name, "glLoadIdentity");
    EXPECT_EQ(c[2].name, "glRotated");
    EXPECT_EQ(c[2].args, (std::vector<double>{-10.0, 1, 0, 0}));
    EXPECT_EQ(c[3].name, "glRotated");
    EXPECT_EQ(c[3].args, (std::vector<double>{25.0, 0, 1, 0}));
    EXPECT_EQ(c[4].name, "glTranslated");
    EXPECT_EQ(c[4].args, (std::vector<double>{-1.5, -2.5, 3.5}));
    EXPECT_EQ(c[5].name, "glCallList");
    EXPECT_EQ(c[5].args[0], 7.0);
    ASSERT_EQ(fake::count("SwapBuffers"), 1u) << fake::dump();

    // Not yet initialised: the frame builds the scene first and then calls the new list.
    glrec::reset();
    doneInit = 0;
    sceneId = 0;
    onDraw();
    EXPECT_EQ(doneInit, 1);
    std::size_t endList = glrec::find("glEndList");
    std::size_t clear = glrec::find("glClear");
    ASSERT_LT(endList, glrec::calls.size());
    EXPECT_LT(endList, clear);
    EXPECT_NE(sceneId, 0u);
    EXPECT_EQ(glrec::named("glCallList").back()->args[0], double(sceneId));
}

// Walking: each key moves the eye horizontally by one step along its heading, x first.
TEST_F(ViewTest, WalkKeysMoveTheEyeAlongTheirHeadings) {
    struct Case {
        const char* name;
        int key;
        double yawDegrees;
        double dx, dz;
    };
    const Case cases[] = {
        {"W at yaw 0", 0x57, 0.0, 0.0, -0.1},   {"S at yaw 0", 0x53, 0.0, 0.0, 0.1},
        {"A at yaw 0", 0x41, 0.0, -0.1, 0.0},   {"D at yaw 0", 0x44, 0.0, 0.1, 0.0},
        {"W at yaw 90", 0x57, 90.0, 0.1, 0.0},  {"W at yaw -90", 0x57, -90.0, -0.1, 0.0},
        {"S at yaw 90", 0x53, 90.0, -0.1, 0.0}, {"A at yaw 90", 0x41, 90.0, 0.0, -0.1},
        {"D at yaw 90", 0x44, 90.0, 0.0, 0.1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        glrec::reset();
        yaw = c.yawDegrees;
        pitch = 45.0;
        eyeX = 1.0;
        eyeY = 2.0;
        eyeZ = 3.0;
        onKeyDown(c.key);
        EXPECT_NEAR(eyeX - 1.0, c.dx, 1e-12);
        EXPECT_NEAR(eyeZ - 3.0, c.dz, 1e-12);
        EXPECT_EQ(eyeY, 2.0);
        EXPECT_EQ(frames(), 1u);
    }
    // The step length follows jump.
    jump = 0.5;
    yaw = 0.0;
    eyeZ = 0.0;
    onKeyDown(0x57);
    EXPECT_NEAR(eyeZ, -0.5, 1e-12);
}

// The wheel: one notch away raises the eye by exactly 0.1, towards lowers it, the low
// word is ignored; with the right button held the eye stays but the frame is redrawn.
TEST_F(ViewTest, WheelMovesEyeUnlessRightButtonHeldAndAlwaysRedraws) {
    eyeY = 3.0;
    onMouseWheel(120 << 16);
    EXPECT_EQ(eyeY, 3.0 + 120.0 / 1200.0);
    EXPECT_EQ(frames(), 1u);

    eyeY = 0.0;
    onMouseWheel(static_cast<int>(0xFF880000u | 0x0008u));  // -120, with MK_SHIFT in the low word
    EXPECT_EQ(eyeY, -0.1);

    eyeY = 0.0;
    onMouseWheel(360 << 16);
    EXPECT_NEAR(eyeY, 0.3, 1e-15);

    // The extremes of the signed high word: 32767 up, -32768 down.
    eyeY = 0.0;
    onMouseWheel(0x7FFF << 16);
    EXPECT_EQ(eyeY, 32767.0 / 1200.0);
    eyeY = 0.0;
    onMouseWheel(static_cast<int>(0x80000000u));
    EXPECT_EQ(eyeY, -32768.0 / 1200.0);

    glrec::reset();
    kvr_rightDown = 1;
    eyeY = 3.0;
    onMouseWheel(120 << 16);
    EXPECT_EQ(eyeY, 3.0);
    EXPECT_EQ(frames(), 1u);
}

// Escape leaves full screen, and does nothing at all in a window.
TEST_F(ViewTest, EscapeTogglesOnlyInFullScreen) {
    kvr_isFullscreenFlag = 0;
    EXPECT_EQ(onKeyDown(0x1B), 1);
    EXPECT_EQ(kvr_isFullscreenFlag, 0);
    EXPECT_EQ(fake::count("SetWindowPos"), 0u);
    EXPECT_EQ(frames(), 0u);

    kvr_isFullscreenFlag = 1;
    EXPECT_EQ(onKeyDown(0x1B), 1);
    EXPECT_EQ(kvr_isFullscreenFlag, 0);
    EXPECT_EQ(fake::count("SetWindowPos"), 1u) << fake::dump();
}

// Space prints the angles with a flush and draws nothing; numpad + and - redraw only;
// other keys and the left click do nothing.
TEST_F(ViewTest, SpacePrintsAnglesOtherKeysRedrawOrIgnore) {
    // Printed into a pipe with standard output fully buffered, the line is there at once.
    std::fflush(stdout);
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    int savedOut = dup(STDOUT_FILENO);
    ASSERT_GE(savedOut, 0);
    ASSERT_GE(dup2(pipeFds[1], STDOUT_FILENO), 0);
    static char buffer[BUFSIZ];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    EXPECT_EQ(onKeyDown(0x20), 1);
    ASSERT_EQ(fcntl(pipeFds[0], F_SETFL, O_NONBLOCK), 0);
    char got[64] = {0};
    ssize_t n = read(pipeFds[0], got, sizeof got - 1);
    // Back to the terminal, line-buffered, before checking.
    dup2(savedOut, STDOUT_FILENO);
    std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
    close(savedOut);
    close(pipeFds[0]);
    close(pipeFds[1]);
    EXPECT_EQ(std::string(got, n > 0 ? std::size_t(n) : 0), "pitch:3.300000, yaw:-40.300000\n");
    EXPECT_EQ(frames(), 0u);

    onKeyDown(0x6B);
    onKeyDown(0x6D);
    EXPECT_EQ(frames(), 2u);

    glrec::reset();
    const int ignored[] = {0x0D, 0x51, 0x26, 0x70, 0x6A, 0x00, 0xFF};
    for (int key : ignored) {
        EXPECT_EQ(onKeyDown(key), 0) << key;
    }
    onMouseClick();
    EXPECT_TRUE(glrec::calls.empty()) << glrec::dump();
    EXPECT_EQ(yaw, -40.3);
    EXPECT_EQ(pitch, 3.3);
    EXPECT_EQ(eyeX, 10.6);
    EXPECT_EQ(eyeY, 3.0);
    EXPECT_EQ(eyeZ, 6.6);
}

// The pointer sets the angles absolutely: the client centre looks along -z, the edges
// give half turns of yaw and a quarter turn of pitch.
TEST_F(ViewTest, MouseMoveSetsAnglesAbsolutely) {
    // Through the window procedure: a move to the centre of a 640 by 480 client area.
    kvr_WndProc(fake::kWindow, WM_MOUSEMOVE, 0, static_cast<LPARAM>((240 << 16) | 320));
    EXPECT_EQ(yaw, 0.0);
    EXPECT_EQ(pitch, 0.0);
    ASSERT_EQ(glrec::count("glRotated"), 2u) << glrec::dump();
    EXPECT_EQ(glrec::named("glRotated")[0]->args[0], 0.0);
    EXPECT_EQ(glrec::named("glRotated")[1]->args[0], 0.0);

    onMouseMove(-1.0, 1.0);
    EXPECT_EQ(yaw, -180.0);
    EXPECT_EQ(pitch, 90.0);
    onMouseMove(0.5, -0.5);
    EXPECT_EQ(yaw, 90.0);
    EXPECT_EQ(pitch, -45.0);
    EXPECT_EQ(frames(), 3u);
}

}  // namespace
