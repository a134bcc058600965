// x11_events.cpp - the translation of pending X events into window messages, in arrival
// order, for PeekMessageA (the queue is core_queue.cpp's), and the paints of exposed windows.
#include "x11_input.h"
#include "x11_state.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/extensions/XInput2.h>

#include <cmath>
#include <cstring>

// Module state: the latest pointer warps and the key names.
static unsigned long warpSerials[8];
static int warpCount = 0;
// XKB's names of the keys (such as "AD02"), read once per keyboard mapping, and the keycode of
// the key where US has A.
static char keyNames[256][4];
static bool keyNamesRead = false;
static unsigned keyA = 30 + 8;
// XInput 2 on this connection: its major opcode (0 before it is asked for, -1 when the server
// has no XInput 2), and whether pointer motion on the root is selected.
static int xiOpcode = 0;
static bool rootMotionSelected = false;

void kvr_x11ResetInput() {
    kvr_coreResetKeys();
    warpCount = 0;
    keyNamesRead = false;
    xiOpcode = 0;
    rootMotionSelected = false;
}

void kvr_x11NoteWarp(unsigned long serial) {
    warpSerials[warpCount % 8] = serial;
    warpCount++;
}

// True when a pointer warp was processed between the requests of two events' serials.
static bool warpBetween(unsigned long before, unsigned long after) {
    int n = warpCount < 8 ? warpCount : 8;
    for (int i = 0; i < n; i++) {
        if (warpSerials[i] > before && warpSerials[i] <= after) {
            return true;
        }
    }
    return false;
}

// Appends a message for a window to the queue.
static void post(KvrX11Window* w, UINT message, WPARAM wParam, LPARAM lParam, Time time) {
    kvr_corePost(kvr_x11HandleOf(w), message, wParam, lParam, (DWORD)time);
}

// Keeps a root position as the pointer's latest, which messages carry.
static void notePoint(int x, int y) {
    kvr_coreSetLastPoint(POINT{x, y});
}

// Reads the XKB key names; without XKB they stay empty and keys are placed by evdev keycode.
static void readKeyNames() {
    std::memset(keyNames, 0, sizeof keyNames);
    keyNamesRead = true;
    keyA = 30 + 8;
    XkbDescPtr keyboard = XkbGetMap(kvr_x11.display, 0, XkbUseCoreKbd);
    if (keyboard == nullptr) {
        return;
    }
    if (XkbGetNames(kvr_x11.display, XkbKeyNamesMask, keyboard) == Success && keyboard->names != nullptr &&
        keyboard->names->keys != nullptr) {
        for (int code = keyboard->min_key_code; code <= keyboard->max_key_code && code < 256; code++) {
            std::memcpy(keyNames[code], keyboard->names->keys[code].name, 4);
            if (std::strncmp(keyNames[code], "AC01", 4) == 0) {
                keyA = (unsigned)code;
            }
        }
    }
    XkbFreeKeyboard(keyboard, 0, True);
}

// The symbol of a key in the layout group active for a modifier state, at the level chosen
// by the given extra modifiers (Num Lock for the keypad's digit level), NoSymbol when there is none.
static KeySym symbolInGroup(unsigned keycode, unsigned state, unsigned extra) {
    unsigned modifiers = 0;
    KeySym symbol = NoSymbol;
    // Bits 13 and 14 of an event's state carry the XKB group.
    unsigned groupBits = state & (3u << 13);
    if (!XkbLookupKeySym(kvr_x11.display, (KeyCode)keycode, groupBits | extra, &modifiers, &symbol)) {
        return NoSymbol;
    }
    return symbol;
}

// The virtual-key code of a key event. The symbol comes from the active layout group, so that
// a Latin layout maps by its labels (the French A key is VK_A wherever it sits); Shift does
// not change the code (the '1' key is '1' whatever it types), Num Lock picks the keypad digits.
// Punctuation gets the VK_OEM codes of its symbol. Keys whose symbol has no code (Cyrillic,
// Greek, Hebrew letters) are placed by their position on a US keyboard, as Win32 does: the W key
// of a Russian layout is VK_W, its Cyrillic ha VK_OEM_4, and so is all of a non-Latin layout;
// a Latin layout's own symbols are placed so too, but for a letter's place (kvr_coreKeyVk).
static UINT keyVkOf(const XKeyEvent& event) {
    unsigned keycode = event.keycode & 0xFFu;
    // Num Lock is Mod2 on every common keymap. The digit level is looked up with Num Lock itself:
    // keymaps differ in whether Shift reaches it (Xvfb's default does not).
    KeySym level0 = symbolInGroup(keycode, event.state, 0);
    KeySym level1 = symbolInGroup(keycode, event.state, Mod2Mask);
    UINT vk = kvr_coreKeysymToVk(kvr_coreNumLockKeysym(level0, level1, (event.state & Mod2Mask) != 0));
    if (!keyNamesRead) {
        readKeyNames();
    }
    KeySym a = symbolInGroup(keyA, event.state, 0);
    return kvr_coreKeyVk(vk, level0, keyNames[keycode], keycode, a != NoSymbol && !kvr_coreIsLatinKeysym(a));
}

// Held keys follow the keyboard as the server reports it (XQueryKeymap, KeymapNotify): keys
// released unseen (in another window, or during another client's grab) are up, and Shift,
// Control or Alt pressed unseen are held. No key messages are made for it.
static void refreshHeldKeys(const char keys[32]) {
    for (int i = 8; i < 256; i++) {
        bool down = (keys[i / 8] & (1 << (i % 8))) != 0;
        if (down && kvr_coreHeldVk((unsigned)i) == 0) {
            UINT vk = kvr_coreKeysymToVk(XkbKeycodeToKeysym(kvr_x11.display, (KeyCode)i, 0, 0));
            if (vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU) {
                kvr_coreHoldKey((unsigned)i, vk);
            }
        } else if (!down) {
            kvr_coreReleaseKey((unsigned)i);
        }
    }
}

// True when a key release is the first half of an old-style auto-repeat pair.
static bool releaseIsRepeat(const XKeyEvent& release) {
    if (kvr_x11.xkbDetectableRepeat || XEventsQueued(kvr_x11.display, QueuedAfterReading) == 0) {
        return false;
    }
    XEvent next;
    XPeekEvent(kvr_x11.display, &next);
    return next.type == KeyPress && next.xkey.keycode == release.keycode && next.xkey.time - release.time < 2;
}

// A key press or release becomes WM_KEYDOWN, WM_SYSKEYDOWN, WM_KEYUP or WM_SYSKEYUP.
static void handleKey(KvrX11Window* w, XKeyEvent& event, bool press) {
    unsigned keycode = event.keycode & 0xFFu;
    // A release carries the code its press had, even when the layout or Num Lock changed since.
    UINT held = kvr_coreHeldVk(keycode);
    UINT vk = !press && held != 0 ? held : keyVkOf(event);
    if (vk == 0) {
        return;
    }
    if (!press && releaseIsRepeat(event)) {
        return;  // the press that follows is reported as a repeat
    }
    // Alt and Control come from the server's state (as it was just before this event, so a
    // modifier's own press counts too), never from our record of presses and releases: another
    // client's keyboard grab can swallow a release.
    bool alt = (event.state & Mod1Mask) != 0 || vk == VK_MENU;
    bool control = (event.state & ControlMask) != 0 || vk == VK_CONTROL;
    kvr_corePostKey(kvr_x11HandleOf(w), keycode, vk, press, alt, control, (DWORD)event.time);
}

// A button becomes a button message, buttons 4 and 5 a wheel message; their releases mean nothing.
static void handleButton(KvrX11Window* w, XButtonEvent& event, bool press) {
    notePoint(event.x_root, event.y_root);
    if (event.button == 4 || event.button == 5) {
        if (press) {
            // WM_MOUSEWHEEL carries screen coordinates.
            POINT origin = kvr_x11ScreenOrigin();
            post(w, WM_MOUSEWHEEL, kvr_x11WheelWParam(event.button, event.state),
                 kvr_corePointLParam(event.x_root - origin.x, event.y_root - origin.y), event.time);
        }
        return;
    }
    UINT message = kvr_x11ButtonMessage(event.button, press);
    if (message != 0) {
        post(w, message, kvr_x11FlagsAfterButton(event.state, event.button, press),
             kvr_corePointLParam(event.x, event.y), event.time);
    }
}

// Takes the motion events that directly follow an event and are of its kind (same(latest, next)),
// leaving the latest in *latest; nothing is merged across another event or across a pointer warp.
// A burst larger than the connection's socket buffer arrives in parts: when the local queue runs
// dry after a motion, one round trip (XSync) brings in the rest the server already has, so that
// it is merged too, as Win32 merges all queued moves. XEventsQueued(QueuedAfterFlush) does not
// suffice: it reads only what is in the socket at that instant, not what the server has still to write.
static void takeLaterMotion(XEvent* latest, bool (*same)(const XEvent&, const XEvent&)) {
    bool synced = false;
    for (;;) {
        if (XEventsQueued(kvr_x11.display, QueuedAlready) == 0) {
            if (synced) {
                break;
            }
            XSync(kvr_x11.display, False);
            synced = true;
            continue;
        }
        XEvent next;
        XPeekEvent(kvr_x11.display, &next);
        if (!same(*latest, next) || warpBetween(latest->xany.serial, next.xany.serial)) {
            break;
        }
        XNextEvent(kvr_x11.display, latest);
    }
}

// True when the next event is core motion of the same window as the latest.
static bool sameWindowMotion(const XEvent& latest, const XEvent& next) {
    return next.type == MotionNotify && next.xmotion.window == latest.xmotion.window;
}

// Consecutive motion of the same window becomes one WM_MOUSEMOVE with the latest position.
static void handleMotion(KvrX11Window* w, XEvent& event) {
    XEvent latest = event;
    takeLaterMotion(&latest, sameWindowMotion);
    notePoint(latest.xmotion.x_root, latest.xmotion.y_root);
    // While a button is held X keeps sending motion from outside the window (its implicit grab);
    // Win32 sends no moves from outside the client area unless the program captured the mouse,
    // which this subset never does.
    int x = latest.xmotion.x, y = latest.xmotion.y;
    if (x < 0 || y < 0 || (w->reportedWidth >= 0 && (x >= w->reportedWidth || y >= w->reportedHeight))) {
        return;
    }
    post(w, WM_MOUSEMOVE, kvr_x11MouseKeyFlags(latest.xmotion.state),
         kvr_corePointLParam(latest.xmotion.x, latest.xmotion.y), latest.xmotion.time);
}

// The full-screen window that has the focus, or null. While there is one, pointer motion on its
// edges over other clients' windows (a window manager's 1-pixel windows on the screen's edges,
// for its edge actions) is its motion too: on Win32 nothing covers them, and the pointer wrap at
// the side edges needs the moves onto the edge columns.
static KvrX11Window* focusedFullscreenWindow() {
    for (KvrX11Window& w : kvr_x11Windows) {
        if (w.used && w.mapped && w.fullscreenRequested && w.focused && !w.minimised) {
            return &w;
        }
    }
    return nullptr;
}

void kvr_x11FollowRootMotion() {
    Display* d = kvr_x11.display;
    if (d == nullptr) {
        return;
    }
    if (xiOpcode == 0) {
        int event = 0, error = 0, major = 2, minor = 0;
        kvr_x11TrapBegin();
        bool present = XQueryExtension(d, "XInputExtension", &xiOpcode, &event, &error) &&
                       XIQueryVersion(d, &major, &minor) == Success && major >= 2;
        xiOpcode = kvr_x11TrapEnd() == 0 && present ? xiOpcode : -1;
    }
    bool wanted = xiOpcode > 0 && focusedFullscreenWindow() != nullptr;
    if (wanted == rootMotionSelected) {
        return;
    }
    // XInput 2 events go up from the window under the pointer to the first window with a client
    // selecting them, in any of core, XInput and XInput 2; motion that our window takes as core
    // motion does not reach the root, so no move is reported twice. The pointer is never grabbed.
    unsigned char bits[XIMaskLen(XI_Motion)] = {0};
    if (wanted) {
        XISetMask(bits, XI_Motion);
    }
    XIEventMask mask = {XIAllMasterDevices, (int)sizeof bits, bits};
    kvr_x11TrapBegin();
    XISelectEvents(d, kvr_x11.root, &mask, 1);
    rootMotionSelected = kvr_x11TrapEnd() == 0 ? wanted : rootMotionSelected;
}

// Posts a move of the focused full-screen window to a root position on its outermost rows or
// columns, when it differs from the latest position reported (crossing onto another window and
// the motion that caused it both carry the position). Elsewhere a window over the full-screen
// one keeps the pointer to itself, as a window on top does on Win32; and a window mapped under
// the pointer makes a crossing without any move.
static void postCoveredMove(KvrX11Window* w, const POINT& root, unsigned state, Time time) {
    RECT rect;
    POINT last = kvr_coreLastPoint();
    if (w == nullptr || w != focusedFullscreenWindow() || (root.x == last.x && root.y == last.y) ||
        !kvr_x11ClientRect(w, &rect, nullptr) || root.x < rect.left || root.y < rect.top ||
        root.x >= rect.right || root.y >= rect.bottom) {
        return;
    }
    if (root.x != rect.left && root.x != rect.right - 1 && root.y != rect.top && root.y != rect.bottom - 1) {
        return;
    }
    kvr_coreSetLastPoint(root);
    post(w, WM_MOUSEMOVE, kvr_x11MouseKeyFlags(state),
         kvr_corePointLParam(root.x - rect.left, root.y - rect.top), time);
}

// True when an event is XInput 2 pointer motion (selected on the root only).
static bool isRootMotion(const XEvent& event) {
    return event.type == GenericEvent && event.xcookie.extension == xiOpcode &&
           event.xcookie.evtype == XI_Motion;
}

// True when the next event is XInput 2 motion too.
static bool sameRootMotion(const XEvent&, const XEvent& next) {
    return isRootMotion(next);
}

// Motion that reached the root: consecutive ones become one move with the latest position.
static void handleRootMotion(XEvent& event) {
    XEvent latest = event;
    takeLaterMotion(&latest, sameRootMotion);
    if (!XGetEventData(kvr_x11.display, &latest.xcookie)) {
        return;
    }
    const XIDeviceEvent* motion = (const XIDeviceEvent*)latest.xcookie.data;
    POINT root = {(LONG)std::floor(motion->root_x), (LONG)std::floor(motion->root_y)};
    unsigned state = (unsigned)motion->mods.effective;
    for (int button = 1; button <= 3; button++) {
        if (button < motion->buttons.mask_len * 8 && XIMaskIsSet(motion->buttons.mask, button)) {
            state |= Button1Mask << (button - 1);
        }
    }
    Time time = motion->time;
    XFreeEventData(kvr_x11.display, &latest.xcookie);
    kvr_x11NoteTime(time);
    postCoveredMove(focusedFullscreenWindow(), root, state, time);
}

// The pointer leaving the window onto another client's window that lies on it in full screen
// moved to the position the crossing carries: that window may take the motion itself, so that
// none reaches the root.
static void handleLeave(KvrX11Window* w, XCrossingEvent& event) {
    if (event.mode == NotifyNormal && event.detail != NotifyInferior) {
        postCoveredMove(w, POINT{event.x_root, event.y_root}, event.state, event.time);
    }
}

// Queues WM_SIZE when the client size differs from the latest one reported.
static void postSize(KvrX11Window* w, WPARAM kind, int width, int height) {
    if (kind == SIZE_RESTORED && w->reportedWidth == width && w->reportedHeight == height) {
        return;
    }
    w->reportedWidth = width;
    w->reportedHeight = height;
    post(w, WM_SIZE, kind, MAKELPARAM(width, height), CurrentTime);
}

// A size change the server confirms becomes WM_SIZE, unless it was already reported.
static void handleConfigure(KvrX11Window* w, XConfigureEvent& event) {
    if (event.window != w->xwindow || event.serial < w->staleConfigureSerial || w->minimised) {
        return;
    }
    postSize(w, SIZE_RESTORED, event.width, event.height);
}

// True when the window manager reports the window iconified (WM_STATE or _NET_WM_STATE_HIDDEN).
static bool iconified(KvrX11Window* w) {
    bool result = false;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    kvr_x11TrapBegin();
    if (XGetWindowProperty(kvr_x11.display, w->xwindow, kvr_x11.atoms.wmState, 0, 2, False,
                           kvr_x11.atoms.wmState, &type, &format, &count, &after, &data) == Success &&
        data != nullptr && format == 32 && count >= 1) {
        result = ((long*)data)[0] == IconicState;
    }
    if (data != nullptr) {
        XFree(data);
        data = nullptr;
    }
    if (XGetWindowProperty(kvr_x11.display, w->xwindow, kvr_x11.atoms.netWmState, 0, 32, False, XA_ATOM,
                           &type, &format, &count, &after, &data) == Success &&
        data != nullptr && format == 32) {
        for (unsigned long i = 0; i < count; i++) {
            if ((Atom)((long*)data)[i] == kvr_x11.atoms.netWmStateHidden) {
                result = true;
            }
        }
    }
    if (data != nullptr) {
        XFree(data);
    }
    kvr_x11TrapEnd();
    return result;
}

// The restore from minimised, once the window can be seen again: WM_SIZE with the client size
// (the application draws its frame for it) and WM_ACTIVATE.
static void handleRestore(KvrX11Window* w) {
    if (!w->restorePending) {
        return;
    }
    w->restorePending = false;
    RECT rect;
    if (kvr_x11ClientRect(w, &rect, nullptr)) {
        postSize(w, SIZE_RESTORED, (int)(rect.right - rect.left), (int)(rect.bottom - rect.top));
    }
    post(w, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0), 0, CurrentTime);
}

// Iconify becomes WM_SIZE 0 by 0 and WM_ACTIVATE with the minimised flag; the restore undoes both.
static void handleProperty(KvrX11Window* w, XPropertyEvent& event) {
    if (event.atom != kvr_x11.atoms.wmState && event.atom != kvr_x11.atoms.netWmState) {
        return;
    }
    bool iconic = iconified(w);
    if (iconic && !w->minimised) {
        w->minimised = true;
        postSize(w, SIZE_MINIMIZED, 0, 0);
        post(w, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1), 0, CurrentTime);
    } else if (!iconic && w->minimised) {
        w->minimised = false;
        XWindowAttributes attributes;
        kvr_x11TrapBegin();
        Status ok = XGetWindowAttributes(kvr_x11.display, w->xwindow, &attributes);
        kvr_x11TrapEnd();
        // Window managers (openbox among them) change WM_STATE around mapping the window and its
        // frame again: a frame drawn for WM_SIZE before the window can be seen would be lost, so
        // the restore is reported when it can (here, or at its VisibilityNotify).
        w->restorePending = true;
        if (ok != 0 && attributes.map_state == IsViewable && w->visible) {
            handleRestore(w);
        }
    }
}

// Gaining or losing the input focus becomes WM_ACTIVATE; every focus gain, including the one
// that ends another client's keyboard grab, brings the held keys up to date.
static void handleFocus(KvrX11Window* w, XFocusChangeEvent& event, bool in) {
    if (in) {
        char keys[32];
        XQueryKeymap(kvr_x11.display, keys);
        refreshHeldKeys(keys);
    }
    if (event.mode == NotifyGrab || event.mode == NotifyUngrab || event.detail == NotifyPointer ||
        event.detail == NotifyInferior) {
        return;
    }
    if (in == w->focused) {
        return;
    }
    w->focused = in;
    kvr_x11FollowRootMotion();
    WORD state = in ? WA_ACTIVE : WA_INACTIVE;
    post(w, WM_ACTIVATE, MAKEWPARAM(state, w->minimised ? 1 : 0), 0, CurrentTime);
}

// The close button becomes WM_CLOSE; a window manager's ping is answered at once.
static void handleClientMessage(KvrX11Window* w, XClientMessageEvent& event) {
    if (event.message_type != kvr_x11.atoms.wmProtocols || event.format != 32) {
        return;
    }
    Atom protocol = (Atom)event.data.l[0];
    if (protocol == kvr_x11.atoms.wmDeleteWindow) {
        post(w, WM_CLOSE, 0, 0, CurrentTime);
    } else if (protocol == kvr_x11.atoms.netWmPing) {
        XEvent reply;
        std::memset(&reply, 0, sizeof reply);
        reply.xclient = event;
        reply.xclient.window = kvr_x11.root;
        XSendEvent(kvr_x11.display, kvr_x11.root, False, SubstructureNotifyMask | SubstructureRedirectMask,
                   &reply);
        XFlush(kvr_x11.display);
    }
}

// Keeps the server time of the latest event that carries one: the user's last action, which
// requests to the window manager (focus) quote. Events are read in their order, but some
// queued before the server was asked for its time (kvr_x11UserTime) are read after it, so
// only a later time replaces the kept one.
static void noteEventTime(const XEvent& event) {
    Time t = 0;
    switch (event.type) {
        case KeyPress:
        case KeyRelease:
            t = event.xkey.time;
            break;
        case ButtonPress:
        case ButtonRelease:
            t = event.xbutton.time;
            break;
        case MotionNotify:
            t = event.xmotion.time;
            break;
        case EnterNotify:
        case LeaveNotify:
            t = event.xcrossing.time;
            break;
        case PropertyNotify:
            t = event.xproperty.time;
            break;
        default:
            break;
    }
    kvr_x11NoteTime(t);
}

// Turns one X event into zero or more queued messages.
static void translate(XEvent& event) {
    if (event.type == MappingNotify) {
        XRefreshKeyboardMapping(&event.xmapping);
        keyNamesRead = false;
        return;
    }
    if (event.type == KeymapNotify) {
        refreshHeldKeys(event.xkeymap.key_vector);  // it names no window
        return;
    }
    if (isRootMotion(event)) {
        handleRootMotion(event);
        return;
    }
    noteEventTime(event);
    if (kvr_x11MonitorEvent(&event)) {
        return;
    }
    KvrX11Window* w = kvr_x11WindowOfX(event.xany.window);
    if (w == nullptr) {
        return;
    }
    switch (event.type) {
        case KeyPress:
        case KeyRelease:
            handleKey(w, event.xkey, event.type == KeyPress);
            break;
        case ButtonPress:
        case ButtonRelease:
            handleButton(w, event.xbutton, event.type == ButtonPress);
            break;
        case MotionNotify:
            handleMotion(w, event);
            break;
        case LeaveNotify:
            handleLeave(w, event.xcrossing);
            break;
        case ConfigureNotify:
            handleConfigure(w, event.xconfigure);
            break;
        case PropertyNotify:
            handleProperty(w, event.xproperty);
            break;
        case FocusIn:
        case FocusOut:
            handleFocus(w, event.xfocus, event.type == FocusIn);
            break;
        case ClientMessage:
            handleClientMessage(w, event.xclient);
            break;
        case DestroyNotify:
            // Another client destroyed the window (xdotool windowclose, a session ending): with
            // the window gone the program could only be killed, so ask it to close instead. A
            // window we destroy or recreate ourselves no longer maps to this handle by now.
            if (event.xdestroywindow.window == w->xwindow) {
                w->xwindowGone = true;
                post(w, WM_CLOSE, 0, 0, CurrentTime);
            }
            break;
        case Expose:
            // Contents lost: the window was mapped, or shown again after its frame or another
            // window hid it. A frame presented while it could not be seen (a manager putting
            // it into its frame) is lost too, and only a paint has it drawn again.
            w->paintPending = true;
            break;
        case UnmapNotify:
            w->visible = false;  // no VisibilityNotify comes when a window stops being viewable
            break;
        case VisibilityNotify:
            // The restore is reported once the window can be seen: its MapNotify comes while a
            // window manager's frame around it (openbox's) is still unmapped, and a frame drawn
            // then would be lost.
            w->visible = event.xvisibility.state != VisibilityFullyObscured;
            if (w->visible) {
                handleRestore(w);
            }
            break;
        default:
            break;
    }
}

bool kvr_x11TranslatePending() {
    if (kvr_x11.display == nullptr || XPending(kvr_x11.display) <= 0) {
        return false;
    }
    XEvent event;
    XNextEvent(kvr_x11.display, &event);
    translate(event);
    return true;
}

bool kvr_x11TakePaint(LPMSG msg, HWND hwnd, UINT remove) {
    for (KvrX11Window& w : kvr_x11Windows) {
        if (w.used && w.paintPending && (hwnd == nullptr || kvr_x11HandleOf(&w) == hwnd)) {
            std::memset(msg, 0, sizeof *msg);
            msg->hwnd = kvr_x11HandleOf(&w);
            msg->message = WM_PAINT;
            msg->pt = kvr_coreLastPoint();
            if (remove & PM_REMOVE) {
                w.paintPending = false;
            }
            return true;
        }
    }
    return false;
}
