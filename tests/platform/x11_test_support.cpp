// x11_test_support.cpp - the recording window, the pump and the XTest connection.
#include "x11_test_support.h"

#include "x11_state.h"
#include "x_driver.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/XInput.h>
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace x11test {

std::vector<Received> received;
bool insideSetWindowPos = false;
std::function<void(int, int)> onSize;

namespace {
HWND window = nullptr;
HDC dc = nullptr;
HGLRC context = nullptr;
Display* inputDisplay = nullptr;
const char* className = "KvrPlatformTest";

// Records every message; system keys, system commands and the rest take the default path,
// but WM_CLOSE only records, so that tests see it and decide when to destroy.
LRESULT CALLBACK recordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    received.push_back({message, wParam, lParam, insideSetWindowPos});
    if (message == WM_SIZE && onSize) {
        onSize(LOWORD(lParam), HIWORD(lParam));
    }
    if (message == WM_CLOSE) {
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

long long nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

HWND openWindow() {
    received.clear();
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    wc.lpfnWndProc = recordingProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.lpszClassName = className;
    if (RegisterClassA(&wc) == 0) {
        return nullptr;
    }
    window = CreateWindowExA(0x40100, className, "Platform Test", 0x6CF0000, CW_USEDEFAULT, CW_USEDEFAULT,
                             640, 480, NULL, NULL, GetModuleHandleA(NULL), NULL);
    if (window == nullptr) {
        closeWindow();
        return nullptr;
    }
    dc = GetDC(window);
    PIXELFORMATDESCRIPTOR pfd = {};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.cColorBits = 32;
    pfd.cDepthBits = 16;
    int format = ChoosePixelFormat(dc, &pfd);
    if (format == 0 || !SetPixelFormat(dc, format, &pfd) || (context = wglCreateContext(dc)) == nullptr ||
        !wglMakeCurrent(dc, context)) {
        closeWindow();
        return nullptr;
    }
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    SetFocus(window);
    pumpUntil([] { return !messagesOf(WM_ACTIVATE).empty(); }, 2000);
    return window;
}

void closeWindow() {
    onSize = nullptr;
    if (context != nullptr) {
        wglMakeCurrent(NULL, NULL);
        wglDeleteContext(context);
        context = nullptr;
    }
    if (dc != nullptr) {
        ReleaseDC(window, dc);
        dc = nullptr;
    }
    if (window != nullptr) {
        DestroyWindow(window);
        window = nullptr;
    }
    UnregisterClassA(className, GetModuleHandleA(NULL));
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
    }
}

HDC windowDc() {
    return dc;
}

HGLRC windowContext() {
    return context;
}

bool pumpUntil(const std::function<bool()>& done, int timeoutMs) {
    long long deadline = nowMs() + timeoutMs;
    while (!done()) {
        if (nowMs() >= deadline) {
            return false;
        }
        MSG msg;
        if (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message != WM_QUIT) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    return true;
}

void pumpFor(int ms) {
    pumpUntil([] { return false; }, ms);
}

std::vector<Received> messagesOf(UINT message) {
    std::vector<Received> result;
    for (const Received& r : received) {
        if (r.message == message) {
            result.push_back(r);
        }
    }
    return result;
}

Display* input() {
    if (inputDisplay == nullptr) {
        // The platform's X error handler (installed when it opens its display) records errors
        // inside its traps and reports the rest once per kind on standard error, so a window
        // vanishing under a query does not end the test process.
        kvr_x11Open();
        inputDisplay = glxwin::openDisplay();
    }
    return inputDisplay;
}

namespace {
pid_t privateServer = -1;

// Closes every connection of this process to its private server, then stops the server.
void stopPrivateServer() {
    if (privateServer <= 0) {
        return;
    }
    closeWindow();
    if (inputDisplay != nullptr) {
        XCloseDisplay(inputDisplay);
        inputDisplay = nullptr;
    }
    if (kvr_x11.display != nullptr) {
        XCloseDisplay(kvr_x11.display);
        kvr_x11.display = nullptr;
    }
    xdrv::stop(privateServer, 2000.0);
}

// Stops the private server once every test of the process has run.
class PrivateServerEnvironment : public ::testing::Environment {
public:
    void TearDown() override { stopPrivateServer(); }
};
::testing::Environment* const privateServerEnvironment =
    ::testing::AddGlobalTestEnvironment(new PrivateServerEnvironment);

// Runs the current test alone in a new process of this program (which starts its own server).
PrivateServer runAlone(std::string* why) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    char self[4096] = {};
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (test == nullptr || length <= 0) {
        *why = "this test cannot be run alone in a new process";
        return PrivateServer::FailedAlone;
    }
    std::string name = std::string(test->test_suite_name()) + "." + test->name();
    std::string output = ::testing::TempDir() + "kvr_alone_" + std::to_string(getpid()) + ".txt";
    pid_t child =
        xdrv::spawn({self, "--gtest_filter=" + name}, output, output, false, {{"KVR_TEST_ALONE", "1"}});
    int status = child > 0 ? xdrv::waitExit(child, 110000.0) : -1;
    std::string text = xdrv::readFile(output);
    std::remove(output.c_str());
    if (status == 0) {
        bool skipped = text.find("[  SKIPPED ]") != std::string::npos;
        *why = name + (skipped ? " skipped" : " passed") +
               " alone in a new process on its own X server (this process was on another server)";
        return PrivateServer::RanAlone;
    }
    *why = name + " failed alone in a new process on its own X server:\n" +
           (text.size() > 6000 ? text.substr(text.size() - 6000) : text);
    return PrivateServer::FailedAlone;
}
}  // namespace

bool onPrivateServer() {
    return privateServer > 0 && glxwin::onOwnDisplay();
}

// Starts the private server, or runs the test alone in a new process when this one is connected
// to another server (or to any, when the test needs a fresh process).
static PrivateServer privateServerFor(std::string* why, bool fresh) {
    // The platform and the XTest connection learn the display when they first open it.
    bool connected = kvr_x11.display != nullptr || inputDisplay != nullptr;
    if (onPrivateServer() && !(fresh && connected)) {
        *why = "";
        return PrivateServer::Ready;
    }
    if (connected) {
        if (std::getenv("KVR_TEST_ALONE") != nullptr) {
            *why = "connected to another X server before the private one could be started";
            return PrivateServer::FailedAlone;
        }
        return runAlone(why);
    }
    if (!xdrv::haveXvfb()) {
        *why = "no Xvfb to start a private X server with (install xvfb)";
        return PrivateServer::Missing;
    }
    std::string name;
    privateServer = xdrv::startXvfb("1920x1080x24", &name);
    if (privateServer <= 0) {
        *why =
            "no private Xvfb could be started (on a display number from KVR_SPARE_DISPLAYS, 141-160 by "
            "default)";
        return PrivateServer::Missing;
    }
    setenv("DISPLAY", name.c_str(), 1);
    glxwin::setOwnDisplay(name);
    *why = "";
    return PrivateServer::Ready;
}

PrivateServer usePrivateServer(std::string* why) {
    return privateServerFor(why, false);
}

PrivateServer useFreshPrivateServer(std::string* why) {
    return privateServerFor(why, true);
}

pid_t startManager() {
    if (!onPrivateServer() || std::system("command -v openbox >/dev/null 2>&1") != 0) {
        return -1;
    }
    std::string log = ::testing::TempDir() + "kvr_openbox_" + std::to_string(getpid()) + ".txt";
    pid_t pid = xdrv::spawn({"/usr/bin/env", "openbox", "--sm-disable"}, log, log, false);
    // It manages the screen once its check window names itself on the root.
    Display* d = input();
    Atom check = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", False);
    for (int i = 0; i < 500 && pid > 0 && !xdrv::exited(pid); i++) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        XGetWindowProperty(d, DefaultRootWindow(d), check, 0, 1, False, AnyPropertyType, &type, &format,
                           &count, &after, &data);
        bool managed = data != nullptr && count == 1;
        if (data != nullptr) {
            XFree(data);
        }
        if (managed) {
            return pid;
        }
        xdrv::sleepMs(10);
    }
    xdrv::stop(pid);
    return -1;
}

Window xwindowOf(HWND hwnd) {
    KvrX11Window* w = kvr_x11FindWindow(hwnd);
    return w != nullptr ? w->xwindow : 0;
}

void key(unsigned long keysym, bool press) {
    KeyCode code = XKeysymToKeycode(input(), keysym);
    XTestFakeKeyEvent(input(), code, press ? True : False, CurrentTime);
    XSync(input(), False);
}

void moveTo(int x, int y) {
    XTestFakeMotionEvent(input(), DefaultScreen(input()), x, y, CurrentTime);
    XSync(input(), False);
}

void button(unsigned number, bool press) {
    XTestFakeButtonEvent(input(), number, press ? True : False, CurrentTime);
    XSync(input(), False);
}

void settle() {
    XSync(input(), False);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
}

bool releaseUnderGrab(unsigned long keysym) {
    return keyUnderGrab(keysym, false);
}

bool keyUnderGrab(unsigned long keysym, bool press) {
    Display* d = input();
    if (XGrabKeyboard(d, DefaultRootWindow(d), False, GrabModeAsync, GrabModeAsync, CurrentTime) !=
        GrabSuccess) {
        return false;
    }
    XSync(d, False);
    key(keysym, press);
    XUngrabKeyboard(d, CurrentTime);
    return true;
}

Time serverTime() {
    Display* d = input();
    Window own = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(d, own, PropertyChangeMask);
    XChangeProperty(d, own, XA_WM_NAME, XA_STRING, 8, PropModeAppend, nullptr, 0);
    XEvent event;
    XWindowEvent(d, own, PropertyChangeMask, &event);
    XDestroyWindow(d, own);
    return event.xproperty.time;
}

void sendKey(Window w, unsigned long keysym, bool press, Time time) {
    Display* d = input();
    XEvent event = {};
    event.xkey.type = press ? KeyPress : KeyRelease;
    event.xkey.display = d;
    event.xkey.window = w;
    event.xkey.root = DefaultRootWindow(d);
    event.xkey.time = time;
    event.xkey.x = event.xkey.y = event.xkey.x_root = event.xkey.y_root = 10;
    event.xkey.keycode = XKeysymToKeycode(d, keysym);
    event.xkey.same_screen = True;
    // No event mask: the event goes to the client that created the window, the platform.
    XSendEvent(d, w, False, NoEventMask, &event);
}

bool primaryLast = false;
bool poseAsXwayland = false;
bool xwaylandSeat = false;
bool randrWithoutMonitors = false;
bool xineramaInactive = false;
bool poseScreens = false;
std::vector<RECT> posedScreens;
bool refuseDetectableRepeat = false;

const RECT kLeftMonitor = {0, 0, 800, 600};
const RECT kPrimaryMonitor = {800, 200, 1824, 968};

namespace {
// Defines (or redefines) one monitor by name; with the screen's first output when it is primary.
bool setMonitor(const char* name, const RECT& rect, bool primary) {
    Display* d = input();
    Window root = DefaultRootWindow(d);
    XRRScreenResources* resources = XRRGetScreenResources(d, root);
    if (resources == nullptr) {
        return false;
    }
    int outputs = primary && resources->noutput > 0 ? 1 : 0;
    XRRMonitorInfo* monitor = XRRAllocateMonitor(d, outputs);
    if (monitor == nullptr) {
        XRRFreeScreenResources(resources);
        return false;
    }
    monitor->name = XInternAtom(d, name, False);
    monitor->primary = primary ? True : False;
    monitor->x = rect.left;
    monitor->y = rect.top;
    monitor->width = rect.right - rect.left;
    monitor->height = rect.bottom - rect.top;
    monitor->mwidth = monitor->width / 4;
    monitor->mheight = monitor->height / 4;
    if (outputs == 1) {
        // A monitor naming the output replaces the one the server made for it.
        monitor->outputs[0] = resources->outputs[0];
    }
    XRRSetMonitor(d, root, monitor);
    XSync(d, False);
    XRRFreeMonitors(monitor);
    XRRFreeScreenResources(resources);
    return true;
}
}  // namespace

bool addMonitors() {
    Display* d = input();
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(d, &eventBase, &errorBase) || !XRRQueryVersion(d, &major, &minor) ||
        (major == 1 && minor < 5)) {
        return false;
    }
    return setMonitor("KVR-LEFT", kLeftMonitor, false) && setMonitor("KVR-PRIMARY", kPrimaryMonitor, true);
}

void removeMonitors() {
    Display* d = input();
    Window root = DefaultRootWindow(d);
    XRRDeleteMonitor(d, root, XInternAtom(d, "KVR-LEFT", False));
    XRRDeleteMonitor(d, root, XInternAtom(d, "KVR-PRIMARY", False));
    XSync(d, False);
}

std::vector<Received> keyMessages() {
    std::vector<Received> keys;
    for (const auto& r : received) {
        if (r.message >= WM_KEYDOWN && r.message <= WM_SYSKEYUP && r.message != WM_CHAR) {
            keys.push_back(r);
        }
    }
    return keys;
}

bool waitKeys(size_t count) {
    return pumpUntil([count] { return keyMessages().size() >= count; }, 2000);
}

EdgeWindows::EdgeWindows(const RECT& area) {
    const RECT strips[] = {{area.left, area.top, area.left + 1, area.bottom},
                           {area.right - 1, area.top, area.right, area.bottom},
                           {area.left, area.top, area.right, area.top + 1},
                           {area.left, area.bottom - 1, area.right, area.bottom}};
    for (const RECT& r : strips) {
        XSetWindowAttributes attributes = {};
        attributes.override_redirect = True;
        attributes.event_mask =
            EnterWindowMask | LeaveWindowMask | (windows.size() < 2 ? PointerMotionMask : 0);
        windows.push_back(XCreateWindow(input(), DefaultRootWindow(input()), r.left, r.top,
                                        (unsigned)(r.right - r.left), (unsigned)(r.bottom - r.top), 0, 0,
                                        InputOnly, CopyFromParent, CWOverrideRedirect | CWEventMask,
                                        &attributes));
        XMapRaised(input(), windows.back());
    }
    XSync(input(), False);
}

EdgeWindows::~EdgeWindows() {
    for (Window w : windows) {
        XDestroyWindow(input(), w);
    }
    XSync(input(), False);
}

void InputWindowTest::SetUp() {
    KVR_NEED_DISPLAY();
    hwnd = openWindow();
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(GetWindowRect(hwnd, &rect));
    // Pointer inside the window, then start from a quiet queue.
    moveTo(rect.left + 100, rect.top + 100);
    settle();
    pumpFor(50);
    received.clear();
}

void InputWindowTest::TearDown() {
    if (displayAvailable()) {
        key(XK_Alt_L, false);
        key(XK_Shift_L, false);
    }
    closeWindow();
}

}  // namespace x11test

// The monitor lists as this process's calls see them: in the server's order (Xvfb puts the
// primary first), or reversed while x11test::primaryLast is set, as other servers may list them;
// Xinerama's are x11test::posedScreens instead while x11test::poseScreens is set.
extern "C" XRRMonitorInfo* XRRGetMonitors(Display* display, Window window, Bool active, int* count) {
    using Real = XRRMonitorInfo* (*)(Display*, Window, Bool, int*);
    static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "XRRGetMonitors"));
    XRRMonitorInfo* monitors = real != nullptr ? real(display, window, active, count) : nullptr;
    if (monitors != nullptr && x11test::primaryLast) {
        std::reverse(monitors, monitors + *count);
    }
    return monitors;
}

extern "C" XineramaScreenInfo* XineramaQueryScreens(Display* display, int* count) {
    using Real = XineramaScreenInfo* (*)(Display*, int*);
    static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "XineramaQueryScreens"));
    if (x11test::poseScreens) {
        const std::vector<RECT>& posed = x11test::posedScreens;
        size_t n = posed.empty() ? 1 : posed.size();
        auto* screens = static_cast<XineramaScreenInfo*>(std::calloc(n, sizeof(XineramaScreenInfo)));
        for (size_t i = 0; screens != nullptr && i < n; i++) {
            RECT r = posed.empty() ? RECT{0, 0, 640, 480} : posed[i];
            screens[i] = {(int)i, (short)r.left, (short)r.top, (short)(r.right - r.left),
                          (short)(r.bottom - r.top)};
        }
        *count = screens != nullptr ? (int)posed.size() : 0;
        return screens;
    }
    XineramaScreenInfo* screens = real != nullptr ? real(display, count) : nullptr;
    if (screens != nullptr && x11test::primaryLast) {
        std::reverse(screens, screens + *count);
        for (int i = 0; i < *count; i++) {
            screens[i].screen_number = i;
        }
    }
    return screens;
}

// RandR's version, Xinerama's activity and XKB's detectable auto-repeat as this process's calls
// see them: the server's, or older, inactive and refused while the poses are set.
extern "C" Status XRRQueryVersion(Display* display, int* major, int* minor) {
    using Real = Status (*)(Display*, int*, int*);
    static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "XRRQueryVersion"));
    Status status = real != nullptr ? real(display, major, minor) : 0;
    if (status != 0 && x11test::randrWithoutMonitors && (*major > 1 || (*major == 1 && *minor >= 5))) {
        *major = 1;
        *minor = 4;
    }
    return status;
}

extern "C" Bool XineramaIsActive(Display* display) {
    using Real = Bool (*)(Display*);
    static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "XineramaIsActive"));
    return !x11test::xineramaInactive && real != nullptr && real(display);
}

extern "C" Bool XkbSetDetectableAutoRepeat(Display* display, Bool detectable, Bool* supported) {
    using Real = Bool (*)(Display*, Bool, Bool*);
    static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "XkbSetDetectableAutoRepeat"));
    if (x11test::refuseDetectableRepeat || real == nullptr) {
        if (supported != nullptr) {
            *supported = False;
        }
        return False;
    }
    return real(display, detectable, supported);
}

// RandR's outputs and the input devices as an Xwayland server lists them, while posing as one.
// Each list is one block that its free call releases whole, so a name may point elsewhere.
extern "C" XRROutputInfo* XRRGetOutputInfo(Display* display, XRRScreenResources* resources, RROutput output) {
    using Real = XRROutputInfo* (*)(Display*, XRRScreenResources*, RROutput);
    static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "XRRGetOutputInfo"));
    XRROutputInfo* info = real != nullptr ? real(display, resources, output) : nullptr;
    if (info != nullptr && x11test::poseAsXwayland) {
        static char name[] = "XWAYLAND0";
        info->name = name;
        info->nameLen = (int)std::strlen(name);
    }
    return info;
}

extern "C" XDeviceInfo* XListInputDevices(Display* display, int* count) {
    using Real = XDeviceInfo* (*)(Display*, int*);
    static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "XListInputDevices"));
    XDeviceInfo* devices = real != nullptr ? real(display, count) : nullptr;
    if (devices != nullptr && x11test::poseAsXwayland) {
        static char pointer[] = "xwayland-pointer:15";
        static char other[] = "xwayland-keyboard:15";
        for (int i = 0; i < *count; i++) {
            devices[i].name = other;
        }
        if (x11test::xwaylandSeat && *count > 0) {
            devices[*count - 1].name = pointer;
        }
    }
    return devices;
}
