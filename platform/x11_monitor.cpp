// x11_monitor.cpp - the monitors of the X screen and the primary one, which is Win32's screen;
// and what the server is: Xwayland, and whether the pointer may be warped there.
//
// Win32's screen metrics are the primary monitor's size and its screen coordinates start at
// the primary monitor's top-left corner; the X screen may span several monitors. Monitors come
// from RandR 1.5 (the one marked primary, else the first), from Xinerama where RandR has none,
// and the whole X screen stands in where neither answers. The list is read again on every
// question: servers do not announce every change (a monitor defined with RRSetMonitor sends no
// notification), and the few callers (placement, the metrics, pointer warps, wheel positions)
// are rare. RandR notifications keep Xlib's idea of the screen size current.
#include "x11_state.h"

#include <X11/Xatom.h>
#include <X11/extensions/XInput.h>
#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>

#include <cstring>

// Module state: the connection the extensions were queried on and what it offers.
static Display* queriedDisplay = nullptr;
static bool randrMonitors = false;  // RandR 1.5 or later
static bool randrPresent = false;
static int randrEventBase = 0;
static bool xinerama = false;
static POINT origin = {0, 0};  // the primary's corner as last read
static bool xwayland = false;  // the server is Xwayland (its outputs are named XWAYLAND<n>)

// Queries the extensions once per connection and asks for RandR's change notifications.
static void queryExtensions() {
    Display* d = kvr_x11.display;
    if (queriedDisplay == d) {
        return;
    }
    queriedDisplay = d;
    randrMonitors = false;
    randrPresent = false;
    xinerama = false;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (XRRQueryExtension(d, &eventBase, &errorBase) && XRRQueryVersion(d, &major, &minor)) {
        randrPresent = true;
        randrEventBase = eventBase;
        randrMonitors = major > 1 || (major == 1 && minor >= 5);
        kvr_x11TrapBegin();
        XRRSelectInput(d, kvr_x11.root,
                       RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
        kvr_x11TrapEnd();
    }
    xinerama = XineramaQueryExtension(d, &eventBase, &errorBase) && XineramaIsActive(d);
    xwayland = false;
    XRRScreenResources* resources = randrPresent ? XRRGetScreenResourcesCurrent(d, kvr_x11.root) : nullptr;
    for (int i = 0; resources != nullptr && i < resources->noutput && !xwayland; i++) {
        XRROutputInfo* output = XRRGetOutputInfo(d, resources, resources->outputs[i]);
        if (output != nullptr) {
            xwayland = output->name != nullptr && std::strncmp(output->name, "XWAYLAND", 8) == 0;
            XRRFreeOutputInfo(output);
        }
    }
    if (resources != nullptr) {
        XRRFreeScreenResources(resources);
    }
}

bool kvr_x11IsXwayland() {
    if (!kvr_x11Open()) {
        return false;
    }
    queryExtensions();
    return xwayland;
}

// Makes a rectangle from an origin and a size.
static RECT makeRect(int x, int y, int width, int height) {
    RECT rect = {x, y, x + width, y + height};
    return rect;
}

// The primary monitor by RandR 1.5: the one marked primary, else the first; false when none.
static bool randrPrimary(RECT* rect) {
    int count = 0;
    kvr_x11TrapBegin();
    XRRMonitorInfo* monitors = XRRGetMonitors(kvr_x11.display, kvr_x11.root, True, &count);
    int error = kvr_x11TrapEnd();
    if (error != 0 || monitors == nullptr || count <= 0) {
        if (monitors != nullptr) {
            XRRFreeMonitors(monitors);
        }
        return false;
    }
    int chosen = 0;
    for (int i = 0; i < count; i++) {
        if (monitors[i].primary) {
            chosen = i;
            break;
        }
    }
    const XRRMonitorInfo& m = monitors[chosen];
    bool usable = m.width > 0 && m.height > 0;
    if (usable) {
        *rect = makeRect(m.x, m.y, m.width, m.height);
    }
    XRRFreeMonitors(monitors);
    return usable;
}

// The Xinerama screens; null when there are none. Free with XFree.
static XineramaScreenInfo* xineramaScreens(int* count) {
    *count = 0;
    if (!xinerama) {
        return nullptr;
    }
    XineramaScreenInfo* screens = XineramaQueryScreens(kvr_x11.display, count);
    if (screens != nullptr && *count <= 0) {
        XFree(screens);
        screens = nullptr;
        *count = 0;
    }
    return screens;
}

// The primary monitor: RandR's, else Xinerama's first screen, else the whole X screen.
static RECT readPrimary() {
    RECT rect = {0, 0, 0, 0};
    if (randrMonitors && randrPrimary(&rect)) {
        return rect;
    }
    // Xinerama knows no primary: its first screen stands in.
    int count = 0;
    XineramaScreenInfo* screens = xineramaScreens(&count);
    if (screens != nullptr) {
        rect = makeRect(screens[0].x_org, screens[0].y_org, screens[0].width, screens[0].height);
        XFree(screens);
        if (rect.right > rect.left && rect.bottom > rect.top) {
            return rect;
        }
    }
    return makeRect(0, 0, DisplayWidth(kvr_x11.display, kvr_x11.screen),
                    DisplayHeight(kvr_x11.display, kvr_x11.screen));
}

RECT kvr_x11PrimaryMonitor() {
    RECT rect = {0, 0, 0, 0};
    if (!kvr_x11Open()) {
        return rect;
    }
    queryExtensions();
    rect = readPrimary();
    origin.x = rect.left;
    origin.y = rect.top;
    return rect;
}

POINT kvr_x11ScreenOrigin() {
    if (queriedDisplay != kvr_x11.display) {
        kvr_x11PrimaryMonitor();
    }
    return origin;
}

int kvr_x11MonitorIndex(const RECT& monitor) {
    if (!kvr_x11Open()) {
        return -1;
    }
    queryExtensions();
    int count = 0;
    XineramaScreenInfo* screens = xineramaScreens(&count);
    int index = -1;
    for (int i = 0; i < count && index < 0; i++) {
        if (screens[i].x_org == monitor.left && screens[i].y_org == monitor.top &&
            screens[i].x_org + screens[i].width == monitor.right &&
            screens[i].y_org + screens[i].height == monitor.bottom) {
            index = i;
        }
    }
    if (screens != nullptr) {
        XFree(screens);
    }
    return index;
}

bool kvr_x11CanWarpPointer() {
    if (!kvr_x11IsXwayland()) {
        return kvr_x11.display != nullptr;
    }
    // Xwayland without a seat (a headless compositor) has no xwayland-pointer device and ends
    // with a crash on a warp to the root. Devices come and go with seats, so ask each time.
    int count = 0;
    XDeviceInfo* devices = XListInputDevices(kvr_x11.display, &count);
    bool pointer = false;
    for (int i = 0; devices != nullptr && i < count && !pointer; i++) {
        pointer = devices[i].name != nullptr && std::strncmp(devices[i].name, "xwayland-pointer:", 17) == 0;
    }
    if (devices != nullptr) {
        XFreeDeviceList(devices);
    }
    return pointer;
}

bool kvr_x11MonitorEvent(XEvent* event) {
    if (!randrPresent || queriedDisplay != kvr_x11.display || event->type < randrEventBase ||
        event->type > randrEventBase + RRNotify) {
        return false;
    }
    // The screen's size in Xlib's own records follows the change, and so does the origin.
    XRRUpdateConfiguration(event);
    kvr_x11PrimaryMonitor();
    return true;
}
