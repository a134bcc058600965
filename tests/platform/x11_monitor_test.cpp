// x11_monitor_test.cpp - two monitors on one X screen, the primary not at the origin: the
// screen metrics, window placement, full screen, pointer warps and wheel positions all follow
// the primary monitor, whose corner is the origin of screen coordinates. The real viewer's full
// screen and pointer wrap on them are checked in x11_program_test.cpp.
#include <gtest/gtest.h>

#include "x11_test_support.h"
#include "x11_state.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/Xinerama.h>

using x11test::kLeftMonitor;
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

// Makes the window full screen while a stand-in window manager offers
// _NET_WM_FULLSCREEN_MONITORS and watches the root; the requests the window sent it, in order.
std::vector<XClientMessageEvent> fullScreenRequests(HWND hwnd) {
    Display* d = x11test::input();
    Window root = DefaultRootWindow(d);
    Atom check = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", False);
    Atom supported = XInternAtom(d, "_NET_SUPPORTED", False);
    Window manager = XCreateSimpleWindow(d, root, 0, 0, 1, 1, 0, 0, 0);
    XChangeProperty(d, root, check, XA_WINDOW, 32, PropModeReplace, (unsigned char*)&manager, 1);
    XChangeProperty(d, manager, check, XA_WINDOW, 32, PropModeReplace, (unsigned char*)&manager, 1);
    Atom offered[2] = {XInternAtom(d, "_NET_WM_STATE_FULLSCREEN", False),
                       XInternAtom(d, "_NET_WM_FULLSCREEN_MONITORS", False)};
    XChangeProperty(d, root, supported, XA_ATOM, 32, PropModeReplace, (unsigned char*)offered, 2);
    XSelectInput(d, root, SubstructureNotifyMask);
    XSync(d, False);

    SetWindowLongA(hwnd, GWL_STYLE, (LONG)0x80000000u);
    EXPECT_TRUE(SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                             GetSystemMetrics(SM_CYSCREEN), SWP_SHOWWINDOW | SWP_NOZORDER));
    XSync(d, False);
    std::vector<XClientMessageEvent> requests;
    while (XPending(d) > 0) {
        XEvent event;
        XNextEvent(d, &event);
        if (event.type == ClientMessage && event.xclient.window == x11test::xwindowOf(hwnd)) {
            requests.push_back(event.xclient);
        }
    }
    XSelectInput(d, root, NoEventMask);
    XDeleteProperty(d, root, check);
    XDeleteProperty(d, root, supported);
    XDestroyWindow(d, manager);
    XSync(d, False);
    return requests;
}

// Expects the request that pins the full-screen window to one monitor.
void expectPin(const XClientMessageEvent& request, long index) {
    EXPECT_EQ(request.message_type, XInternAtom(x11test::input(), "_NET_WM_FULLSCREEN_MONITORS", False));
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(request.data.l[i], index) << "top, bottom, left and right monitor";
    }
    EXPECT_EQ(request.data.l[4], 1) << "from an application";
}

// Expects the request that adds full screen to the window's state.
void expectFullScreenRequest(const XClientMessageEvent& request) {
    Display* d = x11test::input();
    EXPECT_EQ(request.message_type, XInternAtom(d, "_NET_WM_STATE", False));
    EXPECT_EQ(request.data.l[0], 1) << "add full screen";
    EXPECT_EQ((Atom)request.data.l[1], XInternAtom(d, "_NET_WM_STATE_FULLSCREEN", False));
    EXPECT_EQ(request.data.l[2], 0) << "no second property";
    EXPECT_EQ(request.data.l[3], 1) << "from an application";
}

}  // namespace

// Rectangles compare field by field, and print so.
static bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
static void PrintTo(const RECT& r, std::ostream* out) {
    *out << "(" << r.left << ", " << r.top << ") - (" << r.right << ", " << r.bottom << ")";
}

// The monitors and the root's properties are the server's: these tests run on a private one.
// The primary comes last in both monitor lists here; the viewer's own run in x11_program_test.cpp
// sees the server's order, the primary first.
class X11Monitors : public ::testing::Test {
protected:
    void SetUp() override {
        KVR_NEED_PRIVATE_SERVER();
        x11test::primaryLast = true;
    }
    void TearDown() override {
        x11test::primaryLast = false;
        x11test::poseScreens = false;
        x11test::closeWindow();
        if (x11test::onPrivateServer()) {
            x11test::removeMonitors();
        }
    }
};

TEST_F(X11Monitors, MetricsPlacementPointerAndWheelFollowThePrimary) {
    Display* d = x11test::input();
    int screenWidth = DisplayWidth(d, DefaultScreen(d)), screenHeight = DisplayHeight(d, DefaultScreen(d));
    ASSERT_GE(screenWidth, kPrimaryMonitor.right);
    ASSERT_GE(screenHeight, kPrimaryMonitor.bottom);
    // One RandR monitor is the primary, whatever Xinerama says.
    x11test::poseScreens = true;
    x11test::posedScreens = {kLeftMonitor};
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), screenWidth) << "one monitor: the whole screen";
    x11test::poseScreens = false;
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
    EXPECT_EQ(rect.right - rect.left, 640) << "the size, whatever the primary's corner";
    EXPECT_EQ(rect.bottom - rect.top, 480);
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

TEST_F(X11Monitors, FullScreenIsPinnedToThePrimaryWhereTheManagerOffersIt) {
    ASSERT_TRUE(x11test::addMonitors()) << "the server has no RandR 1.5 monitors";
    HWND hwnd = x11test::openWindow();
    ASSERT_NE(hwnd, nullptr);
    std::vector<XClientMessageEvent> requests = fullScreenRequests(hwnd);
    EXPECT_EQ(rootRect(x11test::xwindowOf(hwnd)), kPrimaryMonitor)
        << "full screen covers exactly the primary";
    // The primary's index among the Xinerama screens, which the manager counts by.
    Display* d = x11test::input();
    int count = 0, primaryIndex = -1;
    XineramaScreenInfo* screens = XineramaQueryScreens(d, &count);
    for (int i = 0; i < count; i++) {
        if (screens[i].x_org == kPrimaryMonitor.left && screens[i].y_org == kPrimaryMonitor.top &&
            screens[i].width == kPrimaryMonitor.right - kPrimaryMonitor.left) {
            primaryIndex = i;
        }
    }
    if (screens != nullptr) {
        XFree(screens);
    }
    ASSERT_GE(primaryIndex, 0);
    ASSERT_EQ(requests.size(), 2u) << "the pin, then the full-screen request";
    expectPin(requests[0], primaryIndex);
    expectFullScreenRequest(requests[1]);
}

// The layer's view of the server's extensions is posed (see x11_test_support.h), and it asks
// once per connection: these run on a private Xvfb in a fresh process.
class X11MonitorsPosed : public ::testing::Test {
protected:
    void SetUp() override { KVR_NEED_FRESH_PRIVATE_SERVER(); }
    void TearDown() override {
        x11test::closeWindow();
        x11test::poseScreens = false;
        x11test::posedScreens.clear();
        if (x11test::onPrivateServer()) {
            x11test::removeMonitors();
        }
        x11test::randrWithoutMonitors = false;
        x11test::xineramaInactive = false;
    }
};

TEST_F(X11MonitorsPosed, WithoutRandRMonitorsXineramasFirstScreenIsThePrimary) {
    x11test::randrWithoutMonitors = true;
    x11test::poseScreens = true;
    const RECT first = {400, 100, 1680, 820}, second = {0, 0, 400, 1080};
    x11test::posedScreens = {first, second};
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1280);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 720);
    HWND hwnd = x11test::openWindow();
    ASSERT_NE(hwnd, nullptr);
    RECT rect;
    ASSERT_TRUE(GetWindowRect(hwnd, &rect));
    EXPECT_EQ(rect.left, (1280 - 640) / 2);
    EXPECT_EQ(rect.top, (720 - 480) / 2);
    RECT onRoot = rootRect(x11test::xwindowOf(hwnd));
    EXPECT_EQ(onRoot.left, first.left + rect.left) << "screen coordinates start at its corner";
    EXPECT_EQ(onRoot.top, first.top + rect.top);
    std::vector<XClientMessageEvent> requests = fullScreenRequests(hwnd);
    EXPECT_EQ(rootRect(x11test::xwindowOf(hwnd)), first);
    ASSERT_EQ(requests.size(), 2u) << "the pin, then the full-screen request";
    expectPin(requests[0], 0);
    expectFullScreenRequest(requests[1]);

    // One screen that is not the whole X screen is the primary too.
    x11test::posedScreens = {{200, 150, 1224, 918}};
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
    // An answer of no screens leaves the whole X screen, even when a block came with it.
    x11test::posedScreens.clear();
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1920);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 1080);
}

TEST_F(X11MonitorsPosed, WithoutXineramaRandRDecidesAndFullScreenIsNotPinned) {
    x11test::xineramaInactive = true;
    ASSERT_TRUE(x11test::addMonitors()) << "the server has no RandR 1.5 monitors";
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), kPrimaryMonitor.right - kPrimaryMonitor.left);
    HWND hwnd = x11test::openWindow();
    ASSERT_NE(hwnd, nullptr);
    std::vector<XClientMessageEvent> requests = fullScreenRequests(hwnd);
    EXPECT_EQ(rootRect(x11test::xwindowOf(hwnd)), kPrimaryMonitor);
    // The manager counts monitors as Xinerama does; without it there is no index to pin to.
    ASSERT_EQ(requests.size(), 1u) << "the full-screen request alone";
    expectFullScreenRequest(requests[0]);
}

// Xwayland as the layer sees it (see x11test::poseAsXwayland), on a private Xvfb in a fresh process.
class X11Xwayland : public ::testing::Test {
protected:
    void SetUp() override {
        KVR_NEED_FRESH_PRIVATE_SERVER();
        x11test::poseAsXwayland = true;
        x11test::xwaylandSeat = false;
    }
    void TearDown() override {
        x11test::closeWindow();
        x11test::poseAsXwayland = false;
        x11test::xwaylandSeat = false;
    }
    // The picture of the cursor the server shows at the pointer, one ARGB value a pixel.
    static std::vector<unsigned long> cursorPicture() {
        XSync(kvr_x11.display, False);
        x11test::settle();
        XFixesCursorImage* image = XFixesGetCursorImage(x11test::input());
        std::vector<unsigned long> pixels;
        if (image != nullptr) {
            pixels.assign(image->pixels, image->pixels + image->width * image->height);
            XFree(image);
        }
        return pixels;
    }
    // Whether that cursor has a visible pixel.
    static bool cursorShown() {
        for (unsigned long pixel : cursorPicture()) {
            if ((pixel >> 24) != 0) {
                return true;
            }
        }
        return false;
    }
};

TEST_F(X11Xwayland, WarpsWaitForASeatAndFullScreenHidesTheCursor) {
    // A compositor without a seat gives Xwayland no pointer, and a warp there would crash it.
    EXPECT_FALSE(SetCursorPos(300, 200)) << "no pointer to warp without a seat";
    x11test::xwaylandSeat = true;
    ASSERT_TRUE(SetCursorPos(300, 200));
    XSync(kvr_x11.display, False);
    EXPECT_EQ(pointer().x, 300);
    EXPECT_EQ(pointer().y, 200);

    // Xwayland carries out warps only while the cursor is hidden: a full-screen window shows none,
    // a window shows its class's arrow, before and after.
    HWND hwnd = x11test::openWindow();
    ASSERT_NE(hwnd, nullptr);
    RECT window = {};
    ASSERT_TRUE(GetWindowRect(hwnd, &window));
    x11test::moveTo(window.left - 20, window.top - 20);
    std::vector<unsigned long> rootCursor = cursorPicture();
    x11test::moveTo((window.left + window.right) / 2, (window.top + window.bottom) / 2);
    EXPECT_TRUE(cursorShown()) << "the arrow in a window";
    EXPECT_NE(cursorPicture(), rootCursor) << "the class's arrow, not the root's cursor";
    int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    SetWindowLongA(hwnd, GWL_EXSTYLE, 0x40000);
    SetWindowLongA(hwnd, GWL_STYLE, (LONG)0x80000000u);
    ASSERT_TRUE(SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, sw, sh, SWP_SHOWWINDOW | SWP_NOZORDER));
    x11test::moveTo(sw / 2, sh / 2);
    EXPECT_FALSE(cursorShown()) << "no cursor in full screen";
    SetWindowLongA(hwnd, GWL_EXSTYLE, 0x40100);
    SetWindowLongA(hwnd, GWL_STYLE, 0x6CF0000);
    ASSERT_TRUE(SetWindowPos(hwnd, HWND_NOTOPMOST, window.left, window.top, 640, 480, SWP_SHOWWINDOW));
    x11test::moveTo((window.left + window.right) / 2, (window.top + window.bottom) / 2);
    EXPECT_TRUE(cursorShown()) << "the arrow again once the window leaves full screen";
}
