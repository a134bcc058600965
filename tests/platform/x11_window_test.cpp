// x11_window_test.cpp - windows, pixel formats, contexts, full screen and closing, made
// through the Win32 calls on a real X server.
#include <gtest/gtest.h>

#include "x11_test_support.h"
#include "x_driver.h"
#include "xres_count.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/extensions/Xcomposite.h>
#include <X11/extensions/XTest.h>
#include <X11/Xutil.h>

#include <cstring>

#include "x11_state.h"

#include <dlfcn.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

using x11test::messagesOf;
using x11test::received;

namespace {

// True when the window, or one of its children (a window manager's frame holds the client), is
// a test window.
bool holdsTestWindow(Display* d, Window w, int depth) {
    char* name = nullptr;
    bool found = XFetchName(d, w, &name) && name != nullptr && std::strcmp(name, "Platform Test") == 0;
    if (name != nullptr) {
        XFree(name);
    }
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (!found && depth > 0 && XQueryTree(d, w, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count && !found; i++) {
            found = holdsTestWindow(d, children[i], depth - 1);
        }
    }
    if (children != nullptr) {
        XFree(children);
    }
    return found;
}

// Number of top-level windows on the root that are test windows or hold one. (A window manager's
// own windows, and the empty frames it drops in its own time, are not counted.)
int rootChildCount() {
    Display* d = x11test::input();
    int held = 0;
    for (Window w : xdrv::rootChildren(d)) {
        held += holdsTestWindow(d, w, 2) ? 1 : 0;
    }
    XSync(d, False);
    return held;
}

// Sets the ICCCM WM_STATE of a window, as a window manager does on iconify and restore.
void setWmState(Window w, long state) {
    Display* d = x11test::input();
    Atom wmState = XInternAtom(d, "WM_STATE", False);
    long data[2] = {state, 0};
    XChangeProperty(d, w, wmState, wmState, 32, PropModeReplace, (unsigned char*)data, 2);
    XSync(d, False);
}

// The position, size and gravity a window's WM_NORMAL_HINTS give the window manager;
// false when it has none.
bool normalHints(Window w, XSizeHints* hints) {
    long supplied = 0;
    return XGetWMNormalHints(x11test::input(), w, hints, &supplied) != 0;
}

// When set, the next direct context is refused with an X error (as a server without direct
// rendering for the config does) and the indirect attempt that follows succeeds.
bool refuseDirectContext = false;
// While set, X refuses the next window this program creates (a size of 0 is a BadValue).
bool refuseWindowCreation = false;
// While 0 or more, the Composite version the server offers, as major * 10 + minor.
int compositeVersion = -1;

// The server resources of the platform's own connection by type, found from one of its windows;
// empty when the server has no X-Resource extension.
std::map<std::string, int> layerResources(Window w) {
    Display* d = x11test::input();
    int opcode = xres::opcode(d);
    for (const xres::ClientIds& c : opcode != 0 ? xres::clients(d, opcode) : std::vector<xres::ClientIds>()) {
        if ((static_cast<uint32_t>(w) & ~c.mask) == c.base) {
            return xres::resources(d, opcode, c.base);
        }
    }
    return {};
}

}  // namespace

// Stands in for libXcomposite's XCompositeQueryVersion in this test program: while set, the
// server offers only this version of the Composite extension.
extern "C" Status XCompositeQueryVersion(Display* d, int* major, int* minor) {
    using Query = Status (*)(Display*, int*, int*);
    static Query real = reinterpret_cast<Query>(dlsym(RTLD_NEXT, "XCompositeQueryVersion"));
    if (compositeVersion >= 0) {
        *major = compositeVersion / 10;
        *minor = compositeVersion % 10;
        return 1;
    }
    return real(d, major, minor);
}

// Stands in for Xlib's XCreateWindow in this test program, to put in the fault above.
extern "C" Window XCreateWindow(Display* d, Window parent, int x, int y, unsigned width, unsigned height,
                                unsigned border, int depth, unsigned type, Visual* visual, unsigned long mask,
                                XSetWindowAttributes* attributes) {
    using Create = Window (*)(Display*, Window, int, int, unsigned, unsigned, unsigned, int, unsigned,
                              Visual*, unsigned long, XSetWindowAttributes*);
    static Create real = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "XCreateWindow"));
    if (refuseWindowCreation) {
        refuseWindowCreation = false;
        width = 0;
    }
    return real(d, parent, x, y, width, height, border, depth, type, visual, mask, attributes);
}

// Stands in for libGL's glXCreateNewContext in this test program, to put in the fault above.
extern "C" GLXContext glXCreateNewContext(Display* d, GLXFBConfig config, int type, GLXContext share,
                                          Bool direct) {
    using Create = GLXContext (*)(Display*, GLXFBConfig, int, GLXContext, Bool);
    static Create real = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "glXCreateNewContext"));
    if (refuseDirectContext) {
        if (direct) {
            XBell(d, -101);  // BadValue (from -100 to 100): an error inside the platform's trap
            return nullptr;
        }
        refuseDirectContext = false;
        // Xvfb offers no indirect rendering: a direct context stands in for the indirect one.
        return real(d, config, type, share, True);
    }
    return real(d, config, type, share, direct);
}

class X11Window : public ::testing::Test {
protected:
    void SetUp() override {
        KVR_NEED_DISPLAY();
        hwnd = x11test::openWindow();
        ASSERT_NE(hwnd, nullptr);
    }
    void TearDown() override { x11test::closeWindow(); }
    HWND hwnd = nullptr;
};

TEST_F(X11Window, CreationReportsClientSizeAndCentresTheDefaultPosition) {
    auto sizes = messagesOf(WM_SIZE);
    ASSERT_FALSE(sizes.empty()) << "WM_SIZE is sent inside CreateWindowExA";
    EXPECT_EQ(received.front().message, (UINT)WM_SIZE) << "nothing comes before the first size";
    EXPECT_EQ(LOWORD(sizes[0].lParam), 640);
    EXPECT_EQ(HIWORD(sizes[0].lParam), 480);
    EXPECT_EQ(sizes.size(), 1u) << "the server's confirmation of the same size sends no second WM_SIZE";
    RECT rect;
    ASSERT_TRUE(GetWindowRect(hwnd, &rect));
    EXPECT_EQ(rect.right - rect.left, 640);
    EXPECT_EQ(rect.bottom - rect.top, 480);
    int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ(rect.left, (sw - 640) / 2);
    EXPECT_EQ(rect.top, (sh - 480) / 2);
    auto activations = messagesOf(WM_ACTIVATE);
    ASSERT_FALSE(activations.empty()) << "showing and focusing activates the window";
    EXPECT_EQ(LOWORD(activations.back().wParam), WA_ACTIVE);
    EXPECT_EQ(HIWORD(activations.back().wParam), 0);
    EXPECT_EQ(SetFocus(hwnd), hwnd) << "the window that had the focus";
    Bool detectableRepeat = False;
    EXPECT_TRUE(XkbGetDetectableAutoRepeat(kvr_x11.display, &detectableRepeat) && detectableRepeat)
        << "held keys repeat as presses alone on the program's connection";

    // What the window manager is told: title, class, and a placement by the client area.
    Display* d = x11test::input();
    Window w = x11test::xwindowOf(hwnd);
    XSizeHints hints = {};
    ASSERT_TRUE(normalHints(w, &hints));
    EXPECT_EQ(hints.flags & (USPosition | PSize | PWinGravity), USPosition | PSize | PWinGravity);
    EXPECT_EQ(hints.win_gravity, StaticGravity);
    EXPECT_EQ(hints.x, rect.left);
    EXPECT_EQ(hints.y, rect.top);
    EXPECT_EQ(hints.width, 640);
    EXPECT_EQ(hints.height, 480);
    XClassHint classHint = {};
    ASSERT_NE(XGetClassHint(d, w, &classHint), 0);
    EXPECT_STREQ(classHint.res_name, "KvrPlatformTest");
    EXPECT_STREQ(classHint.res_class, "KvrPlatformTest");
    XFree(classHint.res_name);
    XFree(classHint.res_class);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    ASSERT_EQ(XGetWindowProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), 0, 64, False, AnyPropertyType,
                                 &type, &format, &count, &after, &data),
              Success);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(type, XInternAtom(d, "UTF8_STRING", False));
    EXPECT_EQ(format, 8);
    EXPECT_EQ(std::string((const char*)data, count), "Platform Test");
    XFree(data);
    // The process a manager may kill when the window stops answering pings, and the two
    // protocols it may use: a close request and the ping.
    data = nullptr;
    ASSERT_EQ(XGetWindowProperty(d, w, XInternAtom(d, "_NET_WM_PID", False), 0, 4, False, XA_CARDINAL, &type,
                                 &format, &count, &after, &data),
              Success);
    ASSERT_NE(data, nullptr) << "_NET_WM_PID is set";
    EXPECT_EQ(format, 32);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(*(long*)data, (long)getpid());
    XFree(data);
    Atom* protocols = nullptr;
    int protocolCount = 0;
    ASSERT_NE(XGetWMProtocols(d, w, &protocols, &protocolCount), 0);
    std::vector<Atom> gotProtocols(protocols, protocols + protocolCount);
    XFree(protocols);
    EXPECT_EQ(gotProtocols, (std::vector<Atom>{XInternAtom(d, "WM_DELETE_WINDOW", False),
                                               XInternAtom(d, "_NET_WM_PING", False)}));

    // Without a size the window is 640 by 480; a size below one pixel becomes one pixel.
    const struct {
        int width, height, expectWidth, expectHeight;
    } cases[] = {
        {CW_USEDEFAULT, CW_USEDEFAULT, 640, 480},
        {0, -5, 1, 1},
    };
    for (const auto& size : cases) {
        received.clear();
        // WS_OVERLAPPED (0): a window with caption and frame.
        HWND other = CreateWindowExA(0, "KvrPlatformTest", "Other", 0, 0, 0, size.width, size.height, NULL,
                                     NULL, GetModuleHandleA(NULL), NULL);
        ASSERT_NE(other, nullptr);
        XSync(kvr_x11.display, False);
        data = nullptr;
        ASSERT_EQ(XGetWindowProperty(d, x11test::xwindowOf(other), XInternAtom(d, "_MOTIF_WM_HINTS", False),
                                     0, 5, False, AnyPropertyType, &type, &format, &count, &after, &data),
                  Success);
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(((long*)data)[2], 1) << "decorations on";
        XFree(data);
        auto otherSizes = messagesOf(WM_SIZE);
        ASSERT_EQ(otherSizes.size(), 1u);
        EXPECT_EQ(LOWORD(otherSizes[0].lParam), size.expectWidth);
        EXPECT_EQ(HIWORD(otherSizes[0].lParam), size.expectHeight);
        RECT otherRect;
        ASSERT_TRUE(GetWindowRect(other, &otherRect));
        EXPECT_EQ(otherRect.right - otherRect.left, size.expectWidth);
        EXPECT_EQ(otherRect.bottom - otherRect.top, size.expectHeight);
        received.clear();
        EXPECT_TRUE(DestroyWindow(other));
        auto destroys = messagesOf(WM_DESTROY);
        ASSERT_EQ(destroys.size(), 1u);
        EXPECT_EQ(destroys[0].wParam, 0u);
        EXPECT_EQ(destroys[0].lParam, 0);
    }
}

TEST_F(X11Window, FullScreenToggleSizesInBothDirections) {
    int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    ASSERT_GT(sw, 640);
    RECT saved;
    ASSERT_TRUE(GetWindowRect(hwnd, &saved));
    x11test::pumpFor(100);
    received.clear();

    EXPECT_EQ((DWORD)SetWindowLongA(hwnd, GWL_EXSTYLE, 0x40000), 0x40100u)
        << "the previous style is returned";
    EXPECT_EQ((DWORD)SetWindowLongA(hwnd, GWL_STYLE, (LONG)0x80000000u), 0x6CF0000u);
    x11test::insideSetWindowPos = true;
    EXPECT_TRUE(SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, sw, sh, SWP_SHOWWINDOW | SWP_NOZORDER));
    x11test::insideSetWindowPos = false;
    auto sizes = messagesOf(WM_SIZE);
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_TRUE(sizes[0].insideSetWindowPos) << "WM_SIZE arrives before SetWindowPos returns";
    EXPECT_EQ(LOWORD(sizes[0].lParam), sw);
    EXPECT_EQ(HIWORD(sizes[0].lParam), sh);
    RECT full;
    ASSERT_TRUE(GetWindowRect(hwnd, &full));
    EXPECT_EQ(full.left, 0);
    EXPECT_EQ(full.top, 0);
    EXPECT_EQ(full.right, sw);
    EXPECT_EQ(full.bottom, sh);
    x11test::pumpFor(200);
    EXPECT_EQ(messagesOf(WM_SIZE).size(), 1u) << "the server's confirmation sends no second WM_SIZE";

    // The borderless form asks the window manager for no decorations.
    Display* d = x11test::input();
    Atom hintsAtom = XInternAtom(d, "_MOTIF_WM_HINTS", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    ASSERT_EQ(XGetWindowProperty(d, x11test::xwindowOf(hwnd), hintsAtom, 0, 5, False, AnyPropertyType, &type,
                                 &format, &count, &after, &data),
              Success);
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(count, 5u);
    EXPECT_EQ(((long*)data)[2], 0) << "decorations off";
    XFree(data);

    received.clear();
    SetWindowLongA(hwnd, GWL_EXSTYLE, 0x40100);
    SetWindowLongA(hwnd, GWL_STYLE, 0x6CF0000);
    x11test::insideSetWindowPos = true;
    EXPECT_TRUE(SetWindowPos(hwnd, NULL, saved.left, saved.top, saved.right - saved.left,
                             saved.bottom - saved.top, SWP_SHOWWINDOW | SWP_NOZORDER));
    x11test::insideSetWindowPos = false;
    sizes = messagesOf(WM_SIZE);
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_TRUE(sizes[0].insideSetWindowPos);
    EXPECT_EQ(LOWORD(sizes[0].lParam), 640);
    EXPECT_EQ(HIWORD(sizes[0].lParam), 480);
    RECT back;
    ASSERT_TRUE(GetWindowRect(hwnd, &back));
    EXPECT_EQ(back.left, saved.left);
    EXPECT_EQ(back.top, saved.top);
    EXPECT_EQ(back.right, saved.right);
    EXPECT_EQ(back.bottom, saved.bottom);
    x11test::pumpFor(200);
    EXPECT_EQ(messagesOf(WM_SIZE).size(), 1u);

    // A move alone changes no size and so sends no WM_SIZE. The place leaves room for a title
    // bar above the client: xfwm4 keeps a frame's title on the screen.
    received.clear();
    EXPECT_TRUE(SetWindowPos(hwnd, NULL, 10, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER));
    ASSERT_TRUE(GetWindowRect(hwnd, &back));
    EXPECT_EQ(back.left, 10);
    EXPECT_EQ(back.top, 60);
    EXPECT_EQ(back.right - back.left, 640);
    EXPECT_EQ(back.bottom - back.top, 480);
    XSizeHints hints = {};
    ASSERT_TRUE(normalHints(x11test::xwindowOf(hwnd), &hints));
    EXPECT_EQ(hints.x, 10) << "the hints follow the placement";
    EXPECT_EQ(hints.y, 60);
    EXPECT_EQ(hints.win_gravity, StaticGravity);
    x11test::pumpFor(100);
    EXPECT_TRUE(messagesOf(WM_SIZE).empty());
}

TEST_F(X11Window, HiddenWindowStaysHiddenUntilShown) {
    Display* d = x11test::input();
    Window w = x11test::xwindowOf(hwnd);
    auto mapState = [d, w] {
        XWindowAttributes attributes = {};
        XSync(kvr_x11.display, False);  // the program's requests first
        XSync(d, False);
        XGetWindowAttributes(d, w, &attributes);
        return attributes.map_state;
    };
    EXPECT_TRUE(ShowWindow(hwnd, SW_HIDE)) << "it was visible";
    EXPECT_EQ(mapState(), IsUnmapped);
    EXPECT_FALSE(ShowWindow(hwnd, SW_HIDE)) << "it was hidden";
    // Placed without SWP_SHOWWINDOW it stays hidden; with it, it is shown.
    EXPECT_TRUE(SetWindowPos(hwnd, NULL, 0, 0, 600, 400, SWP_NOMOVE | SWP_NOZORDER));
    EXPECT_EQ(mapState(), IsUnmapped);
    // The waits for the window manager end once it has answered, not at their 1 s bound for the
    // map (a wait that cannot see the answer spins to it; a slow answer stays well inside it).
    long long start = kvr_coreNowMs();
    EXPECT_TRUE(SetWindowPos(hwnd, NULL, 0, 0, 640, 480, SWP_NOMOVE | SWP_NOZORDER | SWP_SHOWWINDOW));
    EXPECT_LT(kvr_coreNowMs() - start, 900) << "shown and placed without waiting out the bound";
    EXPECT_EQ(mapState(), IsViewable);
    EXPECT_TRUE(ShowWindow(hwnd, SW_HIDE));
    start = kvr_coreNowMs();
    EXPECT_FALSE(ShowWindow(hwnd, SW_SHOW));
    EXPECT_LT(kvr_coreNowMs() - start, 900) << "shown without waiting out the bound";
    EXPECT_EQ(mapState(), IsViewable);

    // A window made with WS_VISIBLE is shown by CreateWindowExA itself; one without stays hidden.
    for (DWORD visible : {0ul, (unsigned long)WS_VISIBLE}) {
        HWND other = CreateWindowExA(0, "KvrPlatformTest", "Other", 0x6CF0000 | visible, 20, 30, 200, 100,
                                     NULL, NULL, GetModuleHandleA(NULL), NULL);
        ASSERT_NE(other, nullptr);
        XWindowAttributes attributes = {};
        XSync(kvr_x11.display, False);
        ASSERT_NE(XGetWindowAttributes(d, x11test::xwindowOf(other), &attributes), 0);
        EXPECT_EQ(attributes.map_state, visible != 0 ? IsViewable : IsUnmapped) << "style " << visible;
        EXPECT_TRUE(DestroyWindow(other));
    }
}

TEST_F(X11Window, SwapBuffersShowsTheRenderedFrame) {
    glViewport(0, 0, 640, 480);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_TRUE(SwapBuffers(x11test::windowDc()));
    glFinish();
    Display* d = x11test::input();
    XSync(d, False);
    XImage* image = XGetImage(d, x11test::xwindowOf(hwnd), 320, 240, 1, 1, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    unsigned long pixel = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    EXPECT_EQ(pixel & 0xFFFFFFu, 0xFF0000u) << std::hex << pixel;
}

// The colour of one pixel of a window as the server shows it, 0xRRGGBB.
static unsigned long pixelAt(Window w, int x, int y) {
    Display* d = x11test::input();
    XSync(d, False);
    XImage* image = XGetImage(d, w, x, y, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr) {
        return 0xDEAD;
    }
    unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFFu;
    XDestroyImage(image);
    return pixel;
}

TEST_F(X11Window, FrameDrawnForWmSizeFillsTheNewSizeBothWays) {
    // Each size message draws a full frame of one colour, as the viewer does.
    float colour[3] = {1.0f, 0.0f, 0.0f};
    x11test::onSize = [&colour](int width, int height) {
        glViewport(0, 0, width, height);
        glClearColor(colour[0], colour[1], colour[2], 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        SwapBuffers(x11test::windowDc());
        glFinish();
    };
    int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    RECT saved;
    ASSERT_TRUE(GetWindowRect(hwnd, &saved));
    Window w = x11test::xwindowOf(hwnd);
    SetWindowLongA(hwnd, GWL_STYLE, (LONG)0x80000000u);
    ASSERT_TRUE(SetWindowPos(hwnd, NULL, 0, 0, sw, sh, SWP_SHOWWINDOW | SWP_NOZORDER));
    EXPECT_EQ(pixelAt(w, 2, 2), 0xFF0000u);
    EXPECT_EQ(pixelAt(w, sw - 3, sh - 3), 0xFF0000u) << "the far corner of the full screen";

    colour[0] = 0.0f;
    colour[1] = 1.0f;
    SetWindowLongA(hwnd, GWL_STYLE, 0x6CF0000);
    ASSERT_TRUE(SetWindowPos(hwnd, NULL, saved.left, saved.top, 640, 480, SWP_SHOWWINDOW | SWP_NOZORDER));
    EXPECT_EQ(pixelAt(w, 2, 2), 0x00FF00u) << "the top-left corner of the smaller window";
    EXPECT_EQ(pixelAt(w, 637, 477), 0x00FF00u);
}

TEST_F(X11Window, ExposedWindowIsPaintedOnceAfterTheInputQueuedBeforeIt) {
    // Shown again (a manager frames it anew): what it showed, or presented meanwhile, is lost.
    ShowWindow(hwnd, SW_HIDE);
    x11test::pumpFor(100);
    received.clear();
    ShowWindow(hwnd, SW_SHOW);
    EXPECT_TRUE(x11test::pumpUntil([] { return !messagesOf(WM_PAINT).empty(); }, 2000));
    x11test::pumpFor(200);
    received.clear();
    Display* d = x11test::input();
    Window w = x11test::xwindowOf(hwnd);
    XClearArea(d, w, 0, 0, 20, 20, True);
    x11test::sendKey(w, XK_Shift_L, true, x11test::serverTime());
    x11test::sendKey(w, XK_Shift_L, false, x11test::serverTime());
    XClearArea(d, w, 100, 100, 20, 20, True);
    XSync(d, False);
    x11test::pumpFor(200);
    EXPECT_EQ(messagesOf(WM_PAINT).size(), 1u);
    EXPECT_EQ(messagesOf(WM_KEYUP).size(), 1u);
    EXPECT_EQ(received.empty() ? 0u : received.back().message, (UINT)WM_PAINT) << "after the input";
}

TEST_F(X11Window, ChosenFormatFitsTheDescriptorAndIsSetOnlyOnce) {
    HDC dc = x11test::windowDc();
    PIXELFORMATDESCRIPTOR pfd = {};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    const int colourBits[] = {16, 24, 32};
    const int depthBits[] = {16, 24};
    for (int colour : colourBits) {
        for (int depth : depthBits) {
            // With and without alpha and stencil, so that the configs of other visual classes
            // (DirectColor ones come with the same buffers) have their chance.
            pfd.cAlphaBits = (BYTE)(depth == 24 ? 8 : 0);
            pfd.cStencilBits = (BYTE)(colour == 24 ? 8 : 0);
            pfd.cColorBits = (BYTE)colour;
            pfd.cDepthBits = (BYTE)depth;
            int format = ChoosePixelFormat(dc, &pfd);
            ASSERT_GT(format, 0) << colour << "/" << depth;
            GLXFBConfig config = kvr_x11FbConfig(format);
            ASSERT_NE(config, nullptr);
            Display* d = kvr_x11.display;
            int value = 0;
            glXGetFBConfigAttrib(d, config, GLX_DOUBLEBUFFER, &value);
            EXPECT_TRUE(value);
            glXGetFBConfigAttrib(d, config, GLX_RENDER_TYPE, &value);
            EXPECT_TRUE(value & GLX_RGBA_BIT);
            glXGetFBConfigAttrib(d, config, GLX_DRAWABLE_TYPE, &value);
            EXPECT_TRUE(value & GLX_WINDOW_BIT);
            glXGetFBConfigAttrib(d, config, GLX_DEPTH_SIZE, &value);
            EXPECT_GE(value, depth);
            XVisualInfo* visual = glXGetVisualFromFBConfig(d, config);
            ASSERT_NE(visual, nullptr);
            EXPECT_NE(visual->depth, 32) << "no ARGB visual for a normal window";
            EXPECT_EQ(visual->c_class, TrueColor) << colour << "/" << depth;
            XFree(visual);
        }
    }
    pfd.cDepthBits = 200;
    EXPECT_EQ(ChoosePixelFormat(dc, &pfd), 0) << "no config has a 200-bit depth buffer";

    // Without PFD_DOUBLEBUFFER a single-buffered config is preferred, where the server has one.
    bool singleOffered = false;
    int configCount = 0;
    GLXFBConfig* all = glXGetFBConfigs(kvr_x11.display, kvr_x11.screen, &configCount);
    for (int i = 0; i < configCount; i++) {
        int doubleBuffer = 1, drawable = 0;
        glXGetFBConfigAttrib(kvr_x11.display, all[i], GLX_DOUBLEBUFFER, &doubleBuffer);
        glXGetFBConfigAttrib(kvr_x11.display, all[i], GLX_DRAWABLE_TYPE, &drawable);
        XVisualInfo* visual = glXGetVisualFromFBConfig(kvr_x11.display, all[i]);
        singleOffered = singleOffered || (doubleBuffer == 0 && (drawable & GLX_WINDOW_BIT) != 0 &&
                                          visual != nullptr && visual->c_class == TrueColor);
        if (visual != nullptr) {
            XFree(visual);
        }
    }
    if (all != nullptr) {
        XFree(all);
    }
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    pfd.cDepthBits = 16;
    int single = ChoosePixelFormat(dc, &pfd);
    ASSERT_GT(single, 0);
    int doubleBuffer = -1;
    glXGetFBConfigAttrib(kvr_x11.display, kvr_x11FbConfig(single), GLX_DOUBLEBUFFER, &doubleBuffer);
    EXPECT_EQ(doubleBuffer, singleOffered ? 0 : 1);
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;

    // The window already has its format: the same one is accepted again, another is refused.
    pfd.cAlphaBits = 0;
    pfd.cStencilBits = 0;
    pfd.cColorBits = 32;
    pfd.cDepthBits = 16;
    int format = ChoosePixelFormat(dc, &pfd);
    EXPECT_TRUE(SetPixelFormat(dc, format, &pfd));
    int other = format == 1 ? 2 : 1;
    EXPECT_FALSE(SetPixelFormat(dc, other, &pfd));
    EXPECT_FALSE(SetPixelFormat(dc, 0, &pfd));
    EXPECT_FALSE(SetPixelFormat(dc, 100000, &pfd));
    EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), GetDeviceCaps(GetDC(NULL), BITSPIXEL));
    EXPECT_GE(GetDeviceCaps(GetDC(NULL), BITSPIXEL), 16);

    // A window shown before it gets its format stays shown, in its place.
    HWND shown = CreateWindowExA(0, "KvrPlatformTest", "Other", 0x6CF0000, 20, 30, 200, 100, NULL, NULL,
                                 GetModuleHandleA(NULL), NULL);
    ASSERT_NE(shown, nullptr);
    ShowWindow(shown, SW_SHOW);
    // A format whose X window the server refuses to make leaves the window as it was, and no
    // colormap made for it behind.
    XSync(kvr_x11.display, False);
    std::map<std::string, int> before = layerResources(x11test::xwindowOf(shown));
    refuseWindowCreation = true;
    EXPECT_FALSE(SetPixelFormat(GetDC(shown), format, &pfd));
    XSync(kvr_x11.display, False);
    EXPECT_EQ(layerResources(x11test::xwindowOf(shown)), before);
    // Its contents are kept while covered (the server redirects the window) from Composite 0.2
    // on, the first version that can.
    compositeVersion = 2;
    ASSERT_TRUE(SetPixelFormat(GetDC(shown), format, &pfd));
    compositeVersion = -1;
    XSync(kvr_x11.display, False);
    std::map<std::string, int> after = layerResources(x11test::xwindowOf(shown));
    // A compositing manager keeps contents itself: then the window is left to it.
    bool compositor =
        XGetSelectionOwner(x11test::input(), XInternAtom(x11test::input(), "_NET_WM_CM_S0", False)) != None;
    EXPECT_EQ(after["CompositeClientWindow"], before["CompositeClientWindow"] + (compositor ? 0 : 1))
        << "redirected";
    XWindowAttributes attributes = {};
    XSync(kvr_x11.display, False);
    ASSERT_NE(XGetWindowAttributes(x11test::input(), x11test::xwindowOf(shown), &attributes), 0);
    EXPECT_EQ(attributes.map_state, IsViewable);
    RECT rect;
    ASSERT_TRUE(GetWindowRect(shown, &rect));
    EXPECT_EQ(rect.left, 20);
    EXPECT_EQ(rect.top, 30);
    EXPECT_EQ(rect.right, 220);
    EXPECT_EQ(rect.bottom, 130);
    EXPECT_TRUE(DestroyWindow(shown));
}

TEST_F(X11Window, ContextFallsBackToIndirectWhenDirectIsRefused) {
    refuseDirectContext = true;
    HGLRC context = wglCreateContext(x11test::windowDc());
    refuseDirectContext = false;
    ASSERT_NE(context, nullptr) << "the second attempt succeeded and is kept";
    EXPECT_TRUE(wglMakeCurrent(x11test::windowDc(), context));
    EXPECT_TRUE(wglMakeCurrent(x11test::windowDc(), x11test::windowContext()));
    EXPECT_TRUE(wglDeleteContext(context));
}

TEST_F(X11Window, XErrorsOutsideTrapsAreReportedOncePerKind) {
    Display* d = kvr_x11.display;
    ::testing::internal::CaptureStderr();
    for (int i = 0; i < 3; i++) {
        XBell(d, -101);                // BadValue of Bell
        XCirculateSubwindowsUp(d, 1);  // BadWindow of CirculateWindow
        XSync(d, False);
    }
    std::string text = ::testing::internal::GetCapturedStderr();
    size_t lines = 0;
    for (size_t at = text.find("X error"); at != std::string::npos; at = text.find("X error", at + 1)) {
        lines++;
    }
    EXPECT_EQ(lines, 2u) << text;
    EXPECT_NE(text.find("BadValue"), std::string::npos) << text;
    EXPECT_NE(text.find("BadWindow"), std::string::npos) << text;
    // Which request failed, as the protocol numbers it (major.minor), and on what.
    EXPECT_NE(text.find("in request 104.0,"), std::string::npos) << "Bell: " << text;
    EXPECT_NE(text.find("in request 13.0, resource 0x1 "), std::string::npos) << "CirculateWindow: " << text;

    // An error of an earlier request, still on its way, is not taken for a trap's own: it is
    // reported, and the trap that follows catches nothing.
    ::testing::internal::CaptureStderr();
    XUnmapWindow(d, 1);  // BadWindow of UnmapWindow, not synced
    kvr_x11TrapBegin();
    XMapWindow(d, x11test::xwindowOf(hwnd));
    int caught = kvr_x11TrapEnd();
    text = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(caught, 0) << "the trap took the earlier request's error";
    EXPECT_NE(text.find("in request 10.0, resource 0x1 "), std::string::npos) << "UnmapWindow: " << text;

    // The server time taken from a property change before any event, on a window another client
    // has destroyed meanwhile: the failed change is trapped, and there is no time to give.
    Time lastEvent = kvr_x11.lastEventTime;
    kvr_x11.lastEventTime = 0;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(kvr_x11UserTime(1), 0u);
    XSync(d, False);
    text = ::testing::internal::GetCapturedStderr();
    kvr_x11.lastEventTime = lastEvent;
    EXPECT_EQ(text.find("X error"), std::string::npos) << text;

    // A program making more kinds of error than the layer remembers still hears of each new one.
    int randr = 0, event = 0, error = 0;
    ASSERT_TRUE(XQueryExtension(d, "RANDR", &randr, &event, &error));
    ::testing::internal::CaptureStderr();
    for (int minor = 100; minor < 180; minor++) {
        x11test::sendBareRequest(d, randr, minor);  // BadRequest: RandR has no such request
    }
    XSync(d, False);
    text = ::testing::internal::GetCapturedStderr();
    for (int minor = 100; minor < 180; minor++) {
        std::string request = "in request " + std::to_string(randr) + "." + std::to_string(minor) + ",";
        EXPECT_NE(text.find(request), std::string::npos) << request;
    }
}

TEST_F(X11Window, CloseButtonBecomesWmClose) {
    // The default procedure answers 0 for what it handles and for what it does not know, as
    // Win32's does for these: a window procedure returns that answer to its caller.
    EXPECT_EQ(DefWindowProcA(hwnd, WM_SYSKEYDOWN, VK_RETURN, 0x20000000), 0);
    EXPECT_EQ(DefWindowProcA(hwnd, 0x0407, 1, 2), 0);  // one of a program's own (WM_USER + 7)
    EXPECT_EQ(DefWindowProcA(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(640, 480)), 0);
    EXPECT_EQ(DefWindowProcA(hwnd, WM_SYSCOMMAND, SC_KEYMENU, 0), 0)
        << "a system command it does not carry out";
    // The time that requests to the window manager quote stays that of the latest event that had
    // one: the close request carries none, and an event queued before the server's time was asked
    // for (a manager's, read after the answer) has an older one.
    Display* d = x11test::input();
    x11test::sendKey(x11test::xwindowOf(hwnd), XK_Shift_L, false, x11test::serverTime() - 1);
    XSync(d, False);
    received.clear();
    kvr_x11.lastEventTime = 0;  // the server's time now, asked for
    Time last = kvr_x11UserTime(x11test::xwindowOf(hwnd));
    ASSERT_NE(last, 0u);
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = x11test::xwindowOf(hwnd);
    event.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, event.xclient.window, False, NoEventMask, &event);
    XSync(d, False);
    EXPECT_TRUE(x11test::pumpUntil([] { return !messagesOf(WM_CLOSE).empty(); }, 2000));
    ASSERT_EQ(messagesOf(WM_CLOSE).size(), 1u);
    EXPECT_EQ(messagesOf(WM_CLOSE)[0].wParam, 0u);
    EXPECT_EQ(messagesOf(WM_CLOSE)[0].lParam, 0);
    EXPECT_GE(kvr_x11.lastEventTime, last);
    // Nor across the wrap of the server's 32-bit time, where a later time is the smaller number.
    kvr_x11.lastEventTime = 0xFFFFFFF0u;
    kvr_x11NoteTime(0x10);
    kvr_x11NoteTime(0xFFFFFF00u);
    EXPECT_EQ(kvr_x11.lastEventTime, 0x10u);
    RECT rect;
    EXPECT_TRUE(GetWindowRect(hwnd, &rect)) << "WM_CLOSE alone destroys nothing";
}

TEST_F(X11Window, WindowDestroyedByAnotherClientBecomesWmClose) {
    Display* d = x11test::input();
    XDestroyWindow(d, x11test::xwindowOf(hwnd));
    XSync(d, False);
    EXPECT_TRUE(x11test::pumpUntil([] { return !messagesOf(WM_CLOSE).empty(); }, 2000));
    ASSERT_EQ(messagesOf(WM_CLOSE).size(), 1u);
    EXPECT_EQ(messagesOf(WM_CLOSE)[0].wParam, 0u);
    EXPECT_EQ(messagesOf(WM_CLOSE)[0].lParam, 0);
    // The program then releases its window: the handle goes without an error to report.
    EXPECT_TRUE(DestroyWindow(hwnd));
}

TEST_F(X11Window, DestroyWindowReportsTheFailureXReports) {
    // The X window vanishes before the program hears of it: X refuses to destroy it.
    Display* d = x11test::input();
    XDestroyWindow(d, x11test::xwindowOf(hwnd));
    XSync(d, False);
    // Calls on it meanwhile fail quietly: their X errors are trapped, none reaches the report.
    ::testing::internal::CaptureStderr();
    SetForegroundWindow(hwnd);
    SetWindowPos(hwnd, NULL, 10, 10, 300, 200, SWP_NOZORDER);
    XSync(kvr_x11.display, False);
    std::string reported = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(reported.find("X error"), std::string::npos) << reported;
    EXPECT_FALSE(DestroyWindow(hwnd));
    RECT rect;
    EXPECT_FALSE(GetWindowRect(hwnd, &rect)) << "the handle is released all the same";
}

TEST_F(X11Window, RestoreOfAWindowWhoseGeometryCannotBeReadReportsNoSize) {
    x11test::pumpFor(50);
    received.clear();
    Window w = x11test::xwindowOf(hwnd);
    Display* d = x11test::input();
    setWmState(w, IconicState);
    ASSERT_TRUE(x11test::pumpUntil([] { return !messagesOf(WM_ACTIVATE).empty(); }, 2000));
    // Resized while minimised, so that a 0 by 0 restore would be news.
    ASSERT_TRUE(SetWindowPos(hwnd, NULL, 0, 0, 600, 400, SWP_NOMOVE | SWP_NOZORDER));
    // Restored while unmapped, the restore waits until the window can be seen; by the time its
    // VisibilityNotify is read the window has been destroyed by another client.
    XUnmapWindow(d, w);
    setWmState(w, NormalState);
    x11test::pumpFor(100);
    received.clear();
    XMapWindow(d, w);
    XDestroyWindow(d, w);
    XSync(d, False);
    ASSERT_TRUE(x11test::pumpUntil([] { return !messagesOf(WM_CLOSE).empty(); }, 2000));
    for (const x11test::Received& size : messagesOf(WM_SIZE)) {
        EXPECT_NE(size.lParam, 0) << "a 0 by 0 size for a window that is not minimised";
    }
}

TEST_F(X11Window, WindowManagerPingIsAnsweredToTheRoot) {
    Display* d = x11test::input();
    Window root = DefaultRootWindow(d);
    XSelectInput(d, root, SubstructureNotifyMask);
    Window w = x11test::xwindowOf(hwnd);
    Atom protocols = XInternAtom(d, "WM_PROTOCOLS", False);
    Atom ping = XInternAtom(d, "_NET_WM_PING", False);
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = w;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)ping;
    event.xclient.data.l[1] = 12345;
    event.xclient.data.l[2] = (long)w;
    XSendEvent(d, w, False, NoEventMask, &event);
    XSync(d, False);
    bool answered = false;
    for (int i = 0; i < 100 && !answered; i++) {
        x11test::pumpFor(10);
        while (XPending(d) > 0) {
            XEvent reply;
            XNextEvent(d, &reply);
            answered = answered ||
                       (reply.type == ClientMessage && reply.xclient.window == root &&
                        reply.xclient.message_type == protocols && (Atom)reply.xclient.data.l[0] == ping &&
                        reply.xclient.data.l[1] == 12345 && (Window)reply.xclient.data.l[2] == w);
        }
    }
    XSelectInput(d, root, NoEventMask);
    EXPECT_TRUE(answered);
    EXPECT_TRUE(messagesOf(WM_CLOSE).empty()) << "a ping is not a close request";
}

TEST_F(X11Window, FocusRequestToTheManagerCarriesAServerTimeAndSourceApplication) {
    if (!kvr_x11HasWindowManager()) {
        GTEST_SKIP() << "no window manager: focus is set directly, no request is sent";
    }
    Display* d = x11test::input();
    Window root = DefaultRootWindow(d);
    Atom active = XInternAtom(d, "_NET_ACTIVE_WINDOW", False);
    Window w = x11test::xwindowOf(hwnd);
    // Asks for the focus and reads the request the root receives: its source and time.
    long source = -1, time = -1;
    auto request = [&] {
        XSelectInput(d, root, SubstructureNotifyMask);
        XSync(d, False);
        bool asked = SetForegroundWindow(hwnd) != FALSE, seen = false;
        XFlush(kvr_x11.display);
        for (int i = 0; i < 100 && asked && !seen; i++) {
            x11test::pumpFor(10);
            while (XPending(d) > 0) {
                XEvent e;
                XNextEvent(d, &e);
                if (e.type == ClientMessage && e.xclient.window == w && e.xclient.message_type == active) {
                    seen = true;
                    source = e.xclient.data.l[0];
                    time = e.xclient.data.l[1];
                }
            }
        }
        XSelectInput(d, root, NoEventMask);
        return asked && seen;
    };
    // The request quotes a server time, never 0 (CurrentTime), which GNOME-family managers
    // reject as a buggy client's.
    ASSERT_TRUE(request()) << "no _NET_ACTIVE_WINDOW request reached the root";
    EXPECT_EQ(source, 1) << "source indication: an application";
    EXPECT_NE(time, (long)CurrentTime) << "the request quotes the user's last event time";
    EXPECT_GE((int32_t)(x11test::serverTime() - time), 0) << "a time the server has reached";

    // Before any event has come, the layer asks the server for its time.
    XSync(kvr_x11.display, False);
    x11test::pumpFor(20);
    Time before = kvr_x11.lastEventTime;
    kvr_x11.lastEventTime = 0;
    ASSERT_TRUE(request()) << "no second _NET_ACTIVE_WINDOW request reached the root";
    EXPECT_GE((Time)time, before) << "the server's time, asked for when no event has given one";
}

TEST_F(X11Window, IconifyReportsZeroSizeAndTheMinimisedState) {
    x11test::pumpFor(50);
    received.clear();
    Window w = x11test::xwindowOf(hwnd);
    setWmState(w, IconicState);
    ASSERT_TRUE(x11test::pumpUntil([] { return messagesOf(WM_ACTIVATE).size() >= 1; }, 2000));
    auto sizes = messagesOf(WM_SIZE);
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(sizes[0].wParam, (WPARAM)SIZE_MINIMIZED);
    EXPECT_EQ(sizes[0].lParam, 0);
    EXPECT_EQ(HIWORD(messagesOf(WM_ACTIVATE)[0].wParam), 1) << "minimised flag in the high word";
    EXPECT_EQ(messagesOf(WM_ACTIVATE)[0].lParam, 0);

    received.clear();
    setWmState(w, NormalState);
    ASSERT_TRUE(x11test::pumpUntil([] { return messagesOf(WM_ACTIVATE).size() >= 1; }, 2000));
    sizes = messagesOf(WM_SIZE);
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(LOWORD(sizes[0].lParam), 640);
    EXPECT_EQ(HIWORD(sizes[0].lParam), 480);
    EXPECT_EQ(HIWORD(messagesOf(WM_ACTIVATE)[0].wParam), 0);
    EXPECT_EQ(messagesOf(WM_ACTIVATE)[0].lParam, 0);

    // The EWMH hidden state minimises too; other states do not.
    Display* d = x11test::input();
    Atom netWmState = XInternAtom(d, "_NET_WM_STATE", False);
    Atom above = XInternAtom(d, "_NET_WM_STATE_ABOVE", False);
    Atom hidden[2] = {above, XInternAtom(d, "_NET_WM_STATE_HIDDEN", False)};
    received.clear();
    XChangeProperty(d, w, netWmState, XA_ATOM, 32, PropModeReplace, (unsigned char*)&above, 1);
    XSync(d, False);
    x11test::pumpFor(100);
    EXPECT_TRUE(received.empty()) << "kept above is not minimised";
    XChangeProperty(d, w, netWmState, XA_ATOM, 32, PropModeReplace, (unsigned char*)hidden, 2);
    XSync(d, False);
    ASSERT_TRUE(x11test::pumpUntil([] { return !messagesOf(WM_ACTIVATE).empty(); }, 2000));
    ASSERT_EQ(messagesOf(WM_SIZE).size(), 1u);
    EXPECT_EQ(messagesOf(WM_SIZE)[0].wParam, (WPARAM)SIZE_MINIMIZED);
    received.clear();
    XDeleteProperty(d, w, netWmState);
    XSync(d, False);
    ASSERT_TRUE(x11test::pumpUntil([] { return !messagesOf(WM_ACTIVATE).empty(); }, 2000));
    ASSERT_EQ(messagesOf(WM_SIZE).size(), 1u);
    EXPECT_EQ(messagesOf(WM_SIZE)[0].wParam, (WPARAM)SIZE_RESTORED);
}

TEST_F(X11Window, SizeChangedByAnotherClientIsReportedOnceEachTime) {
    x11test::pumpFor(50);
    received.clear();
    Display* d = x11test::input();
    Window w = x11test::xwindowOf(hwnd);
    // As a window manager does: a move alone, then a wider window, then a taller one.
    const struct {
        int width, height;
        bool reported;
    } steps[] = {{640, 480, false}, {700, 480, true}, {700, 500, true}, {700, 500, false}};
    int x = 10;
    for (const auto& step : steps) {
        received.clear();
        XMoveResizeWindow(d, w, x, 10, (unsigned)step.width, (unsigned)step.height);
        x += 10;
        XSync(d, False);
        x11test::pumpFor(150);
        auto sizes = messagesOf(WM_SIZE);
        ASSERT_EQ(sizes.size(), step.reported ? 1u : 0u) << step.width << " by " << step.height;
        if (step.reported) {
            EXPECT_EQ(sizes[0].wParam, (WPARAM)SIZE_RESTORED);
            EXPECT_EQ(LOWORD(sizes[0].lParam), step.width);
            EXPECT_EQ(HIWORD(sizes[0].lParam), step.height);
        }
    }
}

TEST(X11Lifecycle, CreateDestroyCycleLeavesNoWindowOrContextBehind) {
    KVR_NEED_DISPLAY();
    int before = rootChildCount();
    // What the connection holds after the first cycle (its cursors are made once): every later
    // cycle leaves exactly that, no colormap or cursor more.
    std::map<std::string, int> afterFirst;
    for (int cycle = 0; cycle < 3; cycle++) {
        HWND hwnd = x11test::openWindow();
        ASSERT_NE(hwnd, nullptr);
        HDC dc = x11test::windowDc();
        HGLRC context = x11test::windowContext();
        Window xwindow = x11test::xwindowOf(hwnd);
        XSync(kvr_x11.display, False);
        std::map<std::string, int> open = layerResources(xwindow);
        EXPECT_TRUE(open.empty() || open["COLORMAP"] >= 1) << "the count does not see the window's colormap";
        // A window manager frames the window and drops its frame when it goes, in its own time.
        EXPECT_TRUE(x11test::pumpUntil([&] { return rootChildCount() == before + 1; }, 1000));
        EXPECT_FALSE(UnregisterClassA("KvrPlatformTest", GetModuleHandleA(NULL))) << "a window of it exists";
        x11test::closeWindow();
        EXPECT_TRUE(x11test::pumpUntil([&] { return rootChildCount() == before; }, 1000))
            << rootChildCount() << " root children, " << before << " before";
        // Every handle of the closed window is stale now and fails the Win32 way.
        RECT rect;
        EXPECT_FALSE(DestroyWindow(hwnd));
        EXPECT_FALSE(GetWindowRect(hwnd, &rect));
        EXPECT_EQ(GetDC(hwnd), nullptr);
        EXPECT_FALSE(SwapBuffers(dc));
        EXPECT_EQ(wglCreateContext(dc), nullptr);
        EXPECT_FALSE(wglMakeCurrent(dc, context));
        EXPECT_FALSE(wglDeleteContext(context));
        EXPECT_EQ(ReleaseDC(hwnd, dc), 0);
        EXPECT_FALSE(ShowWindow(hwnd, SW_SHOW));
        XSync(kvr_x11.display, False);
        std::map<std::string, int> left = open.empty() ? open : layerResources(xwindow);
        if (cycle == 0) {
            afterFirst = left;
        } else {
            EXPECT_EQ(left, afterFirst) << "cycle " << cycle;
        }
    }
    EXPECT_EQ(glXGetCurrentContext(), nullptr) << "no context is left current";

    // A window destroyed while its context is current takes the context off it: Mesa would
    // otherwise keep drawing to an X window that is gone. The context itself stays, to delete.
    HWND hwnd = x11test::openWindow();
    ASSERT_NE(hwnd, nullptr);
    HGLRC context = x11test::windowContext();
    ASSERT_NE(glXGetCurrentContext(), nullptr);
    EXPECT_TRUE(DestroyWindow(hwnd));
    EXPECT_EQ(glXGetCurrentContext(), nullptr) << "the context stayed current on the destroyed window";
    EXPECT_TRUE(wglDeleteContext(context));
    x11test::closeWindow();
}

// Under a window manager (openbox on a private server) every request goes through the manager:
// ShowWindow returns with the window shown, SetWindowPos with the size and place the manager
// granted, reported by WM_SIZE before it returns, both ways of the full-screen toggle; a restore
// from minimised reports the size again.
TEST(X11Managed, ShowAndPlacementReturnWithWhatTheManagerGranted) {
    KVR_NEED_PRIVATE_SERVER();
    pid_t manager = x11test::startManager();
    if (manager <= 0) {
        if (x11test::displayRequired()) {
            FAIL() << "openbox could not be started (install openbox)";
        }
        GTEST_SKIP() << "no openbox to manage the private server";
    }
    HWND hwnd = x11test::openWindow();
    ASSERT_NE(hwnd, nullptr);
    Window w = x11test::xwindowOf(hwnd);
    auto viewable = [w] {
        XWindowAttributes attributes = {};
        return XGetWindowAttributes(x11test::input(), w, &attributes) && attributes.map_state == IsViewable;
    };
    ShowWindow(hwnd, SW_HIDE);
    x11test::pumpUntil([&viewable] { return !viewable(); }, 2000);
    ShowWindow(hwnd, SW_SHOW);
    EXPECT_TRUE(viewable()) << "shown when ShowWindow returns";

    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    const struct {
        DWORD style, exStyle;
        int x, y, width, height;
    } steps[] = {{0x80000000u, 0x40000, 0, 0, sw, sh}, {0x6CF0000, 0x40100, 100, 80, 640, 480}};
    for (const auto& step : steps) {
        SCOPED_TRACE(std::to_string(step.width) + " x " + std::to_string(step.height));
        x11test::pumpFor(100);
        received.clear();
        SetWindowLongA(hwnd, GWL_EXSTYLE, (LONG)step.exStyle);
        SetWindowLongA(hwnd, GWL_STYLE, (LONG)step.style);
        x11test::insideSetWindowPos = true;
        EXPECT_TRUE(
            SetWindowPos(hwnd, NULL, step.x, step.y, step.width, step.height, SWP_SHOWWINDOW | SWP_NOZORDER));
        x11test::insideSetWindowPos = false;
        RECT rect;
        ASSERT_TRUE(GetWindowRect(hwnd, &rect));
        EXPECT_EQ(rect.right - rect.left, step.width) << "granted when SetWindowPos returns";
        EXPECT_EQ(rect.bottom - rect.top, step.height);
        auto sizes = messagesOf(WM_SIZE);
        ASSERT_FALSE(sizes.empty());
        EXPECT_TRUE(sizes.back().insideSetWindowPos) << "WM_SIZE arrives before SetWindowPos returns";
        EXPECT_EQ(LOWORD(sizes.back().lParam), step.width);
        EXPECT_EQ(HIWORD(sizes.back().lParam), step.height);
    }
    // Minimised and restored through the manager: the restore reports the window's size again
    // once it can be seen (openbox maps the window before its frame).
    received.clear();
    ShowWindow(hwnd, SW_MINIMIZE);
    auto sizeIs = [](WPARAM kind, int width, int height) {
        return [=] {
            auto sizes = messagesOf(WM_SIZE);
            return !sizes.empty() && sizes.back().wParam == kind && LOWORD(sizes.back().lParam) == width &&
                   HIWORD(sizes.back().lParam) == height;
        };
    };
    EXPECT_TRUE(x11test::pumpUntil(sizeIs(SIZE_MINIMIZED, 0, 0), 2000)) << "minimised";
    // openbox marks the window iconic before it unmaps it; a map asked in between is lost, so the
    // restore comes once the window is gone from the screen, as a user's would.
    EXPECT_TRUE(x11test::pumpUntil([&viewable] { return !viewable(); }, 2000)) << "unmapped when minimised";
    ShowWindow(hwnd, SW_RESTORE);
    EXPECT_TRUE(x11test::pumpUntil(sizeIs(SIZE_RESTORED, 640, 480), 2000)) << "restored to 640 x 480";
    EXPECT_TRUE(viewable());

    // Given its form while hidden, the window is shown in that form: full screen, then back.
    auto fullScreenState = [w] {
        Display* d = x11test::input();
        Atom type = None, *atoms = nullptr;
        int format = 0;
        unsigned long count = 0, after = 0;
        bool full = false;
        if (XGetWindowProperty(d, w, XInternAtom(d, "_NET_WM_STATE", False), 0, 32, False, XA_ATOM, &type,
                               &format, &count, &after, (unsigned char**)&atoms) == Success &&
            atoms != nullptr) {
            for (unsigned long i = 0; i < count; i++) {
                full = full || atoms[i] == XInternAtom(d, "_NET_WM_STATE_FULLSCREEN", False);
            }
            XFree(atoms);
        }
        return full;
    };
    // openbox lets a hidden window go in its own time, and then clears the window's states: a
    // form given before that would be lost (Win32 has no such step), so it is given after.
    auto withdrawn = [w] {
        Display* d = x11test::input();
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        XGetWindowProperty(d, w, XInternAtom(d, "WM_STATE", False), 0, 1, False, AnyPropertyType, &type,
                           &format, &count, &after, &data);
        bool gone = type == None || (data != nullptr && count == 1 && ((long*)data)[0] == WithdrawnState);
        if (data != nullptr) {
            XFree(data);
        }
        return gone;
    };
    for (const auto& step : steps) {
        SCOPED_TRACE("hidden, then shown " + std::to_string(step.width) + " x " +
                     std::to_string(step.height));
        ShowWindow(hwnd, SW_HIDE);
        x11test::pumpUntil([&viewable] { return !viewable(); }, 2000);
        x11test::pumpUntil(withdrawn, 2000);
        SetWindowLongA(hwnd, GWL_EXSTYLE, (LONG)step.exStyle);
        SetWindowLongA(hwnd, GWL_STYLE, (LONG)step.style);
        SetWindowPos(hwnd, NULL, step.x, step.y, step.width, step.height, SWP_NOZORDER);
        ShowWindow(hwnd, SW_SHOW);
        x11test::pumpUntil(sizeIs(SIZE_RESTORED, step.width, step.height), 2000);
        RECT rect;
        ASSERT_TRUE(GetWindowRect(hwnd, &rect));
        EXPECT_EQ(rect.right - rect.left, step.width);
        EXPECT_EQ(rect.bottom - rect.top, step.height);
        // openbox may write its state a moment after the size it granted.
        EXPECT_TRUE(x11test::pumpUntil([&] { return fullScreenState() == (step.width == sw); }, 2000))
            << "the manager's full-screen state";
        // openbox offers no pinning of full screen to a monitor: the window is not asked for it.
        Atom pinType = None;
        int pinFormat = 0;
        unsigned long pinCount = 0, pinAfter = 0;
        unsigned char* pin = nullptr;
        XGetWindowProperty(x11test::input(), w,
                           XInternAtom(x11test::input(), "_NET_WM_FULLSCREEN_MONITORS", False), 0, 4, False,
                           AnyPropertyType, &pinType, &pinFormat, &pinCount, &pinAfter, &pin);
        EXPECT_EQ(pinType, (Atom)None) << "a monitor pin the manager does not offer";
        if (pin != nullptr) {
            XFree(pin);
        }
    }
    // Given the full-screen form and then the windowed one while hidden, it is shown windowed.
    ShowWindow(hwnd, SW_HIDE);
    x11test::pumpUntil([&viewable] { return !viewable(); }, 2000);
    x11test::pumpUntil(withdrawn, 2000);
    for (const auto& form : {steps[0], steps[1]}) {
        SetWindowLongA(hwnd, GWL_EXSTYLE, (LONG)form.exStyle);
        SetWindowLongA(hwnd, GWL_STYLE, (LONG)form.style);
        SetWindowPos(hwnd, NULL, form.x, form.y, form.width, form.height, SWP_NOZORDER);
    }
    received.clear();
    ShowWindow(hwnd, SW_SHOW);
    x11test::pumpFor(100);
    EXPECT_FALSE(fullScreenState()) << "the full-screen form given up while hidden";
    for (const auto& size : messagesOf(WM_SIZE)) {
        EXPECT_EQ(size.lParam, MAKELPARAM(steps[1].width, steps[1].height));
    }
    // A hidden window minimised is shown minimised.
    ShowWindow(hwnd, SW_HIDE);
    x11test::pumpUntil([&viewable] { return !viewable(); }, 2000);
    received.clear();
    ShowWindow(hwnd, SW_MINIMIZE);
    EXPECT_TRUE(x11test::pumpUntil(sizeIs(SIZE_MINIMIZED, 0, 0), 2000)) << "a hidden window minimised";
    x11test::closeWindow();
    xdrv::stop(manager);
}

namespace {
// While the layer's clock (kvr_coreNowMs) is before this, each sync of the layer's connection
// brings events with it, as a moving mouse does during each round trip over a slow link: the
// XTest connection first moves the pointer one pixel right (cycling through 400 from streamX)
// and changes a property of streamWindow.
long long streamUntil = 0;
Window streamWindow = 0;
int streamX = 0, streamY = 0, streamMoves = 0;
}  // namespace

// Stands in for Xlib's XSync in this test program, to make the stream of events above.
extern "C" int XSync(Display* d, Bool discard) {
    static auto real = reinterpret_cast<int (*)(Display*, Bool)>(dlsym(RTLD_NEXT, "XSync"));
    if (d == kvr_x11.display && kvr_coreNowMs() < streamUntil) {
        Display* s = x11test::input();
        XTestFakeMotionEvent(s, DefaultScreen(s), streamX + streamMoves++ % 400, streamY, CurrentTime);
        XChangeProperty(s, streamWindow, XA_CURSOR, XA_CARDINAL, 32, PropModeReplace, nullptr, 0);
        real(s, False);
    }
    return real(d, discard);
}

// Under a window manager that grants nothing (it takes the requests to map and to place windows
// and carries none out), while events keep coming, SetWindowPos and ShowWindow return at their
// bounds (100 ms and 1 s), and every event that came meanwhile is still read, in its order.
TEST(X11Managed, WaitsEndAtTheirBoundsWhileEventsKeepComing) {
    KVR_NEED_PRIVATE_SERVER();
    HWND hwnd = x11test::openWindow();
    ASSERT_NE(hwnd, nullptr);
    RECT rect;
    ASSERT_TRUE(GetWindowRect(hwnd, &rect));
    Display* manager = XOpenDisplay(nullptr);  // the root names itself as the manager's check window
    Window root = DefaultRootWindow(manager);
    Atom check = XInternAtom(manager, "_NET_SUPPORTING_WM_CHECK", False);
    XChangeProperty(manager, root, check, XA_WINDOW, 32, PropModeReplace, (unsigned char*)&root, 1);
    XSelectInput(manager, root, SubstructureRedirectMask);
    XSync(manager, False);
    ASSERT_TRUE(kvr_x11HasWindowManager());
    x11test::moveTo(rect.left + 5, rect.top + 100);
    x11test::pumpFor(50);
    received.clear();
    streamWindow = x11test::xwindowOf(hwnd);
    streamX = rect.left + 10, streamY = rect.top + 100, streamMoves = 0;
    long long start = kvr_coreNowMs();
    streamUntil = start + 3000;
    EXPECT_TRUE(SetWindowPos(hwnd, NULL, 100, 80, 500, 400, SWP_NOZORDER));
    long long placed = kvr_coreNowMs() - start;
    int moves = streamMoves;
    ShowWindow(hwnd, SW_HIDE);
    start = kvr_coreNowMs();
    streamUntil = start + 3000;
    ShowWindow(hwnd, SW_SHOW);
    long long shown = kvr_coreNowMs() - start;
    streamUntil = 0;
    EXPECT_GE(placed, 100) << "the rectangle is never granted";
    EXPECT_LT(placed, 500) << "SetWindowPos waits 100 ms at most";
    EXPECT_GE(shown, 1000) << "the window is never mapped";
    EXPECT_LT(shown, 2000) << "ShowWindow waits 1 s at most";
    x11test::pumpFor(100);
    auto reported = messagesOf(WM_MOUSEMOVE);
    ASSERT_EQ(reported.size(), (size_t)moves) << "a move for each made while the window was shown";
    for (size_t i = 0; i < reported.size(); i++) {
        ASSERT_EQ(LOWORD(reported[i].lParam), 10 + i % 400) << "move " << i;
    }
    x11test::closeWindow();
    XDeleteProperty(manager, root, check);
    XCloseDisplay(manager);
}
