// x11_translate_test.cpp - the pure translators from X input to Win32 message values.
#include <gtest/gtest.h>

#include "core_input.h"
#include "x11_input.h"

#include <X11/X.h>
#include <X11/keysym.h>

TEST(X11Translate, KeysymsMapToVirtualKeys) {
    // Letters of either case give the capital; digits their character.
    EXPECT_EQ(kvr_coreKeysymToVk(XK_a), (UINT)'A');
    EXPECT_EQ(kvr_coreKeysymToVk(XK_z), (UINT)'Z');
    EXPECT_EQ(kvr_coreKeysymToVk(XK_W), (UINT)'W');
    EXPECT_EQ(kvr_coreKeysymToVk(XK_A), (UINT)'A') << "the capitals at both ends, as Shift gives them";
    EXPECT_EQ(kvr_coreKeysymToVk(XK_Z), (UINT)'Z');
    EXPECT_EQ(kvr_coreKeysymToVk(XK_0), (UINT)'0');
    EXPECT_EQ(kvr_coreKeysymToVk(XK_9), (UINT)'9');
    // clang-format off
    const struct { unsigned long keysym; UINT vk; } table[] = {
        {XK_space, VK_SPACE},       {XK_Return, VK_RETURN},     {XK_KP_Enter, VK_RETURN},
        {XK_Escape, VK_ESCAPE},     {XK_Tab, VK_TAB},           {XK_BackSpace, VK_BACK},
        {XK_Left, VK_LEFT},         {XK_Up, VK_UP},             {XK_Right, VK_RIGHT},
        {XK_Down, VK_DOWN},         {XK_F1, VK_F1},             {XK_F4, VK_F4},
        {XK_F10, VK_F10},           {XK_F12, VK_F12},           {XK_KP_0, VK_NUMPAD0},
        {XK_KP_7, VK_NUMPAD7},      {XK_KP_9, VK_NUMPAD9},      {XK_KP_Add, 0x6B},
        {XK_KP_Subtract, 0x6D},     {XK_KP_Multiply, VK_MULTIPLY}, {XK_KP_Divide, VK_DIVIDE},
        {XK_KP_Decimal, VK_DECIMAL}, {XK_Shift_L, VK_SHIFT},    {XK_Shift_R, VK_SHIFT},
        {XK_Control_L, VK_CONTROL}, {XK_Control_R, VK_CONTROL}, {XK_Alt_L, VK_MENU},
        {XK_Alt_R, VK_MENU},        {XK_KP_Home, VK_HOME},      {XK_KP_Left, VK_LEFT},
        {XK_comma, 0xBC},           {XK_period, 0xBE},          {XK_semicolon, 0xBA},
        {XK_slash, 0xBF},           {XK_grave, 0xC0},           {XK_bracketleft, 0xDB},
        {XK_backslash, 0xDC},       {XK_bracketright, 0xDD},    {XK_apostrophe, 0xDE},
        {XK_minus, 0xBD},           {XK_equal, 0xBB},           {XK_ssharp, 0xDB},
        {XK_idotless, 'I'},         {XK_Super_L, 0x5B},         {XK_Super_R, 0x5C},         {XK_Menu, 0x5D},
    };
    // clang-format on
    for (const auto& entry : table) {
        EXPECT_EQ(kvr_coreKeysymToVk(entry.keysym), entry.vk) << "keysym 0x" << std::hex << entry.keysym;
    }
    // Keys without a code in this layer give 0 rather than a wrong code; F13 is not F12 + 1 here.
    EXPECT_EQ(kvr_coreKeysymToVk(XK_F13), 0u);
    EXPECT_EQ(kvr_coreKeysymToVk(XK_Multi_key), 0u);
    EXPECT_EQ(kvr_coreKeysymToVk(NoSymbol), 0u);
}

TEST(X11Translate, NumLockPicksTheKeypadDigitLevel) {
    EXPECT_EQ(kvr_coreNumLockKeysym(XK_KP_End, XK_KP_1, true), (unsigned long)XK_KP_1);
    EXPECT_EQ(kvr_coreNumLockKeysym(XK_KP_End, XK_KP_1, false), (unsigned long)XK_KP_End);
    EXPECT_EQ(kvr_coreNumLockKeysym(XK_KP_Delete, XK_KP_Decimal, true), (unsigned long)XK_KP_Decimal);
    // Num Lock does not shift ordinary keys to their second level.
    EXPECT_EQ(kvr_coreNumLockKeysym(XK_a, XK_A, true), (unsigned long)XK_a);
    EXPECT_EQ(kvr_coreNumLockKeysym(XK_1, XK_exclam, true), (unsigned long)XK_1);
}

TEST(X11Translate, MainBlockKeysArePlacedByTheirUsPosition) {
    // By XKB key name: the ends of each row, and names beyond a row or of other keys.
    EXPECT_EQ(kvr_corePositionVk("AE01", 0), (UINT)'1');
    EXPECT_EQ(kvr_corePositionVk("AE10", 0), (UINT)'0');
    EXPECT_EQ(kvr_corePositionVk("AD01", 0), (UINT)'Q');
    EXPECT_EQ(kvr_corePositionVk("AD02", 0), (UINT)'W');
    EXPECT_EQ(kvr_corePositionVk("AD10", 0), (UINT)'P');
    EXPECT_EQ(kvr_corePositionVk("AC01", 0), (UINT)'A');
    EXPECT_EQ(kvr_corePositionVk("AC09", 0), (UINT)'L');
    EXPECT_EQ(kvr_corePositionVk("AB01", 0), (UINT)'Z');
    EXPECT_EQ(kvr_corePositionVk("AB07", 0), (UINT)'M');
    for (const char* other : {"AE13", "AB11", "AD00", "AA01", "BD02", "AD2x", "SPCE", "LSGx"}) {
        EXPECT_EQ(kvr_corePositionVk(other, 25), 0u) << other << ": a name is trusted over the keycode";
    }
    // Without names, by evdev keycode (PC scan code + 8).
    EXPECT_EQ(kvr_corePositionVk("", 2 + 8), (UINT)'1');
    EXPECT_EQ(kvr_corePositionVk("", 11 + 8), (UINT)'0');
    EXPECT_EQ(kvr_corePositionVk(nullptr, 17 + 8), (UINT)'W');
    EXPECT_EQ(kvr_corePositionVk("", 38 + 8), (UINT)'L');
    EXPECT_EQ(kvr_corePositionVk("", 50 + 8), (UINT)'M');
    for (unsigned other : {0u, 1u + 8, 14u + 8, 28u + 8, 42u + 8, 54u + 8, 57u + 8, 255u}) {
        EXPECT_EQ(kvr_corePositionVk("", other), 0u) << other;
    }
    // The punctuation places and the ISO key by evdev keycode; by name (AC12 too) in ISO keymaps.
    const unsigned oem[][2] = {{41, 0xC0}, {12, 0xBD}, {13, 0xBB}, {26, 0xDB}, {27, 0xDD}, {39, 0xBA},
                               {40, 0xDE}, {43, 0xDC}, {51, 0xBC}, {52, 0xBE}, {53, 0xBF}, {86, 0xE2}};
    for (const auto& key : oem) {
        EXPECT_EQ(kvr_corePositionVk("", key[0] + 8), key[1]) << key[0];
    }
    EXPECT_EQ(kvr_corePositionVk("AC12", 0), 0xDCu);
}

TEST(X11Translate, OnlyNonLatinSymbolsTakeTheLetterOfTheirUsPosition) {
    // Cyrillic, Greek, Hebrew and Unicode Cyrillic letters, and keys without a symbol: by position;
    // so are the first letters past the Latin blocks (IPA's turned a, polytonic Greek's alpha).
    for (unsigned long symbol : {0x6D7ul /* Cyrillic tse */, 0x7E3ul /* Greek chi */,
                                 0xCE0ul /* Hebrew alef */, 0x1000446ul, 0x1000250ul, 0x1001F00ul, 0ul}) {
        EXPECT_EQ(kvr_coreFallbackVk(symbol, "AD02", 0), (UINT)'W') << std::hex << symbol;
    }
    // Latin symbols without a code of their own: no letter (Dvorak's and French punctuation
    // and accented letters sit where US has letters) but VK_OEM_8; other places keep their codes.
    for (unsigned long symbol :
         {(unsigned long)XK_colon, (unsigned long)XK_exclam, (unsigned long)XK_eacute,
          0x1B9ul /* Latin-2 s caron */, 0x10000E9ul, 0x1001EA1ul, (unsigned long)XK_dead_circumflex,
          0x100024Ful /* the last of Latin Extended-B */, 0x1001E00ul,
          0x1001EFFul /* Vietnamese's block */}) {
        EXPECT_EQ(kvr_coreFallbackVk(symbol, "AB07", 0), 0xDFu) << std::hex << symbol;
        EXPECT_EQ(kvr_coreFallbackVk(symbol, "", 50 + 8), 0xDFu) << std::hex << symbol;
        EXPECT_EQ(kvr_coreFallbackVk(symbol, "AE02", 0), (UINT)'2') << std::hex << symbol;
        EXPECT_EQ(kvr_coreFallbackVk(symbol, "AB09", 0), (UINT)VK_OEM_PERIOD) << std::hex << symbol;
    }
    EXPECT_EQ(kvr_coreFallbackVk(XK_ampersand, "", 2 + 8), (UINT)'1');
    EXPECT_EQ(kvr_coreFallbackVk(0, "AD11", 0), 0u);
    // The ISO key, a digit key (French 4) and a non-Latin layout's key (Hebrew's W) keep their place.
    EXPECT_EQ(kvr_coreKeyVk(VK_OEM_5, XK_backslash, "LSGT", 0, false), 0xE2u);
    EXPECT_EQ(kvr_coreKeyVk(VK_OEM_7, XK_apostrophe, "AE04", 0, false), (UINT)'4');
    EXPECT_EQ(kvr_coreKeyVk(VK_OEM_7, XK_apostrophe, "AD02", 0, true), (UINT)'W');
    EXPECT_EQ(kvr_coreKeyVk(0, 0, "LSGT", 0, true), 0u) << "no symbol";
}

TEST(X11Translate, ScanCodesComeFromKeycodesWithExtendedKeysMarked) {
    bool extended = true;
    EXPECT_EQ(kvr_coreScanCode(9, &extended), 0x01u);  // Escape
    EXPECT_FALSE(extended);
    EXPECT_EQ(kvr_coreScanCode(38, &extended), 0x1Eu);  // A
    EXPECT_EQ(kvr_coreScanCode(96, &extended), 0x58u);  // F12
    EXPECT_FALSE(extended);
    EXPECT_EQ(kvr_coreScanCode(111, &extended), 0x48u);  // Up
    EXPECT_TRUE(extended);
    EXPECT_EQ(kvr_coreScanCode(104, &extended), 0x1Cu);  // keypad Enter
    EXPECT_TRUE(extended);
    EXPECT_EQ(kvr_coreScanCode(3, &extended), 0u);  // below the keycode range
    EXPECT_FALSE(extended);
    EXPECT_EQ(kvr_coreScanCode(255, &extended), 0u);
    // Every key a PC keyboard sends with the E0 prefix, by evdev keycode + 8.
    // clang-format off
    const struct { unsigned keycode; unsigned scan; const char* name; } e0[] = {
        {104, 0x1C, "keypad Enter"}, {105, 0x1D, "right Control"}, {106, 0x35, "keypad /"},
        {108, 0x38, "right Alt"},    {110, 0x47, "Home"},          {111, 0x48, "Up"},
        {112, 0x49, "Page Up"},      {113, 0x4B, "Left"},          {114, 0x4D, "Right"},
        {115, 0x4F, "End"},          {116, 0x50, "Down"},          {117, 0x51, "Page Down"},
        {118, 0x52, "Insert"},       {119, 0x53, "Delete"},        {133, 0x5B, "left Windows"},
        {134, 0x5C, "right Windows"}, {135, 0x5D, "Menu"},
    };
    // clang-format on
    for (const auto& key : e0) {
        extended = false;
        EXPECT_EQ(kvr_coreScanCode(key.keycode, &extended), key.scan) << key.name;
        EXPECT_TRUE(extended) << key.name;
    }
}

TEST(X11Translate, KeyLParamBits) {
    LPARAM first = kvr_coreKeyLParam(0x1E, false, false, false, false);
    EXPECT_EQ(first, (LPARAM)0x001E0001);  // repeat count 1, scan code, nothing else
    LPARAM repeat = kvr_coreKeyLParam(0x1E, false, false, true, false);
    EXPECT_EQ(repeat & 0xFFFF, 1);
    EXPECT_NE(repeat & 0x40000000, 0);  // previous state: down
    EXPECT_EQ(repeat & 0x80000000, 0);
    LPARAM altEnter = kvr_coreKeyLParam(0x1C, false, true, false, false);
    EXPECT_NE(altEnter & 0x20000000, 0);  // context code: Alt held
    LPARAM up = kvr_coreKeyLParam(0x48, true, false, false, true);
    EXPECT_NE(up & 0x01000000, 0);  // extended
    EXPECT_NE(up & 0x40000000, 0);  // a release always had the key down
    EXPECT_NE(up & 0x80000000, 0);  // transition
    EXPECT_EQ((up >> 16) & 0xFF, 0x48);
    EXPECT_GT(up, 0);  // the 32-bit value is not sign-extended into the wider LPARAM
}

TEST(X11Translate, AltAndF10MakeSystemKeyMessages) {
    EXPECT_EQ(kvr_coreKeyMessage('A', false, false, false), (UINT)WM_KEYDOWN);
    EXPECT_EQ(kvr_coreKeyMessage('A', false, false, true), (UINT)WM_KEYUP);
    EXPECT_EQ(kvr_coreKeyMessage(VK_RETURN, true, false, false), (UINT)WM_SYSKEYDOWN);
    EXPECT_EQ(kvr_coreKeyMessage(VK_RETURN, true, false, true), (UINT)WM_SYSKEYUP);
    EXPECT_EQ(kvr_coreKeyMessage(VK_MENU, true, false, false), (UINT)WM_SYSKEYDOWN);
    EXPECT_EQ(kvr_coreKeyMessage(VK_F10, false, false, false), (UINT)WM_SYSKEYDOWN);
    EXPECT_EQ(kvr_coreKeyMessage(VK_F10, false, false, true), (UINT)WM_SYSKEYUP);
    // Control+Alt is AltGr on Win32: ordinary key messages.
    EXPECT_EQ(kvr_coreKeyMessage('Q', true, true, false), (UINT)WM_KEYDOWN);
}

TEST(X11Translate, ButtonsAndKeyStateFlags) {
    EXPECT_EQ(kvr_x11ButtonMessage(1, true), (UINT)WM_LBUTTONDOWN);
    EXPECT_EQ(kvr_x11ButtonMessage(1, false), (UINT)WM_LBUTTONUP);
    EXPECT_EQ(kvr_x11ButtonMessage(2, true), (UINT)WM_MBUTTONDOWN);
    EXPECT_EQ(kvr_x11ButtonMessage(2, false), (UINT)WM_MBUTTONUP);
    EXPECT_EQ(kvr_x11ButtonMessage(3, true), (UINT)WM_RBUTTONDOWN);
    EXPECT_EQ(kvr_x11ButtonMessage(3, false), (UINT)WM_RBUTTONUP);
    EXPECT_EQ(kvr_x11ButtonMessage(4, true), 0u);
    EXPECT_EQ(kvr_x11ButtonMessage(8, true), 0u);

    EXPECT_EQ(kvr_x11MouseKeyFlags(0), 0u);
    EXPECT_EQ(kvr_x11MouseKeyFlags(Button1Mask | ShiftMask), (WPARAM)(MK_LBUTTON | MK_SHIFT));
    EXPECT_EQ(kvr_x11MouseKeyFlags(Button2Mask | Button3Mask | ControlMask),
              (WPARAM)(MK_MBUTTON | MK_RBUTTON | MK_CONTROL));
    EXPECT_EQ(kvr_x11MouseKeyFlags(Mod1Mask | LockMask), 0u);  // Alt and Caps Lock have no flag
    // X reports the state before the event; Win32 the state after it.
    EXPECT_EQ(kvr_x11FlagsAfterButton(0, 1, true), (WPARAM)MK_LBUTTON);
    EXPECT_EQ(kvr_x11FlagsAfterButton(Button1Mask, 1, false), 0u);
    EXPECT_EQ(kvr_x11FlagsAfterButton(Button1Mask, 3, true), (WPARAM)(MK_LBUTTON | MK_RBUTTON));
}

TEST(X11Translate, WheelDeltaInTheHighWordAndFlagsInTheLow) {
    WPARAM away = kvr_x11WheelWParam(4, 0);
    EXPECT_EQ((short)HIWORD(away), 120);
    EXPECT_EQ(LOWORD(away), 0);
    WPARAM towards = kvr_x11WheelWParam(5, ShiftMask | Button3Mask);
    EXPECT_EQ((short)HIWORD(towards), -120);
    EXPECT_EQ(LOWORD(towards), MK_SHIFT | MK_RBUTTON);
    // The application reads the delta from the wParam passed on as an int.
    EXPECT_LT((int)towards, 0);
    EXPECT_EQ(kvr_x11WheelWParam(1, 0), 0u);
    EXPECT_EQ(kvr_x11WheelWParam(6, 0), 0u);
}

TEST(X11Translate, PointsAreSigned16BitWords) {
    LPARAM p = kvr_corePointLParam(1919, 1079);
    EXPECT_EQ(LOWORD(p), 1919);
    EXPECT_EQ(HIWORD(p), 1079);
    LPARAM negative = kvr_corePointLParam(-5, -1);
    EXPECT_EQ((short)LOWORD(negative), -5);
    EXPECT_EQ((short)HIWORD(negative), -1);
}
