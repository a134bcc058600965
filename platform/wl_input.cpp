// wl_input.cpp - the seat's keyboard and pointer turned into window messages.
//
// Keys: the compositor's keymap through xkbcommon. Keysyms have X11's values and keycodes are
// evdev codes plus 8, so virtual-key and scan codes come from the same core translation as on
// X11 (core_input.cpp): the symbol at the unshifted level of the active layout, the keypad's
// digits with Num Lock, the US position for symbols without a code. Alt and Control come from
// the compositor's modifier state, which comes after each key, so that a modifier's own press
// counts as on X11. Wayland repeats nothing itself: a held key repeats here at the rate and
// delay the compositor gives (repeat_info), as WM_KEYDOWN with the previous-state bit.
//
// Pointer: positions in client coordinates, buttons, the wheel at 120 per notch (discrete steps
// where the seat gives them). In full screen, with the keyboard, the pointer is locked and the
// cursor hidden: Wayland has no warp, so the position is one kept here, moved by relative motion
// and by SetCursorPos. Without pointer constraints or relative motion the pointer stays free:
// the position is the absolute one and SetCursorPos cannot move it.
#include "wl_state.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-cursor.h>
#include <xkbcommon/xkbcommon.h>

#include <cmath>
#include <cstring>

// evdev's button codes.
#define KVR_BTN_LEFT 0x110
#define KVR_BTN_RIGHT 0x111
#define KVR_BTN_MIDDLE 0x112

// Module state: the devices, the keymap and what the keyboard and pointer point at.
static wl_keyboard* keyboard = nullptr;
static wl_pointer* pointer = nullptr;
static zwp_relative_pointer_v1* relativePointer = nullptr;
static xkb_context* xkbContext = nullptr;
static xkb_keymap* keymap = nullptr;
static xkb_state* keyState = nullptr;
static xkb_state* lookupState = nullptr;  // for a key's symbol under chosen modifiers only
static unsigned keyA = 30 + 8;            // the keycode where US has A
static KvrWlWindow* keyWindow = nullptr;  // has the keyboard
static int repeatRate = 25;               // repeats a second, 0 for none
static int repeatDelay = 600;             // milliseconds before the first
static unsigned repeatKey = 0;            // the held key that repeats, 0 for none
static long long repeatNext = 0;          // when its next repeat is due
static KvrWlWindow* pointerWindow = nullptr;
static uint32_t pointerSerial = 0;  // of the latest enter, for the cursor
static double pointerX = 0, pointerY = 0;
static WPARAM buttons = 0;  // MK_ flags of the buttons held
static int wheelSteps = 0;
static double wheelValue = 0;
static bool wheelDiscrete = false;
static zwp_locked_pointer_v1* lock = nullptr;
static KvrWlWindow* lockWindow = nullptr;
static bool locked = false;
static double keptX = 0, keptY = 0;  // the locked pointer's position
static bool keptUnknown = false;     // locked before the pointer entered: it starts where it enters
static wl_cursor_theme* cursorTheme = nullptr;
static wl_surface* cursorSurface = nullptr;

// --- keyboard ---

// The keysym of a key in a layout under the given modifiers alone, 0 when it has none.
static unsigned long symbolUnder(unsigned keycode, xkb_layout_index_t layout, xkb_mod_mask_t mods) {
    if (lookupState == nullptr) {
        return 0;
    }
    xkb_state_update_mask(lookupState, mods, 0, 0, 0, 0, layout);
    return xkb_state_key_get_one_sym(lookupState, keycode);
}

// The mask of a named modifier, 0 when the keymap has none.
static xkb_mod_mask_t modMask(const char* name) {
    xkb_mod_index_t index = keymap != nullptr ? xkb_keymap_mod_get_index(keymap, name) : XKB_MOD_INVALID;
    return index == XKB_MOD_INVALID ? 0 : (xkb_mod_mask_t)1 << index;
}

static bool modActive(const char* name) {
    return keyState != nullptr && xkb_state_mod_name_is_active(keyState, name, XKB_STATE_MODS_EFFECTIVE) > 0;
}

// The virtual-key code of a key, as on X11 (x11_events.cpp's keyVkOf).
static UINT keyVkOf(unsigned keycode) {
    if (keyState == nullptr) {
        return 0;
    }
    xkb_layout_index_t layout = xkb_state_key_get_layout(keyState, keycode);
    if (layout == XKB_LAYOUT_INVALID) {
        layout = 0;
    }
    unsigned long level0 = symbolUnder(keycode, layout, 0);
    unsigned long level1 = symbolUnder(keycode, layout, modMask(XKB_MOD_NAME_NUM));
    UINT vk = kvr_coreKeysymToVk(kvr_coreNumLockKeysym(level0, level1, modActive(XKB_MOD_NAME_NUM)));
    char name[4] = {0, 0, 0, 0};
    const char* keyName = xkb_keymap_key_get_name(keymap, keycode);
    if (keyName != nullptr) {
        std::memcpy(name, keyName, strnlen(keyName, sizeof name));
    }
    unsigned long a = symbolUnder(keyA, layout, 0);
    return kvr_coreKeyVk(vk, level0, name, keycode, a != 0 && !kvr_coreIsLatinKeysym(a));
}

// A key press or release becomes WM_KEYDOWN, WM_SYSKEYDOWN, WM_KEYUP or WM_SYSKEYUP.
static void handleKey(KvrWlWindow* w, unsigned keycode, bool press, DWORD time) {
    // A release carries the code its press had, even when the layout or Num Lock changed since.
    UINT held = kvr_coreHeldVk(keycode);
    UINT vk = !press && held != 0 ? held : keyVkOf(keycode);
    if (vk == 0) {
        return;
    }
    bool alt = modActive(XKB_MOD_NAME_ALT) || vk == VK_MENU;
    bool control = modActive(XKB_MOD_NAME_CTRL) || vk == VK_CONTROL;
    kvr_corePostKey(kvr_wlHandleOf(w), keycode, vk, press, alt, control, time);
}

static void findKeyA(xkb_keymap* map, xkb_keycode_t keycode, void*) {
    const char* name = xkb_keymap_key_get_name(map, keycode);
    if (name != nullptr && std::strcmp(name, "AC01") == 0) {
        keyA = keycode;
    }
}

static void keyboardKeymap(void*, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
    if (format != WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 || size == 0) {
        close(fd);
        return;
    }
    void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (text == MAP_FAILED) {
        return;
    }
    xkb_keymap* map = xkb_keymap_new_from_buffer(xkbContext, static_cast<const char*>(text),
                                                 strnlen(static_cast<const char*>(text), size),
                                                 XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
    munmap(text, size);
    if (map == nullptr) {
        return;
    }
    xkb_state* state = xkb_state_new(map);
    xkb_state* lookup = xkb_state_new(map);
    if (state == nullptr || lookup == nullptr) {
        xkb_state_unref(lookup);
        xkb_state_unref(state);
        xkb_keymap_unref(map);
        return;
    }
    xkb_state_unref(lookupState);
    xkb_state_unref(keyState);
    xkb_keymap_unref(keymap);
    keymap = map;
    keyState = state;
    lookupState = lookup;
    keyA = 30 + 8;
    xkb_keymap_key_for_each(keymap, findKeyA, nullptr);
}

// Held keys follow the keyboard as the compositor reports it on enter: keys released unseen
// are up, and Shift, Control or Alt pressed unseen are held, without key messages.
static void refreshHeldKeys(wl_array* keys) {
    bool down[256] = {false};
    const uint32_t* codes = static_cast<const uint32_t*>(keys->data);
    for (size_t i = 0; i < keys->size / sizeof(uint32_t); i++) {
        if (codes[i] + 8 < 256) {
            down[codes[i] + 8] = true;
        }
    }
    for (unsigned code = 8; code < 256; code++) {
        if (down[code] && kvr_coreHeldVk(code) == 0) {
            UINT vk = kvr_coreKeysymToVk(symbolUnder(code, 0, 0));
            if (vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU) {
                kvr_coreHoldKey(code, vk);
            }
        } else if (!down[code]) {
            kvr_coreReleaseKey(code);
        }
    }
}

static void keyboardEnter(void*, wl_keyboard*, uint32_t, wl_surface* surface, wl_array* keys) {
    KvrWlWindow* w = kvr_wlWindowOfSurface(surface);
    refreshHeldKeys(keys);
    keyWindow = w;
    if (w != nullptr && !w->focused) {
        w->focused = true;
        w->minimised = false;
        kvr_wlPost(w, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0), 0, 0);
    }
    kvr_wlFollowLock();
}

static void keyboardLeave(void*, wl_keyboard*, uint32_t, wl_surface* surface) {
    KvrWlWindow* w = kvr_wlWindowOfSurface(surface);
    repeatKey = 0;
    if (keyWindow == w) {
        keyWindow = nullptr;
    }
    if (w != nullptr && w->focused) {
        w->focused = false;
        kvr_wlPost(w, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, w->minimised ? 1 : 0), 0, 0);
    }
    kvr_wlFollowLock();
}

static void keyboardKey(void*, wl_keyboard*, uint32_t, uint32_t time, uint32_t key, uint32_t state) {
    unsigned keycode = key + 8;
    bool press = state == WL_KEYBOARD_KEY_STATE_PRESSED;
    if (keyWindow == nullptr || keycode > 255) {
        return;
    }
    handleKey(keyWindow, keycode, press, time);
    if (press && repeatRate > 0 && keymap != nullptr && xkb_keymap_key_repeats(keymap, keycode)) {
        repeatKey = keycode;
        repeatNext = kvr_coreNowMs() + repeatDelay;
    } else if (!press && repeatKey == keycode) {
        repeatKey = 0;
    }
}

static void keyboardModifiers(void*, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched,
                              uint32_t locked, uint32_t group) {
    if (keyState != nullptr) {
        xkb_state_update_mask(keyState, depressed, latched, locked, 0, 0, group);
    }
}

static void keyboardRepeatInfo(void*, wl_keyboard*, int32_t rate, int32_t delay) {
    repeatRate = rate > 0 ? rate : 0;
    repeatDelay = delay > 0 ? delay : 0;
}

static const wl_keyboard_listener keyboardListener = {keyboardKeymap, keyboardEnter,     keyboardLeave,
                                                      keyboardKey,    keyboardModifiers, keyboardRepeatInfo};

bool kvr_wlRepeatKeys() {
    if (repeatKey == 0 || keyWindow == nullptr || repeatRate <= 0) {
        return false;
    }
    long long now = kvr_coreNowMs();
    if (now < repeatNext) {
        return false;
    }
    // Repeats a slow reader missed come together, as a held key's would queue; a few at most.
    long long interval = 1000 / repeatRate > 0 ? 1000 / repeatRate : 1;
    long long due = 1 + (now - repeatNext) / interval;
    if (due > 8) {
        due = 8;
    }
    for (long long i = 0; i < due; i++) {
        handleKey(keyWindow, repeatKey, true, (DWORD)now);
    }
    repeatNext = now + interval;
    return true;
}

// --- pointer ---

// MK_ flags of the buttons held and of Shift and Control.
static WPARAM mouseFlags() {
    WPARAM flags = buttons;
    if (modActive(XKB_MOD_NAME_SHIFT)) {
        flags |= MK_SHIFT;
    }
    if (modActive(XKB_MOD_NAME_CTRL)) {
        flags |= MK_CONTROL;
    }
    return flags;
}

// The pointer's position in the client area: the kept one while locked.
static POINT pointerPoint() {
    if (locked) {
        return POINT{(LONG)std::floor(keptX), (LONG)std::floor(keptY)};
    }
    return POINT{(LONG)std::floor(pointerX), (LONG)std::floor(pointerY)};
}

// Queues WM_MOUSEMOVE at the pointer's position; messages carry it, as a screen position.
static void postMove(KvrWlWindow* w, DWORD time) {
    POINT p = pointerPoint();
    RECT rect = {0, 0, 0, 0};
    kvr_wlGetWindowRect(kvr_wlHandleOf(w), &rect);
    kvr_coreSetLastPoint(POINT{p.x + rect.left, p.y + rect.top});
    kvr_wlPost(w, WM_MOUSEMOVE, mouseFlags(), kvr_corePointLParam(p.x, p.y), time);
}

// Shows the arrow over a window of a class with the arrow cursor and nothing in full screen.
static void setCursor() {
    if (pointer == nullptr || pointerWindow == nullptr) {
        return;
    }
    bool arrow = pointerWindow->classSlot >= 0 && kvr_coreClass(pointerWindow->classSlot) != nullptr &&
                 kvr_coreClass(pointerWindow->classSlot)->arrowCursor;
    if (kvr_wlCoversOutput(pointerWindow) || !arrow) {
        wl_pointer_set_cursor(pointer, pointerSerial, nullptr, 0, 0);
        return;
    }
    if (cursorTheme == nullptr && kvr_wl.shm != nullptr) {
        cursorTheme = wl_cursor_theme_load(nullptr, 24, kvr_wl.shm);
    }
    wl_cursor* cursor =
        cursorTheme != nullptr ? wl_cursor_theme_get_cursor(cursorTheme, "left_ptr") : nullptr;
    wl_buffer* buffer = cursor != nullptr && cursor->image_count > 0
                            ? wl_cursor_image_get_buffer(cursor->images[0])
                            : nullptr;
    if (buffer == nullptr) {
        return;  // no theme: the compositor's cursor stays
    }
    if (cursorSurface == nullptr) {
        cursorSurface = wl_compositor_create_surface(kvr_wl.compositor);
    }
    wl_cursor_image* image = cursor->images[0];
    wl_surface_attach(cursorSurface, buffer, 0, 0);
    wl_surface_damage(cursorSurface, 0, 0, (int32_t)image->width, (int32_t)image->height);
    wl_surface_commit(cursorSurface);
    wl_pointer_set_cursor(pointer, pointerSerial, cursorSurface, (int32_t)image->hotspot_x,
                          (int32_t)image->hotspot_y);
}

static void pointerEnter(void*, wl_pointer*, uint32_t serial, wl_surface* surface, wl_fixed_t x,
                         wl_fixed_t y) {
    // Only the client areas are ours: decorations drawn by a library are other surfaces.
    pointerWindow = kvr_wlWindowOfSurface(surface);
    pointerSerial = serial;
    pointerX = wl_fixed_to_double(x);
    pointerY = wl_fixed_to_double(y);
    if (locked && keptUnknown && pointerWindow == lockWindow && pointerWindow != nullptr) {
        keptX = pointerX;
        keptY = pointerY;
        keptUnknown = false;
    }
    setCursor();
    kvr_wlFollowLock();
}

static void pointerLeave(void*, wl_pointer*, uint32_t, wl_surface*) {
    pointerWindow = nullptr;
    buttons = 0;
}

static void pointerMotion(void*, wl_pointer*, uint32_t time, wl_fixed_t x, wl_fixed_t y) {
    pointerX = wl_fixed_to_double(x);
    pointerY = wl_fixed_to_double(y);
    if (pointerWindow != nullptr && !locked) {
        postMove(pointerWindow, time);
    }
}

static void pointerButton(void*, wl_pointer*, uint32_t, uint32_t time, uint32_t button, uint32_t state) {
    if (pointerWindow == nullptr) {
        return;
    }
    bool press = state == WL_POINTER_BUTTON_STATE_PRESSED;
    WPARAM bit = button == KVR_BTN_LEFT     ? MK_LBUTTON
                 : button == KVR_BTN_RIGHT  ? MK_RBUTTON
                 : button == KVR_BTN_MIDDLE ? MK_MBUTTON
                                            : 0;
    if (bit == 0) {
        return;
    }
    buttons = press ? (buttons | bit) : (buttons & ~bit);
    UINT message = bit == MK_LBUTTON   ? (press ? WM_LBUTTONDOWN : WM_LBUTTONUP)
                   : bit == MK_RBUTTON ? (press ? WM_RBUTTONDOWN : WM_RBUTTONUP)
                                       : (press ? WM_MBUTTONDOWN : WM_MBUTTONUP);
    POINT p = pointerPoint();
    kvr_wlPost(pointerWindow, message, mouseFlags(), kvr_corePointLParam(p.x, p.y), time);
}

// The wheel's turn so far becomes WM_MOUSEWHEEL: 120 a notch, positive away from the user.
static void postWheel(DWORD time) {
    int delta = wheelDiscrete ? -wheelSteps * 120 : (int)std::lround(-wheelValue * 12.0);
    wheelSteps = 0;
    wheelValue = 0;
    wheelDiscrete = false;
    if (delta == 0 || pointerWindow == nullptr) {
        return;
    }
    POINT p = pointerPoint();
    RECT rect = {0, 0, 0, 0};
    kvr_wlGetWindowRect(kvr_wlHandleOf(pointerWindow), &rect);
    // WM_MOUSEWHEEL carries screen coordinates.
    kvr_wlPost(pointerWindow, WM_MOUSEWHEEL, MAKEWPARAM(mouseFlags(), (WORD)(short)delta),
               kvr_corePointLParam(p.x + rect.left, p.y + rect.top), time);
}

static void pointerAxis(void*, wl_pointer*, uint32_t time, uint32_t axis, wl_fixed_t value) {
    if (axis != WL_POINTER_AXIS_VERTICAL_SCROLL) {
        return;
    }
    wheelValue += wl_fixed_to_double(value);
    if (kvr_wl.seatVersion < 5) {
        postWheel(time);  // no frames: each event stands alone
    }
}

static void pointerFrame(void*, wl_pointer*) {
    if (wheelDiscrete || wheelValue != 0) {
        postWheel(0);
    }
}

static void pointerAxisSource(void*, wl_pointer*, uint32_t) {}

static void pointerAxisStop(void*, wl_pointer*, uint32_t, uint32_t) {}

static void pointerAxisDiscrete(void*, wl_pointer*, uint32_t axis, int32_t discrete) {
    if (axis == WL_POINTER_AXIS_VERTICAL_SCROLL) {
        wheelSteps += discrete;
        wheelDiscrete = true;
    }
}

static void pointerAxisValue120(void*, wl_pointer*, uint32_t, int32_t) {}

static const wl_pointer_listener pointerListener = {
    pointerEnter, pointerLeave,      pointerMotion,   pointerButton,       pointerAxis,
    pointerFrame, pointerAxisSource, pointerAxisStop, pointerAxisDiscrete, pointerAxisValue120};

static void relativeMotion(void*, zwp_relative_pointer_v1*, uint32_t, uint32_t timeLow, wl_fixed_t dx,
                           wl_fixed_t dy, wl_fixed_t, wl_fixed_t) {
    if (!locked || lockWindow == nullptr) {
        return;
    }
    // The kept position moves as a pointer on the screen does, stopping at the edges.
    keptX = std::fmin(std::fmax(keptX + wl_fixed_to_double(dx), 0.0), (double)(lockWindow->width - 1));
    keptY = std::fmin(std::fmax(keptY + wl_fixed_to_double(dy), 0.0), (double)(lockWindow->height - 1));
    postMove(lockWindow, timeLow / 1000);
}

static const zwp_relative_pointer_v1_listener relativeListener = {relativeMotion};

static void lockedPointerLocked(void*, zwp_locked_pointer_v1*) {
    // The kept position starts where the pointer is; a compositor may lock it before the pointer
    // has entered the surface (sway does), and then it starts where it enters.
    locked = true;
    keptUnknown = pointerWindow != lockWindow;
    keptX = pointerX;
    keptY = pointerY;
}

static void lockedPointerUnlocked(void*, zwp_locked_pointer_v1*) {
    locked = false;
}

static const zwp_locked_pointer_v1_listener lockListener = {lockedPointerLocked, lockedPointerUnlocked};

static void unlock() {
    if (lock != nullptr) {
        zwp_locked_pointer_v1_destroy(lock);
    }
    lock = nullptr;
    lockWindow = nullptr;
    locked = false;
}

void kvr_wlFollowLock() {
    KvrWlWindow* want = nullptr;
    if (pointer != nullptr && relativePointer != nullptr && kvr_wl.constraints != nullptr &&
        keyWindow != nullptr && kvr_wlCoversOutput(keyWindow) && keyWindow->shown &&
        keyWindow->presentedWidth == keyWindow->width && keyWindow->presentedHeight == keyWindow->height) {
        // A lock taken before the full-screen frame is on screen holds the pointer where it was
        // on the old, smaller surface (sway), not where it is on the screen.
        want = keyWindow;
    }
    if (want != lockWindow) {
        unlock();
        if (want != nullptr) {
            lock =
                zwp_pointer_constraints_v1_lock_pointer(kvr_wl.constraints, want->surface, pointer, nullptr,
                                                        ZWP_POINTER_CONSTRAINTS_V1_LIFETIME_PERSISTENT);
            zwp_locked_pointer_v1_add_listener(lock, &lockListener, nullptr);
            lockWindow = want;
        }
    }
    setCursor();
}

bool kvr_wlMoveLockedPointer(int x, int y) {
    if (!locked || lockWindow == nullptr) {
        return false;
    }
    keptX = std::fmin(std::fmax((double)x, 0.0), (double)(lockWindow->width - 1));
    keptY = std::fmin(std::fmax((double)y, 0.0), (double)(lockWindow->height - 1));
    // A warp moves the pointer, and the window hears of it as of any move.
    postMove(lockWindow, 0);
    return true;
}

void kvr_wlForgetWindow(KvrWlWindow* w) {
    if (lockWindow == w) {
        unlock();
    }
    if (keyWindow == w) {
        keyWindow = nullptr;
        repeatKey = 0;
    }
    if (pointerWindow == w) {
        pointerWindow = nullptr;
    }
}

// --- the seat ---

static void releaseKeyboard() {
    if (keyboard != nullptr) {
        if (wl_keyboard_get_version(keyboard) >= 3) {
            wl_keyboard_release(keyboard);
        } else {
            wl_keyboard_destroy(keyboard);
        }
    }
    keyboard = nullptr;
    keyWindow = nullptr;
    repeatKey = 0;
}

static void releasePointer() {
    unlock();
    if (relativePointer != nullptr) {
        zwp_relative_pointer_v1_destroy(relativePointer);
    }
    relativePointer = nullptr;
    if (pointer != nullptr) {
        if (wl_pointer_get_version(pointer) >= 3) {
            wl_pointer_release(pointer);
        } else {
            wl_pointer_destroy(pointer);
        }
    }
    pointer = nullptr;
    pointerWindow = nullptr;
    buttons = 0;
}

void kvr_wlSeatCapabilities(uint32_t capabilities) {
    // Devices come and go at run time (a virtual keyboard or pointer made and destroyed).
    bool hasKeyboard = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
    bool hasPointer = (capabilities & WL_SEAT_CAPABILITY_POINTER) != 0;
    if (hasKeyboard && keyboard == nullptr) {
        keyboard = wl_seat_get_keyboard(kvr_wl.seat);
        wl_keyboard_add_listener(keyboard, &keyboardListener, nullptr);
    } else if (!hasKeyboard && keyboard != nullptr) {
        releaseKeyboard();
    }
    if (hasPointer && pointer == nullptr) {
        pointer = wl_seat_get_pointer(kvr_wl.seat);
        wl_pointer_add_listener(pointer, &pointerListener, nullptr);
        if (kvr_wl.relativeManager != nullptr) {
            relativePointer =
                zwp_relative_pointer_manager_v1_get_relative_pointer(kvr_wl.relativeManager, pointer);
            zwp_relative_pointer_v1_add_listener(relativePointer, &relativeListener, nullptr);
        }
        kvr_wlFollowLock();
    } else if (!hasPointer && pointer != nullptr) {
        releasePointer();
    }
}

void kvr_wlResetInput() {
    kvr_coreResetKeys();
    if (xkbContext == nullptr) {
        xkbContext = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    }
    repeatKey = 0;
    repeatRate = 25;
    repeatDelay = 600;
}

void kvr_wlReleaseInput() {
    releasePointer();
    releaseKeyboard();
    if (cursorSurface != nullptr) {
        wl_surface_destroy(cursorSurface);
    }
    cursorSurface = nullptr;
    if (cursorTheme != nullptr) {
        wl_cursor_theme_destroy(cursorTheme);
    }
    cursorTheme = nullptr;
    xkb_state_unref(lookupState);
    xkb_state_unref(keyState);
    xkb_keymap_unref(keymap);
    lookupState = nullptr;
    keyState = nullptr;
    keymap = nullptr;
    xkb_context_unref(xkbContext);
    xkbContext = nullptr;
}
