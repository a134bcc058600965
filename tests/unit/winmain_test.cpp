// winmain_test.cpp - the program's entry and message loop with the real
// application, the fake platform and the recorder of GL calls.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "window_layer_reset.h"
#include "fake_platform.h"
#include "gl_recorder.h"
#include "kelvor.h"
#include "kvr_window.h"

namespace {

class WinMainTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake::reset();
        glrec::reset();
        // The recorder follows the fake's current context, as the real GL would.
        glrec::contextCurrent = false;
        fake::onMakeCurrent = [](bool current) { glrec::contextCurrent = current; };
        resetWindowLayer();
        quitFlag = 0;
        doneInit = 0;
    }
    void TearDown() override {
        fake::reset();
        glrec::reset();
    }

    // Runs the program's entry with an arbitrary command line.
    int run() { return WinMain(fake::kInstance, NULL, const_cast<char*>("--ignored arguments"), SW_SHOW); }
};

TEST_F(WinMainTest, FailedStartShowsOneErrorBoxAndExitsWithMinusOne) {
    fake::setFail(fake::CreateWindow);
    EXPECT_EQ(run(), -1);
    auto boxes = fake::named("MessageBoxA");
    ASSERT_EQ(boxes.size(), 1u) << fake::dump();
    EXPECT_EQ(boxes[0]->args.at(0), 0);  // no owner window
    EXPECT_EQ(boxes[0]->texts.at(0),
              "An error occurred when trying to open the OpenGL window.\nError code 0 returned during the "
              "'Creating WindowEx' step.");
    EXPECT_EQ(boxes[0]->texts.at(1), "Error Occurred");
    EXPECT_EQ(boxes[0]->args.at(1), static_cast<long long>(MB_ICONERROR));
    EXPECT_EQ(quitFlag, 1);
    // Full screen is never entered and no loop runs.
    EXPECT_EQ(fake::count("SetWindowLongA"), 0u);
    EXPECT_EQ(fake::count("SetWindowPos"), 0u);
    EXPECT_EQ(fake::count("PeekMessageA"), 0u);
    EXPECT_EQ(kvr_isFullscreen(), 0);
    // The failed start-up released the class itself; nothing is released twice.
    EXPECT_EQ(fake::count("UnregisterClassA"), 1u);

    // A box that is not fatal answers the user's choice and leaves the loop running; a fatal one answers 1.
    quitFlag = 0;
    fake::messageBoxResult = 7;
    EXPECT_EQ(error("text", 0), 7);
    EXPECT_EQ(quitFlag, 0);
    EXPECT_EQ(error("text", 1), 1);
    EXPECT_EQ(quitFlag, 1);
}

TEST_F(WinMainTest, StartUpAsksForDesktopDepthThenGoesFullScreen) {
    fake::bitsPerPixel = 24;
    fake::post(WM_CLOSE);
    EXPECT_EQ(run(), 0);
    // The frames drawn during creation, before the context was current, did not leave the
    // real initialisation undone or run it twice: it ran exactly once, with the context.
    EXPECT_EQ(doneInit, 1);
    std::size_t listsAtRun = glrec::count("glGenLists");
    std::size_t before = glrec::calls.size();
    ASSERT_TRUE(glrec::contextCurrent == false);  // released at the end
    glrec::contextCurrent = true;
    onInit();
    std::size_t listsPerInit = glrec::count("glGenLists") - listsAtRun;
    ASSERT_GT(glrec::calls.size(), before);
    EXPECT_EQ(listsAtRun, listsPerInit) << glrec::dump();
    auto created = fake::named("CreateWindowExA");
    ASSERT_EQ(created.size(), 1u);
    EXPECT_EQ(created[0]->texts.at(1), "OpenGL Test");
    EXPECT_EQ(created[0]->args.at(2), CW_USEDEFAULT);
    EXPECT_EQ(created[0]->args.at(3), CW_USEDEFAULT);
    EXPECT_EQ(fake::named("GetDC").at(0)->args.at(0), 0);  // the desktop's device context first
    EXPECT_EQ(fake::chosenPfd.cColorBits, 24);
    EXPECT_LT(fake::find("GetDeviceCaps"), fake::find("RegisterClassA"));
    // The requested client size reached onResize: the first frame set its viewport from it.
    auto viewports = glrec::named("glViewport");
    ASSERT_FALSE(viewports.empty()) << glrec::dump();
    EXPECT_EQ(viewports[0]->args.at(2), 640);
    EXPECT_EQ(viewports[0]->args.at(3), 480);
    // Full screen before the loop.
    std::size_t pos = fake::find("SetWindowPos");
    ASSERT_LT(pos, fake::calls.size());
    EXPECT_EQ(fake::calls[pos].args.at(4), 1920);
    EXPECT_EQ(fake::calls[pos].args.at(5), 1080);
    EXPECT_LT(pos, fake::find("PeekMessageA"));
    EXPECT_EQ(kvr_isFullscreen(), 1);
}

TEST_F(WinMainTest, CloseEndsTheLoopWithStatusZeroWithoutDispatchingQuit) {
    fake::post(WM_KEYDOWN, 'W', 0x00110001);
    fake::post(WM_CLOSE);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(quitFlag, 1);
    EXPECT_FALSE(fake::sleepLimitHit);
    // Every window message is translated, then dispatched; the quit message is not.
    auto dispatched = fake::named("DispatchMessageA");
    ASSERT_EQ(dispatched.size(), 2u) << fake::dump();
    EXPECT_EQ(dispatched[0]->args.at(0), WM_KEYDOWN);
    EXPECT_EQ(dispatched[1]->args.at(0), WM_CLOSE);
    EXPECT_EQ(fake::count("TranslateMessage"), 2u);
    EXPECT_LT(fake::find("TranslateMessage"), fake::find("DispatchMessageA"));
    // The window stayed until the loop ended, then everything was released.
    std::size_t quitAt = fake::find("PostQuitMessage");
    EXPECT_LT(quitAt, fake::find("DestroyWindow"));
    EXPECT_EQ(fake::count("DestroyWindow"), 1u);
    EXPECT_EQ(fake::count("UnregisterClassA"), 1u);
    EXPECT_FALSE(fake::windowExists);
    EXPECT_FALSE(fake::classRegistered);
    EXPECT_STREQ(kvr_lastErrorStepDescription, "");
}

TEST_F(WinMainTest, IdleLoopSleepsAndExitStatusIsTheQuitCode) {
    int sleeps = 0;
    fake::onSleep = [&]() {
        if (++sleeps == 3) {
            PostQuitMessage(3);
        }
    };
    EXPECT_EQ(run(), 3);
    EXPECT_FALSE(fake::sleepLimitHit);
    auto slept = fake::named("Sleep");
    ASSERT_EQ(slept.size(), 3u);
    for (const fake::Call* s : slept) {
        EXPECT_EQ(s->args.at(0), 50);
    }
    EXPECT_EQ(fake::count("DispatchMessageA"), 0u);
    EXPECT_EQ(fake::count("DestroyWindow"), 1u);
    // Every look at the queue takes the next message of any window and any kind off it.
    auto peeks = fake::named("PeekMessageA");
    ASSERT_EQ(peeks.size(), 4u);
    for (const fake::Call* p : peeks) {
        EXPECT_EQ(p->args, (std::vector<long long>{0, 0, 0, PM_REMOVE}));
    }
}

// A quit asked before the loop starts ends it at once: no message is read, and the status is 0.
TEST_F(WinMainTest, QuitAskedBeforeTheLoopEndsItAtOnceWithStatusZero) {
    fake::post(WM_QUIT, 5);
    EXPECT_EQ(quit(), 1);
    EXPECT_EQ(quitFlag, 1);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(fake::count("PeekMessageA"), 0u);
    EXPECT_EQ(fake::count("DestroyWindow"), 1u);
}

TEST_F(WinMainTest, FailedReleaseAtTheEndDoesNotChangeTheStatus) {
    fake::post(WM_CLOSE);
    fake::setFail(fake::DestroyWindowStep);
    EXPECT_EQ(run(), 0);
    EXPECT_STREQ(kvr_lastErrorStepDescription, "Release Window; ");
    EXPECT_EQ(fake::count("MessageBoxA"), 0u);
}

}  // namespace
