// x11_nodisplay_test.cpp - the platform calls with no X server: classes, tokens, the quit
// message, the message box on standard error, Sleep, and failures that must not crash.
#include <gtest/gtest.h>

#include "kvr_platform.h"
#include "x11_state.h"

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

// Test window procedure: nothing is ever dispatched to it here.
static LRESULT CALLBACK idleProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// Fills a class description with the given name.
static WNDCLASSA testClass(const char* name) {
    WNDCLASSA wc = {};
    wc.style = CS_OWNDC;
    wc.lpfnWndProc = idleProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.lpszClassName = name;
    return wc;
}

class X11NoDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("DISPLAY");
        setenv("KVR_MESSAGEBOX", "stderr", 1);
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        }
    }
};

TEST_F(X11NoDisplay, ClassTableRegistersOnceAndUnregistersOnlyKnownNames) {
    WNDCLASSA wc = testClass("Table");
    ATOM atom = RegisterClassA(&wc);
    EXPECT_NE(atom, 0);
    EXPECT_EQ(RegisterClassA(&wc), 0) << "a name registered twice";
    WNDCLASSA sameInOtherCase = testClass("TABLE");
    EXPECT_EQ(RegisterClassA(&sameInOtherCase), 0) << "class names ignore case";
    WNDCLASSA noProc = testClass("NoProc");
    noProc.lpfnWndProc = nullptr;
    EXPECT_EQ(RegisterClassA(&noProc), 0);
    EXPECT_EQ(RegisterClassA(nullptr), 0);

    EXPECT_FALSE(UnregisterClassA("Unknown", GetModuleHandleA(NULL)));
    EXPECT_FALSE(UnregisterClassA(nullptr, GetModuleHandleA(NULL)));
    EXPECT_TRUE(UnregisterClassA("table", GetModuleHandleA(NULL)));
    EXPECT_FALSE(UnregisterClassA("Table", GetModuleHandleA(NULL))) << "already gone";
    ATOM again = RegisterClassA(&wc);
    EXPECT_NE(again, 0);
    EXPECT_NE(again, atom) << "a new registration gets a new atom";
    EXPECT_TRUE(UnregisterClassA("Table", GetModuleHandleA(NULL)));

    // A full table refuses the next class, and takes one again once a slot is free.
    std::vector<std::string> names;
    ATOM refused = 1;
    for (int i = 0; i <= KVR_CORE_MAX_CLASSES && refused != 0; i++) {
        names.push_back("Full" + std::to_string(i));
        WNDCLASSA full = testClass(names.back().c_str());
        refused = RegisterClassA(&full);
    }
    EXPECT_EQ(refused, 0) << "after " << names.size() << " classes";
    EXPECT_FALSE(UnregisterClassA(names.back().c_str(), GetModuleHandleA(NULL))) << "the refused one";
    EXPECT_TRUE(UnregisterClassA(names.front().c_str(), GetModuleHandleA(NULL)));
    WNDCLASSA last = testClass(names.back().c_str());
    EXPECT_NE(RegisterClassA(&last), 0) << "a slot was freed";
    for (const std::string& name : names) {
        UnregisterClassA(name.c_str(), GetModuleHandleA(NULL));
    }

    // Class atoms stay in 0xC000 to 0xFFFF, starting again at the bottom when the range is used up.
    for (int i = 0; i <= 0x4000; i++) {
        ATOM next = RegisterClassA(&wc);
        ASSERT_GE(next, 0xC000) << i;
        ASSERT_TRUE(UnregisterClassA("Table", GetModuleHandleA(NULL))) << i;
    }
}

TEST_F(X11NoDisplay, StockTokensAreNotNull) {
    EXPECT_NE(GetModuleHandleA(NULL), nullptr);
    EXPECT_EQ(GetModuleHandleA(NULL), GetModuleHandleA(NULL));
    EXPECT_NE(LoadIconA(NULL, IDI_WINLOGO), nullptr);
    EXPECT_NE(LoadIconA(NULL, IDI_APPLICATION), nullptr);
    EXPECT_NE(LoadCursorA(NULL, IDC_ARROW), nullptr);
}

TEST_F(X11NoDisplay, WindowCreationFailsCleanlyAndDesktopQueriesStillAnswer) {
    WNDCLASSA wc = testClass("OpenGL");
    ASSERT_NE(RegisterClassA(&wc), 0);
    EXPECT_EQ(CreateWindowExA(0x40100, "OpenGL", "OpenGL Test", 0x6CF0000, CW_USEDEFAULT, CW_USEDEFAULT, 640,
                              480, NULL, NULL, GetModuleHandleA(NULL), NULL),
              nullptr);
    EXPECT_TRUE(UnregisterClassA("OpenGL", GetModuleHandleA(NULL)))
        << "no window of the class was left behind";

    HDC desktop = GetDC(NULL);
    ASSERT_NE(desktop, nullptr);
    int bits = GetDeviceCaps(desktop, BITSPIXEL);
    EXPECT_TRUE(bits == 24 || bits == 32) << bits;
    EXPECT_EQ(ReleaseDC(NULL, desktop), 1);
    PIXELFORMATDESCRIPTOR pfd = {};
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.cColorBits = 32;
    EXPECT_EQ(ChoosePixelFormat(desktop, &pfd), 0);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 0);
    EXPECT_FALSE(SetCursorPos(10, 10));
    EXPECT_FALSE(SwapBuffers(desktop)) << "the desktop has no pixel format";
    EXPECT_EQ(wglCreateContext(desktop), nullptr);

    // A display that cannot be reached is tried again after short pauses before it counts as
    // absent (at least three pauses of 10 ms; the count seen under strace is three, not four).
    setenv("DISPLAY", ":4093", 1);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(GetDC(NULL), desktop);
    auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_GE(elapsed.count(), 30);
    unsetenv("DISPLAY");
}

TEST_F(X11NoDisplay, NullAndForgedHandlesFailWithoutCrashing) {
    HWND forged = reinterpret_cast<HWND>((uintptr_t)0x1234567);
    RECT rect = {1, 2, 3, 4};
    EXPECT_FALSE(DestroyWindow(NULL));
    EXPECT_FALSE(DestroyWindow(forged));
    EXPECT_FALSE(ShowWindow(forged, SW_SHOW));
    EXPECT_FALSE(SetForegroundWindow(NULL));
    EXPECT_EQ(SetFocus(forged), nullptr);
    EXPECT_EQ(SetWindowLongA(forged, GWL_STYLE, 0), 0);
    EXPECT_FALSE(SetWindowPos(forged, NULL, 0, 0, 10, 10, SWP_NOZORDER));
    EXPECT_FALSE(GetWindowRect(forged, &rect));
    EXPECT_EQ(GetDC(forged), nullptr);
    EXPECT_EQ(ReleaseDC(forged, reinterpret_cast<HDC>(forged)), 0);
    EXPECT_EQ(GetDeviceCaps(NULL, BITSPIXEL), 0);
    EXPECT_EQ(wglCreateContext(NULL), nullptr);
    EXPECT_FALSE(SetPixelFormat(NULL, 1, nullptr));
    EXPECT_FALSE(wglMakeCurrent(NULL, reinterpret_cast<HGLRC>(forged)));
    EXPECT_TRUE(wglMakeCurrent(NULL, NULL)) << "releasing when nothing is current succeeds";
    EXPECT_FALSE(wglDeleteContext(NULL));
    EXPECT_FALSE(SwapBuffers(NULL));
    EXPECT_TRUE(AdjustWindowRectEx(&rect, WS_OVERLAPPEDWINDOW, FALSE, 0));
    EXPECT_EQ(rect.left, 1);
    EXPECT_EQ(rect.bottom, 4) << "the frame is the window manager's: the rectangle stays";
    MSG msg = {};
    msg.hwnd = forged;
    msg.message = WM_KEYDOWN;
    EXPECT_EQ(DispatchMessageA(&msg), 0);
    EXPECT_EQ(DefWindowProcA(forged, WM_CLOSE, 0, 0), 0);
}

TEST_F(X11NoDisplay, QuitMessageCarriesItsCodeAndIsTakenOnce) {
    MSG msg = {};
    EXPECT_FALSE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
    PostQuitMessage(3);
    ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, (UINT)WM_QUIT);
    EXPECT_EQ(msg.wParam, 3u);
    // The quit message passes any filter, and PM_REMOVE takes it away.
    ASSERT_TRUE(PeekMessageA(&msg, NULL, WM_KEYDOWN, WM_KEYUP, PM_REMOVE));
    EXPECT_EQ(msg.message, (UINT)WM_QUIT);
    EXPECT_FALSE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
    PostQuitMessage(-1);
    ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ((int)msg.wParam, -1);

    msg.message = WM_KEYDOWN;
    EXPECT_TRUE(TranslateMessage(&msg));
    msg.message = WM_MOUSEMOVE;
    EXPECT_FALSE(TranslateMessage(&msg));
}

TEST_F(X11NoDisplay, MessageBoxWritesCaptionAndTextToStandardError) {
    ::testing::internal::CaptureStderr();
    int result = MessageBoxA(NULL, "first line\nsecond line", "Error Occurred", MB_ICONERROR);
    std::string written = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(written, "Error Occurred: first line\nsecond line\n");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(NULL, NULL, NULL, MB_OK), IDOK);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error: \n");
}

TEST_F(X11NoDisplay, SleepWaitsTheGivenTime) {
    // Most of a second (its nanoseconds are near the most a wait's fraction of a second may hold),
    // and a whole second, side by side.
    auto start = std::chrono::steady_clock::now();
    long long secondWaited = 0;
    std::thread second([&secondWaited] {
        auto begin = std::chrono::steady_clock::now();
        Sleep(1000);
        secondWaited =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin)
                .count();
    });
    Sleep(910);
    auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    second.join();
    EXPECT_GE(elapsed.count(), 910);
    EXPECT_LT(elapsed.count(), 2000);
    EXPECT_GE(secondWaited, 1000);
    EXPECT_LT(secondWaited, 2000);
    // The layer's own clock counts milliseconds the same way.
    long long before = kvr_coreNowMs();
    Sleep(60);
    long long waited = kvr_coreNowMs() - before;
    EXPECT_GE(waited, 60);
    EXPECT_LT(waited, 1000);
}
