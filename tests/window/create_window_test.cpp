// create_window_test.cpp - opening and closing the window, the step log and its report.
#include <cstring>
#include <string>
#include <vector>

#include "window_test_support.h"

namespace {

const char* const kReportStart = "An error occurred when trying to open the OpenGL window.\nError code ";

// The report for a step part, as the layer formats it.
std::string reportFor(int code, const std::string& steps) {
    return std::string(kReportStart) + std::to_string(code) + " returned during the '" + steps + "' step.";
}

// Takes the report, frees the block and answers its text.
std::string takeReport() {
    char* report = kvr_getLastErrorMessage();
    EXPECT_NE(report, nullptr);
    std::string text = report ? report : "";
    std::free(report);
    return text;
}

// The release calls logged at or after `from`, with their arguments.
std::vector<std::string> releaseCalls(std::size_t from) {
    static const char* const releases[] = {"wglMakeCurrent", "wglDeleteContext", "ReleaseDC", "DestroyWindow",
                                           "UnregisterClassA"};
    std::vector<std::string> out;
    for (std::size_t i = from; i < fake::calls.size(); ++i) {
        for (const char* r : releases) {
            if (fake::calls[i].name == r) {
                out.push_back(fake::calls[i].line);
            }
        }
    }
    return out;
}

std::string handle(const void* h) {
    return std::to_string(reinterpret_cast<intptr_t>(h));
}

// The release calls of a full clean-up, from the context down to the class.
const std::vector<std::string> kFullRelease = {
    "wglMakeCurrent(0, 0)",
    "wglDeleteContext(" + handle(fake::kContext) + ")",
    "ReleaseDC(" + handle(fake::kWindow) + ", " + handle(fake::kWindowDC) + ")",
    "DestroyWindow(" + handle(fake::kWindow) + ")",
    "UnregisterClassA(\"OpenGL\", " + handle(fake::kInstance) + ")",
};

// The last `n` entries of kFullRelease.
std::vector<std::string> lastReleases(std::size_t n) {
    return std::vector<std::string>(kFullRelease.end() - n, kFullRelease.end());
}

class CreateWindowTest : public WindowLayerTest {
protected:
    // After a clean-up, failed releases included, no handle is kept: a second clean-up releases
    // no context, device context or window again, and only tries the class once more.
    static void expectNothingKeptToReleaseAgain() {
        EXPECT_EQ(kvr_hRC, nullptr);
        EXPECT_EQ(kvr_hDC, nullptr);
        EXPECT_EQ(kvr_hWnd, nullptr);
        std::size_t from = fake::calls.size();
        kvr_destroyWindow();
        std::vector<std::string> again = releaseCalls(from);
        ASSERT_EQ(again.size(), 1u) << fake::dump();
        EXPECT_EQ(again[0].rfind("UnregisterClassA(", 0), 0u) << again[0];
    }
};

// The layer's state as the program finds it, taken while the test program loads, before any test.
struct LayerState {
    int active, fullscreen, rightDown, width, height, keysDown;
    int32_t lastResult;
    std::string log;
    RECT rect;
    const void *instance, *window, *dc, *context;
};

LayerState layerState() {
    int keysDown = 0;
    for (int key = 0; key < 256; ++key) {
        keysDown += kvr_isKeyDown(key) != 0;
    }
    return {kvr_isActive(),
            kvr_isFullscreen(),
            kvr_isRightMouseButtonDown(),
            kvr_getScreenWidth(),
            kvr_getScreenHeight(),
            keysDown,
            kvr_lastResult,
            kvr_lastErrorStepDescription,
            kvr_winRect,
            kvr_hInstance,
            kvr_hWnd,
            kvr_hDC,
            kvr_hRC};
}

const LayerState kAtLoad = layerState();

// Before any message the layer counts as active and windowed, with no key or button down, no size and
// an empty log; the reset every test starts from puts back exactly that state.
TEST_F(CreateWindowTest, LayerStartsActiveWindowedAndIdleAndTheTestsResetIsThatState) {
    EXPECT_EQ(kAtLoad.active, 1);
    EXPECT_EQ(kAtLoad.fullscreen, 0);
    EXPECT_EQ(kAtLoad.rightDown, 0);
    EXPECT_EQ(kAtLoad.width, 0);
    EXPECT_EQ(kAtLoad.height, 0);
    EXPECT_EQ(kAtLoad.keysDown, 0);
    EXPECT_EQ(kAtLoad.lastResult, 0);
    EXPECT_EQ(kAtLoad.log, "");
    EXPECT_EQ(takeReport(), "No errors detected opening OpenGL window");

    kvr_active = 0;
    kvr_keys[65] = 1;
    kvr_winRect = RECT{1, 2, 3, 4};
    resetWindowLayer();
    LayerState reset = layerState();
    EXPECT_EQ(reset.active, kAtLoad.active);
    EXPECT_EQ(reset.keysDown, kAtLoad.keysDown);
    EXPECT_EQ(reset.lastResult, kAtLoad.lastResult);
    const RECT& a = kAtLoad.rect;
    const RECT& b = reset.rect;
    EXPECT_EQ(std::vector<LONG>({a.left, a.top, a.right, a.bottom}),
              std::vector<LONG>({b.left, b.top, b.right, b.bottom}));
    EXPECT_EQ(std::vector<const void*>({kAtLoad.instance, kAtLoad.window, kAtLoad.dc, kAtLoad.context}),
              std::vector<const void*>({reset.instance, reset.window, reset.dc, reset.context}));
}

TEST_F(CreateWindowTest, SuccessRegistersClassCreatesWindowAndCallsResizeThenInit) {
    cb::initResult = 7;
    ASSERT_EQ(kvr_createWindow("OpenGL Test", 640, 480, 30, 40, 32), 1) << fake::dump();

    // The class.
    EXPECT_EQ(fake::registeredClassName, "OpenGL");
    EXPECT_EQ(fake::registeredClass.style, 0x23u);
    EXPECT_EQ(fake::registeredClass.lpfnWndProc, &kvr_WndProc);
    EXPECT_EQ(fake::registeredClass.cbClsExtra, 0);
    EXPECT_EQ(fake::registeredClass.cbWndExtra, 0);
    EXPECT_EQ(fake::registeredClass.hInstance, fake::kInstance);
    EXPECT_EQ(fake::registeredClass.hIcon, fake::kIcon);
    EXPECT_EQ(fake::registeredClass.hCursor, fake::kCursor);
    EXPECT_EQ(fake::registeredClass.hbrBackground, nullptr);
    EXPECT_EQ(fake::registeredClass.lpszMenuName, nullptr);
    EXPECT_EQ(fake::named("LoadIconA").at(0)->line, "LoadIconA(0, 32517)");
    EXPECT_EQ(fake::named("LoadCursorA").at(0)->line, "LoadCursorA(0, 32512)");
    EXPECT_LT(fake::find("LoadIconA"), fake::find("LoadCursorA"));

    // The window: outer size from the adjusted rectangle, windowed styles.
    EXPECT_EQ(fake::named("AdjustWindowRectEx").at(0)->line, "AdjustWindowRectEx(0, 0, 640, 480, " +
                                                                 std::to_string(0xCF0000) + ", 0, " +
                                                                 std::to_string(0x40100) + ")");
    EXPECT_EQ(fake::named("CreateWindowExA").at(0)->line,
              "CreateWindowExA(" + std::to_string(0x40100) + ", \"OpenGL\", \"OpenGL Test\", " +
                  std::to_string(0x6CF0000) + ", 30, 40, " + std::to_string(640 + 16) + ", " +
                  std::to_string(480 + 39) + ", 0, 0, " + handle(fake::kInstance) + ", 0)");
    EXPECT_EQ(kvr_hInstance, fake::kInstance);
    EXPECT_EQ(kvr_hWnd, fake::kWindow);
    EXPECT_EQ(kvr_hDC, fake::kWindowDC);
    EXPECT_EQ(kvr_hRC, fake::kContext);
    EXPECT_TRUE(fake::contextCurrent);
    EXPECT_TRUE(fake::visible);

    // Pixel format: the chosen index is the one set.
    EXPECT_EQ(fake::named("SetPixelFormat").at(0)->args.at(1), fake::pixelFormatIndex);

    // Shown, raised and focused in that order, after the context is current.
    std::vector<std::string> order;
    for (const std::string& n : fake::names()) {
        if (n == "wglMakeCurrent" || n == "ShowWindow" || n == "SetForegroundWindow" || n == "SetFocus") {
            order.push_back(n);
        }
    }
    EXPECT_EQ(order,
              (std::vector<std::string>{"wglMakeCurrent", "ShowWindow", "SetForegroundWindow", "SetFocus"}));
    EXPECT_EQ(fake::named("ShowWindow").at(0)->args.at(1), SW_SHOW);

    // The last two callbacks: the requested client size, then onInit; its result is kept.
    ASSERT_GE(cb::events.size(), 2u);
    EXPECT_EQ(cb::events[cb::events.size() - 2], "onResize(640, 480)");
    EXPECT_EQ(cb::events.back(), "onInit()");
    EXPECT_EQ(cb::count("onInit"), 1u);
    EXPECT_EQ(kvr_lastResult, 7);
    EXPECT_STREQ(kvr_lastErrorStepDescription, "");
    EXPECT_EQ(fake::count("UnregisterClassA"), 0u);
}

TEST_F(CreateWindowTest, ResizeBeforeInitGetsRequestedSizeNotOuterSize) {
    // The callbacks run with the context current and the window already shown.
    bool currentAtResize = false;
    cb::resizeHook = [&](int, int) { currentAtResize = fake::contextCurrent && fake::visible; };
    ASSERT_EQ(kvr_createWindow("t", 333, 222, CW_USEDEFAULT, CW_USEDEFAULT, 24), 1);
    EXPECT_TRUE(currentAtResize);
    ASSERT_GE(cb::events.size(), 2u);
    EXPECT_EQ(cb::events[cb::events.size() - 2], "onResize(333, 222)");
    // The size message sent during creation reaches the layer as well.
    EXPECT_EQ(kvr_screenWidth, 333);
    EXPECT_EQ(kvr_screenHeight, 222);
}

TEST_F(CreateWindowTest, PixelFormatAsksDoubleBufferedRgbaWithLowEightBitsOfDepth) {
    ASSERT_EQ(kvr_createWindow("t", 640, 480, 0, 0, 0x120), 1);
    ASSERT_TRUE(fake::pfdChosen);
    const PIXELFORMATDESCRIPTOR& p = fake::chosenPfd;
    EXPECT_EQ(p.nSize, 40);
    EXPECT_EQ(p.nVersion, 1);
    EXPECT_EQ(p.dwFlags, 0x25u);
    EXPECT_EQ(p.iPixelType, PFD_TYPE_RGBA);
    EXPECT_EQ(p.cColorBits, 32);  // 0x120 cut to its low 8 bits
    EXPECT_EQ(p.cDepthBits, 16);
    EXPECT_EQ(p.iLayerType, PFD_MAIN_PLANE);
    const BYTE zeros[] = {p.cRedBits,        p.cRedShift,     p.cGreenBits,      p.cGreenShift,
                          p.cBlueBits,       p.cBlueShift,    p.cAlphaBits,      p.cAlphaShift,
                          p.cAccumBits,      p.cAccumRedBits, p.cAccumGreenBits, p.cAccumBlueBits,
                          p.cAccumAlphaBits, p.cStencilBits,  p.cAuxBuffers,     p.bReserved};
    for (BYTE z : zeros) {
        EXPECT_EQ(z, 0);
    }
    EXPECT_EQ(p.dwLayerMask, 0u);
    EXPECT_EQ(p.dwVisibleMask, 0u);
    EXPECT_EQ(p.dwDamageMask, 0u);
    EXPECT_EQ(kvr_destroyWindow(), 1);

    // A later call with another depth asks for that depth.
    fake::reset();
    ASSERT_EQ(kvr_createWindow("t", 640, 480, 0, 0, 16), 1);
    EXPECT_EQ(fake::chosenPfd.cColorBits, 16);
}

// One failing step of start-up and what must follow.
struct FailureCase {
    const char* label;
    fake::Step step;  // StepCount: onInit answers 0 instead
    const char* logged;
    const char* failingCall;  // the releases are counted from this call on
    std::size_t releases;     // how many of the five releases run, from the end
};

TEST_F(CreateWindowTest, EveryFailedStepLogsItsTextReleasesWhatExistsAndLeavesResultZero) {
    const FailureCase cases[] = {
        {"CreateWindowExA", fake::CreateWindow, "Creating WindowEx", "CreateWindowExA", 1},
        {"GetDC", fake::GetWindowDC, "Create Device Context", "GetDC", 2},
        {"ChoosePixelFormat", fake::ChoosePixelFormatStep, "Finding PixelFormat", "ChoosePixelFormat", 3},
        {"SetPixelFormat", fake::SetPixelFormatStep, "Applying Pixel Format", "SetPixelFormat", 3},
        {"wglCreateContext", fake::CreateContext, "Create Rendering Context", "wglCreateContext", 3},
        {"wglMakeCurrent", fake::MakeCurrent, "Activate Rendering Context", "wglMakeCurrent", 5},
        {"onInit", fake::StepCount, "Initialize OpenGL", "SetFocus", 5},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.label);
        fake::reset();
        resetWindowLayer();
        cb::reset();
        if (c.step == fake::StepCount) {
            cb::initResult = 0;
        } else {
            fake::setFail(c.step);
        }
        EXPECT_EQ(kvr_createWindow("OpenGL Test", 640, 480, CW_USEDEFAULT, CW_USEDEFAULT, 32), 0);
        EXPECT_EQ(kvr_lastResult, 0);
        EXPECT_EQ(std::string(kvr_lastErrorStepDescription), std::string(c.logged) + "; ");
        std::size_t at = fake::find(c.failingCall);
        ASSERT_LT(at, fake::calls.size());
        EXPECT_EQ(releaseCalls(at + 1), lastReleases(c.releases)) << fake::dump();
        // Nothing is left behind.
        EXPECT_FALSE(fake::classRegistered);
        EXPECT_FALSE(fake::windowExists);
        EXPECT_FALSE(fake::contextCurrent);
        EXPECT_EQ(kvr_hRC, nullptr);
        // onInit runs only when everything before it worked.
        EXPECT_EQ(cb::count("onInit"), c.step == fake::StepCount ? 1u : 0u);
        EXPECT_EQ(takeReport(), reportFor(0, c.logged));
    }
}

TEST_F(CreateWindowTest, FailedClassRegistrationLogsOnlyItsStepAndCleansNothing) {
    fake::setFail(fake::RegisterClass);
    EXPECT_EQ(kvr_createWindow("t", 640, 480, 0, 0, 32), 0);
    EXPECT_STREQ(kvr_lastErrorStepDescription, "Register Window Class; ");
    EXPECT_EQ(kvr_lastResult, 0);
    EXPECT_EQ(fake::count("CreateWindowExA"), 0u);
    EXPECT_TRUE(releaseCalls(0).empty()) << fake::dump();
    EXPECT_EQ(takeReport(), reportFor(0, "Register Window Class"));
}

TEST_F(CreateWindowTest, KindAStepIsLoggedBeforeCleanUpFailuresAndKindBAfterThem) {
    // Kind B: the clean-up's failure comes first in the log.
    fake::setFail(fake::MakeCurrent);
    fake::setFail(fake::ReleaseCurrent);
    EXPECT_EQ(kvr_createWindow("t", 640, 480, 0, 0, 32), 0);
    EXPECT_EQ(kvr_lastResult, 0);
    EXPECT_EQ(takeReport(),
              reportFor(0, "Release Device Context and Rendering Context; Activate Rendering Context"));
    // The clean-up carried on after its first failure.
    EXPECT_EQ(releaseCalls(fake::find("wglMakeCurrent") + 1), kFullRelease);

    // Kind A: the failed step comes first.
    fake::reset();
    resetWindowLayer();
    fake::setFail(fake::GetWindowDC);
    fake::setFail(fake::UnregisterClass);
    EXPECT_EQ(kvr_createWindow("t", 640, 480, 0, 0, 32), 0);
    EXPECT_EQ(kvr_lastResult, 0);
    EXPECT_EQ(kvr_hInstance, nullptr);
    EXPECT_EQ(takeReport(), reportFor(0, "Create Device Context; Unregister Window Class"));
}

TEST_F(CreateWindowTest, DestroyReleasesInReverseOrderAndCarriesOnAfterFailures) {
    ASSERT_EQ(kvr_createWindow("t", 640, 480, 0, 0, 32), 1);
    std::size_t from = fake::calls.size();
    EXPECT_EQ(kvr_destroyWindow(), 1);
    EXPECT_EQ(releaseCalls(from), kFullRelease);
    EXPECT_EQ(kvr_lastResult, 1);
    EXPECT_STREQ(kvr_lastErrorStepDescription, "");
    EXPECT_EQ(kvr_hRC, nullptr);
    EXPECT_FALSE(fake::windowExists);
    EXPECT_FALSE(fake::classRegistered);

    // Each single failing release makes the result 0, is logged, and the later ones still run.
    const struct {
        fake::Step step;
        const char* logged;
    } cases[] = {
        {fake::ReleaseCurrent, "Release Device Context and Rendering Context"},
        {fake::DeleteContext, "Release Rendering Context"},
        {fake::ReleaseWindowDC, "Release Device Context"},
        {fake::DestroyWindowStep, "Release Window"},
        {fake::UnregisterClass, "Unregister Window Class"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.logged);
        fake::reset();
        resetWindowLayer();
        ASSERT_EQ(kvr_createWindow("t", 640, 480, 0, 0, 32), 1);
        fake::setFail(c.step);
        from = fake::calls.size();
        EXPECT_EQ(kvr_destroyWindow(), 0);
        EXPECT_EQ(std::string(kvr_lastErrorStepDescription), std::string(c.logged) + "; ");
        EXPECT_EQ(releaseCalls(from), kFullRelease) << fake::dump();
        expectNothingKeptToReleaseAgain();
    }

    // All five failing: all logged in order.
    fake::reset();
    resetWindowLayer();
    ASSERT_EQ(kvr_createWindow("t", 640, 480, 0, 0, 32), 1);
    for (const auto& c : cases) {
        fake::setFail(c.step);
    }
    EXPECT_EQ(kvr_destroyWindow(), 0);
    EXPECT_STREQ(kvr_lastErrorStepDescription,
                 "Release Device Context and Rendering Context; Release Rendering Context; Release Device "
                 "Context; Release Window; Unregister Window Class; ");
    EXPECT_EQ(kvr_lastResult, 0);
    EXPECT_EQ(kvr_hInstance, nullptr);
    expectNothingKeptToReleaseAgain();
}

TEST_F(CreateWindowTest, ReportTextsAndRepeatedReports) {
    EXPECT_EQ(takeReport(), "No errors detected opening OpenGL window");

    kvr_logError("Finding PixelFormat");
    kvr_lastResult = -5;
    std::string first = takeReport();
    EXPECT_EQ(first, reportFor(-5, "Finding PixelFormat"));
    // A second report is the same: the log keeps its separator.
    EXPECT_EQ(takeReport(), first);
    EXPECT_STREQ(kvr_lastErrorStepDescription, "Finding PixelFormat; ");

    // A step without a text leaves only its separator, which the report drops as well; the next step's
    // text follows that separator.
    resetWindowLayer();
    kvr_logError(nullptr);
    EXPECT_STREQ(kvr_lastErrorStepDescription, "; ");
    EXPECT_EQ(takeReport(), reportFor(0, ""));
    kvr_logError("Z");
    EXPECT_EQ(takeReport(), reportFor(0, "; Z"));

    // The report block is the documented size, whatever the text length.
    char* block = kvr_getLastErrorMessage();
    ASSERT_NE(block, nullptr);
    block[KVR_REPORT_SIZE - 1] = '\0';  // writable to its end (ASan checks the size)
    std::free(block);
}

TEST_F(CreateWindowTest, StepLogNeverGrowsPastItsBuffer) {
    std::string step(100, 'x');
    std::string expected;
    for (int i = 0; i < 20; ++i) {
        kvr_logError(step.c_str());
        expected += step + "; ";
    }
    expected.resize(KVR_LOG_SIZE - 1);
    EXPECT_EQ(std::strlen(kvr_lastErrorStepDescription), static_cast<std::size_t>(KVR_LOG_SIZE - 1));
    EXPECT_EQ(std::string(kvr_lastErrorStepDescription), expected);

    // A full log still gives a bounded, terminated report, with every character of the log in it.
    std::string report = takeReport();
    EXPECT_EQ(report, reportFor(0, expected));
    EXPECT_LT(report.size(), static_cast<std::size_t>(KVR_REPORT_SIZE));

    // Further appends change nothing.
    kvr_logError("more");
    EXPECT_EQ(std::string(kvr_lastErrorStepDescription), expected);
}

TEST_F(CreateWindowTest, SwapBuffersHandsBackThePlatformResult) {
    ASSERT_EQ(kvr_createWindow("t", 640, 480, 0, 0, 32), 1);
    EXPECT_NE(kvr_swapBuffers(), 0);
    EXPECT_EQ(fake::named("SwapBuffers").back()->args.at(0), reinterpret_cast<intptr_t>(fake::kWindowDC));
    fake::setFail(fake::SwapBuffersStep);
    EXPECT_EQ(kvr_swapBuffers(), 0);
}

}  // namespace
