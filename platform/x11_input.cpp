// x11_input.cpp - pure translators from X buttons and modifier masks to Win32 messages and
// their wParam values (the key translators are in core_input.cpp).
#include "x11_input.h"

#include <X11/X.h>

WPARAM kvr_x11MouseKeyFlags(unsigned state) {
    WPARAM flags = 0;
    if (state & Button1Mask) {
        flags |= MK_LBUTTON;
    }
    if (state & Button2Mask) {
        flags |= MK_MBUTTON;
    }
    if (state & Button3Mask) {
        flags |= MK_RBUTTON;
    }
    if (state & ShiftMask) {
        flags |= MK_SHIFT;
    }
    if (state & ControlMask) {
        flags |= MK_CONTROL;
    }
    return flags;
}

WPARAM kvr_x11FlagsAfterButton(unsigned state, unsigned button, bool press) {
    WPARAM flags = kvr_x11MouseKeyFlags(state);
    WPARAM bit = button == 1 ? MK_LBUTTON : button == 2 ? MK_MBUTTON : button == 3 ? MK_RBUTTON : 0;
    return press ? (flags | bit) : (flags & ~bit);
}

UINT kvr_x11ButtonMessage(unsigned button, bool press) {
    switch (button) {
        case 1:
            return press ? WM_LBUTTONDOWN : WM_LBUTTONUP;
        case 2:
            return press ? WM_MBUTTONDOWN : WM_MBUTTONUP;
        case 3:
            return press ? WM_RBUTTONDOWN : WM_RBUTTONUP;
        default:
            return 0;
    }
}

WPARAM kvr_x11WheelWParam(unsigned button, unsigned state) {
    if (button != 4 && button != 5) {
        return 0;
    }
    int delta = button == 4 ? WHEEL_DELTA : -WHEEL_DELTA;
    return MAKEWPARAM(kvr_x11MouseKeyFlags(state), (WORD)(short)delta);
}
