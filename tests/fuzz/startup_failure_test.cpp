// startup_failure_test.cpp - start-up and shut-down under every failure the fake can inject:
// whatever start-up acquired is released again, and a failing release does not stop the others.
//
// The platform calls that acquire or release something are wrapped at link time
// (-Wl,--wrap=NAME): each wrapper calls the fake and writes the call and its result to a ledger,
// so a release counts only when it succeeded. Acquisitions and successful releases are then
// counted per kind of resource: window class, window, window device context, screen device
// context and rendering context; a context made current must be released from the thread too.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "window_layer_reset.h"
#include "fake_platform.h"
#include "gl_recorder.h"
#include "kelvor.h"
#include "kvr_window.h"

namespace {

// Kinds of resource that start-up acquires.
enum Kind { ClassKind, WindowKind, WindowDCKind, ScreenDCKind, ContextKind, CurrentKind, KindCount };
const char* const kKindNames[KindCount] = {"window class",      "window",         "window DC", "screen DC",
                                           "rendering context", "current context"};

// Acquisitions and successful releases per kind, and every release attempted.
struct Ledger {
    int acquired[KindCount];
    int released[KindCount];
    int releaseAttempts[KindCount];
};

Ledger ledger;

// Notes an acquisition when it succeeded.
void acquire(Kind kind, bool ok) {
    if (ok) {
        ++ledger.acquired[kind];
    }
}

// Notes a release attempt and, when it succeeded, the release.
void release(Kind kind, bool ok) {
    ++ledger.releaseAttempts[kind];
    if (ok) {
        ++ledger.released[kind];
    }
}

}  // namespace

// The wrapped platform calls: the real ones are the fake's.
extern "C" {
ATOM __real_RegisterClassA(const WNDCLASSA* wc);
BOOL __real_UnregisterClassA(LPCSTR name, HINSTANCE instance);
HWND __real_CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y, int w,
                            int h, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
BOOL __real_DestroyWindow(HWND hWnd);
HDC __real_GetDC(HWND hWnd);
int __real_ReleaseDC(HWND hWnd, HDC hDC);
HGLRC __real_wglCreateContext(HDC hdc);
BOOL __real_wglDeleteContext(HGLRC hglrc);
BOOL __real_wglMakeCurrent(HDC hdc, HGLRC hglrc);

// Registers the class and notes it.
ATOM __wrap_RegisterClassA(const WNDCLASSA* wc) {
    ATOM atom = __real_RegisterClassA(wc);
    acquire(ClassKind, atom != 0);
    return atom;
}

// Unregisters the class and notes it.
BOOL __wrap_UnregisterClassA(LPCSTR name, HINSTANCE instance) {
    BOOL ok = __real_UnregisterClassA(name, instance);
    release(ClassKind, ok != FALSE);
    return ok;
}

// Creates the window and notes it.
HWND __wrap_CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y, int w,
                            int h, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
    HWND hWnd =
        __real_CreateWindowExA(exStyle, className, title, style, x, y, w, h, parent, menu, instance, param);
    acquire(WindowKind, hWnd != NULL);
    return hWnd;
}

// Destroys the window and notes it.
BOOL __wrap_DestroyWindow(HWND hWnd) {
    BOOL ok = __real_DestroyWindow(hWnd);
    release(WindowKind, ok != FALSE);
    return ok;
}

// Gets a window's or the screen's device context and notes it.
HDC __wrap_GetDC(HWND hWnd) {
    HDC dc = __real_GetDC(hWnd);
    acquire(hWnd == NULL ? ScreenDCKind : WindowDCKind, dc != NULL);
    return dc;
}

// Releases a device context and notes it.
int __wrap_ReleaseDC(HWND hWnd, HDC hDC) {
    int ok = __real_ReleaseDC(hWnd, hDC);
    release(hDC == fake::kScreenDC ? ScreenDCKind : WindowDCKind, ok != 0);
    return ok;
}

// Creates a rendering context and notes it.
HGLRC __wrap_wglCreateContext(HDC hdc) {
    HGLRC rc = __real_wglCreateContext(hdc);
    acquire(ContextKind, rc != NULL);
    return rc;
}

// Deletes a rendering context and notes it; a deleted context is no longer current either.
BOOL __wrap_wglDeleteContext(HGLRC hglrc) {
    bool wasCurrent = fake::contextCurrent;
    BOOL ok = __real_wglDeleteContext(hglrc);
    release(ContextKind, ok != FALSE);
    if (ok && wasCurrent) {
        release(CurrentKind, true);
    }
    return ok;
}

// Makes a context current or releases the current one, and notes it.
BOOL __wrap_wglMakeCurrent(HDC hdc, HGLRC hglrc) {
    bool wasCurrent = fake::contextCurrent;
    BOOL ok = __real_wglMakeCurrent(hdc, hglrc);
    if (hglrc != NULL) {
        acquire(CurrentKind, ok != FALSE && !wasCurrent);
    } else {
        release(CurrentKind, ok != FALSE && wasCurrent);
    }
    return ok;
}
}  // extern "C"

namespace {

// A creation step the fake can fail, with the text the layer logs for it.
struct CreateStep {
    fake::Step step;
    const char* text;
};
const CreateStep kCreateSteps[] = {
    {fake::RegisterClass, "Register Window Class"},      {fake::CreateWindow, "Creating WindowEx"},
    {fake::GetWindowDC, "Create Device Context"},        {fake::ChoosePixelFormatStep, "Finding PixelFormat"},
    {fake::SetPixelFormatStep, "Applying Pixel Format"}, {fake::CreateContext, "Create Rendering Context"},
    {fake::MakeCurrent, "Activate Rendering Context"},
};

// A clean-up step the fake can fail, the kind it releases and the text the layer logs for it.
struct ReleaseStep {
    fake::Step step;
    Kind kind;
    const char* text;
};
const ReleaseStep kReleaseSteps[] = {
    {fake::ReleaseCurrent, CurrentKind, "Release Device Context and Rendering Context"},
    {fake::DeleteContext, ContextKind, "Release Rendering Context"},
    {fake::ReleaseWindowDC, WindowDCKind, "Release Device Context"},
    {fake::DestroyWindowStep, WindowKind, "Release Window"},
    {fake::UnregisterClass, ClassKind, "Unregister Window Class"},
};

int failuresInjected = 0;

class StartupFailure : public ::testing::Test {
protected:
    // Fresh fake, recorder, layer and application state for every case.
    void SetUp() override {
        fake::reset();
        glrec::reset();
        // The recorder follows the fake's context, as the real GL follows the real one.
        fake::onMakeCurrent = [](bool current) { glrec::contextCurrent = current; };
        glrec::contextCurrent = false;
        memset(&ledger, 0, sizeof ledger);
        resetWindowLayer();
        doneInit = 0;
        sceneId = 0;
        quitFlag = 0;
    }

    // Prints how many failures the case injected, for the record.
    void TearDown() override {
        printf("%d platform failures injected\n", failuresInjected);
        failuresInjected = 0;
    }

    // Fails one step and counts it.
    void inject(fake::Step step) {
        fake::setFail(step);
        ++failuresInjected;
    }

    // Every kind acquired has been released, except `except` (a release told to fail), which
    // keeps at most what it acquired. Names the case in the failure message.
    void expectBalanced(const std::string& what, int except = -1) {
        for (int k = 0; k < KindCount; ++k) {
            int left = ledger.acquired[k] - ledger.released[k];
            if (k == except) {
                EXPECT_GE(left, 0) << what << ": " << kKindNames[k] << " released more often than acquired";
                EXPECT_GE(ledger.releaseAttempts[k], ledger.acquired[k])
                    << what << ": the failing release of the " << kKindNames[k] << " was not attempted";
            } else {
                EXPECT_EQ(left, 0) << what << ": " << kKindNames[k] << " acquired " << ledger.acquired[k]
                                   << " time(s), released " << ledger.released[k] << "\n"
                                   << fake::dump();
            }
        }
        if (except != CurrentKind) {
            EXPECT_FALSE(fake::contextCurrent) << what << ": a context is still current";
        }
    }

    // The step log holds the text.
    static bool logged(const char* text) { return strstr(kvr_lastErrorStepDescription, text) != nullptr; }
};

// Each creation step failing alone: start-up fails, logs that step and releases all it took.
TEST_F(StartupFailure, EveryCreationFailureReleasesEverythingAcquired) {
    for (const CreateStep& c : kCreateSteps) {
        SetUp();
        inject(c.step);
        EXPECT_EQ(kvr_createWindow("OpenGL Test", 640, 480, CW_USEDEFAULT, CW_USEDEFAULT, 32), 0) << c.text;
        EXPECT_TRUE(logged(c.text)) << c.text << ": log is \"" << kvr_lastErrorStepDescription << "\"";
        EXPECT_EQ(kvr_lastResult, 0) << c.text;
        EXPECT_FALSE(fake::windowExists) << c.text;
        EXPECT_FALSE(fake::classRegistered) << c.text;
        expectBalanced(c.text);
    }
}

// A creation failure whose clean-up also fails at one release: the later releases still run,
// so only the resource whose release failed is left behind.
TEST_F(StartupFailure, CreationFailureWithFailingCleanUpStillReleasesTheRest) {
    for (const CreateStep& c : kCreateSteps) {
        for (const ReleaseStep& r : kReleaseSteps) {
            SetUp();
            inject(c.step);
            inject(r.step);
            std::string what = std::string(c.text) + " then " + r.text;
            EXPECT_EQ(kvr_createWindow("OpenGL Test", 640, 480, CW_USEDEFAULT, CW_USEDEFAULT, 32), 0) << what;
            EXPECT_EQ(kvr_lastResult, 0) << what;
            EXPECT_TRUE(logged(c.text)) << what;
            if (ledger.acquired[r.kind] > 0) {
                EXPECT_TRUE(logged(r.text)) << what << ": log is \"" << kvr_lastErrorStepDescription << "\"";
            }
            expectBalanced(what, r.kind);
            // The failed start-up may be followed by the error report; it must be well formed.
            char* report = kvr_getLastErrorMessage();
            ASSERT_NE(report, nullptr) << what;
            EXPECT_LT(strlen(report), static_cast<size_t>(KVR_REPORT_SIZE)) << what;
            free(report);
        }
    }
}

// A full start and close releases everything; a failing release at close leaves only its own
// resource, reports 0, and the releases after it still run.
TEST_F(StartupFailure, CloseReleasesEverythingEvenWhenOneReleaseFails) {
    ASSERT_EQ(kvr_createWindow("OpenGL Test", 640, 480, CW_USEDEFAULT, CW_USEDEFAULT, 32), 1);
    kvr_toggleFullScreen();
    EXPECT_EQ(kvr_destroyWindow(), 1);
    expectBalanced("clean start and close");

    for (const ReleaseStep& r : kReleaseSteps) {
        SetUp();
        ASSERT_EQ(kvr_createWindow("OpenGL Test", 640, 480, CW_USEDEFAULT, CW_USEDEFAULT, 32), 1) << r.text;
        inject(r.step);
        EXPECT_EQ(kvr_destroyWindow(), 0) << r.text;
        EXPECT_TRUE(logged(r.text)) << r.text;
        expectBalanced(std::string("close with failing ") + r.text, r.kind);
    }
}

// The whole program through WinMain: a failed start-up exits -1 having shown one report, a
// normal run exits 0 after the window is closed; either way nothing is left acquired, the
// desktop device context included.
TEST_F(StartupFailure, WinMainLeavesNothingAcquired) {
    for (const CreateStep& c : kCreateSteps) {
        SetUp();
        inject(c.step);
        EXPECT_EQ(WinMain(fake::kInstance, NULL, const_cast<char*>(""), SW_SHOW), -1) << c.text;
        EXPECT_EQ(fake::count("MessageBoxA"), 1u) << c.text;
        expectBalanced(std::string("WinMain with failing ") + c.text);
    }

    SetUp();
    fake::post(WM_KEYDOWN, 0x57, 0);
    fake::post(WM_CLOSE, 0, 0);
    EXPECT_EQ(WinMain(fake::kInstance, NULL, const_cast<char*>(""), SW_SHOW), 0);
    EXPECT_FALSE(fake::sleepLimitHit);
    expectBalanced("WinMain closed normally");
}

}  // namespace
