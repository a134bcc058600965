// x11_monitor_test.cpp - two monitors on one X screen, the primary not at the origin: the
// screen metrics, window placement, full screen, pointer warps and wheel positions all follow
// the primary monitor, whose corner is the origin of screen coordinates.
#include <gtest/gtest.h>

#include "x11_test_support.h"

#include <X11/Xutil.h>

using x11test::kPrimaryMonitor;
using x11test::messagesOf;
using x11test::received;

namespace {

// The client rectangle of an X window on the root, as the server holds it.
RECT rootRect(Window w) {
    Display* d = x11test::input();
    XWindowAttributes attributes = {};
    int x = 0, y = 0;
    Window child = 0;
    XSync(d, False);
    XGetWindowAttributes(d, w, &attributes);
    XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &x, &y, &child);
    return {x, y, x + attributes.width, y + attributes.height};
}

// The pointer's position on the root.
POINT pointer() {
    Display* d = x11test::input();
    Window root = 0, child = 0;
    int x = 0, y = 0, wx = 0, wy = 0;
    unsigned mask = 0;
    XQueryPointer(d, DefaultRootWindow(d), &root, &child, &x, &y, &wx, &wy, &mask);
    return {x, y};
}

}  // namespace

class X11Monitors : public ::testing::Test {
protected:
    void SetUp() override { KVR_NEED_DISPLAY(); }
    void TearDown() override {
        x11test::closeWindow();
        if (x11test::displayAvailable()) {
            x11test::removeMonitors();
        }
    }
};

TEST_F(X11Monitors, MetricsPlacementFullScreenAndPointerFollowThePrimary) {
    Display* d = x11test::input();
    int screenWidth = DisplayWidth(d, DefaultScreen(d)), screenHeight = DisplayHeight(d, DefaultScreen(d));
    ASSERT_GE(screenWidth, kPrimaryMonitor.right);
    ASSERT_GE(screenHeight, kPrimaryMonitor.bottom);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), screenWidth) << "one monitor: the whole screen";
    ASSERT_TRUE(x11test::addMonitors()) << "the server has no RandR 1.5 monitors";
    // Monitors defined while the program runs change the answers (no notification comes for them).
    const int width = kPrimaryMonitor.right - kPrimaryMonitor.left;
    const int height = kPrimaryMonitor.bottom - kPrimaryMonitor.top;
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), width);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), height);

    // The default position centres the window on the primary; screen coordinates start at its corner.
    HWND hwnd = x11test::openWindow();
    ASSERT_NE(hwnd, nullptr);
    Window w = x11test::xwindowOf(hwnd);
    RECT rect;
    ASSERT_TRUE(GetWindowRect(hwnd, &rect));
    EXPECT_EQ(rect.left, (width - 640) / 2);
    EXPECT_EQ(rect.top, (height - 480) / 2);
    RECT onRoot = rootRect(w);
    EXPECT_EQ(onRoot.left, kPrimaryMonitor.left + rect.left);
    EXPECT_EQ(onRoot.top, kPrimaryMonitor.top + rect.top);
    ASSERT_TRUE(SetWindowPos(hwnd, NULL, 10, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER));
    ASSERT_TRUE(GetWindowRect(hwnd, &rect));
    EXPECT_EQ(rect.left, 10);
    EXPECT_EQ(rect.top, 20);
    onRoot = rootRect(w);
    EXPECT_EQ(onRoot.left, kPrimaryMonitor.left + 10);
    EXPECT_EQ(onRoot.top, kPrimaryMonitor.top + 20);

    // The wheel's position is in screen coordinates too.
    x11test::pumpFor(50);
    received.clear();
    x11test::moveTo(kPrimaryMonitor.left + 100, kPrimaryMonitor.top + 120);
    x11test::button(4, true);
    x11test::button(4, false);
    ASSERT_TRUE(x11test::pumpUntil([] { return !messagesOf(WM_MOUSEWHEEL).empty(); }, 2000));
    LPARAM wheelAt = messagesOf(WM_MOUSEWHEEL)[0].lParam;
    EXPECT_EQ((short)LOWORD(wheelAt), 100);
    EXPECT_EQ((short)HIWORD(wheelAt), 120);

    // Full screen, as the viewer asks for it, covers exactly the primary.
    SetWindowLongA(hwnd, GWL_EXSTYLE, 0x40000);
    SetWindowLongA(hwnd, GWL_STYLE, (LONG)0x80000000u);
    received.clear();
    ASSERT_TRUE(SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                             GetSystemMetrics(SM_CYSCREEN), SWP_SHOWWINDOW | SWP_NOZORDER));
    auto sizes = messagesOf(WM_SIZE);
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(LOWORD(sizes[0].lParam), width);
    EXPECT_EQ(HIWORD(sizes[0].lParam), height);
    onRoot = rootRect(w);
    EXPECT_EQ(onRoot.left, kPrimaryMonitor.left);
    EXPECT_EQ(onRoot.top, kPrimaryMonitor.top);
    EXPECT_EQ(onRoot.right, kPrimaryMonitor.right);
    EXPECT_EQ(onRoot.bottom, kPrimaryMonitor.bottom);

    // A warp to screen coordinates lands relative to the primary's corner.
    ASSERT_TRUE(SetCursorPos(width - 2, 5));
    x11test::pumpUntil([] { return pointer().y == kPrimaryMonitor.top + 5; }, 1000);
    POINT at = pointer();
    EXPECT_EQ(at.x, kPrimaryMonitor.left + width - 2);
    EXPECT_EQ(at.y, kPrimaryMonitor.top + 5);

    // With the monitors gone the whole screen is the screen again.
    x11test::removeMonitors();
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), screenWidth);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), screenHeight);
}
