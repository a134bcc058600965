// core_input.cpp - pure translators from keysyms, keycodes and XKB key names to Win32
// virtual-key codes, key messages and their lParam values, and of pointer positions to lParam.
//
// The keysyms are X11's values (<X11/keysym.h> holds only constants); xkbcommon's keysyms and
// key names are the same, and evdev keycodes plus 8 are the keycodes of both.
#include "core_input.h"

#include <X11/keysym.h>

#include <cstring>

UINT kvr_coreKeysymToVk(unsigned long keysym) {
    if (keysym >= XK_a && keysym <= XK_z) {
        return (UINT)('A' + (keysym - XK_a));
    }
    if ((keysym >= XK_A && keysym <= XK_Z) || (keysym >= XK_0 && keysym <= XK_9)) {
        return (UINT)keysym;
    }
    if (keysym >= XK_F1 && keysym <= XK_F12) {
        return (UINT)(VK_F1 + (keysym - XK_F1));
    }
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9) {
        return (UINT)(VK_NUMPAD0 + (keysym - XK_KP_0));
    }
    switch (keysym) {
        // clang-format off
        case XK_space:       return VK_SPACE;
        case XK_Return:      return VK_RETURN;
        case XK_KP_Enter:    return VK_RETURN;
        case XK_Escape:      return VK_ESCAPE;
        case XK_Tab:         return VK_TAB;
        case XK_ISO_Left_Tab: return VK_TAB;
        case XK_BackSpace:   return VK_BACK;
        case XK_Left:        case XK_KP_Left:      return VK_LEFT;
        case XK_Up:          case XK_KP_Up:        return VK_UP;
        case XK_Right:       case XK_KP_Right:     return VK_RIGHT;
        case XK_Down:        case XK_KP_Down:      return VK_DOWN;
        case XK_Home:        case XK_KP_Home:      return VK_HOME;
        case XK_End:         case XK_KP_End:       return VK_END;
        case XK_Prior:       case XK_KP_Prior:     return VK_PRIOR;
        case XK_Next:        case XK_KP_Next:      return VK_NEXT;
        case XK_Insert:      case XK_KP_Insert:    return VK_INSERT;
        case XK_Delete:      case XK_KP_Delete:    return VK_DELETE;
        case XK_KP_Add:      return VK_ADD;
        case XK_KP_Subtract: return VK_SUBTRACT;
        case XK_KP_Multiply: return VK_MULTIPLY;
        case XK_KP_Divide:   return VK_DIVIDE;
        case XK_KP_Decimal:  return VK_DECIMAL;
        case XK_Shift_L:     case XK_Shift_R:      return VK_SHIFT;
        case XK_Control_L:   case XK_Control_R:    return VK_CONTROL;
        case XK_Alt_L:       case XK_Alt_R:        return VK_MENU;
        case XK_Meta_L:      case XK_Meta_R:       return VK_MENU;
        case XK_Pause:       return VK_PAUSE;
        case XK_Caps_Lock:   return VK_CAPITAL;
        case XK_semicolon:   return VK_OEM_1;
        case XK_equal:       return VK_OEM_PLUS;
        case XK_comma:       return VK_OEM_COMMA;
        case XK_minus:       return VK_OEM_MINUS;
        case XK_period:      return VK_OEM_PERIOD;
        case XK_slash:       return VK_OEM_2;
        case XK_grave:       return VK_OEM_3;
        case XK_bracketleft: return VK_OEM_4;
        case XK_backslash:   return VK_OEM_5;
        case XK_bracketright: return VK_OEM_6;
        case XK_apostrophe:  return VK_OEM_7;
        case XK_idotless:    return 'I';
        case XK_ssharp:      return VK_OEM_4;
        case XK_Super_L:     return VK_LWIN;
        case XK_Super_R:     return VK_RWIN;
        case XK_Menu:        return VK_APPS;
        default:             return 0;
            // clang-format on
    }
}

UINT kvr_corePositionVk(const char* keyName, unsigned keycode) {
    // The four rows of a US keyboard from the digits down, by XKB row letter and column, and
    // by evdev code from the row's first key (the evdev codes are PC scan codes plus 8); ISO
    // keymaps may name the backslash key AC12, which has no evdev code of that row.
    // clang-format off
    static const struct { char row; unsigned firstEvdev; unsigned evdevKeys; UINT keys[12]; } rows[] = {
        {'E', 2 + 8, 12, {'1', '2', '3', '4', '5', '6', '7', '8', '9', '0', VK_OEM_MINUS, VK_OEM_PLUS}},
        {'D', 16 + 8, 12, {'Q', 'W', 'E', 'R', 'T', 'Y', 'U', 'I', 'O', 'P', VK_OEM_4, VK_OEM_6}},
        {'C', 30 + 8, 11, {'A', 'S', 'D', 'F', 'G', 'H', 'J', 'K', 'L', VK_OEM_1, VK_OEM_7, VK_OEM_5}},
        {'B', 44 + 8, 10, {'Z', 'X', 'C', 'V', 'B', 'N', 'M', VK_OEM_COMMA, VK_OEM_PERIOD, VK_OEM_2}},
    };
    static const struct { char name[5]; unsigned evdev; UINT vk; } others[] = {
        {"TLDE", 41 + 8, VK_OEM_3}, {"BKSL", 43 + 8, VK_OEM_5}, {"LSGT", 86 + 8, VK_OEM_102},
    };
    // clang-format on
    bool named = keyName != nullptr && keyName[0] != '\0';
    for (const auto& other : others) {
        if (named ? std::strncmp(keyName, other.name, 4) == 0 : keycode == other.evdev) {
            return other.vk;
        }
    }
    for (const auto& r : rows) {
        if (named) {
            if (keyName[0] != 'A' || keyName[1] != r.row || keyName[2] < '0' || keyName[2] > '9' ||
                keyName[3] < '0' || keyName[3] > '9') {
                continue;
            }
            unsigned column = (unsigned)(keyName[2] - '0') * 10 + (unsigned)(keyName[3] - '0');
            return column >= 1 && column <= 12 ? r.keys[column - 1] : 0;
        }
        if (keycode >= r.firstEvdev && keycode < r.firstEvdev + r.evdevKeys) {
            return r.keys[keycode - r.firstEvdev];
        }
    }
    return 0;
}

bool kvr_coreIsLatinKeysym(unsigned long keysym) {
    unsigned long code = keysym;
    if ((keysym & 0xFF000000ul) == 0x01000000ul) {
        code = keysym & 0xFFFFFFul;  // a Unicode keysym: its code point
        return code < 0x250 || (code >= 0x1E00 && code < 0x1F00);
    }
    // Latin-1 (ASCII among it), Latin-2, -3 and -4, Latin-9's three, and the dead accents.
    return (code >= 0x20 && code < 0x100) || (code >= 0x1A1 && code < 0x400) ||
           (code >= 0x13BC && code <= 0x13BE) || (code >= 0xFE50 && code < 0xFE90);
}

// True for the codes of the letter and digit keys.
static bool isLetterOrDigit(UINT vk) {
    return (vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z');
}

UINT kvr_coreFallbackVk(unsigned long keysym, const char* keyName, unsigned keycode) {
    UINT vk = kvr_corePositionVk(keyName, keycode);
    if (keysym == 0) {
        return isLetterOrDigit(vk) ? vk : 0;
    }
    if (!kvr_coreIsLatinKeysym(keysym)) {
        return vk;
    }
    // A Latin layout's own symbols keep no letter of another key (Turkish F has its g breve where
    // US has E, and E elsewhere); its digit row keeps the digits (the French digit keys type
    // symbols unshifted and are still VK_0 to VK_9), its punctuation places their US codes.
    return vk == 0 || (vk >= 'A' && vk <= 'Z') ? VK_OEM_8 : vk;
}

UINT kvr_coreKeyVk(UINT symbolVk, unsigned long keysym, const char* keyName, unsigned keycode,
                   bool nonLatinLayout) {
    UINT place = kvr_corePositionVk(keyName, keycode);
    if (keysym != 0 && place != 0) {
        // A non-Latin layout's keys are all by place, its punctuation too: Hebrew has a slash and an
        // apostrophe where US has Q and W. A Latin layout's digit keys and ISO key keep their codes
        // whatever they carry: the French 4 key types an apostrophe, US-International's ISO key a
        // backslash.
        if (nonLatinLayout ||
            (!isLetterOrDigit(symbolVk) && (place == VK_OEM_102 || (place >= '0' && place <= '9')))) {
            return place;
        }
    }
    return symbolVk != 0 ? symbolVk : kvr_coreFallbackVk(keysym, keyName, keycode);
}

unsigned long kvr_coreNumLockKeysym(unsigned long level0, unsigned long level1, bool numLock) {
    bool keypadDigit = (level1 >= XK_KP_0 && level1 <= XK_KP_9) || level1 == XK_KP_Decimal;
    return numLock && keypadDigit ? level1 : level0;
}

unsigned kvr_coreScanCode(unsigned keycode, bool* extended) {
    *extended = false;
    if (keycode < 8) {
        return 0;
    }
    unsigned code = keycode - 8;
    if (code >= 1 && code <= 88) {
        return code;  // the first 88 evdev codes are the PC set-1 scan codes
    }
    // Keys that PC keyboards send with the E0 prefix.
    // clang-format off
    static const unsigned extendedKeys[][2] = {
        {96, 0x1C}, {97, 0x1D}, {98, 0x35}, {100, 0x38}, {102, 0x47}, {103, 0x48}, {104, 0x49},
        {105, 0x4B}, {106, 0x4D}, {107, 0x4F}, {108, 0x50}, {109, 0x51}, {110, 0x52}, {111, 0x53},
        {125, 0x5B}, {126, 0x5C}, {127, 0x5D},
    };
    // clang-format on
    for (const auto& entry : extendedKeys) {
        if (entry[0] == code) {
            *extended = true;
            return entry[1];
        }
    }
    return 0;
}

LPARAM kvr_coreKeyLParam(unsigned scanCode, bool extended, bool altHeld, bool wasDown, bool release) {
    DWORD value = 1u | ((DWORD)(scanCode & 0xFFu) << 16);
    if (extended) {
        value |= 1u << 24;
    }
    if (altHeld) {
        value |= 1u << 29;
    }
    if (wasDown || release) {
        value |= 1u << 30;
    }
    if (release) {
        value |= 1u << 31;
    }
    return (LPARAM)value;
}

UINT kvr_coreKeyMessage(UINT vk, bool altHeld, bool controlHeld, bool release) {
    bool system = (altHeld && !controlHeld) || vk == VK_F10;
    if (release) {
        return system ? WM_SYSKEYUP : WM_KEYUP;
    }
    return system ? WM_SYSKEYDOWN : WM_KEYDOWN;
}

LPARAM kvr_corePointLParam(int x, int y) {
    return MAKELPARAM((WORD)(short)x, (WORD)(short)y);
}
