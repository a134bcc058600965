// core_keys.cpp - the keys held, as the key messages report them: a repeat has the
// previous-state bit, a release carries the code its press had.
#include "core.h"
#include "core_input.h"

#include <cstring>

// Module state: per keycode, whether the key is held and the code its press had.
static bool keyDown[256];
static UINT keyVk[256];

void kvr_coreResetKeys() {
    std::memset(keyDown, 0, sizeof keyDown);
    std::memset(keyVk, 0, sizeof keyVk);
}

UINT kvr_coreHeldVk(unsigned keycode) {
    return keycode < 256 && keyDown[keycode] ? keyVk[keycode] : 0;
}

void kvr_coreHoldKey(unsigned keycode, UINT vk) {
    if (keycode < 256) {
        keyDown[keycode] = true;
        keyVk[keycode] = vk;
    }
}

void kvr_coreReleaseKey(unsigned keycode) {
    if (keycode < 256) {
        keyDown[keycode] = false;
    }
}

void kvr_corePostKey(HWND hwnd, unsigned keycode, UINT vk, bool press, bool altHeld, bool controlHeld,
                     DWORD time) {
    keycode &= 0xFFu;
    bool wasDown = keyDown[keycode];
    keyDown[keycode] = press;
    keyVk[keycode] = vk;
    bool extended = false;
    unsigned scan = kvr_coreScanCode(keycode, &extended);
    UINT message = kvr_coreKeyMessage(vk, altHeld, controlHeld, !press);
    kvr_corePost(hwnd, message, vk, kvr_coreKeyLParam(scan, extended, altHeld, wasDown, !press), time);
}
