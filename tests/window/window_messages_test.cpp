// window_messages_test.cpp - the window procedure, the pointer and the full-screen toggle.
#include <string>
#include <vector>

#include "window_test_support.h"

namespace {

const LPARAM kAltHeld = 0x20000000;

// Sends a pointer move to client column px and row py.
LRESULT moveTo(int px, int py) {
    return kvr_WndProc(fake::kWindow, WM_MOUSEMOVE, 0, MAKELPARAM(px, py));
}

// Sends a size message for a client area of w by h.
void sizeTo(int w, int h) {
    kvr_WndProc(fake::kWindow, WM_SIZE, 0, MAKELPARAM(w, h));
}

class WindowMessagesTest : public WindowLayerTest {};

TEST_F(WindowMessagesTest, SizeAndActivationUpdateStateBeforeCallbacks) {
    int widthSeen = -1;
    cb::resizeHook = [&](int, int) { widthSeen = kvr_getScreenWidth(); };
    sizeTo(800, 600);
    EXPECT_EQ(kvr_getScreenWidth(), 800);
    EXPECT_EQ(kvr_getScreenHeight(), 600);
    EXPECT_EQ(widthSeen, 800);
    // Sizes above 32767 are unsigned 16-bit values.
    sizeTo(40000, 50000);
    EXPECT_EQ(kvr_getScreenWidth(), 40000);
    EXPECT_EQ(kvr_getScreenHeight(), 50000);

    // Minimising: 0 by 0, whatever the kind of resize.
    EXPECT_EQ(kvr_WndProc(fake::kWindow, WM_SIZE, SIZE_MINIMIZED, MAKELPARAM(0, 0)), 0);
    EXPECT_EQ(cb::events.back(), "onResize(0, 0)");
    EXPECT_EQ(kvr_getScreenWidth(), 0);
    EXPECT_EQ(kvr_getScreenHeight(), 0);
    EXPECT_EQ(kvr_WndProc(fake::kWindow, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1), 0), 0);
    EXPECT_EQ(kvr_isActive(), 0);
    // Merely deactivated (not minimised) counts as active.
    kvr_WndProc(fake::kWindow, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), 0);
    EXPECT_EQ(kvr_isActive(), 1);
    EXPECT_EQ(fake::count("DefWindowProcA"), 0u);
}

TEST_F(WindowMessagesTest, CloseOnlyPostsQuit) {
    ASSERT_EQ(kvr_createWindow("t", 640, 480, 0, 0, 32), 1);
    fake::queue.clear();
    EXPECT_EQ(fake::send(WM_CLOSE), 0);
    EXPECT_EQ(fake::named("PostQuitMessage").at(0)->line, "PostQuitMessage(0)");
    ASSERT_EQ(fake::queue.size(), 1u);
    EXPECT_EQ(fake::queue.front().message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(fake::queue.front().wParam, 0u);
    EXPECT_TRUE(fake::windowExists);
    EXPECT_EQ(fake::count("DestroyWindow"), 0u);
    EXPECT_EQ(fake::count("DefWindowProcA"), 0u);
}

TEST_F(WindowMessagesTest, KeysAreFlaggedBeforeOnKeyDownAndAutoRepeatsReportAgain) {
    int flagSeen = -1;
    cb::keyHook = [&](int key) { flagSeen = kvr_isKeyDown(key); };
    EXPECT_EQ(kvr_WndProc(fake::kWindow, WM_KEYDOWN, 'W', 0x00110001), 0);
    EXPECT_EQ(flagSeen, 1);
    EXPECT_EQ(kvr_isKeyDown('W'), 1);
    kvr_WndProc(fake::kWindow, WM_KEYDOWN, 'W', 0x40110001);  // auto-repeat
    EXPECT_EQ(cb::count("onKeyDown(87)"), 2u);
    EXPECT_EQ(kvr_isKeyDown('W'), 1);
    EXPECT_EQ(kvr_WndProc(fake::kWindow, WM_KEYUP, 'W', 0xC0110001), 0);
    EXPECT_EQ(kvr_isKeyDown('W'), 0);
    EXPECT_EQ(cb::count("onKeyDown"), 2u);

    // Plain Enter is a key like any other and does not toggle.
    kvr_WndProc(fake::kWindow, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    EXPECT_EQ(cb::events.back(), "onKeyDown(13)");
    EXPECT_EQ(kvr_isKeyDown(VK_RETURN), 1);
    EXPECT_EQ(kvr_isFullscreen(), 0);
    EXPECT_EQ(fake::count("SetWindowPos"), 0u);
    EXPECT_EQ(fake::count("DefWindowProcA"), 0u);
}

TEST_F(WindowMessagesTest, KeyCodesOutsideTheTableAreIgnored) {
    const WPARAM codes[] = {256, 300, 0x10000, static_cast<WPARAM>(-1)};
    for (WPARAM code : codes) {
        EXPECT_EQ(kvr_WndProc(fake::kWindow, WM_KEYDOWN, code, 0), 0);
        EXPECT_EQ(kvr_WndProc(fake::kWindow, WM_KEYUP, code, 0), 0);
    }
    EXPECT_TRUE(cb::events.empty());
    for (int k = 0; k < 256; ++k) {
        EXPECT_EQ(kvr_keys[k], 0) << k;
    }
    // Both ends of the table are keys.
    kvr_WndProc(fake::kWindow, WM_KEYDOWN, 255, 0);
    kvr_WndProc(fake::kWindow, WM_KEYDOWN, 0, 0);
    EXPECT_EQ(kvr_isKeyDown(255), 1);
    EXPECT_EQ(kvr_isKeyDown(0), 1);
    EXPECT_EQ(kvr_isKeyDown(256), 0);
    EXPECT_EQ(kvr_isKeyDown(-1), 0);
    EXPECT_EQ(kvr_isKeyDown(1 << 30), 0);
}

TEST_F(WindowMessagesTest, SystemKeysToggleOnAltEnterAndOtherwiseGoToTheDefault) {
    ASSERT_EQ(kvr_createWindow("t", 640, 480, 0, 0, 32), 1);
    fake::defWindowProcResult = 1234;

    EXPECT_EQ(fake::send(WM_SYSKEYDOWN, VK_RETURN, kAltHeld | 0x1C0001), 0);
    EXPECT_EQ(kvr_isFullscreen(), 1);
    EXPECT_EQ(fake::send(WM_SYSKEYDOWN, VK_RETURN, kAltHeld | 0x1C0001), 0);
    EXPECT_EQ(kvr_isFullscreen(), 0);
    // Its character is taken too: the default would start the keyboard menu mode.
    EXPECT_EQ(fake::send(WM_SYSCHAR, '\r', kAltHeld | 0x1C0001), 0);
    EXPECT_EQ(fake::count("DefWindowProcA"), 0u);
    EXPECT_EQ(kvr_isFullscreen(), 0);
    EXPECT_EQ(fake::send(WM_SYSCHAR, 'a', kAltHeld | 0x1E0001), 1234);
    EXPECT_EQ(fake::send(WM_SYSCHAR, '\r', 0x1C0001), 1234);
    EXPECT_EQ(fake::count("DefWindowProcA"), 2u);
    fake::calls.clear();

    // Alt with another key, and Enter as a system key without Alt, get default handling.
    EXPECT_EQ(fake::send(WM_SYSKEYDOWN, 'A', kAltHeld | 0x1E0001), 1234);
    EXPECT_EQ(fake::send(WM_SYSKEYDOWN, VK_RETURN, 0x1C0001), 1234);
    EXPECT_EQ(fake::send(WM_SYSKEYDOWN, VK_F10, 0x440001), 1234);
    auto defaults = fake::named("DefWindowProcA");
    ASSERT_EQ(defaults.size(), 3u);
    EXPECT_EQ(defaults[0]->line,
              "DefWindowProcA(" + std::to_string(reinterpret_cast<intptr_t>(fake::kWindow)) + ", " +
                  std::to_string(WM_SYSKEYDOWN) + ", 65, " + std::to_string(kAltHeld | 0x1E0001) + ")");
    EXPECT_EQ(kvr_isFullscreen(), 0);
    EXPECT_EQ(kvr_isKeyDown('A'), 0);
    EXPECT_EQ(kvr_isKeyDown(VK_F10), 0);
    EXPECT_EQ(cb::count("onKeyDown"), 0u);
}

TEST_F(WindowMessagesTest, ButtonsWheelAndUnhandledMessages) {
    fake::defWindowProcResult = 55;
    EXPECT_EQ(kvr_WndProc(fake::kWindow, WM_LBUTTONUP, 0, 0), 0);
    EXPECT_EQ(cb::events.back(), "onMouseClick()");
    EXPECT_EQ(kvr_WndProc(fake::kWindow, WM_RBUTTONDOWN, MK_RBUTTON, 0), 0);
    EXPECT_EQ(kvr_isRightMouseButtonDown(), 1);
    EXPECT_EQ(kvr_WndProc(fake::kWindow, WM_RBUTTONUP, 0, 0), 0);
    EXPECT_EQ(kvr_isRightMouseButtonDown(), 0);

    // The wheel's wParam arrives unchanged: high word the signed delta.
    WPARAM towards = MAKEWPARAM(MK_SHIFT, -WHEEL_DELTA);
    EXPECT_EQ(kvr_WndProc(fake::kWindow, WM_MOUSEWHEEL, towards, 0), 0);
    EXPECT_EQ(cb::events.back(), "onMouseWheel(" + std::to_string(static_cast<int>(towards)) + ")");
    EXPECT_EQ(static_cast<int>(towards) >> 16, -WHEEL_DELTA);
    EXPECT_EQ(fake::count("DefWindowProcA"), 0u);

    // The unlisted messages go to the default and call nothing.
    const UINT unhandled[] = {WM_ERASEBKGND, WM_DESTROY, WM_LBUTTONDOWN, WM_SYSKEYUP, WM_SYSCOMMAND};
    std::size_t before = cb::events.size();
    for (UINT m : unhandled) {
        EXPECT_EQ(kvr_WndProc(fake::kWindow, m, 3, 4), 55) << m;
    }
    EXPECT_EQ(fake::count("DefWindowProcA"), 5u);
    EXPECT_EQ(cb::events.size(), before);
}

TEST_F(WindowMessagesTest, PaintValidatesAndDrawsThePictureAgainAtTheCurrentSize) {
    // Nothing to draw before the first size message, nor while minimised.
    EXPECT_EQ(kvr_WndProc(fake::kWindow, WM_PAINT, 0, 0), 0);
    sizeTo(0, 0);
    cb::events.clear();
    EXPECT_EQ(kvr_WndProc(fake::kWindow, WM_PAINT, 0, 0), 0);
    EXPECT_TRUE(cb::events.empty());
    sizeTo(640, 480);
    cb::events.clear();
    fake::calls.clear();
    EXPECT_EQ(kvr_WndProc(fake::kWindow, WM_PAINT, 0, 0), 0);
    ASSERT_EQ(cb::events.size(), 1u);
    EXPECT_EQ(cb::events[0], "onResize(640, 480)");
    // The default handling validates the update region, so no second paint message follows.
    auto defaults = fake::named("DefWindowProcA");
    ASSERT_EQ(defaults.size(), 1u);
    EXPECT_EQ(defaults[0]->line, "DefWindowProcA(" +
                                     std::to_string(reinterpret_cast<intptr_t>(fake::kWindow)) + ", " +
                                     std::to_string(WM_PAINT) + ", 0, 0)");
}

TEST_F(WindowMessagesTest, PointerIsNormalisedAboutTheClientCentre) {
    sizeTo(640, 480);
    cb::events.clear();
    EXPECT_EQ(moveTo(0, 240), 0);
    EXPECT_EQ(cb::lastX, -1.0);
    EXPECT_EQ(cb::lastY, 0.0);
    moveTo(320, 0);
    EXPECT_EQ(cb::lastX, 0.0);
    EXPECT_EQ(cb::lastY, -1.0);
    moveTo(639, 479);
    EXPECT_DOUBLE_EQ(cb::lastX, 319.0 / 320.0);
    EXPECT_DOUBLE_EQ(cb::lastY, 239.0 / 240.0);
    // Coordinates are signed 16-bit values (a pointer left of or above the client area).
    moveTo(-32, -24);
    EXPECT_DOUBLE_EQ(cb::lastX, -352.0 / 320.0);
    EXPECT_DOUBLE_EQ(cb::lastY, -264.0 / 240.0);
    EXPECT_EQ(cb::count("onMouseMove"), 4u);
    EXPECT_EQ(fake::count("SetCursorPos"), 0u);  // no wrap in the windowed form

    // The left edge and the top are exactly -1 for every size.
    for (int half = 1; half <= 2100; ++half) {
        sizeTo(2 * half + (half & 1), 2 * half);
        moveTo(0, 0);
        ASSERT_EQ(cb::lastX, -1.0) << "half width " << half;
        ASSERT_EQ(cb::lastY, -1.0) << "half height " << half;
    }
    // An odd width reaches exactly +1 at its last column.
    sizeTo(641, 481);
    moveTo(640, 480);
    EXPECT_EQ(cb::lastX, 1.0);
    EXPECT_EQ(cb::lastY, 1.0);
}

TEST_F(WindowMessagesTest, TinyClientAreaReportsNoMove) {
    const int sizes[][2] = {{0, 0}, {1, 480}, {640, 1}, {0, 480}, {640, 0}, {1, 1}};
    for (const auto& s : sizes) {
        sizeTo(s[0], s[1]);
        EXPECT_EQ(moveTo(0, 0), 0);
        EXPECT_EQ(moveTo(5, 7), 0);
    }
    EXPECT_EQ(cb::count("onMouseMove"), 0u);
    sizeTo(2, 2);
    moveTo(1, 1);
    EXPECT_EQ(cb::count("onMouseMove"), 1u);
}

TEST_F(WindowMessagesTest, FullScreenPointerWrapsAtTheSideEdges) {
    kvr_isFullscreenFlag = 1;
    sizeTo(1920, 1080);
    cb::events.clear();

    const struct {
        int px;
        int wrapTo;
    } edges[] = {{1919, 1}, {1920, 1}, {5000, 1}, {0, 1918}, {-1, 1918}, {-300, 1918}};
    for (const auto& e : edges) {
        fake::calls.clear();
        EXPECT_EQ(moveTo(e.px, 333), 0);
        ASSERT_EQ(fake::count("SetCursorPos"), 1u) << e.px;
        EXPECT_EQ(fake::calls.back().line, "SetCursorPos(" + std::to_string(e.wrapTo) + ", 333)");
    }
    EXPECT_EQ(cb::count("onMouseMove"), 0u);

    // The moves that follow a wrap are reported normally.
    fake::calls.clear();
    moveTo(1, 540);
    EXPECT_DOUBLE_EQ(cb::lastX, -959.0 / 960.0);
    EXPECT_EQ(cb::lastY, 0.0);
    moveTo(1918, 540);
    EXPECT_DOUBLE_EQ(cb::lastX, 958.0 / 960.0);
    EXPECT_EQ(cb::count("onMouseMove"), 2u);
    EXPECT_EQ(fake::count("SetCursorPos"), 0u);
}

TEST_F(WindowMessagesTest, ToggleSwitchesFormsAndRestoresTheSavedRectangle) {
    ASSERT_EQ(kvr_createWindow("t", 640, 480, 70, 50, 32), 1);
    const RECT before = fake::windowRect;
    kvr_lastResult = 77;
    int flagDuringResize = -1;
    cb::resizeHook = [&](int, int) { flagDuringResize = kvr_isFullscreen(); };
    const std::string wnd = std::to_string(reinterpret_cast<intptr_t>(fake::kWindow));

    std::size_t from = fake::calls.size();
    EXPECT_EQ(kvr_toggleFullScreen(), 1);
    std::vector<std::string> lines;
    for (std::size_t i = from; i < fake::calls.size(); ++i) {
        lines.push_back(fake::calls[i].line);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "GetWindowRect(" + wnd + ")",
                         "SetWindowLongA(" + wnd + ", -20, " + std::to_string(0x40000) + ")",
                         "SetWindowLongA(" + wnd + ", -16, " +
                             std::to_string(static_cast<int32_t>(0x80000000u)) + ")",
                         "GetSystemMetrics(1)",
                         "GetSystemMetrics(0)",
                         "SetWindowPos(" + wnd + ", -1, 0, 0, 1920, 1080, 68)",
                     }));
    EXPECT_EQ(kvr_isFullscreen(), 1);
    EXPECT_EQ(flagDuringResize, 0);  // the size message came before the flag changed
    EXPECT_EQ(cb::events.back(), "onResize(1920, 1080)");
    EXPECT_EQ(kvr_screenWidth, 1920);
    EXPECT_EQ(kvr_winRect.left, before.left);
    EXPECT_EQ(kvr_winRect.bottom, before.bottom);

    from = fake::calls.size();
    EXPECT_EQ(kvr_toggleFullScreen(), 1);
    lines.clear();
    for (std::size_t i = from; i < fake::calls.size(); ++i) {
        lines.push_back(fake::calls[i].line);
    }
    EXPECT_EQ(lines,
              (std::vector<std::string>{
                  "SetWindowLongA(" + wnd + ", -20, " + std::to_string(0x40100) + ")",
                  "SetWindowLongA(" + wnd + ", -16, " + std::to_string(0x6CF0000) + ")",
                  "SetWindowPos(" + wnd + ", 0, 70, 50, " + std::to_string(before.right - before.left) +
                      ", " + std::to_string(before.bottom - before.top) + ", 68)",
              }));
    EXPECT_EQ(kvr_isFullscreen(), 0);
    EXPECT_EQ(flagDuringResize, 1);
    EXPECT_EQ(cb::events.back(), "onResize(640, 480)");
    EXPECT_EQ(fake::windowRect.left, before.left);
    EXPECT_EQ(fake::windowRect.top, before.top);
    EXPECT_EQ(fake::windowRect.right, before.right);
    EXPECT_EQ(fake::windowRect.bottom, before.bottom);
    EXPECT_EQ(fake::style, 0x6CF0000u);
    EXPECT_EQ(fake::exStyle, 0x40100u);
    EXPECT_EQ(kvr_lastResult, 77);  // the toggle does not touch it
}

TEST_F(WindowMessagesTest, EscapeStyleToggleFromInsideAKeyDownReentersTheProcedure) {
    ASSERT_EQ(kvr_createWindow("t", 640, 480, 0, 0, 32), 1);
    kvr_toggleFullScreen();
    cb::keyHook = [](int key) {
        if (key == VK_ESCAPE && kvr_isFullscreen()) {
            kvr_toggleFullScreen();
        }
    };
    EXPECT_EQ(fake::send(WM_KEYDOWN, VK_ESCAPE, 0x10001), 0);
    EXPECT_EQ(kvr_isFullscreen(), 0);
    EXPECT_EQ(cb::events.back(), "onResize(640, 480)");
    EXPECT_EQ(kvr_isKeyDown(VK_ESCAPE), 1);
}

}  // namespace
